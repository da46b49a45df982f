// SPDX-License-Identifier: GPL-3.0-or-later
#include "CompressionResult.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "QualityMetrics.h"
#include "TestPictures.h"

#include <QFile>
#include <QTest>

#include <cmath>
#include <limits>
#include <memory>

namespace {

constexpr double NA = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();

// Equal within 1e-4, NaN matching NaN and infinity matching infinity.
bool agrees(double actual, double expected)
{
    if (std::isnan(expected) || std::isinf(expected))
        return std::isnan(expected) ? std::isnan(actual) : actual == expected;
    return std::abs(actual - expected) < 1e-4;
}

using TestPictures::encoded;

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
        // The encoder's fixed-point conversion (checked with an independent
        // computation of the same arithmetic).
        QTest::newRow("grey") << 128 << 128 << 128 << 128 << 128 << 128;
        QTest::newRow("white") << 255 << 255 << 255 << 255 << 128 << 128;
        QTest::newRow("blue") << 0 << 0 << 255 << 29 << 255 << 107;
        QTest::newRow("red") << 255 << 0 << 0 << 76 << 85 << 255;
        QTest::newRow("black") << 0 << 0 << 0 << 0 << 128 << 128;
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

    // Expected values computed independently in double precision from the
    // same decoded pixels: SSIM by scikit-image (Gaussian weights, sigma 1.5,
    // population covariance, data range 255) on the Y planes, the rest from
    // the definitions. The grey picture's colour differences are exactly 0.
    void qualityFiguresAgreeWithReference_data()
    {
        QTest::addColumn<QString>("picture"); // a sample, or "kind WxH"
        QTest::addColumn<int>("quality");
        QTest::addColumn<QList<double>>("expected"); // PSNR, Y, Cb, Cr, SSIM, MS-SSIM
        QTest::newRow("odd size 37x23")
            << "colour 37x23" << 50
            << QList<double>{19.73200239, 35.85807243, 20.75121950, 30.77384902, 0.96525598, NA};
        QTest::newRow("10 wide: no SSIM")
            << "colour 10x40" << 50
            << QList<double>{19.94253713, 36.58973711, 20.99098068, 29.49108107, NA, NA};
        QTest::newRow("grey 181x190")
            << "grey 181x190" << 60
            << QList<double>{32.04422463, 32.04422463, INF, INF, 0.97077300, 0.99651887};
        QTest::newRow("identical")
            << "solid 64x48" << 90 << QList<double>{INF, INF, INF, INF, 1.0, NA};
        QTest::newRow("coffee q75")
            << "coffee.png" << 75 << QList<double>{32.43075612, 34.97167483, 38.93009807,
                                                   37.97648561, 0.94467161,  0.99462392};
        QTest::newRow("chelsea q30")
            << "chelsea.png" << 30 << QList<double>{32.31383178, 33.71847089, 40.06531683,
                                                    41.00975525, 0.89924917,  0.98410009};
        QTest::newRow("chelsea q95")
            << "chelsea.png" << 95 << QList<double>{41.28059951, 45.37114330, 45.59260710,
                                                    46.71892098, 0.99110807,  0.99932280};
    }

    void qualityFiguresAgreeWithReference()
    {
        QFETCH(QString, picture);
        QFETCH(int, quality);
        QFETCH(QList<double>, expected);
        ScratchDir dir;
        QString path = QStringLiteral(TESSERA_SAMPLES_DIR "/") + picture;
        const QStringList parts = picture.split(QLatin1Char(' '));
        if (parts.size() == 2) {
            const QStringList size = parts[1].split(QLatin1Char('x'));
            const int w = size[0].toInt(), h = size[1].toInt();
            path = dir.file(QStringLiteral("p.png"));
            QVERIFY(parts[0] == QLatin1String("solid")
                        ? TestPictures::writeSolid(path, w, h, 128, 128, 128)
                        : TestPictures::write(path, w, h,
                                              parts[0] == QLatin1String("grey")
                                                  ? TestPictures::Kind::Grey
                                                  : TestPictures::Kind::Colour));
        }
        Image source(encoded(path));
        QVERIFY(source.getRGB24Buffer());
        JPEGCompressor compressor;
        compressor.setImage(&source);
        compressor.getSettings()->setAutoQualityEnabled(true);
        compressor.getSettings()->setQuality(quality);
        std::unique_ptr<CompressionResult> result(compressor.compressImage());
        QVERIFY(result);
        const Figure figures[] = {Figure::PSNR,    Figure::PSNR_Y, Figure::PSNR_Cb,
                                  Figure::PSNR_Cr, Figure::SSIM,   Figure::MS_SSIM};
        for (int i = 0; i < 6; ++i) {
            const double actual = result->figure(figures[i]);
            QVERIFY2(agrees(actual, expected[i]),
                     qPrintable(QStringLiteral("%1: %2, expected %3")
                                    .arg(QLatin1String(Figures::info(figures[i]).name))
                                    .arg(actual, 0, 'g', 10)
                                    .arg(expected[i], 0, 'g', 10)));
        }

        // A batch record asked for some figures has those, the rest n/a.
        FigureSet some;
        some.insert(Figure::PSNR).insert(Figure::SSIM);
        const ResultStat stat(*result, some);
        QVERIFY(agrees(stat.psnr, expected[0]));
        QVERIFY(agrees(stat.ssim, expected[4]));
        QVERIFY(std::isnan(stat.psnrY) && std::isnan(stat.msSsim));
    }

    // A grey picture's decoded chroma is the source's whatever the
    // compression: its chroma PSNR is exactly infinite in every row of a
    // sweep, colour or grey-scale output, every quality.
    void greyPicturesHaveInfiniteChromaPsnr()
    {
        ScratchDir dir;
        const QString path = dir.file(QStringLiteral("g.png"));
        QVERIFY(TestPictures::write(path, 181, 190, TestPictures::Kind::Grey));
        Image source(encoded(path));
        JPEGCompressor compressor;
        compressor.setImage(&source);
        for (bool automatic : {true, false})
            for (bool greyOutput : {false, true})
                for (int quality = 5; quality <= 100; quality += 5) {
                    JPEGSettings* s = compressor.getSettings();
                    s->setAutoQualityEnabled(automatic);
                    s->setGrayscaleOutput(greyOutput);
                    s->setQuality(quality);
                    std::unique_ptr<CompressionResult> result(compressor.compressImage());
                    QVERIFY(result);
                    QVERIFY2(std::isinf(result->figure(Figure::PSNR_Cb)) &&
                                 std::isinf(result->figure(Figure::PSNR_Cr)),
                             qPrintable(QStringLiteral("quality %1: %2 %3")
                                            .arg(quality)
                                            .arg(result->figure(Figure::PSNR_Cb))
                                            .arg(result->figure(Figure::PSNR_Cr))));
                }
    }

    // The two views of the error at known pixels: the heat map is black
    // where the pictures agree and neutral where the window does not fit;
    // the amplified difference multiplies and stops at 255.
    void errorViewsAtKnownPixels()
    {
        ScratchDir dir;
        QVERIFY(TestPictures::writeSolid(dir.file("a.png"), 20, 12, 100, 100, 100));
        QVERIFY(TestPictures::writeSolid(dir.file("b.png"), 20, 12, 20, 40, 20));
        Image source(encoded(dir.file("a.png")));
        CompressionResult same(&source, new Image(encoded(dir.file("a.png"))), JPEGSettings());
        const unsigned char* map = same.getSSIMMap();
        QVERIFY(map);
        QCOMPARE(pixel(map, 0), QList<int>({128, 128, 128, 255}));
        QCOMPARE(pixel(map, 5 * 20 + 4), QList<int>({128, 128, 128, 255}));
        QCOMPARE(pixel(map, 5 * 20 + 5), QList<int>({0, 0, 0, 255}));
        QCOMPARE(pixel(map, 6 * 20 + 14), QList<int>({0, 0, 0, 255}));
        QCOMPARE(pixel(map, 6 * 20 + 15), QList<int>({128, 128, 128, 255}));

        CompressionResult changed(&source, new Image(encoded(dir.file("b.png"))), JPEGSettings());
        QCOMPARE(pixel(changed.getAmplifiedDifference(2), 7), QList<int>({160, 120, 160, 255}));
        QCOMPARE(pixel(changed.getAmplifiedDifference(8), 7), QList<int>({255, 255, 255, 255}));
        // Flat pictures, luma 100 and 31.74: only the luminance term lowers
        // the local SSIM, to (2 * 100 * 31.74 + C1) / (100^2 + 31.74^2 + C1),
        // drawn in the bright (yellow) end of the scale.
        QVERIFY(agrees(changed.getSSIM(), 6354.5025 / 11013.930176));
        const QList<int> hot = pixel(changed.getSSIMMap(), 6 * 20 + 10);
        QVERIFY2(hot[2] == 255 && hot[1] == 255 && hot[0] > 120 && hot[0] < 150,
                 qPrintable(QStringLiteral("%1 %2 %3").arg(hot[0]).arg(hot[1]).arg(hot[2])));
    }

    void figuresAreWrittenForScreenAndExport()
    {
        QCOMPARE(Figures::screenText(Figure::PSNR, INF), QStringLiteral("\u221e"));
        QCOMPARE(Figures::screenText(Figure::SSIM, NA), QStringLiteral("n/a"));
        QCOMPARE(Figures::screenText(Figure::PSNR_Y, 34.97167), QStringLiteral("34.97 dB"));
        QCOMPARE(Figures::screenText(Figure::MSE, 12.345678), QStringLiteral("12.3457"));
        QCOMPARE(Figures::csvText(INF), QStringLiteral("inf"));
        QCOMPARE(Figures::csvText(NA), QString());
        QCOMPARE(Figures::csvText(0.9446716), QStringLiteral("0.944672"));
        FigureSet set;
        QVERIFY(FigureSet::parse(QStringLiteral("psnr_cb, ms_ssim"), set));
        QCOMPARE(set.keys(), QStringList({"psnr_cb", "ms_ssim"}));
        QVERIFY(!FigureSet::parse(QStringLiteral("psnr,sharpness"), set));
        QCOMPARE(set.keys(), QStringList({"psnr_cb", "ms_ssim"}));
        QCOMPARE(FigureSet::everything().keys().size(), FIGURE_COUNT);
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
        // No picture to compare: not "identical".
        QVERIFY(std::isnan(undecoded.getPSNR()) && std::isnan(undecoded.getSSIM()));
        QVERIFY(!undecoded.getSSIMMap() && !undecoded.getAmplifiedDifference(8));
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
