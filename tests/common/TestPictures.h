// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <string>

class Image;
class JPEGSettings;

// Small pictures made on the fly, so tests need no committed fixtures.
namespace TestPictures {

enum class Kind {
    Colour,  // 24-bit gradient with fine detail
    Grey,    // 8-bit grey
    Palette, // 8-bit with a colour palette
    Alpha,   // 32-bit with a transparent left half
};

// Writes a width x height picture in the format named by `format` ("png",
// "bmp", "tiff", "jpg"); returns false when FreeImage refuses.
bool write(const QString& path, int width, int height, Kind kind = Kind::Colour,
           const char* format = "png");

// Writes a picture of one colour.
bool writeSolid(const QString& path, int width, int height, int red, int green, int blue,
                const char* format = "png");

// `path` in the file system's encoding, as Image and the loaders take it.
std::string encoded(const QString& path);

// The JPEG file the compressor makes of `image` under `settings`; empty when
// the compression fails.
QByteArray jpegOf(Image& image, const JPEGSettings& settings);

} // namespace TestPictures

// A fresh temporary folder that is the working directory while this object
// lives, so the files a test writes stay out of the source tree.
class ScratchDir
{
public:
    ScratchDir() : previous(QDir::currentPath()) { QDir::setCurrent(dir.path()); }
    ~ScratchDir() { QDir::setCurrent(previous); }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    QString path() const { return dir.path(); }
    QString file(const QString& name) const { return dir.filePath(name); }

private:
    QTemporaryDir dir;
    QString previous;
};
