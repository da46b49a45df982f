// SPDX-License-Identifier: GPL-3.0-or-later
// The decoder of plain binary PPM files against the general loader: whatever
// the bytes, a file the decoder takes must give exactly the picture that the
// general loader gives for it, geometry and every pixel byte.

#include "Image.h"
#include "PpmDecoder.h"

#include <FreeImage.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_ppm: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool initialised = (Image::initImage(), true);
    (void)initialised;
    PpmDecoder::Header header;
    if (!PpmDecoder::readHeader(data, size, header))
        return 0;
    check(std::uint64_t(header.width) * header.height * 3 <= size - header.offset,
          "a header whose pixels are not all there");
    // Large pictures are legal but slow every run down.
    if (std::uint64_t(header.width) * header.height > (1u << 20))
        return 0;
    FIBITMAP* ours = PpmDecoder::decode(data, header);
    check(ours != nullptr, "no picture from an accepted header");
    FIMEMORY* memory = FreeImage_OpenMemory(const_cast<std::uint8_t*>(data), DWORD(size));
    FIBITMAP* theirs = FreeImage_LoadFromMemory(FIF_PPMRAW, memory, 0);
    FreeImage_CloseMemory(memory);
    check(theirs != nullptr, "the general loader refuses an accepted file");
    check(FreeImage_GetWidth(ours) == FreeImage_GetWidth(theirs) &&
              FreeImage_GetHeight(ours) == FreeImage_GetHeight(theirs) &&
              FreeImage_GetBPP(ours) == FreeImage_GetBPP(theirs) &&
              FreeImage_GetPitch(ours) == FreeImage_GetPitch(theirs) &&
              FreeImage_GetImageType(ours) == FreeImage_GetImageType(theirs),
          "another geometry than the general loader's");
    const std::size_t row = std::size_t(FreeImage_GetWidth(ours)) * 3;
    for (unsigned y = 0; y < FreeImage_GetHeight(ours); ++y)
        check(std::memcmp(FreeImage_GetScanLine(ours, int(y)),
                          FreeImage_GetScanLine(theirs, int(y)), row) == 0,
              "other pixels than the general loader's");
    FreeImage_Unload(ours);
    FreeImage_Unload(theirs);
    return 0;
}
