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
// The tables' names as TableNames gives them: "Annex K luminance (K.1)",
// "Luminance standard", "Chrominance 3", "custom"; short: "K.1", "L std".
QString tableName(const QuantizationTable& table);
QString shortTableName(const QuantizationTable& table);
// The name of the table in the entry's slot.
QString tableName(const JPEGSettings& s, JPEGSettings::LC_INDEXES slot);

// The table and quality the encoder writes for the luminance (slot 0) or
// the chrominance (slot 1). Under automatic quality, and for a slot whose
// custom table is not checked, that is the library's own: Annex K scaled
// to the quality, or to the library's default quality 75 respectively.
struct WrittenTable
{
    QuantizationTable table;
    int quality = 75;
    bool custom = false; // the slot's checked custom table
};
WrittenTable writtenTable(const JPEGSettings& s, JPEGSettings::LC_INDEXES slot);
// The quality and tables written, in short: "q95 K.1/K.2", "q75 library
// K.1/K.2" with no custom table checked, "K.1 q95 / K.2 q75" when the two
// differ in quality, then ", Cr C3 q95" when a third table is Cr's; grey
// output names the luminance only.
QString writtenTablesText(const JPEGSettings& s);

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
