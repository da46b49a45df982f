// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The programs' read-only data: the icons under img/ and the help pages under
// doc/. They are looked up, in this order, in the working folder (a run from
// the build's run folder or a checkout), beside the executable, in the data
// folder of an installation relative to the executable (bin/../share/tessera,
// so a tree installed under DESTDIR or moved as a whole still works), and in
// the data folder the build was configured to install into. The folder a user
// starts a program from never decides whether it finds its data.
namespace DataFiles {

// The folders searched, in order, without duplicates.
QStringList searchFolders();

// The path of `relative` ("img/pack.png", "doc/help.html") in the first
// folder that holds it as a regular file. When none does, a warning naming
// the file and the folders goes to the log, and the working folder's path is
// returned so the caller fails as it would have without the search.
QString find(const QString& relative);

} // namespace DataFiles
