// SPDX-License-Identifier: GPL-3.0-or-later
#include "TableModel.h"
#include "TableWidget.h"

#include <QGridLayout>
#include <QIntValidator>
#include <QLineEdit>
#include <QtTest>

#include <numeric>

class TestTableWidget : public QObject
{
    Q_OBJECT

private:
    // Grid position (screen row, screen column) of a model cell.
    static QPair<int, int> screenPosition(SimpleTableWidget& grid, size_t row, size_t column)
    {
        auto* layout = qobject_cast<QGridLayout*>(grid.layout());
        int index = layout->indexOf(grid.cellEdit(row, column));
        int r, c, rs, cs;
        layout->getItemPosition(index, &r, &c, &rs, &cs);
        return {r, c};
    }

private slots:
    void modelCopiesRowMajor()
    {
        short data[6] = {1, 2, 3, 4, 5, 6};
        IntTableModel model(2, 3, data, 6);
        QCOMPARE(model.getRowCount(), size_t(2));
        QCOMPARE(model.getColumnCount(), size_t(3));
        QCOMPARE(model.getValueAt(0, 2), short(3));
        QCOMPARE(model.getValueAt(1, 0), short(4));
        model.setValueAt(1, 2, -32768);
        QCOMPARE(model.getValueAt(1, 2), short(-32768));

        // A short source fills only the cells it covers.
        IntTableModel partial(2, 3, data, 4);
        QCOMPARE(partial.getValueAt(1, 0), short(4));
        QCOMPARE(partial.getValueAt(1, 1), short(0));
        QCOMPARE(partial.getValueAt(1, 2), short(0));
    }

    void placementIsNatural()
    {
        short data[64];
        std::iota(data, data + 64, short(1));
        IntTableModel model(8, 8, data, 64);
        QIntValidator validator(1, 999);
        SimpleTableWidget grid(&model, &validator);

        // Line edits start empty until the owner refreshes them.
        QCOMPARE(grid.cellEdit(0, 0)->text(), QString());
        grid.updateUI();

        // 1..8 run along the first screen row, as a table file's first line.
        for (size_t c = 0; c < 8; ++c) {
            QCOMPARE(screenPosition(grid, 0, c), qMakePair(0, int(c)));
            QCOMPARE(grid.cellEdit(0, c)->text(), QString::number(c + 1));
        }
        QCOMPARE(screenPosition(grid, 3, 5), qMakePair(3, 5));

        grid.setValueAt(0, 1, 7);
        QCOMPARE(grid.cellEdit(0, 1)->text(), QString("2"));
        grid.updateUI();
        QCOMPARE(grid.cellEdit(0, 1)->text(), QString("7"));
        QCOMPARE(grid.getValueAt(0, 1), short(7));

        QCOMPARE(grid.findChild<QLineEdit*>("cell_3_5"), grid.cellEdit(3, 5));
        QCOMPARE(grid.cellEdit(3, 5)->validator(), &validator);
        // Every cell shows the widest entry the validator allows, "999", whole.
        const int cell = grid.cellEdit(0, 0)->width();
        QVERIFY(cell >= grid.fontMetrics().horizontalAdvance(QStringLiteral("999")) + 8);
        QCOMPARE(grid.size(), QSize(8 * cell, 200));
        QCOMPARE(grid.minimumSize(), grid.size());
        QCOMPARE(grid.maximumSize(), grid.size());
        QCOMPARE(grid.cellEdit(0, 0)->height(), 25);
    }

    void keystrokesCommit()
    {
        short data[64];
        std::fill(data, data + 64, short(5));
        IntTableModel model(8, 8, data, 64);
        QIntValidator validator(1, 300);
        SimpleTableWidget grid(&model, &validator);
        grid.updateUI();
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));

        QLineEdit* edit = grid.cellEdit(2, 3);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), QString());
        QCOMPARE(model.getValueAt(2, 3), short(0));

        QTest::keyClick(edit, Qt::Key_1);
        QCOMPARE(model.getValueAt(2, 3), short(1));
        QTest::keyClick(edit, Qt::Key_2);
        QCOMPARE(model.getValueAt(2, 3), short(12));

        // The validator refuses a keystroke past its top of 300.
        QTest::keyClick(edit, Qt::Key_0);
        QCOMPARE(model.getValueAt(2, 3), short(120));
        QTest::keyClick(edit, Qt::Key_0);
        QCOMPARE(edit->text(), QString("120"));
        QCOMPARE(model.getValueAt(2, 3), short(120));

        // A lone minus sign and other texts that are no number commit 0.
        edit->setText("-");
        grid.updateCell(2, 3);
        QCOMPARE(model.getValueAt(2, 3), short(0));
        edit->setText("x");
        grid.updateCell(2, 3);
        QCOMPARE(model.getValueAt(2, 3), short(0));
        // Larger values are kept to 16 bits.
        edit->setText("70000");
        grid.updateCell(2, 3);
        QCOMPARE(model.getValueAt(2, 3), short(70000 - 65536));
    }

    void staleTextOverwritesSetValue()
    {
        short data[64];
        std::fill(data, data + 64, short(5));
        IntTableModel model(8, 8, data, 64);
        QIntValidator validator(1, 999);
        SimpleTableWidget grid(&model, &validator);
        grid.updateUI();
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));

        grid.setValueAt(0, 1, 77);
        QCOMPARE(model.getValueAt(0, 1), short(77));
        QTest::keyClick(grid.cellEdit(4, 4), Qt::Key_1);
        QCOMPARE(model.getValueAt(4, 4), short(51));
        QCOMPARE(model.getValueAt(0, 1), short(5));
    }
};

QTEST_MAIN(TestTableWidget)
#include "tst_tablewidget.moc"
