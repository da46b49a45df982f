#include "Report.h"

#include "CStringCodec.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
    out.append(CStringCodec::fromUnicode(fileNamePart(stat.fileName)));
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

namespace {

// A device or a pipe cannot be replaced by renaming a finished file over it
// (as root the rename would succeed and put a plain file in place of the
// device); it is written in place.
bool writeInPlace(const QString& path, const QByteArray& text, QString* error)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Text) && file.write(text) == text.size() &&
        file.flush()) {
        file.close();
        if (file.error() == QFileDevice::NoError)
            return true;
    }
    if (error)
        *error = file.errorString();
    return false;
}

} // namespace

bool write(const QString& path, const QByteArray& text, QString* error)
{
    const QFileInfo target(path);
    if (target.exists() && !target.isFile() && !target.isDir())
        return writeInPlace(path, text, error);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    // Without commit() the temporary file is discarded and the target stays.
    // The explicit flush matters: commit() does not notice a buffered write
    // that fails while it closes the file, and would put a truncated report
    // in place of the old one.
    if (file.write(text) != text.size() || !file.flush() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace Report
