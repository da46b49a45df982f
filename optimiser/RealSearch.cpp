// SPDX-License-Identifier: GPL-3.0-or-later
#include "RealSearch.h"

#include "BlockAnalysis.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace RealSearch {

namespace {

constexpr int BANDS = 7;
constexpr int bandStart[BANDS + 1] = {0, 1, 3, 6, 10, 15, 28, 64};

QuantizationTable scaledBands(const QuantizationTable& base, const std::array<double, BANDS>& m,
                              const TableSearch::Bounds& bounds)
{
    QuantizationTable out = base;
    for (int b = 0; b < BANDS; ++b)
        for (int k = bandStart[b]; k < bandStart[b + 1]; ++k) {
            const unsigned n = unsigned(BlockAnalysis::zigzag[k]);
            const long v = std::lround(base[n] * m[std::size_t(b)]);
            out[n] = unsigned(std::clamp<long>(v, long(bounds.low), long(bounds.high)));
        }
    return out;
}

} // namespace

bool meanBdRate(const Setting& setting, const RealEncodes::Pair& pair, double& mean, QString& error,
                std::atomic<long long>* compressions)
{
    std::vector<std::vector<RealEncodes::Curve>> curves;
    if (!RealEncodes::encode(setting.pictures, {pair}, setting.qualities, setting.sampling,
                             setting.baseline, curves, error, compressions, setting.metric))
        return false;
    double sum = 0;
    for (std::size_t p = 0; p < setting.pictures.size(); ++p) {
        sum +=
            TableSearch::penalisedDelta(RealEncodes::points(setting.reference[p], setting.metric),
                                        RealEncodes::points(curves[0][p], setting.metric));
    }
    mean = sum / double(setting.pictures.size());
    return true;
}

Outcome refine(const Setting& setting, const RealEncodes::Pair& start, double startObjective,
               std::chrono::steady_clock::time_point deadline, std::atomic<long long>* compressions,
               const std::atomic<bool>* cancelled)
{
    Outcome best{start, startObjective, 0, {}};
    // Luma's bands, then chroma's unless the chroma table is held.
    std::array<double, 2 * BANDS> m;
    m.fill(1.0);
    const int dimensions = setting.holdChroma ? BANDS : 2 * BANDS;
    auto pairOf = [&](const std::array<double, 2 * BANDS>& f) {
        std::array<double, BANDS> luma, chroma;
        std::copy(f.begin(), f.begin() + BANDS, luma.begin());
        std::copy(f.begin() + BANDS, f.end(), chroma.begin());
        return RealEncodes::Pair{
            scaledBands(start.luma, luma, setting.bounds),
            setting.holdChroma ? start.chroma : scaledBands(start.chroma, chroma, setting.bounds)};
    };
    auto stop = [&] {
        return (cancelled && cancelled->load()) || std::chrono::steady_clock::now() >= deadline;
    };
    for (double step : {1.3, 1.12, 1.05}) {
        bool improved = true;
        for (int pass = 0; pass < 3 && improved && !stop(); ++pass) {
            improved = false;
            for (int b = 0; b < dimensions && !stop(); ++b)
                for (double factor : {step, 1 / step}) {
                    std::array<double, 2 * BANDS> trial = m;
                    trial[std::size_t(b)] *= factor;
                    const RealEncodes::Pair pair = pairOf(trial);
                    if (pair.luma == best.pair.luma && pair.chroma == best.pair.chroma)
                        continue;
                    double mean = 0;
                    ++best.trials;
                    if (!meanBdRate(setting, pair, mean, best.error, compressions))
                        return best;
                    if (mean < best.objective - 1e-6) {
                        m = trial;
                        best.pair = pair;
                        best.objective = mean;
                        improved = true;
                        break;
                    }
                    if (stop())
                        break;
                }
        }
    }
    return best;
}

} // namespace RealSearch
