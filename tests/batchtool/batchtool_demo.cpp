// SPDX-License-Identifier: GPL-3.0-or-later
// Opens the batch tool's windows in a given state for a look by eye; built
// with the tests, never run by them. Run it from the run directory:
//   batchtool_demo form|results|viewer|many|chart|table|optimise [--restore]
//                  [--screenshot FILE]
//                  PICTURE...
// --restore first reads the form saved in the configuration, table files
// included, as the program does at start.
// "results" compresses the pictures under a small sweep and stays in the
// results window; "viewer" then opens the first panel's viewer; "many" lists
// 10 000 made-up results scrolled half way down; "optimise" opens the table
// optimiser's dialog on the pictures and starts a run of ten seconds. With --screenshot, "results"
// saves a picture of the results window to FILE and ends. "chart" and
// "table" sweep automatic and table quality 20 to 95 in steps of 15, DCT int
// and float, baseline and extended progressive, Huffman tables optimised or
// not, and show the results window's Chart (curves compared by DCT) or Table
// tab; with TESSERA_SHOT=FILE.png set they save the window there and quit,
// with TESSERA_CSV=FILE.csv they also export the run, with
// TESSERA_CHART=FILE.png|svg|pdf the chart.
#include "BatchWindow.h"
#include "Image.h"
#include "RDChart.h"
#include "ResultList.h"
#include "ResultWidget.h"
#include "ResultsWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>

int main(int argc, char* argv[])
{
    Image::initImage();
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const QString mode = arguments.value(1, QStringLiteral("form"));
    QStringList pictures;
    QString screenshot;
    bool restore = false;
    for (int i = 2; i < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--screenshot") && i + 1 < arguments.size())
            screenshot = arguments.at(++i);
        else if (arguments.at(i) == QLatin1String("--restore"))
            restore = true;
        else
            pictures << QFileInfo(arguments.at(i)).absoluteFilePath();
    }

    if (mode == QLatin1String("many")) {
        std::vector<JPEGSettings> settings(10000);
        std::vector<ResultStat> results(settings.size());
        for (std::size_t i = 0; i < results.size(); ++i) {
            settings[i].setQuality(int(i % 100));
            results[i].fileName = QStringLiteral("/pictures/picture-%1.png").arg(i / 100);
            results[i].compressionRate = double(i);
        }
        ResultsWindow many(nullptr);
        QTimer::singleShot(100, &many, [&many] {
            ResultList* list = many.resultList();
            list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum() / 2);
        });
        many.show(&settings, &results);
        return 0;
    }

    BatchWindow window(nullptr);
    if (restore)
        window.restoreSettings();
    window.updateUI();
    window.setFiles(pictures);
    window.show();

    if (mode == QLatin1String("optimise")) {
        // File > Optimise tables... started at once.
        window.showOptimiseTablesDialog();
        auto* dialog = window.findChild<QDialog*>(QStringLiteral("optimiseTablesDialog"));
        dialog->findChild<QSpinBox*>(QStringLiteral("timeLimitBox"))->setValue(10);
        dialog->findChild<QPushButton*>(QStringLiteral("startButton"))->click();
        return app.exec();
    }

    const bool rd = mode == QLatin1String("chart") || mode == QLatin1String("table");
    if (rd) {
        window.findChild<QCheckBox*>(QStringLiteral("extendedCheck"))->setChecked(true);
        window.findChild<QCheckBox*>(QStringLiteral("progressiveCheck"))->setChecked(true);
        window.findChild<QCheckBox*>(QStringLiteral("nonProgressiveCheck"))->setChecked(false);
        window.findChild<QCheckBox*>(QStringLiteral("optimizeHuffmanCheck"))->setChecked(true);
        window.findChild<QCheckBox*>(QStringLiteral("dontOptimizeHuffmanCheck"))->setChecked(true);
        window.findChild<QCheckBox*>(QStringLiteral("dctFloatCheck"))->setChecked(true);
        window.findChild<QCheckBox*>(QStringLiteral("manualQualityCheck"))->setChecked(true);
        window.findChild<QLineEdit*>(QStringLiteral("minTableQualityEdit"))
            ->setText(QStringLiteral("20"));
        window.findChild<QLineEdit*>(QStringLiteral("maxTableQualityEdit"))
            ->setText(QStringLiteral("95"));
        window.findChild<QLineEdit*>(QStringLiteral("tableQualityStepEdit"))
            ->setText(QStringLiteral("15"));
        window.findChild<QCheckBox*>(QStringLiteral("autoQualityCheck"))->setChecked(true);
        window.findChild<QLineEdit*>(QStringLiteral("minQualityEdit"))
            ->setText(QStringLiteral("20"));
        window.findChild<QLineEdit*>(QStringLiteral("maxQualityEdit"))
            ->setText(QStringLiteral("95"));
        window.findChild<QLineEdit*>(QStringLiteral("qualityStepEdit"))
            ->setText(QStringLiteral("15"));
        QTimer::singleShot(200, &window, [&window] { window.compressImages(); });
        QTimer* poll = new QTimer(&window);
        QObject::connect(poll, &QTimer::timeout, &window, [&window, poll, mode] {
            ResultsWindow* results = window.getResultsWindow();
            if (!results->isVisible() || results->panelCount() == 0)
                return;
            poll->stop();
            QSize size(1500, 950);
            if (const QScreen* screen = results->screen())
                size = size.boundedTo(screen->availableSize());
            results->resize(size);
            if (mode == QLatin1String("chart")) {
                results->tabs()->setCurrentIndex(2);
                results->rdChart()->setCurveBy({QStringLiteral("dct")});
                results->rdChart()->setLogarithmicRate(true);
                const QString exported = qEnvironmentVariable("TESSERA_CHART");
                if (!exported.isEmpty())
                    results->rdChart()->exportTo(exported, QSize(1200, 800), 96);
            } else {
                results->tabs()->setCurrentIndex(1);
            }
            const QString csv = qEnvironmentVariable("TESSERA_CSV");
            if (!csv.isEmpty())
                results->exportCsv(csv);
            const QString shot = qEnvironmentVariable("TESSERA_SHOT");
            if (shot.isEmpty())
                return;
            QTimer::singleShot(1000, results, [results, shot] {
                results->grab().save(shot);
                QCoreApplication::exit(0);
            });
        });
        poll->start(100);
    } else if (mode != QLatin1String("form")) {
        // Baseline and extended progressive; manual quality, and automatic
        // quality 50 and 90.
        window.findChild<QCheckBox*>(QStringLiteral("extendedCheck"))->setChecked(true);
        window.findChild<QCheckBox*>(QStringLiteral("progressiveCheck"))->setChecked(true);
        window.findChild<QCheckBox*>(QStringLiteral("nonProgressiveCheck"))->setChecked(false);
        window.findChild<QCheckBox*>(QStringLiteral("autoQualityCheck"))->setChecked(true);
        window.findChild<QLineEdit*>(QStringLiteral("minQualityEdit"))
            ->setText(QStringLiteral("50"));
        window.findChild<QLineEdit*>(QStringLiteral("maxQualityEdit"))
            ->setText(QStringLiteral("90"));
        window.findChild<QLineEdit*>(QStringLiteral("qualityStepEdit"))
            ->setText(QStringLiteral("40"));
        QTimer::singleShot(200, &window, [&window] { window.compressImages(); });
    }
    if (mode == QLatin1String("results") && !screenshot.isEmpty()) {
        QTimer* poll = new QTimer(&window);
        QObject::connect(poll, &QTimer::timeout, &window, [&window, poll, screenshot] {
            ResultsWindow* results = window.getResultsWindow();
            if (!results->isVisible())
                return;
            poll->stop();
            results->grab().save(screenshot);
            results->done(QDialog::Rejected);
            window.close();
        });
        poll->start(300);
    }
    if (mode == QLatin1String("viewer")) {
        QTimer* poll = new QTimer(&window);
        QObject::connect(poll, &QTimer::timeout, &window, [&window, poll] {
            ResultsWindow* results = window.getResultsWindow();
            if (!results->isVisible() || results->panelCount() == 0)
                return;
            poll->stop();
            results->panel(0)->findChild<QPushButton*>(QStringLiteral("showButton"))->click();
        });
        poll->start(100);
    }
    const int status = app.exec();
    Image::deinitImage();
    return status;
}
