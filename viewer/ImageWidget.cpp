#include "ImageWidget.h"

#include <QPainter>

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

void ImageWidget::paintEvent(QPaintEvent*)
{
    if (image.isNull())
        return;
    QPainter painter(this);
    painter.translate(pictureOffset());
    painter.scale(zoomFactor, zoomFactor);
    painter.drawImage(QPointF(0, 0), image);
}
