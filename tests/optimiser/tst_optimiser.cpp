// SPDX-License-Identifier: GPL-3.0-or-later
#include "BlockAnalysis.h"
#include "CoefficientCache.h"
#include "CompressionResult.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "JpegFileInfo.h"
#include "QuantizationTableFiles.h"
#include "TableEstimate.h"
#include "TableOptimiser.h"
#include "TestPictures.h"

#include <FreeImage.h>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <memory>
#include <sstream>

namespace {

using TestPictures::encoded;

using TestPictures::jpegOf;

// A table with small entries, so that most coefficients survive and any
// difference in the DCT shows.
QuantizationTable fineTable(unsigned first)
{
    QuantizationTable t;
    for (unsigned k = 0; k < 64; ++k)
        t[k] = first + k % 5;
    return t;
}

// A corner of one of the shipped samples, saved as PNG.
bool writeCrop(const QString& path, int width, int height)
{
    FIBITMAP* whole = FreeImage_Load(FIF_PNG, TESSERA_SAMPLES_DIR "/chelsea.png");
    if (!whole)
        return false;
    FIBITMAP* crop = FreeImage_Copy(whole, 120, 40, 120 + width, 40 + height);
    const bool saved = crop && FreeImage_Save(FIF_PNG, crop, QFile::encodeName(path).constData());
    FreeImage_Unload(crop);
    FreeImage_Unload(whole);
    return saved;
}

const TableOptimiser::Row* findRow(const TableOptimiser::Result& result, const QString& tables)
{
    for (const TableOptimiser::Row& row : result.rows)
        if (row.set == QLatin1String("training") && row.picture == QLatin1String("mean") &&
            row.tables == tables)
            return &row;
    return nullptr;
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
        const QByteArray jpeg =
            jpegOf(image, RealEncodes::settingsFor(luma, chroma, 50, factors, false));
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
        const QByteArray jpeg =
            jpegOf(image, RealEncodes::settingsFor(luma, chroma, quality, factors, false));
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

    // A run of a few seconds on one small picture: the pair it finds beats
    // its Annex K start in real encodes, scales within 1..255 at every
    // quality of the range (baseline), and its tables file reads back as
    // the same pair and makes cjpeg write the bytes the engine wrote.
    void tinyRunImprovesAndWritesUsableTables()
    {
        ScratchDir dir;
        QVERIFY(writeCrop(dir.file("crop.png"), 160, 120));
        TableOptimiser::Options options;
        options.training = QStringList{dir.file("crop.png")};
        options.timeLimit = 4;
        const TableOptimiser::Result result = TableOptimiser::run(options);
        QVERIFY2(result.ok(), qPrintable(result.error));
        const TableOptimiser::Row* optimised = findRow(result, QStringLiteral("optimised"));
        QVERIFY(optimised && optimised->bdRate[0]);
        QVERIFY2(*optimised->bdRate[0] < -2, qPrintable(QString::number(*optimised->bdRate[0])));
        QVERIFY(findRow(result, QStringLiteral("flat")));

        for (int q = 30; q <= 90; q += 10)
            for (const QuantizationTable* t : {&result.luma, &result.chroma}) {
                const JPEGCompressor::EffectiveTable e =
                    JPEGCompressor::effectiveTable(*t, q, false);
                for (unsigned k = 0; k < 64; ++k)
                    QVERIFY2(e.values[k] >= 1 && e.values[k] <= 255 && !e.clamped[k],
                             qPrintable(QStringLiteral("quality %1 entry %2").arg(q).arg(k)));
            }

        const QByteArray file = TableOptimiser::tablesFile(result, options);
        std::istringstream in(file.toStdString());
        const std::vector<QuantizationTable> read = readQTables(in);
        QCOMPARE(int(read.size()), 2);
        QVERIFY(read[0] == result.luma);
        QVERIFY(read[1] == result.chroma);

        if (QStandardPaths::findExecutable("cjpeg").isEmpty() ||
            QStandardPaths::findExecutable("pngtopnm").isEmpty())
            QSKIP("cjpeg or netpbm is not installed");
        QFile tables(dir.file("tables.txt"));
        QVERIFY(tables.open(QIODevice::WriteOnly) && tables.write(file) == file.size());
        tables.close();
        QProcess shell;
        shell.start("sh", {"-c", "pngtopnm crop.png | cjpeg -qtables tables.txt -qslots 0,1,1 "
                                 "-quality 60 -optimize -baseline"});
        QVERIFY(shell.waitForFinished(30000) && shell.exitCode() == 0);
        Image image(encoded(dir.file("crop.png")));
        const QByteArray ours = jpegOf(image, RealEncodes::settingsFor(result.luma, result.chroma,
                                                                       60, options.sampling, true));
        QVERIFY(!ours.isEmpty());
        QVERIFY(shell.readAllStandardOutput() == ours);
    }
};

QTEST_GUILESS_MAIN(TestOptimiser)
#include "tst_optimiser.moc"
