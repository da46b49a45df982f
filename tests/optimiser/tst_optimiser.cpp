// SPDX-License-Identifier: GPL-3.0-or-later
#include "BlockAnalysis.h"
#include "CoefficientCache.h"
#include "CompressionResult.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "JpegFileInfo.h"
#include "TableEstimate.h"
#include "TestPictures.h"

#include <QFile>
#include <QTest>

#include <memory>

namespace {

std::string encoded(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

JPEGSettings customSettings(const QuantizationTable& luma, const QuantizationTable& chroma,
                            int quality, const Sampling& sampling)
{
    JPEGSettings settings;
    settings.setAutoQualityEnabled(false);
    settings.setQuality(quality);
    settings.setOptimizeHuffman(true);
    settings.setDCTMethod(JPEGSettings::INT);
    settings.qtables[0] = luma;
    settings.qtables[1] = chroma;
    bool* current = settings.getCurrentQuantizationTables();
    current[0] = current[1] = true;
    current[2] = current[3] = false;
    for (int c = 0; c < 3; ++c)
        settings.downsampling[c] = sampling[std::size_t(c)];
    return settings;
}

QByteArray jpegOf(Image& image, const JPEGSettings& settings)
{
    JPEGCompressor compressor;
    compressor.setImage(&image);
    *compressor.getSettings() = settings;
    std::unique_ptr<CompressionResult> result(compressor.compressImage());
    return result ? result->getCompressedBytes() : QByteArray();
}

// A table with small entries, so that most coefficients survive and any
// difference in the DCT shows.
QuantizationTable fineTable(unsigned first)
{
    QuantizationTable t;
    for (unsigned k = 0; k < 64; ++k)
        t[k] = first + k % 5;
    return t;
}

} // namespace

class TestOptimiser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Image::initImage(); }

    void cachedDctIsTheEncoders_data()
    {
        QTest::addColumn<QString>("sampling");
        QTest::newRow("4:2:0") << QStringLiteral("2x2,1x1,1x1");
        QTest::newRow("4:2:2") << QStringLiteral("2x1,1x1,1x1");
        QTest::newRow("4:4:4") << QStringLiteral("1x1,1x1,1x1");
        QTest::newRow("4:4:0") << QStringLiteral("1x2,1x1,1x1");
    }

    // Quantized with the tables of a real compression, the cached
    // coefficients are the ones the library stored, in every block of every
    // component (the picture's odd size leaves partial blocks and MCUs).
    void cachedDctIsTheEncoders()
    {
        QFETCH(QString, sampling);
        Sampling factors{};
        QVERIFY(SamplingText::parse(sampling, factors));
        ScratchDir dir;
        QVERIFY(TestPictures::write(dir.file("p.png"), 45, 37));
        Image image(encoded(dir.file("p.png")));
        const QuantizationTable luma = fineTable(1), chroma = fineTable(2);
        const QByteArray jpeg = jpegOf(image, customSettings(luma, chroma, 50, factors));
        const JpegFileInfo info = JpegFileInfo::read(jpeg, true);
        QCOMPARE(int(info.coefficients.size()), 3);
        const CoefficientCache cache = CoefficientCache::compute(image, factors);
        for (int c = 0; c < 3; ++c) {
            const JpegFileInfo::ComponentCoefficients& stored = info.coefficients[std::size_t(c)];
            const CoefficientCache::Component& mine = cache.component(c);
            QVERIFY(stored.widthInBlocks >= mine.widthInBlocks);
            QVERIFY(stored.heightInBlocks >= mine.heightInBlocks);
            const QuantizationTable& table = c == 0 ? luma : chroma;
            for (int row = 0; row < mine.heightInBlocks; ++row)
                for (int column = 0; column < mine.widthInBlocks; ++column) {
                    const std::int16_t* want = stored.block(column, row);
                    const std::int16_t* have = mine.block(row * mine.widthInBlocks + column);
                    for (int k = 0; k < 64; ++k) {
                        const int natural = BlockAnalysis::zigzag[k];
                        const int q = TableEstimate::quantize(have[k], table[unsigned(natural)]);
                        if (q != want[natural])
                            QFAIL(qPrintable(QStringLiteral("component %1 block %2,%3 zig-zag %4: "
                                                            "%5 instead of %6")
                                                 .arg(c)
                                                 .arg(column)
                                                 .arg(row)
                                                 .arg(k)
                                                 .arg(q)
                                                 .arg(want[natural])));
                    }
                }
        }
    }

    // The symbol-exact estimate comes within a few percent of the size of
    // the file the encoder writes with optimised Huffman tables.
    void rateEstimateMatchesTheFile_data()
    {
        QTest::addColumn<int>("quality");
        QTest::addColumn<QString>("sampling");
        QTest::newRow("q30 4:2:0") << 30 << QStringLiteral("2x2,1x1,1x1");
        QTest::newRow("q75 4:2:0") << 75 << QStringLiteral("2x2,1x1,1x1");
        QTest::newRow("q95 4:4:4") << 95 << QStringLiteral("1x1,1x1,1x1");
    }

    void rateEstimateMatchesTheFile()
    {
        QFETCH(int, quality);
        QFETCH(QString, sampling);
        Sampling factors{};
        QVERIFY(SamplingText::parse(sampling, factors));
        Image image(TESSERA_SAMPLES_DIR "/chelsea.png");
        QVERIFY(image.getRGB32Buffer());
        const QuantizationTable luma(annexKLuminance), chroma(annexKChrominance);
        const QByteArray jpeg = jpegOf(image, customSettings(luma, chroma, quality, factors));
        QVERIFY(!jpeg.isEmpty());
        const CoefficientCache cache = CoefficientCache::compute(image, factors);
        const TableEstimate::PictureEstimate e =
            TableEstimate::estimate(cache, TableEstimate::effective(luma, chroma, quality, false));
        const double real = jpeg.size() * 8.0;
        QVERIFY2(std::abs(e.fileBits - real) / real < 0.01,
                 qPrintable(QStringLiteral("estimate %1 bytes, file %2 bytes")
                                .arg(e.fileBits / 8)
                                .arg(jpeg.size())));
    }
};

QTEST_GUILESS_MAIN(TestOptimiser)
#include "tst_optimiser.moc"
