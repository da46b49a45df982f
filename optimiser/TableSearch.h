// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "BDRate.h"
#include "CoefficientCache.h"
#include "PositionModel.h"
#include "QuantizationTables.h"
#include "TableEstimate.h"

#include <array>
#include <atomic>
#include <chrono>
#include <limits>
#include <memory>
#include <vector>

// The search for a base table pair, on estimates only.
//
// What it minimises: the mean over the training pictures of the penalised
// BD-rate (penalisedDelta) of
// the pair's estimated rate-distortion curve (the pair scaled at every
// quality of the range) against the reference pair's, on a distortion that
// is the estimated mean square error of red, green and blue: the offset the
// picture's real encodes showed at the finest tables (down-sampling and
// rounding), plus Y's quantization error weighted per frequency, plus Cb's
// and Cr's as the colour conversion carries them into red, green and blue.
// Chroma error always counts, so that no weighting can buy a figure by
// dropping the colours.
//
// How: coordinate descent over the 128 entries with shrinking
// multiplicative steps, every trial judged by the position model (one term
// per changed entry), whose rate is rescaled after every pass to the
// symbol-exact estimate at the current pair; then the same from random
// perturbations of the best pair (an iterated local search).
namespace TableSearch {

// The share of the reference curve's range of the figure that the test
// curve's range covers too. A BD-rate only speaks for the overlap: a pair
// whose curve barely meets the reference's (much finer tables, say, whose
// lowest quality lies above the reference's highest) would win on a sliver
// at one end of the range, and be no drop-in at any quality.
double coverage(const std::vector<BDRate::Point>& reference,
                const std::vector<BDRate::Point>& test);
// What the searches minimise for one picture: the BD-rate in percent plus
// 100 for every unit of coverage short of MIN_COVERAGE; +inf without a
// BD-rate.
constexpr double MIN_COVERAGE = 0.7;
double penalisedDelta(const std::vector<BDRate::Point>& reference,
                      const std::vector<BDRate::Point>& test);

struct Picture
{
    std::shared_ptr<const CoefficientCache> cache;
    std::shared_ptr<const PositionModel> model;
    double offset = 0; // mean square error not explained by quantization
};

using PositionWeights = std::array<double, 64>; // zig-zag order
inline PositionWeights ones()
{
    PositionWeights w;
    w.fill(1.0);
    return w;
}

// What the decoder's up-sampling (the triangle filter of its smooth
// up-sampling) leaves of a chroma error at each position, for a component
// kept at 1 / fx across and 1 / fy down: per direction 0.625 + 0.375
// cos(pi f / 8) for frequency f when down-sampled, 1 otherwise.
PositionWeights upsamplingGains(int fx, int fy);

struct Problem
{
    std::vector<Picture> pictures;
    std::vector<int> qualities;
    bool baseline = true;
    QuantizationTable referenceLuma, referenceChroma;
    // How much Cb's and Cr's error counts beside Y's, and, when set, the
    // chroma entries the search may not exceed (so that a metric of luma
    // alone cannot buy its figure with coarser colours than these).
    double chromaWeight = 1;
    std::array<PositionWeights, 2> chromaGains = {ones(), ones()}; // Cb, Cr
    bool chromaCeiling = false;
    QuantizationTable chromaLimit;
};

// The base entries that scale within 1..255 at every quality of the range
// in baseline mode (an entry at quality 100 scales to 0 and is always
// raised to 1, so that quality does not limit them), 1..1023 otherwise.
struct Bounds
{
    unsigned low = 1, high = 255;
};
Bounds bounds(const std::vector<int>& qualities, bool baseline);

// Y's weight per zig-zag position: (1 + radial frequency)^-alpha.
std::array<double, 64> frequencyWeights(double alpha);

// Mean square error of red, green and blue from an estimate's squared
// errors, Y's weighted by `w`, Cb's and Cr's by `chromaWeight`.
double estimatedError(const TableEstimate::PictureEstimate& e, const std::array<double, 64>& w,
                      double offset, double chromaWeight = 1,
                      const std::array<PositionWeights, 2>& gains = {ones(), ones()});

// What running searches report, for a progress line: the trials made and
// the best exact objective found so far.
struct Progress
{
    std::atomic<long long> evaluations{0};
    std::atomic<double> best{std::numeric_limits<double>::infinity()};

    void offer(double objective)
    {
        double now = best.load();
        while (objective < now && !best.compare_exchange_weak(now, objective)) {
        }
    }
};

struct Outcome
{
    QuantizationTable luma, chroma;
    double objective = 0; // by the symbol-exact estimate
    long long evaluations = 0;
};

// Searches from the start pair until no step improves, then again from
// random perturbations of the best pair found (seeded by `seed`, so a run
// repeats) until twelve in a row find nothing better, MAX_ROUNDS of them
// have run or `deadline` passes. `cancelled`, when set, stops it at the
// next trial. Runs on the calling thread only; several searches may run at
// once on one Problem.
constexpr int MAX_ROUNDS = 60;
Outcome search(const Problem& problem, const std::array<double, 64>& weights,
               const QuantizationTable& startLuma, const QuantizationTable& startChroma,
               std::chrono::steady_clock::time_point deadline, Progress& progress,
               const std::atomic<bool>* cancelled = nullptr, unsigned seed = 1);

// The symbol-exact estimate's objective of a pair (mean BD-rate in percent
// against the reference pair; +inf without an answer).
double exactObjective(const Problem& problem, const std::array<double, 64>& weights,
                      const QuantizationTable& luma, const QuantizationTable& chroma);

} // namespace TableSearch
