// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QString>

class CompressionHistory;
class CompressionResult;
class DownsamplingWindow;
class HelpWindow;
class HistoryCompare;
class HistoryPanel;
class Image;
class JPEGCompressor;
class JpegPropertiesWindow;
class LiveCompression;
class PictureViewer;
class JPEGSettings;
class QAction;
class RecentFilesMenu;
class QuantizationWindow;
class QCheckBox;
class QLabel;
class QLayout;
class QPushButton;
class SettingsEditor;

// The settings window of the interactive tool. It edits the shared
// compressor's settings in place, owns the current picture (through the
// compressor's image pointer) and the latest result, and hands both to the
// viewer through its two signals before it deletes what they replace.
class ToolWindow : public QDialog
{
    Q_OBJECT

public:
    ToolWindow(JPEGCompressor& compressor, QWidget* parent = nullptr);
    ~ToolWindow() override;

    // Copies the settings into the controls, then shows the window.
    void show();
    // Restores both windows' settings and shows them: the tool window at
    // the top left, the viewer filling the room to its right, unless the
    // last run left them elsewhere; either way both lie on the screen.
    void showBeside(PictureViewer& viewer);
    // Room for every control without scrolling, and for the history beside.
    QSize sizeHint() const override;

    // What "Open" does once a name has been chosen: loads the picture and
    // makes it current. A picture that does not load is dropped and false
    // returned; the previous picture stays current. A picture that loads
    // with a decoder warning is current, and the warning is shown.
    bool openImageFile(const QString& path);
    // What "Save as" does once a name has been chosen.
    bool saveCompressedAs(const QString& chosen);

    CompressionResult* currentResult() const { return result; }
    JpegPropertiesWindow* jpegPropertiesWindow() const { return propertiesWindow; }
    const LiveCompression* liveCompression() const { return live; }
    const CompressionHistory* compressionHistory() const { return history; }
    const HistoryCompare* historyCompare() const { return compare; }

    // The window's place and the settings of its controls, kept between
    // runs; the program calls them at start and at the end.
    void restoreSettings();
    void saveSettings() const;
    // "Reset to defaults": forgets what was remembered and puts the
    // settings back to the program's start-up defaults.
    void resetToDefaults();
    // Without a user to answer them (tessera --screenshot), the messages of
    // opening and compressing go to the standard error stream instead of
    // message boxes.
    void setMessagesToLog(bool toLog) { messagesToLog = toLog; }

signals:
    void imageChanged(Image* image);
    void imageCompressed(CompressionResult* result);
    // The name of the compression now current ("Compressed #3", its number
    // in the history), or empty with none; "Save as" writes that one.
    void compressionNamed(const QString& name);

public slots:
    void openFile();
    void saveAs();
    void compressImage();
    void quit();
    void showQuantizationWindow();
    void showDownsamplingWindow();
    void showHelpWindow();
    void showAboutWindow();
    // Offered while the current picture came from a JPEG file.
    void showJpegProperties();
    // "Use these settings" of the properties: the file's tables, sampling
    // and mode into the record and the controls.
    void useJpegSettings();
    // The DCT method named as the box lists it, as choosing it there does.
    void setDCTMethod(const QString& text);
    // The history's entries: shown again in the viewer (decoded off the
    // user-interface thread), two side by side in a viewer of their own, or
    // their settings put back into the record and the controls.
    void showHistoryEntry(int row);
    void compareHistoryEntries(int first, int second);
    void restoreHistorySettings(int row);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Escape would hide the window and leave the program running without it.
    void reject() override {}

private:
    // The window in parts: the windows and models it drives, its controls,
    // its menus (each action connected as it is made), the layout, and the
    // connections of the controls and of the helpers.
    void create();
    void createHelpers();
    void createControls();
    // The File and Help menus, in a bar over `layout`.
    void createMenus(QLayout* layout);
    void arrange();
    void connectControls();
    void connectHelpers();
    void setImage(Image* image);
    void report(bool warning, const QString& html);
    // With "Live" on and a picture open, recompresses under the new settings
    // off the user-interface thread.
    void settingsChanged();
    // A compression's outcome becomes current: the viewer gets it before
    // the old result goes. A failure is shown as the error box or, for live
    // recompression, in the status line.
    void showResult(CompressionResult* next, const QString& error, bool quiet);
    // A new compression goes into the history; the row of what is shown is marked.
    void remember(double encodingMs);
    // `number` (0: none) is the history number of what is now shown.
    void nameShown(int number);
    void measureSlowFigures(const CompressionResult& next);
    // The controls follow the record; with "Live" on the picture is recompressed.
    void settingsReplaced();

    QWidget* controls = nullptr; // in a scroll area
    SettingsEditor* editor = nullptr;
    QPushButton* compressButton = nullptr;
    QAction* saveAsAction = nullptr;
    RecentFilesMenu* recentFilesMenu = nullptr;
    QCheckBox* liveCheck = nullptr;
    QCheckBox* historyCheck = nullptr;
    QLabel* liveStatus = nullptr;
    // Where the bytes of the shown result go (BitBreakdown), while checked.
    QCheckBox* breakdownCheck = nullptr;
    QLabel* breakdown = nullptr;
    void updateBreakdown();
    LiveCompression* live = nullptr;
    CompressionHistory* history = nullptr;
    HistoryPanel* historyPanel = nullptr;
    HistoryCompare* compare = nullptr;
    QAction* propertiesAction = nullptr;
    QPushButton* propertiesButton = nullptr;
    JpegPropertiesWindow* propertiesWindow = nullptr;
    QuantizationWindow* quantizationWindow = nullptr;
    DownsamplingWindow* downsamplingWindow = nullptr;
    HelpWindow* helpWindow = nullptr;
    HelpWindow* aboutWindow = nullptr;
    JPEGSettings* settings = nullptr;
    JPEGCompressor& compressor;
    CompressionResult* result = nullptr;
    // History numbers of the current result and of the entry being decoded.
    int shownNumber = 0;
    int pendingNumber = 0;
    bool messagesToLog = false;
};
