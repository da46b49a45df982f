#include "MainWindow.h"

#include "CompressionResult.h"
#include "DataFiles.h"
#include "Image.h"
#include "ImageWidget.h"
#include "Preferences.h"
#include "MemoryBudget.h"
#include "SaveJpeg.h"
#include "WindowState.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QWheelEvent>

#include <cstdint>
#include <new>

namespace {

constexpr int buttonwh = 28;
constexpr float zoomStep = 0.25f;

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
    grid = new QGridLayout(this);
    resize(400, 300);

    sourceImage = new ImageWidget(QImage(), nullptr);
    sourceImage->setObjectName(QStringLiteral("sourceImage"));
    processedImage = new ImageWidget(QImage(), nullptr);
    processedImage->setObjectName(QStringLiteral("processedImage"));
    auto* originalImageArea = new QScrollArea;
    originalImageArea->setObjectName(QStringLiteral("originalImageArea"));
    originalImageArea->setWidget(sourceImage);
    auto* processedImageArea = new QScrollArea;
    processedImageArea->setObjectName(QStringLiteral("processedImageArea"));
    processedImageArea->setWidget(processedImage);
    splitter = new QSplitter(Qt::Horizontal);
    splitter->setObjectName(QStringLiteral("splitter"));
    splitter->addWidget(originalImageArea);
    splitter->addWidget(processedImageArea);
    grid->addWidget(splitter, 0, 0, 5, 14);

    zoomLabel = new QLabel;
    zoomLabel->setObjectName(QStringLiteral("zoomLabel"));
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
    int column = 7;
    for (QPushButton* button : {rotateButton, imageButton, colorDifferenceButton, errorsButton,
                                yButton, cbButton, crButton})
        grid->addWidget(button, 5, column++, 2, 1);

    crLabel = addFigure("cr", "<B>CR: ", "<b>Compression rate</b>: source size / compressed size",
                        5, 0, true);
    cpLabel =
        addFigure("cp", "<B>CP: ", "<b>Compression percentage</b>: (1 - 1/CR)*100%", 5, 2, true);
    brLabel = addFigure("br", "<B>BR: ", "<b>Bit rate</b>: 8 * compressed size / (width * height)",
                        6, 0, true);
    if (kind == Variant::Batch)
        mseLabel = addFigure("mse", "<B>MSE: ", "<b>Mean square error", 6, 2, false);

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
        grid->setMenuBar(menuBar);
    }

    setZoomWidgetsEnabled(false);
    setViewButtonsEnabled(nullptr);
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
    if (zoom >= 0.25 && zoom <= 16.0)
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

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (acceptDrops() && Preferences::localFiles(event->mimeData()).size() == 1)
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const QStringList files = Preferences::localFiles(event->mimeData());
    if (files.size() != 1)
        return;
    event->acceptProposedAction();
    emit pictureDropped(files.first());
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
    sourceImage->setZoomFactor(1.0f, true);
    processedImage->setZoomFactor(1.0f, true);
    // The zoom remembered from the last run, once the panes are reset.
    if (hasPixels(newImage) && startZoom != 1.0f) {
        sourceImage->setZoomFactor(startZoom, false);
        processedImage->setZoomFactor(startZoom, false);
        zoomLabel->setText(QStringLiteral("%1%").arg(number(startZoom * 100.0)));
    }
    setViewButtonsEnabled(nullptr);
    setFigures(nullptr);
    refresh();
}

void MainWindow::updateCompressed(CompressionResult* newResult)
{
    result = newResult;
    setViewButtonsEnabled(newResult);
    setFigures(newResult);
    if (newResult) {
        const Image* compressed = newResult->getCompressedImage();
        showInRightPane(compressed ? compressed->getRGB32Buffer() : nullptr, compressed);
    } else {
        processedImage->setQImage(QImage());
    }
    if (saveAsAction)
        saveAsAction->setEnabled(newResult != nullptr);
    refresh();
}

void MainWindow::showInRightPane(const unsigned char* pixels, const Image* sizedLike)
{
    processedImage->setQImage(wrap(pixels, sizedLike));
}

// The compressed picture and its components have the decoded picture's size;
// the two maps exist only when it equals the source's.
void MainWindow::showCompressedImage()
{
    if (!canShowViews())
        return;
    const Image* compressed = result->getCompressedImage();
    showInRightPane(compressed ? compressed->getRGB32Buffer() : nullptr, compressed);
}

void MainWindow::showErrors()
{
    showDerived(QStringLiteral("error map"), &CompressionResult::getErrors, true);
}

void MainWindow::showColorDifference()
{
    showDerived(QStringLiteral("colour-difference map"), &CompressionResult::getColorDifference,
                true);
}

void MainWindow::showY()
{
    showDerived(QStringLiteral("Y component"), &CompressionResult::getY_RGB32, false);
}

void MainWindow::showCb()
{
    showDerived(QStringLiteral("Cb component"), &CompressionResult::getCB_RGB32, false);
}

void MainWindow::showCr()
{
    showDerived(QStringLiteral("Cr component"), &CompressionResult::getCR_RGB32, false);
}

// The derived pictures are made on first view. One that does not fit into
// memory is reported, and the pane keeps what it showed.
void MainWindow::showDerived(const QString& what, unsigned char* (CompressionResult::*view)() const,
                             bool sourceSized)
{
    if (!canShowViews())
        return;
    const Image* sizedLike = sourceSized ? result->getSourceImage() : result->getCompressedImage();
    try {
        showInRightPane((result->*view)(), sizedLike);
    } catch (const std::bad_alloc&) {
        const std::uint64_t width = sizedLike ? sizedLike->getWidth() : 0;
        const std::uint64_t height = sizedLike ? sizedLike->getHeight() : 0;
        // The maps are made two at a time, the components three.
        const std::uint64_t needed = width * height * 4 * (sourceSized ? 2 : 3);
        QMessageBox::critical(
            this, QStringLiteral("Error"),
            MemoryBudget::notEnoughMemory(
                QStringLiteral("show the %1 of the %2 x %3 picture").arg(what).arg(width).arg(height),
                needed)
                .toHtmlEscaped());
    }
}

void MainWindow::zoomBy(float step)
{
    for (ImageWidget* pane : {sourceImage, processedImage})
        pane->setZoomFactor(pane->getZoomFactor() + step, false);
    zoomLabel->setText(QStringLiteral("%1%").arg(number(sourceImage->getZoomFactor() * 100.0)));
}

void MainWindow::zoomIn()
{
    zoomBy(zoomStep);
}

// Below 0.25 the panes refuse the factor 0, so 25% is the smallest zoom.
void MainWindow::zoomOut()
{
    zoomBy(-zoomStep);
}

void MainWindow::zoomReset()
{
    sourceImage->setZoomFactor(1.0f, false);
    processedImage->setZoomFactor(1.0f, false);
    zoomLabel->setText(QStringLiteral("100%"));
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
          static_cast<QWidget*>(zoomOutButton), static_cast<QWidget*>(zoomResetButton)})
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
}

void MainWindow::setFigures(const CompressionResult* shown)
{
    crLabel->setText(shown ? number(shown->getCompressionRate()) : QString());
    cpLabel->setText(shown ? number(shown->getCompressionPercentage()) + QLatin1Char('%')
                           : QString());
    brLabel->setText(shown ? number(shown->getBitRate()) + QLatin1String(" bpp") : QString());
    if (mseLabel)
        mseLabel->setText(shown ? number(shown->getMSE()) : QString());
}

void MainWindow::refresh()
{
    sourceImage->update();
    processedImage->update();
    updateGeometry();
    update();
}
