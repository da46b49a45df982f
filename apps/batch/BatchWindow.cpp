// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchWindow.h"

#include "DataFiles.h"
#include "DataIcons.h"
#include "DialogProgress.h"
#include "DownsamplingPairs.h"
#include "FileDrops.h"
#include "FileWrite.h"
#include "HelpWindow.h"
#include "OptimiseTablesDialog.h"
#include "PictureFormats.h"
#include "Preferences.h"
#include "QuantizationChooser.h"
#include "QuantizationTableFiles.h"
#include "RecentFilesMenu.h"
#include "ResultTableModel.h"
#include "ResultsWindow.h"
#include "SettingsExpansion.h"
#include "StandardMenus.h"
#include "SweepCsv.h"
#include "SweepFile.h"
#include "WindowState.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QIcon>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <limits>
#include <new>
#include <stdexcept>

BatchWindow::BatchWindow(QWidget* parent) : QDialog(parent)
{
    create();
}

BatchWindow::~BatchWindow() = default;

namespace {

// A control of the form with its text, object name and tool tip (none when
// null).
template <typename Control>
Control* formControl(QWidget* form, const char* text, const char* name, const char* toolTip)
{
    auto* control = new Control(QLatin1String(text), form);
    control->setObjectName(QLatin1String(name));
    if (toolTip)
        control->setToolTip(QLatin1String(toolTip));
    return control;
}

} // namespace

QCheckBox* BatchWindow::addCheck(const char* text, const char* name, const char* toolTip)
{
    return formControl<QCheckBox>(formWidget, text, name, toolTip);
}

QLineEdit* BatchWindow::addEdit(QGridLayout* layout, int row, const char* label, const char* name,
                                int bottom, int top)
{
    QWidget* group = layout->parentWidget();
    auto* edit = new QLineEdit(group);
    edit->setObjectName(QLatin1String(name));
    edit->setValidator(new QIntValidator(bottom, top, edit));
    edit->setMaximumSize(35, 17);
    layout->addWidget(new QLabel(QLatin1String(label), group), row, 0);
    layout->addWidget(edit, row, 1);
    return edit;
}

void BatchWindow::create()
{
    setWindowTitle(QStringLiteral("Tools"));
    setWindowIcon(DataFiles::icon("pack"));
    // Pictures and folders dropped on the window join the file list.
    setAcceptDrops(true);

    // The form scrolls when the screen is shorter than the form.
    formWidget = new QWidget;
    formWidget->setObjectName(QStringLiteral("batchForm"));
    auto* layout = new QGridLayout(formWidget);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    QScrollArea* formArea = WindowState::scrolling(formWidget);
    formArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    outer->addWidget(formArea);

    setupForm(layout);
    bindForm();
    createMenus(outer);
    setupConnections();
    setupSubWindows();

    // As wide as the form and as tall as the screen lets it be.
    formWidget->adjustSize();
    formArea->setMinimumWidth(formWidget->sizeHint().width() +
                              formArea->verticalScrollBar()->sizeHint().width());
    resize(formArea->minimumWidth(),
           formWidget->sizeHint().height() + outer->menuBar()->sizeHint().height());
    WindowState::keepOnScreen(this);
}

QGroupBox* BatchWindow::addGroup(const char* title, const char* name, const char* toolTip)
{
    return formControl<QGroupBox>(formWidget, title, name, toolTip);
}

void BatchWindow::addChecksTo(QGroupBox* group, std::initializer_list<QCheckBox*> checks)
{
    auto* groupLayout = new QVBoxLayout(group);
    for (QCheckBox* check : checks) {
        check->setParent(group);
        groupLayout->addWidget(check);
    }
}

void BatchWindow::setupForm(QGridLayout* layout)
{
    int row = 0;
    QGroupBox* modeGroup = addGroup("Mode", "modeGroup", nullptr);
    baselineCheck = addCheck("&Baseline", "baselineCheck", nullptr);
    extendedCheck = addCheck("E&xtended", "extendedCheck", nullptr);
    progressiveCheck = addCheck("&Progressive", "progressiveCheck", "Create progressive JPEG");
    nonProgressiveCheck =
        addCheck("&Non-progressive", "nonProgressiveCheck", "Create non-progressive JPEG");
    addChecksTo(modeGroup, {baselineCheck, extendedCheck, progressiveCheck, nonProgressiveCheck});
    layout->addWidget(modeGroup, row++, 0);

    quantizationButton =
        addButton("&Quantization", "quantizationButton", "Customize quantization tables");
    layout->addWidget(quantizationButton, row++, 0);
    downsamplingButton =
        addButton("&Downsampling", "downsamplingButton", "Customize components' downsampling");
    layout->addWidget(downsamplingButton, row++, 0);

    row = setupQualityControls(layout, row);
    row = setupOutputControls(layout, row);

    compressButton = addButton("&Compress", "compressButton", "Start compression");
    compressButton->setDefault(true);
    compressButton->setEnabled(false);
    layout->addWidget(compressButton, row++, 0);

    summaryLabel = new QLabel(formWidget);
    summaryLabel->setObjectName(QStringLiteral("summaryLabel"));
    summaryLabel->setWordWrap(true);
    // Room for three lines, so that a longer summary moves nothing.
    summaryLabel->setMinimumHeight(summaryLabel->fontMetrics().lineSpacing() * 3);
    summaryLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(summaryLabel, row++, 0, 1, -1);
    layout->setRowStretch(row, 1);
}

int BatchWindow::setupQualityControls(QGridLayout* layout, int row)
{
    manualQualityCheck = addCheck("&Manual quality", "manualQualityCheck", nullptr);
    layout->addWidget(manualQualityCheck, row++, 0);

    // Optional: filled, the manual-quality entries sweep the quality that
    // scales their custom tables; empty, they keep a single quality.
    tableQualityGroup = addGroup("Table quality", "tableQualityGroup",
                                 "Quality that scales the custom tables of the manual quality "
                                 "entries; leave empty to keep one quality");
    auto* tableQualityLayout = new QGridLayout(tableQualityGroup);
    addEdit(tableQualityLayout, 0, "minimum", "minTableQualityEdit", 1, 100);
    addEdit(tableQualityLayout, 1, "maximum", "maxTableQualityEdit", 1, 100);
    addEdit(tableQualityLayout, 2, "step", "tableQualityStepEdit", -99, 99);
    layout->addWidget(tableQualityGroup, row++, 0);

    autoQualityCheck =
        addCheck("A&uto quality", "autoQualityCheck", "Enable automatic quality setting");
    layout->addWidget(autoQualityCheck, row++, 0);

    autoQualityGroup = addGroup("Auto quality", "autoQualityGroup", "Set automatic quality value");
    auto* qualityLayout = new QGridLayout(autoQualityGroup);
    addEdit(qualityLayout, 0, "minimum", "minQualityEdit", 1, 100);
    addEdit(qualityLayout, 1, "maximum", "maxQualityEdit", 1, 100);
    addEdit(qualityLayout, 2, "step", "qualityStepEdit", -99, 99);
    layout->addWidget(autoQualityGroup, row++, 0);
    return row;
}

int BatchWindow::setupOutputControls(QGridLayout* layout, int row)
{
    for (QCheckBox* check :
         {addCheck("Optimize &Huffman", "optimizeHuffmanCheck",
                   "Enable Huffman tables optimization"),
          addCheck("Don't op&timize Huffman", "dontOptimizeHuffmanCheck", nullptr),
          addCheck("&Grayscale output", "grayscaleOutputCheck", "Create grayscale JPEG"),
          addCheck("O&riginal output", "colorOutputCheck", nullptr)})
        layout->addWidget(check, row++, 0);

    QGroupBox* dctGroup = addGroup("DCT", "dctGroup", "Choose DCT method");
    addChecksTo(dctGroup,
                {addCheck("int", "dctIntCheck", nullptr), addCheck("fast", "dctFastCheck", nullptr),
                 addCheck("float", "dctFloatCheck", nullptr)});
    layout->addWidget(dctGroup, row++, 0);

    QGroupBox* smoothingGroup = addGroup("Smoothing", "smoothingGroup", "Set smoothing level");
    auto* smoothingLayout = new QGridLayout(smoothingGroup);
    for (QLineEdit* edit : {addEdit(smoothingLayout, 0, "minimum", "minSmoothingEdit", 1, 100),
                            addEdit(smoothingLayout, 1, "maximum", "maxSmoothingEdit", 1, 100),
                            addEdit(smoothingLayout, 2, "step", "smoothingStepEdit", -99, 99)})
        edit->setMaxLength(3);
    layout->addWidget(smoothingGroup, row++, 0);
    return row;
}

QPushButton* BatchWindow::addButton(const char* text, const char* name, const char* toolTip)
{
    return formControl<QPushButton>(formWidget, text, name, toolTip);
}

void BatchWindow::bindForm()
{
    for (const auto& field : BatchForm::checkFields()) {
        auto* check =
            formWidget->findChild<QCheckBox*>(QLatin1String(field.name) + QLatin1String("Check"));
        Q_ASSERT(check);
        checkBindings.push_back({check, field.member});
    }
    for (const auto& field : BatchForm::textFields()) {
        auto* edit =
            formWidget->findChild<QLineEdit*>(QLatin1String(field.name) + QLatin1String("Edit"));
        Q_ASSERT(edit);
        editBindings.push_back({edit, field.member});
    }
}

void BatchWindow::setupConnections()
{
    // Every control is connected once: a check box to the enabled states it
    // governs and to the summary, a field to the summary.
    for (const auto& binding : checkBindings) {
        connect(binding.first, &QCheckBox::toggled, this, &BatchWindow::updateEnabledControls);
        connect(binding.first, &QCheckBox::toggled, this, &BatchWindow::updateSweepSummary);
    }
    for (const auto& binding : editBindings)
        connect(binding.first, &QLineEdit::textChanged, this, &BatchWindow::updateSweepSummary);
    connect(quantizationButton, &QPushButton::clicked, this, &BatchWindow::showQuantizationWindow);
    connect(downsamplingButton, &QPushButton::clicked, this, &BatchWindow::showDownsamplingWindow);
    connect(compressButton, &QPushButton::clicked, this, &BatchWindow::compressImages);
    updateEnabledControls();
}

void BatchWindow::setupSubWindows()
{
    resultsWindow = new ResultsWindow(this);
    resultsWindow->setObjectName(QStringLiteral("resultsWindow"));
    quantizationChooser = std::make_unique<QuantizationChooser>();
    quantizationChooser->setObjectName(QStringLiteral("quantizationChooser"));
    quantizationChooser->installEventFilter(this);

    helpWindow = new HelpWindow(this);
    helpWindow->setObjectName(QStringLiteral("helpWindow"));
    helpWindow->setModal(true);
    helpWindow->setHtml(
        QFile::encodeName(DataFiles::find(QStringLiteral("doc/help2.html"))).toStdString());
    helpWindow->resize(400, 300);

    aboutWindow = new HelpWindow(this);
    aboutWindow->setObjectName(QStringLiteral("aboutWindow"));
    aboutWindow->setWindowTitle(QStringLiteral("About"));
    aboutWindow->setModal(true);
    aboutWindow->setHtml(
        QFile::encodeName(DataFiles::find(QStringLiteral("doc/about.html"))).toStdString());
}

void BatchWindow::updateEnabledControls()
{
    const bool extended = extendedCheck->isChecked();
    progressiveCheck->setEnabled(extended);
    nonProgressiveCheck->setEnabled(extended);
    autoQualityGroup->setEnabled(autoQualityCheck->isChecked());
    tableQualityGroup->setEnabled(manualQualityCheck->isChecked());
}

void BatchWindow::createMenus(QBoxLayout* layout)
{
    // No "Save as": the results are saved from the results window.
    StandardMenus menus(this, layout);
    QMenu* fileMenu = menus.fileMenu();
    StandardMenus::add(fileMenu, StandardMenus::Open, this, &BatchWindow::openFiles);
    auto* recentFilesMenu = new RecentFilesMenu(this);
    fileMenu->addMenu(recentFilesMenu);
    connect(recentFilesMenu, &RecentFilesMenu::fileChosen, this,
            [this](const QString& path) { addFiles({path}); });
    fileMenu->addSeparator();
    const auto add = [this, fileMenu](const char* text, const char* name,
                                      void (BatchWindow::*slot)()) {
        QAction* action = fileMenu->addAction(QString::fromUtf8(text));
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, slot);
    };
    add("Open s&weep\u2026", "openSweepAction", &BatchWindow::openSweepFile);
    add("Save swee&p\u2026", "saveSweepAction", &BatchWindow::saveSweepFile);
    add("Open res&ults\u2026", "openResultsAction", &BatchWindow::openResultsFile);
    add("Optimise &tables\u2026", "optimiseTablesAction", &BatchWindow::showOptimiseTablesDialog);
    fileMenu->addSeparator();
    add("&Reset to defaults", "resetAction", &BatchWindow::resetToDefaults);
    fileMenu->addSeparator();
    StandardMenus::add(fileMenu, StandardMenus::Quit, this, &BatchWindow::quit);

    QMenu* helpMenu = menus.helpMenu();
    StandardMenus::add(helpMenu, StandardMenus::HelpContents, this, &BatchWindow::showHelpWindow);
    StandardMenus::add(helpMenu, StandardMenus::About, this, &BatchWindow::showAboutWindow);
}

void BatchWindow::updateUI()
{
    setFormState(BatchForm::from(settings));
}

void BatchWindow::showError(const QString& message)
{
    QMessageBox::critical(this, QStringLiteral("Error"), message, QMessageBox::Ok);
}

BatchForm BatchWindow::formState() const
{
    BatchForm form;
    for (const auto& binding : checkBindings)
        form.*binding.second = binding.first->isChecked();
    for (const auto& binding : editBindings)
        form.*binding.second = binding.first->text();
    return form;
}

void BatchWindow::setFormState(const BatchForm& form)
{
    for (const auto& binding : checkBindings)
        binding.first->setChecked(form.*binding.second);
    for (const auto& binding : editBindings)
        binding.first->setText(form.*binding.second);
    updateEnabledControls();
    updateSweepSummary();
}

bool BatchWindow::isUIStateValid()
{
    const QString message = formState().check();
    if (message.isEmpty())
        return true;
    showError(message);
    return false;
}

void BatchWindow::updateData()
{
    formState().apply(settings);
}

void BatchWindow::setFiles(const QStringList& names)
{
    files = names;
    compressButton->setEnabled(!files.isEmpty());
    updateSweepSummary();
}

QString BatchWindow::sweepSummary() const
{
    // The form is read into the record the way "Compress" reads it, and the
    // record put back: the form reaches the settings only through a run.
    auto* self = const_cast<BatchWindow*>(this);
    const BatchSettings saved = settings;
    QString summary;
    try {
        self->updateData();
        const long long entries = countBatchEntries(settings);
        const long long compressions = entries * files.size();
        summary =
            QStringLiteral("%1 %2 \u00d7 %3 %4 = %5 %6")
                .arg(entries)
                .arg(entries == 1 ? QStringLiteral("entry") : QStringLiteral("entries"))
                .arg(files.size())
                .arg(files.size() == 1 ? QStringLiteral("picture") : QStringLiteral("pictures"))
                .arg(compressions)
                .arg(compressions == 1 ? QStringLiteral("compression")
                                       : QStringLiteral("compressions"));
        if (secondsPerCompression > 0 && compressions > 0) {
            const double seconds = secondsPerCompression * double(compressions);
            summary +=
                seconds < 90
                    ? QStringLiteral(", about %1\u00a0s").arg(std::max(1.0, seconds), 0, 'f', 0)
                : seconds < 5400
                    ? QStringLiteral(", about %1\u00a0min").arg(seconds / 60, 0, 'f', 0)
                    : QStringLiteral(", about %1\u00a0h").arg(seconds / 3600, 0, 'f', 1);
        }
    } catch (const std::invalid_argument& error) {
        summary = QString::fromUtf8(error.what());
    }
    self->settings = saved;
    return summary;
}

void BatchWindow::updateSweepSummary()
{
    if (summaryLabel)
        summaryLabel->setText(sweepSummary());
}

bool BatchWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == quantizationChooser.get() && event->type() == QEvent::Hide)
        updateSweepSummary();
    return QDialog::eventFilter(watched, event);
}

void BatchWindow::openFiles()
{
    const QStringList names = QFileDialog::getOpenFileNames(
        this, QStringLiteral("Choose images"),
        Preferences::startFolder(Preferences::Folder::Pictures), PictureFormats::openFilter());
    // A cancelled choice changes nothing.
    if (names.isEmpty())
        return;
    Preferences::rememberFolder(Preferences::Folder::Pictures, names.first());
    for (const QString& name : names.mid(0, Preferences::maxRecentFiles))
        Preferences::addRecentFile(name);
    setFiles(names);
}

namespace {

const QString sweepFilter = QStringLiteral("Sweep files (*.sweep *.txt);;All files (*)");

// The tables of a sweep's table file, or an empty list with the reason.
std::vector<QuantizationTable> sweepTables(const QString& option, const QString& path,
                                           QString& error)
{
    std::vector<QuantizationTable> tables;
    if (!QFileInfo(path).isFile())
        error = QStringLiteral("%1: cannot read %2").arg(option, path);
    else if ((tables = readQTables(QFile::encodeName(path).toStdString())).empty())
        error = QStringLiteral("%1: %2 holds no quantization table").arg(option, path);
    return tables;
}

} // namespace

bool BatchWindow::openSweep(const QString& path)
{
    QFile file(path);
    SweepRequest request;
    QString error;
    if (!file.open(QIODevice::ReadOnly))
        error = QStringLiteral("Couldn't read the sweep file %1").arg(path);
    else
        SweepFile::read(file.readAll(), path, request, error);
    // Everything is read before anything changes.
    BatchSettings read;
    if (error.isEmpty() && !request.luminanceTables.isEmpty())
        read.luminanceTables =
            sweepTables(QStringLiteral("luminance-tables"), request.luminanceTables, error);
    if (error.isEmpty() && !request.chrominanceTables.isEmpty())
        read.chrominanceTables =
            sweepTables(QStringLiteral("chrominance-tables"), request.chrominanceTables, error);
    if (error.isEmpty() && !request.samplingPairs.isEmpty() &&
        !DownsamplingPairs::load(request.samplingPairs, read.downsamplingPairs))
        error = QStringLiteral("sampling-pairs: cannot read %1").arg(request.samplingPairs);
    if (!error.isEmpty()) {
        showError(error.toHtmlEscaped());
        return false;
    }
    settings.luminanceTables = read.luminanceTables;
    settings.chrominanceTables = read.chrominanceTables;
    settings.downsamplingPairs = read.downsamplingPairs;
    quantizationChooser->setFileName(0, request.luminanceTables);
    quantizationChooser->setFileName(1, request.chrominanceTables);
    downsamplingFile = request.samplingPairs.isEmpty()
                           ? QString()
                           : QFileInfo(request.samplingPairs).absoluteFilePath();
    sweepFigures = request.figures;
    setFormState(request.form);
    return true;
}

QString BatchWindow::sweepText() const
{
    SweepRequest request;
    request.form = formState();
    request.luminanceTables = quantizationChooser->getFileName(0);
    request.chrominanceTables = quantizationChooser->getFileName(1);
    request.samplingPairs = downsamplingFile;
    request.figures = sweepFigures;
    return SweepFile::write(request);
}

bool BatchWindow::saveSweep(const QString& path)
{
    if (!isUIStateValid())
        return false;
    QString error;
    if (writeFileReplacing(path, sweepText().toUtf8(), &error))
        return true;
    showError(QStringLiteral("Couldn't write the sweep file<br>%1<br>%2")
                  .arg(path.toHtmlEscaped(), error.toHtmlEscaped()));
    return false;
}

void BatchWindow::openSweepFile()
{
    const QString name = QFileDialog::getOpenFileName(
        this, QStringLiteral("Open sweep"), Preferences::startFolder(Preferences::Folder::Tables),
        sweepFilter);
    if (name.isEmpty())
        return;
    Preferences::rememberFolder(Preferences::Folder::Tables, name);
    openSweep(name);
}

void BatchWindow::saveSweepFile()
{
    const QString name =
        QFileDialog::getSaveFileName(this, QStringLiteral("Save sweep"),
                                     QDir(Preferences::startFolder(Preferences::Folder::Tables))
                                         .filePath(QStringLiteral("sweep.txt")),
                                     sweepFilter);
    if (name.isEmpty())
        return;
    Preferences::rememberFolder(Preferences::Folder::Tables, name);
    saveSweep(name);
}

void BatchWindow::openResultsFile()
{
    const QString name =
        QFileDialog::getOpenFileName(this, QStringLiteral("Open results"),
                                     Preferences::startFolder(Preferences::Folder::Reports),
                                     QStringLiteral("CSV files (*.csv);;All files (*)"));
    if (name.isEmpty())
        return;
    Preferences::rememberFolder(Preferences::Folder::Reports, name);
    resultsWindow->showCsv(name);
}

void BatchWindow::addFiles(const QStringList& paths)
{
    QStringList added = files;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir()) {
            added << PictureFormats::picturesIn(info.absoluteFilePath());
        } else if (info.isFile()) {
            added << info.absoluteFilePath();
        }
    }
    added.removeDuplicates();
    setFiles(added);
}

void BatchWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!Preferences::localFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void BatchWindow::dropEvent(QDropEvent* event)
{
    const QStringList paths = Preferences::localFiles(event->mimeData());
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    addFiles(paths);
}

bool BatchWindow::loadDownsamplingPairs(const QString& path)
{
    bool capped = false;
    if (!DownsamplingPairs::load(path, settings.downsamplingPairs, &capped)) {
        updateSweepSummary();
        return false;
    }
    downsamplingFile = QFileInfo(path).absoluteFilePath();
    updateSweepSummary();
    if (capped)
        QMessageBox::warning(this, QStringLiteral("Warning"),
                             QStringLiteral("Only the first %1 sampling pairs of %2 were read.")
                                 .arg(settings.downsamplingPairs.size())
                                 .arg(path)
                                 .toHtmlEscaped());
    return true;
}

void BatchWindow::showDownsamplingWindow()
{
    const QString name = QFileDialog::getOpenFileName(
        this, QStringLiteral("Open table"), Preferences::startFolder(Preferences::Folder::Tables),
        QStringLiteral("Text files (*.txt);;All files (*)"));
    if (name.isEmpty())
        return;
    Preferences::rememberFolder(Preferences::Folder::Tables, name);
    loadDownsamplingPairs(name);
}

namespace {

const QString formKey = QStringLiteral("batch/form/");

} // namespace

void BatchWindow::restoreSettings()
{
    WindowState::restore(this, QStringLiteral("batch"));
    for (const auto& binding : checkBindings) {
        QCheckBox* check = binding.first;
        check->setChecked(
            Preferences::value(formKey + check->objectName(), check->isChecked()).toBool());
    }
    for (const auto& binding : editBindings) {
        QLineEdit* edit = binding.first;
        const QString previous = edit->text();
        edit->setText(Preferences::value(formKey + edit->objectName(), previous).toString());
        // Only what the field would let the user type is taken.
        if (!edit->text().isEmpty() && !edit->hasAcceptableInput())
            edit->setText(previous);
    }
    updateEnabledControls();

    // The table and pair files are read again; one that is gone or no longer
    // holds tables leaves the defaults.
    for (int i = 0; i < 2; ++i) {
        const QString table =
            Preferences::value(QStringLiteral("batch/tableFile%1").arg(i), QString()).toString();
        if (!table.isEmpty() && QFileInfo(table).isFile())
            quantizationChooser->setFileName(i, table);
    }
    if (!quantizationChooser->getFileName(0).isEmpty() ||
        !quantizationChooser->getFileName(1).isEmpty()) {
        BatchSettings read = settings;
        quantizationChooser->setSettings(&read);
        quantizationChooser->updateAndHide();
        if (!read.luminanceTables.empty())
            settings.luminanceTables = read.luminanceTables;
        if (!read.chrominanceTables.empty())
            settings.chrominanceTables = read.chrominanceTables;
        quantizationChooser->setSettings(&settings);
    }
    const QString pairs =
        Preferences::value(QStringLiteral("batch/pairFile"), QString()).toString();
    if (!pairs.isEmpty() && QFileInfo(pairs).isFile())
        loadDownsamplingPairs(pairs);
}

void BatchWindow::saveSettings() const
{
    WindowState::save(this, QStringLiteral("batch"));
    for (const auto& binding : checkBindings)
        Preferences::setValue(formKey + binding.first->objectName(), binding.first->isChecked());
    for (const auto& binding : editBindings)
        Preferences::setValue(formKey + binding.first->objectName(), binding.first->text());
    for (int i = 0; i < 2; ++i) {
        const QString table = quantizationChooser->getFileName(i);
        Preferences::setValue(QStringLiteral("batch/tableFile%1").arg(i),
                              table.isEmpty() ? QString() : QFileInfo(table).absoluteFilePath());
    }
    Preferences::setValue(QStringLiteral("batch/pairFile"), downsamplingFile);
}

void BatchWindow::resetToDefaults()
{
    Preferences::resetToDefaults();
    settings = BatchSettings();
    downsamplingFile.clear();
    quantizationChooser->setFileName(0, QString());
    quantizationChooser->setFileName(1, QString());
    updateUI();
}

void BatchWindow::showQuantizationWindow()
{
    quantizationChooser->setSettings(&settings);
    quantizationChooser->show();
}

void BatchWindow::showOptimiseTablesDialog()
{
    if (!optimiseTablesDialog) {
        optimiseTablesDialog = new OptimiseTablesDialog(this);
        optimiseTablesDialog->setObjectName(QStringLiteral("optimiseTablesDialog"));
    }
    if (!optimiseTablesDialog->isRunning())
        optimiseTablesDialog->setPictures(files);
    optimiseTablesDialog->show();
    optimiseTablesDialog->raise();
}

void BatchWindow::showHelpWindow()
{
    helpWindow->show();
}

void BatchWindow::showAboutWindow()
{
    aboutWindow->show();
}

void BatchWindow::quit()
{
    QCoreApplication::quit();
}

void BatchWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    QCoreApplication::quit();
}

void BatchWindow::reject()
{
    close();
}

void BatchWindow::compressImages()
{
    // The run lets the event loop turn around each step; a second press
    // arriving then must not start a run inside the run.
    if (running)
        return;
    if (!isUIStateValid())
        return;
    try {
        updateData();
    } catch (const std::invalid_argument& error) {
        showError(QString::fromUtf8(error.what()));
        return;
    }
    const QString refusal = whyNothingToDo();
    if (!refusal.isEmpty()) {
        showError(refusal);
        return;
    }
    try {
        doCompress();
    } catch (const std::bad_alloc&) {
        running = false;
        delete findChild<QProgressDialog*>(QStringLiteral("progressDialog"));
        showError(QStringLiteral("Not enough memory to run the batch of %1 pictures.<br>"
                                 "Choose fewer pictures or a smaller sweep.")
                      .arg(files.size()));
    }
}

QString BatchWindow::whyNothingToDo() const
{
    if (files.isEmpty())
        return QStringLiteral("There is nothing to compress: no pictures are chosen.<br>"
                              "Choose them with File, Open.");
    // Counted, not built: a sweep too large to hold is refused before it
    // takes the memory.
    const std::uint64_t entries =
        expansionSize(settings, std::numeric_limits<std::uint64_t>::max() - 1);
    if (entries > MAX_ENTRIES) {
        const std::uint64_t pairs = settings.downsamplingPairs.size();
        const std::uint64_t tables =
            std::uint64_t(settings.luminanceTables.size()) * settings.chrominanceTables.size();
        return QStringLiteral("The sweep would make %1 settings entries, more than the %2 a run "
                              "can take<br>(%3 down-sampling pairs, %4 table pairs, %5 entries "
                              "for each).<br>Narrow the sweep.")
            .arg(entries > std::numeric_limits<std::uint64_t>::max() - 1
                     ? QStringLiteral("too many")
                     : QString::number(entries))
            .arg(MAX_ENTRIES)
            .arg(pairs)
            .arg(tables)
            .arg(entries / std::max<std::uint64_t>(1, pairs * tables));
    }
    if (entries > 0)
        return QString();
    QStringList empty;
    if (settings.downsamplingPairs.empty())
        empty << QStringLiteral("- the down-sampling pairs (Downsampling)");
    if (settings.luminanceTables.empty())
        empty << QStringLiteral("- the luminance quantization tables (Quantization)");
    if (settings.chrominanceTables.empty())
        empty << QStringLiteral("- the chrominance quantization tables (Quantization)");
    return QStringLiteral("There is nothing to compress: the sweep makes no settings "
                          "entries.<br>%1")
        .arg(empty.isEmpty() ? QStringLiteral("Check the form.")
                             : QStringLiteral("These lists are empty:<br>") +
                                   empty.join(QStringLiteral("<br>")));
}

void BatchWindow::doCompress()
{
    running = true;
    auto* dialog = new QProgressDialog(QStringLiteral("Creating settings"),
                                       QStringLiteral("Cancel"), 0, 1000, this);
    dialog->setObjectName(QStringLiteral("progressDialog"));
    // While the run turns the event loop, the form and its buttons stay
    // blocked.
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setMinimumDuration(5);
    dialog->setAutoClose(false);
    dialog->setAutoReset(true);

    // The run works on copies: the table pair chooser is not modal and may
    // replace the table lists while the expansion walks them.
    BatchSettings sweep = settings;
    const QStringList runFiles = files;
    DialogProgress progress(dialog);
    std::vector<JPEGSettings> settingsList = expandBatchSettings(sweep, &progress);

    // The reset also forgets a Cancel of the first phase: what was expanded
    // until then is compressed.
    dialog->reset();
    dialog->setLabelText(QStringLiteral("Compressing files"));
    dialog->setAutoReset(false);
    dialog->setAutoClose(true);
    const qint64 steps = qint64(runFiles.size()) * qint64(settingsList.size());
    dialog->setMaximum(int(std::min<qint64>(steps, INT_MAX)));

    QElapsedTimer clock;
    clock.start();
    std::vector<ResultStat> results = batchCompressor.compress(runFiles, settingsList, &progress);
    if (!results.empty())
        secondsPerCompression = double(clock.elapsed()) / 1000.0 / double(results.size());
    updateSweepSummary();

    dialog->setValue(int(std::min<std::size_t>(results.size(), INT_MAX)));
    dialog->close();
    delete dialog;

    // The table files' tables are named after the files, as tessera-sweep
    // names them.
    SweepCsv::TableNames tableNames;
    const std::vector<QuantizationTable>* lists[2] = {&sweep.luminanceTables,
                                                      &sweep.chrominanceTables};
    for (int slot = 0; slot < 2; ++slot) {
        const QString file = quantizationChooser->getFileName(slot);
        if (file.isEmpty())
            continue;
        tableNames.tables[slot] = *lists[slot];
        tableNames.names[slot] = SweepCsv::fileTableNames(file, lists[slot]->size());
    }
    resultsWindow->tableModel()->setTableNames(std::move(tableNames));

    const RunSummary summary = batchCompressor.summary();
    resultsWindow->show(&settingsList, &results, &summary);
    running = false;
}
