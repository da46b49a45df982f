// SPDX-License-Identifier: GPL-3.0-or-later
#include "SweepRows.h"

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
    return {QStringLiteral("psnr"),
            QStringLiteral("psnr_y"),
            QStringLiteral("ssim"),
            QStringLiteral("ms_ssim"),
            QStringLiteral("ssimulacra2"),
            QStringLiteral("butteraugli"),
            QStringLiteral("butteraugli_3norm"),
            QStringLiteral("mse")};
}

} // namespace SweepColumns
