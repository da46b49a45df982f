#pragma once

#include "CompressionResult.h"
#include "JPEGSettings.h"

#include <QDialog>

#include <vector>

class QGridLayout;
class QLabel;
class ResultList;
class ResultWidget;
class RunSummary;

// The outcome of a batch run: one result panel per successful compression in
// a scrolled list, and the tab-separated report. The batch window makes one
// and reuses it for every run; show() blocks until the user closes it.
//
// The report is written from the two lists, which the panels edit in place,
// so it always reflects the panels, including those the list has not built.
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

    int panelCount() const;
    // The panel of result `index`, scrolled into view; null out of range.
    ResultWidget* panel(int index);
    ResultList* resultList() const { return list; }

    // The report of the results as they stand now.
    QByteArray reportText() const;
    // Writes the report to `path`; a failure is told in the "Error" box with
    // the file's name, and an earlier file of that name stays as it was.
    bool saveReportAs(const QString& path);
    // Whether there are results that no report holds as they stand.
    bool hasUnsavedResults() const { return unsaved; }

public slots:
    void saveAs();

protected:
    // Escape, the close button and "Close" all come here: unsaved results
    // are not dropped without the user's word.
    void reject() override;

private:
    void create();
    // Asks for a name and writes the report; false when nothing was written.
    bool chooseAndSave();
    // True when the window may close: nothing unsaved, or the user saved or
    // discarded it.
    bool confirmClose();

    QGridLayout* layout = nullptr;
    ResultList* list = nullptr;
    QLabel* summaryLabel = nullptr;
    std::vector<JPEGSettings>* settingsList = nullptr;
    std::vector<ResultStat>* results = nullptr;
    // Sized once for a run with panels; an empty run's size is not kept.
    bool sized = false;
    bool unsaved = false;
};
