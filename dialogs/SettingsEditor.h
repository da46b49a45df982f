// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class JPEGSettings;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

// The controls that edit one compression's settings in place: baseline or
// extended, progressive, automatic quality (the standard tables scaled by the
// quality) or the custom tables of the quantization editor (scaled by the
// same quality), quality, DCT method, smoothing, Huffman optimisation, grey
// scale output, and the two buttons that ask for the table and sampling
// editors. The tool window shows it as a column, each results panel as a row.
//
// Every edit goes into the record at once and is announced by edited(); the
// controls' enabled states and the quality's labels then follow the record.
// The editor never owns the record, which must outlive it.
class SettingsEditor : public QWidget
{
    Q_OBJECT

public:
    enum class Arrangement {
        // A column of controls, with labels saying what the quality scales.
        Column,
        // Groups side by side, for a row of a list.
        Row,
    };

    // Which controls can change what the encoder does under `settings`:
    // progressive needs extended mode; automatic quality leaves the custom
    // tables, the sampling factors and the DCT method unused; the quality
    // scales the standard tables under automatic quality and the checked
    // custom tables otherwise, so it is in use unless no written table slot
    // is checked.
    struct Enabled
    {
        bool progressive = true;
        bool quality = true;
        bool tables = true;
        bool downsampling = true;
        bool dct = true;
    };
    static Enabled enabledFor(const JPEGSettings& settings);

    SettingsEditor(Arrangement arrangement, JPEGSettings& settings, QWidget* parent = nullptr);

    // The record into the controls, announcing nothing; for when the record
    // was changed elsewhere (a dialog, a restore, an undone edit).
    void showSettings();
    // After the tables or sampling changed elsewhere: the enabled states,
    // the DCT box and the quality's labels and tips follow the record; the
    // other controls stay as they are.
    void showDerived();
    // The DCT method named "int", "fast" or "float" into the record, as the
    // box's choice does; another name changes nothing.
    void setDCTMethod(const QString& name);

    // The state of the "Progressive" box. In a row a baseline entry shows
    // it unchecked whatever its flag, and a mode change leaves the box as it
    // was, so it may differ from the flag; a list that rebuilds its rows
    // keeps the box as the user left it.
    Qt::CheckState progressiveBoxState() const;
    void restoreProgressiveBox(Qt::CheckState state);

signals:
    // A control changed the record.
    void edited();
    void quantizationRequested();
    void downsamplingRequested();

private:
    void createControls();
    void arrangeAsColumn();
    void arrangeAsRow();
    void connectControls();
    void showQualityText();
    void setAutomatic(bool on);
    void setMode(bool baseline);
    void changed();

    const Arrangement arrangement;
    JPEGSettings& settings;

    QRadioButton* baselineRadio = nullptr;
    QRadioButton* extendedRadio = nullptr;
    QCheckBox* progressiveCheck = nullptr;
    QPushButton* quantizationButton = nullptr;
    QPushButton* downsamplingButton = nullptr;
    // In a column the group's own check box is the automatic switch; in a
    // row the group holds autoCheck beside the quality.
    QGroupBox* qualityGroup = nullptr;
    QCheckBox* autoCheck = nullptr;
    QSpinBox* qualitySpin = nullptr;
    // Column only: what the quality is called and what it does to the tables.
    QLabel* qualityLabel = nullptr;
    QLabel* tableScalingLabel = nullptr;
    QCheckBox* huffmanCheck = nullptr;
    QCheckBox* grayscaleCheck = nullptr;
    QComboBox* dctCombo = nullptr;
    QLabel* dctLabel = nullptr;
    QSpinBox* smoothingSpin = nullptr;
    QLabel* smoothingLabel = nullptr;
};
