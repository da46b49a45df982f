// SPDX-License-Identifier: GPL-3.0-or-later
#include "BDRate.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace BDRate {

namespace {

int sign(double v)
{
    return (v > 0) - (v < 0);
}

// The end slope from the first two secants (h0, m0 nearest the end), the
// shape-keeping rule of the three-point formula: no slope against the nearest
// secant, and no more than three times it where the secants change sign.
double endSlope(double h0, double h1, double m0, double m1)
{
    double d = ((2 * h0 + h1) * m0 - h0 * m1) / (h0 + h1);
    if (sign(d) != sign(m0))
        d = 0;
    else if (sign(m0) != sign(m1) && std::abs(d) > std::abs(3 * m0))
        d = 3 * m0;
    return d;
}

// Sorted by x, points of equal x merged into their mean y; nothing when a
// point is not finite.
std::optional<std::pair<std::vector<double>, std::vector<double>>>
knots(std::vector<std::pair<double, double>> points)
{
    for (const auto& p : points)
        if (!std::isfinite(p.first) || !std::isfinite(p.second))
            return std::nullopt;
    std::sort(points.begin(), points.end());
    std::vector<double> x;
    std::vector<double> y;
    for (std::size_t i = 0; i < points.size();) {
        std::size_t j = i;
        double sum = 0;
        while (j < points.size() && points[j].first == points[i].first)
            sum += points[j++].second;
        x.push_back(points[i].first);
        y.push_back(sum / double(j - i));
        i = j;
    }
    if (x.size() < std::size_t(MIN_POINTS))
        return std::nullopt;
    return std::make_pair(std::move(x), std::move(y));
}

// The mean of (test - reference) over the overlap of the two curves, each
// given as (abscissa, ordinate) points.
std::optional<double> meanDifference(std::vector<std::pair<double, double>> reference,
                                     std::vector<std::pair<double, double>> test)
{
    auto ref = knots(std::move(reference));
    auto tst = knots(std::move(test));
    if (!ref || !tst)
        return std::nullopt;
    const double from = std::max(ref->first.front(), tst->first.front());
    const double to = std::min(ref->first.back(), tst->first.back());
    if (!(from < to))
        return std::nullopt;
    const MonotoneCubic refCurve(std::move(ref->first), std::move(ref->second));
    const MonotoneCubic testCurve(std::move(tst->first), std::move(tst->second));
    const double mean = (testCurve.integral(from, to) - refCurve.integral(from, to)) / (to - from);
    if (!std::isfinite(mean))
        return std::nullopt; // figures so far apart that the arithmetic overflows
    return mean;
}

bool validRates(const std::vector<Point>& points)
{
    return std::all_of(points.begin(), points.end(), [](const Point& p) { return p.rate > 0; });
}

std::vector<std::pair<double, double>> logRateOverQuality(const std::vector<Point>& points)
{
    std::vector<std::pair<double, double>> out;
    out.reserve(points.size());
    for (const Point& p : points)
        out.emplace_back(p.quality, std::log10(p.rate));
    return out;
}

std::vector<std::pair<double, double>> qualityOverLogRate(const std::vector<Point>& points)
{
    std::vector<std::pair<double, double>> out;
    out.reserve(points.size());
    for (const Point& p : points)
        out.emplace_back(std::log10(p.rate), p.quality);
    return out;
}

} // namespace

std::optional<double> rateDelta(const std::vector<Point>& reference, const std::vector<Point>& test)
{
    if (!validRates(reference) || !validRates(test))
        return std::nullopt;
    const auto diff = meanDifference(logRateOverQuality(reference), logRateOverQuality(test));
    if (!diff)
        return std::nullopt;
    const double percent = (std::pow(10.0, *diff) - 1) * 100;
    if (!std::isfinite(percent))
        return std::nullopt;
    return percent;
}

std::optional<double> qualityDelta(const std::vector<Point>& reference,
                                   const std::vector<Point>& test)
{
    if (!validRates(reference) || !validRates(test))
        return std::nullopt;
    return meanDifference(qualityOverLogRate(reference), qualityOverLogRate(test));
}

MonotoneCubic::MonotoneCubic(std::vector<double> xs, std::vector<double> ys)
    : x(std::move(xs)), y(std::move(ys)), d(x.size(), 0.0)
{
    const std::size_t n = x.size();
    std::vector<double> h(n - 1);
    std::vector<double> m(n - 1);
    for (std::size_t k = 0; k + 1 < n; ++k) {
        h[k] = x[k + 1] - x[k];
        m[k] = (y[k + 1] - y[k]) / h[k];
    }
    if (n == 2) {
        d[0] = d[1] = m[0];
        return;
    }
    for (std::size_t k = 1; k + 1 < n; ++k) {
        if (m[k - 1] == 0 || m[k] == 0 || sign(m[k - 1]) != sign(m[k]))
            continue; // a flat piece or an extremum: zero slope
        const double w1 = 2 * h[k] + h[k - 1];
        const double w2 = h[k] + 2 * h[k - 1];
        d[k] = (w1 + w2) / (w1 / m[k - 1] + w2 / m[k]);
    }
    d[0] = endSlope(h[0], h[1], m[0], m[1]);
    d[n - 1] = endSlope(h[n - 2], h[n - 3], m[n - 2], m[n - 3]);
}

std::size_t MonotoneCubic::piece(double at) const
{
    const auto it = std::upper_bound(x.begin(), x.end(), at);
    const std::size_t k = it == x.begin() ? 0 : std::size_t(it - x.begin()) - 1;
    return std::min(k, x.size() - 2);
}

double MonotoneCubic::operator()(double at) const
{
    const std::size_t k = piece(at);
    const double h = x[k + 1] - x[k];
    const double m = (y[k + 1] - y[k]) / h;
    const double c2 = (3 * m - 2 * d[k] - d[k + 1]) / h;
    const double c3 = (d[k] + d[k + 1] - 2 * m) / (h * h);
    const double t = at - x[k];
    return y[k] + t * (d[k] + t * (c2 + t * c3));
}

double MonotoneCubic::pieceIntegral(std::size_t k, double t) const
{
    const double h = x[k + 1] - x[k];
    const double m = (y[k + 1] - y[k]) / h;
    const double c2 = (3 * m - 2 * d[k] - d[k + 1]) / h;
    const double c3 = (d[k] + d[k + 1] - 2 * m) / (h * h);
    return t * (y[k] + t * (d[k] / 2 + t * (c2 / 3 + t * c3 / 4)));
}

double MonotoneCubic::integral(double from, double to) const
{
    if (from > to)
        return -integral(to, from);
    double sum = 0;
    const std::size_t last = piece(to);
    for (std::size_t k = piece(from); k <= last; ++k) {
        const double lo = std::max(from, x[k]);
        const double hi = std::min(to, x[k + 1]);
        if (hi > lo)
            sum += pieceIntegral(k, hi - x[k]) - pieceIntegral(k, lo - x[k]);
    }
    return sum;
}

} // namespace BDRate
