// SPDX-License-Identifier: GPL-3.0-or-later
#include "BmpRle.h"

#include "HeaderParsers.h"

#include <algorithm>
#include <cstdint>

namespace BmpRle {

namespace {

// The plain rows being written, bottom row first, and the position in them.
class Canvas
{
public:
    Canvas(unsigned char* rows, std::uint64_t width, std::uint64_t height, unsigned bits)
        : rows(rows), width(width), height(height), bits(bits), stride((width * bits + 31) / 32 * 4)
    {
    }

    // Whether `count` pixels fit in the current row.
    bool fits(std::uint64_t count) const { return y < height && x + count <= width; }
    void put(unsigned value)
    {
        unsigned char* row = rows + y * stride;
        if (bits == 8)
            row[x] = (unsigned char)value;
        else
            row[x / 2] |= (unsigned char)((x & 1) ? value & 15 : (value & 15) << 4);
        ++x;
    }
    void endRow()
    {
        x = 0;
        ++y;
    }
    bool move(unsigned right, unsigned up)
    {
        x += right;
        y += up;
        return x <= width && (y < height || (y == height && x == 0));
    }
    bool complete() const { return y >= height; }

private:
    unsigned char* rows;
    std::uint64_t width, height;
    unsigned bits;
    std::uint64_t stride;
    std::uint64_t x = 0, y = 0;
};

// The pixel at `index` of literal pixels whose bytes are `bytes`.
unsigned pixelOf(const unsigned char* bytes, std::size_t index, unsigned bits)
{
    if (bits == 8)
        return bytes[index];
    const unsigned pair = bytes[index / 2];
    return (index & 1) ? pair & 15 : pair >> 4;
}

// Decodes the runs from `p` to `end` onto the canvas.
Outcome decode(const unsigned char* p, const unsigned char* end, unsigned bits, Canvas& canvas)
{
    while (end - p >= 2) {
        const unsigned count = p[0], code = p[1];
        p += 2;
        if (count > 0) {
            if (!canvas.fits(count))
                return Outcome::Damaged;
            for (unsigned i = 0; i < count; ++i)
                canvas.put(bits == 8 ? code : (i & 1) ? code & 15 : code >> 4);
        } else if (code == 0) {
            canvas.endRow();
        } else if (code == 1) {
            return Outcome::Expanded;
        } else if (code == 2) {
            if (end - p < 2 || !canvas.move(p[0], p[1]))
                return Outcome::Damaged;
            p += 2;
        } else {
            const std::size_t bytes = bits == 8 ? code : (code + 1) / 2;
            if (std::size_t(end - p) < bytes || !canvas.fits(code))
                return Outcome::Damaged;
            for (unsigned i = 0; i < code; ++i)
                canvas.put(pixelOf(p, i, bits));
            p += std::min(bytes + (bytes & 1), std::size_t(end - p));
        }
    }
    // A file that stops without its end marker is whole only if every row
    // has been given.
    return canvas.complete() ? Outcome::Expanded : Outcome::Damaged;
}

} // namespace

Outcome expand(const unsigned char* data, std::size_t size, std::vector<unsigned char>& out)
{
    using HeaderParsers::little16;
    using HeaderParsers::little32;
    constexpr std::size_t HEADERS = 14 + 40;
    if (size < HEADERS || data[0] != 'B' || data[1] != 'M' || little32(data + 14) != 40)
        return Outcome::NotRunLength;
    const std::uint32_t compression = little32(data + 30);
    const unsigned bits = little16(data + 28);
    if (!((compression == 1 && bits == 8) || (compression == 2 && bits == 4)))
        return Outcome::NotRunLength;
    // Run-length rows always run bottom row first: a negative height, which
    // would mean the other order, has no meaning for them.
    const std::int32_t width = std::int32_t(little32(data + 18));
    const std::int32_t height = std::int32_t(little32(data + 22));
    const std::uint32_t offset = little32(data + 10);
    if (width <= 0 || height <= 0 || offset < HEADERS || offset > size)
        return Outcome::Damaged;
    const std::uint64_t stride = (std::uint64_t(width) * bits + 31) / 32 * 4;
    const std::uint64_t pixels = stride * std::uint64_t(height);
    // The plain file's sizes must fit the headers' 32 bits.
    if (pixels > UINT32_MAX - std::uint64_t(offset))
        return Outcome::Damaged;
    out.assign(data, data + offset);
    out.resize(std::size_t(offset + pixels), 0);
    Canvas canvas(out.data() + offset, std::uint64_t(width), std::uint64_t(height), bits);
    const Outcome outcome = decode(data + offset, data + size, bits, canvas);
    if (outcome != Outcome::Expanded) {
        out.clear();
        return outcome;
    }
    HeaderParsers::putLittle32(out.data() + 2, std::uint32_t(out.size()));
    HeaderParsers::putLittle32(out.data() + 30, 0); // BI_RGB
    HeaderParsers::putLittle32(out.data() + 34, std::uint32_t(pixels));
    return outcome;
}

} // namespace BmpRle
