// SPDX-License-Identifier: GPL-3.0-or-later
#include "PpmDecoder.h"

namespace PpmDecoder {

namespace {

bool space(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// A decimal number after at least one white-space byte; comments and signs
// are declined. Nine digits at most, so that the value cannot overflow.
bool number(const unsigned char* data, std::size_t size, std::size_t& at, std::uint32_t& value)
{
    const std::size_t start = at;
    while (at < size && space(data[at]))
        ++at;
    if (at == start)
        return false;
    value = 0;
    std::size_t digits = 0;
    while (at < size && data[at] >= '0' && data[at] <= '9') {
        if (++digits > 9)
            return false;
        value = value * 10 + std::uint32_t(data[at] - '0');
        ++at;
    }
    return digits > 0;
}

} // namespace

bool readHeader(const unsigned char* data, std::size_t size, Header& header)
{
    if (size < 2 || data[0] != 'P' || data[1] != '6')
        return false;
    std::size_t at = 2;
    std::uint32_t maximum = 0;
    if (!number(data, size, at, header.width) || !number(data, size, at, header.height) ||
        !number(data, size, at, maximum))
        return false;
    // Exactly one white-space byte ends the header.
    if (maximum != 255 || header.width == 0 || header.height == 0 || at >= size || !space(data[at]))
        return false;
    header.offset = at + 1;
    const std::uint64_t bytes = std::uint64_t(header.width) * header.height * 3;
    return bytes <= size - header.offset;
}

FIBITMAP* decode(const unsigned char* data, const Header& header)
{
    FIBITMAP* bitmap = FreeImage_Allocate(int(header.width), int(header.height), 24);
    if (!bitmap)
        return nullptr;
    const std::size_t row = std::size_t(header.width) * 3;
    const unsigned char* from = data + header.offset;
    // The file's first row is the bitmap's last; red-green-blue becomes the
    // bitmap's byte order.
    for (std::uint32_t y = 0; y < header.height; ++y, from += row) {
        unsigned char* to = FreeImage_GetScanLine(bitmap, int(header.height - 1 - y));
        for (std::size_t x = 0; x < row; x += 3) {
            to[x + FI_RGBA_RED] = from[x];
            to[x + FI_RGBA_GREEN] = from[x + 1];
            to[x + FI_RGBA_BLUE] = from[x + 2];
        }
    }
    return bitmap;
}

} // namespace PpmDecoder
