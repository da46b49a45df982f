// SPDX-License-Identifier: GPL-3.0-or-later
#include "SplitView.h"

#include "ImageWidget.h"

#include <QMouseEvent>

#include <cmath>

SplitView::SplitView(ImageWidget* watched, QObject* parent) : QObject(parent), pane(watched)
{
    watched->installEventFilter(this);
}

void SplitView::setEnabled(bool on)
{
    if (on == enabled)
        return;
    enabled = on;
    dragging = false;
    if (on) {
        const QRect seen = pane->visibleRegion().boundingRect();
        divider = seen.isEmpty() ? pane->getQImage().width() / 2
                                 : int(std::lround(pane->toPicture(seen.center()).x()));
    } else {
        pane->unsetCursor();
    }
    apply();
}

void SplitView::setLeft(QImage picture)
{
    left = std::move(picture);
    apply();
}

void SplitView::setDivider(int column)
{
    if (!pane || !enabled)
        return;
    pane->setSplit(left, column);
    divider = pane->getDivider();
}

void SplitView::apply()
{
    if (!pane)
        return;
    // The pane's own divider counts, wherever it was set from.
    if (enabled && pane->isSplit())
        divider = pane->getDivider();
    if (enabled && divider < 0)
        divider = pane->getQImage().width() / 2;
    pane->setSplit(enabled ? left : QImage(), divider);
}

bool SplitView::nearDivider(const QPointF& at) const
{
    return std::abs(at.x() - pane->fromPicture(QPointF(pane->getDivider(), 0)).x()) <= GRIP;
}

bool SplitView::eventFilter(QObject* watched, QEvent* event)
{
    // The event type first: the pane is also watched while it is being
    // destroyed, when it may no longer be read as an ImageWidget.
    const QEvent::Type type = event->type();
    if ((type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
         type != QEvent::MouseButtonRelease) ||
        watched != pane || !enabled || !pane->isSplit())
        return QObject::eventFilter(watched, event);
    switch (type) {
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && nearDivider(mouse->position())) {
            dragging = true;
            return true;
        }
        break;
    }
    case QEvent::MouseMove: {
        const QPointF at = static_cast<QMouseEvent*>(event)->position();
        if (dragging)
            setDivider(int(std::lround(pane->toPicture(at).x())));
        if (dragging || nearDivider(at))
            pane->setCursor(Qt::SplitHCursor);
        else
            pane->unsetCursor();
        break;
    }
    case QEvent::MouseButtonRelease:
        if (dragging && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            dragging = false;
            return true;
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
