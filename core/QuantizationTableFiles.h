// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "QuantizationTables.h"

#include <array>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

// Quantization tables as plain text: 64 decimal values per table in natural
// (row-major) order, separated by any whitespace. A '#' outside a number
// starts a comment that runs to the end of its line and counts as whitespace;
// this is the common text form of custom tables that JPEG encoders read, and
// files without comments are simply its plain case. The editor writes one
// table as 8 lines of 8 TAB-separated values, each line ended by a newline,
// optionally after a few comment lines.

// Reads every complete table of the stream, in order. Values are unsigned
// 32-bit; reading stops at the first token that is not such a number (a value
// with a minus sign counts as not a number), at a value too large, or at the
// end of the data. A trailing incomplete table is dropped; nothing is reported.
// At most MemoryBudget::MAX_FILE_ENTRIES tables are read; `capped`, when
// given, tells whether more data followed them.
std::vector<QuantizationTable> readQTables(std::istream& in, bool* capped = nullptr);

// The same on a file; a file that does not open, or is not a regular file
// (a FIFO, a device), gives an empty vector. `path` holds the file name in
// the file system's 8-bit encoding (QFile::encodeName for a QString).
std::vector<QuantizationTable> readQTables(const std::string& path, bool* capped = nullptr);

// One table as the quantization editor holds it: signed 16-bit values in
// natural order.
using TableValues = std::array<short, QuantizationTable::SIZE>;

// Outcome of loading or saving one table file.
enum class TableFileStatus {
    Ok,
    OpenFailed,  // the file could not be opened or created
    BadContent,  // fewer than 64 numbers, a non-number, or a value outside 16 bits
    WriteFailed, // the file was created but the data could not be written out
};

// Reads the first 64 values as signed 16-bit integers; anything after them is
// not read. Returns false, leaving `table` unchanged, when the stream holds
// fewer than 64 valid values before its end or before a token that is not one.
bool readTable(std::istream& in, TableValues& table);

// Writes 8 lines of 8 values, TAB between values, newline after each line.
// Each line of `comment` goes before them as a line of its own, "# " first.
// Returns whether the stream is still good afterwards.
bool writeTable(std::ostream& out, const TableValues& table, const std::string& comment = {});

// File versions of the two above; `path` as for readQTables. `table` is only
// changed when the result is Ok; anything but a regular file fails to open.
// Saving replaces an existing file.
TableFileStatus loadTable(const std::string& path, TableValues& table);
TableFileStatus saveTable(const std::string& path, const TableValues& table,
                          const std::string& comment = {});
