// SPDX-License-Identifier: GPL-3.0-or-later
#include "PictureHeaders.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct FileCloser
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool readBytes(std::FILE* file, unsigned char* bytes, std::size_t count)
{
    return std::fread(bytes, 1, count, file) == count;
}

unsigned little16(const unsigned char* p)
{
    return unsigned(p[0]) | unsigned(p[1]) << 8;
}

unsigned big16(const unsigned char* p)
{
    return unsigned(p[0]) << 8 | unsigned(p[1]);
}

std::uint32_t little32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

std::uint32_t big32(const unsigned char* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
           std::uint32_t(p[3]);
}

// The loader decodes the first image of the file, at the size of its own
// image descriptor (not the logical screen).
bool gifSize(std::FILE* file, std::uint64_t& width, std::uint64_t& height)
{
    unsigned char header[13];
    if (!readBytes(file, header, sizeof header) || std::memcmp(header, "GIF8", 4) != 0)
        return false;
    if (header[10] & 0x80)
        std::fseek(file, 3L << ((header[10] & 7) + 1), SEEK_CUR);
    for (;;) {
        const int block = std::fgetc(file);
        if (block == 0x2C) {
            unsigned char descriptor[9];
            if (!readBytes(file, descriptor, sizeof descriptor))
                return false;
            width = little16(descriptor + 4);
            height = little16(descriptor + 6);
            return true;
        }
        if (block != 0x21 || std::fgetc(file) == EOF)
            return false; // the trailer, the end of the file or garbage
        // An extension: sub-blocks of a length byte and data, up to length 0.
        for (int length = std::fgetc(file); length != 0; length = std::fgetc(file)) {
            if (length == EOF || std::fseek(file, length, SEEK_CUR) != 0)
                return false;
        }
    }
}

bool ddsSize(std::FILE* file, std::uint64_t& width, std::uint64_t& height)
{
    unsigned char header[20];
    if (!readBytes(file, header, sizeof header) || std::memcmp(header, "DDS ", 4) != 0)
        return false;
    height = little32(header + 12);
    width = little32(header + 16);
    return true;
}

bool sgiSize(std::FILE* file, std::uint64_t& width, std::uint64_t& height)
{
    unsigned char header[10];
    if (!readBytes(file, header, sizeof header))
        return false;
    if (big16(header) == 474) {
        width = big16(header + 6);
        height = big16(header + 8);
    } else if (little16(header) == 474) {
        width = little16(header + 6);
        height = little16(header + 8);
    } else {
        return false;
    }
    return true;
}

// Walks the chunks exactly as the loader does before it reaches the body: the
// FORM's size counts down by each chunk, and every bitmap header chunk makes
// the loader allocate a picture of its size. A chunk header past the end of
// the file would make the loader count on with stale values, possibly for
// ever, so such a file is broken.
bool iffSize(std::FILE* file, std::uint64_t& width, std::uint64_t& height, bool& broken)
{
    unsigned char form[12];
    if (!readBytes(file, form, sizeof form) || std::memcmp(form, "FORM", 4) != 0)
        return false;
    if (std::fseek(file, 0, SEEK_END) != 0)
        return false;
    const long fileSize = std::ftell(file);
    std::fseek(file, sizeof form, SEEK_SET);
    std::uint32_t size = big32(form + 4) - 4;
    width = height = 0;
    while (size != 0) {
        unsigned char chunk[8];
        if (!readBytes(file, chunk, sizeof chunk)) {
            broken = true;
            return false;
        }
        std::uint32_t chunkSize = big32(chunk + 4);
        if (std::memcmp(chunk, "BODY", 4) == 0)
            return true;
        if (std::memcmp(chunk, "BMHD", 4) == 0) {
            unsigned char bitmapHeader[4];
            if (!readBytes(file, bitmapHeader, sizeof bitmapHeader)) {
                broken = true;
                return false;
            }
            const std::uint64_t w = big16(bitmapHeader), h = big16(bitmapHeader + 2);
            if (w * h >= width * height) {
                width = w;
                height = h;
            }
            std::fseek(file, -long(sizeof bitmapHeader), SEEK_CUR);
        }
        if (chunkSize & 1)
            ++chunkSize;
        const long end = std::ftell(file) + long(chunkSize);
        if (end > fileSize) {
            broken = true;
            return false;
        }
        std::fseek(file, end, SEEK_SET);
        size -= chunkSize + 8;
    }
    return true;
}

// "#define <name>_width <n>" and "..._height <n>" lines before the array.
bool xbmSize(std::FILE* file, std::uint64_t& width, std::uint64_t& height)
{
    long claimedWidth = -1, claimedHeight = -1;
    char line[512];
    char name[512];
    while (std::fgets(line, sizeof line, file) && std::strncmp(line, "static", 6) != 0) {
        long value = 0;
        if (std::sscanf(line, "#define %511s %ld", name, &value) != 2)
            continue;
        const char* suffix = std::strrchr(name, '_');
        suffix = suffix ? suffix + 1 : name;
        if (std::strcmp(suffix, "width") == 0)
            claimedWidth = value;
        else if (std::strcmp(suffix, "height") == 0)
            claimedHeight = value;
    }
    // Negative sizes make the loader fail on its own.
    if (claimedWidth < 0 || claimedHeight < 0)
        return false;
    width = std::uint64_t(claimedWidth);
    height = std::uint64_t(claimedHeight);
    return true;
}

// Integers of 7 bits per byte, most significant first, the top bit set on
// every byte but the last; read as the loader reads them, into 32 bits that
// may overflow, up to the end of the file if need be.
std::uint32_t multiByte(std::FILE* file)
{
    std::uint32_t value = 0;
    for (int byte = std::fgetc(file); byte != EOF; byte = std::fgetc(file)) {
        value += std::uint32_t(byte & 0x7F);
        if (!(byte & 0x80))
            break;
        value <<= 7;
    }
    return value;
}

// Type 0 (the only one), a header byte, optional extension headers, then the
// width and height, which the loader keeps to 16 bits. The loader reads
// extension headers for as long as the last one it read says more follow,
// and a read past the end leaves that one in place: for ever.
bool wbmpSize(std::FILE* file, std::uint64_t& width, std::uint64_t& height, bool& broken)
{
    if (multiByte(file) != 0)
        return false;
    const int fixed = std::fgetc(file);
    if (fixed == EOF)
        return false;
    for (int extension = fixed; extension & 0x80;) {
        extension = std::fgetc(file);
        if (extension == EOF) {
            broken = true;
            return false;
        }
        if ((extension & 0x60) == 0x00)
            multiByte(file);
        else if ((extension & 0x60) == 0x60)
            std::fseek(file, ((extension & 0x70) >> 4) + (extension & 0x0F), SEEK_CUR);
    }
    width = multiByte(file) & 0xFFFF;
    height = multiByte(file) & 0xFFFF;
    return true;
}

// Where the pixels of a Targa file end: before the footer of a version 2
// file (and its extension area, when that follows the pixels), else at the
// end of the file.
long tgaDataEnd(std::FILE* file, long fileSize)
{
    static const char signature[] = "TRUEVISION-XFILE.";
    unsigned char footer[26];
    if (fileSize < long(18 + sizeof footer) ||
        std::fseek(file, fileSize - long(sizeof footer), SEEK_SET) != 0 ||
        !readBytes(file, footer, sizeof footer) ||
        std::memcmp(footer + 8, signature, sizeof signature) != 0)
        return fileSize;
    const long footerAt = fileSize - long(sizeof footer);
    const long extension = long(little32(footer));
    return extension > 18 && extension < footerAt ? extension : footerAt;
}

// Whether the run-length packets from `start` up to `end` decode to `pixels`
// pixels of `pixelBytes` bytes: a packet header, then one pixel repeated or
// that many pixels as they are. The loader does not notice when they stop
// short and hands back the rest of the picture as whatever it then read.
bool tgaRunsComplete(std::FILE* file, long start, long end, std::uint64_t pixels, long pixelBytes)
{
    if (std::fseek(file, start, SEEK_SET) != 0)
        return false;
    std::uint64_t decoded = 0;
    long at = start;
    while (decoded < pixels) {
        const int packet = std::fgetc(file);
        if (packet == EOF || at >= end)
            return false;
        const long count = (packet & 0x7F) + 1;
        const long bytes = (packet & 0x80) ? pixelBytes : count * pixelBytes;
        at += 1 + bytes;
        if (at > end || std::fseek(file, bytes, SEEK_CUR) != 0)
            return false;
        decoded += std::uint64_t(count);
    }
    return true;
}

// The Targa loader trusts two things that a damaged file gets wrong, and
// reads or writes outside its buffers (or frees the picture it then returns)
// when they are off: a run-length coded picture needs at least one pixel's
// bytes per row after the header, the identifier and the colour map, and a
// postage stamp must fit into the room between its offset and the footer.
// Files like that, and files shorter than the header, are broken. A picture
// of plain rows whose pixels the file does not hold is `truncated`.
bool tgaBroken(std::FILE* file, bool& truncated)
{
    unsigned char header[18];
    if (!readBytes(file, header, sizeof header))
        return true;
    std::fseek(file, 0, SEEK_END);
    const long fileSize = std::ftell(file);
    const unsigned idLength = header[0];
    const unsigned mapType = header[1];
    const unsigned imageType = header[2];
    const unsigned mapLength = little16(header + 5);
    const unsigned mapBits = header[7];
    const unsigned width = little16(header + 12);
    const unsigned height = little16(header + 14);
    const unsigned depth = header[16];

    if (imageType >= 1 && imageType <= 3) {
        const std::uint64_t start =
            sizeof header + idLength + (mapType ? (mapBits + 7) / 8 * mapLength : 0);
        const std::uint64_t needed = std::uint64_t(width) * height * ((depth + 7) / 8);
        truncated = std::uint64_t(fileSize) < start + needed;
    }
    if (imageType == 9 || imageType == 10 || imageType == 11) {
        long pixels = long(sizeof header) + long(idLength);
        if (depth == 8 && mapType > 0)
            pixels += long(mapLength * mapBits / 8);
        else if ((depth == 15 || depth == 16) && mapType != 0)
            pixels += long((mapBits + 7) / 8 * mapLength);
        const long pixelBytes = depth == 15 ? 2 : long(depth / 8);
        if (height == 0 || width == 0 || (fileSize - pixels) / long(height) < pixelBytes ||
            fileSize < pixels)
            return true;
        truncated = !tgaRunsComplete(file, pixels, tgaDataEnd(file, fileSize),
                                     std::uint64_t(width) * height, pixelBytes);
    }

    // A version 2 file ends in a footer that may point at an extension area,
    // which may point at a postage stamp picture.
    // The loader looks for the signature in the last 18 bytes of any file
    // longer than that, and then reads the whole footer before it.
    static const char signature[] = "TRUEVISION-XFILE.";
    unsigned char tail[sizeof signature];
    if (fileSize <= long(sizeof tail) || std::fseek(file, -long(sizeof tail), SEEK_END) != 0 ||
        !readBytes(file, tail, sizeof tail) || std::memcmp(tail, signature, sizeof tail) != 0)
        return false;
    unsigned char footer[26];
    const long footerOffset = fileSize - long(sizeof footer);
    if (footerOffset < long(sizeof header) || std::fseek(file, footerOffset, SEEK_SET) != 0 ||
        !readBytes(file, footer, sizeof footer))
        return true;
    const std::uint32_t extension = little32(footer);
    if (extension == 0)
        return false;
    constexpr long extensionSize = 495;
    constexpr long stampField = 486;
    unsigned char stampOffset[4];
    if (long(extension) + extensionSize > fileSize ||
        std::fseek(file, long(extension) + stampField, SEEK_SET) != 0 ||
        !readBytes(file, stampOffset, sizeof stampOffset))
        return true;
    const std::uint32_t stamp = little32(stampOffset);
    if (stamp == 0 || stamp >= std::uint32_t(footerOffset))
        return false;
    unsigned char stampSize[2];
    if (std::fseek(file, long(stamp), SEEK_SET) != 0 || !readBytes(file, stampSize, 2))
        return true;
    const long room = footerOffset - long(stamp) - 2;
    return long(depth) * stampSize[0] / 8 * stampSize[1] > room;
}

long fileSizeOf(std::FILE* file)
{
    if (std::fseek(file, 0, SEEK_END) != 0)
        return -1;
    const long size = std::ftell(file);
    std::rewind(file);
    return size;
}

// Sides beyond this are refused by the size limits anyway; capping the
// parsers here keeps their arithmetic far from overflow.
constexpr std::uint64_t HUGE_SIDE = std::uint64_t(1) << 32;

// The next number of a PNM header: white space and '#' comments before it,
// then decimal digits only, ended by one white-space character (which, after
// the last number, is the only separator before the pixels). A sign, a
// letter or an endless number is not a number.
bool pnmNumber(std::FILE* file, std::uint64_t& value)
{
    int c = std::fgetc(file);
    for (;;) {
        if (c == '#') {
            while (c != EOF && c != '\n' && c != '\r')
                c = std::fgetc(file);
        } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
            c = std::fgetc(file);
        } else {
            break;
        }
    }
    if (c < '0' || c > '9')
        return false;
    value = 0;
    for (; c >= '0' && c <= '9'; c = std::fgetc(file)) {
        value = value * 10 + unsigned(c - '0');
        if (value > HUGE_SIDE)
            return false;
    }
    return c == EOF || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

void pnmClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim)
{
    unsigned char magic[2];
    if (!readBytes(file, magic, 2) || magic[0] != 'P' || magic[1] < '1' || magic[1] > '6')
        return;
    const int kind = magic[1] - '0';
    const bool bitmap = kind == 1 || kind == 4;
    std::uint64_t maxValue = 1;
    if (!pnmNumber(file, claim.width) || !pnmNumber(file, claim.height) || claim.width == 0 ||
        claim.height == 0 ||
        (!bitmap && (!pnmNumber(file, maxValue) || maxValue == 0 || maxValue > 65535))) {
        claim.broken = true;
        return;
    }
    claim.known = true;
    if (kind < 4)
        return; // plain text: the loader notices a short file itself
    const std::uint64_t sampleBytes = maxValue > 255 ? 2 : 1;
    std::uint64_t needed = 0;
    if (kind == 4)
        needed = (claim.width + 7) / 8 * claim.height;
    else
        needed = claim.width * claim.height * sampleBytes * (kind == 6 ? 3 : 1);
    const long start = std::ftell(file);
    claim.truncated = start < 0 || std::uint64_t(fileSize - start) < needed;
}

// A PCX header: 128 bytes, then run-length coded or plain rows of
// bytes-per-line bytes for each plane; 256-colour pictures end with a
// 769-byte palette.
void pcxClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim)
{
    unsigned char header[128];
    if (!readBytes(file, header, sizeof header) || header[0] != 0x0A)
        return;
    const unsigned encoding = header[2];
    const unsigned bits = header[3];
    const unsigned xMin = little16(header + 4), yMin = little16(header + 6);
    const unsigned xMax = little16(header + 8), yMax = little16(header + 10);
    const unsigned planes = header[65];
    const std::uint64_t bytesPerLine = little16(header + 66);
    if (encoding > 1 || (bits != 1 && bits != 2 && bits != 4 && bits != 8) || planes == 0 ||
        planes > 4 || xMax < xMin || yMax < yMin) {
        claim.broken = true;
        return;
    }
    claim.width = xMax - xMin + 1;
    claim.height = yMax - yMin + 1;
    claim.known = true;
    if (bytesPerLine == 0 || bytesPerLine * 8 < claim.width * bits) {
        claim.broken = true;
        return;
    }
    const std::uint64_t needed = bytesPerLine * planes * claim.height;
    long available = fileSize - long(sizeof header);
    if (bits == 8 && planes == 1 && available >= 769)
        available -= 769;
    if (encoding == 0) {
        claim.truncated = available < 0 || std::uint64_t(available) < needed;
        return;
    }
    // Counts what the run-length code decodes to, up to what is needed.
    std::uint64_t decoded = 0;
    unsigned char buffer[4096];
    bool runPending = false;
    while (decoded < needed && available > 0) {
        const std::size_t chunk = std::fread(
            buffer, 1, std::min<std::size_t>(sizeof buffer, std::size_t(available)), file);
        if (chunk == 0)
            break;
        available -= long(chunk);
        for (std::size_t i = 0; i < chunk && decoded < needed; ++i) {
            if (runPending) {
                runPending = false;
            } else if ((buffer[i] & 0xC0) == 0xC0) {
                decoded += buffer[i] & 0x3F;
                runPending = true;
            } else {
                ++decoded;
            }
        }
    }
    claim.truncated = decoded < needed;
}

// A BMP file of plain rows (no run-length coding) holds the rows, each
// padded to four bytes, from the offset in its file header on.
void bmpClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim)
{
    unsigned char header[34];
    if (!readBytes(file, header, 18) || header[0] != 'B' || header[1] != 'M')
        return;
    const std::uint32_t offset = little32(header + 10);
    const std::uint32_t infoSize = little32(header + 14);
    std::uint64_t width = 0, height = 0;
    unsigned bits = 0, compression = 0;
    if (infoSize == 12) {
        if (!readBytes(file, header + 18, 8))
            return;
        width = little16(header + 18);
        height = little16(header + 20);
        bits = little16(header + 24);
    } else if (infoSize >= 40) {
        if (!readBytes(file, header + 18, 16))
            return;
        const std::int32_t w = std::int32_t(little32(header + 18));
        const std::int32_t h = std::int32_t(little32(header + 22));
        if (w <= 0 || h == 0 || h == INT32_MIN)
            return; // the loader refuses these itself
        width = std::uint64_t(w);
        height = std::uint64_t(h < 0 ? -std::int64_t(h) : h);
        bits = little16(header + 28);
        compression = little32(header + 30);
    } else {
        return;
    }
    claim.width = width;
    claim.height = height;
    claim.known = true;
    const bool plain = compression == 0 || compression == 3; // BI_RGB, BI_BITFIELDS
    if (!plain || bits == 0 || bits > 32 || offset < 14 + infoSize)
        return;
    const std::uint64_t stride = (width * bits + 31) / 32 * 4;
    claim.truncated = std::uint64_t(fileSize) < offset + stride * height;
}

// A Photoshop file: a 26-byte header (channels, height, width, bits per
// sample), three sections each preceded by its length (the colour mode data,
// the image resources, the layers), then the merged picture: a compression
// word and either plain rows of every channel, one after the other, or a
// table of the coded length of each of those rows followed by the rows coded
// in runs. The loader clears and fills its picture past the end of a file
// that stops inside the pixels, and crashes.
void psdClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim)
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
    if (width == 0 || height == 0 || channels == 0 || width > HUGE_SIDE || height > HUGE_SIDE)
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
    std::uint64_t coded = 0;
    for (std::uint64_t row = 0; row < rows; ++row) {
        unsigned char entry[4];
        if (!readBytes(file, entry, std::size_t(entryBytes))) {
            claim.truncated = true;
            return;
        }
        coded += entryBytes == 4 ? big32(entry) : big16(entry);
    }
    claim.truncated = size - at - rows * entryBytes < coded;
}

// An icon file: a directory of entries (size, colours, bits per pixel, the
// length and offset of the picture), of which the loader reads the first. Its
// picture is a PNG file, which refuses to load when cut, or a device-
// independent bitmap: an information header, a palette, the colour rows and a
// 1-bit mask, for twice the height the header gives. The loader reads that
// picture without noticing the end of the file.
void icoClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim)
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
void tiffClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim)
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

std::uint64_t j2kWorking(unsigned components)
{
    return 4 * std::uint64_t(components);
}

// The SIZ segment that follows the start of a JPEG 2000 codestream: the
// reference grid and its offset, and the number of components, each of which
// the decoder holds as 32-bit samples.
bool j2kSize(std::FILE* file, PictureHeaders::HeaderClaim& claim)
{
    unsigned char siz[42];
    if (!readBytes(file, siz, sizeof siz) || big16(siz) != 0xFF4F || big16(siz + 2) != 0xFF51)
        return false;
    const std::uint32_t xSize = big32(siz + 8), ySize = big32(siz + 12);
    const std::uint32_t xOffset = big32(siz + 16), yOffset = big32(siz + 20);
    if (xOffset >= xSize || yOffset >= ySize) {
        claim.broken = true;
        return false;
    }
    claim.width = std::max<std::uint64_t>(claim.width, xSize - xOffset);
    claim.height = std::max<std::uint64_t>(claim.height, ySize - yOffset);
    claim.workingBytesPerPixel = std::max(claim.workingBytesPerPixel, j2kWorking(big16(siz + 40)));
    claim.known = true;
    return true;
}

void j2kClaim(std::FILE* file, long, PictureHeaders::HeaderClaim& claim)
{
    j2kSize(file, claim);
}

// A JP2 file is a sequence of boxes (length, type, contents); the header box
// holds an image header box with the size, the codestream box the codestream
// with its own SIZ segment. The decoder goes by both, so both count.
void jp2Claim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim)
{
    long at = 0;
    long end = fileSize;
    for (int boxes = 0; boxes < 4096 && at + 8 <= end; ++boxes) {
        unsigned char box[16];
        if (std::fseek(file, at, SEEK_SET) != 0 || !readBytes(file, box, 8))
            return;
        std::uint64_t length = big32(box);
        long contents = at + 8;
        if (length == 1) {
            if (!readBytes(file, box + 8, 8))
                return;
            length = std::uint64_t(big32(box + 8)) << 32 | big32(box + 12);
            contents += 8;
        } else if (length == 0) {
            length = std::uint64_t(end - at);
        }
        if (length < std::uint64_t(contents - at) || length > std::uint64_t(end - at))
            return;
        if (std::memcmp(box + 4, "jp2h", 4) == 0) {
            // Into the header box: its boxes replace the outer ones.
            end = at + long(length);
            at = contents;
            continue;
        }
        if (std::memcmp(box + 4, "ihdr", 4) == 0) {
            unsigned char ihdr[10];
            if (!readBytes(file, ihdr, sizeof ihdr))
                return;
            claim.height = std::max<std::uint64_t>(claim.height, big32(ihdr));
            claim.width = std::max<std::uint64_t>(claim.width, big32(ihdr + 4));
            claim.workingBytesPerPixel =
                std::max(claim.workingBytesPerPixel, j2kWorking(big16(ihdr + 8)));
            claim.known = true;
            // Back out of the header box to look for the codestream.
            at = end;
            end = fileSize;
            continue;
        }
        if (std::memcmp(box + 4, "jp2c", 4) == 0) {
            j2kSize(file, claim);
            return;
        }
        at += long(length);
    }
}

// An OpenEXR header: the magic number, a version word, then attributes (a
// name, a type name, a 32-bit size and the value) up to an empty name. The
// loader reads the header through a stream that does not stop at the end of
// the file, so a header cut short is broken. The picture is the data window,
// which the loader decodes into a half-float copy before its own.
void exrClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim)
{
    unsigned char start[8];
    if (!readBytes(file, start, sizeof start) || little32(start) != 20000630)
        return;
    claim.workingBytesPerPixel = 8;
    auto readName = [file](char* name, std::size_t room) {
        for (std::size_t i = 0; i < room; ++i) {
            const int c = std::fgetc(file);
            if (c == EOF)
                return false;
            name[i] = char(c);
            if (c == 0)
                return true;
        }
        return false; // longer than any name may be
    };
    for (;;) {
        char name[256];
        char type[256];
        unsigned char size[4];
        if (!readName(name, sizeof name)) {
            claim.broken = true;
            return;
        }
        if (name[0] == 0)
            return;
        if (!readName(type, sizeof type) || !readBytes(file, size, 4)) {
            claim.broken = true;
            return;
        }
        const std::uint32_t valueSize = little32(size);
        const long valueAt = std::ftell(file);
        if (valueAt < 0 || std::uint64_t(fileSize - valueAt) < valueSize) {
            claim.broken = true;
            return;
        }
        if (std::strcmp(name, "dataWindow") == 0 && std::strcmp(type, "box2i") == 0 &&
            valueSize == 16) {
            unsigned char box[16];
            if (!readBytes(file, box, sizeof box))
                return;
            const std::int64_t xMin = std::int32_t(little32(box));
            const std::int64_t yMin = std::int32_t(little32(box + 4));
            const std::int64_t xMax = std::int32_t(little32(box + 8));
            const std::int64_t yMax = std::int32_t(little32(box + 12));
            if (xMax < xMin || yMax < yMin) {
                claim.broken = true;
                return;
            }
            claim.width = std::uint64_t(xMax - xMin + 1);
            claim.height = std::uint64_t(yMax - yMin + 1);
            claim.known = true;
        }
        std::fseek(file, valueAt + long(valueSize), SEEK_SET);
    }
}

// A Radiance picture: "#?" and header lines up to an empty line, then the
// resolution line, "-Y height +X width" or any other order and direction of
// the two axes.
void hdrClaim(std::FILE* file, long, PictureHeaders::HeaderClaim& claim)
{
    char line[512];
    if (!std::fgets(line, sizeof line, file) || std::strncmp(line, "#?", 2) != 0)
        return;
    for (int lines = 0;; ++lines) {
        if (lines > 1000 || !std::fgets(line, sizeof line, file))
            return;
        if (line[0] == '\n')
            break;
    }
    if (!std::fgets(line, sizeof line, file))
        return;
    char sign1 = 0, axis1 = 0, sign2 = 0, axis2 = 0;
    long long first = 0, second = 0;
    if (std::sscanf(line, " %c%c %lld %c%c %lld", &sign1, &axis1, &first, &sign2, &axis2,
                    &second) != 6 ||
        (axis1 != 'X' && axis1 != 'Y') || (axis2 != 'X' && axis2 != 'Y') || axis1 == axis2)
        return;
    if (first <= 0 || second <= 0) {
        claim.broken = true;
        return;
    }
    claim.width = std::uint64_t(axis1 == 'X' ? first : second);
    claim.height = std::uint64_t(axis1 == 'X' ? second : first);
    claim.known = true;
}

// A file read through FreeImageIO that notes reads past its end and fills
// the part of the caller's buffer that the file did not: several FreeImage
// readers look at a buffer without checking how much was read into it
// (signature tests on a file shorter than the signature, among others), and
// would otherwise decide on whatever their stack held.
struct GuardedFile
{
    std::FILE* file = nullptr;
    // The whole file, when it was read into memory; then `file` is not used.
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    std::size_t position = 0;
    const char* filler = nullptr; // repeated past the end; zeros when null
    std::size_t fillerLength = 0;
    bool pastEnd = false;
    std::size_t filled = 0; // bytes handed out past the end
};

unsigned DLL_CALLCONV guardedRead(void* buffer, unsigned size, unsigned count, fi_handle handle)
{
    auto* guarded = static_cast<GuardedFile*>(handle);
    // Several decoders read their samples one byte per call.
    if (size == 1 && count == 1 && guarded->data && guarded->position < guarded->size) {
        *static_cast<unsigned char*>(buffer) = guarded->data[guarded->position++];
        return 1;
    }
    std::size_t got = 0;
    if (guarded->data) {
        const std::size_t left =
            guarded->position < guarded->size ? guarded->size - guarded->position : 0;
        got = size == 0 ? count : std::min<std::size_t>(count, left / size);
        std::memcpy(buffer, guarded->data + std::min(guarded->position, guarded->size), got * size);
        // Like a file, the position moves past whole items only, and stays
        // at the end after a read that came short.
        guarded->position = got < count ? std::max(guarded->position, guarded->size)
                                        : guarded->position + got * size;
    } else {
        got = std::fread(buffer, size, count, guarded->file);
    }
    if (got < count) {
        guarded->pastEnd = true;
        auto* bytes = static_cast<char*>(buffer);
        const std::size_t from = got * size, to = std::size_t(size) * count;
        if (!guarded->filler) {
            std::memset(bytes + from, 0, to - from);
        } else {
            for (std::size_t i = from; i < to; ++i)
                bytes[i] = guarded->filler[(guarded->filled + i - from) % guarded->fillerLength];
        }
        guarded->filled += to - from;
    }
    return unsigned(got);
}

unsigned DLL_CALLCONV noWrite(void*, unsigned, unsigned, fi_handle)
{
    return 0;
}

int DLL_CALLCONV guardedSeek(fi_handle handle, long offset, int origin)
{
    auto* guarded = static_cast<GuardedFile*>(handle);
    if (!guarded->data)
        return std::fseek(guarded->file, offset, origin);
    long long base = 0;
    if (origin == SEEK_CUR)
        base = (long long)guarded->position;
    else if (origin == SEEK_END)
        base = (long long)guarded->size;
    else if (origin != SEEK_SET)
        return -1;
    if (base + offset < 0)
        return -1;
    guarded->position = std::size_t(base + offset);
    return 0;
}

long DLL_CALLCONV guardedTell(fi_handle handle)
{
    auto* guarded = static_cast<GuardedFile*>(handle);
    return guarded->data ? long(guarded->position) : std::ftell(guarded->file);
}

FreeImageIO guardedIo()
{
    FreeImageIO io;
    io.read_proc = guardedRead;
    io.write_proc = noWrite;
    io.seek_proc = guardedSeek;
    io.tell_proc = guardedTell;
    return io;
}

} // namespace

namespace PictureHeaders {

HeaderClaim readClaim(FREE_IMAGE_FORMAT format, const std::string& path)
{
    HeaderClaim claim;
    bool (*reader)(std::FILE*, std::uint64_t&, std::uint64_t&) = nullptr;
    bool (*checker)(std::FILE*, std::uint64_t&, std::uint64_t&, bool&) = nullptr;
    void (*inspector)(std::FILE*, long, HeaderClaim&) = nullptr;
    switch (format) {
    case FIF_GIF:
        reader = gifSize;
        break;
    case FIF_DDS:
        reader = ddsSize;
        break;
    case FIF_SGI:
        reader = sgiSize;
        break;
    case FIF_XBM:
        reader = xbmSize;
        break;
    case FIF_IFF:
        checker = iffSize;
        break;
    case FIF_WBMP:
        checker = wbmpSize;
        break;
    case FIF_PBM:
    case FIF_PBMRAW:
    case FIF_PGM:
    case FIF_PGMRAW:
    case FIF_PPM:
    case FIF_PPMRAW:
        inspector = pnmClaim;
        break;
    case FIF_PCX:
        inspector = pcxClaim;
        break;
    case FIF_BMP:
        inspector = bmpClaim;
        break;
    case FIF_J2K:
        inspector = j2kClaim;
        break;
    case FIF_JP2:
        inspector = jp2Claim;
        break;
    case FIF_EXR:
        inspector = exrClaim;
        break;
    case FIF_HDR:
        inspector = hdrClaim;
        break;
    case FIF_TIFF:
        inspector = tiffClaim;
        break;
    case FIF_PSD:
        inspector = psdClaim;
        break;
    case FIF_ICO:
        inspector = icoClaim;
        break;
    case FIF_TARGA:
        break;
    default:
        return claim;
    }
    const File file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return claim;
    if (format == FIF_TARGA) {
        claim.broken = tgaBroken(file.get(), claim.truncated);
        return claim;
    }
    if (inspector) {
        const long size = fileSizeOf(file.get());
        if (size >= 0)
            inspector(file.get(), size, claim);
        return claim;
    }
    claim.known = reader ? reader(file.get(), claim.width, claim.height)
                         : checker(file.get(), claim.width, claim.height, claim.broken);
    return claim;
}

FREE_IMAGE_FORMAT fileType(const std::string& path)
{
    const File file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return FIF_UNKNOWN;
    GuardedFile guarded;
    guarded.file = file.get();
    FreeImageIO io = guardedIo();
    return FreeImage_GetFileTypeFromHandle(&io, &guarded, 0);
}

WholeFile::WholeFile(const std::string& path)
{
    constexpr long largest = 256l << 20;
    const File file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return;
    const long size = std::fseek(file.get(), 0, SEEK_END) == 0 ? std::ftell(file.get()) : -1;
    if (size <= 0 || size > largest || std::fseek(file.get(), 0, SEEK_SET) != 0)
        return;
    bytes.resize(std::size_t(size));
    if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        bytes.clear();
}

bool pngChunkPastEnd(const WholeFile& whole)
{
    const unsigned char* data = whole.data();
    const std::size_t size = whole.size();
    for (std::size_t at = 8; at + 8 <= size;) {
        const std::uint64_t length = std::uint64_t(data[at]) << 24 |
                                     std::uint64_t(data[at + 1]) << 16 |
                                     std::uint64_t(data[at + 2]) << 8 | data[at + 3];
        if (length + 12 > size - at)
            return true;
        if (std::memcmp(data + at + 4, "IEND", 4) == 0)
            return false;
        at += std::size_t(length) + 12;
    }
    return false;
}

FIBITMAP* load(FREE_IMAGE_FORMAT format, const std::string& path, int flags, const WholeFile* whole)
{
    // The readers of the plain formats ask for a few bytes at a time, which
    // from a file costs a locked library call each, more than the decode
    // itself: their files are read whole first and handed out from memory.
    std::unique_ptr<WholeFile> read;
    if ((!whole || whole->empty()) && plainFormat(format)) {
        read = std::make_unique<WholeFile>(path);
        whole = read.get();
    }
    GuardedFile guarded;
    File file;
    if (whole && !whole->empty()) {
        guarded.data = whole->data();
        guarded.size = whole->size();
    } else {
        file.reset(std::fopen(path.c_str(), "rb"));
        if (!file)
            return nullptr;
        guarded.file = file.get();
    }
    FreeImageIO io = guardedIo();
    return FreeImage_LoadFromHandle(format, &io, &guarded, flags);
}

FIBITMAP* loadXbm(const std::string& path, int flags, bool& truncated)
{
    truncated = false;
    const File file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return nullptr;
    GuardedFile guarded;
    guarded.file = file.get();
    // "x0000," ends both of the reader's hex loops (a digit after skipped
    // characters, then a non-digit) and its search for an 'x'.
    static const char filler[] = "x0000,";
    guarded.filler = filler;
    guarded.fillerLength = sizeof filler - 1;
    FreeImageIO io = guardedIo();
    FIBITMAP* bitmap = FreeImage_LoadFromHandle(FIF_XBM, &io, &guarded, flags);
    truncated = guarded.pastEnd;
    if (truncated && bitmap) {
        FreeImage_Unload(bitmap);
        bitmap = nullptr;
    }
    return bitmap;
}

bool plainFormat(FREE_IMAGE_FORMAT format)
{
    return format == FIF_BMP || format == FIF_TARGA || anymapFormat(format);
}

bool anymapFormat(FREE_IMAGE_FORMAT format)
{
    switch (format) {
    case FIF_PBM:
    case FIF_PBMRAW:
    case FIF_PGM:
    case FIF_PGMRAW:
    case FIF_PPM:
    case FIF_PPMRAW:
        return true;
    default:
        return false;
    }
}

} // namespace PictureHeaders
