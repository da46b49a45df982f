// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

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
// The blur is the recursive Gaussian of truncated cosines (Charalampidis
// 2016: three cosine terms over a window of radius 5 for sigma 1.5, zero
// outside the picture). Down the columns it runs as the recursion, all
// columns at once so that the loop runs over whole rows and vectorises;
// along the rows the same kernel is applied tap by tap, which vectorises
// where a recursion along the row could not. One sweep down a channel's
// planes feeds the five moments (both means, both squares, the product)
// through both filters and sums the maps of each row as it comes out, so
// that only the XYB planes are held and the rest stays in the cache.
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

    std::vector<float> planes; // every plane of one scale, in one allocation
};

// The score of `distorted` against `original`, two 32-bit pictures (blue,
// green, red, X; rows packed, top row first) of width x height pixels. NaN
// when a side is below MIN_SIDE. Throws std::bad_alloc when the buffers
// cannot be had.
double score(Workspace& workspace, const unsigned char* original, const unsigned char* distorted,
             int width, int height);

// The Gaussian blur of a plane of width x height values, as score() uses
// it, into `out` (same size). For tests.
void blur(const float* in, float* out, int width, int height);

} // namespace Ssimulacra2
