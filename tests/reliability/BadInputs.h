// SPDX-License-Identifier: GPL-3.0-or-later
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

// A 12 x 10 Targa picture, run-length coded or not; `stamp` adds a 4 x 3
// postage stamp picture (a version 2 file with an extension area).
QByteArray targa(const QString& scratchPath, bool runLength, bool stamp);

// A picture with 16 bits per sample, RGB or grey, as PNG or TIFF.
bool write16Bit(const QString& path, bool rgb, const char* format);

} // namespace BadInputs
