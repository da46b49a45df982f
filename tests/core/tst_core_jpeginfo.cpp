// SPDX-License-Identifier: GPL-3.0-or-later
#include "BlockAnalysis.h"
#include "CompressionResult.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "JpegBitCost.h"
#include "JpegFileInfo.h"
#include "JpegMarkers.h"
#include "TestPictures.h"

#include <FreeImage.h>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

// After the public header: the down-sampler's interface, to watch it work.
// clang-format off
#include <jpeglib.h>
#include <jpegint.h>
// clang-format on

namespace {

// Position in natural order of the k-th coefficient in zig-zag order.
int naturalIndex(int k)
{
    static const int order[64] = {
        0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
        41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
        30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
    };
    return order[k & 63];
}

using TestPictures::encoded;

using TestPictures::jpegOf;

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

// The samples the library's down-sampler hands to the DCT, captured row
// group by row group as it writes them: per component, rows of
// width_in_blocks * 8 samples.
struct DownsampledCapture
{
    std::vector<std::vector<std::vector<unsigned char>>> rows; // [component][row][column]
    void (*original)(j_compress_ptr, JSAMPIMAGE, JDIMENSION, JSAMPIMAGE, JDIMENSION) = nullptr;
};
DownsampledCapture* capture = nullptr;

void captureDownsample(j_compress_ptr cinfo, JSAMPIMAGE input, JDIMENSION inRow, JSAMPIMAGE output,
                       JDIMENSION outGroup)
{
    capture->original(cinfo, input, inRow, output, outGroup);
    for (int c = 0; c < cinfo->num_components; ++c) {
        const jpeg_component_info& component = cinfo->comp_info[c];
        for (int r = 0; r < component.v_samp_factor; ++r) {
            const JSAMPLE* row = output[c][outGroup * component.v_samp_factor + r];
            capture->rows[std::size_t(c)].emplace_back(row, row + component.width_in_blocks * 8);
        }
    }
}

// Compresses the 32-bit picture with the luma sampled h x v (chroma 1 x 1)
// and the smoothing given, capturing the down-sampled samples.
QByteArray compressCapturing(const Image& image, int h, int v, int smoothing,
                             DownsampledCapture& captured)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = image.getWidth();
    cinfo.image_height = image.getHeight();
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    cinfo.comp_info[0].h_samp_factor = h;
    cinfo.comp_info[0].v_samp_factor = v;
    cinfo.smoothing_factor = smoothing;
    jpeg_start_compress(&cinfo, TRUE);
    captured.rows.assign(3, {});
    captured.original = cinfo.downsample->downsample;
    cinfo.downsample->downsample = captureDownsample;
    capture = &captured;
    const unsigned char* pixels = image.getRGB32Buffer();
    std::vector<JSAMPLE> row(std::size_t(cinfo.image_width) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        const unsigned char* bgrx =
            pixels + std::size_t(cinfo.next_scanline) * cinfo.image_width * 4;
        for (std::size_t x = 0; x < cinfo.image_width; ++x)
            for (int k = 0; k < 3; ++k)
                row[x * 3 + std::size_t(k)] = bgrx[x * 4 + std::size_t(2 - k)];
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    capture = nullptr;
    const QByteArray bytes(reinterpret_cast<const char*>(out), int(size));
    std::free(out);
    return bytes;
}

// A 24 x 16 gradient of `channels` samples a pixel, compressed by the
// library from the `input` colour space after `configure` has had its say.
QByteArray libraryJpeg(J_COLOR_SPACE input, int channels,
                       const std::function<void(jpeg_compress_struct&)>& configure)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = 24;
    cinfo.image_height = 16;
    cinfo.input_components = channels;
    cinfo.in_color_space = input;
    jpeg_set_defaults(&cinfo);
    configure(cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(std::size_t(24 * channels));
    while (cinfo.next_scanline < cinfo.image_height) {
        for (int x = 0; x < 24; ++x)
            for (int k = 0; k < channels; ++k)
                row[std::size_t(x * channels + k)] =
                    JSAMPLE((x * 10 + int(cinfo.next_scanline) * 15 + k * 60) % 256);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    const QByteArray bytes(reinterpret_cast<const char*>(out), int(size));
    std::free(out);
    return bytes;
}

QStringList componentNames(const JpegFileInfo& info)
{
    QStringList names;
    for (std::size_t c = 0; c < info.components.size(); ++c)
        names << info.componentName(c);
    return names;
}

// Runs `program` (cjpeg, jpegtran) with `arguments` and returns what it
// wrote to `output`, or nothing if it is missing or failed.
QByteArray toolOutput(const QString& program, const QStringList& arguments, const QString& output)
{
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        return QByteArray();
    QProcess process;
    process.start(path, arguments);
    if (!process.waitForFinished(20000) || process.exitCode() != 0)
        return QByteArray();
    QFile file(output);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The bit walk of `bytes` against the library: every stored coefficient
// of every block inside the picture is the library's, and the bits charged
// to blocks plus everything else add up to the file's size.
void checkBitCost(const QByteArray& bytes, const char* what)
{
    JpegBitCost::Options options;
    options.keepCoefficients = true;
    const JpegBitCost cost = JpegBitCost::read(bytes, options);
    QVERIFY2(cost.ok(), qPrintable(QStringLiteral("%1: %2").arg(what, cost.error)));
    const JpegFileInfo info = JpegFileInfo::read(bytes, true);
    QVERIFY2(!info.coefficients.empty(), what);
    QCOMPARE(cost.components.size(), info.coefficients.size());
    for (std::size_t c = 0; c < info.coefficients.size(); ++c) {
        const JpegFileInfo::ComponentCoefficients& library = info.coefficients[c];
        const JpegBitCost::Component& walked = cost.components[c];
        QCOMPARE(walked.widthInBlocks, library.widthInBlocks);
        QCOMPARE(walked.heightInBlocks, library.heightInBlocks);
        for (int row = 0; row < library.heightInBlocks; ++row)
            for (int column = 0; column < library.widthInBlocks; ++column) {
                const std::int16_t* mine =
                    walked.coefficients.data() + walked.index(column, row) * 64;
                if (std::memcmp(mine, library.block(column, row), 128) != 0)
                    QFAIL(qPrintable(QStringLiteral("%1: component %2 block %3,%4 differs")
                                         .arg(what)
                                         .arg(c)
                                         .arg(column)
                                         .arg(row)));
            }
    }
    std::uint64_t scanBits = 0;
    for (const JpegBitCost::Scan& scan : cost.scans) {
        scanBits += scan.blockBits;
        std::uint64_t shares = 0;
        for (const std::vector<std::uint32_t>& perBlock : scan.shares)
            for (std::uint32_t bits : perBlock)
                shares += bits;
        QCOMPARE(shares, scan.blockBits);
    }
    QCOMPARE(scanBits, cost.totalBlockBits());
    QCOMPARE(cost.totalBlockBits() + 8 * std::uint64_t(cost.nonDataBytes()) + cost.overheadBits(),
             8 * std::uint64_t(bytes.size()));
}

// DC bits counted from the library's coefficients and the code lengths
// of the standard's DC tables (one block per MCU, so no blocks past the
// edge): category code plus as many extra bits as the category.
void checkDcBitsFromTheCoefficients(const QByteArray& bytes)
{
    static const int lengths[2][12] = {{2, 3, 3, 3, 3, 3, 4, 5, 6, 7, 8, 9},
                                       {2, 2, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
    const JpegFileInfo info = JpegFileInfo::read(bytes, true);
    const JpegBitCost cost = JpegBitCost::read(bytes);
    QVERIFY(info.standardHuffman());
    for (std::size_t c = 0; c < info.coefficients.size(); ++c) {
        const JpegFileInfo::ComponentCoefficients& k = info.coefficients[c];
        std::uint64_t bits = 0;
        int previous = 0;
        for (int row = 0; row < k.heightInBlocks; ++row)
            for (int column = 0; column < k.widthInBlocks; ++column) {
                const int dc = k.block(column, row)[0];
                int magnitude = std::abs(dc - previous);
                int category = 0;
                while (magnitude) {
                    ++category;
                    magnitude >>= 1;
                }
                bits += std::uint64_t(lengths[c ? 1 : 0][category] + category);
                previous = dc;
            }
        QCOMPARE(cost.components[c].totalDcBits, bits);
    }
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
                    QVERIFY2(BlockAnalysis::analyse(image, info, c, column, row, 0, block, &why),
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

    // The block analysis starts from exactly the samples the library coded:
    // its colour conversion, its down-sampling (rounding bias, smoothing)
    // and its edge padding, for luma and chroma blocks of each sampling.
    void blockSamplesAreTheEncoders_data()
    {
        QTest::addColumn<int>("h");
        QTest::addColumn<int>("v");
        QTest::addColumn<int>("smoothing");
        QTest::newRow("4:2:0") << 2 << 2 << 0;
        QTest::newRow("4:2:2") << 2 << 1 << 0;
        QTest::newRow("4:4:4") << 1 << 1 << 0;
        QTest::newRow("4:2:0 smoothed") << 2 << 2 << 30;
        QTest::newRow("4:4:4 smoothed") << 1 << 1 << 60;
        QTest::newRow("4:1:1") << 4 << 1 << 0;
    }

    void blockSamplesAreTheEncoders()
    {
        QFETCH(int, h);
        QFETCH(int, v);
        QFETCH(int, smoothing);
        ScratchDir dir;
        // Odd sizes: partial blocks and MCUs at the right and bottom.
        QVERIFY(TestPictures::write(dir.file("p.png"), 37, 21));
        Image image(encoded(dir.file("p.png")));
        DownsampledCapture captured;
        const JpegFileInfo info =
            JpegFileInfo::read(compressCapturing(image, h, v, smoothing, captured), true);
        QCOMPARE(int(info.coefficients.size()), 3);
        int compared = 0, padding = 0;
        for (int c = 0; c < 3; ++c) {
            const auto& rows = captured.rows[std::size_t(c)];
            const JpegFileInfo::ComponentCoefficients& blocks = info.coefficients[std::size_t(c)];
            for (int row = 0; row < blocks.heightInBlocks; ++row)
                for (int column = 0; column < blocks.widthInBlocks; ++column) {
                    BlockAnalysis block;
                    QVERIFY(BlockAnalysis::analyse(image, info, c, column, row, smoothing, block));
                    for (int k = 0; k < 64; ++k) {
                        const std::size_t y = std::size_t(row * 8 + k / 8);
                        const std::size_t x = std::size_t(column * 8 + k % 8);
                        padding += block.padding[std::size_t(k)];
                        if (block.padding[std::size_t(k)])
                            QCOMPARE(block.error[std::size_t(k)], 0.0);
                        if (y >= rows.size())
                            continue; // the library's copies of its last row
                        QVERIFY2(block.samples[std::size_t(k)] + 128 == rows[y][x],
                                 qPrintable(QStringLiteral("component %1 sample %2,%3: %4 vs %5")
                                                .arg(c)
                                                .arg(x)
                                                .arg(y)
                                                .arg(block.samples[std::size_t(k)] + 128)
                                                .arg(rows[y][x])));
                        ++compared;
                    }
                }
        }
        QVERIFY(compared > 37 * 21);
        QVERIFY(padding > 0);
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

    // Components are named by the colour space the markers and ids give,
    // and what "Use these settings" cannot reproduce is listed.
    void colourSpacesOfOtherFiles()
    {
        const JpegFileInfo rgb = JpegFileInfo::read(libraryJpeg(
            JCS_RGB, 3, [](jpeg_compress_struct& c) { jpeg_set_colorspace(&c, JCS_RGB); }));
        QVERIFY2(rgb.isValid(), qPrintable(rgb.error));
        QCOMPARE(int(rgb.colourSpace()), int(JpegFileInfo::RGB));
        QCOMPARE(rgb.adobeTransform, 0);
        QCOMPARE(componentNames(rgb), QStringList({"R", "G", "B"}));
        // The library gives all three components table 0, which the encoder
        // cannot do either.
        QCOMPARE(rgb.settingsNotReproduced().size(), 2);
        QVERIFY(rgb.settingsNotReproduced().first().contains(QLatin1String("RGB colour space")));

        const JpegFileInfo cmyk =
            JpegFileInfo::read(libraryJpeg(JCS_CMYK, 4, [](jpeg_compress_struct&) {}));
        QCOMPARE(int(cmyk.colourSpace()), int(JpegFileInfo::CMYK));
        QCOMPARE(componentNames(cmyk), QStringList({"C", "M", "Y", "K"}));
        // The colour space, the fourth component, all components on table 0.
        QCOMPARE(cmyk.settingsNotReproduced().size(), 3);

        const JpegFileInfo ycck = JpegFileInfo::read(libraryJpeg(
            JCS_CMYK, 4, [](jpeg_compress_struct& c) { jpeg_set_colorspace(&c, JCS_YCCK); }));
        QCOMPARE(int(ycck.colourSpace()), int(JpegFileInfo::YCCK));
        QCOMPARE(ycck.adobeTransform, 2);
        QCOMPARE(componentNames(ycck), QStringList({"Y", "Cb", "Cr", "K"}));

        const JpegFileInfo restarts = JpegFileInfo::read(
            libraryJpeg(JCS_RGB, 3, [](jpeg_compress_struct& c) { c.restart_interval = 3; }));
        QVERIFY(restarts.jfif);
        QCOMPARE(componentNames(restarts), QStringList({"Y", "Cb", "Cr"}));
        QCOMPARE(restarts.settingsNotReproduced(),
                 QStringList{QStringLiteral("the restart interval of 3 MCUs")});
    }

    // "Use these settings" keeps a third table as Cr's, and tables that are
    // Annex K at one quality as those tables and that quality.
    void useTheseSettingsKeepsThreeTables()
    {
        static const unsigned int third[64] = {
            3,  5,  7,  9,  11, 13, 15, 17, 5,  7,  9,  11, 13, 15, 17, 19, 7,  9,  11, 13, 15, 17,
            19, 21, 9,  11, 13, 15, 17, 19, 21, 23, 11, 13, 15, 17, 19, 21, 23, 25, 13, 15, 17, 19,
            21, 23, 25, 27, 15, 17, 19, 21, 23, 25, 27, 29, 17, 19, 21, 23, 25, 27, 29, 31};
        const JpegFileInfo three =
            JpegFileInfo::read(libraryJpeg(JCS_RGB, 3, [](jpeg_compress_struct& c) {
                jpeg_set_quality(&c, 85, TRUE);
                jpeg_add_quant_table(&c, 2, third, 100, TRUE);
                c.comp_info[2].quant_tbl_no = 2;
            }));
        QCOMPARE(three.components[2].table, 2);
        QVERIFY(three.settingsNotReproduced().isEmpty());
        JPEGSettings settings;
        three.copySettingsTo(settings);
        for (int slot : {0, 1, 2})
            QVERIFY(settings.getCurrentQuantizationTables()[slot]);
        ScratchDir dir;
        QVERIFY(TestPictures::write(dir.file("p.png"), 24, 16));
        Image image(encoded(dir.file("p.png")));
        const JpegFileInfo again = JpegFileInfo::read(jpegOf(image, settings));
        QCOMPARE(again.components[2].table, 2);
        for (int slot : {0, 1, 2})
            QCOMPARE(again.tableForSlot(slot)->table, three.tableForSlot(slot)->table);

        const JpegFileInfo annexK = JpegFileInfo::read(libraryJpeg(
            JCS_RGB, 3, [](jpeg_compress_struct& c) { jpeg_set_quality(&c, 85, TRUE); }));
        JPEGSettings fromAnnexK;
        annexK.copySettingsTo(fromAnnexK);
        QCOMPARE(fromAnnexK.getQuality(), 85);
        QCOMPARE(fromAnnexK.qtables[0], QuantizationTable(annexKLuminance));
        QCOMPARE(fromAnnexK.qtables[1], QuantizationTable(annexKChrominance));
        QVERIFY(!fromAnnexK.getCurrentQuantizationTables()[2]);
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

    // Files of every kind the walk handles, from cjpeg and jpegtran and from
    // the project's encoder: each walked exactly as the library reads it.
    void bitCostMatchesTheLibrary_data()
    {
        QTest::addColumn<QStringList>("cjpeg");
        QTest::addColumn<QStringList>("jpegtran");
        const QStringList none;
        QTest::newRow("baseline 4:2:0 standard") << QStringList{"-sample", "2x2"} << none;
        QTest::newRow("baseline 4:2:2 optimised")
            << QStringList{"-sample", "2x1", "-optimize"} << none;
        QTest::newRow("baseline 4:4:4 q95")
            << QStringList{"-sample", "1x1", "-quality", "95"} << none;
        QTest::newRow("grey restarts") << QStringList{"-grayscale", "-restart", "3B"} << none;
        QTest::newRow("restart every row") << QStringList{"-restart", "1"} << none;
        QTest::newRow("progressive 4:2:0") << QStringList{"-progressive"} << none;
        QTest::newRow("progressive grey q30")
            << QStringList{"-progressive", "-grayscale", "-quality", "30"} << none;
        QTest::newRow("progressive 4:4:4 restarts")
            << QStringList{"-progressive", "-sample", "1x1", "-restart", "2B"} << none;
        QTest::newRow("jpegtran progressive, restarts")
            << QStringList{"-sample", "2x1"} << QStringList{"-progressive", "-restart", "5B"};
        QTest::newRow("jpegtran optimised sequential")
            << QStringList{"-progressive"} << QStringList{"-optimize"};
    }

    void bitCostMatchesTheLibrary()
    {
        QFETCH(QStringList, cjpeg);
        QFETCH(QStringList, jpegtran);
        if (QStandardPaths::findExecutable("cjpeg").isEmpty())
            QSKIP("cjpeg is not installed");
        ScratchDir dir;
        // Odd sizes, so that MCUs overhang the picture's edges.
        TestPictures::write(dir.file("p.png"), 133, 75);
        FIBITMAP* bitmap = FreeImage_Load(FIF_PNG, encoded(dir.file("p.png")).c_str(), 0);
        FreeImage_Save(FIF_PPMRAW, bitmap, encoded(dir.file("p.ppm")).c_str(), 0);
        FreeImage_Unload(bitmap);
        QByteArray bytes =
            toolOutput("cjpeg", cjpeg << "-outfile" << dir.file("c.jpg") << dir.file("p.ppm"),
                       dir.file("c.jpg"));
        QVERIFY(!bytes.isEmpty());
        if (!jpegtran.isEmpty())
            bytes = toolOutput("jpegtran",
                               jpegtran << "-outfile" << dir.file("t.jpg") << dir.file("c.jpg"),
                               dir.file("t.jpg"));
        QVERIFY(!bytes.isEmpty());
        checkBitCost(bytes, QTest::currentDataTag());
        if (cjpeg.contains("1x1") && !cjpeg.contains("-progressive"))
            checkDcBitsFromTheCoefficients(bytes);
    }

    // The project's own files, and every JPEG of the installed test-data
    // packages.
    void bitCostOfOtherFiles()
    {
        ScratchDir dir;
        TestPictures::write(dir.file("p.png"), 61, 37);
        Image image(encoded(dir.file("p.png")));
        JPEGSettings settings;
        settings.downsampling[0] = {2, 2};
        checkBitCost(jpegOf(image, settings), "Tessera 4:2:0");
        settings.setProgressiveMode(true);
        settings.downsampling[0] = {1, 2};
        checkBitCost(jpegOf(image, settings), "Tessera progressive");
        int others = 0;
        for (const char* folder :
             {"/usr/share/libjxl-testdata", "/usr/share/libjpeg-turbo-testdata"}) {
            QDirIterator it(QString::fromLatin1(folder), {"*.jpg", "*.jpeg", "*.JPG"}, QDir::Files,
                            QDirIterator::Subdirectories);
            while (it.hasNext()) {
                QFile file(it.next());
                if (!file.open(QIODevice::ReadOnly) || file.size() > (8 << 20))
                    continue;
                const QByteArray bytes = file.readAll();
                const JpegBitCost cost = JpegBitCost::read(bytes);
                const JpegFileInfo info = JpegFileInfo::read(bytes, true);
                if (!cost.ok() || info.coefficients.empty() || !info.warning.isEmpty()) {
                    // Files the walk refuses are ones the library reads only
                    // with a complaint, or codings it does not walk.
                    QVERIFY2(!cost.notWalked.isEmpty() || info.coefficients.empty() ||
                                 !info.warning.isEmpty(),
                             qPrintable(file.fileName() + ": " + cost.error));
                    continue;
                }
                checkBitCost(bytes, qPrintable(file.fileName()));
                if (QTest::currentTestFailed())
                    return;
                ++others;
            }
        }
        qInfo("%d JPEG files of test-data packages walked", others);
    }

    // The symbols traced for one block add up to the bits charged to it,
    // and (sequential files) rebuild its coefficients; an end-of-band run's
    // bits are shared over its blocks.
    void bitCostTraceOfOneBlock()
    {
        ScratchDir dir;
        TestPictures::write(dir.file("p.png"), 64, 48);
        Image image(encoded(dir.file("p.png")));
        JPEGSettings settings;
        for (bool progressive : {false, true}) {
            settings.setProgressiveMode(progressive);
            const QByteArray bytes = jpegOf(image, settings);
            JpegBitCost::Options options;
            options.keepCoefficients = true;
            options.traceComponent = 1;
            options.traceColumn = 2;
            options.traceRow = 1;
            const JpegBitCost cost = JpegBitCost::read(bytes, options);
            QVERIFY2(cost.ok(), qPrintable(cost.error));
            const JpegBitCost::Component& cb = cost.components[1];
            QCOMPARE(cost.traceBits, std::uint64_t(cb.bits(2, 1)));
            std::uint64_t sum = 0;
            std::int16_t rebuilt[64] = {};
            for (const JpegBitCost::Symbol& s : cost.trace) {
                sum += s.bits;
                if (s.kind == JpegBitCost::Symbol::AC_COEFFICIENT)
                    rebuilt[naturalIndex(s.index)] = std::int16_t(s.value);
                if (s.kind == JpegBitCost::Symbol::DC_DIFFERENCE)
                    rebuilt[0] = std::int16_t(s.value);
            }
            QCOMPARE(sum, cost.traceBits);
            if (!progressive)
                QVERIFY(std::memcmp(rebuilt, cb.coefficients.data() + cb.index(2, 1) * 64,
                                    sizeof rebuilt) == 0);
        }
    }

    // Codings the walk does not decode are named; damage is an error, not
    // a crash or a wrong sum.
    void bitCostRefusals()
    {
        ScratchDir dir;
        TestPictures::write(dir.file("p.png"), 40, 24);
        Image image(encoded(dir.file("p.png")));
        const QByteArray good = jpegOf(image, JPEGSettings());
        QByteArray lossless = good;
        lossless[lossless.indexOf("\xFF\xC0") + 1] = char(0xC3);
        QVERIFY(!JpegBitCost::read(lossless).notWalked.isEmpty());
        QVERIFY(!JpegBitCost::read(lossless).walked);
        const JpegBitCost cut = JpegBitCost::read(good.left(good.size() - 30));
        QVERIFY(!cut.ok());
        QVERIFY(!cut.error.isEmpty());
        JpegBitCost::Options small;
        small.maxBlocks = 10;
        QVERIFY(JpegBitCost::read(good, small).error.contains("too many blocks"));
        QVERIFY(!JpegBitCost::read(QByteArray("\xFF\xD8\xFF\xD9", 4)).ok());
    }

    // The one marker walk of every reader: fill bytes, markers without a
    // segment, entropy data stepped over up to a marker that is not a
    // restart, and every way a hostile file can run out or lie.
    void markerWalk()
    {
        using Walk = JpegMarkerWalk;
        const auto walkOf = [](const char* bytes, int size) {
            return Walk(reinterpret_cast<const unsigned char*>(bytes), size);
        };
        // SOI, fill, COM "ab", RST0, SOS (1 byte) + data with a stuffed
        // zero and RST1, EOI, one trailing byte.
        static const char good[] = "\xFF\xD8\xFF\xFF\xFF\xFE\x00\x04"
                                   "ab\xFF\xD0\xFF\xDA\x00\x03\x01\x12\xFF\x00\x34\xFF\xD1\x56"
                                   "\xFF\xD9\x07";
        Walk walk = walkOf(good, sizeof good - 1);
        QVERIFY(walk.startsWithImage());
        Walk::Segment segment;
        QCOMPARE(walk.next(segment), Walk::SEGMENT);
        QCOMPARE(segment.marker, 0xFE);
        QCOMPARE(segment.fillBytes, 2);
        QCOMPARE(segment.offset, 4);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(segment.data), segment.size), "ab");
        QCOMPARE(walk.next(segment), Walk::SEGMENT);
        QVERIFY(segment.standalone());
        QCOMPARE(segment.bytes(), 2);
        QCOMPARE(walk.next(segment), Walk::SEGMENT);
        QCOMPARE(segment.marker, 0xDA);
        walk.skipEntropyData();
        QCOMPARE(walk.position(), 24);
        QCOMPARE(walk.next(segment), Walk::END_OF_IMAGE);
        QCOMPARE(walk.size() - walk.position(), 1);

        // A length past the end, one cut inside the length field, a
        // misplaced zero, a second SOI, a stray byte: refused, and the walk
        // stays refused.
        for (const QByteArray& bad :
             {QByteArray("\xFF\xD8\xFF\xDB\x01\x00\x00", 7), QByteArray("\xFF\xD8\xFF\xDB\x00", 5),
              QByteArray("\xFF\xD8\xFF\x00\x00\x02", 6), QByteArray("\xFF\xD8\xFF\xD8\x00\x02", 6),
              QByteArray("\xFF\xD8\x12\xFF\xD9", 5)}) {
            Walk refused = walkOf(bad.constData(), int(bad.size()));
            QCOMPARE(refused.next(segment), Walk::FAILED);
            QVERIFY(!refused.error().isEmpty());
            QCOMPARE(refused.next(segment), Walk::FAILED);
        }
        // Fill bytes that run to the end: no marker, the bytes left counted
        // from the last of them.
        Walk filled = walkOf("\xFF\xD8\xFF\xFF\xFF", 5);
        QCOMPARE(filled.next(segment), Walk::END_OF_DATA);
        QCOMPARE(segment.offset, 4);
        QCOMPARE(segment.fillBytes, 2);
        QVERIFY(!walkOf("\xFF\xD9\xFF\xD9", 4).startsWithImage());
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
