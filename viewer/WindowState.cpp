// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowState.h"

#include "Preferences.h"

#include <QByteArray>
#include <QWidget>

namespace WindowState {

bool restore(QWidget* window, const QString& key)
{
    const QByteArray geometry =
        Preferences::value(QStringLiteral("windows/") + key, QByteArray()).toByteArray();
    return !geometry.isEmpty() && window->restoreGeometry(geometry);
}

void save(const QWidget* window, const QString& key)
{
    Preferences::setValue(QStringLiteral("windows/") + key, window->saveGeometry());
}

} // namespace WindowState
