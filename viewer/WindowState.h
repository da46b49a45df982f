// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QWidget;

// Window sizes and positions kept between runs under "windows/KEY".
namespace WindowState {

// Gives the window its stored geometry; false (and nothing changed) when
// none is stored or the stored bytes are not a geometry.
bool restore(QWidget* window, const QString& key);
void save(const QWidget* window, const QString& key);

} // namespace WindowState
