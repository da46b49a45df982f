// SPDX-License-Identifier: GPL-3.0-or-later
// The fast decoder of plain PNG files against FreeImage's own PNG loader:
// whatever the input, a bitmap from the fast decoder must be exactly the one
// FreeImage gives for the same bytes (size, bits, pitch, masks, resolution
// and every byte of every row, padding included). Inputs it declines are
// FreeImage's business alone and are not loaded here. Its allocations are
// bounded by the input's size, which libFuzzer's memory limit checks.
//
// Each input is tried three ways: as it is; with its chunks' CRCs made right,
// so that mutations reach past the checksums; and as the seed of a
// well-formed file built here (size, filters, pixels, split image data and
// extra chunks drawn from it), so that the row filters meet every kind of
// data.

#include "PngDecoder.h"

#include <FreeImage.h>
#include <libdeflate.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_png: %s\n", what);
        std::abort();
    }
}

std::uint32_t big32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

void putBig32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(std::uint8_t(value >> shift));
}

void putChunk(std::vector<std::uint8_t>& out, const char* type, const std::uint8_t* contents,
              std::size_t length)
{
    putBig32(out, std::uint32_t(length));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), contents, contents + length);
    putBig32(out, std::uint32_t(libdeflate_crc32(0, out.data() + start, length + 4)));
}

// The input with every chunk's CRC made right, as far as its chunks can be
// followed: a mutated file otherwise rarely gets past the first CRC check.
std::vector<std::uint8_t> withRightCrcs(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::uint8_t> file(data, data + size);
    for (std::size_t at = 8; at + 12 <= size;) {
        const std::uint32_t length = big32(data + at);
        if (length > size - at - 12)
            break;
        const std::uint32_t crc = std::uint32_t(libdeflate_crc32(0, data + at + 4, length + 4));
        for (int i = 0; i < 4; ++i)
            file[at + 8 + length + i] = std::uint8_t(crc >> (24 - 8 * i));
        at += 12 + std::size_t(length);
    }
    return file;
}

// A well-formed file made from the input: its first bytes choose the size,
// the compression level, how the image data is split and which extra chunks
// come before it; the rest fills the rows, filter bytes included (a few of
// them invalid), so that every filter meets every kind of neighbour.
std::vector<std::uint8_t> builtFrom(const std::uint8_t* data, std::size_t size)
{
    if (size < 6)
        return {};
    const std::uint32_t width = 1 + data[0] % 40, height = 1 + data[1] % 40;
    const int level = data[2] % 13;
    const std::size_t split = 1 + data[3] * 7u;
    const unsigned extras = data[4];
    data += 5;
    size -= 5;
    const std::size_t rowBytes = 1 + 3 * std::size_t(width);
    std::vector<std::uint8_t> raw(rowBytes * height);
    for (std::size_t i = 0; i < raw.size(); ++i)
        raw[i] = data[i % size];
    for (std::size_t y = 0; y < height; ++y)
        raw[y * rowBytes] %= (extras & 0x80) ? 6 : 5;

    std::vector<std::uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    putBig32(header, width);
    putBig32(header, height);
    header.insert(header.end(), {8, 2, 0, 0, 0});
    putChunk(file, "IHDR", header.data(), header.size());
    const std::uint8_t phys[9] = {0, 0, 0x0B, 0x13, 0, 0, 0x0E, 0xC4, std::uint8_t(extras & 1)};
    if (extras & 2)
        putChunk(file, "pHYs", phys, sizeof phys);
    if (extras & 4)
        putChunk(file, "sRGB", data, 1);
    if (extras & 8)
        putChunk(file, "tEXt", reinterpret_cast<const std::uint8_t*>("Title\0x"), 7);
    if (extras & 16)
        putChunk(file, "gAMA", data, std::min<std::size_t>(size, 4));
    if (extras & 32)
        putChunk(file, "tRNS", data, std::min<std::size_t>(size, 6));
    if (extras & 64)
        putChunk(file, "prVt", data, std::min<std::size_t>(size, 9));

    libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
    check(compressor != nullptr, "no compressor");
    std::vector<std::uint8_t> stream(libdeflate_zlib_compress_bound(compressor, raw.size()));
    stream.resize(
        libdeflate_zlib_compress(compressor, raw.data(), raw.size(), stream.data(), stream.size()));
    libdeflate_free_compressor(compressor);
    check(!stream.empty(), "compression failed");
    for (std::size_t at = 0; at < stream.size(); at += split)
        putChunk(file, "IDAT", stream.data() + at, std::min(split, stream.size() - at));
    putChunk(file, "IEND", nullptr, 0);
    return file;
}

void compare(const std::uint8_t* data, std::size_t size)
{
    const PngDecoder png(data, size);
    FIBITMAP* fast = png.decode();
    if (!fast)
        return;
    check(png.plain(), "a bitmap from a file the decoder did not take");

    // FreeImage's memory stream only reads; the cast is its interface's.
    FIMEMORY* stream = FreeImage_OpenMemory(const_cast<BYTE*>(data), DWORD(size));
    FIBITMAP* general = FreeImage_LoadFromMemory(FIF_PNG, stream, 0);
    FreeImage_CloseMemory(stream);
    check(general != nullptr, "FreeImage refuses a file the fast decoder takes");

    const unsigned width = FreeImage_GetWidth(fast);
    const unsigned height = FreeImage_GetHeight(fast);
    const unsigned pitch = FreeImage_GetPitch(fast);
    check(width == png.getWidth() && height == png.getHeight(), "not the header's size");
    check(width == FreeImage_GetWidth(general) && height == FreeImage_GetHeight(general),
          "a different size");
    check(FreeImage_GetBPP(fast) == 24 && FreeImage_GetBPP(general) == 24, "not 24 bits");
    check(FreeImage_GetImageType(general) == FIT_BITMAP, "a different pixel type");
    check(pitch == FreeImage_GetPitch(general), "a different pitch");
    check(FreeImage_GetRedMask(fast) == FreeImage_GetRedMask(general) &&
              FreeImage_GetGreenMask(fast) == FreeImage_GetGreenMask(general) &&
              FreeImage_GetBlueMask(fast) == FreeImage_GetBlueMask(general),
          "different colour masks");
    check(FreeImage_GetDotsPerMeterX(fast) == FreeImage_GetDotsPerMeterX(general) &&
              FreeImage_GetDotsPerMeterY(fast) == FreeImage_GetDotsPerMeterY(general),
          "a different resolution");
    check(!FreeImage_HasBackgroundColor(general) && !FreeImage_IsTransparent(general),
          "FreeImage found a background colour or transparency");
    for (unsigned y = 0; y < height; ++y) {
        check(std::memcmp(FreeImage_GetScanLine(fast, int(y)),
                          FreeImage_GetScanLine(general, int(y)), pitch) == 0,
              "different pixels");
    }
    FreeImage_Unload(general);
    FreeImage_Unload(fast);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool initialised = (FreeImage_Initialise(FALSE), true);
    (void)initialised;
    compare(data, size);
    const std::vector<std::uint8_t> mended = withRightCrcs(data, size);
    compare(mended.data(), mended.size());
    const std::vector<std::uint8_t> built = builtFrom(data, size);
    compare(built.data(), built.size());
    return 0;
}
