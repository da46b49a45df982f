// SPDX-License-Identifier: GPL-3.0-or-later
#include "SettingsText.h"

#include "TableNames.h"

#include <QStringList>

namespace SettingsText {

namespace {

const JPEGSettings::Downsampling libraryLuminanceSampling{2, 2};

JPEGSettings::Downsampling factors(const JPEGSettings& s, int component)
{
    if (s.isAutoQualityEnabled())
        return component == 0 ? libraryLuminanceSampling : JPEGSettings::Downsampling();
    return s.downsampling[component];
}

QString factorText(const JPEGSettings::Downsampling& f)
{
    return QStringLiteral("%1x%2").arg(f.horizontal).arg(f.vertical);
}

bool standardTables(const JPEGSettings& s)
{
    return s.qtables[JPEGSettings::LUMINANCE] == QuantizationTable(annexKLuminance) &&
           s.qtables[JPEGSettings::CHROMINANCE] == QuantizationTable(annexKChrominance);
}

} // namespace

QString mode(const JPEGSettings& s)
{
    return s.getCompressionMode() == JPEGSettings::BASELINE ? QStringLiteral("Baseline")
                                                            : QStringLiteral("Extended");
}

QString dct(const JPEGSettings& s)
{
    if (s.isAutoQualityEnabled())
        return QStringLiteral("int");
    switch (s.getDCTMethod()) {
    case JPEGSettings::FAST:
        return QStringLiteral("fast");
    case JPEGSettings::FLOAT:
        return QStringLiteral("float");
    case JPEGSettings::INT:
        break;
    }
    return QStringLiteral("int");
}

QString sampling(const JPEGSettings& s)
{
    if (s.getGrayscaleOutput())
        return factorText(factors(s, 0));
    return factorText(factors(s, 0)) + QLatin1Char(',') + factorText(factors(s, 1)) +
           QLatin1Char(',') + factorText(factors(s, 2));
}

QString tableName(const QuantizationTable& table)
{
    return TableNames::name(table);
}

QString shortTableName(const QuantizationTable& table)
{
    return TableNames::shortName(table);
}

QString tableName(const JPEGSettings& s, JPEGSettings::LC_INDEXES slot)
{
    return tableName(s.qtables[slot]);
}

WrittenTable writtenTable(const JPEGSettings& s, JPEGSettings::LC_INDEXES slot)
{
    WrittenTable written;
    const bool luminance = slot == JPEGSettings::LUMINANCE;
    written.table = QuantizationTable(luminance ? annexKLuminance : annexKChrominance);
    if (s.isAutoQualityEnabled()) {
        written.quality = s.getQuality();
    } else if (s.getCurrentQuantizationTables()[slot]) {
        written.table = s.qtables[slot];
        written.quality = s.getQuality();
        written.custom = true;
    }
    return written;
}

QString writtenTablesText(const JPEGSettings& s)
{
    const WrittenTable luma = writtenTable(s, JPEGSettings::LUMINANCE);
    if (s.getGrayscaleOutput())
        return QStringLiteral("q%1 %2%3")
            .arg(luma.quality)
            .arg(luma.custom || s.isAutoQualityEnabled() ? QString() : QStringLiteral("library "),
                 shortTableName(luma.table));
    const WrittenTable chroma = writtenTable(s, JPEGSettings::CHROMINANCE);
    QString text;
    if (luma.quality != chroma.quality) {
        text = QStringLiteral("%1 q%2 / %3 q%4")
                   .arg(shortTableName(luma.table))
                   .arg(luma.quality)
                   .arg(shortTableName(chroma.table))
                   .arg(chroma.quality);
    } else {
        const bool library = !s.isAutoQualityEnabled() && !luma.custom && !chroma.custom;
        text = QStringLiteral("q%1 %2%3/%4")
                   .arg(luma.quality)
                   .arg(library ? QStringLiteral("library ") : QString(),
                        shortTableName(luma.table), shortTableName(chroma.table));
    }
    // A third table in use is Cr's own.
    if (!s.isAutoQualityEnabled() && s.getCurrentQuantizationTables()[2])
        text += QStringLiteral(", Cr %1 q%2").arg(shortTableName(s.qtables[2])).arg(s.getQuality());
    return text;
}

std::optional<QString> cjpegOptions(const JPEGSettings& s)
{
    if (!s.isAutoQualityEnabled() && !standardTables(s))
        return std::nullopt;
    QStringList out{QStringLiteral("-quality"), QString::number(s.getQuality())};
    if (s.getCompressionMode() == JPEGSettings::BASELINE)
        out << QStringLiteral("-baseline");
    else if (s.isProgressive())
        out << QStringLiteral("-progressive");
    if (s.getGrayscaleOutput())
        out << QStringLiteral("-grayscale");
    if (s.getOptimizeHuffman())
        out << QStringLiteral("-optimize");
    out << QStringLiteral("-dct") << dct(s);
    if (s.getSmoothing())
        out << QStringLiteral("-smooth") << QString::number(s.getSmoothing());
    if (!s.getGrayscaleOutput())
        out << QStringLiteral("-sample") << sampling(s);
    return out.join(QLatin1Char(' '));
}

QString sweepOptions(const JPEGSettings& s)
{
    const bool extended = s.getCompressionMode() != JPEGSettings::BASELINE;
    QStringList out{QStringLiteral("--mode"),
                    extended ? QStringLiteral("extended") : QStringLiteral("baseline")};
    if (extended)
        out << QStringLiteral("--progressive")
            << (s.isProgressive() ? QStringLiteral("yes") : QStringLiteral("no"));
    out << QStringLiteral("--output")
        << (s.getGrayscaleOutput() ? QStringLiteral("grayscale") : QStringLiteral("colour"));
    out << QStringLiteral("--huffman")
        << (s.getOptimizeHuffman() ? QStringLiteral("yes") : QStringLiteral("no"));
    if (s.isAutoQualityEnabled()) {
        const QString q = QString::number(s.getQuality());
        out << QStringLiteral("--auto-quality") << q + QLatin1Char(':') + q + QStringLiteral(":0")
            << QStringLiteral("--no-manual-quality");
    } else {
        const QString smoothing = QString::number(s.getSmoothing());
        out << QStringLiteral("--dct") << dct(s) << QStringLiteral("--smoothing")
            << smoothing + QLatin1Char(':') + smoothing + QStringLiteral(":0");
        const JPEGSettings defaults;
        // The form's default pair: presets 0 and 1.
        if (s.qtables[JPEGSettings::LUMINANCE] != QuantizationTable(JPEGSettings::presets[0]))
            out << QStringLiteral("--luminance-tables") << QStringLiteral("LUMINANCE-TABLES-FILE");
        if (s.qtables[JPEGSettings::CHROMINANCE] != QuantizationTable(JPEGSettings::presets[1]))
            out << QStringLiteral("--chrominance-tables")
                << QStringLiteral("CHROMINANCE-TABLES-FILE");
        if (s.downsampling[0] != defaults.downsampling[0] ||
            s.downsampling[1] != defaults.downsampling[1])
            out << QStringLiteral("--sampling-pairs") << QStringLiteral("SAMPLING-PAIRS-FILE");
    }
    return out.join(QLatin1Char(' '));
}

} // namespace SettingsText
