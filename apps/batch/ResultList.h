// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CompressionResult.h"
#include "JPEGSettings.h"
#include "TableCatalogue.h"

#include <QAbstractScrollArea>

#include <map>
#include <vector>

class ResultWidget;

// The scrolled column of result panels. A run may have tens of thousands of
// results, so only the panels in and near the visible part of the column
// exist; the others are built when they scroll into view and deleted when
// they scroll far enough out of it. A panel shows nothing that its two
// entries do not hold, so a rebuilt panel looks and acts as the one it
// replaces; the one exception, the "Progressive" box of a panel whose mode
// was switched, is kept here. Panels that hold the keyboard focus or run a
// dialog are never deleted.
//
// Every panel has the same size and the same column widths, whatever its
// file name, and they are stacked with the spacing and margins of a grid
// layout; each shows its 1-based row number.
class ResultList : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit ResultList(QWidget* parent);
    ~ResultList() override;

    // Lists the aligned entries; both stay the caller's and must stay in
    // place while listed, as must `tableNames` (the run's table files and
    // their names, as the results table has them; may be null).
    void setResults(std::vector<JPEGSettings>* settings, std::vector<ResultStat>* results,
                    const SweepCsv::TableNames* tableNames = nullptr);
    // Deletes every panel and forgets the entries.
    void clear();

    int count() const { return settingsList ? int(settingsList->size()) : 0; }
    // The panel of entry `index`, scrolled into view.
    ResultWidget* panel(int index);
    // The panels that exist now, in no particular order.
    std::vector<ResultWidget*> builtPanels() const;

    // Room for the panel width and a few rows, within the screen.
    QSize sizeHint() const override;

signals:
    // A panel's entry and figures changed.
    void resultChanged();

protected:
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void measurePanels();
    void updateScrollBars();
    // Builds the panels near the visible part, deletes those far from it and
    // moves the rest to their place.
    void layoutPanels();
    ResultWidget* build(int index);
    void discard(std::map<int, ResultWidget*>::iterator it);
    int rowTop(int index) const { return margin + index * (rowHeight + spacing); }
    int contentHeight() const;
    int contentWidth() const { return 2 * margin + panelWidth; }

    std::vector<JPEGSettings>* settingsList = nullptr;
    std::vector<ResultStat>* resultList = nullptr;
    std::map<int, ResultWidget*> panels;
    // "Progressive" boxes of deleted panels that a fresh panel would show
    // differently.
    std::map<int, Qt::CheckState> progressiveBoxes;
    TableCatalogue catalogue;
    // What the panels' labels are sized for.
    QString numberTemplate;
    QString nameTemplate;
    QString tablesTemplate;
    int panelWidth = 0;
    int rowHeight = 0;
    int margin = 0;
    int spacing = 0;
};
