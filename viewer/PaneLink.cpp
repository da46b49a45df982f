// SPDX-License-Identifier: GPL-3.0-or-later
#include "PaneLink.h"

#include "ImagePane.h"
#include "ImageWidget.h"

#include <QScrollBar>

#include <algorithm>
#include <cmath>

PaneLink::PaneLink(QObject* parent) : QObject(parent) {}

void PaneLink::addPane(ImagePane* pane)
{
    panes.emplace_back(pane);
    for (QScrollBar* bar : {pane->horizontalScrollBar(), pane->verticalScrollBar()}) {
        connect(bar, &QScrollBar::valueChanged, this, [this, pane] { moved(pane); });
        connect(bar, &QScrollBar::rangeChanged, this, [this, pane] { resized(pane); });
    }
    connect(pane, &ImagePane::zoomRequested, this, [this, pane](const QPointF& at, double steps) {
        zoomAt(pane, at, stepped(factor, steps));
    });
}

float PaneLink::stepped(float from, double steps)
{
    const double power = std::log(double(from)) / std::log(STEP);
    double to;
    if (steps == std::round(steps)) {
        // Whole steps climb the ladder of powers of STEP (100 %, 125 %,
        // 156.25 % ...): from a zoom between two rungs (a fitted one, a
        // limit) the first step goes to the next rung, and no float
        // rounding builds up.
        const double rung = steps > 0 ? std::floor(power + 1e-3) : std::ceil(power - 1e-3);
        to = std::pow(STEP, rung + steps);
    } else {
        to = double(from) * std::pow(STEP, steps);
    }
    return std::clamp(float(to), MIN_ZOOM, MAX_ZOOM);
}

ImagePane* PaneLink::leader() const
{
    if (last && last->isVisible())
        return last;
    for (const QPointer<ImagePane>& pane : panes)
        if (pane && pane->isVisible())
            return pane;
    return last ? last.data() : (panes.empty() ? nullptr : panes.front().data());
}

void PaneLink::zoomAt(ImagePane* pane, const QPointF& at, float to)
{
    to = std::clamp(to, MIN_ZOOM, MAX_ZOOM);
    if (pane) {
        const QPointF point = pane->pictureAt(at);
        moving = true;
        for (const QPointer<ImagePane>& p : panes)
            if (p)
                p->picture()->setZoomFactor(to, false);
        moving = false;
        factor = to;
        last = pane;
        pane->placePicturePoint(point, at);
        follow(pane);
    } else {
        factor = to;
    }
    emit zoomChanged(factor);
}

void PaneLink::zoomTo(float to)
{
    ImagePane* pane = leader();
    zoomAt(pane, pane ? pane->viewportCentre() : QPointF(), to);
}

void PaneLink::fit()
{
    ImagePane* pane = leader();
    if (!pane || pane->picture()->getQImage().isNull())
        return;
    const QSize picture = pane->picture()->getQImage().size();
    // The widget is a pixel larger than the zoomed picture, and rounds up.
    const QSize room = pane->viewport()->size() - QSize(2, 2);
    const float to = std::min(float(room.width()) / float(picture.width()),
                              float(room.height()) / float(picture.height()));
    zoomTo(to);
}

void PaneLink::adopt(float zoom)
{
    factor = zoom;
    emit zoomChanged(factor);
}

void PaneLink::follow(ImagePane* pane)
{
    if (!pane || moving)
        return;
    const QPointF point = pane->pictureAt(pane->viewportCentre());
    moving = true;
    for (const QPointer<ImagePane>& other : panes)
        if (other && other != pane)
            other->placePicturePoint(point, other->viewportCentre());
    moving = false;
}

void PaneLink::lead(ImagePane* pane)
{
    last = pane;
    follow(pane);
}

void PaneLink::moved(ImagePane* pane)
{
    if (!moving)
        lead(pane);
}

void PaneLink::resized(ImagePane* pane)
{
    if (moving)
        return;
    // A pane whose view changed size (a splitter drag, a pane shown again)
    // comes to the leader's place; the leader's own change moves the others.
    ImagePane* lead = leader();
    if (lead && lead != pane)
        follow(lead);
    else
        follow(pane);
}
