// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowState.h"

#include "Preferences.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QWidget>

#include <algorithm>

namespace WindowState {

bool restore(QWidget* window, const QString& key)
{
    const QByteArray geometry =
        Preferences::value(QStringLiteral("windows/") + key, QByteArray()).toByteArray();
    const bool restored = !geometry.isEmpty() && window->restoreGeometry(geometry);
    keepOnScreen(window);
    return restored;
}

void save(const QWidget* window, const QString& key)
{
    Preferences::setValue(QStringLiteral("windows/") + key, window->saveGeometry());
}

void keepOnScreen(QWidget* window)
{
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect room = screen->availableGeometry();
    const QRect frame = window->frameGeometry();
    // The frame's decorations around the client area, when a window manager
    // draws them; before the window is first shown, room for a title bar.
    int extraWidth = std::max(0, frame.width() - window->width());
    int extraHeight = std::max(0, frame.height() - window->height());
    if (!window->testAttribute(Qt::WA_WState_Created) && extraHeight == 0) {
        extraHeight = window->style()->pixelMetric(QStyle::PM_TitleBarHeight) + 8;
        extraWidth = 8;
    }
    const int width = std::min(window->width(), room.width() - extraWidth);
    const int height = std::min(window->height(), room.height() - extraHeight);
    if (width != window->width() || height != window->height())
        window->resize(std::max(width, window->minimumWidth()),
                       std::max(height, window->minimumHeight()));
    // move() places the frame's top left corner.
    const QPoint corner = window->frameGeometry().topLeft();
    const int outerWidth = window->width() + extraWidth;
    const int outerHeight = window->height() + extraHeight;
    const int x =
        std::clamp(corner.x(), room.left(), std::max(room.left(), room.right() + 1 - outerWidth));
    const int y =
        std::clamp(corner.y(), room.top(), std::max(room.top(), room.bottom() + 1 - outerHeight));
    if (x != corner.x() || y != corner.y())
        window->move(x, y);
}

QScrollArea* scrolling(QWidget* content)
{
    auto* area = new QScrollArea;
    area->setObjectName(content->objectName() + QStringLiteral("Scroll"));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setWidget(content);
    return area;
}

} // namespace WindowState
