// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

class QMimeData;

// The files a user drops on a window. They sit beside the remembered state
// of Preferences.h, in its namespace, but apart from it: reading dropped
// data needs Qt Gui, which the headless programs do without.
namespace Preferences {

// The local files named by dropped data (file URLs), in order; other URLs
// and text are left out.
QStringList localFiles(const QMimeData* data);
// The one local file of dropped data; empty unless exactly one is named.
QString singleLocalFile(const QMimeData* data);

} // namespace Preferences
