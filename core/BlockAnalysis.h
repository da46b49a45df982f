// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "JpegFileInfo.h"
#include "ZigZag.h"

#include <QString>

#include <array>

class Image;

// What happens to one 8 x 8 block of one component: the input samples the
// encoder coded (its fixed-point colour conversion, its down-sampling with
// the rounding bias and smoothing it applies, edges replicated), level-shifted
// by 128, their DCT computed in floating point, the quantization table, the
// quantized coefficients exactly as stored in the JPEG, the zig-zag
// sequence's last non-zero position, and the block rebuilt from the stored
// coefficients with its error against the input. Samples of the last blocks
// that lie beyond the component's extent are padding: marked, and left out
// of the error (0 there). Natural order throughout: row v (vertical
// frequency) and column u at index 8 * v + u.
struct BlockAnalysis
{
    using Grid = std::array<double, 64>;

    int component = 0;
    int column = 0; // block position in the component's grid of blocks
    int row = 0;
    Grid samples{};
    Grid dct{};
    std::array<unsigned, 64> quantization{};
    std::array<int, 64> stored{};
    int lastNonZero = -1; // zig-zag position, -1 when every coefficient is 0
    Grid reconstruction{};
    Grid error{}; // reconstruction - samples, 0 for padding
    std::array<bool, 64> padding{};

    // Natural index of the k-th coefficient in zig-zag order.
    static constexpr const int (&zigzag)[64] = ZigZag::toNatural;

    static Grid forwardDCT(const Grid& samples);
    static Grid inverseDCT(const Grid& coefficients);

    // Analyses block (column, row) of `component` for the JPEG described by
    // `info` (read with its coefficients) made from `source` with the
    // encoder's `smoothing` factor (0 to 100). False with `why` set when the
    // block or component does not exist.
    static bool analyse(const Image& source, const JpegFileInfo& info, int component, int column,
                        int row, int smoothing, BlockAnalysis& out, QString* why = nullptr);
};
