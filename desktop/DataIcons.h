// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

// The icons among the programs' read-only data (DataFiles.h tells where they
// are looked for).
namespace DataFiles {

// The icon img/NAME.png, found as DataFiles::find finds it: a missing file
// is logged there and gives an empty icon.
QIcon icon(const char* name);

} // namespace DataFiles
