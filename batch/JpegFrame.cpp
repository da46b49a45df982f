// SPDX-License-Identifier: GPL-3.0-or-later
#include "JpegFrame.h"

#include "JpegMarkers.h"

#include <QStringList>

namespace JpegFrame {

namespace {

// The factors of a frame header's payload: precision, height (2), width
// (2), component count, then three bytes a component: identifier, factors
// (H high nibble, V low), table. Empty when the header is too short.
QString factorsOf(const unsigned char* s, int size)
{
    if (size < 6)
        return QString();
    const int components = s[5];
    if (size < 6 + 3 * components)
        return QString();
    QStringList factors;
    for (int c = 0; c < components; ++c) {
        const int packed = s[6 + 3 * c + 1];
        factors << QStringLiteral("%1x%2").arg(packed >> 4).arg(packed & 15);
    }
    return factors.join(QLatin1Char(','));
}

} // namespace

QString sampling(const QByteArray& jpeg)
{
    JpegMarkerWalk walk(reinterpret_cast<const unsigned char*>(jpeg.constData()), jpeg.size());
    if (!walk.startsWithImage())
        return QString();
    // The marker segments up to the first frame header; a scan before any
    // frame, or anything the walk refuses, ends the search.
    JpegMarkerWalk::Segment segment;
    while (walk.next(segment) == JpegMarkerWalk::SEGMENT) {
        if (segment.standalone())
            continue;
        if (JpegMarkerWalk::isFrameMarker(segment.marker))
            return factorsOf(segment.data, segment.size);
        if (segment.marker == 0xDA)
            return QString();
    }
    return QString();
}

} // namespace JpegFrame
