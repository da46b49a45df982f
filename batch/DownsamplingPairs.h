// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "BatchSettings.h"

#include <QByteArray>
#include <QString>

#include <iosfwd>
#include <vector>

// The batch tool's list of sampling-factor pairs, a text file of integers in
// records of four, separated by any white space: vertical and horizontal
// factor of component 0 (Y), then vertical and horizontal factor of
// component 1. Each value is clamped to 1..4. A record whose blocks per
// minimum coded unit, a*b + 2*c*d (component 1's factors stand for both
// chroma components), exceed 10 is skipped. Reading stops at the first
// record that is incomplete or holds something other than a number; that
// record is not used. At most MemoryBudget::MAX_FILE_ENTRIES pairs are kept;
// `capped`, when given, tells whether more data followed them.
namespace DownsamplingPairs {

constexpr int MAX_BLOCKS = 10;

std::vector<BatchSettings::DownsamplingPair> read(std::istream& in, bool* capped = nullptr);
std::vector<BatchSettings::DownsamplingPair> read(const QByteArray& bytes);

// Reads the file at `path` into `pairs`, replacing them even with an empty
// list. A file that cannot be opened, or is not a regular file, leaves
// `pairs` alone and returns false.
bool load(const QString& path, std::vector<BatchSettings::DownsamplingPair>& pairs,
          bool* capped = nullptr);

} // namespace DownsamplingPairs
