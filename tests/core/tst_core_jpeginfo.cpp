// SPDX-License-Identifier: GPL-3.0-or-later
#include "BlockAnalysis.h"
#include "CompressionResult.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "JpegFileInfo.h"
#include "TestPictures.h"

#include <FreeImage.h>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <memory>

namespace {

std::string encoded(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QByteArray jpegOf(Image& image, const JPEGSettings& settings)
{
    JPEGCompressor compressor;
    compressor.setImage(&image);
    *compressor.getSettings() = settings;
    std::unique_ptr<CompressionResult> result(compressor.compressImage());
    return result ? result->getCompressedBytes() : QByteArray();
}

// Writes a small picture as PPM for cjpeg and returns cjpeg's JPEG of it.
QByteArray cjpegOf(const ScratchDir& dir, QStringList options)
{
    const QString cjpeg = QStandardPaths::findExecutable("cjpeg");
    if (cjpeg.isEmpty())
        return QByteArray();
    if (!QFile::exists(dir.file("p.ppm"))) {
        TestPictures::write(dir.file("p.png"), 40, 24);
        FIBITMAP* bitmap = FreeImage_Load(FIF_PNG, encoded(dir.file("p.png")).c_str(), 0);
        FreeImage_Save(FIF_PPMRAW, bitmap, encoded(dir.file("p.ppm")).c_str(), 0);
        FreeImage_Unload(bitmap);
    }
    QProcess process;
    process.start(cjpeg, options << "-outfile" << dir.file("c.jpg") << dir.file("p.ppm"));
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        return QByteArray();
    QFile file(dir.file("c.jpg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestJpegFileInfo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Image::initImage(); }

    // The project's encoder: Annex K tables at a quality, chosen sampling,
    // standard or optimised Huffman tables, and the coefficients of a flat
    // grey picture, whose only non-zero value is the DC term of luminance.
    void readsWhatTheEncoderWrote()
    {
        ScratchDir dir;
        QVERIFY(TestPictures::writeSolid(dir.file("grey.png"), 24, 16, 200, 200, 200));
        Image image(encoded(dir.file("grey.png")));
        JPEGSettings settings;
        settings.useAnnexKTables();
        settings.getCurrentQuantizationTables()[0] = true;
        settings.getCurrentQuantizationTables()[1] = true;
        settings.setQuality(60);
        settings.downsampling[0] = {2, 2};
        settings.downsampling[1] = {1, 1};
        settings.downsampling[2] = {1, 1};

        const JpegFileInfo info = JpegFileInfo::read(jpegOf(image, settings), true);
        QVERIFY2(info.isValid(), qPrintable(info.error));
        QCOMPARE(info.frameType, JpegFileInfo::BASELINE);
        QCOMPARE(info.width, 24);
        QCOMPARE(info.height, 16);
        QCOMPARE(int(info.components.size()), 3);
        QCOMPARE(info.components[0].horizontal, 2);
        QCOMPARE(info.components[0].vertical, 2);
        QCOMPARE(info.components[1].horizontal, 1);
        const JpegFileInfo::QuantizationTableInfo* luminance = info.tableForSlot(0);
        const JpegFileInfo::QuantizationTableInfo* chrominance = info.tableForSlot(1);
        QVERIFY(luminance && chrominance);
        QCOMPARE(luminance->match, JpegFileInfo::QuantizationTableInfo::EXACT);
        QCOMPARE(luminance->quality, 60);
        QVERIFY(!luminance->chrominanceBase);
        QCOMPARE(chrominance->match, JpegFileInfo::QuantizationTableInfo::EXACT);
        QCOMPARE(chrominance->quality, 60);
        QVERIFY(chrominance->chrominanceBase);
        QVERIFY(info.standardHuffman());
        QVERIFY(info.segments.size() >= 1);
        QCOMPARE(info.segments[0].name, QStringLiteral("JFIF"));

        // 64 samples of 200 - 128 = 72: DC term 8 * 72 = 576, quantized by the
        // table's first entry.
        QCOMPARE(int(info.coefficients.size()), 3);
        const JpegFileInfo::ComponentCoefficients& y = info.coefficients[0];
        QCOMPARE(y.widthInBlocks, 3);
        QCOMPARE(y.heightInBlocks, 2);
        const unsigned q0 =
            JPEGCompressor::effectiveTable(settings.qtables[0], 60, false).values[0];
        QCOMPARE(y.quantization[0], q0);
        QCOMPARE(int(y.block(2, 1)[0]), int(std::lround(576.0 / q0)));
        for (int k = 1; k < 64; ++k)
            QCOMPARE(int(y.block(2, 1)[k]), 0);
        QCOMPARE(int(info.coefficients[1].block(0, 0)[0]), 0);

        settings.setProgressiveMode(true);
        const JpegFileInfo progressive = JpegFileInfo::read(jpegOf(image, settings));
        QCOMPARE(progressive.frameType, JpegFileInfo::PROGRESSIVE);
        QVERIFY(progressive.scans > 1);
        QVERIFY(!progressive.standardHuffman());
    }

    // The block analysis: its float DCT of the input samples, quantized,
    // is what the encoder stored (to within one step where the encoder's
    // rounding of a coefficient near a half differs), and rebuilding the
    // samples from the DCT gives them back.
    void blockAnalysisMatchesTheStoredCoefficients_data()
    {
        QTest::addColumn<int>("lumaSampling");
        QTest::newRow("4:4:4") << 1;
        QTest::newRow("4:2:0") << 2;
    }

    void blockAnalysisMatchesTheStoredCoefficients()
    {
        QFETCH(int, lumaSampling);
        ScratchDir dir;
        QVERIFY(TestPictures::write(dir.file("p.png"), 40, 24));
        Image image(encoded(dir.file("p.png")));
        JPEGSettings settings;
        settings.useAnnexKTables();
        settings.getCurrentQuantizationTables()[0] = true;
        settings.getCurrentQuantizationTables()[1] = true;
        settings.setQuality(90);
        settings.setDCTMethod(JPEGSettings::FLOAT);
        settings.downsampling[0] = {lumaSampling, lumaSampling};
        const JpegFileInfo info = JpegFileInfo::read(jpegOf(image, settings), true);
        QCOMPARE(int(info.coefficients.size()), 3);

        int coefficients = 0, exact = 0;
        for (int c = 0; c < 3; ++c) {
            const JpegFileInfo::ComponentCoefficients& blocks = info.coefficients[std::size_t(c)];
            for (int row = 0; row < blocks.heightInBlocks; ++row)
                for (int column = 0; column < blocks.widthInBlocks; ++column) {
                    BlockAnalysis block;
                    QString why;
                    QVERIFY2(BlockAnalysis::analyse(image, info, c, column, row, block, &why),
                             qPrintable(why));
                    const BlockAnalysis::Grid back = BlockAnalysis::inverseDCT(block.dct);
                    double mean = 0;
                    for (int k = 0; k < 64; ++k) {
                        QVERIFY(std::abs(back[k] - block.samples[k]) < 1e-9);
                        mean += block.samples[k] / 64;
                        const int quantized =
                            int(std::lround(block.dct[k] / block.quantization[k]));
                        QVERIFY2(
                            std::abs(quantized - block.stored[k]) <= 1,
                            qPrintable(QStringLiteral("component %1 block %2,%3 [%4]: %5 vs %6")
                                           .arg(c)
                                           .arg(column)
                                           .arg(row)
                                           .arg(k)
                                           .arg(quantized)
                                           .arg(block.stored[k])));
                        ++coefficients;
                        exact += quantized == block.stored[k];
                    }
                    QVERIFY(std::abs(block.dct[0] - 8 * mean) < 1e-9);
                    QCOMPARE(block.stored[0], int(blocks.block(column, row)[0]));
                }
        }
        QVERIFY2(exact >= coefficients * 97 / 100,
                 qPrintable(QStringLiteral("%1 of %2").arg(exact).arg(coefficients)));
    }

    void readsWhatCjpegWrote_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("frameType");
        QTest::addColumn<int>("quality");
        QTest::addColumn<int>("precision");
        QTest::addColumn<int>("lumaH");
        QTest::addColumn<int>("lumaV");
        QTest::addColumn<bool>("standardHuffman");
        QTest::newRow("q75 4:2:0") << QStringList{"-quality", "75"} << int(JpegFileInfo::BASELINE)
                                   << 75 << 8 << 2 << 2 << true;
        QTest::newRow("q5 16-bit tables")
            << QStringList{"-quality", "5"} << int(JpegFileInfo::EXTENDED) << 5 << 16 << 2 << 2
            << true;
        QTest::newRow("progressive 4:2:2")
            << QStringList{"-quality", "90", "-progressive", "-sample", "2x1"}
            << int(JpegFileInfo::PROGRESSIVE) << 90 << 8 << 2 << 1 << false;
        QTest::newRow("optimised 4:4:4")
            << QStringList{"-quality", "30", "-optimize", "-sample", "1x1"}
            << int(JpegFileInfo::BASELINE) << 30 << 8 << 1 << 1 << false;
    }

    void readsWhatCjpegWrote()
    {
        QFETCH(QStringList, options);
        QFETCH(int, frameType);
        QFETCH(int, quality);
        QFETCH(int, precision);
        QFETCH(int, lumaH);
        QFETCH(int, lumaV);
        QFETCH(bool, standardHuffman);
        if (QStandardPaths::findExecutable("cjpeg").isEmpty())
            QSKIP("cjpeg is not installed");
        ScratchDir dir;
        const JpegFileInfo info = JpegFileInfo::read(cjpegOf(dir, options), true);
        QVERIFY2(info.isValid(), qPrintable(info.error));
        QCOMPARE(int(info.frameType), frameType);
        QCOMPARE(info.components[0].horizontal, lumaH);
        QCOMPARE(info.components[0].vertical, lumaV);
        QCOMPARE(info.components[1].horizontal, 1);
        QCOMPARE(info.tableForSlot(0)->match, JpegFileInfo::QuantizationTableInfo::EXACT);
        QCOMPARE(info.tableForSlot(0)->quality, quality);
        QCOMPARE(info.tableForSlot(0)->precision, precision);
        QCOMPARE(info.tableForSlot(1)->quality, quality);
        QCOMPARE(info.standardHuffman(), standardHuffman);
        QVERIFY2(info.coefficientError.isEmpty(), qPrintable(info.coefficientError));
        QCOMPARE(info.coefficients[0].quantization, info.tableForSlot(0)->table);

        // "Use these settings": the project's encoder then writes the same
        // tables, sampling and frame type.
        JPEGSettings settings;
        info.copySettingsTo(settings);
        Image image(encoded(dir.file("p.png")));
        const JpegFileInfo again = JpegFileInfo::read(jpegOf(image, settings));
        QVERIFY2(again.isValid(), qPrintable(again.error));
        QCOMPARE(int(again.frameType), frameType);
        QCOMPARE(again.tableForSlot(0)->table, info.tableForSlot(0)->table);
        QCOMPARE(again.tableForSlot(1)->table, info.tableForSlot(1)->table);
        QCOMPARE(again.components[0].horizontal, lumaH);
        QCOMPARE(again.components[0].vertical, lumaV);
        QCOMPARE(again.standardHuffman(), standardHuffman);
    }

    void restartsArithmeticCodingAndMetadata()
    {
        if (QStandardPaths::findExecutable("cjpeg").isEmpty())
            QSKIP("cjpeg is not installed");
        ScratchDir dir;
        QFile profile(dir.file("p.icc"));
        QVERIFY(profile.open(QIODevice::WriteOnly));
        profile.write(QByteArray(300, 'x'));
        profile.close();
        const JpegFileInfo info = JpegFileInfo::read(
            cjpegOf(dir, {"-arithmetic", "-restart", "2B", "-icc", dir.file("p.icc")}), true);
        QVERIFY2(info.isValid(), qPrintable(info.error));
        QVERIFY(info.arithmetic);
        QCOMPARE(info.restartInterval, 2);
        QVERIFY(info.huffmanTables.empty());
        bool icc = false;
        for (const JpegFileInfo::Segment& s : info.segments) {
            if (s.name == QLatin1String("ICC profile")) {
                icc = true;
                QCOMPARE(s.size, 14 + 300); // identifier, part numbers, profile
            }
        }
        QVERIFY(icc);
        QVERIFY(!info.coefficients.empty());
    }

    void nearestQualityAndCustomTables()
    {
        QuantizationTable table(annexKLuminance);
        const auto effective = JPEGCompressor::effectiveTable(table, 80, true);
        QuantizationTable near(effective.values.data());
        near[20] += 2;
        near[40] -= 1;
        const auto nearest = JpegFileInfo::classify(near, 8);
        QCOMPARE(nearest.match, JpegFileInfo::QuantizationTableInfo::NEAREST);
        QCOMPARE(nearest.quality, 80);
        QCOMPARE(nearest.largestError, 2u);

        QuantizationTable custom;
        for (unsigned k = 0; k < 64; ++k)
            custom[k] = k % 2 ? 3 : 90;
        QCOMPARE(JpegFileInfo::classify(custom, 8).match,
                 JpegFileInfo::QuantizationTableInfo::CUSTOM);
    }

    // Damaged and foreign files are refused with a reason, or read with a
    // warning where the library itself would decode them.
    void malformedFiles()
    {
        QVERIFY(!JpegFileInfo::read(QByteArray("not a picture")).error.isEmpty());
        QVERIFY(!JpegFileInfo::readFile(QStringLiteral("/no/such/file.jpg")).error.isEmpty());

        ScratchDir dir;
        QVERIFY(TestPictures::write(dir.file("p.png"), 32, 32));
        Image image(encoded(dir.file("p.png")));
        const QByteArray good = jpegOf(image, JPEGSettings());
        QVERIFY(JpegFileInfo::read(good).isValid());

        // A table segment whose length runs past the end.
        QByteArray longTable = good;
        const int dqt = longTable.indexOf("\xFF\xDB");
        longTable[dqt + 2] = char(0xFF);
        QVERIFY(JpegFileInfo::read(longTable, true).error.contains("past the end"));

        // Cut inside the entropy-coded data: read, with a warning.
        const JpegFileInfo cut = JpegFileInfo::read(good.left(good.size() - 40), true);
        QVERIFY(cut.isValid());
        QVERIFY(!cut.warning.isEmpty());

        // A header claiming 65500 x 65500 pixels: described, but its
        // coefficients are not read.
        QByteArray huge = good;
        const int sof =
            huge.indexOf("\xFF\xC1") >= 0 ? huge.indexOf("\xFF\xC1") : huge.indexOf("\xFF\xC0");
        huge.replace(sof + 5, 4, QByteArray("\xFF\xDC\xFF\xDC", 4));
        const JpegFileInfo big = JpegFileInfo::read(huge, true);
        QVERIFY(big.isValid());
        QCOMPARE(big.width, 65500);
        QVERIFY(big.coefficients.empty());
        QVERIFY(!big.coefficientError.isEmpty());

        // A lossless frame: described, no DCT coefficients.
        QByteArray lossless = good;
        lossless[sof + 1] = char(0xC3);
        const JpegFileInfo sof3 = JpegFileInfo::read(lossless, true);
        QCOMPARE(sof3.frameType, JpegFileInfo::LOSSLESS);
        QVERIFY(sof3.coefficients.empty());

        // 20000 table definitions and 20000 comments before the frame: read
        // in linear time, MAX_LISTED of each kept and the rest counted, the
        // last definition of each slot among those kept.
        QByteArray many = good.left(2);
        for (int i = 0; i < 20000; ++i) {
            QByteArray table("\xFF\xDB\x00\x43", 4);
            table += char(i % 2);
            table += QByteArray(64, char(1 + i % 200));
            many += table + QByteArray("\xFF\xFE\x00\x03x", 5);
        }
        many += good.mid(2, good.indexOf("\xFF\xDB") - 2);
        const int frame =
            good.indexOf("\xFF\xC0") >= 0 ? good.indexOf("\xFF\xC0") : good.indexOf("\xFF\xC1");
        const QByteArray rest = good.mid(frame);
        QElapsedTimer timer;
        timer.start();
        const JpegFileInfo crowded = JpegFileInfo::read(many + rest);
        QVERIFY(timer.elapsed() < 2000);
        QVERIFY2(crowded.isValid(), qPrintable(crowded.error));
        QCOMPARE(crowded.quantizationTables.size(), JpegFileInfo::MAX_LISTED);
        QCOMPARE(crowded.omittedQuantizationTables, 20000 - int(JpegFileInfo::MAX_LISTED));
        QCOMPARE(crowded.tableForSlot(0)->table[0], 1u + 19998 % 200);
        QCOMPARE(crowded.tableForSlot(1)->table[0], 1u + 19999 % 200);
        QCOMPARE(crowded.segments.size(), JpegFileInfo::MAX_LISTED);
        QCOMPARE(crowded.omittedSegments + int(JpegFileInfo::MAX_LISTED),
                 20000 + int(JpegFileInfo::read(good).segments.size()));
    }
};

QTEST_GUILESS_MAIN(TestJpegFileInfo)
#include "tst_core_jpeginfo.moc"
