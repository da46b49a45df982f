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
TESSERA_VECTOR_CLONES void recursionRow(const float* __restrict u, float* __restrict a1,
                                        float* __restrict a2, float* __restrict b1,
                                        float* __restrict b2, float* __restrict d1,
                                        float* __restrict d2, float* __restrict out, std::size_t w,
                                        const Recursion& r)
{
    const float c0 = r.twoCos[0], c1 = r.twoCos[1], c2 = r.twoCos[2];
    const float g0 = r.gain[0], g1 = r.gain[1], g2 = r.gain[2];
    for (std::size_t x = 0; x < w; ++x) {
        const float ya = c0 * a1[x] - a2[x] + g0 * u[x];
        const float yb = c1 * b1[x] - b2[x] + g1 * u[x];
        const float yd = c2 * d1[x] - d2[x] + g2 * u[x];
        a2[x] = ya;
        b2[x] = yb;
        d2[x] = yd;
        out[x] = ya + yb + yd;
    }
}

// The same kernel along a row, tap by tap: the recursion's values are sums
// over the window, and along a row they vectorise only this way. `c` has
// RADIUS zeros before and after its `w` values.
TESSERA_VECTOR_CLONES void rowFilter(const float* __restrict c, float* __restrict o, std::size_t w,
                                     const Recursion& r)
{
    // The taps at +-radius are zero: the cosines vanish there.
    const float t0 = r.taps[0], t1 = r.taps[1], t2 = r.taps[2], t3 = r.taps[3];
    const float t4 = r.taps[4];
    for (std::size_t x = 0; x < w; ++x)
        o[x] = t0 * c[x] + t1 * (c[x - 1] + c[x + 1]) + t2 * (c[x - 2] + c[x + 2]) +
               t3 * (c[x - 3] + c[x + 3]) + t4 * (c[x - 4] + c[x + 4]);
}

// The column recursion of one plane: two rows of state per cosine term.
struct ColumnState
{
    float* prev1[3];
    float* prev2[3];

    // Takes six zeroed rows of `w` from `rows`.
    float* carve(float* rows, std::size_t w)
    {
        for (int k = 0; k < 3; ++k) {
            prev1[k] = rows + std::size_t(k) * w;
            prev2[k] = rows + std::size_t(k + 3) * w;
        }
        std::fill(rows, rows + 6 * w, 0.0f);
        return rows + 6 * w;
    }

    // Feeds the sum `u` of the values entering and leaving the window and
    // writes the column-filtered row to `out`.
    void step(const float* u, float* out, std::size_t w, const Recursion& r)
    {
        recursionRow(u, prev1[0], prev2[0], prev1[1], prev2[1], prev1[2], prev2[2], out, w, r);
        for (int k = 0; k < 3; ++k)
            std::swap(prev1[k], prev2[k]);
    }
};

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

// The rows of the picture that enter (`ahead`) and leave (`behind`) the
// window whose column result is row y; null outside the picture.
struct Window
{
    int ahead, behind;
    Window(int y, int height) : ahead(y + RADIUS - 1), behind(y - RADIUS - 1)
    {
        if (ahead >= height)
            ahead = -1;
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

// The cube root of a positive value to single precision, without a library
// call or a division so that the loop around it vectorises cheaply: a first
// guess of the inverse cube root from the exponent bits (within 3.5 %), three
// Newton steps r <- r (4 - v r^3) / 3 (within 5e-7), then v r^2.
inline float cubeRoot(float v)
{
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    bits = 0x54a21d2au - bits / 3;
    float r;
    std::memcpy(&r, &bits, sizeof r);
    const float third = v * (1.0f / 3.0f);
    for (int step = 0; step < 3; ++step) {
        const float r2 = r * r;
        r = (4.0f / 3.0f) * r - third * (r2 * r2);
    }
    return v * r * r;
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

// The sums u of the values entering and leaving the window, for the five
// moments of a channel: a, b, a a, b b, a b. A null row is outside the
// picture and holds zeros.
TESSERA_VECTOR_CLONES void momentInputs(const float* __restrict aIn, const float* __restrict bIn,
                                        const float* __restrict aOut, const float* __restrict bOut,
                                        float* __restrict u0, float* __restrict u1,
                                        float* __restrict u2, float* __restrict u3,
                                        float* __restrict u4, std::size_t w)
{
    for (std::size_t x = 0; x < w; ++x) {
        const float a = aIn[x], b = bIn[x], c = aOut[x], d = bOut[x];
        u0[x] = a + c;
        u1[x] = b + d;
        u2[x] = a * a + c * c;
        u3[x] = b * b + d * d;
        u4[x] = a * b + c * d;
    }
}

constexpr int MOMENTS = 5;

// The buffers of one channel's pass, carved out of one allocation: per
// moment the recursion's state, the window sums and the row between the
// two filters; then the five blurred rows, and a row of zeros.
struct ChannelRows
{
    ColumnState state[MOMENTS];
    float* inputs[MOMENTS];
    PaddedRow between[MOMENTS];
    float* blurred[MOMENTS];
    const float* zeros;

    static std::size_t floats(std::size_t w)
    {
        return MOMENTS * (6 * w + w + (w + 2 * RADIUS) + w) + w;
    }

    ChannelRows(float* p, std::size_t w)
    {
        for (int m = 0; m < MOMENTS; ++m) {
            p = state[m].carve(p, w);
            inputs[m] = p;
            p += w;
            p = between[m].carve(p, w);
            blurred[m] = p;
            p += w;
        }
        std::fill(p, p + w, 0.0f);
        zeros = p;
    }
};

// The edge maps alone of one row, for a scale whose structural error has
// no weight.
TESSERA_VECTOR_CLONES void edgeRow(const float* __restrict a, const float* __restrict b,
                                   const float* __restrict mu1, const float* __restrict mu2, int n,
                                   MapSums& sums)
{
    float artifact = 0, artifact4 = 0, detail = 0, detail4 = 0;
#pragma omp simd reduction(+ : artifact, artifact4, detail, detail4)
    for (int i = 0; i < n; ++i) {
        const float e =
            (1.0f + std::fabs(b[i] - mu2[i])) / (1.0f + std::fabs(a[i] - mu1[i])) - 1.0f;
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

// The window sums of the two means alone.
TESSERA_VECTOR_CLONES void meanInputs(const float* __restrict aIn, const float* __restrict bIn,
                                      const float* __restrict aOut, const float* __restrict bOut,
                                      float* __restrict u0, float* __restrict u1, std::size_t w)
{
    for (std::size_t x = 0; x < w; ++x) {
        u0[x] = aIn[x] + aOut[x];
        u1[x] = bIn[x] + bOut[x];
    }
}

// The weights of channel c's six sub-scores at a scale.
const double* weightsOf(int c, int scale)
{
    return WEIGHTS + (std::size_t(c) * SCALES + std::size_t(scale)) * 6;
}

// One channel's filters and map sums over a scale. Its moments are blurred
// row by row as the sweep goes down the picture, and each row's maps are
// summed as soon as its blurred values are out, so that no blurred plane is
// ever held. Without `structure` only the two means are blurred and only the
// edge maps made.
class ChannelPass
{
public:
    ChannelPass(float* rows, std::size_t w, bool structure)
        : rows(rows, w), w(w), moments(structure ? MOMENTS : 2)
    {
    }

    // Feeds the rows of both pictures entering (`aIn`, `bIn`) and leaving
    // the window of output row y; for y >= 0 then sums that row's maps, `a`
    // and `b` being the pictures' row y.
    void step(int y, const float* aIn, const float* bIn, const float* aOut, const float* bOut,
              const float* a, const float* b)
    {
        const Recursion& r = recursion();
        float* const* u = rows.inputs;
        if (moments == MOMENTS)
            momentInputs(aIn, bIn, aOut, bOut, u[0], u[1], u[2], u[3], u[4], w);
        else
            meanInputs(aIn, bIn, aOut, bOut, u[0], u[1], w);
        for (int m = 0; m < moments; ++m)
            rows.state[m].step(u[m], rows.between[m].values, w, r);
        if (y < 0)
            return;
        for (int m = 0; m < moments; ++m)
            rowFilter(rows.between[m].values, rows.blurred[m], w, r);
        float* const* blurred = rows.blurred;
        if (moments == MOMENTS)
            mapRow(a, b, blurred[0], blurred[1], blurred[2], blurred[3], blurred[4], int(w), sums);
        else
            edgeRow(a, b, blurred[0], blurred[1], int(w), sums);
    }

    MapSums sums;

private:
    ChannelRows rows;
    std::size_t w;
    int moments;
};

// The XYB rows a sweep holds per channel: the blur's window and the row
// entering it.
constexpr int RING = 2 * RADIUS + 2;

// Where a scale's linear RGB comes from: the 32-bit pictures at the first
// scale, planes made by the scale before at the others.
struct Input
{
    const unsigned char* bytes[2] = {nullptr, nullptr};
    const float* planes[2][3] = {};
};

// One sweep down a scale of both pictures: each row of linear RGB read once,
// halved into the next scale's planes (`next`, null at the last scale) and
// turned into XYB in a ring of rows, from which the three channels' passes
// take the rows they need. Only the input and the next scale are planes;
// everything else stays in the cache.
class ScaleSweep
{
public:
    static std::size_t floats(std::size_t w)
    {
        return 2 * (3 * 2 * w + 3 * RING * w) + w + 3 * ChannelRows::floats(w);
    }

    ScaleSweep(float* buffer, const Input& input, int width, int height)
        : input(input), w(std::size_t(width)), height(height)
    {
        float* p = buffer;
        for (int i = 0; i < 2; ++i) {
            for (int c = 0; c < 3; ++c, p += 2 * w)
                linear[i][c] = p;
            for (int c = 0; c < 3; ++c, p += RING * w)
                xyb[i][c] = p;
        }
        std::fill(p, p + w, 0.0f);
        zeros = p;
        channels = p + w;
    }

    // The weighted sums of the sub-scores over output rows [top, bottom),
    // `top` even, and the next scale's planes of those rows made on the way
    // when `next` is not null. The blur's window makes a band start 2 RADIUS
    // rows early, with the rows above left out: every row it takes in is
    // also taken out, so each output row is filtered exactly as in one sweep
    // over the whole picture.
    void run(int scale, float* const (*next)[3], int top, int bottom)
    {
        used = 0;
        for (int c = 0; c < 3; ++c) {
            // Maps whose sub-scores all weigh nothing are not made: at the
            // first scale X and B weigh only edges, at the last Y nothing.
            const double* weights = weightsOf(c, scale);
            const bool structure = weights[0] != 0 || weights[3] != 0;
            const bool edges =
                weights[1] != 0 || weights[2] != 0 || weights[4] != 0 || weights[5] != 0;
            channel[c] = -1;
            if (!structure && !edges)
                continue;
            passes[used].emplace(channels + std::size_t(used) * ChannelRows::floats(w), w,
                                 structure);
            channel[c] = used++;
        }
        first = top == 0 ? 0 : top - RADIUS;
        halves = {top, bottom};
        for (int y = first - RADIUS + 1; y < bottom; ++y) {
            const int ahead = y + RADIUS - 1, behind = y - RADIUS - 1;
            if (ahead < height)
                feed(ahead, next);
            for (int c = 0; c < 3; ++c)
                if (channel[c] >= 0)
                    passes[channel[c]]->step(y >= top ? y : -1, row(0, c, ahead), row(1, c, ahead),
                                             row(0, c, behind), row(1, c, behind), row(0, c, y),
                                             row(1, c, y));
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
        for (int i = 0; i < 2; ++i) {
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
            const std::size_t slot = std::size_t(y % RING) * w;
            toXyb(rgb[0], rgb[1], rgb[2], xyb[i][0] + slot, xyb[i][1] + slot, xyb[i][2] + slot, w);
        }
    }

    // Channel c of picture i's XYB row y, zeros outside the picture and
    // above the rows the sweep took in.
    const float* row(int i, int c, int y) const
    {
        return y < first || y >= height ? zeros : xyb[i][c] + std::size_t(y % RING) * w;
    }

    Input input;
    std::size_t w;
    int height;
    float* linear[2][3]; // two rows each, from the pictures' bytes
    float* xyb[2][3];    // RING rows each
    const float* previous[2][3] = {};
    const float* zeros;
    float* channels;
    std::optional<ChannelPass> passes[3];
    int channel[3] = {-1, -1, -1}; // the pass of each channel, -1 for none
    int used = 0;
    int first = 0;              // the first row taken in
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
                  float* const (*next)[3])
{
    ScaleSweep upper(rows[0], input, w, h);
    if (h < BAND_ROWS) {
        upper.run(scale, next, 0, h);
        return upper.total(scale, nullptr);
    }
    const int split = (h / 2) & ~1;
    ScaleSweep lower(rows[1], input, w, h);
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

} // namespace

void blur(const float* in, float* out, int width, int height)
{
    const Recursion& r = recursion();
    const std::size_t w = std::size_t(width);
    std::vector<float> rows(6 * w + 2 * w + (w + 2 * RADIUS));
    ColumnState state;
    float* u = state.carve(rows.data(), w);
    float* zeros = u + w;
    std::fill(zeros, zeros + w, 0.0f);
    PaddedRow between;
    between.carve(zeros + w, w);
    for (int y = -RADIUS + 1; y < height; ++y) {
        const Window win(y, height);
        const float* in1 = win.ahead < 0 ? zeros : in + std::size_t(win.ahead) * w;
        const float* in2 = win.behind < 0 ? zeros : in + std::size_t(win.behind) * w;
        for (std::size_t x = 0; x < w; ++x)
            u[x] = in1[x] + in2[x];
        state.step(u, between.values, w, r);
        if (y >= 0)
            rowFilter(between.values, out + std::size_t(y) * w, w, r);
    }
}

double score(Workspace& ws, const unsigned char* original, const unsigned char* distorted,
             int width, int height)
{
    if (width < MIN_SIDE || height < MIN_SIDE)
        return std::numeric_limits<double>::quiet_NaN();
    // The planes of the odd scales, of the even ones after the first, and
    // the sweep's rows.
    auto halved = [](int side, int times) {
        for (int k = 0; k < times; ++k)
            side = (side + 1) / 2;
        return std::size_t(side);
    };
    const std::size_t odd = halved(width, 1) * halved(height, 1);
    const std::size_t even = halved(width, 2) * halved(height, 2);
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
    input.bytes[0] = original;
    input.bytes[1] = distorted;
    double total = 0;
    int w = width, h = height;
    for (int scale = 0; scale < SCALES; ++scale) {
        // A scale is made from one whose sides are both at least MIN_SIDE.
        const bool more = scale + 1 < SCALES && w >= MIN_SIDE && h >= MIN_SIDE;
        float* const(*next)[3] = more ? sets[scale % 2] : nullptr;
        total += sweepScale(rows, input, w, h, scale, next);
        if (!more)
            break;
        input = Input();
        for (int i = 0; i < 2; ++i)
            for (int c = 0; c < 3; ++c)
                input.planes[i][c] = next[i][c];
        w = (w + 1) / 2;
        h = (h + 1) / 2;
    }
    return mapped(total);
}

} // namespace Ssimulacra2
