// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"
#include "CompressionResult.h"
#include "FileNames.h"
#include "FileWrite.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "PictureViewer.h"
#include "ToolWindow.h"
#include "Version.h"

#include <QApplication>
#include <QBuffer>
#include <QCommandLineParser>
#include <QFileInfo>
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
    // Drawn into memory and written whole, in the format the name's suffix
    // says (PNG without one).
    const QString suffix = QFileInfo(path).suffix();
    QBuffer bytes;
    return bytes.open(QIODevice::WriteOnly) &&
           both.save(&bytes, suffix.isEmpty() ? "PNG" : qPrintable(suffix)) &&
           writeFileReplacing(path, bytes.data());
}

// The program's options.
struct CommandOptions
{
    const QCommandLineOption compress{
        {QStringLiteral("c"), QStringLiteral("compress")},
        QStringLiteral("Compress the picture as soon as it is open.")};
    const QCommandLineOption screenshot{
        QStringLiteral("screenshot"),
        QStringLiteral("Save a picture of both windows to <file> once the picture is open "
                       "(and compressed), then quit; the exit status tells whether all of "
                       "that worked."),
        QStringLiteral("file")};
};

void describeProgram(QCommandLineParser& parser, const CommandOptions& c)
{
    parser.setApplicationDescription(
        QStringLiteral("Study JPEG compression on one picture: set the encoder's options, "
                       "compress, and compare the result with the source."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(c.compress);
    parser.addOption(c.screenshot);
    parser.addPositionalArgument(QStringLiteral("picture"),
                                 QStringLiteral("The picture to open, in any format the "
                                                "picture loader reads."),
                                 QStringLiteral("[picture]"));
}

void connectWindows(ToolWindow& tool, PictureViewer& viewer)
{
    QObject::connect(&tool, &ToolWindow::imageChanged, &viewer, &PictureViewer::updateImage);
    QObject::connect(&tool, &ToolWindow::imageCompressed, &viewer,
                     &PictureViewer::updateCompressed);
    QObject::connect(&viewer, &PictureViewer::pictureDropped, &tool, &ToolWindow::openImageFile);
    QObject::connect(&tool, &ToolWindow::compressionNamed, &viewer,
                     [&viewer](const QString& name) { viewer.setPaneCaptions(QString(), name); });
}

// `tessera PICTURE` opens the picture as if it had been chosen with "Open",
// and compresses it when asked; false when either fails.
bool openGiven(ToolWindow& tool, const QStringList& pictures, bool compress)
{
    if (pictures.isEmpty())
        return true;
    bool ready = tool.openImageFile(pictures.first());
    if (!ready)
        std::fprintf(stderr, "tessera: cannot load %s\n", qPrintable(pictures.first()));
    if (ready && compress) {
        tool.compressImage();
        ready = tool.currentResult() != nullptr;
    }
    return ready;
}

// Both windows over the picture given, until the program quits; the exit
// status.
int runWindows(QApplication& app, const QCommandLineParser& parser, const CommandOptions& c,
               const QStringList& pictures)
{
    JPEGCompressor compressor;
    // The interactive tool's tables start as the JPEG standard's examples.
    compressor.getSettings()->useAnnexKTables();
    ToolWindow tool(compressor);
    tool.setMessagesToLog(parser.isSet(c.screenshot));
    PictureViewer viewer(Variant::Interactive);
    connectWindows(tool, viewer);

    tool.showBeside(viewer);
    const bool ready = openGiven(tool, pictures, parser.isSet(c.compress));

    if (parser.isSet(c.screenshot)) {
        const QString path = parser.value(c.screenshot);
        QTimer::singleShot(0, &app, [&tool, &viewer, path, ready] {
            const bool saved = saveScreenshot(tool, viewer, path);
            if (!saved)
                std::fprintf(stderr, "tessera: cannot save %s\n", qPrintable(path));
            QCoreApplication::exit(ready && saved ? 0 : 1);
        });
    }
    const int status = app.exec();
    if (!parser.isSet(c.screenshot)) {
        tool.saveSettings();
        viewer.saveSettings();
    }
    return status;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication::setApplicationName(QStringLiteral("tessera"));
    QApplication::setApplicationVersion(QStringLiteral(TESSERA_VERSION));

    QCommandLineParser parser;
    const CommandOptions options;
    describeProgram(parser, options);
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
    const int status = runWindows(app, parser, options, pictures);
    Image::deinitImage();
    return status;
}
