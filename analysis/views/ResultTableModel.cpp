#include "ResultTableModel.h"

#include "SettingsText.h"

#include <QHash>
#include <QLocale>

#include <cmath>
#include <limits>

namespace {

constexpr double none = std::numeric_limits<double>::quiet_NaN(); // an empty field

struct Row
{
    const JPEGSettings& s;
    const ResultStat& r;
    int picture;
};

// A column: its CSV name and either text or a number (NaN for an empty field).
struct Column
{
    const char* name;
    QString (*text)(const Row&);
    double (*number)(const Row&);
};

double flag(bool on)
{
    return on ? 1 : 0;
}

double psnrOf(const Row& row)
{
    // Records measured by the batch carry their PSNR; others (records made
    // up or read from elsewhere) have it from their mean square error.
    if (!std::isnan(row.r.psnr))
        return row.r.psnr;
    if (row.r.mse <= 0)
        return std::numeric_limits<double>::infinity();
    return 10 * std::log10(255.0 * 255.0 / row.r.mse);
}

const Column columns[] = {
    {"picture_index", nullptr, [](const Row& row) { return double(row.picture); }},
    {"entry_index", nullptr, [](const Row&) { return none; }},
    {"picture", [](const Row& row) { return row.r.fileName; }, nullptr},
    {"width", nullptr, [](const Row&) { return none; }},
    {"height", nullptr, [](const Row&) { return none; }},
    {"mode", [](const Row& row) { return SettingsText::mode(row.s); }, nullptr},
    {"progressive", nullptr,
     [](const Row& row) {
         return flag(row.s.isProgressive() && row.s.getCompressionMode() != JPEGSettings::BASELINE);
     }},
    {"grayscale", nullptr, [](const Row& row) { return flag(row.s.getGrayscaleOutput()); }},
    {"optimize_huffman", nullptr, [](const Row& row) { return flag(row.s.getOptimizeHuffman()); }},
    {"dct", [](const Row& row) { return SettingsText::dct(row.s); }, nullptr},
    {"smoothing", nullptr, [](const Row& row) { return double(row.s.getSmoothing()); }},
    {"auto_quality", nullptr, [](const Row& row) { return flag(row.s.isAutoQualityEnabled()); }},
    {"quality", nullptr, [](const Row& row) { return double(row.s.getQuality()); }},
    {"sampling", [](const Row& row) { return SettingsText::sampling(row.s); }, nullptr},
    {"luminance_table",
     [](const Row& row) { return SettingsText::tableName(row.s, JPEGSettings::LUMINANCE); }, nullptr},
    {"chrominance_table",
     [](const Row& row) { return SettingsText::tableName(row.s, JPEGSettings::CHROMINANCE); }, nullptr},
    {"source_bytes", nullptr, [](const Row&) { return none; }},
    {"jpeg_bytes", nullptr, [](const Row&) { return none; }},
    {"compression_rate", nullptr, [](const Row& row) { return row.r.compressionRate; }},
    {"compression_percentage", nullptr, [](const Row& row) { return row.r.compressionPercentage; }},
    {"bpp", nullptr, [](const Row& row) { return row.r.bitRate; }},
    {"mse", nullptr, [](const Row& row) { return row.r.mse; }},
    {"psnr", nullptr, psnrOf},
    {"psnr_y", nullptr, [](const Row& row) { return row.r.psnrY; }},
    {"psnr_cb", nullptr, [](const Row& row) { return row.r.psnrCb; }},
    {"psnr_cr", nullptr, [](const Row& row) { return row.r.psnrCr; }},
    {"ssim", nullptr, [](const Row& row) { return row.r.ssim; }},
    {"ms_ssim", nullptr, [](const Row& row) { return row.r.msSsim; }},
    {"encode_ms", nullptr, [](const Row&) { return none; }},
    {"decode_ms", nullptr, [](const Row&) { return none; }},
    {"status", [](const Row&) { return SweepColumns::ok; }, nullptr},
    {"message", [](const Row&) { return QString(); }, nullptr},
};
constexpr int COLUMN_COUNT = int(sizeof columns / sizeof columns[0]);

// Shortest text that reads back as the same double; "inf" and "" for n/a.
QString numberText(double v)
{
    if (std::isnan(v))
        return QString();
    if (std::isinf(v))
        return v > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
    return QString::number(v, 'g', QLocale::FloatingPointShortest);
}

} // namespace

ResultTableModel::ResultTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void ResultTableModel::setResults(const std::vector<JPEGSettings>* settings,
                                  const std::vector<ResultStat>* runResults)
{
    beginResetModel();
    settingsList = settings;
    results = settings && runResults ? runResults : nullptr;
    pictureIndex.clear();
    if (results) {
        QHash<QString, int> seen;
        pictureIndex.reserve(results->size());
        for (const ResultStat& r : *results)
            pictureIndex.push_back(*seen.insert(r.fileName, seen.value(r.fileName, int(seen.size()))));
    }
    endResetModel();
}

void ResultTableModel::refresh()
{
    if (count() > 0)
        emit dataChanged(index(0, 0), index(count() - 1, COLUMN_COUNT - 1));
}

int ResultTableModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !results)
        return 0;
    return int(std::min(results->size(), settingsList->size()));
}

int ResultTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : COLUMN_COUNT;
}

QStringList ResultTableModel::columnNames()
{
    QStringList names;
    for (const Column& c : columns)
        names.append(QLatin1String(c.name));
    return names;
}

int ResultTableModel::column(const QString& name) const
{
    for (int c = 0; c < COLUMN_COUNT; ++c)
        if (name == QLatin1String(columns[c].name))
            return c;
    return -1;
}

double ResultTableModel::number(int row, int column) const
{
    if (row < 0 || row >= count() || column < 0 || column >= COLUMN_COUNT)
        return none;
    const Row r{(*settingsList)[std::size_t(row)], (*results)[std::size_t(row)],
                pictureIndex[std::size_t(row)]};
    if (columns[column].number)
        return columns[column].number(r);
    return SweepRows::number(row, column);
}

QString ResultTableModel::text(int row, int column) const
{
    if (row < 0 || row >= count() || column < 0 || column >= COLUMN_COUNT)
        return QString();
    if (!columns[column].text)
        return numberText(number(row, column));
    const Row r{(*settingsList)[std::size_t(row)], (*results)[std::size_t(row)],
                pictureIndex[std::size_t(row)]};
    return columns[column].text(r);
}

QVariant ResultTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return QVariant();
    if (role == Qt::DisplayRole || (role == Qt::ToolTipRole && index.column() == column(SweepColumns::picture)))
        return text(index.row(), index.column());
    if (role == SortRole) {
        if (!columns[index.column()].number)
            return text(index.row(), index.column());
        const double v = number(index.row(), index.column());
        // Empty fields sort before every number.
        return std::isnan(v) ? -std::numeric_limits<double>::infinity() : v;
    }
    if (role == Qt::TextAlignmentRole && columns[index.column()].number)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return QVariant();
}

QVariant ResultTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Vertical)
        return section + 1;
    if (section < 0 || section >= COLUMN_COUNT)
        return QVariant();
    return QLatin1String(columns[section].name);
}

QString ResultTableModel::describe(int row) const
{
    QStringList lines;
    for (int c = 0; c < COLUMN_COUNT; ++c) {
        const QString value = text(row, c);
        if (!value.isEmpty())
            lines.append(QStringLiteral("%1: %2").arg(QLatin1String(columns[c].name), value));
    }
    return lines.join(QLatin1Char('\n'));
}
