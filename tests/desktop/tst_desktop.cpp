// SPDX-License-Identifier: GPL-3.0-or-later
// What makes the programs desktop applications: remembered state (round
// trip, damaged or foreign settings, reset), file dialogs that never start in
// the working folder, drops on every window that takes them, names that are
// not UTF-8, and open filters listing every readable type.

#include "BatchWindow.h"
#include "FileNames.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "PictureFormats.h"
#include "PictureViewer.h"
#include "Preferences.h"
#include "QuantizationChooser.h"
#include "QuantizationWindow.h"
#include "TestPictures.h"
#include "ToolWindow.h"

#include <QCheckBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

namespace {

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QByteArray numbers(int from, int count)
{
    QByteArray text;
    for (int k = 0; k < count; ++k)
        text += QByteArray::number(from + k) + ' ';
    return text + '\n';
}

// Drags `paths` over `target` and drops them; true when both were taken.
bool drop(QWidget* target, const QStringList& paths)
{
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &dropped);
    return dropped.isAccepted();
}

} // namespace

class TestDesktop : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir scratch;
    int round = 0;
    QString path(const QString& name) const { return scratch.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(scratch.isValid());
        // The windows find their icons and help pages in the run folder.
        QDir::setCurrent(qEnvironmentVariable("TESSERA_RUN_DIR", QDir::currentPath()));
        Image::initImage();
    }

    // Each test starts on a store of its own, so none sees another's state.
    void init()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           path(QStringLiteral("config%1").arg(++round)));
    }

    void rememberedStateRoundTripsAndResets()
    {
        QVERIFY(writeFile(path("luminance.txt"), numbers(1, 64) + numbers(101, 64)));
        QVERIFY(writeFile(path("pairs.txt"), "2 2 1 1\n1 1 1 1\n4 1 1 1\n"));
        {
            JPEGCompressor compressor;
            ToolWindow tool(compressor);
            tool.show();
            tool.findChild<QRadioButton*>("baselineRadio")->setChecked(true);
            tool.findChild<QSpinBox*>("qualitySpin")->setValue(40);
            tool.findChild<QSpinBox*>("smoothSpin")->setValue(7);
            tool.setDCTMethod(QStringLiteral("float"));
            tool.findChild<QCheckBox*>("grayscaleOutputCheck")->setChecked(true);
            tool.saveSettings();

            PictureViewer viewer(Variant::Interactive);
            viewer.rotate();
            viewer.saveSettings();

            BatchWindow batch(nullptr);
            batch.updateUI();
            batch.findChild<QCheckBox*>("extendedCheck")->setChecked(true);
            batch.findChild<QLineEdit*>("minQualityEdit")->setText("50");
            batch.findChild<QLineEdit*>("maxTableQualityEdit")->setText("30");
            batch.getQuantizationChooser()->setFileName(0, path("luminance.txt"));
            QVERIFY(batch.loadDownsamplingPairs(path("pairs.txt")));
            batch.saveSettings();
        }

        JPEGCompressor compressor;
        ToolWindow tool(compressor);
        tool.restoreSettings();
        const JPEGSettings* settings = compressor.getSettings();
        QCOMPARE(settings->getCompressionMode(), JPEGSettings::BASELINE);
        QCOMPARE(settings->getQuality(), 40);
        QCOMPARE(settings->getSmoothing(), 7);
        QCOMPARE(settings->getDCTMethod(), JPEGSettings::FLOAT);
        QVERIFY(settings->getGrayscaleOutput());

        PictureViewer viewer(Variant::Interactive);
        viewer.restoreSettings();
        QCOMPARE(viewer.findChild<QSplitter*>("splitter")->orientation(), Qt::Vertical);

        BatchWindow batch(nullptr);
        batch.updateUI();
        batch.restoreSettings();
        QVERIFY(batch.findChild<QCheckBox*>("extendedCheck")->isChecked());
        QVERIFY(batch.findChild<QCheckBox*>("progressiveCheck")->isEnabled());
        QCOMPARE(batch.findChild<QLineEdit*>("minQualityEdit")->text(), QStringLiteral("50"));
        QCOMPARE(batch.findChild<QLineEdit*>("maxTableQualityEdit")->text(), QStringLiteral("30"));
        QCOMPARE(batch.getBatchSettings()->luminanceTables.size(), std::size_t(2));
        QCOMPARE(batch.getBatchSettings()->luminanceTables[1][0], 101u);
        QCOMPARE(batch.getBatchSettings()->chrominanceTables.size(), std::size_t(1));
        QCOMPARE(batch.getBatchSettings()->downsamplingPairs.size(), std::size_t(3));

        // "Reset to defaults" shows the defaults and forgets the rest.
        tool.resetToDefaults();
        QCOMPARE(settings->getCompressionMode(), JPEGSettings::EXTENDED);
        QCOMPARE(settings->getQuality(), 95);
        QVERIFY(!settings->getGrayscaleOutput());
        batch.resetToDefaults();
        QVERIFY(!batch.findChild<QCheckBox*>("extendedCheck")->isChecked());
        QCOMPARE(batch.findChild<QLineEdit*>("minQualityEdit")->text(), QStringLiteral("95"));
        QCOMPARE(batch.getBatchSettings()->luminanceTables.size(), std::size_t(1));
        QCOMPARE(batch.getBatchSettings()->downsamplingPairs.size(), std::size_t(1));
        QVERIFY(Preferences::store()->allKeys().isEmpty());
    }

    // A settings file that does not parse, or holds values of the wrong
    // kind, leaves every control at its default.
    void damagedOrForeignSettingsGiveDefaults_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe[\x01\x02\n=\n[[[\n\"\\\x00", 14);
        QTest::newRow("foreign") << QByteArray(
            "[tool]\nmode=7\nquality=abc\nsmoothing=-4\ndct=9\n"
            "[batch]\nform\\minQualityEdit=999\nform\\qualityStepEdit=x\n"
            "tableFile0=/no/such/file\npairFile=/dev/zero\n"
            "[windows]\ntool=@ByteArray(junk)\nbatch=12\n"
            "[viewer]\nzoom=1e300\nstacked=maybe-not\n");
    }
    void damagedOrForeignSettingsGiveDefaults()
    {
        QFETCH(QByteArray, contents);
        const QString file = Preferences::store()->fileName();
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        QVERIFY(writeFile(file, contents));

        JPEGCompressor compressor;
        ToolWindow tool(compressor);
        tool.restoreSettings();
        QCOMPARE(compressor.getSettings()->getCompressionMode(), JPEGSettings::EXTENDED);
        QCOMPARE(compressor.getSettings()->getQuality(), 95);
        QCOMPARE(compressor.getSettings()->getSmoothing(), 0);
        QCOMPARE(compressor.getSettings()->getDCTMethod(), JPEGSettings::INT);

        BatchWindow batch(nullptr);
        batch.updateUI();
        batch.restoreSettings();
        QCOMPARE(batch.findChild<QLineEdit*>("minQualityEdit")->text(), QStringLiteral("95"));
        QCOMPARE(batch.findChild<QLineEdit*>("qualityStepEdit")->text(), QStringLiteral("0"));
        QCOMPARE(batch.getBatchSettings()->luminanceTables.size(), std::size_t(1));
        QCOMPARE(batch.getBatchSettings()->downsamplingPairs.size(), std::size_t(1));

        PictureViewer viewer(Variant::Interactive);
        viewer.restoreSettings();
        QVERIFY(TestPictures::write(path("p.png"), 8, 8));
        QVERIFY(tool.openImageFile(path("p.png")));
        viewer.updateImage(compressor.getImage());
        QCOMPARE(viewer.findChild<QLabel*>("zoomLabel")->text(), QStringLiteral("100%"));
        viewer.updateImage(nullptr);
    }

    void fileDialogsStartInTheLastFolderUsed()
    {
        const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        const QString expected = QFileInfo(pictures).isDir() ? pictures : QDir::homePath();
        QCOMPARE(Preferences::startFolder(Preferences::Folder::Tables), expected);

        QVERIFY(QDir().mkpath(path("tables")));
        Preferences::rememberFolder(Preferences::Folder::Tables, path("tables/t.txt"));
        QCOMPARE(Preferences::startFolder(Preferences::Folder::Tables), path("tables"));
        QCOMPARE(Preferences::startFolder(Preferences::Folder::Reports), expected);
        // A folder that has gone is not offered.
        QVERIFY(QDir(path("tables")).removeRecursively());
        QCOMPARE(Preferences::startFolder(Preferences::Folder::Tables), expected);
    }

    void dropsOpenOrAddFiles()
    {
        QVERIFY(QDir().mkpath(path("drop/sub")));
        QVERIFY(TestPictures::write(path("drop/a.png"), 8, 8));
        QVERIFY(TestPictures::write(path("drop/sub/b.PNG"), 8, 8));
        QVERIFY(writeFile(path("drop/notes.txt"), "not a picture"));

        // tessera: a picture dropped on either window opens.
        JPEGCompressor compressor;
        ToolWindow tool(compressor);
        PictureViewer viewer(Variant::Interactive);
        connect(&viewer, &PictureViewer::pictureDropped, &tool, &ToolWindow::openImageFile);
        QVERIFY(drop(&tool, {path("drop/a.png")}));
        QVERIFY(compressor.getImage());
        QVERIFY(tool.findChild<QPushButton*>("compressButton")->isEnabled());
        Image* first = compressor.getImage();
        QVERIFY(drop(&viewer, {path("drop/sub/b.PNG")}));
        QVERIFY(compressor.getImage() != first);
        QVERIFY(!drop(&tool, {path("drop/a.png"), path("drop/sub/b.PNG")}));

        // tessera-batch: pictures and folders are added to the list.
        BatchWindow batch(nullptr);
        batch.setFiles({path("drop/a.png")});
        QVERIFY(drop(&batch, {path("drop")}));
        QCOMPARE(batch.getFiles(), QStringList({path("drop/a.png"), path("drop/sub/b.PNG")}));

        // The quantization editor loads a dropped table file.
        QVERIFY(writeFile(path("table.txt"), numbers(11, 64)));
        QuantizationWindow editor(*compressor.getSettings(), nullptr);
        editor.updateUI();
        QVERIFY(drop(&editor, {path("table.txt")}));
        QVERIFY(editor.saveTableToFile(path("saved.txt")));
        QFile saved(path("saved.txt"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QList<QByteArray> values = saved.readAll().replace('\t', ' ').simplified().split(' ');
        QCOMPARE(values.size(), 64);
        QCOMPARE(values.first(), QByteArray("11"));
        QCOMPARE(values.last(), QByteArray("74"));
    }

    // A name whose bytes are not UTF-8 opens from the command line.
    void nonUtf8NameOpens()
    {
        const QByteArray raw = QFile::encodeName(scratch.path()) + "/pic\xe9\xb1.png";
        QVERIFY(TestPictures::write(path("plain.png"), 8, 8));
        QVERIFY(::rename(QFile::encodeName(path("plain.png")).constData(), raw.constData()) == 0);

        char program[] = "tessera";
        QByteArray argument = raw;
        char* argv[] = {program, argument.data(), nullptr};
        const QStringList names = FileNames::fromArguments({QFile::decodeName(raw)}, 2, argv);
        QCOMPARE(names.size(), 1);
        QVERIFY2(QFileInfo(names.first()).isFile(), qPrintable(names.first()));
        // Shown as Qt's conversion spells it.
        QCOMPARE(QFileInfo(names.first()).fileName(), QFileInfo(QFile::decodeName(raw)).fileName());

        JPEGCompressor compressor;
        ToolWindow tool(compressor);
        QVERIFY(tool.openImageFile(names.first()));
        // The scratch folder cannot name the file to remove it.
        QVERIFY(::unlink(raw.constData()) == 0);
        // A UTF-8 name is kept as it is.
        QCOMPARE(FileNames::fromArgument(QFile::encodeName(path("ç.png"))), path("ç.png"));
    }

    void openFilterListsEveryReadableType()
    {
        const QString filter = PictureFormats::openFilter();
        for (const char* pattern : {"*.bmp", "*.BMP", "*.tif", "*.TIF", "*.tga", "*.webp", "*.jxr",
                                    "*.exr", "*.j2k", "*.JPG", "*.ppm", "*.psd"})
            QVERIFY2(filter.contains(QLatin1String(pattern) + QLatin1Char(' ')) ||
                         filter.contains(QLatin1String(pattern) + QLatin1Char(')')),
                     pattern);
        QVERIFY(filter.startsWith(QStringLiteral("Images (")));
        QVERIFY(filter.endsWith(QStringLiteral(";;All files (*)")));
        QVERIFY(PictureFormats::hasPictureExtension(QStringLiteral("x/y.JpEg")));
        QVERIFY(!PictureFormats::hasPictureExtension(QStringLiteral("notes.txt")));
    }
};

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
