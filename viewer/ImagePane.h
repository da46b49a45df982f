// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QScrollArea>

class ImageWidget;
class QLabel;

// A scroll area over one ImageWidget with a caption strip above the view
// naming what the pane shows. The wheel with Ctrl asks for a zoom about the
// pointer instead of scrolling by a page; moving the pointer over the
// picture reports the picture pixel under it.
class ImagePane : public QScrollArea
{
    Q_OBJECT

public:
    explicit ImagePane(ImageWidget* picture, QWidget* parent = nullptr);

    ImageWidget* picture() const { return view; }

    void setCaption(const QString& text);
    QString caption() const;

    // The picture point under point `at` of the viewport.
    QPointF pictureAt(const QPointF& at) const;
    // Scrolls so that picture point `point` comes under point `at` of the
    // viewport, as far as the scroll bars reach.
    void placePicturePoint(const QPointF& point, const QPointF& at);
    QPointF viewportCentre() const;

signals:
    // Ctrl with the wheel: `steps` notches (120ths of the wheel's delta,
    // positive away from the user) at point `at` of the viewport.
    void zoomRequested(const QPointF& at, double steps);
    // The picture pixel under the pointer, or the pointer left the picture.
    void pointerMoved(const QPoint& pixel);
    void pointerLeft();

protected:
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void placeCaption();

    ImageWidget* view;
    QLabel* captionLabel;
};
