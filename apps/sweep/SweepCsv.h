#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// The sweep's table of results: UTF-8 text after RFC 4180, one header row and
// one row per compression, fields separated by commas, records ended by
// CR LF, a field quoted when it holds a comma, a quote, a CR or a LF (quotes
// inside doubled).
namespace SweepCsv {

// The columns, in order.
const QStringList& columns();
int column(const char* name);

QByteArray header();
// One record from its fields (as many as there are columns).
QByteArray record(const QStringList& fields);
QByteArray quoted(const QString& field);

// A figure at full precision: the shortest text that reads back as the same
// double; "inf", "-inf" or "nan" for those.
QString number(double value);
// The number in `text`; false when it is not one.
bool readNumber(const QString& text, double& value);

// The complete records of `data` (ended by a line break), in order. Reading
// stops before a record that is not ended, which a killed writer may leave,
// or at a quote that is not closed; `consumed` receives the length of what
// was read. A BOM at the start is skipped.
std::vector<QStringList> parse(const QByteArray& data, qsizetype* consumed = nullptr);

} // namespace SweepCsv
