// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

// `tessera-sweep optimise-tables [options] PICTURE|FOLDER...`: the
// quantization-table optimiser from the command line. Writes the tables
// file and its report CSV beside it, prints the report; returns the exit
// status (0 done, 1 failed, 2 bad options).
namespace OptimiseTables {

int run(const QStringList& arguments);

} // namespace OptimiseTables
