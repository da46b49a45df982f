// SPDX-License-Identifier: GPL-3.0-or-later
#include "HistoryPanel.h"

#include "CompressionHistory.h"
#include "Figures.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

HistoryPanel::HistoryPanel(CompressionHistory& model, QWidget* parent)
    : QWidget(parent), history(model)
{
    setObjectName(QStringLiteral("historyPanel"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* title = new QLabel(QStringLiteral("<b>History</b>"));
    layout->addWidget(title);
    createView();
    layout->addWidget(view, 1);
    layout->addLayout(createButtons());

    note = new QLabel;
    note->setObjectName(QStringLiteral("historyNote"));
    note->setWordWrap(true);
    layout->addWidget(note);

    connectSignals();
    selectionChanged();
    updateNote();
}

void HistoryPanel::createView()
{
    view = new QTableView;
    view->setObjectName(QStringLiteral("historyView"));
    view->setModel(&history);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setAlternatingRowColors(true);
    view->setWordWrap(false);
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->horizontalHeader()->setHighlightSections(false);
    sizeColumns();
    view->setMinimumWidth(320);
    view->setToolTip(QStringLiteral("Select one compression to see it again; select two "
                                    "(Ctrl+click) to compare them"));
}

void HistoryPanel::sizeColumns()
{
    // The figures' columns as wide as their widest values, so that a long
    // history sizes no column by its rows; the settings take what is left.
    QHeaderView* header = view->horizontalHeader();
    // Two columns are as wide as their headings, the figures' names.
    const struct
    {
        int column;
        QString widest;
    } widths[] = {{CompressionHistory::NUMBER, QStringLiteral("9999")},
                  {CompressionHistory::SIZE, QStringLiteral("999.9 KiB")},
                  {CompressionHistory::BPP, QStringLiteral("99.999")},
                  {CompressionHistory::PSNR, QStringLiteral("99.99 dB")},
                  {CompressionHistory::SSIM, QStringLiteral("0.9999")},
                  {CompressionHistory::SSIMULACRA2,
                   QString::fromUtf8(Figures::info(Figure::SSIMULACRA2).name)},
                  {CompressionHistory::BUTTERAUGLI,
                   QString::fromUtf8(Figures::info(Figure::Butteraugli).name)},
                  {CompressionHistory::TIME, QStringLiteral("99999 ms")}};
    for (const auto& w : widths) {
        header->setSectionResizeMode(w.column, QHeaderView::Fixed);
        header->resizeSection(w.column, view->fontMetrics().horizontalAdvance(w.widest) + 14);
    }
    header->setSectionResizeMode(CompressionHistory::SETTINGS, QHeaderView::Stretch);
}

QHBoxLayout* HistoryPanel::createButtons()
{
    auto* buttons = new QHBoxLayout;
    compareButton = new QPushButton(QStringLiteral("Co&mpare"));
    compareButton->setObjectName(QStringLiteral("compareButton"));
    compareButton->setToolTip(QStringLiteral("The two selected compressions side by side"));
    compareButton->setAutoDefault(false);
    restoreButton = new QPushButton(QStringLiteral("&Restore settings"));
    restoreButton->setObjectName(QStringLiteral("restoreButton"));
    restoreButton->setToolTip(
        QStringLiteral("Put the selected compression's settings back into the controls"));
    restoreButton->setAutoDefault(false);
    buttons->addWidget(compareButton);
    buttons->addWidget(restoreButton);
    buttons->addStretch(1);
    return buttons;
}

void HistoryPanel::connectSignals()
{
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &HistoryPanel::selectionChanged);
    connect(compareButton, &QPushButton::clicked, this, [this] {
        const QList<int> rows = selectedRows();
        if (rows.size() == 2)
            emit compareRequested(rows[0], rows[1]);
    });
    connect(restoreButton, &QPushButton::clicked, this, [this] {
        const QList<int> rows = selectedRows();
        if (rows.size() == 1)
            emit restoreRequested(rows[0]);
    });
    connect(&history, &QAbstractItemModel::rowsInserted, this, [this] {
        view->scrollToBottom();
        updateNote();
    });
    connect(&history, &QAbstractItemModel::rowsRemoved, this, &HistoryPanel::updateNote);
    connect(&history, &QAbstractItemModel::modelReset, this, &HistoryPanel::updateNote);
}

QList<int> HistoryPanel::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex& index : view->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void HistoryPanel::markShown(int row)
{
    marking = true;
    view->selectionModel()->select(history.index(row, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view->selectionModel()->setCurrentIndex(history.index(row, 0), QItemSelectionModel::NoUpdate);
    view->scrollTo(history.index(row, 0));
    marking = false;
}

void HistoryPanel::selectionChanged()
{
    const QList<int> rows = selectedRows();
    compareButton->setEnabled(rows.size() == 2);
    restoreButton->setEnabled(rows.size() == 1);
    if (!marking && rows.size() == 1)
        emit showRequested(rows[0]);
}

void HistoryPanel::updateNote()
{
    const QLocale c = QLocale::c();
    note->setText(QStringLiteral("%1 kept, %2 of JPEG data. Up to %3 is kept: the oldest "
                                 "compressions are dropped first. Opening another picture "
                                 "starts a new history.")
                      .arg(history.size() == 1
                               ? QStringLiteral("1 compression")
                               : QStringLiteral("%1 compressions").arg(history.size()),
                           c.formattedDataSize(history.heldBytes(), 1),
                           c.formattedDataSize(history.byteCap(), 0)));
}
