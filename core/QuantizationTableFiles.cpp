// SPDX-License-Identifier: GPL-3.0-or-later
#include "QuantizationTableFiles.h"

#include "FileWrite.h"
#include "MemoryBudget.h"
#include "RegularFile.h"

#include <QFile>
#include <QFileInfo>

#include <limits>
#include <sstream>

namespace {

// Skips whitespace and comments up to the next character of data. A comment
// runs from '#' to the end of its line; the newline stays as whitespace.
void skipSeparators(std::istream& in)
{
    for (;;) {
        in >> std::ws;
        if (in.peek() != '#')
            return;
        in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
}

// Extracts one unsigned value the way the table files define it: leading
// whitespace skipped, decimal digits with an optional '+'. The standard
// unsigned extraction would accept "-1" and wrap it around to 4294967295, so a
// minus sign is refused here and fails the stream like any other non-number.
bool extractUnsigned(std::istream& in, unsigned int& value)
{
    skipSeparators(in);
    if (in.peek() == '-') {
        in.setstate(std::ios::failbit);
        return false;
    }
    in >> value;
    return !in.fail();
}

} // namespace

std::vector<QuantizationTable> readQTables(std::istream& in, bool* capped)
{
    std::vector<QuantizationTable> tables;
    unsigned int buffer[QuantizationTable::SIZE];
    if (capped)
        *capped = false;
    while (!in.fail()) {
        if (tables.size() == MemoryBudget::MAX_FILE_ENTRIES) {
            // More may follow; whether any does is not worth reading on.
            in >> std::ws;
            if (capped)
                *capped = !in.eof();
            break;
        }
        for (unsigned k = 0; k < QuantizationTable::SIZE && !in.fail(); ++k)
            extractUnsigned(in, buffer[k]);
        if (!in.fail())
            tables.emplace_back(buffer);
    }
    return tables;
}

std::vector<QuantizationTable> readQTables(const std::string& path, bool* capped)
{
    if (capped)
        *capped = false;
    RegularFileStream in(path);
    if (!in.isOpen())
        return {};
    return readQTables(in, capped);
}

bool readTable(std::istream& in, TableValues& table)
{
    TableValues buffer{};
    for (short& value : buffer) {
        // Out-of-range values fail the stream on their own (num_get).
        skipSeparators(in);
        if (!(in >> value))
            return false;
    }
    table = buffer;
    return true;
}

bool writeTable(std::ostream& out, const TableValues& table, const std::string& comment)
{
    if (!comment.empty()) {
        std::istringstream lines(comment);
        for (std::string line; std::getline(lines, line);)
            out << "# " << line << '\n';
    }
    for (unsigned k = 0; k < table.size(); ++k)
        out << table[k] << (k % 8 == 7 ? '\n' : '\t');
    return out.good();
}

TableFileStatus loadTable(const std::string& path, TableValues& table)
{
    RegularFileStream in(path);
    if (!in.isOpen())
        return TableFileStatus::OpenFailed;
    return readTable(in, table) ? TableFileStatus::Ok : TableFileStatus::BadContent;
}

TableFileStatus saveTable(const std::string& path, const TableValues& table,
                          const std::string& comment)
{
    std::ostringstream text;
    writeTable(text, table, comment);
    const QString target = QFile::decodeName(path.c_str());
    // Through a temporary file that replaces the old one only when all is
    // written: a full disk leaves an earlier table as it was, not cut short.
    if (writeFileReplacing(target, QByteArray::fromStdString(text.str())))
        return TableFileStatus::Ok;
    const QFileInfo folder(QFileInfo(target).absolutePath());
    return folder.isDir() && folder.isWritable() ? TableFileStatus::WriteFailed
                                                 : TableFileStatus::OpenFailed;
}
