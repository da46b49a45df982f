// SPDX-License-Identifier: GPL-3.0-or-later
#include "Figures.h"

#include <cmath>

namespace {

const FigureInfo figures[FIGURE_COUNT] = {
    {Figure::CompressionRate, "compression_rate", "CR", "compression_rate", "", -1,
     "<b>Compression rate</b>: source size / compressed size", false},
    {Figure::CompressionPercentage, "compression_percentage", "CP", "compression_percentage", "%",
     -1, "<b>Compression percentage</b>: (1 - 1/CR)*100%", false},
    {Figure::BitRate, "bpp", "BR", "bpp", " bpp", -1,
     "<b>Bit rate</b>: 8 * compressed size / (width * height)", false},
    {Figure::MSE, "mse", "MSE", "mse", "", -1,
     "<b>Mean square error</b> of the red, green and blue values over all pixels", true},
    {Figure::PSNR, "psnr", "PSNR", "psnr", " dB", 2,
     "<b>Peak signal-to-noise ratio</b>: 10 log<sub>10</sub>(255<sup>2</sup> / MSE) in "
     "decibels; &infin; for identical pictures",
     false},
    {Figure::PSNR_Y, "psnr_y", "PSNR-Y", "psnr_y", " dB", 2,
     "<b>PSNR of luma</b> Y = 0.299 R + 0.587 G + 0.114 B", false},
    {Figure::PSNR_Cb, "psnr_cb", "PSNR-Cb", "psnr_cb", " dB", 2,
     "<b>PSNR of blue difference</b> Cb = 128 - 0.168736 R - 0.331264 G + 0.5 B", false},
    {Figure::PSNR_Cr, "psnr_cr", "PSNR-Cr", "psnr_cr", " dB", 2,
     "<b>PSNR of red difference</b> Cr = 128 + 0.5 R - 0.418688 G - 0.081312 B", false},
    {Figure::SSIM, "ssim", "SSIM", "ssim", "", 4,
     "<b>Structural similarity</b> of luma (Wang et al. 2004): Gaussian window "
     "&sigma; = 1.5 on 11 &times; 11 taps, C1 = (0.01&middot;255)<sup>2</sup>, "
     "C2 = (0.03&middot;255)<sup>2</sup>, mean over the positions where the window fits; "
     "1 = identical; n/a below 11 pixels",
     false},
    {Figure::MS_SSIM, "ms_ssim", "MS-SSIM", "ms_ssim", "", 4,
     "<b>Multi-scale structural similarity</b> of luma (Wang et al. 2003): five scales "
     "halved by 2 &times; 2 means, weights 0.0448, 0.2856, 0.3001, 0.2363, 0.1333; "
     "n/a when the shorter side is below 176 pixels",
     false},
    {Figure::SSIMULACRA2, "ssimulacra2", "SSIMULACRA 2", "ssimulacra2", "", 2,
     "<b>SSIMULACRA 2.1</b>, a perceptual score calibrated on subjective tests: 100 = "
     "identical, about 90 visually lossless, 70 high, 50 medium, 30 low quality; structure, "
     "ringing and blurring errors in the XYB colour space at six scales; n/a below 8 pixels "
     "a side",
     false},
    {Figure::Butteraugli, "butteraugli", "Butteraugli", "butteraugli", "", 3,
     "<b>Butteraugli distance</b>, maximum over the picture (JPEG XL library, display of "
     "80 nits): 0 = identical, about 1 the threshold of a visible difference; lower is "
     "better; slow, measured on request; n/a below 8 pixels a side",
     true},
    {Figure::Butteraugli3Norm, "butteraugli_3norm", "Butteraugli 3-norm", "butteraugli_3norm", "",
     3,
     "<b>Butteraugli 3-norm</b>: the cube root of the mean cubed distance over all pixels, "
     "a figure of the whole picture rather than its worst place; lower is better",
     true},
};

} // namespace

namespace Figures {

const FigureInfo* all()
{
    return figures;
}

const FigureInfo& info(Figure figure)
{
    return figures[int(figure)];
}

bool fromKey(const QString& key, Figure& figure)
{
    for (const FigureInfo& f : figures) {
        if (key == QLatin1String(f.key)) {
            figure = f.figure;
            return true;
        }
    }
    return false;
}

QString screenText(Figure figure, double value, bool withUnit)
{
    if (std::isnan(value))
        return QStringLiteral("n/a");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("\u221e") : QStringLiteral("-\u221e");
    const FigureInfo& f = info(figure);
    QString text = f.decimals < 0 ? QStringLiteral("%1").arg(value, 0, 'g', -1)
                                  : QString::number(value, 'f', f.decimals);
    if (withUnit)
        text += QLatin1String(f.unit);
    return text;
}

QString csvText(double value)
{
    if (std::isnan(value))
        return QString();
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
    return QString::number(value, 'f', 6);
}

} // namespace Figures

bool FigureSet::parse(const QString& keys, FigureSet& set)
{
    FigureSet parsed;
    for (const QString& key : keys.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        Figure f;
        if (!Figures::fromKey(key.trimmed(), f))
            return false;
        parsed.insert(f);
    }
    set = parsed;
    return true;
}

QStringList FigureSet::keys() const
{
    QStringList list;
    for (int i = 0; i < FIGURE_COUNT; ++i) {
        if (contains(Figure(i)))
            list << QLatin1String(Figures::all()[i].key);
    }
    return list;
}
