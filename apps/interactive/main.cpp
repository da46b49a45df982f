// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"
#include "CompressionResult.h"
#include "FileNames.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "PictureViewer.h"
#include "ToolWindow.h"
#include "Version.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

// Both windows side by side in one picture, for --screenshot.
bool saveScreenshot(QWidget& tool, QWidget& viewer, const QString& path)
{
    const QPixmap left = tool.grab();
    const QPixmap right = viewer.grab();
    QPixmap both(left.width() + 8 + right.width(), std::max(left.height(), right.height()));
    both.fill(QColor(0xe8, 0xe8, 0xe8));
    QPainter painter(&both);
    painter.drawPixmap(0, 0, left);
    painter.drawPixmap(left.width() + 8, 0, right);
    painter.end();
    return both.save(path);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication::setApplicationName(QStringLiteral("tessera"));
    QApplication::setApplicationVersion(QStringLiteral(TESSERA_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Study JPEG compression on one picture: set the encoder's options, "
                       "compress, and compare the result with the source."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption compressOption(
        {QStringLiteral("c"), QStringLiteral("compress")},
        QStringLiteral("Compress the picture as soon as it is open."));
    const QCommandLineOption screenshotOption(
        QStringLiteral("screenshot"),
        QStringLiteral("Save a picture of both windows to <file> once the picture is open "
                       "(and compressed), then quit; the exit status tells whether all of "
                       "that worked."),
        QStringLiteral("file"));
    parser.addOption(compressOption);
    parser.addOption(screenshotOption);
    parser.addPositionalArgument(QStringLiteral("picture"),
                                 QStringLiteral("The picture to open, in any format the "
                                                "picture loader reads."),
                                 QStringLiteral("[picture]"));
    CommandLine::answerHelpAndVersion(argc, argv, parser);

    QApplication app(argc, argv);
    QApplication::setDesktopFileName(QStringLiteral("tessera"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tessera")));
    parser.process(app);
    // Names come from the raw argument bytes, so a name that is not UTF-8
    // still opens.
    const QStringList pictures = FileNames::fromArguments(parser.positionalArguments(), argc, argv);
    if (pictures.size() > 1) {
        std::fprintf(stderr, "tessera: one picture at a time\n");
        return 2;
    }

    Image::initImage();
    int status = 0;
    {
        JPEGCompressor compressor;
        // The interactive tool's tables start as the JPEG standard's examples.
        compressor.getSettings()->useAnnexKTables();
        ToolWindow tool(compressor);
        tool.setMessagesToLog(parser.isSet(screenshotOption));
        PictureViewer viewer(Variant::Interactive);
        QObject::connect(&tool, &ToolWindow::imageChanged, &viewer, &PictureViewer::updateImage);
        QObject::connect(&tool, &ToolWindow::imageCompressed, &viewer,
                         &PictureViewer::updateCompressed);
        QObject::connect(&viewer, &PictureViewer::pictureDropped, &tool,
                         &ToolWindow::openImageFile);
        QObject::connect(
            &tool, &ToolWindow::compressionNamed, &viewer,
            [&viewer](const QString& name) { viewer.setPaneCaptions(QString(), name); });

        tool.showBeside(viewer);

        // `tessera PICTURE` opens the picture as if it had been chosen with "Open".
        bool ready = true;
        if (!pictures.isEmpty()) {
            ready = tool.openImageFile(pictures.first());
            if (!ready)
                std::fprintf(stderr, "tessera: cannot load %s\n", qPrintable(pictures.first()));
            if (ready && parser.isSet(compressOption)) {
                tool.compressImage();
                ready = tool.currentResult() != nullptr;
            }
        }

        if (parser.isSet(screenshotOption)) {
            const QString path = parser.value(screenshotOption);
            QTimer::singleShot(0, &app, [&] {
                const bool saved = saveScreenshot(tool, viewer, path);
                if (!saved)
                    std::fprintf(stderr, "tessera: cannot save %s\n", qPrintable(path));
                QCoreApplication::exit(ready && saved ? 0 : 1);
            });
        }
        status = app.exec();
        if (!parser.isSet(screenshotOption)) {
            tool.saveSettings();
            viewer.saveSettings();
        }
    }
    Image::deinitImage();
    return status;
}
