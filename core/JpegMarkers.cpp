// SPDX-License-Identifier: GPL-3.0-or-later
#include "JpegMarkers.h"

#include <algorithm>

JpegMarkerWalk::JpegMarkerWalk(const unsigned char* data, std::int64_t size) : d(data), n(size) {}

bool JpegMarkerWalk::startsWithImage() const
{
    return n >= 4 && d[0] == 0xFF && d[1] == 0xD8;
}

bool JpegMarkerWalk::isFrameMarker(int marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

JpegMarkerWalk::Step JpegMarkerWalk::fail(const QString& why)
{
    failure = why;
    return FAILED;
}

JpegMarkerWalk::Step JpegMarkerWalk::next(Segment& segment)
{
    segment = Segment();
    segment.offset = std::min(pos, n);
    if (!failure.isEmpty())
        return FAILED;
    if (pos >= n)
        return END_OF_DATA;
    if (d[pos] != 0xFF)
        return fail(QStringLiteral("A marker was expected at byte %1.").arg(pos));
    std::int64_t p = pos;
    while (p + 1 < n && d[p + 1] == 0xFF)
        ++p;
    segment.offset = p;
    segment.fillBytes = p - pos;
    if (p + 1 >= n)
        return END_OF_DATA;
    segment.marker = d[p + 1];
    const int marker = segment.marker;
    if (marker == 0xD9) {
        pos = p + 2;
        return END_OF_IMAGE;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
        pos = p + 2;
        return SEGMENT;
    }
    if (marker == 0xD8)
        return fail(QStringLiteral("A second start-of-image marker at byte %1.").arg(p));
    if (marker == 0x00)
        return fail(QStringLiteral("Marker 0x00 is out of place at byte %1.").arg(p));
    if (p + 4 > n)
        return fail(QStringLiteral("The file ends inside a marker at byte %1.").arg(p));
    const int length = (d[p + 2] << 8) | d[p + 3];
    if (length < 2 || p + 2 + length > n)
        return fail(QStringLiteral("The segment of marker 0x%1 at byte %2 runs past the end "
                                   "of the file.")
                        .arg(marker, 2, 16, QChar('0'))
                        .arg(p));
    segment.data = d + p + 4;
    segment.size = length - 2;
    pos = p + 2 + length;
    return SEGMENT;
}

void JpegMarkerWalk::skipEntropyData()
{
    while (pos + 1 < n &&
           !(d[pos] == 0xFF && d[pos + 1] != 0 && (d[pos + 1] < 0xD0 || d[pos + 1] > 0xD7)))
        ++pos;
    if (pos + 1 >= n)
        pos = n;
}
