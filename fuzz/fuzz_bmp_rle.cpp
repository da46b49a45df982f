// SPDX-License-Identifier: GPL-3.0-or-later
// The expansion of run-length coded BMP files: whatever the bytes, an
// expanded file has the plain rows its header promises; the general loader
// reads it, if at all, as a picture of the header's sides and depth; and a
// 4-bit file, which the general loader also decodes itself, gives the same
// pixels both ways.

#include "BmpRle.h"
#include "Image.h"

#include <FreeImage.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_bmp_rle: %s\n", what);
        std::abort();
    }
}

std::uint32_t little32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

FIBITMAP* loaded(const std::uint8_t* data, std::size_t size)
{
    FIMEMORY* memory = FreeImage_OpenMemory(const_cast<std::uint8_t*>(data), DWORD(size));
    FIBITMAP* bitmap = FreeImage_LoadFromMemory(FIF_BMP, memory, 0);
    FreeImage_CloseMemory(memory);
    return bitmap;
}

bool samePixels(FIBITMAP* a, FIBITMAP* b)
{
    const unsigned width = FreeImage_GetWidth(a), height = FreeImage_GetHeight(a);
    if (width != FreeImage_GetWidth(b) || height != FreeImage_GetHeight(b) ||
        FreeImage_GetBPP(a) != FreeImage_GetBPP(b))
        return false;
    const unsigned bytes = (width * FreeImage_GetBPP(a) + 7) / 8;
    for (unsigned y = 0; y < height; ++y)
        if (std::memcmp(FreeImage_GetScanLine(a, int(y)), FreeImage_GetScanLine(b, int(y)), bytes))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool initialised = (Image::initImage(), true);
    (void)initialised;
    // Large pictures are legal but slow every run down.
    if (size >= 54 && std::uint64_t(little32(data + 18)) * little32(data + 22) > (1u << 22))
        return 0;
    std::vector<unsigned char> out;
    if (BmpRle::expand(data, size, out) != BmpRle::Outcome::Expanded) {
        check(out.empty(), "a refused file leaves output behind");
        return 0;
    }
    const std::uint32_t width = little32(data + 18), height = little32(data + 22);
    const unsigned bits = data[28];
    const std::uint64_t stride = (std::uint64_t(width) * bits + 31) / 32 * 4;
    check(out.size() == little32(data + 10) + stride * height, "rows of the wrong size");
    check(little32(out.data() + 30) == 0 && little32(out.data() + 2) == out.size(),
          "headers not made plain");
    // The general loader may still refuse the file for its other fields
    // (no planes, say): the load then fails, as it should.
    FIBITMAP* ours = loaded(out.data(), out.size());
    if (!ours)
        return 0;
    check(FreeImage_GetWidth(ours) == width && FreeImage_GetHeight(ours) == height &&
              FreeImage_GetBPP(ours) == bits,
          "the general loader reads the expanded file otherwise than its header says");
    if (bits == 4) {
        FIBITMAP* theirs = loaded(data, size);
        check(!theirs || samePixels(ours, theirs), "4-bit pixels differ from the general loader's");
        FreeImage_Unload(theirs);
    }
    FreeImage_Unload(ours);
    return 0;
}
