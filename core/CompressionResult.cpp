#include "CompressionResult.h"

#include "Image.h"

#include <QFile>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <utility>

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
    const std::size_t bytes = pixelCount(sourceImage) * 4;
    const unsigned char* a = sourceImage->getRGB32Buffer();
    const unsigned char* b = compressedImage->getRGB32Buffer();
    // Every byte of every pixel, the fourth included; divided by three values
    // per pixel. Blocks of a fixed 64 bytes let the compiler vectorise the
    // inner loop; their 32-bit partial sums cannot overflow.
    std::uint64_t sum = 0;
    constexpr std::size_t block = 64;
    std::size_t i = 0;
    for (; i + block <= bytes; i += block) {
        std::uint32_t partial = 0;
        for (std::size_t k = 0; k < block; ++k) {
            const std::int32_t d = std::int32_t(a[i + k]) - std::int32_t(b[i + k]);
            partial += std::uint32_t(d * d);
        }
        sum += partial;
    }
    for (; i < bytes; ++i) {
        const std::int32_t d = std::int32_t(a[i]) - std::int32_t(b[i]);
        sum += std::uint32_t(d * d);
    }
    mse = double(sum) / (double(pixelCount(sourceImage)) * nchannels);
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
        const double B = in[0], G = in[1], R = in[2];
        const unsigned char Y = clampByte(0.2989 * R + 0.5866 * G + 0.1145 * B);
        const unsigned char Cb = clampByte(-0.1687 * R - 0.3312 * G + 0.5 * B + 127.5);
        const unsigned char Cr = clampByte(0.5 * R - 0.4183 * G - 0.0816 * B + 127.5);
        y[0] = y[1] = y[2] = Y;
        cb[0] = cb[1] = cb[2] = Cb;
        cr[0] = cr[1] = cr[2] = Cr;
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
