// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "BitsMap.h"
#include "Variant.h"

#include <QDialog>

#include <functional>

class BlockInspector;
class CompressionResult;
class Image;
class ImagePane;
class ImageWidget;
class JPEGCompressor;
class PaneLink;
class PixelReadout;
class SplitView;
class QAction;
class QButtonGroup;
class QComboBox;
class QGridLayout;
class QLabel;
class QPushButton;
class QToolButton;
class QSplitter;

// The viewer of one compression: the source picture on the left, one of eight
// views of the result on the right (the decoded JPEG, the error map, the
// colour-difference map, the Y, Cb or Cr component, the SSIM map with its
// colour scale, the difference amplified by a chosen gain), the figures
// below, zoom buttons beside and a rotate button that stacks the panes.
//
// The two panes are linked: scrolling or zooming one moves the other to the
// same place of the picture. Zoom steps multiply by 1.25 up to 3200 %, Ctrl
// with the wheel zooms about the pointer and "Fit" shows the whole picture.
// Each pane carries a caption naming what it shows, the button of the shown
// view is checked, and the status line reads out the pixel under the
// pointer. "Grid" draws the 8 x 8 blocks and the MCUs of the compression;
// "Split" shows the source left and the view right of a divider in one
// pane; the block inspector's block is outlined and kept in view.
//
// Below the views a figures panel shows the quality figures (PSNR of RGB and
// of Y, Cb, Cr, SSIM, MS-SSIM), the sizes of both files in bytes and the
// picture's dimensions; SSIM and MS-SSIM are measured when a result is shown.
//
// The panes wrap the owners' pixel buffers without copying: the caller keeps
// the picture and the result alive while the window shows them, and hands a
// new one over before deleting the old.
//
// Two variants:
// - tessera-batch: a modal dialog with a File menu ("Save as", "Quit");
//   closing it ends the application only when asked to.
// - tessera: a top-level window fed by the tool window, no menu; closing it
//   ends the program.
// Both show CR, CP, BR and MSE.
class MainWindow : public QDialog
{
    Q_OBJECT

public:
    // The batch tool's viewer.
    MainWindow(bool quitOnClose, QWidget* parent);
    // The interactive tool's viewer. It is handed the program's one compressor
    // but needs nothing from it: everything it shows comes through the slots.
    MainWindow(JPEGCompressor& jpegCompressor, QWidget* parent);

    Variant variant() const { return kind; }

    // What "Save as" does once it has a name: saves the last compression's
    // JPEG under jpegFileName(name); a failure is told in the "Error" box.
    bool saveCompressedAs(const QString& name);

    // The window's size and place, the panes' arrangement and zoom, kept
    // between runs. The programs call them at start and at the end; a
    // restored zoom other than 100% is applied to every new picture.
    void restoreSettings();
    void saveSettings() const;

    // Names the two panes with a caption above each, for a viewer that
    // shows something other than a source and its compression.
    void setPaneCaptions(const QString& left, const QString& right);

signals:
    // tessera: a picture file was dropped on the window.
    void pictureDropped(const QString& path);

public slots:
    void rotate();
    void updateImage(Image* newImage);
    void updateCompressed(CompressionResult* newResult);
    void showErrors();
    void showColorDifference();
    void showCompressedImage();
    void showY();
    void showCb();
    void showCr();
    void showSSIMMap();
    // The Butteraugli distance map, measured on first view (slow).
    void showButteraugliMap();
    // Measures the shown result's Butteraugli distances now (slow).
    void measureButteraugli();
    void showAmplifiedDifference();
    // The bits spent on each block (BitsMap) of the plane chosen beside it,
    // in the compression's JPEG or, when the source picture was opened from
    // a JPEG file and "Opened file" is chosen beside it, in that file.
    void showBits();
    // 1, 2, 4, 8, 16 or 32; shows the amplified difference at that gain.
    void setGain(int gain);
    void zoomIn();
    void zoomOut();
    void zoomReset();
    // The largest zoom at which the whole picture fits the pane.
    void fit();
    // Any zoom within the limits, about the centre of the view.
    void setZoom(float factor);
    void setGridVisible(bool visible);
    // One pane: the source left of a divider, the current view right of it.
    void setSplitView(bool split);
    // Asks for a name, then saveCompressedAs(). Batch tool only.
    void saveAs();

    // Escape and the like close the window as its close button does.
    void reject() override;

protected:
    void wheelEvent(QWheelEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    MainWindow(Variant kind, bool quit, QWidget* parent);
    void create();
    QPushButton* addToolButton(const char* name, const char* icon, const char* toolTip,
                               void (MainWindow::*slot)());
    QLabel* addFigure(const char* name, const char* caption, const char* toolTip, int row,
                      int column, bool valueToolTip);
    QWidget* createFiguresPanel();
    QWidget* createViewOptions();
    // Shows `pixels`, a 32-bit picture of the size of `sizedLike`, in the
    // right pane; a missing buffer or picture empties the pane.
    void showInRightPane(const unsigned char* pixels, const Image* sizedLike, QPushButton* view);
    // Shows one derived picture of the result, sized like the source or like
    // the decoded picture; says so when it does not fit into memory.
    void showDerived(const QString& what, const std::function<unsigned char*()>& view,
                     bool sourceSized, QPushButton* button);
    bool canShowViews() const { return result && image; }
    // Checks the button of the view shown on the right and names it there.
    void setActiveView(QPushButton* view);
    // A tool button with a text: the picture buttons all carry painted icons.
    QToolButton* addTextButton(const char* name, const char* text, const char* toolTip,
                               bool checkable);
    // Grid and Split, for the row of view options; Fit goes above the zoom.
    QWidget* createPaneTools();
    void showInspectedBlock();
    // Outlines the inspected block in both panes (none while Inspect is
    // off) without scrolling; returns its area in picture pixels.
    QRect outlineInspectedBlock();
    void updateOverlays();
    void setZoomWidgetsEnabled(bool enabled);
    void setViewButtonsEnabled(const CompressionResult* shown);
    void setFigures(const CompressionResult* shown);
    void refresh();
    // The Bits view's file, chosen with `bitsFile`, and its map.
    bool showsSourceBits() const;
    BitsMap& shownBitsMap();
    QByteArray shownBitsFile() const;

    const Variant kind;
    CompressionResult* result = nullptr;
    Image* image = nullptr;
    ImageWidget* sourceImage = nullptr;
    ImageWidget* processedImage = nullptr;
    QSplitter* splitter = nullptr;
    ImagePane* originalImageArea = nullptr;
    ImagePane* processedImageArea = nullptr;
    PaneLink* link = nullptr;
    SplitView* splitView = nullptr;
    PixelReadout* readout = nullptr;
    QButtonGroup* viewGroup = nullptr;
    QPushButton* activeView = nullptr;
    QToolButton* fitButton = nullptr;
    QToolButton* gridButton = nullptr;
    QToolButton* splitButton = nullptr;

    QToolButton* inspectButton = nullptr;
    BlockInspector* inspector = nullptr;
    QPushButton* rotateButton = nullptr;
    QPushButton* yButton = nullptr;
    QPushButton* cbButton = nullptr;
    QPushButton* crButton = nullptr;
    QPushButton* imageButton = nullptr;
    QPushButton* errorsButton = nullptr;
    QPushButton* colorDifferenceButton = nullptr;
    QPushButton* ssimMapButton = nullptr;
    QPushButton* butteraugliButton = nullptr;
    QPushButton* amplifiedButton = nullptr;
    QComboBox* gainCombo = nullptr;
    QLabel* ssimLegend = nullptr;
    QPushButton* bitsButton = nullptr;
    QComboBox* bitsPlane = nullptr; // BitsMap::Plane as item data
    QLabel* bitsLegend = nullptr;
    BitsMap bitsMap;               // of `result`, measured on first view
    QComboBox* bitsFile = nullptr; // which file the Bits view measures
    QByteArray sourceJpeg;         // the source's JPEG file, read on first view
    BitsMap sourceBitsMap;         // of `sourceJpeg`, measured on first view
    QLabel* butteraugliLegend = nullptr;
    QPushButton* zoomInButton = nullptr;
    QPushButton* zoomOutButton = nullptr;
    QPushButton* zoomResetButton = nullptr;

    QLabel* cpLabel = nullptr;
    QLabel* crLabel = nullptr;
    QLabel* brLabel = nullptr;
    QLabel* mseLabel = nullptr;
    // The figures panel: PSNR, PSNR-Y, -Cb, -Cr, SSIM, MS-SSIM, sizes, dimensions.
    QLabel* psnrLabel = nullptr;
    QLabel* psnrYLabel = nullptr;
    QLabel* psnrCbLabel = nullptr;
    QLabel* psnrCrLabel = nullptr;
    QLabel* ssimLabel = nullptr;
    QLabel* msSsimLabel = nullptr;
    // SSIMULACRA 2 and the Butteraugli distances, which are measured on
    // request ("Measure", the Butteraugli view) or with Live off.
    QLabel* ssimulacra2Label = nullptr;
    QLabel* butteraugliLabel = nullptr;
    QLabel* butteraugli3NormLabel = nullptr;
    QToolButton* butteraugliMeasureButton = nullptr;
    QLabel* sourceSizeLabel = nullptr;
    QLabel* compressedSizeLabel = nullptr;
    QLabel* dimensionsLabel = nullptr;
    QLabel* zoomLabel = nullptr;
    QAction* saveAsAction = nullptr; // tessera-batch only
    QGridLayout* grid = nullptr;
    bool quitOnClose = false;
    float startZoom = 1.0f;
    QString leftName, rightName; // setPaneCaptions()
    int gain = 8;
};
