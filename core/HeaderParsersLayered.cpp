// SPDX-License-Identifier: GPL-3.0-or-later
// The formats of several pictures or planes in one file, found through
// tables of offsets: Photoshop, icons and TIFF.

#include "HeaderParsers.h"

#include "GuardedIo.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace HeaderParsers;

namespace {

constexpr std::uint64_t MAX_WALKED_ROWS = std::uint64_t(1) << 22;

// Whether every row of a Photoshop file's runs, read from `file` with the
// coded lengths `lengths`, stays within its coded bytes and within
// `rowBytes` decoded bytes: in a run, a count c of 0..127 is followed by
// c + 1 literal bytes, one of -127..-1 by one byte repeated 1 - c times, and
// -128 is nothing. The loader copies a run that overruns its row with a
// negative length.
bool psdRunsFit(std::FILE* file, const std::vector<std::uint32_t>& lengths, std::uint64_t rowBytes)
{
    std::vector<unsigned char> row;
    for (const std::uint32_t length : lengths) {
        row.resize(length);
        if (!readBytes(file, row.data(), row.size()))
            return false;
        std::uint64_t decoded = 0;
        for (std::size_t at = 0; at < row.size();) {
            const int count = std::int8_t(row[at++]);
            const std::uint64_t in = count >= 0 ? std::uint64_t(count) + 1 : count == -128 ? 0 : 1;
            const std::uint64_t out = count >= 0      ? in
                                      : count == -128 ? 0
                                                      : std::uint64_t(1 - count);
            if (row.size() - at < in || rowBytes - decoded < out)
                return false;
            at += in;
            decoded += out;
        }
    }
    return true;
}

} // namespace

// A Photoshop file: a 26-byte header (channels, height, width, bits per
// sample), three sections each preceded by its length (the colour mode data,
// the image resources, the layers), then the merged picture: a compression
// word and either plain rows of every channel, one after the other, or a
// table of the coded length of each of those rows followed by the rows coded
// in runs. The loader clears and fills its picture past the end of a file
// that stops inside the pixels, and crashes; and it overruns its rows on
// runs that decode to more than a row.
void HeaderParsers::psdClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim)
{
    unsigned char header[26];
    if (!readBytes(file, header, sizeof header) || std::memcmp(header, "8BPS", 4) != 0)
        return;
    const unsigned version = big16(header + 4);
    if (version != 1 && version != 2)
        return; // the loader refuses it
    const std::uint64_t channels = big16(header + 12);
    const std::uint64_t height = big32(header + 14);
    const std::uint64_t width = big32(header + 18);
    const std::uint64_t bits = big16(header + 22);
    // The sides are checked against the size limits before the loader sees
    // them: it allocates by them before it looks at the rest. A picture of
    // no channels, or of a depth other than the format's 1, 8, 16 and 32
    // bits, is damaged: the loader allocates for the first all the same and
    // writes past its rows for the second.
    claim.width = width;
    claim.height = height;
    claim.known = true;
    if (channels == 0 || (bits != 1 && bits != 8 && bits != 16 && bits != 32)) {
        claim.broken = true;
        return;
    }
    std::uint64_t at = sizeof header;
    const std::uint64_t size = std::uint64_t(fileSize);
    for (int section = 0; section < 3; ++section) {
        // The layer section of a large document (version 2) has a 64-bit length.
        const bool wide = section == 2 && version == 2;
        unsigned char length[8];
        if (at + (wide ? 8 : 4) > size || std::fseek(file, long(at), SEEK_SET) != 0 ||
            !readBytes(file, length, wide ? 8 : 4)) {
            claim.truncated = true;
            return;
        }
        const std::uint64_t bytes =
            wide ? std::uint64_t(big32(length)) << 32 | big32(length + 4) : big32(length);
        at += (wide ? 8 : 4) + bytes;
        if (at > size) {
            claim.truncated = true;
            return;
        }
    }
    unsigned char compression[2];
    if (at + 2 > size || std::fseek(file, long(at), SEEK_SET) != 0 ||
        !readBytes(file, compression, 2)) {
        claim.truncated = true;
        return;
    }
    at += 2;
    if (width == 0 || height == 0 || width > HUGE_SIDE || height > HUGE_SIDE)
        return; // the loader refuses these, or the size limits do
    const std::uint64_t rows = channels * height;
    if (big16(compression) == 0) {
        claim.truncated = size - at < rows * ((width * bits + 7) / 8);
        return;
    }
    if (big16(compression) != 1)
        return;
    // The table of coded row lengths: 2 bytes each, 4 in a large document.
    const std::uint64_t entryBytes = version == 2 ? 4 : 2;
    if (size - at < rows * entryBytes) {
        claim.truncated = true;
        return;
    }
    // The table is kept for the walk of the runs when it is of a size that
    // pictures within the size limits have.
    const bool walk = rows <= MAX_WALKED_ROWS;
    std::vector<std::uint32_t> lengths;
    if (walk)
        lengths.reserve(std::size_t(rows));
    std::uint64_t coded = 0;
    for (std::uint64_t row = 0; row < rows; ++row) {
        unsigned char entry[4];
        if (!readBytes(file, entry, std::size_t(entryBytes))) {
            claim.truncated = true;
            return;
        }
        const std::uint32_t length = entryBytes == 4 ? big32(entry) : big16(entry);
        coded += length;
        if (walk)
            lengths.push_back(length);
    }
    claim.truncated = size - at - rows * entryBytes < coded;
    if (!claim.truncated && walk)
        claim.broken = !psdRunsFit(file, lengths, (width * bits + 7) / 8);
}

// An icon file: a directory of entries (size, colours, bits per pixel, the
// length and offset of the picture), of which the loader reads the first. Its
// picture is a PNG file, which refuses to load when cut, or a device-
// independent bitmap: an information header, a palette, the colour rows and a
// 1-bit mask, for twice the height the header gives. The loader reads that
// picture without noticing the end of the file.
void HeaderParsers::icoClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim)
{
    unsigned char directory[6 + 16];
    if (!readBytes(file, directory, sizeof directory) || little16(directory) != 0 ||
        (little16(directory + 2) != 1 && little16(directory + 2) != 2) ||
        little16(directory + 4) == 0)
        return;
    const std::uint64_t size = std::uint64_t(fileSize);
    const std::uint64_t length = little32(directory + 6 + 8);
    const std::uint64_t offset = little32(directory + 6 + 12);
    if (offset + length > size) {
        claim.truncated = true;
        return;
    }
    unsigned char info[40];
    if (std::fseek(file, long(offset), SEEK_SET) != 0 || !readBytes(file, info, sizeof info)) {
        claim.truncated = true;
        return;
    }
    if (std::memcmp(info, "\x89PNG", 4) == 0)
        return;
    const std::int32_t width = std::int32_t(little32(info + 4));
    const std::int32_t doubleHeight = std::int32_t(little32(info + 8));
    const unsigned bitCount = little16(info + 14);
    if (width <= 0 || doubleHeight <= 0 || bitCount == 0 || bitCount > 32)
        return; // the loader refuses these
    const std::uint64_t w = std::uint64_t(width);
    const std::uint64_t h = std::uint64_t(doubleHeight) / 2;
    std::uint64_t colours = little32(info + 32);
    if (bitCount <= 8 && (colours == 0 || colours > (1u << bitCount)))
        colours = 1u << bitCount;
    else if (bitCount > 8)
        colours = 0;
    const std::uint64_t rows = (w * bitCount + 31) / 32 * 4 * h;
    const std::uint64_t mask = (w + 31) / 32 * 4 * h;
    claim.truncated = size < offset + little32(info) + 4 * colours + rows + mask;
}

// A TIFF file: a byte-order mark, then the first directory of 12-byte
// entries (tag, type, count, value or the offset of values too long to fit
// in four bytes). The decoder notices strips that the file does not hold and
// warns; a colour map or the sample sizes past the end it reads as whatever
// it then had, and paints the picture in colours made up.
void HeaderParsers::tiffClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim)
{
    unsigned char header[8];
    if (!readBytes(file, header, sizeof header))
        return;
    const bool little = header[0] == 'I' && header[1] == 'I';
    if (!little && !(header[0] == 'M' && header[1] == 'M'))
        return;
    auto get16 = [little](const unsigned char* p) { return little ? little16(p) : big16(p); };
    auto get32 = [little](const unsigned char* p) { return little ? little32(p) : big32(p); };
    if (get16(header + 2) != 42)
        return; // BigTIFF or not TIFF: left to the decoder
    const std::uint64_t size = std::uint64_t(fileSize);
    const std::uint64_t directory = get32(header + 4);
    unsigned char count[2];
    if (directory + 2 > size || std::fseek(file, long(directory), SEEK_SET) != 0 ||
        !readBytes(file, count, 2))
        return; // the decoder refuses a file without its directory
    for (unsigned i = 0, entries = get16(count); i < entries; ++i) {
        unsigned char entry[12];
        if (!readBytes(file, entry, sizeof entry))
            return;
        const unsigned tag = get16(entry);
        if (tag != 258 && tag != 320) // BitsPerSample, ColorMap
            continue;
        const std::uint64_t bytes = std::uint64_t(get32(entry + 4)) * 2; // SHORT values
        if (bytes > 4 && get32(entry + 8) + bytes > size) {
            claim.truncated = true;
            return;
        }
    }
}
