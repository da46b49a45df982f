// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

struct FigureInfo;

// Rows of a settings sweep with named columns, the columns of the sweep CSV:
// whatever holds them (a CSV read back, the results of a run in memory) is
// read through this interface, so the curves and Bjøntegaard figures come
// from one implementation.
class SweepRows
{
public:
    virtual ~SweepRows() = default;

    virtual int count() const = 0;
    virtual QStringList header() const = 0;
    // The index of the column of that name, -1 when there is none.
    virtual int column(const QString& name) const = 0;
    virtual QString text(int row, int column) const = 0;
    // The field as a number: NaN when empty or not a number, infinity for "inf".
    virtual double number(int row, int column) const;
};

// The column names of the sweep CSV used to read a sweep.
namespace SweepColumns {

inline const QString picture = QStringLiteral("picture");
inline const QString quality = QStringLiteral("quality");
inline const QString bpp = QStringLiteral("bpp");
inline const QString status = QStringLiteral("status");
inline const QString ok = QStringLiteral("ok");

// The columns that describe an entry's settings, quality aside: results that
// agree in all of them and in the picture lie on one rate-distortion curve.
QStringList settings();
// The quality figures a curve may be drawn or compared in, as column names,
// in the order the chart offers them.
QStringList figures();
// The figure whose column is `column` (names, units and definitions in
// Figures), null for a column that is not a figure's.
const FigureInfo* figureOf(const QString& column);

} // namespace SweepColumns
