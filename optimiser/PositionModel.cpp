// SPDX-License-Identifier: GPL-3.0-or-later
#include "PositionModel.h"

#include "TableEstimate.h"

#include <algorithm>
#include <cmath>
#include <map>

PositionModel::PositionModel(const CoefficientCache& cache)
{
    for (int c = 0; c < 3; ++c) {
        const CoefficientCache::Component& component = cache.component(c);
        blockCount[std::size_t(c)] = component.blockCount();
        for (int k = 0; k < 64; ++k) {
            std::vector<std::uint32_t> counts(1u << 15, 0);
            std::uint16_t largest = 0;
            for (int b = 0; b < component.blockCount(); ++b) {
                const int v = component.block(b)[k];
                const std::uint16_t magnitude = std::uint16_t(v < 0 ? -v : v);
                ++counts[magnitude];
                largest = std::max(largest, magnitude);
            }
            Histogram& h = histograms[std::size_t(c)][std::size_t(k)];
            for (unsigned m = 0; m <= largest; ++m)
                if (counts[m])
                    h.emplace_back(std::uint16_t(m), counts[m]);
        }
        std::vector<std::int16_t>& sequence = dc[std::size_t(c)];
        sequence.reserve(component.codingOrder.size());
        for (const std::int32_t entry : component.codingOrder)
            sequence.push_back(component.block(entry >= 0 ? entry : -1 - entry)[0]);
    }
}

int PositionModel::zeroEntry(int component, int zigzag) const
{
    const Histogram& h = histogram(component, zigzag);
    // |v| quantizes to 0 when |v| < 4 * entry.
    const int largest = h.empty() ? 0 : h.back().first;
    return std::min(largest / 4 + 1, 4096);
}

PositionCosts::PositionCosts(const PositionModel& model) : model(model) {}

const PositionCosts::Cost& PositionCosts::cost(int component, int zigzag, unsigned entry)
{
    std::vector<Cost>& m = memo[std::size_t(component)][std::size_t(zigzag)];
    const unsigned top = unsigned(model.zeroEntry(component, zigzag));
    if (m.empty())
        m.resize(top + 1);
    const unsigned at = std::clamp(entry, 1u, top);
    if (m[at].bits < 0)
        m[at] = compute(component, zigzag, at);
    return m[at];
}

namespace {

double entropyBits(const std::array<std::uint64_t, 17>& counts)
{
    std::uint64_t total = 0;
    for (std::uint64_t n : counts)
        total += n;
    double bits = 0;
    for (std::uint64_t n : counts)
        if (n)
            bits -= double(n) * std::log2(double(n) / double(total));
    return bits;
}

} // namespace

PositionCosts::Cost PositionCosts::compute(int component, int zigzag, unsigned entry) const
{
    const int divisor = 8 * int(entry);
    std::array<std::uint64_t, 17> categories{};
    double extra = 0, error = 0;
    for (const auto& [magnitude, count] : model.histogram(component, zigzag)) {
        const int q = (magnitude + divisor / 2) / divisor;
        const double e = double(magnitude - q * divisor);
        error += e * e * count;
        if (zigzag > 0) {
            const int size = TableEstimate::category(q);
            categories[std::size_t(size)] += count;
            extra += double(size) * count;
        }
    }
    if (zigzag == 0) {
        int previous = 0;
        for (const std::int16_t value : model.dcSequence(component)) {
            const int q = TableEstimate::quantize(value, entry);
            const int size = TableEstimate::category(q - previous);
            ++categories[std::size_t(size)];
            extra += size;
            previous = q;
        }
    }
    Cost cost;
    cost.bits = float(entropyBits(categories) + extra);
    cost.error = float(error / 64.0);
    return cost;
}
