// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchToolTest.h"
#include "DownsamplingWindow.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "PictureViewer.h"
#include "QuantizationWindow.h"
#include "Report.h"
#include "ResultWidget.h"
#include "TestPictures.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

namespace {

// One result of a run: its settings entry and figures, and the panel on them.
struct Panel
{
    Panel(const QString& path, const JPEGSettings& entry) : settings(entry)
    {
        stat.fileName = path;
        stat.compressionRate = 10.5;
        stat.compressionPercentage = 90.4761904761;
        stat.bitRate = 2.25;
        stat.mse = 3;
        widget = std::make_unique<ResultWidget>(&stat, &settings, nullptr);
    }

    template <typename T> T* find(const char* name) const
    {
        T* child = widget->findChild<T*>(QLatin1String(name));
        if (!child)
            qFatal("no child %s", name);
        return child;
    }
    QString figure(const char* name) const { return find<QLabel>(name)->text(); }

    ResultStat stat;
    JPEGSettings settings;
    std::unique_ptr<ResultWidget> widget;
};

JPEGSettings baselineEntry()
{
    JPEGSettings s;
    s.setCompressionMode(JPEGSettings::BASELINE);
    s.getCurrentQuantizationTables()[0] = s.getCurrentQuantizationTables()[1] = true;
    s.qtables[0] = QuantizationTable(JPEGSettings::presets[0]);
    s.qtables[1] = QuantizationTable(JPEGSettings::presets[1]);
    return s;
}

// A compression of `source` under `settings` made here, for comparison.
std::unique_ptr<CompressionResult> freshCompression(const JPEGSettings& settings, Image& source)
{
    JPEGCompressor reference;
    *reference.getSettings() = settings;
    reference.setImage(&source);
    return std::unique_ptr<CompressionResult>(reference.compressImage());
}

// Whether the panel's figures and report row are those of a fresh
// compression under its entry as it stands.
bool figuresMatchEntry(const ResultStat& stat, const JPEGSettings& settings)
{
    Image source(QFile::encodeName(stat.fileName).toStdString());
    const std::unique_ptr<CompressionResult> expected = freshCompression(settings, source);
    if (!expected)
        return false;
    ResultStat fresh(*expected);
    return Report::row(settings, stat) == Report::row(settings, fresh);
}

// Closes every viewer that opens and counts them.
class ViewerCloser
{
public:
    ViewerCloser()
        : watcher([this](QWidget* modal) {
              if (auto* viewer = qobject_cast<PictureViewer*>(modal)) {
                  ++opened;
                  parent = viewer->parentWidget();
                  modal_ = viewer->isModal();
                  viewer->close();
              }
          })
    {
    }
    int opened = 0;
    QWidget* parent = nullptr;
    bool modal_ = false;

private:
    ModalWatcher watcher;
};

} // namespace

class TestResultWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Image::initImage(); }

    void showsItsEntryAndFigures()
    {
        JPEGSettings entry = baselineEntry();
        entry.setProgressiveMode(true); // left by an extended pass
        entry.setDCTMethod(JPEGSettings::FLOAT);
        entry.setOptimizeHuffman(true);
        entry.setGrayscaleOutput(true);
        entry.setSmoothing(30);
        entry.setQuality(70);
        Panel p(QStringLiteral("/pics/a.bmp"), entry);

        QCOMPARE(p.find<QLabel>("fileLabel")->text(), QStringLiteral("a.bmp"));
        QCOMPARE(p.find<QLabel>("fileLabel")->toolTip(), QStringLiteral("/pics/a.bmp"));
        QVERIFY(p.find<QRadioButton>("baselineRadio")->isChecked());
        QVERIFY(!p.find<QCheckBox>("progressiveCheck")->isChecked());
        QVERIFY(!p.find<QCheckBox>("progressiveCheck")->isEnabled());
        QCOMPARE(p.find<QComboBox>("dctCombo")->currentText(), QStringLiteral("float"));
        QVERIFY(p.find<QCheckBox>("huffmanCheck")->isChecked());
        QVERIFY(p.find<QCheckBox>("grayscaleCheck")->isChecked());
        QVERIFY(!p.find<QCheckBox>("autoCheck")->isChecked());
        QCOMPARE(p.find<QSpinBox>("qualitySpin")->value(), 70);
        // The quality scales the entry's checked custom tables.
        QVERIFY(p.find<QSpinBox>("qualitySpin")->isEnabled());
        QCOMPARE(p.find<QSpinBox>("smoothingSpin")->value(), 30);
        QCOMPARE(p.figure("crLabel"), QStringLiteral("10.5"));
        QCOMPARE(p.figure("cpLabel"), QStringLiteral("90.4762"));
        QCOMPARE(p.figure("brLabel"), QStringLiteral("2.25"));
        QCOMPARE(p.figure("mseLabel"), QStringLiteral("3"));
        // Figures the run did not measure.
        QCOMPARE(p.figure("psnrLabel"), QStringLiteral("n/a"));
        QCOMPARE(p.figure("ssimLabel"), QStringLiteral("n/a"));
        // Building the panel changes nothing in the entry.
        QVERIFY(p.settings.isProgressive());
        QCOMPARE(p.settings.getCompressionMode(), JPEGSettings::BASELINE);

        // A path without "/" is shown whole; an extended progressive entry
        // shows its box checked.
        JPEGSettings progressive = baselineEntry();
        progressive.setCompressionMode(JPEGSettings::EXTENDED);
        progressive.setProgressiveMode(true);
        Panel q(QStringLiteral("b.png"), progressive);
        QCOMPARE(q.find<QLabel>("fileLabel")->text(), QStringLiteral("b.png"));
        QVERIFY(q.find<QRadioButton>("extendedRadio")->isChecked());
        QVERIFY(q.find<QCheckBox>("progressiveCheck")->isChecked());
        QVERIFY(q.find<QCheckBox>("progressiveCheck")->isEnabled());
    }

    // Every edit recompresses at once: figures are never shown or reported
    // beside settings that did not produce them.
    void controlsEditTheEntryAndRecompressAtOnce()
    {
        ScratchDir dir;
        const QString picture = dir.file("a.png");
        QVERIFY(TestPictures::write(picture, 48, 32));
        JPEGSettings entry = baselineEntry();
        entry.setProgressiveMode(true);
        Panel p(picture, entry);
        QSignalSpy changed(p.widget.get(), &ResultWidget::resultChanged);
        p.widget->show();
        QVERIFY(QTest::qWaitForWindowExposed(p.widget.get()));

        // Extended enables "Progressive" without touching the flag.
        QTest::mouseClick(p.find<QRadioButton>("extendedRadio"), Qt::LeftButton);
        QCOMPARE(p.settings.getCompressionMode(), JPEGSettings::EXTENDED);
        QVERIFY(p.find<QCheckBox>("progressiveCheck")->isEnabled());
        QVERIFY(!p.find<QCheckBox>("progressiveCheck")->isChecked());
        QVERIFY(p.settings.isProgressive());
        QVERIFY(figuresMatchEntry(p.stat, p.settings));
        QCOMPARE(changed.count(), 1);
        p.find<QCheckBox>("progressiveCheck")->click();
        p.find<QCheckBox>("progressiveCheck")->click();
        QVERIFY(!p.settings.isProgressive());
        QTest::mouseClick(p.find<QRadioButton>("baselineRadio"), Qt::LeftButton);
        QCOMPARE(p.settings.getCompressionMode(), JPEGSettings::BASELINE);
        QVERIFY(!p.find<QCheckBox>("progressiveCheck")->isEnabled());

        // "Auto" swaps what the encoder will use.
        auto* autoCheck = p.find<QCheckBox>("autoCheck");
        autoCheck->click();
        QVERIFY(p.settings.isAutoQualityEnabled());
        QVERIFY(p.find<QSpinBox>("qualitySpin")->isEnabled());
        QVERIFY(!p.find<QPushButton>("quantizationButton")->isEnabled());
        QVERIFY(!p.find<QPushButton>("downsamplingButton")->isEnabled());
        QVERIFY(!p.find<QComboBox>("dctCombo")->isEnabled());
        p.find<QSpinBox>("qualitySpin")->setValue(33);
        QCOMPARE(p.settings.getQuality(), 33);
        QVERIFY(figuresMatchEntry(p.stat, p.settings));
        autoCheck->click();
        QVERIFY(!p.settings.isAutoQualityEnabled());
        QVERIFY(p.find<QSpinBox>("qualitySpin")->isEnabled());
        QVERIFY(p.find<QPushButton>("quantizationButton")->isEnabled());
        QVERIFY(p.find<QComboBox>("dctCombo")->isEnabled());

        auto* combo = p.find<QComboBox>("dctCombo");
        combo->setFocus();
        QTest::keyClick(combo, Qt::Key_Down);
        QCOMPARE(p.settings.getDCTMethod(), JPEGSettings::FAST);
        p.find<QSpinBox>("smoothingSpin")->setValue(12);
        QCOMPARE(p.settings.getSmoothing(), 12);
        p.find<QCheckBox>("huffmanCheck")->click();
        QVERIFY(p.settings.getOptimizeHuffman());
        p.find<QCheckBox>("grayscaleCheck")->click();
        QVERIFY(p.settings.getGrayscaleOutput());
        QVERIFY(figuresMatchEntry(p.stat, p.settings));
        QCOMPARE(p.figure("crLabel"), QString::number(p.stat.compressionRate, 'g', 6));

        // A name the box does not list changes nothing.
        const int edits = changed.count();
        p.widget->setDCTMethod(QStringLiteral("other"));
        QCOMPARE(p.settings.getDCTMethod(), JPEGSettings::FAST);
        // Nothing changed, nothing recompressed.
        QCOMPARE(changed.count(), edits);
        QVERIFY(!p.widget->isBusy());
    }

    // Without automatic quality the quality scales the checked custom
    // tables, so its box stays usable and an edit changes the JPEG; only
    // with no written slot checked is it out of use.
    void qualityScalesTheCustomTables()
    {
        ScratchDir dir;
        const QString picture = dir.file("a.png");
        QVERIFY(TestPictures::write(picture, 48, 32));
        Panel p(picture, baselineEntry());
        auto* spin = p.find<QSpinBox>("qualitySpin");
        QVERIFY(spin->isEnabled());
        spin->setValue(20);
        QCOMPARE(p.settings.getQuality(), 20);
        QVERIFY(figuresMatchEntry(p.stat, p.settings));
        const double coarse = p.stat.compressionRate;
        spin->setValue(90);
        QVERIFY(figuresMatchEntry(p.stat, p.settings));
        QVERIFY(p.stat.compressionRate < coarse);

        JPEGSettings unchecked = baselineEntry();
        unchecked.getCurrentQuantizationTables()[0] = false;
        unchecked.getCurrentQuantizationTables()[1] = false;
        Panel q(picture, unchecked);
        QVERIFY(!q.find<QSpinBox>("qualitySpin")->isEnabled());
        q.find<QCheckBox>("autoCheck")->click();
        QVERIFY(q.find<QSpinBox>("qualitySpin")->isEnabled());
    }

    void showRecompressesUnderTheEditedEntry()
    {
        ScratchDir dir;
        const QString picture = dir.file("a.png");
        QVERIFY(TestPictures::write(picture, 48, 32));
        Panel p(picture, baselineEntry());
        ViewerCloser closer;

        // The edit alone brings figures of the edited settings.
        p.widget->setDCTMethod(QStringLiteral("fast"));
        QByteArray row = Report::row(p.settings, p.stat);
        QVERIFY(row.startsWith("Baseline\tfast\t"));
        QVERIFY(!row.contains("10.500000"));
        QVERIFY(figuresMatchEntry(p.stat, p.settings));

        p.find<QPushButton>("showButton")->click();
        QCOMPARE(closer.opened, 1);
        QCOMPARE(closer.parent, p.widget.get());
        QVERIFY(closer.modal_);
        QVERIFY(!p.widget->isBusy());

        // The figures are those of a compression under the entry as edited.
        Image source(QFile::encodeName(picture).toStdString());
        const std::unique_ptr<CompressionResult> expected = freshCompression(p.settings, source);
        QVERIFY(expected);
        QCOMPARE(p.stat.compressionRate, expected->getCompressionRate());
        QCOMPARE(p.stat.compressionPercentage, expected->getCompressionPercentage());
        QCOMPARE(p.stat.bitRate, expected->getBitRate());
        QCOMPARE(p.stat.mse, expected->getMSE());
        QCOMPARE(p.stat.fileName, picture);
        QCOMPARE(p.figure("crLabel"), QString::number(expected->getCompressionRate(), 'g', 6));
        QCOMPARE(p.figure("mseLabel"), QString::number(expected->getMSE(), 'g', 6));
        QCOMPARE(p.stat.ssim, expected->getSSIM());
        QCOMPARE(p.figure("psnrLabel"), QString::number(expected->getPSNR(), 'f', 2) + " dB");
        QCOMPARE(p.figure("ssimLabel"), QString::number(expected->getSSIM(), 'f', 4));
        row = Report::row(p.settings, p.stat);
        QVERIFY(!row.contains("10.500000"));

        // Show again without edits: the same figures.
        const ResultStat first = p.stat;
        p.find<QPushButton>("showButton")->click();
        QCOMPARE(closer.opened, 2);
        QCOMPARE(p.stat.compressionRate, first.compressionRate);
        QCOMPARE(p.stat.mse, first.mse);
        // The shown compression keeps its JPEG for the viewer's "Save as";
        // nothing is written to the working folder.
        QVERIFY(!QFile::exists(dir.file("tmp.bin")));
    }

    void showFailuresKeepTheFiguresAndOpenNoViewer()
    {
        ScratchDir dir;
        const QString picture = dir.file("gone.png");
        QVERIFY(TestPictures::write(picture, 16, 16));
        Panel p(picture, baselineEntry());
        ViewerCloser closer;

        // The source no longer loads.
        QVERIFY(QFile::remove(picture));
        {
            BoxCatcher catcher;
            p.find<QPushButton>("showButton")->click();
            QCOMPARE(catcher.record.count, 1);
            QCOMPARE(catcher.record.title, QStringLiteral("Error"));
            QCOMPARE(catcher.record.icon, QMessageBox::Critical);
            QVERIFY(
                catcher.record.text.startsWith(QStringLiteral("Couldn't load the picture<br>")));
            QVERIFY(catcher.record.text.contains(picture));
        }

        // An edit that cannot be compressed is told and undone: the entry
        // and the controls are back beside the figures they belong to.
        {
            BoxCatcher catcher;
            p.find<QSpinBox>("smoothingSpin")->setValue(40);
            QCOMPARE(catcher.record.count, 1);
            QVERIFY(catcher.record.text.contains(QStringLiteral("back as they were")));
            QCOMPARE(p.settings.getSmoothing(), 0);
            QCOMPARE(p.find<QSpinBox>("smoothingSpin")->value(), 0);
            QVERIFY(p.find<QRadioButton>("baselineRadio")->isChecked());
        }

        // The compression fails: the library refuses the sampling factors.
        QVERIFY(TestPictures::write(picture, 16, 16));
        p.settings.downsampling[0] = {3, 3};
        p.settings.downsampling[1] = {1, 1};
        {
            BoxCatcher catcher;
            p.find<QPushButton>("showButton")->click();
            QCOMPARE(catcher.record.count, 1);
            QVERIFY(catcher.record.text.startsWith(
                QStringLiteral("Couldn't compress the picture<br>")));
            QVERIFY2(catcher.record.text.contains(QStringLiteral("sampling"), Qt::CaseInsensitive),
                     qPrintable(catcher.record.text));
        }

        QCOMPARE(closer.opened, 0);
        QCOMPARE(p.stat.compressionRate, 10.5);
        QCOMPARE(p.figure("crLabel"), QStringLiteral("10.5"));
        QVERIFY(!p.widget->isBusy());
    }

    void tableDialogsEditTheEntry()
    {
        ScratchDir dir;
        const QString picture = dir.file("a.png");
        QVERIFY(TestPictures::write(picture, 24, 24));
        Panel p(picture, baselineEntry());

        // The quantization editor: a fresh modal child of the panel on its
        // entry; "Ok" stores the slots in use.
        QPointer<QuantizationWindow> quantization;
        bool wasChild = false;
        {
            ModalWatcher watcher([&](QWidget* modal) {
                quantization = qobject_cast<QuantizationWindow*>(modal);
                if (!quantization)
                    return;
                wasChild = quantization->parentWidget() == p.widget.get();
                if (quantization->getSettings() != &p.settings)
                    return quantization->reject();
                quantization->findChild<QCheckBox*>(QStringLiteral("tableCheck1"))->click();
                quantization->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
            });
            p.find<QPushButton>("quantizationButton")->click();
        }
        QVERIFY(wasChild);
        QVERIFY(quantization.isNull());
        QVERIFY(p.settings.getCurrentQuantizationTables()[0]);
        QVERIFY(!p.settings.getCurrentQuantizationTables()[1]);

        // The down-sampling dialog, likewise.
        QPointer<DownsamplingWindow> downsampling;
        wasChild = false;
        {
            ModalWatcher watcher([&](QWidget* modal) {
                downsampling = qobject_cast<DownsamplingWindow*>(modal);
                if (!downsampling)
                    return;
                wasChild = downsampling->parentWidget() == p.widget.get();
                if (downsampling->getSettings() != &p.settings)
                    return downsampling->reject();
                downsampling->findChild<QRadioButton*>(QStringLiteral("horizontal_0_3"))->click();
                downsampling->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
            });
            p.find<QPushButton>("downsamplingButton")->click();
        }
        QVERIFY(wasChild);
        QVERIFY(downsampling.isNull());
        QCOMPARE(p.settings.downsampling[0].horizontal, 3);
        QCOMPARE(p.settings.downsampling[0].vertical, 1);
        QVERIFY(!p.widget->isBusy());
        // Both edits were compressed.
        QVERIFY(figuresMatchEntry(p.stat, p.settings));
    }
};

QTEST_MAIN(TestResultWidget)
#include "tst_resultwidget.moc"
