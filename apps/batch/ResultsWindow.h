#pragma once

#include "CompressionResult.h"
#include "JPEGSettings.h"

#include <QDialog>

#include <vector>

class QGridLayout;
class ResultList;
class ResultWidget;

// The outcome of a batch run: one result panel per successful compression in
// a scrolled list, and the tab-separated report. The batch window makes one
// and reuses it for every run; show() blocks until the user closes it.
//
// The report is written from the two lists, which the panels edit in place,
// so it always reflects the panels, including those the list has not built.
class ResultsWindow : public QDialog
{
    Q_OBJECT

public:
    explicit ResultsWindow(QWidget* parent);

    // Lists the run's results and runs the window modally. The two lists are
    // aligned entry for entry; the panels edit them in place, so they must
    // stay where they are, unchanged in size, until show() returns.
    void show(std::vector<JPEGSettings>* settings, std::vector<ResultStat>* runResults);
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

public slots:
    void saveAs();

private:
    void create();

    QGridLayout* layout = nullptr;
    ResultList* list = nullptr;
    std::vector<JPEGSettings>* settingsList = nullptr;
    std::vector<ResultStat>* results = nullptr;
    bool sized = false;
};
