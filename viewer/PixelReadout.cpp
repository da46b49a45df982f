// SPDX-License-Identifier: GPL-3.0-or-later
#include "PixelReadout.h"

#include "Image.h"

#include <cstdlib>

namespace {

// Three-digit columns padded with figure spaces, which are as wide as a
// digit, so the readout does not jitter as the pointer moves.
QString padded(int value)
{
    return QStringLiteral("%1").arg(value, 3, 10, QChar(0x2007));
}

QString signedValue(int value)
{
    const QString digits = QString::number(std::abs(value));
    return QStringLiteral("%1").arg(value > 0   ? QLatin1Char('+') + digits
                                    : value < 0 ? QLatin1Char('-') + digits
                                                : digits,
                                    4, QChar(0x2007));
}

QString triple(int a, int b, int c, QString (*format)(int))
{
    return format(a) + QLatin1Char(' ') + format(b) + QLatin1Char(' ') + format(c);
}

QString describeSample(const PixelReadout::Sample& s)
{
    return QStringLiteral("RGB %1  YCbCr %2")
        .arg(triple(s.red, s.green, s.blue, padded),
             triple(s.ycbcr.y, s.ycbcr.cb, s.ycbcr.cr, padded));
}

} // namespace

PixelReadout::PixelReadout(QWidget* parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("pixelReadout"));
    setToolTip(QStringLiteral("The pixel under the pointer: red, green and blue, Y, Cb and Cr "
                              "of the source and of the compressed picture, and compressed "
                              "minus source"));
}

void PixelReadout::setPictures(const Image* newSource, const Image* newCompressed)
{
    source = newSource;
    compressed = newCompressed;
    clearPixel();
}

void PixelReadout::showPixel(const QPoint& pixel)
{
    setText(describe(pixel, source, compressed));
}

void PixelReadout::clearPixel()
{
    setText(source ? QStringLiteral("Point at the picture to read its pixels.") : QString());
}

PixelReadout::Sample PixelReadout::sample(const Image* picture, const QPoint& pixel)
{
    Sample s;
    if (!picture || !picture->getRGB32Buffer() || pixel.x() < 0 || pixel.y() < 0 ||
        unsigned(pixel.x()) >= picture->getWidth() || unsigned(pixel.y()) >= picture->getHeight())
        return s;
    const unsigned char* bgrx =
        picture->getRGB32Buffer() + (std::size_t(pixel.y()) * picture->getWidth() + pixel.x()) * 4;
    s.present = true;
    s.blue = bgrx[0];
    s.green = bgrx[1];
    s.red = bgrx[2];
    s.ycbcr = CompressionResult::toYCbCr(bgrx[2], bgrx[1], bgrx[0]);
    return s;
}

QString PixelReadout::describe(const QPoint& pixel, const Image* source, const Image* compressed)
{
    const Sample a = sample(source, pixel);
    if (!a.present)
        return QString();
    QString text = QStringLiteral("x %1, y %2    Source %3")
                       .arg(pixel.x())
                       .arg(pixel.y())
                       .arg(describeSample(a));
    const Sample b = sample(compressed, pixel);
    if (!b.present)
        return text;
    text += QStringLiteral("    Compressed %1    Difference RGB %2  YCbCr %3")
                .arg(describeSample(b),
                     triple(b.red - a.red, b.green - a.green, b.blue - a.blue, signedValue),
                     triple(b.ycbcr.y - a.ycbcr.y, b.ycbcr.cb - a.ycbcr.cb, b.ycbcr.cr - a.ycbcr.cr,
                            signedValue));
    return text;
}
