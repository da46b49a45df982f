// SPDX-License-Identifier: GPL-3.0-or-later
#include "PictureHeaders.h"

#include "BmpRle.h"
#include "GuardedIo.h"
#include "HeaderParsers.h"

#include <cstdint>
#include <cstring>
#include <memory>

namespace {

struct FormatParser
{
    FREE_IMAGE_FORMAT format;
    HeaderParsers::Parser parse;
};

// The formats whose headers are read before their loaders run.
constexpr FormatParser parsers[] = {
    {FIF_GIF, HeaderParsers::gifClaim},   {FIF_DDS, HeaderParsers::ddsClaim},
    {FIF_SGI, HeaderParsers::sgiClaim},   {FIF_XBM, HeaderParsers::xbmClaim},
    {FIF_IFF, HeaderParsers::iffClaim},   {FIF_WBMP, HeaderParsers::wbmpClaim},
    {FIF_PBM, HeaderParsers::pnmClaim},   {FIF_PBMRAW, HeaderParsers::pnmClaim},
    {FIF_PGM, HeaderParsers::pnmClaim},   {FIF_PGMRAW, HeaderParsers::pnmClaim},
    {FIF_PPM, HeaderParsers::pnmClaim},   {FIF_PPMRAW, HeaderParsers::pnmClaim},
    {FIF_PCX, HeaderParsers::pcxClaim},   {FIF_BMP, HeaderParsers::bmpClaim},
    {FIF_J2K, HeaderParsers::j2kClaim},   {FIF_JP2, HeaderParsers::jp2Claim},
    {FIF_EXR, HeaderParsers::exrClaim},   {FIF_HDR, HeaderParsers::hdrClaim},
    {FIF_TIFF, HeaderParsers::tiffClaim}, {FIF_PSD, HeaderParsers::psdClaim},
    {FIF_ICO, HeaderParsers::icoClaim},   {FIF_TARGA, HeaderParsers::tgaClaim},
};

HeaderParsers::Parser parserFor(FREE_IMAGE_FORMAT format)
{
    for (const FormatParser& entry : parsers)
        if (entry.format == format)
            return entry.parse;
    return nullptr;
}

} // namespace

namespace PictureHeaders {

HeaderClaim readClaim(FREE_IMAGE_FORMAT format, const std::string& path)
{
    HeaderClaim claim;
    const HeaderParsers::Parser parse = parserFor(format);
    if (!parse)
        return claim;
    const File file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return claim;
    const long size = fileSizeOf(file.get());
    if (size >= 0)
        parse(file.get(), size, claim);
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
    const long size = fileSizeOf(file.get());
    if (size <= 0 || size > largest)
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

std::vector<unsigned char> bmpWithShortHeader(const unsigned char* data, std::size_t size)
{
    constexpr std::size_t FILE_HEADER = 14, SHORT = 40, MASKS = 12;
    if (size < FILE_HEADER + SHORT || data[0] != 'B' || data[1] != 'M')
        return {};
    const std::uint32_t infoSize = HeaderParsers::little32(data + 14),
                        offset = HeaderParsers::little32(data + 10);
    if ((infoSize != 108 && infoSize != 124) || size < FILE_HEADER + infoSize ||
        offset < FILE_HEADER + infoSize || offset > size)
        return {};
    // The longer headers hold the masks of BI_BITFIELDS inside; the short
    // one wants them after it.
    const bool bitfields = HeaderParsers::little32(data + 30) == 3;
    const std::size_t masks = bitfields ? MASKS : 0;
    std::vector<unsigned char> out;
    out.reserve(size - infoSize + SHORT + masks);
    out.insert(out.end(), data, data + FILE_HEADER + SHORT);
    if (bitfields)
        out.insert(out.end(), data + FILE_HEADER + SHORT, data + FILE_HEADER + SHORT + MASKS);
    out.insert(out.end(), data + FILE_HEADER + infoSize, data + size);
    const std::size_t removed = infoSize - SHORT - masks;
    HeaderParsers::putLittle32(out.data() + 2, std::uint32_t(out.size()));
    HeaderParsers::putLittle32(out.data() + 10, std::uint32_t(offset - removed));
    HeaderParsers::putLittle32(out.data() + 14, SHORT);
    return out;
}

namespace {

// A BMP file as the general loader can read it: with the short header, and
// with its run-length rows expanded when `pixels` are wanted; empty when
// the file needs neither. `damaged` tells that its runs leave the picture
// or stop short: the general loader would give what it made of them (the
// 4-bit ones, which it reads) as a whole picture.
std::vector<unsigned char> bmpMadeOver(const unsigned char* data, std::size_t size, bool pixels,
                                       bool& damaged)
{
    std::vector<unsigned char> shortened = bmpWithShortHeader(data, size);
    damaged = false;
    if (!pixels)
        return shortened;
    if (!shortened.empty()) {
        data = shortened.data();
        size = shortened.size();
    }
    std::vector<unsigned char> expanded;
    const BmpRle::Outcome outcome = BmpRle::expand(data, size, expanded);
    damaged = outcome == BmpRle::Outcome::Damaged;
    return outcome == BmpRle::Outcome::Expanded ? expanded : shortened;
}

} // namespace

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
    std::vector<unsigned char> madeOver;
    if (format == FIF_BMP && whole) {
        bool damaged = false;
        madeOver =
            bmpMadeOver(whole->data(), whole->size(), (flags & FIF_LOAD_NOPIXELS) == 0, damaged);
        if (damaged)
            return nullptr;
    }
    if (!madeOver.empty()) {
        guarded.data = madeOver.data();
        guarded.size = madeOver.size();
    } else if (whole && !whole->empty()) {
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
