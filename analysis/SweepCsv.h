// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CompressionResult.h"
#include "JPEGSettings.h"
#include "QuantizationTables.h"

#include <QString>
#include <QStringList>

#include <vector>

// The sweep table: one row per compression of a run, the columns below, in
// the text that tessera-sweep writes and the results window shows and
// exports. Numbers are written at full precision, an empty field where a
// figure is not available; "inf" for an infinite one.
namespace SweepCsv {

// The columns, in order.
const QStringList& columns();
int column(const char* name);

// A figure at full precision: the shortest text that reads back as the same
// double; "inf", "-inf" or "nan" for those.
QString number(double value);
// The number in `text`; false when it is not one.
bool readNumber(const QString& text, double& value);

// The names a run gives its quantization tables, slot by slot (0 luminance,
// 1 chrominance): the table lists of its sweep, each table with its name
// ("Luminance standard", "tables.txt:3"). A table none of them holds is named
// after the preset it equals, else "custom".
struct TableNames
{
    std::vector<QuantizationTable> tables[2];
    QStringList names[2];
};

// The name of the table the encoder writes for `slot` of an entry, as the
// table columns give it: "library standard" under automatic quality, empty
// for the chrominance of grey-scale output, else its name in `tables` (may
// be null), the preset it equals or "custom".
QString tableName(const JPEGSettings& entry, JPEGSettings::LC_INDEXES slot,
                  const TableNames* tables);

// The names of the tables read from a file: its name and their index there,
// "tables.txt:0", "tables.txt:1" and so on.
QStringList fileTableNames(const QString& path, std::size_t count);

// What one row is made of. The entry is the settings the compression was
// asked for, the record its figures and what the run noted about it (indices,
// sizes, sampling, times; JPEG sizes and figures only when `compressed`).
struct Row
{
    Row(const JPEGSettings& entry, const ResultStat& stat) : entry(entry), stat(stat) {}

    const JPEGSettings& entry;
    const ResultStat& stat;
    int pictureIndex = 0;
    // False: the picture did not load; the row holds only its index, path,
    // status and message.
    bool loaded = true;
    // False: no JPEG came out; its size and figures stay empty.
    bool compressed = true;
    bool failed = false; // the status column
    QString message;
    const TableNames* tables = nullptr; // null: presets and "custom" only
};

// A field of a row as the table holds it.
QString field(const Row& row, int column);
// A numeric field as a number, NaN when empty; false for a text column.
bool value(const Row& row, int column, double& number);
QStringList fields(const Row& row);
// The fields as the table file holds them: text cells through
// FileNames::cellOfText, so that spreadsheets take them as text.
QStringList fileFields(const Row& row);

} // namespace SweepCsv
