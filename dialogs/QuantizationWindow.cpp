// SPDX-License-Identifier: GPL-3.0-or-later
#include "QuantizationWindow.h"

#include "DataIcons.h"
#include "FileDrops.h"
#include "JPEGSettings.h"
#include "Preferences.h"
#include "TableModel.h"
#include "TableNames.h"
#include "TableWidget.h"

#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr unsigned GRID_SIZE = 8;
constexpr int INTERACTIVE_TOP = 300;
constexpr int BATCH_TOP = 999;

const char* const checkLabels[QuantizationWindow::QTABLES] = {"Luminance", "Chrominance", "Third",
                                                              "Fourth"};

// Slots the batch tool shows; the others are built but never placed.
constexpr unsigned BATCH_VISIBLE_SLOTS = 2;

// Effective entries reach five digits in extended coding.
constexpr int EFFECTIVE_CELL_WIDTH = 44;

const char* const plainTableFilter = "Table (*.txt)";
const char* const commentedTableFilter = "Table with comments (*.txt)";

} // namespace

QuantizationWindow::QuantizationWindow(JPEGSettings& settings, QWidget* parent)
    : QuantizationWindow(&settings, Variant::Interactive, parent)
{
}

QuantizationWindow::QuantizationWindow(QWidget* parent)
    : QuantizationWindow(nullptr, Variant::Batch, parent)
{
}

QuantizationWindow::QuantizationWindow(JPEGSettings* settings, Variant variant, QWidget* parent)
    : QDialog(parent), settings(settings), programVariant(variant)
{
    create();
    setModal(true);
}

QuantizationWindow::~QuantizationWindow() = default;

void QuantizationWindow::create()
{
    setWindowTitle(QStringLiteral("Quantization"));
    setAcceptDrops(true);
    setWindowIcon(DataFiles::icon("pack"));

    validator = new QIntValidator(
        1, programVariant == Variant::Interactive ? INTERACTIVE_TOP : BATCH_TOP, this);
    model = std::make_unique<IntTableModel>(GRID_SIZE, GRID_SIZE, qtables[0].data(), QTABLE_SIZE);

    auto* layout = new QGridLayout(this);
    createMenus();
    QGroupBox* currentGroup = createCurrentGroup();
    createEffectiveGroup();
    QGroupBox* tablesGroup = createTablesGroup();
    layout->addWidget(currentGroup, 0, 0);
    layout->addWidget(effectiveGroup, 0, 1);
    layout->addWidget(tablesGroup, 0, 2);
    layout->addLayout(createButtonRow(), 1, 0, 1, 3);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QGroupBox* QuantizationWindow::createCurrentGroup()
{
    auto* currentGroup = new QGroupBox(QStringLiteral("Current quantization table"), this);
    auto* currentLayout = new QGridLayout(currentGroup);
    quantizationTable = new SimpleTableWidget(model.get(), validator);
    quantizationTable->setObjectName(QStringLiteral("quantizationTable"));
    currentLayout->addWidget(quantizationTable, 0, 0, 1, 5);
    auto* setButton = new QPushButton(QStringLiteral("&Set"));
    setButton->setObjectName(QStringLiteral("setButton"));
    currentLayout->addWidget(setButton, 1, 3, 1, 2);
    connect(setButton, &QPushButton::clicked, this, &QuantizationWindow::setActiveTable);
    return currentGroup;
}

void QuantizationWindow::createEffectiveGroup()
{
    effectiveGroup = new QGroupBox(this);
    effectiveGroup->setObjectName(QStringLiteral("effectiveGroup"));
    auto* effectiveLayout = new QVBoxLayout(effectiveGroup);
    effectiveModel = std::make_unique<IntTableModel>(GRID_SIZE, GRID_SIZE, nullptr, 0);
    effectiveGrid = new SimpleTableWidget(effectiveModel.get(), nullptr);
    effectiveGrid->setObjectName(QStringLiteral("effectiveTable"));
    effectiveGrid->setReadOnly(true);
    effectiveGrid->setCellWidth(EFFECTIVE_CELL_WIDTH);
    effectiveGrid->setToolTip(
        QStringLiteral("The table written into the JPEG file: the entered table scaled by the "
                       "quality and limited to the range of the coding mode"));
    effectiveLayout->addWidget(effectiveGrid);
    effectiveNote = new QLabel(effectiveGroup);
    effectiveNote->setObjectName(QStringLiteral("effectiveNote"));
    effectiveNote->setWordWrap(true);
    effectiveNote->setFixedWidth(EFFECTIVE_CELL_WIDTH * int(GRID_SIZE));
    effectiveLayout->addWidget(effectiveNote);
    effectiveLayout->addStretch();
    connect(quantizationTable, &SimpleTableWidget::valuesChanged, this,
            &QuantizationWindow::updateEffectiveTable);
}

QGroupBox* QuantizationWindow::createTablesGroup()
{
    auto* tablesGroup = new QGroupBox(QStringLiteral("Tables"), this);
    auto* tablesLayout = new QGridLayout(tablesGroup);
    const unsigned placed = programVariant == Variant::Interactive ? QTABLES : BATCH_VISIBLE_SLOTS;
    for (unsigned i = 0; i < QTABLES; ++i) {
        auto* check = new QCheckBox(QString::fromLatin1(checkLabels[i]), tablesGroup);
        check->setObjectName(QStringLiteral("tableCheck%1").arg(i));
        auto* button = new QPushButton(tablesGroup);
        button->setObjectName(QStringLiteral("tableButton%1").arg(i));
        button->setIcon(DataFiles::icon("grid"));
        button->setCheckable(true);
        button->setAutoExclusive(true);
        if (i < placed) {
            tablesLayout->addWidget(check, int(i), 0);
            tablesLayout->addWidget(button, int(i), 1);
        } else {
            // Built so the slot's flag and table pass through, but not shown.
            check->hide();
            button->hide();
        }
        connect(button, &QPushButton::toggled, this, &QuantizationWindow::loadActiveTable);
        connect(check, &QCheckBox::toggled, this, &QuantizationWindow::setTableButtons);
        connect(check, &QCheckBox::toggled, this, &QuantizationWindow::updateEffectiveTable);
        tableChecks[i] = check;
        tableButtons[i] = button;
    }
    tablesLayout->setRowStretch(int(placed), 1);
    return tablesGroup;
}

QHBoxLayout* QuantizationWindow::createButtonRow()
{
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    auto* okButton = new QPushButton(QStringLiteral("&Ok"));
    okButton->setObjectName(QStringLiteral("okButton"));
    auto* cancelButton = new QPushButton(QStringLiteral("&Cancel"));
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    buttonRow->addWidget(okButton);
    buttonRow->addWidget(cancelButton);
    connect(okButton, &QPushButton::clicked, this, &QuantizationWindow::updateDataAndHide);
    connect(cancelButton, &QPushButton::clicked, this, &QWidget::hide);
    return buttonRow;
}

void QuantizationWindow::createMenus()
{
    auto* menuBar = new QMenuBar(this);
    layout()->setMenuBar(menuBar);

    QMenu* fileMenu = menuBar->addMenu(QStringLiteral("&File"));
    fileMenu->setObjectName(QStringLiteral("fileMenu"));
    fileMenu->addSeparator();
    QAction* exitAction = fileMenu->addAction(QStringLiteral("E&xit"));
    exitAction->setObjectName(QStringLiteral("exitAction"));
    connect(exitAction, &QAction::triggered, this, &QWidget::close);

    QMenu* tableMenu = menuBar->addMenu(QStringLiteral("&Table"));
    tableMenu->setObjectName(QStringLiteral("tableMenu"));
    QAction* openAction = tableMenu->addAction(QStringLiteral("&Open"));
    openAction->setObjectName(QStringLiteral("openAction"));
    connect(openAction, &QAction::triggered, this,
            qOverload<>(&QuantizationWindow::loadTableFromFile));
    QAction* saveAction = tableMenu->addAction(QStringLiteral("&Save"));
    saveAction->setObjectName(QStringLiteral("saveAction"));
    connect(saveAction, &QAction::triggered, this,
            qOverload<>(&QuantizationWindow::saveTableToFile));

    QMenu* presetMenu = tableMenu->addMenu(QStringLiteral("&Preset"));
    presetMenu->setObjectName(QStringLiteral("presetMenu"));
    auto addPreset = [&](const QString& text, void (QuantizationWindow::*slot)()) {
        QAction* action = presetMenu->addAction(text);
        action->setObjectName(QStringLiteral("preset ") + text);
        connect(action, &QAction::triggered, this, slot);
    };

    if (programVariant == Variant::Interactive) {
        addPreset(TableNames::name(QuantizationTable(annexKLuminance)),
                  &QuantizationWindow::loadLuminancePreset);
        addPreset(TableNames::name(QuantizationTable(annexKChrominance)),
                  &QuantizationWindow::loadChrominancePreset);
        return;
    }

    using Slot = void (QuantizationWindow::*)();
    const Slot luminance[] = {
        &QuantizationWindow::loadLuminance0Preset, &QuantizationWindow::loadLuminance1Preset,
        &QuantizationWindow::loadLuminance2Preset, &QuantizationWindow::loadLuminance3Preset,
        &QuantizationWindow::loadLuminance4Preset, &QuantizationWindow::loadLuminance5Preset,
        &QuantizationWindow::loadLuminance6Preset, &QuantizationWindow::loadLuminance7Preset,
        &QuantizationWindow::loadLuminance8Preset};
    const Slot chrominance[] = {
        &QuantizationWindow::loadChrominance0Preset, &QuantizationWindow::loadChrominance1Preset,
        &QuantizationWindow::loadChrominance2Preset, &QuantizationWindow::loadChrominance3Preset,
        &QuantizationWindow::loadChrominance4Preset, &QuantizationWindow::loadChrominance5Preset,
        &QuantizationWindow::loadChrominance6Preset, &QuantizationWindow::loadChrominance7Preset,
        &QuantizationWindow::loadChrominance8Preset};
    const int half = JPEGSettings::PRESET_COUNT / 2;
    for (int i = 0; i < half; ++i)
        addPreset(TableNames::presetName(i), luminance[i]);
    for (int i = 0; i < half; ++i)
        addPreset(TableNames::presetName(half + i), chrominance[i]);
}

void QuantizationWindow::setVisible(bool visible)
{
    if (visible && !isVisible() && settings)
        updateUI();
    QDialog::setVisible(visible);
}

void QuantizationWindow::updateUI()
{
    if (!settings)
        return;
    const unsigned n = unsigned(std::max(0, settings->getMaxQuantizationTables()));
    const bool* flags = settings->getCurrentQuantizationTables();
    for (unsigned i = 0; i < QTABLES; ++i) {
        tableChecks[i]->setChecked(flags[i] && i < n);
        tableChecks[i]->setEnabled(i < n);
    }

    loadTables();

    int active = -1;
    for (unsigned i = 0; i < QTABLES && i < n; ++i)
        if (tableChecks[i]->isChecked()) {
            active = int(i);
            break;
        }
    // With no slot checked the editor still opens on a table: the first slot's.
    if (active < 0 && n > 0)
        active = 0;
    checkTableButton(active);
    // The button may have been checked already, in which case it sends no
    // toggle; the grid must still show the freshly loaded working copy.
    if (active >= 0)
        loadActiveTable(true);

    setTableButtons(true);
}

void QuantizationWindow::checkTableButton(int slot)
{
    if (slot >= 0) {
        tableButtons[slot]->setChecked(true);
        return;
    }
    // Auto-exclusive buttons refuse to uncheck the last checked one.
    for (QPushButton* button : tableButtons) {
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(true);
    }
}

void QuantizationWindow::updateData()
{
    if (!settings)
        return;
    bool* flags = settings->getCurrentQuantizationTables();
    for (unsigned i = 0; i < QTABLES; ++i)
        flags[i] = tableChecks[i]->isEnabled() && tableChecks[i]->isChecked();
    saveTables();
}

void QuantizationWindow::loadTables()
{
    if (!settings)
        return;
    for (unsigned i = 0; i < QTABLES; ++i)
        for (unsigned k = 0; k < QTABLE_SIZE; ++k)
            qtables[i][k] = static_cast<short>(settings->qtables[i][k]);
}

void QuantizationWindow::saveTables()
{
    if (!settings)
        return;
    const bool* flags = settings->getCurrentQuantizationTables();
    for (unsigned i = 0; i < QTABLES; ++i) {
        if (!flags[i])
            continue;
        for (unsigned k = 0; k < QTABLE_SIZE; ++k)
            settings->qtables[i][k] = static_cast<unsigned int>(int(qtables[i][k]));
    }
}

bool QuantizationWindow::hasActiveTable() const
{
    for (const QPushButton* button : tableButtons)
        if (button->isChecked())
            return true;
    return false;
}

unsigned QuantizationWindow::getActiveTableIndex() const
{
    for (unsigned i = 0; i < QTABLES; ++i)
        if (tableButtons[i]->isChecked())
            return i;
    return 0;
}

void QuantizationWindow::updateEditables(bool) {}

void QuantizationWindow::updateDataAndHide()
{
    // Typed values must not vanish because "Set" was not pressed: the grid
    // goes into the active slot's working copy first, as "Set" puts it.
    if (hasActiveTable())
        setActiveTable();
    updateData();
    hide();
    if (programVariant == Variant::Batch)
        settings = nullptr;
}

void QuantizationWindow::setTableButtons(bool)
{
    for (unsigned i = 0; i < QTABLES; ++i)
        tableButtons[i]->setEnabled(tableChecks[i]->isChecked() && tableChecks[i]->isEnabled());
}

void QuantizationWindow::setActiveTable()
{
    gridToValues(qtables[getActiveTableIndex()]);
}

void QuantizationWindow::loadActiveTable(bool set)
{
    if (!set)
        return;
    valuesToGrid(qtables[getActiveTableIndex()]);
}

void QuantizationWindow::gridToValues(TableValues& values) const
{
    for (unsigned k = 0; k < QTABLE_SIZE; ++k)
        values[k] = quantizationTable->getValueAt(k / GRID_SIZE, k % GRID_SIZE);
}

void QuantizationWindow::valuesToGrid(const TableValues& values)
{
    for (unsigned k = 0; k < QTABLE_SIZE; ++k)
        quantizationTable->setValueAt(k / GRID_SIZE, k % GRID_SIZE, values[k]);
    quantizationTable->updateUI();
}

void QuantizationWindow::showPresetInSlot(unsigned slot, const unsigned int* values)
{
    tableButtons[slot]->setChecked(true);
    TableValues preset;
    for (unsigned k = 0; k < QTABLE_SIZE; ++k)
        preset[k] = static_cast<short>(values[k]);
    valuesToGrid(preset);
}

void QuantizationWindow::loadPreset(unsigned index)
{
    const unsigned slot = index < 9 ? JPEGSettings::LUMINANCE : JPEGSettings::CHROMINANCE;
    showPresetInSlot(slot, JPEGSettings::presets[index]);
}

void QuantizationWindow::loadLuminancePreset()
{
    showPresetInSlot(JPEGSettings::LUMINANCE, annexKLuminance);
}

void QuantizationWindow::loadChrominancePreset()
{
    showPresetInSlot(JPEGSettings::CHROMINANCE, annexKChrominance);
}

JPEGCompressor::EffectiveTable QuantizationWindow::effectiveTable() const
{
    TableValues values;
    gridToValues(values);
    // Entries reach the record as saveTables() puts them there.
    QuantizationTable table;
    for (unsigned k = 0; k < QTABLE_SIZE; ++k)
        table[k] = static_cast<unsigned int>(int(values[k]));
    const int quality = settings ? settings->getQuality() : 95;
    const bool baseline = settings && settings->getCompressionMode() == JPEGSettings::BASELINE;
    return JPEGCompressor::effectiveTable(table, quality, baseline);
}

void QuantizationWindow::updateEffectiveTable()
{
    if (!settings)
        return;
    const int quality = settings->getQuality();
    const bool baseline = settings->getCompressionMode() == JPEGSettings::BASELINE;
    const QString range =
        baseline ? QStringLiteral("1…255 (baseline)") : QStringLiteral("1…32767 (extended)");
    const JPEGCompressor::EffectiveTable effective = effectiveTable();
    int clamped = 0;
    for (unsigned k = 0; k < QTABLE_SIZE; ++k) {
        effectiveGrid->setValueAt(k / GRID_SIZE, k % GRID_SIZE,
                                  static_cast<short>(effective.values[k]));
        effectiveGrid->setMarked(k / GRID_SIZE, k % GRID_SIZE, effective.clamped[k],
                                 QStringLiteral("Clamped to %1").arg(range));
        clamped += effective.clamped[k] ? 1 : 0;
    }
    effectiveGrid->updateUI();

    effectiveGroup->setTitle(QStringLiteral("Written at quality %1 (tables × %2 %)")
                                 .arg(quality)
                                 .arg(JPEGCompressor::tableScaling(quality)));
    QString note = QStringLiteral("Entries are limited to %1.").arg(range);
    if (clamped > 0)
        note +=
            QStringLiteral(" %1 marked %2 clamped.")
                .arg(clamped)
                .arg(clamped == 1 ? QStringLiteral("entry was") : QStringLiteral("entries were"));
    if (settings->isAutoQualityEnabled())
        note += QStringLiteral(" Not used while automatic quality is on: the encoder then "
                               "writes its standard tables.");
    else if (!tableChecks[getActiveTableIndex()]->isChecked())
        note += QStringLiteral(" Not used while this slot is unchecked: the encoder then "
                               "writes the library's table at quality 75.");
    effectiveNote->setText(note);
}

void QuantizationWindow::saveTableToFile()
{
    QString selected;
    const QString path =
        QFileDialog::getSaveFileName(this, QStringLiteral("Save table as"),
                                     Preferences::startFolder(Preferences::Folder::Tables),
                                     QLatin1String(plainTableFilter) + QStringLiteral(";;") +
                                         QLatin1String(commentedTableFilter),
                                     &selected);
    if (path.isEmpty())
        return;
    Preferences::rememberFolder(Preferences::Folder::Tables, path);
    // A name typed without an extension gets the one the filter names.
    const QString named = QFileInfo(path).suffix().isEmpty() ? path + QStringLiteral(".txt") : path;
    saveTableToFile(named, selected == QLatin1String(commentedTableFilter));
}

bool QuantizationWindow::saveTableToFile(const QString& path, bool commented)
{
    TableValues values;
    gridToValues(values);
    std::string comment;
    if (commented) {
        comment = std::string(checkLabels[getActiveTableIndex()]) +
                  " quantization table, saved by Tessera.\n"
                  "64 entries in natural order: row = vertical frequency, "
                  "column = horizontal frequency.";
    }
    if (saveTable(QFile::encodeName(path).toStdString(), values, comment) == TableFileStatus::Ok)
        return true;
    // Both a file that cannot be created and one whose data could not be
    // written out (a full disk) leave no usable table behind.
    QMessageBox::critical(this, QStringLiteral("Bad file"),
                          QStringLiteral("Couldn't save file<br>") + path.toHtmlEscaped());
    return false;
}

void QuantizationWindow::loadTableFromFile()
{
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Choose table"), Preferences::startFolder(Preferences::Folder::Tables),
        QStringLiteral("Text files (*.txt);;All files (*)"));
    if (path.isEmpty())
        return;
    Preferences::rememberFolder(Preferences::Folder::Tables, path);
    loadTableFromFile(path);
}

bool QuantizationWindow::loadTableFromFile(const QString& path)
{
    TableValues values;
    switch (loadTable(QFile::encodeName(path).toStdString(), values)) {
    case TableFileStatus::Ok:
        valuesToGrid(values);
        return true;
    case TableFileStatus::OpenFailed:
        QMessageBox::critical(this, QStringLiteral("Bad file"),
                              QStringLiteral("Couldn't open file<br>") + path.toHtmlEscaped());
        return false;
    case TableFileStatus::BadContent:
    case TableFileStatus::WriteFailed:
        break;
    }
    QMessageBox::critical(this, QStringLiteral("Bad file"),
                          QStringLiteral("File<br>") + path.toHtmlEscaped() +
                              QStringLiteral("<br>doesn't contain valid DCT table"));
    return false;
}

void QuantizationWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!Preferences::singleLocalFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void QuantizationWindow::dropEvent(QDropEvent* event)
{
    const QString file = Preferences::singleLocalFile(event->mimeData());
    if (file.isEmpty())
        return;
    event->acceptProposedAction();
    loadTableFromFile(file);
}
