// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Variant.h"

#include <QDialog>

class JPEGSettings;
class QGroupBox;
class QRadioButton;

// The modal dialog for the vertical and horizontal sampling factors (1 to 4)
// of the components of a record. "Ok" stores them only when the sum over the
// counted components of horizontal x vertical is at most 10, the JPEG limit on
// the blocks of one minimum coded unit.
//
// The interactive tool edits one record for the life of the dialog and shows
// four component boxes (the fourth disabled); the batch tool opens a dialog
// per result, points it at the record with setSettings() and shows two.
class DownsamplingWindow : public QDialog
{
    Q_OBJECT

public:
    static constexpr int COMPONENTS = 4;
    static constexpr int FACTORS = 4;

    // The interactive tool's dialog, bound to `settings` for its whole life.
    DownsamplingWindow(JPEGSettings& settings, QWidget* parent);
    // The batch tool's dialog; the opener assigns the record with setSettings().
    explicit DownsamplingWindow(QWidget* parent);

    Variant variant() const { return programVariant; }
    JPEGSettings* getSettings() const { return settings; }
    void setSettings(JPEGSettings* record) { settings = record; }

    // Record -> buttons; rows from maxQuantizationTables on are disabled.
    void updateUI();
    // Buttons -> record; a group without a selection keeps the record's value.
    void updateData();
    // The sum check over the first maxQuantizationTables rows.
    bool isValid() const;
    // The batch result panel calls this before showing; nothing changes.
    void updateEditables(bool editable);

    // Showing first refreshes the buttons from the record.
    void setVisible(bool visible) override;

public slots:
    void updateDataAndHide();

private:
    struct ComponentRow
    {
        QRadioButton* horizontal_buttons[FACTORS] = {};
        QRadioButton* vertical_buttons[FACTORS] = {};
    };

    DownsamplingWindow(JPEGSettings* settings, Variant variant, QWidget* parent);
    void create();
    // Rows this program shows and edits.
    int handledRows() const;

    // Interactive: the record given to the constructor, never null. Batch:
    // assigned by the opener, cleared by "Ok".
    JPEGSettings* settings;
    const Variant programVariant;
    ComponentRow downsampling[COMPONENTS];
};
