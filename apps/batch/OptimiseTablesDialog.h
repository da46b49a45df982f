// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "JPEGSettings.h"
#include "TableOptimiser.h"

#include <QDialog>
#include <QStringList>

#include <atomic>
#include <memory>

class QComboBox;
class QFormLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QThread;
class QuantizationWindow;

// The quantization-table optimiser in a window (what `tessera-sweep
// optimise-tables` does): the batch window's pictures are the training
// pictures; the metric, the quality range, the mode and the time limit are
// the command's options. "Start" runs the optimiser on a thread of its own
// and shows its progress (evaluations, best estimate so far); "Cancel"
// stops it. When it ends the report of real encodes is shown, and "Open in
// editor" shows the pair in the quantization editor (slots 0 and 1), from
// whose Table menu it can be saved.
//
// Closing the dialog while it runs cancels the run; destroying it waits for
// the thread to end.
class OptimiseTablesDialog : public QDialog
{
    Q_OBJECT

public:
    explicit OptimiseTablesDialog(QWidget* parent = nullptr);
    ~OptimiseTablesDialog() override;

    // The training pictures; "Start" is off without any.
    void setPictures(const QStringList& files);
    bool isRunning() const { return worker != nullptr; }
    // The last run's outcome (empty before one has ended).
    const TableOptimiser::Result& result() const { return outcome; }
    // The editor "Open in editor" shows (null before that).
    QuantizationWindow* editor() const { return tableEditor; }

public slots:
    void start();
    void cancel();
    void openInEditor();

signals:
    // A run ended: finished, failed or cancelled.
    void optimisationEnded();

protected:
    void reject() override;

private:
    void create();
    // create's parts: the run's settings, and the row of buttons.
    QFormLayout* createForm();
    QHBoxLayout* createButtons();
    void showStatus(const TableOptimiser::Status& status);
    void ended();

    QStringList pictures;
    QLabel* picturesLabel = nullptr;
    QComboBox* metricBox = nullptr;
    QLineEdit* qualityEdit = nullptr;
    QComboBox* modeBox = nullptr;
    QSpinBox* timeLimitBox = nullptr;
    QLabel* statusLabel = nullptr;
    QPlainTextEdit* reportView = nullptr;
    QPushButton* startButton = nullptr;
    QPushButton* cancelButton = nullptr;
    QPushButton* editorButton = nullptr;

    QThread* worker = nullptr;
    std::atomic<bool> cancelled{false};
    std::shared_ptr<TableOptimiser::Result> pending;
    TableOptimiser::Options options;
    TableOptimiser::Result outcome;
    JPEGSettings record;
    QuantizationWindow* tableEditor = nullptr;
};
