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

// JPEG files that once crashed, hung or ballooned the general loader, made
// from a small picture of its own (64 x 48, saved at `scratchPath`):
// "components 5" and "components 10" (a frame of that many components, the
// scans covering three), "exif zeros" (a 112-byte Exif segment "Exif\0\0MM\0*"
// then zeros, the picture otherwise whole), "20000 comments" (before the
// frame), "600 scans" (a progressive file whose last scan comes 600 times),
// "claims 65500x65500".
QByteArray hostileJpeg(const QString& scratchPath, const QString& kind);

// A small PNG picture with a text chunk before its image data that claims
// 2^31 - 1 bytes, its contents only a few.
QByteArray pngTextClaimingGigabytes(const QString& scratchPath);

} // namespace BadInputs
