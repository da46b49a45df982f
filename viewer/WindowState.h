// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QScrollArea;
class QWidget;

// Window sizes and positions kept between runs under "windows/KEY", and the
// means to keep windows on a small screen.
namespace WindowState {

// Gives the window its stored geometry; false (and nothing changed) when
// none is stored or the stored bytes are not a geometry. Either way the
// window ends up within the available geometry of its screen.
bool restore(QWidget* window, const QString& key);
void save(const QWidget* window, const QString& key);

// Shrinks the window to the available geometry of the screen it is on
// (frame included) and moves it so that all of it is on that screen.
void keepOnScreen(QWidget* window);

// A frameless scroll area around `content`, resized with it, so that a
// window holding it never needs more than the screen: what does not fit
// scrolls. The area takes ownership of `content`.
QScrollArea* scrolling(QWidget* content);

} // namespace WindowState
