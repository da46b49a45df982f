// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "JPEGSettings.h"

#include <cstdint>
#include <vector>

class BatchProgress;
struct BatchSettings;

// Expands a batch sweep into the ordered list of settings a run compresses.
// From slowest to fastest varying: down-sampling pair, luminance table,
// chrominance table, mode (baseline, extended progressive, extended
// sequential), output (grey-scale, colour), Huffman (optimized, not), then the
// quality level of JPEGSettingsFactory (manual entries per DCT method,
// smoothing value and table quality, then automatic entries per quality
// value). Every front end that runs a sweep expands it here.
//
// One working record is carried through the whole expansion and never reset,
// so a field that the current path does not set keeps what an earlier path
// left in it: manual entries carry the last automatic quality once an
// automatic sweep has run, and baseline entries carry the progressive flag of
// the last extended pass.
//
// The quality and smoothing sweeps step the progress and stop at Cancel;
// what was appended until then is returned. `progress` may be null.
std::vector<JPEGSettings> expandBatchSettings(BatchSettings& sweep, BatchProgress* progress,
                                              bool* canceled = nullptr);

// The number of entries expandBatchSettings() would make of `sweep`, worked
// out without building them; the count stops growing once it passes `limit`
// (any larger answer means "more than the limit").
std::uint64_t expansionSize(const BatchSettings& sweep, std::uint64_t limit);

// The same count as a plain number (saturating far above any sweep that
// could be built): what the batch window tells before a run.
long long countBatchEntries(const BatchSettings& sweep);
