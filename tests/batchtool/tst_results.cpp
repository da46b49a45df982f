#include "BatchToolTest.h"
#include "Report.h"
#include "ResultList.h"
#include "ResultWidget.h"
#include "ResultsWindow.h"
#include "TestPictures.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QMenuBar>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {

const QByteArray expectedHeader =
    "Mode\tDCT method\tSmoothing\tChrominance Vertical Downsampling\tChrominance Horizontal "
    "Downsampling\tLuminance Vertical Downsampling\tLuminance Horizontal "
    "Downsampling\tAutoQuality\tQuality\tHuffman Optimization\tGreyscale\tLuminance "
    "Quantization\tChrominance Quantization\tFile\tCompresionRate\tCompressionPercentage\tBitRa"
    "te\tMeanSquareError\t\n";

QByteArray tableText(const unsigned int* values)
{
    QByteArray out;
    for (unsigned k = 0; k < QuantizationTable::SIZE; ++k) {
        if (k)
            out += ',';
        out += QByteArray::number(values[k]);
    }
    return out;
}

// The settings entry a default run makes.
JPEGSettings defaultEntry()
{
    JPEGSettings s;
    s.setCompressionMode(JPEGSettings::BASELINE);
    s.qtables[0] = QuantizationTable(JPEGSettings::presets[0]);
    s.qtables[1] = QuantizationTable(JPEGSettings::presets[1]);
    return s;
}

ResultStat stat(const QString& name, double rate)
{
    ResultStat r;
    r.fileName = name;
    r.compressionRate = rate;
    r.compressionPercentage = 100 * (1 - 1 / rate);
    r.bitRate = 24 / rate;
    r.mse = 1.25;
    return r;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Runs the results window on the two lists and hands it to `inspect` once it
// is open; the window is closed afterwards.
void showResults(ResultsWindow& window, std::vector<JPEGSettings>& settings,
                 std::vector<ResultStat>& results,
                 const std::function<void(ResultsWindow&)>& inspect)
{
    bool inspected = false;
    QTimer::singleShot(0, &window, [&] {
        QVERIFY(window.isVisible());
        inspect(window);
        inspected = true;
        window.close();
    });
    window.show(&settings, &results);
    QVERIFY(inspected);
}

} // namespace

class TestResults : public QObject
{
    Q_OBJECT

private slots:
    void reportRows()
    {
        QCOMPARE(Report::header(), expectedHeader);
        QCOMPARE(Report::header().count('\t'), 18);

        const QByteArray row =
            Report::row(defaultEntry(), stat(QStringLiteral("/pics/a.bmp"), 10.5));
        QVERIFY(row.startsWith("Baseline\tint\t0\t1\t1\t1\t1\tNo\t95\tNo\tNo\t"));
        const QByteArray tables =
            tableText(JPEGSettings::presets[0]) + '\t' + tableText(JPEGSettings::presets[1]) + '\t';
        QVERIFY(row.contains("\tNo\tNo\t" + tables + "a.bmp\t"));
        QVERIFY(row.endsWith("a.bmp\t10.500000\t90.476190\t2.285714\t1.250000\t\n"));
        QCOMPARE(row.count('\t'), 18);

        // Names without "/" are written whole; names go out as ISO 8859-2.
        QVERIFY(Report::row(defaultEntry(), stat(QStringLiteral("plain.png"), 2))
                    .contains("\tplain.png\t2.000000\t"));
        QVERIFY(Report::row(defaultEntry(),
                            stat(QString::fromUtf8("/x/\xc5\xbc\xc3\xb3\xc5\x82w.png"), 2))
                    .contains("\t\xbf\xf3\xb3w.png\t"));

        // Fixed notation with six decimals, whatever the size.
        ResultStat odd = stat(QStringLiteral("a"), 1e7);
        odd.mse = 0;
        odd.compressionPercentage = -12.3456789;
        QVERIFY(Report::row(defaultEntry(), odd)
                    .endsWith("\ta\t10000000.000000\t-12.345679\t0.000002\t0.000000\t\n"));

        // An extended progressive entry with automatic quality.
        JPEGSettings s = defaultEntry();
        s.setCompressionMode(JPEGSettings::EXTENDED);
        s.setProgressiveMode(true);
        s.setDCTMethod(JPEGSettings::FLOAT);
        s.setAutoQualityEnabled(true);
        s.setQuality(40);
        s.setGrayscaleOutput(true);
        s.downsampling[0].vertical = 2;
        s.downsampling[1].horizontal = 3;
        QVERIFY(Report::row(s, stat(QStringLiteral("a"), 2))
                    .startsWith("Progessive\tfloat\t0\t2\t1\t1\t3\tYes\t40\tNo\tYes\t"));

        std::vector<JPEGSettings> none;
        std::vector<ResultStat> noResults;
        QCOMPARE(Report::text(none, noResults), expectedHeader);
    }

    void reportFileIsWrittenWholeOrNotAtAll()
    {
        ScratchDir dir;
        const QString path = dir.file("report.txt");
        const QByteArray text = Report::header() + QByteArray(4000, 'x');
        QString error;
        QVERIFY(Report::write(path, text, &error));
        QCOMPARE(readAll(path), text);

        // A write that fails half way leaves the earlier file as it was.
        struct rlimit saved;
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved;
        small.rlim_cur = 1000;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool written = Report::write(path, Report::header() + QByteArray(4000, 'y'), &error);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
        QVERIFY(!written);
        QVERIFY(!error.isEmpty());
        QCOMPARE(readAll(path), text);

        // A file that cannot be created is reported in the "Error" box with
        // its name.
        ResultsWindow window(nullptr);
        BoxCatcher catcher;
        const QString unwritable = dir.file("no/such/folder/report.txt");
        QVERIFY(!window.saveReportAs(unwritable));
        QCOMPARE(catcher.record.count, 1);
        QCOMPARE(catcher.record.title, QStringLiteral("Error"));
        QCOMPARE(catcher.record.icon, QMessageBox::Critical);
        QVERIFY(catcher.record.text.contains(unwritable));
        QVERIFY(!QFile::exists(unwritable));
    }

    void emptyRunOpensAnEmptyWindowWithAHeaderOnlyReport()
    {
        ScratchDir dir;
        ResultsWindow window(nullptr);
        QCOMPARE(window.windowTitle(), QStringLiteral("Results"));
        QVERIFY(window.isModal());
        QCOMPARE(window.findChild<QMenuBar*>()->actions().size(), 1);
        QCOMPARE(window.findChild<QAction*>("saveAsAction")->text(), QStringLiteral("Save as"));

        std::vector<JPEGSettings> settings;
        std::vector<ResultStat> results;
        showResults(window, settings, results, [&](ResultsWindow& w) {
            QCOMPARE(w.panelCount(), 0);
            QVERIFY(w.findChildren<ResultWidget*>().isEmpty());
            QVERIFY(w.saveReportAs(dir.file("empty.txt")));
        });
        QCOMPARE(readAll(dir.file("empty.txt")), expectedHeader);
    }

    void panelsFollowTheListsAndTheReportFollowsThePanels()
    {
        ScratchDir dir;
        std::vector<JPEGSettings> settings(3, defaultEntry());
        std::vector<ResultStat> results = {stat("/p/a.png", 2), stat("/p/a.png", 4),
                                           stat("/p/b.png", 8)};
        ResultsWindow window(nullptr);
        showResults(window, settings, results, [&](ResultsWindow& w) {
            QCOMPARE(w.panelCount(), 3);
            for (int i = 0; i < 3; ++i) {
                QCOMPARE(w.panel(i)->getSettings(), &settings[std::size_t(i)]);
                QCOMPARE(w.panel(i)->getStat(), &results[std::size_t(i)]);
                QCOMPARE(w.panel(i)->backgroundRole(), QPalette::Midlight);
            }
            // An edit shows in the report at once, beside the old figures.
            auto* combo = w.panel(1)->findChild<QComboBox*>(QStringLiteral("dctCombo"));
            combo->setFocus();
            QTest::keyClick(combo, Qt::Key_Down);
            QVERIFY(w.saveReportAs(dir.file("r.txt")));
        });
        const QList<QByteArray> lines = readAll(dir.file("r.txt")).split('\n');
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[0] + '\n', expectedHeader);
        QVERIFY(lines[1].startsWith("Baseline\tint\t"));
        QVERIFY(lines[1].contains("\ta.png\t2.000000\t"));
        QVERIFY(lines[2].startsWith("Baseline\tfast\t"));
        QVERIFY(lines[2].contains("\ta.png\t4.000000\t"));
        QVERIFY(lines[3].contains("\tb.png\t8.000000\t"));
        QVERIFY(lines[4].isEmpty());

        // The next run replaces the panels.
        std::vector<JPEGSettings> fewer(1, defaultEntry());
        std::vector<ResultStat> fewerResults = {stat("/p/c.png", 3)};
        showResults(window, fewer, fewerResults, [&](ResultsWindow& w) {
            QCOMPARE(w.panelCount(), 1);
            QCOMPARE(w.findChildren<ResultWidget*>().size(), 1);
            QCOMPARE(w.panel(0)->getFilePath(), QStringLiteral("/p/c.png"));
        });
    }

    void manyResultsBuildOnlyTheVisiblePanels()
    {
        ScratchDir dir;
        const int n = 10000;
        std::vector<JPEGSettings> settings(std::size_t(n), defaultEntry());
        std::vector<ResultStat> results;
        for (int i = 0; i < n; ++i)
            results.push_back(stat(QStringLiteral("/p/picture%1.png").arg(i / 100), 2 + i % 50));
        settings[0].setCompressionMode(JPEGSettings::EXTENDED);
        settings[0].setProgressiveMode(true);

        ResultsWindow window(nullptr);
        window.resize(900, 500);
        showResults(window, settings, results, [&](ResultsWindow& w) {
            ResultList* list = w.resultList();
            QCOMPARE(w.panelCount(), n);
            const int built = int(list->builtPanels().size());
            QVERIFY2(built > 0 && built < 20, qPrintable(QString::number(built)));

            // Panel 0 switched to baseline keeps its checked, disabled box
            // when it is rebuilt; the entry keeps its flag.
            ResultWidget* first = w.panel(0);
            first->findChild<QRadioButton*>(QStringLiteral("baselineRadio"))->click();
            first->findChild<QSpinBox*>(QStringLiteral("smoothingSpin"))->setValue(7);
            QPointer<ResultWidget> watched = first;

            ResultWidget* last = w.panel(n - 1);
            QCOMPARE(last->getStat(), &results[std::size_t(n - 1)]);
            QCOMPARE(last->getFilePath(), QStringLiteral("/p/picture99.png"));
            QVERIFY(watched.isNull());
            QVERIFY(int(list->builtPanels().size()) < 20);

            ResultWidget* again = w.panel(0);
            auto* box = again->findChild<QCheckBox*>(QStringLiteral("progressiveCheck"));
            QVERIFY(box->isChecked());
            QVERIFY(!box->isEnabled());
            QCOMPARE(again->findChild<QSpinBox*>(QStringLiteral("smoothingSpin"))->value(), 7);
            QVERIFY(settings[0].isProgressive());
            QCOMPARE(settings[0].getCompressionMode(), JPEGSettings::BASELINE);

            // A panel holding the keyboard focus stays while scrolled away.
            auto* spin = again->findChild<QSpinBox*>(QStringLiteral("smoothingSpin"));
            spin->setFocus();
            QCOMPARE(w.focusWidget(), spin);
            QPointer<ResultWidget> focused = again;
            w.panel(n / 2);
            QVERIFY(!focused.isNull());

            // Panels of one run share one width.
            QCOMPARE(w.panel(n / 2)->width(), focused->width());

            QVERIFY(w.saveReportAs(dir.file("many.txt")));
        });
        const QList<QByteArray> lines = readAll(dir.file("many.txt")).split('\n');
        QCOMPARE(lines.size(), n + 2);
        QVERIFY(lines[1].startsWith("Baseline\tint\t7\t"));
        QVERIFY(lines[n].contains("\tpicture99.png\t"));
        // After the window closes its panels are gone with the run's lists.
        QVERIFY(window.findChildren<ResultWidget*>().isEmpty());
    }
};

QTEST_MAIN(TestResults)
#include "tst_results.moc"
