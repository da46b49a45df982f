// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchWindow.h"
#include "CommandLine.h"
#include "FileNames.h"
#include "Image.h"
#include "MemoryBudget.h"
#include "Version.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QIcon>

#include <cstdio>

int main(int argc, char* argv[])
{
    MemoryBudget::keepFreedMemory();
    Image::initImage();
    int status = 0;
    {
        QApplication::setApplicationName(QStringLiteral("tessera-batch"));
        QApplication::setApplicationVersion(QStringLiteral(TESSERA_VERSION));

        QCommandLineParser parser;
        parser.setApplicationDescription(
            QStringLiteral("Compress many pictures under a sweep of JPEG settings, compare the "
                           "figures in a results window and write them to a tab-separated "
                           "report."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addPositionalArgument(
            QStringLiteral("pictures"),
            QStringLiteral("Pictures to start with; a folder adds the pictures in it."),
            QStringLiteral("[pictures|folders...]"));
        CommandLine::answerHelpAndVersion(argc, argv, parser);

        QApplication app(argc, argv);
        QApplication::setDesktopFileName(QStringLiteral("tessera-batch"));
        QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tessera")));
        parser.process(app);

        BatchWindow window(nullptr);
        window.updateUI();
        window.restoreSettings();

        // `tessera-batch PICTURE...` starts with those pictures chosen, as if
        // they had been picked with "Open"; folders add the pictures in them.
        // Names come from the raw argument bytes, so a name that is not UTF-8
        // still opens.
        QStringList pictures;
        for (const QString& argument :
             FileNames::fromArguments(parser.positionalArguments(), argc, argv)) {
            const QFileInfo info(argument);
            if (!info.exists())
                std::fprintf(stderr, "tessera-batch: no such picture: %s\n", qPrintable(argument));
            pictures << (info.isDir() ? argument : info.absoluteFilePath());
        }
        window.addFiles(pictures);

        window.show();
        status = app.exec();
        window.saveSettings();
    }
    Image::deinitImage();
    return status;
}
