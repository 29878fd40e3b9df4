// SPDX-License-Identifier: MIT
#pragma once

#include "exitstatus.h"

#include <QStringList>

class AdminOutput;
class QCommandLineParser;

// veluna-admin's command line: the options, the commands with their arguments, and the run of
// one command on the database that the server's configuration names. The command and its
// arguments are checked before the database is opened.
class AdminCommandLine
{
public:
    ExitStatus run(const QStringList &arguments);

private:
    ExitStatus runOnDatabase(const QCommandLineParser &parser, AdminOutput &output);
};
