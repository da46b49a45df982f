// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CoefficientCache.h"

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

// A model of a picture's coded size that comes apart by coefficient
// position, so that changing one table entry changes one term: each AC
// position costs the entropy of its quantized values' magnitude categories
// plus their magnitude bits, the DC position the entropy of the DC
// differences' categories plus theirs. It ignores the run-length coding
// (the search corrects it by the symbol-exact estimate's ratio at the
// current tables); the squared error it gives is exact.
//
// The histograms are built once and only read; the costs are computed on
// demand and kept in a PositionCosts, one per thread.
class PositionModel
{
public:
    using Histogram = std::vector<std::pair<std::uint16_t, std::uint32_t>>; // |value|, count

    explicit PositionModel(const CoefficientCache& cache);

    int blocks(int component) const { return blockCount[std::size_t(component)]; }
    // Samples per component, padding included.
    int samples(int component) const { return 64 * blocks(component); }
    const Histogram& histogram(int component, int zigzag) const
    {
        return histograms[std::size_t(component)][std::size_t(zigzag)];
    }
    // The DC coefficients in coding order, repeated blocks included.
    const std::vector<std::int16_t>& dcSequence(int component) const
    {
        return dc[std::size_t(component)];
    }
    // The smallest entry at which every coefficient of the position
    // quantizes to 0; larger entries cost and err the same.
    int zeroEntry(int component, int zigzag) const;

private:
    std::array<int, 3> blockCount{};
    std::array<std::array<Histogram, 64>, 3> histograms;
    std::array<std::vector<std::int16_t>, 3> dc;
};

class PositionCosts
{
public:
    explicit PositionCosts(const PositionModel& model);

    struct Cost
    {
        float bits = -1; // coded bits of the position over all blocks
        float error = 0; // squared error, sample units
    };
    const Cost& cost(int component, int zigzag, unsigned entry);

private:
    Cost compute(int component, int zigzag, unsigned entry) const;

    const PositionModel& model;
    std::array<std::array<std::vector<Cost>, 64>, 3> memo;
};
