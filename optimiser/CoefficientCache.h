// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "JPEGSettings.h"

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

class Image;

// The sampling factors of Y, Cb and Cr, as the encoder is given them.
using Sampling = std::array<JPEGSettings::Downsampling, 3>;

namespace SamplingText {
// "2x2,1x1,1x1": horizontal x vertical per component. False for anything
// else, for factors outside 1..2, and for chroma factors above luma's.
bool parse(const QString& text, Sampling& sampling);
QString format(const Sampling& sampling);
Sampling defaultSampling(); // 2x2,1x1,1x1
} // namespace SamplingText

// The DCT coefficients of every block of one picture, exactly as the
// encoder's integer DCT makes them before quantization: its fixed-point
// colour conversion, its down-sampling (2 x 1 and 2 x 2 averages with their
// alternating rounding bias), the edges of partial blocks filled by
// repeating the last column and row, the level shift by 128 and the
// integer DCT, whose coefficients are 8 times those of the orthonormal DCT.
// Smoothing is not applied (the optimiser encodes without it).
//
// A plain value, built once per picture and sampling and then only read:
// any number of threads may read one cache at the same time.
class CoefficientCache
{
public:
    struct Component
    {
        int widthInBlocks = 0;
        int heightInBlocks = 0;
        // 64 coefficients per block, blocks row by row, each block in
        // zig-zag order.
        std::vector<std::int16_t> coefficients;
        // The blocks in the order the interleaved scan codes them, MCU by
        // MCU: a block's index, or for a block the MCU grid adds beyond the
        // component's edge (coded with zero AC coefficients and the DC of a
        // real block) -1 - the index of the block whose DC it repeats.
        std::vector<std::int32_t> codingOrder;

        int blockCount() const { return widthInBlocks * heightInBlocks; }
        const std::int16_t* block(int index) const
        {
            return coefficients.data() + std::size_t(index) * 64;
        }
    };

    // Empty (isValid() false) when the picture has no pixels.
    static CoefficientCache compute(const Image& picture, const Sampling& sampling);

    bool isValid() const { return width > 0; }
    int pictureWidth() const { return width; }
    int pictureHeight() const { return height; }
    const Component& component(int index) const { return components[std::size_t(index)]; }
    const Sampling& samplingFactors() const { return sampling; }

    // The integer DCT of one block of 64 level-shifted samples (natural
    // order in and out), scaled by 8.
    static void forwardDCT(const int* samples, int* coefficients);

private:
    int width = 0;
    int height = 0;
    Sampling sampling{};
    std::array<Component, 3> components;
};
