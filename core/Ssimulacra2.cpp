// SPDX-License-Identifier: GPL-3.0-or-later
#include "Ssimulacra2.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>

#include <QSemaphore>
#include <QThreadPool>
#include <QtEndian>

// The passes are built twice on x86-64, for the baseline instruction set and
// for processors with AVX2 and FMA, as the similarity filters are.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) &&                             \
    !defined(__SANITIZE_ADDRESS__)
#define TESSERA_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define TESSERA_VECTOR_CLONES
#endif

namespace Ssimulacra2 {

namespace {

constexpr int SCALES = 6;
constexpr double SIGMA = 1.5;
constexpr float C2 = 0.0009f;
// The Gaussian window's radius for SIGMA, round(3.2795 sigma + 0.2546)
// = round(5.17); the row filter is written out for it.
constexpr int RADIUS = 5;

// The weights of the sub-scores: for X, Y and B, each of the six scales, the
// 1-norm then the 4-norm, three maps each (structural error, ringing,
// blurring).
constexpr double WEIGHTS[3 * SCALES * 2 * 3] = {
    0.0,
    0.0007376606707406586,
    0.0, // X scale 0 1-norm
    0.0,
    0.0007793481682867309,
    0.0, // X scale 0 4-norm
    0.0,
    0.0004371155730107379,
    0.0, // X scale 1 1-norm
    1.1041726426657346,
    0.00066284834129271,
    0.00015231632783718752, // X scale 1 4-norm
    0.0,
    0.0016406437456599754,
    0.0, // X scale 2 1-norm
    1.8422455520539298,
    11.441172603757666,
    0.0, // X scale 2 4-norm
    0.0007989109436015163,
    0.000176816438078653,
    0.0, // X scale 3 1-norm
    1.8787594979546387,
    10.94906990605142,
    0.0, // X scale 3 4-norm
    0.0007289346991508072,
    0.9677937080626833,
    0.0, // X scale 4 1-norm
    0.00014003424285435884,
    0.9981766977854967,
    0.00031949755934435053, // X scale 4 4-norm
    0.0004550992113792063,
    0.0,
    0.0, // X scale 5 1-norm
    0.0013648766163243398,
    0.0,
    0.0, // X scale 5 4-norm
    0.0,
    0.0,
    0.0, // Y scale 0 1-norm
    7.466890328078848,
    0.0,
    17.445833984131262, // Y scale 0 4-norm
    0.0006235601634041466,
    0.0,
    0.0, // Y scale 1 1-norm
    6.683678146179332,
    0.00037724407979611296,
    1.027889937768264, // Y scale 1 4-norm
    225.20515300849274,
    0.0,
    0.0, // Y scale 2 1-norm
    19.213238186143016,
    0.0011401524586618361,
    0.001237755635509985, // Y scale 2 4-norm
    176.39317598450694,
    0.0,
    0.0, // Y scale 3 1-norm
    24.43300999870476,
    0.28520802612117757,
    0.0004485436923833408, // Y scale 3 4-norm
    0.0,
    0.0,
    0.0, // Y scale 4 1-norm
    34.77906344483772,
    44.835625328877896,
    0.0, // Y scale 4 4-norm
    0.0,
    0.0,
    0.0, // Y scale 5 1-norm
    0.0,
    0.0,
    0.0, // Y scale 5 4-norm
    0.0,
    0.0008680556573291698,
    0.0, // B scale 0 1-norm
    0.0,
    0.0,
    0.0, // B scale 0 4-norm
    0.0,
    0.0005313191874358747,
    0.0, // B scale 1 1-norm
    0.00016533814161379112,
    0.0,
    0.0, // B scale 1 4-norm
    0.0,
    0.0,
    0.0, // B scale 2 1-norm
    0.0004179171803251336,
    0.0017290828234722833,
    0.0, // B scale 2 4-norm
    0.0020827005846636437,
    0.0,
    0.0, // B scale 3 1-norm
    8.826982764996862,
    23.19243343998926,
    0.0, // B scale 3 4-norm
    95.1080498811086,
    0.9863978034400682,
    0.9834382792465353, // B scale 4 1-norm
    0.0012286405048278493,
    171.2667255897307,
    0.9807858872435379, // B scale 4 4-norm
    0.0,
    0.0,
    0.0, // B scale 5 1-norm
    0.0005130064588990679,
    0.0,
    0.00010854057858411537, // B scale 5 4-norm
};

// The Gaussian of truncated cosines. Over the window |j| <= N the kernel is
// a sum of three cosines cos(w_k j), w_k = k pi / (2N) for k = 1, 3, 5, each
// zero at the window's ends; the cosine weights are the least-squares fit of
// the kernel to the sampled Gaussian, scaled to a sum of 1. Such a kernel can
// run as three second-order recursions per value whatever the radius; for a
// radius of 5 its nine nonzero taps cost fewer loads and stores than the
// recursions' state does, and they vectorise along the rows as well as down
// the columns, so both passes apply the taps.
struct Kernel
{
    float taps[RADIUS]; // at 0, 1, ..., RADIUS - 1; the tap at RADIUS is zero

    Kernel()
    {
        const double pi = 3.14159265358979323846;
        const int count = 2 * RADIUS + 1;
        double omega[3], basis[3][count], gauss[count];
        for (int k = 0; k < 3; ++k)
            omega[k] = (2 * k + 1) * pi / (2.0 * RADIUS);
        for (int j = 0; j < count; ++j) {
            const double x = j - RADIUS;
            gauss[j] = std::exp(-x * x / (2 * SIGMA * SIGMA));
            for (int k = 0; k < 3; ++k)
                basis[k][j] = std::cos(omega[k] * x);
        }
        // Normal equations of the fit, solved by Cramer's rule.
        double m[3][3], r[3];
        for (int k = 0; k < 3; ++k) {
            r[k] = 0;
            for (int l = 0; l < 3; ++l)
                m[k][l] = 0;
            for (int j = 0; j < count; ++j) {
                r[k] += basis[k][j] * gauss[j];
                for (int l = 0; l < 3; ++l)
                    m[k][l] += basis[k][j] * basis[l][j];
            }
        }
        auto det = [](const double a[3][3]) {
            return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                   a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                   a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
        };
        const double d = det(m);
        double weight[3], total = 0;
        for (int k = 0; k < 3; ++k) {
            double mk[3][3];
            std::memcpy(mk, m, sizeof m);
            for (int l = 0; l < 3; ++l)
                mk[l][k] = r[l];
            weight[k] = det(mk) / d;
            for (int j = 0; j < count; ++j)
                total += weight[k] * basis[k][j];
        }
        for (int j = 0; j < RADIUS; ++j) {
            double tap = 0;
            for (int k = 0; k < 3; ++k)
                tap += weight[k] * basis[k][RADIUS + j];
            taps[j] = float(tap / total);
        }
    }
};

const Kernel& kernel()
{
    static const Kernel k;
    return k;
}

// The rows of the window of one output row: rows[REACH + j] is the row
// j below it (zeros outside the picture), for |j| <= REACH.
constexpr int REACH = RADIUS - 1;
constexpr int WINDOW_ROWS = 2 * REACH + 1;
using WindowRows = const float* const (&)[WINDOW_ROWS];

// The sweeps blur two rows at a time, whose windows overlap but for a row
// at either end: the rows of both, the first row's window and then one more.
constexpr int PAIR = 2;
constexpr int SPAN_ROWS = WINDOW_ROWS + PAIR - 1;
using SpanRows = const float* const (&)[SPAN_ROWS];

// The taps applied to a centre value and the sums of the values at 1, 2,
// 3 and 4 either side of it. Every vertical blur goes through this one
// expression, so that a mean comes out the same to the bit whichever pass
// makes it.
inline float tapSum(const float* t, float c, float p1, float p2, float p3, float p4)
{
    return t[0] * c + t[1] * p1 + t[2] * p2 + t[3] * p3 + t[4] * p4;
}

// The kernel along a row. `c` has RADIUS zeros before and after its `w`
// values.
TESSERA_VECTOR_CLONES void rowFilter(const float* __restrict c, float* __restrict o, std::size_t w)
{
    const float* t = kernel().taps;
    const float t0 = t[0], t1 = t[1], t2 = t[2], t3 = t[3], t4 = t[4];
    for (std::size_t x = 0; x < w; ++x)
        o[x] = t0 * c[x] + t1 * (c[x - 1] + c[x + 1]) + t2 * (c[x - 2] + c[x + 2]) +
               t3 * (c[x - 3] + c[x + 3]) + t4 * (c[x - 4] + c[x + 4]);
}

// The kernel down the columns of one plane's window, WINDOW_ROWS rows.
TESSERA_VECTOR_CLONES void columnFilter(const float* const* in, float* __restrict o, std::size_t w)
{
    const float* tp = kernel().taps;
    const float t[RADIUS] = {tp[0], tp[1], tp[2], tp[3], tp[4]};
    const float* __restrict u4 = in[0], * __restrict u3 = in[1], * __restrict u2 = in[2];
    const float* __restrict u1 = in[3], * __restrict c = in[4], * __restrict d1 = in[5];
    const float* __restrict d2 = in[6], * __restrict d3 = in[7], * __restrict d4 = in[8];
    for (std::size_t x = 0; x < w; ++x)
        o[x] = tapSum(t, c[x], u1[x] + d1[x], u2[x] + d2[x], u3[x] + d3[x], u4[x] + d4[x]);
}

// The kernel down the columns of the two windows of a span, into `o0` (the
// first row's) and `o1`: each row read once for both, which halves what a
// blur reads from the cache, and each value as columnFilter() makes it.
TESSERA_VECTOR_CLONES void columnFilterPair(SpanRows in, float* __restrict o0, float* __restrict o1,
                                            std::size_t w)
{
    const float* tp = kernel().taps;
    const float t[RADIUS] = {tp[0], tp[1], tp[2], tp[3], tp[4]};
    const float* __restrict r0 = in[0], * __restrict r1 = in[1], * __restrict r2 = in[2];
    const float* __restrict r3 = in[3], * __restrict r4 = in[4], * __restrict r5 = in[5];
    const float* __restrict r6 = in[6], * __restrict r7 = in[7], * __restrict r8 = in[8];
    const float* __restrict r9 = in[9];
    for (std::size_t x = 0; x < w; ++x) {
        const float v0 = r0[x], v1 = r1[x], v2 = r2[x], v3 = r3[x], v4 = r4[x];
        const float v5 = r5[x], v6 = r6[x], v7 = r7[x], v8 = r8[x], v9 = r9[x];
        o0[x] = tapSum(t, v4, v3 + v5, v2 + v6, v1 + v7, v0 + v8);
        o1[x] = tapSum(t, v5, v4 + v6, v3 + v7, v2 + v8, v1 + v9);
    }
}

// The products of a row of a channel in both pictures that the structural
// error blurs: (a - b)^2 and a b. The error needs the blurred squares only in
// the sum of the two variances, which is twice the covariance plus the
// variance of the difference; blurring the squared difference instead of
// both squares saves a moment, and it is exactly zero where the pictures
// agree, so that identical pictures score exactly 100. Each row's products
// are made once, as it enters the sweep, and blurred like the values.
TESSERA_VECTOR_CLONES void productRow(const float* __restrict a, const float* __restrict b,
                                      float* __restrict dd, float* __restrict ab, std::size_t w)
{
    for (std::size_t x = 0; x < w; ++x) {
        const float d = a[x] - b[x];
        dd[x] = d * d;
        ab[x] = a[x] * b[x];
    }
}

// A row of `w` values with RADIUS zeros on either side, for rowFilter().
struct PaddedRow
{
    float* values;

    float* carve(float* rows, std::size_t w)
    {
        std::fill(rows, rows + w + 2 * RADIUS, 0.0f);
        values = rows + RADIUS;
        return rows + w + 2 * RADIUS;
    }
};

// sRGB byte values to linear light.
struct Linear
{
    float table[256];
    Linear()
    {
        for (int i = 0; i < 256; ++i) {
            const double v = i / 255.0;
            table[i] = float(v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
        }
    }
};

// Linear red, green and blue of one row of a 32-bit picture.
void linearRow(const unsigned char* in, std::size_t w, float* r, float* g, float* b)
{
    static const Linear linear;
    for (std::size_t i = 0; i < w; ++i, in += 4) {
        b[i] = linear.table[in[0]];
        g[i] = linear.table[in[1]];
        r[i] = linear.table[in[2]];
    }
}

// The cube root of a positive value, without a library call or a division
// so that the loop around it vectorises cheaply: a first guess of the
// inverse cube root from the exponent bits (within 3.5 %; the bits divided
// by 3 in single precision, close enough for a guess), two steps
// r <- r (a - b v r^3), then v r^2. The first step's a and b are the
// minimax fit over the guess's error (1.2e-3 after it; Newton's 4/3 and 1/3
// leave 2.5e-3), the second is Newton's scaled to centre its one-sided
// error; over the values XYB takes, 0.0037 to 1.2, the root is within
// 3.3e-6 of the true one.
inline float cubeRoot(float v)
{
    std::int32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    bits = 0x54a21d2a - std::int32_t(float(bits) * (1.0f / 3.0f));
    float r;
    std::memcpy(&r, &bits, sizeof r);
    float r2 = r * r;
    r = 1.3347f * r - (0.3335f * v) * (r2 * r2);
    constexpr double centre = 1 + 1.44e-6;
    r2 = r * r;
    r = float(4.0 / 3.0 * centre) * r - (float(1.0 / 3.0 * centre) * v) * (r2 * r2);
    return v * r * r;
}

// Linear RGB planes to the positive XYB planes. The values are never
// negative (byte values through the table, or block means of them), so the
// cone mixtures are at least the bias and need no clamp.
TESSERA_VECTOR_CLONES void toXyb(const float* __restrict r, const float* __restrict g,
                                 const float* __restrict b, float* __restrict outX,
                                 float* __restrict outY, float* __restrict outB, std::size_t n)
{
    constexpr float bias = 0.0037930732552754493f;
    const float biasRoot = std::cbrt(bias);
#pragma omp simd
    for (std::size_t i = 0; i < n; ++i) {
        const float l = 0.30f * r[i] + 0.622f * g[i] + 0.078f * b[i] + bias;
        const float m = 0.23f * r[i] + 0.692f * g[i] + 0.078f * b[i] + bias;
        const float s = 0.24342268924547819f * r[i] + 0.20476744424496821f * g[i] +
                        0.55180986650955360f * b[i] + bias;
        const float lr = cubeRoot(l) - biasRoot, mr = cubeRoot(m) - biasRoot;
        const float sr = cubeRoot(s) - biasRoot;
        const float x = 0.5f * (lr - mr), y = 0.5f * (lr + mr);
        outX[i] = 14.0f * x + 0.42f;
        outY[i] = y + 0.01f;
        outB[i] = (sr - y) + 0.55f;
    }
}

// The 2 x 2 block means of two rows of `w` values, (w + 1) / 2 of them, the
// last column repeated where w is odd.
TESSERA_VECTOR_CLONES void halveRows(const float* __restrict top, const float* __restrict bottom,
                                     float* __restrict out, std::size_t w)
{
    for (std::size_t x = 0; x < w / 2; ++x)
        out[x] = 0.25f * ((top[2 * x] + top[2 * x + 1]) + (bottom[2 * x] + bottom[2 * x + 1]));
    if (w % 2)
        out[w / 2] = 0.5f * (top[w - 1] + bottom[w - 1]);
}

// Sums over a scale of one channel's three maps and their fourth powers.
struct MapSums
{
    double ssim = 0, ssim4 = 0, artifact = 0, artifact4 = 0, detail = 0, detail4 = 0;

    MapSums& operator+=(const MapSums& o)
    {
        ssim += o.ssim;
        ssim4 += o.ssim4;
        artifact += o.artifact;
        artifact4 += o.artifact4;
        detail += o.detail;
        detail4 += o.detail4;
        return *this;
    }
};

// The original's side of the edge comparison at a value.
inline float edgeBase(float a, float mu1)
{
    return 1.0f + std::fabs(a - mu1);
}

// The maps of one row from the channel's values a, b and their blurred
// moments, summed into `sums`.
TESSERA_VECTOR_CLONES void mapRow(const float* __restrict a, const float* __restrict b,
                                  const float* __restrict mu1, const float* __restrict mu2,
                                  const float* __restrict sdd, const float* __restrict s12, int n,
                                  MapSums& sums)
{
    float ssim = 0, ssim4 = 0, artifact = 0, artifact4 = 0, detail = 0, detail4 = 0;
#pragma omp simd reduction(+ : ssim, ssim4, artifact, artifact4, detail, detail4)
    for (int i = 0; i < n; ++i) {
        const float m1 = mu1[i], m2 = mu2[i];
        const float diff = m1 - m2;
        const float num = 2.0f * (s12[i] - m1 * m2) + C2;
        const float den = num + (sdd[i] - diff * diff);
        // Both quotients over one division. Each numerator is a difference
        // that is exactly zero where the pictures agree.
        const float baseA = edgeBase(a[i], m1), baseB = edgeBase(b[i], m2);
        const float inverse = 1.0f / (den * baseA);
        const float d = std::max(0.0f, (den - (1.0f - diff * diff) * num) * baseA * inverse);
        const float e = (baseB - baseA) * den * inverse;
        const float art = std::max(e, 0.0f), lost = std::max(-e, 0.0f);
        const float d2 = d * d, art2 = art * art, lost2 = lost * lost;
        ssim += d;
        ssim4 += d2 * d2;
        artifact += art;
        artifact4 += art2 * art2;
        detail += lost;
        detail4 += lost2 * lost2;
    }
    sums.ssim += ssim;
    sums.ssim4 += ssim4;
    sums.artifact += artifact;
    sums.artifact4 += artifact4;
    sums.detail += detail;
    sums.detail4 += detail4;
}

constexpr int MOMENTS = 4;

// The rows of one channel's pass, carved out of one allocation: per moment
// the two rows between the two filters and the blurred row.
struct ChannelRows
{
    PaddedRow between[PAIR][MOMENTS];
    float* blurred[MOMENTS];

    static std::size_t floats(std::size_t w) { return MOMENTS * (PAIR * (w + 2 * RADIUS) + w); }

    ChannelRows(float* p, std::size_t w)
    {
        for (int m = 0; m < MOMENTS; ++m) {
            for (int r = 0; r < PAIR; ++r)
                p = between[r][m].carve(p, w);
            blurred[m] = p;
            p += w;
        }
    }
};

// The edge maps alone of one row, for a scale whose structural error has
// no weight. `base` is the original's edgeBase() at each value.
TESSERA_VECTOR_CLONES void edgeRow(const float* __restrict b, const float* __restrict mu2,
                                   const float* __restrict base, int n, MapSums& sums)
{
    float artifact = 0, artifact4 = 0, detail = 0, detail4 = 0;
#pragma omp simd reduction(+ : artifact, artifact4, detail, detail4)
    for (int i = 0; i < n; ++i) {
        const float e = edgeBase(b[i], mu2[i]) / base[i] - 1.0f;
        const float art = std::max(e, 0.0f), lost = std::max(-e, 0.0f);
        const float art2 = art * art, lost2 = lost * lost;
        artifact += art;
        artifact4 += art2 * art2;
        detail += lost;
        detail4 += lost2 * lost2;
    }
    sums.artifact += artifact;
    sums.artifact4 += artifact4;
    sums.detail += detail;
    sums.detail4 += detail4;
}

// edgeBase() of a row.
TESSERA_VECTOR_CLONES void edgeBaseRow(const float* __restrict a, const float* __restrict mu1,
                                       float* __restrict out, int n)
{
    for (int i = 0; i < n; ++i)
        out[i] = edgeBase(a[i], mu1[i]);
}

// The weights of channel c's six sub-scores at a scale.
const double* weightsOf(int c, int scale)
{
    return WEIGHTS + (std::size_t(c) * SCALES + std::size_t(scale)) * 6;
}

// Which of channel c's maps count at a scale: the structural error (whose
// sweep blurs four moments and makes the edge maps on the way), the edge
// maps alone (two means), or neither.
struct Needs
{
    bool structure = false;
    bool edges = false;
};

Needs needsOf(int c, int scale)
{
    const double* w = weightsOf(c, scale);
    Needs n;
    n.structure = w[0] != 0 || w[3] != 0;
    n.edges = !n.structure && (w[1] != 0 || w[2] != 0 || w[4] != 0 || w[5] != 0);
    return n;
}

// What a sweep does: compare two pictures; make a reference's planes of the
// original alone; or compare the distorted picture with a reference.
enum class Mode { Both, Build, Against };

// One channel's filters and map sums over a scale, row by row as the sweep
// goes down the picture: each row's maps are summed as soon as its blurred
// values are out, so that no blurred plane is ever held. Every mode blurs a
// value with the same filter call as the others, so that the original's
// means in a reference are those a comparison of both pictures makes.
class ChannelPass
{
public:
    // `planes` are the channel's reference planes: written in Build, read
    // in Against.
    ChannelPass(float* rows, std::size_t w, Mode mode, bool structure, Reference::Channel planes)
        : rows(rows, w), w(w), mode(mode), structure(structure), planes(planes)
    {
    }

    // Sums the maps of the `count` rows (one or PAIR) from row y, whose
    // windows the spans `a` and `b` hold (of the original and the distorted
    // picture; only `a` in Build) and those of their productRow()s `dd` and
    // `ab` (where the structure counts).
    void step(SpanRows a, SpanRows b, SpanRows dd, SpanRows ab, int y, int count)
    {
        const bool comparing = mode != Mode::Build;
        if (mode != Mode::Against)
            columns(a, 0, count);
        if (comparing)
            columns(b, 1, count);
        if (comparing && structure) {
            columns(dd, 2, count);
            columns(ab, 3, count);
        }
        for (int r = 0; r < count; ++r) {
            const std::size_t at = std::size_t(y + r) * w;
            if (!comparing)
                build(a[REACH + r], r, at);
            else if (structure)
                compare(a[REACH + r], b[REACH + r], r,
                        mode == Mode::Both ? nullptr : planes.mean + at);
            else
                compareEdges(a[REACH + r], b[REACH + r], r,
                             mode == Mode::Both ? nullptr : planes.edge + at);
        }
    }

    MapSums sums;

private:
    float* between(int r, int m) { return rows.between[r][m].values; }
    float* blurred(int m) { return rows.blurred[m]; }

    // Moment m's column filter of the span's `count` rows.
    void columns(SpanRows in, int m, int count)
    {
        if (count == PAIR)
            columnFilterPair(in, between(0, m), between(1, m), w);
        else
            columnFilter(in, between(0, m), w);
    }

    // The row filters of the r-th row's four moments, the original's mean
    // taken from `mean` where it is given, and the maps summed; `a` and `b`
    // are the row's values.
    void compare(const float* a, const float* b, int r, const float* mean)
    {
        for (int m = mean ? 1 : 0; m < MOMENTS; ++m)
            rowFilter(between(r, m), blurred(m), w);
        mapRow(a, b, mean ? mean : blurred(0), blurred(1), blurred(2), blurred(3), int(w), sums);
    }

    // The edge maps alone, the original's edgeBase() taken from `base`
    // where it is given.
    void compareEdges(const float* a, const float* b, int r, const float* base)
    {
        if (!base) {
            rowFilter(between(r, 0), blurred(0), w);
            edgeBaseRow(a, blurred(0), blurred(2), int(w));
            base = blurred(2);
        }
        rowFilter(between(r, 1), blurred(1), w);
        edgeRow(b, blurred(1), base, int(w), sums);
    }

    // The original's planes of the row at `at`: its values and mean where
    // the structure counts, else its edgeBase().
    void build(const float* a, int r, std::size_t at)
    {
        if (structure) {
            rowFilter(between(r, 0), planes.mean + at, w);
            std::copy(a, a + w, planes.xyb + at);
        } else {
            rowFilter(between(r, 0), blurred(0), w);
            edgeBaseRow(a, blurred(0), planes.edge + at, int(w));
        }
    }

    ChannelRows rows;
    std::size_t w;
    Mode mode;
    bool structure;
    Reference::Channel planes;
};

// The XYB rows a sweep holds per channel: the blur's window.
constexpr int RING = SPAN_ROWS;

// Where a scale's linear RGB comes from: the 32-bit pictures at the first
// scale, planes made by the scale before at the others.
struct Input
{
    const unsigned char* bytes[2] = {nullptr, nullptr};
    const float* planes[2][3] = {};
};

// One sweep down a scale of the pictures the mode reads: each row of linear
// RGB read once, halved into the next scale's planes (`next`, null at the
// last scale) and turned into XYB in a ring of rows, from which the three
// channels' passes take the rows they need. Only the input, the next scale
// and a reference's planes are planes; everything else stays in the cache.
class ScaleSweep
{
public:
    static std::size_t floats(std::size_t w)
    {
        return 2 * (3 * 2 * w + 3 * RING * w) + 3 * 2 * RING * w + w + 3 * ChannelRows::floats(w);
    }

    // `planes` are the reference's planes of the scale, written in Build
    // and read in Against; null in Both.
    ScaleSweep(float* buffer, const Input& input, int width, int height, Mode mode,
               const Reference::Scale* planes)
        : input(input), w(std::size_t(width)), height(height), mode(mode), planes(planes)
    {
        float* p = buffer;
        for (int i = 0; i < 2; ++i) {
            for (int c = 0; c < 3; ++c, p += 2 * w)
                linear[i][c] = p;
            for (int c = 0; c < 3; ++c, p += RING * w)
                xyb[i][c] = p;
        }
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 2; ++k, p += RING * w)
                products[c][k] = p;
        std::fill(p, p + w, 0.0f);
        zeros = p;
        channels = p + w;
    }

    // The maps of rows [top, bottom) summed, `top` even, and the next
    // scale's planes of those rows made on the way when `next` is not null.
    void run(int scale, float* const (*next)[3], int top, int bottom)
    {
        used = 0;
        for (int c = 0; c < 3; ++c) {
            // Maps whose sub-scores all weigh nothing are not made: at the
            // first scale X and B weigh only edges, at the last Y nothing.
            const Needs needs = needsOf(c, scale);
            channel[c] = -1;
            multiplied[c] = needs.structure && mode != Mode::Build;
            if (!needs.structure && !needs.edges)
                continue;
            passes[used].emplace(channels + std::size_t(used) * ChannelRows::floats(w), w, mode,
                                 needs.structure,
                                 planes ? planes->channels[c] : Reference::Channel());
            channel[c] = used++;
        }
        halves = {top, bottom};
        for (int y = std::max(0, top - REACH); y < std::min(height, top + REACH); ++y)
            feed(y, next);
        for (int y = top; y < bottom; y += PAIR) {
            const int count = std::min(PAIR, bottom - y);
            for (int r = 0; r < count; ++r)
                if (y + r + REACH < height)
                    feed(y + r + REACH, next);
            for (int c = 0; c < 3; ++c) {
                if (channel[c] < 0)
                    continue;
                // A single last row leaves the span's last row unread.
                const float* a[SPAN_ROWS];
                const float* b[SPAN_ROWS];
                const float* dd[SPAN_ROWS];
                const float* ab[SPAN_ROWS];
                for (int j = 0; j < SPAN_ROWS; ++j) {
                    a[j] = row(0, c, y - REACH + j);
                    b[j] = row(1, c, y - REACH + j);
                    dd[j] = product(0, c, y - REACH + j);
                    ab[j] = product(1, c, y - REACH + j);
                }
                passes[channel[c]]->step(a, b, dd, ab, y, count);
            }
        }
    }

    // The weighted sum of the sub-scores of the rows run() went over, with
    // those of `other`, a sweep of the other rows, when not null.
    double total(int scale, const ScaleSweep* other) const
    {
        const double pixels = double(w) * double(height);
        double sum = 0;
        for (int c = 0; c < 3; ++c) {
            if (channel[c] < 0)
                continue;
            MapSums s = passes[channel[c]]->sums;
            if (other)
                s += other->passes[other->channel[c]]->sums;
            sum += weighted(s, pixels, c, scale);
        }
        return sum;
    }

private:
    static double weighted(const MapSums& s, double pixels, int c, int scale);

    // Row y of picture i's linear RGB, and the halves of it and the row
    // before into the next scale.
    void feed(int y, float* const (*next)[3])
    {
        const std::size_t slot = std::size_t(y % RING) * w;
        for (int i = mode == Mode::Against ? 1 : 0; i < (mode == Mode::Build ? 1 : 2); ++i) {
            const float* rgb[3];
            if (input.bytes[i]) {
                for (int c = 0; c < 3; ++c)
                    rgb[c] = linear[i][c] + std::size_t(y & 1) * w;
                linearRow(input.bytes[i] + std::size_t(y) * w * 4, w, linear[i][0] + (y & 1) * w,
                          linear[i][1] + (y & 1) * w, linear[i][2] + (y & 1) * w);
            } else {
                for (int c = 0; c < 3; ++c)
                    rgb[c] = input.planes[i][c] + std::size_t(y) * w;
            }
            const bool last = y == height - 1;
            if (next && ((y & 1) || last) && y >= halves.first && y < halves.second) {
                const std::size_t half = (w + 1) / 2;
                for (int c = 0; c < 3; ++c)
                    halveRows((y & 1) ? previous[i][c] : rgb[c], rgb[c],
                              next[i][c] + std::size_t(y / 2) * half, w);
            }
            for (int c = 0; c < 3; ++c)
                previous[i][c] = rgb[c];
            toXyb(rgb[0], rgb[1], rgb[2], xyb[i][0] + slot, xyb[i][1] + slot, xyb[i][2] + slot, w);
        }
        for (int c = 0; c < 3; ++c)
            if (multiplied[c])
                productRow(row(0, c, y), row(1, c, y), products[c][0] + slot, products[c][1] + slot,
                           w);
    }

    // Channel c of picture i's XYB row y, zeros outside the picture; in
    // Against the original's rows are the reference's (zeros where it has
    // none: the pass does not read them).
    const float* row(int i, int c, int y) const
    {
        if (y < 0 || y >= height)
            return zeros;
        if (i == 0 && mode == Mode::Against) {
            const float* plane = planes->channels[c].xyb;
            return plane ? plane + std::size_t(y) * w : zeros;
        }
        return xyb[i][c] + std::size_t(y % RING) * w;
    }

    // Product k (0 for the squared difference, 1 for the product) of channel
    // c's row y, zeros outside the picture.
    const float* product(int k, int c, int y) const
    {
        if (y < 0 || y >= height || !multiplied[c])
            return zeros;
        return products[c][k] + std::size_t(y % RING) * w;
    }

    Input input;
    std::size_t w;
    int height;
    Mode mode;
    const Reference::Scale* planes;
    float* linear[2][3];     // two rows each, from the pictures' bytes
    float* xyb[2][3];        // RING rows each
    float* products[3][2];   // RING rows each: the squared difference and the product
    bool multiplied[3] = {}; // whether a channel's products are made
    const float* previous[2][3] = {};
    const float* zeros;
    float* channels;
    std::optional<ChannelPass> passes[3];
    int channel[3] = {-1, -1, -1}; // the pass of each channel, -1 for none
    int used = 0;
    std::pair<int, int> halves; // the rows halved into the next scale
};

// The weighted sum of a scale's sub-scores for channel c.
double ScaleSweep::weighted(const MapSums& s, double pixels, int c, int scale)
{
    const double* w = weightsOf(c, scale);
    auto norm4 = [&](double sum4) { return std::sqrt(std::sqrt(sum4 / pixels)); };
    return w[0] * std::fabs(s.ssim / pixels) + w[1] * std::fabs(s.artifact / pixels) +
           w[2] * std::fabs(s.detail / pixels) + w[3] * norm4(s.ssim4) + w[4] * norm4(s.artifact4) +
           w[5] * norm4(s.detail4);
}

// The final mapping of the weighted sum onto the score.
double mapped(double s)
{
    s *= 0.9562382616834844;
    s = 2.326765642916932 * s - 0.020884521182843837 * s * s + 6.248496625763138e-05 * s * s * s;
    return s > 0 ? 100.0 - 10.0 * std::pow(s, 0.6276336467831387) : 100.0;
}

// Pictures of at least this many rows are swept in two bands, the lower one
// on a thread of the global pool when one is free at once (else here, after
// the upper one). The bands are the same either way, and so is the score.
constexpr int BAND_ROWS = 64;

// The weighted sum of one scale's sub-scores; the next scale's planes made
// on the way when `next` is not null. `rows` holds two sweeps' rows.
double sweepScale(float* const rows[2], const Input& input, int w, int h, int scale,
                  float* const (*next)[3], Mode mode, const Reference::Scale* planes)
{
    ScaleSweep upper(rows[0], input, w, h, mode, planes);
    if (h < BAND_ROWS) {
        upper.run(scale, next, 0, h);
        return upper.total(scale, nullptr);
    }
    const int split = (h / 2) & ~1;
    ScaleSweep lower(rows[1], input, w, h, mode, planes);
    QSemaphore done;
    const bool apart = QThreadPool::globalInstance()->tryStart([&] {
        lower.run(scale, next, split, h);
        done.release();
    });
    upper.run(scale, next, 0, split);
    if (apart)
        done.acquire();
    else
        lower.run(scale, next, split, h);
    return upper.total(scale, &lower);
}

// The sides of the scales a width x height picture has, and their number:
// each scale is made from one whose sides are both at least MIN_SIDE.
int scaleSides(int width, int height, int (&sides)[SCALES][2])
{
    int count = 0;
    for (int w = width, h = height; count < SCALES;) {
        sides[count][0] = w;
        sides[count][1] = h;
        ++count;
        if (w < MIN_SIDE || h < MIN_SIDE)
            break;
        w = (w + 1) / 2;
        h = (h + 1) / 2;
    }
    return count;
}

// The weighted sum of every scale's sub-scores of the pictures `bytes`
// (the original, the distorted one; null where the mode does not read
// it), with the reference's planes of each scale in Build and Against.
double sweepScales(Workspace& ws, const unsigned char* const (&bytes)[2], int width, int height,
                   Mode mode, const Reference::Scale* planes)
{
    // The planes of the odd scales, of the even ones after the first, and
    // the sweep's rows.
    int sides[SCALES][2];
    const int count = scaleSides(width, height, sides);
    auto area = [&](int scale) {
        return scale < count ? std::size_t(sides[scale][0]) * std::size_t(sides[scale][1]) : 0;
    };
    const std::size_t odd = area(1), even = area(2);
    const std::size_t sweepFloats = ScaleSweep::floats(std::size_t(width));
    ws.planes.resize(6 * (odd + even) + 2 * sweepFloats);
    float* sets[2][2][3];
    float* p = ws.planes.data();
    for (int set = 0; set < 2; ++set)
        for (int i = 0; i < 2; ++i)
            for (int c = 0; c < 3; ++c, p += set == 0 ? odd : even)
                sets[set][i][c] = p;
    float* rows[2] = {p, p + sweepFloats};

    Input input;
    input.bytes[0] = bytes[0];
    input.bytes[1] = bytes[1];
    double total = 0;
    for (int scale = 0; scale < count; ++scale) {
        const bool more = scale + 1 < count;
        float* const(*next)[3] = more ? sets[scale % 2] : nullptr;
        total += sweepScale(rows, input, sides[scale][0], sides[scale][1], scale, next, mode,
                            planes ? planes + scale : nullptr);
        if (!more)
            break;
        input = Input();
        for (int i = 0; i < 2; ++i)
            for (int c = 0; c < 3; ++c)
                input.planes[i][c] = next[i][c];
    }
    return total;
}

} // namespace

void blur(const float* in, float* out, int width, int height)
{
    const std::size_t w = std::size_t(width);
    std::vector<float> rows(w + (w + 2 * RADIUS));
    float* zeros = rows.data();
    PaddedRow between;
    between.carve(zeros + w, w);
    for (int y = 0; y < height; ++y) {
        const float* window[WINDOW_ROWS];
        for (int j = 0; j < WINDOW_ROWS; ++j) {
            const int at = y - REACH + j;
            window[j] = at < 0 || at >= height ? zeros : in + std::size_t(at) * w;
        }
        columnFilter(window, between.values, w);
        rowFilter(between.values, out + std::size_t(y) * w, w);
    }
}

double score(Workspace& ws, const unsigned char* original, const unsigned char* distorted,
             int width, int height)
{
    if (width < MIN_SIDE || height < MIN_SIDE)
        return std::numeric_limits<double>::quiet_NaN();
    return mapped(sweepScales(ws, {original, distorted}, width, height, Mode::Both, nullptr));
}

namespace {

// The floats of each plane a reference holds, by scale and channel: its
// values and means where the structure counts, else its edgeBase().
template <typename Visit> void referencePlanes(int width, int height, Visit visit)
{
    int sides[SCALES][2];
    const int count = scaleSides(width, height, sides);
    for (int scale = 0; scale < count; ++scale) {
        const std::size_t area = std::size_t(sides[scale][0]) * std::size_t(sides[scale][1]);
        for (int c = 0; c < 3; ++c) {
            const Needs needs = needsOf(c, scale);
            visit(scale, c, needs.structure ? area : 0, needs.structure ? area : 0,
                  needs.edges ? area : 0);
        }
    }
}

} // namespace

std::uint64_t Reference::bytesFor(int width, int height)
{
    std::uint64_t floats = 0;
    if (width >= MIN_SIDE && height >= MIN_SIDE)
        referencePlanes(width, height,
                        [&](int, int, std::size_t xyb, std::size_t mean, std::size_t edge) {
                            floats += xyb + mean + edge;
                        });
    return floats * sizeof(float);
}

Reference::Reference(const unsigned char* original, int width, int height) : sides{width, height}
{
    if (width < MIN_SIDE || height < MIN_SIDE)
        return;
    storage.resize(bytesFor(width, height) / sizeof(float));
    float* p = storage.data();
    referencePlanes(width, height,
                    [&](int scale, int c, std::size_t xyb, std::size_t mean, std::size_t edge) {
                        Channel& planes = scales[scale].channels[c];
                        auto carve = [&](float*& plane, std::size_t floats) {
                            plane = floats ? p : nullptr;
                            p += floats;
                        };
                        carve(planes.xyb, xyb);
                        carve(planes.mean, mean);
                        carve(planes.edge, edge);
                    });
    Workspace ws;
    sweepScales(ws, {original, nullptr}, width, height, Mode::Build, scales);
}

double score(Workspace& ws, const Reference& reference, const unsigned char* distorted)
{
    if (reference.width() < MIN_SIDE || reference.height() < MIN_SIDE)
        return std::numeric_limits<double>::quiet_NaN();
    return mapped(sweepScales(ws, {nullptr, distorted}, reference.width(), reference.height(),
                              Mode::Against, &reference.scale(0)));
}

} // namespace Ssimulacra2
