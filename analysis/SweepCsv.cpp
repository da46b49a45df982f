// SPDX-License-Identifier: GPL-3.0-or-later
#include "SweepCsv.h"

#include "FileNames.h"

#include "SettingsText.h"

#include <QFileInfo>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace SweepCsv {

QString tableName(const JPEGSettings& s, JPEGSettings::LC_INDEXES slot, const TableNames* tables)
{
    // Automatic quality leaves the library's tables in place; a grey-scale
    // file has no chrominance table.
    if (slot == JPEGSettings::CHROMINANCE && s.getGrayscaleOutput())
        return QString();
    if (s.isAutoQualityEnabled())
        return QStringLiteral("library standard");
    if (tables) {
        const std::vector<QuantizationTable>& list = tables->tables[slot];
        const QStringList& names = tables->names[slot];
        for (std::size_t i = 0; i < list.size() && int(i) < names.size(); ++i)
            if (list[i] == s.qtables[slot])
                return names[int(i)];
    }
    return SettingsText::tableName(s, slot);
}

namespace {

constexpr double none = std::numeric_limits<double>::quiet_NaN(); // an empty field

double flag(bool on)
{
    return on ? 1 : 0;
}

double known(bool available, double value)
{
    return available ? value : none;
}

// A figure of the JPEG: only when one came out.
double measured(const Row& row, double value)
{
    return known(row.loaded && row.compressed, value);
}

double setting(const Row& row, double value)
{
    return known(row.loaded, value);
}

QString tableName(const Row& row, JPEGSettings::LC_INDEXES slot)
{
    return SweepCsv::tableName(row.entry, slot, row.tables);
}

// A column: its name and either text, a whole number or a real number (NaN
// for an empty field).
struct Column
{
    enum Kind { Text, Whole, Real };
    const char* name;
    Kind kind;
    QString (*text)(const Row&);
    double (*number)(const Row&);
};

const Column table[] = {
    {"picture_index", Column::Whole, nullptr,
     [](const Row& row) { return double(row.pictureIndex); }},
    {"entry_index", Column::Whole, nullptr,
     [](const Row& row) {
         return known(row.loaded && row.stat.entryIndex >= 0, row.stat.entryIndex);
     }},
    {"picture", Column::Text, [](const Row& row) { return row.stat.fileName; }, nullptr},
    {"width", Column::Whole, nullptr,
     [](const Row& row) { return known(row.loaded && row.stat.width > 0, row.stat.width); }},
    {"height", Column::Whole, nullptr,
     [](const Row& row) { return known(row.loaded && row.stat.width > 0, row.stat.height); }},
    {"mode", Column::Text,
     [](const Row& row) { return row.loaded ? SettingsText::mode(row.entry) : QString(); },
     nullptr},
    {"progressive", Column::Whole, nullptr,
     [](const Row& row) {
         // A baseline file is never progressive, whatever the entry says.
         return setting(row, flag(row.entry.isProgressive() &&
                                  row.entry.getCompressionMode() != JPEGSettings::BASELINE));
     }},
    {"grayscale", Column::Whole, nullptr,
     [](const Row& row) { return setting(row, flag(row.entry.getGrayscaleOutput())); }},
    {"optimize_huffman", Column::Whole, nullptr,
     [](const Row& row) {
         // The library optimises every progressive scan's tables.
         const bool progressive =
             row.entry.isProgressive() && row.entry.getCompressionMode() != JPEGSettings::BASELINE;
         return setting(row, flag(row.entry.getOptimizeHuffman() || progressive));
     }},
    {"dct", Column::Text,
     [](const Row& row) { return row.loaded ? SettingsText::dct(row.entry) : QString(); }, nullptr},
    {"smoothing", Column::Whole, nullptr,
     [](const Row& row) { return setting(row, row.entry.getSmoothing()); }},
    {"auto_quality", Column::Whole, nullptr,
     [](const Row& row) { return setting(row, flag(row.entry.isAutoQualityEnabled())); }},
    {"quality", Column::Whole, nullptr,
     [](const Row& row) { return setting(row, row.entry.getQuality()); }},
    {"sampling", Column::Text,
     [](const Row& row) {
         // What the frame header holds; a record that was not read back
         // from a JPEG has what its settings give.
         if (!row.loaded || !row.compressed)
             return QString();
         return row.stat.sampling.isEmpty() ? SettingsText::sampling(row.entry) : row.stat.sampling;
     },
     nullptr},
    {"luminance_table", Column::Text,
     [](const Row& row) {
         return row.loaded ? tableName(row, JPEGSettings::LUMINANCE) : QString();
     },
     nullptr},
    {"chrominance_table", Column::Text,
     [](const Row& row) {
         return row.loaded ? tableName(row, JPEGSettings::CHROMINANCE) : QString();
     },
     nullptr},
    {"source_bytes", Column::Whole, nullptr,
     [](const Row& row) {
         return known(row.loaded && row.stat.width > 0, double(row.stat.sourceBytes));
     }},
    {"jpeg_bytes", Column::Whole, nullptr,
     [](const Row& row) {
         return measured(row, row.stat.jpegBytes > 0 ? double(row.stat.jpegBytes) : none);
     }},
    {"compression_rate", Column::Real, nullptr,
     [](const Row& row) { return measured(row, row.stat.compressionRate); }},
    {"compression_percentage", Column::Real, nullptr,
     [](const Row& row) { return measured(row, row.stat.compressionPercentage); }},
    {"bpp", Column::Real, nullptr, [](const Row& row) { return measured(row, row.stat.bitRate); }},
    {"mse", Column::Real, nullptr, [](const Row& row) { return measured(row, row.stat.mse); }},
    {"psnr", Column::Real, nullptr, [](const Row& row) { return measured(row, row.stat.psnr); }},
    {"psnr_y", Column::Real, nullptr, [](const Row& row) { return measured(row, row.stat.psnrY); }},
    {"psnr_cb", Column::Real, nullptr,
     [](const Row& row) { return measured(row, row.stat.psnrCb); }},
    {"psnr_cr", Column::Real, nullptr,
     [](const Row& row) { return measured(row, row.stat.psnrCr); }},
    {"ssim", Column::Real, nullptr, [](const Row& row) { return measured(row, row.stat.ssim); }},
    {"ms_ssim", Column::Real, nullptr,
     [](const Row& row) { return measured(row, row.stat.msSsim); }},
    {"ssimulacra2", Column::Real, nullptr,
     [](const Row& row) { return measured(row, row.stat.ssimulacra2); }},
    {"butteraugli", Column::Real, nullptr,
     [](const Row& row) { return measured(row, row.stat.butteraugli); }},
    {"butteraugli_3norm", Column::Real, nullptr,
     [](const Row& row) { return measured(row, row.stat.butteraugli3Norm); }},
    {"dc_bits_y", Column::Whole, nullptr,
     [](const Row& row) { return measured(row, row.stat.dcBitsY); }},
    {"ac_bits_y", Column::Whole, nullptr,
     [](const Row& row) { return measured(row, row.stat.acBitsY); }},
    {"dc_bits_c", Column::Whole, nullptr,
     [](const Row& row) { return measured(row, row.stat.dcBitsC); }},
    {"ac_bits_c", Column::Whole, nullptr,
     [](const Row& row) { return measured(row, row.stat.acBitsC); }},
    {"header_bytes", Column::Whole, nullptr,
     [](const Row& row) { return measured(row, row.stat.headerBytes); }},
    {"encode_ms", Column::Real, nullptr,
     [](const Row& row) { return known(row.loaded, row.stat.encodeMs); }},
    {"decode_ms", Column::Real, nullptr,
     [](const Row& row) { return known(row.loaded, row.stat.decodeMs); }},
    {"status", Column::Text,
     [](const Row& row) { return row.failed ? QStringLiteral("failed") : QStringLiteral("ok"); },
     nullptr},
    {"message", Column::Text, [](const Row& row) { return row.message; }, nullptr},
};
constexpr int COLUMN_COUNT = int(sizeof table / sizeof table[0]);

} // namespace

const QStringList& columns()
{
    static const QStringList names = [] {
        QStringList out;
        for (const Column& c : table)
            out << QLatin1String(c.name);
        return out;
    }();
    return names;
}

int column(const char* name)
{
    return int(columns().indexOf(QLatin1String(name)));
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

QStringList fileTableNames(const QString& path, std::size_t count)
{
    const QString file = QFileInfo(path).fileName();
    QStringList names;
    for (std::size_t i = 0; i < count; ++i)
        names << QStringLiteral("%1:%2").arg(file).arg(i);
    return names;
}

bool value(const Row& row, int column, double& number)
{
    if (column < 0 || column >= COLUMN_COUNT || table[column].kind == Column::Text)
        return false;
    number = table[column].number(row);
    return true;
}

QString field(const Row& row, int column)
{
    if (column < 0 || column >= COLUMN_COUNT)
        return QString();
    const Column& c = table[column];
    if (c.kind == Column::Text)
        return c.text(row);
    const double v = c.number(row);
    if (std::isnan(v))
        return QString();
    return c.kind == Column::Whole ? QString::number((long long)v) : number(v);
}

QStringList fields(const Row& row)
{
    QStringList out;
    out.reserve(COLUMN_COUNT);
    for (int c = 0; c < COLUMN_COUNT; ++c)
        out << field(row, c);
    return out;
}

QStringList fileFields(const Row& row)
{
    QStringList out = fields(row);
    for (int c = 0; c < COLUMN_COUNT; ++c) {
        if (table[c].kind == Column::Text)
            out[c] = FileNames::cellOfText(out[c]);
    }
    return out;
}

} // namespace SweepCsv
