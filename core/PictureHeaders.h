#pragma once

#include <FreeImage.h>

#include <cstdint>
#include <string>

// Guards around FreeImage loaders that trust their input too far.
namespace PictureHeaders {

// What the header of a picture file claims, read without decoding, for the
// formats whose loaders cannot be asked for the header alone and allocate the
// whole picture (and clear it) before they look at its data: GIF, DDS, SGI,
// IFF, XBM and WBMP. A few hundred bytes of such a file can claim gigabytes.
struct HeaderClaim
{
    bool known = false;  // the dimensions below were read
    bool broken = false; // the loader would hang or overrun its buffers
    std::uint64_t width = 0;
    std::uint64_t height = 0;
};

// Nothing is known for other formats, or when the header cannot be read; the
// loader then decides as before. For Targa files, which FreeImage can read
// header-only, only `broken` is found: look at it before FreeImage does, since
// its header-only load runs into the same faults.
HeaderClaim readClaim(FREE_IMAGE_FORMAT format, const std::string& path);

// Loads an XBM file. FreeImage's XBM reader does not notice the end of the
// file and loops for ever on one whose data stops short of its size; here it
// reads through a stream that, past the end, gives text that ends every
// loop, and such a file is refused. `truncated` tells whether that happened.
FIBITMAP* loadXbm(const std::string& path, int flags, bool& truncated);

} // namespace PictureHeaders
