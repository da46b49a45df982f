// SPDX-License-Identifier: GPL-3.0-or-later
#include "BlockInspector.h"
#include "CompressionHistory.h"
#include "CompressionResult.h"
#include "HistoryCompare.h"
#include "Image.h"
#include "ImageWidget.h"
#include "JPEGCompressor.h"
#include "JpegPropertiesWindow.h"
#include "LiveCompression.h"
#include "PictureViewer.h"
#include "TestPictures.h"
#include "ToolWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>

#include <memory>

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Answers the next modal message box with OK and keeps its title and text.
struct BoxAnswer
{
    QString title;
    QString text;

    void arm()
    {
        QTimer::singleShot(0, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) {
                arm();
                return;
            }
            title = box->windowTitle();
            text = box->text();
            box->button(QMessageBox::Ok)->click();
        });
    }
};

} // namespace

// Drives the two windows of the interactive tool as the program wires them.
class TestInteractive : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ScratchDir> dir;
    std::unique_ptr<JPEGCompressor> compressor;
    std::unique_ptr<ToolWindow> tool;
    std::unique_ptr<PictureViewer> viewer;

    template <typename T> T* toolChild(const char* name) const
    {
        T* child = tool->findChild<T*>(QLatin1String(name));
        if (!child)
            qFatal("no %s in the tool window", name);
        return child;
    }
    template <typename T> T* viewerChild(const char* name) const
    {
        T* child = viewer->findChild<T*>(QLatin1String(name));
        if (!child)
            qFatal("no %s in the viewer", name);
        return child;
    }
    JPEGSettings* settings() const { return compressor->getSettings(); }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<Image*>();
        qRegisterMetaType<CompressionResult*>();
    }

    void init()
    {
        Image::initImage();
        dir = std::make_unique<ScratchDir>();
        compressor = std::make_unique<JPEGCompressor>();
        compressor->getSettings()->useAnnexKTables();
        tool = std::make_unique<ToolWindow>(*compressor);
        viewer = std::make_unique<PictureViewer>(Variant::Interactive);
        connect(tool.get(), &ToolWindow::imageChanged, viewer.get(), &PictureViewer::updateImage);
        connect(tool.get(), &ToolWindow::imageCompressed, viewer.get(),
                &PictureViewer::updateCompressed);
        tool->show();
        viewer->show();
        QVERIFY(QTest::qWaitForWindowExposed(tool.get()));
    }

    void cleanup()
    {
        viewer.reset();
        tool.reset();
        compressor.reset();
        dir.reset();
    }

    void startsFromTheRecord()
    {
        QVERIFY(toolChild<QRadioButton>("extendedRadio")->isChecked());
        QVERIFY(!toolChild<QRadioButton>("baselineRadio")->isChecked());
        QCOMPARE(toolChild<QComboBox>("dctCombo")->currentText(), QStringLiteral("int"));
        QCOMPARE(toolChild<QSpinBox>("qualitySpin")->value(), 95);
        // No custom table is checked: the library's tables are written, and
        // the table quality says it is not in use.
        QVERIFY(!toolChild<QSpinBox>("qualitySpin")->isEnabled());
        QCOMPARE(toolChild<QLabel>("qualityLabel")->text(), QStringLiteral("Table quality:"));
        QVERIFY(
            toolChild<QLabel>("tableScalingLabel")->text().contains(QLatin1String("not in use")));
        QVERIFY(!toolChild<QGroupBox>("qualityGroup")->isChecked());
        QVERIFY(!toolChild<QPushButton>("compressButton")->isEnabled());
        QVERIFY(!toolChild<QAction>("saveAsAction")->isEnabled());
        QCOMPARE(tool->windowTitle(), QStringLiteral("Tools"));
    }

    void controlsWriteTheRecord()
    {
        auto* progressive = toolChild<QCheckBox>("progressiveCheck");
        QTest::mouseClick(progressive, Qt::LeftButton);
        QVERIFY(settings()->isProgressive());

        // Baseline disables "Progressive" but keeps its tick and the flag.
        QTest::mouseClick(toolChild<QRadioButton>("baselineRadio"), Qt::LeftButton);
        QCOMPARE(settings()->getCompressionMode(), JPEGSettings::BASELINE);
        QVERIFY(!progressive->isEnabled());
        QVERIFY(progressive->isChecked());
        QTest::mouseClick(toolChild<QRadioButton>("extendedRadio"), Qt::LeftButton);
        QCOMPARE(settings()->getCompressionMode(), JPEGSettings::EXTENDED);
        QVERIFY(progressive->isEnabled());
        QVERIFY(settings()->isProgressive());

        // Automatic quality: the settings it ignores are locked away.
        auto* group = toolChild<QGroupBox>("qualityGroup");
        group->setChecked(true);
        QVERIFY(settings()->isAutoQualityEnabled());
        QVERIFY(!toolChild<QPushButton>("quantizationButton")->isEnabled());
        QVERIFY(!toolChild<QPushButton>("downsamplingButton")->isEnabled());
        QVERIFY(!toolChild<QComboBox>("dctCombo")->isEnabled());
        QVERIFY(toolChild<QSpinBox>("qualitySpin")->isEnabled());
        toolChild<QSpinBox>("qualitySpin")->setValue(40);
        QCOMPARE(settings()->getQuality(), 40);
        QCOMPARE(toolChild<QLabel>("tableScalingLabel")->text(),
                 QStringLiteral("40 → standard tables × 125 %"));
        group->setChecked(false);
        QVERIFY(!settings()->isAutoQualityEnabled());
        QVERIFY(toolChild<QPushButton>("quantizationButton")->isEnabled());
        QVERIFY(toolChild<QComboBox>("dctCombo")->isEnabled());
        QVERIFY(!toolChild<QSpinBox>("qualitySpin")->isEnabled());
        // The luminance slot checked: its table is scaled, the chrominance
        // stays the library's.
        settings()->getCurrentQuantizationTables()[JPEGSettings::LUMINANCE] = true;
        toolChild<QSpinBox>("qualitySpin")->setValue(25);
        QVERIFY(toolChild<QSpinBox>("qualitySpin")->isEnabled());
        QCOMPARE(settings()->getQuality(), 25);
        QCOMPARE(toolChild<QLabel>("tableScalingLabel")->text(),
                 QStringLiteral("25 → custom tables × 200 %; chrominance: the library's table "
                                "at quality 75"));
        toolChild<QSpinBox>("qualitySpin")->setValue(100);
        QCOMPARE(toolChild<QLabel>("tableScalingLabel")->text(),
                 QStringLiteral("100 → every entry of the custom tables is 1; chrominance: the "
                                "library's table at quality 75"));

        auto* dct = toolChild<QComboBox>("dctCombo");
        dct->setFocus();
        QTest::keyClick(dct, Qt::Key_Down);
        QCOMPARE(settings()->getDCTMethod(), JPEGSettings::FAST);
        QTest::keyClick(dct, Qt::Key_Down);
        QCOMPARE(settings()->getDCTMethod(), JPEGSettings::FLOAT);

        toolChild<QSpinBox>("smoothSpin")->setValue(25);
        QCOMPARE(settings()->getSmoothing(), 25);
        QTest::mouseClick(toolChild<QCheckBox>("optimizeHuffmanCheck"), Qt::LeftButton);
        QVERIFY(settings()->getOptimizeHuffman());
        QTest::mouseClick(toolChild<QCheckBox>("grayscaleOutputCheck"), Qt::LeftButton);
        QVERIFY(settings()->getGrayscaleOutput());
        QTest::mouseClick(toolChild<QCheckBox>("grayscaleOutputCheck"), Qt::LeftButton);
        QVERIFY(!settings()->getGrayscaleOutput());
    }

    // A JPEG file offers its properties; "Use these settings" puts its
    // tables, sampling and mode into the record and the controls.
    void jpegPropertiesOfAnOpenedFile()
    {
        QVERIFY(TestPictures::write(dir->file("picture.jpg"), 48, 32, TestPictures::Kind::Colour,
                                    "jpg"));
        QVERIFY(TestPictures::write(dir->file("picture.png"), 48, 32));
        QVERIFY(tool->openImageFile(dir->file("picture.jpg")));
        QVERIFY(toolChild<QAction>("propertiesAction")->isEnabled());
        QVERIFY(toolChild<QPushButton>("propertiesButton")->isVisibleTo(tool.get()));
        const JpegFileInfo info = JpegFileInfo::readFile(dir->file("picture.jpg"));
        QVERIFY(info.isValid());

        toolChild<QAction>("propertiesAction")->trigger();
        JpegPropertiesWindow* window = tool->jpegPropertiesWindow();
        QTRY_VERIFY(window->isVisible());
        const QString text = window->findChild<QTextBrowser*>("propertiesBrowser")->toPlainText();
        QVERIFY2(text.contains(QStringLiteral("at quality")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("48 × 32")));
        // Where its bytes go, down to the whole file.
        QVERIFY2(text.contains(QStringLiteral("Y AC")) && text.contains(QStringLiteral("100.0 %")),
                 qPrintable(text));

        settings()->setAutoQualityEnabled(true);
        settings()->downsampling[0] = {1, 1};
        QTest::mouseClick(window->findChild<QPushButton*>("useSettingsButton"), Qt::LeftButton);
        QVERIFY(!settings()->isAutoQualityEnabled());
        QVERIFY(!toolChild<QGroupBox>("qualityGroup")->isChecked());
        // The file's tables are Annex K at one quality: those and that quality.
        const int quality = info.tableForSlot(0)->quality;
        QCOMPARE(toolChild<QSpinBox>("qualitySpin")->value(), quality);
        QVERIFY(settings()->getCurrentQuantizationTables()[0]);
        QCOMPARE(settings()->qtables[0], QuantizationTable(annexKLuminance));
        // The history names what was written.
        const CompressionHistory& history = *tool->compressionHistory();
        QTRY_VERIFY(history.size() > 0 &&
                    history.entry(history.size() - 1).settings.getQuality() == quality);
        QVERIFY(history.entry(history.size() - 1)
                    .shortSettings()
                    .startsWith(QStringLiteral("q%1 K.1/K.2 ").arg(quality)));
        QCOMPARE(settings()->downsampling[0].horizontal, info.components[0].horizontal);
        QCOMPARE(settings()->downsampling[0].vertical, info.components[0].vertical);

        // Another kind of picture offers nothing.
        QVERIFY(tool->openImageFile(dir->file("picture.png")));
        QVERIFY(!toolChild<QAction>("propertiesAction")->isEnabled());
        QVERIFY(!window->isVisible());
    }

    // A burst of changes with "Live" on ends with the result of the last
    // settings, as the JPEG itself shows; superseded jobs are never shown.
    void liveRecompressionEndsWithTheLastSettings()
    {
        QVERIFY(TestPictures::write(dir->file("picture.png"), 320, 240));
        QVERIFY(tool->openImageFile(dir->file("picture.png")));
        QVERIFY(toolChild<QCheckBox>("liveCheck")->isChecked());
        QSignalSpy compressed(tool.get(), &ToolWindow::imageCompressed);
        toolChild<QGroupBox>("qualityGroup")->setChecked(true);
        auto* spin = toolChild<QSpinBox>("qualitySpin");
        int changes = 1;
        for (int quality = 20; quality <= 80; quality += 4, ++changes)
            spin->setValue(quality);
        QTRY_VERIFY(tool->currentResult() &&
                    tool->currentResult()->getSettings().getQuality() == 80);
        // Once every job has ended, nothing has replaced the result.
        QTRY_VERIFY(!tool->liveCompression()->isBusy());
        QCoreApplication::processEvents();
        QVERIFY(compressed.size() < changes);
        CompressionResult* last = tool->currentResult();
        QCOMPARE(compressed.last().at(0).value<CompressionResult*>(), last);
        const JpegFileInfo info = JpegFileInfo::read(last->getCompressedBytes());
        QCOMPARE(info.tableForSlot(0)->quality, 80);
        QVERIFY(viewerChild<QPushButton>("imageButton")->isEnabled());

        // A typed quality counts once typing ends: "45" is no compression at 4.
        spin->setFocus();
        spin->selectAll();
        QTest::keyClicks(spin, QStringLiteral("45"));
        QCOMPARE(settings()->getQuality(), 80);
        QTest::keyClick(spin, Qt::Key_Return);
        QCOMPARE(settings()->getQuality(), 45);
        QTRY_VERIFY(tool->currentResult()->getSettings().getQuality() == 45);
        QTRY_VERIFY(!tool->liveCompression()->isBusy());
        for (int row = 0; row < tool->compressionHistory()->size(); ++row)
            QVERIFY(tool->compressionHistory()->entry(row).settings.getQuality() != 4);

        // Compress still works, now and with "Live" off.
        toolChild<QCheckBox>("liveCheck")->setChecked(false);
        spin->setValue(30);
        QTest::mouseClick(toolChild<QPushButton>("compressButton"), Qt::LeftButton);
        QCOMPARE(tool->currentResult()->getSettings().getQuality(), 30);
        QVERIFY(!tool->liveCompression()->isBusy());

        // The size breakdown follows the shown result while it is ticked.
        auto* breakdown = toolChild<QLabel>("bitBreakdown");
        QVERIFY(breakdown->isHidden());
        toolChild<QCheckBox>("breakdownCheck")->setChecked(true);
        QVERIFY(!breakdown->isHidden());
        const QString bytes = QString::number(tool->currentResult()->getCompressedBytes().size());
        QVERIFY2(breakdown->text().contains(QStringLiteral("Cr DC")) &&
                     breakdown->text().contains(QStringLiteral(">%1<").arg(bytes)),
                 qPrintable(breakdown->text()));
        spin->setValue(90);
        QTest::mouseClick(toolChild<QPushButton>("compressButton"), Qt::LeftButton);
        QVERIFY(breakdown->text().contains(
            QStringLiteral(">%1<").arg(tool->currentResult()->getCompressedBytes().size())));
    }

    // Selecting an entry of the history shows its own JPEG again (decoded
    // from the bytes it kept) without adding an entry; two selected compare
    // side by side.
    void historyShowsAndComparesItsEntries()
    {
        QVERIFY(TestPictures::write(dir->file("picture.png"), 96, 64));
        QVERIFY(tool->openImageFile(dir->file("picture.png")));
        toolChild<QCheckBox>("liveCheck")->setChecked(false);
        toolChild<QGroupBox>("qualityGroup")->setChecked(true);
        auto* spin = toolChild<QSpinBox>("qualitySpin");
        for (int quality : {20, 90}) {
            spin->setValue(quality);
            QTest::mouseClick(toolChild<QPushButton>("compressButton"), Qt::LeftButton);
        }
        const CompressionHistory& history = *tool->compressionHistory();
        QCOMPARE(history.size(), 2);
        QCOMPARE(history.entry(1).jpeg, tool->currentResult()->getCompressedBytes());

        auto* view = toolChild<QTableView>("historyView");
        view->selectRow(0);
        QTRY_VERIFY(tool->currentResult()->getCompressedBytes() == history.entry(0).jpeg);
        QCOMPARE(tool->currentResult()->getSettings().getQuality(), 20);
        QCOMPARE(history.size(), 2);
        const std::unique_ptr<Image> expected(Image::loadEncodedJpeg(history.entry(0).jpeg));
        const QImage shown = viewerChild<ImageWidget>("processedImage")->getQImage();
        QCOMPARE(shown.size(), QSize(96, 64));
        for (int y : {0, 31, 63})
            QCOMPARE(shown.pixel(50, y),
                     reinterpret_cast<const QRgb*>(expected->getRGB32Buffer())[y * 96 + 50]);
        QVERIFY(!toolChild<QPushButton>("compareButton")->isEnabled());

        view->selectionModel()->select(history.index(1, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QVERIFY(toolChild<QPushButton>("compareButton")->isEnabled());
        toolChild<QPushButton>("compareButton")->click();
        QTRY_VERIFY(tool->historyCompare()->window() &&
                    tool->historyCompare()->window()->isVisible());
        PictureViewer* pair = tool->historyCompare()->window();
        QCOMPARE(pair->findChild<ImageWidget*>(QStringLiteral("sourceImage"))->getQImage().size(),
                 QSize(96, 64));
        QVERIFY(pair->findChild<QPushButton*>(QStringLiteral("errorsButton"))->isEnabled());
        QVERIFY(pair->windowTitle().contains(QStringLiteral("#1 (left) with #2 (right)")));
        // Its File menu saves the right-hand entry's JPEG.
        const QAction* saveAs = pair->findChild<QAction*>(QStringLiteral("saveAsAction"));
        QVERIFY(saveAs && saveAs->isEnabled());
    }

    // "Restore settings" puts back every control, the tables and the
    // sampling of the entry, whatever was changed since.
    void restoreSettingsRoundTripsEveryControl()
    {
        QVERIFY(TestPictures::write(dir->file("picture.png"), 64, 48));
        QVERIFY(tool->openImageFile(dir->file("picture.png")));
        toolChild<QCheckBox>("liveCheck")->setChecked(false);
        toolChild<QRadioButton>("baselineRadio")->setChecked(true);
        toolChild<QCheckBox>("optimizeHuffmanCheck")->setChecked(true);
        toolChild<QCheckBox>("grayscaleOutputCheck")->setChecked(true);
        toolChild<QSpinBox>("qualitySpin")->setValue(40);
        toolChild<QSpinBox>("smoothSpin")->setValue(20);
        auto* dct = toolChild<QComboBox>("dctCombo");
        dct->setCurrentIndex(2);
        tool->setDCTMethod(dct->currentText());
        settings()->qtables[JPEGSettings::LUMINANCE] = QuantizationTable(JPEGSettings::presets[3]);
        settings()->downsampling[0] = JPEGSettings::Downsampling{1, 1};
        QTest::mouseClick(toolChild<QPushButton>("compressButton"), Qt::LeftButton);
        const JPEGSettings kept = *settings();

        toolChild<QRadioButton>("extendedRadio")->setChecked(true);
        toolChild<QCheckBox>("progressiveCheck")->setChecked(true);
        toolChild<QCheckBox>("optimizeHuffmanCheck")->setChecked(false);
        toolChild<QCheckBox>("grayscaleOutputCheck")->setChecked(false);
        toolChild<QGroupBox>("qualityGroup")->setChecked(true);
        toolChild<QSpinBox>("qualitySpin")->setValue(85);
        toolChild<QSpinBox>("smoothSpin")->setValue(0);
        dct->setCurrentIndex(1);
        tool->setDCTMethod(dct->currentText());
        settings()->qtables[JPEGSettings::LUMINANCE] = QuantizationTable(JPEGSettings::presets[0]);
        settings()->downsampling[0] = JPEGSettings::Downsampling{2, 2};
        QTest::mouseClick(toolChild<QPushButton>("compressButton"), Qt::LeftButton);
        QCOMPARE(tool->compressionHistory()->size(), 2);

        toolChild<QCheckBox>("liveCheck")->setChecked(true);
        QSignalSpy compressed(tool.get(), &ToolWindow::imageCompressed);
        toolChild<QTableView>("historyView")->selectRow(0);
        toolChild<QPushButton>("restoreButton")->click();
        QVERIFY(toolChild<QRadioButton>("baselineRadio")->isChecked());
        QVERIFY(!toolChild<QCheckBox>("progressiveCheck")->isEnabled());
        QVERIFY(toolChild<QCheckBox>("optimizeHuffmanCheck")->isChecked());
        QVERIFY(toolChild<QCheckBox>("grayscaleOutputCheck")->isChecked());
        QVERIFY(!toolChild<QGroupBox>("qualityGroup")->isChecked());
        QCOMPARE(toolChild<QSpinBox>("qualitySpin")->value(), 40);
        QCOMPARE(toolChild<QSpinBox>("smoothSpin")->value(), 20);
        QCOMPARE(dct->currentText(), QStringLiteral("float"));
        QVERIFY(dct->isEnabled());
        QCOMPARE(settings()->getCompressionMode(), JPEGSettings::BASELINE);
        QVERIFY(settings()->getOptimizeHuffman() && settings()->getGrayscaleOutput());
        QVERIFY(!settings()->isAutoQualityEnabled());
        QCOMPARE(settings()->getDCTMethod(), JPEGSettings::FLOAT);
        QCOMPARE(settings()->getSmoothing(), 20);
        for (int slot = 0; slot < 4; ++slot)
            QVERIFY(settings()->qtables[slot] == kept.qtables[slot]);
        for (int c = 0; c < 3; ++c)
            QVERIFY(settings()->downsampling[c] == kept.downsampling[c]);
        // With "Live" on the restored settings are compressed again, giving
        // the entry's own JPEG.
        QTRY_VERIFY(!tool->liveCompression()->isBusy() && !compressed.isEmpty());
        QCOMPARE(tool->currentResult()->getCompressedBytes(),
                 tool->compressionHistory()->entry(0).jpeg);
    }

    // The history keeps JPEG bytes up to its cap, dropping the oldest, and
    // holds each JPEG once.
    void historyCapDropsTheOldest()
    {
        QVERIFY(TestPictures::write(dir->file("picture.png"), 64, 48));
        std::unique_ptr<Image> picture(new Image(dir->file("picture.png").toStdString()));
        JPEGCompressor local;
        local.setImage(picture.get());
        std::vector<std::unique_ptr<CompressionResult>> results;
        for (int quality : {30, 60, 90}) {
            local.getSettings()->setQuality(quality);
            local.getSettings()->setAutoQualityEnabled(true);
            results.emplace_back(local.compressImage());
            QVERIFY(results.back());
        }
        const qint64 a = results[0]->getCompressedSize();
        const qint64 b = results[1]->getCompressedSize();
        const qint64 c = results[2]->getCompressedSize();
        CompressionHistory history(b + c);
        QCOMPARE(history.add(*results[0], 1.0), 0);
        QCOMPARE(history.add(*results[1], 1.0), 1);
        QCOMPARE(history.add(*results[0], 1.0), 0); // held already
        QCOMPARE(history.size(), 2);
        QCOMPARE(history.add(*results[2], 1.0), 1);
        QCOMPARE(history.size(), 2);
        QCOMPARE(history.entry(0).number, 2);
        QCOMPARE(history.entry(1).number, 3);
        QCOMPARE(history.heldBytes(), b + c);
        QVERIFY(a + b + c > history.byteCap());
        QCOMPARE(history.data(history.index(1, CompressionHistory::SETTINGS)).toString(),
                 QStringLiteral("q90 K.1/K.2 · auto · Extended · int · 2x2,1x1,1x1"));
        // One entry larger than the cap on its own is still kept.
        CompressionHistory tiny(1);
        tiny.add(*results[0], 1.0);
        tiny.add(*results[1], 1.0);
        QCOMPARE(tiny.size(), 1);
        QCOMPARE(tiny.entry(0).number, 2);
        // The next picture's history numbers from 1 again.
        tiny.clear();
        tiny.add(*results[2], 1.0);
        QCOMPARE(tiny.entry(0).number, 1);
    }

    // With the inspector tool, a click on the compressed picture opens the
    // block under it; its coefficients are those of the JPEG; arrows move.
    void blockInspectorFollowsClicksAndArrows()
    {
        QVERIFY(TestPictures::write(dir->file("picture.png"), 64, 48));
        QVERIFY(tool->openImageFile(dir->file("picture.png")));
        QTest::mouseClick(toolChild<QPushButton>("compressButton"), Qt::LeftButton);
        QVERIFY(tool->currentResult());
        auto* inspector = viewerChild<BlockInspector>("blockInspector");
        auto* pane = viewerChild<ImageWidget>("processedImage");

        QTest::mouseClick(pane, Qt::LeftButton, {}, pane->pictureOffset() + QPoint(20, 12));
        QVERIFY(!inspector->isVisible()); // the tool is off
        viewerChild<QAbstractButton>("inspectButton")->click();
        QTest::mouseClick(pane, Qt::LeftButton, {}, pane->pictureOffset() + QPoint(20, 12));
        QTRY_VERIFY(inspector->isVisible());
        QVERIFY(inspector->hasBlock());
        const BlockAnalysis& block = inspector->analysis();
        QCOMPARE(block.component, 0);
        QCOMPARE(block.column, 2);
        QCOMPARE(block.row, 1);
        const JpegFileInfo info =
            JpegFileInfo::read(tool->currentResult()->getCompressedBytes(), true);
        const std::int16_t* stored = info.coefficients[0].block(2, 1);
        for (int k = 0; k < 64; ++k)
            QCOMPARE(block.stored[k], int(stored[k]));

        QTest::keyClick(inspector, Qt::Key_Right);
        QCOMPARE(inspector->analysis().column, 3);
        QTest::keyClick(inspector, Qt::Key_Down);
        QCOMPARE(inspector->analysis().row, 2);
        QCOMPARE(inspector->analysis().stored[0], int(info.coefficients[0].block(3, 2)[0]));
    }

    void openCompressAndSave()
    {
        QVERIFY(TestPictures::write(dir->file("picture.png"), 48, 32));
        {
            // A picture that does not load is refused with the loader's
            // reason, and its name is shown as it is spelt.
            BoxAnswer refused;
            refused.arm();
            QVERIFY(!tool->openImageFile(dir->file("<b>missing</b>.png")));
            QCOMPARE(refused.title, QStringLiteral("Error"));
            QTextDocument shown;
            shown.setHtml(refused.text);
            QVERIFY2(shown.toPlainText().contains(QStringLiteral("<b>missing</b>.png")),
                     qPrintable(refused.text));
            QVERIFY(shown.toPlainText().contains(QStringLiteral("does not exist")));
        }
        QVERIFY(!toolChild<QPushButton>("compressButton")->isEnabled());

        QSignalSpy changed(tool.get(), &ToolWindow::imageChanged);
        QVERIFY(tool->openImageFile(dir->file("picture.png")));
        QCOMPARE(changed.size(), 1);
        QVERIFY(toolChild<QPushButton>("compressButton")->isEnabled());
        QCOMPARE(viewerChild<QLabel>("zoomLabel")->text(), QStringLiteral("100%"));
        QVERIFY(!viewerChild<QPushButton>("imageButton")->isEnabled());

        QSignalSpy compressed(tool.get(), &ToolWindow::imageCompressed);
        QTest::mouseClick(toolChild<QPushButton>("compressButton"), Qt::LeftButton);
        QCOMPARE(compressed.size(), 1);
        CompressionResult* result = tool->currentResult();
        QVERIFY(result);
        QCOMPARE(compressed.at(0).at(0).value<CompressionResult*>(), result);
        QVERIFY(toolChild<QAction>("saveAsAction")->isEnabled());
        QVERIFY(viewerChild<QPushButton>("imageButton")->isEnabled());
        const QString rate = viewerChild<QLabel>("crLabel")->text();
        QCOMPARE(rate, QStringLiteral("%1").arg(result->getCompressionRate(), 0, 'g', -1));
        QVERIFY(viewerChild<QLabel>("cpLabel")->text().endsWith('%'));
        QVERIFY(viewerChild<QLabel>("brLabel")->text().endsWith(QStringLiteral(" bpp")));

        const QByteArray jpeg = result->getCompressedBytes();
        QVERIFY(jpeg.startsWith("\xFF\xD8"));
        QVERIFY(tool->saveCompressedAs(dir->file("kept.JPG")));
        QCOMPARE(contents(dir->file("kept.JPG")), jpeg);
        QVERIFY(tool->saveCompressedAs(dir->file("plain")));
        QCOMPARE(contents(dir->file("plain.jpg")), jpeg);
        QVERIFY(tool->saveCompressedAs(dir->file("other.png")));
        QCOMPARE(contents(dir->file("other.png.jpg")), jpeg);

        // A copy that cannot be made is reported, not passed over.
        BoxAnswer answer;
        answer.arm();
        QVERIFY(!tool->saveCompressedAs(dir->file("no/such/folder/x.jpg")));
        QCOMPARE(answer.title, QStringLiteral("Error"));
        QVERIFY(answer.text.contains(QStringLiteral("x.jpg")));

        // A new picture returns to the picture state: nothing to save yet.
        QVERIFY(tool->openImageFile(dir->file("picture.png")));
        QVERIFY(!toolChild<QAction>("saveAsAction")->isEnabled());
        QVERIFY(!viewerChild<QPushButton>("imageButton")->isEnabled());
    }

    void aNewResultReplacesTheOldOnlyAfterTheViewerHasIt()
    {
        QVERIFY(TestPictures::write(dir->file("picture.png"), 40, 24));
        QVERIFY(tool->openImageFile(dir->file("picture.png")));
        tool->compressImage();
        CompressionResult* first = tool->currentResult();
        QVERIFY(first);
        double firstRateSeenDuringHandOver = -1;
        connect(tool.get(), &ToolWindow::imageCompressed, this, [&](CompressionResult* next) {
            QVERIFY(next != first);
            // Still alive while the viewer switches (the sanitizer build
            // would catch a read of freed memory here).
            firstRateSeenDuringHandOver = first->getCompressionRate();
        });
        tool->compressImage();
        QVERIFY(tool->currentResult());
        QVERIFY(firstRateSeenDuringHandOver > 0);
    }

    void aFailedCompressionIsReported()
    {
        QVERIFY(TestPictures::write(dir->file("picture.png"), 40, 24));
        QVERIFY(tool->openImageFile(dir->file("picture.png")));
        tool->compressImage();
        QVERIFY(viewerChild<QPushButton>("imageButton")->isEnabled());

        settings()->downsampling[0] = {3, 3};
        settings()->downsampling[1] = {2, 2};
        BoxAnswer answer;
        answer.arm();
        QTest::mouseClick(toolChild<QPushButton>("compressButton"), Qt::LeftButton);
        QCOMPARE(answer.title, QStringLiteral("Error"));
        QVERIFY(answer.text.contains(QStringLiteral("ampling")));
        QVERIFY(!tool->currentResult());
        QVERIFY(!toolChild<QAction>("saveAsAction")->isEnabled());
        QVERIFY(!viewerChild<QPushButton>("imageButton")->isEnabled());

        settings()->downsampling[0] = {2, 2};
        settings()->downsampling[1] = {1, 1};
        tool->compressImage();
        QVERIFY(tool->currentResult());
        QVERIFY(toolChild<QAction>("saveAsAction")->isEnabled());
    }
};

QTEST_MAIN(TestInteractive)
#include "tst_interactive.moc"
