// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>

class ImageWidget;

// The split view of one pane: a second picture (the source) left of a
// vertical divider and the pane's own picture right of it. The user drags
// the divider; a press elsewhere is left to the pane's other users.
class SplitView : public QObject
{
    Q_OBJECT

public:
    // Watches `pane` for the drags of the divider.
    SplitView(ImageWidget* pane, QObject* parent = nullptr);

    // Shows or ends the split. Shown anew, the divider stands in the middle
    // of the part of the picture in view.
    void setEnabled(bool enabled);
    bool isEnabled() const { return enabled; }
    // The picture left of the divider; applied whenever the pane's own
    // picture changed, since the pane drops a split of another size.
    void setLeft(QImage picture);
    // Picture column of the divider.
    void setDivider(int column);

    // How near the divider, in screen pixels, a press takes hold of it.
    static constexpr int GRIP = 6;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool nearDivider(const QPointF& at) const;
    void apply();

    QPointer<ImageWidget> pane;
    QImage left;
    bool enabled = false;
    bool dragging = false;
    int divider = -1; // not placed yet
};
