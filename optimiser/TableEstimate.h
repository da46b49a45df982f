// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CoefficientCache.h"
#include "QuantizationTables.h"

#include <array>
#include <cstdint>
#include <vector>

// Fast estimates of what a pair of quantization tables does to a picture,
// from its coefficient cache, without encoding: the size of the file an
// encoder with optimised Huffman tables would write, and the squared error
// the quantization leaves in every component.
//
// Tables here are effective ones (already scaled by the quality, as the
// encoder writes them), in zig-zag order: table 0 quantizes Y, table 1 Cb
// and Cr. Quantization is the encoder's rounding division of the 8-times
// scaled coefficient by 8 times the entry.
namespace TableEstimate {

using ZigzagTable = std::array<std::uint16_t, 64>;
struct TablePair
{
    std::array<ZigzagTable, 2> tables{};
    bool sixteenBit = false; // some entry above 255: 16-bit table segments
};

// The pair `luma`, `chroma` (natural order) at `quality`, scaled and limited
// as the encoder does (JPEGCompressor::effectiveTable).
TablePair effective(const QuantizationTable& luma, const QuantizationTable& chroma, int quality,
                    bool baseline);

// The rounding division, for |value| < 2^14 and any entry.
inline int quantize(int value, unsigned entry)
{
    const int divisor = 8 * int(entry < 4096 ? entry : 4096);
    return value < 0 ? -((-value + divisor / 2) / divisor) : (value + divisor / 2) / divisor;
}

// Bits of the magnitude category of a value: 0 for 0, else floor(log2|v|) + 1.
inline int category(int value)
{
    unsigned v = unsigned(value < 0 ? -value : value);
    int bits = 0;
    while (v) {
        ++bits;
        v >>= 1;
    }
    return bits;
}

// Symbol frequencies of one Huffman table's data and the bits coded
// verbatim beside the codes.
struct SymbolCounts
{
    std::array<std::uint32_t, 256> frequency{};
    std::uint64_t extraBits = 0;
};

// The bits the encoder's optimal Huffman table (code lengths limited to 16,
// one code point kept free) spends on `counts`, codes only, and the number
// of symbols the table defines.
std::uint64_t huffmanBits(const SymbolCounts& counts, int* symbols = nullptr);

struct PictureEstimate
{
    double fileBits = 0; // the whole file: markers, tables, entropy-coded data
    // Squared error of every component over all its blocks (padding
    // included), in sample units, per zig-zag position.
    std::array<std::array<double, 64>, 3> squaredError{};
    std::array<int, 3> samples{}; // samples per component, padding included

    double componentError(int c) const;
};

// The symbol-exact estimate: every block quantized, its DC difference and
// its AC run/size symbols counted per table, Huffman code lengths as the
// encoder would choose them.
PictureEstimate estimate(const CoefficientCache& cache, const TablePair& tables);

// The bytes of a file's markers and tables besides the entropy-coded data
// (start and end of image, JFIF, the two quantization tables, frame, scan)
// without the Huffman table segments.
int fixedHeaderBytes(bool sixteenBit);

} // namespace TableEstimate
