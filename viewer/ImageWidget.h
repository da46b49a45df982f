#pragma once

#include <QFrame>
#include <QImage>
#include <QSize>

// One picture at a chosen zoom. The widget sizes itself to the zoomed picture
// (rounded half up, plus one pixel) and never shrinks below it, so the scroll
// area that holds it scrolls over a picture larger than the pane. It draws the
// picture centred on each axis along which it is larger than the picture.
//
// The picture is held as a QImage value; when the owner hands in a QImage that
// wraps a buffer of its own, that buffer must outlive the widget's hold on it.
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

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void create();

    float zoomFactor = 1.0f;
    QSize my_size{-1, -1};
    QImage image;
};
