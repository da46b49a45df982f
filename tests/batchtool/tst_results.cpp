// SPDX-License-Identifier: GPL-3.0-or-later
#include "BDCommand.h"
#include "BatchToolTest.h"
#include "CsvEntry.h"
#include "CsvReader.h"
#include "Curves.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "RDChart.h"
#include "RDChartLegend.h"
#include "Report.h"
#include "ResultList.h"
#include "ResultTable.h"
#include "ResultTableModel.h"
#include "ResultWidget.h"
#include "ResultsWindow.h"
#include "TestPictures.h"

#include <QAbstractSeries>
#include <QAction>
#include <QChart>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGraphicsLayout>
#include <QLabel>
#include <QLegend>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QWheelEvent>
#include <QtTest/qtestspontaneevent.h>

#include <cmath>
#include <set>

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
        // Past the question about unsaved results, which has its own test.
        window.done(QDialog::Rejected);
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

        // Tabs and line ends in a name would break the row apart.
        const QByteArray odd_name =
            Report::row(defaultEntry(), stat(QStringLiteral("/p/a\tb\nc\rd.png"), 2));
        QVERIFY(odd_name.contains("\ta b c d.png\t2.000000\t"));
        QCOMPARE(odd_name.count('\t'), 18);
        QCOMPARE(odd_name.count('\n'), 1);
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
        QCOMPARE(window.findChild<QAction*>("saveAsAction")->text(), QStringLiteral("Save &as"));

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
        const QString shortName = dir.file("a.png");
        const QString longName = dir.file("a-picture-with-a-much-longer-name.png");
        QVERIFY(TestPictures::write(shortName, 24, 16));
        QVERIFY(TestPictures::write(longName, 16, 16));
        std::vector<JPEGSettings> settings(3, defaultEntry());
        settings[2].qtables[1] = QuantizationTable(JPEGSettings::presets[12]);
        settings[2].downsampling[0].horizontal = 2;
        std::vector<ResultStat> results = {stat(shortName, 2), stat(shortName, 4),
                                           stat(longName, 8)};
        ResultsWindow window(nullptr);
        // The chrominance tables came from a file, the luminance one did not.
        SweepCsv::TableNames names;
        names.tables[1] = {QuantizationTable(JPEGSettings::presets[1]),
                           QuantizationTable(JPEGSettings::presets[12])};
        names.names[1] = SweepCsv::fileTableNames(dir.file("chroma.txt"), 2);
        window.tableModel()->setTableNames(names);
        showResults(window, settings, results, [&](ResultsWindow& w) {
            QCOMPARE(w.panelCount(), 3);
            for (int i = 0; i < 3; ++i) {
                QCOMPARE(w.panel(i)->getSettings(), &settings[std::size_t(i)]);
                QCOMPARE(w.panel(i)->getStat(), &results[std::size_t(i)]);
                QCOMPARE(w.panel(i)->backgroundRole(), QPalette::Midlight);
                // Numbered from 1, with their tables and sampling named.
                QCOMPARE(w.panel(i)->findChild<QLabel*>("numberLabel")->text(),
                         QString::number(i + 1));
            }
            const QString times(QChar(0x00D7));
            // As the table and the CSV name them: the file's tables by their
            // 0-based index there, the others by their preset.
            QCOMPARE(w.panel(0)->findChild<QLabel*>("tablesLabel")->text(),
                     QString("Luminance standard / chroma.txt:0"));
            QCOMPARE(w.panel(2)->findChild<QLabel*>("tablesLabel")->text(),
                     QString("Luminance standard / chroma.txt:1"));
            QCOMPARE(w.panel(2)->findChild<QLabel*>("samplingLabel")->text(),
                     "2" + times + "1, 1" + times + "1");
            const int chrominance = w.tableModel()->column("chrominance_table");
            QCOMPARE(w.tableModel()->text(2, chrominance), QString("chroma.txt:1"));
            // The columns line up whatever the length of the names.
            const auto left = [&](int i, const char* name) {
                QWidget* child = w.panel(i)->findChild<QWidget*>(QLatin1String(name));
                return child->mapTo(w.panel(i), QPoint()).x();
            };
            for (const char* column : {"modeGroup", "codingGroup", "statsGroup"}) {
                QCOMPARE(left(0, column), left(2, column));
            }
            QVERIFY(w.hasUnsavedResults());
            QVERIFY(w.saveReportAs(dir.file("first.txt")));
            QVERIFY(!w.hasUnsavedResults());

            // An edit is compressed at once and shows in the report with
            // its own figures; it makes the results unsaved again.
            auto* combo = w.panel(1)->findChild<QComboBox*>(QStringLiteral("dctCombo"));
            combo->setFocus();
            QTest::keyClick(combo, Qt::Key_Down);
            QVERIFY(w.hasUnsavedResults());
            QVERIFY(w.saveReportAs(dir.file("r.txt")));

            // Under automatic quality the panel names what the encoder
            // applies, not the entry's unused tables and factors.
            w.panel(2)->findChild<QCheckBox*>(QStringLiteral("autoCheck"))->setChecked(true);
            QCOMPARE(w.panel(2)->findChild<QLabel*>("tablesLabel")->text(),
                     QString("library standard / library standard"));
            QCOMPARE(w.panel(2)->findChild<QLabel*>("samplingLabel")->text(),
                     "2" + times + "2, 1" + times + "1");
        });
        const QList<QByteArray> lines = readAll(dir.file("r.txt")).split('\n');
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[0] + '\n', expectedHeader);
        QVERIFY(lines[1].startsWith("Baseline\tint\t"));
        QVERIFY(lines[1].contains("\ta.png\t2.000000\t"));
        QVERIFY(lines[3].contains("\ta-picture-with-a-much-longer-name.png\t8.000000\t"));
        QVERIFY(lines[4].isEmpty());
        // The edited row against a compression made here.
        QVERIFY(lines[2].startsWith("Baseline\tfast\t"));
        JPEGSettings edited = defaultEntry();
        edited.setDCTMethod(JPEGSettings::FAST);
        Image source(QFile::encodeName(shortName).toStdString());
        JPEGCompressor reference;
        *reference.getSettings() = edited;
        reference.setImage(&source);
        const std::unique_ptr<CompressionResult> fresh(reference.compressImage());
        QVERIFY(fresh);
        QCOMPARE(lines[2] + '\n', Report::row(edited, ResultStat(*fresh)));

        // The next run replaces the panels.
        std::vector<JPEGSettings> fewer(1, defaultEntry());
        std::vector<ResultStat> fewerResults = {stat("/p/c.png", 3)};
        showResults(window, fewer, fewerResults, [&](ResultsWindow& w) {
            QCOMPARE(w.panelCount(), 1);
            QCOMPARE(w.findChildren<ResultWidget*>().size(), 1);
            QCOMPARE(w.panel(0)->getFilePath(), QStringLiteral("/p/c.png"));
        });
    }

    // A small sweep: two pictures, DCT int and float, four qualities; float
    // takes 90 % of int's rate at the same PSNR.
    void tableChartAndCsvShowTheSameRun()
    {
        ScratchDir dir;
        std::vector<JPEGSettings> settings;
        std::vector<ResultStat> results;
        const int qualities[] = {50, 60, 90, 100};
        const double psnr[] = {30, 33, 37, 41};
        // Real pictures: an edited panel recompresses its picture.
        const QString pictures[] = {dir.file("a.png"), dir.file("b.png")};
        for (const QString& picture : pictures) {
            QVERIFY(TestPictures::write(picture, 16, 16));
            for (JPEGSettings::DCTMethod dct : {JPEGSettings::INT, JPEGSettings::FLOAT}) {
                for (int q = 0; q < 4; ++q) {
                    JPEGSettings s = defaultEntry();
                    s.setDCTMethod(dct);
                    s.setQuality(qualities[q]);
                    settings.push_back(s);
                    ResultStat r = stat(
                        picture, 24 / (0.25 * (q + 1) * (dct == JPEGSettings::FLOAT ? 0.9 : 1)));
                    r.mse = 255.0 * 255.0 / std::pow(10.0, psnr[q] / 10);
                    results.push_back(r);
                }
            }
        }
        ResultsWindow window(nullptr);
        QStringList runCommands;
        showResults(window, settings, results, [&](ResultsWindow& w) {
            QCOMPARE(w.tabs()->count(), 3);
            QCOMPARE(w.tabs()->tabText(1), QStringLiteral("Table"));
            ResultTableModel* model = w.tableModel();
            QTableView* view = w.resultTable()->view();
            QAbstractItemModel* shown = view->model();
            QCOMPARE(shown->rowCount(), 16);
            QCOMPARE(model->text(4, model->column("dct")), QStringLiteral("float"));
            QCOMPARE(model->text(0, model->column("sampling")), QStringLiteral("1x1,1x1,1x1"));

            // Numbers sort as numbers: quality 100 after 90.
            const int quality = model->column("quality");
            view->sortByColumn(quality, Qt::DescendingOrder);
            QCOMPARE(shown->index(0, quality).data().toString(), QStringLiteral("100"));
            QCOMPARE(shown->index(15, quality).data().toString(), QStringLiteral("50"));

            // Column filters combine with the overall filter.
            auto* column = w.findChild<QComboBox*>("filterColumn");
            auto* columnText = w.findChild<QLineEdit*>("columnFilter");
            auto* overall = w.findChild<QLineEdit*>("overallFilter");
            column->setCurrentText("dct");
            columnText->setText("FLOAT");
            QCOMPARE(shown->rowCount(), 8);
            column->setCurrentText("quality");
            // A filter on another column stays in sight.
            auto* shownLabel = w.findChild<QLabel*>("shownLabel");
            QVERIFY2(shownLabel->text().startsWith("8 of 16 results shown") &&
                         shownLabel->text().contains("dct: FLOAT"),
                     qPrintable(shownLabel->text()));
            columnText->setText(">=90");
            QCOMPARE(shown->rowCount(), 4);
            // Figures at six significant digits, the CSV's in the tool tip.
            const int bppColumn = model->column("bpp");
            QCOMPARE(model->index(1, bppColumn).data().toString(),
                     QString::number(results[1].bitRate, 'g', 6));
            const int mseColumn = model->column("mse");
            QVERIFY(model->text(1, mseColumn).size() > 8);
            QCOMPARE(model->index(1, mseColumn).data().toString(),
                     QString::number(results[1].mse, 'g', 6));
            QCOMPARE(model->index(1, mseColumn).data(Qt::ToolTipRole).toString(),
                     model->text(1, mseColumn));
            overall->setText("b.png");
            QCOMPARE(shown->rowCount(), 2);
            // Selecting a row the filters hide clears them.
            w.resultTable()->selectRow(0);
            QCOMPARE(shown->rowCount(), 16);
            QCOMPARE(w.resultTable()->selectedRows(), std::vector<int>{0});
            // Commands that reproduce the row (run in tst_commands): the
            // table quality always, the sweep's default tables for cjpeg
            // through a tables file, the PNG read by netpbm.
            const QString cjpeg = w.resultTable()->cjpegOptionsText();
            QVERIFY2(cjpeg.contains("-qtables row-qtables.txt -qslots 0,1,1") &&
                         cjpeg.contains(QStringLiteral("pngtopnm '%1' | ppmtoppm | cjpeg -quality ")
                                            .arg(pictures[0])),
                     qPrintable(cjpeg));
            const QString sweep = w.resultTable()->sweepOptionsText();
            QVERIFY2(sweep.contains(QStringLiteral("tessera-sweep --mode baseline --output colour "
                                                   "--huffman no --dct int --smoothing 0:0:0 "
                                                   "--table-quality 50:50:0")),
                     qPrintable(sweep));
            QVERIFY2(sweep.endsWith(QStringLiteral(" '%1'").arg(pictures[0])), qPrintable(sweep));

            // One curve per picture and DCT method, ordered by rate; averaged,
            // one per method; float saves 10 % at equal PSNR.
            w.tabs()->setCurrentIndex(2);
            RDChart* chart = w.rdChart();
            QCOMPARE(chart->curves().size(), std::size_t(4));
            QCOMPARE(chart->chart()->series().size(), 4);
            QCOMPARE(chart->curves()[1].points.size(), std::size_t(4));
            QCOMPARE(chart->curves()[1].points[0].rows, std::vector<int>{4});
            QVERIFY(std::abs(chart->curves()[1].points[3].figure - 41) < 1e-9);
            chart->setAveraged(true);
            QCOMPARE(chart->chart()->series().size(), 2);
            QCOMPARE(chart->chart()->series()[1]->name(),
                     QStringLiteral("dct float (mean of a.png, b.png)"));
            QVERIFY(chart->pointText(1, 0).contains("mean of 2 pictures"));
            // The legend beside the plot names every curve whole.
            QVERIFY(chart->legend()->isVisible());
            QCOMPARE(chart->legend()->lines(1).join(' '),
                     QStringLiteral("dct float (mean of a.png, b.png)"));
            QTableWidget* bd = chart->bdTable();
            QCOMPARE(bd->rowCount(), 0); // nothing compared yet
            chart->setCurveBy({"dct"});
            QCOMPARE(bd->rowCount(), 3); // a, b, mean of float against int
            QCOMPARE(bd->item(2, 0)->text(), QStringLiteral("mean"));
            QCOMPARE(bd->item(2, 4)->text(), QStringLiteral("-10.00"));
            // The chart follows the table's filters.
            column->setCurrentText("picture");
            columnText->setText("a.png");
            chart->rebuild();
            QCOMPARE(chart->chart()->series().size(), 2);
            QCOMPARE(bd->rowCount(), 2); // a and the mean of its one pair
            columnText->clear();
            chart->rebuild();
            QVERIFY(chart->exportTo(dir.file("chart.png"), QSize(640, 400)));
            QCOMPARE(QImage(dir.file("chart.png")).size(), QSize(640, 400));
            QVERIFY(chart->exportTo(dir.file("chart.svg"), QSize(640, 400)));
            QVERIFY(readAll(dir.file("chart.svg")).contains("<svg"));
            QVERIFY(chart->exportTo(dir.file("chart.pdf"), QSize(640, 400)));
            QVERIFY(readAll(dir.file("chart.pdf")).startsWith("%PDF"));
            QVERIFY(chart->exportTo(dir.file("chart300.png"), QSize(640, 400), 300));
            QCOMPARE(QImage(dir.file("chart300.png")).size(), QSize(2000, 1250));

            // An edit on a panel reaches the table when its tab is shown.
            w.tabs()->setCurrentIndex(0);
            w.panel(3)->findChild<QSpinBox*>("qualitySpin")->setValue(77);
            w.tabs()->setCurrentIndex(1);
            QCOMPARE(model->index(3, quality).data().toString(), QStringLiteral("77"));
            // ... with the recompressed file's size and sampling, untimed.
            QVERIFY(model->number(3, model->column("jpeg_bytes")) > 0);
            QCOMPARE(model->text(3, model->column("sampling")), QStringLiteral("1x1,1x1,1x1"));
            QCOMPARE(model->text(3, model->column("encode_ms")), QString());
            // Butteraugli, left out of runs, is measured on request.
            QVERIFY(std::isnan(w.panel(3)->getStat()->butteraugli));
            w.panel(3)->findChild<QPushButton*>("butteraugliMeasureButton")->click();
            QVERIFY(w.panel(3)->getStat()->butteraugli > 0);
            QVERIFY(w.panel(3)->getStat()->butteraugli3Norm > 0);
            QVERIFY(w.panel(3)->findChild<QLabel*>("butteraugliLabel")->text().contains('/'));
            QVERIFY(!model->text(3, model->column("butteraugli")).isEmpty());

            // The CSV reads back with every row and field.
            QVERIFY(w.exportCsv(dir.file("run.csv")));
            QString error;
            const auto csv = CsvTable::read(dir.file("run.csv"), &error);
            QVERIFY2(csv, qPrintable(error));
            QCOMPARE(csv->header(), ResultTableModel::columnNames());
            QCOMPARE(csv->count(), 16);
            for (int r = 0; r < 16; ++r)
                for (int c = 0; c < model->columnCount(); ++c)
                    QCOMPARE(csv->text(r, c), model->text(r, c));
            QCOMPARE(csv->number(5, model->column("bpp")), results[5].bitRate);
            for (int r = 0; r < 16; ++r) {
                w.resultTable()->selectRow(r);
                runCommands << w.resultTable()->cjpegOptionsText()
                            << w.resultTable()->sweepOptionsText();
            }
        });

        // Open results... shows the exported CSV as the run showed it: the
        // same rows and figures in the table, the same curves, no panels.
        ResultsWindow opened(nullptr);
        QVERIFY(opened.loadCsv(dir.file("run.csv")));
        ResultTableModel* model = opened.tableModel();
        QCOMPARE(opened.panelCount(), 0);
        QCOMPARE(opened.tabs()->count(), 2);
        QCOMPARE(model->rowCount(), 16);
        QString error;
        const auto csv = CsvTable::read(dir.file("run.csv"), &error);
        for (int r = 0; r < 16; ++r) {
            for (int c = 0; c < model->columnCount(); ++c) {
                QCOMPARE(model->text(r, c), csv->text(r, c));
                const QVariant sorted = model->index(r, c).data(ResultTableModel::SortRole);
                if (sorted.typeId() == QMetaType::Double && !csv->text(r, c).isEmpty())
                    QCOMPARE(sorted.toDouble(), csv->number(r, c));
            }
        }
        QCOMPARE(model->index(1, model->column("bpp")).data().toString(),
                 QString::number(results[1].bitRate, 'g', 6));
        QCOMPARE(model->settingsAt(0), nullptr);
        // Its rows copy the commands of the run's rows.
        QStringList csvCommands;
        for (int r = 0; r < 16; ++r) {
            opened.resultTable()->selectRow(r);
            csvCommands << opened.resultTable()->cjpegOptionsText()
                        << opened.resultTable()->sweepOptionsText();
        }
        QCOMPARE(csvCommands, runCommands);
        opened.tabs()->setCurrentWidget(opened.rdChart());
        QCOMPARE(opened.rdChart()->curves().size(), std::size_t(4));
        QVERIFY(std::abs(opened.rdChart()->curves()[1].points[3].figure - 41) < 1e-9);
        QVERIFY(opened.exportCsv(dir.file("again.csv")));
        QCOMPARE(readAll(dir.file("again.csv")), readAll(dir.file("run.csv")));

        // A file that is not a sweep table is refused in the "Error" box.
        QFile other(dir.file("other.csv"));
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("name,size\r\nx,1\r\n");
        other.close();
        BoxCatcher catcher;
        QVERIFY(!opened.loadCsv(other.fileName()));
        QTRY_COMPARE(catcher.record.count, 1);
        QVERIFY2(catcher.record.text.contains("not a sweep table"),
                 qPrintable(catcher.record.text));
        QCOMPARE(model->rowCount(), 16);
    }

    // A CSV opened from a file names its tables only; the entries of its
    // rows are made again from the names (a table file beside the CSV, the
    // presets, automatic quality), and give the run's bytes. A custom table
    // cannot be had, and "Show" says so.
    void rowsOfAnOpenedCsvCompressAgain()
    {
        ScratchDir dir;
        const QString picture = dir.file("a.png");
        QVERIFY(TestPictures::write(picture, 40, 24));
        unsigned int own[2][QuantizationTable::SIZE];
        QByteArray tablesText;
        for (int t = 0; t < 2; ++t)
            for (unsigned k = 0; k < QuantizationTable::SIZE; ++k) {
                own[t][k] = 3 + k % 7 + 5 * t + k / 9;
                tablesText += QByteArray::number(own[t][k]) + (k % 8 == 7 ? "\n" : " ");
            }
        QFile tables(dir.file("tables.txt"));
        QVERIFY(tables.open(QIODevice::WriteOnly) && tables.write(tablesText) > 0);
        tables.close();

        JPEGSettings entry = defaultEntry();
        // As a sweep's entries do: both tables written as they are named.
        entry.getCurrentQuantizationTables()[0] = entry.getCurrentQuantizationTables()[1] = true;
        std::vector<JPEGSettings> settings(4, entry);
        settings[0].qtables[0] = QuantizationTable(own[0]);
        settings[0].qtables[1] = QuantizationTable(own[1]);
        settings[0].setDCTMethod(JPEGSettings::FLOAT);
        settings[0].downsampling[0].horizontal = 2;
        settings[0].setQuality(60);
        settings[1].setAutoQualityEnabled(true);
        settings[1].setQuality(70);
        settings[1].setCompressionMode(JPEGSettings::EXTENDED);
        settings[1].setProgressiveMode(true);
        settings[2].qtables[0] = QuantizationTable(JPEGSettings::presets[2]);
        settings[2].setGrayscaleOutput(true);
        settings[2].setSmoothing(20);
        settings[3].qtables[0] = QuantizationTable(own[1]); // in no list: "custom"
        settings[3].qtables[0].getTable()[0] = 2;
        std::vector<ResultStat> results;
        std::vector<QByteArray> bytes;
        Image source(QFile::encodeName(picture).toStdString());
        for (const JPEGSettings& s : settings) {
            JPEGCompressor compressor;
            *compressor.getSettings() = s;
            compressor.setImage(&source);
            const std::unique_ptr<CompressionResult> result(compressor.compressImage());
            QVERIFY(result);
            ResultStat r(*result);
            r.fileName = picture;
            r.jpegBytes = (unsigned long long)result->getCompressedSize();
            results.push_back(r);
            bytes.push_back(result->getCompressedBytes());
        }
        ResultsWindow window(nullptr);
        SweepCsv::TableNames names;
        for (int slot = 0; slot < 2; ++slot) {
            names.tables[slot] = {QuantizationTable(own[0]), QuantizationTable(own[1])};
            names.names[slot] = SweepCsv::fileTableNames(dir.file("tables.txt"), 2);
        }
        window.tableModel()->setTableNames(names);
        showResults(window, settings, results,
                    [&](ResultsWindow& w) { QVERIFY(w.exportCsv(dir.file("run.csv"))); });

        ResultsWindow opened(nullptr);
        QVERIFY(opened.loadCsv(dir.file("run.csv")));
        ResultTableModel* model = opened.tableModel();
        QCOMPARE(model->text(0, model->column("luminance_table")), QString("tables.txt:0"));
        CsvEntry::Sources sources;
        sources.folders = QStringList{dir.path()};
        for (int row = 0; row < 3; ++row) {
            const CsvEntry::Entry entry = CsvEntry::read(*model, row, sources);
            QVERIFY2(entry.problem.isEmpty(), qPrintable(entry.problem));
            QCOMPARE(entry.jpegBytes, qint64(bytes[std::size_t(row)].size()));
            JPEGCompressor compressor;
            *compressor.getSettings() = entry.settings;
            compressor.setImage(&source);
            const std::unique_ptr<CompressionResult> again(compressor.compressImage());
            QVERIFY(again);
            QVERIFY2(again->getCompressedBytes() == bytes[std::size_t(row)],
                     qPrintable(QStringLiteral("row %1").arg(row)));
        }
        QVERIFY(CsvEntry::read(*model, 3, sources).problem.contains("custom"));
        // The table file is looked for beside the CSV and the picture only.
        QVERIFY(QDir().mkdir(dir.file("elsewhere")));
        QVERIFY(QFile::rename(dir.file("tables.txt"), dir.file("elsewhere/tables.txt")));
        QVERIFY(CsvEntry::read(*model, 0, sources).problem.contains("tables.txt is in none"));
        sources.known = &names; // then the batch window's lists of that name
        QVERIFY(CsvEntry::read(*model, 0, sources).problem.isEmpty());

        // "Show" on a row it cannot make again tells why.
        BoxCatcher catcher;
        opened.showResult(3);
        QTRY_COMPARE(catcher.record.count, 1);
        QVERIFY2(catcher.record.text.contains("Row 4 cannot be compressed again") &&
                     catcher.record.text.contains("custom"),
                 qPrintable(catcher.record.text));
        // On one it can, the viewer opens, with no word about the size.
        QVERIFY(QFile::rename(dir.file("elsewhere/tables.txt"), dir.file("tables.txt")));
        QStringList opens;
        ModalWatcher viewers([&](QWidget* modal) {
            if (qobject_cast<QMessageBox*>(modal))
                return;
            opens << QLatin1String(modal->metaObject()->className());
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
        });
        opened.showResult(0);
        QCOMPARE(opens, QStringList{"BatchViewer"});
        QCOMPARE(catcher.record.count, 1);
        // A row whose size the settings no longer give asks first; "No"
        // shows nothing.
        QStringList lines = QString::fromUtf8(readAll(dir.file("run.csv"))).split('\n');
        const QString size = QStringLiteral(",%1,").arg(bytes[0].size());
        QCOMPARE(lines[1].count(size), 1);
        lines[1].replace(size, QStringLiteral(",%1,").arg(bytes[0].size() + 1));
        QFile changed(dir.file("changed.csv"));
        QVERIFY(changed.open(QIODevice::WriteOnly));
        changed.write(lines.join('\n').toUtf8());
        changed.close();
        ResultsWindow reopened(nullptr);
        QVERIFY(reopened.loadCsv(dir.file("changed.csv")));
        reopened.showResult(0);
        QCOMPARE(catcher.record.count, 2);
        QVERIFY2(catcher.record.text.contains("now give"), qPrintable(catcher.record.text));
        QCOMPARE(opens, QStringList{"BatchViewer"});
    }

    // The chart and tessera-sweep bd-rate make the same curves of one CSV: a
    // sweep of both DCTs, both Huffman choices, baseline and progressive,
    // automatic and table quality over two pictures, where float spends 3 %
    // less than int at equal PSNR. Progressive entries are optimised either
    // way and automatic quality always runs the integer DCT, so those rows
    // come twice with the same figures and make one point.
    void chartAndBdRateMakeTheSameCurves()
    {
        ScratchDir dir;
        QByteArray csv = "picture,mode,progressive,grayscale,optimize_huffman,dct,smoothing,"
                         "auto_quality,quality,sampling,luminance_table,chrominance_table,bpp,"
                         "psnr,status\r\n";
        for (int picture = 0; picture < 2; ++picture)
            for (int progressive = 0; progressive < 2; ++progressive)
                for (int huffman = 0; huffman < 2; ++huffman)
                    for (int automatic = 0; automatic < 2; ++automatic)
                        for (int dct = 0; dct < 2; ++dct)
                            for (int q : {30, 50, 70, 90}) {
                                const bool optimised = huffman || progressive;
                                const bool isFloat = dct && !automatic;
                                const double bpp = (0.3 + q / 50.0) * (1 + 0.1 * picture) *
                                                   (isFloat ? 0.97 : 1) * (optimised ? 0.95 : 1) *
                                                   (progressive ? 0.93 : 1) * (automatic ? 1.2 : 1);
                                const double psnr = 25 + 0.15 * q + automatic + picture;
                                csv +=
                                    QStringLiteral(
                                        "/p/%1.png,%2,%3,0,%4,%5,0,%6,%7,\"1x1,1x1,1x1\",%8,%9,%10,"
                                        "%11,ok\r\n")
                                        .arg(picture ? "b" : "a",
                                             progressive ? "Extended" : "Baseline")
                                        .arg(progressive)
                                        .arg(optimised ? 1 : 0)
                                        .arg(isFloat ? "float" : "int")
                                        .arg(automatic)
                                        .arg(q)
                                        .arg(automatic ? "library standard" : "K.1",
                                             automatic ? "library standard" : "K.2")
                                        .arg(SweepCsv::number(bpp), SweepCsv::number(psnr))
                                        .toUtf8();
                            }
        QFile file(dir.file("sweep.csv"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(csv) == csv.size());
        file.close();

        const BDCommand::Outcome bd =
            BDCommand::run({dir.file("sweep.csv"), "--curve-by", "dct", "--reference", "int"});
        QVERIFY2(bd.status == 0, bd.errors.constData());
        QList<QByteArray> lines = bd.output.split('\n');
        lines.removeAll(QByteArray());
        lines.removeFirst();           // the header
        QCOMPARE(lines.size(), 6 + 1); // three pairs a picture, one mean

        ResultsWindow opened(nullptr);
        QVERIFY(opened.loadCsv(dir.file("sweep.csv")));
        opened.tabs()->setCurrentWidget(opened.rdChart());
        RDChart* chart = opened.rdChart();
        chart->setCurveBy({"dct"});
        // One curve per picture and setting but the quality, each of one
        // picture and settings throughout: nine a picture.
        const ResultTableModel& model = *opened.tableModel();
        const QStringList columns = Curves::settingColumns(model);
        const auto settingsOf = [&](int row) {
            QStringList values{model.text(row, model.column("picture"))};
            for (const QString& column : columns)
                values << Curves::settingValue(model, row, column);
            return values;
        };
        QCOMPARE(chart->curves().size(), std::size_t(18));
        std::set<QStringList> seen;
        for (const Curves::Curve& curve : chart->curves()) {
            QCOMPARE(curve.points.size(), std::size_t(4));
            const QStringList first = settingsOf(curve.points[0].rows[0]);
            QVERIFY(seen.insert(first).second);
            for (const Curves::Point& point : curve.points)
                for (int row : point.rows)
                    QCOMPARE(settingsOf(row), first);
        }

        // Laid out small, as for an export, the legend still names every
        // curve whole, wrapped, beside the plot and within the chart, its
        // entries under their picture's name.
        QChart* qchart = chart->chart();
        qchart->resize(QSizeF(640, 400));
        qchart->layout()->activate();
        const RDChartLegend* legend = chart->legend();
        QCOMPARE(legend->entries().size(), std::size_t(18));
        QCOMPARE(legend->leftOut(), 0);
        for (int i = 0; i < 18; ++i) {
            const RDChartLegend::Entry& entry = legend->entries()[std::size_t(i)];
            QCOMPARE(entry.heading + ": " + legend->lines(i).join(' '),
                     chart->chart()->series()[i]->name());
        }
        QVERIFY(legend->lines(0).size() > 1);
        const QRectF box = legend->mapRectToItem(qchart, legend->boundingRect());
        QVERIFY(QRectF(QPointF(0, 0), qchart->size()).contains(box));
        QVERIFY(box.left() >= qchart->plotArea().right());

        // The chart's BD table lists the pairs bd-rate lists, with the same
        // figures: -3 % everywhere.
        auto* reference = chart->findChild<QComboBox*>("referenceCombo");
        const int intAt = reference->findText("dct=int");
        QVERIFY(intAt >= 0);
        chart->setReference(intAt);
        QTableWidget* table = chart->bdTable();
        QCOMPARE(table->rowCount(), int(lines.size()));
        for (int i = 0; i < int(lines.size()); ++i) {
            const QList<QByteArray> f = lines[i].split('\t');
            QCOMPARE(f.size(), 6);
            QCOMPARE(table->item(i, 0)->text(), QFileInfo(QString(f[0])).fileName());
            QVERIFY(table->item(i, 1)->text().contains(QString(f[1])));
            QCOMPARE(table->item(i, 3)->text(), QString(f[2]));
            QCOMPARE(table->item(i, 4)->text(), QString::number(f[3].toDouble(), 'f', 2));
            QVERIFY2(std::abs(f[3].toDouble() + 3) < 1e-6, lines[i].constData());
            if (i < 6)
                QCOMPARE(table->item(i, 2)->text(), QString(f[5]));
        }
    }

    // Scrolling the list with the wheel over a field does not edit it; a
    // field with the focus takes the wheel.
    void wheelScrollsTheListAndEditsOnlyFocusedFields()
    {
        ScratchDir dir;
        const QString picture = dir.file("a.png");
        QVERIFY(TestPictures::write(picture, 16, 16));
        std::vector<JPEGSettings> settings(12, defaultEntry());
        for (JPEGSettings& s : settings)
            s.setSmoothing(5);
        std::vector<ResultStat> results(12, stat(picture, 2));
        ResultsWindow window(nullptr);
        window.resize(900, 400);
        showResults(window, settings, results, [&](ResultsWindow& w) {
            QScrollBar* bar = w.resultList()->verticalScrollBar();
            const auto wheel = [](QWidget* target, int delta) {
                const QPointF at(target->width() / 2.0, target->height() / 2.0);
                QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta),
                                  Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
                // Only a wheel event from the system travels on to the
                // parents of a widget that ignores it; sendEvent() would
                // take that mark away.
                QSpontaneKeyEvent::setSpontaneous(&event);
                qApp->notify(target, &event);
            };
            ResultWidget* panel = w.panel(0);
            auto* combo = panel->findChild<QComboBox*>(QStringLiteral("dctCombo"));
            auto* spin = panel->findChild<QSpinBox*>(QStringLiteral("smoothingSpin"));
            QCOMPARE(combo->focusPolicy(), Qt::StrongFocus);
            QCOMPARE(spin->focusPolicy(), Qt::StrongFocus);
            QCOMPARE(bar->value(), 0);
            wheel(combo, -120);
            const int scrolled = bar->value();

            QVERIFY(scrolled > 0);
            wheel(spin, -120);
            QVERIFY(bar->value() > scrolled);
            QCOMPARE(settings[0].getDCTMethod(), JPEGSettings::INT);
            QCOMPARE(settings[0].getSmoothing(), 5);
            QCOMPARE(combo->currentText(), QStringLiteral("int"));
            QVERIFY(!w.hasUnsavedResults() || w.saveReportAs(dir.file("r.txt")));

            w.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&w));
            spin->setFocus();
            QVERIFY(spin->hasFocus());
            const int before = bar->value();
            wheel(spin, 120);
            QCOMPARE(settings[0].getSmoothing(), 6);
            QCOMPARE(bar->value(), before);
        });
    }

    // Escape, the close button and "Close" ask before unsaved results go.
    void unsavedResultsAreNotDroppedWithoutAsking()
    {
        ScratchDir dir;
        std::vector<JPEGSettings> settings(1, defaultEntry());
        std::vector<ResultStat> results = {stat("/p/a.png", 2)};
        ResultsWindow window(nullptr);
        int asked = 0;
        QMessageBox::StandardButton answer = QMessageBox::Cancel;
        ModalWatcher answerer([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box)
                return;
            ++asked;
            QCOMPARE(box->windowTitle(), QStringLiteral("Unsaved results"));
            box->button(answer)->click();
        });
        bool done = false;
        QTimer::singleShot(0, &window, [&] {
            const std::vector<std::function<void()>> ways = {
                [&] { QTest::keyClick(&window, Qt::Key_Escape); },
                [&] { window.close(); },
                [&] { window.findChild<QAction*>("closeAction")->trigger(); },
            };
            for (const auto& way : ways) {
                const int before = asked;
                way();
                QTRY_COMPARE(asked, before + 1);
                QVERIFY(window.isVisible());
            }
            // Saved, it closes without a word.
            QVERIFY(window.saveReportAs(dir.file("r.txt")));
            window.close();
            QVERIFY(!window.isVisible());
            QCOMPARE(asked, 3);
            done = true;
        });
        window.show(&settings, &results);
        QVERIFY(done);

        // "Discard" lets it close.
        answer = QMessageBox::Discard;
        QTimer::singleShot(0, &window, [&] { window.close(); });
        window.show(&settings, &results);
        QCOMPARE(asked, 4);
        QVERIFY(!window.isVisible());
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
        // The one panel edited below compresses a real picture.
        const QString edited = dir.file("picture0.png");
        QVERIFY(TestPictures::write(edited, 16, 16));
        results[0].fileName = edited;

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
