// SPDX-License-Identifier: GPL-3.0-or-later
#include "CsvReader.h"

#include "RegularFile.h"
#include "TableNames.h"

#include <QFile>
#include <QStringDecoder>

namespace {

struct Records
{
    std::vector<QStringList> list;
    std::vector<int> lines; // the line each record starts on
    qsizetype end = 0;      // where the last record read ends, its line end included
};

bool utf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    // The decoding runs when its result is taken.
    const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

// Splits the bytes from `at` on into records of fields; nothing, with the
// reason, when they break the grammar. With `partial`, a last record that is
// not ended is left out.
std::optional<Records> split(const QByteArray& bytes, qsizetype at, bool partial, QString* error)
{
    Records out;
    out.end = at;
    QStringList record;
    QByteArray field;
    const char* p = bytes.constData();
    const qsizetype n = bytes.size();
    qsizetype i = at;
    int line = 1;
    int recordLine = 1;
    auto fail = [&](const char* what) -> std::optional<Records> {
        if (error)
            *error = QStringLiteral("line %1: %2").arg(recordLine).arg(QLatin1String(what));
        return std::nullopt;
    };
    while (i < n) {
        // One field starts at i.
        if (p[i] == '"') {
            ++i;
            const int openedOn = line;
            bool closed = false;
            while (i < n) {
                const char c = p[i++];
                if (c == '"') {
                    if (i < n && p[i] == '"') {
                        field += '"';
                        ++i;
                        continue;
                    }
                    closed = true;
                    break;
                }
                if (c == '\n')
                    ++line;
                field += c;
            }
            if (!closed) {
                if (partial)
                    return out;
                recordLine = openedOn;
                return fail("a quoted field is not closed");
            }
            if (i < n && p[i] != ',' && p[i] != '\n' &&
                !(p[i] == '\r' && (i + 1 == n || p[i + 1] == '\n')))
                return fail("text after a closing quote");
        } else {
            const qsizetype start = i;
            while (i < n && p[i] != ',' && p[i] != '\n' && p[i] != '\r') {
                if (p[i] == '"')
                    return fail("a quote inside a field that is not quoted");
                ++i;
            }
            if (i < n && p[i] == '\r' && i + 1 < n && p[i + 1] != '\n')
                return fail("a carriage return inside a field that is not quoted");
            field = bytes.mid(start, i - start);
        }
        record.append(QString::fromUtf8(field));
        field.clear();
        // The field ends at a comma, a line end or the end of the text.
        if (i < n && p[i] == ',') {
            ++i;
            if (i == n) {
                if (partial)
                    return out;
                record.append(QString()); // a trailing comma: an empty last field
            }
            continue;
        }
        if (i == n || (p[i] == '\r' && i + 1 == n)) {
            // The text ends without a line end, or with a CR whose LF may
            // still be on its way.
            if (partial)
                return out;
            i = n;
        } else {
            i += p[i] == '\r' ? 2 : 1;
        }
        out.list.push_back(std::move(record));
        out.lines.push_back(recordLine);
        record = QStringList();
        out.end = i;
        recordLine = ++line;
    }
    if (!record.isEmpty()) {
        out.list.push_back(std::move(record));
        out.lines.push_back(recordLine);
        out.end = n;
    }
    return out;
}

} // namespace

std::optional<CsvTable> CsvTable::parse(const QByteArray& bytes, QString* error,
                                        qsizetype* complete)
{
    const auto notUtf8 = [error] {
        if (error)
            *error = QStringLiteral("the text is not UTF-8");
        return std::nullopt;
    };
    if (!complete && !utf8(bytes))
        return notUtf8();
    const qsizetype start = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    auto all = split(bytes, start, complete != nullptr, error);
    if (!all)
        return std::nullopt;
    // A writer stopped in the middle of a character leaves it in the part
    // that is not read.
    if (complete && !utf8(bytes.left(all->end)))
        return notUtf8();
    if (all->list.empty()) {
        if (error)
            *error = QStringLiteral("no header line");
        return std::nullopt;
    }
    CsvTable table;
    table.names = std::move(all->list.front());
    table.records.reserve(all->list.size() - 1);
    for (std::size_t r = 1; r < all->list.size(); ++r) {
        QStringList& record = all->list[r];
        if (record.size() == 1 && record.front().isEmpty() && table.names.size() > 1)
            continue; // a blank line
        if (record.size() != table.names.size()) {
            if (error)
                *error = QStringLiteral("record %1 has %2 fields, the header %3")
                             .arg(r + 1)
                             .arg(record.size())
                             .arg(table.names.size());
            return std::nullopt;
        }
        table.records.push_back(std::move(record));
        table.lines.push_back(all->lines[r]);
    }
    table.renameOldTableNames();
    if (complete)
        *complete = all->end;
    return table;
}

std::optional<CsvTable> CsvTable::read(const QString& path, QString* error)
{
    QString reason;
    const std::optional<QByteArray> bytes = readRegularFile(path, TABLE_FILE_LIMIT, reason);
    if (!bytes) {
        if (error)
            *error = reason;
        return std::nullopt;
    }
    return parse(*bytes, error);
}

int CsvTable::line(int row) const
{
    return row >= 0 && row < count() ? lines[std::size_t(row)] : 0;
}

void CsvTable::renameOldTableNames()
{
    for (const char* name : {"luminance_table", "chrominance_table"}) {
        const int c = column(QString::fromLatin1(name));
        if (c < 0)
            continue;
        for (QStringList& record : records)
            record[c] = TableNames::current(record[c]);
    }
}

QString CsvTable::text(int row, int column) const
{
    if (row < 0 || row >= count() || column < 0 || column >= names.size())
        return QString();
    return records[std::size_t(row)][column];
}
