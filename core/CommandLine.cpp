// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace CommandLine {

void answerHelpAndVersion(int argc, char** argv, QCommandLineParser& parser)
{
    int count = argc;
    QCoreApplication reader(count, argv);
    // Errors (an option of the toolkit's) are for the second parse.
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
}

} // namespace CommandLine
