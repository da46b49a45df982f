// SPDX-License-Identifier: GPL-3.0-or-later
// The compressor's decoder of its own JPEGs, fed arbitrary bytes from memory:
// the fast road straight to 32 bits and, for anything it refuses, the
// general JPEG decoder over a memory stream. Whatever the bytes, the outcome
// is a whole picture within the loader's limits or no picture with a reason.

#include "Image.h"

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_encoded_jpeg: %s\n", what);
        std::abort();
    }
}

// Reads every byte, so that a short buffer shows under the sanitizers.
volatile unsigned sink = 0;
void readAll(const unsigned char* pixels, std::size_t bytes)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < bytes; ++i)
        sum += pixels[i];
    sink = sink + sum;
}

// Pictures of more than a megapixel within the loader's limits are legal but
// make every run slow. Claims beyond the limits stay in: those must be
// refused before any pixel is decoded.
bool claimsTooManyPixels(const std::uint8_t* data, std::size_t size)
{
    for (std::size_t i = 0; i + 8 < size; ++i) {
        // A start-of-frame marker: FF C0..C3, C5..C7, C9..CB, CD..CF.
        const std::uint8_t marker = data[i + 1];
        if (data[i] != 0xFF || marker < 0xC0 || marker > 0xCF || marker == 0xC4 || marker == 0xC8 ||
            marker == 0xCC)
            continue;
        const unsigned height = unsigned(data[i + 5]) << 8 | data[i + 6];
        const unsigned width = unsigned(data[i + 7]) << 8 | data[i + 8];
        const std::uint64_t pixels = std::uint64_t(width) * height;
        if (pixels > (1u << 20) && width <= Image::MAX_SIDE && height <= Image::MAX_SIDE &&
            pixels <= Image::MAX_PIXELS)
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool initialised = (Image::initImage(), true);
    (void)initialised;
    if (claimsTooManyPixels(data, size))
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::unique_ptr<Image> image(Image::loadEncodedJpeg(bytes));
    check(image != nullptr, "no image object");
    if (!image->getRGB32Buffer()) {
        check(!image->getRGB24Buffer() && image->getWidth() == 0 && image->getHeight() == 0,
              "half a picture");
        check(!image->getLoadMessage().isEmpty(), "a refused stream without a reason");
        return 0;
    }
    const unsigned width = image->getWidth();
    const unsigned height = image->getHeight();
    check(width > 0 && height > 0 && width <= Image::MAX_SIDE && height <= Image::MAX_SIDE,
          "a picture outside the loader's limits");
    check(image->getImageSize() == size, "the stream size is wrong");
    check(image->getFilePath().empty(), "a stream with a file name");
    readAll(image->getRGB32Buffer(), std::size_t(width) * height * 4);
    check(image->getRGB24Buffer() != nullptr, "no 24-bit copy");
    readAll(image->getRGB24Buffer(), std::size_t(image->getRGB24Pitch()) * height);
    return 0;
}
