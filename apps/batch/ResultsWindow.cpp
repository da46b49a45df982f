// SPDX-License-Identifier: GPL-3.0-or-later
#include "ResultsWindow.h"

#include "CompressionResult.h"
#include "CsvEntry.h"
#include "CsvReader.h"
#include "DataIcons.h"
#include "FileWrite.h"
#include "Preferences.h"
#include "RDChart.h"
#include "Report.h"
#include "ResultList.h"
#include "ResultTable.h"
#include "ResultTableModel.h"
#include "ResultWidget.h"
#include "RunSummary.h"
#include "StandardMenus.h"
#include "WindowState.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QTabWidget>
#include <QTableView>

#include <memory>
#include <optional>

ResultsWindow::ResultsWindow(QWidget* parent)
    : QDialog(parent, Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)
{
    create();
}

void ResultsWindow::create()
{
    setWindowTitle(QStringLiteral("Results"));
    setWindowIcon(DataFiles::icon("pack"));
    setModal(true);
    layout = new QGridLayout(this);

    StandardMenus menus(this, layout);
    QMenu* fileMenu = menus.fileMenu();
    reportAction =
        StandardMenus::add(fileMenu, StandardMenus::SaveAs, this, &ResultsWindow::saveAs);
    QAction* exportAction = fileMenu->addAction(QStringLiteral("Export CSV"));
    exportAction->setObjectName(QStringLiteral("exportCsvAction"));
    connect(exportAction, &QAction::triggered, this, &ResultsWindow::exportCsvAs);
    fileMenu->addSeparator();
    StandardMenus::add(fileMenu, StandardMenus::Close, this, &ResultsWindow::close);

    summaryLabel = new QLabel(this);
    summaryLabel->setObjectName(QStringLiteral("summaryLabel"));
    summaryLabel->setTextFormat(Qt::PlainText);
    summaryLabel->setWordWrap(true);
    summaryLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    summaryLabel->hide();
    layout->addWidget(summaryLabel, 0, 0);

    tabWidget = new QTabWidget(this);
    tabWidget->setObjectName(QStringLiteral("resultTabs"));
    layout->addWidget(tabWidget, 1, 0);
    layout->setRowStretch(1, 1);
    model = new ResultTableModel(this);
    table = new ResultTable(model, tabWidget);
    table->setObjectName(QStringLiteral("tableTab"));
    chart = new RDChart(model, tabWidget);
    chart->setObjectName(QStringLiteral("chartTab"));
    // The chart shows the rows the table's filters leave.
    chart->setRowFilter([this](int row) { return table->filterModel()->accepts(row); });
    tabWidget->addTab(table, QStringLiteral("Table"));
    tabWidget->addTab(chart, QStringLiteral("Chart"));
    connect(table, &ResultTable::showRequested, this, &ResultsWindow::showResult);
    connect(chart, &RDChart::rowClicked, this, [this](int row) {
        tabWidget->setCurrentWidget(table);
        table->selectRow(row);
    });
    connect(tabWidget, &QTabWidget::currentChanged, this, &ResultsWindow::refreshViews);
}

void ResultsWindow::show(std::vector<JPEGSettings>* settings, std::vector<ResultStat>* runResults,
                         const RunSummary* summary)
{
    delete list;
    settingsList = settings;
    results = runResults;

    summaryLabel->setText(summary ? summary->text() : QString());
    summaryLabel->setVisible(summary != nullptr);
    list = new ResultList(tabWidget);
    list->setObjectName(QStringLiteral("resultList"));
    {
        const QSignalBlocker block(tabWidget);
        tabWidget->insertTab(0, list, QStringLiteral("Panels"));
        tabWidget->setCurrentIndex(0);
    }
    list->setResults(settings, runResults, &model->getTableNames());
    connect(list, &ResultList::resultChanged, this, [this] { unsaved = true; });
    unsaved = list->count() > 0;
    model->setResults(settings, runResults);
    table->chooseDefaultColumns();
    // The chart is drawn when its tab is first shown.

    // A window wide enough for whole panels, and never smaller than that of
    // an empty run: as wide as the screen when the panels need it, so that a
    // laptop's screen shows them whole, and a tenth of its height left free.
    // Once sized for panels, later runs keep the size the user gave it.
    QSize size = sizeHint().expandedTo(minimumSizeHint());
    if (const QScreen* screen = this->screen()) {
        const QSize available = screen->availableSize();
        size = size.boundedTo(QSize(available.width(), available.height() * 9 / 10));
    }
    if (!sized) {
        resize(size);
        WindowState::keepOnScreen(this);
    } else
        resize(this->size().expandedTo(minimumSizeHint()));
    sized = sized || list->count() > 0;
    exec();

    // The run frees both lists as soon as this returns.
    model->setResults(nullptr, nullptr);
    chart->rebuild();
    list->clear();
    settingsList = nullptr;
    results = nullptr;
    unsaved = false;
}

bool ResultsWindow::loadCsv(const QString& path)
{
    QString error;
    std::optional<CsvTable> read = CsvTable::read(path, &error);
    for (const QString& name : {SweepColumns::picture, SweepColumns::bpp})
        if (read && read->column(name) < 0)
            error = QStringLiteral("There is no \"%1\" column: not a sweep table.").arg(name);
    if (!error.isEmpty() || !read) {
        QMessageBox::critical(this, QStringLiteral("Error"),
                              QStringLiteral("Couldn't open the results<br>%1<br>%2")
                                  .arg(path.toHtmlEscaped(), error.toHtmlEscaped()),
                              QMessageBox::Ok);
        return false;
    }
    delete list;
    list = nullptr;
    const int rows = read->count();
    table->setCsvFolder(QFileInfo(path).absolutePath());
    model->setCsv(std::make_shared<const CsvTable>(std::move(*read)));
    table->chooseDefaultColumns();
    tabWidget->setCurrentWidget(table);
    summaryLabel->setText(QStringLiteral("%1 %2 read from %3")
                              .arg(rows)
                              .arg(rows == 1 ? QStringLiteral("result") : QStringLiteral("results"))
                              .arg(QDir::toNativeSeparators(path)));
    summaryLabel->show();
    // The report is made from a run's records, which a CSV does not hold.
    reportAction->setEnabled(false);
    unsaved = false;
    // Room for the table's columns and the chart, unless a run sized it.
    if (const QScreen* screen = this->screen(); screen && !sized)
        resize(screen->availableSize() * 4 / 5);
    return true;
}

bool ResultsWindow::showCsv(const QString& path)
{
    if (!loadCsv(path))
        return false;
    exec();
    model->setCsv(nullptr);
    chart->rebuild();
    reportAction->setEnabled(true);
    return true;
}

int ResultsWindow::panelCount() const
{
    return list ? list->count() : 0;
}

ResultWidget* ResultsWindow::panel(int index)
{
    return list ? list->panel(index) : nullptr;
}

QByteArray ResultsWindow::reportText() const
{
    if (!settingsList || !results)
        return Report::header();
    return Report::text(*settingsList, *results);
}

bool ResultsWindow::saveReportAs(const QString& path)
{
    QString error;
    if (Report::write(path, reportText(), &error)) {
        unsaved = false;
        return true;
    }
    QMessageBox::critical(this, QStringLiteral("Error"),
                          QStringLiteral("Couldn't write the report<br>%1<br>%2")
                              .arg(path.toHtmlEscaped(), error.toHtmlEscaped()),
                          QMessageBox::Ok);
    return false;
}

void ResultsWindow::saveAs()
{
    chooseAndSave();
}

bool ResultsWindow::chooseAndSave()
{
    const QString name = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save as"), Preferences::startFolder(Preferences::Folder::Reports),
        QStringLiteral("Text files (*.txt);;All files (*)"));
    if (name.isEmpty())
        return false;
    Preferences::rememberFolder(Preferences::Folder::Reports, name);
    return saveReportAs(QFileInfo(name).suffix().isEmpty() ? name + QStringLiteral(".txt") : name);
}

bool ResultsWindow::confirmClose()
{
    if (!unsaved)
        return true;
    QMessageBox box(QMessageBox::Question, QStringLiteral("Unsaved results"),
                    QStringLiteral("These results have not been saved to a report since "
                                   "their last change.<br>Save them before closing?"),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Save:
        return chooseAndSave();
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}

void ResultsWindow::reject()
{
    if (confirmClose())
        QDialog::reject();
}

void ResultsWindow::showResult(int index)
{
    if (model->showsCsv())
        showCsvRow(index);
    else if (ResultWidget* panel = this->panel(index))
        panel->showImage();
    refreshViews();
}

void ResultsWindow::showCsvRow(int row)
{
    CsvEntry::Entry entry = table->csvEntry(row);
    const QString title = QStringLiteral("Show row %1").arg(row + 1);
    if (!entry.problem.isEmpty()) {
        QMessageBox::information(this, title,
                                 QStringLiteral("Row %1 cannot be compressed again:<br>%2.")
                                     .arg(row + 1)
                                     .arg(entry.problem.toHtmlEscaped()),
                                 QMessageBox::Ok);
        return;
    }
    // The panel's compression and viewer, on a copy of the row's entry; a
    // picture that no longer loads is told there.
    ResultStat stat;
    stat.fileName = entry.picture;
    ResultWidget panel(&stat, &entry.settings, this);
    panel.hide();
    panel.showImageIf([&](const CompressionResult& result) {
        const qint64 size = qint64(result.getCompressedSize());
        if (entry.jpegBytes < 0 || size == entry.jpegBytes)
            return true;
        const auto answer = QMessageBox::warning(
            this, title,
            QStringLiteral("The settings of row %1 now give %2 bytes where the run wrote %3: "
                           "the picture changed since, or the row's entry held what the CSV "
                           "does not (a third quantization table). Show this compression?")
                .arg(row + 1)
                .arg(size)
                .arg(entry.jpegBytes),
            QMessageBox::Yes | QMessageBox::No);
        return answer == QMessageBox::Yes;
    });
}

void ResultsWindow::refreshViews()
{
    model->refresh();
    if (tabWidget->currentWidget() == chart)
        chart->rebuild();
}

bool ResultsWindow::exportCsv(const QString& path)
{
    QString error;
    if (writeFileReplacing(path, model->fileText(), &error))
        return true;
    QMessageBox::critical(this, QStringLiteral("Error"),
                          QStringLiteral("Couldn't write the CSV file<br>%1<br>%2")
                              .arg(path.toHtmlEscaped(), error.toHtmlEscaped()),
                          QMessageBox::Ok);
    return false;
}

void ResultsWindow::exportCsvAs()
{
    const QString name =
        QFileDialog::getSaveFileName(this, QStringLiteral("Export CSV"),
                                     QDir(Preferences::startFolder(Preferences::Folder::Reports))
                                         .filePath(QStringLiteral("results.csv")),
                                     QStringLiteral("*.csv"));
    if (name.isEmpty())
        return;
    Preferences::rememberFolder(Preferences::Folder::Reports, name);
    exportCsv(name);
}
