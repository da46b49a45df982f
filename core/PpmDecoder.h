// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <FreeImage.h>

#include <cstddef>
#include <cstdint>

// Binary PPM files of the plainest kind ("P6", decimal sizes separated by
// white space, a maximum value of 255, one white-space byte, then the
// pixels) decoded straight from memory, without the general loader's
// byte-by-byte reads. Anything else is declined and left to the general
// loader, so that what it says about other files stays as it is.
namespace PpmDecoder {

struct Header
{
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // Where the pixels start.
    std::size_t offset = 0;
};

// The header of a plain binary PPM whose pixels are all present; false for
// anything else.
bool readHeader(const unsigned char* data, std::size_t size, Header& header);

// A new 24-bit bitmap with exactly the geometry and pixels that the general
// loader gives for the file whose header readHeader read, or null when
// memory runs out. The caller checks the header's size against its limits
// first.
FIBITMAP* decode(const unsigned char* data, const Header& header);

} // namespace PpmDecoder
