// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestPictures.h"

#include "CompressionResult.h"
#include "Image.h"
#include "JPEGCompressor.h"

#include <FreeImage.h>
#include <QFile>

#include <algorithm>
#include <memory>

namespace {

FREE_IMAGE_FORMAT formatNamed(const char* format)
{
    const QByteArray name(format);
    if (name == "png")
        return FIF_PNG;
    if (name == "bmp")
        return FIF_BMP;
    if (name == "tiff")
        return FIF_TIFF;
    if (name == "jpg")
        return FIF_JPEG;
    if (name == "psd")
        return FIF_PSD;
    if (name == "ico")
        return FIF_ICO;
    return FIF_UNKNOWN;
}

// A Photoshop file of 8-bit channels with run-length coded rows (every
// packet literal), as FreeImage writes them. FreeImage's own writer keeps its
// row-length table after every save, which the sanitizer build reports.
bool savePsd(FIBITMAP* bitmap, const QString& path)
{
    const unsigned width = FreeImage_GetWidth(bitmap), height = FreeImage_GetHeight(bitmap);
    const unsigned bpp = FreeImage_GetBPP(bitmap);
    if (bpp != 8 && bpp != 24 && bpp != 32)
        return false;
    const unsigned channels = bpp == 8 ? 1 : bpp / 8;
    QByteArray file;
    auto put = [&file](quint64 value, int bytes) {
        for (int i = bytes - 1; i >= 0; --i)
            file.append(char((value >> (8 * i)) & 0xff));
    };
    file.append("8BPS");
    put(1, 2);
    put(0, 6);
    put(channels, 2);
    put(height, 4);
    put(width, 4);
    put(8, 2);
    put(bpp == 8 ? 1 : 3, 2); // grey or RGB
    put(0, 4);                // colour mode data
    put(0, 4);                // image resources
    put(0, 4);                // layers and masks
    put(1, 2);                // run-length coded
    const int order[] = {FI_RGBA_RED, FI_RGBA_GREEN, FI_RGBA_BLUE, FI_RGBA_ALPHA};
    QByteArray rows;
    for (unsigned c = 0; c < channels; ++c) {
        for (unsigned y = 0; y < height; ++y) {
            const BYTE* line = FreeImage_GetScanLine(bitmap, int(height - 1 - y));
            QByteArray row;
            for (unsigned x = 0; x < width; x += 128) {
                const unsigned run = std::min(128u, width - x);
                row.append(char(run - 1));
                for (unsigned i = x; i < x + run; ++i)
                    row.append(char(channels == 1 ? line[i] : line[i * channels + order[c]]));
            }
            put(quint64(row.size()), 2);
            rows.append(row);
        }
    }
    file.append(rows);
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(file) == file.size();
}

bool save(FIBITMAP* bitmap, const QString& path, const char* format)
{
    if (!bitmap)
        return false;
    if (formatNamed(format) == FIF_PSD) {
        const bool ok = savePsd(bitmap, path);
        FreeImage_Unload(bitmap);
        return ok;
    }
    const QByteArray name = QFile::encodeName(path);
    const bool ok = FreeImage_Save(formatNamed(format), bitmap, name.constData(), 0);
    FreeImage_Unload(bitmap);
    return ok;
}

} // namespace

namespace TestPictures {

bool write(const QString& path, int width, int height, Kind kind, const char* format)
{
    FreeImage_Initialise(FALSE);
    const int bpp = kind == Kind::Alpha ? 32 : (kind == Kind::Colour ? 24 : 8);
    FIBITMAP* bitmap = FreeImage_Allocate(width, height, bpp);
    if (!bitmap)
        return false;
    if (kind == Kind::Grey || kind == Kind::Palette) {
        RGBQUAD* palette = FreeImage_GetPalette(bitmap);
        for (int i = 0; i < 256; ++i) {
            palette[i].rgbRed = BYTE(kind == Kind::Grey ? i : (i * 7) & 255);
            palette[i].rgbGreen = BYTE(kind == Kind::Grey ? i : (i * 3) & 255);
            palette[i].rgbBlue = BYTE(kind == Kind::Grey ? i : 255 - i);
            palette[i].rgbReserved = 0;
        }
    }
    // FreeImage stores the bottom row first; y counts from the top here.
    for (int y = 0; y < height; ++y) {
        BYTE* line = FreeImage_GetScanLine(bitmap, height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const int r = (x * 255) / (width > 1 ? width - 1 : 1);
            const int g = (y * 255) / (height > 1 ? height - 1 : 1);
            const int b = ((x / 4 + y / 4) % 2) ? 200 : 40;
            if (bpp == 8) {
                line[x] = BYTE((r + g + b) / 3);
            } else {
                BYTE* p = line + x * (bpp / 8);
                p[FI_RGBA_RED] = BYTE(r);
                p[FI_RGBA_GREEN] = BYTE(g);
                p[FI_RGBA_BLUE] = BYTE(b);
                if (bpp == 32)
                    p[FI_RGBA_ALPHA] = BYTE(x < width / 2 ? 0 : 255);
            }
        }
    }
    return save(bitmap, path, format);
}

bool writeSolid(const QString& path, int width, int height, int red, int green, int blue,
                const char* format)
{
    FreeImage_Initialise(FALSE);
    FIBITMAP* bitmap = FreeImage_Allocate(width, height, 24);
    if (!bitmap)
        return false;
    for (int y = 0; y < height; ++y) {
        BYTE* line = FreeImage_GetScanLine(bitmap, y);
        for (int x = 0; x < width; ++x) {
            line[3 * x + FI_RGBA_RED] = BYTE(red);
            line[3 * x + FI_RGBA_GREEN] = BYTE(green);
            line[3 * x + FI_RGBA_BLUE] = BYTE(blue);
        }
    }
    return save(bitmap, path, format);
}

} // namespace TestPictures

std::string TestPictures::encoded(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QByteArray TestPictures::jpegOf(Image& image, const JPEGSettings& settings)
{
    JPEGCompressor compressor;
    compressor.setImage(&image);
    *compressor.getSettings() = settings;
    std::unique_ptr<CompressionResult> result(compressor.compressImage());
    return result ? result->getCompressedBytes() : QByteArray();
}
