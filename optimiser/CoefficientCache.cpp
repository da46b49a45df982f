// SPDX-License-Identifier: GPL-3.0-or-later
#include "CoefficientCache.h"

#include "BlockAnalysis.h"
#include "CompressionResult.h"
#include "Image.h"

#include <QStringList>

#include <algorithm>

namespace SamplingText {

bool parse(const QString& text, Sampling& sampling)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 3)
        return false;
    Sampling parsed{};
    for (int c = 0; c < 3; ++c) {
        const QStringList factors = parts[c].trimmed().split(QLatin1Char('x'));
        if (factors.size() != 2)
            return false;
        bool okH = false, okV = false;
        parsed[std::size_t(c)].horizontal = factors[0].toInt(&okH);
        parsed[std::size_t(c)].vertical = factors[1].toInt(&okV);
        if (!okH || !okV)
            return false;
    }
    int blocks = 0;
    for (const JPEGSettings::Downsampling& f : parsed) {
        if (f.horizontal < 1 || f.horizontal > 4 || f.vertical < 1 || f.vertical > 4)
            return false;
        // The down-sampler needs whole ratios to the largest factors, which
        // luma has here.
        if (parsed[0].horizontal % f.horizontal || parsed[0].vertical % f.vertical)
            return false;
        blocks += f.horizontal * f.vertical;
    }
    if (blocks > 10) // the most blocks an MCU may hold
        return false;
    sampling = parsed;
    return true;
}

QString format(const Sampling& sampling)
{
    QStringList parts;
    for (const JPEGSettings::Downsampling& f : sampling)
        parts << QStringLiteral("%1x%2").arg(f.horizontal).arg(f.vertical);
    return parts.join(QLatin1Char(','));
}

Sampling defaultSampling()
{
    Sampling s{};
    s[0].horizontal = s[0].vertical = 2;
    return s;
}

} // namespace SamplingText

namespace {

constexpr int CONST_BITS = 13;
constexpr int PASS1_BITS = 2;
constexpr long FIX_0_298631336 = 2446;
constexpr long FIX_0_390180644 = 3196;
constexpr long FIX_0_541196100 = 4433;
constexpr long FIX_0_765366865 = 6270;
constexpr long FIX_0_899976223 = 7373;
constexpr long FIX_1_175875602 = 9633;
constexpr long FIX_1_501321110 = 12299;
constexpr long FIX_1_847759065 = 15137;
constexpr long FIX_1_961570560 = 16069;
constexpr long FIX_2_053119869 = 16819;
constexpr long FIX_2_562915447 = 20995;
constexpr long FIX_3_072711026 = 25172;

long descale(long x, int n)
{
    return (x + (1L << (n - 1))) >> n;
}

// One pass of the integer DCT over eight values `stride` apart: the even
// part exactly, the odd part rotated in fixed point with CONST_BITS fraction
// bits. The first pass keeps PASS1_BITS more bits of precision; the second
// takes them out again, leaving the result scaled by 8.
void dctPass(int* d, int stride, bool first)
{
    const long tmp0 = d[0] + d[7 * stride], tmp7 = d[0] - d[7 * stride];
    const long tmp1 = d[stride] + d[6 * stride], tmp6 = d[stride] - d[6 * stride];
    const long tmp2 = d[2 * stride] + d[5 * stride], tmp5 = d[2 * stride] - d[5 * stride];
    const long tmp3 = d[3 * stride] + d[4 * stride], tmp4 = d[3 * stride] - d[4 * stride];
    const long tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3;
    const long tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;
    const int shift = first ? CONST_BITS - PASS1_BITS : CONST_BITS + PASS1_BITS;
    if (first) {
        d[0] = int((tmp10 + tmp11) * (1L << PASS1_BITS));
        d[4 * stride] = int((tmp10 - tmp11) * (1L << PASS1_BITS));
    } else {
        d[0] = int(descale(tmp10 + tmp11, PASS1_BITS));
        d[4 * stride] = int(descale(tmp10 - tmp11, PASS1_BITS));
    }
    const long z = (tmp12 + tmp13) * FIX_0_541196100;
    d[2 * stride] = int(descale(z + tmp13 * FIX_0_765366865, shift));
    d[6 * stride] = int(descale(z - tmp12 * FIX_1_847759065, shift));

    const long z1 = -(tmp4 + tmp7) * FIX_0_899976223;
    const long z2 = -(tmp5 + tmp6) * FIX_2_562915447;
    const long z5 = (tmp4 + tmp6 + tmp5 + tmp7) * FIX_1_175875602;
    const long z3 = -(tmp4 + tmp6) * FIX_1_961570560 + z5;
    const long z4 = -(tmp5 + tmp7) * FIX_0_390180644 + z5;
    d[7 * stride] = int(descale(tmp4 * FIX_0_298631336 + z1 + z3, shift));
    d[5 * stride] = int(descale(tmp5 * FIX_2_053119869 + z2 + z4, shift));
    d[3 * stride] = int(descale(tmp6 * FIX_3_072711026 + z2 + z3, shift));
    d[stride] = int(descale(tmp7 * FIX_1_501321110 + z1 + z4, shift));
}

// One component at full resolution, as the encoder's colour converter
// gives it.
std::vector<unsigned char> convertedPlane(const Image& picture, int which)
{
    const int width = int(picture.getWidth()), height = int(picture.getHeight());
    std::vector<unsigned char> plane(std::size_t(width) * std::size_t(height));
    const unsigned char* bgrx = picture.getRGB32Buffer();
    for (std::size_t p = 0; p < plane.size(); ++p, bgrx += 4) {
        const CompressionResult::YCbCr v = CompressionResult::toYCbCr(bgrx[2], bgrx[1], bgrx[0]);
        plane[p] = which == 0 ? v.y : which == 1 ? v.cb : v.cr;
    }
    return plane;
}

// The down-sampled component, widthInBlocks * 8 by heightInBlocks * 8
// samples: columns beyond the picture repeat its last column before
// down-sampling; the encoder down-samples whole groups of the largest
// vertical factor's rows (the last group filled with the picture's last
// row) and repeats the last down-sampled row to whole blocks.
std::vector<int> sampledComponent(const std::vector<unsigned char>& plane, int width, int height,
                                  int fx, int fy, int columns, int rows, int producedRows)
{
    auto at = [&](int x, int y) {
        return int(plane[std::size_t(std::min(y, height - 1)) * std::size_t(width) +
                         std::size_t(std::min(x, width - 1))]);
    };
    std::vector<int> out(std::size_t(columns) * std::size_t(rows));
    for (int y = 0; y < rows; ++y) {
        const int sy = std::min(y, producedRows - 1);
        for (int x = 0; x < columns; ++x) {
            int value;
            if (fx == 1 && fy == 1) {
                value = at(x, sy);
            } else if (fx == 2 && fy == 1) {
                value = (at(2 * x, sy) + at(2 * x + 1, sy) + (x & 1)) >> 1;
            } else if (fx == 2 && fy == 2) {
                const int bias = (x & 1) ? 2 : 1;
                value = (at(2 * x, 2 * sy) + at(2 * x + 1, 2 * sy) + at(2 * x, 2 * sy + 1) +
                         at(2 * x + 1, 2 * sy + 1) + bias) >>
                        2;
            } else {
                int sum = 0;
                for (int dy = 0; dy < fy; ++dy)
                    for (int dx = 0; dx < fx; ++dx)
                        sum += at(x * fx + dx, sy * fy + dy);
                value = (sum + fx * fy / 2) / (fx * fy);
            }
            out[std::size_t(y) * std::size_t(columns) + std::size_t(x)] = value;
        }
    }
    return out;
}

// The blocks of one component in the scan's order. Blocks the MCU grid adds
// beyond the component repeat a DC: those at the right end of a block row
// the last real block's of that row, rows below the component the block's
// above at the MCU's last column.
std::vector<std::int32_t> codingOrder(int widthInBlocks, int heightInBlocks, int h, int v,
                                      int mcusAcross, int mcusDown)
{
    const int across = mcusAcross * h, down = mcusDown * v;
    std::vector<std::int32_t> source(std::size_t(across) * std::size_t(down));
    for (int row = 0; row < down; ++row)
        for (int column = 0; column < across; ++column) {
            std::int32_t& s = source[std::size_t(row) * std::size_t(across) + std::size_t(column)];
            if (row < heightInBlocks && column < widthInBlocks)
                s = row * widthInBlocks + column;
            else if (row < heightInBlocks)
                s = row * widthInBlocks + widthInBlocks - 1;
            else {
                const int mcuLast = column / h * h + h - 1;
                s = source[std::size_t(row - 1) * std::size_t(across) + std::size_t(mcuLast)];
            }
        }
    std::vector<std::int32_t> order;
    order.reserve(source.size());
    for (int my = 0; my < mcusDown; ++my)
        for (int mx = 0; mx < mcusAcross; ++mx)
            for (int y = 0; y < v; ++y)
                for (int x = 0; x < h; ++x) {
                    const int row = my * v + y, column = mx * h + x;
                    const std::int32_t s =
                        source[std::size_t(row) * std::size_t(across) + std::size_t(column)];
                    const bool real = row < heightInBlocks && column < widthInBlocks;
                    order.push_back(real ? s : -1 - s);
                }
    return order;
}

} // namespace

void CoefficientCache::forwardDCT(const int* samples, int* coefficients)
{
    std::copy(samples, samples + 64, coefficients);
    for (int row = 0; row < 8; ++row)
        dctPass(coefficients + 8 * row, 1, true);
    for (int column = 0; column < 8; ++column)
        dctPass(coefficients + column, 8, false);
}

CoefficientCache CoefficientCache::compute(const Image& picture, const Sampling& sampling)
{
    CoefficientCache cache;
    if (!picture.getRGB32Buffer() || picture.getWidth() == 0 || picture.getHeight() == 0)
        return cache;
    cache.width = int(picture.getWidth());
    cache.height = int(picture.getHeight());
    cache.sampling = sampling;
    int maxH = 1, maxV = 1;
    for (const JPEGSettings::Downsampling& f : sampling) {
        maxH = std::max(maxH, f.horizontal);
        maxV = std::max(maxV, f.vertical);
    }
    const int mcusAcross = (cache.width + 8 * maxH - 1) / (8 * maxH);
    const int mcusDown = (cache.height + 8 * maxV - 1) / (8 * maxV);
    for (int c = 0; c < 3; ++c) {
        const int h = sampling[std::size_t(c)].horizontal, v = sampling[std::size_t(c)].vertical;
        Component& out = cache.components[std::size_t(c)];
        const int columns = (cache.width * h + maxH - 1) / maxH;
        const int rows = (cache.height * v + maxV - 1) / maxV;
        out.widthInBlocks = (columns + 7) / 8;
        out.heightInBlocks = (rows + 7) / 8;
        const int producedRows = (cache.height + maxV - 1) / maxV * v;
        const std::vector<int> samples =
            sampledComponent(convertedPlane(picture, c), cache.width, cache.height, maxH / h,
                             maxV / v, out.widthInBlocks * 8, out.heightInBlocks * 8, producedRows);
        out.coefficients.resize(std::size_t(out.blockCount()) * 64);
        const std::size_t stride = std::size_t(out.widthInBlocks) * 8;
        int block[64], dct[64];
        for (int by = 0; by < out.heightInBlocks; ++by)
            for (int bx = 0; bx < out.widthInBlocks; ++bx) {
                for (int y = 0; y < 8; ++y)
                    for (int x = 0; x < 8; ++x)
                        block[8 * y + x] = samples[(std::size_t(by) * 8 + std::size_t(y)) * stride +
                                                   std::size_t(bx) * 8 + std::size_t(x)] -
                                           128;
                forwardDCT(block, dct);
                std::int16_t* target =
                    out.coefficients.data() +
                    (std::size_t(by) * std::size_t(out.widthInBlocks) + std::size_t(bx)) * 64;
                for (int k = 0; k < 64; ++k)
                    target[k] = std::int16_t(dct[BlockAnalysis::zigzag[k]]);
            }
        out.codingOrder =
            codingOrder(out.widthInBlocks, out.heightInBlocks, h, v, mcusAcross, mcusDown);
    }
    return cache;
}
