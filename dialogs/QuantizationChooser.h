// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;
struct BatchSettings;

// The batch tool's choice of two quantization table files: the tables of the
// first are tried as luminance tables, those of the second as chrominance
// tables. "Ok" reads both files and replaces the two table lists of the batch
// settings; until then the settings are not touched. Not modal: the batch
// window stays usable while it is open, and the choices persist between
// showings.
class QuantizationChooser : public QDialog
{
    Q_OBJECT

public:
    QuantizationChooser();

    // The record whose table lists "Ok" replaces; not owned.
    void setSettings(BatchSettings* batchSettings) { settings = batchSettings; }
    BatchSettings* getSettings() const { return settings; }

    // Records `path` as the chosen file for slot 0 (luminance) or 1
    // (chrominance) and shows its name; an empty path clears the choice.
    // This is what the two buttons do with the file dialog's answer.
    void setFileName(int index, const QString& path);
    QString getFileName(int index) const { return fileNames[index]; }
    QString getFileLabel(int index) const;

public slots:
    void setFirst();
    void setSecond();
    void updateAndHide();

protected:
    // Asks the user for a table file; empty when the dialog was cancelled.
    virtual QString askForTableFile();

private:
    void create();

    QPushButton* luminanceButton = nullptr;
    QPushButton* chrominanceButton = nullptr;
    QPushButton* okButton = nullptr;
    QPushButton* cancelButton = nullptr;
    QString fileNames[2];
    QLabel* fileLabels[2] = {nullptr, nullptr};
    BatchSettings* settings = nullptr;
};
