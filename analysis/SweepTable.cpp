// SPDX-License-Identifier: GPL-3.0-or-later
#include "SweepTable.h"

#include "CsvReader.h"
#include "CsvWriter.h"
#include "FileWrite.h"
#include "RegularFile.h"

#include <QFile>

#include <algorithm>
#include <cstdio>

namespace {

bool keyOrder(const SweepTable::Row& a, const SweepTable::Row& b)
{
    return a.key < b.key;
}

// The key in a row's picture_index and entry_index; false when they are not
// indices (an empty entry index: the one row of a picture that did not load).
bool readKey(const QString& picture, const QString& entry, SweepKey& key)
{
    bool okPicture = false, okEntry = false;
    key.first = picture.toLongLong(&okPicture);
    key.second = entry.isEmpty() ? -1 : entry.toLongLong(&okEntry);
    return okPicture && key.first >= 0 && (entry.isEmpty() || (okEntry && key.second >= 0));
}

// Writes `rows` in key order below `header`, replacing `path` ("-": the
// standard output) only once everything is written.
bool writeSorted(const QString& path, const QStringList& header, std::vector<SweepTable::Row>& rows,
                 QString& error)
{
    std::stable_sort(rows.begin(), rows.end(), keyOrder);
    QByteArray text = CsvWriter::record(header);
    for (const SweepTable::Row& row : rows)
        text += CsvWriter::record(row.cells);
    if (path == QLatin1String("-")) {
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly) || out.write(text) != text.size() ||
            !out.flush()) {
            error = QStringLiteral("cannot write the standard output");
            return false;
        }
        return true;
    }
    QString reason;
    if (!writeFileReplacing(path, text, &reason)) {
        error = QStringLiteral("cannot write %1: %2").arg(path, reason);
        return false;
    }
    return true;
}

} // namespace

SweepTable::SweepTable() = default;
SweepTable::~SweepTable() = default;
SweepTable::SweepTable(SweepTable&&) noexcept = default;
SweepTable& SweepTable::operator=(SweepTable&&) noexcept = default;

int SweepTable::column(const QString& name)
{
    return int(SweepIdentity::columns().indexOf(name));
}

std::optional<SweepTable> SweepTable::read(const QString& path, QString& error)
{
    QString reason;
    const std::optional<QByteArray> bytes = readRegularFile(path, TABLE_FILE_LIMIT, reason);
    if (!bytes) {
        error = QStringLiteral("cannot read %1: %2").arg(path, reason);
        return std::nullopt;
    }
    SweepTable table;
    table.filePath = path;
    const std::optional<CsvTable> csv = CsvTable::parse(*bytes, &reason, &table.completeBytes);
    if (!csv) {
        error = QStringLiteral("%1 is not a tessera-sweep table: %2").arg(path, reason);
        return std::nullopt;
    }
    table.header = csv->header();
    if (!table.findColumns(error) || !table.readRows(*csv, error))
        return std::nullopt;
    return table;
}

// Finds every column of the sweep in the header by its name.
bool SweepTable::findColumns(QString& error)
{
    QStringList missing, twice;
    places.clear();
    for (const QString& name : SweepIdentity::columns()) {
        places.push_back(int(header.indexOf(name)));
        if (places.back() < 0)
            missing << name;
        else if (header.count(name) > 1)
            twice << name;
    }
    if (!missing.isEmpty())
        error = QStringLiteral("%1 is not a tessera-sweep table (it has no column %2)")
                    .arg(filePath, missing.join(QStringLiteral(", ")));
    else if (!twice.isEmpty())
        error = QStringLiteral("%1 is not a tessera-sweep table (it has the column %2 twice)")
                    .arg(filePath, twice.join(QStringLiteral(", ")));
    return missing.isEmpty() && twice.isEmpty();
}

// The rows with their keys, all of one sweep.
bool SweepTable::readRows(const CsvTable& csv, QString& error)
{
    rowList.clear();
    rowList.reserve(std::size_t(csv.count()));
    sweepIdentity.reset();
    for (int i = 0; i < csv.count(); ++i) {
        Row row{SweepKey(), csv.record(i)};
        SweepIdentity own;
        const auto cell = [&](const char* name) { return field(row, QLatin1String(name)); };
        if (!readKey(cell("picture_index"), cell("entry_index"), row.key) ||
            !SweepIdentity::read(cell("sweep"), cell("picture_list"), cell("shard"), own)) {
            error = QStringLiteral("%1: row %2 is damaged").arg(filePath).arg(i + 2);
            return false;
        }
        if (sweepIdentity && *sweepIdentity != own) {
            error = QStringLiteral("%1 mixes sweeps: row %2 differs from row 2 (%3)")
                        .arg(filePath)
                        .arg(i + 2)
                        .arg(sweepIdentity->difference(own, QStringLiteral("row 2"),
                                                       QStringLiteral("row %1").arg(i + 2)));
            return false;
        }
        sweepIdentity = own;
        rowList.push_back(std::move(row));
    }
    return true;
}

std::optional<SweepTable> SweepTable::create(const QString& path, QString& error)
{
    SweepTable table;
    table.filePath = path;
    table.header = SweepIdentity::columns();
    for (int i = 0; i < table.header.size(); ++i)
        table.places.push_back(i);
    table.output = std::make_unique<QFile>();
    if (path.isEmpty()) {
        if (!table.output->open(stdout, QIODevice::WriteOnly)) {
            error = QStringLiteral("cannot write the standard output");
            return std::nullopt;
        }
    } else {
        table.output->setFileName(path);
        if (!table.output->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            error = QStringLiteral("cannot write %1: %2").arg(path, table.output->errorString());
            return std::nullopt;
        }
    }
    const QByteArray line = CsvWriter::record(table.header);
    table.writeFailed = table.output->write(line) != line.size() || !table.output->flush();
    return table;
}

bool SweepTable::resume(QString& error)
{
    output = std::make_unique<QFile>(filePath);
    if (!output->open(QIODevice::ReadWrite) || !output->resize(completeBytes) ||
        !output->seek(completeBytes)) {
        error = QStringLiteral("cannot write %1: %2").arg(filePath, output->errorString());
        output.reset();
        return false;
    }
    resumed = true;
    return true;
}

bool SweepTable::ownLayout() const
{
    return header == SweepIdentity::columns();
}

bool SweepTable::append(const QStringList& fields)
{
    if (writeFailed || !output)
        return false;
    QStringList cells = fields;
    if (!ownLayout()) {
        cells = QStringList(header.size());
        for (std::size_t i = 0; i < places.size() && qsizetype(i) < fields.size(); ++i)
            cells[places[i]] = fields[qsizetype(i)];
    }
    const QByteArray line = CsvWriter::record(cells);
    writeFailed = output->write(line) != line.size() || !output->flush();
    return !writeFailed;
}

bool SweepTable::finish(QString& error)
{
    if (writeFailed) {
        error = QStringLiteral("cannot write %1: %2")
                    .arg(filePath.isEmpty() ? QStringLiteral("the standard output") : filePath,
                         output ? output->errorString() : QString());
        return false;
    }
    if (output)
        output->close();
    output.reset();
    if (!resumed)
        return true;
    // The rows kept may lie after new ones: the whole file read again.
    std::optional<SweepTable> written = read(filePath, error);
    if (!written)
        return false;
    std::vector<Row>& all = written->rowList;
    return std::is_sorted(all.begin(), all.end(), keyOrder) ||
           writeSorted(filePath, written->header, all, error);
}

bool SweepTable::write(const QString& path, std::vector<Row> rows, QString& error)
{
    return writeSorted(path, SweepIdentity::columns(), rows, error);
}

void SweepTable::dropRows()
{
    rowList.clear();
    rowList.shrink_to_fit();
}

std::vector<SweepTable::Row> SweepTable::takeRows()
{
    std::vector<Row> taken = std::move(rowList);
    rowList.clear();
    if (!ownLayout())
        for (Row& row : taken)
            row.cells = fields(row);
    return taken;
}

QStringList SweepTable::otherColumns() const
{
    QStringList others;
    for (const QString& name : header)
        if (column(name) < 0)
            others << name;
    return others;
}

QString SweepTable::field(const Row& row, const QString& name) const
{
    const int c = column(name);
    return c < 0 ? QString() : row.cells.value(places[std::size_t(c)]);
}

QStringList SweepTable::fields(const Row& row) const
{
    QStringList out;
    out.reserve(qsizetype(places.size()));
    for (int place : places)
        out << row.cells.value(place);
    return out;
}
