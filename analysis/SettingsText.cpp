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

namespace {

// A shell here-document that writes `text` to `file`.
QString hereDocument(const QString& file, const QString& text)
{
    return QStringLiteral("cat > %1 <<'END'\n%2END\n").arg(file, text);
}

// Tables in the text form both tessera-sweep and cjpeg read: 8 lines of 8.
QString tableText(const QuantizationTable& table)
{
    QString text;
    for (int row = 0; row < 8; ++row) {
        QStringList values;
        for (int column = 0; column < 8; ++column)
            values << QString::number(table[unsigned(row * 8 + column)]);
        text += values.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return text;
}

QString quoted(const QString& path)
{
    QString out = path;
    out.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + out + QLatin1Char('\'');
}

QString triple(int value)
{
    return QStringLiteral("%1:%1:0").arg(value);
}

// The netpbm program that turns a picture of this kind into a PNM; empty
// for a PNM itself, nothing for a kind netpbm has no reader of here.
std::optional<QString> pnmReader(const QString& picture)
{
    const QString suffix = picture.section(QLatin1Char('.'), -1).toLower();
    static const QList<QPair<QStringList, QString>> readers{
        {{QStringLiteral("ppm"), QStringLiteral("pgm"), QStringLiteral("pbm"),
          QStringLiteral("pnm")},
         QString()},
        {{QStringLiteral("png")}, QStringLiteral("pngtopnm")},
        {{QStringLiteral("bmp")}, QStringLiteral("bmptopnm")},
        {{QStringLiteral("gif")}, QStringLiteral("giftopnm")},
        {{QStringLiteral("tga"), QStringLiteral("targa")}, QStringLiteral("tgatoppm")},
        {{QStringLiteral("tif"), QStringLiteral("tiff")}, QStringLiteral("tifftopnm")},
    };
    for (const auto& reader : readers)
        if (reader.first.contains(suffix))
            return reader.second;
    return std::nullopt;
}

} // namespace

QString sweepCommand(const JPEGSettings& s, const QString& picture)
{
    QString files;
    QStringList out{QStringLiteral("tessera-sweep")};
    out << sweepOptions(s);
    if (s.isAutoQualityEnabled()) {
        // Automatic-quality entries have the smoothing a manual sweep left.
        if (s.getSmoothing() != 0)
            return QStringLiteral("# no tessera-sweep equivalent: automatic quality with "
                                  "smoothing %1 comes only after a manual sweep's smoothing")
                .arg(s.getSmoothing());
    } else {
        if (s.qtables[JPEGSettings::LUMINANCE] != QuantizationTable(JPEGSettings::presets[0])) {
            files += hereDocument(QStringLiteral("row-luminance.txt"),
                                  tableText(s.qtables[JPEGSettings::LUMINANCE]));
            out << QStringLiteral("--luminance-tables row-luminance.txt");
        }
        if (s.qtables[JPEGSettings::CHROMINANCE] != QuantizationTable(JPEGSettings::presets[1])) {
            files += hereDocument(QStringLiteral("row-chrominance.txt"),
                                  tableText(s.qtables[JPEGSettings::CHROMINANCE]));
            out << QStringLiteral("--chrominance-tables row-chrominance.txt");
        }
        const JPEGSettings::Downsampling one;
        if (s.downsampling[0] != one || s.downsampling[1] != one) {
            files += hereDocument(QStringLiteral("row-sampling.txt"),
                                  QStringLiteral("%1 %2 %3 %4\n")
                                      .arg(s.downsampling[0].vertical)
                                      .arg(s.downsampling[0].horizontal)
                                      .arg(s.downsampling[1].vertical)
                                      .arg(s.downsampling[1].horizontal));
            out << QStringLiteral("--sampling-pairs row-sampling.txt");
        }
    }
    out << quoted(picture);
    return files + out.join(QLatin1Char(' '));
}

QString cjpegCommand(const JPEGSettings& s, const QString& picture, const QString& jpeg)
{
    const auto reader = pnmReader(picture);
    if (!reader)
        return QStringLiteral("# no cjpeg equivalent: no netpbm reader of %1 pictures; save the "
                              "picture as PNG or PPM first")
            .arg(picture.section(QLatin1Char('.'), -1));
    QString files;
    QStringList options{QStringLiteral("cjpeg")};
    if (s.isAutoQualityEnabled() || standardTables(s)) {
        options << *cjpegOptions(s);
    } else {
        // The tables scaled by -quality as the encoder scales them, one
        // file, luminance in slot 0 and chrominance in slot 1.
        QString tables = tableText(s.qtables[JPEGSettings::LUMINANCE]);
        if (!s.getGrayscaleOutput())
            tables += tableText(s.qtables[JPEGSettings::CHROMINANCE]);
        files = hereDocument(QStringLiteral("row-qtables.txt"), tables);
        JPEGSettings standard = s;
        standard.qtables[JPEGSettings::LUMINANCE] = QuantizationTable(annexKLuminance);
        standard.qtables[JPEGSettings::CHROMINANCE] = QuantizationTable(annexKChrominance);
        options << *cjpegOptions(standard) << QStringLiteral("-qtables row-qtables.txt -qslots")
                << (s.getGrayscaleOutput() ? QStringLiteral("0") : QStringLiteral("0,1,1"));
    }
    options << QStringLiteral("-outfile") << quoted(jpeg);
    // The encoder always reads three components, a grey picture as R = G = B:
    // ppmtoppm makes every PNM a PPM.
    const QString source = reader->isEmpty()
                               ? QStringLiteral("ppmtoppm < %1").arg(quoted(picture))
                               : QStringLiteral("%1 %2 | ppmtoppm").arg(*reader, quoted(picture));
    return files + source + QStringLiteral(" | ") + options.join(QLatin1Char(' '));
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
        out << QStringLiteral("--auto-quality") << triple(s.getQuality())
            << QStringLiteral("--no-manual-quality");
    } else {
        out << QStringLiteral("--dct") << dct(s) << QStringLiteral("--smoothing")
            << triple(s.getSmoothing()) << QStringLiteral("--table-quality")
            << triple(s.getQuality());
    }
    return out.join(QLatin1Char(' '));
}

} // namespace SettingsText
