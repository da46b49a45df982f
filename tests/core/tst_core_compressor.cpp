// SPDX-License-Identifier: GPL-3.0-or-later
#include "CompressionResult.h"
#include "FileWrite.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "JpegInspect.h"
#include "TestPictures.h"

#include <FreeImage.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <atomic>
#include <memory>
#include <sys/stat.h>
#include <thread>

namespace {

using TestPictures::encoded;

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Compresses `image` under `settings` and returns the JPEG's bytes.
using TestPictures::jpegOf;

JpegInspect compress(Image& image, const JPEGSettings& settings)
{
    const QByteArray jpeg = jpegOf(image, settings);
    return jpeg.isEmpty() ? JpegInspect() : JpegInspect::parse(jpeg);
}

unsigned int flat[64];

} // namespace

class TestCompressor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Image::initImage();
        for (unsigned int& v : flat)
            v = 300;
    }

    void rowsOfEveryWidthEncode_data()
    {
        QTest::addColumn<int>("width");
        QTest::newRow("one pixel, one fill byte") << 1;
        QTest::newRow("width*3 multiple of four") << 4;
        QTest::newRow("odd width") << 13;
    }

    void rowsOfEveryWidthEncode()
    {
        QFETCH(int, width);
        ScratchDir dir;
        QVERIFY(TestPictures::write(dir.file("p.png"), width, 9));
        Image image(encoded(dir.file("p.png")));
        JPEGCompressor compressor;
        compressor.setImage(&image);
        std::unique_ptr<CompressionResult> result(compressor.compressImage());
        QVERIFY(result);
        QCOMPARE(result->getCompressedImage()->getWidth(), unsigned(width));
        QCOMPARE(result->getCompressedImage()->getHeight(), 9u);
        QCOMPARE(qint64(result->getCompressedImage()->getImageSize()),
                 qint64(result->getCompressedBytes().size()));
        QCOMPARE(result->getCompressedSize(), qint64(result->getCompressedBytes().size()));
        const JpegInspect info = JpegInspect::parse(result->getCompressedBytes());
        QVERIFY2(info.valid, qPrintable(info.problem));
        QCOMPARE(info.width, width);
        // The rows go in top first and in red-green-blue order: the decoded
        // corners keep the generator's red (x) and green (y) gradients.
        const Image* decoded = result->getCompressedImage();
        const uchar* topLeft = decoded->getRGB32Buffer();
        const uchar* bottomLeft = topLeft + std::size_t(8) * width * 4;
        QVERIFY2(topLeft[1] < 40 && bottomLeft[1] > 215, "rows out of order");
        if (width > 1)
            QVERIFY2(topLeft[2] < 60 && topLeft[4 * (width - 1) + 2] > 195, "channels swapped");
    }

    void baselineClipsTablesExtendedKeepsThem()
    {
        ScratchDir dir;
        QVERIFY(TestPictures::write(dir.file("p.png"), 16, 16));
        Image image(encoded(dir.file("p.png")));
        JPEGSettings settings;
        settings.qtables[0] = QuantizationTable(flat);
        settings.getCurrentQuantizationTables()[0] = true;
        settings.setQuality(50); // scale 100 %

        const JpegInspect extended = compress(image, settings);
        QVERIFY2(extended.valid, qPrintable(extended.problem));
        QCOMPARE(extended.sofMarker, 0xC1);
        QCOMPARE(extended.tables.at(0).precision, 1);
        QCOMPARE(extended.tables.at(0).natural[10], 300);

        settings.setCompressionMode(JPEGSettings::BASELINE);
        const JpegInspect baseline = compress(image, settings);
        QCOMPARE(baseline.sofMarker, 0xC0);
        QCOMPARE(baseline.tables.at(0).precision, 0);
        QCOMPARE(baseline.tables.at(0).natural[10], 255);

        // Quality 25 doubles the table: 2 * 4 = 8 for a table of 4s.
        unsigned int fours[64];
        std::fill(fours, fours + 64, 4u);
        settings.qtables[1] = QuantizationTable(fours);
        settings.getCurrentQuantizationTables()[1] = true;
        settings.setQuality(25);
        const JpegInspect scaled = compress(image, settings);
        QCOMPARE(scaled.tables.at(1).natural[0], 8);
    }

    void progressionAndColourSpace()
    {
        ScratchDir dir;
        QVERIFY(TestPictures::write(dir.file("p.png"), 24, 16));
        Image image(encoded(dir.file("p.png")));
        JPEGSettings settings;
        settings.setProgressiveMode(true);

        const JpegInspect progressive = compress(image, settings);
        QCOMPARE(progressive.sofMarker, 0xC2);
        QVERIFY(progressive.scans > 1);
        QCOMPARE(int(progressive.components.size()), 3);

        settings.setCompressionMode(JPEGSettings::BASELINE);
        const JpegInspect baseline = compress(image, settings);
        QCOMPARE(baseline.sofMarker, 0xC0);
        QCOMPARE(baseline.scans, 1);

        // Grey-scale is settled before the scan script is made.
        settings.setCompressionMode(JPEGSettings::EXTENDED);
        settings.setGrayscaleOutput(true);
        const JpegInspect grey = compress(image, settings);
        QCOMPARE(grey.sofMarker, 0xC2);
        QCOMPARE(int(grey.components.size()), 1);
        QVERIFY(grey.scans > 1);
    }

    void qualityActsOnlyWhereItShould()
    {
        ScratchDir dir;
        QVERIFY(TestPictures::write(dir.file("p.png"), 16, 16));
        Image image(encoded(dir.file("p.png")));
        auto bytesFor = [&image](const JPEGSettings& s) { return jpegOf(image, s); };

        // Manual quality without custom tables: the library's quality-75 tables.
        JPEGSettings manual;
        manual.setQuality(10);
        const QByteArray low = bytesFor(manual);
        manual.setQuality(90);
        QCOMPARE(bytesFor(manual), low);

        // Automatic quality ignores tables marked current.
        JPEGSettings automatic;
        automatic.setAutoQualityEnabled(true);
        automatic.setQuality(60);
        const QByteArray plain = bytesFor(automatic);
        automatic.qtables[0] = QuantizationTable(flat);
        automatic.getCurrentQuantizationTables()[0] = true;
        automatic.downsampling[0] = {2, 2};
        QCOMPARE(bytesFor(automatic), plain);
        automatic.setQuality(61);
        QVERIFY(bytesFor(automatic) != plain);
    }

    void samplingFactorsReachTheFrame()
    {
        ScratchDir dir;
        QVERIFY(TestPictures::write(dir.file("p.png"), 32, 32));
        Image image(encoded(dir.file("p.png")));
        JPEGSettings settings;
        settings.downsampling[0] = {2, 1}; // vertical 2, horizontal 1
        settings.downsampling[1] = {1, 1};
        const JpegInspect info = compress(image, settings);
        QVERIFY(info.valid);
        QCOMPARE(info.components[0].v, 2);
        QCOMPARE(info.components[0].h, 1);
        QCOMPARE(info.components[1].v, 1);
    }

    void libraryErrorsComeBackAsNoResult_data()
    {
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("cb");
        QTest::newRow("3x3 with 2x2") << 3 << 2;
        QTest::newRow("eleven blocks per MCU") << 3 << 1;
    }

    void libraryErrorsComeBackAsNoResult()
    {
        QFETCH(int, y);
        QFETCH(int, cb);
        ScratchDir dir;
        QVERIFY(TestPictures::write(dir.file("p.png"), 16, 16));
        Image image(encoded(dir.file("p.png")));
        JPEGCompressor compressor;
        compressor.setImage(&image);
        compressor.getSettings()->downsampling[0] = {y, y};
        compressor.getSettings()->downsampling[1] = {cb, cb};
        compressor.getSettings()->downsampling[2] = {1, 1};
        QVERIFY(!compressor.compressImage());
        QVERIFY(compressor.lastError().contains("sampling", Qt::CaseInsensitive));

        // The same compressor goes on working.
        compressor.getSettings()->downsampling[0] = {2, 2};
        compressor.getSettings()->downsampling[1] = {1, 1};
        std::unique_ptr<CompressionResult> result(compressor.compressImage());
        QVERIFY(result);
        QVERIFY(compressor.lastError().isEmpty());
    }

    // Compressions work in memory: whatever is called tmp.bin in the working
    // folder (a link to a file, a FIFO nobody writes to, a folder) is neither
    // followed, opened nor replaced, and no file appears there.
    void theWorkingFolderIsLeftAlone()
    {
        ScratchDir dir;
        QVERIFY(TestPictures::write(dir.file("p.png"), 16, 16));
        Image image(encoded(dir.file("p.png")));
        JPEGCompressor compressor;
        compressor.setImage(&image);
        QDir folder(dir.path());
        const QStringList before = folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        std::unique_ptr<CompressionResult> plain(compressor.compressImage());
        QVERIFY(plain);
        QCOMPARE(folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);

        QVERIFY(QFile::copy(dir.file("p.png"), dir.file("victim.png")));
        const QByteArray victim = fileBytes(dir.file("victim.png"));
        QVERIFY(QFile::link(dir.file("victim.png"), dir.file("tmp.bin")));
        std::unique_ptr<CompressionResult> linked(compressor.compressImage());
        QVERIFY(linked);
        QCOMPARE(fileBytes(dir.file("victim.png")), victim);
        QVERIFY(QFile::remove(dir.file("tmp.bin")));

        // A FIFO that a compression opened would block it for good.
        QCOMPARE(::mkfifo(QFile::encodeName(dir.file("tmp.bin")).constData(), 0600), 0);
        std::unique_ptr<CompressionResult> fifo(compressor.compressImage());
        QVERIFY(fifo);
        QVERIFY(QFile::remove(dir.file("tmp.bin")));
        QVERIFY(folder.mkdir("tmp.bin"));
        std::unique_ptr<CompressionResult> blocked(compressor.compressImage());
        QVERIFY(blocked);
        QCOMPARE(blocked->getCompressedBytes(), plain->getCompressedBytes());

        Image missing(encoded(dir.file("none.png")));
        compressor.setImage(&missing);
        QVERIFY(!compressor.compressImage());
        QVERIFY(!compressor.lastError().isEmpty());
    }

    // Two compressors in one folder, as two programs or two workers would
    // run them: each result's JPEG and figures belong to its own picture,
    // whatever the other compressor did in between or does at the same time
    // on another thread, and a saved result holds its own bytes.
    void compressorsKeepToTheirOwnPictures()
    {
        ScratchDir dir;
        QVERIFY(TestPictures::write(dir.file("a.png"), 48, 32));
        QVERIFY(TestPictures::write(dir.file("b.png"), 20, 40, TestPictures::Kind::Grey));
        Image a(encoded(dir.file("a.png")));
        Image b(encoded(dir.file("b.png")));
        JPEGCompressor first, second;
        first.setImage(&a);
        second.setImage(&b);
        second.getSettings()->setAutoQualityEnabled(true);
        second.getSettings()->setQuality(90);
        const JPEGSettings firstSettings = *first.getSettings();
        const JPEGSettings secondSettings = *second.getSettings();
        const QByteArray jpegA = jpegOf(a, firstSettings);
        const QByteArray jpegB = jpegOf(b, secondSettings);
        QVERIFY(!jpegA.isEmpty() && !jpegB.isEmpty() && jpegA != jpegB);

        auto belongs = [](const CompressionResult* r, const Image& source, const QByteArray& jpeg) {
            return r && r->getSourceImage() == &source && r->getCompressedBytes() == jpeg &&
                   r->getCompressedSize() == jpeg.size() &&
                   r->getCompressedImage()->getWidth() == source.getWidth() &&
                   r->getCompressedImage()->getHeight() == source.getHeight() &&
                   r->getCompressionRate() == double(source.getImageSize()) / jpeg.size();
        };
        std::unique_ptr<CompressionResult> ra(first.compressImage());
        std::unique_ptr<CompressionResult> rb(second.compressImage());
        std::unique_ptr<CompressionResult> ra2(first.compressImage());
        QVERIFY(belongs(ra.get(), a, jpegA));
        QVERIFY(belongs(rb.get(), b, jpegB));
        QVERIFY(belongs(ra2.get(), a, jpegA));
        QCOMPARE(ra2->getMSE(), ra->getMSE());

        QVERIFY(writeFileReplacing(dir.file("a.jpg"), ra->getCompressedBytes()));
        QCOMPARE(fileBytes(dir.file("a.jpg")), jpegA);

        // The same on two threads at once.
        std::atomic<int> wrong{0};
        auto work = [&wrong, &belongs](JPEGCompressor* compressor, const QByteArray* jpeg) {
            for (int i = 0; i < 40; ++i) {
                std::unique_ptr<CompressionResult> r(compressor->compressImage());
                if (!belongs(r.get(), *compressor->getImage(), *jpeg))
                    ++wrong;
            }
        };
        std::thread one(work, &first, &jpegA);
        std::thread two(work, &second, &jpegB);
        one.join();
        two.join();
        QCOMPARE(wrong.load(), 0);
    }

    void earlierResultsKeepTheirPictures()
    {
        ScratchDir dir;
        QVERIFY(TestPictures::write(dir.file("p.png"), 16, 16));
        Image image(encoded(dir.file("p.png")));
        JPEGCompressor compressor;
        compressor.setImage(&image);
        compressor.getSettings()->setQuality(5);
        compressor.getSettings()->setAutoQualityEnabled(true);
        std::unique_ptr<CompressionResult> first(compressor.compressImage());
        const QByteArray firstPixels(
            reinterpret_cast<const char*>(first->getCompressedImage()->getRGB32Buffer()),
            16 * 16 * 4);
        compressor.getSettings()->setQuality(100);
        std::unique_ptr<CompressionResult> second(compressor.compressImage());
        QVERIFY(second);
        QVERIFY(first->getBitRate() < second->getBitRate());
        QCOMPARE(
            QByteArray(reinterpret_cast<const char*>(first->getCompressedImage()->getRGB32Buffer()),
                       16 * 16 * 4),
            firstPixels);
        QCOMPARE(first->getSourceImage(), &image);
    }

    // The JPEG must be what the library writes for the same calls; a
    // stock command-line encoder fed the same pixels makes those calls for
    // these options.
    void matchesTheReferenceEncoderByteForByte_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("quality");
        QTest::addColumn<bool>("progressive");
        QTest::addColumn<bool>("optimize");
        QTest::addColumn<bool>("grey");
        QTest::addColumn<int>("smoothing");
        QTest::newRow("quality 95")
            << QStringList{"-quality", "95"} << 95 << false << false << false << 0;
        QTest::newRow("progressive 50")
            << QStringList{"-quality", "50", "-progressive"} << 50 << true << false << false << 0;
        QTest::newRow("optimized grey smooth")
            << QStringList{"-quality", "80", "-optimize", "-grayscale", "-smooth", "20"} << 80
            << false << true << true << 20;
    }

    void matchesTheReferenceEncoderByteForByte()
    {
        QFETCH(QStringList, options);
        QFETCH(int, quality);
        QFETCH(bool, progressive);
        QFETCH(bool, optimize);
        QFETCH(bool, grey);
        QFETCH(int, smoothing);
        const QString cjpeg = QStandardPaths::findExecutable("cjpeg");
        if (cjpeg.isEmpty())
            QSKIP("cjpeg is not installed");
        ScratchDir dir;
        QVERIFY(TestPictures::write(dir.file("p.png"), 37, 23));
        FIBITMAP* bitmap = FreeImage_Load(FIF_PNG, encoded(dir.file("p.png")).c_str(), 0);
        QVERIFY(FreeImage_Save(FIF_PPMRAW, bitmap, encoded(dir.file("p.ppm")).c_str(), 0));
        FreeImage_Unload(bitmap);

        QProcess process;
        process.start(cjpeg, options << "-outfile" << dir.file("ref.jpg") << dir.file("p.ppm"));
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 0);
        QFile reference(dir.file("ref.jpg"));
        QVERIFY(reference.open(QIODevice::ReadOnly));

        Image image(encoded(dir.file("p.png")));
        JPEGSettings settings;
        settings.setAutoQualityEnabled(true);
        settings.setQuality(quality);
        settings.setProgressiveMode(progressive);
        settings.setOptimizeHuffman(optimize);
        settings.setGrayscaleOutput(grey);
        settings.setSmoothing(smoothing);
        QCOMPARE(jpegOf(image, settings), reference.readAll());
    }
};

QTEST_GUILESS_MAIN(TestCompressor)
#include "tst_core_compressor.moc"
