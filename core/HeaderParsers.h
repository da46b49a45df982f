// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PictureHeaders.h"

#include <cstdint>
#include <cstdio>

// The readers of what a picture file's header claims (PictureHeaders::
// readClaim), one per format, in a file per family of formats. Each reads
// from the start of `file`, whose size is `fileSize` bytes, fills what it
// finds in `claim` and leaves the rest as it was; none reads more than the
// header and the tables it points at, and none allocates by what it reads.
namespace HeaderParsers {

using Parser = void (*)(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim);

// Loaders that allocate the declared picture first (HeaderParsersSized).
void gifClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim);
void ddsClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim);
void sgiClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim);
void iffClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim);
void xbmClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim);
void wbmpClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim);
// Plain rows of pixels (HeaderParsersPlain). Targa's finds only `broken`
// and `truncated`.
void tgaClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim);
void pnmClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim);
void pcxClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim);
void bmpClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim);
// Several pictures or planes behind offsets (HeaderParsersLayered).
void psdClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim);
void icoClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim);
void tiffClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim);
// Wide samples (HeaderParsersPrecision).
void j2kClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim);
void jp2Claim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim);
void exrClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim);
void hdrClaim(std::FILE* file, long fileSize, PictureHeaders::HeaderClaim& claim);

// Sides beyond this are refused by the size limits anyway; capping the
// parsers here keeps their arithmetic far from overflow.
constexpr std::uint64_t HUGE_SIDE = std::uint64_t(1) << 32;

inline unsigned little16(const unsigned char* p)
{
    return unsigned(p[0]) | unsigned(p[1]) << 8;
}

inline unsigned big16(const unsigned char* p)
{
    return unsigned(p[0]) << 8 | unsigned(p[1]);
}

inline std::uint32_t little32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// The other way: `v` as four little-endian bytes at `p`, for the headers
// made over before the general loader reads them.
inline void putLittle32(unsigned char* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = (unsigned char)(v >> (8 * i));
}

inline std::uint32_t big32(const unsigned char* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
           std::uint32_t(p[3]);
}

} // namespace HeaderParsers
