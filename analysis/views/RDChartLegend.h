// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QGraphicsObject>
#include <QImage>
#include <QPen>
#include <QStringList>

#include <vector>

class QChart;

// The legend of the rate-distortion chart, drawn in the chart's scene so that
// every export holds it as the screen shows it. Each curve has an entry: a
// stretch of its line (colour and dashes), its marker (the shape of its
// picture) and its whole name, wrapped onto as many lines as it needs; a name
// is never cut short.
//
// The legend stands right of the plot, which gives it room through the
// chart's right margin: as wide as the longest name, but at most 36 % of the
// chart, at 9 points or down to 7.5 where that makes the entries fit the
// height. Failing that, the entries flow into further columns (the legend
// then up to half the chart) at the largest size down to 6 points that fits;
// past that the last line says how many are left out.
class RDChartLegend : public QGraphicsObject
{
    Q_OBJECT

public:
    // A curve's entry; entries of one picture follow one another under the
    // picture's name, their `heading`, shown again at the top of a column.
    struct Entry
    {
        QPen pen;
        QImage marker;
        QString heading; // may be empty
        QString text;
    };

    // Places itself in `chart`'s scene and follows the chart's size.
    explicit RDChartLegend(QChart* chart);

    void setEntries(std::vector<Entry> entries);
    const std::vector<Entry>& entries() const { return list; }

    // Lays the entries out for the chart's size and makes room for them.
    void relayout();

    // The lines entry `index` is drawn on; empty when it is left out.
    QStringList lines(int index) const;
    // The entries left out for want of room.
    int leftOut() const { return omitted; }
    QFont font() const { return textFont; }

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    struct Placed
    {
        QPointF at;          // the top left, in the legend's coordinates
        QStringList heading; // the heading's lines above the entry, if any
        QStringList lines;
    };
    // The entries placed in columns of `textWidth`, at most `columns` of
    // them within `height`; false when some are left out.
    bool place(qreal textWidth, int columns, qreal height);

    QChart* chart;
    std::vector<Entry> list;
    std::vector<Placed> placed; // by entry; left-out entries have no lines
    QFont textFont;
    QSizeF size;
    qreal columnWidth = 0;
    QPointF moreAt; // where the line about the entries left out goes
    int omitted = 0;
    bool laying = false;
};
