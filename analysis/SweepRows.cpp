// SPDX-License-Identifier: GPL-3.0-or-later
#include "SweepRows.h"

#include "Figures.h"
#include "SweepCsv.h"

#include <limits>

double SweepRows::number(int row, int column) const
{
    double value = 0;
    return SweepCsv::readNumber(text(row, column).trimmed(), value)
               ? value
               : std::numeric_limits<double>::quiet_NaN();
}

namespace SweepColumns {

QStringList settings()
{
    return {QStringLiteral("mode"),
            QStringLiteral("progressive"),
            QStringLiteral("grayscale"),
            QStringLiteral("optimize_huffman"),
            QStringLiteral("dct"),
            QStringLiteral("smoothing"),
            QStringLiteral("auto_quality"),
            QStringLiteral("sampling"),
            QStringLiteral("luminance_table"),
            QStringLiteral("chrominance_table")};
}

QStringList figures()
{
    QStringList columns;
    for (Figure f : {Figure::PSNR, Figure::PSNR_Y, Figure::SSIM, Figure::MS_SSIM, Figure::MSE,
                     Figure::SSIMULACRA2, Figure::Butteraugli, Figure::Butteraugli3Norm})
        columns << QLatin1String(Figures::info(f).column);
    return columns;
}

const FigureInfo* figureOf(const QString& column)
{
    for (int i = 0; i < FIGURE_COUNT; ++i)
        if (column == QLatin1String(Figures::all()[i].column))
            return &Figures::all()[i];
    return nullptr;
}

} // namespace SweepColumns
