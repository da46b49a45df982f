// The fast decoder of plain PNG files against FreeImage's own PNG loader:
// whatever the input, a bitmap from the fast decoder must be exactly the one
// FreeImage gives for the same bytes (size, bits, pitch, masks, resolution
// and every byte of every row, padding included). Inputs it declines are
// FreeImage's business alone and are not loaded here. Its allocations are
// bounded by the input's size, which libFuzzer's memory limit checks.

#include "PngDecoder.h"

#include <FreeImage.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_png: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool initialised = (FreeImage_Initialise(FALSE), true);
    (void)initialised;

    const PngDecoder png(data, size);
    FIBITMAP* fast = png.decode();
    if (!fast)
        return 0;
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
    return 0;
}
