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

// `merge [--allow-incomplete] OUT.csv PART.csv...`: the rows of the parts
// in one table (OUT "-": the standard output), ordered by picture and entry,
// the header once. The parts must be the shards of one sweep, each shard
// once and whole; anything else is refused with status 2 and nothing
// written, except that --allow-incomplete merges parts that lack shards or
// rows and lists what is missing. A row that two parts both hold is refused.
int merge(const QStringList& arguments);

} // namespace Sweep
