// SPDX-License-Identifier: GPL-3.0-or-later
#include "SettingsEditor.h"

#include "JPEGCompressor.h"
#include "JPEGSettings.h"
#include "SettingsControls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

// Whether a table slot the encoder writes is checked in the quantization
// editor: Y uses slot 0, Cb slot 1, Cr slot 2 when checked and else slot 1.
bool customTablesUsed(const JPEGSettings& s)
{
    const bool* checked = s.getCurrentQuantizationTables();
    return checked[JPEGSettings::LUMINANCE] ||
           ((checked[JPEGSettings::CHROMINANCE] || checked[2]) && !s.getGrayscaleOutput());
}

// What the controls are called and say in each arrangement; the row is
// terse, the column has room.
struct Words
{
    const char* baseline;
    const char* extended;
    const char* progressive;
    const char* huffman;
    const char* huffmanName;
    const char* grayscale;
    const char* grayscaleName;
    const char* smoothing;
    const char* smoothingName;
    const char* dct;
};

const Words columnWords = {"&Baseline",
                           "E&xtended",
                           "&Progressive",
                           "Optimize &Huffman",
                           "optimizeHuffmanCheck",
                           "&Grayscale output",
                           "grayscaleOutputCheck",
                           "Smoothing:",
                           "smoothSpin",
                           "DCT:"};
const Words rowWords = {"Baseline",      "Extended",  "Progressive",    "Huffman",
                        "huffmanCheck",  "Grayscale", "grayscaleCheck", "Smoothing",
                        "smoothingSpin", "DCT: "};

template <typename T> T* named(T* widget, const char* name, const char* toolTip = nullptr)
{
    widget->setObjectName(QLatin1String(name));
    if (toolTip)
        widget->setToolTip(QString::fromUtf8(toolTip));
    return widget;
}

QSpinBox* percentSpin(const char* name)
{
    auto* spin = named(new QSpinBox, name);
    spin->setRange(0, 100);
    // A value counts once typed: "75" is not a compression at 7 first.
    spin->setKeyboardTracking(false);
    return spin;
}

} // namespace

SettingsEditor::Enabled SettingsEditor::enabledFor(const JPEGSettings& settings)
{
    const bool automatic = settings.isAutoQualityEnabled();
    Enabled e;
    e.progressive = settings.getCompressionMode() != JPEGSettings::BASELINE;
    e.quality = automatic || customTablesUsed(settings);
    e.tables = e.downsampling = e.dct = !automatic;
    return e;
}

SettingsEditor::SettingsEditor(Arrangement arrangement, JPEGSettings& settings, QWidget* parent)
    : QWidget(parent), arrangement(arrangement), settings(settings)
{
    setObjectName(QStringLiteral("settingsEditor"));
    createControls();
    if (arrangement == Arrangement::Column)
        arrangeAsColumn();
    else
        arrangeAsRow();
    showSettings();
    connectControls();
}

void SettingsEditor::createControls()
{
    const Words& words = arrangement == Arrangement::Column ? columnWords : rowWords;
    baselineRadio = named(new QRadioButton(QString::fromUtf8(words.baseline)), "baselineRadio");
    extendedRadio = named(new QRadioButton(QString::fromUtf8(words.extended)), "extendedRadio");
    progressiveCheck = named(new QCheckBox(QString::fromUtf8(words.progressive)),
                             "progressiveCheck", "Create progressive JPEG");
    quantizationButton = named(new QPushButton(QStringLiteral("&Quantization")),
                               "quantizationButton", "Customize quantization tables");
    downsamplingButton = named(new QPushButton(QStringLiteral("&Downsampling")),
                               "downsamplingButton", "Customize components' downsampling");
    qualitySpin = percentSpin("qualitySpin");
    huffmanCheck = named(new QCheckBox(QString::fromUtf8(words.huffman)), words.huffmanName,
                         "Enable Huffman tables optimization");
    grayscaleCheck = named(new QCheckBox(QString::fromUtf8(words.grayscale)), words.grayscaleName,
                           "Create grayscale JPEG");
    dctLabel = new QLabel(QString::fromUtf8(words.dct));
    dctLabel->setToolTip(QStringLiteral("Choose DCT method"));
    dctCombo = named(new QComboBox, "dctCombo", "Choose DCT method");
    // In the order of JPEGSettings::DCTMethod.
    dctCombo->addItems({QStringLiteral("int"), QStringLiteral("fast"), QStringLiteral("float")});
    smoothingLabel = new QLabel(QString::fromUtf8(words.smoothing));
    smoothingLabel->setToolTip(QStringLiteral("Set smoothing level"));
    smoothingSpin = percentSpin(words.smoothingName);
    smoothingSpin->setToolTip(QStringLiteral("Set smoothing level"));
}

void SettingsEditor::arrangeAsColumn()
{
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(QMargins());
    auto* modeGroup = named(new QGroupBox(QStringLiteral("Mode")), "modeGroup");
    auto* modeLayout = new QVBoxLayout(modeGroup);
    modeLayout->addWidget(baselineRadio);
    modeLayout->addWidget(extendedRadio);
    modeLayout->addWidget(progressiveCheck);
    grid->addWidget(modeGroup, 0, 0, 1, 2);
    grid->addWidget(quantizationButton, 1, 0, 1, 2);
    grid->addWidget(downsamplingButton, 2, 0, 1, 2);

    // The quality scales whichever tables are written: the standard ones when
    // "Adjust quality" is on, the custom ones of the quantization editor when
    // it is off. So the spin box stays outside the group; its label says which.
    qualityGroup = named(new QGroupBox(QStringLiteral("Adjust q&uality")), "qualityGroup",
                         "Enable automatic quality setting");
    qualityGroup->setCheckable(true);
    auto* qualityLayout = new QVBoxLayout(qualityGroup);
    qualityLayout->addWidget(new QLabel(QStringLiteral("Standard tables\nscaled by the quality")));
    grid->addWidget(qualityGroup, 3, 0, 1, 2);
    qualityLabel = named(new QLabel, "qualityLabel");
    grid->addWidget(qualityLabel, 4, 0);
    grid->addWidget(qualitySpin, 4, 1);
    tableScalingLabel = named(new QLabel, "tableScalingLabel",
                              "Every table entry is multiplied by this percentage, rounded and "
                              "limited to 1…255 (baseline) or 1…32767 (extended)");
    tableScalingLabel->setWordWrap(true);
    // The label wraps within the column the other controls make; it never widens it.
    tableScalingLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    grid->addWidget(tableScalingLabel, 5, 0, 1, 2);

    grid->addWidget(huffmanCheck, 6, 0, 1, 2);
    grid->addWidget(grayscaleCheck, 7, 0, 1, 2);
    grid->addWidget(dctLabel, 8, 0);
    grid->addWidget(dctCombo, 8, 1);
    grid->addWidget(smoothingLabel, 9, 0);
    grid->addWidget(smoothingSpin, 9, 1);
}

void SettingsEditor::arrangeAsRow()
{
    auto* row = new QGridLayout(this);
    row->setContentsMargins(QMargins());
    auto* modeGroup = named(new QGroupBox, "modeGroup");
    auto* modeLayout = new QGridLayout(modeGroup);
    modeLayout->addWidget(baselineRadio, 0, 0);
    modeLayout->addWidget(extendedRadio, 1, 0);
    modeLayout->addWidget(progressiveCheck, 2, 0);
    row->addWidget(modeGroup, 0, 0, 2, 1);

    auto* codingGroup = named(new QGroupBox, "codingGroup");
    auto* codingLayout = new QGridLayout(codingGroup);
    codingLayout->addWidget(smoothingLabel, 0, 0);
    codingLayout->addWidget(smoothingSpin, 0, 1);
    codingLayout->addWidget(dctLabel, 1, 0);
    codingLayout->addWidget(dctCombo, 1, 1);
    row->addWidget(codingGroup, 0, 1, 2, 1);

    row->addWidget(quantizationButton, 0, 2);
    row->addWidget(downsamplingButton, 1, 2);

    qualityGroup = named(new QGroupBox(QStringLiteral("Quality")), "qualityGroup");
    auto* qualityLayout = new QGridLayout(qualityGroup);
    autoCheck = named(new QCheckBox(QStringLiteral("Auto")), "autoCheck",
                      "Enable automatic quality setting");
    qualityLayout->addWidget(autoCheck, 0, 0);
    qualityLayout->addWidget(qualitySpin, 1, 0);
    row->addWidget(qualityGroup, 0, 3, 2, 1);

    auto* miscGroup = named(new QGroupBox(QStringLiteral("Misc")), "miscGroup");
    auto* miscLayout = new QGridLayout(miscGroup);
    miscLayout->addWidget(huffmanCheck, 0, 0);
    miscLayout->addWidget(grayscaleCheck, 1, 0);
    row->addWidget(miscGroup, 0, 4, 2, 1);
}

void SettingsEditor::connectControls()
{
    connect(baselineRadio, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            setMode(true);
    });
    connect(extendedRadio, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            setMode(false);
    });
    // A flag's box; a partial state leaves the flag as it was.
    const auto flagBox = [this](QCheckBox* box, auto apply) {
        connect(box, &QCheckBox::stateChanged, this, [this, apply](int state) {
            apply(state);
            changed();
        });
    };
    using SettingsControls::flagForState;
    flagBox(progressiveCheck, [this](int state) {
        settings.setProgressiveMode(flagForState(state, settings.isProgressive()));
    });
    flagBox(huffmanCheck, [this](int state) {
        settings.setOptimizeHuffman(flagForState(state, settings.getOptimizeHuffman()));
    });
    flagBox(grayscaleCheck, [this](int state) {
        settings.setGrayscaleOutput(flagForState(state, settings.getGrayscaleOutput()));
    });
    if (autoCheck)
        connect(autoCheck, &QCheckBox::toggled, this, &SettingsEditor::setAutomatic);
    else
        connect(qualityGroup, &QGroupBox::toggled, this, &SettingsEditor::setAutomatic);
    connect(qualitySpin, &QSpinBox::valueChanged, this, [this](int value) {
        settings.setQuality(value);
        changed();
    });
    connect(smoothingSpin, &QSpinBox::valueChanged, this, [this](int value) {
        settings.setSmoothing(value);
        changed();
    });
    connect(dctCombo, &QComboBox::textActivated, this, &SettingsEditor::setDCTMethod);
    connect(quantizationButton, &QPushButton::clicked, this,
            &SettingsEditor::quantizationRequested);
    connect(downsamplingButton, &QPushButton::clicked, this,
            &SettingsEditor::downsamplingRequested);
}

void SettingsEditor::showSettings()
{
    const QSignalBlocker blockers[] = {
        QSignalBlocker(baselineRadio),    QSignalBlocker(extendedRadio),
        QSignalBlocker(progressiveCheck), QSignalBlocker(huffmanCheck),
        QSignalBlocker(grayscaleCheck),   QSignalBlocker(qualityGroup),
        QSignalBlocker(autoCheck),        QSignalBlocker(qualitySpin),
        QSignalBlocker(smoothingSpin),
    };
    const bool baseline = settings.getCompressionMode() == JPEGSettings::BASELINE;
    baselineRadio->setChecked(baseline);
    extendedRadio->setChecked(!baseline);
    // A row never shows a baseline entry's progressive flag.
    progressiveCheck->setChecked(settings.isProgressive() &&
                                 (arrangement == Arrangement::Column || !baseline));
    huffmanCheck->setChecked(settings.getOptimizeHuffman());
    grayscaleCheck->setChecked(settings.getGrayscaleOutput());
    if (autoCheck)
        autoCheck->setChecked(settings.isAutoQualityEnabled());
    else
        qualityGroup->setChecked(settings.isAutoQualityEnabled());
    qualitySpin->setValue(settings.getQuality());
    smoothingSpin->setValue(settings.getSmoothing());
    showDerived();
}

void SettingsEditor::showDerived()
{
    const Enabled enabled = enabledFor(settings);
    progressiveCheck->setEnabled(enabled.progressive);
    qualitySpin->setEnabled(enabled.quality);
    quantizationButton->setEnabled(enabled.tables);
    downsamplingButton->setEnabled(enabled.downsampling);
    dctCombo->setEnabled(enabled.dct);
    {
        // The method the encoder applies: integer under automatic quality.
        const QSignalBlocker block(dctCombo);
        dctCombo->setCurrentIndex(
            int(settings.isAutoQualityEnabled() ? JPEGSettings::INT : settings.getDCTMethod()));
    }
    showQualityText();
}

void SettingsEditor::showQualityText()
{
    const bool automatic = settings.isAutoQualityEnabled();
    const bool customUsed = customTablesUsed(settings);
    if (!automatic && !customUsed)
        qualitySpin->setToolTip(QStringLiteral("Not in use: no custom table is checked in the "
                                               "quantization editor"));
    else
        qualitySpin->setToolTip(automatic
                                    ? QStringLiteral("Quality that scales the standard tables")
                                    : QStringLiteral("Quality that scales the checked custom "
                                                     "tables of the quantization editor"));
    if (!qualityLabel)
        return;
    qualityLabel->setText(automatic ? QStringLiteral("Quality:")
                                    : QStringLiteral("Table quality:"));
    if (!automatic && !customUsed) {
        tableScalingLabel->setText(QStringLiteral("Custom tables not in use (none checked): "
                                                  "the library's tables at quality 75 are "
                                                  "written"));
        return;
    }
    const int scaling = JPEGCompressor::tableScaling(settings.getQuality());
    const QString tables =
        automatic ? QStringLiteral("standard tables") : QStringLiteral("custom tables");
    QString text =
        scaling == 0
            ? QStringLiteral("%1 → every entry of the %2 is 1")
                  .arg(settings.getQuality())
                  .arg(tables)
            : QStringLiteral("%1 → %2 × %3 %").arg(settings.getQuality()).arg(tables).arg(scaling);
    // One of the two written slots unchecked: that one is the library's.
    const bool* checked = settings.getCurrentQuantizationTables();
    if (!automatic && !settings.getGrayscaleOutput() &&
        checked[JPEGSettings::LUMINANCE] != checked[JPEGSettings::CHROMINANCE])
        text += checked[JPEGSettings::LUMINANCE]
                    ? QStringLiteral("; chrominance: the library's table at quality 75")
                    : QStringLiteral("; luminance: the library's table at quality 75");
    tableScalingLabel->setText(text);
}

void SettingsEditor::setDCTMethod(const QString& name)
{
    JPEGSettings::DCTMethod method;
    if (!SettingsControls::dctMethodNamed(name, method))
        return;
    settings.setDCTMethod(method);
    changed();
}

Qt::CheckState SettingsEditor::progressiveBoxState() const
{
    return progressiveCheck->checkState();
}

void SettingsEditor::restoreProgressiveBox(Qt::CheckState state)
{
    // The box only; the record keeps its flag.
    const QSignalBlocker block(progressiveCheck);
    progressiveCheck->setCheckState(state);
}

void SettingsEditor::setAutomatic(bool on)
{
    settings.setAutoQualityEnabled(on);
    changed();
}

void SettingsEditor::setMode(bool baseline)
{
    settings.setCompressionMode(baseline ? JPEGSettings::BASELINE : JPEGSettings::EXTENDED);
    changed();
}

void SettingsEditor::changed()
{
    showDerived();
    emit edited();
}
