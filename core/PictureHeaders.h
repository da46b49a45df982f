// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <FreeImage.h>

#include <cstdint>
#include <string>
#include <vector>

// Guards around FreeImage loaders that trust their input too far.
namespace PictureHeaders {

// What the header of a picture file claims, read without decoding:
// - for the formats whose loaders cannot be asked for the header alone and
//   allocate the whole picture (and clear it) before they look at its data:
//   GIF, DDS, SGI, IFF, XBM, WBMP, JPEG 2000 (codestream and JP2 file);
// - for formats whose header-only load is not enough: PNM (whose loader reads
//   "-5" as 5 and 4294967295 as a wrapped-around size), PCX (whose loader
//   trusts the bytes per line), OpenEXR (whose loader never returns from a
//   header cut short) and Radiance HDR;
// - whether BMP, PNM, PCX, Targa (plain or run-length coded), Photoshop and
//   icon files hold as many bytes of pixels as the header declares: their
//   loaders hand back the missing part as whatever their buffers held,
//   different from run to run (the Photoshop loader crashes); whether the
//   colour map and sample sizes of a TIFF file are all there.
// A few hundred bytes of such a file can claim gigabytes.
struct HeaderClaim
{
    bool known = false;     // the dimensions below were read
    bool broken = false;    // inconsistent: the loader would hang, overrun or misread
    bool truncated = false; // the file ends before the pixels the header declares
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    // Bytes per pixel the decoder holds on top of the picture it hands back
    // (JPEG 2000: a 32-bit plane per component; OpenEXR: a half-float copy).
    std::uint64_t workingBytesPerPixel = 0;
};

// Nothing is known for other formats, or when the header cannot be read; the
// loader then decides as before. For Targa files, which FreeImage can read
// header-only, only `broken` and `truncated` are found: look at them before
// FreeImage does, since its header-only load runs into the same faults.
HeaderClaim readClaim(FREE_IMAGE_FORMAT format, const std::string& path);

// FreeImage_GetFileType and FreeImage_Load through a reader that hands out
// zeros past the end of the file, where FreeImage's own would leave the
// caller's buffer as it was: some of its readers never check how much they
// got, and decided on uninitialised memory for files shorter than they
// expected.
FREE_IMAGE_FORMAT fileType(const std::string& path);

// A file read whole into memory, for the readers that decode from memory;
// empty when it cannot be read or is larger than any picture it could hold
// needs.
class WholeFile
{
public:
    explicit WholeFile(const std::string& path);
    WholeFile(const WholeFile&) = delete;
    WholeFile& operator=(const WholeFile&) = delete;

    const unsigned char* data() const { return bytes.data(); }
    std::size_t size() const { return bytes.size(); }
    bool empty() const { return bytes.empty(); }

private:
    std::vector<unsigned char> bytes;
};

// Whether a chunk of the PNG file in `whole` claims more bytes than the file
// has left: the general loader would allocate what it claims (gigabytes for
// a few bytes) before it finds out.
bool pngChunkPastEnd(const WholeFile& whole);

// A BMP file whose information header is of the later, longer kinds (108
// or 124 bytes: what most programs write today) made over with the 40-byte
// header that FreeImage reads, the colour masks of BI_BITFIELDS after it
// and the palette and pixels unchanged; empty for any other file, and for
// one whose header or pixel offset does not fit in it. FreeImage refuses
// the longer headers as an invalid format.
std::vector<unsigned char> bmpWithShortHeader(const unsigned char* data, std::size_t size);

// Loads through the guarded reader, from `whole` when it holds the file;
// else the files of the plain formats are read whole here first. A BMP file
// is handed over as bmpWithShortHeader() makes it, where it makes one, and
// with its run-length rows expanded (BmpRle) when pixels are wanted; one
// whose runs are damaged is refused (null).
FIBITMAP* load(FREE_IMAGE_FORMAT format, const std::string& path, int flags,
               const WholeFile* whole = nullptr);

// The formats whose files are small, plain pixel data (BMP, Targa, the
// portable maps): `load` reads them whole and hands them out from memory, and
// their decoders keep all their state in the load's own objects.
bool plainFormat(FREE_IMAGE_FORMAT format);
// The portable maps, which FreeImage names after the first of their formats
// whatever the file holds.
bool anymapFormat(FREE_IMAGE_FORMAT format);

// Loads an XBM file. FreeImage's XBM reader does not notice the end of the
// file and loops for ever on one whose data stops short of its size; here it
// reads through a stream that, past the end, gives text that ends every
// loop, and such a file is refused. `truncated` tells whether that happened.
FIBITMAP* loadXbm(const std::string& path, int flags, bool& truncated);

} // namespace PictureHeaders
