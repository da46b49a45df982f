// SPDX-License-Identifier: GPL-3.0-or-later
#include "RDChartLegend.h"

#include <QChart>
#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace {

constexpr qreal SAMPLE = 30;    // the stretch of line, the marker in its middle
constexpr qreal GAP = 6;        // between the sample and the text
constexpr qreal PAD = 10;       // between columns, and off the plot
constexpr qreal SPACING = 3;    // between entries
constexpr qreal MARKER = 9;     // the marker's side
constexpr qreal NARROWEST = 80; // the least width of a column's text
constexpr qreal LARGEST_POINTS = 9;
constexpr qreal ONE_COLUMN_POINTS = 7.5; // the smallest before more columns
constexpr qreal SMALLEST_POINTS = 6;

// `text` broken into lines of at most `width`: at spaces where it can, else
// anywhere, so that a long file name is not cut.
QStringList wrapped(const QString& text, const QFont& font, qreal width)
{
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines.append(text.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    return lines;
}

} // namespace

RDChartLegend::RDChartLegend(QChart* chart) : chart(chart)
{
    setParentItem(chart);
    setZValue(10);
    setAcceptedMouseButtons(Qt::NoButton);
    connect(chart, &QGraphicsWidget::geometryChanged, this, &RDChartLegend::relayout);
    connect(chart, &QChart::plotAreaChanged, this, &RDChartLegend::relayout);
}

void RDChartLegend::setEntries(std::vector<Entry> entries)
{
    list = std::move(entries);
    relayout();
}

QStringList RDChartLegend::lines(int index) const
{
    return index >= 0 && std::size_t(index) < placed.size() ? placed[std::size_t(index)].lines
                                                            : QStringList();
}

bool RDChartLegend::place(qreal textWidth, int columns, qreal height)
{
    const QFontMetricsF metrics(textFont);
    const qreal line = metrics.lineSpacing();
    QFont bold = textFont;
    bold.setBold(true);
    columnWidth = SAMPLE + GAP + textWidth + PAD;
    placed.assign(list.size(), Placed());
    omitted = 0;
    int column = 0;
    qreal y = 0, tallest = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const Entry& entry = list[i];
        const QStringList lines = wrapped(entry.text, textFont, textWidth);
        const qreal own = std::max(qreal(lines.size()) * line, MARKER) + SPACING;
        // A heading where the picture changes and at the top of a column.
        auto heading = [&](bool top) {
            const bool needed =
                !entry.heading.isEmpty() && (top || i == 0 || list[i - 1].heading != entry.heading);
            return needed ? wrapped(entry.heading, bold, SAMPLE + GAP + textWidth) : QStringList();
        };
        QStringList head = heading(y == 0);
        if (y > 0 && y + qreal(head.size()) * line + own > height) {
            ++column;
            y = 0;
            head = heading(true);
        }
        if (column >= columns) {
            omitted = int(list.size() - i);
            break;
        }
        placed[i] = {QPointF(column * columnWidth, y), head, lines};
        y += qreal(head.size()) * line + own;
        tallest = std::max(tallest, y);
    }
    if (omitted > 0) {
        // Room for the line that says so, at the foot of the last column.
        for (std::size_t i = list.size() - std::size_t(omitted); i-- > 0 && y + line > height;) {
            y = placed[i].at.y();
            placed[i] = Placed();
            ++omitted;
        }
        tallest = std::max(tallest, y + line);
        moreAt = QPointF(std::min(column, columns - 1) * columnWidth, y);
    }
    size = QSizeF(std::min(columns, column + 1) * columnWidth - PAD, tallest);
    return omitted == 0;
}

void RDChartLegend::relayout()
{
    if (laying)
        return;
    laying = true;
    prepareGeometryChange();
    const QSizeF area = chart->size();
    // Above the plot stand the title and the chart's margin.
    const qreal top = std::max(chart->plotArea().top(), qreal(chart->margins().top()));
    const qreal height = std::max(area.height() - top - chart->margins().bottom(), qreal(40));
    // One column at the larger sizes, then more columns at any size.
    struct Layout
    {
        qreal points;
        int columns;
    };
    std::vector<Layout> layouts;
    for (qreal points = LARGEST_POINTS; points >= ONE_COLUMN_POINTS; points -= 0.5)
        layouts.push_back({points, 1});
    for (int columns = 2; area.width() * 0.5 / columns - SAMPLE - GAP - PAD >= NARROWEST; ++columns)
        for (qreal points = LARGEST_POINTS; points >= SMALLEST_POINTS; points -= 0.5)
            layouts.push_back({points, columns});
    placed.clear();
    size = QSizeF();
    omitted = 0;
    for (std::size_t k = 0; k < layouts.size() && !list.empty(); ++k) {
        textFont = chart->font();
        textFont.setPointSizeF(layouts[k].points);
        const QFontMetricsF metrics(textFont);
        qreal natural = 0;
        for (const Entry& entry : list)
            natural = std::max(natural, metrics.horizontalAdvance(entry.text));
        const int columns = layouts[k].columns;
        const qreal room = area.width() * (columns == 1 ? 0.36 : 0.5) / columns;
        const qreal width = std::min(natural + 1, std::max(room - SAMPLE - GAP - PAD, NARROWEST));
        if (place(width, columns, height) || k + 1 == layouts.size())
            break; // the last layout leaves out what it cannot hold
    }
    setVisible(!list.empty());
    QMargins margins = chart->margins();
    const int right = list.empty() ? margins.left() : int(std::ceil(size.width() + 2 * PAD));
    if (margins.right() != right) {
        margins.setRight(right);
        chart->setMargins(margins);
    }
    // Beside the plot, once the chart has laid it out with the new margin.
    setPos(std::min(chart->plotArea().right() + 2 * PAD, area.width() - size.width() - PAD), top);
    update();
    laying = false;
}

QRectF RDChartLegend::boundingRect() const
{
    return QRectF(QPointF(0, 0), size);
}

void RDChartLegend::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setFont(textFont);
    const QFontMetricsF metrics(textFont);
    const qreal line = metrics.lineSpacing();
    const QColor ink = chart->titleBrush().color();
    QFont bold = textFont;
    bold.setBold(true);
    for (std::size_t i = 0; i < placed.size(); ++i) {
        const Placed& p = placed[i];
        if (p.lines.isEmpty())
            continue;
        painter->setPen(ink);
        painter->setFont(bold);
        for (int k = 0; k < p.heading.size(); ++k)
            painter->drawText(p.at + QPointF(0, k * line + metrics.ascent()), p.heading[k]);
        painter->setFont(textFont);
        const QPointF at = p.at + QPointF(0, p.heading.size() * line);
        const qreal middle = at.y() + std::max(line, MARKER) / 2;
        QPen pen = list[i].pen;
        pen.setWidthF(2);
        painter->setPen(pen);
        painter->drawLine(QPointF(at.x(), middle), QPointF(at.x() + SAMPLE, middle));
        const QRectF marker(at.x() + (SAMPLE - MARKER) / 2, middle - MARKER / 2, MARKER, MARKER);
        painter->drawImage(marker, list[i].marker);
        painter->setPen(ink);
        for (int k = 0; k < p.lines.size(); ++k)
            painter->drawText(at + QPointF(SAMPLE + GAP, k * line + metrics.ascent()), p.lines[k]);
    }
    if (omitted > 0) {
        QFont italic = textFont;
        italic.setItalic(true);
        painter->setFont(italic);
        painter->setPen(ink);
        painter->drawText(
            moreAt + QPointF(0, metrics.ascent()),
            QStringLiteral("... and %1 more %2: filter the table")
                .arg(omitted)
                .arg(omitted == 1 ? QStringLiteral("curve") : QStringLiteral("curves")));
    }
}
