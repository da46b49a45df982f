// SPDX-License-Identifier: GPL-3.0-or-later
// The formats whose loaders allocate the picture the header declares before
// they look at its data: GIF, DDS, SGI, IFF, XBM and WBMP.

#include "HeaderParsers.h"

#include "GuardedIo.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace HeaderParsers;

namespace {

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
bool iffSize(std::FILE* file, long fileSize, std::uint64_t& width, std::uint64_t& height,
             bool& broken)
{
    unsigned char form[12];
    if (!readBytes(file, form, sizeof form) || std::memcmp(form, "FORM", 4) != 0)
        return false;
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

} // namespace

void HeaderParsers::gifClaim(std::FILE* file, long, PictureHeaders::HeaderClaim& claim)
{
    claim.known = gifSize(file, claim.width, claim.height);
}

void HeaderParsers::ddsClaim(std::FILE* file, long, PictureHeaders::HeaderClaim& claim)
{
    claim.known = ddsSize(file, claim.width, claim.height);
}

void HeaderParsers::sgiClaim(std::FILE* file, long, PictureHeaders::HeaderClaim& claim)
{
    claim.known = sgiSize(file, claim.width, claim.height);
}

void HeaderParsers::xbmClaim(std::FILE* file, long, PictureHeaders::HeaderClaim& claim)
{
    claim.known = xbmSize(file, claim.width, claim.height);
}

void HeaderParsers::iffClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim)
{
    claim.known = iffSize(file, fileSize, claim.width, claim.height, claim.broken);
}

void HeaderParsers::wbmpClaim(std::FILE* file, long, PictureHeaders::HeaderClaim& claim)
{
    claim.known = wbmpSize(file, claim.width, claim.height, claim.broken);
}
