// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <vector>

// Bjøntegaard deltas between two rate-distortion curves, computed the way
// codec comparisons report them:
//
// - each curve is a set of (rate, quality figure) points; the rate is taken
//   as log10(rate);
// - for the rate delta, log10(rate) is interpolated as a function of the
//   figure with the monotone piecewise cubic Hermite interpolant of Fritsch
//   and Carlson (interior slopes a weighted harmonic mean of the adjacent
//   secants, zero at a local extremum; end slopes from the three-point
//   formula, clamped to keep the shape), both interpolants are integrated
//   exactly over the interval where the two curves' figures overlap, and the
//   mean difference d gives (10^d - 1) * 100 percent: the bits the test curve
//   spends over the reference at equal quality, negative when it saves;
// - the figure delta exchanges the roles: the figure is interpolated over
//   log10(rate) and the mean difference of the figure is the answer.
//
// A curve with fewer than four distinct points, points that are not finite
// or not positive in rate, or curves whose ranges do not overlap give no
// answer. Points may come in any order; points with the same abscissa are
// merged into their mean.
namespace BDRate {

struct Point
{
    double rate = 0;    // bits per pixel or any rate unit, the same on both curves
    double quality = 0; // PSNR in dB, SSIM, ...
};

constexpr int MIN_POINTS = 4;

// Percent of rate the test curve needs over the reference at equal quality.
std::optional<double> rateDelta(const std::vector<Point>& reference,
                                const std::vector<Point>& test);
// Mean quality gain of the test curve over the reference at equal rate.
std::optional<double> qualityDelta(const std::vector<Point>& reference,
                                   const std::vector<Point>& test);

// The monotone cubic Hermite interpolant through (x[i], y[i]), x strictly
// increasing, at least two points.
class MonotoneCubic
{
public:
    MonotoneCubic(std::vector<double> x, std::vector<double> y);

    double operator()(double at) const;
    // Exact integral over [from, to], both inside the knots' range.
    double integral(double from, double to) const;
    const std::vector<double>& slopes() const { return d; }

private:
    // The antiderivative of piece k at offset t from its left knot.
    double pieceIntegral(std::size_t k, double t) const;
    std::size_t piece(double at) const;

    std::vector<double> x;
    std::vector<double> y;
    std::vector<double> d;
};

} // namespace BDRate
