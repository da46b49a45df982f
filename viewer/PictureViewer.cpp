// SPDX-License-Identifier: GPL-3.0-or-later
#include "PictureViewer.h"

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

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
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
#include <iterator>
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

// The size and manner of every button with a painted icon.
void styleToolButton(QPushButton* button)
{
    button->setFixedSize(buttonwh, buttonwh);
    button->setIconSize(QSize(buttonwh, buttonwh));
    // Enter must not press a view or zoom button.
    button->setAutoDefault(false);
}

using View = PictureViewer::View;

// One view of a result: its button, the caption of the right pane while it
// is shown, and how its picture is made. The order is that of the buttons
// and of PictureViewer::View.
struct ViewInfo
{
    View view;
    const char* name;    // its button's object name
    const char* icon;    // DataFiles::icon()
    const char* toolTip; // its button's
    const char* caption; // of the right pane; %1 stands for the gain
    const char* what;    // "cannot show the <what> of the picture"
    // Its 32-bit picture, sized like the source when `sourceSized`, like the
    // decoded picture otherwise; made on first view by the result. Null for
    // the Bits view, which draws its own.
    const unsigned char* (*picture)(const CompressionResult& result, int gain);
    bool sourceSized;
    // Whether the result can make the picture; asked without making it.
    bool (*offered)(const CompressionResult& result);
    // Measured on first view at length: the wait cursor, and the figures
    // measured with it shown after.
    bool slow;
};

bool decoded(const CompressionResult& r)
{
    return hasPixels(r.getCompressedImage());
}
bool components(const CompressionResult& r)
{
    return r.hasComponents();
}
// The maps need the two pictures at one size.
bool maps(const CompressionResult& r)
{
    return r.hasMaps();
}
bool butteraugliFits(const CompressionResult& r)
{
    const Image* source = r.getSourceImage();
    return r.hasMaps() && int(source->getWidth()) >= Butteraugli::MIN_SIDE &&
           int(source->getHeight()) >= Butteraugli::MIN_SIDE;
}
bool always(const CompressionResult&)
{
    return true;
}

constexpr ViewInfo views[] = {
    {View::Compressed, "imageButton", "image", "Compressed image", "Compressed",
     "compressed picture",
     [](const CompressionResult& r, int) -> const unsigned char* {
         return r.getCompressedImage() ? r.getCompressedImage()->getRGB32Buffer() : nullptr;
     },
     false, decoded, false},
    {View::ColourDifference, "colorDifferenceButton", "color_diff", "Color difference",
     "Colour difference", "colour-difference map",
     [](const CompressionResult& r, int) -> const unsigned char* { return r.getColorDifference(); },
     true, maps, false},
    {View::Errors, "errorsButton", "error", "Compression errors", "Changed pixels", "error map",
     [](const CompressionResult& r, int) -> const unsigned char* { return r.getErrors(); }, true,
     maps, false},
    {View::Y, "yButton", "y", "Luminance Y", "Y", "Y component",
     [](const CompressionResult& r, int) -> const unsigned char* { return r.getY_RGB32(); }, false,
     components, false},
    {View::Cb, "cbButton", "cb", "Chrominance Cb", "Cb", "Cb component",
     [](const CompressionResult& r, int) -> const unsigned char* { return r.getCB_RGB32(); }, false,
     components, false},
    {View::Cr, "crButton", "cr", "Chrominance Cr", "Cr", "Cr component",
     [](const CompressionResult& r, int) -> const unsigned char* { return r.getCR_RGB32(); }, false,
     components, false},
    {View::SsimMap, "ssimMapButton", "ssim_map", "SSIM map: local structural similarity of luma",
     "SSIM map", "SSIM map",
     [](const CompressionResult& r, int) -> const unsigned char* { return r.getSSIMMap(); }, true,
     maps, false},
    {View::ButteraugliMap, "butteraugliButton", "butteraugli_map",
     "Butteraugli map: perceptual distance at every pixel (slow: measured on first view)",
     "Butteraugli map", "Butteraugli map",
     [](const CompressionResult& r, int) -> const unsigned char* { return r.getButteraugliMap(); },
     true, butteraugliFits, true},
    {View::Amplified, "amplifiedButton", "amplified",
     "Amplified difference: |source - compressed| times the gain", "Difference \u00d7%1",
     "amplified difference",
     [](const CompressionResult& r, int gain) -> const unsigned char* {
         return r.getAmplifiedDifference(gain);
     },
     true, maps, false},
    {View::Bits, "bitsButton", "bits", "Bits: how many bits of the JPEG each 8 \u00d7 8 block cost",
     "Bits per block", "bits per block", nullptr, false, always, false},
};

constexpr bool inViewOrder()
{
    for (int i = 0; i < int(std::size(views)); ++i)
        if (int(views[i].view) != i)
            return false;
    return std::size(views) == std::size_t(View::Bits) + 1;
}
static_assert(inViewOrder(), "one row for every view, in the order of PictureViewer::View");

const ViewInfo& viewInfo(View view)
{
    return views[int(view)];
}

// A view button is checked when its view is shown, never by a click alone:
// a view that cannot be shown leaves the check where it was.
class ViewButton : public QPushButton
{
public:
    using QPushButton::QPushButton;

protected:
    // A click never checks; the group still unchecks the button it leaves.
    void nextCheckState() override
    {
        if (isChecked())
            setChecked(false);
    }
};

// A figure the viewer shows: the names of its two labels and its place.
// The first four stand beside the view buttons, the others in the figures
// panel; the row `perceptualRow` of the panel is a line of its own.
struct FigureCell
{
    Figure figure;
    const char* name;
    int row;
    int column;
    const char* shortName; // null: the figure's own name
};

const FigureCell besideButtons[] = {
    {Figure::CompressionRate, "cr", 5, 0, nullptr},
    {Figure::CompressionPercentage, "cp", 5, 2, nullptr},
    {Figure::BitRate, "br", 6, 0, nullptr},
    {Figure::MSE, "mse", 6, 2, nullptr},
};

constexpr int perceptualRow = 3;
const FigureCell inPanel[] = {
    {Figure::PSNR, "psnr", 0, 0, nullptr},
    {Figure::SSIM, "ssim", 0, 2, nullptr},
    {Figure::MS_SSIM, "msSsim", 0, 4, nullptr},
    {Figure::PSNR_Y, "psnrY", 1, 0, nullptr},
    {Figure::PSNR_Cb, "psnrCb", 1, 2, nullptr},
    {Figure::PSNR_Cr, "psnrCr", 1, 4, nullptr},
    {Figure::SSIMULACRA2, "ssimulacra2", perceptualRow, 0, nullptr},
    {Figure::Butteraugli, "butteraugli", perceptualRow, 2, nullptr},
    // Beside the maximum distance its name needs no repeating.
    {Figure::Butteraugli3Norm, "butteraugli3Norm", perceptualRow, 4, "3-norm"},
};

QString figureName(const FigureCell& cell)
{
    return QString::fromUtf8(cell.shortName ? cell.shortName : Figures::info(cell.figure).name);
}

// A caption and a value label, named `name`TextLabel and `name`Label, with
// `toolTip` on both.
std::pair<QLabel*, QLabel*> captionAndValue(const QString& caption, const char* name,
                                            const QString& toolTip)
{
    auto* captionLabel = new QLabel(caption);
    captionLabel->setObjectName(QLatin1String(name) + QLatin1String("TextLabel"));
    captionLabel->setToolTip(toolTip);
    auto* value = new QLabel;
    value->setObjectName(QLatin1String(name) + QLatin1String("Label"));
    value->setToolTip(toolTip);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return {captionLabel, value};
}

} // namespace

PictureViewer::PictureViewer(Variant kind, QWidget* parent)
    : QDialog(parent, kind == Variant::Batch ? Qt::WindowFlags(Qt::WindowMinimizeButtonHint |
                                                               Qt::WindowMaximizeButtonHint)
                                             : Qt::WindowFlags(Qt::Window)),
      kind(kind), quitOnClose(kind == Variant::Interactive)
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

    createPanes();
    createZoomColumn();
    createViewButtons();
    createFigures();
    grid->addWidget(createStatusBar(), 9, 0, 1, 16);
    grid->setRowStretch(0, 1);
    grid->setColumnStretch(4, 1);

    setZoomWidgetsEnabled(false);
    setViewButtonsEnabled(nullptr);
    setShownView(std::nullopt);
    // tessera opens a picture dropped on its viewer.
    setAcceptDrops(kind == Variant::Interactive);
}

// The two linked panes side by side, with the pixel readout following the
// pointer over either.
void PictureViewer::createPanes()
{
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
    readout = new PixelReadout;
    for (ImagePane* pane : {originalImageArea, processedImageArea}) {
        connect(pane, &ImagePane::pointerMoved, readout, &PixelReadout::showPixel);
        connect(pane, &ImagePane::pointerMoved, this, [this](const QPoint& pixel) {
            if (shownView() == View::Bits && shownBitsMap().isMeasured())
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
}

// Right of the panes, from the top: Fit, the zoom, zoom in, reset, out.
void PictureViewer::createZoomColumn()
{
    fitButton =
        addTextButton("fitButton", "Fit", "Zoom so that the whole picture fits the pane", false);
    connect(fitButton, &QToolButton::clicked, this, &PictureViewer::fit);
    grid->addWidget(fitButton, 0, 15, Qt::AlignHCenter | Qt::AlignBottom);
    zoomLabel = new QLabel;
    zoomLabel->setObjectName(QStringLiteral("zoomLabel"));
    // As wide as the widest zoom, so that the buttons never move under the pointer.
    zoomLabel->setAlignment(Qt::AlignCenter);
    zoomLabel->setFixedWidth(
        zoomLabel->fontMetrics().horizontalAdvance(QStringLiteral("0000.00%")) + 4);
    connect(link, &PaneLink::zoomChanged, this, [this](float zoom) {
        zoomLabel->setText(QStringLiteral("%1%").arg(number(zoom * 100.0)));
    });
    grid->addWidget(zoomLabel, 1, 15);
    zoomInButton = addToolButton("zoomInButton", "zoom_in", "Zoom in");
    connect(zoomInButton, &QPushButton::clicked, this, &PictureViewer::zoomIn);
    grid->addWidget(zoomInButton, 2, 15);
    zoomResetButton = addToolButton("zoomResetButton", "zoom_reset", "Reset zoom");
    connect(zoomResetButton, &QPushButton::clicked, this, &PictureViewer::zoomReset);
    grid->addWidget(zoomResetButton, 3, 15);
    zoomOutButton = addToolButton("zoomOutButton", "zoom_out", "Zoom out");
    connect(zoomOutButton, &QPushButton::clicked, this, &PictureViewer::zoomOut);
    grid->addWidget(zoomOutButton, 4, 15);
}

// Under the panes: Rotate, a button for every view, then Inspect.
void PictureViewer::createViewButtons()
{
    int column = 7;
    rotateButton = addToolButton("rotateButton", "rotate", "Rotate");
    connect(rotateButton, &QPushButton::clicked, this, &PictureViewer::rotate);
    grid->addWidget(rotateButton, 5, column++, 2, 1);
    viewGroup = new QButtonGroup(this);
    for (const ViewInfo& info : views) {
        auto* button = new ViewButton;
        button->setObjectName(QLatin1String(info.name));
        button->setIcon(DataFiles::icon(info.icon));
        button->setToolTip(QString::fromUtf8(info.toolTip));
        styleToolButton(button);
        button->setCheckable(true);
        // The painted icons fill the button: a frame in the highlight colour
        // tells the checked one.
        button->setStyleSheet(QStringLiteral(
            "QPushButton:checked { border: 2px solid palette(highlight); border-radius: 3px;"
            " background: palette(highlight); }"));
        viewGroup->addButton(button, int(info.view));
        grid->addWidget(button, 5, column++, 2, 1);
    }
    connect(viewGroup, &QButtonGroup::idClicked, this, [this](int id) { showView(View(id)); });
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
    connect(inspector, &BlockInspector::blockShown, this, &PictureViewer::showInspectedBlock);
    connect(inspectButton, &QToolButton::toggled, this, &PictureViewer::showInspectedBlock);
}

// CR, CP, BR and MSE left of the view buttons; the other figures and the view
// options each take a row of their own, so that the window stays narrow
// enough for a laptop screen beside the tools.
void PictureViewer::createFigures()
{
    for (const FigureCell& cell : besideButtons) {
        const auto [caption, value] =
            addFigure(cell.name, cell.figure, QStringLiteral("<B>%1: ").arg(figureName(cell)));
        grid->addWidget(caption, cell.row, cell.column);
        grid->addWidget(value, cell.row, cell.column + 1);
    }
    grid->addWidget(createFiguresPanel(), 7, 0, 1, 16);
    grid->addWidget(createViewOptions(), 8, 0, 1, 16);
}

std::pair<QLabel*, QLabel*> PictureViewer::addFigure(const char* name, Figure figure,
                                                     const QString& caption)
{
    const auto labels =
        captionAndValue(caption, name, QString::fromUtf8(Figures::info(figure).definition));
    figureLabels[int(figure)] = labels.second;
    return labels;
}

QWidget* PictureViewer::createStatusBar()
{
    auto* statusBar = new QStatusBar;
    statusBar->setObjectName(QStringLiteral("statusBar"));
    statusBar->setSizeGripEnabled(false);
    // The readout's long lines are cut at the window's edge; they never widen it.
    readout->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusBar->addWidget(readout, 1);
    return statusBar;
}

void PictureViewer::restoreSettings()
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

void PictureViewer::saveSettings() const
{
    const QString key =
        kind == Variant::Batch ? QStringLiteral("batchViewer") : QStringLiteral("viewer");
    WindowState::save(this, key);
    Preferences::setValue(QStringLiteral("%1/stacked").arg(key),
                          splitter->orientation() == Qt::Vertical);
    Preferences::setValue(QStringLiteral("%1/zoom").arg(key),
                          image ? double(sourceImage->getZoomFactor()) : double(startZoom));
}

void PictureViewer::setPaneCaptions(const QString& left, const QString& right)
{
    leftName = left;
    rightName = right;
    setShownView(shownView());
}

void PictureViewer::dragEnterEvent(QDragEnterEvent* event)
{
    if (acceptDrops() && !Preferences::singleLocalFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void PictureViewer::dropEvent(QDropEvent* event)
{
    const QString file = Preferences::singleLocalFile(event->mimeData());
    if (file.isEmpty())
        return;
    event->acceptProposedAction();
    emit pictureDropped(file);
}

QWidget* PictureViewer::createFiguresPanel()
{
    auto* panel = new QFrame;
    panel->setObjectName(QStringLiteral("figuresPanel"));
    panel->setFrameShape(QFrame::StyledPanel);
    auto* layout = new QGridLayout(panel);
    layout->setContentsMargins(6, 3, 6, 3);
    layout->setHorizontalSpacing(6);
    // The perceptual figures' row has a line of its own, so that its long
    // captions do not widen the columns above.
    auto* perceptual = new QHBoxLayout;
    perceptual->setSpacing(6);
    for (const FigureCell& cell : inPanel) {
        const auto [caption, value] =
            addFigure(cell.name, cell.figure, QStringLiteral("<b>%1: </b>").arg(figureName(cell)));
        if (cell.row == perceptualRow) {
            perceptual->addWidget(caption);
            perceptual->addWidget(value);
            perceptual->addSpacing(6);
        } else {
            layout->addWidget(caption, cell.row, cell.column);
            layout->addWidget(value, cell.row, cell.column + 1);
        }
    }
    // The sizes and the dimensions, which are no figures of the compression.
    const struct
    {
        const char* name;
        const char* caption;
        const char* toolTip;
        int column;
        QLabel** value;
    } sizes[] = {
        {"sourceSize", "Source: ", "Size of the source file", 0, &sourceSizeLabel},
        {"compressedSize", "JPEG: ", "Size of the compressed file", 2, &compressedSizeLabel},
        {"dimensions", "Picture: ", "Width \u00d7 height in pixels", 4, &dimensionsLabel},
    };
    for (const auto& size : sizes) {
        const auto [caption, value] =
            captionAndValue(QStringLiteral("<b>%1</b>").arg(QLatin1String(size.caption)), size.name,
                            QString::fromUtf8(size.toolTip));
        layout->addWidget(caption, 2, size.column);
        layout->addWidget(value, 2, size.column + 1);
        *size.value = value;
    }
    butteraugliMeasureButton = addTextButton(
        "butteraugliMeasureButton", "Measure",
        "Measure the Butteraugli distances of this compression now (takes a while)", false);
    connect(butteraugliMeasureButton, &QToolButton::clicked, this,
            &PictureViewer::measureButteraugli);
    perceptual->addWidget(butteraugliMeasureButton);
    perceptual->addStretch(1);
    layout->addLayout(perceptual, perceptualRow, 0, 1, 7);
    layout->setColumnStretch(6, 1);
    return panel;
}

// Grid and Split left; right the choices and colour scales of the views
// (shown with their view only) and the gain.
QWidget* PictureViewer::createViewOptions()
{
    auto* options = new QWidget;
    options->setObjectName(QStringLiteral("viewOptions"));
    auto* layout = new QHBoxLayout(options);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(createPaneTools());
    layout->addStretch(1);
    addLegends(layout);

    auto* gainCaption = new QLabel(QStringLiteral("Gain:"));
    gainCaption->setObjectName(QStringLiteral("gainTextLabel"));
    gainCombo = new QComboBox;
    gainCombo->setObjectName(QStringLiteral("gainCombo"));
    const QString tip = QStringLiteral("Gain of the amplified difference");
    gainCaption->setToolTip(tip);
    gainCombo->setToolTip(tip);
    for (int g : {1, 2, 4, 8, 16, 32})
        gainCombo->addItem(QStringLiteral("\u00d7%1").arg(g), g);
    gainCombo->setCurrentIndex(gainCombo->findData(8));
    connect(gainCombo, &QComboBox::activated, this,
            [this](int index) { setGain(gainCombo->itemData(index).toInt()); });
    layout->addWidget(gainCaption);
    layout->addWidget(gainCombo);
    return options;
}

void PictureViewer::addLegends(QHBoxLayout* layout)
{
    bitsFile = new QComboBox;
    bitsFile->setObjectName(QStringLiteral("bitsFile"));
    bitsFile->setToolTip(QStringLiteral("The JPEG whose blocks the Bits view shows: this "
                                        "compression, or the JPEG file the picture was opened "
                                        "from"));
    bitsFile->addItem(QStringLiteral("Compression"));
    bitsFile->addItem(QStringLiteral("Opened file"));
    connect(bitsFile, &QComboBox::activated, this, &PictureViewer::showBits);
    bitsPlane = new QComboBox;
    bitsPlane->setObjectName(QStringLiteral("bitsPlane"));
    bitsPlane->setToolTip(QStringLiteral("The component whose blocks the Bits view shows, or all "
                                         "of them summed over the luma blocks they cover"));
    bitsPlane->addItem(QStringLiteral("All"), int(BitsMap::ALL));
    bitsPlane->addItem(QStringLiteral("Y"), int(BitsMap::Y));
    bitsPlane->addItem(QStringLiteral("Cb"), int(BitsMap::CB));
    bitsPlane->addItem(QStringLiteral("Cr"), int(BitsMap::CR));
    connect(bitsPlane, &QComboBox::activated, this, &PictureViewer::showBits);
    bitsLegend = new QLabel;
    bitsLegend->setObjectName(QStringLiteral("bitsLegend"));
    bitsLegend->setToolTip(QStringLiteral("Bits of each block, and bits per pixel of the pixels "
                                          "the block covers: dark = cheap, white = the most "
                                          "expensive 0.5 % and above"));
    ssimLegend = new QLabel;
    ssimLegend->setObjectName(QStringLiteral("ssimLegend"));
    ssimLegend->setToolTip(QStringLiteral("Local SSIM: 1 = identical (dark), lower = brighter; "
                                          "grey where the 11 \u00d7 11 window does not fit"));
    ssimLegend->setPixmap(ssimLegendPixmap(font()));
    butteraugliLegend = new QLabel;
    butteraugliLegend->setObjectName(QStringLiteral("butteraugliLegend"));
    butteraugliLegend->setToolTip(
        QStringLiteral("Butteraugli distance: 0 = identical (black), about 1 = just visible, "
                       "red at 3 and above"));
    butteraugliLegend->setPixmap(butteraugliLegendPixmap(font()));

    for (QWidget* widget : std::initializer_list<QWidget*>{bitsFile, bitsPlane, bitsLegend,
                                                           ssimLegend, butteraugliLegend}) {
        widget->hide();
        layout->addWidget(widget);
    }
}

void PictureViewer::rotate()
{
    splitter->setOrientation(splitter->orientation() == Qt::Horizontal ? Qt::Vertical
                                                                       : Qt::Horizontal);
}

void PictureViewer::updateImage(Image* newImage)
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
    processedImage->setQImage(QImage());
    sourceImage->setZoomFactor(1.0f, true);
    processedImage->setZoomFactor(1.0f, true);
    link->adopt(1.0f);
    // The zoom remembered from the last run, once the panes are reset.
    if (hasPixels(newImage) && startZoom != 1.0f)
        link->zoomTo(startZoom);
    setViewButtonsEnabled(nullptr);
    setShownView(std::nullopt);
    setFigures(nullptr);
    readout->setPictures(hasPixels(newImage) ? newImage : nullptr, nullptr);
    updateOverlays();
    refresh();
    emit resultChanged(nullptr);
}

void PictureViewer::updateCompressed(CompressionResult* newResult)
{
    result = newResult;
    bitsMap.clear();
    inspector->setResult(newResult);
    setViewButtonsEnabled(newResult);
    setFigures(newResult);
    const Image* compressed = newResult ? newResult->getCompressedImage() : nullptr;
    if (newResult) {
        showInRightPane(compressed ? compressed->getRGB32Buffer() : nullptr, compressed,
                        View::Compressed);
    } else {
        processedImage->setQImage(QImage());
        setShownView(std::nullopt);
    }
    readout->setPictures(hasPixels(image) ? image : nullptr,
                         hasPixels(compressed) ? compressed : nullptr);
    updateOverlays();
    refresh();
    emit resultChanged(newResult);
}

std::optional<PictureViewer::View> PictureViewer::shownView() const
{
    const int id = viewGroup->checkedId();
    return id < 0 ? std::nullopt : std::optional<View>(View(id));
}

void PictureViewer::showView(View view)
{
    if (!canShowViews())
        return;
    if (view == View::Bits)
        showBits();
    else
        showDerived(view);
}

void PictureViewer::showInRightPane(const unsigned char* pixels, const Image* sizedLike, View view)
{
    processedImage->setQImage(wrap(pixels, sizedLike));
    inspector->setCodedFile(QByteArray());
    setShownView(view);
}

// The derived pictures are made on first view. One that does not fit into
// memory is reported, and the pane keeps what it showed; so does the
// checked button.
void PictureViewer::showDerived(View view)
{
    const ViewInfo& info = viewInfo(view);
    const Image* sizedLike =
        info.sourceSized ? result->getSourceImage() : result->getCompressedImage();
    if (info.slow)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    bool shown = true;
    try {
        showInRightPane(info.picture(*result, gain()), sizedLike, view);
    } catch (const std::bad_alloc&) {
        shown = false;
    }
    if (info.slow) {
        QApplication::restoreOverrideCursor();
        setFigures(result);
    }
    if (shown)
        return;
    const std::uint64_t width = sizedLike ? sizedLike->getWidth() : 0;
    const std::uint64_t height = sizedLike ? sizedLike->getHeight() : 0;
    // The maps are made two at a time, the components three.
    const std::uint64_t needed = width * height * 4 * (info.sourceSized ? 2 : 3);
    QMessageBox::critical(
        this, QStringLiteral("Error"),
        MemoryBudget::notEnoughMemory(QStringLiteral("show the %1 of the %2 x %3 picture")
                                          .arg(QLatin1String(info.what))
                                          .arg(width)
                                          .arg(height),
                                      needed)
            .toHtmlEscaped());
}

// The checked button names the right pane and brings the options and the
// colour scale of its view.
void PictureViewer::setShownView(std::optional<View> view)
{
    if (view) {
        viewGroup->button(int(*view))->setChecked(true);
    } else if (QAbstractButton* checked = viewGroup->checkedButton()) {
        // An exclusive group keeps one button checked unless told otherwise.
        viewGroup->setExclusive(false);
        checked->setChecked(false);
        viewGroup->setExclusive(true);
    }
    ssimLegend->setVisible(view == View::SsimMap);
    butteraugliLegend->setVisible(view == View::ButteraugliMap);
    const bool bits = view == View::Bits;
    bitsLegend->setVisible(bits);
    bitsPlane->setVisible(bits);
    bitsFile->setVisible(bits && image && image->isFromJpegFile());

    // Names given by the owner stand for "Source" and "Compressed".
    const QString source = leftName.isEmpty() ? QStringLiteral("Source") : leftName;
    // tessera's empty start tells how to get a picture.
    const QString none = kind == Variant::Interactive
                             ? QStringLiteral("No picture: open one with File \u2192 Open in "
                                              "Tools, or drop a picture file here")
                             : QStringLiteral("No picture");
    originalImageArea->setCaption(image ? source : none);
    QString caption = rightCaption(view);
    if (splitView->isEnabled())
        caption = QStringLiteral("\u25c0 %1  |  %2 \u25b6").arg(source, caption);
    processedImageArea->setCaption(caption);
    // The pane drops a split picture of another size than its own.
    splitView->setLeft(sourceImage->getQImage());
}

QString PictureViewer::rightCaption(std::optional<View> view) const
{
    if (!view)
        return rightName.isEmpty() ? (image ? QStringLiteral("Compressed: none yet") : QString())
                                   : rightName;
    // The opened file's bits belong to no compression.
    if (view == View::Bits && showsSourceBits())
        return QStringLiteral("Opened file: bits per block");
    QString caption = QString::fromUtf8(viewInfo(*view).caption);
    if (view == View::Amplified)
        caption = caption.arg(gain());
    if (rightName.isEmpty())
        return caption;
    return view == View::Compressed ? rightName : rightName + QStringLiteral(": ") + caption;
}

int PictureViewer::gain() const
{
    return gainCombo->currentData().toInt();
}

void PictureViewer::measureButteraugli()
{
    if (!result)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    result->getButteraugli();
    QApplication::restoreOverrideCursor();
    setFigures(result);
}

bool PictureViewer::showsSourceBits() const
{
    return image && image->isFromJpegFile() && bitsFile->currentIndex() == 1;
}

BitsMap& PictureViewer::shownBitsMap()
{
    return showsSourceBits() ? sourceBitsMap : bitsMap;
}

QByteArray PictureViewer::shownBitsFile() const
{
    return showsSourceBits() ? sourceJpeg : result->getCompressedBytes();
}

void PictureViewer::showBits()
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
            setShownView(shownView());
        }
        return;
    }
    const int plane = bitsPlane->currentData().toInt();
    processedImage->setQImage(map.render(plane));
    bitsLegend->setPixmap(map.legend(plane, font()));
    inspector->setCodedFile(showsSourceBits() ? sourceJpeg : QByteArray());
    setShownView(View::Bits);
    // A grey file has one plane.
    for (int i = 2; i < bitsPlane->count(); ++i)
        qobject_cast<QStandardItemModel*>(bitsPlane->model())
            ->item(i)
            ->setEnabled(i - 1 < map.componentCount());
}

void PictureViewer::setGain(int newGain)
{
    if (gainCombo->findData(newGain) < 0)
        return;
    gainCombo->setCurrentIndex(gainCombo->findData(newGain));
    showView(View::Amplified);
}

// Every zoom keeps the picture point at the centre of the view in place.
void PictureViewer::zoomIn()
{
    link->zoomBy(1);
}

void PictureViewer::zoomOut()
{
    link->zoomBy(-1);
}

void PictureViewer::zoomReset()
{
    link->zoomTo(1.0f);
}

void PictureViewer::fit()
{
    link->fit();
}

void PictureViewer::setZoom(float factor)
{
    link->zoomTo(factor);
}

QToolButton* PictureViewer::addTextButton(const char* name, const char* text, const char* toolTip,
                                          bool checkable)
{
    auto* button = new QToolButton;
    button->setObjectName(QLatin1String(name));
    button->setText(QString::fromUtf8(text));
    button->setToolTip(QString::fromUtf8(toolTip));
    button->setCheckable(checkable);
    return button;
}

QPushButton* PictureViewer::addToolButton(const char* name, const char* icon, const char* toolTip)
{
    auto* button = new QPushButton(DataFiles::icon(icon), QString());
    button->setObjectName(QLatin1String(name));
    button->setToolTip(QString::fromLatin1(toolTip));
    styleToolButton(button);
    return button;
}

QWidget* PictureViewer::createPaneTools()
{
    gridButton = addTextButton(
        "gridButton", "Grid",
        "Draw the 8 \u00d7 8 blocks and, when the colours are subsampled, the MCUs", true);
    connect(gridButton, &QToolButton::toggled, this, &PictureViewer::setGridVisible);
    splitButton = addTextButton("splitButton", "Split",
                                "One pane: the source left and the view right of a divider you "
                                "drag",
                                true);
    connect(splitButton, &QToolButton::toggled, this, &PictureViewer::setSplitView);

    auto* tools = new QWidget;
    tools->setObjectName(QStringLiteral("paneTools"));
    auto* layout = new QHBoxLayout(tools);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(gridButton);
    layout->addWidget(splitButton);
    return tools;
}

void PictureViewer::setGridVisible(bool visible)
{
    gridButton->setChecked(visible);
    updateOverlays();
}

void PictureViewer::setSplitView(bool split)
{
    splitButton->setChecked(split);
    if (split == splitView->isEnabled())
        return;
    originalImageArea->setVisible(!split);
    // The source pane, shown again, comes to where the split pane was.
    link->lead(processedImageArea);
    splitView->setEnabled(split);
    setShownView(shownView());
}

// The MCU grid is that of the shown compression: 8 times its largest
// sampling factors, or one block when a single component is coded alone.
void PictureViewer::updateOverlays()
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

QRect PictureViewer::outlineInspectedBlock()
{
    const QRect area = inspectButton->isChecked() && result ? inspector->shownArea() : QRect();
    for (ImageWidget* pane : {sourceImage, processedImage})
        pane->setHighlight(area);
    return area;
}

// The inspected block, outlined in both panes while Inspect is on, and
// scrolled into view when the inspector moves off screen.
void PictureViewer::showInspectedBlock()
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

void PictureViewer::saveAs()
{
    const QString name = askJpegSaveName(this);
    if (!name.isEmpty())
        saveCompressedAs(name);
}

bool PictureViewer::saveCompressedAs(const QString& name)
{
    return saveCompressedJpegAs(this, result, name);
}

void PictureViewer::wheelEvent(QWheelEvent* event)
{
    const int delta = event->angleDelta().y();
    if (delta > 0)
        zoomIn();
    else if (delta < 0)
        zoomOut();
    event->ignore();
}

void PictureViewer::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (quitOnClose)
        QCoreApplication::quit();
}

void PictureViewer::reject()
{
    // The dialog's own reject() only hides the window, which would skip
    // closeEvent and with it quitOnClose.
    setResult(QDialog::Rejected);
    close();
}

void PictureViewer::keyPressEvent(QKeyEvent* event)
{
    // tessera's viewer is a plain window: Escape neither hides it nor ends
    // the program.
    if (kind == Variant::Interactive)
        QWidget::keyPressEvent(event);
    else
        QDialog::keyPressEvent(event);
}

void PictureViewer::setZoomWidgetsEnabled(bool enabled)
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
void PictureViewer::setViewButtonsEnabled(const CompressionResult* shown)
{
    for (const ViewInfo& info : views)
        viewGroup->button(int(info.view))->setEnabled(shown && info.offered(*shown));
    gainCombo->setEnabled(shown && viewInfo(View::Amplified).offered(*shown));
}

void PictureViewer::setFigures(const CompressionResult* shown)
{
    // The distances take long: shown once measured, never measured here.
    const bool distances = shown && shown->hasButteraugli();
    for (int i = 0; i < FIGURE_COUNT; ++i) {
        QLabel* label = figureLabels[i];
        if (!label)
            continue;
        const Figure figure = Figure(i);
        const bool onRequest = figure == Figure::Butteraugli || figure == Figure::Butteraugli3Norm;
        label->setText(!shown ? QString()
                       : onRequest && !distances
                           ? QStringLiteral("not yet")
                           : Figures::screenText(figure, shown->figure(figure)));
    }
    butteraugliMeasureButton->setEnabled(shown && shown->hasMaps() && !distances);
    const Image* source = shown ? shown->getSourceImage() : nullptr;
    const Image* compressed = shown ? shown->getCompressedImage() : nullptr;
    sourceSizeLabel->setText(source ? bytes(source->getImageSize()) : QString());
    compressedSizeLabel->setText(compressed ? bytes(compressed->getImageSize()) : QString());
    dimensionsLabel->setText(
        source ? QStringLiteral("%1 \u00d7 %2").arg(source->getWidth()).arg(source->getHeight())
               : QString());
}

void PictureViewer::refresh()
{
    sourceImage->update();
    processedImage->update();
    updateGeometry();
    update();
}
