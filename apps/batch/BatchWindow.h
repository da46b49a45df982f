// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "BatchCompressor.h"
#include "BatchForm.h"
#include "BatchSettings.h"

#include <QDialog>
#include <QList>
#include <QStringList>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

class HelpWindow;
class OptimiseTablesDialog;
class QAction;
class QBoxLayout;
class QCheckBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QuantizationChooser;
class RecentFilesMenu;
class ResultsWindow;

// The batch tool's main window: the chosen pictures and the sweep form. Every
// choice is a check box or a minimum/maximum/step triple, and every checked
// box adds a branch to the sweep. "Compress" validates the form, stores it in
// the window's BatchSettings, expands them into a list of settings under a
// progress dialog, compresses every picture under every entry under the same
// dialog, and opens the results window on the outcome.
//
// The table pair chooser and the down-sampling pair file change the settings
// at once; the form reaches them only when "Compress" passes validation.
// Closing the window ends the program.
class BatchWindow : public QDialog
{
    Q_OBJECT

public:
    // Most settings entries a run may expand its sweep into.
    static constexpr std::uint64_t MAX_ENTRIES = 10'000'000;

    explicit BatchWindow(QWidget* parent);
    ~BatchWindow() override;

    // Settings -> form.
    void updateUI();
    // Checks the form rule by rule; the first rule that fails is told in the
    // "Error" box and the answer is false.
    bool isUIStateValid();
    // Form -> settings. Throws std::invalid_argument with a message when the
    // form is inconsistent; the fields of the steps before it are written.
    void updateData();
    // The form's check states and field texts as they stand.
    BatchForm formState() const;
    // Shows `form` in the widgets, as typed in.
    void setFormState(const BatchForm& form);

    // "Open sweep...": the sweep file replaces the form, the table files and
    // the pair file, the options it leaves out taking their defaults, as
    // tessera-sweep --sweep reads it. A file that cannot be read, or whose
    // tables or pairs cannot, changes nothing: its message is told in the
    // "Error" box and the answer is false.
    bool openSweep(const QString& path);
    // "Save sweep...": writes the form, the table files and the pair file as
    // a sweep file. A form that breaks a rule, or a failed write, is told in
    // the "Error" box (an earlier file of that name stays as it was).
    bool saveSweep(const QString& path);
    // The sweep file text of what the window holds; the form must be valid.
    QString sweepText() const;

    // What "Open" does with the chosen names: they replace the file list, and
    // a non-empty list enables "Compress" for good.
    void setFiles(const QStringList& names);
    QStringList getFiles() const { return files; }
    // What a drop or a recent file does: pictures are added to the file list
    // (each once), and a folder adds the pictures in it and its subfolders.
    void addFiles(const QStringList& paths);

    // The window's place, the form as the user left it, and the table and
    // pair files, kept between runs; the program calls them at start and at
    // the end. Values that do not fit the form keep the defaults.
    void restoreSettings();
    void saveSettings() const;
    // "Reset to defaults": forgets what was remembered and shows the form's
    // defaults with the default tables and pairs.
    void resetToDefaults();

    // What "Downsampling" does with the chosen name: the file's pairs replace
    // the down-sampling pairs. A file that cannot be opened changes nothing
    // and the answer is false.
    bool loadDownsamplingPairs(const QString& path);

    // "12 entries x 2 pictures = 24 compressions", and after a first run the
    // time the next would take at that run's pace; shown under "Compress"
    // and kept up to date as the form changes.
    QString sweepSummary() const;

    BatchSettings* getBatchSettings() { return &settings; }
    const BatchSettings* getBatchSettings() const { return &settings; }
    BatchCompressor* getBatchCompressor() { return &batchCompressor; }
    ResultsWindow* getResultsWindow() const { return resultsWindow; }
    QuantizationChooser* getQuantizationChooser() const { return quantizationChooser.get(); }

public slots:
    void openFiles();
    void openSweepFile();
    void saveSweepFile();
    void openResultsFile();
    void compressImages();
    void quit();
    void showQuantizationWindow();
    void showDownsamplingWindow();
    void showHelpWindow();
    void showAboutWindow();
    // "Optimise tables...": the optimiser's dialog on the file list.
    void showOptimiseTablesDialog();

protected:
    void closeEvent(QCloseEvent* event) override;
    // The table pair chooser is not modal; its tables count once it hides.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Escape closes the main window as the title bar's button does, rather
    // than hiding it and leaving the program running without a window.
    void reject() override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void create();
    // The parts of create(), in the order it calls them.
    void setupForm(QGridLayout* layout);
    int setupQualityControls(QGridLayout* layout, int row);
    int setupOutputControls(QGridLayout* layout, int row);
    // Binds every field of BatchForm's tables to its control.
    void bindForm();
    void createMenus(QBoxLayout* layout);
    void setupConnections();
    void setupSubWindows();
    // Progressive/non-progressive follow "Extended", the auto-quality triple
    // "Auto quality", the table-quality triple "Manual quality".
    void updateEnabledControls();

    QLineEdit* addEdit(QGridLayout* layout, int row, const char* label, const char* name,
                       int bottom, int top);
    QCheckBox* addCheck(const char* text, const char* name, const char* toolTip);
    QGroupBox* addGroup(const char* title, const char* name, const char* toolTip);
    static void addChecksTo(QGroupBox* group, std::initializer_list<QCheckBox*> checks);
    QPushButton* addButton(const char* text, const char* name, const char* toolTip);
    void showError(const QString& message);
    // Why a run of the stored sweep over the file list would have nothing
    // to do or too much to build; empty when it can start.
    QString whyNothingToDo() const;
    // The run behind "Compress": expansion, compression, results.
    void doCompress();
    void updateSweepSummary();

    BatchSettings settings;
    BatchCompressor batchCompressor;
    QStringList files;
    bool running = false;
    // The pace of the last run; zero before the first.
    double secondsPerCompression = 0;

    ResultsWindow* resultsWindow = nullptr;
    std::unique_ptr<QuantizationChooser> quantizationChooser;
    HelpWindow* helpWindow = nullptr;
    HelpWindow* aboutWindow = nullptr;
    OptimiseTablesDialog* optimiseTablesDialog = nullptr;

    QWidget* formWidget = nullptr;
    // The form's controls and the fields they show, in BatchForm's order.
    std::vector<std::pair<QCheckBox*, bool BatchForm::*>> checkBindings;
    std::vector<std::pair<QLineEdit*, QString BatchForm::*>> editBindings;
    QLabel* summaryLabel = nullptr;
    QCheckBox* baselineCheck = nullptr;
    QCheckBox* extendedCheck = nullptr;
    QCheckBox* progressiveCheck = nullptr;
    QCheckBox* nonProgressiveCheck = nullptr;
    QCheckBox* manualQualityCheck = nullptr;
    QCheckBox* autoQualityCheck = nullptr;
    QGroupBox* tableQualityGroup = nullptr;
    QGroupBox* autoQualityGroup = nullptr;
    QPushButton* quantizationButton = nullptr;
    QPushButton* downsamplingButton = nullptr;
    QPushButton* compressButton = nullptr;
    QString downsamplingFile;
    // The figures line of the last sweep file opened, written back on save.
    QString sweepFigures = QStringLiteral("all");
};
