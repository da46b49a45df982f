// SPDX-License-Identifier: GPL-3.0-or-later
#include "CompressionHistory.h"

#include "CompressionResult.h"
#include "Figures.h"
#include "Image.h"
#include "SettingsText.h"

#include <QLocale>
#include <QStringList>
#include <cmath>

namespace {

// "Luminance: Annex K luminance (K.1) at quality 95, custom table of slot 1".
QString writtenTableLine(const JPEGSettings& s, JPEGSettings::LC_INDEXES slot)
{
    const SettingsText::WrittenTable written = SettingsText::writtenTable(s, slot);
    const QString source = s.isAutoQualityEnabled() ? QStringLiteral("automatic quality")
                           : written.custom
                               ? QStringLiteral("custom table of slot %1").arg(int(slot) + 1)
                               : QStringLiteral("library's table: no custom table checked");
    return QStringLiteral("%1 table: %2 at quality %3 (%4)")
        .arg(slot == JPEGSettings::LUMINANCE ? QStringLiteral("Luminance")
                                             : QStringLiteral("Chrominance"),
             SettingsText::tableName(written.table))
        .arg(written.quality)
        .arg(source);
}

} // namespace

QString HistoryEntry::shortSettings() const
{
    const JPEGSettings& s = settings;
    QStringList parts;
    parts << SettingsText::writtenTablesText(s);
    if (s.isAutoQualityEnabled())
        parts << QStringLiteral("auto");
    QString mode = SettingsText::mode(s);
    if (s.getCompressionMode() != JPEGSettings::BASELINE && s.isProgressive())
        mode += QStringLiteral(" prog");
    parts << mode;
    if (s.getOptimizeHuffman())
        parts << QStringLiteral("opt");
    parts << SettingsText::dct(s);
    parts << (s.getGrayscaleOutput() ? QStringLiteral("grey") : SettingsText::sampling(s));
    if (!s.isAutoQualityEnabled() && s.getSmoothing() > 0)
        parts << QStringLiteral("smooth %1").arg(s.getSmoothing());
    return parts.join(QStringLiteral(" · "));
}

QString HistoryEntry::settingsDetails() const
{
    const JPEGSettings& s = settings;
    const auto yesNo = [](bool on) { return on ? QStringLiteral("yes") : QStringLiteral("no"); };
    QStringList lines{
        writtenTableLine(s, JPEGSettings::LUMINANCE),
        QStringLiteral("Mode: %1").arg(SettingsText::mode(s)),
        QStringLiteral("Progressive: %1")
            .arg(yesNo(s.getCompressionMode() != JPEGSettings::BASELINE && s.isProgressive())),
        QStringLiteral("Optimize Huffman: %1").arg(yesNo(s.getOptimizeHuffman())),
        QStringLiteral("Grayscale output: %1").arg(yesNo(s.getGrayscaleOutput())),
        QStringLiteral("DCT: %1").arg(SettingsText::dct(s)),
        QStringLiteral("Sampling: %1").arg(SettingsText::sampling(s)),
    };
    if (!s.getGrayscaleOutput())
        lines.insert(1, writtenTableLine(s, JPEGSettings::CHROMINANCE));
    if (!s.isAutoQualityEnabled())
        lines << QStringLiteral("Smoothing: %1").arg(s.getSmoothing());
    lines << QStringLiteral("%1 × %2 pixels").arg(width).arg(height);
    return lines.join(QLatin1Char('\n'));
}

CompressionHistory::CompressionHistory(qint64 byteCap, QObject* parent)
    : QAbstractTableModel(parent), cap(byteCap)
{
}

int CompressionHistory::add(const CompressionResult& result, double encodingMs)
{
    const QByteArray& jpeg = result.getCompressedBytes();
    for (std::size_t row = 0; row < entries.size(); ++row) {
        if (entries[row].jpeg == jpeg)
            return int(row);
    }
    HistoryEntry entry;
    entry.number = ++numbered;
    entry.settings = result.getSettings();
    entry.jpeg = jpeg;
    if (const Image* source = result.getSourceImage()) {
        entry.width = int(source->getWidth());
        entry.height = int(source->getHeight());
    }
    entry.bitRate = result.getBitRate();
    entry.psnr = result.getPSNR();
    entry.ssim = result.getSSIM();
    entry.ssimulacra2 = result.getSSIMULACRA2();
    // Slow: taken only when it was measured (on request, or with Live off).
    entry.butteraugli = result.hasButteraugli() ? result.getButteraugli() : std::nan("");
    entry.encodingMs = encodingMs;

    // The oldest go first; the new entry stays even on its own over the cap.
    int dropped = 0;
    qint64 kept = bytes;
    while (std::size_t(dropped) < entries.size() && kept + jpeg.size() > cap)
        kept -= entries[std::size_t(dropped++)].jpeg.size();
    if (dropped > 0) {
        beginRemoveRows(QModelIndex(), 0, dropped - 1);
        entries.erase(entries.begin(), entries.begin() + dropped);
        bytes = kept;
        endRemoveRows();
    }
    beginInsertRows(QModelIndex(), size(), size());
    bytes += jpeg.size();
    entries.push_back(std::move(entry));
    endInsertRows();
    return size() - 1;
}

void CompressionHistory::clear()
{
    beginResetModel();
    entries.clear();
    bytes = 0;
    // Numbers count the compressions of one picture.
    numbered = 0;
    endResetModel();
}

int CompressionHistory::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : size();
}

int CompressionHistory::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : COLUMN_COUNT;
}

QVariant CompressionHistory::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= size())
        return QVariant();
    const HistoryEntry& e = entry(index.row());
    if (role == Qt::ToolTipRole)
        return e.settingsDetails();
    if (role == Qt::TextAlignmentRole)
        return index.column() == SETTINGS ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                                          : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (index.column()) {
    case NUMBER:
        return e.number;
    case SETTINGS:
        return e.shortSettings();
    case SIZE:
        return QLocale::c().formattedDataSize(e.jpeg.size(), 1);
    case BPP:
        return QString::number(e.bitRate, 'f', 3);
    case PSNR:
        return Figures::screenText(Figure::PSNR, e.psnr);
    case SSIM:
        return Figures::screenText(Figure::SSIM, e.ssim);
    case SSIMULACRA2:
        return Figures::screenText(Figure::SSIMULACRA2, e.ssimulacra2);
    case BUTTERAUGLI:
        return Figures::screenText(Figure::Butteraugli, e.butteraugli);
    case TIME:
        return QStringLiteral("%1 ms").arg(e.encodingMs, 0, 'f', 0);
    default:
        return QVariant();
    }
}

namespace {

// A column's heading and tool tip; the figures' columns take both from their figure.
struct HeaderText
{
    const char* title;
    const char* tip;
    int figure; // a Figure, or -1
};

const HeaderText columns[CompressionHistory::COLUMN_COUNT] = {
    {"#", "Order of the compressions of this picture", -1},
    {"Settings", "Quality and tables, mode, Huffman optimisation, DCT, sampling, smoothing", -1},
    {"Size", "Size of the JPEG", -1},
    {nullptr, nullptr, int(Figure::BitRate)},
    {nullptr, nullptr, int(Figure::PSNR)},
    {nullptr, nullptr, int(Figure::SSIM)},
    {nullptr, nullptr, int(Figure::SSIMULACRA2)},
    {nullptr, "Measured with Live off or on request in the viewer", int(Figure::Butteraugli)},
    {"Time", "Time the encoder took", -1},
};

QString columnTitle(const HeaderText& column)
{
    if (column.figure < 0)
        return QString::fromLatin1(column.title);
    const FigureInfo& info = Figures::info(Figure(column.figure));
    // The bit rate is headed by its unit, as its values are written.
    return Figure(column.figure) == Figure::BitRate ? QString::fromUtf8(info.unit).trimmed()
                                                    : QString::fromUtf8(info.name);
}

QString columnTip(const HeaderText& column)
{
    if (column.figure < 0)
        return QString::fromLatin1(column.tip);
    QString tip = QString::fromUtf8(Figures::info(Figure(column.figure)).definition);
    if (column.tip)
        tip += QStringLiteral("<br>") + QString::fromLatin1(column.tip);
    return tip;
}

} // namespace

QVariant CompressionHistory::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= COLUMN_COUNT)
        return QVariant();
    if (role == Qt::DisplayRole)
        return columnTitle(columns[section]);
    if (role == Qt::ToolTipRole)
        return columnTip(columns[section]);
    return QVariant();
}
