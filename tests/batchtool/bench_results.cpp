// SPDX-License-Identifier: GPL-3.0-or-later
// Measures how long the results window takes to open on n results and how
// much memory the process holds then, and how long its Table tab takes to
// show, to sort by a figure, and its Chart tab to draw. Built with the tests, run by hand:
//   bench_results 1000 10000
#include "ResultTable.h"
#include "ResultTableModel.h"
#include "ResultsWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>

#include <cstdio>

namespace {

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// A run's two lists without compressing anything: every entry differs a
// little, and the results name a handful of files.
void fill(int n, std::vector<JPEGSettings>& settings, std::vector<ResultStat>& results)
{
    settings.resize(std::size_t(n));
    results.resize(std::size_t(n));
    for (int i = 0; i < n; ++i) {
        JPEGSettings& s = settings[std::size_t(i)];
        s.setCompressionMode(i % 3 == 0 ? JPEGSettings::BASELINE : JPEGSettings::EXTENDED);
        s.setProgressiveMode(i % 3 == 1);
        s.setDCTMethod(JPEGSettings::DCTMethod(i % 3));
        s.setSmoothing(i % 101);
        s.setQuality(1 + i % 100);
        s.setAutoQualityEnabled(i % 2 == 0);
        ResultStat& r = results[std::size_t(i)];
        r.fileName = QStringLiteral("/data/pictures/picture-%1.png").arg(i % 7);
        r.compressionRate = 5 + i % 17 * 0.731;
        r.compressionPercentage = 100 * (1 - 1 / r.compressionRate);
        r.bitRate = 24 / r.compressionRate;
        r.mse = 0.5 + i % 13 * 1.37;
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    for (int a = 1; a < argc; ++a) {
        const int n = QByteArray(argv[a]).toInt();
        std::vector<JPEGSettings> settings;
        std::vector<ResultStat> results;
        fill(n, settings, results);
        ResultsWindow window(nullptr);
        window.resize(900, 600);
        const long before = residentKiB();
        QElapsedTimer clock;
        clock.start();
        QTimer::singleShot(0, &window, [&] {
            // The first turn of the window's loop: it is shown and laid out;
            // one more round paints it.
            const qint64 shown = clock.elapsed();
            QCoreApplication::processEvents();
            const qint64 painted = clock.elapsed();
            const long during = residentKiB();
            std::printf("%6d results: shown after %lld ms, painted after %lld ms, "
                        "resident %ld MiB (+%ld MiB), panels built %d\n",
                        n, shown, painted, during / 1024, (during - before) / 1024,
                        int(window.findChildren<QWidget*>(QStringLiteral("resultWidget")).size()));
            clock.restart();
            window.tabs()->setCurrentIndex(1);
            QCoreApplication::processEvents();
            const qint64 table = clock.restart();
            window.resultTable()->view()->sortByColumn(
                window.tableModel()->column(QStringLiteral("bpp")), Qt::DescendingOrder);
            QCoreApplication::processEvents();
            const qint64 sorted = clock.restart();
            window.tabs()->setCurrentIndex(2);
            QCoreApplication::processEvents();
            const qint64 chart = clock.restart();
            std::printf("%6s          table shown in %lld ms, sorted by bpp in %lld ms, chart "
                        "drawn in %lld ms\n",
                        "", table, sorted, chart);
            std::fflush(stdout);
            window.done(QDialog::Rejected);
        });
        window.show(&settings, &results);
    }
    return 0;
}
