// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

struct FIBITMAP;

// A fast decoder for the most common kind of PNG file: 8-bit RGB, not
// interlaced, without transparency or gamma. It inflates the whole image
// data at once (libdeflate) and undoes the row filters straight into a
// FreeImage bitmap.
//
// Contract: the bitmap it returns is identical to what FreeImage's own PNG
// loader gives for the same file with flags 0 (24 bits, bottom row first,
// FreeImage's colour order, its pitch, masks and resolution), or it declines
// and the caller loads the file through FreeImage as before. It takes only
// well-formed files whose every chunk checks out, so that FreeImage would
// have nothing to say about them either: anything unusual is declined.
//
// Thread-safe: nothing is shared between decoders.
class PngDecoder
{
public:
    // Looks at the file's chunks without inflating anything: the header, the
    // checksums, which chunks there are and where. `data` must outlive this
    // object.
    PngDecoder(const unsigned char* data, std::size_t size);

    // Whether the file is of the kind this decoder takes; its size is then
    // known and decode() may still decline (damaged image data).
    bool plain() const { return accepted; }
    std::uint32_t getWidth() const { return width; }
    std::uint32_t getHeight() const { return height; }

    // A new 24-bit bitmap, or null to decline. Never allocates more than
    // the image data and the picture that the header declares, and the
    // image data's size bounds those: a deflate stream cannot grow by more
    // than 1032 times.
    FIBITMAP* decode() const;

private:
    const unsigned char* data;
    std::size_t size;
    bool accepted = false;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // The image data: the offset of the first IDAT chunk's contents, and the
    // total of all their lengths.
    std::size_t firstData = 0;
    std::size_t dataBytes = 0;
    bool severalChunks = false;
    // From a pHYs chunk in metres (unit 1) before the image data; without
    // one the bitmap keeps FreeImage's default.
    bool inMetres = false;
    std::uint32_t dotsPerMeterX = 0;
    std::uint32_t dotsPerMeterY = 0;
};
