// SPDX-License-Identifier: GPL-3.0-or-later
#include "QualityMetrics.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

// The filtering passes are built twice on x86-64, for the baseline
// instruction set and for processors with AVX2 and FMA; the loader picks one
// when the program starts. Sanitizer builds keep one copy.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) &&                             \
    !defined(__SANITIZE_ADDRESS__)
#define TESSERA_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
// Helpers are inlined into each copy, so they are built for its target.
#define TESSERA_INLINE inline __attribute__((always_inline))
#else
#define TESSERA_VECTOR_CLONES
#define TESSERA_INLINE inline
#endif

namespace QualityMetrics {

namespace {

constexpr int RADIUS = WINDOW / 2;
constexpr int PLANES = 5; // x, y, x^2, y^2, xy
constexpr int SCALES = 5;
constexpr double SCALE_WEIGHTS[SCALES] = {0.0448, 0.2856, 0.3001, 0.2363, 0.1333};
constexpr float C1 = float((0.01 * 255) * (0.01 * 255));
constexpr float C2 = float((0.03 * 255) * (0.03 * 255));
// Luma is filtered with 128 taken off, which keeps the squares small and
// the single-precision moments exact enough; the means get it back.
constexpr float OFFSET = 128.0f;

constexpr double NOT_AVAILABLE = std::numeric_limits<double>::quiet_NaN();

// The eleven taps, half of them: g[5] is the centre, g[k] = g[10 - k].
struct Taps
{
    float g[RADIUS + 1];
    Taps()
    {
        double weights[WINDOW];
        double sum = 0;
        for (int k = 0; k < WINDOW; ++k) {
            const double d = k - RADIUS;
            weights[k] = std::exp(-d * d / (2.0 * 1.5 * 1.5));
            sum += weights[k];
        }
        for (int k = 0; k <= RADIUS; ++k)
            g[k] = float(weights[k] / sum);
    }
};

// Horizontal filter: out[i] = sum over k of g[k] * in[i + k], i < n.
TESSERA_INLINE void filterRow(const float* __restrict in, float* __restrict out, int n,
                              const Taps& t)
{
    const float g0 = t.g[0], g1 = t.g[1], g2 = t.g[2], g3 = t.g[3], g4 = t.g[4], g5 = t.g[5];
    for (int i = 0; i < n; ++i) {
        const float* p = in + i;
        out[i] = g0 * (p[0] + p[10]) + g1 * (p[1] + p[9]) + g2 * (p[2] + p[8]) +
                 g3 * (p[3] + p[7]) + g4 * (p[4] + p[6]) + g5 * p[5];
    }
}

// Vertical filter of eleven rows, rows[k] weighted g[k].
TESSERA_INLINE void filterColumns(const float* const* rows, float* __restrict out, int n,
                                  const Taps& t)
{
    const float g0 = t.g[0], g1 = t.g[1], g2 = t.g[2], g3 = t.g[3], g4 = t.g[4], g5 = t.g[5];
    const float* __restrict r0 = rows[0];
    const float* __restrict r1 = rows[1];
    const float* __restrict r2 = rows[2];
    const float* __restrict r3 = rows[3];
    const float* __restrict r4 = rows[4];
    const float* __restrict r5 = rows[5];
    const float* __restrict r6 = rows[6];
    const float* __restrict r7 = rows[7];
    const float* __restrict r8 = rows[8];
    const float* __restrict r9 = rows[9];
    const float* __restrict r10 = rows[10];
    for (int i = 0; i < n; ++i)
        out[i] = g0 * (r0[i] + r10[i]) + g1 * (r1[i] + r9[i]) + g2 * (r2[i] + r8[i]) +
                 g3 * (r3[i] + r7[i]) + g4 * (r4[i] + r6[i]) + g5 * r5[i];
}

// Sum of n values: eight single-precision lanes that the compiler turns
// into vector adds, flushed into double every 512 values.
TESSERA_INLINE double sum(const float* values, int n)
{
    double total = 0;
    int i = 0;
    while (i + 8 <= n) {
        float lanes[8] = {0, 0, 0, 0, 0, 0, 0, 0};
        const int end = std::min(n, i + 512) & ~7;
        for (; i < end; i += 8) {
            for (int j = 0; j < 8; ++j)
                lanes[j] += values[i + j];
        }
        for (float lane : lanes)
            total += lane;
    }
    for (; i < n; ++i)
        total += values[i];
    return total;
}

struct Sums
{
    double ssim = 0; // local SSIM
    double cs = 0;   // contrast-structure term
    double l = 0;    // luminance term
    double count = 0;
};

// What one pass over a pair of planes should give.
struct Wanted
{
    bool ssim = false;
    bool cs = false;
    bool l = false;
    float* map = nullptr; // (width - 10) x (height - 10), or null
    // The next scale's planes, (width / 2) x (height / 2), made on the way;
    // both or neither.
    float* halfX = nullptr;
    float* halfY = nullptr;
};

// Luma of one row of a 32-bit picture, centred on 0.
TESSERA_INLINE void lumaRow(const unsigned char* __restrict in, float* __restrict out, int width)
{
    for (int i = 0; i < width; ++i, in += 4)
        out[i] = 0.299f * float(in[2]) + 0.587f * float(in[1]) + 0.114f * float(in[0]) - OFFSET;
}

// Means of the 2 x 2 blocks of two rows.
TESSERA_INLINE void halveRows(const float* __restrict top, const float* __restrict bottom,
                              float* __restrict out, int width)
{
    for (int i = 0; i < width / 2; ++i)
        out[i] = 0.25f * ((top[2 * i] + top[2 * i + 1]) + (bottom[2 * i] + bottom[2 * i + 1]));
}

// One pass over a pair of planes `x` and `y`, or, where they are null, over
// the luma of the 32-bit pictures `a` and `b`, made row by row so that the
// full-size luma is never held.
TESSERA_VECTOR_CLONES Sums pass(Workspace& ws, const float* x, const float* y,
                                const unsigned char* a, const unsigned char* b, int width,
                                int height, const Wanted& wanted)
{
    static_assert(WINDOW == 11, "the filters are written out for eleven taps");
    const Taps taps;
    const int outWidth = width - 2 * RADIUS;
    const std::size_t ringRow = std::size_t(outWidth);
    ws.ring.resize(std::size_t(PLANES) * WINDOW * ringRow);
    // Five input moment rows of `width`, then the cs and SSIM rows.
    ws.moments.resize(std::size_t(PLANES) * std::size_t(width) + 3 * ringRow);
    float* moment[PLANES];
    for (int p = 0; p < PLANES; ++p)
        moment[p] = ws.moments.data() + std::size_t(p) * std::size_t(width);
    float* csRow = ws.moments.data() + std::size_t(PLANES) * std::size_t(width);
    float* lRow = csRow + ringRow;
    float* ssimRow = lRow + ringRow;
    // Two rows of luma each, the current and the one before.
    if (!x) {
        ws.lumaA.resize(2 * std::size_t(width));
        ws.lumaB.resize(2 * std::size_t(width));
    }
    auto ringAt = [&](int plane, int row) {
        return ws.ring.data() + (std::size_t(plane) * WINDOW + std::size_t(row % WINDOW)) * ringRow;
    };

    Sums sums;
    for (int r = 0; r < height; ++r) {
        const float* xr;
        const float* yr;
        if (x) {
            xr = x + std::size_t(r) * std::size_t(width);
            yr = y + std::size_t(r) * std::size_t(width);
        } else {
            const std::size_t at = std::size_t(r & 1) * std::size_t(width);
            const std::size_t source = std::size_t(r) * std::size_t(width) * 4;
            lumaRow(a + source, ws.lumaA.data() + at, width);
            lumaRow(b + source, ws.lumaB.data() + at, width);
            xr = ws.lumaA.data() + at;
            yr = ws.lumaB.data() + at;
        }
        if (wanted.halfX && (r & 1) && r / 2 < height / 2) {
            const std::size_t half = std::size_t(r / 2) * std::size_t(width / 2);
            halveRows(xr - width, xr, wanted.halfX + half, width);
            halveRows(yr - width, yr, wanted.halfY + half, width);
        }
        float* __restrict mx = moment[0];
        float* __restrict my = moment[1];
        float* __restrict mxx = moment[2];
        float* __restrict myy = moment[3];
        float* __restrict mxy = moment[4];
        for (int i = 0; i < width; ++i) {
            mx[i] = xr[i];
            my[i] = yr[i];
            mxx[i] = xr[i] * xr[i];
            myy[i] = yr[i] * yr[i];
            mxy[i] = xr[i] * yr[i];
        }
        for (int p = 0; p < PLANES; ++p)
            filterRow(moment[p], ringAt(p, r), outWidth, taps);
        if (r < WINDOW - 1)
            continue;

        // Rows r - 10 .. r of the ring make output row r - 10; the vertical
        // results go where the input moments were.
        const int top = r - (WINDOW - 1);
        for (int p = 0; p < PLANES; ++p) {
            const float* rows[WINDOW];
            for (int k = 0; k < WINDOW; ++k)
                rows[k] = ringAt(p, top + k);
            filterColumns(rows, moment[p], outWidth, taps);
        }
        const float* __restrict ux = moment[0];
        const float* __restrict uy = moment[1];
        const float* __restrict exx = moment[2];
        const float* __restrict eyy = moment[3];
        const float* __restrict exy = moment[4];
        float* __restrict csOut = csRow;
        float* __restrict lOut = lRow;
        float* __restrict ssimOut = wanted.map ? wanted.map + std::size_t(top) * ringRow : ssimRow;
        const bool similarity = wanted.ssim || wanted.map;
        if (similarity || wanted.l) {
            // One division per position: the SSIM is the product of the two
            // terms, and the contrast-structure term is had from it again.
            for (int i = 0; i < outWidth; ++i) {
                const float vx = exx[i] - ux[i] * ux[i];
                const float vy = eyy[i] - uy[i] * uy[i];
                const float vxy = exy[i] - ux[i] * uy[i];
                const float mx0 = ux[i] + OFFSET, my0 = uy[i] + OFFSET;
                const float lNum = 2.0f * mx0 * my0 + C1;
                const float lDen = mx0 * mx0 + my0 * my0 + C1;
                const float csNum = 2.0f * vxy + C2;
                const float csDen = vx + vy + C2;
                const float inverse = 1.0f / (lDen * csDen);
                ssimOut[i] = lNum * csNum * inverse;
                csOut[i] = csNum * lDen * inverse;
                lOut[i] = lNum * csDen * inverse;
            }
        } else {
            for (int i = 0; i < outWidth; ++i) {
                const float vx = exx[i] - ux[i] * ux[i];
                const float vy = eyy[i] - uy[i] * uy[i];
                const float vxy = exy[i] - ux[i] * uy[i];
                csOut[i] = (2.0f * vxy + C2) / (vx + vy + C2);
            }
        }
        if (similarity)
            sums.ssim += sum(ssimOut, outWidth);
        if (wanted.cs)
            sums.cs += sum(csRow, outWidth);
        if (wanted.l)
            sums.l += sum(lRow, outWidth);
    }
    sums.count = double(outWidth) * double(height - 2 * RADIUS);
    return sums;
}

} // namespace

Similarity measure(Workspace& ws, const unsigned char* a, const unsigned char* b, int width,
                   int height, bool wantSsim, bool wantMsSsim)
{
    Similarity figures{NOT_AVAILABLE, NOT_AVAILABLE};
    wantSsim = wantSsim && width >= WINDOW && height >= WINDOW;
    wantMsSsim = wantMsSsim && std::min(width, height) >= MS_SSIM_MIN_SIDE;
    if (!wantSsim && !wantMsSsim)
        return figures;

    // Scale 1 straight from the pictures; each pass makes the next scale.
    Wanted first;
    first.ssim = wantSsim;
    first.cs = wantMsSsim;
    if (wantMsSsim) {
        ws.scaleA.resize(std::size_t(width / 2) * std::size_t(height / 2));
        ws.scaleB.resize(ws.scaleA.size());
        first.halfX = ws.scaleA.data();
        first.halfY = ws.scaleB.data();
    }
    const Sums scale1 = pass(ws, nullptr, nullptr, a, b, width, height, first);
    if (wantSsim)
        figures.ssim = scale1.ssim / scale1.count;
    if (!wantMsSsim)
        return figures;

    double product = std::pow(std::max(0.0, scale1.cs / scale1.count), SCALE_WEIGHTS[0]);
    int w = width / 2, h = height / 2;
    for (int scale = 1; scale < SCALES; ++scale) {
        Wanted wanted;
        wanted.cs = true;
        wanted.l = scale == SCALES - 1;
        if (!wanted.l) {
            ws.nextA.resize(std::size_t(w / 2) * std::size_t(h / 2));
            ws.nextB.resize(ws.nextA.size());
            wanted.halfX = ws.nextA.data();
            wanted.halfY = ws.nextB.data();
        }
        const Sums s = pass(ws, ws.scaleA.data(), ws.scaleB.data(), nullptr, nullptr, w, h, wanted);
        product *= std::pow(std::max(0.0, s.cs / s.count), SCALE_WEIGHTS[scale]);
        if (wanted.l)
            product *= std::pow(std::max(0.0, s.l / s.count), SCALE_WEIGHTS[scale]);
        ws.scaleA.swap(ws.nextA);
        ws.scaleB.swap(ws.nextB);
        w /= 2;
        h /= 2;
    }
    figures.msSsim = product;
    return figures;
}

std::vector<float> ssimMap(Workspace& ws, const unsigned char* a, const unsigned char* b, int width,
                           int height)
{
    std::vector<float> map;
    if (width < WINDOW || height < WINDOW)
        return map;
    map.resize(std::size_t(width - 2 * RADIUS) * std::size_t(height - 2 * RADIUS));
    Wanted wanted;
    wanted.map = map.data();
    pass(ws, nullptr, nullptr, a, b, width, height, wanted);
    return map;
}

double psnr(double mse)
{
    if (std::isnan(mse))
        return NOT_AVAILABLE;
    if (mse <= 0)
        return std::numeric_limits<double>::infinity();
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}

void channelMSE(const DifferenceSums& s, std::size_t pixels, double& y, double& cb, double& cr)
{
    // The mean of (a dR + b dG + c dB)^2 expanded over the sums of products,
    // in integers: the weights are whole millionths and the sums whole
    // numbers, so a channel whose differences cancel exactly (the chroma of
    // a grey picture decoded to the source's grey) comes out exactly 0 and
    // its PSNR infinite. The offsets of Cb and Cr cancel in the difference.
    using Wide = __int128;
    const auto whole = [](double v) { return Wide(std::llround(v)); };
    const Wide rr = whole(s.rr), gg = whole(s.gg), bb = whole(s.bb);
    const Wide rg = whole(s.rg), rb = whole(s.rb), gb = whole(s.gb);
    auto mean = [&](long long a, long long b, long long c) {
        const Wide total = Wide(a * a) * rr + Wide(b * b) * gg + Wide(c * c) * bb +
                           2 * (Wide(a * b) * rg + Wide(a * c) * rb + Wide(b * c) * gb);
        if (!pixels)
            return NOT_AVAILABLE;
        return total <= 0 ? 0.0 : double(total) / 1e12 / double(pixels);
    };
    y = mean(299000, 587000, 114000);
    cb = mean(-168736, -331264, 500000);
    cr = mean(500000, -418688, -81312);
}

unsigned heatColour(double ssim)
{
    // 0 at SSIM 1, 1 at HEAT_FLOOR and below; then black -> red -> yellow
    // -> white in three equal thirds.
    const double t = std::clamp((1.0 - ssim) / (1.0 - HEAT_FLOOR), 0.0, 1.0);
    const double r = std::clamp(t * 3.0, 0.0, 1.0);
    const double g = std::clamp(t * 3.0 - 1.0, 0.0, 1.0);
    const double b = std::clamp(t * 3.0 - 2.0, 0.0, 1.0);
    auto byte = [](double v) { return unsigned(std::lround(v * 255.0)); };
    return 0xff000000u | byte(r) << 16 | byte(g) << 8 | byte(b);
}

} // namespace QualityMetrics
