// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class CompressionHistory;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QTableView;

// The tool window's list of the session's compressions: one row an entry of
// the history model, newest last. Selecting one entry asks for it to be
// shown; with two selected "Compare" asks for them side by side; "Restore
// settings" asks for the selected entry's settings back.
class HistoryPanel : public QWidget
{
    Q_OBJECT

public:
    explicit HistoryPanel(CompressionHistory& history, QWidget* parent = nullptr);

    // Selects the row of the result on screen without asking for it again.
    void markShown(int row);
    // The selected rows, in order.
    QList<int> selectedRows() const;

signals:
    void showRequested(int row);
    void compareRequested(int first, int second);
    void restoreRequested(int row);

private:
    // The constructor's parts: the table of compressions, its columns' widths,
    // the row of buttons under it, the connections.
    void createView();
    void sizeColumns();
    QHBoxLayout* createButtons();
    void connectSignals();
    void selectionChanged();
    void updateNote();

    CompressionHistory& history;
    QTableView* view = nullptr;
    QPushButton* compareButton = nullptr;
    QPushButton* restoreButton = nullptr;
    QLabel* note = nullptr;
    bool marking = false;
};
