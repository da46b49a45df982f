// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QWidget;

// Keeps the mouse wheel from editing a scrolled form by accident. Spin boxes
// and combo boxes take the wheel as an edit whenever the pointer is over
// them, so a user scrolling a list of forms changes whatever value passes
// under the pointer. Guarded, they only take the focus by click or Tab, and
// react to the wheel only while they hold it; otherwise the wheel goes on to
// the scroll area, which scrolls.
class WheelGuard : public QObject
{
    Q_OBJECT

public:
    // Guards every spin box and combo box inside `form` (created before the
    // call). The guard is a child of `form` and goes with it.
    static void protect(QWidget* form);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit WheelGuard(QObject* parent) : QObject(parent) {}
};
