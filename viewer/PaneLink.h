// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointF>
#include <QPointer>

#include <vector>

class ImagePane;

// Keeps picture panes in step: one zoom for all, and the picture point at
// the centre of the pane the user moved last (the leader) at the centre of
// every other. Zoom steps multiply by STEP between MIN_ZOOM and MAX_ZOOM.
// The panes' zoom is set through the link only, or adopted after.
class PaneLink : public QObject
{
    Q_OBJECT

public:
    static constexpr float MIN_ZOOM = 1.0f / 32;
    static constexpr float MAX_ZOOM = 32.0f;
    static constexpr double STEP = 1.25;

    explicit PaneLink(QObject* parent = nullptr);

    // The panes are not owned; each must outlive the link or be destroyed
    // with the same parent.
    void addPane(ImagePane* pane);

    float zoom() const { return factor; }
    // The zoom `steps` steps of STEP away from `from`, limited to the range.
    // Whole steps go from rung to rung of the powers of STEP; a fraction of
    // a step (a fine wheel) multiplies.
    static float stepped(float from, double steps);

    // Gives every pane the zoom `to` (limited to the range), keeping the
    // picture point under point `at` of `pane`'s viewport where it is.
    void zoomAt(ImagePane* pane, const QPointF& at, float to);
    // The same about the centre of the leader's view.
    void zoomTo(float to);
    void zoomBy(double steps) { zoomTo(stepped(factor, steps)); }
    // The largest zoom at which the whole picture fits the leader's view.
    void fit();
    // Takes the zoom that the panes were given directly, without moving them.
    void adopt(float zoom);

    // The pane the others follow: the last one moved, while it is shown.
    ImagePane* leader() const;
    // Brings every other pane to `pane`'s place.
    void follow(ImagePane* pane);
    // Makes `pane` the leader, now and when the others change size.
    void lead(ImagePane* pane);

signals:
    void zoomChanged(float zoom);

private:
    void moved(ImagePane* pane);
    void resized(ImagePane* pane);

    std::vector<QPointer<ImagePane>> panes;
    QPointer<ImagePane> last;
    float factor = 1.0f;
    bool moving = false; // the link itself is scrolling the panes
};
