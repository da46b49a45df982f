#include "SweepCsv.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace SweepCsv {

const QStringList& columns()
{
    static const QStringList names = {
        QStringLiteral("picture_index"),      QStringLiteral("entry_index"),
        QStringLiteral("picture"),            QStringLiteral("width"),
        QStringLiteral("height"),             QStringLiteral("mode"),
        QStringLiteral("progressive"),        QStringLiteral("grayscale"),
        QStringLiteral("optimize_huffman"),   QStringLiteral("dct"),
        QStringLiteral("smoothing"),          QStringLiteral("auto_quality"),
        QStringLiteral("quality"),            QStringLiteral("sampling"),
        QStringLiteral("luminance_table"),    QStringLiteral("chrominance_table"),
        QStringLiteral("source_bytes"),       QStringLiteral("jpeg_bytes"),
        QStringLiteral("compression_rate"),   QStringLiteral("compression_percentage"),
        QStringLiteral("bpp"),                QStringLiteral("mse"),
        QStringLiteral("psnr"),               QStringLiteral("psnr_y"),
        QStringLiteral("psnr_cb"),            QStringLiteral("psnr_cr"),
        QStringLiteral("ssim"),               QStringLiteral("ms_ssim"),
        QStringLiteral("encode_ms"),          QStringLiteral("decode_ms"),
        QStringLiteral("status"),             QStringLiteral("message"),
    };
    return names;
}

int column(const char* name)
{
    return int(columns().indexOf(QLatin1String(name)));
}

QByteArray quoted(const QString& field)
{
    QByteArray bytes = field.toUtf8();
    if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\r') ||
        bytes.contains('\n')) {
        bytes.replace("\"", "\"\"");
        bytes.prepend('"');
        bytes.append('"');
    }
    return bytes;
}

QByteArray record(const QStringList& fields)
{
    QByteArray out;
    for (int i = 0; i < fields.size(); ++i) {
        if (i)
            out.append(',');
        out.append(quoted(fields[i]));
    }
    out.append("\r\n");
    return out;
}

QByteArray header()
{
    return record(columns());
}

QString number(double value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
    char buffer[64];
    const std::to_chars_result done = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, int(done.ptr - buffer));
}

bool readNumber(const QString& text, double& value)
{
    const QByteArray bytes = text.toLatin1();
    if (bytes == "inf" || bytes == "-inf" || bytes == "nan") {
        value = bytes == "inf" ? HUGE_VAL : bytes == "-inf" ? -HUGE_VAL : std::nan("");
        return true;
    }
    if (bytes.isEmpty())
        return false;
    const char* end = bytes.constData() + bytes.size();
    const std::from_chars_result read = std::from_chars(bytes.constData(), end, value);
    return read.ec == std::errc() && read.ptr == end;
}

std::vector<QStringList> parse(const QByteArray& data, qsizetype* consumed)
{
    std::vector<QStringList> records;
    qsizetype at = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    qsizetype done = at;
    const qsizetype size = data.size();
    QStringList fields;
    QByteArray field;
    while (at < size) {
        const char c = data[at];
        if (c == '"' && field.isEmpty()) {
            // A quoted field runs to the quote that is not doubled.
            qsizetype i = at + 1;
            bool closed = false;
            while (i < size) {
                if (data[i] == '"') {
                    if (i + 1 < size && data[i + 1] == '"') {
                        field.append('"');
                        i += 2;
                        continue;
                    }
                    closed = true;
                    ++i;
                    break;
                }
                field.append(data[i++]);
            }
            if (!closed)
                break;
            at = i;
            continue;
        }
        if (c == ',') {
            fields << QString::fromUtf8(field);
            field.clear();
            ++at;
            continue;
        }
        if (c == '\r' || c == '\n') {
            qsizetype next = at + 1;
            if (c == '\r' && next < size && data[next] == '\n')
                ++next;
            else if (c == '\r' && next >= size)
                break; // the LF may still be coming
            fields << QString::fromUtf8(field);
            field.clear();
            records.push_back(fields);
            fields.clear();
            at = done = next;
            continue;
        }
        field.append(c);
        ++at;
    }
    if (consumed)
        *consumed = done;
    return records;
}

} // namespace SweepCsv
