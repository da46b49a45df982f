// SPDX-License-Identifier: GPL-3.0-or-later
#include "CsvWriter.h"

#include "FileWrite.h"

namespace CsvWriter {

QByteArray field(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\r') &&
        !bytes.contains('\n'))
        return bytes;
    bytes.replace('"', "\"\"");
    return '"' + bytes + '"';
}

QByteArray record(const QStringList& fields)
{
    QByteArray out;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i)
            out += ',';
        out += field(fields[i]);
    }
    out += "\r\n";
    return out;
}

QByteArray text(const SweepRows& rows)
{
    const QStringList header = rows.header();
    QByteArray out = record(header);
    QStringList fields;
    for (int r = 0; r < rows.count(); ++r) {
        fields.clear();
        for (int c = 0; c < header.size(); ++c)
            fields.append(rows.text(r, c));
        out += record(fields);
    }
    return out;
}

bool write(const QString& path, const SweepRows& rows, QString* error)
{
    return writeFileReplacing(path, text(rows), error);
}

} // namespace CsvWriter
