// SPDX-License-Identifier: GPL-3.0-or-later
#include "TableEstimate.h"

#include "BlockAnalysis.h"
#include "JPEGCompressor.h"

#include <algorithm>
#include <cmath>

namespace TableEstimate {

TablePair effective(const QuantizationTable& luma, const QuantizationTable& chroma, int quality,
                    bool baseline)
{
    TablePair pair;
    const QuantizationTable* bases[2] = {&luma, &chroma};
    for (int t = 0; t < 2; ++t) {
        const JPEGCompressor::EffectiveTable e =
            JPEGCompressor::effectiveTable(*bases[t], quality, baseline);
        for (int k = 0; k < 64; ++k) {
            const unsigned v = e.values[std::size_t(BlockAnalysis::zigzag[k])];
            pair.tables[std::size_t(t)][std::size_t(k)] = std::uint16_t(v);
            pair.sixteenBit = pair.sixteenBit || v > 255;
        }
    }
    return pair;
}

std::uint64_t huffmanBits(const SymbolCounts& counts, int* symbols)
{
    // The procedure of the JPEG standard's Annex K.2: merge the two least
    // frequent entries until one is left (a dummy symbol of frequency 1
    // reserves the all-ones code), then shorten codes longer than 16 bits.
    constexpr int N = 257;
    long freq[N];
    int codesize[N] = {};
    int others[N];
    for (int i = 0; i < 256; ++i)
        freq[i] = long(counts.frequency[std::size_t(i)]);
    freq[256] = 1;
    std::fill(others, others + N, -1);
    for (;;) {
        int c1 = -1, c2 = -1;
        long v = 1L << 62;
        for (int i = 0; i < N; ++i)
            if (freq[i] && freq[i] <= v) {
                v = freq[i];
                c1 = i;
            }
        v = 1L << 62;
        for (int i = 0; i < N; ++i)
            if (freq[i] && freq[i] <= v && i != c1) {
                v = freq[i];
                c2 = i;
            }
        if (c2 < 0)
            break;
        freq[c1] += freq[c2];
        freq[c2] = 0;
        ++codesize[c1];
        while (others[c1] >= 0) {
            c1 = others[c1];
            ++codesize[c1];
        }
        others[c1] = c2;
        ++codesize[c2];
        while (others[c2] >= 0) {
            c2 = others[c2];
            ++codesize[c2];
        }
    }
    int bits[33] = {};
    for (int i = 0; i < N; ++i)
        if (codesize[i])
            ++bits[std::min(codesize[i], 32)];
    for (int i = 32; i > 16; --i)
        while (bits[i] > 0) {
            int j = i - 2;
            while (bits[j] == 0)
                --j;
            bits[i] -= 2;
            bits[i - 1] += 1;
            bits[j + 1] += 2;
            bits[j] -= 1;
        }
    int longest = 16;
    while (longest > 0 && bits[longest] == 0)
        --longest;
    if (longest > 0)
        --bits[longest]; // the reserved code point
    // Codes go to the symbols in order of their unlimited lengths, ties by
    // symbol value; the limited lengths are handed out in that order.
    std::uint64_t total = 0;
    int defined = 0, length = 1, left = bits[1];
    for (int size = 1; size <= 32; ++size)
        for (int s = 0; s < 256; ++s) {
            if (codesize[s] != size)
                continue;
            while (left == 0 && length < 16)
                left = bits[++length];
            total += std::uint64_t(counts.frequency[std::size_t(s)]) * std::uint64_t(length);
            --left;
            ++defined;
        }
    if (symbols)
        *symbols = defined;
    return total;
}

double PictureEstimate::componentError(int c) const
{
    double sum = 0;
    for (double e : squaredError[std::size_t(c)])
        sum += e;
    return sum;
}

int fixedHeaderBytes(bool sixteenBit)
{
    const int soi = 2, eoi = 2, jfif = 18;
    const int dqt = 2 * (4 + 1 + (sixteenBit ? 128 : 64));
    const int sof = 2 + 8 + 3 * 3;
    const int sos = 2 + 6 + 2 * 3;
    return soi + jfif + dqt + sof + sos + eoi;
}

namespace {

// Tallies one component's blocks in coding order into the DC and AC counts
// of its table, and its squared error per position.
void tallyComponent(const CoefficientCache::Component& component, const ZigzagTable& table,
                    SymbolCounts& dc, SymbolCounts& ac, std::array<double, 64>& squaredError)
{
    int divisor[64];
    for (int k = 0; k < 64; ++k)
        divisor[k] = 8 * int(std::min<unsigned>(table[std::size_t(k)], 4096));
    std::array<std::int64_t, 64> error{};
    std::vector<std::int16_t> dcValues(std::size_t(component.blockCount()));
    for (int b = 0; b < component.blockCount(); ++b) {
        const std::int16_t* coefficients = component.block(b);
        int run = 0;
        for (int k = 0; k < 64; ++k) {
            const int c = coefficients[k];
            const int magnitude = c < 0 ? -c : c;
            const int q = (magnitude + divisor[k] / 2) / divisor[k];
            const std::int64_t e = magnitude - q * divisor[k];
            error[std::size_t(k)] += e * e;
            if (k == 0) {
                dcValues[std::size_t(b)] = std::int16_t(c < 0 ? -q : q);
                continue;
            }
            if (q == 0) {
                ++run;
                continue;
            }
            for (; run > 15; run -= 16)
                ++ac.frequency[0xF0];
            const int size = category(q);
            ++ac.frequency[std::size_t((run << 4) | size)];
            ac.extraBits += unsigned(size);
            run = 0;
        }
        if (run > 0)
            ++ac.frequency[0x00];
    }
    int previous = 0;
    for (const std::int32_t entry : component.codingOrder) {
        const int value = dcValues[std::size_t(entry >= 0 ? entry : -1 - entry)];
        const int size = category(value - previous);
        ++dc.frequency[std::size_t(size)];
        dc.extraBits += unsigned(size);
        previous = value;
        if (entry < 0)
            ++ac.frequency[0x00]; // a repeated block's AC part is one end of block
    }
    for (int k = 0; k < 64; ++k)
        squaredError[std::size_t(k)] = double(error[std::size_t(k)]) / 64.0;
}

} // namespace

PictureEstimate estimate(const CoefficientCache& cache, const TablePair& tables)
{
    PictureEstimate result;
    SymbolCounts dc[2], ac[2];
    for (int c = 0; c < 3; ++c) {
        const int t = c == 0 ? 0 : 1;
        const CoefficientCache::Component& component = cache.component(c);
        tallyComponent(component, tables.tables[std::size_t(t)], dc[t], ac[t],
                       result.squaredError[std::size_t(c)]);
        result.samples[std::size_t(c)] = component.blockCount() * 64;
    }
    double bits = 0;
    int headerBytes = fixedHeaderBytes(tables.sixteenBit);
    for (const SymbolCounts* counts : {&dc[0], &ac[0], &dc[1], &ac[1]}) {
        int symbols = 0;
        const std::uint64_t coded = huffmanBits(*counts, &symbols);
        bits += double(coded + counts->extraBits);
        headerBytes += 2 + 2 + 1 + 16 + symbols;
    }
    // Coded data is padded to whole bytes, and every 0xFF byte in it is
    // followed by a zero byte; in data as dense as this about one in 256.
    const double dataBytes = (bits + 7) / 8;
    result.fileBits = (std::ceil(dataBytes) * (1.0 + 1.0 / 256.0) + headerBytes) * 8;
    return result;
}

} // namespace TableEstimate
