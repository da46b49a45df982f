// SPDX-License-Identifier: GPL-3.0-or-later
#include "TableSearch.h"

#include "BDRate.h"
#include "BlockAnalysis.h"
#include "JPEGCompressor.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

namespace TableSearch {

namespace {

// How red, green and blue carry the error of Cb and Cr: the mean over the
// three of the squared inverse-conversion coefficients.
constexpr double CB_TO_RGB = (0.344136 * 0.344136 + 1.772 * 1.772) / 3;
constexpr double CR_TO_RGB = (1.402 * 1.402 + 0.714136 * 0.714136) / 3;
constexpr double INF = std::numeric_limits<double>::infinity();

int scaled(unsigned base, int scaling, bool baseline)
{
    const long long v = (static_cast<long long>(base) * scaling + 50) / 100;
    return int(std::clamp(v, 1LL, baseline ? 255LL : 32767LL));
}

double psnrOf(double mse)
{
    return 10 * std::log10(255.0 * 255.0 / std::max(mse, 1e-9));
}

int naturalToZigzag(int natural)
{
    for (int k = 0; k < 64; ++k)
        if (BlockAnalysis::zigzag[k] == natural)
            return k;
    return 0;
}

// The curves of every picture under one pair by the symbol-exact estimate.
std::vector<std::vector<BDRate::Point>> exactCurves(const Problem& problem,
                                                    const std::array<double, 64>& w,
                                                    const QuantizationTable& luma,
                                                    const QuantizationTable& chroma)
{
    std::vector<std::vector<BDRate::Point>> curves(problem.pictures.size());
    for (std::size_t p = 0; p < problem.pictures.size(); ++p)
        for (int q : problem.qualities) {
            const TableEstimate::PictureEstimate e = TableEstimate::estimate(
                *problem.pictures[p].cache,
                TableEstimate::effective(luma, chroma, q, problem.baseline));
            curves[p].push_back(
                {e.fileBits, psnrOf(estimatedError(e, w, problem.pictures[p].offset,
                                                   problem.chromaWeight, problem.chromaGains))});
        }
    return curves;
}

double meanDelta(const std::vector<std::vector<BDRate::Point>>& reference,
                 const std::vector<std::vector<BDRate::Point>>& test)
{
    double sum = 0;
    for (std::size_t p = 0; p < reference.size(); ++p) {
        sum += penalisedDelta(reference[p], test[p]);
    }
    return reference.empty() ? INF : sum / double(reference.size());
}

// The state of one search: the base entries, and per picture and quality
// the position model's sums at them.
class Descent
{
public:
    Descent(const Problem& problem, const std::array<double, 64>& weights,
            const QuantizationTable& luma, const QuantizationTable& chroma)
        : problem(problem), weights(weights), bounds_(bounds(problem.qualities, problem.baseline))
    {
        for (int q : problem.qualities)
            scalings.push_back(JPEGCompressor::tableScaling(q));
        for (unsigned k = 0; k < 64; ++k) {
            high[0][k] = bounds_.high;
            high[1][k] = problem.chromaCeiling
                             ? std::clamp(problem.chromaLimit[k], bounds_.low, bounds_.high)
                             : bounds_.high;
            base[0][k] = std::clamp(luma[k], bounds_.low, high[0][k]);
            base[1][k] = std::clamp(chroma[k], bounds_.low, high[1][k]);
        }
        for (const Picture& picture : problem.pictures)
            costs.emplace_back(*picture.model);
        reference = exactCurves(problem, weights, problem.referenceLuma, problem.referenceChroma);
        sums.assign(problem.pictures.size() * scalings.size(), Sums());
        calibration.assign(sums.size(), 1.0);
        resum();
        recalibrate();
    }

    QuantizationTable table(int t) const
    {
        QuantizationTable out;
        for (unsigned k = 0; k < 64; ++k)
            out[k] = base[t][k];
        return out;
    }

    double current() const { return objective; }

    // Tries entry n (natural order) of table t at `value`; keeps it when the
    // objective falls (or, with `evenIfEqual`, when it does not rise).
    bool tryEntry(int t, int n, unsigned value, bool evenIfEqual = false)
    {
        std::vector<Sums> trial = sums;
        const int k = naturalToZigzag(n);
        for (std::size_t p = 0; p < problem.pictures.size(); ++p)
            for (std::size_t j = 0; j < scalings.size(); ++j) {
                Sums& s = trial[p * scalings.size() + j];
                const int before = scaled(base[t][n], scalings[j], problem.baseline);
                const int after = scaled(value, scalings[j], problem.baseline);
                if (before == after)
                    continue;
                for (int c = t == 0 ? 0 : 1; c <= (t == 0 ? 0 : 2); ++c) {
                    const PositionCosts::Cost a = costs[p].cost(c, k, unsigned(before));
                    const PositionCosts::Cost b = costs[p].cost(c, k, unsigned(after));
                    s.bits += double(b.bits) - double(a.bits);
                    const double w = weightOf(c, k);
                    s.error[std::size_t(c)] += w * (double(b.error) - double(a.error));
                }
            }
        const double value_ = objectiveOf(trial);
        if (!(value_ < objective - 1e-9) && !(evenIfEqual && value_ <= objective))
            return false;
        sums = std::move(trial);
        objective = value_;
        base[t][n] = value;
        return true;
    }

    // Rescales the model's rates to the symbol-exact estimate at the
    // current pair; returns the exact objective.
    double recalibrate()
    {
        const QuantizationTable luma = table(0), chroma = table(1);
        std::vector<std::vector<BDRate::Point>> exact(problem.pictures.size());
        for (std::size_t p = 0; p < problem.pictures.size(); ++p)
            for (std::size_t j = 0; j < scalings.size(); ++j) {
                const TableEstimate::PictureEstimate e = TableEstimate::estimate(
                    *problem.pictures[p].cache,
                    TableEstimate::effective(luma, chroma, problem.qualities[j], problem.baseline));
                const std::size_t i = p * scalings.size() + j;
                calibration[i] = e.fileBits / std::max(sums[i].bits, 1.0);
                exact[p].push_back({e.fileBits, psnrOf(estimatedError(
                                                    e, weights, problem.pictures[p].offset,
                                                    problem.chromaWeight, problem.chromaGains))});
            }
        objective = objectiveOf(sums);
        return meanDelta(reference, exact);
    }

    Bounds limits(int t, int n) const { return {bounds_.low, high[t][n]}; }
    unsigned entry(int t, int n) const { return base[t][n]; }

private:
    struct Sums
    {
        double bits = 0;
        std::array<double, 3> error{}; // Y's weighted
    };

    void resum()
    {
        for (std::size_t p = 0; p < problem.pictures.size(); ++p)
            for (std::size_t j = 0; j < scalings.size(); ++j) {
                Sums s;
                for (int c = 0; c < 3; ++c) {
                    const int t = c == 0 ? 0 : 1;
                    for (int k = 0; k < 64; ++k) {
                        const int n = BlockAnalysis::zigzag[k];
                        const PositionCosts::Cost& cost = costs[p].cost(
                            c, k, unsigned(scaled(base[t][n], scalings[j], problem.baseline)));
                        s.bits += cost.bits;
                        s.error[std::size_t(c)] += weightOf(c, k) * cost.error;
                    }
                }
                sums[p * scalings.size() + j] = s;
            }
    }

    double weightOf(int c, int k) const
    {
        return c == 0
                   ? weights[std::size_t(k)]
                   : problem.chromaWeight * problem.chromaGains[std::size_t(c - 1)][std::size_t(k)];
    }

    double objectiveOf(const std::vector<Sums>& s) const
    {
        double total = 0;
        std::vector<BDRate::Point> curve(scalings.size());
        for (std::size_t p = 0; p < problem.pictures.size(); ++p) {
            const PositionModel& model = *problem.pictures[p].model;
            for (std::size_t j = 0; j < scalings.size(); ++j) {
                const std::size_t i = p * scalings.size() + j;
                const double mse = problem.pictures[p].offset + s[i].error[0] / model.samples(0) +
                                   CB_TO_RGB * s[i].error[1] / model.samples(1) +
                                   CR_TO_RGB * s[i].error[2] / model.samples(2);
                curve[j] = {calibration[i] * s[i].bits, psnrOf(mse)};
            }
            total += penalisedDelta(reference[p], curve);
        }
        return total / double(problem.pictures.size());
    }

    const Problem& problem;
    std::array<double, 64> weights;
    Bounds bounds_;
    std::vector<int> scalings;
    unsigned base[2][64];
    unsigned high[2][64];
    std::vector<PositionCosts> costs;
    std::vector<std::vector<BDRate::Point>> reference;
    std::vector<Sums> sums;
    std::vector<double> calibration;
    double objective = INF;
};

// The value one step from `v` upwards or downwards, at least 1 away.
unsigned stepped(unsigned v, double step, bool up, const Bounds& b)
{
    const double target = up ? v * (1 + step) : v / (1 + step);
    long next = std::lround(target);
    if (up)
        next = std::max<long>(next, long(v) + 1);
    else
        next = std::min<long>(next, long(v) - 1);
    return unsigned(std::clamp<long>(next, long(b.low), long(b.high)));
}

} // namespace

double coverage(const std::vector<BDRate::Point>& reference, const std::vector<BDRate::Point>& test)
{
    auto range = [](const std::vector<BDRate::Point>& curve) {
        double low = INF, high = -INF;
        for (const BDRate::Point& p : curve) {
            low = std::min(low, p.quality);
            high = std::max(high, p.quality);
        }
        return std::make_pair(low, high);
    };
    const auto [refLow, refHigh] = range(reference);
    const auto [low, high] = range(test);
    if (!(refHigh > refLow))
        return 0;
    return std::max(0.0, std::min(high, refHigh) - std::max(low, refLow)) / (refHigh - refLow);
}

double penalisedDelta(const std::vector<BDRate::Point>& reference,
                      const std::vector<BDRate::Point>& test)
{
    const std::optional<double> d = BDRate::rateDelta(reference, test);
    if (!d)
        return INF;
    return *d + 100 * std::max(0.0, MIN_COVERAGE - coverage(reference, test));
}

Bounds bounds(const std::vector<int>& qualities, bool baseline)
{
    Bounds b;
    if (!baseline) {
        b.high = 1023;
        return b;
    }
    int most = 0, least = std::numeric_limits<int>::max();
    for (int q : qualities) {
        const int s = JPEGCompressor::tableScaling(q);
        most = std::max(most, s);
        if (s > 0)
            least = std::min(least, s);
    }
    while (b.high > 1 && (long(b.high) * most + 50) / 100 > 255)
        --b.high;
    if (least != std::numeric_limits<int>::max())
        while (b.low < b.high && (long(b.low) * least + 50) / 100 < 1)
            ++b.low;
    return b;
}

std::array<double, 64> frequencyWeights(double alpha)
{
    std::array<double, 64> w{};
    for (int k = 0; k < 64; ++k) {
        const int n = BlockAnalysis::zigzag[k];
        const double r = std::hypot(double(n / 8), double(n % 8));
        w[std::size_t(k)] = std::pow(1 + r, -alpha);
    }
    return w;
}

double estimatedError(const TableEstimate::PictureEstimate& e, const std::array<double, 64>& w,
                      double offset, double chromaWeight,
                      const std::array<PositionWeights, 2>& gains)
{
    double y = 0, cb = 0, cr = 0;
    for (std::size_t k = 0; k < 64; ++k) {
        y += w[k] * e.squaredError[0][k];
        cb += gains[0][k] * e.squaredError[1][k];
        cr += gains[1][k] * e.squaredError[2][k];
    }
    return offset + y / e.samples[0] +
           chromaWeight * (CB_TO_RGB * cb / e.samples[1] + CR_TO_RGB * cr / e.samples[2]);
}

PositionWeights upsamplingGains(int fx, int fy)
{
    const double pi = 3.14159265358979323846;
    auto gain = [pi](int factor, int f) {
        return factor > 1 ? 0.625 + 0.375 * std::cos(pi * f / 8) : 1.0;
    };
    PositionWeights w;
    for (int k = 0; k < 64; ++k) {
        const int n = BlockAnalysis::zigzag[k];
        w[std::size_t(k)] = gain(fx, n % 8) * gain(fy, n / 8);
    }
    return w;
}

double exactObjective(const Problem& problem, const std::array<double, 64>& weights,
                      const QuantizationTable& luma, const QuantizationTable& chroma)
{
    return meanDelta(exactCurves(problem, weights, problem.referenceLuma, problem.referenceChroma),
                     exactCurves(problem, weights, luma, chroma));
}

namespace {

// Coordinate descent from the descent's current pair until no step pays;
// every pass's pair offered to `best` by its exact objective.
template <typename Stop>
void descend(Descent& descent, Outcome& best, long long& evaluations, Progress& progress,
             const Stop& stop)
{
    static constexpr double steps[] = {0.4, 0.15, 0.05, 0.0};
    for (double step : steps) {
        for (int pass = 0; pass < 4 && !stop(); ++pass) {
            bool improved = false;
            for (int t = 0; t < 2 && !stop(); ++t)
                for (int k = 0; k < 64 && !stop(); ++k) {
                    const int n = BlockAnalysis::zigzag[k];
                    for (bool up : {true, false}) {
                        bool moved = false;
                        // Keep going while the direction pays.
                        for (int line = 0; line < 8; ++line) {
                            const unsigned v = descent.entry(t, n);
                            const unsigned next = stepped(v, step, up, descent.limits(t, n));
                            if (next == v)
                                break;
                            ++evaluations;
                            progress.evaluations.fetch_add(1, std::memory_order_relaxed);
                            if (!descent.tryEntry(t, n, next))
                                break;
                            moved = improved = true;
                        }
                        if (moved)
                            break;
                    }
                }
            const double exact = descent.recalibrate();
            if (exact < best.objective) {
                best = {descent.table(0), descent.table(1), exact, 0};
                progress.offer(exact);
            }
            if (!improved)
                break;
        }
    }
}

// Every entry of `t` times e^x, x normal with deviation `spread`.
QuantizationTable perturbed(const QuantizationTable& t, double spread, std::mt19937& random)
{
    std::normal_distribution<double> noise(0, spread);
    QuantizationTable out;
    for (unsigned k = 0; k < 64; ++k)
        out[k] = unsigned(std::max(1L, std::lround(t[k] * std::exp(noise(random)))));
    return out;
}

} // namespace

namespace {

// Entries that make no difference (positions whose coefficients all
// quantize to 0 either way) take the value before them in zig-zag order, so
// the tables do not keep the perturbations' noise there.
void tidy(const Problem& problem, const std::array<double, 64>& weights, Outcome& best)
{
    Descent descent(problem, weights, best.luma, best.chroma);
    for (int t = 0; t < 2; ++t)
        for (int k = 1; k < 64; ++k) {
            const int n = BlockAnalysis::zigzag[k];
            const unsigned before = descent.entry(t, BlockAnalysis::zigzag[k - 1]);
            if (descent.entry(t, n) > before)
                descent.tryEntry(t, n, std::min(before, descent.limits(t, n).high), true);
        }
    const double exact = descent.recalibrate();
    if (exact <= best.objective)
        best = {descent.table(0), descent.table(1), exact, 0};
}

} // namespace

Outcome search(const Problem& problem, const std::array<double, 64>& weights,
               const QuantizationTable& startLuma, const QuantizationTable& startChroma,
               std::chrono::steady_clock::time_point deadline, Progress& progress,
               const std::atomic<bool>* cancelled, unsigned seed)
{
    auto stop = [&] {
        return (cancelled && cancelled->load()) || std::chrono::steady_clock::now() >= deadline;
    };
    Descent first(problem, weights, startLuma, startChroma);
    Outcome best{first.table(0), first.table(1), first.recalibrate(), 0};
    progress.offer(best.objective);
    long long evaluations = 0;
    descend(first, best, evaluations, progress, stop);
    // Then from perturbations of the best pair, while time is left and
    // they keep finding better ones now and then.
    std::mt19937 random(seed);
    for (int round = 0, fruitless = 0; round < MAX_ROUNDS && fruitless < 12 && !stop(); ++round) {
        const double before = best.objective;
        Descent next(problem, weights, perturbed(best.luma, 0.2, random),
                     perturbed(best.chroma, 0.2, random));
        descend(next, best, evaluations, progress, stop);
        fruitless = best.objective < before - 0.01 ? 0 : fruitless + 1;
    }
    tidy(problem, weights, best);
    best.evaluations = evaluations;
    return best;
}

} // namespace TableSearch
