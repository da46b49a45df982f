// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CompressionResult.h"
#include "JPEGSettings.h"

#include <QDialog>

#include <vector>

class QAction;
class QGridLayout;
class QTabWidget;
class RDChart;
class QLabel;
class ResultList;
class ResultTable;
class ResultTableModel;
class ResultWidget;
class RunSummary;

// The outcome of a batch run in three tabs over the same two lists: Panels,
// one result panel per successful compression in a scrolled list; Table, the
// results as a sortable, filterable table; Chart, the rate-distortion curves
// and Bjøntegaard deltas. The File menu writes the tab-separated report and
// the sweep CSV. The batch window makes one window and reuses it for every
// run; show() blocks until the user closes it.
//
// The report and the CSV are written from the two lists, which the panels
// edit in place, so they always reflect the panels, including those the list
// has not built. The table and chart read the lists too and are redrawn when
// their tab is shown and after a viewer opened from them closes.
//
// Above the list a summary tells what the run was asked for and what became
// of it. Results not written to a report since the last change (a new run or
// an edit) are not thrown away without asking: closing the window by
// Escape, by its close button or by "Close" offers Save, Discard or Cancel.
class ResultsWindow : public QDialog
{
    Q_OBJECT

public:
    explicit ResultsWindow(QWidget* parent);

    // Lists the run's results and runs the window modally. The two lists are
    // aligned entry for entry; the panels edit them in place, so they must
    // stay where they are, unchanged in size, until show() returns.
    // `summary` (may be null) is shown above the list.
    void show(std::vector<JPEGSettings>* settings, std::vector<ResultStat>* runResults,
              const RunSummary* summary = nullptr);
    using QDialog::show;

    // "Open results..." of the batch window: shows the sweep CSV at `path`
    // (written by Export CSV or tessera-sweep) in the Table and Chart tabs,
    // without panels, and runs the window modally. A file that is not a
    // readable sweep CSV is told in the "Error" box and the answer is false.
    // "Show" on a row compresses its picture again under the settings the
    // row's columns give (CsvEntry: table files named in it are looked for
    // beside the CSV, beside the picture and among the batch window's table
    // lists) and opens the viewer; a row that cannot be made again says why,
    // and a compression whose size differs from the row's is told first.
    bool showCsv(const QString& path);
    // What showCsv() does before running the window.
    bool loadCsv(const QString& path);

    int panelCount() const;
    // The panel of result `index`, scrolled into view; null out of range.
    ResultWidget* panel(int index);
    ResultList* resultList() const { return list; }
    QTabWidget* tabs() const { return tabWidget; }
    ResultTable* resultTable() const { return table; }
    RDChart* rdChart() const { return chart; }
    ResultTableModel* tableModel() const { return model; }

    // The report of the results as they stand now.
    QByteArray reportText() const;
    // Writes the report to `path`; a failure is told in the "Error" box with
    // the file's name, and an earlier file of that name stays as it was.
    bool saveReportAs(const QString& path);
    // Writes every row and column in the sweep CSV format to `path`; a failure
    // is told in the "Error" box.
    bool exportCsv(const QString& path);
    // What "Show" does on a panel: recompresses result `index` under its entry
    // and opens the viewer; the table and chart follow the new figures. On a
    // CSV's row, as told at showCsv().
    void showResult(int index);
    // Whether there are results that no report holds as they stand.
    bool hasUnsavedResults() const { return unsaved; }

public slots:
    void saveAs();
    void exportCsvAs();

protected:
    // Escape, the close button and "Close" all come here: unsaved results
    // are not dropped without the user's word.
    void reject() override;

private:
    void create();
    void showCsvRow(int row);
    // Redraws the views of the tab now shown from the lists.
    void refreshViews();
    // Asks for a name and writes the report; false when nothing was written.
    bool chooseAndSave();
    // True when the window may close: nothing unsaved, or the user saved or
    // discarded it.
    bool confirmClose();

    QGridLayout* layout = nullptr;
    QTabWidget* tabWidget = nullptr;
    ResultList* list = nullptr;
    ResultTableModel* model = nullptr;
    ResultTable* table = nullptr;
    RDChart* chart = nullptr;
    QLabel* summaryLabel = nullptr;
    QAction* reportAction = nullptr;
    std::vector<JPEGSettings>* settingsList = nullptr;
    std::vector<ResultStat>* results = nullptr;
    // Sized once for a run with panels; an empty run's size is not kept.
    bool sized = false;
    bool unsaved = false;
};
