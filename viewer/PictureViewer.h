// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "BitsMap.h"
#include "Figures.h"
#include "Variant.h"

#include <QDialog>

#include <optional>

class BlockInspector;
class CompressionResult;
class Image;
class ImagePane;
class ImageWidget;
class PaneLink;
class PixelReadout;
class SplitView;
class QButtonGroup;
class QComboBox;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QToolButton;
class QSplitter;

// The viewer of one compression: the source picture on the left, one of the
// views of the result on the right (the decoded JPEG, the error map, the
// colour-difference map, the Y, Cb or Cr component, the SSIM and Butteraugli
// maps with their colour scales, the difference amplified by a chosen gain,
// the bits each block cost), the figures below, zoom buttons beside and a
// rotate button that stacks the panes.
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
// of Y, Cb, Cr, SSIM, MS-SSIM, SSIMULACRA 2, the Butteraugli distances once
// measured), the sizes of both files in bytes and the picture's dimensions,
// each named and explained as Figures names it; CR, CP, BR and MSE stand
// beside the view buttons.
//
// The panes wrap the owners' pixel buffers without copying: the caller keeps
// the picture and the result alive while the window shows them, and hands a
// new one over before deleting the old.
//
// Two variants:
// - Variant::Batch: a dialog (tessera-batch's result viewer, tessera's
//   comparison of two history entries); closing it ends the application
//   only when asked to with setQuitOnClose(). Its owner may add a menu bar
//   to layout(); resultChanged() tells when there is something to save.
// - Variant::Interactive: tessera's top-level window, fed by the tool window,
//   without a menu; closing it ends the program, Escape does nothing, and a
//   picture file dropped on it is handed on with pictureDropped().
class PictureViewer : public QDialog
{
    Q_OBJECT

public:
    // What the right pane shows; every view has a button.
    enum class View {
        Compressed,
        ColourDifference,
        Errors,
        Y,
        Cb,
        Cr,
        SsimMap,
        // The Butteraugli distance map, measured on first view (slow).
        ButteraugliMap,
        // |source - compressed| times the gain chosen beside the views.
        Amplified,
        // The bits spent on each block (BitsMap) of the plane chosen beside
        // it, in the compression's JPEG or, when the source picture was
        // opened from a JPEG file and "Opened file" is chosen, in that file.
        Bits,
    };

    explicit PictureViewer(Variant kind, QWidget* parent = nullptr);

    Variant variant() const { return kind; }
    // Whether closing the window ends the application: always for
    // Variant::Interactive, for Variant::Batch only once set.
    void setQuitOnClose(bool quit) { quitOnClose = quit; }

    // The compression shown on the right, or null.
    const CompressionResult* shownResult() const { return result; }
    // The view shown on the right; none without a result.
    std::optional<View> shownView() const;

    // Saves the shown compression's JPEG under jpegFileName(name); a
    // failure is told in the "Error" box.
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
    // Variant::Interactive: a picture file was dropped on the window.
    void pictureDropped(const QString& path);
    // The shown compression changed; null when there is none.
    void resultChanged(const CompressionResult* shown);

public slots:
    void rotate();
    void updateImage(Image* newImage);
    void updateCompressed(CompressionResult* newResult);
    // Shows `view` of the result; nothing without a picture and a result.
    // A derived picture that does not fit into memory is told, and the
    // pane keeps what it showed.
    void showView(PictureViewer::View view);
    // Measures the shown result's Butteraugli distances now (slow).
    void measureButteraugli();
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
    // Asks for a name, then saveCompressedAs().
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
    // The parts of the window, made once by the constructor in this order.
    void createPanes();
    void createZoomColumn();
    void createViewButtons();
    void createFigures();
    QWidget* createFiguresPanel();
    QWidget* createViewOptions();
    void addLegends(QHBoxLayout* layout);
    // Grid and Split, for the row of view options.
    QWidget* createPaneTools();
    QWidget* createStatusBar();

    // A button of a painted icon.
    QPushButton* addToolButton(const char* name, const char* icon, const char* toolTip);
    // A tool button with a text: the picture buttons all carry painted icons.
    QToolButton* addTextButton(const char* name, const char* text, const char* toolTip,
                               bool checkable);
    // The caption and value labels of `figure`, named `name`TextLabel and
    // `name`Label, its definition as their tool tip.
    std::pair<QLabel*, QLabel*> addFigure(const char* name, Figure figure, const QString& caption);

    bool canShowViews() const { return result && image; }
    // Shows `pixels`, a 32-bit picture of the size of `sizedLike`, in the
    // right pane as `view`; a missing buffer or picture empties the pane.
    void showInRightPane(const unsigned char* pixels, const Image* sizedLike, View view);
    // Shows a derived picture made by the view's table entry.
    void showDerived(View view);
    void showBits();
    // Checks the button of `view` (none: no button) and names the right
    // pane after it.
    void setShownView(std::optional<View> view);
    QString rightCaption(std::optional<View> view) const;
    int gain() const;
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
    QGridLayout* grid = nullptr;
    ImageWidget* sourceImage = nullptr;
    ImageWidget* processedImage = nullptr;
    QSplitter* splitter = nullptr;
    ImagePane* originalImageArea = nullptr;
    ImagePane* processedImageArea = nullptr;
    PaneLink* link = nullptr;
    SplitView* splitView = nullptr;
    PixelReadout* readout = nullptr;

    // The view buttons, their ids the views; the checked one is the view
    // shown on the right.
    QButtonGroup* viewGroup = nullptr;
    QPushButton* rotateButton = nullptr;
    QToolButton* inspectButton = nullptr;
    BlockInspector* inspector = nullptr;

    QLabel* zoomLabel = nullptr;
    QPushButton* zoomInButton = nullptr;
    QPushButton* zoomOutButton = nullptr;
    QPushButton* zoomResetButton = nullptr;
    QToolButton* fitButton = nullptr;
    QToolButton* gridButton = nullptr;
    QToolButton* splitButton = nullptr;

    QComboBox* gainCombo = nullptr; // the gain as item data
    QLabel* ssimLegend = nullptr;
    QLabel* butteraugliLegend = nullptr;
    QComboBox* bitsPlane = nullptr; // BitsMap::Plane as item data
    QComboBox* bitsFile = nullptr;  // which file the Bits view measures
    QLabel* bitsLegend = nullptr;
    BitsMap bitsMap;       // of `result`, measured on first view
    QByteArray sourceJpeg; // the source's JPEG file, read on first view
    BitsMap sourceBitsMap; // of `sourceJpeg`, measured on first view

    // The value label of every figure shown, by figure.
    QLabel* figureLabels[FIGURE_COUNT] = {};
    QToolButton* butteraugliMeasureButton = nullptr;
    QLabel* sourceSizeLabel = nullptr;
    QLabel* compressedSizeLabel = nullptr;
    QLabel* dimensionsLabel = nullptr;

    bool quitOnClose;
    float startZoom = 1.0f;
    QString leftName, rightName; // setPaneCaptions()
};
