// SPDX-License-Identifier: GPL-3.0-or-later
// Run by tst_badpictures under an address-space limit: takes a picture
// through tessera's tool window and viewer as a user would and prints what
// the program said. Exits 0 when the process came through, whatever it said;
// an uncaught allocation failure would abort it instead.
//
//   memorylimit_child open PATH    open and, if it loads, compress
//   memorylimit_child views PATH   open, compress, then leave too little
//                                  memory and ask for every derived view

#include "CompressionResult.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "ModalBoxes.h"
#include "PictureViewer.h"
#include "ToolWindow.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTest>

#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// The address space in use now.
rlim_t addressSpace()
{
    unsigned long pages = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%lu", &pages) != 1)
            pages = 0;
        std::fclose(statm);
    }
    return rlim_t(pages) * rlim_t(::sysconf(_SC_PAGE_SIZE));
}

void say(const QString& text)
{
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

// The most memory the process has held resident: "peak: N MB".
void sayPeak()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    say(QStringLiteral("peak: %1 MB").arg(usage.ru_maxrss / 1024));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (argc != 3)
        return 2;
    const QString scenario = QString::fromLocal8Bit(argv[1]);
    Image::initImage();
    JPEGCompressor compressor;
    ToolWindow tool(compressor);
    PictureViewer viewer(Variant::Interactive);
    QObject::connect(&tool, &ToolWindow::imageChanged, &viewer, &PictureViewer::updateImage);
    QObject::connect(&tool, &ToolWindow::imageCompressed, &viewer,
                     &PictureViewer::updateCompressed);
    Boxes boxes;

    const QString path = QFile::decodeName(argv[2]);
    Image probe(QFile::encodeName(path).toStdString());
    say(QStringLiteral("load: ") + probe.getLoadMessage());
    if (!tool.openImageFile(path)) {
        sayPeak();
        say(QStringLiteral("refused"));
        return 0;
    }
    tool.compressImage();
    QCoreApplication::processEvents();
    say(QStringLiteral("compressed: %1").arg(tool.currentResult() ? "yes" : "no"));

    if (scenario == QLatin1String("views")) {
        // Room for the message boxes, not for three more pictures.
        const rlim_t limit = addressSpace() + 48 * 1024 * 1024;
        rlimit lowered{limit, limit};
        ::setrlimit(RLIMIT_AS, &lowered);
        for (const char* name : {"yButton", "errorsButton", "imageButton"}) {
            auto* button = viewer.findChild<QPushButton*>(QLatin1String(name));
            if (button && button->isEnabled())
                button->click();
            QCoreApplication::processEvents();
        }
    }
    for (const QString& text : boxes.texts)
        say(QStringLiteral("box: ") + text);
    sayPeak();
    say(QStringLiteral("done"));
    return 0;
}
