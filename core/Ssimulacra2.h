// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

// SSIMULACRA 2.1: a perceptual score of a distorted picture against its
// original, 100 for identical pictures, falling as the distortion grows
// (about 90 is visually lossless, 70 good, 50 medium, 30 poor; it can be
// negative for heavy distortion).
//
// Both pictures are taken as sRGB, converted to linear light and then to
// the XYB colour space (cube roots of three cone-like mixtures, shifted to
// be positive). At six scales, each the 2 x 2 block means in linear light of
// the one before (sides rounded up, the last row or column repeated; fewer
// scales when a side falls below 8), every XYB channel is blurred by a
// Gaussian of sigma 1.5, and three error maps are made: a structural
// similarity error without the luminance term, and the two sides of an edge
// comparison (edges the distortion added: ringing, blocking; and edges it
// took away: blurring). The mean and the 4-norm of each map, 108 numbers,
// are weighted and summed, and the sum is mapped onto the score.
//
// The blur is the Gaussian of truncated cosines (Charalampidis 2016: three
// cosine terms over a window of radius 5 for sigma 1.5, zero outside the
// picture), applied as its nine nonzero taps down the columns and along the
// rows; it is the kernel the recursive form of that filter computes. Each
// scale is one sweep down both pictures: every row of linear RGB is read
// once, halved into the next scale and turned into XYB in a ring of rows,
// and each channel's four moments (both means, the squared difference, the
// product; each row's products made once) are blurred two rows at a time and
// their maps summed row by row, so that only the pictures and the next
// scale's planes are held; maps whose sub-scores weigh nothing are not made.
// A scale of 64 rows or more is swept in two bands, the lower one on a
// thread of the global pool when one is free at once.
namespace Ssimulacra2 {

// The smallest side that has a score.
constexpr int MIN_SIDE = 8;

// Buffers reused from one measurement to the next; one per thread.
class Workspace
{
public:
    Workspace() = default;
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    std::vector<float> planes; // the later scales' planes and the sweeps' rows, in one allocation
};

// The score of `distorted` against `original`, two 32-bit pictures (blue,
// green, red, X; rows packed, top row first) of width x height pixels. NaN
// when a side is below MIN_SIDE. Throws std::bad_alloc when the buffers
// cannot be had.
double score(Workspace& workspace, const unsigned char* original, const unsigned char* distorted,
             int width, int height);

// The original's half of its comparisons, made once for a picture that is
// compared again and again (every setting of a sweep, every live
// recompression) and then shared: at every scale, the XYB planes and blurred
// means of the channels whose structural error counts, and for those that
// count edges only the one plane their maps read of the original,
// 1 + |value - blurred mean|. Scoring against it converts and blurs the
// distorted picture alone, in about two thirds of score()'s time, and gives
// score()'s value bit for bit. It holds 24 bytes a pixel (bytesFor).
// Nothing changes it once it is made, so any number of threads may score
// against it at once.
class Reference
{
public:
    // The planes of `original` (as score() takes it). Throws std::bad_alloc
    // when they cannot be had.
    Reference(const unsigned char* original, int width, int height);
    Reference(const Reference&) = delete;
    Reference& operator=(const Reference&) = delete;

    // The bytes a reference to a width x height picture holds.
    static std::uint64_t bytesFor(int width, int height);

    int width() const { return sides[0]; }
    int height() const { return sides[1]; }

    // One channel's planes at one scale; null where the maps do not read them.
    struct Channel
    {
        float* xyb = nullptr;
        float* mean = nullptr;
        float* edge = nullptr;
    };
    struct Scale
    {
        Channel channels[3];
    };
    // The planes of the scales a score goes through (as many as the sides
    // give; none below MIN_SIDE).
    const Scale& scale(int i) const { return scales[i]; }

private:
    std::vector<float> storage;
    Scale scales[6]; // at most six scales
    int sides[2];
};

// The score of `distorted` against the original `reference` was made of, a
// picture of the same size; the same as score() of the two pictures.
double score(Workspace& workspace, const Reference& reference, const unsigned char* distorted);

// The Gaussian blur of a plane of width x height values, as score() uses
// it, into `out` (same size). For tests.
void blur(const float* in, float* out, int width, int height);

} // namespace Ssimulacra2
