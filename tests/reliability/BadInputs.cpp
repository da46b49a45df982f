// SPDX-License-Identifier: GPL-3.0-or-later
#include "BadInputs.h"

#include "TestPictures.h"

#include <FreeImage.h>
#include <QFile>

namespace {

quint32 crc32(const QByteArray& bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putBig16(QByteArray& bytes, int at, int value)
{
    bytes[at] = char(value >> 8);
    bytes[at + 1] = char(value);
}

void putLittle16(QByteArray& bytes, int at, int value)
{
    bytes[at] = char(value);
    bytes[at + 1] = char(value >> 8);
}

void putBig32(QByteArray& bytes, int at, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(value >> (24 - 8 * i));
}

} // namespace

namespace BadInputs {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.flush();
}

QByteArray claiming(const QString& scratchPath, const char* format, int width, int height)
{
    const QByteArray name(format);
    const bool gif = name == "gif";
    if (gif) {
        // FreeImage writes GIF only from a palette picture.
        FreeImage_Initialise(FALSE);
        FIBITMAP* bitmap = FreeImage_Allocate(8, 8, 8);
        const bool saved = FreeImage_Save(FIF_GIF, bitmap, QFile::encodeName(scratchPath), 0);
        FreeImage_Unload(bitmap);
        if (!saved)
            return {};
    } else if (!TestPictures::write(scratchPath, 8, 8, TestPictures::Kind::Colour, format)) {
        return {};
    }
    QByteArray bytes = contents(scratchPath);
    if (name == "png") {
        putBig32(bytes, 16, quint32(width));
        putBig32(bytes, 20, quint32(height));
        putBig32(bytes, 29, crc32(bytes.mid(12, 17)));
    } else if (name == "bmp") {
        putLittle16(bytes, 18, width);
        putLittle16(bytes, 20, 0);
        putLittle16(bytes, 22, height);
        putLittle16(bytes, 24, 0);
    } else if (gif) {
        putLittle16(bytes, 6, width);
        putLittle16(bytes, 8, height);
        const int descriptor = bytes.indexOf(char(0x2C), 13);
        if (descriptor < 0)
            return {};
        putLittle16(bytes, descriptor + 5, width);
        putLittle16(bytes, descriptor + 7, height);
    } else if (name == "jpg") {
        for (int i = 2; i + 9 < bytes.size(); ++i) {
            if (quint8(bytes[i]) == 0xFF && (quint8(bytes[i + 1]) & 0xFC) == 0xC0) {
                putBig16(bytes, i + 5, height);
                putBig16(bytes, i + 7, width);
                return bytes;
            }
        }
        return {};
    }
    return bytes;
}

QByteArray targa(const QString& scratchPath, bool runLength, bool stamp)
{
    FreeImage_Initialise(FALSE);
    FIBITMAP* bitmap = FreeImage_Allocate(12, 10, 24);
    if (!bitmap)
        return {};
    for (int y = 0; y < 10; ++y) {
        BYTE* line = FreeImage_GetScanLine(bitmap, y);
        for (int x = 0; x < 36; ++x)
            line[x] = BYTE(x < 18 ? 40 : x * 7 + y);
    }
    if (stamp) {
        FIBITMAP* small = FreeImage_Allocate(4, 3, 24);
        FreeImage_SetThumbnail(bitmap, small);
        FreeImage_Unload(small);
    }
    const bool saved = FreeImage_Save(FIF_TARGA, bitmap, QFile::encodeName(scratchPath),
                                      runLength ? TARGA_SAVE_RLE : 0);
    FreeImage_Unload(bitmap);
    return saved ? contents(scratchPath) : QByteArray();
}

bool write16Bit(const QString& path, bool rgb, const char* format)
{
    FreeImage_Initialise(FALSE);
    constexpr int width = 6, height = 5;
    FIBITMAP* bitmap = FreeImage_AllocateT(rgb ? FIT_RGB16 : FIT_UINT16, width, height);
    if (!bitmap)
        return false;
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<WORD*>(FreeImage_GetScanLine(bitmap, y));
        for (int x = 0; x < width * (rgb ? 3 : 1); ++x)
            line[x] = WORD(x * 9000 + y * 700);
    }
    const bool saved = FreeImage_Save(QByteArray(format) == "png" ? FIF_PNG : FIF_TIFF, bitmap,
                                      QFile::encodeName(path), 0);
    FreeImage_Unload(bitmap);
    return saved;
}

namespace {

// Where the first segment of `marker` starts, or -1.
int findSegment(const QByteArray& jpeg, int marker)
{
    for (int at = 2; at + 4 <= jpeg.size() && quint8(jpeg[at]) == 0xFF;) {
        if (quint8(jpeg[at + 1]) == marker)
            return at;
        if (quint8(jpeg[at + 1]) == 0xDA)
            return -1;
        at += 2 + (quint8(jpeg[at + 2]) << 8 | quint8(jpeg[at + 3]));
    }
    return -1;
}

QByteArray savedJpeg(const QString& path, int flags)
{
    FreeImage_Initialise(FALSE);
    FIBITMAP* bitmap = FreeImage_Allocate(64, 48, 24);
    for (unsigned y = 0; y < 48; ++y) {
        BYTE* line = FreeImage_GetScanLine(bitmap, int(y));
        for (unsigned x = 0; x < 64 * 3; ++x)
            line[x] = BYTE(x * 5 + y * 11);
    }
    const bool saved = FreeImage_Save(FIF_JPEG, bitmap, QFile::encodeName(path), flags);
    FreeImage_Unload(bitmap);
    return saved ? contents(path) : QByteArray();
}

} // namespace

QByteArray hostileJpeg(const QString& scratchPath, const QString& kind)
{
    if (kind == QLatin1String("claims 65500x65500"))
        return claiming(scratchPath, "jpg", 65500, 65500);
    const bool progressive = kind == QLatin1String("600 scans");
    QByteArray jpeg = savedJpeg(scratchPath, progressive ? JPEG_PROGRESSIVE | JPEG_QUALITYGOOD
                                                         : JPEG_QUALITYGOOD);
    const int frame = findSegment(jpeg, progressive ? 0xC2 : 0xC0);
    if (frame < 0)
        return {};
    if (kind.startsWith(QLatin1String("components "))) {
        const int count = kind.mid(11).toInt();
        QByteArray segment = jpeg.mid(frame, 10 + 9);
        putBig16(segment, 2, 8 + 3 * count);
        segment[9] = char(count);
        for (int c = 3; c < count; ++c)
            segment += QByteArray(1, char(c + 1)) + QByteArray("\x11\x00", 2);
        return jpeg.left(frame) + segment + jpeg.mid(frame + 19);
    }
    if (kind == QLatin1String("exif zeros")) {
        QByteArray exif("\xff\xe1\x00\x70"
                        "Exif\0\0MM\0*",
                        14);
        return jpeg.left(2) + exif + QByteArray(112 - 2 - 10, '\0') + jpeg.mid(2);
    }
    if (kind == QLatin1String("20000 comments")) {
        QByteArray comments;
        for (int i = 0; i < 20000; ++i)
            comments += QByteArray("\xff\xfe\x00\x04"
                                   "ab",
                                   6);
        return jpeg.left(frame) + comments + jpeg.mid(frame);
    }
    if (progressive) {
        const int last = jpeg.lastIndexOf(QByteArray("\xff\xda", 2));
        const int end = jpeg.lastIndexOf(QByteArray("\xff\xd9", 2));
        if (last < 0 || end < last)
            return {};
        return jpeg.left(end) + jpeg.mid(last, end - last).repeated(600) + jpeg.mid(end);
    }
    return {};
}

QByteArray pngTextClaimingGigabytes(const QString& scratchPath)
{
    if (!TestPictures::write(scratchPath, 8, 8))
        return {};
    const QByteArray png = contents(scratchPath);
    QByteArray chunk(12 + 2048, 'x');
    putBig32(chunk, 0, 0x7FFFFFFFu);
    chunk.replace(4, 4, "tEXt");
    // IHDR is 8 + 25 bytes in; the text chunk follows it.
    return png.left(33) + chunk + png.mid(33);
}

} // namespace BadInputs
