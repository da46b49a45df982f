// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CsvEntry.h"
#include "JPEGSettings.h"

#include <QSortFilterProxyModel>
#include <QWidget>

#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QTableView;
class QToolButton;
class ResultTableModel;

// Rows of a result table that pass the filters, sorted by the SortRole. A
// column filter holds text that the field must contain (any case), or a
// comparison with a number: "<0.5", ">=30", "=75". The overall filter keeps
// the rows in which any column contains its text.
class ResultFilterModel : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit ResultFilterModel(QObject* parent = nullptr);

    void setColumnFilter(int column, const QString& text);
    QString columnFilter(int column) const;
    void setOverallFilter(const QString& text);
    QString overallFilter() const { return overall; }
    // Whether a row of the source model passes the filters.
    bool accepts(int sourceRow) const { return filterAcceptsRow(sourceRow, QModelIndex()); }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    std::vector<QString> columnFilters;
    QString overall;
};

// The Table tab of the results window: the results as a sortable, filterable
// table with a column chooser. Double-click or "Show" in a row's context menu
// asks for its viewer; the menu also copies the selected rows' equivalent
// cjpeg and tessera-sweep options.
class ResultTable : public QWidget
{
    Q_OBJECT

public:
    ResultTable(ResultTableModel* model, QWidget* parent);

    QTableView* view() const { return table; }
    ResultFilterModel* filterModel() const { return proxy; }
    // Rows of the model, in the view's order.
    std::vector<int> selectedRows() const;
    // Selects and scrolls to the model's row, clearing any filter that hides it.
    void selectRow(int row);
    // Hides the columns that are empty in the first row.
    void chooseDefaultColumns();

    // What the context menu copies, one line per selected row. A row read
    // from a CSV has its entry made again from its columns, its tables
    // looked for in `csvFolder` (the CSV's) and then beside its picture.
    QString cjpegOptionsText() const;
    QString sweepOptionsText() const;
    // "column: filter" for every active filter, the overall one last.
    QStringList activeFilters() const;
    void clearFilters();
    void setCsvFolder(const QString& folder) { csvFolder = folder; }
    // The entry of a row read from a CSV, made again as described above.
    CsvEntry::Entry csvEntry(int row) const;

signals:
    void showRequested(int row);

private:
    // The constructor's parts: the filter row, the table, the layout, the
    // connections.
    void createFilters();
    void createTable();
    void layOut();
    void connectSignals();
    void showContextMenu(const QPoint& at);
    void fillColumnMenu();
    // "N of M results shown" and the active filters.
    void updateShown();
    // The entry of the model's row, or why there is none.
    std::optional<JPEGSettings> settingsOf(int row, QString& problem) const;

    ResultTableModel* model;
    ResultFilterModel* proxy;
    QTableView* table;
    QLineEdit* overallFilter;
    QComboBox* filterColumn;
    QLineEdit* columnFilter;
    QToolButton* columnsButton;
    QLabel* shownLabel;
    QToolButton* clearButton;
    QString csvFolder;
};
