// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "JPEGSettings.h"

#include <functional>
#include <vector>

class BatchProgress;
struct BatchSettings;

// Expands the innermost levels of a batch sweep, the DCT methods, the
// smoothing range and the quality ranges, into entries of a settings list.
// Manual-quality entries run DCT method, then smoothing, then (when the
// sweep has one) table quality, the last varying fastest; automatic-quality
// entries follow, one per quality.
// One factory serves one whole expansion: its counter runs on across calls
// and is what the progress dialog shows, and once the dialog has reported
// Cancel every later call appends nothing.
class JPEGSettingsFactory
{
public:
    explicit JPEGSettingsFactory(BatchSettings* settings) : settings(settings) {}

    // Both write fields of the working record `working` in place and append
    // copies of it to `list`. `progress` may be null: no progress is shown
    // and nothing can be cancelled.
    void quality(JPEGSettings& working, std::vector<JPEGSettings>& list, BatchProgress* progress);
    void smoothing(JPEGSettings& working, std::vector<JPEGSettings>& list, BatchProgress* progress);

    bool isCanceled() const { return canceled; }
    int getCounter() const { return counter; }

    // Number of values a sweep from `first` to `last` by `step` produces.
    static int sweepLength(int first, int last, int step);
    // Number of entries one call of quality() appends for `settings`.
    static int entriesPerCall(const BatchSettings& settings);

private:
    using Setter = void (JPEGSettings::*)(int);
    // Sets each value of the range on `working` and calls `inner` for it.
    void sweep(int first, int last, int step, Setter set, JPEGSettings& working,
               const std::function<void()>& inner, BatchProgress* progress);
    // One progress step; false when the user asked to stop.
    bool step(BatchProgress* progress);

    BatchSettings* settings;
    int counter = 0;
    bool canceled = false;
};
