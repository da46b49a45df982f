// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "JPEGSettings.h"
#include "SweepCsv.h"
#include "SweepRows.h"

#include <QString>
#include <QStringList>

// The settings entry of a row of the sweep CSV, made again from the row's
// setting columns, so that a row read from a file can be compressed again
// and viewed. The columns give every setting a sweep entry holds but the
// quantization tables, of which they give the names only; a name is
// resolved as follows:
//   "library standard"      automatic quality: the library's own tables;
//   a preset or Annex K     the table of that name (older names included);
//   "tables.txt:3"          table 3 of the file of that name in the first of
//                           the folders that has one (those of `sources`,
//                           then the picture's), else the table of that name
//                           in the run's table lists when given;
//   "custom"                not recoverable: the CSV does not hold it.
// A row that cannot be made again says why in `problem`.
namespace CsvEntry {

// Where the tables a CSV names are looked for.
struct Sources
{
    // Folders searched for table files, in order (the CSV's); the
    // picture's folder is searched after them.
    QStringList folders;
    // The table lists of a run with their names (may be null).
    const SweepCsv::TableNames* known = nullptr;
};

struct Entry
{
    JPEGSettings settings;
    QString picture;       // the picture's path as the row gives it
    qint64 jpegBytes = -1; // the size the row records, -1 when none
    QString problem;       // empty when `settings` is the row's entry
};

// The entry of `row`.
Entry read(const SweepRows& rows, int row, const Sources& sources);

} // namespace CsvEntry
