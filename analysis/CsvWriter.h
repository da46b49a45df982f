// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SweepRows.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Rows with named columns as RFC 4180 text, the form CsvTable reads: UTF-8,
// CR LF line ends, a header record, fields quoted only when they hold a
// comma, a quote or a line end.
namespace CsvWriter {

QByteArray field(const QString& text);
// One record, its line end included.
QByteArray record(const QStringList& fields);
QByteArray text(const SweepRows& rows);
// Writes through a temporary file that replaces `path` only once complete;
// on failure `error` receives the reason and an earlier file stays as it was.
bool write(const QString& path, const SweepRows& rows, QString* error);

} // namespace CsvWriter
