// SPDX-License-Identifier: GPL-3.0-or-later
#include "BlockAnalysis.h"

#include "Image.h"

#include <algorithm>
#include <cmath>

const int BlockAnalysis::zigzag[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

namespace {

const double pi = 3.14159265358979323846;

// cos((2x + 1) u pi / 16) scaled by C(u) / 2, C(0) = 1 / sqrt 2, so that
// F(v, u) = sum over y, x of basis[v][y] * basis[u][x] * f(y, x).
struct Basis
{
    double value[8][8];
    Basis()
    {
        for (int u = 0; u < 8; ++u)
            for (int x = 0; x < 8; ++x)
                value[u][x] =
                    (u == 0 ? std::sqrt(0.5) : 1.0) / 2.0 * std::cos((2 * x + 1) * u * pi / 16.0);
    }
};

const Basis& basis()
{
    static const Basis b;
    return b;
}

// The component's value of one source pixel by the JFIF conversion,
// rounded to a whole sample as the encoder's converter does.
double componentValue(const unsigned char* bgrx, int component, bool grey)
{
    const double b = bgrx[0], g = bgrx[1], r = bgrx[2];
    double value;
    if (grey || component == 0)
        value = 0.299 * r + 0.587 * g + 0.114 * b;
    else if (component == 1)
        value = -0.168736 * r - 0.331264 * g + 0.5 * b + 128.0;
    else
        value = 0.5 * r - 0.418688 * g - 0.081312 * b + 128.0;
    return std::clamp(std::floor(value + 0.5), 0.0, 255.0);
}

} // namespace

BlockAnalysis::Grid BlockAnalysis::forwardDCT(const Grid& samples)
{
    const Basis& c = basis();
    Grid out{};
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
            double sum = 0;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    sum += c.value[v][y] * c.value[u][x] * samples[std::size_t(8 * y + x)];
            out[std::size_t(8 * v + u)] = sum;
        }
    return out;
}

BlockAnalysis::Grid BlockAnalysis::inverseDCT(const Grid& coefficients)
{
    const Basis& c = basis();
    Grid out{};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            double sum = 0;
            for (int v = 0; v < 8; ++v)
                for (int u = 0; u < 8; ++u)
                    sum += c.value[v][y] * c.value[u][x] * coefficients[std::size_t(8 * v + u)];
            out[std::size_t(8 * y + x)] = sum;
        }
    return out;
}

bool BlockAnalysis::analyse(const Image& source, const JpegFileInfo& info, int component,
                            int column, int row, BlockAnalysis& out, QString* why)
{
    auto fail = [why](const QString& text) {
        if (why)
            *why = text;
        return false;
    };
    if (info.coefficients.size() != info.components.size() || component < 0 ||
        component >= int(info.coefficients.size()))
        return fail(info.coefficientError.isEmpty() ? QStringLiteral("No such component.")
                                                    : info.coefficientError);
    const JpegFileInfo::ComponentCoefficients& blocks = info.coefficients[std::size_t(component)];
    if (column < 0 || row < 0 || column >= blocks.widthInBlocks || row >= blocks.heightInBlocks)
        return fail(QStringLiteral("No such block."));
    const unsigned char* pixels = source.getRGB32Buffer();
    const int width = int(source.getWidth());
    const int height = int(source.getHeight());
    if (!pixels || width != info.width || height != info.height)
        return fail(QStringLiteral("The source picture does not match the JPEG."));

    const JpegFileInfo::Component& c = info.components[std::size_t(component)];
    const int maxV = info.maxVerticalSampling();
    const int fx = std::max(1, info.maxHorizontalSampling() / c.horizontal);
    const int fy = std::max(1, maxV / c.vertical);
    const bool grey = info.components.size() == 1;

    out.component = component;
    out.column = column;
    out.row = row;
    // The encoder replicates the last source column out to whole blocks
    // before down-sampling, but the last down-sampled row below it.
    const int rows = (height * c.vertical + maxV - 1) / maxV;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const int sx = (column * 8 + x) * fx;
            const int sy = std::min(row * 8 + y, rows - 1) * fy;
            double sum = 0;
            for (int dy = 0; dy < fy; ++dy)
                for (int dx = 0; dx < fx; ++dx) {
                    const int px = std::min(sx + dx, width - 1);
                    const int py = std::min(sy + dy, height - 1);
                    sum += componentValue(pixels + (std::size_t(py) * width + px) * 4, component,
                                          grey);
                }
            out.samples[std::size_t(8 * y + x)] = sum / (fx * fy) - 128.0;
        }
    out.dct = forwardDCT(out.samples);

    const std::int16_t* stored = blocks.block(column, row);
    Grid dequantized{};
    out.lastNonZero = -1;
    for (int k = 0; k < 64; ++k) {
        out.quantization[std::size_t(k)] = blocks.quantization[unsigned(k)];
        out.stored[std::size_t(k)] = stored[k];
        dequantized[std::size_t(k)] = double(stored[k]) * blocks.quantization[unsigned(k)];
        if (stored[zigzag[k]] != 0)
            out.lastNonZero = k;
    }
    out.reconstruction = inverseDCT(dequantized);
    for (std::size_t k = 0; k < 64; ++k)
        out.error[k] = out.reconstruction[k] - out.samples[k];
    return true;
}
