// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "RealEncodes.h"
#include "TableSearch.h"

#include <atomic>
#include <chrono>
#include <vector>

class Image;

// The refinement of a table pair by real encodes, which corrects what the
// estimates get wrong and reaches metrics they cannot model (SSIM,
// MS-SSIM): each table's entries fall into seven frequency bands (zig-zag
// positions 0, 1-2, 3-5, 6-9, 10-14, 15-27, 28-63), and each band in turn
// is scaled up or down by shrinking multiplicative steps, a step kept when
// the mean BD-rate of the training pictures on the metric against the
// reference curves falls. Every trial encodes and decodes every training
// picture at every quality, measuring the metric only.
namespace RealSearch {

struct Setting
{
    std::vector<const Image*> pictures;
    std::vector<int> qualities;
    Sampling sampling;
    bool baseline = true;
    RealEncodes::Metric metric = RealEncodes::Metric::MS_SSIM;
    std::vector<RealEncodes::Curve> reference; // per picture
    TableSearch::Bounds bounds;
    bool holdChroma = true; // the chroma table stays as given
};

struct Outcome
{
    RealEncodes::Pair pair;
    double objective = 0; // mean BD-rate, percent
    int trials = 0;
    QString error; // a compression failed
};

// The mean penalised BD-rate of a pair (TableSearch::penalisedDelta); +inf
// when a picture has no answer. False
// with `error` set when a compression fails.
bool meanBdRate(const Setting& setting, const RealEncodes::Pair& pair, double& mean, QString& error,
                std::atomic<long long>* compressions);

Outcome refine(const Setting& setting, const RealEncodes::Pair& start, double startObjective,
               std::chrono::steady_clock::time_point deadline, std::atomic<long long>* compressions,
               const std::atomic<bool>* cancelled = nullptr);

} // namespace RealSearch
