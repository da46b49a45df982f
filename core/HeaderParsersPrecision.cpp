// SPDX-License-Identifier: GPL-3.0-or-later
// The formats of wide samples, whose decoders hold planes of their own:
// JPEG 2000 (codestream and JP2 file), OpenEXR and Radiance HDR.

#include "HeaderParsers.h"

#include "GuardedIo.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace HeaderParsers;

namespace {

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

} // namespace

void HeaderParsers::j2kClaim(std::FILE* file, long, PictureHeaders::HeaderClaim& claim)
{
    j2kSize(file, claim);
}

// A JP2 file is a sequence of boxes (length, type, contents); the header box
// holds an image header box with the size, the codestream box the codestream
// with its own SIZ segment. The decoder goes by both, so both count.
void HeaderParsers::jp2Claim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim)
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
void HeaderParsers::exrClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim)
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
void HeaderParsers::hdrClaim(std::FILE* file, long, PictureHeaders::HeaderClaim& claim)
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
