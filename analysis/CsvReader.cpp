#include "CsvReader.h"

#include <QFile>
#include <QStringDecoder>

namespace {

// Splits UTF-16 text into records of fields; nothing, with the reason, when
// the text breaks the grammar.
std::optional<std::vector<QStringList>> split(const QString& text, QString* error)
{
    std::vector<QStringList> out;
    QStringList record;
    QString field;
    int line = 1;
    int recordLine = 1;
    const qsizetype n = text.size();
    qsizetype i = 0;
    auto fail = [&](const QString& what) {
        if (error)
            *error = QStringLiteral("line %1: %2").arg(recordLine).arg(what);
        return std::nullopt;
    };
    while (i < n) {
        // One field starts at i.
        if (text[i] == QLatin1Char('"')) {
            ++i;
            const int openedOn = line;
            for (;;) {
                if (i >= n) {
                    recordLine = openedOn;
                    return fail(QStringLiteral("a quoted field is not closed"));
                }
                const QChar c = text[i++];
                if (c == QLatin1Char('"')) {
                    if (i < n && text[i] == QLatin1Char('"')) {
                        field += QLatin1Char('"');
                        ++i;
                        continue;
                    }
                    break;
                }
                if (c == QLatin1Char('\n'))
                    ++line;
                field += c;
            }
            if (i < n && text[i] != QLatin1Char(',') && text[i] != QLatin1Char('\n') &&
                !(text[i] == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n')) &&
                !(text[i] == QLatin1Char('\r') && i + 1 == n))
                return fail(QStringLiteral("text after a closing quote"));
        } else {
            const qsizetype start = i;
            while (i < n && text[i] != QLatin1Char(',') && text[i] != QLatin1Char('\n') &&
                   text[i] != QLatin1Char('\r')) {
                if (text[i] == QLatin1Char('"'))
                    return fail(QStringLiteral("a quote inside a field that is not quoted"));
                ++i;
            }
            if (i < n && text[i] == QLatin1Char('\r') && i + 1 < n && text[i + 1] != QLatin1Char('\n'))
                return fail(QStringLiteral("a carriage return inside a field that is not quoted"));
            field = text.mid(start, i - start);
        }
        record.append(field);
        field.clear();
        // The field ends at a comma, a line end or the end of the text.
        if (i < n && text[i] == QLatin1Char(',')) {
            ++i;
            if (i == n)
                record.append(QString()); // a trailing comma: an empty last field
            continue;
        }
        if (i < n && text[i] == QLatin1Char('\r'))
            ++i;
        if (i < n && text[i] == QLatin1Char('\n'))
            ++i;
        out.push_back(std::move(record));
        record = QStringList();
        recordLine = ++line;
    }
    if (!record.isEmpty())
        out.push_back(std::move(record));
    return out;
}

} // namespace

std::optional<CsvTable> CsvTable::parse(const QByteArray& bytes, QString* error)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        if (error)
            *error = QStringLiteral("the text is not UTF-8");
        return std::nullopt;
    }
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    auto all = split(text, error);
    if (!all)
        return std::nullopt;
    if (all->empty()) {
        if (error)
            *error = QStringLiteral("no header line");
        return std::nullopt;
    }
    CsvTable table;
    table.names = std::move(all->front());
    table.records.reserve(all->size() - 1);
    for (std::size_t r = 1; r < all->size(); ++r) {
        QStringList& record = (*all)[r];
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
    }
    return table;
}

std::optional<CsvTable> CsvTable::read(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    return parse(bytes, error);
}

QString CsvTable::text(int row, int column) const
{
    if (row < 0 || row >= count() || column < 0 || column >= names.size())
        return QString();
    return records[std::size_t(row)][column];
}
