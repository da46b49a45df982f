#include "CompressionResult.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "TestPictures.h"

#include <QFile>
#include <QTest>

#include <memory>

namespace {

std::string encoded(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

bool padTo(const QString& path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::Append) || file.size() > size)
        return false;
    return file.write(QByteArray(int(size - file.size()), '\0')) >= 0;
}

QList<int> pixel(const unsigned char* buffer, int index = 0)
{
    const unsigned char* p = buffer + 4 * index;
    return {p[0], p[1], p[2], p[3]};
}

bool allWhite(const unsigned char* buffer, int pixels)
{
    for (int i = 0; i < pixels * 4; ++i) {
        if (buffer[i] != 255)
            return false;
    }
    return true;
}

} // namespace

class TestResult : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Image::initImage(); }

    void figuresFromFileSizes()
    {
        // Decoders stop at the end of their data, so padding sets the sizes:
        // 30 000 bytes compressed to 3 000 at 100 x 100 pixels.
        ScratchDir dir;
        QVERIFY(TestPictures::write(dir.file("source.png"), 100, 100));
        QVERIFY(padTo(dir.file("source.png"), 30000));
        QVERIFY(TestPictures::writeSolid(dir.file("small.jpg"), 100, 100, 90, 120, 150, "jpg"));
        QVERIFY(padTo(dir.file("small.jpg"), 3000));
        Image source(encoded(dir.file("source.png")));
        QVERIFY(source.getRGB24Buffer());
        CompressionResult result(&source, new Image(encoded(dir.file("small.jpg"))),
                                 JPEGSettings());
        QCOMPARE(result.getCompressionRate(), 10.0);
        QCOMPARE(result.getCompressionPercentage(), 90.0);
        QCOMPARE(result.getBitRate(), 2.4);
        QCOMPARE(result.getFileName(), dir.file("source.png"));
        QVERIFY(result.getMSE() > 0);

        // A larger output than input gives a rate below 1 and a negative percentage.
        CompressionResult worse(result.getCompressedImage(),
                                new Image(encoded(dir.file("source.png"))), JPEGSettings());
        QCOMPARE(worse.getCompressionRate(), 0.1);
        QVERIFY(worse.getCompressionPercentage() < 0);
        const ResultStat stat(worse);
        QCOMPARE(stat.compressionRate, 0.1);
        QCOMPARE(stat.fileName, dir.file("small.jpg"));
    }

    void componentsOfKnownColours_data()
    {
        QTest::addColumn<int>("r");
        QTest::addColumn<int>("g");
        QTest::addColumn<int>("b");
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("cb");
        QTest::addColumn<int>("cr");
        QTest::newRow("grey") << 128 << 128 << 128 << 128 << 127 << 127;
        QTest::newRow("white") << 255 << 255 << 255 << 255 << 127 << 127;
        QTest::newRow("blue") << 0 << 0 << 255 << 29 << 255 << 106;
        QTest::newRow("red") << 255 << 0 << 0 << 76 << 84 << 255;
        QTest::newRow("black") << 0 << 0 << 0 << 0 << 127 << 127;
    }

    void componentsOfKnownColours()
    {
        QFETCH(int, r);
        QFETCH(int, g);
        QFETCH(int, b);
        QFETCH(int, y);
        QFETCH(int, cb);
        QFETCH(int, cr);
        ScratchDir dir;
        QVERIFY(TestPictures::writeSolid(dir.file("c.png"), 3, 2, r, g, b));
        Image source(encoded(dir.file("c.png")));
        CompressionResult result(&source, new Image(encoded(dir.file("c.png"))), JPEGSettings());
        QCOMPARE(result.getChannels(), 3);
        QCOMPARE(pixel(result.getY_RGB32(), 5), QList<int>({y, y, y, 255}));
        QCOMPARE(pixel(result.getCB_RGB32(), 5), QList<int>({cb, cb, cb, 255}));
        QCOMPARE(pixel(result.getCR_RGB32(), 5), QList<int>({cr, cr, cr, 255}));
    }

    void identicalPicturesHaveNoError()
    {
        ScratchDir dir;
        QVERIFY(TestPictures::write(dir.file("a.png"), 9, 7));
        Image source(encoded(dir.file("a.png")));
        CompressionResult result(&source, new Image(encoded(dir.file("a.png"))), JPEGSettings());
        QCOMPARE(result.getMSE(), 0.0);
        QVERIFY(allWhite(result.getErrors(), 63));
        QVERIFY(allWhite(result.getColorDifference(), 63));
    }

    void mapsShowWhatChanged()
    {
        ScratchDir dir;
        QVERIFY(TestPictures::writeSolid(dir.file("a.png"), 2, 1, 100, 100, 100));
        QVERIFY(TestPictures::writeSolid(dir.file("b.png"), 2, 1, 103, 100, 96));
        Image source(encoded(dir.file("a.png")));
        CompressionResult result(&source, new Image(encoded(dir.file("b.png"))), JPEGSettings());
        // Per pixel 4 + 0 + 9 = 25 over three values.
        QCOMPARE(result.getMSE(), 2 * 25.0 / 6);
        QCOMPARE(pixel(result.getColorDifference()), QList<int>({251, 255, 252, 255}));
        QCOMPARE(pixel(result.getErrors(), 1), QList<int>({0, 0, 0, 255}));
    }

    void transparencyCountsInTheError()
    {
        // The same colours with and without alpha: only the fourth byte differs,
        // in the transparent left half (10 of 20 columns).
        ScratchDir dir;
        QVERIFY(TestPictures::write(dir.file("alpha.png"), 20, 4, TestPictures::Kind::Alpha));
        Image source(encoded(dir.file("alpha.png")));
        QVERIFY(TestPictures::write(dir.file("opaque.png"), 20, 4, TestPictures::Kind::Colour));
        CompressionResult result(&source, new Image(encoded(dir.file("opaque.png"))),
                                 JPEGSettings());
        QCOMPARE(result.getMSE(), 40 * 255.0 * 255.0 / (80 * 3));
        QCOMPARE(pixel(result.getColorDifference()), QList<int>({255, 255, 255, 0}));
        QVERIFY(allWhite(result.getErrors(), 80)); // colours unchanged
    }

    // The decoded scratch file is read with the accurate IDCT and smooth
    // upsampling, so the error measures the encoder rather than a fast decode.
    void errorOfTheSamplePictureAtQuality95()
    {
        ScratchDir dir;
        Image source(QFile::encodeName(TESSERA_SAMPLES_DIR "/coffee.png").toStdString());
        QVERIFY(source.getRGB24Buffer());
        JPEGCompressor compressor;
        compressor.setImage(&source);
        compressor.getSettings()->setAutoQualityEnabled(true);
        compressor.getSettings()->setQuality(95);
        std::unique_ptr<CompressionResult> result(compressor.compressImage());
        QVERIFY(result);
        qInfo() << "coffee.png at quality 95: mse" << result->getMSE() << "bpp"
                << result->getBitRate();
        QVERIFY2(result->getMSE() > 11 && result->getMSE() < 12.5, "decoder adds its own error");
    }

    void missingOrMismatchedPicturesGiveNoMaps()
    {
        ScratchDir dir;
        QVERIFY(TestPictures::write(dir.file("a.png"), 8, 8));
        QVERIFY(TestPictures::write(dir.file("b.png"), 8, 9));
        QFile garbage(dir.file("garbage.bin"));
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write(QByteArray(500, 'g'));
        garbage.close();
        Image source(encoded(dir.file("a.png")));

        // A decoded file without pixels counts as no decoded picture; its size
        // still gives the figures.
        CompressionResult undecoded(&source, new Image(encoded(dir.file("garbage.bin"))),
                                    JPEGSettings());
        QCOMPARE(undecoded.getChannels(), 0);
        QVERIFY(!undecoded.getY_RGB32());
        QVERIFY(!undecoded.getErrors());
        QVERIFY(!undecoded.getColorDifference());
        QCOMPARE(undecoded.getMSE(), 0.0);
        QCOMPARE(undecoded.getBitRate(), 500 * 8 / 64.0);

        CompressionResult mismatched(&source, new Image(encoded(dir.file("b.png"))),
                                     JPEGSettings());
        QVERIFY(mismatched.getY_RGB32());
        QVERIFY(!mismatched.getErrors());
        QCOMPARE(mismatched.getMSE(), 0.0);

        CompressionResult nothing(&source, nullptr, JPEGSettings());
        QCOMPARE(nothing.getChannels(), 0);
        QVERIFY(!nothing.getCR_RGB32());
    }
};

QTEST_GUILESS_MAIN(TestResult)
#include "tst_core_result.moc"
