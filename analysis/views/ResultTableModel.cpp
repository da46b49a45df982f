// SPDX-License-Identifier: GPL-3.0-or-later
#include "ResultTableModel.h"

#include "CsvWriter.h"
#include "Figures.h"
#include "FileNames.h"
#include "SweepCsv.h"

#include <QHash>

#include <cmath>
#include <limits>
#include <utility>

namespace {

int columnTotal()
{
    return int(SweepCsv::columns().size());
}

} // namespace

ResultTableModel::ResultTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void ResultTableModel::setResults(const std::vector<JPEGSettings>* settings,
                                  const std::vector<ResultStat>* runResults)
{
    beginResetModel();
    settingsList = settings;
    results = settings && runResults ? runResults : nullptr;
    csvTable.reset();
    csvColumns.clear();
    pictureIndex.clear();
    if (results) {
        QHash<QString, int> seen;
        pictureIndex.reserve(results->size());
        for (const ResultStat& r : *results)
            pictureIndex.push_back(
                *seen.insert(r.fileName, seen.value(r.fileName, int(seen.size()))));
    }
    endResetModel();
}

void ResultTableModel::setCsv(std::shared_ptr<const CsvTable> csv)
{
    beginResetModel();
    settingsList = nullptr;
    results = nullptr;
    pictureIndex.clear();
    csvTable = std::move(csv);
    csvColumns.clear();
    if (csvTable)
        for (const QString& name : SweepCsv::columns())
            csvColumns.push_back(csvTable->column(name));
    endResetModel();
}

bool ResultTableModel::numeric(int r, int column, double& v) const
{
    if (!csvTable)
        return SweepCsv::value(row(r), column, v);
    // Whether a column holds numbers does not depend on the row.
    static const JPEGSettings entry;
    static const ResultStat stat;
    static const SweepCsv::Row blank(entry, stat);
    if (!SweepCsv::value(blank, column, v))
        return false;
    v = SweepRows::number(r, column);
    return true;
}

void ResultTableModel::setTableNames(SweepCsv::TableNames names)
{
    tableNames = std::move(names);
    refresh();
}

void ResultTableModel::refresh()
{
    if (count() > 0)
        emit dataChanged(index(0, 0), index(count() - 1, columnTotal() - 1));
}

int ResultTableModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    if (csvTable)
        return csvTable->count();
    if (!results)
        return 0;
    return int(std::min(results->size(), settingsList->size()));
}

int ResultTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : columnTotal();
}

QStringList ResultTableModel::columnNames()
{
    return SweepCsv::columns();
}

int ResultTableModel::column(const QString& name) const
{
    return int(SweepCsv::columns().indexOf(name));
}

SweepCsv::Row ResultTableModel::row(int r) const
{
    const ResultStat& stat = (*results)[std::size_t(r)];
    SweepCsv::Row out{(*settingsList)[std::size_t(r)], stat};
    // Records made elsewhere than in a run have their pictures numbered by
    // first appearance.
    out.pictureIndex = stat.pictureIndex >= 0 ? stat.pictureIndex : pictureIndex[std::size_t(r)];
    out.tables = &tableNames;
    return out;
}

double ResultTableModel::number(int r, int column) const
{
    if (r < 0 || r >= count() || column < 0 || column >= columnTotal())
        return std::numeric_limits<double>::quiet_NaN();
    double value = 0;
    if (csvTable || !SweepCsv::value(row(r), column, value))
        return SweepRows::number(r, column);
    // Records measured in a run carry their PSNR; others (made up or read
    // from elsewhere) have it from their mean square error.
    const ResultStat& stat = (*results)[std::size_t(r)];
    if (column == psnrColumn() && std::isnan(value))
        value = stat.mse > 0 ? 10 * std::log10(255.0 * 255.0 / stat.mse)
                             : std::numeric_limits<double>::infinity();
    return value;
}

QString ResultTableModel::text(int r, int column) const
{
    if (r < 0 || r >= count() || column < 0 || column >= columnTotal())
        return QString();
    if (csvTable) {
        const int at = csvColumns[std::size_t(column)];
        return at < 0 ? QString() : csvTable->text(r, at);
    }
    if (column == psnrColumn())
        return SweepCsv::number(number(r, column));
    return SweepCsv::field(row(r), column);
}

QByteArray ResultTableModel::fileText() const
{
    if (csvTable)
        return CsvWriter::text(*this);
    static const JPEGSettings entry;
    static const ResultStat stat;
    static const SweepCsv::Row blank(entry, stat);
    QByteArray out = CsvWriter::record(header());
    QStringList fields;
    for (int r = 0; r < count(); ++r) {
        fields.clear();
        for (int c = 0; c < columnTotal(); ++c) {
            double unused;
            const bool isText = !SweepCsv::value(blank, c, unused);
            fields.append(isText ? FileNames::cellOfText(text(r, c)) : text(r, c));
        }
        out += CsvWriter::record(fields);
    }
    return out;
}

int ResultTableModel::psnrColumn()
{
    static const int psnr = SweepCsv::column("psnr");
    return psnr;
}

QVariant ResultTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return QVariant();
    if (role == Qt::DisplayRole)
        return shownText(index.row(), index.column());
    if (role == Qt::ToolTipRole) {
        // The full precision, as the CSV holds it, where the cell rounds.
        const QString full = text(index.row(), index.column());
        return full != shownText(index.row(), index.column()) ||
                       index.column() == column(SweepColumns::picture)
                   ? QVariant(full)
                   : QVariant();
    }
    if (role == SortRole) {
        double v = 0;
        if (!numeric(index.row(), index.column(), v))
            return text(index.row(), index.column());
        v = number(index.row(), index.column());
        // Empty fields sort before every number.
        return std::isnan(v) ? -std::numeric_limits<double>::infinity() : v;
    }
    double v = 0;
    if (role == Qt::TextAlignmentRole && numeric(index.row(), index.column(), v))
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return QVariant();
}

QString ResultTableModel::shownText(int r, int column) const
{
    const QString full = text(r, column);
    double v = 0;
    if (r < 0 || r >= count() || !numeric(r, column, v))
        return full;
    v = number(r, column);
    // Six significant digits: enough to tell results apart, short enough
    // to read down a column.
    if (!std::isfinite(v) || v == std::round(v))
        return full;
    return QString::number(v, 'g', 6);
}

QVariant ResultTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return QVariant();
    if (orientation == Qt::Vertical)
        return role == Qt::DisplayRole ? QVariant(section + 1) : QVariant();
    if (section < 0 || section >= columnTotal())
        return QVariant();
    const QString name = SweepCsv::columns()[section];
    if (role == Qt::DisplayRole)
        return name;
    // A figure's column tells what the figure is.
    const FigureInfo* figure = SweepColumns::figureOf(name);
    return figure ? QVariant(QLatin1String(figure->definition)) : QVariant();
}

QString ResultTableModel::describe(int row) const
{
    QStringList lines;
    for (int c = 0; c < columnTotal(); ++c) {
        const QString value = text(row, c);
        if (!value.isEmpty())
            lines.append(QStringLiteral("%1: %2").arg(SweepCsv::columns()[c], value));
    }
    return lines.join(QLatin1Char('\n'));
}
