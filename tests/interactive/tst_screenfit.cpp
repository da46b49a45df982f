// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchWindow.h"
#include "CompressionResult.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "PictureViewer.h"
#include "TestPictures.h"
#include "ToolWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QToolButton>

// Every window of both programs on a 1366 x 768 screen with a fresh
// configuration: opened, fed a picture and its compression and switched
// through every view, each lies within the screen.
class TestScreenFit : public QObject
{
    Q_OBJECT

private:
    QRect screen;

    // Names the first visible top-level window whose frame leaves the screen.
    QString windowOffScreen() const
    {
        for (const QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible() && !screen.contains(window->frameGeometry()))
                return QStringLiteral("%1 at %2,%3 %4x%5")
                    .arg(window->windowTitle())
                    .arg(window->frameGeometry().x())
                    .arg(window->frameGeometry().y())
                    .arg(window->frameGeometry().width())
                    .arg(window->frameGeometry().height());
        }
        return QString();
    }

private slots:
    void initTestCase()
    {
        screen = QGuiApplication::primaryScreen()->availableGeometry();
        // The test means something only on the laptop screen it was given.
        QCOMPARE(QGuiApplication::primaryScreen()->geometry().size(), QSize(1366, 768));
        Image::initImage();
    }

    void interactiveWindowsFitSideBySide()
    {
        ScratchDir dir;
        const QString picture = dir.file("large.png");
        QVERIFY(TestPictures::write(picture, 1600, 1000));
        JPEGCompressor compressor;
        compressor.getSettings()->useAnnexKTables();
        ToolWindow tool(compressor);
        PictureViewer viewer(Variant::Interactive);
        connect(&tool, &ToolWindow::imageChanged, &viewer, &PictureViewer::updateImage);
        connect(&tool, &ToolWindow::imageCompressed, &viewer, &PictureViewer::updateCompressed);
        tool.showBeside(viewer);
        QVERIFY(QTest::qWaitForWindowExposed(&viewer));
        QCOMPARE(windowOffScreen(), QString());
        QVERIFY(!tool.frameGeometry().intersects(viewer.frameGeometry()));

        // Live compresses the picture as soon as it is open.
        QVERIFY(tool.openImageFile(picture));
        // A sanitizer build takes several seconds for the 1600 x 1000 compression.
        QTRY_VERIFY_WITH_TIMEOUT(tool.currentResult(), 60000);
        QCOMPARE(windowOffScreen(), QString());
        const QSize viewerSize = viewer.size();
        const QSize toolSize = tool.size();
        for (QAbstractButton* button : viewer.findChildren<QAbstractButton*>()) {
            if (!button->isEnabled() || !button->isCheckable())
                continue;
            button->click();
            QCOMPARE(windowOffScreen(), QString());
            QCOMPARE(viewer.size(), viewerSize);
        }
        auto* automatic = tool.findChild<QGroupBox*>(QStringLiteral("qualityGroup"));
        automatic->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(tool.currentResult()->getSettings().isAutoQualityEnabled(), 60000);
        QCOMPARE(windowOffScreen(), QString());
        QCOMPARE(tool.size(), toolSize);
        QCOMPARE(viewer.size(), viewerSize);
        QVERIFY(!tool.frameGeometry().intersects(viewer.frameGeometry()));
    }

    void batchFormFits()
    {
        BatchWindow window(nullptr);
        window.updateUI();
        window.restoreSettings();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(windowOffScreen(), QString());
        // The Compress button is reached by scrolling, never off the screen.
        auto* compress = window.findChild<QPushButton*>(QStringLiteral("compressButton"));
        QVERIFY(compress);
        QVERIFY(compress->isVisibleTo(&window));
    }
};

QTEST_MAIN(TestScreenFit)
#include "tst_screenfit.moc"
