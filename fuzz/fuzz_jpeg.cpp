// SPDX-License-Identifier: GPL-3.0-or-later
// The limited JPEG decoder against the general loader's accurate JPEG load:
// whatever the input, a bitmap from the decoder must be exactly the one the
// general loader gives for the same bytes (size, bits, pitch, masks, palette,
// resolution and every byte of every row). What the decoder refuses is not
// given to the general loader, which crashes on some of it. Application
// segments other than JFIF and Adobe ones (which the library reads for the
// pixels) become comments before the comparison, as the general loader's
// metadata parsers are not what is compared here; the decoder also sees the
// input as it came.

#include "JpegDecoder.h"

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
        std::fprintf(stderr, "fuzz_jpeg: %s\n", what);
        std::abort();
    }
}

// The input with every APP1 to APP13 and APP15 marker turned into a comment
// marker, wherever it is: the library finds markers after garbage too, and
// outside entropy-coded data nothing else has these two bytes (inside it, a
// 0xFF is followed by 0 or a restart marker).
std::vector<std::uint8_t> withoutMetadata(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::uint8_t> file(data, data + size);
    for (std::size_t at = 0; at + 1 < size; ++at) {
        if (file[at] == 0xFF && file[at + 1] >= 0xE1 && file[at + 1] <= 0xEF &&
            file[at + 1] != 0xEE)
            file[at + 1] = 0xFE;
    }
    return file;
}

FIBITMAP* decoded(const std::uint8_t* data, std::size_t size)
{
    JpegDecoder jpeg(data, size);
    // Pictures of a few million pixels at most keep each run fast.
    if (!jpeg.accepted() || std::uint64_t(jpeg.getWidth()) * jpeg.getHeight() > (1u << 22))
        return nullptr;
    FIBITMAP* bitmap = jpeg.decode(std::uint64_t(1) << 30);
    if (bitmap) {
        check(FreeImage_GetWidth(bitmap) == jpeg.getWidth() &&
                  FreeImage_GetHeight(bitmap) == jpeg.getHeight() &&
                  FreeImage_GetBPP(bitmap) == jpeg.bitsPerPixel(),
              "not the header's size");
    }
    return bitmap;
}

void compare(const std::uint8_t* data, std::size_t size)
{
    FIBITMAP* own = decoded(data, size);
    if (!own)
        return;
    // FreeImage's memory stream only reads; the cast is its interface's.
    FIMEMORY* stream = FreeImage_OpenMemory(const_cast<BYTE*>(data), DWORD(size));
    FIBITMAP* general = FreeImage_LoadFromMemory(FIF_JPEG, stream, JPEG_ACCURATE);
    FreeImage_CloseMemory(stream);
    check(general != nullptr, "the general loader refuses a file the decoder takes");

    const unsigned height = FreeImage_GetHeight(own);
    const unsigned pitch = FreeImage_GetPitch(own);
    check(FreeImage_GetWidth(own) == FreeImage_GetWidth(general) &&
              height == FreeImage_GetHeight(general),
          "a different size");
    check(FreeImage_GetBPP(own) == FreeImage_GetBPP(general), "different bits per pixel");
    check(FreeImage_GetImageType(general) == FIT_BITMAP, "a different pixel type");
    check(pitch == FreeImage_GetPitch(general), "a different pitch");
    check(FreeImage_GetRedMask(own) == FreeImage_GetRedMask(general) &&
              FreeImage_GetGreenMask(own) == FreeImage_GetGreenMask(general) &&
              FreeImage_GetBlueMask(own) == FreeImage_GetBlueMask(general),
          "different colour masks");
    check(FreeImage_GetDotsPerMeterX(own) == FreeImage_GetDotsPerMeterX(general) &&
              FreeImage_GetDotsPerMeterY(own) == FreeImage_GetDotsPerMeterY(general),
          "a different resolution");
    check(FreeImage_GetColorsUsed(own) == FreeImage_GetColorsUsed(general), "another palette");
    if (FreeImage_GetColorsUsed(own) != 0) {
        check(std::memcmp(FreeImage_GetPalette(own), FreeImage_GetPalette(general),
                          FreeImage_GetColorsUsed(own) * sizeof(RGBQUAD)) == 0,
              "another palette");
    }
    const unsigned rowBytes = FreeImage_GetLine(own);
    for (unsigned y = 0; y < height; ++y) {
        check(std::memcmp(FreeImage_GetScanLine(own, int(y)),
                          FreeImage_GetScanLine(general, int(y)), rowBytes) == 0,
              "different pixels");
    }
    FreeImage_Unload(general);
    FreeImage_Unload(own);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool initialised = (FreeImage_Initialise(FALSE), true);
    (void)initialised;
    if (FIBITMAP* bitmap = decoded(data, size))
        FreeImage_Unload(bitmap);
    const std::vector<std::uint8_t> plain = withoutMetadata(data, size);
    compare(plain.data(), plain.size());
    return 0;
}
