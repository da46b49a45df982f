#pragma once

#include <QString>
#include <QWidget>

class JPEGSettings;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;
struct ResultStat;

// One row of the results window: the source file, the settings entry of one
// batch compression and its figures (the four of the report, PSNR and SSIM). The controls edit the entry in
// place at once; "Show" recompresses the file under the entry as it now
// stands, puts the new figures into the result record and opens the viewer
// on the new compression. Until then the figures are those of the last
// compression, so the report writes edited settings beside old figures.
//
// The panel points into the run's two lists and owns neither entry.
class ResultWidget : public QWidget
{
    Q_OBJECT

public:
    ResultWidget(ResultStat* stat, JPEGSettings* settings, QWidget* parent);

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

public slots:
    void showDownsamplingWindow();
    void showQuantizationWindow();
    void showImage();
    void setBaselineMode(bool set);
    void setExtendedMode(bool set);
    void setProgressiveMode(int state);
    void setInterleavedMode(int state);
    void setOptimizeHuffman(int state);
    void setGrayscaleOutput(int state);
    void setSmoothing(int value);
    void setDCTMethod(const QString& text);
    void setQualityEnabled(bool set);
    void setQuality(int value);

private:
    void create();
    QGroupBox* createStats();
    void enableEditing();
    void showFigures();
    void showError(const QString& message);

    ResultStat* stat;
    JPEGSettings* settings;
    QString filePath;
    bool busy = false;

    QLabel* fileLabel = nullptr;
    QPushButton* showButton = nullptr;
    QRadioButton* baselineRadio = nullptr;
    QRadioButton* extendedRadio = nullptr;
    QCheckBox* progressiveCheck = nullptr;
    QSpinBox* smoothingSpin = nullptr;
    QComboBox* dctCombo = nullptr;
    QPushButton* quantizationButton = nullptr;
    QPushButton* downsamplingButton = nullptr;
    QGroupBox* qualityGroup = nullptr;
    QCheckBox* autoCheck = nullptr;
    QSpinBox* qualitySpin = nullptr;
    QCheckBox* huffmanCheck = nullptr;
    QCheckBox* grayscaleCheck = nullptr;
    QLabel* crLabel = nullptr;
    QLabel* cpLabel = nullptr;
    QLabel* brLabel = nullptr;
    QLabel* mseLabel = nullptr;
    QLabel* psnrLabel = nullptr;
    QLabel* ssimLabel = nullptr;
};
