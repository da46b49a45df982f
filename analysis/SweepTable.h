// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SweepIdentity.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class QFile;

// The table tessera-sweep writes: a header, then one row per compression in
// the columns of SweepIdentity::columns(), all rows of one sweep, in key
// order (picture index, then entry index) once a run is over. This class
// reads such a table, writes one whole, and appends to one while a run goes
// on, a new one or one that an earlier run left unfinished.
//
// Columns are found by their names, never by their places: a table whose
// columns are in another order, or that holds columns of its own beside the
// sweep's (added in a spreadsheet, say), reads as the same rows. A table
// that is resumed keeps its own layout and its other columns, the new rows'
// cells there empty; a table written whole has the sweep's layout.
//
// Every failure comes back as false or nothing with a message naming the
// file; a file that is replaced is replaced only once its new text is whole.
class SweepTable
{
public:
    struct Row
    {
        SweepKey key;
        QStringList cells; // in the table's own layout; see field() and fields()
    };

    SweepTable();
    ~SweepTable();
    SweepTable(SweepTable&&) noexcept;
    SweepTable& operator=(SweepTable&&) noexcept;

    // The table at `path` with all its complete rows; a last row that a
    // killed run left half written is not read. Nothing, with a message, for
    // a file that cannot be read, is not such a table (a column of the sweep
    // missing or given twice), has a damaged row or mixes sweeps.
    static std::optional<SweepTable> read(const QString& path, QString& error);

    // A new table at `path` (empty: the standard output), its header
    // written, ready for append().
    static std::optional<SweepTable> create(const QString& path, QString& error);

    // Makes a table that read() gave ready for append(): what a killed run
    // left half written after its complete rows is cut away. The file is
    // left untouched until this is called.
    bool resume(QString& error);

    // Appends one row given in the columns of SweepIdentity::columns(), at
    // once flushed to the file. False from the first write that fails on;
    // finish() says why.
    bool append(const QStringList& fields);

    // Ends appending: false with a message when a write failed. A resumed
    // table whose rows are not in key order (rows kept from a run that was
    // not the last to write) is put in order.
    bool finish(QString& error);

    // Writes rows given in the columns of SweepIdentity::columns() to `path`
    // ("-": the standard output) in key order below the header.
    static bool write(const QString& path, std::vector<Row> rows, QString& error);

    const QString& path() const { return filePath; }
    const std::vector<Row>& rows() const { return rowList; }
    // Frees the rows read, which a long run need not hold.
    void dropRows();
    // Takes the rows out of the table, their cells in the columns of
    // SweepIdentity::columns().
    std::vector<Row> takeRows();
    // The sweep the rows belong to; none for a table without rows.
    const std::optional<SweepIdentity>& identity() const { return sweepIdentity; }
    // The columns the table holds beyond the sweep's.
    QStringList otherColumns() const;

    // The cell of `row` in the column named `column` of
    // SweepIdentity::columns(); empty for any other name.
    QString field(const Row& row, const QString& column) const;
    // The row's cells in the columns of SweepIdentity::columns().
    QStringList fields(const Row& row) const;
    // Where `column` is among SweepIdentity::columns(), -1 when it is not.
    static int column(const QString& column);

private:
    bool findColumns(QString& error);
    bool readRows(const class CsvTable& csv, QString& error);
    bool ownLayout() const;

    QString filePath;
    QStringList header;      // the columns as the file holds them
    std::vector<int> places; // per column of SweepIdentity::columns(): its place in header
    std::vector<Row> rowList;
    std::optional<SweepIdentity> sweepIdentity;
    qsizetype completeBytes = 0;   // the bytes up to the end of the last complete row
    std::unique_ptr<QFile> output; // while appending
    bool resumed = false;
    bool writeFailed = false;
};
