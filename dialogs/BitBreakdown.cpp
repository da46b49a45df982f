// SPDX-License-Identifier: GPL-3.0-or-later
#include "BitBreakdown.h"

#include <QStringList>

#include <cmath>

namespace BitBreakdown {

namespace {

// A bar of `share` (0 to 1) of 20 character cells, in eighths of a cell.
QString bar(double share)
{
    static const QChar partial[] = {QChar(0x258F), QChar(0x258E), QChar(0x258D), QChar(0x258C),
                                    QChar(0x258B), QChar(0x258A), QChar(0x2589)};
    const int eighths = int(share * 20 * 8 + 0.5);
    QString text(eighths / 8, QChar(0x2588));
    if (eighths % 8)
        text += partial[eighths % 8 - 1];
    return text;
}

struct Table
{
    double fileBits;
    QString html;

    void row(const QString& label, double bits, const QString& note = QString())
    {
        const double share = fileBits > 0 ? bits / fileBits : 0;
        const QString amount = std::fmod(bits, 8.0) == 0 ? QString::number(qint64(bits / 8))
                                                         : QString::number(bits / 8, 'f', 1);
        html += QStringLiteral("<tr><td>%1</td><td align=right>%2</td>"
                               "<td><font color=#3060a0>%3</font></td>"
                               "<td align=right>%4 %</td><td>%5</td></tr>")
                    .arg(label.toHtmlEscaped(), amount, bar(share))
                    .arg(share * 100, 0, 'f', 1)
                    .arg(note.toHtmlEscaped());
    }
};

} // namespace

QString componentName(const JpegBitCost& cost, int component)
{
    if (cost.components.size() == 1)
        return QStringLiteral("grey");
    if (cost.components.size() == 3 && component >= 0 && component < 3)
        return QStringList{"Y", "Cb", "Cr"}[component];
    return QStringLiteral("component %1").arg(component + 1);
}

QString html(const JpegBitCost& cost)
{
    if (!cost.notWalked.isEmpty())
        return QStringLiteral("<p>%1</p>").arg(cost.notWalked.toHtmlEscaped());
    if (!cost.ok())
        return QStringLiteral("<p>The coded data could not be measured: %1</p>")
            .arg(cost.error.toHtmlEscaped());
    Table t{8.0 * double(cost.fileBytes), QString()};
    t.html = QStringLiteral("<table cellspacing=0 cellpadding=1><tr><th align=left>Part</th>"
                            "<th align=right>Bytes</th><th></th><th align=right>File</th></tr>");
    std::int64_t scanHeaders = 0;
    for (const JpegBitCost::Scan& s : cost.scans)
        scanHeaders += s.headerBytes;
    t.row(QStringLiteral("Markers, headers"), 8.0 * double(cost.headerBytes + scanHeaders));
    t.row(QStringLiteral("Tables"), 8.0 * double(cost.tableBytes),
          QStringLiteral("quantization, Huffman"));
    if (cost.metadataBytes)
        t.row(QStringLiteral("Metadata"), 8.0 * double(cost.metadataBytes),
              QStringLiteral("APPn, comments"));
    for (int c = 0; c < int(cost.components.size()); ++c) {
        const JpegBitCost::Component& component = cost.components[std::size_t(c)];
        const QString name = componentName(cost, c);
        t.row(name + QStringLiteral(" DC"), double(component.totalDcBits));
        t.row(name + QStringLiteral(" AC"), double(component.totalAcBits));
    }
    const double overhead =
        double(cost.overheadBits()) + 8.0 * double(cost.fillBytes + cost.trailingBytes);
    if (overhead > 0)
        t.row(QStringLiteral("Stuffing, restarts, padding"), overhead);
    t.row(QStringLiteral("File"), t.fileBits);
    t.html += QStringLiteral("</table>");
    if (!cost.progressive || cost.scans.size() < 2)
        return t.html;
    t.html += QStringLiteral("<p><b>Scans</b></p><table cellspacing=0 cellpadding=1>");
    for (std::size_t i = 0; i < cost.scans.size(); ++i)
        t.row(QStringLiteral("%1. %2").arg(i + 1).arg(cost.scans[i].describe(cost.components)),
              8.0 * double(cost.scans[i].bytes()));
    t.html += QStringLiteral("</table>");
    return t.html;
}

} // namespace BitBreakdown
