#pragma once

#include <QByteArray>
#include <QString>

// Helpers that make damaged and hostile input files.
namespace BadInputs {

QByteArray contents(const QString& path);
bool writeBytes(const QString& path, const QByteArray& bytes);

// A real small picture of `format` ("jpg", "png", "bmp", "gif") whose header
// is patched to claim width x height.
QByteArray claiming(const QString& scratchPath, const char* format, int width, int height);

// A picture with 16 bits per sample, RGB or grey, as PNG or TIFF.
bool write16Bit(const QString& path, bool rgb, const char* format);

} // namespace BadInputs
