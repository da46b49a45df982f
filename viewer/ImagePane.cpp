// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImagePane.h"

#include "ImageWidget.h"

#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include <cmath>

ImagePane::ImagePane(ImageWidget* picture, QWidget* parent)
    : QScrollArea(parent), view(picture), captionLabel(new QLabel(this))
{
    setWidget(picture);
    captionLabel->setObjectName(QStringLiteral("caption"));
    captionLabel->setAutoFillBackground(true);
    captionLabel->setBackgroundRole(QPalette::Midlight);
    captionLabel->setContentsMargins(6, 1, 6, 1);
    QFont font = captionLabel->font();
    font.setBold(true);
    captionLabel->setFont(font);
    setViewportMargins(0, captionLabel->sizeHint().height(), 0, 0);
    picture->setMouseTracking(true);
    picture->installEventFilter(this);
}

void ImagePane::setCaption(const QString& text)
{
    captionLabel->setText(text);
}

QString ImagePane::caption() const
{
    return captionLabel->text();
}

QPointF ImagePane::pictureAt(const QPointF& at) const
{
    return view->toPicture(at - QPointF(view->pos()));
}

void ImagePane::placePicturePoint(const QPointF& point, const QPointF& at)
{
    const QPointF shift = view->fromPicture(point) - at;
    horizontalScrollBar()->setValue(int(std::lround(shift.x())));
    verticalScrollBar()->setValue(int(std::lround(shift.y())));
}

QPointF ImagePane::viewportCentre() const
{
    return QPointF(viewport()->width() / 2.0, viewport()->height() / 2.0);
}

void ImagePane::wheelEvent(QWheelEvent* event)
{
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QScrollArea::wheelEvent(event);
        return;
    }
    const int delta = event->angleDelta().y();
    if (delta != 0)
        emit zoomRequested(event->position(), delta / 120.0);
    event->accept();
}

void ImagePane::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    placeCaption();
}

void ImagePane::placeCaption()
{
    // The strip the viewport margins keep free, above the view.
    const QRect shown = viewport()->geometry();
    const int height = captionLabel->sizeHint().height();
    captionLabel->setGeometry(shown.left(), shown.top() - height, shown.width(), height);
}

bool ImagePane::eventFilter(QObject* watched, QEvent* event)
{
    // The event type before the object: the picture is also watched while it
    // is being destroyed, when it may no longer be read as an ImageWidget.
    const QEvent::Type type = event->type();
    if ((type == QEvent::MouseMove || type == QEvent::Leave) && watched == view) {
        if (type == QEvent::MouseMove) {
            const QPoint pixel = view->pixelAt(static_cast<QMouseEvent*>(event)->position());
            if (view->getQImage().rect().contains(pixel))
                emit pointerMoved(pixel);
            else
                emit pointerLeft();
        } else {
            emit pointerLeft();
        }
    }
    return QScrollArea::eventFilter(watched, event);
}
