// SPDX-License-Identifier: GPL-3.0-or-later
#include "CompressionResult.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "JPEGSettings.h"
#include "JpegInspect.h"
#include "MessageBoxCatcher.h"
#include "QuantizationWindow.h"
#include "TableModel.h"
#include "TableNames.h"
#include "TableWidget.h"
#include "TestPictures.h"

#include <QCheckBox>
#include <QFile>
#include <QGridLayout>
#include <QIntValidator>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QtTest>

#include <array>
#include <fstream>
#include <memory>

namespace {

// Drives one editor through its widgets.
struct Editor
{
    QuantizationWindow& window;

    QCheckBox* check(int slot) const
    {
        return window.findChild<QCheckBox*>(QStringLiteral("tableCheck%1").arg(slot));
    }
    QPushButton* tableButton(int slot) const
    {
        return window.findChild<QPushButton*>(QStringLiteral("tableButton%1").arg(slot));
    }
    QPushButton* button(const char* name) const { return window.findChild<QPushButton*>(name); }
    SimpleTableWidget* grid() const
    {
        return window.findChild<SimpleTableWidget*>("quantizationTable");
    }
    QLineEdit* cell(unsigned k) const { return grid()->cellEdit(k / 8, k % 8); }
    QAction* action(const QString& name) const { return window.findChild<QAction*>(name); }

    void click(QAbstractButton* b) const { QTest::mouseClick(b, Qt::LeftButton); }
    // Replaces the text of natural-order cell k by typing.
    void type(unsigned k, const QString& text) const
    {
        cell(k)->selectAll();
        QTest::keyClick(cell(k), Qt::Key_Backspace);
        QTest::keyClicks(cell(k), text);
    }
    bool gridShows(const unsigned int* values) const
    {
        for (unsigned k = 0; k < 64; ++k)
            if (cell(k)->text() != QString::number(values[k]) ||
                grid()->getValueAt(k / 8, k % 8) != short(values[k]))
                return false;
        return true;
    }
    bool gridShows(const QuantizationTable& table) const { return gridShows(table.getTable()); }
};

bool flag(const JPEGSettings& s, int slot)
{
    return s.getCurrentQuantizationTables()[slot];
}

void setFlag(JPEGSettings& s, int slot, bool on)
{
    s.getCurrentQuantizationTables()[slot] = on;
}

QuantizationTable filled(unsigned value)
{
    QuantizationTable table;
    for (unsigned k = 0; k < 64; ++k)
        table[k] = value;
    return table;
}

bool sameRecord(const JPEGSettings& a, const JPEGSettings& b)
{
    for (int i = 0; i < 4; ++i)
        if (flag(a, i) != flag(b, i) || a.qtables[i] != b.qtables[i])
            return false;
    return true;
}

std::string readAll(const QString& path)
{
    std::ifstream in(QFile::encodeName(path).toStdString(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

class TestQuantizationWindow : public QObject
{
    Q_OBJECT

private slots:
    void interactiveLayout()
    {
        JPEGSettings settings;
        settings.useAnnexKTables();
        QuantizationWindow window(settings, nullptr);
        Editor ed{window};
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QCOMPARE(window.windowTitle(), QString("Quantization"));
        QVERIFY(window.isModal());
        const QStringList labels = {"Luminance", "Chrominance", "Third", "Fourth"};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(ed.check(i)->text(), labels[i]);
            QVERIFY(ed.check(i)->isVisible());
            QVERIFY(ed.tableButton(i)->isVisible());
            QVERIFY(ed.tableButton(i)->isCheckable());
            QVERIFY(ed.tableButton(i)->text().isEmpty());
        }
        QCOMPARE(ed.button("setButton")->text(), QString("&Set"));
        QCOMPARE(ed.button("okButton")->text(), QString("&Ok"));
        QCOMPARE(ed.button("cancelButton")->text(), QString("&Cancel"));

        auto* validator = qobject_cast<const QIntValidator*>(ed.cell(0)->validator());
        QVERIFY(validator);
        QCOMPARE(validator->bottom(), 1);
        QCOMPARE(validator->top(), 300);

        auto* menus = window.findChild<QMenuBar*>();
        QVERIFY(menus);
        QStringList titles;
        for (QAction* a : menus->actions())
            titles << a->text();
        QCOMPARE(titles, QStringList({"&File", "&Table"}));
        auto* fileMenu = window.findChild<QMenu*>("fileMenu");
        QCOMPARE(fileMenu->actions().size(), 2);
        QVERIFY(fileMenu->actions()[0]->isSeparator());
        QCOMPARE(fileMenu->actions()[1]->text(), QString("E&xit"));
        QStringList tableEntries;
        for (QAction* a : window.findChild<QMenu*>("tableMenu")->actions())
            tableEntries << a->text();
        QCOMPARE(tableEntries, QStringList({"&Open", "&Save", "&Preset"}));
        QStringList presets;
        for (QAction* a : window.findChild<QMenu*>("presetMenu")->actions())
            presets << a->text();
        QCOMPARE(presets, QStringList({"Annex K luminance (K.1)", "Annex K chrominance (K.2)"}));
    }

    void defaultRecordPassesUnchanged()
    {
        JPEGSettings settings;
        const JPEGSettings before = settings;
        QuantizationWindow window(settings, nullptr);
        Editor ed{window};
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        for (int i = 0; i < 4; ++i) {
            QVERIFY(!ed.check(i)->isChecked());
            QVERIFY(!ed.tableButton(i)->isEnabled());
            // With no slot checked the editor still shows the first slot's table.
            QCOMPARE(ed.tableButton(i)->isChecked(), i == 0);
            QCOMPARE(ed.check(i)->isEnabled(), i < 3);
        }
        QCOMPARE(window.getActiveTableIndex(), 0u);
        ed.click(ed.button("okButton"));
        QVERIFY(!window.isVisible());
        QVERIFY(sameRecord(settings, before));
        QCOMPARE(window.getSettings(), &settings);
    }

    void setAndOkStoreTheGrid()
    {
        JPEGSettings settings;
        QuantizationWindow window(settings, nullptr);
        Editor ed{window};
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        ed.click(ed.check(0));
        QVERIFY(ed.tableButton(0)->isEnabled());
        QVERIFY(!ed.tableButton(1)->isEnabled());
        ed.click(ed.tableButton(0));
        QVERIFY(ed.tableButton(0)->isChecked());
        QVERIFY(ed.gridShows(settings.qtables[0]));

        // Natural-order value 9 is model row 1, column 1.
        ed.type(9, "250");
        QCOMPARE(ed.grid()->getValueAt(1, 1), short(250));
        ed.click(ed.button("setButton"));
        QCOMPARE(window.workingTable(0)[9], short(250));
        // "Ok" takes an edit made after "Set" as "Set" would.
        ed.type(10, "77");
        ed.click(ed.button("okButton"));

        QVERIFY(flag(settings, 0));
        QVERIFY(!flag(settings, 1));
        QuantizationTable expected(JPEGSettings::presets[0]);
        expected[9] = 250;
        expected[10] = 77;
        QCOMPARE(settings.qtables[0], expected);
        QCOMPARE(settings.qtables[1], QuantizationTable(JPEGSettings::presets[9]));

        // Switching slots without "Set" discards the grid.
        window.show();
        QVERIFY(ed.gridShows(expected));
        ed.click(ed.check(1));
        ed.type(0, "3");
        ed.click(ed.tableButton(1));
        QVERIFY(ed.gridShows(settings.qtables[1]));
        ed.click(ed.tableButton(0));
        QVERIFY(ed.gridShows(expected));
        ed.click(ed.button("okButton"));
        QCOMPARE(settings.qtables[0], expected);
        QVERIFY(flag(settings, 1));
    }

    void presetsSelectTheirSlot()
    {
        JPEGSettings settings;
        setFlag(settings, 1, true);
        QuantizationWindow window(settings, nullptr);
        Editor ed{window};
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.getActiveTableIndex(), 1u);

        // Luminance preset while slot 0 is not in use: its disabled button is selected.
        ed.action("preset Annex K luminance (K.1)")->trigger();
        QCOMPARE(window.getActiveTableIndex(), 0u);
        QVERIFY(ed.tableButton(0)->isChecked());
        QVERIFY(!ed.tableButton(0)->isEnabled());
        QVERIFY(ed.gridShows(annexKLuminance));
        ed.click(ed.button("setButton"));
        QCOMPARE(window.workingTable(0)[0], short(16));

        ed.action("preset Annex K chrominance (K.2)")->trigger();
        QCOMPARE(window.getActiveTableIndex(), 1u);
        QVERIFY(ed.gridShows(annexKChrominance));
        QCOMPARE(window.workingTable(1)[0], short(JPEGSettings::presets[9][0]));
        ed.click(ed.button("setButton"));
        ed.click(ed.button("okButton"));

        QCOMPARE(settings.qtables[1], QuantizationTable(annexKChrominance));
        QVERIFY(!flag(settings, 0));
        QCOMPARE(settings.qtables[0], QuantizationTable(JPEGSettings::presets[0]));
    }

    void thirdUsableFourthAlwaysCleared()
    {
        JPEGSettings settings;
        setFlag(settings, 2, true);
        setFlag(settings, 3, true);
        const QuantizationTable fourth = settings.qtables[3];
        QuantizationWindow window(settings, nullptr);
        Editor ed{window};
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QVERIFY(ed.check(2)->isChecked());
        QVERIFY(!ed.check(3)->isChecked());
        QVERIFY(!ed.check(3)->isEnabled());
        QVERIFY(!ed.tableButton(3)->isEnabled());
        QCOMPARE(window.getActiveTableIndex(), 2u);
        QVERIFY(ed.gridShows(settings.qtables[2]));

        ed.type(63, "42");
        ed.click(ed.button("setButton"));
        ed.click(ed.button("okButton"));
        QVERIFY(flag(settings, 2));
        QVERIFY(!flag(settings, 3));
        QCOMPARE(settings.qtables[2][63], 42u);
        QCOMPARE(settings.qtables[3], fourth);
    }

    void cancelAndExitLeaveRecord()
    {
        JPEGSettings settings;
        setFlag(settings, 0, true);
        const JPEGSettings before = settings;
        QuantizationWindow window(settings, nullptr);
        Editor ed{window};
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        ed.type(0, "99");
        ed.click(ed.button("setButton"));
        ed.click(ed.check(1));
        ed.click(ed.button("cancelButton"));
        QVERIFY(!window.isVisible());
        QVERIFY(sameRecord(settings, before));

        // The next showing starts again from the record.
        window.show();
        QVERIFY(!ed.check(1)->isChecked());
        QVERIFY(ed.gridShows(settings.qtables[0]));
        QCOMPARE(window.workingTable(0)[0], short(settings.qtables[0][0]));

        ed.type(0, "98");
        ed.click(ed.button("setButton"));
        ed.action("exitAction")->trigger();
        QTRY_VERIFY(!window.isVisible());
        QVERIFY(sameRecord(settings, before));
    }

    void batchVariant()
    {
        QuantizationWindow window(nullptr);
        Editor ed{window};
        QCOMPARE(window.variant(), Variant::Batch);
        QCOMPARE(window.getSettings(), nullptr);

        JPEGSettings settings;
        setFlag(settings, 0, true);
        setFlag(settings, 1, true);
        setFlag(settings, 2, true);
        settings.qtables[2] = filled(7);
        window.setSettings(&settings);
        window.updateEditables(false);
        window.updateUI();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        for (int i = 0; i < 4; ++i) {
            QCOMPARE(ed.check(i)->isVisible(), i < 2);
            QCOMPARE(ed.tableButton(i)->isVisible(), i < 2);
        }
        auto* validator = qobject_cast<const QIntValidator*>(ed.cell(0)->validator());
        QCOMPARE(validator->top(), 999);
        QCOMPARE(window.getActiveTableIndex(), 0u);

        QStringList presets;
        for (QAction* a : window.findChild<QMenu*>("presetMenu")->actions())
            presets << a->text();
        QStringList expected{"Luminance standard"};
        for (int i = 1; i <= 8; ++i)
            expected << QString("Luminance %1").arg(i);
        // Preset 9 is the Annex K luminance table, and is named so.
        expected << "Annex K luminance (K.1)";
        for (int i = 1; i <= 8; ++i)
            expected << QString("Chrominance %1").arg(i);
        QCOMPARE(presets, expected);
        // The names the CSV and the history give the same tables.
        for (int i = 0; i < JPEGSettings::PRESET_COUNT; ++i)
            QCOMPARE(presets[i], TableNames::name(QuantizationTable(JPEGSettings::presets[i])));

        ed.action("preset Chrominance 3")->trigger();
        QCOMPARE(window.getActiveTableIndex(), 1u);
        QVERIFY(ed.gridShows(JPEGSettings::presets[12]));
        ed.click(ed.button("setButton"));
        ed.action("preset Luminance 8")->trigger();
        QCOMPARE(window.getActiveTableIndex(), 0u);
        QVERIFY(ed.gridShows(JPEGSettings::presets[8]));

        ed.click(ed.button("okButton"));
        QVERIFY(!window.isVisible());
        QCOMPARE(window.getSettings(), nullptr);
        QVERIFY(flag(settings, 0) && flag(settings, 1) && flag(settings, 2));
        QCOMPARE(settings.qtables[1], QuantizationTable(JPEGSettings::presets[12]));
        // The grid of the active slot is stored by "Ok" without "Set".
        QCOMPARE(settings.qtables[0], QuantizationTable(JPEGSettings::presets[8]));
        QCOMPARE(settings.qtables[2], filled(7));

        // Without a record the editor does nothing harmful.
        window.updateUI();
        window.updateDataAndHide();
    }

    void batchActiveSlotCanBeHidden()
    {
        // Only slot 2 in use: it becomes the active slot although hidden.
        JPEGSettings settings;
        setFlag(settings, 2, true);
        settings.qtables[2] = filled(9);
        QuantizationWindow window(nullptr);
        Editor ed{window};
        window.setSettings(&settings);
        window.updateUI();
        QCOMPARE(window.getActiveTableIndex(), 2u);
        QVERIFY(ed.gridShows(filled(9)));
        window.updateDataAndHide();
        QVERIFY(flag(settings, 2));
        QCOMPARE(settings.qtables[2], filled(9));
    }

    // A table typed row by row, as printed in a paper, is the table in the
    // file; the effective grid shows exactly what the file holds.
    void typedRowsReachTheFileAsShown_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("quality");
        QTest::newRow("baseline, quality 20 clamps") << int(JPEGSettings::BASELINE) << 20;
        QTest::newRow("extended, quality 90") << int(JPEGSettings::EXTENDED) << 90;
    }
    void typedRowsReachTheFileAsShown()
    {
        QFETCH(int, mode);
        QFETCH(int, quality);
        ScratchDir scratch;
        JPEGSettings settings;
        settings.setCompressionMode(JPEGSettings::CompressionMode(mode));
        settings.setQuality(quality);
        setFlag(settings, 0, true);
        setFlag(settings, 1, true);
        QuantizationWindow window(settings, nullptr);
        Editor ed{window};
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        // Type into the screen grid row by row, left to right; "Ok" without "Set".
        auto* layout = qobject_cast<QGridLayout*>(ed.grid()->layout());
        unsigned typed[64];
        for (int row = 0; row < 8; ++row)
            for (int column = 0; column < 8; ++column) {
                typed[row * 8 + column] = unsigned(3 * row + 31 * column + 1);
                auto* edit =
                    qobject_cast<QLineEdit*>(layout->itemAtPosition(row, column)->widget());
                edit->selectAll();
                QTest::keyClick(edit, Qt::Key_Backspace);
                QTest::keyClicks(edit, QString::number(typed[row * 8 + column]));
            }
        auto* effective = window.findChild<SimpleTableWidget*>("effectiveTable");
        QVERIFY(effective);
        const int top = mode == JPEGSettings::BASELINE ? 255 : 32767;
        std::array<int, 64> shown;
        for (unsigned k = 0; k < 64; ++k) {
            shown[k] = effective->cellEdit(k / 8, k % 8)->text().toInt();
            // Entry 1 falls to 0 at quality 90 and is raised to 1.
            const long scaled = (long(typed[k]) * JPEGCompressor::tableScaling(quality) + 50) / 100;
            QCOMPARE(effective->isMarked(k / 8, k % 8), scaled < 1 || scaled > top);
        }
        ed.click(ed.button("okButton"));
        QCOMPARE(settings.qtables[0], QuantizationTable(typed));

        QVERIFY(TestPictures::write(scratch.file("p.png"), 16, 16));
        Image image(QFile::encodeName(scratch.file("p.png")).toStdString());
        JPEGCompressor compressor;
        compressor.setImage(&image);
        *compressor.getSettings() = settings;
        std::unique_ptr<CompressionResult> result(compressor.compressImage());
        QVERIFY(result);
        const JpegInspect written = JpegInspect::parse(result->getCompressedBytes());
        QVERIFY2(written.valid, qPrintable(written.problem));
        QCOMPARE(written.tables.at(0).natural, shown);
        QCOMPARE(written.tables.at(0).natural[1],
                 std::min(top, int((32 * JPEGCompressor::tableScaling(quality) + 50) / 100)));
    }

    void tableFiles()
    {
        ScratchDir scratch;
        JPEGSettings settings;
        setFlag(settings, 0, true);
        QuantizationWindow window(settings, nullptr);
        Editor ed{window};
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        for (unsigned k = 0; k < 64; ++k)
            ed.type(k, "1");
        const QString ones = scratch.file(QString::fromUtf8("jedničky.txt"));
        QVERIFY(window.saveTableToFile(ones));
        std::string line = "1\t1\t1\t1\t1\t1\t1\t1\n";
        QCOMPARE(readAll(ones), line + line + line + line + line + line + line + line);

        // Loading puts value k at model row k / 8, column k % 8.
        const QString counting = scratch.file("counting.txt");
        {
            std::ofstream out(QFile::encodeName(counting).toStdString());
            for (int k = 1; k <= 130; ++k)
                out << k << ' ';
        }
        QVERIFY(window.loadTableFromFile(counting));
        for (unsigned k = 0; k < 64; ++k)
            QCOMPARE(ed.grid()->getValueAt(k / 8, k % 8), short(k + 1));
        QCOMPARE(ed.grid()->cellEdit(0, 7)->text(), QString("8"));
        // The loaded table reaches the working copy only through "Set".
        QCOMPARE(window.workingTable(0)[0], short(settings.qtables[0][0]));

        QVERIFY(window.loadTableFromFile(ones));
        QVERIFY(ed.gridShows(filled(1)));

        MessageBoxCatcher boxes;
        const QString shortFile = scratch.file("short.txt");
        {
            std::ofstream out(QFile::encodeName(shortFile).toStdString());
            for (int k = 1; k <= 63; ++k)
                out << k << ' ';
        }
        QVERIFY(!window.loadTableFromFile(shortFile));
        QCOMPARE(boxes.count, 1);
        QCOMPARE(boxes.title, QString("Bad file"));
        QCOMPARE(boxes.text, "File<br>" + shortFile + "<br>doesn't contain valid DCT table");
        QCOMPARE(boxes.icon, QMessageBox::Critical);
        QCOMPARE(boxes.buttonCount, 1);
        QCOMPARE(boxes.parent, &window);
        QVERIFY(ed.gridShows(filled(1)));

        const QString missing = scratch.file("missing.txt");
        QVERIFY(!window.loadTableFromFile(missing));
        QCOMPARE(boxes.count, 2);
        QCOMPARE(boxes.text, "Couldn't open file<br>" + missing);
        QVERIFY(ed.gridShows(filled(1)));

        const QString noDir = scratch.file("no/such/t.txt");
        QVERIFY(!window.saveTableToFile(noDir));
        QCOMPARE(boxes.count, 3);
        QCOMPARE(boxes.title, QString("Bad file"));
        QCOMPARE(boxes.text, "Couldn't save file<br>" + noDir);

        // A write that fails after the file opened is reported too.
        if (QFile::exists("/dev/full")) {
            QVERIFY(!window.saveTableToFile("/dev/full"));
            QCOMPARE(boxes.count, 4);
            QCOMPARE(boxes.text, QString("Couldn't save file<br>/dev/full"));
        }
    }
};

QTEST_MAIN(TestQuantizationWindow)
#include "tst_quantizationwindow.moc"
