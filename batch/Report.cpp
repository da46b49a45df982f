// SPDX-License-Identifier: GPL-3.0-or-later
#include "Report.h"

#include "FileNames.h"

#include "CStringCodec.h"
#include "FileWrite.h"

#include <charconv>

namespace Report {

namespace {

const char* const labels[] = {
    "Mode",
    "DCT method",
    "Smoothing",
    "Chrominance Vertical Downsampling",
    "Chrominance Horizontal Downsampling",
    "Luminance Vertical Downsampling",
    "Luminance Horizontal Downsampling",
    "AutoQuality",
    "Quality",
    "Huffman Optimization",
    "Greyscale",
    "Luminance Quantization",
    "Chrominance Quantization",
    "File",
    "CompresionRate",
    "CompressionPercentage",
    "BitRate",
    "MeanSquareError",
};

// "%lf" (fixed, six decimals, a point as separator) whatever the C locale.
void appendFixed(QByteArray& out, double value)
{
    char buffer[512];
    const std::to_chars_result done =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    out.append(buffer, int(done.ptr - buffer));
}

} // namespace

QByteArray header()
{
    QByteArray out;
    for (const char* label : labels) {
        out.append(label);
        out.append('\t');
    }
    out.append('\n');
    return out;
}

QString fileNamePart(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QByteArray row(const JPEGSettings& settings, const ResultStat& stat)
{
    QByteArray out = QByteArray::fromStdString(settings.toString());
    // A tab or a line end in a name would split the row; the column is for
    // people to read, so they become spaces.
    QString name = FileNames::cellOfText(fileNamePart(stat.fileName));
    for (QChar& c : name) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            c = QLatin1Char(' ');
    }
    out.append(CStringCodec::fromUnicode(name));
    out.append('\t');
    for (double figure :
         {stat.compressionRate, stat.compressionPercentage, stat.bitRate, stat.mse}) {
        appendFixed(out, figure);
        out.append('\t');
    }
    out.append('\n');
    return out;
}

QByteArray text(const std::vector<JPEGSettings>& settings, const std::vector<ResultStat>& results)
{
    QByteArray out = header();
    const std::size_t rows = std::min(settings.size(), results.size());
    for (std::size_t i = 0; i < rows; ++i)
        out.append(row(settings[i], results[i]));
    return out;
}

bool write(const QString& path, const QByteArray& text, QString* error)
{
    return writeFileReplacing(path, text, error, QIODevice::Text);
}

} // namespace Report
