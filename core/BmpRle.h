// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <vector>

// Run-length coded BMP files (BI_RLE8 at 8 bits per pixel, BI_RLE4 at 4),
// which the general loader refuses however well formed they are, expanded
// here into the plain file it reads.
//
// The coded rows run bottom row first. A pair of bytes (n > 0, v) is a run
// of n pixels: v at 8 bits, v's high and low nibbles by turns at 4. A pair
// (0, c) is an escape: 0 ends the row, 1 ends the picture, 2 moves the
// position right and up by the next two bytes; c >= 3 is that many
// literal pixels (bytes at 8 bits, nibbles at 4) padded to an even number
// of bytes. Pixels a file skips (by a move, a row or the picture ended
// early) are colour 0.
namespace BmpRle {

enum class Outcome {
    NotRunLength, // not a BMP file with a 40-byte header and run-length rows
    Expanded,     // `out` holds the plain file
    Damaged,      // the runs leave the picture, or stop before its last row
};

// Expands `data`, a BMP file of `size` bytes with the 40-byte information
// header, into `out`: the same headers and palette with BI_RGB, and the
// rows each padded to four bytes. The caller has made sure the picture's
// sides fit in memory; the expanded rows take no more than one byte a pixel.
Outcome expand(const unsigned char* data, std::size_t size, std::vector<unsigned char>& out);

} // namespace BmpRle
