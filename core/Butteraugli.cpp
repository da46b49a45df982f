// SPDX-License-Identifier: GPL-3.0-or-later
#include "Butteraugli.h"

#include <jxl/butteraugli.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>

namespace Butteraugli {

namespace {

struct ApiDeleter
{
    void operator()(JxlButteraugliApi* api) const { JxlButteraugliApiDestroy(api); }
};
struct ResultDeleter
{
    void operator()(JxlButteraugliResult* result) const { JxlButteraugliResultDestroy(result); }
};

// Packed red, green, blue bytes of a 32-bit picture.
std::vector<std::uint8_t> packed(const unsigned char* in, std::size_t pixels)
{
    std::vector<std::uint8_t> out(pixels * 3);
    for (std::size_t i = 0; i < pixels; ++i, in += 4) {
        out[3 * i] = in[2];
        out[3 * i + 1] = in[1];
        out[3 * i + 2] = in[0];
    }
    return out;
}

} // namespace

bool measure(const unsigned char* original, const unsigned char* distorted, int width, int height,
             bool wantMap, Distances& out)
{
    if (width < MIN_SIDE || height < MIN_SIDE || !original || !distorted)
        return false;
    try {
        const std::size_t pixels = std::size_t(width) * std::size_t(height);
        const std::vector<std::uint8_t> a = packed(original, pixels);
        const std::vector<std::uint8_t> b = packed(distorted, pixels);
        std::unique_ptr<JxlButteraugliApi, ApiDeleter> api(JxlButteraugliApiCreate(nullptr));
        if (!api)
            return false;
        JxlButteraugliApiSetIntensityTarget(api.get(), INTENSITY_TARGET);
        const JxlPixelFormat format = {3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
        std::unique_ptr<JxlButteraugliResult, ResultDeleter> result(
            JxlButteraugliCompute(api.get(), std::uint32_t(width), std::uint32_t(height), &format,
                                  a.data(), a.size(), &format, b.data(), b.size()));
        if (!result)
            return false;
        Distances d;
        d.max = JxlButteraugliResultGetMaxDistance(result.get());
        d.norm3 = JxlButteraugliResultGetDistance(result.get(), 3.0f);
        if (wantMap) {
            const float* map = nullptr;
            std::uint32_t stride = 0;
            JxlButteraugliResultGetDistmap(result.get(), &map, &stride);
            if (!map || stride < std::uint32_t(width))
                return false;
            d.map.resize(pixels);
            for (int y = 0; y < height; ++y)
                std::copy(map + std::size_t(y) * stride, map + std::size_t(y) * stride + width,
                          d.map.begin() + std::ptrdiff_t(std::size_t(y) * std::size_t(width)));
        }
        out = std::move(d);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

unsigned heatColour(double distance)
{
    // Four equal steps: black -> blue -> green -> yellow -> red.
    static const double stops[5][3] = {{0, 0, 0}, {0, 0, 1}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}};
    const double t = std::isnan(distance) ? 0.0 : std::clamp(distance / HEAT_TOP, 0.0, 1.0) * 4.0;
    const int i = std::min(3, int(t));
    const double f = t - i;
    auto byte = [&](int c) {
        return unsigned(std::lround((stops[i][c] + (stops[i + 1][c] - stops[i][c]) * f) * 255.0));
    };
    return 0xff000000u | byte(0) << 16 | byte(1) << 8 | byte(2);
}

} // namespace Butteraugli
