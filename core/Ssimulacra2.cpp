// SPDX-License-Identifier: GPL-3.0-or-later
#include "Ssimulacra2.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

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

// The recursive Gaussian. Over the window |j| <= N the kernel is a sum of
// three cosines cos(w_k j), w_k = k pi / (2N) for k = 1, 3, 5, each zero at
// the window's ends. One cosine term obeys
//   y[n] = 2 cos(w) y[n-1] - y[n-2] + sin(k pi / 2) sin(w) (u[n+N-1] + u[n-N-1]),
// so the whole filter costs three second-order recursions per value
// whatever the radius. The cosine weights are the least-squares fit of the
// kernel to the sampled Gaussian, scaled to a sum of 1.
struct Recursion
{
    static constexpr int MAX_RADIUS = 16;
    int radius = 0;
    float twoCos[3];
    float gain[3];              // the cosine's weight times sin(k pi / 2) sin(w)
    float taps[MAX_RADIUS + 1]; // the same kernel at 0, 1, ..., radius

    Recursion()
    {
        const double pi = 3.14159265358979323846;
        radius = RADIUS;
        double omega[3], basis[3][64];
        const int count = 2 * radius + 1;
        double gauss[64];
        for (int k = 0; k < 3; ++k)
            omega[k] = (2 * k + 1) * pi / (2.0 * radius);
        for (int j = 0; j < count; ++j) {
            const double x = j - radius;
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
        for (int j = 0; j <= radius; ++j) {
            double tap = 0;
            for (int k = 0; k < 3; ++k)
                tap += weight[k] * basis[k][radius + j];
            taps[j] = float(tap / total);
        }
        for (int k = 0; k < 3; ++k) {
            const double sign = k == 1 ? -1.0 : 1.0; // sin(k pi / 2) for k = 1, 3, 5
            twoCos[k] = float(2 * std::cos(omega[k]));
            gain[k] = float(weight[k] / total * sign * std::sin(omega[k]));
        }
    }
};

const Recursion& recursion()
{
    static const Recursion r;
    return r;
}

// One row of the three recursions: y = 2 cos(w) y1 - y2 + gain u, the new
// values written over y2, their sum to `out`.
inline void recursionRow(const float* __restrict plus, const float* __restrict minus,
                         float* __restrict a1, float* __restrict a2, float* __restrict b1,
                         float* __restrict b2, float* __restrict d1, float* __restrict d2,
                         float* __restrict out, std::size_t w, const Recursion& r)
{
    const float c0 = r.twoCos[0], c1 = r.twoCos[1], c2 = r.twoCos[2];
    const float g0 = r.gain[0], g1 = r.gain[1], g2 = r.gain[2];
    for (std::size_t x = 0; x < w; ++x) {
        const float u = plus[x] + minus[x];
        const float ya = c0 * a1[x] - a2[x] + g0 * u;
        const float yb = c1 * b1[x] - b2[x] + g1 * u;
        const float yd = c2 * d1[x] - d2[x] + g2 * u;
        a2[x] = ya;
        b2[x] = yb;
        d2[x] = yd;
        out[x] = ya + yb + yd;
    }
}

// The filter down the columns of a width x height plane, zero outside.
// `state` holds eight rows of width.
TESSERA_VECTOR_CLONES void blurColumns(const float* in, float* out, float* state, int width,
                                       int height)
{
    const Recursion& r = recursion();
    const int n = r.radius;
    const std::size_t w = std::size_t(width);
    std::fill(state, state + 7 * w, 0.0f);
    float* prev1[3] = {state, state + w, state + 2 * w};
    float* prev2[3] = {state + 3 * w, state + 4 * w, state + 5 * w};
    // Rows outside the picture read zeros; rows above it are written to a
    // row nobody reads.
    const float* zeros = state + 6 * w;
    float* discard = state + 7 * w;
    for (int y = -n + 1; y < height; ++y) {
        const int ahead = y + n - 1, behind = y - n - 1;
        recursionRow(ahead < height ? in + std::size_t(ahead) * w : zeros,
                     behind >= 0 ? in + std::size_t(behind) * w : zeros, prev1[0], prev2[0],
                     prev1[1], prev2[1], prev1[2], prev2[2],
                     y >= 0 ? out + std::size_t(y) * w : discard, w, r);
        for (int k = 0; k < 3; ++k)
            std::swap(prev1[k], prev2[k]);
    }
}

// The same kernel along the rows, tap by tap: the recursion's values are
// sums over the window, and along a row they vectorise only this way. Each
// row is copied between zeros first. `padded` holds width + 2 * radius.
TESSERA_VECTOR_CLONES void blurRows(const float* in, float* __restrict out,
                                    float* __restrict padded, int width, int height)
{
    const Recursion& r = recursion();
    const int n = r.radius;
    const std::size_t w = std::size_t(width);
    std::fill(padded, padded + n, 0.0f);
    std::fill(padded + n + width, padded + 2 * n + width, 0.0f);
    for (int y = 0; y < height; ++y) {
        std::copy(in + std::size_t(y) * w, in + std::size_t(y + 1) * w, padded + n);
        float* __restrict o = out + std::size_t(y) * w;
        const float* __restrict c = padded + n;
        // The taps at +-radius are zero: the cosines vanish there.
        const float t0 = r.taps[0], t1 = r.taps[1], t2 = r.taps[2], t3 = r.taps[3];
        const float t4 = r.taps[4];
        for (std::size_t x = 0; x < w; ++x)
            o[x] = t0 * c[x] + t1 * (c[x - 1] + c[x + 1]) + t2 * (c[x - 2] + c[x + 2]) +
                   t3 * (c[x - 3] + c[x + 3]) + t4 * (c[x - 4] + c[x + 4]);
    }
}

// The blur with the recursion's state rows; `scratch` holds the plane
// between the passes.
void blurWith(const float* in, float* out, float* scratch, float* state, int width, int height)
{
    blurColumns(in, scratch, state, width, height);
    blurRows(scratch, out, state, width, height);
}

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

// Linear red, green and blue planes of a 32-bit picture.
void linearPlanes(const unsigned char* in, std::size_t pixels, float* r, float* g, float* b)
{
    static const Linear linear;
    for (std::size_t i = 0; i < pixels; ++i, in += 4) {
        b[i] = linear.table[in[0]];
        g[i] = linear.table[in[1]];
        r[i] = linear.table[in[2]];
    }
}

// The cube root of a positive value to single precision, without a library
// call so that the loop around it vectorises: a first guess from the
// exponent bits, then Newton's steps.
inline float cubeRoot(float v)
{
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    bits = bits / 3 + 0x2a508c2du;
    float y;
    std::memcpy(&y, &bits, sizeof y);
    y = (2.0f / 3.0f) * y + (1.0f / 3.0f) * v / (y * y);
    y = (2.0f / 3.0f) * y + (1.0f / 3.0f) * v / (y * y);
    y = (2.0f / 3.0f) * y + (1.0f / 3.0f) * v / (y * y);
    return y;
}

// Linear RGB planes to the positive XYB planes.
TESSERA_VECTOR_CLONES void toXyb(const float* __restrict r, const float* __restrict g,
                                 const float* __restrict b, float* __restrict outX,
                                 float* __restrict outY, float* __restrict outB, std::size_t n)
{
    constexpr float bias = 0.0037930732552754493f;
    const float biasRoot = std::cbrt(bias);
#pragma omp simd
    for (std::size_t i = 0; i < n; ++i) {
        const float l = std::max(0.0f, 0.30f * r[i] + 0.622f * g[i] + 0.078f * b[i] + bias);
        const float m = std::max(0.0f, 0.23f * r[i] + 0.692f * g[i] + 0.078f * b[i] + bias);
        const float s = std::max(0.0f, 0.24342268924547819f * r[i] + 0.20476744424496821f * g[i] +
                                           0.55180986650955360f * b[i] + bias);
        const float lr = cubeRoot(l) - biasRoot, mr = cubeRoot(m) - biasRoot;
        const float sr = cubeRoot(s) - biasRoot;
        const float x = 0.5f * (lr - mr), y = 0.5f * (lr + mr);
        outX[i] = 14.0f * x + 0.42f;
        outY[i] = y + 0.01f;
        outB[i] = (sr - y) + 0.55f;
    }
}

// The 2 x 2 block means of a plane, sides rounded up, the last row or
// column repeated where the side is odd. `out` may be `in`: every value is
// written after the values it is made of were read.
void halve(const float* in, int width, int height, float* out)
{
    const int w = (width + 1) / 2, h = (height + 1) / 2;
    for (int y = 0; y < h; ++y) {
        const float* top = in + std::size_t(2 * y) * width;
        const float* bottom = 2 * y + 1 < height ? top + width : top;
        float* o = out + std::size_t(y) * w;
        for (int x = 0; x < w; ++x) {
            const int x0 = 2 * x, x1 = std::min(2 * x + 1, width - 1);
            o[x] = 0.25f * ((top[x0] + top[x1]) + (bottom[x0] + bottom[x1]));
        }
    }
}

// Sums over a scale of one channel's three maps and their fourth powers.
struct MapSums
{
    double ssim = 0, ssim4 = 0, artifact = 0, artifact4 = 0, detail = 0, detail4 = 0;
};

// The maps of one row from the channel's values a, b and their blurred
// moments, summed into `sums`.
TESSERA_VECTOR_CLONES void mapRow(const float* __restrict a, const float* __restrict b,
                                  const float* __restrict mu1, const float* __restrict mu2,
                                  const float* __restrict s11, const float* __restrict s22,
                                  const float* __restrict s12, int n, MapSums& sums)
{
    float ssim = 0, ssim4 = 0, artifact = 0, artifact4 = 0, detail = 0, detail4 = 0;
#pragma omp simd reduction(+ : ssim, ssim4, artifact, artifact4, detail, detail4)
    for (int i = 0; i < n; ++i) {
        const float m1 = mu1[i], m2 = mu2[i];
        const float diff = m1 - m2;
        const float num = 2.0f * (s12[i] - m1 * m2) + C2;
        const float den = (s11[i] - m1 * m1) + (s22[i] - m2 * m2) + C2;
        const float d = std::max(0.0f, 1.0f - (1.0f - diff * diff) * num / den);
        const float e = (1.0f + std::fabs(b[i] - m2)) / (1.0f + std::fabs(a[i] - m1)) - 1.0f;
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

// The products of two planes.
TESSERA_VECTOR_CLONES void multiply(const float* __restrict a, const float* __restrict b,
                                    float* __restrict out, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        out[i] = a[i] * b[i];
}

// The planes one scale needs, carved out of the workspace.
struct Planes
{
    float* linear[2][3]; // linear RGB of both pictures, kept for the next scale
    float* xyb[2][3];
    float* moment[5];
    float* product;
    float* scratch;
    float* state;
};

Planes carve(Workspace& ws, int width, int height)
{
    const std::size_t n = std::size_t(width) * std::size_t(height);
    const std::size_t rows = 8 * std::size_t(std::max(width, height));
    ws.planes.resize(19 * n + rows);
    float* p = ws.planes.data();
    Planes planes;
    for (int i = 0; i < 2; ++i)
        for (int c = 0; c < 3; ++c, p += n)
            planes.linear[i][c] = p;
    for (int i = 0; i < 2; ++i)
        for (int c = 0; c < 3; ++c, p += n)
            planes.xyb[i][c] = p;
    for (float*& m : planes.moment) {
        m = p;
        p += n;
    }
    planes.product = p;
    planes.scratch = p + n;
    planes.state = p + 2 * n;
    return planes;
}

// The map sums of one channel at one scale.
MapSums channelSums(const Planes& pl, int c, int width, int height)
{
    const std::size_t n = std::size_t(width) * std::size_t(height);
    const float* a = pl.xyb[0][c];
    const float* b = pl.xyb[1][c];
    blurWith(a, pl.moment[0], pl.scratch, pl.state, width, height);
    blurWith(b, pl.moment[1], pl.scratch, pl.state, width, height);
    multiply(a, a, pl.product, n);
    blurWith(pl.product, pl.moment[2], pl.scratch, pl.state, width, height);
    multiply(b, b, pl.product, n);
    blurWith(pl.product, pl.moment[3], pl.scratch, pl.state, width, height);
    multiply(a, b, pl.product, n);
    blurWith(pl.product, pl.moment[4], pl.scratch, pl.state, width, height);
    MapSums sums;
    for (int y = 0; y < height; ++y) {
        const std::size_t at = std::size_t(y) * std::size_t(width);
        mapRow(a + at, b + at, pl.moment[0] + at, pl.moment[1] + at, pl.moment[2] + at,
               pl.moment[3] + at, pl.moment[4] + at, width, sums);
    }
    return sums;
}

// The weighted sum of a scale's sub-scores for channel c.
double weighted(const MapSums& s, double pixels, int c, int scale)
{
    const double* w = WEIGHTS + (std::size_t(c) * SCALES + std::size_t(scale)) * 6;
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

} // namespace

void blur(const float* in, float* out, float* scratch, int width, int height)
{
    std::vector<float> state(8 * std::size_t(std::max(width, height)));
    blurWith(in, out, scratch, state.data(), width, height);
}

double score(Workspace& ws, const unsigned char* original, const unsigned char* distorted,
             int width, int height)
{
    if (width < MIN_SIDE || height < MIN_SIDE)
        return std::numeric_limits<double>::quiet_NaN();
    Planes pl = carve(ws, width, height);
    const unsigned char* pictures[2] = {original, distorted};
    const std::size_t pixels = std::size_t(width) * std::size_t(height);
    for (int i = 0; i < 2; ++i)
        linearPlanes(pictures[i], pixels, pl.linear[i][0], pl.linear[i][1], pl.linear[i][2]);

    double total = 0;
    int w = width, h = height;
    for (int scale = 0; scale < SCALES; ++scale) {
        if (scale > 0) {
            if (w < MIN_SIDE || h < MIN_SIDE)
                break;
            for (int i = 0; i < 2; ++i)
                for (int c = 0; c < 3; ++c)
                    halve(pl.linear[i][c], w, h, pl.linear[i][c]);
            w = (w + 1) / 2;
            h = (h + 1) / 2;
        }
        const std::size_t n = std::size_t(w) * std::size_t(h);
        for (int i = 0; i < 2; ++i)
            toXyb(pl.linear[i][0], pl.linear[i][1], pl.linear[i][2], pl.xyb[i][0], pl.xyb[i][1],
                  pl.xyb[i][2], n);
        for (int c = 0; c < 3; ++c)
            total += weighted(channelSums(pl, c, w, h), double(n), c, scale);
    }
    return mapped(total);
}

} // namespace Ssimulacra2
