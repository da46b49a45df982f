#include "CompressionResult.h"

#include "Image.h"
#include "QualityMetrics.h"

#include <QFile>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <new>

namespace {

bool hasPixels(const Image* image)
{
    return image && image->getRGB32Buffer();
}

std::size_t pixelCount(const Image* image)
{
    return std::size_t(image->getWidth()) * std::size_t(image->getHeight());
}

unsigned char clampByte(double value)
{
    // Truncation toward zero, then limited to 0..255.
    const long truncated = static_cast<long>(value);
    return static_cast<unsigned char>(std::clamp(truncated, 0L, 255L));
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

void CompressionResult::computeMSE()
{
    if (!hasMaps())
        return;
    const std::size_t pixels = pixelCount(sourceImage);
    const unsigned char* a = sourceImage->getRGB32Buffer();
    const unsigned char* b = compressedImage->getRGB32Buffer();
    // Every byte of every pixel, the fourth included, divided by three values
    // per pixel. Beside it the sums of the products of the red, green and
    // blue differences, from which the mean square errors of Y, Cb and Cr
    // follow exactly. Blocks of a fixed 16 pixels let the compiler vectorise
    // the inner loop; their 32-bit partial sums cannot overflow.
    std::uint64_t sum = 0;
    std::int64_t rr = 0, gg = 0, bb = 0, rg = 0, rb = 0, gb = 0;
    constexpr std::size_t block = 16;
    auto addPixels = [&](std::size_t from, std::size_t to) {
        std::int32_t pAll = 0, pRR = 0, pGG = 0, pBB = 0, pRG = 0, pRB = 0, pGB = 0;
        for (std::size_t p = from; p < to; ++p) {
            const unsigned char* x = a + 4 * p;
            const unsigned char* y = b + 4 * p;
            const std::int32_t dB = std::int32_t(x[0]) - std::int32_t(y[0]);
            const std::int32_t dG = std::int32_t(x[1]) - std::int32_t(y[1]);
            const std::int32_t dR = std::int32_t(x[2]) - std::int32_t(y[2]);
            const std::int32_t dX = std::int32_t(x[3]) - std::int32_t(y[3]);
            pRR += dR * dR;
            pGG += dG * dG;
            pBB += dB * dB;
            pRG += dR * dG;
            pRB += dR * dB;
            pGB += dG * dB;
            pAll += dX * dX;
        }
        sum += std::uint64_t(pAll) + std::uint64_t(pRR) + std::uint64_t(pGG) + std::uint64_t(pBB);
        rr += pRR;
        gg += pGG;
        bb += pBB;
        rg += pRG;
        rb += pRB;
        gb += pGB;
    };
    std::size_t p = 0;
    for (; p + block <= pixels; p += block)
        addPixels(p, p + block);
    addPixels(p, pixels);
    mse = double(sum) / (double(pixels) * nchannels);

    QualityMetrics::DifferenceSums sums;
    sums.rr = double(rr);
    sums.gg = double(gg);
    sums.bb = double(bb);
    sums.rg = double(rg);
    sums.rb = double(rb);
    sums.gb = double(gb);
    double mseY = 0, mseCb = 0, mseCr = 0;
    QualityMetrics::channelMSE(sums, pixels, mseY, mseCb, mseCr);
    psnr = QualityMetrics::psnr(mse);
    psnrY = QualityMetrics::psnr(mseY);
    psnrCb = QualityMetrics::psnr(mseCb);
    psnrCr = QualityMetrics::psnr(mseCr);
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
    measureSimilarity(wanted.contains(Figure::SSIM), wanted.contains(Figure::MS_SSIM), workspace);
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
        return psnrY;
    case Figure::PSNR_Cb:
        return psnrCb;
    case Figure::PSNR_Cr:
        return psnrCr;
    case Figure::SSIM:
        return getSSIM();
    case Figure::MS_SSIM:
        return getMSSSIM();
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
            colours[i] = QualityMetrics::heatColour(
                1.0 - (1.0 - QualityMetrics::HEAT_FLOOR) * i / 255.0);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const bool inside = !local.empty() && x >= edge && x < width - edge &&
                                    y >= edge && y < height - edge;
                std::uint32_t colour = QualityMetrics::HEAT_NEUTRAL;
                if (inside) {
                    const float s = local[std::size_t(y - edge) * innerWidth + (x - edge)];
                    const double t = std::clamp((1.0 - s) / (1.0 - QualityMetrics::HEAT_FLOOR),
                                                0.0, 1.0);
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
            out[c] = static_cast<unsigned char>(std::min(255, std::abs(int(a[c]) - int(b[c])) * gain));
        out[3] = 255;
    }
    amplifiedGain = gain;
    return amplified.get();
}

ResultStat::ResultStat(const CompressionResult& result, FigureSet wanted)
    : mse(result.getMSE()), compressionPercentage(result.getCompressionPercentage()),
      compressionRate(result.getCompressionRate()), bitRate(result.getBitRate()),
      fileName(result.getFileName()),
      jpegBytes((unsigned long long)result.getCompressedSize())
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
    const double R = red, G = green, B = blue;
    return {clampByte(0.2989 * R + 0.5866 * G + 0.1145 * B),
            clampByte(-0.1687 * R - 0.3312 * G + 0.5 * B + 127.5),
            clampByte(0.5 * R - 0.4183 * G - 0.0816 * B + 127.5)};
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
