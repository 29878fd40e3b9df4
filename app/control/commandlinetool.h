// SPDX-License-Identifier: MIT
#pragma once

#include "controlcommand.h"

#include <QString>

class ControlClient;
class ProcessWatch;

// Carries out one command line: asks the running program over the session bus, starting it when
// a command needs it, and holds the machine itself for run and watch when no program runs (over
// SSH, in a container, with only logind). Prints at most one line, and answers the exit status.
class CommandLineTool
{
public:
    CommandLineTool(QString desktopId, QString executable);

    int run(const ControlCommand &command);

private:
    int period(const ControlCommand &command, ControlClient &client);
    int status(const ControlCommand &command, ControlClient &client);
    int extend(const ControlCommand &command, ControlClient &client);
    int hold(const ControlCommand &command, ControlClient &client);
    int holdHere(const ControlCommand &command, const QString &name, ProcessWatch *watched);

    QString m_desktopId;
    QString m_executable;
};
