// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "JPEGSettings.h"

#include <QString>

#include <optional>

// How an entry's settings read in the sweep CSV's columns and on command
// lines. The values describe what the encoder applies: under automatic
// quality it uses the library's defaults (standard tables scaled to the
// quality, integer DCT, 2x2 luminance sampling) whatever the entry's unused
// fields hold.
namespace SettingsText {

QString mode(const JPEGSettings& s); // "Baseline" or "Extended"
QString dct(const JPEGSettings& s);  // "int", "fast" or "float"
// Horizontal x vertical factors per component: "2x2,1x1,1x1"; one
// component for grey-scale output.
QString sampling(const JPEGSettings& s);
// The preset the entry's table equals ("Luminance standard",
// "Chrominance 3"), else "custom".
QString tableName(const JPEGSettings& s, JPEGSettings::LC_INDEXES slot);

// The cjpeg options that write the same file, where there are some: only the
// standard tables can be named on its command line without a table file.
std::optional<QString> cjpegOptions(const JPEGSettings& s);
// The tessera-sweep options of a sweep of this one entry, the table and
// sampling files aside.
QString sweepOptions(const JPEGSettings& s);

// Shell commands that compress `picture` as the entry does, to the same
// bytes: files of the tables and sampling pairs other than the sweep's
// defaults written by here-documents, then the command. A line starting
// with "#" says why there is none.
QString sweepCommand(const JPEGSettings& s, const QString& picture);
// The same through cjpeg, writing `jpeg`: the picture read by netpbm
// (pngtopnm and the like) and made a three-component PPM by ppmtoppm, since
// the encoder reads every picture as RGB; custom tables through a tables
// file and -qslots.
QString cjpegCommand(const JPEGSettings& s, const QString& picture, const QString& jpeg);

} // namespace SettingsText
