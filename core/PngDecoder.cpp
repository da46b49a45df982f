// SPDX-License-Identifier: GPL-3.0-or-later
#include "PngDecoder.h"

#include <FreeImage.h>
#include <libdeflate.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// FreeImage keeps 24-bit pixels blue-green-red on little-endian machines;
// the row filters below write PNG's red-green-blue in that order.
static_assert(FI_RGBA_RED == 2 && FI_RGBA_GREEN == 1 && FI_RGBA_BLUE == 0,
              "24-bit pixels are expected blue-green-red");

constexpr unsigned char SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// Chunk lengths and picture sides are at most 2^31 - 1; libpng refuses
// sides over a million unless told otherwise.
constexpr std::uint32_t MAX_LENGTH = 0x7FFFFFFFu;
constexpr std::uint32_t MAX_SIDE = 1000000;
// The most a deflate stream can grow: a 258-byte match in two bits.
constexpr std::uint64_t MAX_INFLATION = 1032;

std::uint32_t big32(const unsigned char* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

bool isLetter(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool named(const unsigned char* type, const char* name)
{
    return std::memcmp(type, name, 4) == 0;
}

// Ancillary chunks that change what FreeImage makes of the pixels or the
// bitmap: gamma correction, transparency (a 32-bit bitmap), the background
// colour; and the frames of an animation.
bool changesThePicture(const unsigned char* type)
{
    for (const char* name : {"gAMA", "tRNS", "bKGD", "acTL", "fcTL", "fdAT"}) {
        if (named(type, name))
            return true;
    }
    return false;
}

struct DecompressorDeleter
{
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// One decompressor per call: it is a few tables, where the picture is
// megabytes.
using Decompressor = std::unique_ptr<libdeflate_decompressor, DecompressorDeleter>;

// Undoing the row filters. Each predicts a byte from the same byte of the
// pixel to the left (a), of the pixel above (b) and of the one above-left
// (c); the filtered byte is the difference, modulo 256. `in` is a row of
// filtered red-green-blue samples, `above` the previous row already undone
// in the bitmap's blue-green-red order (zeros for the first row), `out` the
// bitmap's row. Writes exactly 3 * width bytes; reads as many of `above`
// and one more of `in`.
#if defined(__SSE2__)

// One pixel's three samples in the low three 16-bit lanes; the fourth lane
// gets whatever byte follows, which no result depends on.
__m128i loadPixel(const unsigned char* p)
{
    int v;
    std::memcpy(&v, p, 4);
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(v), _mm_setzero_si128());
}

// The same for the last pixel of a bitmap row, after which there may be
// no memory.
__m128i loadLastPixel(const unsigned char* p)
{
    const int v = int(std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16);
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(v), _mm_setzero_si128());
}

// Writes four bytes: the fourth is the next pixel's, written after.
void storePixel(unsigned char* p, __m128i pixel)
{
    const int v = _mm_cvtsi128_si32(_mm_packus_epi16(pixel, pixel));
    std::memcpy(p, &v, 4);
}

void storeLastPixel(unsigned char* p, __m128i pixel)
{
    const auto v = std::uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(pixel, pixel)));
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
}

__m128i absolute(__m128i x)
{
    return _mm_max_epi16(x, _mm_sub_epi16(_mm_setzero_si128(), x));
}

// Filters run along the row with the previous pixel's result as `a`, a
// chain that no vectoriser breaks; each pixel's three samples go side by
// side in one register instead. `in` may be read one byte past its row.
// Predictions are samples, the high byte of each lane zero, so that adding
// bytewise is the sum modulo 256 with the high byte still zero.
template <typename Predict>
void undoRow(const unsigned char* in, const unsigned char* above, unsigned char* out,
             std::uint32_t width, Predict predict)
{
    __m128i a = _mm_setzero_si128();
    __m128i c = _mm_setzero_si128();
    // Red-green-blue to blue-green-red.
    const auto filtered = [](const unsigned char* p) {
        return _mm_shufflelo_epi16(loadPixel(p), _MM_SHUFFLE(3, 0, 1, 2));
    };
    for (std::uint32_t x = 1; x < width; ++x, in += 3, above += 3, out += 3) {
        const __m128i b = loadPixel(above);
        a = _mm_add_epi8(filtered(in), predict(a, b, c));
        storePixel(out, a);
        c = b;
    }
    const __m128i b = loadLastPixel(above);
    storeLastPixel(out, _mm_add_epi8(filtered(in), predict(a, b, c)));
}

bool undoFilter(unsigned filter, const unsigned char* in, const unsigned char* above,
                unsigned char* out, std::uint32_t width)
{
    switch (filter) {
    case 0: // None
        undoRow(in, above, out, width,
                [](__m128i, __m128i, __m128i) { return _mm_setzero_si128(); });
        return true;
    case 1: // Sub
        undoRow(in, above, out, width, [](__m128i a, __m128i, __m128i) { return a; });
        return true;
    case 2: // Up
        undoRow(in, above, out, width, [](__m128i, __m128i b, __m128i) { return b; });
        return true;
    case 3: // Average, of the left and upper samples rounded down
        undoRow(in, above, out, width, [](__m128i a, __m128i b, __m128i) {
            return _mm_srli_epi16(_mm_add_epi16(a, b), 1);
        });
        return true;
    case 4: // Paeth: whichever of a, b, c is nearest a + b - c, ties in that order
        undoRow(in, above, out, width, [](__m128i a, __m128i b, __m128i c) {
            const __m128i bc = _mm_sub_epi16(b, c);
            const __m128i ac = _mm_sub_epi16(a, c);
            const __m128i pa = absolute(bc);
            const __m128i pb = absolute(ac);
            const __m128i pc = absolute(_mm_add_epi16(ac, bc));
            // Comparisons straight from the distances keep the chain from
            // one pixel to the next short.
            const __m128i notA = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
            const __m128i notB = _mm_cmpgt_epi16(pb, pc);
            const __m128i bOrC = _mm_or_si128(_mm_and_si128(notB, c), _mm_andnot_si128(notB, b));
            return _mm_or_si128(_mm_and_si128(notA, bOrC), _mm_andnot_si128(notA, a));
        });
        return true;
    default:
        return false;
    }
}

#else

int paeth(int a, int b, int c)
{
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

bool undoFilter(unsigned filter, const unsigned char* in, const unsigned char* above,
                unsigned char* out, std::uint32_t width)
{
    if (filter > 4)
        return false;
    int a[3] = {0, 0, 0}, c[3] = {0, 0, 0};
    for (std::uint32_t x = 0; x < width; ++x, in += 3, above += 3, out += 3) {
        for (int i = 0; i < 3; ++i) {
            const int b = above[i];
            const int predicted = filter == 1   ? a[i]
                                  : filter == 2 ? b
                                  : filter == 3 ? (a[i] + b) >> 1
                                  : filter == 4 ? paeth(a[i], b, c[i])
                                                : 0;
            a[i] = (in[2 - i] + predicted) & 0xFF;
            out[i] = static_cast<unsigned char>(a[i]);
            c[i] = b;
        }
    }
    return true;
}

#endif

} // namespace

PngDecoder::PngDecoder(const unsigned char* bytes, std::size_t length) : data(bytes), size(length)
{
    if (size < sizeof SIGNATURE || std::memcmp(data, SIGNATURE, sizeof SIGNATURE) != 0)
        return;
    enum { BeforeData, InData, AfterData } stage = BeforeData;
    bool resolutionSeen = false;
    std::size_t at = sizeof SIGNATURE;
    while (at < size) {
        if (size - at < 12)
            return;
        const std::uint32_t length = big32(data + at);
        const unsigned char* type = data + at + 4;
        const unsigned char* contents = data + at + 8;
        if (length > MAX_LENGTH || length > size - at - 12)
            return;
        // Letters only, the reserved third one upper case.
        if (!isLetter(type[0]) || !isLetter(type[1]) || !(type[2] >= 'A' && type[2] <= 'Z') ||
            !isLetter(type[3]))
            return;
        if (libdeflate_crc32(0, type, length + 4) != big32(contents + length))
            return;
        const bool first = at == sizeof SIGNATURE;
        at += 12 + std::size_t(length);
        if (first != named(type, "IHDR"))
            return;
        if (first) {
            if (length != 13)
                return;
            width = big32(contents);
            height = big32(contents + 4);
            // 8 bits, colour type 2 (RGB), deflate, adaptive filters, no interlace.
            if (width == 0 || height == 0 || width > MAX_SIDE || height > MAX_SIDE ||
                std::memcmp(contents + 8, "\x08\x02\x00\x00\x00", 5) != 0)
                return;
        } else if (named(type, "IDAT")) {
            if (stage == AfterData)
                return; // image data must be one run of chunks
            if (stage == BeforeData)
                firstData = std::size_t(contents - data);
            else
                severalChunks = true;
            stage = InData;
            dataBytes += length;
        } else if (named(type, "IEND")) {
            // The last chunk, empty, after the image data, and the end of the file.
            if (length != 0 || stage == BeforeData || at != size)
                return;
            const std::uint64_t rowBytes = 1 + 3 * std::uint64_t(width);
            accepted = rowBytes * height <= std::uint64_t(dataBytes) * MAX_INFLATION;
            return;
        } else {
            if (stage == InData)
                stage = AfterData;
            // Critical chunks other than the three above, PLTE among them, and
            // ancillary ones that change the picture are left to FreeImage.
            if ((type[0] >= 'A' && type[0] <= 'Z') || changesThePicture(type))
                return;
            // The first well-formed resolution before the image data counts.
            if (named(type, "pHYs") && length == 9 && stage == BeforeData && !resolutionSeen) {
                resolutionSeen = true;
                if (contents[8] == 1) {
                    inMetres = true;
                    dotsPerMeterX = big32(contents);
                    dotsPerMeterY = big32(contents + 4);
                }
            }
        }
    }
}

FIBITMAP* PngDecoder::decode() const
{
    if (!accepted)
        return nullptr;
    const std::size_t rowBytes = 1 + 3 * std::size_t(width);
    const std::size_t rawBytes = rowBytes * height;
    // The inflated rows, and the image data joined into one stream when it
    // comes in several chunks.
    // One byte more, which the filters may read past the last row.
    const std::unique_ptr<unsigned char[]> scratch(
        new (std::nothrow) unsigned char[rawBytes + 1 + (severalChunks ? dataBytes : 0)]);
    const Decompressor decompressor(libdeflate_alloc_decompressor());
    unsigned char* raw = scratch.get();
    if (!raw || !decompressor)
        return nullptr;
    raw[rawBytes] = 0;
    const unsigned char* stream = data + firstData;
    if (severalChunks) {
        unsigned char* joined = raw + rawBytes + 1;
        for (std::size_t at = firstData - 8, done = 0; done < dataBytes;) {
            const std::uint32_t length = big32(data + at);
            std::memcpy(joined + done, data + at + 8, length);
            done += length;
            at += 12 + std::size_t(length);
        }
        stream = joined;
    }
    // The zlib header names the window the encoder kept. libdeflate does not
    // hold a stream to it; zlib refuses distances beyond it. Only a picture
    // smaller than the window cannot tell the difference.
    if (dataBytes < 2)
        return nullptr;
    const unsigned window = stream[0] >> 4;
    if (window < 7 && rawBytes > std::size_t(256) << window)
        return nullptr;
    // Exactly the picture's rows, the whole stream, its Adler-32 checked.
    std::size_t used = 0, produced = 0;
    if (libdeflate_zlib_decompress_ex(decompressor.get(), stream, dataBytes, raw, rawBytes, &used,
                                      &produced) != LIBDEFLATE_SUCCESS ||
        used != dataBytes || produced != rawBytes)
        return nullptr;

    FIBITMAP* bitmap = FreeImage_Allocate(int(width), int(height), 24, FI_RGBA_RED_MASK,
                                          FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK);
    if (!bitmap)
        return nullptr;
    // The first row is filtered against a row of zeros; the others against
    // the row before, which the bitmap holds one scan line up (bottom-up).
    const std::vector<unsigned char> zeros(3 * std::size_t(width), 0);
    const unsigned char* above = zeros.data();
    for (std::uint32_t y = 0; y < height; ++y) {
        const unsigned char* row = raw + y * rowBytes;
        unsigned char* out = FreeImage_GetScanLine(bitmap, int(height - 1 - y));
        if (!undoFilter(row[0], row + 1, above, out, width)) {
            FreeImage_Unload(bitmap);
            return nullptr;
        }
        above = out;
    }
    if (inMetres) {
        FreeImage_SetDotsPerMeterX(bitmap, dotsPerMeterX);
        FreeImage_SetDotsPerMeterY(bitmap, dotsPerMeterY);
    }
    return bitmap;
}
