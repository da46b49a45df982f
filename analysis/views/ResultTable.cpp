// SPDX-License-Identifier: GPL-3.0-or-later
#include "ResultTable.h"

#include "CsvEntry.h"
#include "ResultTableModel.h"
#include "SettingsText.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

// True when `field` passes `filter`: a comparison with a number, or text the
// field contains.
bool passes(const QString& field, double value, const QString& filter)
{
    static const QRegularExpression comparison(QStringLiteral("^\\s*(<=|>=|<|>|=)\\s*(\\S+)\\s*$"));
    const auto match = comparison.match(filter);
    bool isNumber = false;
    const double bound = match.hasMatch() ? match.captured(2).toDouble(&isNumber) : 0;
    if (!isNumber)
        return field.contains(filter.trimmed(), Qt::CaseInsensitive);
    if (std::isnan(value))
        return false;
    const QString op = match.captured(1);
    if (op == QLatin1String("<"))
        return value < bound;
    if (op == QLatin1String(">"))
        return value > bound;
    if (op == QLatin1String("<="))
        return value <= bound;
    if (op == QLatin1String(">="))
        return value >= bound;
    return value == bound;
}

} // namespace

ResultFilterModel::ResultFilterModel(QObject* parent) : QSortFilterProxyModel(parent)
{
    setSortRole(ResultTableModel::SortRole);
}

void ResultFilterModel::setColumnFilter(int column, const QString& text)
{
    if (column < 0)
        return;
    if (std::size_t(column) >= columnFilters.size())
        columnFilters.resize(std::size_t(column) + 1);
    columnFilters[std::size_t(column)] = text;
    invalidateFilter();
}

QString ResultFilterModel::columnFilter(int column) const
{
    return column >= 0 && std::size_t(column) < columnFilters.size()
               ? columnFilters[std::size_t(column)]
               : QString();
}

void ResultFilterModel::setOverallFilter(const QString& text)
{
    overall = text.trimmed();
    invalidateFilter();
}

bool ResultFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex&) const
{
    const auto* rows = static_cast<const ResultTableModel*>(sourceModel());
    for (std::size_t c = 0; c < columnFilters.size(); ++c) {
        if (columnFilters[c].trimmed().isEmpty())
            continue;
        if (!passes(rows->text(sourceRow, int(c)), rows->number(sourceRow, int(c)),
                    columnFilters[c]))
            return false;
    }
    if (overall.isEmpty())
        return true;
    for (int c = 0; c < rows->columnCount(); ++c)
        if (rows->text(sourceRow, c).contains(overall, Qt::CaseInsensitive))
            return true;
    return false;
}

ResultTable::ResultTable(ResultTableModel* model, QWidget* parent)
    : QWidget(parent), model(model), proxy(new ResultFilterModel(this))
{
    proxy->setSourceModel(model);
    createFilters();
    createTable();
    shownLabel = new QLabel(this);
    shownLabel->setObjectName(QStringLiteral("shownLabel"));
    shownLabel->setWordWrap(true);
    clearButton = new QToolButton(this);
    clearButton->setObjectName(QStringLiteral("clearFiltersButton"));
    clearButton->setText(QStringLiteral("Clear filters"));
    layOut();
    connectSignals();
    updateShown();
}

void ResultTable::createFilters()
{
    overallFilter = new QLineEdit(this);
    overallFilter->setObjectName(QStringLiteral("overallFilter"));
    overallFilter->setPlaceholderText(QStringLiteral("Filter all columns"));
    overallFilter->setClearButtonEnabled(true);
    filterColumn = new QComboBox(this);
    filterColumn->setObjectName(QStringLiteral("filterColumn"));
    filterColumn->addItems(ResultTableModel::columnNames());
    columnFilter = new QLineEdit(this);
    columnFilter->setObjectName(QStringLiteral("columnFilter"));
    columnFilter->setPlaceholderText(QStringLiteral("Text, or <, <=, =, >=, > a number"));
    columnFilter->setClearButtonEnabled(true);
    columnsButton = new QToolButton(this);
    columnsButton->setObjectName(QStringLiteral("columnsButton"));
    columnsButton->setText(QStringLiteral("Columns"));
    columnsButton->setPopupMode(QToolButton::InstantPopup);
    columnsButton->setMenu(new QMenu(columnsButton));
}

void ResultTable::createTable()
{
    table = new QTableView(this);
    table->setObjectName(QStringLiteral("resultTable"));
    table->setModel(proxy);
    table->setSortingEnabled(true);
    table->sortByColumn(-1, Qt::AscendingOrder); // the run's order until a header is clicked
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    table->setWordWrap(false);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    table->horizontalHeader()->setDefaultSectionSize(90);
}

void ResultTable::layOut()
{
    auto* filters = new QHBoxLayout;
    filters->addWidget(overallFilter, 2);
    filters->addWidget(filterColumn);
    filters->addWidget(columnFilter, 1);
    filters->addWidget(columnsButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(filters);
    auto* status = new QHBoxLayout;
    status->addWidget(shownLabel, 1);
    status->addWidget(clearButton);
    layout->addLayout(status);
    layout->addWidget(table);
}

void ResultTable::connectSignals()
{
    connect(overallFilter, &QLineEdit::textChanged, proxy, &ResultFilterModel::setOverallFilter);
    connect(columnFilter, &QLineEdit::textChanged, this, [this](const QString& text) {
        proxy->setColumnFilter(filterColumn->currentIndex(), text);
        updateShown();
    });
    connect(overallFilter, &QLineEdit::textChanged, this, &ResultTable::updateShown);
    connect(filterColumn, &QComboBox::currentIndexChanged, this, [this](int column) {
        const QSignalBlocker block(columnFilter);
        columnFilter->setText(proxy->columnFilter(column));
    });
    connect(table, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        emit showRequested(proxy->mapToSource(index).row());
    });
    connect(table, &QWidget::customContextMenuRequested, this, &ResultTable::showContextMenu);
    connect(columnsButton->menu(), &QMenu::aboutToShow, this, &ResultTable::fillColumnMenu);
    connect(clearButton, &QToolButton::clicked, this, &ResultTable::clearFilters);
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(proxy, signal, this, &ResultTable::updateShown);
    connect(proxy, &QAbstractItemModel::modelReset, this, &ResultTable::updateShown);
    connect(proxy, &QAbstractItemModel::layoutChanged, this, &ResultTable::updateShown);
}

void ResultTable::clearFilters()
{
    overallFilter->clear();
    for (int c = 0; c < model->columnCount(); ++c)
        proxy->setColumnFilter(c, QString());
    columnFilter->clear();
    updateShown();
}

QStringList ResultTable::activeFilters() const
{
    QStringList out;
    for (int c = 0; c < model->columnCount(); ++c) {
        const QString filter = proxy->columnFilter(c).trimmed();
        if (!filter.isEmpty())
            out.append(
                QStringLiteral("%1: %2").arg(ResultTableModel::columnNames().value(c), filter));
    }
    if (!proxy->overallFilter().isEmpty())
        out.append(QStringLiteral("any column: %1").arg(proxy->overallFilter()));
    return out;
}

void ResultTable::updateShown()
{
    const QStringList filters = activeFilters();
    QString text =
        QStringLiteral("%1 of %2 results shown").arg(proxy->rowCount()).arg(model->rowCount());
    if (!filters.isEmpty())
        text += QStringLiteral(" \u2014 filters (the chart follows them): ") +
                filters.join(QStringLiteral("; "));
    shownLabel->setText(text);
    clearButton->setEnabled(!filters.isEmpty());
    // The column combo marks the columns that hold a filter.
    for (int c = 0; c < filterColumn->count(); ++c) {
        const QString name = ResultTableModel::columnNames().value(c);
        const bool active = !proxy->columnFilter(c).trimmed().isEmpty();
        filterColumn->setItemText(c, active ? name + QStringLiteral(" \u25cf") : name);
    }
}

void ResultTable::chooseDefaultColumns()
{
    for (int c = 0; c < model->columnCount(); ++c)
        table->setColumnHidden(c, model->count() > 0 && model->text(0, c).isEmpty());
    // Measured on the first thousand rows at most (the header's precision).
    table->resizeColumnsToContents();
}

void ResultTable::fillColumnMenu()
{
    QMenu* menu = columnsButton->menu();
    menu->clear();
    for (int c = 0; c < model->columnCount(); ++c) {
        QAction* action =
            menu->addAction(model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
        action->setObjectName(QStringLiteral("column_") + action->text());
        action->setCheckable(true);
        action->setChecked(!table->isColumnHidden(c));
        connect(action, &QAction::toggled, this,
                [this, c](bool on) { table->setColumnHidden(c, !on); });
    }
}

std::vector<int> ResultTable::selectedRows() const
{
    std::vector<int> rows;
    const QModelIndexList selected = table->selectionModel()->selectedRows();
    std::vector<int> viewRows;
    for (const QModelIndex& index : selected)
        viewRows.push_back(index.row());
    std::sort(viewRows.begin(), viewRows.end());
    for (int r : viewRows)
        rows.push_back(proxy->mapToSource(proxy->index(r, 0)).row());
    return rows;
}

void ResultTable::selectRow(int row)
{
    QModelIndex at = proxy->mapFromSource(model->index(row, 0));
    if (!at.isValid()) {
        clearFilters();
        at = proxy->mapFromSource(model->index(row, 0));
    }
    if (!at.isValid())
        return;
    table->selectionModel()->select(at, QItemSelectionModel::ClearAndSelect |
                                            QItemSelectionModel::Rows);
    table->setCurrentIndex(at);
    table->scrollTo(at);
}

CsvEntry::Entry ResultTable::csvEntry(int row) const
{
    CsvEntry::Sources sources;
    if (!csvFolder.isEmpty())
        sources.folders = QStringList{csvFolder};
    sources.known = &model->getTableNames();
    return CsvEntry::read(*model, row, sources);
}

std::optional<JPEGSettings> ResultTable::settingsOf(int row, QString& problem) const
{
    if (const JPEGSettings* settings = model->settingsAt(row))
        return *settings;
    if (!model->showsCsv()) {
        problem = QStringLiteral("its settings are not at hand");
        return std::nullopt;
    }
    CsvEntry::Entry entry = csvEntry(row);
    if (!entry.problem.isEmpty()) {
        problem = entry.problem;
        return std::nullopt;
    }
    return entry.settings;
}

namespace {

// The line for a row whose entry cannot be made.
QString noSettings(int row, const QString& problem)
{
    return QStringLiteral("# row %1: %2").arg(row + 1).arg(problem);
}

} // namespace

QString ResultTable::cjpegOptionsText() const
{
    QStringList lines;
    const int picture = model->column(SweepColumns::picture);
    for (int row : selectedRows()) {
        QString problem;
        if (const std::optional<JPEGSettings> settings = settingsOf(row, problem))
            lines.append(SettingsText::cjpegCommand(*settings, model->text(row, picture),
                                                    QStringLiteral("row%1.jpg").arg(row + 1)));
        else
            lines.append(noSettings(row, problem));
    }
    return lines.join(QLatin1Char('\n'));
}

QString ResultTable::sweepOptionsText() const
{
    QStringList lines;
    const int picture = model->column(SweepColumns::picture);
    for (int row : selectedRows()) {
        QString problem;
        if (const std::optional<JPEGSettings> settings = settingsOf(row, problem))
            lines.append(SettingsText::sweepCommand(*settings, model->text(row, picture)));
        else
            lines.append(noSettings(row, problem));
    }
    return lines.join(QLatin1Char('\n'));
}

void ResultTable::showContextMenu(const QPoint& at)
{
    const QModelIndex index = table->indexAt(at);
    if (!index.isValid())
        return;
    if (!table->selectionModel()->isRowSelected(index.row(), QModelIndex()))
        table->selectRow(index.row());
    QMenu menu(this);
    const int row = proxy->mapToSource(index).row();
    menu.addAction(QStringLiteral("Show"), this, [this, row] { emit showRequested(row); });
    menu.addSeparator();
    menu.addAction(QStringLiteral("Copy cjpeg command"), this,
                   [this] { QGuiApplication::clipboard()->setText(cjpegOptionsText()); });
    menu.addAction(QStringLiteral("Copy tessera-sweep options"), this,
                   [this] { QGuiApplication::clipboard()->setText(sweepOptionsText()); });
    menu.exec(table->viewport()->mapToGlobal(at));
}
