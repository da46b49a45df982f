// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchToolTest.h"
#include "BatchWindow.h"
#include "Image.h"
#include "ResultWidget.h"
#include "ResultsWindow.h"
#include "SettingsExpansion.h"
#include "TestPictures.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>

namespace {

QuantizationTable filled(unsigned value)
{
    QuantizationTable table;
    for (unsigned k = 0; k < QuantizationTable::SIZE; ++k)
        table[k] = value;
    return table;
}

BatchSettings::DownsamplingPair pair(int a, int b, int c, int d)
{
    BatchSettings::DownsamplingPair p;
    p.first.vertical = a;
    p.first.horizontal = b;
    p.second.vertical = c;
    p.second.horizontal = d;
    return p;
}

// What the progress dialog of a run went through, sampled at every turn of
// the event loop; optionally presses Cancel once in the first phase.
class RunWatcher
{
public:
    explicit RunWatcher(BatchWindow& window, int cancelAtCreatingValue = -1)
        : window(window), cancelAt(cancelAtCreatingValue)
    {
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [this] { look(); });
        timer.start();
    }

    int compressingMaximum = -1;
    // Each value the second phase showed, once.
    std::vector<int> compressingValues;
    bool canceled = false;
    bool sawCreating = false;

private:
    void look()
    {
        auto* dialog = window.findChild<QProgressDialog*>(QStringLiteral("progressDialog"));
        if (!dialog)
            return;
        if (dialog->labelText() == QLatin1String("Creating settings")) {
            sawCreating = true;
            if (!canceled && cancelAt >= 0 && dialog->value() >= cancelAt) {
                canceled = true;
                dialog->findChild<QPushButton*>()->click();
            }
        } else if (dialog->labelText() == QLatin1String("Compressing files")) {
            compressingMaximum = dialog->maximum();
            // A reset dialog shows -1 until the first step.
            if (dialog->value() >= 0 &&
                (compressingValues.empty() || compressingValues.back() != dialog->value()))
                compressingValues.push_back(dialog->value());
        }
    }

    BatchWindow& window;
    int cancelAt;
    QTimer timer;
};

// What the results window showed when it opened.
struct Shown
{
    int count = -1;
    std::vector<QString> files;
    std::vector<int> smoothing;
};

} // namespace

class TestBatchRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Image::initImage(); }

    void defaultSweepGivesOneEntry()
    {
        BatchSettings sweep;
        const std::vector<JPEGSettings> list = expandBatchSettings(sweep, nullptr);
        QCOMPARE(list.size(), std::size_t(1));
        const JPEGSettings& s = list[0];
        QCOMPARE(s.getCompressionMode(), JPEGSettings::BASELINE);
        QVERIFY(!s.isProgressive());
        QVERIFY(!s.isInterleaved());
        QVERIFY(!s.getGrayscaleOutput());
        QVERIFY(!s.getOptimizeHuffman());
        QVERIFY(!s.isAutoQualityEnabled());
        QCOMPARE(s.getDCTMethod(), JPEGSettings::INT);
        QCOMPARE(s.getSmoothing(), 0);
        QCOMPARE(s.getQuality(), 95);
        const bool* inUse = s.getCurrentQuantizationTables();
        QVERIFY(inUse[0] && inUse[1] && !inUse[2] && !inUse[3]);
        QCOMPARE(s.qtables[0], QuantizationTable(JPEGSettings::presets[0]));
        QCOMPARE(s.qtables[1], QuantizationTable(JPEGSettings::presets[1]));
        for (const JPEGSettings::Downsampling& d : s.downsampling)
            QCOMPARE(d, JPEGSettings::Downsampling());
    }

    void fullSweepCountAndOrder()
    {
        BatchSettings sweep;
        sweep.extended = sweep.progressive = sweep.nonProgressive = true;
        sweep.grayscaleOutput = sweep.optimizeHuffman = true;
        sweep.dctFast = sweep.dctFloat = true;
        sweep.maxSmoothing = 10;
        sweep.smoothingStep = 5;
        sweep.autoQuality = true;
        sweep.minQuality = 50;
        sweep.maxQuality = 90;
        sweep.qualityStep = 20;

        std::vector<JPEGSettings> list = expandBatchSettings(sweep, nullptr);
        QCOMPARE(list.size(), std::size_t(144));

        // Fastest levels: manual DCT int/fast/float x smoothing 0/5/10, then
        // automatic quality 50/70/90.
        const JPEGSettings::DCTMethod methods[] = {JPEGSettings::INT, JPEGSettings::FAST,
                                                   JPEGSettings::FLOAT};
        for (int i = 0; i < 9; ++i) {
            QVERIFY(!list[i].isAutoQualityEnabled());
            QCOMPARE(list[i].getDCTMethod(), methods[i / 3]);
            QCOMPARE(list[i].getSmoothing(), 5 * (i % 3));
        }
        for (int i = 9; i < 12; ++i) {
            QVERIFY(list[i].isAutoQualityEnabled());
            QCOMPARE(list[i].getQuality(), 50 + 20 * (i - 9));
            // The automatic entries carry the latest manual DCT and smoothing.
            QCOMPARE(list[i].getDCTMethod(), JPEGSettings::FLOAT);
            QCOMPARE(list[i].getSmoothing(), 10);
        }
        // Then Huffman (optimized first), output (grey first), mode.
        for (int block = 0; block < 12; ++block) {
            const JPEGSettings& s = list[std::size_t(block * 12)];
            QCOMPARE(s.getOptimizeHuffman(), block % 2 == 0);
            QCOMPARE(s.getGrayscaleOutput(), block / 2 % 2 == 0);
            const int mode = block / 4;
            QCOMPARE(s.getCompressionMode(),
                     mode == 0 ? JPEGSettings::BASELINE : JPEGSettings::EXTENDED);
            if (mode > 0)
                QCOMPARE(s.isProgressive(), mode == 1);
        }

        // Two pairs, two luminance tables and three chrominance tables
        // multiply the list, slowest first.
        sweep.downsamplingPairs = {pair(2, 2, 1, 1), pair(1, 2, 1, 1)};
        sweep.luminanceTables = {filled(3), filled(4)};
        sweep.chrominanceTables = {filled(5), filled(6), filled(7)};
        list = expandBatchSettings(sweep, nullptr);
        QCOMPARE(list.size(), std::size_t(144 * 12));
        QCOMPARE(expansionSize(sweep, 1000000), std::uint64_t(list.size()));
        for (int block = 0; block < 12; ++block) {
            const JPEGSettings& s = list[std::size_t(block * 144)];
            QCOMPARE(s.downsampling[0], sweep.downsamplingPairs[std::size_t(block / 6)].first);
            QCOMPARE(s.downsampling[1], sweep.downsamplingPairs[std::size_t(block / 6)].second);
            QCOMPARE(s.qtables[0], filled(3 + unsigned(block / 3 % 2)));
            QCOMPARE(s.qtables[1], filled(5 + unsigned(block % 3)));
        }

        // Four table qualities multiply the 9 manual entries of each block,
        // the 3 automatic ones stay: 12 blocks of 36 + 3 per table pair and
        // sampling record.
        sweep.tableQuality = true;
        sweep.minTableQuality = 20;
        sweep.maxTableQuality = 80;
        sweep.tableQualityStep = 20;
        list = expandBatchSettings(sweep, nullptr);
        QCOMPARE(list.size(), std::size_t((9 * 4 + 3) * 12 * 12));
        // Counted without building, as a run is refused before it builds.
        QCOMPARE(expansionSize(sweep, 1000000), std::uint64_t(list.size()));
        QCOMPARE(expansionSize(sweep, 100), std::uint64_t(101));
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(list[std::size_t(i)].getQuality(), 20 + 20 * i);
            QCOMPARE(list[std::size_t(i)].getSmoothing(), 0);
        }
        QCOMPARE(list[4].getSmoothing(), 5);
    }

    void entriesInheritWhatEarlierPassesLeft()
    {
        // Baseline entries keep the progressive flag of the last extended pass.
        BatchSettings sweep;
        sweep.extended = sweep.progressive = true;
        sweep.nonProgressive = false;
        sweep.luminanceTables = {filled(3), filled(4)};
        std::vector<JPEGSettings> list = expandBatchSettings(sweep, nullptr);
        QCOMPARE(list.size(), std::size_t(4));
        QCOMPARE(list[0].getCompressionMode(), JPEGSettings::BASELINE);
        QVERIFY(!list[0].isProgressive());
        QVERIFY(list[1].isProgressive());
        QCOMPARE(list[2].getCompressionMode(), JPEGSettings::BASELINE);
        QVERIFY(list[2].isProgressive());

        // Manual entries carry the last automatic quality once one has run.
        sweep = BatchSettings();
        sweep.optimizeHuffman = true;
        sweep.autoQuality = true;
        sweep.minQuality = 50;
        sweep.maxQuality = 90;
        sweep.qualityStep = 20;
        list = expandBatchSettings(sweep, nullptr);
        QCOMPARE(list.size(), std::size_t(8));
        QCOMPARE(list[0].getQuality(), 95);
        QCOMPARE(list[3].getQuality(), 90);
        QVERIFY(!list[4].isAutoQualityEnabled());
        QCOMPARE(list[4].getQuality(), 90);
    }

    void emptyListsGiveNoEntries()
    {
        BatchSettings sweep;
        sweep.downsamplingPairs.clear();
        QVERIFY(expandBatchSettings(sweep, nullptr).empty());
        sweep = BatchSettings();
        sweep.chrominanceTables.clear();
        QVERIFY(expandBatchSettings(sweep, nullptr).empty());
    }

    void wholeRunTwoPicturesTenEntries()
    {
        ScratchDir dir;
        const QString first = dir.file("first.png");
        const QString second = dir.file("second.bmp");
        QVERIFY(TestPictures::write(first, 24, 16));
        QVERIFY(TestPictures::write(second, 16, 16, TestPictures::Kind::Grey, "bmp"));

        BatchWindow window(nullptr);
        window.updateUI();
        window.setFiles({first, dir.file("not-a-picture.png"), second});
        window.findChild<QLineEdit*>("maxSmoothingEdit")->setText("90");
        window.findChild<QLineEdit*>("smoothingStepEdit")->setText("10");

        Shown shown;
        ModalWatcher results([&](QWidget* modal) {
            auto* w = qobject_cast<ResultsWindow*>(modal);
            if (!w)
                return;
            shown.count = w->panelCount();
            for (int i = 0; i < w->panelCount(); ++i) {
                ResultWidget* panel = w->panel(i);
                shown.files.push_back(panel->getFilePath());
                shown.smoothing.push_back(panel->getSettings()->getSmoothing());
            }
            w->done(QDialog::Rejected);
        });
        RunWatcher progress(window);
        window.findChild<QPushButton*>("compressButton")->click();

        QCOMPARE(shown.count, 20);
        for (int i = 0; i < 20; ++i) {
            QCOMPARE(shown.files[std::size_t(i)], i < 10 ? first : second);
            QCOMPARE(shown.smoothing[std::size_t(i)], 10 * (i % 10));
        }
        // The unreadable file takes no steps, but counts in the maximum.
        QCOMPARE(progress.compressingMaximum, 30);
        // One step per attempted compression; the final value may or may not
        // be seen before the dialog goes.
        std::vector<int> steps = progress.compressingValues;
        if (steps.size() == 21)
            steps.pop_back();
        QCOMPARE(steps.size(), std::size_t(20));
        for (int i = 0; i < 20; ++i)
            QCOMPARE(steps[std::size_t(i)], i);
        QVERIFY(!window.findChild<QProgressDialog*>());
        // The run leaves the sweep as the form stored it.
        QCOMPARE(window.getBatchSettings()->maxSmoothing, 90);

        // Again with two readable files only: the maximum is files x entries.
        window.setFiles({first, second});
        RunWatcher again(window);
        window.findChild<QPushButton*>("compressButton")->click();
        QCOMPARE(shown.count, 20);
        QCOMPARE(again.compressingMaximum, 20);
    }

    // A run with nothing to do, or too much to build, does not start and
    // says why.
    void runsWithNothingToDoAreRefused()
    {
        ScratchDir dir;
        const QString picture = dir.file("a.png");
        QVERIFY(TestPictures::write(picture, 8, 8));
        BatchWindow window(nullptr);
        window.updateUI();
        bool resultsShown = false;
        ModalWatcher results([&](QWidget* modal) {
            if (auto* w = qobject_cast<ResultsWindow*>(modal)) {
                resultsShown = true;
                w->done(QDialog::Rejected);
            }
        });
        const auto refusal = [&]() {
            BoxCatcher catcher;
            window.compressImages();
            return catcher.record.count == 1 && catcher.record.title == QLatin1String("Error")
                       ? catcher.record.text
                       : QStringLiteral("<no single error box>");
        };

        QVERIFY(refusal().contains(QStringLiteral("no pictures")));
        window.setFiles({picture});
        window.getBatchSettings()->chrominanceTables.clear();
        QString text = refusal();
        QVERIFY2(text.contains(QStringLiteral("chrominance quantization tables")),
                 qPrintable(text));
        QVERIFY(!text.contains(QStringLiteral("luminance quantization tables")));
        QVERIFY(!text.contains(QStringLiteral("down-sampling")));

        // 11 pairs x 1000 x 1000 tables: counted, never built.
        BatchSettings& sweep = *window.getBatchSettings();
        sweep.downsamplingPairs.assign(11, pair(1, 1, 1, 1));
        sweep.luminanceTables.assign(1000, filled(2));
        sweep.chrominanceTables.assign(1000, filled(3));
        text = refusal();
        QVERIFY2(text.contains(QStringLiteral("11000000 settings entries")), qPrintable(text));
        QVERIFY(!resultsShown);
        QVERIFY(!QFile::exists(dir.file("tmp.bin")));
    }

    // After a run the results window says what was asked for, what
    // succeeded and why the rest failed.
    void theRunSummaryNamesEveryFailure()
    {
        ScratchDir dir;
        const QString picture = dir.file("a.png");
        QVERIFY(TestPictures::write(picture, 32, 32));
        const QString missing = dir.file("missing.png");
        BatchWindow window(nullptr);
        window.updateUI();
        window.setFiles({picture, missing});
        // 3 x 3 beside 1 x 1 needs more blocks than the library allows.
        window.getBatchSettings()->downsamplingPairs = {pair(1, 1, 1, 1), pair(3, 3, 1, 1)};

        QString summary;
        int panels = -1;
        bool usable = false;
        const auto run = [&] {
            // A watcher per run: the same window opens again.
            ModalWatcher results([&](QWidget* modal) {
                auto* w = qobject_cast<ResultsWindow*>(modal);
                if (!w)
                    return;
                panels = w->panelCount();
                auto* label = w->findChild<QLabel*>(QStringLiteral("summaryLabel"));
                summary = label->isVisible() ? label->text() : QString();
                usable = w->width() >= w->minimumSizeHint().width() && w->height() > 100;
                w->done(QDialog::Rejected);
            });
            window.compressImages();
        };
        run();
        QCOMPARE(panels, 1);
        const QStringList lines = summary.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 3);
        QVERIFY2(lines[0].startsWith(QStringLiteral("4 compressions asked for")),
                 qPrintable(summary));
        QVERIFY(lines[0].contains(QStringLiteral("1 succeeded, 3 failed")));
        QVERIFY(lines[1].startsWith(QStringLiteral("1 failed: the compression failed: ")));
        QVERIFY(lines[1].contains(QStringLiteral("sampling Y 3%13").arg(QChar(0x00D7))));
        QVERIFY(lines[1].contains(QStringLiteral("files a.png")));
        QVERIFY(lines[2].startsWith(
            QStringLiteral("2 failed: the picture could not be loaded: The file does not exist")));
        QVERIFY(lines[2].contains(QStringLiteral("missing.png")));
        QVERIFY(usable);

        // Nothing succeeds: the empty window still says why, at a usable size.
        window.setFiles({missing});
        run();
        QCOMPARE(panels, 0);
        QVERIFY2(summary.startsWith(QStringLiteral("2 compressions asked for")),
                 qPrintable(summary));
        QVERIFY(summary.contains(QStringLiteral("0 succeeded, 2 failed")));
        QVERIFY(usable);
    }

    void cancelWhileCreatingStillCompresses()
    {
        ScratchDir dir;
        const QString picture = dir.file("a.png");
        QVERIFY(TestPictures::write(picture, 8, 8));
        BatchWindow window(nullptr);
        window.updateUI();
        window.setFiles({picture, picture});
        window.findChild<QLineEdit*>("minSmoothingEdit")->setText("0");
        window.findChild<QLineEdit*>("maxSmoothingEdit")->setText("100");
        window.findChild<QLineEdit*>("smoothingStepEdit")->setText("1");

        int panels = -1;
        std::vector<int> smoothing;
        ModalWatcher results([&](QWidget* modal) {
            auto* w = qobject_cast<ResultsWindow*>(modal);
            if (!w)
                return;
            panels = w->panelCount();
            for (int i = 0; i < panels; ++i)
                smoothing.push_back(w->panel(i)->getSettings()->getSmoothing());
            w->done(QDialog::Rejected);
        });
        RunWatcher progress(window, 5);
        window.findChild<QPushButton*>("compressButton")->click();

        QVERIFY(progress.canceled);
        QVERIFY(panels > 0);
        QVERIFY2(panels < 2 * 101, qPrintable(QString::number(panels)));
        QCOMPARE(panels % 2, 0);
        const int entries = panels / 2;
        QCOMPARE(progress.compressingMaximum, panels);
        for (int i = 0; i < panels; ++i)
            QCOMPARE(smoothing[std::size_t(i)], i % entries);
    }
};

QTEST_MAIN(TestBatchRun)
#include "tst_batchrun.moc"
