// SPDX-License-Identifier: GPL-3.0-or-later
// How the interactive tool's user-interface thread fares while "Live"
// recompresses a large picture: a burst of quality changes like a user
// holding an arrow key, while a 10 ms timer records the longest gap between
// its ticks (the longest stall of the event loop), and the time from the
// last change until the result of those settings is on screen.
//
//   tessera_live_bench PICTURE [CHANGES] [INTERVAL_MS]
//
// Run it under a display (xvfb-run) so that the panes really paint.
#include "CompressionResult.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "LiveCompression.h"
#include "PictureViewer.h"
#include "ToolWindow.h"

#include <QApplication>
#include <QBasicTimer>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

namespace {

// The longest time between two ticks of a 10 ms timer since start().
class StallMeter : public QObject
{
public:
    void start()
    {
        longest = 0;
        clock.start();
        last = 0;
        ticks.start(10, this);
    }
    qint64 longestGap() const { return longest; }

protected:
    void timerEvent(QTimerEvent*) override
    {
        const qint64 now = clock.elapsed();
        longest = std::max(longest, now - last);
        last = now;
    }

private:
    QBasicTimer ticks;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
};

bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: tessera_live_bench PICTURE [CHANGES] [INTERVAL_MS]\n");
        return 2;
    }
    const int changes = args.size() > 2 ? args[2].toInt() : 20;
    const int interval = args.size() > 3 ? args[3].toInt() : 50;
    Image::initImage();
    int status = 0;
    {
        JPEGCompressor compressor;
        compressor.getSettings()->useAnnexKTables();
        ToolWindow tool(compressor);
        tool.setMessagesToLog(true);
        PictureViewer viewer(Variant::Interactive);
        QObject::connect(&tool, &ToolWindow::imageChanged, &viewer, &PictureViewer::updateImage);
        QObject::connect(&tool, &ToolWindow::imageCompressed, &viewer,
                         &PictureViewer::updateCompressed);
        tool.show();
        viewer.resize(1100, 760);
        viewer.show();
        QElapsedTimer clock;
        clock.start();
        if (!tool.openImageFile(args[1])) {
            std::fprintf(stderr, "cannot open %s\n", qPrintable(args[1]));
            return 1;
        }
        std::printf("open: %lld ms\n", clock.elapsed());
        auto* spin = tool.findChild<QSpinBox*>(QStringLiteral("qualitySpin"));
        tool.findChild<QGroupBox*>(QStringLiteral("qualityGroup"))->setChecked(true);
        const auto resultAt = [&](int quality) {
            return [&tool, quality] {
                return tool.currentResult() &&
                       tool.currentResult()->getSettings().getQuality() == quality &&
                       !tool.liveCompression()->isBusy();
            };
        };
        clock.restart();
        spin->setValue(50);
        if (!waitFor(resultAt(50), 120000))
            return 1;
        std::printf("first result: %lld ms\n", clock.elapsed());

        StallMeter meter;
        // What the machine gives the event loop with nothing to do.
        meter.start();
        waitFor([] { return false; }, 2000);
        std::printf("idle: longest stall %lld ms\n", meter.longestGap());

        meter.start();
        int quality = 50;
        for (int i = 0; i < changes; ++i) {
            quality = 51 + i;
            QTimer::singleShot(i * interval, &tool, [spin, quality] { spin->setValue(quality); });
        }
        // Wait until the last change has been made, then for its result.
        waitFor([spin, quality] { return spin->value() == quality; }, 120000);
        clock.restart();
        if (!waitFor(resultAt(quality), 120000)) {
            std::fprintf(stderr, "no result for the last settings\n");
            status = 1;
        }
        const qint64 settle = clock.elapsed();
        std::printf("burst of %d changes every %d ms: longest stall %lld ms, last change to "
                    "result %lld ms\n",
                    changes, interval, meter.longestGap(), settle);
        // The next compression's interface cost on its own.
        meter.start();
        clock.restart();
        spin->setValue(40);
        waitFor(resultAt(40), 120000);
        std::printf("one change: longest stall %lld ms, result after %lld ms\n", meter.longestGap(),
                    clock.elapsed());
        // Where a worker's time goes, on this thread, for the last settings.
        JPEGCompressor alone;
        alone.setImage(compressor.getImage());
        *alone.getSettings() = *compressor.getSettings();
        alone.setMeasuredFigures(FigureSet::similarity());
        delete alone.compressImage();
        const JPEGCompressor::Timings& t = alone.lastTimings();
        const auto ms = [](std::chrono::nanoseconds d) {
            return std::chrono::duration<double, std::milli>(d).count();
        };
        std::printf("one compression: encoding %.0f ms, decoding %.0f ms, figures %.0f ms "
                    "(SSIM and MS-SSIM %.0f ms)\n",
                    ms(t.encoding), ms(t.decoding), ms(t.measuring), ms(t.similarity));
    }
    Image::deinitImage();
    return status;
}
