// SPDX-License-Identifier: GPL-3.0-or-later
#include "MainWindow.h"

#include "BlockInspector.h"
#include "Butteraugli.h"
#include "CompressionResult.h"
#include "DataIcons.h"
#include "Figures.h"
#include "FileDrops.h"
#include "Image.h"
#include "ImagePane.h"
#include "ImageWidget.h"
#include "JpegFileInfo.h"
#include "MemoryBudget.h"
#include "PaneLink.h"
#include "PixelReadout.h"
#include "Preferences.h"
#include "QualityMetrics.h"
#include "RegularFile.h"
#include "SaveJpeg.h"
#include "SplitView.h"
#include "WindowState.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cstdint>
#include <new>
#include <utility>

namespace {

constexpr int buttonwh = 28;

// Figures and the zoom percentage: general format, six significant digits,
// C locale ("85", "12.3457").
QString number(double value)
{
    return QStringLiteral("%1").arg(value, 0, 'g', -1, QLatin1Char(' '));
}

bool hasPixels(const Image* picture)
{
    return picture && picture->getRGB32Buffer();
}

// A picture over `pixels` (32-bit, rows packed, top row first) sized like
// `sizedLike`, sharing the buffer; null when either is missing.
QImage wrap(const unsigned char* pixels, const Image* sizedLike)
{
    if (!pixels || !sizedLike || sizedLike->getWidth() == 0 || sizedLike->getHeight() == 0)
        return QImage();
    const int width = int(sizedLike->getWidth());
    return QImage(pixels, width, int(sizedLike->getHeight()), qsizetype(width) * 4,
                  QImage::Format_RGB32);
}

// A colour scale: a bar of `colourAt(fraction)` from left to right with
// `steps` + 1 values written under it, the last one `lastPrefix` value.
template <typename ColourAt, typename ValueAt>
QPixmap legendPixmap(const QFont& font, ColourAt colourAt, ValueAt valueAt, int steps,
                     const QString& lastPrefix)
{
    constexpr int bar = 200, margin = 14, barHeight = 12;
    const QFontMetrics metrics(font);
    QPixmap pixmap(bar + 2 * margin, barHeight + metrics.height() + 4);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setFont(font);
    for (int x = 0; x < bar; ++x) {
        p.setPen(QColor::fromRgb(colourAt((x + 0.5) / bar)));
        p.drawLine(margin + x, 0, margin + x, barHeight - 1);
    }
    p.setPen(QPen(QColor(0x60, 0x60, 0x60), 1));
    p.drawRect(margin, 0, bar - 1, barHeight - 1);
    p.setPen(QApplication::palette().color(QPalette::WindowText));
    for (int i = 0; i <= steps; ++i) {
        const double value = valueAt(double(i) / steps);
        const QString text =
            i == steps ? lastPrefix + QString::number(value) : QString::number(value, 'g', 2);
        const int x = margin + bar * i / steps;
        const int width = metrics.horizontalAdvance(text);
        p.drawText(std::clamp(x - width / 2, 0, pixmap.width() - width),
                   barHeight + 2 + metrics.ascent(), text);
    }
    return pixmap;
}

// The colour scale of the SSIM map: from 1 (left) to the floor of the scale.
QPixmap ssimLegendPixmap(const QFont& font)
{
    const auto ssimAt = [](double f) { return 1.0 - (1.0 - QualityMetrics::HEAT_FLOOR) * f; };
    return legendPixmap(
        font, [&](double f) { return QualityMetrics::heatColour(ssimAt(f)); }, ssimAt, 5,
        QStringLiteral("\u2264"));
}

// The colour scale of the Butteraugli map: from 0 (left) to the top of the
// scale.
QPixmap butteraugliLegendPixmap(const QFont& font)
{
    const auto distanceAt = [](double f) { return Butteraugli::HEAT_TOP * f; };
    return legendPixmap(
        font, [&](double f) { return Butteraugli::heatColour(distanceAt(f)); }, distanceAt, 6,
        QStringLiteral("\u2265"));
}

// The bytes of the JPEG file `picture` was read from, up to the size the
// walk takes; empty when they cannot be read.
QByteArray readJpegFile(const Image& picture)
{
    QString reason;
    const std::optional<QByteArray> bytes = readRegularFile(
        QFile::decodeName(picture.getFilePath().c_str()), JpegFileInfo::MAX_FILE_SIZE, reason);
    return bytes ? *bytes : QByteArray();
}

QString bytes(unsigned long size)
{
    return QStringLiteral("%1 bytes").arg(size);
}

} // namespace

MainWindow::MainWindow(bool quitOnClose, QWidget* parent)
    : MainWindow(Variant::Batch, quitOnClose, parent)
{
}

MainWindow::MainWindow(JPEGCompressor&, QWidget* parent)
    : MainWindow(Variant::Interactive, true, parent)
{
}

MainWindow::MainWindow(Variant kind, bool quit, QWidget* parent)
    : QDialog(parent, kind == Variant::Batch ? Qt::WindowFlags(Qt::WindowMinimizeButtonHint |
                                                               Qt::WindowMaximizeButtonHint)
                                             : Qt::WindowFlags(Qt::Window)),
      kind(kind), quitOnClose(quit)
{
    create();
}

QPushButton* MainWindow::addToolButton(const char* name, const char* icon, const char* toolTip,
                                       void (MainWindow::*slot)())
{
    auto* button = new QPushButton(DataFiles::icon(icon), QString());
    button->setObjectName(QLatin1String(name));
    button->setToolTip(QString::fromLatin1(toolTip));
    button->setFixedSize(buttonwh, buttonwh);
    button->setIconSize(QSize(buttonwh, buttonwh));
    // Enter must not press a view or zoom button.
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, slot);
    return button;
}

QLabel* MainWindow::addFigure(const char* name, const char* caption, const char* toolTip, int row,
                              int column, bool valueToolTip)
{
    auto* captionLabel = new QLabel(QString::fromLatin1(caption));
    captionLabel->setObjectName(QLatin1String(name) + QLatin1String("TextLabel"));
    captionLabel->setToolTip(QString::fromLatin1(toolTip));
    auto* value = new QLabel;
    value->setObjectName(QLatin1String(name) + QLatin1String("Label"));
    if (valueToolTip)
        value->setToolTip(QString::fromLatin1(toolTip));
    grid->addWidget(captionLabel, row, column);
    grid->addWidget(value, row, column + 1);
    return value;
}

void MainWindow::create()
{
    setWindowTitle(QStringLiteral("Images"));
    setWindowIcon(DataFiles::icon("pack"));
    // Everything scrolls inside the window: the window never needs more room
    // than the screen has, and never grows as figures and views arrive.
    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("viewerContent"));
    grid = new QGridLayout(content);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(WindowState::scrolling(content));
    resize(400, 300);

    sourceImage = new ImageWidget(QImage(), nullptr);
    sourceImage->setObjectName(QStringLiteral("sourceImage"));
    processedImage = new ImageWidget(QImage(), nullptr);
    processedImage->setObjectName(QStringLiteral("processedImage"));
    originalImageArea = new ImagePane(sourceImage);
    originalImageArea->setObjectName(QStringLiteral("originalImageArea"));
    processedImageArea = new ImagePane(processedImage);
    processedImageArea->setObjectName(QStringLiteral("processedImageArea"));
    link = new PaneLink(this);
    link->addPane(originalImageArea);
    link->addPane(processedImageArea);
    connect(link, &PaneLink::zoomChanged, this, [this](float zoom) {
        zoomLabel->setText(QStringLiteral("%1%").arg(number(zoom * 100.0)));
    });
    readout = new PixelReadout;
    for (ImagePane* pane : {originalImageArea, processedImageArea}) {
        connect(pane, &ImagePane::pointerMoved, readout, &PixelReadout::showPixel);
        connect(pane, &ImagePane::pointerMoved, this, [this](const QPoint& pixel) {
            if (activeView == bitsButton && shownBitsMap().isMeasured())
                readout->setText(readout->text() + QStringLiteral("   ") +
                                 shownBitsMap().describe(pixel, bitsPlane->currentData().toInt()));
        });
        connect(pane, &ImagePane::pointerLeft, readout, &PixelReadout::clearPixel);
    }
    splitter = new QSplitter(Qt::Horizontal);
    splitter->setObjectName(QStringLiteral("splitter"));
    splitter->addWidget(originalImageArea);
    splitter->addWidget(processedImageArea);
    grid->addWidget(splitter, 0, 0, 5, 14);

    zoomLabel = new QLabel;
    zoomLabel->setObjectName(QStringLiteral("zoomLabel"));
    // As wide as the widest zoom, so that the buttons never move under the pointer.
    zoomLabel->setAlignment(Qt::AlignCenter);
    zoomLabel->setFixedWidth(
        zoomLabel->fontMetrics().horizontalAdvance(QStringLiteral("0000.00%")) + 4);
    grid->addWidget(zoomLabel, 1, 15);
    zoomInButton = addToolButton("zoomInButton", "zoom_in", "Zoom in", &MainWindow::zoomIn);
    grid->addWidget(zoomInButton, 2, 15);
    zoomResetButton =
        addToolButton("zoomResetButton", "zoom_reset", "Reset zoom", &MainWindow::zoomReset);
    grid->addWidget(zoomResetButton, 3, 15);
    zoomOutButton = addToolButton("zoomOutButton", "zoom_out", "Zoom out", &MainWindow::zoomOut);
    grid->addWidget(zoomOutButton, 4, 15);

    rotateButton = addToolButton("rotateButton", "rotate", "Rotate", &MainWindow::rotate);
    imageButton =
        addToolButton("imageButton", "image", "Compressed image", &MainWindow::showCompressedImage);
    colorDifferenceButton = addToolButton("colorDifferenceButton", "color_diff", "Color difference",
                                          &MainWindow::showColorDifference);
    errorsButton =
        addToolButton("errorsButton", "error", "Compression errors", &MainWindow::showErrors);
    yButton = addToolButton("yButton", "y", "Luminance Y", &MainWindow::showY);
    cbButton = addToolButton("cbButton", "cb", "Chrominance Cb", &MainWindow::showCb);
    crButton = addToolButton("crButton", "cr", "Chrominance Cr", &MainWindow::showCr);
    ssimMapButton =
        addToolButton("ssimMapButton", "ssim_map", "SSIM map: local structural similarity of luma",
                      &MainWindow::showSSIMMap);
    butteraugliButton = addToolButton(
        "butteraugliButton", "butteraugli_map",
        "Butteraugli map: perceptual distance at every pixel (slow: measured on first view)",
        &MainWindow::showButteraugliMap);
    amplifiedButton = addToolButton("amplifiedButton", "amplified",
                                    "Amplified difference: |source - compressed| times the gain",
                                    &MainWindow::showAmplifiedDifference);
    bitsButton = addToolButton("bitsButton", "bits",
                               "Bits: how many bits of the JPEG each 8 \u00d7 8 block cost",
                               &MainWindow::showBits);
    int column = 7;
    for (QPushButton* button :
         {rotateButton, imageButton, colorDifferenceButton, errorsButton, yButton, cbButton,
          crButton, ssimMapButton, butteraugliButton, amplifiedButton, bitsButton})
        grid->addWidget(button, 5, column++, 2, 1);
    // The shown view's button is checked; its caption names the right pane.
    viewGroup = new QButtonGroup(this);
    const std::pair<QPushButton*, const char*> views[] = {
        {imageButton, "Compressed"},
        {colorDifferenceButton, "Colour difference"},
        {errorsButton, "Changed pixels"},
        {yButton, "Y"},
        {cbButton, "Cb"},
        {crButton, "Cr"},
        {ssimMapButton, "SSIM map"},
        {butteraugliButton, "Butteraugli map"},
        {amplifiedButton, "Difference \u00d7%1"},
        {bitsButton, "Bits per block"}};
    for (const auto& [button, caption] : views) {
        button->setCheckable(true);
        // The painted icons fill the button: a frame in the highlight colour
        // tells the checked one.
        button->setStyleSheet(QStringLiteral(
            "QPushButton:checked { border: 2px solid palette(highlight); border-radius: 3px;"
            " background: palette(highlight); }"));
        button->setProperty("caption", QString::fromUtf8(caption));
        viewGroup->addButton(button);
    }
    // The block inspector: while checked, a click on the right pane opens
    // the block under the pointer.
    inspectButton = addTextButton("inspectButton", "Inspect",
                                  "Click a block of the compressed picture to see its samples, "
                                  "DCT and coefficients",
                                  true);
    grid->addWidget(inspectButton, 5, column, 2, 1);
    inspector = new BlockInspector(this);
    inspector->attach(processedImage, inspectButton);
    // After the inspector: a press on the divider is the split's.
    splitView = new SplitView(processedImage, this);
    connect(inspector, &BlockInspector::blockShown, this, &MainWindow::showInspectedBlock);
    connect(inspectButton, &QToolButton::toggled, this, &MainWindow::showInspectedBlock);

    crLabel = addFigure("cr", "<B>CR: ", "<b>Compression rate</b>: source size / compressed size",
                        5, 0, true);
    cpLabel =
        addFigure("cp", "<B>CP: ", "<b>Compression percentage</b>: (1 - 1/CR)*100%", 5, 2, true);
    brLabel = addFigure("br", "<B>BR: ", "<b>Bit rate</b>: 8 * compressed size / (width * height)",
                        6, 0, true);
    mseLabel = addFigure("mse", "<B>MSE: ", "<b>Mean square error", 6, 2, false);
    // The figures and the view options each take a row of their own, so that
    // the window stays narrow enough for a laptop screen beside the tools.
    grid->addWidget(createFiguresPanel(), 7, 0, 1, 16);
    grid->addWidget(createViewOptions(), 8, 0, 1, 16);
    auto* statusBar = new QStatusBar;
    statusBar->setObjectName(QStringLiteral("statusBar"));
    statusBar->setSizeGripEnabled(false);
    // The readout's long lines are cut at the window's edge; they never widen it.
    readout->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusBar->addWidget(readout, 1);
    grid->addWidget(statusBar, 9, 0, 1, 16);

    grid->setRowStretch(0, 1);
    grid->setColumnStretch(4, 1);

    if (kind == Variant::Batch) {
        auto* menuBar = new QMenuBar;
        menuBar->setObjectName(QStringLiteral("menuBar"));
        QMenu* fileMenu = menuBar->addMenu(QStringLiteral("&File"));
        fileMenu->setObjectName(QStringLiteral("fileMenu"));
        saveAsAction = fileMenu->addAction(QStringLiteral("Save &as"));
        saveAsAction->setObjectName(QStringLiteral("saveAsAction"));
        saveAsAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
        saveAsAction->setEnabled(false);
        connect(saveAsAction, &QAction::triggered, this, &MainWindow::saveAs);
        fileMenu->addSeparator();
        QAction* quitAction = fileMenu->addAction(QStringLiteral("&Quit"));
        quitAction->setObjectName(QStringLiteral("quitAction"));
        quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
        // Closes the viewer only: ending tessera-batch here would throw away
        // the results of its run.
        connect(quitAction, &QAction::triggered, this, &QWidget::close);
        outer->setMenuBar(menuBar);
    }

    setZoomWidgetsEnabled(false);
    setViewButtonsEnabled(nullptr);
    setActiveView(nullptr);
    // tessera opens a picture dropped on its viewer.
    setAcceptDrops(kind == Variant::Interactive);
}

void MainWindow::restoreSettings()
{
    const QString key =
        kind == Variant::Batch ? QStringLiteral("batchViewer") : QStringLiteral("viewer");
    WindowState::restore(this, key);
    const bool stacked = Preferences::value(QStringLiteral("%1/stacked").arg(key), false).toBool();
    splitter->setOrientation(stacked ? Qt::Vertical : Qt::Horizontal);
    const double zoom = Preferences::value(QStringLiteral("%1/zoom").arg(key), 1.0).toDouble();
    // A zoom the buttons can reach; anything else in the store is ignored.
    if (zoom >= PaneLink::MIN_ZOOM && zoom <= PaneLink::MAX_ZOOM)
        startZoom = float(zoom);
}

void MainWindow::saveSettings() const
{
    const QString key =
        kind == Variant::Batch ? QStringLiteral("batchViewer") : QStringLiteral("viewer");
    WindowState::save(this, key);
    Preferences::setValue(QStringLiteral("%1/stacked").arg(key),
                          splitter->orientation() == Qt::Vertical);
    Preferences::setValue(QStringLiteral("%1/zoom").arg(key),
                          image ? double(sourceImage->getZoomFactor()) : double(startZoom));
}

void MainWindow::setPaneCaptions(const QString& left, const QString& right)
{
    leftName = left;
    rightName = right;
    setActiveView(activeView);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (acceptDrops() && !Preferences::singleLocalFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const QString file = Preferences::singleLocalFile(event->mimeData());
    if (file.isEmpty())
        return;
    event->acceptProposedAction();
    emit pictureDropped(file);
}

QWidget* MainWindow::createFiguresPanel()
{
    auto* panel = new QFrame;
    panel->setObjectName(QStringLiteral("figuresPanel"));
    panel->setFrameShape(QFrame::StyledPanel);
    auto* layout = new QGridLayout(panel);
    layout->setContentsMargins(6, 3, 6, 3);
    layout->setHorizontalSpacing(6);
    const struct
    {
        const char* name;
        const char* caption;
        int figure; // a Figure, or -1 with `toolTip`
        const char* toolTip;
        int row;
        int column;
        QLabel** value;
    } entries[] = {
        {"psnr", "PSNR: ", int(Figure::PSNR), nullptr, 0, 0, &psnrLabel},
        {"psnrY", "PSNR-Y: ", int(Figure::PSNR_Y), nullptr, 1, 0, &psnrYLabel},
        {"psnrCb", "PSNR-Cb: ", int(Figure::PSNR_Cb), nullptr, 1, 2, &psnrCbLabel},
        {"psnrCr", "PSNR-Cr: ", int(Figure::PSNR_Cr), nullptr, 1, 4, &psnrCrLabel},
        {"ssim", "SSIM: ", int(Figure::SSIM), nullptr, 0, 2, &ssimLabel},
        {"msSsim", "MS-SSIM: ", int(Figure::MS_SSIM), nullptr, 0, 4, &msSsimLabel},
        {"sourceSize", "Source: ", -1, "Size of the source file", 2, 0, &sourceSizeLabel},
        {"compressedSize", "JPEG: ", -1, "Size of the compressed file", 2, 2, &compressedSizeLabel},
        {"dimensions", "Picture: ", -1, "Width \u00d7 height in pixels", 2, 4, &dimensionsLabel},
        {"ssimulacra2", "SSIMULACRA 2: ", int(Figure::SSIMULACRA2), nullptr, 3, 0,
         &ssimulacra2Label},
        {"butteraugli", "Butteraugli: ", int(Figure::Butteraugli), nullptr, 3, 2,
         &butteraugliLabel},
        {"butteraugli3Norm", "3-norm: ", int(Figure::Butteraugli3Norm), nullptr, 3, 4,
         &butteraugli3NormLabel},
    };
    // The perceptual figures' row has a line of its own, so that its long
    // captions do not widen the columns above.
    auto* perceptual = new QHBoxLayout;
    perceptual->setSpacing(6);
    for (const auto& entry : entries) {
        const QString toolTip =
            entry.figure >= 0 ? QString::fromUtf8(Figures::info(Figure(entry.figure)).definition)
                              : QString::fromUtf8(entry.toolTip);
        auto* caption = new QLabel(QStringLiteral("<b>%1</b>").arg(QLatin1String(entry.caption)));
        caption->setObjectName(QLatin1String(entry.name) + QLatin1String("TextLabel"));
        caption->setToolTip(toolTip);
        auto* value = new QLabel;
        value->setObjectName(QLatin1String(entry.name) + QLatin1String("Label"));
        value->setToolTip(toolTip);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        if (entry.row == 3) {
            perceptual->addWidget(caption);
            perceptual->addWidget(value);
            perceptual->addSpacing(6);
        } else {
            layout->addWidget(caption, entry.row, entry.column);
            layout->addWidget(value, entry.row, entry.column + 1);
        }
        *entry.value = value;
    }
    butteraugliMeasureButton = addTextButton(
        "butteraugliMeasureButton", "Measure",
        "Measure the Butteraugli distances of this compression now (takes a while)", false);
    connect(butteraugliMeasureButton, &QToolButton::clicked, this, &MainWindow::measureButteraugli);
    perceptual->addWidget(butteraugliMeasureButton);
    perceptual->addStretch(1);
    layout->addLayout(perceptual, 3, 0, 1, 7);
    layout->setColumnStretch(6, 1);
    return panel;
}

QWidget* MainWindow::createViewOptions()
{
    auto* options = new QWidget;
    options->setObjectName(QStringLiteral("viewOptions"));
    auto* layout = new QHBoxLayout(options);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* gainCaption = new QLabel(QStringLiteral("Gain:"));
    gainCaption->setObjectName(QStringLiteral("gainTextLabel"));
    gainCombo = new QComboBox;
    gainCombo->setObjectName(QStringLiteral("gainCombo"));
    const QString tip = QStringLiteral("Gain of the amplified difference");
    gainCaption->setToolTip(tip);
    gainCombo->setToolTip(tip);
    for (int g : {1, 2, 4, 8, 16, 32})
        gainCombo->addItem(QStringLiteral("\u00d7%1").arg(g), g);
    gainCombo->setCurrentIndex(gainCombo->findData(gain));
    connect(gainCombo, &QComboBox::activated, this,
            [this](int index) { setGain(gainCombo->itemData(index).toInt()); });
    ssimLegend = new QLabel;
    ssimLegend->setObjectName(QStringLiteral("ssimLegend"));
    ssimLegend->setToolTip(QStringLiteral("Local SSIM: 1 = identical (dark), lower = brighter; "
                                          "grey where the 11 \u00d7 11 window does not fit"));
    ssimLegend->setPixmap(ssimLegendPixmap(font()));
    ssimLegend->hide();
    bitsPlane = new QComboBox;
    bitsPlane->setObjectName(QStringLiteral("bitsPlane"));
    bitsPlane->setToolTip(QStringLiteral("The component whose blocks the Bits view shows, or all "
                                         "of them summed over the luma blocks they cover"));
    bitsPlane->addItem(QStringLiteral("All"), int(BitsMap::ALL));
    bitsPlane->addItem(QStringLiteral("Y"), int(BitsMap::Y));
    bitsPlane->addItem(QStringLiteral("Cb"), int(BitsMap::CB));
    bitsPlane->addItem(QStringLiteral("Cr"), int(BitsMap::CR));
    bitsPlane->hide();
    connect(bitsPlane, &QComboBox::activated, this, &MainWindow::showBits);
    bitsFile = new QComboBox;
    bitsFile->setObjectName(QStringLiteral("bitsFile"));
    bitsFile->setToolTip(QStringLiteral("The JPEG whose blocks the Bits view shows: this "
                                        "compression, or the JPEG file the picture was opened "
                                        "from"));
    bitsFile->addItem(QStringLiteral("Compression"));
    bitsFile->addItem(QStringLiteral("Opened file"));
    bitsFile->hide();
    connect(bitsFile, &QComboBox::activated, this, &MainWindow::showBits);
    bitsLegend = new QLabel;
    bitsLegend->setObjectName(QStringLiteral("bitsLegend"));
    bitsLegend->setToolTip(QStringLiteral("Bits of each block, and bits per pixel of the pixels "
                                          "the block covers: dark = cheap, white = the most "
                                          "expensive 0.5 % and above"));
    bitsLegend->hide();
    butteraugliLegend = new QLabel;
    butteraugliLegend->setObjectName(QStringLiteral("butteraugliLegend"));
    butteraugliLegend->setToolTip(
        QStringLiteral("Butteraugli distance: 0 = identical (black), about 1 = just visible, "
                       "red at 3 and above"));
    butteraugliLegend->setPixmap(butteraugliLegendPixmap(font()));
    butteraugliLegend->hide();
    layout->addWidget(createPaneTools());
    layout->addStretch(1);
    layout->addWidget(bitsFile);
    layout->addWidget(bitsPlane);
    layout->addWidget(bitsLegend);
    layout->addWidget(ssimLegend);
    layout->addWidget(butteraugliLegend);
    layout->addWidget(gainCaption);
    layout->addWidget(gainCombo);
    return options;
}

void MainWindow::rotate()
{
    splitter->setOrientation(splitter->orientation() == Qt::Horizontal ? Qt::Vertical
                                                                       : Qt::Horizontal);
}

void MainWindow::updateImage(Image* newImage)
{
    image = newImage;
    // The result belonged to the previous picture and may be deleted by its
    // owner any time now; the views never look at it again.
    result = nullptr;
    bitsMap.clear();
    sourceJpeg.clear();
    sourceBitsMap.clear();
    bitsFile->setCurrentIndex(0);
    inspector->setCodedFile(QByteArray());
    if (hasPixels(newImage)) {
        sourceImage->setQImage(wrap(newImage->getRGB32Buffer(), newImage));
        setZoomWidgetsEnabled(true);
        zoomReset();
    } else {
        sourceImage->setQImage(QImage());
        setZoomWidgetsEnabled(false);
    }
    if (saveAsAction)
        saveAsAction->setEnabled(false);
    processedImage->setQImage(QImage());
    ssimLegend->hide();
    butteraugliLegend->hide();
    sourceImage->setZoomFactor(1.0f, true);
    processedImage->setZoomFactor(1.0f, true);
    link->adopt(1.0f);
    // The zoom remembered from the last run, once the panes are reset.
    if (hasPixels(newImage) && startZoom != 1.0f)
        link->zoomTo(startZoom);
    setViewButtonsEnabled(nullptr);
    setActiveView(nullptr);
    setFigures(nullptr);
    readout->setPictures(hasPixels(newImage) ? newImage : nullptr, nullptr);
    updateOverlays();
    refresh();
}

void MainWindow::updateCompressed(CompressionResult* newResult)
{
    result = newResult;
    bitsMap.clear();
    inspector->setResult(newResult);
    setViewButtonsEnabled(newResult);
    setFigures(newResult);
    const Image* compressed = newResult ? newResult->getCompressedImage() : nullptr;
    if (newResult) {
        showInRightPane(compressed ? compressed->getRGB32Buffer() : nullptr, compressed,
                        imageButton);
    } else {
        processedImage->setQImage(QImage());
        setActiveView(nullptr);
    }
    readout->setPictures(hasPixels(image) ? image : nullptr,
                         hasPixels(compressed) ? compressed : nullptr);
    updateOverlays();
    if (saveAsAction)
        saveAsAction->setEnabled(newResult != nullptr);
    refresh();
}

void MainWindow::showInRightPane(const unsigned char* pixels, const Image* sizedLike,
                                 QPushButton* view)
{
    processedImage->setQImage(wrap(pixels, sizedLike));
    // The colour scales go with their maps only.
    ssimLegend->hide();
    bitsLegend->hide();
    bitsPlane->hide();
    bitsFile->hide();
    inspector->setCodedFile(QByteArray());
    butteraugliLegend->hide();
    setActiveView(view);
}

void MainWindow::setActiveView(QPushButton* view)
{
    activeView = view;
    if (view) {
        view->setChecked(true);
    } else if (QAbstractButton* checked = viewGroup->checkedButton()) {
        // An exclusive group keeps one button checked unless told otherwise.
        viewGroup->setExclusive(false);
        checked->setChecked(false);
        viewGroup->setExclusive(true);
    }
    QString caption = view ? view->property("caption").toString()
                           : (image ? QStringLiteral("Compressed: none yet") : QString());
    if (view == amplifiedButton)
        caption = caption.arg(gain);
    // The opened file's bits belong to no compression.
    const bool openedFile = view == bitsButton && showsSourceBits();
    if (openedFile)
        caption = QStringLiteral("Opened file: bits per block");
    // Names given by the owner stand for "Source" and "Compressed".
    const QString source = leftName.isEmpty() ? QStringLiteral("Source") : leftName;
    if (!rightName.isEmpty() && !openedFile)
        caption =
            view == imageButton || !view ? rightName : rightName + QStringLiteral(": ") + caption;
    // tessera's empty start tells how to get a picture.
    const QString none = kind == Variant::Interactive
                             ? QStringLiteral("No picture: open one with File \u2192 Open in "
                                              "Tools, or drop a picture file here")
                             : QStringLiteral("No picture");
    originalImageArea->setCaption(image ? source : none);
    if (splitView->isEnabled())
        caption = QStringLiteral("\u25c0 %1  |  %2 \u25b6").arg(source, caption);
    processedImageArea->setCaption(caption);
    // The pane drops a split picture of another size than its own.
    splitView->setLeft(sourceImage->getQImage());
}

// The compressed picture and its components have the decoded picture's size;
// the two maps exist only when it equals the source's.
void MainWindow::showCompressedImage()
{
    if (!canShowViews())
        return;
    const Image* compressed = result->getCompressedImage();
    showInRightPane(compressed ? compressed->getRGB32Buffer() : nullptr, compressed, imageButton);
}

void MainWindow::showErrors()
{
    showDerived(
        QStringLiteral("error map"), [this] { return result->getErrors(); }, true, errorsButton);
}

void MainWindow::showColorDifference()
{
    showDerived(
        QStringLiteral("colour-difference map"), [this] { return result->getColorDifference(); },
        true, colorDifferenceButton);
}

void MainWindow::showY()
{
    showDerived(
        QStringLiteral("Y component"), [this] { return result->getY_RGB32(); }, false, yButton);
}

void MainWindow::showCb()
{
    showDerived(
        QStringLiteral("Cb component"), [this] { return result->getCB_RGB32(); }, false, cbButton);
}

void MainWindow::showCr()
{
    showDerived(
        QStringLiteral("Cr component"), [this] { return result->getCR_RGB32(); }, false, crButton);
}

// The derived pictures are made on first view. One that does not fit into
// memory is reported, and the pane keeps what it showed.
void MainWindow::showDerived(const QString& what, const std::function<unsigned char*()>& view,
                             bool sourceSized, QPushButton* button)
{
    if (!canShowViews())
        return;
    const Image* sizedLike = sourceSized ? result->getSourceImage() : result->getCompressedImage();
    try {
        showInRightPane(view(), sizedLike, button);
    } catch (const std::bad_alloc&) {
        // The pane shows what it showed; so does the checked button.
        setActiveView(activeView);
        const std::uint64_t width = sizedLike ? sizedLike->getWidth() : 0;
        const std::uint64_t height = sizedLike ? sizedLike->getHeight() : 0;
        // The maps are made two at a time, the components three.
        const std::uint64_t needed = width * height * 4 * (sourceSized ? 2 : 3);
        QMessageBox::critical(
            this, QStringLiteral("Error"),
            MemoryBudget::notEnoughMemory(QStringLiteral("show the %1 of the %2 x %3 picture")
                                              .arg(what)
                                              .arg(width)
                                              .arg(height),
                                          needed)
                .toHtmlEscaped());
    }
}

void MainWindow::showSSIMMap()
{
    if (!canShowViews())
        return;
    showDerived(
        QStringLiteral("SSIM map"), [this] { return result->getSSIMMap(); }, true, ssimMapButton);
    ssimLegend->show();
}

void MainWindow::showButteraugliMap()
{
    if (!canShowViews())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    showDerived(
        QStringLiteral("Butteraugli map"), [this] { return result->getButteraugliMap(); }, true,
        butteraugliButton);
    QApplication::restoreOverrideCursor();
    butteraugliLegend->show();
    setFigures(result);
}

void MainWindow::measureButteraugli()
{
    if (!result)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    result->getButteraugli();
    QApplication::restoreOverrideCursor();
    setFigures(result);
}

void MainWindow::showAmplifiedDifference()
{
    showDerived(
        QStringLiteral("amplified difference"),
        [this] { return result->getAmplifiedDifference(gain); }, true, amplifiedButton);
}

bool MainWindow::showsSourceBits() const
{
    return image && image->isFromJpegFile() && bitsFile->currentIndex() == 1;
}

BitsMap& MainWindow::shownBitsMap()
{
    return showsSourceBits() ? sourceBitsMap : bitsMap;
}

QByteArray MainWindow::shownBitsFile() const
{
    return showsSourceBits() ? sourceJpeg : result->getCompressedBytes();
}

void MainWindow::showBits()
{
    if (!canShowViews())
        return;
    // The opened file is read when its bits are first asked for.
    if (showsSourceBits() && sourceJpeg.isEmpty())
        sourceJpeg = readJpegFile(*image);
    BitsMap& map = shownBitsMap();
    if (!map.isMeasured() && !map.measure(shownBitsFile())) {
        QMessageBox::warning(this, QStringLiteral("Bits"),
                             QStringLiteral("The bits of the blocks of %1 cannot be shown: %2")
                                 .arg(showsSourceBits() ? QStringLiteral("the opened file")
                                                        : QStringLiteral("this JPEG"),
                                      map.reason())
                                 .toHtmlEscaped());
        // The pane keeps what it showed; a failed file is not offered again.
        if (showsSourceBits()) {
            bitsFile->setCurrentIndex(0);
            setActiveView(activeView);
        }
        return;
    }
    const int plane = bitsPlane->currentData().toInt();
    processedImage->setQImage(map.render(plane));
    ssimLegend->hide();
    butteraugliLegend->hide();
    setActiveView(bitsButton);
    bitsLegend->setPixmap(map.legend(plane, font()));
    bitsLegend->show();
    bitsPlane->show();
    bitsFile->setVisible(image->isFromJpegFile());
    inspector->setCodedFile(showsSourceBits() ? sourceJpeg : QByteArray());
    // A grey file has one plane.
    for (int i = 2; i < bitsPlane->count(); ++i)
        qobject_cast<QStandardItemModel*>(bitsPlane->model())
            ->item(i)
            ->setEnabled(i - 1 < map.componentCount());
}

void MainWindow::setGain(int newGain)
{
    if (gainCombo->findData(newGain) < 0)
        return;
    gain = newGain;
    gainCombo->setCurrentIndex(gainCombo->findData(newGain));
    showAmplifiedDifference();
}

// Every zoom keeps the picture point at the centre of the view in place.
void MainWindow::zoomIn()
{
    link->zoomBy(1);
}

void MainWindow::zoomOut()
{
    link->zoomBy(-1);
}

void MainWindow::zoomReset()
{
    link->zoomTo(1.0f);
}

void MainWindow::fit()
{
    link->fit();
}

void MainWindow::setZoom(float factor)
{
    link->zoomTo(factor);
}

QToolButton* MainWindow::addTextButton(const char* name, const char* text, const char* toolTip,
                                       bool checkable)
{
    auto* button = new QToolButton;
    button->setObjectName(QLatin1String(name));
    button->setText(QString::fromUtf8(text));
    button->setToolTip(QString::fromUtf8(toolTip));
    button->setCheckable(checkable);
    return button;
}

QWidget* MainWindow::createPaneTools()
{
    fitButton =
        addTextButton("fitButton", "Fit", "Zoom so that the whole picture fits the pane", false);
    // Above the zoom buttons.
    grid->addWidget(fitButton, 0, 15, Qt::AlignHCenter | Qt::AlignBottom);
    connect(fitButton, &QToolButton::clicked, this, &MainWindow::fit);
    gridButton = addTextButton(
        "gridButton", "Grid",
        "Draw the 8 \u00d7 8 blocks and, when the colours are subsampled, the MCUs", true);
    connect(gridButton, &QToolButton::toggled, this, &MainWindow::setGridVisible);
    splitButton = addTextButton("splitButton", "Split",
                                "One pane: the source left and the view right of a divider you "
                                "drag",
                                true);
    connect(splitButton, &QToolButton::toggled, this, &MainWindow::setSplitView);

    auto* tools = new QWidget;
    tools->setObjectName(QStringLiteral("paneTools"));
    auto* layout = new QHBoxLayout(tools);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(gridButton);
    layout->addWidget(splitButton);
    return tools;
}

void MainWindow::setGridVisible(bool visible)
{
    gridButton->setChecked(visible);
    updateOverlays();
}

void MainWindow::setSplitView(bool split)
{
    splitButton->setChecked(split);
    if (split == splitView->isEnabled())
        return;
    originalImageArea->setVisible(!split);
    // The source pane, shown again, comes to where the split pane was.
    link->lead(processedImageArea);
    splitView->setEnabled(split);
    setActiveView(activeView);
}

// The MCU grid is that of the shown compression: 8 times its largest
// sampling factors, or one block when a single component is coded alone.
void MainWindow::updateOverlays()
{
    QSize mcu(ImageWidget::BLOCK, ImageWidget::BLOCK);
    const bool visible = gridButton->isChecked();
    if (visible && result) {
        const JpegFileInfo info = JpegFileInfo::read(result->getCompressedBytes());
        if (info.isValid() && info.components.size() > 1)
            mcu = QSize(ImageWidget::BLOCK * info.maxHorizontalSampling(),
                        ImageWidget::BLOCK * info.maxVerticalSampling());
    }
    for (ImageWidget* pane : {sourceImage, processedImage})
        pane->setGrid(visible, mcu);
    // The grid changes no place of the view: the block is outlined, not sought.
    outlineInspectedBlock();
}

QRect MainWindow::outlineInspectedBlock()
{
    const QRect area = inspectButton->isChecked() && result ? inspector->shownArea() : QRect();
    for (ImageWidget* pane : {sourceImage, processedImage})
        pane->setHighlight(area);
    return area;
}

// The inspected block, outlined in both panes while Inspect is on, and
// scrolled into view when the inspector moves off screen.
void MainWindow::showInspectedBlock()
{
    const QRect area = outlineInspectedBlock();
    if (area.isNull())
        return;
    const QPointF centre = processedImage->fromPicture(QRectF(area).center());
    const double zoom = processedImage->getZoomFactor();
    processedImageArea->ensureVisible(int(centre.x()), int(centre.y()),
                                      int(area.width() * zoom / 2) + 16,
                                      int(area.height() * zoom / 2) + 16);
}

void MainWindow::saveAs()
{
    const QString name = askJpegSaveName(this);
    if (!name.isEmpty())
        saveCompressedAs(name);
}

bool MainWindow::saveCompressedAs(const QString& name)
{
    return saveCompressedJpegAs(this, result, name);
}

void MainWindow::wheelEvent(QWheelEvent* event)
{
    const int delta = event->angleDelta().y();
    if (delta > 0)
        zoomIn();
    else if (delta < 0)
        zoomOut();
    event->ignore();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (quitOnClose)
        QCoreApplication::quit();
}

void MainWindow::reject()
{
    // The dialog's own reject() only hides the window, which would skip
    // closeEvent and with it quitOnClose.
    setResult(QDialog::Rejected);
    close();
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    // tessera's viewer is a plain window: Escape neither hides it nor ends
    // the program.
    if (kind == Variant::Interactive)
        QWidget::keyPressEvent(event);
    else
        QDialog::keyPressEvent(event);
}

void MainWindow::setZoomWidgetsEnabled(bool enabled)
{
    for (QWidget* widget :
         {static_cast<QWidget*>(zoomLabel), static_cast<QWidget*>(zoomInButton),
          static_cast<QWidget*>(zoomOutButton), static_cast<QWidget*>(zoomResetButton),
          static_cast<QWidget*>(fitButton)})
        widget->setEnabled(enabled);
}

// A view is offered only when its picture can be made, so a result without a
// decoded picture or without its derived pictures never has a missing
// buffer read.
void MainWindow::setViewButtonsEnabled(const CompressionResult* shown)
{
    const Image* compressed = shown ? shown->getCompressedImage() : nullptr;
    imageButton->setEnabled(hasPixels(compressed));
    // Asked without making the pictures, which waits for the first view.
    for (QPushButton* button : {yButton, cbButton, crButton})
        button->setEnabled(shown && shown->hasComponents());
    for (QPushButton* button : {errorsButton, colorDifferenceButton})
        button->setEnabled(shown && shown->hasMaps());
    // Both need the two pictures at one size, as the maps above do.
    const bool comparable = shown && shown->hasMaps();
    ssimMapButton->setEnabled(comparable);
    const Image* source = shown ? shown->getSourceImage() : nullptr;
    butteraugliButton->setEnabled(comparable && int(source->getWidth()) >= Butteraugli::MIN_SIDE &&
                                  int(source->getHeight()) >= Butteraugli::MIN_SIDE);
    amplifiedButton->setEnabled(comparable);
    gainCombo->setEnabled(comparable);
    bitsButton->setEnabled(shown != nullptr);
}

void MainWindow::setFigures(const CompressionResult* shown)
{
    crLabel->setText(shown ? number(shown->getCompressionRate()) : QString());
    cpLabel->setText(shown ? number(shown->getCompressionPercentage()) + QLatin1Char('%')
                           : QString());
    brLabel->setText(shown ? number(shown->getBitRate()) + QLatin1String(" bpp") : QString());
    mseLabel->setText(shown ? number(shown->getMSE()) : QString());

    const struct
    {
        QLabel* label;
        Figure figure;
    } quality[] = {{psnrLabel, Figure::PSNR},
                   {psnrYLabel, Figure::PSNR_Y},
                   {psnrCbLabel, Figure::PSNR_Cb},
                   {psnrCrLabel, Figure::PSNR_Cr},
                   {ssimLabel, Figure::SSIM},
                   {msSsimLabel, Figure::MS_SSIM},
                   {ssimulacra2Label, Figure::SSIMULACRA2}};
    for (const auto& q : quality)
        q.label->setText(shown ? Figures::screenText(q.figure, shown->figure(q.figure))
                               : QString());
    // The distances take long: shown once measured, never measured here.
    const bool distances = shown && shown->hasButteraugli();
    for (const auto& [label, which] : {std::pair{butteraugliLabel, Figure::Butteraugli},
                                       std::pair{butteraugli3NormLabel, Figure::Butteraugli3Norm}})
        label->setText(distances ? Figures::screenText(which, shown->figure(which))
                       : shown   ? QStringLiteral("not yet")
                                 : QString());
    butteraugliMeasureButton->setEnabled(shown && shown->hasMaps() && !distances);
    const Image* source = shown ? shown->getSourceImage() : nullptr;
    const Image* compressed = shown ? shown->getCompressedImage() : nullptr;
    sourceSizeLabel->setText(source ? bytes(source->getImageSize()) : QString());
    compressedSizeLabel->setText(compressed ? bytes(compressed->getImageSize()) : QString());
    dimensionsLabel->setText(
        source ? QStringLiteral("%1 \u00d7 %2").arg(source->getWidth()).arg(source->getHeight())
               : QString());
}

void MainWindow::refresh()
{
    sourceImage->update();
    processedImage->update();
    updateGeometry();
    update();
}
