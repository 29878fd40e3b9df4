// SPDX-License-Identifier: MIT
#include "admincommandline.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("veluna-admin"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELUNA_VERSION));
    return AdminCommandLine().run(QCoreApplication::arguments());
}
