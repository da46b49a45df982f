// SPDX-License-Identifier: GPL-3.0-or-later
#include "Image.h"
#include "OptimiseTablesDialog.h"
#include "QuantizationWindow.h"
#include "TestPictures.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

class TestOptimiseDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Image::initImage(); }

    // A short run ends with the report shown, and the editor opens on the
    // pair found. A second run cancelled at once ends as cancelled, with
    // "Open in editor" off and "Start" on again.
    void runsShowsTheReportOpensTheEditorAndCancels()
    {
        ScratchDir dir;
        QVERIFY(TestPictures::write(dir.file("p.png"), 96, 80));
        OptimiseTablesDialog dialog;
        auto* start = dialog.findChild<QPushButton*>(QStringLiteral("startButton"));
        auto* cancel = dialog.findChild<QPushButton*>(QStringLiteral("cancelButton"));
        auto* editorButton = dialog.findChild<QPushButton*>(QStringLiteral("editorButton"));
        auto* status = dialog.findChild<QLabel*>(QStringLiteral("statusLabel"));
        QVERIFY(start && cancel && editorButton && status);
        QVERIFY(!start->isEnabled());
        dialog.setPictures({dir.file("p.png")});
        QVERIFY(start->isEnabled());
        dialog.findChild<QSpinBox*>(QStringLiteral("timeLimitBox"))->setValue(3);
        dialog.show();

        QSignalSpy ended(&dialog, &OptimiseTablesDialog::optimisationEnded);
        start->click();
        QVERIFY(dialog.isRunning());
        QVERIFY(cancel->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 60000);
        QVERIFY2(dialog.result().ok(), qPrintable(dialog.result().error));
        QCOMPARE(status->text(), QStringLiteral("Done."));
        QVERIFY(dialog.findChild<QPlainTextEdit*>(QStringLiteral("reportView"))
                    ->toPlainText()
                    .contains(QStringLiteral("optimised")));
        QVERIFY(editorButton->isEnabled());
        editorButton->click();
        QVERIFY(dialog.editor() && dialog.editor()->isVisible());
        for (unsigned k = 0; k < 64; ++k) {
            QCOMPARE(unsigned(dialog.editor()->workingTable(0)[k]), dialog.result().luma[k]);
            QCOMPARE(unsigned(dialog.editor()->workingTable(1)[k]), dialog.result().chroma[k]);
        }
        dialog.editor()->hide();

        dialog.findChild<QSpinBox*>(QStringLiteral("timeLimitBox"))->setValue(600);
        start->click();
        cancel->click();
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 2, 60000);
        QVERIFY(dialog.result().cancelled);
        QCOMPARE(status->text(), QStringLiteral("Cancelled."));
        QVERIFY(!editorButton->isEnabled());
        QVERIFY(start->isEnabled());
    }
};

QTEST_MAIN(TestOptimiseDialog)
#include "tst_optimisedialog.moc"
