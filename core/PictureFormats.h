// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The picture types the loader reads, as the picture library itself lists
// them, for file dialogs, folder scans and desktop entries.
namespace PictureFormats {

// Every extension of every readable format, lower case, sorted, without
// duplicates ("bmp", "exr", "j2k", "jpg", "jxr", "tif", "webp", ...).
QStringList extensions();

// Name patterns for those extensions in lower and upper case ("*.bmp",
// "*.BMP", ...): file dialogs on case-sensitive file systems match names
// exactly.
QStringList namePatterns();

// Whether `fileName` ends in one of those extensions, in any case.
bool hasPictureExtension(const QString& fileName);

// The open dialogs' filter: "Images (<patterns>);;All files (*)". The second
// entry lets a user pick a picture with an unusual name; the loader detects
// the format from the content first.
QString openFilter();

} // namespace PictureFormats
