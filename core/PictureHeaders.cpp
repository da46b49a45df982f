#include "PictureHeaders.h"

#include <cstdio>
#include <cstring>
#include <memory>

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

// The Targa loader trusts two things that a damaged file gets wrong, and
// reads or writes outside its buffers (or frees the picture it then returns)
// when they are off: a run-length coded picture needs at least one pixel's
// bytes per row after the header, the identifier and the colour map, and a
// postage stamp must fit into the room between its offset and the footer.
// Files like that, and files shorter than the header, are broken.
bool tgaBroken(std::FILE* file)
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

// A file read through FreeImageIO that notes reads past its end.
struct GuardedFile
{
    std::FILE* file = nullptr;
    bool pastEnd = false;
    std::size_t filled = 0; // bytes handed out past the end
};

unsigned DLL_CALLCONV guardedRead(void* buffer, unsigned size, unsigned count, fi_handle handle)
{
    auto* guarded = static_cast<GuardedFile*>(handle);
    const std::size_t got = std::fread(buffer, size, count, guarded->file);
    if (got < count) {
        guarded->pastEnd = true;
        // "x0000," ends both of the reader's hex loops (a digit after skipped
        // characters, then a non-digit) and its search for an 'x'.
        static const char filler[] = "x0000,";
        auto* bytes = static_cast<char*>(buffer);
        for (std::size_t i = got * size; i < std::size_t(size) * count; ++i)
            bytes[i] = filler[guarded->filled++ % (sizeof filler - 1)];
    }
    return unsigned(got);
}

unsigned DLL_CALLCONV noWrite(void*, unsigned, unsigned, fi_handle)
{
    return 0;
}

int DLL_CALLCONV guardedSeek(fi_handle handle, long offset, int origin)
{
    return std::fseek(static_cast<GuardedFile*>(handle)->file, offset, origin);
}

long DLL_CALLCONV guardedTell(fi_handle handle)
{
    return std::ftell(static_cast<GuardedFile*>(handle)->file);
}

} // namespace

namespace PictureHeaders {

HeaderClaim readClaim(FREE_IMAGE_FORMAT format, const std::string& path)
{
    HeaderClaim claim;
    bool (*reader)(std::FILE*, std::uint64_t&, std::uint64_t&) = nullptr;
    bool (*checker)(std::FILE*, std::uint64_t&, std::uint64_t&, bool&) = nullptr;
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
    case FIF_TARGA:
        break;
    default:
        return claim;
    }
    const File file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return claim;
    if (format == FIF_TARGA) {
        claim.broken = tgaBroken(file.get());
        return claim;
    }
    claim.known = reader ? reader(file.get(), claim.width, claim.height)
                         : checker(file.get(), claim.width, claim.height, claim.broken);
    return claim;
}

FIBITMAP* loadXbm(const std::string& path, int flags, bool& truncated)
{
    truncated = false;
    const File file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return nullptr;
    GuardedFile guarded;
    guarded.file = file.get();
    FreeImageIO io;
    io.read_proc = guardedRead;
    io.write_proc = noWrite;
    io.seek_proc = guardedSeek;
    io.tell_proc = guardedTell;
    FIBITMAP* bitmap = FreeImage_LoadFromHandle(FIF_XBM, &io, &guarded, flags);
    truncated = guarded.pastEnd;
    if (truncated && bitmap) {
        FreeImage_Unload(bitmap);
        bitmap = nullptr;
    }
    return bitmap;
}

} // namespace PictureHeaders
