// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Ssimulacra2.h"

#include <cstddef>
#include <vector>

// Structural similarity of two pictures of the same size, measured on luma.
//
// Y = 0.299 R + 0.587 G + 0.114 B in floating point, no rounding. SSIM uses
// the Gaussian window of sigma 1.5 on 11 x 11 taps (normalised to sum 1),
// C1 = (0.01 * 255)^2, C2 = (0.03 * 255)^2 and window-weighted moments; its
// value is the mean of the local SSIM over the positions where the whole
// window lies inside the picture. MS-SSIM takes five scales, each the 2 x 2
// block means of the one before (an odd last row or column dropped), the
// mean contrast-structure term at every scale and the mean luminance term at
// the last, weighted 0.0448, 0.2856, 0.3001, 0.2363, 0.1333; negative means
// count as 0.
//
// The filtering runs in single precision over the whole picture: one pass
// over the rows makes the five moment rows (x, y, x^2, y^2, xy), filters
// them horizontally into a ring of eleven rows and vertically from there, so
// the working set stays small whatever the picture's size. Scale 1 is read
// straight from the pictures and each pass makes the next scale on the way:
// the buffers kept come to a third of a float per pixel for each picture.
namespace QualityMetrics {

// The smallest side that has an SSIM, and the smallest shorter side that has
// an MS-SSIM (eleven pixels at the fifth scale).
constexpr int WINDOW = 11;
constexpr int MS_SSIM_MIN_SIDE = 176;

// Buffers reused from one measurement to the next. One per thread: a
// workspace is not shared, and nothing here is global. Its contents are the
// measurement's business only.
class Workspace
{
public:
    Workspace() = default;
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    std::vector<float> lumaA, lumaB;                 // two rows of scale 1, centred on 0
    std::vector<float> scaleA, scaleB, nextA, nextB; // scales 2 to 5
    std::vector<float> ring;                         // 5 moments x 11 rows x width
    std::vector<float> moments;                      // 5 moment rows x width
    Ssimulacra2::Workspace perceptual;               // SSIMULACRA 2's planes
};

struct Similarity
{
    // NaN when the picture is too small for the figure or it was not asked.
    double ssim;
    double msSsim;
};

// Both figures of two 32-bit pictures (blue, green, red, X; rows packed, top
// row first) of width x height pixels. `wantSsim` and `wantMsSsim` choose
// what is computed; MS-SSIM's first scale shares SSIM's pass. Throws
// std::bad_alloc when the buffers cannot be had.
Similarity measure(Workspace& workspace, const unsigned char* a, const unsigned char* b, int width,
                   int height, bool wantSsim, bool wantMsSsim);

// The local SSIM at every position of the valid area, (width - 10) x
// (height - 10) values, row by row; position (x, y) is the window centred
// on pixel (x + 5, y + 5). Empty for a picture too small for SSIM.
std::vector<float> ssimMap(Workspace& workspace, const unsigned char* a, const unsigned char* b,
                           int width, int height);

// The peak signal-to-noise ratio in decibels of a mean square error on a
// 0..255 scale: +inf for 0, NaN for NaN.
double psnr(double mse);

// Per-channel mean square errors of luma and the two colour differences
// (Cb = 128 - 0.168736 R - 0.331264 G + 0.5 B, Cr = 128 + 0.5 R - 0.418688 G
// - 0.081312 B), from the sums over all pixels of the products of the
// channel differences dR, dG, dB.
struct DifferenceSums
{
    double rr = 0, gg = 0, bb = 0, rg = 0, rb = 0, gb = 0;
};
void channelMSE(const DifferenceSums& sums, std::size_t pixels, double& y, double& cb, double& cr);

// Colours of the SSIM heat map: 1 is black, values fall through red and
// orange to yellow and white at HEAT_FLOOR and below. Returns 0xffRRGGBB.
constexpr double HEAT_FLOOR = 0.5;
unsigned heatColour(double ssim);
// The grey drawn where the window does not fit.
constexpr unsigned HEAT_NEUTRAL = 0xff808080u;

} // namespace QualityMetrics
