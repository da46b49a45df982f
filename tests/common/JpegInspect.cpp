// SPDX-License-Identifier: GPL-3.0-or-later
#include "JpegInspect.h"

#include <QFile>

namespace {

// Position in natural order of the k-th coefficient in zig-zag order.
const int zigzagToNatural[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

} // namespace

JpegInspect JpegInspect::parse(const QByteArray& bytes)
{
    JpegInspect info;
    const auto* d = reinterpret_cast<const unsigned char*>(bytes.constData());
    const int n = bytes.size();
    auto fail = [&info](const QString& why) {
        info.problem = why;
        return info;
    };
    if (n < 4 || d[0] != 0xFF || d[1] != 0xD8)
        return fail(QStringLiteral("no SOI"));
    int pos = 2;
    while (pos + 1 < n) {
        if (d[pos] != 0xFF)
            return fail(QStringLiteral("marker expected at %1").arg(pos));
        const int marker = d[pos + 1];
        pos += 2;
        if (marker == 0xD9) {
            info.valid = info.sofMarker >= 0 && info.scans > 0;
            if (!info.valid)
                info.problem = QStringLiteral("EOI before frame and scan");
            return info;
        }
        if (marker == 0xFF) {
            --pos; // fill byte
            continue;
        }
        if (pos + 2 > n)
            return fail(QStringLiteral("truncated segment"));
        const int length = (d[pos] << 8) | d[pos + 1];
        if (length < 2 || pos + length > n)
            return fail(QStringLiteral("bad segment length"));
        const unsigned char* s = d + pos + 2;
        const int payload = length - 2;
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) {
            info.sofMarker = marker;
            info.height = (s[1] << 8) | s[2];
            info.width = (s[3] << 8) | s[4];
            const int count = s[5];
            for (int c = 0; c < count && 6 + 3 * c + 2 < payload; ++c) {
                Component comp;
                comp.id = s[6 + 3 * c];
                comp.h = s[7 + 3 * c] >> 4;
                comp.v = s[7 + 3 * c] & 15;
                comp.table = s[8 + 3 * c];
                info.components.push_back(comp);
            }
        } else if (marker == 0xDB) {
            int p = 0;
            while (p < payload) {
                QuantTable table;
                table.precision = s[p] >> 4;
                const int id = s[p] & 15;
                ++p;
                for (int k = 0; k < 64; ++k) {
                    int value = s[p++];
                    if (table.precision)
                        value = (value << 8) | s[p++];
                    table.natural[zigzagToNatural[k]] = value;
                }
                info.tables[id] = table;
            }
        }
        pos += length;
        if (marker == 0xDA) {
            ++info.scans;
            // Skip the entropy-coded data up to the next marker that is not a
            // stuffed zero or a restart marker.
            while (pos + 1 < n) {
                if (d[pos] == 0xFF && d[pos + 1] != 0 &&
                    !(d[pos + 1] >= 0xD0 && d[pos + 1] <= 0xD7))
                    break;
                ++pos;
            }
        }
    }
    return fail(QStringLiteral("no EOI"));
}

JpegInspect JpegInspect::parseFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        JpegInspect info;
        info.problem = QStringLiteral("cannot open %1").arg(path);
        return info;
    }
    return parse(file.readAll());
}
