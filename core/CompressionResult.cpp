// SPDX-License-Identifier: GPL-3.0-or-later
#include "CompressionResult.h"

#include "Butteraugli.h"
#include "Image.h"
#include "QualityMetrics.h"
#include "Ssimulacra2.h"

#include <QFile>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

bool hasPixels(const Image* image)
{
    return image && image->getRGB32Buffer();
}

std::size_t pixelCount(const Image* image)
{
    return std::size_t(image->getWidth()) * std::size_t(image->getHeight());
}

// The sums of the products of the red, green and blue differences of two
// 32-bit pictures, from which the mean square errors of Y, Cb and Cr follow
// exactly.
struct ProductSums
{
    std::int64_t rr = 0, gg = 0, bb = 0, rg = 0, rb = 0, gb = 0;
};

#if defined(__SSE2__)
// Adds the pixels to `s` four at a time from the first; returns the first
// pixel not added.
std::size_t addProductsSse2(const unsigned char* a, const unsigned char* b, std::size_t pixels,
                            ProductSums& s)
{
    std::size_t p = 0;
    // Four pixels at a time as 16-bit differences, lanes blue, green, red,
    // fourth. Multiply-adds of pairs of lanes give: the differences masked
    // to blue and red times themselves (blue², red²); all four times
    // themselves (blue² + green², red² + fourth²); the masked ones times
    // green and blue moved under them (blue·green, red·blue); and times green
    // moved under red (red·green). Each 32-bit lane takes two pixels per
    // step, so 4096 pixels stay far from overflow.
    const __m128i zero = _mm_setzero_si128();
    const __m128i blueRed = _mm_set_epi16(0, -1, 0, -1, 0, -1, 0, -1);
    auto products = [&](__m128i d, __m128i& squares, __m128i& pairs, __m128i& crossed,
                        __m128i& redGreen) {
        const __m128i masked = _mm_and_si128(d, blueRed);
        squares = _mm_add_epi32(squares, _mm_madd_epi16(masked, d));
        pairs = _mm_add_epi32(pairs, _mm_madd_epi16(d, d));
        const __m128i greenBlue = _mm_shufflehi_epi16(
            _mm_shufflelo_epi16(d, _MM_SHUFFLE(3, 0, 3, 1)), _MM_SHUFFLE(3, 0, 3, 1));
        crossed = _mm_add_epi32(crossed, _mm_madd_epi16(masked, greenBlue));
        const __m128i green = _mm_shufflehi_epi16(_mm_shufflelo_epi16(d, _MM_SHUFFLE(3, 1, 3, 1)),
                                                  _MM_SHUFFLE(3, 1, 3, 1));
        redGreen = _mm_add_epi32(redGreen, _mm_madd_epi16(masked, green));
    };
    auto lane = [](__m128i v, int i) {
        alignas(16) std::int32_t lanes[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes), v);
        return std::int64_t(lanes[i]) + std::int64_t(lanes[i + 2]);
    };
    constexpr std::size_t block = 4096;
    while (p + 4 <= pixels) {
        const std::size_t end = p + std::min(block, (pixels - p) / 4 * 4);
        __m128i squares = zero, pairs = zero, crossed = zero, redGreen = zero;
        for (; p < end; p += 4) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 4 * p));
            const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 4 * p));
            products(_mm_sub_epi16(_mm_unpacklo_epi8(x, zero), _mm_unpacklo_epi8(y, zero)), squares,
                     pairs, crossed, redGreen);
            products(_mm_sub_epi16(_mm_unpackhi_epi8(x, zero), _mm_unpackhi_epi8(y, zero)), squares,
                     pairs, crossed, redGreen);
        }
        const std::int64_t blue = lane(squares, 0);
        s.bb += blue;
        s.rr += lane(squares, 1);
        s.gg += lane(pairs, 0) - blue;
        s.gb += lane(crossed, 0);
        s.rb += lane(crossed, 1);
        s.rg += lane(redGreen, 1);
    }
    return p;
}
#endif

// Adds the pixels from `from` on to `s`, one at a time.
void addProducts(const unsigned char* a, const unsigned char* b, std::size_t from,
                 std::size_t pixels, ProductSums& sums)
{
    // Summed here, where the pixels' bytes cannot alias the sums.
    ProductSums s;
    for (std::size_t p = from; p < pixels; ++p) {
        const unsigned char* x = a + 4 * p;
        const unsigned char* y = b + 4 * p;
        const std::int64_t dB = std::int64_t(x[0]) - std::int64_t(y[0]);
        const std::int64_t dG = std::int64_t(x[1]) - std::int64_t(y[1]);
        const std::int64_t dR = std::int64_t(x[2]) - std::int64_t(y[2]);
        s.rr += dR * dR;
        s.gg += dG * dG;
        s.bb += dB * dB;
        s.rg += dR * dG;
        s.rb += dR * dB;
        s.gb += dG * dB;
    }
    sums.rr += s.rr;
    sums.gg += s.gg;
    sums.bb += s.bb;
    sums.rg += s.rg;
    sums.rb += s.rb;
    sums.gb += s.gb;
}

} // namespace

CompressionResult::CompressionResult(Image* source, Image* compressed, JPEGSettings settingsUsed,
                                     QByteArray jpeg)
    : compressedImage(compressed), sourceImage(source), settings(settingsUsed),
      compressedBytes(std::move(jpeg))
{
    compressedSize = compressedBytes.isEmpty()
                         ? (compressed ? qint64(compressed->getImageSize()) : 0)
                         : compressedBytes.size();
    const double sourceSize = source ? double(source->getImageSize()) : 0.0;
    const std::uint64_t area =
        source ? std::uint64_t(source->getWidth()) * std::uint64_t(source->getHeight()) : 0;

    compressionRate = sourceSize / double(compressedSize);
    compressionPercentage = (1.0 - 1.0 / compressionRate) * 100.0;
    bitRate = double(compressedSize) * 8.0 / double(area);

    if (source)
        fileName = QFile::decodeName(QByteArray::fromStdString(source->getFilePath()));

    // A decoded picture without pixels (the decoder failed on the stream)
    // counts as no decoded picture at all.
    nchannels = hasPixels(compressed) ? int(compressed->getChannels()) : 0;
    computeMSE();
}

CompressionResult::~CompressionResult()
{
    delete compressedImage;
}

bool CompressionResult::hasMaps() const
{
    return nchannels > 0 && hasPixels(sourceImage) &&
           sourceImage->getWidth() == compressedImage->getWidth() &&
           sourceImage->getHeight() == compressedImage->getHeight();
}

namespace {

// The sum of the squared differences of every byte of two pixel buffers.
// Fixed blocks keep the 32-bit partial sums from overflowing (4096 * 255^2
// < 2^31) and let the compiler vectorise the inner loop; where the processor
// has AVX2 a version built for it is chosen when the program starts.
__attribute__((target_clones("avx2", "default"))) std::uint64_t
squaredDifferences(const unsigned char* a, const unsigned char* b, std::size_t bytes)
{
    constexpr std::size_t block = 4096;
    std::uint64_t sum = 0;
    for (std::size_t at = 0; at < bytes; at += block) {
        const std::size_t end = std::min(bytes, at + block);
        std::int32_t partial = 0;
        for (std::size_t i = at; i < end; ++i) {
            const std::int32_t d = std::int32_t(a[i]) - std::int32_t(b[i]);
            partial += d * d;
        }
        sum += std::uint64_t(partial);
    }
    return sum;
}

} // namespace

void CompressionResult::computeMSE()
{
    if (!hasMaps())
        return;
    // Every byte of every pixel, the fourth included, divided by three values
    // per pixel.
    const std::size_t pixels = pixelCount(sourceImage);
    const std::uint64_t sum = squaredDifferences(sourceImage->getRGB32Buffer(),
                                                 compressedImage->getRGB32Buffer(), 4 * pixels);
    mse = double(sum) / (double(pixels) * nchannels);
    psnr = QualityMetrics::psnr(mse);
}

void CompressionResult::measureChannels() const
{
    if (channelsMeasured)
        return;
    channelsMeasured = true;
    if (!hasMaps())
        return;
    const std::size_t pixels = pixelCount(sourceImage);
    const unsigned char* a = sourceImage->getRGB32Buffer();
    const unsigned char* b = compressedImage->getRGB32Buffer();
    ProductSums products;
    std::size_t p = 0;
#if defined(__SSE2__)
    p = addProductsSse2(a, b, pixels, products);
#endif
    addProducts(a, b, p, pixels, products);

    QualityMetrics::DifferenceSums sums;
    sums.rr = double(products.rr);
    sums.gg = double(products.gg);
    sums.bb = double(products.bb);
    sums.rg = double(products.rg);
    sums.rb = double(products.rb);
    sums.gb = double(products.gb);
    double mseY = 0, mseCb = 0, mseCr = 0;
    QualityMetrics::channelMSE(sums, pixels, mseY, mseCb, mseCr);
    psnrY = QualityMetrics::psnr(mseY);
    psnrCb = QualityMetrics::psnr(mseCb);
    psnrCr = QualityMetrics::psnr(mseCr);
}

double CompressionResult::getPSNR_Y() const
{
    measureChannels();
    return psnrY;
}

double CompressionResult::getPSNR_Cb() const
{
    measureChannels();
    return psnrCb;
}

double CompressionResult::getPSNR_Cr() const
{
    measureChannels();
    return psnrCr;
}

void CompressionResult::measureSimilarity(bool ssimWanted, bool msSsimWanted,
                                          QualityMetrics::Workspace& workspace) const
{
    ssimWanted = ssimWanted && !ssimMeasured;
    msSsimWanted = msSsimWanted && !msSsimMeasured;
    if (!ssimWanted && !msSsimWanted)
        return;
    if (hasMaps()) {
        try {
            const QualityMetrics::Similarity s = QualityMetrics::measure(
                workspace, sourceImage->getRGB32Buffer(), compressedImage->getRGB32Buffer(),
                int(sourceImage->getWidth()), int(sourceImage->getHeight()), ssimWanted,
                msSsimWanted);
            if (ssimWanted)
                ssim = s.ssim;
            if (msSsimWanted)
                msSsim = s.msSsim;
        } catch (const std::bad_alloc&) {
            // Left n/a; the next request tries again.
            return;
        }
    }
    ssimMeasured = ssimMeasured || ssimWanted;
    msSsimMeasured = msSsimMeasured || msSsimWanted;
}

void CompressionResult::measure(FigureSet wanted, QualityMetrics::Workspace& workspace) const
{
    if (wanted.contains(Figure::PSNR_Y) || wanted.contains(Figure::PSNR_Cb) ||
        wanted.contains(Figure::PSNR_Cr))
        measureChannels();
    measureSimilarity(wanted.contains(Figure::SSIM), wanted.contains(Figure::MS_SSIM), workspace);
    if (wanted.contains(Figure::SSIMULACRA2))
        measureSsimulacra2(workspace);
    if (wanted.contains(Figure::Butteraugli) || wanted.contains(Figure::Butteraugli3Norm))
        measureButteraugli(false);
}

void CompressionResult::measureSsimulacra2(QualityMetrics::Workspace& workspace) const
{
    if (ssimulacra2Measured)
        return;
    if (hasMaps()) {
        try {
            const unsigned char* distorted = compressedImage->getRGB32Buffer();
            const Ssimulacra2::Reference* reference = sourceImage->ssimulacra2Reference();
            ssimulacra2 =
                reference ? Ssimulacra2::score(workspace.perceptual, *reference, distorted)
                          : Ssimulacra2::score(workspace.perceptual, sourceImage->getRGB32Buffer(),
                                               distorted, int(sourceImage->getWidth()),
                                               int(sourceImage->getHeight()));
        } catch (const std::bad_alloc&) {
            return; // left n/a; the next request tries again
        }
    }
    ssimulacra2Measured = true;
}

// The distances, and with `withMap` the heat picture of the distance map.
// A failure leaves the distances n/a for good: the library would fail again.
void CompressionResult::measureButteraugli(bool withMap) const
{
    if (withMap ? butteraugliMapTried : butteraugliMeasured)
        return;
    const bool firstTime = !butteraugliMeasured;
    butteraugliMeasured = true;
    butteraugliMapTried = butteraugliMapTried || withMap;
    if (!hasMaps())
        return;
    const int width = int(sourceImage->getWidth());
    const int height = int(sourceImage->getHeight());
    Butteraugli::Distances d;
    if (!Butteraugli::measure(sourceImage->getRGB32Buffer(), compressedImage->getRGB32Buffer(),
                              width, height, withMap, d)) {
        return;
    }
    if (firstTime) {
        butteraugli = d.max;
        butteraugli3Norm = d.norm3;
    }
    if (!withMap)
        return;
    std::unique_ptr<unsigned char[]> picture(
        new (std::nothrow) unsigned char[pixelCount(sourceImage) * 4]);
    if (!picture)
        return;
    // A fixed scale: 256 colours looked up rather than computed per pixel.
    std::uint32_t colours[256];
    for (int i = 0; i < 256; ++i)
        colours[i] = Butteraugli::heatColour(Butteraugli::HEAT_TOP * i / 255.0);
    auto* out = reinterpret_cast<std::uint32_t*>(picture.get());
    for (std::size_t p = 0; p < d.map.size(); ++p) {
        const double t = std::clamp(double(d.map[p]) / Butteraugli::HEAT_TOP, 0.0, 1.0);
        out[p] = colours[int(t * 255.0 + 0.5)];
    }
    butteraugliMap = std::move(picture);
}

double CompressionResult::getSSIMULACRA2() const
{
    if (!ssimulacra2Measured) {
        QualityMetrics::Workspace workspace;
        measureSsimulacra2(workspace);
    }
    return ssimulacra2;
}

double CompressionResult::getButteraugli() const
{
    measureButteraugli(false);
    return butteraugli;
}

double CompressionResult::getButteraugli3Norm() const
{
    measureButteraugli(false);
    return butteraugli3Norm;
}

unsigned char* CompressionResult::getButteraugliMap() const
{
    measureButteraugli(true);
    return butteraugliMap.get();
}

double CompressionResult::getSSIM() const
{
    if (!ssimMeasured) {
        QualityMetrics::Workspace workspace;
        measureSimilarity(true, !msSsimMeasured, workspace);
    }
    return ssim;
}

double CompressionResult::getMSSSIM() const
{
    if (!msSsimMeasured) {
        QualityMetrics::Workspace workspace;
        measureSimilarity(!ssimMeasured, true, workspace);
    }
    return msSsim;
}

double CompressionResult::figure(Figure which) const
{
    switch (which) {
    case Figure::CompressionRate:
        return compressionRate;
    case Figure::CompressionPercentage:
        return compressionPercentage;
    case Figure::BitRate:
        return bitRate;
    case Figure::MSE:
        return mse;
    case Figure::PSNR:
        return psnr;
    case Figure::PSNR_Y:
        return getPSNR_Y();
    case Figure::PSNR_Cb:
        return getPSNR_Cb();
    case Figure::PSNR_Cr:
        return getPSNR_Cr();
    case Figure::SSIM:
        return getSSIM();
    case Figure::MS_SSIM:
        return getMSSSIM();
    case Figure::SSIMULACRA2:
        return getSSIMULACRA2();
    case Figure::Butteraugli:
        return getButteraugli();
    case Figure::Butteraugli3Norm:
        return getButteraugli3Norm();
    }
    return std::nan("");
}

unsigned char* CompressionResult::getSSIMMap() const
{
    if (ssimMap || !hasMaps())
        return ssimMap.get();
    const int width = int(sourceImage->getWidth());
    const int height = int(sourceImage->getHeight());
    try {
        QualityMetrics::Workspace workspace;
        const std::vector<float> local =
            QualityMetrics::ssimMap(workspace, sourceImage->getRGB32Buffer(),
                                    compressedImage->getRGB32Buffer(), width, height);
        std::unique_ptr<unsigned char[]> picture(new unsigned char[pixelCount(sourceImage) * 4]);
        auto* out = reinterpret_cast<std::uint32_t*>(picture.get());
        constexpr int edge = QualityMetrics::WINDOW / 2;
        const int innerWidth = width - 2 * edge;
        // A fixed scale: 256 colours looked up rather than computed per pixel.
        std::uint32_t colours[256];
        for (int i = 0; i < 256; ++i)
            colours[i] =
                QualityMetrics::heatColour(1.0 - (1.0 - QualityMetrics::HEAT_FLOOR) * i / 255.0);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const bool inside = !local.empty() && x >= edge && x < width - edge && y >= edge &&
                                    y < height - edge;
                std::uint32_t colour = QualityMetrics::HEAT_NEUTRAL;
                if (inside) {
                    const float s = local[std::size_t(y - edge) * innerWidth + (x - edge)];
                    const double t =
                        std::clamp((1.0 - s) / (1.0 - QualityMetrics::HEAT_FLOOR), 0.0, 1.0);
                    colour = colours[int(t * 255.0 + 0.5)];
                }
                out[std::size_t(y) * width + x] = colour;
            }
        }
        ssimMap = std::move(picture);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return ssimMap.get();
}

unsigned char* CompressionResult::getAmplifiedDifference(int gain) const
{
    if (!hasMaps())
        return nullptr;
    if (amplified && amplifiedGain == gain)
        return amplified.get();
    const std::size_t pixels = pixelCount(sourceImage);
    if (!amplified) {
        amplified.reset(new (std::nothrow) unsigned char[pixels * 4]);
        if (!amplified)
            return nullptr;
    }
    const unsigned char* a = sourceImage->getRGB32Buffer();
    const unsigned char* b = compressedImage->getRGB32Buffer();
    unsigned char* out = amplified.get();
    for (std::size_t p = 0; p < pixels; ++p, a += 4, b += 4, out += 4) {
        for (int c = 0; c < 3; ++c)
            out[c] =
                static_cast<unsigned char>(std::min(255, std::abs(int(a[c]) - int(b[c])) * gain));
        out[3] = 255;
    }
    amplifiedGain = gain;
    return amplified.get();
}

ResultStat::ResultStat(const CompressionResult& result, FigureSet wanted)
    : mse(result.getMSE()), compressionPercentage(result.getCompressionPercentage()),
      compressionRate(result.getCompressionRate()), bitRate(result.getBitRate()),
      fileName(result.getFileName()), jpegBytes((unsigned long long)result.getCompressedSize())
{
    if (const Image* source = result.getSourceImage()) {
        width = source->getWidth();
        height = source->getHeight();
        sourceBytes = source->getImageSize();
    }
    for (int i = int(Figure::PSNR); i < FIGURE_COUNT; ++i) {
        if (wanted.contains(Figure(i)))
            *slot(Figure(i)) = result.figure(Figure(i));
    }
}

double* ResultStat::slot(Figure which)
{
    switch (which) {
    case Figure::CompressionRate:
        return &compressionRate;
    case Figure::CompressionPercentage:
        return &compressionPercentage;
    case Figure::BitRate:
        return &bitRate;
    case Figure::MSE:
        return &mse;
    case Figure::PSNR:
        return &psnr;
    case Figure::PSNR_Y:
        return &psnrY;
    case Figure::PSNR_Cb:
        return &psnrCb;
    case Figure::PSNR_Cr:
        return &psnrCr;
    case Figure::SSIM:
        return &ssim;
    case Figure::MS_SSIM:
        return &msSsim;
    case Figure::SSIMULACRA2:
        return &ssimulacra2;
    case Figure::Butteraugli:
        return &butteraugli;
    case Figure::Butteraugli3Norm:
        return &butteraugli3Norm;
    }
    return &msSsim;
}

double ResultStat::figure(Figure which) const
{
    return *const_cast<ResultStat*>(this)->slot(which);
}

CompressionResult::YCbCr CompressionResult::toYCbCr(unsigned char red, unsigned char green,
                                                    unsigned char blue)
{
    // The encoder's fixed-point conversion: coefficients with 16 fraction
    // bits, Y rounded to nearest, Cb and Cr offset by 128 and rounded with
    // ties going down. Every result lies within 0..255 by construction.
    constexpr long scale = 1L << 16;
    const auto fix = [](double x) { return long(x * scale + 0.5); };
    const long R = red, G = green, B = blue;
    const long half = scale / 2, offset = 128 * scale + half - 1;
    const long y = fix(0.29900) * R + fix(0.58700) * G + fix(0.11400) * B + half;
    const long cb = -fix(0.16874) * R - fix(0.33126) * G + fix(0.5) * B + offset;
    const long cr = fix(0.5) * R - fix(0.41869) * G - fix(0.08131) * B + offset;
    return {(unsigned char)(y >> 16), (unsigned char)(cb >> 16), (unsigned char)(cr >> 16)};
}

void CompressionResult::prepareComponentTables() const
{
    if (nchannels == 0 || components[0])
        return;
    const std::size_t pixels = pixelCount(compressedImage);
    // All three or none: an allocation that fails leaves nothing behind.
    std::unique_ptr<unsigned char[]> made[3];
    for (auto& component : made)
        component.reset(new unsigned char[pixels * 4]);
    const unsigned char* in = compressedImage->getRGB32Buffer();
    unsigned char* y = made[0].get();
    unsigned char* cb = made[1].get();
    unsigned char* cr = made[2].get();
    for (std::size_t p = 0; p < pixels; ++p, in += 4, y += 4, cb += 4, cr += 4) {
        const YCbCr value = toYCbCr(in[2], in[1], in[0]);
        y[0] = y[1] = y[2] = value.y;
        cb[0] = cb[1] = cb[2] = value.cb;
        cr[0] = cr[1] = cr[2] = value.cr;
        y[3] = cb[3] = cr[3] = 255;
    }
    for (int c = 0; c < 3; ++c)
        components[c] = std::move(made[c]);
}

void CompressionResult::prepareErrors() const
{
    if (errors || !hasMaps())
        return;
    const std::size_t pixels = pixelCount(sourceImage);
    // Both or neither, as for the components.
    std::unique_ptr<unsigned char[]> madeErrors(new unsigned char[pixels * 4]);
    std::unique_ptr<unsigned char[]> madeDifference(new unsigned char[pixels * 4]);
    const unsigned char* a = sourceImage->getRGB32Buffer();
    const unsigned char* b = compressedImage->getRGB32Buffer();
    unsigned char* diff = madeDifference.get();
    unsigned char* changed = madeErrors.get();
    for (std::size_t p = 0; p < pixels; ++p, a += 4, b += 4, diff += 4, changed += 4) {
        for (int c = 0; c < 4; ++c)
            diff[c] = static_cast<unsigned char>(255 - std::abs(int(a[c]) - int(b[c])));
        const unsigned char level = (a[0] == b[0] && a[1] == b[1] && a[2] == b[2]) ? 255 : 0;
        changed[0] = changed[1] = changed[2] = level;
        changed[3] = 255;
    }
    errors = std::move(madeErrors);
    colorDifference = std::move(madeDifference);
}

unsigned char* CompressionResult::getY_RGB32() const
{
    prepareComponentTables();
    return components[0].get();
}

unsigned char* CompressionResult::getCB_RGB32() const
{
    prepareComponentTables();
    return components[1].get();
}

unsigned char* CompressionResult::getCR_RGB32() const
{
    prepareComponentTables();
    return components[2].get();
}

unsigned char* CompressionResult::getErrors() const
{
    prepareErrors();
    return errors.get();
}

unsigned char* CompressionResult::getColorDifference() const
{
    prepareErrors();
    return colorDifference.get();
}
