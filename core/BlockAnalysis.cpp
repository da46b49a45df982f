// SPDX-License-Identifier: GPL-3.0-or-later
#include "BlockAnalysis.h"

#include "CompressionResult.h"
#include "Image.h"

#include <algorithm>
#include <cmath>

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

// One component of the source at full resolution, as the encoder's colour
// converter gives it, read with the encoder's edge replication: columns and
// rows outside the picture repeat its last column and row (and its first,
// for the smoothing's neighbours above and to the left).
struct Plane
{
    const unsigned char* pixels; // 32-bit, rows packed
    int width;
    int height;
    int component; // 0 Y, 1 Cb, 2 Cr

    int at(int x, int y) const
    {
        x = std::clamp(x, 0, width - 1);
        y = std::clamp(y, 0, height - 1);
        const unsigned char* bgrx = pixels + (std::size_t(y) * std::size_t(width) + x) * 4;
        const CompressionResult::YCbCr value =
            CompressionResult::toYCbCr(bgrx[2], bgrx[1], bgrx[0]);
        return component == 0 ? value.y : component == 1 ? value.cb : value.cr;
    }
};

// The 3 x 3 neighbourhood's smoothing of a full-size sample: the centre
// weighted 1 - 8 SF, each neighbour SF (SF = smoothing / 1024), in 16
// fraction bits.
int smoothFullSize(const Plane& p, int x, int y, int smoothing)
{
    int neighbours = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (dx != 0 || dy != 0)
                neighbours += p.at(x + dx, y + dy);
    const long sum =
        long(p.at(x, y)) * (65536L - smoothing * 512L) + long(neighbours) * smoothing * 64L;
    return int((sum + 32768) >> 16);
}

// The smoothed 2 x 2 average: the four members weighted (1 - 5 SF) / 4, the
// eight samples beside them SF / 4, the four diagonal ones SF / 8.
int smoothHalf(const Plane& p, int x0, int y0, int smoothing)
{
    const int members = p.at(x0, y0) + p.at(x0 + 1, y0) + p.at(x0, y0 + 1) + p.at(x0 + 1, y0 + 1);
    const int sides = p.at(x0 - 1, y0) + p.at(x0 - 1, y0 + 1) + p.at(x0 + 2, y0) +
                      p.at(x0 + 2, y0 + 1) + p.at(x0, y0 - 1) + p.at(x0 + 1, y0 - 1) +
                      p.at(x0, y0 + 2) + p.at(x0 + 1, y0 + 2);
    const int corners =
        p.at(x0 - 1, y0 - 1) + p.at(x0 + 2, y0 - 1) + p.at(x0 - 1, y0 + 2) + p.at(x0 + 2, y0 + 2);
    const long sum =
        long(members) * (16384L - smoothing * 80L) + long(2 * sides + corners) * smoothing * 16L;
    return int((sum + 32768) >> 16);
}

// Sample (x, y) of a component kept at 1 / fx across and 1 / fy down, by
// the encoder's down-sampler: a copy at full size, the 2 x 1 and 2 x 2
// averages with their alternating rounding bias (0, 1 and 1, 2 along a
// row), the smoothed forms where the encoder has them, else the rounded
// mean of the fx x fy samples.
int encoderSample(const Plane& p, int fx, int fy, int x, int y, int smoothing)
{
    if (fx == 1 && fy == 1)
        return smoothing > 0 ? smoothFullSize(p, x, y, smoothing) : p.at(x, y);
    if (fx == 2 && fy == 1)
        return (p.at(2 * x, y) + p.at(2 * x + 1, y) + (x & 1)) >> 1;
    if (fx == 2 && fy == 2) {
        if (smoothing > 0)
            return smoothHalf(p, 2 * x, 2 * y, smoothing);
        const int bias = (x & 1) ? 2 : 1;
        return (p.at(2 * x, 2 * y) + p.at(2 * x + 1, 2 * y) + p.at(2 * x, 2 * y + 1) +
                p.at(2 * x + 1, 2 * y + 1) + bias) >>
               2;
    }
    int sum = 0;
    for (int dy = 0; dy < fy; ++dy)
        for (int dx = 0; dx < fx; ++dx)
            sum += p.at(x * fx + dx, y * fy + dy);
    return (sum + fx * fy / 2) / (fx * fy);
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
                            int column, int row, int smoothing, BlockAnalysis& out, QString* why)
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
    const int maxH = info.maxHorizontalSampling();
    const int maxV = info.maxVerticalSampling();
    const int fx = std::max(1, maxH / c.horizontal);
    const int fy = std::max(1, maxV / c.vertical);
    const Plane plane{pixels, width, height, info.components.size() == 1 ? 0 : component};

    out.component = component;
    out.column = column;
    out.row = row;
    // The component's own extent; the samples beyond it pad the last blocks.
    const int pictureColumns = (width * c.horizontal + maxH - 1) / maxH;
    const int pictureRows = (height * c.vertical + maxV - 1) / maxV;
    // Without smoothing the encoder down-samples whole groups of maxV rows
    // (the last one filled with copies of the picture's last row), then
    // repeats the last down-sampled row to whole blocks. Smoothing needs
    // the rows around each group, and the encoder then pads the picture's
    // rows at full size to whole blocks before down-sampling them all.
    const int rows =
        smoothing > 0 ? blocks.heightInBlocks * 8 : (height + maxV - 1) / maxV * c.vertical;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const int sx = column * 8 + x;
            const int sy = row * 8 + y;
            const std::size_t k = std::size_t(8 * y + x);
            out.padding[k] = sx >= pictureColumns || sy >= pictureRows;
            out.samples[k] =
                encoderSample(plane, fx, fy, sx, std::min(sy, rows - 1), smoothing) - 128.0;
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
        out.error[k] = out.padding[k] ? 0.0 : out.reconstruction[k] - out.samples[k];
    return true;
}
