// SPDX-License-Identifier: GPL-3.0-or-later
// The formats of plain rows of pixels, whose loaders trust the header to
// tell how many bytes follow: Targa, the portable maps, PCX and BMP.

#include "HeaderParsers.h"

#include "GuardedIo.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace HeaderParsers;

namespace {

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

constexpr long tgaHeaderSize = 18;

// A version 2 Targa file ends in a footer that may point at an extension
// area, which may point at a postage stamp picture of `depth` bits a pixel.
// Whether the footer or the stamp is out of place.
bool tgaStampBroken(std::FILE* file, long fileSize, unsigned depth)
{
    // The loader looks for the signature in the last 18 bytes of any file
    // longer than that, and then reads the whole footer before it.
    static const char signature[] = "TRUEVISION-XFILE.";
    unsigned char tail[sizeof signature];
    if (fileSize <= long(sizeof tail) || std::fseek(file, -long(sizeof tail), SEEK_END) != 0 ||
        !readBytes(file, tail, sizeof tail) || std::memcmp(tail, signature, sizeof tail) != 0)
        return false;
    unsigned char footer[26];
    const long footerOffset = fileSize - long(sizeof footer);
    if (footerOffset < tgaHeaderSize || std::fseek(file, footerOffset, SEEK_SET) != 0 ||
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

// The Targa loader trusts two things that a damaged file gets wrong, and
// reads or writes outside its buffers (or frees the picture it then returns)
// when they are off: a run-length coded picture needs at least one pixel's
// bytes per row after the header, the identifier and the colour map, and a
// postage stamp must fit into the room between its offset and the footer.
// Files like that, and files shorter than the header, are broken. A picture
// of plain rows whose pixels the file does not hold is `truncated`.
bool tgaBroken(std::FILE* file, long fileSize, bool& truncated)
{
    unsigned char header[tgaHeaderSize];
    if (!readBytes(file, header, sizeof header))
        return true;
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

    return tgaStampBroken(file, fileSize, depth);
}

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

} // namespace

void HeaderParsers::pnmClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim)
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
void HeaderParsers::pcxClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim)
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
void HeaderParsers::bmpClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim)
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

void HeaderParsers::tgaClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim)
{
    claim.broken = tgaBroken(file, fileSize, claim.truncated);
}
