// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImageWidget.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

ImageWidget::ImageWidget(QImage image, QWidget* parent) : QFrame(parent)
{
    setQImage(std::move(image));
    create();
}

ImageWidget::~ImageWidget() = default;

void ImageWidget::create()
{
    setZoomFactor(1.0f, true);
}

void ImageWidget::setZoomFactor(float factor, bool force)
{
    if (factor == zoomFactor && !force)
        return;
    if (!(factor > 0.0f))
        return;
    zoomFactor = factor;
    // The zoomed size rounded half up, plus one pixel.
    my_size = QSize(int(image.width() * zoomFactor + 0.5 + 1),
                    int(image.height() * zoomFactor + 0.5 + 1));
    setMinimumSize(my_size);
    resize(my_size);
}

void ImageWidget::setQImage(QImage img)
{
    image = std::move(img);
    if (!splitImage.isNull() && splitImage.size() != image.size())
        splitImage = QImage();
    setZoomFactor(zoomFactor, true);
    update();
}

QPoint ImageWidget::pictureOffset() const
{
    auto offset = [this](int room, int side) {
        const float zoomed = float(side) * zoomFactor;
        return float(room) > zoomed ? int((float(room) - zoomed) / 2.0f) : 0;
    };
    return QPoint(offset(width(), image.width()), offset(height(), image.height()));
}

QPointF ImageWidget::toPicture(const QPointF& at) const
{
    return (at - QPointF(pictureOffset())) / double(zoomFactor);
}

QPointF ImageWidget::fromPicture(const QPointF& point) const
{
    return point * double(zoomFactor) + QPointF(pictureOffset());
}

QPoint ImageWidget::pixelAt(const QPointF& at) const
{
    const QPointF point = toPicture(at);
    return QPoint(int(std::floor(point.x())), int(std::floor(point.y())));
}

void ImageWidget::setGrid(bool visible, QSize mcu)
{
    // An MCU is a whole number of blocks, 1 to 4 each way.
    mcu = mcu.expandedTo(QSize(BLOCK, BLOCK)).boundedTo(QSize(4 * BLOCK, 4 * BLOCK));
    if (visible == gridVisible && mcu == mcuSize)
        return;
    gridVisible = visible;
    mcuSize = mcu;
    update();
}

void ImageWidget::setHighlight(const QRect& pixels)
{
    if (pixels == highlight)
        return;
    highlight = pixels;
    update();
}

void ImageWidget::setSplit(QImage left, int column)
{
    splitImage = left.size() == image.size() ? std::move(left) : QImage();
    divider = std::clamp(column, 0, image.width());
    update();
}

void ImageWidget::drawGrid(QPainter& painter, const QRect& pixels, int cellWidth, int cellHeight,
                           const QColor& colour) const
{
    const QPoint offset = pictureOffset();
    const double zoom = zoomFactor;
    // The lines at the cell edges that bound the exposed pixels, the
    // picture's own edges included.
    const int top = int(std::lround(offset.y() + pixels.top() * zoom));
    const int bottom = int(std::lround(offset.y() + (pixels.bottom() + 1) * zoom));
    const int left = int(std::lround(offset.x() + pixels.left() * zoom));
    const int right = int(std::lround(offset.x() + (pixels.right() + 1) * zoom));
    for (int k = pixels.left() / cellWidth; k * cellWidth <= pixels.right() + 1; ++k) {
        const int x = int(std::lround(offset.x() + k * cellWidth * zoom));
        painter.fillRect(QRect(x, top, 1, bottom - top + 1), colour);
    }
    for (int k = pixels.top() / cellHeight; k * cellHeight <= pixels.bottom() + 1; ++k) {
        const int y = int(std::lround(offset.y() + k * cellHeight * zoom));
        painter.fillRect(QRect(left, y, right - left + 1, 1), colour);
    }
}

void ImageWidget::paintEvent(QPaintEvent* event)
{
    if (image.isNull())
        return;
    // The picture pixels that the exposed rectangle touches.
    const QRectF exposed = event->rect(); // its bottom right is past the last pixel
    const QPointF first = toPicture(exposed.topLeft());
    const QPointF last = toPicture(exposed.bottomRight());
    const QRect pixels = QRect(QPoint(int(std::floor(first.x())), int(std::floor(first.y()))),
                               QPoint(int(std::ceil(last.x())) - 1, int(std::ceil(last.y())) - 1)) &
                         image.rect();
    if (pixels.isEmpty())
        return;

    QPainter painter(this);
    drawPicture(painter, pixels);
    drawGrids(painter, event->rect(), pixels);
    if (!highlight.isNull()) {
        const QRectF outline(fromPicture(highlight.topLeft()),
                             fromPicture(highlight.bottomRight() + QPoint(1, 1)));
        // Yellow on black, to stand out on any picture and over the grid.
        painter.setPen(QPen(Qt::black, 4));
        painter.drawRect(outline.adjusted(-1, -1, 1, 1));
        painter.setPen(QPen(QColor(255, 230, 0), 2));
        painter.drawRect(outline.adjusted(-1, -1, 1, 1));
    }
    if (isSplit()) {
        const int x = int(std::lround(fromPicture(QPointF(divider, 0)).x()));
        const int top = int(std::lround(fromPicture(QPointF(0, 0)).y()));
        const int bottom = int(std::lround(fromPicture(QPointF(0, image.height())).y()));
        painter.fillRect(QRect(x - 2, top, 4, bottom - top), Qt::black);
        painter.fillRect(QRect(x - 1, top, 2, bottom - top), Qt::white);
    }
}

void ImageWidget::drawPicture(QPainter& painter, const QRect& pixels) const
{
    // Only the exposed pixels, scaled by the painter's transform without
    // smoothing: never a scaled copy of the whole picture.
    painter.save();
    painter.translate(pictureOffset());
    painter.scale(zoomFactor, zoomFactor);
    if (isSplit()) {
        const QRect leftPart = pixels & QRect(0, 0, divider, image.height());
        const QRect rightPart = pixels & QRect(divider, 0, image.width() - divider, image.height());
        if (!leftPart.isEmpty())
            painter.drawImage(QRectF(leftPart), splitImage, QRectF(leftPart));
        if (!rightPart.isEmpty())
            painter.drawImage(QRectF(rightPart), image, QRectF(rightPart));
    } else {
        painter.drawImage(QRectF(pixels), image, QRectF(pixels));
    }
    painter.restore();
}

void ImageWidget::drawGrids(QPainter& painter, const QRect& area, const QRect& pixels) const
{
    const bool blocks = gridVisible && BLOCK * zoomFactor >= MIN_GRID_CELL;
    const bool mcus = gridVisible && mcuSize != QSize(BLOCK, BLOCK) &&
                      std::min(mcuSize.width(), mcuSize.height()) * zoomFactor >= MIN_GRID_CELL;
    if (!blocks && !mcus)
        return;
    // Translucent lines blended one by one are slow; stored into a
    // transparent layer (MCU lines over block lines) and blended once, they
    // cost about as much as the picture.
    QImage layer(area.size(), QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    QPainter lines(&layer);
    lines.setCompositionMode(QPainter::CompositionMode_Source);
    lines.translate(-area.topLeft());
    if (blocks)
        drawGrid(lines, pixels, BLOCK, BLOCK, QColor(40, 200, 255, 150));
    if (mcus)
        drawGrid(lines, pixels, mcuSize.width(), mcuSize.height(), QColor(255, 140, 0, 230));
    lines.end();
    painter.drawImage(area.topLeft(), layer);
}
