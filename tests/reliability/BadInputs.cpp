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

} // namespace BadInputs
