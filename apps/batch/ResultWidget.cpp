// SPDX-License-Identifier: GPL-3.0-or-later
#include "ResultWidget.h"

#include "BatchViewer.h"
#include "CompressionResult.h"
#include "DownsamplingWindow.h"
#include "Figures.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "JPEGSettings.h"
#include "JpegFrame.h"
#include "QuantizationWindow.h"
#include "Report.h"
#include "SettingsControls.h"
#include "SettingsText.h"
#include "TableCatalogue.h"
#include "WheelGuard.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

namespace {

QString tablesTooltip()
{
    return QStringLiteral("Quantization tables the encoder writes, luminance / chrominance, named "
                          "as in the results table and the CSV: a table file's tables by the file "
                          "and their 0-based index there.");
}

// General format, six significant digits, C locale.
QString figure(double value)
{
    return QStringLiteral("%1").arg(value, 0, 'g', -1, QLatin1Char(' '));
}

// Whether two entries would compress alike: every field the encoder reads.
bool sameSettings(const JPEGSettings& a, const JPEGSettings& b)
{
    if (a.getCompressionMode() != b.getCompressionMode() || a.getDCTMethod() != b.getDCTMethod() ||
        a.getSmoothing() != b.getSmoothing() || a.getQuality() != b.getQuality() ||
        a.isProgressive() != b.isProgressive() || a.isInterleaved() != b.isInterleaved() ||
        a.getOptimizeHuffman() != b.getOptimizeHuffman() ||
        a.getGrayscaleOutput() != b.getGrayscaleOutput() ||
        a.isAutoQualityEnabled() != b.isAutoQualityEnabled() ||
        a.getMaxQuantizationTables() != b.getMaxQuantizationTables())
        return false;
    for (int i = 0; i < 4; ++i) {
        if (a.getCurrentQuantizationTables()[i] != b.getCurrentQuantizationTables()[i] ||
            a.qtables[i] != b.qtables[i] || a.downsampling[i] != b.downsampling[i])
            return false;
    }
    return true;
}

// Marks the panel busy while one of its dialogs runs.
class BusyScope
{
public:
    explicit BusyScope(bool& flag) : flag(flag) { flag = true; }
    ~BusyScope() { flag = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& flag;
};

} // namespace

ResultWidget::ResultWidget(ResultStat* stat, JPEGSettings* settings, QWidget* parent)
    : QWidget(parent), stat(stat), settings(settings), filePath(stat->fileName),
      compressed(*settings)
{
    create();
}

ResultWidget::~ResultWidget() = default;

void ResultWidget::setIndex(int index)
{
    numberLabel->setText(index >= 0 ? QString::number(index + 1) : QString());
}

void ResultWidget::setCatalogue(const TableCatalogue* names)
{
    catalogue = names;
    showTables();
}

void ResultWidget::setLabelTemplates(const QString& number, const QString& name,
                                     const QString& tables)
{
    numberLabel->setFixedWidth(numberLabel->fontMetrics().horizontalAdvance(number));
    const QFontMetrics metrics = fileLabel->fontMetrics();
    // Long names are cut in the middle; the tool tip has the whole path.
    // A pixel of slack: advances are rounded, and elision compares the
    // unrounded width.
    const int nameWidth =
        std::max(std::min(metrics.horizontalAdvance(name) + 1, 28 * metrics.averageCharWidth()),
                 metrics.averageCharWidth());
    fileLabel->setFixedWidth(nameWidth);
    fileLabel->setText(
        metrics.elidedText(Report::fileNamePart(filePath), Qt::ElideMiddle, nameWidth));
    tablesLabel->setFixedWidth(tablesLabel->fontMetrics().horizontalAdvance(tables) + 1);
    const QString times(QChar(0x00D7));
    const QString widestSampling =
        QStringLiteral("4") + times + QStringLiteral("4, 4") + times + QStringLiteral("4");
    samplingLabel->setFixedWidth(samplingLabel->fontMetrics().horizontalAdvance(widestSampling) +
                                 1);
    showTables();
}

void ResultWidget::create()
{
    setObjectName(QStringLiteral("resultWidget"));
    auto* grid = new QGridLayout(this);

    // Column 0: the file and the Show button.
    auto* imageGroup = new QGroupBox(QStringLiteral("Image"), this);
    imageGroup->setObjectName(QStringLiteral("imageGroup"));
    auto* imageLayout = new QGridLayout(imageGroup);
    numberLabel = new QLabel(imageGroup);
    numberLabel->setObjectName(QStringLiteral("numberLabel"));
    numberLabel->setToolTip(QStringLiteral("Row in the results and in the report"));
    numberLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont bold = numberLabel->font();
    bold.setBold(true);
    numberLabel->setFont(bold);
    fileLabel = new QLabel(Report::fileNamePart(filePath), imageGroup);
    fileLabel->setObjectName(QStringLiteral("fileLabel"));
    fileLabel->setToolTip(filePath);
    fileLabel->setTextFormat(Qt::PlainText);
    tablesLabel = new QLabel(imageGroup);
    tablesLabel->setObjectName(QStringLiteral("tablesLabel"));
    tablesLabel->setTextFormat(Qt::PlainText);
    showButton = new QPushButton(QStringLiteral("S&how"), imageGroup);
    showButton->setObjectName(QStringLiteral("showButton"));
    showButton->setToolTip(QStringLiteral("Original and compressed images"));
    imageLayout->addWidget(numberLabel, 0, 0);
    imageLayout->addWidget(fileLabel, 0, 1);
    samplingLabel = new QLabel(imageGroup);
    samplingLabel->setObjectName(QStringLiteral("samplingLabel"));
    samplingLabel->setTextFormat(Qt::PlainText);
    samplingLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    samplingLabel->setToolTip(
        QStringLiteral("Sampling factors the encoder applies, horizontal %1 vertical, of "
                       "components 0 (Y) and 1 (Cb)")
            .arg(QChar(0x00D7)));
    imageLayout->addWidget(tablesLabel, 1, 0, 1, 2);
    auto* showRow = new QHBoxLayout;
    showRow->addWidget(showButton);
    showRow->addStretch();
    showRow->addWidget(samplingLabel);
    imageLayout->addLayout(showRow, 2, 0, 1, 2);
    grid->addWidget(imageGroup, 0, 0, 2, 1);

    // Column 1: the mode.
    auto* modeGroup = new QGroupBox(this);
    modeGroup->setObjectName(QStringLiteral("modeGroup"));
    auto* modeLayout = new QGridLayout(modeGroup);
    baselineRadio = new QRadioButton(QStringLiteral("Baseline"), modeGroup);
    baselineRadio->setObjectName(QStringLiteral("baselineRadio"));
    extendedRadio = new QRadioButton(QStringLiteral("Extended"), modeGroup);
    extendedRadio->setObjectName(QStringLiteral("extendedRadio"));
    progressiveCheck = new QCheckBox(QStringLiteral("Progressive"), modeGroup);
    progressiveCheck->setObjectName(QStringLiteral("progressiveCheck"));
    progressiveCheck->setToolTip(QStringLiteral("Progressive JPEG"));
    modeLayout->addWidget(baselineRadio, 0, 0);
    modeLayout->addWidget(extendedRadio, 1, 0);
    modeLayout->addWidget(progressiveCheck, 2, 0);
    grid->addWidget(modeGroup, 0, 1, 2, 1);

    // Column 2: smoothing and DCT method.
    auto* codingGroup = new QGroupBox(this);
    codingGroup->setObjectName(QStringLiteral("codingGroup"));
    auto* codingLayout = new QGridLayout(codingGroup);
    auto* smoothingLabel = new QLabel(QStringLiteral("Smoothing"), codingGroup);
    smoothingSpin = new QSpinBox(codingGroup);
    smoothingSpin->setObjectName(QStringLiteral("smoothingSpin"));
    smoothingSpin->setRange(0, 100);
    smoothingLabel->setToolTip(QStringLiteral("Smoothing level"));
    smoothingSpin->setToolTip(QStringLiteral("Smoothing level"));
    auto* dctLabel = new QLabel(QStringLiteral("DCT: "), codingGroup);
    dctCombo = new QComboBox(codingGroup);
    dctCombo->setObjectName(QStringLiteral("dctCombo"));
    dctCombo->addItems({QStringLiteral("int"), QStringLiteral("fast"), QStringLiteral("float")});
    dctLabel->setToolTip(QStringLiteral("DCT method"));
    dctCombo->setToolTip(QStringLiteral("DCT method"));
    codingLayout->addWidget(smoothingLabel, 0, 0);
    codingLayout->addWidget(smoothingSpin, 0, 1);
    codingLayout->addWidget(dctLabel, 1, 0);
    codingLayout->addWidget(dctCombo, 1, 1);
    grid->addWidget(codingGroup, 0, 2, 2, 1);

    // Column 3: the two table dialogs.
    quantizationButton = new QPushButton(QStringLiteral("&Quantization"), this);
    quantizationButton->setObjectName(QStringLiteral("quantizationButton"));
    quantizationButton->setToolTip(QStringLiteral("Show quantization tables"));
    downsamplingButton = new QPushButton(QStringLiteral("&Downsampling"), this);
    downsamplingButton->setObjectName(QStringLiteral("downsamplingButton"));
    downsamplingButton->setToolTip(QStringLiteral("Components' downsampling"));
    grid->addWidget(quantizationButton, 0, 3);
    grid->addWidget(downsamplingButton, 1, 3);

    // Column 4: quality.
    qualityGroup = new QGroupBox(QStringLiteral("Quality"), this);
    qualityGroup->setObjectName(QStringLiteral("qualityGroup"));
    auto* qualityLayout = new QGridLayout(qualityGroup);
    autoCheck = new QCheckBox(QStringLiteral("Auto"), qualityGroup);
    autoCheck->setObjectName(QStringLiteral("autoCheck"));
    autoCheck->setToolTip(QStringLiteral("Automatic quality setting"));
    qualitySpin = new QSpinBox(qualityGroup);
    qualitySpin->setObjectName(QStringLiteral("qualitySpin"));
    qualitySpin->setRange(0, 100);
    qualitySpin->setToolTip(QStringLiteral("Automatic quality setting"));
    qualityLayout->addWidget(autoCheck, 0, 0);
    qualityLayout->addWidget(qualitySpin, 1, 0);
    grid->addWidget(qualityGroup, 0, 4, 2, 1);

    // Column 5: Huffman and output.
    auto* miscGroup = new QGroupBox(QStringLiteral("Misc"), this);
    miscGroup->setObjectName(QStringLiteral("miscGroup"));
    auto* miscLayout = new QGridLayout(miscGroup);
    huffmanCheck = new QCheckBox(QStringLiteral("Huffman"), miscGroup);
    huffmanCheck->setObjectName(QStringLiteral("huffmanCheck"));
    huffmanCheck->setToolTip(QStringLiteral("Huffman tables optimization"));
    grayscaleCheck = new QCheckBox(QStringLiteral("Grayscale"), miscGroup);
    grayscaleCheck->setObjectName(QStringLiteral("grayscaleCheck"));
    grayscaleCheck->setToolTip(QStringLiteral("Grayscale JPEG"));
    miscLayout->addWidget(huffmanCheck, 0, 0);
    miscLayout->addWidget(grayscaleCheck, 1, 0);
    grid->addWidget(miscGroup, 0, 5, 2, 1);

    // Columns 6 and 7 stay empty; column 8: the figures.
    grid->addWidget(createStats(), 0, 8, 2, 1);

    loadControls();

    connect(showButton, &QPushButton::clicked, this, &ResultWidget::showImage);
    connect(baselineRadio, &QRadioButton::toggled, this, &ResultWidget::setBaselineMode);
    connect(extendedRadio, &QRadioButton::toggled, this, &ResultWidget::setExtendedMode);
    connect(progressiveCheck, &QCheckBox::stateChanged, this, &ResultWidget::setProgressiveMode);
    connect(smoothingSpin, &QSpinBox::valueChanged, this, &ResultWidget::setSmoothing);
    connect(dctCombo, &QComboBox::textActivated, this, &ResultWidget::setDCTMethod);
    connect(quantizationButton, &QPushButton::clicked, this, &ResultWidget::showQuantizationWindow);
    connect(downsamplingButton, &QPushButton::clicked, this, &ResultWidget::showDownsamplingWindow);
    connect(autoCheck, &QCheckBox::toggled, this, &ResultWidget::setQualityEnabled);
    connect(qualitySpin, &QSpinBox::valueChanged, this, &ResultWidget::setQuality);
    connect(huffmanCheck, &QCheckBox::stateChanged, this, &ResultWidget::setOptimizeHuffman);
    connect(grayscaleCheck, &QCheckBox::stateChanged, this, &ResultWidget::setGrayscaleOutput);

    // The list scrolls under the wheel; a field takes it only with the focus.
    WheelGuard::protect(this);
    showFigures();
    showTables();
}

void ResultWidget::loadControls()
{
    const bool wasLoading = loading;
    loading = true;
    {
        const QSignalBlocker blockers[] = {
            QSignalBlocker(dctCombo),       QSignalBlocker(baselineRadio),
            QSignalBlocker(extendedRadio),  QSignalBlocker(progressiveCheck),
            QSignalBlocker(huffmanCheck),   QSignalBlocker(autoCheck),
            QSignalBlocker(qualitySpin),    QSignalBlocker(smoothingSpin),
            QSignalBlocker(grayscaleCheck),
        };
        showDctMethod();
        const bool baseline = settings->getCompressionMode() == JPEGSettings::BASELINE;
        baselineRadio->setChecked(baseline);
        extendedRadio->setChecked(!baseline);
        // A baseline entry never shows its progressive flag.
        progressiveCheck->setChecked(!baseline && settings->isProgressive());
        progressiveCheck->setEnabled(!baseline);
        huffmanCheck->setChecked(settings->getOptimizeHuffman());
        autoCheck->setChecked(settings->isAutoQualityEnabled());
        qualitySpin->setValue(settings->getQuality());
        smoothingSpin->setValue(settings->getSmoothing());
        grayscaleCheck->setChecked(settings->getGrayscaleOutput());
    }
    enableEditing();
    loading = wasLoading;
}

QGroupBox* ResultWidget::createStats()
{
    auto* statsGroup = new QGroupBox(QStringLiteral("Stats"), this);
    statsGroup->setObjectName(QStringLiteral("statsGroup"));
    auto* statsLayout = new QGridLayout(statsGroup);
    // Room for the widest figure the general format gives, so panels keep
    // one width whatever their figures.
    const int valueWidth = fontMetrics().horizontalAdvance(QStringLiteral("-8.88888e+88"));
    const struct
    {
        const char* name;
        const char* caption;
        const char* toolTip;
        int row;
        int column;
        QLabel** value;
    } figures[] = {
        {"cr", "CR: ", "<b>Compression rate</b>: source size / compressed size", 0, 0, &crLabel},
        {"cp", "CP: ", "<b>Compression percentage</b>: (1 - 1/CR)*100%", 0, 2, &cpLabel},
        {"br", "BR: ", "<b>Bit rate</b>: 8 * compressed size / (width * height)", 1, 0, &brLabel},
        {"mse", "MSE: ", "<b>Mean square error", 1, 2, &mseLabel},
        {"psnr", "PSNR: ", Figures::info(Figure::PSNR).definition, 2, 0, &psnrLabel},
        {"ssim", "SSIM: ", Figures::info(Figure::SSIM).definition, 2, 2, &ssimLabel},
        {"ssimulacra2", "SSIMULACRA 2: ", Figures::info(Figure::SSIMULACRA2).definition, 3, 0,
         &ssimulacra2Label},
        {"butteraugli", "Butteraugli: ", Figures::info(Figure::Butteraugli).definition, 3, 2,
         &butteraugliLabel},
    };
    for (const auto& f : figures) {
        auto* caption = new QLabel(QLatin1String(f.caption), statsGroup);
        caption->setObjectName(QLatin1String(f.name) + QLatin1String("TextLabel"));
        caption->setToolTip(QString::fromUtf8(f.toolTip));
        auto* value = new QLabel(statsGroup);
        value->setObjectName(QLatin1String(f.name) + QLatin1String("Label"));
        value->setToolTip(QString::fromUtf8(f.toolTip));
        value->setMinimumWidth(valueWidth);
        statsLayout->addWidget(caption, f.row, f.column);
        statsLayout->addWidget(value, f.row, f.column + 1);
        *f.value = value;
    }
    // In the Butteraugli value's place until it is measured.
    measure = new QPushButton(QStringLiteral("Measure"), statsGroup);
    measure->setObjectName(QStringLiteral("butteraugliMeasureButton"));
    measure->setToolTip(QStringLiteral("Recompress and measure SSIMULACRA 2 and the "
                                       "Butteraugli distances (maximum / 3-norm) now; takes "
                                       "a while"));
    connect(measure, &QPushButton::clicked, this, &ResultWidget::measureButteraugli);
    statsLayout->addWidget(measure, 3, 3);
    return statsGroup;
}

void ResultWidget::showFigures()
{
    crLabel->setText(figure(stat->compressionRate));
    cpLabel->setText(figure(stat->compressionPercentage));
    brLabel->setText(figure(stat->bitRate));
    mseLabel->setText(figure(stat->mse));
    psnrLabel->setText(Figures::screenText(Figure::PSNR, stat->psnr));
    ssimLabel->setText(Figures::screenText(Figure::SSIM, stat->ssim));
    const auto measuredText = [](Figure f, double value) {
        return std::isnan(value) ? QStringLiteral("not yet") : Figures::screenText(f, value);
    };
    ssimulacra2Label->setText(measuredText(Figure::SSIMULACRA2, stat->ssimulacra2));
    const bool measured = !std::isnan(stat->butteraugli);
    measure->setVisible(!measured);
    butteraugliLabel->setVisible(measured);
    butteraugliLabel->setText(
        !measured ? QString()
                  : QStringLiteral("%1 / %2").arg(
                        Figures::screenText(Figure::Butteraugli, stat->butteraugli),
                        Figures::screenText(Figure::Butteraugli3Norm, stat->butteraugli3Norm)));
}

void ResultWidget::measureButteraugli()
{
    const BusyScope scope(busy);
    std::unique_ptr<Image> image;
    std::unique_ptr<CompressionResult> result;
    if (!compress(image, result, QString()))
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    stat->butteraugli = result->getButteraugli();
    stat->butteraugli3Norm = result->getButteraugli3Norm();
    QApplication::restoreOverrideCursor();
    showFigures();
    emit resultChanged();
}

Qt::CheckState ResultWidget::progressiveBoxState() const
{
    return progressiveCheck->checkState();
}

void ResultWidget::restoreProgressiveBox(Qt::CheckState state)
{
    // The box only; the entry keeps its flag.
    const bool blocked = progressiveCheck->blockSignals(true);
    progressiveCheck->setCheckState(state);
    progressiveCheck->blockSignals(blocked);
}

void ResultWidget::enableEditing()
{
    dctCombo->setEnabled(true);
    quantizationButton->setEnabled(true);
    downsamplingButton->setEnabled(true);
    qualityGroup->setEnabled(true);
    smoothingSpin->setEnabled(true);
    setQualityEnabled(settings->isAutoQualityEnabled());
}

void ResultWidget::setBaselineMode(bool set)
{
    if (!set)
        return;
    progressiveCheck->setEnabled(false);
    settings->setCompressionMode(JPEGSettings::BASELINE);
    enableEditing();
    settingsEdited();
}

void ResultWidget::setExtendedMode(bool set)
{
    if (!set)
        return;
    progressiveCheck->setEnabled(true);
    settings->setCompressionMode(JPEGSettings::EXTENDED);
    enableEditing();
    settingsEdited();
}

void ResultWidget::setProgressiveMode(int state)
{
    settings->setProgressiveMode(SettingsControls::flagForState(state, settings->isProgressive()));
    settingsEdited();
}

void ResultWidget::setInterleavedMode(int state)
{
    settings->setInterleavedMode(SettingsControls::flagForState(state, settings->isInterleaved()));
    settingsEdited();
}

void ResultWidget::setOptimizeHuffman(int state)
{
    settings->setOptimizeHuffman(
        SettingsControls::flagForState(state, settings->getOptimizeHuffman()));
    settingsEdited();
}

void ResultWidget::setGrayscaleOutput(int state)
{
    settings->setGrayscaleOutput(
        SettingsControls::flagForState(state, settings->getGrayscaleOutput()));
    settingsEdited();
}

void ResultWidget::setSmoothing(int value)
{
    settings->setSmoothing(value);
    settingsEdited();
}

void ResultWidget::setDCTMethod(const QString& text)
{
    JPEGSettings::DCTMethod method;
    if (SettingsControls::dctMethodNamed(text, method))
        settings->setDCTMethod(method);
    settingsEdited();
}

void ResultWidget::setQualityEnabled(bool set)
{
    // With automatic quality the encoder uses neither custom tables, nor the
    // DCT choice, nor the sampling factors.
    settings->setAutoQualityEnabled(set);
    qualitySpin->setEnabled(set);
    quantizationButton->setEnabled(!set);
    downsamplingButton->setEnabled(!set);
    dctCombo->setEnabled(!set);
    {
        const QSignalBlocker block(dctCombo);
        showDctMethod();
    }
    settingsEdited();
}

void ResultWidget::showDctMethod()
{
    // What the encoder applies: integer under automatic quality.
    dctCombo->setCurrentText(SettingsText::dct(*settings));
}

void ResultWidget::setQuality(int value)
{
    settings->setQuality(value);
    settingsEdited();
}

void ResultWidget::showQuantizationWindow()
{
    const BusyScope scope(busy);
    std::unique_ptr<QuantizationWindow> window(new QuantizationWindow(this));
    window->setSettings(settings);
    window->updateEditables(false);
    window->updateUI();
    window->exec();
    window.reset();
    settingsEdited();
}

void ResultWidget::showDownsamplingWindow()
{
    const BusyScope scope(busy);
    std::unique_ptr<DownsamplingWindow> window(new DownsamplingWindow(this));
    window->setSettings(settings);
    window->updateEditables(false);
    window->updateUI();
    window->exec();
    window.reset();
    settingsEdited();
}

void ResultWidget::showError(const QString& message)
{
    QMessageBox::critical(this, QStringLiteral("Error"), message, QMessageBox::Ok);
}

void ResultWidget::showTables()
{
    // An edit may give a longer name than the run's widest: cut short, with
    // the whole text in the tool tip.
    const QString text = catalogue ? catalogue->describe(*settings) : QString();
    const bool sized = tablesLabel->maximumWidth() < QWIDGETSIZE_MAX;
    tablesLabel->setText(sized ? tablesLabel->fontMetrics().elidedText(text, Qt::ElideRight,
                                                                       tablesLabel->maximumWidth())
                               : text);
    tablesLabel->setToolTip(tablesTooltip() + QStringLiteral("\n\n") + text);
    samplingLabel->setText(TableCatalogue::sampling(*settings));
}

bool ResultWidget::compress(std::unique_ptr<Image>& image,
                            std::unique_ptr<CompressionResult>& result, const QString& failureNote)
{
    const QString path = filePath.toHtmlEscaped();
    const QString note = failureNote.isEmpty() ? QString() : QStringLiteral("<br>") + failureNote;
    try {
        image.reset(new Image(QFile::encodeName(filePath).toStdString()));
        if (!image->getRGB24Buffer()) {
            QString message = QStringLiteral("Couldn't load the picture<br>%1").arg(path);
            if (!image->getLoadMessage().isEmpty())
                message += QStringLiteral("<br>") + image->getLoadMessage().toHtmlEscaped();
            showError(message + note);
            return false;
        }
        JPEGCompressor compressor;
        *compressor.getSettings() = *settings;
        compressor.setImage(image.get());
        result.reset(compressor.compressImage());
        if (!result) {
            showError(QStringLiteral("Couldn't compress the picture<br>%1<br>%2")
                          .arg(path, compressor.lastError().toHtmlEscaped()) +
                      note);
            return false;
        }
    } catch (const std::bad_alloc&) {
        result.reset();
        image.reset();
        showError(QStringLiteral("Not enough memory to compress the picture<br>%1").arg(path) +
                  note);
        return false;
    }

    stat->mse = result->getMSE();
    stat->compressionPercentage = result->getCompressionPercentage();
    stat->compressionRate = result->getCompressionRate();
    stat->bitRate = result->getBitRate();
    stat->fileName = result->getFileName();
    // The file is another one now: its size and sampling as written; this
    // compression is not timed.
    stat->jpegBytes = (unsigned long long)result->getCompressedSize();
    stat->sampling = JpegFrame::sampling(result->getCompressedBytes());
    stat->encodeMs = stat->decodeMs = std::nan("");
    compressed = *settings;
    // The quality figures too, every one: the viewer measures them anyway.
    FigureSet wanted = FigureSet::standard();
    wanted.insert(Figure::SSIMULACRA2);
    const ResultStat measured(*result, wanted);
    stat->psnr = measured.psnr;
    stat->psnrY = measured.psnrY;
    stat->psnrCb = measured.psnrCb;
    stat->psnrCr = measured.psnrCr;
    stat->ssim = measured.ssim;
    stat->msSsim = measured.msSsim;
    stat->ssimulacra2 = measured.ssimulacra2;
    showFigures();
    showTables();
    return true;
}

void ResultWidget::settingsEdited()
{
    if (loading || sameSettings(*settings, compressed))
        return;
    const BusyScope scope(busy);
    std::unique_ptr<Image> image;
    std::unique_ptr<CompressionResult> result;
    if (compress(image, result,
                 QStringLiteral("The settings are back as they were, beside their figures."))) {
        emit resultChanged();
        return;
    }
    *settings = compressed;
    loadControls();
    showTables();
}

void ResultWidget::showImage()
{
    const BusyScope scope(busy);
    const bool edited = !sameSettings(*settings, compressed);
    std::unique_ptr<Image> image;
    std::unique_ptr<CompressionResult> result;
    if (!compress(image, result, QString()))
        return;
    if (edited)
        emit resultChanged();

    try {
        // The viewer wraps the pictures' buffers: it goes before they do.
        const std::unique_ptr<BatchViewer> viewer(new BatchViewer(this));
        viewer->setModal(true);
        // A large window that the screen holds whole.
        if (const QScreen* screen = viewer->screen()) {
            const QRect room = screen->availableGeometry();
            viewer->resize(std::min(1100, room.width() * 9 / 10),
                           std::min(760, room.height() * 9 / 10));
            viewer->move(room.left() + (room.width() - viewer->width()) / 2,
                         room.top() + (room.height() - viewer->height()) / 2);
        }
        viewer->updateImage(image.get());
        viewer->updateCompressed(result.get());
        viewer->exec();
    } catch (const std::bad_alloc&) {
        showError(QStringLiteral("Not enough memory to show the pictures<br>%1")
                      .arg(filePath.toHtmlEscaped()));
    }
}
