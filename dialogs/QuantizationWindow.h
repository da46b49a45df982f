// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "JPEGCompressor.h"
#include "QuantizationTableFiles.h"
#include "Variant.h"

#include <QDialog>

#include <array>
#include <memory>

class IntTableModel;
class JPEGSettings;
class QCheckBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QIntValidator;
class QPushButton;
class SimpleTableWidget;

// The modal editor of a record's custom quantization tables. It keeps working
// copies of the four table slots, shows one slot (the active one) in an 8x8
// grid, and writes back into the record only on "Ok": the flags of the slots
// in use and the working copies of those slots. Grid edits, presets and
// loaded files reach a working copy through "Set", and "Ok" first does what
// "Set" does for the active slot, so what the grid shows is what is stored.
// Beside the grid a read-only grid shows the table the encoder will write:
// the grid's values scaled by the record's quality and limited to the range
// of its coding mode, with the entries that hit a limit marked.
//
// The interactive tool edits one record for the life of the dialog and shows
// the slots "Third" and "Fourth"; the batch tool opens an editor per result,
// points it at the record with setSettings() and sees only the first two
// slots (the third passes through unchanged).
class QuantizationWindow : public QDialog
{
    Q_OBJECT

public:
    static constexpr unsigned QTABLES = 4;
    static constexpr unsigned QTABLE_SIZE = QuantizationTable::SIZE;

    // The interactive tool's editor, bound to `settings` for its whole life.
    QuantizationWindow(JPEGSettings& settings, QWidget* parent);
    // The batch tool's editor; the opener assigns the record with setSettings().
    explicit QuantizationWindow(QWidget* parent);
    ~QuantizationWindow() override;

    Variant variant() const { return programVariant; }
    JPEGSettings* getSettings() const { return settings; }
    void setSettings(JPEGSettings* record) { settings = record; }

    // Record -> dialog: check boxes, working copies, active slot and grid.
    void updateUI();
    // Dialog -> record: flags of the slots in use, then their tables.
    void updateData();
    void loadTables();
    void saveTables();
    // The lowest slot whose table button is checked, or 0 when none is.
    unsigned getActiveTableIndex() const;
    // The batch result panel calls this before showing; the editor stays
    // fully editable either way.
    void updateEditables(bool editable);

    // Working copy of one slot, natural order.
    const TableValues& workingTable(unsigned slot) const { return qtables[slot]; }

    // The file operations behind the "Table" menu, without the file dialog.
    // Failures are reported in a "Bad file" box; the result says whether the
    // operation succeeded.
    // `commented` writes a few '#' lines naming the table before the values.
    bool saveTableToFile(const QString& path, bool commented = false);
    bool loadTableFromFile(const QString& path);

    // The table the encoder writes for the grid's values at the record's
    // quality and mode, as shown in the effective grid.
    JPEGCompressor::EffectiveTable effectiveTable() const;

    // Showing first refreshes the dialog from the record, so each showing
    // starts from the record's current state.
    void setVisible(bool visible) override;

public slots:
    void updateDataAndHide();
    void setTableButtons(bool enable);
    void setActiveTable();
    void loadActiveTable(bool set);
    void loadTableFromFile();
    void saveTableToFile();
    // Recomputes the effective grid from the grid's committed values.
    void updateEffectiveTable();

    // Interactive presets: the JPEG standard's Annex K tables K.1 and K.2.
    void loadLuminancePreset();
    void loadChrominancePreset();

    // Batch presets: JPEGSettings::presets 0..8 and 9..17.
    void loadLuminance0Preset() { loadPreset(0); }
    void loadLuminance1Preset() { loadPreset(1); }
    void loadLuminance2Preset() { loadPreset(2); }
    void loadLuminance3Preset() { loadPreset(3); }
    void loadLuminance4Preset() { loadPreset(4); }
    void loadLuminance5Preset() { loadPreset(5); }
    void loadLuminance6Preset() { loadPreset(6); }
    void loadLuminance7Preset() { loadPreset(7); }
    void loadLuminance8Preset() { loadPreset(8); }
    void loadChrominance0Preset() { loadPreset(9); }
    void loadChrominance1Preset() { loadPreset(10); }
    void loadChrominance2Preset() { loadPreset(11); }
    void loadChrominance3Preset() { loadPreset(12); }
    void loadChrominance4Preset() { loadPreset(13); }
    void loadChrominance5Preset() { loadPreset(14); }
    void loadChrominance6Preset() { loadPreset(15); }
    void loadChrominance7Preset() { loadPreset(16); }
    void loadChrominance8Preset() { loadPreset(17); }

protected:
    // A table file dropped on the editor is loaded as "Table > Open" would.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QuantizationWindow(JPEGSettings* settings, Variant variant, QWidget* parent);
    void create();
    void createMenus();
    // create's parts: the table being edited, the table the file gets, the
    // slots' checks and buttons, and Ok and Cancel.
    QGroupBox* createCurrentGroup();
    void createEffectiveGroup();
    QGroupBox* createTablesGroup();
    QHBoxLayout* createButtonRow();
    void loadPreset(unsigned index);
    // Makes `slot` active and shows `values` in the grid; no working copy changes.
    void showPresetInSlot(unsigned slot, const unsigned int* values);
    void gridToValues(TableValues& values) const;
    void valuesToGrid(const TableValues& values);
    void checkTableButton(int slot);
    bool hasActiveTable() const;

    // Interactive: the record given to the constructor, never null. Batch:
    // assigned by the opener, cleared by "Ok".
    JPEGSettings* settings;
    const Variant programVariant;

    std::array<TableValues, QTABLES> qtables{};
    QPushButton* tableButtons[QTABLES] = {};
    QCheckBox* tableChecks[QTABLES] = {};
    SimpleTableWidget* quantizationTable = nullptr;
    std::unique_ptr<IntTableModel> model;
    QGroupBox* effectiveGroup = nullptr;
    SimpleTableWidget* effectiveGrid = nullptr;
    std::unique_ptr<IntTableModel> effectiveModel;
    QLabel* effectiveNote = nullptr;
    QIntValidator* validator = nullptr;
};
