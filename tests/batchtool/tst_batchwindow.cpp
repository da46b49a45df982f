// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchToolTest.h"
#include "BatchWindow.h"
#include "DownsamplingPairs.h"
#include "HelpWindow.h"
#include "QuantizationChooser.h"
#include "ResultsWindow.h"
#include "SettingsExpansion.h"
#include "SettingsText.h"
#include "SweepOptions.h"
#include "TestPictures.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <sstream>

namespace {

using Pairs = std::vector<BatchSettings::DownsamplingPair>;

BatchSettings::DownsamplingPair pair(int a, int b, int c, int d)
{
    JPEGSettings::Downsampling first;
    first.vertical = a;
    first.horizontal = b;
    JPEGSettings::Downsampling second;
    second.vertical = c;
    second.horizontal = d;
    return {first, second};
}

// Every check state and field text of a form, for comparing two.
QStringList formFields(const BatchForm& f)
{
    QStringList fields;
    for (bool on : {f.baseline, f.extended, f.progressive, f.nonProgressive, f.manualQuality,
                    f.autoQuality, f.optimizeHuffman, f.dontOptimizeHuffman, f.grayscaleOutput,
                    f.colorOutput, f.dctInt, f.dctFast, f.dctFloat})
        fields << QString::number(on);
    return fields << f.minQuality << f.maxQuality << f.qualityStep << f.minTableQuality
                  << f.maxTableQuality << f.tableQualityStep << f.minSmoothing << f.maxSmoothing
                  << f.smoothingStep;
}

// A fresh window showing the default sweep.
struct Form
{
    Form() : window(nullptr) { window.updateUI(); }

    QCheckBox* check(const char* name) { return window.findChild<QCheckBox*>(name); }
    QLineEdit* edit(const char* name) { return window.findChild<QLineEdit*>(name); }
    void setChecked(const char* name, bool on) { check(name)->setChecked(on); }
    void setText(const char* name, const char* text) { edit(name)->setText(text); }

    BatchWindow window;
};

} // namespace

class TestBatchWindow : public QObject
{
    Q_OBJECT

private slots:
    void defaultFormAsShown()
    {
        Form form;
        BatchWindow& w = form.window;
        QCOMPARE(w.windowTitle(), QStringLiteral("Tools"));
        QVERIFY(form.check("baselineCheck")->isChecked());
        QVERIFY(!form.check("extendedCheck")->isChecked());
        QVERIFY(!form.check("progressiveCheck")->isEnabled());
        QVERIFY(!form.check("progressiveCheck")->isChecked());
        QVERIFY(!form.check("nonProgressiveCheck")->isEnabled());
        QVERIFY(form.check("nonProgressiveCheck")->isChecked());
        QVERIFY(form.check("manualQualityCheck")->isChecked());
        QVERIFY(!w.findChild<QGroupBox*>("autoQualityGroup")->isEnabled());
        QCOMPARE(form.edit("minQualityEdit")->text(), QStringLiteral("95"));
        QCOMPARE(form.edit("maxQualityEdit")->text(), QStringLiteral("95"));
        QCOMPARE(form.edit("qualityStepEdit")->text(), QStringLiteral("0"));
        QVERIFY(form.check("dontOptimizeHuffmanCheck")->isChecked());
        QVERIFY(form.check("colorOutputCheck")->isChecked());
        QVERIFY(form.check("dctIntCheck")->isChecked());
        QVERIFY(!form.check("dctFastCheck")->isChecked());
        for (const char* name : {"minSmoothingEdit", "maxSmoothingEdit", "smoothingStepEdit"}) {
            QCOMPARE(form.edit(name)->text(), QStringLiteral("0"));
        }

        auto* compress = w.findChild<QPushButton*>("compressButton");
        QVERIFY(!compress->isEnabled());
        QVERIFY(compress->isDefault());
        // Results are saved from the results window: no Save as here.
        auto* menuBar = qobject_cast<QMenuBar*>(w.layout()->menuBar());
        QVERIFY(menuBar);
        for (const QAction* menu : menuBar->actions())
            for (const QAction* entry : menu->menu()->actions())
                QVERIFY(entry->objectName() != QLatin1String("saveAsAction"));

        auto* about = w.findChild<HelpWindow*>("aboutWindow");
        QCOMPARE(about->windowTitle(), QStringLiteral("About"));
        QVERIFY(about->isModal());
        QCOMPARE(w.findChild<HelpWindow*>("helpWindow")->size(), QSize(400, 300));
        QCOMPARE(w.getResultsWindow()->parentWidget(), &w);
        QVERIFY(!w.getQuantizationChooser()->parentWidget());
    }

    void everyFormFieldRoundTripsThroughSaveAndRestore()
    {
        BatchForm changed;
        for (const auto& field : BatchForm::checkFields())
            changed.*field.member = !(changed.*field.member);
        int n = 0;
        for (const auto& field : BatchForm::textFields())
            changed.*field.member = QString::number(11 + n++);
        {
            Form saved;
            saved.window.setFormState(changed);
            QCOMPARE(saved.window.formState(), changed);
            saved.window.saveSettings();
        }
        Form restored;
        restored.window.restoreSettings();
        QCOMPARE(formFields(restored.window.formState()), formFields(changed));
        QVERIFY(restored.window.formState() == changed);
        QVERIFY(restored.window.findChild<QGroupBox*>("tableQualityGroup")->isEnabled() ==
                changed.manualQuality);
    }

    void extendedAndAutoQualityEnableTheirControls()
    {
        Form form;
        form.setChecked("nonProgressiveCheck", false);
        form.setChecked("extendedCheck", true);
        QVERIFY(form.check("progressiveCheck")->isEnabled());
        QVERIFY(form.check("nonProgressiveCheck")->isEnabled());
        form.setChecked("extendedCheck", false);
        QVERIFY(!form.check("progressiveCheck")->isEnabled());
        // Disabling leaves the check states alone.
        QVERIFY(!form.check("nonProgressiveCheck")->isChecked());

        form.setChecked("autoQualityCheck", true);
        QVERIFY(form.window.findChild<QGroupBox*>("autoQualityGroup")->isEnabled());
    }

    void validationRulesInOrder()
    {
        struct Case
        {
            const char* name;
            std::function<void(Form&)> change;
            const char* message; // null: the form passes
        };
        const Case cases[] = {
            {"defaults", [](Form&) {}, nullptr},
            {"no mode, and everything else wrong too",
             [](Form& f) {
                 for (const char* name :
                      {"baselineCheck", "extendedCheck", "manualQualityCheck",
                       "dontOptimizeHuffmanCheck", "colorOutputCheck", "dctIntCheck"})
                     f.setChecked(name, false);
             },
             "At least one mode must be selected:<br>- baseline<br>- extended"},
            {"extended without progressive choice",
             [](Form& f) {
                 f.setChecked("baselineCheck", false);
                 f.setChecked("extendedCheck", true);
                 f.setChecked("nonProgressiveCheck", false);
                 f.setChecked("manualQualityCheck", false);
             },
             "At least one mode must be selected:<br>- progressive<br>- non-progressive"},
            {"baseline only ignores the progressive boxes",
             [](Form& f) { f.setChecked("nonProgressiveCheck", false); }, nullptr},
            {"no quality kind",
             [](Form& f) {
                 f.setChecked("manualQualityCheck", false);
                 f.setChecked("colorOutputCheck", false);
             },
             "At least one quality setting must be selected<br>- auto quality<br>- manual "
             "quaqlity"},
            {"no Huffman choice",
             [](Form& f) {
                 f.setChecked("dontOptimizeHuffmanCheck", false);
                 f.setChecked("dctIntCheck", false);
             },
             "Huffman optimization must be set<br>- optimize<br>- don't optimize"},
            {"no output",
             [](Form& f) {
                 f.setChecked("colorOutputCheck", false);
                 f.setChecked("dctIntCheck", false);
             },
             "At least one output option must be set<br>- grayscale<br>- original"},
            {"no DCT method",
             [](Form& f) {
                 f.setChecked("dctIntCheck", false);
                 f.setText("minSmoothingEdit", "");
             },
             "Choose at leas one DCT method<br>- int<br>- fast<br>- float"},
            {"auto quality with an empty step",
             [](Form& f) {
                 f.setChecked("autoQualityCheck", true);
                 f.setText("qualityStepEdit", "");
             },
             "In auto quality mode, you must specify all quality parameters<br>- min<br>- "
             "max<br>- step"},
            {"empty quality fields are ignored without auto quality",
             [](Form& f) { f.setText("minQualityEdit", ""); }, nullptr},
            {"auto quality 70 to 90 by 0",
             [](Form& f) {
                 f.setChecked("autoQualityCheck", true);
                 f.setText("minQualityEdit", "70");
                 f.setText("maxQualityEdit", "90");
             },
             "Step cannot be 0 if min quality and max quality are different"},
            {"texts 05 and 5 differ",
             [](Form& f) {
                 f.setChecked("autoQualityCheck", true);
                 f.setText("minQualityEdit", "05");
                 f.setText("maxQualityEdit", "5");
             },
             "Step cannot be 0 if min quality and max quality are different"},
            {"auto quality 90 to 70 by 5",
             [](Form& f) {
                 f.setChecked("autoQualityCheck", true);
                 f.setText("minQualityEdit", "90");
                 f.setText("maxQualityEdit", "70");
                 f.setText("qualityStepEdit", "5");
             },
             nullptr},
            {"one table quality field filled",
             [](Form& f) { f.setText("minTableQualityEdit", "50"); },
             "You must specify all table quality parameters or none<br>- min<br>- max<br>- "
             "step"},
            {"table quality 30 to 90 by 0",
             [](Form& f) {
                 f.setText("minTableQualityEdit", "30");
                 f.setText("maxTableQualityEdit", "90");
                 f.setText("tableQualityStepEdit", "0");
             },
             "Step cannot be 0 if min table quality and max table quality are different"},
            {"table quality fields are ignored without manual quality",
             [](Form& f) {
                 f.setChecked("manualQualityCheck", false);
                 f.setChecked("autoQualityCheck", true);
                 f.setText("minTableQualityEdit", "30");
             },
             nullptr},
            {"one smoothing field empty", [](Form& f) { f.setText("smoothingStepEdit", ""); },
             "You must specify all smoothing parameters or none<br>- min<br>- max<br>- step"},
            {"two smoothing fields empty",
             [](Form& f) {
                 f.setText("minSmoothingEdit", "");
                 f.setText("maxSmoothingEdit", "");
             },
             "You must specify all smoothing parameters or none<br>- min<br>- max<br>- step"},
            {"all smoothing fields empty",
             [](Form& f) {
                 for (const char* name :
                      {"minSmoothingEdit", "maxSmoothingEdit", "smoothingStepEdit"})
                     f.setText(name, "");
             },
             nullptr},
            {"smoothing 0 to 20 by 0", [](Form& f) { f.setText("maxSmoothingEdit", "20"); },
             "Step cannot be 0 if min smoothing and max smoothing are different"},
        };

        for (const Case& c : cases) {
            Form form;
            c.change(form);
            const BatchSettings before = *form.window.getBatchSettings();
            BoxCatcher catcher;
            const bool valid = form.window.isUIStateValid();
            QVERIFY2(valid == (c.message == nullptr), c.name);
            if (!c.message) {
                QVERIFY2(catcher.record.count == 0, c.name);
                continue;
            }
            QTRY_COMPARE(catcher.record.count, 1);
            QVERIFY2(catcher.record.text == QLatin1String(c.message), c.name);
            QCOMPARE(catcher.record.title, QStringLiteral("Error"));
            QCOMPARE(catcher.record.icon, QMessageBox::Critical);
            QCOMPARE(catcher.record.buttons, 1);
            QCOMPARE(catcher.record.parent, &form.window);
            // A failed check writes nothing.
            QCOMPARE(form.window.getBatchSettings()->minSmoothing, before.minSmoothing);
            QCOMPARE(form.window.getBatchSettings()->baseline, before.baseline);
        }
    }

    void updateDataStoresTheFormWithDirectedSteps()
    {
        Form form;
        form.setChecked("extendedCheck", true);
        form.setChecked("progressiveCheck", true);
        form.setChecked("autoQualityCheck", true);
        form.setChecked("optimizeHuffmanCheck", true);
        form.setChecked("grayscaleOutputCheck", true);
        form.setChecked("colorOutputCheck", false);
        form.setChecked("dctFloatCheck", true);
        form.setText("minQualityEdit", "90");
        form.setText("maxQualityEdit", "70");
        form.setText("qualityStepEdit", "5");
        form.setText("minSmoothingEdit", "10");
        form.setText("maxSmoothingEdit", "40");
        form.setText("smoothingStepEdit", "-15");
        form.setText("minTableQualityEdit", "80");
        form.setText("maxTableQualityEdit", "20");
        form.setText("tableQualityStepEdit", "30");
        QVERIFY(form.window.isUIStateValid());
        form.window.updateData();

        const BatchSettings& s = *form.window.getBatchSettings();
        QVERIFY(s.baseline && s.extended && s.progressive && s.nonProgressive);
        QVERIFY(s.autoQuality && s.manualQuality);
        QCOMPARE(s.minQuality, 90);
        QCOMPARE(s.maxQuality, 70);
        QCOMPARE(s.qualityStep, -5);
        QVERIFY(s.optimizeHuffman && s.dontOptimizeHuffman);
        QVERIFY(s.grayscaleOutput && !s.colorOutput);
        QVERIFY(s.dctInt && !s.dctFast && s.dctFloat);
        QCOMPARE(s.minSmoothing, 10);
        QCOMPARE(s.maxSmoothing, 40);
        QCOMPARE(s.smoothingStep, 15);
        QVERIFY(s.tableQuality);
        QCOMPARE(s.minTableQuality, 80);
        QCOMPARE(s.maxTableQuality, 20);
        QCOMPARE(s.tableQualityStep, -30);

        // Equal bounds keep the step as typed; empty smoothing reads as 0.
        form.setText("minQualityEdit", "50");
        form.setText("maxQualityEdit", "50");
        form.setText("qualityStepEdit", "-7");
        for (const char* name :
             {"minSmoothingEdit", "maxSmoothingEdit", "smoothingStepEdit", "minTableQualityEdit",
              "maxTableQualityEdit", "tableQualityStepEdit"})
            form.setText(name, "");
        QVERIFY(form.window.isUIStateValid());
        form.window.updateData();
        QVERIFY(!s.tableQuality);
        QCOMPARE(s.qualityStep, -7);
        QCOMPARE(s.minSmoothing, 0);
        QCOMPARE(s.maxSmoothing, 0);
        QCOMPARE(s.smoothingStep, 0);

        // updateUI shows the stored values again.
        Form other;
        *other.window.getBatchSettings() = s;
        other.window.updateUI();
        QCOMPARE(other.edit("qualityStepEdit")->text(), QStringLiteral("-7"));
        QCOMPARE(other.edit("minTableQualityEdit")->text(), QString());
        QVERIFY(other.check("progressiveCheck")->isEnabled());
        QVERIFY(other.window.findChild<QGroupBox*>("autoQualityGroup")->isEnabled());
    }

    void updateDataErrorsAreShownAndNothingRuns()
    {
        // Texts set by the program pass the validators; the form's own check
        // then catches values the rules do not test.
        // A quality of 0 is below the fields' range too: the encoder would
        // use 1 while the rows said 0.
        const struct
        {
            const char* field;
            const char* text;
            const char* message;
        } cases[] = {
            {"minQualityEdit", "150", "Illegal quality values"},
            {"maxQualityEdit", "0", "Illegal quality values"},
            {"minSmoothingEdit", "150", "Invalid smoothing values"},
            {"minTableQualityEdit", "150", "Illegal table quality values"},
        };
        for (const auto& c : cases) {
            ScratchDir dir;
            QVERIFY(TestPictures::write(dir.file("a.png"), 8, 8));
            Form form;
            form.window.setFiles({dir.file("a.png")});
            form.setText(c.field, c.text);
            if (QByteArray(c.field) == "minSmoothingEdit") {
                form.setText("maxSmoothingEdit", "150");
            }
            if (QByteArray(c.field) == "minTableQualityEdit") {
                form.setText("maxTableQualityEdit", "150");
                form.setText("tableQualityStepEdit", "0");
            }
            bool resultsShown = false;
            ModalWatcher results([&](QWidget* modal) {
                if (qobject_cast<ResultsWindow*>(modal)) {
                    resultsShown = true;
                    static_cast<ResultsWindow*>(modal)->done(QDialog::Rejected);
                }
            });
            BoxCatcher catcher;
            form.window.findChild<QPushButton*>("compressButton")->click();
            QTRY_COMPARE(catcher.record.count, 1);
            QCOMPARE(catcher.record.text, QLatin1String(c.message));
            QCOMPARE(catcher.record.title, QStringLiteral("Error"));
            QVERIFY(!resultsShown);
            QVERIFY(!QFile::exists(dir.file("tmp.bin")));
        }
    }

    // The count before a run follows the form and agrees with the expansion,
    // and the form still reaches the settings only through "Compress".
    void summaryCountsWhatTheFormWouldRun()
    {
        Form form;
        BatchWindow& w = form.window;
        auto* label = w.findChild<QLabel*>("summaryLabel");
        w.setFiles({"a.png", "b.png"});
        QCOMPARE(label->text(), QString::fromUtf8("1 entry \u00d7 2 pictures = 2 compressions"));
        form.setChecked("extendedCheck", true);
        form.setChecked("progressiveCheck", true);
        form.setChecked("dctFloatCheck", true);
        form.setText("maxSmoothingEdit", "20");
        form.setText("smoothingStepEdit", "10");
        form.setChecked("autoQualityCheck", true);
        form.setText("minQualityEdit", "50");
        form.setText("maxQualityEdit", "90");
        form.setText("qualityStepEdit", "-20");
        // Modes 3, DCT methods 2 x smoothing 3 + qualities 3.
        QCOMPARE(label->text(),
                 QString::fromUtf8("27 entries \u00d7 2 pictures = 54 compressions"));
        QVERIFY(!w.getBatchSettings()->extended);

        BatchSettings sweep = *w.getBatchSettings();
        w.updateData();
        sweep = *w.getBatchSettings();
        sweep.downsamplingPairs.push_back(pair(2, 2, 1, 1));
        sweep.grayscaleOutput = true;
        sweep.tableQuality = true;
        sweep.minTableQuality = 30;
        sweep.maxTableQuality = 90;
        sweep.tableQualityStep = 30;
        QCOMPARE(countBatchEntries(sweep), (long long)expandBatchSettings(sweep, nullptr).size());

        form.setText("maxSmoothingEdit", "101");
        QCOMPARE(label->text(), QStringLiteral("Invalid smoothing values"));
    }

    void openReplacesTheFileListAndCompressFollowsIt()
    {
        Form form;
        auto* compress = form.window.findChild<QPushButton*>("compressButton");
        form.window.setFiles({});
        QVERIFY(!compress->isEnabled());
        form.window.setFiles({"/p/a.png", "/p/b.png"});
        QVERIFY(compress->isEnabled());
        QCOMPARE(form.window.getFiles(), QStringList({"/p/a.png", "/p/b.png"}));
        // An empty list leaves nothing to compress.
        form.window.setFiles({});
        QVERIFY(form.window.getFiles().isEmpty());
        QVERIFY(!compress->isEnabled());
    }

    void downsamplingPairRecords()
    {
        // Line breaks do not matter; 4 4 1 1 needs 18 blocks and is skipped.
        QCOMPARE(DownsamplingPairs::read(QByteArray("2 2 1 1\n1 1 1 1\n4 4 1 1\n")),
                 Pairs({pair(2, 2, 1, 1), pair(1, 1, 1, 1)}));
        QCOMPARE(DownsamplingPairs::read(QByteArray("2 2\n1\n1 1 1 1 1")),
                 Pairs({pair(2, 2, 1, 1), pair(1, 1, 1, 1)}));
        // Clamped to 1..4 before the sum: 0 7 1 1 becomes 1 4 1 1 (6 blocks).
        QCOMPARE(DownsamplingPairs::read(QByteArray("0 7 1 1")), Pairs({pair(1, 4, 1, 1)}));
        // The sum counts component 1 twice: 4 2 1 1 is 10, 2 2 2 1 is 8, 2 1 2 2 is 10,
        // 3 3 1 1 is 11.
        QCOMPARE(DownsamplingPairs::read(QByteArray("4 2 1 1  2 2 2 1  2 1 2 2  3 3 1 1")),
                 Pairs({pair(4, 2, 1, 1), pair(2, 2, 2, 1), pair(2, 1, 2, 2)}));
        // An incomplete last record, or anything that is not a number, ends the list.
        QCOMPARE(DownsamplingPairs::read(QByteArray("1 1 1 1\n2 1 1")), Pairs({pair(1, 1, 1, 1)}));
        QCOMPARE(DownsamplingPairs::read(QByteArray("1 1 1 1 2 x 1 1 2 2 1 1")),
                 Pairs({pair(1, 1, 1, 1)}));
        QCOMPARE(DownsamplingPairs::read(QByteArray("99999999999999999999 1 1 1 2 2 1 1")),
                 Pairs());
        QCOMPARE(DownsamplingPairs::read(QByteArray()), Pairs());
        std::istringstream stream("-3 2 1 2");
        QCOMPARE(DownsamplingPairs::read(stream), Pairs({pair(1, 2, 1, 2)}));
    }

    // Save sweep writes what the form holds; Open sweep gives the same form
    // back, and the window's sweep expands as tessera-sweep --sweep expands
    // that file. A bad file is refused with the reader's message.
    void sweepFilesRoundTripThroughTheWindowAndTheCommandLine()
    {
        ScratchDir dir;
        QFile pairs(dir.file("pairs.txt"));
        QVERIFY(pairs.open(QIODevice::WriteOnly));
        pairs.write("2 2 1 1\n1 1 1 1\n");
        pairs.close();
        QVERIFY(TestPictures::write(dir.file("a.png"), 8, 8));

        Form saved;
        saved.setChecked("extendedCheck", true);
        saved.setChecked("progressiveCheck", true);
        saved.setChecked("dctFloatCheck", true);
        saved.setChecked("optimizeHuffmanCheck", true);
        saved.setChecked("autoQualityCheck", true);
        saved.setText("minQualityEdit", "60");
        saved.setText("maxQualityEdit", "90");
        saved.setText("qualityStepEdit", "15");
        saved.setText("minTableQualityEdit", "50");
        saved.setText("maxTableQualityEdit", "70");
        saved.setText("tableQualityStepEdit", "10");
        saved.setText("maxSmoothingEdit", "20");
        saved.setText("smoothingStepEdit", "20");
        QVERIFY(saved.window.loadDownsamplingPairs(pairs.fileName()));
        QVERIFY(saved.window.saveSweep(dir.file("run.sweep")));

        Form opened;
        QVERIFY(opened.window.openSweep(dir.file("run.sweep")));
        QCOMPARE(formFields(opened.window.formState()), formFields(saved.window.formState()));
        QCOMPARE(opened.window.sweepText(), saved.window.sweepText());
        QCOMPARE(opened.window.getBatchSettings()->downsamplingPairs.size(), std::size_t(2));

        SweepJob job;
        QString error;
        QCOMPARE(
            SweepOptions::parse({"--sweep", dir.file("run.sweep"), dir.file("a.png")}, job, error),
            0);
        opened.window.updateData();
        std::vector<JPEGSettings> inWindow =
            expandBatchSettings(*opened.window.getBatchSettings(), nullptr);
        std::vector<JPEGSettings> onCommandLine = expandBatchSettings(job.settings, nullptr);
        // Three modes by both Huffman choices by two pairs, each with two DCT
        // methods by two smoothings by three table qualities and with three
        // automatic qualities.
        QCOMPARE(inWindow.size(), std::size_t(3 * 2 * 2 * (2 * 2 * 3 + 3)));
        QCOMPARE(onCommandLine.size(), inWindow.size());
        for (std::size_t i = 0; i < inWindow.size(); ++i)
            QCOMPARE(SettingsText::sweepCommand(inWindow[i], "a.png"),
                     SettingsText::sweepCommand(onCommandLine[i], "a.png"));

        // A bad line changes nothing and is told as the reader tells it.
        QFile bad(dir.file("bad.sweep"));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("dct = int\nquality 90\n");
        bad.close();
        BoxCatcher catcher;
        QVERIFY(!opened.window.openSweep(bad.fileName()));
        QTRY_COMPARE(catcher.record.count, 1);
        QCOMPARE(catcher.record.title, QStringLiteral("Error"));
        QVERIFY2(catcher.record.text.endsWith("line 2: expected &quot;option = value&quot;"),
                 qPrintable(catcher.record.text));
        QCOMPARE(opened.window.sweepText(), saved.window.sweepText());
    }

    void downsamplingPairFileReplacesThePairs()
    {
        ScratchDir dir;
        Form form;
        BatchSettings& s = *form.window.getBatchSettings();
        const Pairs defaults = s.downsamplingPairs;
        QCOMPARE(defaults, Pairs({pair(1, 1, 1, 1)}));

        // Files that cannot be opened change nothing.
        QVERIFY(!form.window.loadDownsamplingPairs(dir.file("missing.txt")));
        QVERIFY(!form.window.loadDownsamplingPairs(dir.path()));
        QCOMPARE(s.downsamplingPairs, defaults);

        QFile file(dir.file("pairs.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("2 2 1 1\n1 1 1 1\n4 4 1 1\n");
        file.close();
        QVERIFY(form.window.loadDownsamplingPairs(file.fileName()));
        QCOMPARE(s.downsamplingPairs, Pairs({pair(2, 2, 1, 1), pair(1, 1, 1, 1)}));

        // A readable file without a valid record leaves an empty list.
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("4 4 4 4\n");
        file.close();
        QVERIFY(form.window.loadDownsamplingPairs(file.fileName()));
        QVERIFY(s.downsamplingPairs.empty());

        // The form does not touch the pairs.
        QVERIFY(form.window.isUIStateValid());
        form.window.updateData();
        QVERIFY(s.downsamplingPairs.empty());
    }

    void quantizationButtonShowsTheChooserOnTheSettings()
    {
        Form form;
        form.window.findChild<QPushButton*>("quantizationButton")->click();
        QuantizationChooser* chooser = form.window.getQuantizationChooser();
        QVERIFY(chooser->isVisible());
        QVERIFY(!chooser->isModal());
        QCOMPARE(chooser->getSettings(), form.window.getBatchSettings());
        chooser->hide();
    }

    void closingQuitAndEscapeEndTheApplication()
    {
        Form form;
        const std::vector<std::function<void()>> actions = {
            [&] { form.window.close(); },
            [&] { form.window.findChild<QAction*>("quitAction")->trigger(); },
            [&] { QTest::keyClick(&form.window, Qt::Key_Escape); },
        };
        for (const auto& action : actions) {
            form.window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form.window));
            QVERIFY(asksToQuit(action));
        }
        // Hiding the window by other means is not a request to quit.
        form.window.show();
        QVERIFY(!asksToQuit([&] { form.window.hide(); }));
    }

    // Last: the application really ends its loop, closing every window once.
    void closingEndsTheRunningLoop()
    {
        Form form;
        form.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form.window));
        QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
        QTimer::singleShot(0, &form.window, [&] { form.window.close(); });
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
        guard.start(5000);
        QCOMPARE(QCoreApplication::exec(), 0);
        QCOMPARE(quitting.count(), 1);
        QVERIFY(!form.window.isVisible());
    }

private:
    // Runs `action` inside the application's loop and tells whether it asked
    // the application to quit; the request is swallowed.
    static bool asksToQuit(const std::function<void()>& action)
    {
        QuitFilter filter;
        qApp->installEventFilter(&filter);
        QTimer::singleShot(0, qApp, [&action] {
            action();
            QCoreApplication::exit(0);
        });
        QCoreApplication::exec();
        qApp->removeEventFilter(&filter);
        return filter.quits > 0;
    }

    class QuitFilter : public QObject
    {
    public:
        int quits = 0;

    protected:
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (watched == qApp && event->type() == QEvent::Quit) {
                ++quits;
                return true;
            }
            return false;
        }
    };
};

QTEST_MAIN(TestBatchWindow)
#include "tst_batchwindow.moc"
