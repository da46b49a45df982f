// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SweepRows.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// Comma-separated text as RFC 4180 defines it: records end in CR LF (a bare
// LF is accepted too, and the last record may lack its line end); a field is
// either bare, holding no comma, quote or line end, or quoted, where a quote
// is written twice and commas and line ends are part of the field. The text
// is UTF-8, an optional byte order mark skipped. The first record is the
// header; every record has as many fields as the header.
//
// Malformed text (a quote inside a bare field, text after a closing quote, a
// quoted field left open, a record of the wrong width, bytes that are not
// UTF-8) is refused with the record's line number: a sweep file that was cut
// short or mangled is not read as a shorter sweep.
//
// The table columns of a sweep (luminance_table, chrominance_table) read
// with the tables' current names: a name older versions wrote is an alias.
class CsvTable : public SweepRows
{
public:
    // Nothing, with the reason in `error`, when the text is malformed.
    //
    // With `complete`, the text may be a table that a writer was stopped
    // while appending to: a last record that is not ended by its line end
    // (a quoted field left open among them) is left out rather than refused,
    // and `complete` receives the length of the bytes read, the records up
    // to and with their line ends.
    static std::optional<CsvTable> parse(const QByteArray& text, QString* error,
                                         qsizetype* complete = nullptr);
    // The same for a file; a file that cannot be read gives the reason.
    static std::optional<CsvTable> read(const QString& path, QString* error);

    QStringList header() const override { return names; }
    const QStringList& record(int row) const { return records[std::size_t(row)]; }
    // The line of the text on which a record starts, the header's being 1.
    int line(int row) const;

    int count() const override { return int(records.size()); }
    int column(const QString& name) const override { return int(names.indexOf(name)); }
    QString text(int row, int column) const override;

private:
    // Tables that older sweeps named otherwise read under today's names, so
    // that their rows group with new ones.
    void renameOldTableNames();

    QStringList names;
    std::vector<QStringList> records;
    std::vector<int> lines;
};
