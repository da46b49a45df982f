#include "CompressionResult.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "MainWindow.h"
#include "ToolWindow.h"

#include <QApplication>
#include <QScreen>

#include <algorithm>
#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    Image::initImage();

    int status = 0;
    {
        JPEGCompressor compressor;
        // The interactive tool's tables start as the JPEG standard's examples.
        compressor.getSettings()->useAnnexKTables();
        ToolWindow tool(compressor);
        MainWindow viewer(compressor, nullptr);
        QObject::connect(&tool, &ToolWindow::imageChanged, &viewer, &MainWindow::updateImage);
        QObject::connect(&tool, &ToolWindow::imageCompressed, &viewer,
                         &MainWindow::updateCompressed);

        // The tool window at the top left, the viewer filling the room to its
        // right.
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        tool.move(screen.left() + 16, screen.top() + 16);
        tool.show();
        const QRect toolFrame = tool.frameGeometry();
        const int left = toolFrame.right() + 16;
        viewer.move(left, toolFrame.top());
        viewer.resize(std::min(1100, screen.right() - left - 16),
                      std::min(760, screen.height() - 48));
        viewer.show();

        // `tessera PICTURE` opens the picture as if it had been chosen with "Open".
        const QStringList arguments = QCoreApplication::arguments();
        if (arguments.size() > 1 && !tool.openImageFile(arguments.at(1)))
            std::fprintf(stderr, "tessera: cannot load %s\n", qPrintable(arguments.at(1)));

        status = app.exec();
    }
    Image::deinitImage();
    return status;
}
