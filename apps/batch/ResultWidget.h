// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "JPEGSettings.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class CompressionResult;
class Image;
class QGroupBox;
class QLabel;
class QPushButton;
struct ResultStat;
class SettingsEditor;
class TableCatalogue;

// One row of the results window: its number in the list, the source file,
// the settings entry of one batch compression and its figures (the four of
// the report, PSNR, SSIM, SSIMULACRA 2 and, on request, Butteraugli). The
// controls edit the entry in place, and every edit recompresses the file at
// once and puts the new figures into the result record, so the figures shown
// and reported always belong to the settings beside them. An edit that cannot
// be compressed (the picture no longer loads, the library refuses the
// settings) is told and undone. "Show" recompresses and opens the viewer on
// the compression.
//
// The panel points into the run's two lists and owns neither entry.
class ResultWidget : public QWidget
{
    Q_OBJECT

public:
    ResultWidget(ResultStat* stat, JPEGSettings* settings, QWidget* parent);
    ~ResultWidget() override;

    // The panel's place in the list, from 0; shown from 1.
    void setIndex(int index);
    // Names the entry's tables as `catalogue` does (not owned; null shows
    // none), beside the sampling the encoder applies.
    void setCatalogue(const TableCatalogue* catalogue);
    // Gives the number, file name and table labels the widths of these
    // texts, so that the columns of all panels of a list line up whatever
    // their contents: a file name is cut short beyond a limit, a longer
    // table name too (whole in the tool tip).
    void setLabelTemplates(const QString& number, const QString& name, const QString& tables);

    ResultStat* getStat() const { return stat; }
    JPEGSettings* getSettings() const { return settings; }
    QString getFilePath() const { return filePath; }

    // True while the panel runs a dialog of its own (editor, viewer or a
    // message); the panel must not be deleted then.
    bool isBusy() const { return busy; }

    // The state of the "Progressive" box, which may differ from the entry's
    // flag (a baseline entry never shows it checked). A list that rebuilds
    // panels keeps the box as the user left it.
    Qt::CheckState progressiveBoxState() const;
    void restoreProgressiveBox(Qt::CheckState state);
    // showImage(), shown only when `proceed` (when given) accepts the
    // compression made for it.
    void showImageIf(const std::function<bool(const CompressionResult&)>& proceed);

signals:
    // The entry or its figures changed: an edit was compressed, or figures
    // left to be asked for were measured.
    void resultChanged();

public slots:
    void showDownsamplingWindow();
    void showQuantizationWindow();
    void showImage();
    // Recompresses and measures the Butteraugli distances, which a run
    // leaves to be asked for (they take some fifty compressions' time).
    void measureButteraugli();
    // The DCT method named as the box lists it, as choosing it there does.
    void setDCTMethod(const QString& text);

private:
    // The panel in three parts: the picture, the settings editor, the figures.
    void create();
    QGroupBox* createImageGroup();
    QGroupBox* createStats();
    void showFigures();
    void showTables();
    void showError(const QString& message);
    // After every edit: compresses the entry if it changed since the figures
    // were made, or puts it back as it was when that fails.
    void settingsEdited();
    // Compresses the source under the entry and stores the figures; on
    // failure tells why (with `failureNote` added) and changes nothing.
    bool compress(std::unique_ptr<Image>& image, std::unique_ptr<CompressionResult>& result,
                  const QString& failureNote);

    ResultStat* stat;
    JPEGSettings* settings;
    QString filePath;
    // The settings the figures were made with.
    JPEGSettings compressed;
    const TableCatalogue* catalogue = nullptr;
    bool busy = false;

    QLabel* numberLabel = nullptr;
    QLabel* tablesLabel = nullptr;
    QLabel* samplingLabel = nullptr;

    QLabel* fileLabel = nullptr;
    QPushButton* showButton = nullptr;
    SettingsEditor* editor = nullptr;
    QLabel* crLabel = nullptr;
    QLabel* cpLabel = nullptr;
    QLabel* brLabel = nullptr;
    QLabel* mseLabel = nullptr;
    QLabel* psnrLabel = nullptr;
    QLabel* ssimLabel = nullptr;
    QLabel* ssimulacra2Label = nullptr;
    QLabel* butteraugliLabel = nullptr;
    QPushButton* measure = nullptr;
};
