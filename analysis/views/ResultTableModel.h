// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CompressionResult.h"
#include "CsvReader.h"
#include "JPEGSettings.h"
#include "SweepCsv.h"
#include "SweepRows.h"

#include <QAbstractTableModel>

#include <memory>
#include <vector>

// The results of a batch run as a table: one row per result, one column per
// column of the sweep CSV, read straight from the run's two aligned lists
// (nothing is copied per row), in the text tessera-sweep writes. Columns the
// lists cannot fill (a record made outside a run) stay empty.
//
// Display text is what the CSV holds, real numbers rounded to six
// significant digits (the full figure in the cell's tool tip); the SortRole gives numbers as
// numbers so that 10 sorts after 9. The lists are edited elsewhere (result panels recompress in
// place); refresh() tells the views.
class ResultTableModel : public QAbstractTableModel, public SweepRows
{
    Q_OBJECT

public:
    static constexpr int SortRole = Qt::UserRole + 1;

    explicit ResultTableModel(QObject* parent = nullptr);

    // Both lists stay the caller's and must stay in place while shown; null
    // empties the table.
    void setResults(const std::vector<JPEGSettings>* settings,
                    const std::vector<ResultStat>* results);
    void refresh();
    // Shows a sweep CSV read back instead of a run's lists: the columns are
    // matched by name, those the CSV lacks stay empty and those the table
    // does not know are left out. Null empties the table. settingsAt() is
    // null for every row of a CSV.
    void setCsv(std::shared_ptr<const CsvTable> csv);
    bool showsCsv() const { return csvTable != nullptr; }
    // How the run names its quantization tables (the sweep's table files);
    // without, tables are named after the presets they equal.
    void setTableNames(SweepCsv::TableNames names);
    const SweepCsv::TableNames& getTableNames() const { return tableNames; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // SweepRows
    int count() const override { return rowCount(QModelIndex()); }
    QStringList header() const override { return columnNames(); }
    int column(const QString& name) const override;
    // The field at full precision, as the CSV holds it.
    QString text(int row, int column) const override;
    // The whole table as a sweep CSV file holds it: text cells of a run's
    // results written so that spreadsheets take them as text, the way
    // tessera-sweep writes them (a CSV read back holds them so already).
    QByteArray fileText() const;
    // What a cell shows: real numbers to six significant digits.
    QString shownText(int row, int column) const;
    double number(int row, int column) const override;

    static QStringList columnNames();
    // The settings entry of a row; null out of range.
    const JPEGSettings* settingsAt(int row) const
    {
        return settingsList && row >= 0 && row < count() ? &(*settingsList)[std::size_t(row)]
                                                         : nullptr;
    }
    // The settings and figures of one row for a tool tip, one per line.
    QString describe(int row) const;

private:
    SweepCsv::Row row(int r) const;
    // Whether `column` holds numbers; `v` receives the field's number.
    bool numeric(int r, int column, double& v) const;
    static int psnrColumn();

    const std::vector<JPEGSettings>* settingsList = nullptr;
    const std::vector<ResultStat>* results = nullptr;
    SweepCsv::TableNames tableNames;
    // The picture index of each row's picture by first appearance, for
    // records that do not carry theirs.
    std::vector<int> pictureIndex;
    std::shared_ptr<const CsvTable> csvTable;
    // For each column of the table, its column in csvTable, -1 for none.
    std::vector<int> csvColumns;
};
