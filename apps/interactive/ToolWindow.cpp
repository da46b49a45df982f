// SPDX-License-Identifier: GPL-3.0-or-later
#include "ToolWindow.h"

#include "BitBreakdown.h"
#include "CompressionHistory.h"
#include "CompressionResult.h"
#include "DataFiles.h"
#include "DataIcons.h"
#include "DownsamplingWindow.h"
#include "FileDrops.h"
#include "HelpWindow.h"
#include "HistoryCompare.h"
#include "HistoryPanel.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "JpegPropertiesWindow.h"
#include "LiveCompression.h"
#include "MainWindow.h"
#include "MemoryBudget.h"
#include "PictureFormats.h"
#include "Preferences.h"
#include "QualityMetrics.h"
#include "QuantizationWindow.h"
#include "RecentFilesMenu.h"
#include "SaveJpeg.h"
#include "SettingsControls.h"
#include "WindowState.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <new>

namespace {

// Text for a rich-text message box: escaped, its line breaks kept.
QString htmlLines(const QString& text)
{
    return text.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>"));
}

} // namespace

ToolWindow::ToolWindow(JPEGCompressor& jpegCompressor, QWidget* parent)
    : QDialog(parent), settings(jpegCompressor.getSettings()), compressor(jpegCompressor)
{
    create();
}

ToolWindow::~ToolWindow()
{
    // No job may use the picture deleted below.
    live->cancel();
    delete result;
    delete compressor.getImage();
    compressor.setImage(nullptr);
    delete quantizationWindow;
    delete downsamplingWindow;
}

void ToolWindow::create()
{
    setWindowTitle(QStringLiteral("Tools"));
    setWindowIcon(DataFiles::icon("pack"));
    // The controls scroll when the screen is short; the history beside them
    // takes the rest of the width the window is given.
    controls = new QWidget;
    controls->setObjectName(QStringLiteral("toolControls"));
    auto* grid = new QGridLayout(controls);

    auto* modeGroup = new QGroupBox(QStringLiteral("Mode"));
    auto* modeLayout = new QVBoxLayout(modeGroup);
    baselineRadio = new QRadioButton(QStringLiteral("&Baseline"));
    baselineRadio->setObjectName(QStringLiteral("baselineRadio"));
    extendedRadio = new QRadioButton(QStringLiteral("E&xtended"));
    extendedRadio->setObjectName(QStringLiteral("extendedRadio"));
    progressiveCheck = new QCheckBox(QStringLiteral("&Progressive"));
    progressiveCheck->setObjectName(QStringLiteral("progressiveCheck"));
    progressiveCheck->setToolTip(QStringLiteral("Create progressive JPEG"));
    modeLayout->addWidget(baselineRadio);
    modeLayout->addWidget(extendedRadio);
    modeLayout->addWidget(progressiveCheck);
    grid->addWidget(modeGroup, 0, 0, 1, 2);

    quantizationButton = new QPushButton(QStringLiteral("&Quantization"));
    quantizationButton->setObjectName(QStringLiteral("quantizationButton"));
    quantizationButton->setToolTip(QStringLiteral("Customize quantization tables"));
    grid->addWidget(quantizationButton, 1, 0, 1, 2);
    downsamplingButton = new QPushButton(QStringLiteral("&Downsampling"));
    downsamplingButton->setObjectName(QStringLiteral("downsamplingButton"));
    downsamplingButton->setToolTip(QStringLiteral("Customize components' downsampling"));
    grid->addWidget(downsamplingButton, 2, 0, 1, 2);

    // The quality scales whichever tables are written: the standard ones when
    // "Adjust q&uality" is on, the custom ones of the quantization editor when
    // it is off. So the spin box stays usable either way; its label says which.
    qualityGroup = new QGroupBox(QStringLiteral("Adjust q&uality"));
    qualityGroup->setObjectName(QStringLiteral("qualityGroup"));
    qualityGroup->setCheckable(true);
    qualityGroup->setToolTip(QStringLiteral("Enable automatic quality setting"));
    auto* qualityLayout = new QVBoxLayout(qualityGroup);
    auto* standardLabel = new QLabel(QStringLiteral("Standard tables\nscaled by the quality"));
    qualityLayout->addWidget(standardLabel);
    grid->addWidget(qualityGroup, 3, 0, 1, 2);
    qualityLabel = new QLabel;
    qualityLabel->setObjectName(QStringLiteral("qualityLabel"));
    qualitySpin = new QSpinBox;
    qualitySpin->setObjectName(QStringLiteral("qualitySpin"));
    qualitySpin->setRange(0, 100);
    // A value counts once typed: "75" is not a compression at 7 first.
    qualitySpin->setKeyboardTracking(false);
    grid->addWidget(qualityLabel, 4, 0);
    grid->addWidget(qualitySpin, 4, 1);
    tableScalingLabel = new QLabel;
    tableScalingLabel->setObjectName(QStringLiteral("tableScalingLabel"));
    tableScalingLabel->setWordWrap(true);
    // The label wraps within the column the other controls make; it never widens it.
    tableScalingLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    tableScalingLabel->setToolTip(
        QStringLiteral("Every table entry is multiplied by this percentage, rounded and "
                       "limited to 1…255 (baseline) or 1…32767 (extended)"));
    grid->addWidget(tableScalingLabel, 5, 0, 1, 2);

    optimizeHuffmanCheck = new QCheckBox(QStringLiteral("Optimize &Huffman"));
    optimizeHuffmanCheck->setObjectName(QStringLiteral("optimizeHuffmanCheck"));
    optimizeHuffmanCheck->setToolTip(QStringLiteral("Enable Huffman tables optimization"));
    grid->addWidget(optimizeHuffmanCheck, 6, 0, 1, 2);
    grayscaleOutputCheck = new QCheckBox(QStringLiteral("&Grayscale output"));
    grayscaleOutputCheck->setObjectName(QStringLiteral("grayscaleOutputCheck"));
    grayscaleOutputCheck->setToolTip(QStringLiteral("Create grayscale JPEG"));
    grid->addWidget(grayscaleOutputCheck, 7, 0, 1, 2);

    auto* dctLabel = new QLabel(QStringLiteral("DCT:"));
    dctLabel->setToolTip(QStringLiteral("Choose DCT method"));
    dctCombo = new QComboBox;
    dctCombo->setObjectName(QStringLiteral("dctCombo"));
    dctCombo->addItems({QStringLiteral("int"), QStringLiteral("fast"), QStringLiteral("float")});
    dctCombo->setToolTip(QStringLiteral("Choose DCT method"));
    grid->addWidget(dctLabel, 8, 0);
    grid->addWidget(dctCombo, 8, 1);

    auto* smoothLabel = new QLabel(QStringLiteral("Smoothing:"));
    smoothLabel->setToolTip(QStringLiteral("Set smoothing level"));
    smoothSpin = new QSpinBox;
    smoothSpin->setObjectName(QStringLiteral("smoothSpin"));
    smoothSpin->setRange(0, 100);
    smoothSpin->setKeyboardTracking(false);
    smoothSpin->setToolTip(QStringLiteral("Set smoothing level"));
    grid->addWidget(smoothLabel, 9, 0);
    grid->addWidget(smoothSpin, 9, 1);

    compressButton = new QPushButton(QStringLiteral("&Compress"));
    compressButton->setObjectName(QStringLiteral("compressButton"));
    compressButton->setToolTip(QStringLiteral("Start compression"));
    compressButton->setDefault(true);
    compressButton->setEnabled(false);
    grid->addWidget(compressButton, 10, 0, 1, 2);
    propertiesButton = new QPushButton(QStringLiteral("JPEG properties…"));
    propertiesButton->setObjectName(QStringLiteral("propertiesButton"));
    propertiesButton->setToolTip(QStringLiteral("How the opened JPEG file was made"));
    propertiesButton->setVisible(false);
    grid->addWidget(propertiesButton, 11, 0, 1, 2);
    liveCheck = new QCheckBox(QStringLiteral("Live"));
    liveCheck->setObjectName(QStringLiteral("liveCheck"));
    liveCheck->setToolTip(QStringLiteral("Recompress after every change of a setting"));
    liveCheck->setChecked(true);
    grid->addWidget(liveCheck, 12, 0);
    historyCheck = new QCheckBox(QStringLiteral("History"));
    historyCheck->setObjectName(QStringLiteral("historyCheck"));
    historyCheck->setToolTip(QStringLiteral("Show the list of this picture's compressions"));
    historyCheck->setChecked(true);
    grid->addWidget(historyCheck, 12, 1);
    liveStatus = new QLabel;
    liveStatus->setObjectName(QStringLiteral("liveStatus"));
    liveStatus->setWordWrap(true);
    liveStatus->setStyleSheet(QStringLiteral("color: #b00000"));
    grid->addWidget(liveStatus, 13, 0, 1, 2);
    breakdownCheck = new QCheckBox(QStringLiteral("Where the bytes go"));
    breakdownCheck->setObjectName(QStringLiteral("breakdownCheck"));
    breakdownCheck->setToolTip(QStringLiteral("Show how the compressed file's size splits into "
                                              "headers, tables and each component's DC and AC "
                                              "bits"));
    grid->addWidget(breakdownCheck, 14, 0, 1, 2);
    breakdown = new QLabel;
    breakdown->setObjectName(QStringLiteral("bitBreakdown"));
    breakdown->setTextFormat(Qt::RichText);
    breakdown->setTextInteractionFlags(Qt::TextSelectableByMouse);
    breakdown->hide();
    grid->addWidget(breakdown, 15, 0, 1, 2);
    connect(breakdownCheck, &QCheckBox::toggled, this, [this](bool on) {
        breakdown->setVisible(on);
        updateBreakdown();
    });
    live = new LiveCompression(this);
    // The history stands beside the controls, as tall as they are.
    history = new CompressionHistory(CompressionHistory::defaultByteCap, this);
    historyPanel = new HistoryPanel(*history);
    grid->setRowStretch(16, 1);
    auto* outer = new QHBoxLayout(this);
    QScrollArea* controlsArea = WindowState::scrolling(controls);
    controlsArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    controlsArea->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    outer->addWidget(controlsArea);
    outer->addWidget(historyPanel, 1);
    compare = new HistoryCompare(this);
    connect(historyCheck, &QCheckBox::toggled, historyPanel, &QWidget::setVisible);

    auto* menuBar = new QMenuBar(this);
    QMenu* fileMenu = menuBar->addMenu(QStringLiteral("&File"));
    QAction* openAction = fileMenu->addAction(QStringLiteral("&Open"));
    openAction->setObjectName(QStringLiteral("openAction"));
    openAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    recentFilesMenu = new RecentFilesMenu(this);
    fileMenu->addMenu(recentFilesMenu);
    saveAsAction = fileMenu->addAction(QStringLiteral("Save &as"));
    saveAsAction->setObjectName(QStringLiteral("saveAsAction"));
    saveAsAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    saveAsAction->setEnabled(false);
    propertiesAction = fileMenu->addAction(QStringLiteral("JPEG properties…"));
    propertiesAction->setObjectName(QStringLiteral("propertiesAction"));
    propertiesAction->setEnabled(false);
    fileMenu->addSeparator();
    QAction* resetAction = fileMenu->addAction(QStringLiteral("&Reset to defaults"));
    resetAction->setObjectName(QStringLiteral("resetAction"));
    fileMenu->addSeparator();
    QAction* quitAction = fileMenu->addAction(QStringLiteral("&Quit"));
    quitAction->setObjectName(QStringLiteral("quitAction"));
    quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    QMenu* helpMenu = menuBar->addMenu(QStringLiteral("&Help"));
    QAction* helpAction = helpMenu->addAction(QStringLiteral("JPEG &Help"));
    helpAction->setObjectName(QStringLiteral("helpAction"));
    helpAction->setShortcut(QKeySequence(Qt::Key_F1));
    QAction* aboutAction = helpMenu->addAction(QStringLiteral("&About"));
    aboutAction->setObjectName(QStringLiteral("aboutAction"));
    outer->setMenuBar(menuBar);

    quantizationWindow = new QuantizationWindow(*settings, nullptr);
    downsamplingWindow = new DownsamplingWindow(*settings, nullptr);
    propertiesWindow = new JpegPropertiesWindow(this);
    helpWindow = new HelpWindow(this);
    helpWindow->setModal(true);
    helpWindow->setHtml(
        QFile::encodeName(DataFiles::find(QStringLiteral("doc/help.html"))).toStdString());
    helpWindow->resize(400, 300);
    aboutWindow = new HelpWindow(this);
    aboutWindow->setModal(true);
    aboutWindow->setWindowTitle(QStringLiteral("About"));
    aboutWindow->setHtml(
        QFile::encodeName(DataFiles::find(QStringLiteral("doc/about.html"))).toStdString());

    connect(qualityGroup, &QGroupBox::toggled, this, &ToolWindow::setQualityEnabled);
    connect(qualitySpin, &QSpinBox::valueChanged, this, &ToolWindow::setQuality);
    connect(optimizeHuffmanCheck, &QCheckBox::stateChanged, this, &ToolWindow::setOptimizeHuffman);
    connect(grayscaleOutputCheck, &QCheckBox::stateChanged, this, &ToolWindow::setGrayscaleOutput);
    connect(progressiveCheck, &QCheckBox::stateChanged, this, &ToolWindow::setProgressiveMode);
    connect(baselineRadio, &QRadioButton::toggled, this, &ToolWindow::setBaselineMode);
    connect(extendedRadio, &QRadioButton::toggled, this, &ToolWindow::setExtendedMode);
    connect(smoothSpin, &QSpinBox::valueChanged, this, &ToolWindow::setSmoothing);
    connect(dctCombo, &QComboBox::textActivated, this, &ToolWindow::setDCTMethod);
    connect(compressButton, &QPushButton::clicked, this, &ToolWindow::compressImage);
    connect(quantizationButton, &QPushButton::clicked, this, &ToolWindow::showQuantizationWindow);
    connect(downsamplingButton, &QPushButton::clicked, this, &ToolWindow::showDownsamplingWindow);
    // Live recompression follows the record: connected after the setters.
    const auto changed = [this] { settingsChanged(); };
    connect(qualityGroup, &QGroupBox::toggled, this, changed);
    connect(qualitySpin, &QSpinBox::valueChanged, this, changed);
    connect(optimizeHuffmanCheck, &QCheckBox::stateChanged, this, changed);
    connect(grayscaleOutputCheck, &QCheckBox::stateChanged, this, changed);
    connect(progressiveCheck, &QCheckBox::stateChanged, this, changed);
    connect(baselineRadio, &QRadioButton::toggled, this, changed);
    connect(smoothSpin, &QSpinBox::valueChanged, this, changed);
    connect(dctCombo, &QComboBox::textActivated, this, changed);
    connect(liveCheck, &QCheckBox::toggled, this, changed);
    for (QDialog* dialog :
         {static_cast<QDialog*>(quantizationWindow), static_cast<QDialog*>(downsamplingWindow)}) {
        if (auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("okButton")))
            connect(ok, &QPushButton::clicked, this, [this] {
                updateQualityLabels();
                settingsChanged();
            });
    }
    connect(live, &LiveCompression::compressed, this,
            [this](CompressionResult* next, const QString& error, double encodingMs) {
                showResult(next, error, true);
                remember(encodingMs);
            });
    connect(live, &LiveCompression::decoded, this,
            [this](CompressionResult* next, const QString& error) {
                showResult(next, error, true);
                nameShown(next ? pendingNumber : 0);
            });
    connect(historyPanel, &HistoryPanel::showRequested, this, &ToolWindow::showHistoryEntry);
    connect(historyPanel, &HistoryPanel::compareRequested, this,
            &ToolWindow::compareHistoryEntries);
    connect(historyPanel, &HistoryPanel::restoreRequested, this,
            &ToolWindow::restoreHistorySettings);
    connect(compare, &HistoryCompare::shown, this, [this](const QString& error) {
        if (!error.isEmpty())
            report(false, error.toHtmlEscaped());
    });
    connect(propertiesAction, &QAction::triggered, this, &ToolWindow::showJpegProperties);
    connect(propertiesButton, &QPushButton::clicked, this, &ToolWindow::showJpegProperties);
    connect(propertiesWindow, &JpegPropertiesWindow::useSettingsRequested, this,
            &ToolWindow::useJpegSettings);
    connect(openAction, &QAction::triggered, this, &ToolWindow::openFile);
    connect(saveAsAction, &QAction::triggered, this, &ToolWindow::saveAs);
    connect(quitAction, &QAction::triggered, this, &ToolWindow::quit);
    connect(helpAction, &QAction::triggered, this, &ToolWindow::showHelpWindow);
    connect(aboutAction, &QAction::triggered, this, &ToolWindow::showAboutWindow);
    updateQualityLabels();
    connect(resetAction, &QAction::triggered, this, &ToolWindow::resetToDefaults);
    connect(recentFilesMenu, &RecentFilesMenu::fileChosen, this, &ToolWindow::openImageFile);
    setAcceptDrops(true);
    // The controls never need a horizontal scroll bar: the widest of them
    // (the table label wraps) plus room for the vertical one.
    controls->adjustSize();
    controlsArea->setFixedWidth(controls->sizeHint().width() +
                                controlsArea->verticalScrollBar()->sizeHint().width());
}

void ToolWindow::showBeside(MainWindow& viewer)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    constexpr int gap = 8;
    const QSize wanted = sizeHint();
    // Wide enough for the history's settings where the screen has the room.
    setGeometry(screen.left() + gap, screen.top() + gap,
                std::min(std::max(wanted.width(), 760), screen.width() * 2 / 5),
                std::min(wanted.height(), screen.height() - 2 * gap));
    restoreSettings();
    show();
    const QRect frame = frameGeometry();
    const int left = frame.right() + 1 + gap;
    viewer.setGeometry(left, frame.top(), std::max(320, screen.right() + 1 - left - gap),
                       screen.bottom() + 1 - frame.top() - gap);
    viewer.restoreSettings();
    viewer.show();
    // Once shown, with the frame the window manager gave it.
    WindowState::keepOnScreen(&viewer);
}

QSize ToolWindow::sizeHint() const
{
    // Tall enough for every control: the scroll area alone asks for less.
    const QMargins margins = layout()->contentsMargins();
    const QWidget* menu = layout()->menuBar();
    const int full = controls->sizeHint().height() + margins.top() + margins.bottom() +
                     (menu ? menu->sizeHint().height() : 0);
    const QSize hint = QDialog::sizeHint();
    return QSize(hint.width(), std::max(hint.height(), full));
}

void ToolWindow::show()
{
    updateUI();
    QDialog::show();
}

void ToolWindow::updateUI()
{
    baselineRadio->setChecked(settings->getCompressionMode() == JPEGSettings::BASELINE);
    extendedRadio->setChecked(settings->getCompressionMode() == JPEGSettings::EXTENDED);
    dctCombo->setCurrentIndex(int(settings->getDCTMethod()));
    progressiveCheck->setChecked(settings->isProgressive());
    optimizeHuffmanCheck->setChecked(settings->getOptimizeHuffman());
    qualityGroup->setChecked(settings->isAutoQualityEnabled());
    qualitySpin->setValue(settings->getQuality());
    smoothSpin->setValue(settings->getSmoothing());
    updateQualityLabels();
}

void ToolWindow::openFile()
{
    const QString name = QFileDialog::getOpenFileName(
        this, QStringLiteral("Choose an image"),
        Preferences::startFolder(Preferences::Folder::Pictures), PictureFormats::openFilter());
    if (name.isEmpty())
        return;
    Preferences::rememberFolder(Preferences::Folder::Pictures, name);
    openImageFile(name);
}

bool ToolWindow::openImageFile(const QString& path)
{
    auto* image = new Image(QFile::encodeName(path).toStdString());
    if (!image->getRGB24Buffer()) {
        const QString reason = image->getLoadMessage();
        delete image;
        report(false, QStringLiteral("Couldn't open the picture<br>%1<br>%2")
                          .arg(path.toHtmlEscaped(), htmlLines(reason)));
        return false;
    }
    setImage(image);
    compressButton->setEnabled(true);
    saveAsAction->setEnabled(false);
    // With "Live" on, the picture is compressed as soon as it is open.
    settingsChanged();
    Preferences::addRecentFile(path);
    // Any file that reads as a JPEG offers its properties.
    const JpegFileInfo info = JpegFileInfo::readFile(path);
    propertiesWindow->hide();
    propertiesWindow->setInfo(info, QFileInfo(path).fileName());
    if (info.isValid()) {
        QFile jpeg(path);
        if (jpeg.size() <= JpegFileInfo::MAX_FILE_SIZE && jpeg.open(QIODevice::ReadOnly))
            propertiesWindow->setBitCost(JpegBitCost::read(jpeg.readAll()));
    }
    propertiesAction->setEnabled(info.isValid());
    propertiesButton->setVisible(info.isValid());
    // A damaged file that still decodes (a JPEG cut short) loads; what the
    // decoder said about it is shown once, as a warning.
    if (!image->getLoadMessage().isEmpty()) {
        report(true, QStringLiteral("The picture was loaded with a warning:<br>%1")
                         .arg(htmlLines(image->getLoadMessage())));
    }
    return true;
}

void ToolWindow::report(bool warning, const QString& html)
{
    if (messagesToLog) {
        QTextDocument text;
        text.setHtml(html);
        std::fprintf(stderr, "tessera: %s\n", qPrintable(text.toPlainText()));
    } else if (warning) {
        QMessageBox::warning(this, QStringLiteral("Warning"), html, QMessageBox::Ok);
    } else {
        QMessageBox::critical(this, QStringLiteral("Error"), html, QMessageBox::Ok);
    }
}

void ToolWindow::setImage(Image* image)
{
    live->cancel();
    liveStatus->clear();
    // The history holds compressions of the picture on screen only.
    history->clear();
    nameShown(0);
    Image* previous = compressor.getImage();
    compressor.setImage(image);
    emit imageChanged(image);
    delete previous;
}

void ToolWindow::compressImage()
{
    live->supersede();
    CompressionResult* next = nullptr;
    QString failure;
    try {
        next = compressor.compressImage();
        if (!next)
            failure = compressor.lastError();
        else if (!liveCheck->isChecked())
            measureSlowFigures(*next);
    } catch (const std::bad_alloc&) {
        // The decoded picture did not fit next to the source; the source and
        // the program stay as they were.
        const Image* source = compressor.getImage();
        const std::uint64_t width = source ? source->getWidth() : 0;
        const std::uint64_t height = source ? source->getHeight() : 0;
        failure = MemoryBudget::notEnoughMemory(
            QStringLiteral("compress the %1 x %2 picture").arg(width).arg(height),
            width * height * 4);
    }
    showResult(next, failure, false);
    remember(std::chrono::duration<double, std::milli>(compressor.lastTimings().encoding).count());
}

// Without Live a compression is asked for one at a time, and it gets every
// figure, the slow Butteraugli distances too.
void ToolWindow::measureSlowFigures(const CompressionResult& next)
{
    QualityMetrics::Workspace workspace;
    FigureSet figures = FigureSet::similarity();
    figures.insert(Figure::Butteraugli);
    next.measure(figures, workspace);
}

void ToolWindow::remember(double encodingMs)
{
    if (!result)
        return;
    const int row = history->add(*result, encodingMs);
    historyPanel->markShown(row);
    nameShown(history->entry(row).number);
}

void ToolWindow::nameShown(int number)
{
    shownNumber = number;
    emit compressionNamed(number > 0 ? QStringLiteral("Compressed #%1").arg(number) : QString());
}

void ToolWindow::showHistoryEntry(int row)
{
    if (row < 0 || row >= history->size() || !compressor.getImage())
        return;
    const HistoryEntry& entry = history->entry(row);
    pendingNumber = entry.number;
    live->requestDecoding(compressor.getImage(), entry.jpeg, entry.settings);
}

void ToolWindow::compareHistoryEntries(int first, int second)
{
    if (first < 0 || second < 0 || first >= history->size() || second >= history->size())
        return;
    compare->compare(history->entry(first), history->entry(second));
}

void ToolWindow::restoreHistorySettings(int row)
{
    if (row < 0 || row >= history->size())
        return;
    *settings = history->entry(row).settings;
    settingsReplaced();
}

void ToolWindow::settingsReplaced()
{
    updateUI();
    grayscaleOutputCheck->setChecked(settings->getGrayscaleOutput());
    // Open editors show the record again.
    for (QDialog* dialog :
         {static_cast<QDialog*>(quantizationWindow), static_cast<QDialog*>(downsamplingWindow)}) {
        if (dialog->isVisible())
            dialog->setVisible(true);
    }
    // The controls' signals asked already for what they changed; tables and
    // sampling have no control here.
    settingsChanged();
}

void ToolWindow::showResult(CompressionResult* next, const QString& error, bool quiet)
{
    CompressionResult* previous = result;
    result = next;
    emit imageCompressed(result);
    saveAsAction->setEnabled(result != nullptr);
    // The viewer shows the new result (or none) before the old one goes.
    delete previous;
    liveStatus->setText(result || !quiet ? QString() : error);
    if (!result && !quiet)
        report(false, error.toHtmlEscaped());
    updateBreakdown();
}

void ToolWindow::updateBreakdown()
{
    if (!breakdownCheck->isChecked())
        return;
    breakdown->setText(result ? BitBreakdown::html(JpegBitCost::read(result->getCompressedBytes()))
                              : QStringLiteral("No compressed picture yet."));
}

void ToolWindow::settingsChanged()
{
    if (liveCheck->isChecked() && compressor.getImage())
        live->request(compressor.getImage(), *settings);
}

void ToolWindow::saveAs()
{
    // The compression shown, which may be an earlier one of the history.
    const QString name = askJpegSaveName(
        this,
        shownNumber > 0 ? QStringLiteral("Save compression #%1 as").arg(shownNumber) : QString());
    if (!name.isEmpty())
        saveCompressedAs(name);
}

bool ToolWindow::saveCompressedAs(const QString& chosen)
{
    return saveCompressedJpegAs(this, result, chosen);
}

void ToolWindow::quit()
{
    QCoreApplication::quit();
}

void ToolWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    QCoreApplication::quit();
}

void ToolWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!Preferences::singleLocalFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void ToolWindow::dropEvent(QDropEvent* event)
{
    const QString file = Preferences::singleLocalFile(event->mimeData());
    if (file.isEmpty())
        return;
    event->acceptProposedAction();
    openImageFile(file);
}

namespace {

const QString toolKey = QStringLiteral("tool/");

} // namespace

void ToolWindow::restoreSettings()
{
    WindowState::restore(this, QStringLiteral("tool"));
    // Each value is checked against what the controls accept; anything else
    // keeps the default.
    const auto number = [](const char* key, int fallback, int low, int high) {
        bool ok = false;
        const int value = Preferences::value(toolKey + QLatin1String(key), fallback).toInt(&ok);
        return ok && value >= low && value <= high ? value : fallback;
    };
    const auto flag = [](const char* key, bool fallback) {
        return Preferences::value(toolKey + QLatin1String(key), fallback).toBool();
    };
    settings->setCompressionMode(
        number("mode", settings->getCompressionMode() == JPEGSettings::BASELINE ? 0 : 1, 0, 1) == 0
            ? JPEGSettings::BASELINE
            : JPEGSettings::EXTENDED);
    settings->setDCTMethod(
        JPEGSettings::DCTMethod(number("dct", int(settings->getDCTMethod()), 0, 2)));
    settings->setProgressiveMode(flag("progressive", settings->isProgressive()));
    settings->setOptimizeHuffman(flag("optimizeHuffman", settings->getOptimizeHuffman()));
    settings->setAutoQualityEnabled(flag("autoQuality", settings->isAutoQualityEnabled()));
    settings->setQuality(number("quality", settings->getQuality(), 0, 100));
    settings->setSmoothing(number("smoothing", settings->getSmoothing(), 0, 100));
    updateUI();
    grayscaleOutputCheck->setChecked(flag("grayscaleOutput", false));
    historyCheck->setChecked(flag("history", true));
}

void ToolWindow::saveSettings() const
{
    WindowState::save(this, QStringLiteral("tool"));
    Preferences::setValue(toolKey + QLatin1String("mode"),
                          settings->getCompressionMode() == JPEGSettings::BASELINE ? 0 : 1);
    Preferences::setValue(toolKey + QLatin1String("dct"), int(settings->getDCTMethod()));
    Preferences::setValue(toolKey + QLatin1String("progressive"), settings->isProgressive());
    Preferences::setValue(toolKey + QLatin1String("optimizeHuffman"),
                          settings->getOptimizeHuffman());
    Preferences::setValue(toolKey + QLatin1String("grayscaleOutput"),
                          settings->getGrayscaleOutput());
    Preferences::setValue(toolKey + QLatin1String("autoQuality"), settings->isAutoQualityEnabled());
    Preferences::setValue(toolKey + QLatin1String("quality"), settings->getQuality());
    Preferences::setValue(toolKey + QLatin1String("smoothing"), settings->getSmoothing());
    Preferences::setValue(toolKey + QLatin1String("history"), historyCheck->isChecked());
}

void ToolWindow::resetToDefaults()
{
    Preferences::resetToDefaults();
    JPEGSettings defaults;
    defaults.useAnnexKTables();
    *settings = defaults;
    updateUI();
    grayscaleOutputCheck->setChecked(false);
    historyCheck->setChecked(true);
}

void ToolWindow::showQuantizationWindow()
{
    quantizationWindow->show();
}

void ToolWindow::showDownsamplingWindow()
{
    downsamplingWindow->show();
}

void ToolWindow::showHelpWindow()
{
    helpWindow->show();
}

void ToolWindow::showAboutWindow()
{
    aboutWindow->show();
}

void ToolWindow::showJpegProperties()
{
    propertiesWindow->show();
    propertiesWindow->raise();
}

void ToolWindow::useJpegSettings()
{
    // Said before anything changes: the user may keep the settings as they are.
    const QStringList missing = propertiesWindow->info().settingsNotReproduced();
    if (!missing.isEmpty() && !messagesToLog) {
        QStringList items;
        for (const QString& item : missing)
            items << item.toHtmlEscaped();
        const QString text =
            QStringLiteral("The encoder cannot reproduce these properties of the file:<ul><li>%1"
                           "</li></ul>Use the settings it can reproduce?")
                .arg(items.join(QStringLiteral("</li><li>")));
        if (QMessageBox::question(propertiesWindow, QStringLiteral("Use these settings"), text,
                                  QMessageBox::Yes | QMessageBox::No,
                                  QMessageBox::Yes) != QMessageBox::Yes)
            return;
    }
    propertiesWindow->info().copySettingsTo(*settings);
    settingsReplaced();
}

void ToolWindow::setMode(bool baseline)
{
    progressiveCheck->setEnabled(!baseline);
    settings->setCompressionMode(baseline ? JPEGSettings::BASELINE : JPEGSettings::EXTENDED);
    dctCombo->setEnabled(true);
    quantizationButton->setEnabled(true);
    downsamplingButton->setEnabled(true);
    qualityGroup->setEnabled(true);
    smoothSpin->setEnabled(true);
    setQualityEnabled(settings->isAutoQualityEnabled());
}

void ToolWindow::setBaselineMode(bool set)
{
    if (set)
        setMode(true);
}

void ToolWindow::setExtendedMode(bool set)
{
    if (set)
        setMode(false);
}

void ToolWindow::setProgressiveMode(int state)
{
    settings->setProgressiveMode(SettingsControls::flagForState(state, settings->isProgressive()));
}

void ToolWindow::setInterleavedMode(int state)
{
    settings->setInterleavedMode(SettingsControls::flagForState(state, settings->isInterleaved()));
}

void ToolWindow::setOptimizeHuffman(int state)
{
    settings->setOptimizeHuffman(
        SettingsControls::flagForState(state, settings->getOptimizeHuffman()));
}

void ToolWindow::setGrayscaleOutput(int state)
{
    settings->setGrayscaleOutput(
        SettingsControls::flagForState(state, settings->getGrayscaleOutput()));
    updateQualityLabels();
}

void ToolWindow::setSmoothing(int value)
{
    settings->setSmoothing(value);
}

void ToolWindow::setDCTMethod(QString text)
{
    JPEGSettings::DCTMethod method;
    if (SettingsControls::dctMethodNamed(text, method))
        settings->setDCTMethod(method);
}

void ToolWindow::setQualityEnabled(bool set)
{
    settings->setAutoQualityEnabled(set);
    quantizationButton->setEnabled(!set);
    downsamplingButton->setEnabled(!set);
    dctCombo->setEnabled(!set);
    updateQualityLabels();
}

void ToolWindow::setQuality(int value)
{
    settings->setQuality(value);
    updateQualityLabels();
}

void ToolWindow::updateQualityLabels()
{
    const bool automatic = settings->isAutoQualityEnabled();
    const bool* checked = settings->getCurrentQuantizationTables();
    // Y uses slot 0, Cb slot 1, Cr slot 2 when checked and else slot 1.
    const bool customUsed =
        checked[JPEGSettings::LUMINANCE] ||
        ((checked[JPEGSettings::CHROMINANCE] || checked[2]) && !settings->getGrayscaleOutput());
    qualityLabel->setText(automatic ? QStringLiteral("Quality:")
                                    : QStringLiteral("Table quality:"));
    qualitySpin->setEnabled(automatic || customUsed);
    if (!automatic && !customUsed) {
        qualitySpin->setToolTip(QStringLiteral("Not in use: no custom table is checked in the "
                                               "quantization editor"));
        tableScalingLabel->setText(QStringLiteral("Custom tables not in use (none checked): "
                                                  "the library's tables at quality 75 are "
                                                  "written"));
        return;
    }
    qualitySpin->setToolTip(automatic
                                ? QStringLiteral("Quality that scales the standard tables")
                                : QStringLiteral("Quality that scales the checked custom tables "
                                                 "of the quantization editor"));
    const int scaling = JPEGCompressor::tableScaling(settings->getQuality());
    const QString tables =
        automatic ? QStringLiteral("standard tables") : QStringLiteral("custom tables");
    QString text =
        scaling == 0
            ? QStringLiteral("%1 → every entry of the %2 is 1")
                  .arg(settings->getQuality())
                  .arg(tables)
            : QStringLiteral("%1 → %2 × %3 %").arg(settings->getQuality()).arg(tables).arg(scaling);
    // One of the two written slots unchecked: that one is the library's.
    if (!automatic && !settings->getGrayscaleOutput() &&
        checked[JPEGSettings::LUMINANCE] != checked[JPEGSettings::CHROMINANCE])
        text += checked[JPEGSettings::LUMINANCE]
                    ? QStringLiteral("; chrominance: the library's table at quality 75")
                    : QStringLiteral("; luminance: the library's table at quality 75");
    tableScalingLabel->setText(text);
}
