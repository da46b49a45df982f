// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "JPEGSettings.h"
#include "QuantizationTables.h"

#include <utility>
#include <vector>

// What a batch run sweeps over. Each pair of flags offers a choice and its
// alternative; the batch window makes sure at least one of each pair is set,
// that the bounds lie in 0..100 and that each step is non-zero between
// different bounds and points from the minimum field towards the maximum
// field. The record itself enforces nothing.
struct BatchSettings
{
    using DownsamplingPair = std::pair<JPEGSettings::Downsampling, JPEGSettings::Downsampling>;

    bool baseline = true;
    bool extended = false;
    bool progressive = false;   // with `extended`
    bool nonProgressive = true; // with `extended`
    std::vector<QuantizationTable> luminanceTables{QuantizationTable(JPEGSettings::presets[0])};
    std::vector<QuantizationTable> chrominanceTables{QuantizationTable(JPEGSettings::presets[1])};
    bool manualQuality = true;
    bool autoQuality = false;
    int minQuality = 95;
    int maxQuality = 95;
    int qualityStep = 0;
    // The quality that scales the custom tables of the manual-quality
    // entries, swept like the automatic quality when `tableQuality` is set.
    // When it is not set, manual-quality entries keep whatever quality the
    // working record holds (95, or the last automatic-quality value).
    bool tableQuality = false;
    int minTableQuality = 95;
    int maxTableQuality = 95;
    int tableQualityStep = 0;
    bool optimizeHuffman = false;
    bool dontOptimizeHuffman = true;
    bool grayscaleOutput = false;
    bool colorOutput = true;
    bool dctInt = true;
    bool dctFloat = false;
    bool dctFast = false;
    int minSmoothing = 0;
    int maxSmoothing = 0;
    int smoothingStep = 0;
    // First member for component 0 (Y), second for component 1 (Cb).
    std::vector<DownsamplingPair> downsamplingPairs{DownsamplingPair()};
};
