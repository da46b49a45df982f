// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The order in which a JPEG file lists the 64 entries of a block, its
// quantization tables and its coefficients alike: from the lowest
// frequencies to the highest, along the anti-diagonals.
namespace ZigZag {

// Position in natural (row-major, 8 * v + u) order of the k-th entry in
// zig-zag order.
inline constexpr int toNatural[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

} // namespace ZigZag
