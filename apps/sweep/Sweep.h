// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

struct SweepJob;

// The two things tessera-sweep does. Both return the program's exit status:
// 0 when everything succeeded, 1 when some compression failed, 2 for a usage
// error or nothing to do; messages go to standard error.
namespace Sweep {

// Runs the sweep of `job` and writes its CSV (and report, and JPEGs).
int run(const SweepJob& job);

// `merge OUT.csv PART.csv...`: the rows of the parts in one table, ordered by
// picture and entry, the header once; a row that two parts both hold is
// refused.
int merge(const QStringList& arguments);

} // namespace Sweep
