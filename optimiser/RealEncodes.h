// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "BDRate.h"
#include "CoefficientCache.h"
#include "JPEGSettings.h"
#include "QuantizationTables.h"

#include <QString>

#include <array>
#include <atomic>
#include <optional>
#include <vector>

class Image;

// Real compressions of table pairs, the way the optimiser's results are
// judged: every picture encoded at every quality with the pair in slots 0
// and 1 (Cr sharing Cb's), custom tables scaled by the quality, optimised
// Huffman tables and the integer DCT, decoded again and measured. The files
// are byte for byte those of the library's command-line encoder given the
// same tables, slots, quality and optimisation.
namespace RealEncodes {

enum class Metric { PSNR, PSNR_Y, SSIM, MS_SSIM };
constexpr int METRIC_COUNT = 4;
const char* key(Metric metric); // "psnr", "psnr_y", "ssim", "ms_ssim"
bool fromKey(const QString& key, Metric& metric);

struct Point
{
    double bitsPerPixel = 0;
    std::array<double, METRIC_COUNT> figures{}; // NaN where a figure does not exist
};
using Curve = std::vector<Point>; // one point per quality, in the range's order

JPEGSettings settingsFor(const QuantizationTable& luma, const QuantizationTable& chroma,
                         int quality, const Sampling& sampling, bool baseline);

struct Pair
{
    QuantizationTable luma, chroma;
};

// The curves of every pair on every picture: curves[pair][picture]. The
// compressions run on the global thread pool; `compressions` counts them as
// they finish. Every metric is measured, or only `only` when given (the
// others NaN). False with the reason in `error` when one fails.
bool encode(const std::vector<const Image*>& pictures, const std::vector<Pair>& pairs,
            const std::vector<int>& qualities, const Sampling& sampling, bool baseline,
            std::vector<std::vector<Curve>>& curves, QString& error,
            std::atomic<long long>* compressions = nullptr,
            std::optional<Metric> only = std::nullopt);

// The mean square error of red, green and blue of one compression: for
// the optimiser's offsets.
std::optional<double> meanSquareError(const Image& picture, const JPEGSettings& settings,
                                      QString& error);

// BD-rate of `test` against `reference` on one metric, in percent.
std::optional<double> bdRate(const Curve& reference, const Curve& test, Metric metric);
// The curve's points on one metric (empty when a figure does not exist).
std::vector<BDRate::Point> points(const Curve& curve, Metric metric);

} // namespace RealEncodes
