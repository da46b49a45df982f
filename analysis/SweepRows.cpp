#include "SweepRows.h"

#include <cmath>
#include <limits>

double SweepRows::number(int row, int column) const
{
    const QString field = text(row, column).trimmed();
    if (field == QLatin1String("inf"))
        return std::numeric_limits<double>::infinity();
    if (field == QLatin1String("-inf"))
        return -std::numeric_limits<double>::infinity();
    bool ok = false;
    const double value = field.toDouble(&ok);
    return ok ? value : std::numeric_limits<double>::quiet_NaN();
}

namespace SweepColumns {

QStringList settings()
{
    return {QStringLiteral("mode"),      QStringLiteral("progressive"),
            QStringLiteral("grayscale"), QStringLiteral("optimize_huffman"),
            QStringLiteral("dct"),       QStringLiteral("smoothing"),
            QStringLiteral("auto_quality"), QStringLiteral("sampling"),
            QStringLiteral("luminance_table"), QStringLiteral("chrominance_table")};
}

QStringList figures()
{
    return {QStringLiteral("psnr"), QStringLiteral("psnr_y"), QStringLiteral("ssim"),
            QStringLiteral("ms_ssim"), QStringLiteral("mse")};
}

} // namespace SweepColumns
