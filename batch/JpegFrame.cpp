// SPDX-License-Identifier: GPL-3.0-or-later
#include "JpegFrame.h"

#include <QStringList>

namespace JpegFrame {

QString sampling(const QByteArray& jpeg)
{
    const auto byte = [&jpeg](int i) { return (unsigned char)jpeg[i]; };
    if (jpeg.size() < 4 || byte(0) != 0xFF || byte(1) != 0xD8)
        return QString();
    int at = 2;
    // Marker segments up to the first frame header: FF, code, two length
    // bytes counting themselves, the segment.
    while (at + 4 <= jpeg.size()) {
        if (byte(at) != 0xFF)
            return QString();
        const int code = byte(at + 1);
        if (code == 0xFF) { // fill byte
            ++at;
            continue;
        }
        const int length = (byte(at + 2) << 8) | byte(at + 3);
        if (length < 2 || at + 2 + length > jpeg.size())
            return QString();
        const bool frame =
            code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
        if (frame) {
            // Precision, height (2), width (2), component count, then three
            // bytes a component: identifier, factors (H high nibble, V low),
            // table.
            const int start = at + 4;
            if (length < 8)
                return QString();
            const int components = byte(start + 5);
            if (length < 8 + 3 * components)
                return QString();
            QStringList factors;
            for (int c = 0; c < components; ++c) {
                const int packed = byte(start + 6 + 3 * c + 1);
                factors << QStringLiteral("%1x%2").arg(packed >> 4).arg(packed & 15);
            }
            return factors.join(QLatin1Char(','));
        }
        if (code == 0xDA) // a scan before any frame
            return QString();
        at += 2 + length;
    }
    return QString();
}

} // namespace JpegFrame
