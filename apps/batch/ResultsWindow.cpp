#include "ResultsWindow.h"

#include "Report.h"
#include "ResultList.h"
#include "ResultWidget.h"

#include <QAction>
#include <QFileDialog>
#include <QGridLayout>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>

ResultsWindow::ResultsWindow(QWidget* parent)
    : QDialog(parent, Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)
{
    create();
}

void ResultsWindow::create()
{
    setWindowTitle(QStringLiteral("Results"));
    setWindowIcon(QIcon(QStringLiteral("./img/pack.png")));
    setModal(true);
    layout = new QGridLayout(this);

    auto* menuBar = new QMenuBar(this);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    QMenu* fileMenu = menuBar->addMenu(QStringLiteral("File"));
    fileMenu->setObjectName(QStringLiteral("fileMenu"));
    QAction* saveAsAction = fileMenu->addAction(QStringLiteral("Save as"));
    saveAsAction->setObjectName(QStringLiteral("saveAsAction"));
    connect(saveAsAction, &QAction::triggered, this, &ResultsWindow::saveAs);
    layout->setMenuBar(menuBar);
}

void ResultsWindow::show(std::vector<JPEGSettings>* settings, std::vector<ResultStat>* runResults)
{
    delete list;
    settingsList = settings;
    results = runResults;

    list = new ResultList(this);
    list->setObjectName(QStringLiteral("resultList"));
    layout->addWidget(list, 0, 0);
    list->setResults(settings, runResults);
    if (!sized) {
        // A window wide enough for whole panels; later runs keep the size the
        // user gave it.
        QSize size = sizeHint();
        if (const QScreen* screen = this->screen())
            size = size.boundedTo(screen->availableSize() * 9 / 10);
        resize(size);
        sized = true;
    }
    exec();

    // The run frees both lists as soon as this returns.
    list->clear();
    settingsList = nullptr;
    results = nullptr;
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
    if (Report::write(path, reportText(), &error))
        return true;
    QMessageBox::critical(this, QStringLiteral("Error"),
                          QStringLiteral("Couldn't write the report<br>%1<br>%2")
                              .arg(path.toHtmlEscaped(), error.toHtmlEscaped()),
                          QMessageBox::Ok);
    return false;
}

void ResultsWindow::saveAs()
{
    const QString name = QFileDialog::getSaveFileName(this, QStringLiteral("Save as"),
                                                      QStringLiteral("."), QStringLiteral("*.txt"));
    if (name.isEmpty())
        return;
    saveReportAs(name);
}
