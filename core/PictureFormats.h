// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The picture types the programs accept: every format the general loader
// reads, as the picture library itself lists them, and those our own
// decoders read. File dialogs, folder scans (the batch window's and
// tessera-sweep's) and desktop entries all take their list from here.
namespace PictureFormats {

// Every extension of every readable format, lower case, sorted, without
// duplicates ("bmp", "exr", "j2k", "jpg", "jxr", "tif", "webp", ...).
const QStringList& extensions();

// Name patterns for those extensions in lower and upper case ("*.bmp",
// "*.BMP", ...): file dialogs on case-sensitive file systems match names
// exactly.
QStringList namePatterns();

// Whether `fileName` ends in one of those extensions, in any case.
bool hasPictureExtension(const QString& fileName);
// The same for a name held as bytes, whatever bytes it holds: only the
// part after the last dot is looked at, and extensions are plain ASCII.
bool hasPictureExtension(const QByteArray& fileName);

// The readable files with a picture extension in `folder` and its
// sub-folders, as absolute paths, sorted: what the batch window adds for a
// folder.
QStringList picturesIn(const QString& folder);

// The open dialogs' filter: "Images (<patterns>);;All files (*)". The second
// entry lets a user pick a picture with an unusual name; the loader detects
// the format from the content first.
QString openFilter();

} // namespace PictureFormats
