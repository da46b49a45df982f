// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

// Butteraugli, the perceptual distance of the JPEG XL library, through its C
// interface: 0 for identical pictures, about 1 at the threshold of visible
// difference, growing with the distortion. The maximum is the worst place
// of the picture; the 3-norm is the cube root of the mean cubed distance, a
// figure of the whole picture.
//
// Both pictures are given to the library as 8-bit sRGB with three channels
// (a grey picture as R = G = B) at a display intensity target of
// INTENSITY_TARGET nits; every other setting is the library's default. It
// runs in one thread and takes much longer than a compression.
namespace Butteraugli {

// The display brightness the distances assume, in nits (cd/m^2): an office
// monitor's white. The library's own default of 255 gives larger distances.
constexpr float INTENSITY_TARGET = 80.0f;
// Below eight pixels a side the library answers 0 whatever the pictures, so
// such pictures have no distance here.
constexpr int MIN_SIDE = 8;

struct Distances
{
    double max = 0;
    double norm3 = 0;
    // The distance at every pixel, width x height row by row; filled only
    // when asked for.
    std::vector<float> map;
};

// The distances of `distorted` against `original`, two 32-bit pictures
// (blue, green, red, X; rows packed, top row first) of width x height
// pixels, with the map when `wantMap`. False when the library cannot
// measure them (a side below MIN_SIDE, a failure of the library, memory
// running out); `out` is then untouched.
bool measure(const unsigned char* original, const unsigned char* distorted, int width, int height,
             bool wantMap, Distances& out);

// Colours of the distance map: 0 black, rising through blue, green and
// yellow to red at HEAT_TOP and above. Returns 0xffRRGGBB.
constexpr double HEAT_TOP = 3.0;
unsigned heatColour(double distance);

} // namespace Butteraugli
