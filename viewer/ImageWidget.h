// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFrame>
#include <QImage>
#include <QRect>
#include <QSize>

// One picture at a chosen zoom. The widget sizes itself to the zoomed picture
// (rounded half up, plus one pixel) and never shrinks below it, so the scroll
// area that holds it scrolls over a picture larger than the pane. It draws the
// picture centred on each axis along which it is larger than the picture.
//
// The picture is held as a QImage value; when the owner hands in a QImage that
// wraps a buffer of its own, that buffer must outlive the widget's hold on it.
//
// Painting draws only the picture pixels under the exposed rectangle, each
// as a square of zoom x zoom screen pixels (nearest neighbour, no smoothing),
// so a large picture at a large zoom costs no more than the screen it fills.
// On top of the picture it can draw the 8 x 8 block grid with the coarser
// MCU grid, an outlined rectangle of pixels, and a split: a second picture
// left of a divider column.
class ImageWidget : public QFrame
{
    Q_OBJECT

public:
    ImageWidget(QImage image, QWidget* parent);
    ~ImageWidget() override;

    // Sets the zoom and resizes. An unchanged factor is ignored unless
    // `force` is set; a factor not above 0 is refused.
    void setZoomFactor(float factor, bool force);
    float getZoomFactor() const { return zoomFactor; }

    // Replaces the picture, keeping the zoom.
    void setQImage(QImage img);
    const QImage& getQImage() const { return image; }

    // Where the picture's top-left corner is drawn for the widget's current
    // size: half the spare room on each axis, rounded down; 0 on an axis
    // with none.
    QPoint pictureOffset() const;
    // Between the widget's coordinates and the picture's, where pixel (x, y)
    // covers [x, x + 1) x [y, y + 1).
    QPointF toPicture(const QPointF& at) const;
    QPointF fromPicture(const QPointF& point) const;
    // The pixel under a point of the widget; outside the picture when the
    // point is.
    QPoint pixelAt(const QPointF& at) const;

    // The 8 x 8 block grid, with the grid of `mcu` pixels drawn over it when
    // that is coarser. Lines are drawn only at zooms where the cells they
    // bound are at least MIN_GRID_CELL screen pixels wide.
    static constexpr int BLOCK = 8;
    static constexpr float MIN_GRID_CELL = 4.0f;
    void setGrid(bool visible, QSize mcu = QSize(BLOCK, BLOCK));
    bool isGridVisible() const { return gridVisible; }
    QSize getMcuSize() const { return mcuSize; }

    // A rectangle of picture pixels outlined over the picture; a null
    // rectangle removes it.
    void setHighlight(const QRect& pixels);
    QRect getHighlight() const { return highlight; }

    // Shows `left` (a picture of the same size) left of picture column
    // `divider` and the picture from there on; a null `left` ends the split.
    // The divider is kept within the picture.
    void setSplit(QImage left, int divider);
    bool isSplit() const { return !splitImage.isNull(); }
    int getDivider() const { return divider; }
    const QImage& getSplitImage() const { return splitImage; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void create();
    void drawGrid(QPainter& painter, const QRect& pixels, int cellWidth, int cellHeight,
                  const QColor& colour) const;
    // paintEvent's parts: the exposed `pixels` of the picture (both sides of
    // a split), and the block and MCU grids over the exposed `area`.
    void drawPicture(QPainter& painter, const QRect& pixels) const;
    void drawGrids(QPainter& painter, const QRect& area, const QRect& pixels) const;

    float zoomFactor = 1.0f;
    QSize my_size{-1, -1};
    QImage image;
    bool gridVisible = false;
    QSize mcuSize{BLOCK, BLOCK};
    QRect highlight;
    QImage splitImage;
    int divider = 0;
};
