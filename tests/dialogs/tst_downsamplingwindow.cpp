// SPDX-License-Identifier: GPL-3.0-or-later
#include "DownsamplingWindow.h"
#include "JPEGSettings.h"
#include "MessageBoxCatcher.h"

#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

namespace {

struct Dialog
{
    DownsamplingWindow& window;

    QRadioButton* horizontal(int row, int factor) const
    {
        return window.findChild<QRadioButton*>(
            QStringLiteral("horizontal_%1_%2").arg(row).arg(factor));
    }
    QRadioButton* vertical(int row, int factor) const
    {
        return window.findChild<QRadioButton*>(
            QStringLiteral("vertical_%1_%2").arg(row).arg(factor));
    }
    QGroupBox* box(int row) const
    {
        return window.findChild<QGroupBox*>(QStringLiteral("componentBox%1").arg(row));
    }
    // A radio button reacts only to clicks on its indicator and label, which
    // may be narrower than the button; click on the indicator.
    static void click(QRadioButton* button)
    {
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
    }
    // Picks vertical x horizontal factors for a row with the mouse.
    void pick(int row, int v, int h) const
    {
        click(vertical(row, v));
        click(horizontal(row, h));
    }
    void ok() const
    {
        QTest::mouseClick(window.findChild<QPushButton*>("okButton"), Qt::LeftButton);
    }
    void cancel() const
    {
        QTest::mouseClick(window.findChild<QPushButton*>("cancelButton"), Qt::LeftButton);
    }
};

bool factorsAre(const JPEGSettings& s, int row, int v, int h)
{
    return s.downsampling[row].vertical == v && s.downsampling[row].horizontal == h;
}

} // namespace

class TestDownsamplingWindow : public QObject
{
    Q_OBJECT

private slots:
    void interactiveWindow()
    {
        JPEGSettings settings;
        settings.downsampling[3] = {4, 4};
        DownsamplingWindow window(settings, nullptr);
        Dialog d{window};
        // Nothing is selected before the first showing.
        QVERIFY(!d.horizontal(0, 1)->isChecked());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QCOMPARE(window.windowTitle(), QString("Downsampling"));
        QVERIFY(window.isModal());
        // Each box is titled after the component its row's factors reach.
        const QStringList titles = {"Luminance (Y)", "Chrominance (Cb)", "Chrominance (Cr)",
                                    "Fourth"};
        for (int r = 0; r < 4; ++r) {
            QCOMPARE(d.box(r)->title(), titles[r]);
            QVERIFY(d.box(r)->isVisible());
            for (int f = 1; f <= 4; ++f) {
                QCOMPARE(d.vertical(r, f)->text(), QString::number(f));
                QCOMPARE(d.horizontal(r, f)->isEnabled(), r < 3);
            }
        }
        // "Fourth" shows the record's factors but cannot be changed and is not counted.
        QVERIFY(d.vertical(3, 4)->isChecked() && d.horizontal(3, 4)->isChecked());
        d.click(d.horizontal(3, 1));
        QVERIFY(!d.horizontal(3, 1)->isChecked());

        // Defaults sum to 3: stored and closed.
        QVERIFY(window.isValid());
        d.ok();
        QVERIFY(!window.isVisible());
        QCOMPARE(window.getSettings(), &settings);

        // 2x2 + 2x2 + 2x1 = 10 is accepted; horizontal "2" of "Luminance (Y)" is entry 0.
        window.show();
        d.pick(0, 2, 2);
        d.pick(1, 2, 2);
        d.pick(2, 2, 1);
        d.ok();
        QVERIFY(!window.isVisible());
        QVERIFY(factorsAre(settings, 0, 2, 2));
        QVERIFY(factorsAre(settings, 1, 2, 2));
        QVERIFY(factorsAre(settings, 2, 2, 1));
        QVERIFY(factorsAre(settings, 3, 4, 4));
    }

    void tooManyBlocksRejected()
    {
        JPEGSettings settings;
        DownsamplingWindow window(settings, nullptr);
        Dialog d{window};
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        d.pick(0, 4, 4);
        {
            MessageBoxCatcher boxes;
            d.ok();
            QTRY_COMPARE(boxes.count, 1);
            QCOMPARE(boxes.title, QString("Error"));
            QCOMPARE(boxes.text,
                     QString("Downsampling settings must conform to expression SUMi (Hi*Vi)<=10"));
            QCOMPARE(boxes.icon, QMessageBox::Critical);
            QCOMPARE(boxes.buttonCount, 1);
            QCOMPARE(boxes.parent, &window);
        }
        QVERIFY(window.isVisible());
        QVERIFY(factorsAre(settings, 0, 1, 1));

        // 4x2 + 2x1 is 10, but the interactive tool also counts "Chrominance (Cr)" (1x1).
        d.pick(0, 4, 2);
        d.pick(1, 2, 1);
        QVERIFY(!window.isValid());
        d.pick(0, 2, 3);
        QVERIFY(window.isValid());
        d.ok();
        QVERIFY(!window.isVisible());
        QVERIFY(factorsAre(settings, 0, 2, 3));
        QVERIFY(factorsAre(settings, 1, 2, 1));
    }

    void cancelLeavesRecord()
    {
        JPEGSettings settings;
        settings.downsampling[1] = {2, 1};
        DownsamplingWindow window(settings, nullptr);
        Dialog d{window};
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(d.vertical(1, 2)->isChecked() && d.horizontal(1, 1)->isChecked());

        d.pick(1, 3, 3);
        d.cancel();
        QVERIFY(!window.isVisible());
        QVERIFY(factorsAre(settings, 1, 2, 1));
        window.show();
        QVERIFY(d.vertical(1, 2)->isChecked() && d.horizontal(1, 1)->isChecked());
        QVERIFY(!d.vertical(1, 3)->isChecked());
    }

    void batchWindow()
    {
        DownsamplingWindow window(nullptr);
        Dialog d{window};
        QCOMPARE(window.variant(), Variant::Batch);
        JPEGSettings settings;
        window.setSettings(&settings);
        window.updateEditables(false);
        window.updateUI();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        for (int r = 0; r < 4; ++r)
            QCOMPARE(d.box(r)->isVisible(), r < 2);
        QVERIFY(d.vertical(0, 1)->isChecked());
        QVERIFY(!d.vertical(2, 1)->isChecked());

        // 4x2 + 2x1 = 10; the third row has no selection and adds nothing.
        d.pick(0, 4, 2);
        d.pick(1, 2, 1);
        QVERIFY(window.isValid());
        d.pick(0, 3, 3);
        d.pick(1, 1, 1);
        QVERIFY(window.isValid());
        d.pick(1, 1, 2);
        QVERIFY(!window.isValid());
        d.pick(1, 1, 1);
        d.ok();
        QVERIFY(!window.isVisible());
        QCOMPARE(window.getSettings(), nullptr);
        QVERIFY(factorsAre(settings, 0, 3, 3));
        QVERIFY(factorsAre(settings, 1, 1, 1));

        // Without a record nothing breaks.
        window.updateUI();
        window.updateData();
    }

    void unshowableFactorKept()
    {
        // A factor outside 1..4 has no button: its group shows no selection
        // and "Ok" keeps the record's value.
        JPEGSettings settings;
        settings.downsampling[0] = {0, 7};
        DownsamplingWindow window(settings, nullptr);
        Dialog d{window};
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        for (int f = 1; f <= 4; ++f)
            QVERIFY(!d.vertical(0, f)->isChecked() && !d.horizontal(0, f)->isChecked());
        d.ok();
        QVERIFY(factorsAre(settings, 0, 0, 7));
    }
};

QTEST_MAIN(TestDownsamplingWindow)
#include "tst_downsamplingwindow.moc"
