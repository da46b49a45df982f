// SPDX-License-Identifier: GPL-3.0-or-later
#include "BitsMap.h"

#include "QualityMetrics.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>

#include <algorithm>

namespace {

// Colour of `bits` on a scale topped at `top`: the SSIM map's heat scale,
// dark for none, white at the top.
QRgb colour(std::uint32_t bits, std::uint32_t top)
{
    const double t = top ? std::min(1.0, double(bits) / double(top)) : 0.0;
    return QualityMetrics::heatColour(1.0 - t * (1.0 - QualityMetrics::HEAT_FLOOR));
}

QString planeName(const JpegBitCost& cost, int plane)
{
    if (plane < 0)
        return QStringLiteral("all components");
    if (cost.components.size() == 1)
        return QStringLiteral("grey");
    return plane < 3 ? QStringList{"Y", "Cb", "Cr"}[plane] : QString::number(plane + 1);
}

} // namespace

bool BitsMap::measure(const QByteArray& jpeg)
{
    cost = JpegBitCost::read(jpeg);
    return cost.ok();
}

void BitsMap::clear()
{
    cost = JpegBitCost();
}

QString BitsMap::reason() const
{
    if (!cost.notWalked.isEmpty())
        return cost.notWalked;
    return cost.error.isEmpty() ? QStringLiteral("No JPEG has been measured.") : cost.error;
}

std::vector<std::uint32_t> BitsMap::blockBits(int plane, int& width, int& height) const
{
    width = height = 0;
    if (!cost.ok())
        return {};
    if (plane >= componentCount())
        plane = ALL;
    const JpegBitCost::Component& grid = cost.components[std::size_t(std::max(plane, 0))];
    width = grid.widthInBlocks;
    height = grid.heightInBlocks;
    if (plane >= 0) {
        std::vector<std::uint32_t> bits(std::size_t(width) * std::size_t(height));
        for (int row = 0; row < height; ++row)
            for (int column = 0; column < width; ++column)
                bits[std::size_t(row) * std::size_t(width) + std::size_t(column)] =
                    grid.bits(column, row);
        return bits;
    }
    std::vector<std::uint32_t> sum = cost.lumaGridBits(0);
    for (int c = 1; c < componentCount(); ++c) {
        const std::vector<std::uint32_t> more = cost.lumaGridBits(c);
        for (std::size_t i = 0; i < sum.size() && i < more.size(); ++i)
            sum[i] += more[i];
    }
    return sum;
}

int BitsMap::pixelsPerBlock(int plane) const
{
    if (!cost.ok())
        return 64;
    int hmax = 1, vmax = 1;
    for (const JpegBitCost::Component& c : cost.components) {
        hmax = std::max(hmax, c.horizontal);
        vmax = std::max(vmax, c.vertical);
    }
    const JpegBitCost::Component& c =
        cost.components[std::size_t(plane >= 0 && plane < componentCount() ? plane : 0)];
    return 64 * (hmax / c.horizontal) * (vmax / c.vertical);
}

std::uint32_t BitsMap::scaleTop(int plane) const
{
    int width = 0, height = 0;
    std::vector<std::uint32_t> bits = blockBits(plane, width, height);
    if (bits.empty())
        return 1;
    const std::size_t at = std::min(bits.size() - 1, bits.size() * 995 / 1000);
    std::nth_element(bits.begin(), bits.begin() + std::ptrdiff_t(at), bits.end());
    return std::max<std::uint32_t>(1, bits[at]);
}

QImage BitsMap::render(int plane) const
{
    int width = 0, height = 0;
    const std::vector<std::uint32_t> bits = blockBits(plane, width, height);
    if (bits.empty() || width == 0 || height == 0)
        return QImage();
    const std::uint32_t top = scaleTop(plane);
    QImage blocks(width, height, QImage::Format_RGB32);
    for (int row = 0; row < height; ++row) {
        auto* line = reinterpret_cast<QRgb*>(blocks.scanLine(row));
        for (int column = 0; column < width; ++column)
            line[column] =
                colour(bits[std::size_t(row) * std::size_t(width) + std::size_t(column)], top);
    }
    // A block of a subsampled grid covers more than 8 x 8 pixels.
    const int side = 8;
    int hmax = 1, vmax = 1;
    for (const JpegBitCost::Component& c : cost.components) {
        hmax = std::max(hmax, c.horizontal);
        vmax = std::max(vmax, c.vertical);
    }
    const JpegBitCost::Component& c = cost.components[std::size_t(std::max(plane, 0))];
    const int blockWidth = side * hmax / c.horizontal;
    const int blockHeight = side * vmax / c.vertical;
    return blocks.scaled(width * blockWidth, height * blockHeight)
        .copy(0, 0, cost.width, cost.height);
}

QPixmap BitsMap::legend(int plane, const QFont& font) const
{
    constexpr int bar = 200, margin = 16, barHeight = 12;
    const QFontMetrics metrics(font);
    QPixmap pixmap(bar + 2 * margin, barHeight + 2 * metrics.height() + 4);
    pixmap.fill(Qt::transparent);
    if (!cost.ok())
        return pixmap;
    const std::uint32_t top = scaleTop(plane);
    const double perPixel = 1.0 / pixelsPerBlock(plane);
    QPainter p(&pixmap);
    p.setFont(font);
    for (int x = 0; x < bar; ++x) {
        p.setPen(QColor::fromRgb(colour(std::uint32_t((x + 0.5) * top / bar), top)));
        p.drawLine(margin + x, 0, margin + x, barHeight - 1);
    }
    p.setPen(QPen(QColor(0x60, 0x60, 0x60), 1));
    p.drawRect(margin, 0, bar - 1, barHeight - 1);
    p.setPen(QApplication::palette().color(QPalette::WindowText));
    const int steps = 4;
    for (int i = 0; i <= steps; ++i) {
        const double value = double(top) * i / steps;
        const QString bitsText = (i == steps ? QStringLiteral("\u2265") : QString()) +
                                 QString::number(qRound(value)) +
                                 (i == 0 ? QStringLiteral(" bits") : QString());
        const QString bppText = QString::number(value * perPixel, 'g', 2) +
                                (i == 0 ? QStringLiteral(" bpp") : QString());
        const int x = margin + bar * i / steps;
        for (int line = 0; line < 2; ++line) {
            const QString& text = line ? bppText : bitsText;
            const int width = metrics.horizontalAdvance(text);
            const int left = i == 0 ? x : std::clamp(x - width / 2, 0, pixmap.width() - width);
            p.drawText(left, barHeight + 2 + metrics.ascent() + line * metrics.height(), text);
        }
    }
    return pixmap;
}

QString BitsMap::describe(const QPoint& pixel, int plane) const
{
    if (!cost.ok() || pixel.x() < 0 || pixel.y() < 0 || pixel.x() >= cost.width ||
        pixel.y() >= cost.height)
        return QString();
    int hmax = 1, vmax = 1;
    for (const JpegBitCost::Component& c : cost.components) {
        hmax = std::max(hmax, c.horizontal);
        vmax = std::max(vmax, c.vertical);
    }
    if (plane >= componentCount())
        plane = ALL;
    const JpegBitCost::Component& c = cost.components[std::size_t(std::max(plane, 0))];
    const int column = pixel.x() * c.horizontal / hmax / 8;
    const int row = pixel.y() * c.vertical / vmax / 8;
    if (column >= c.widthInBlocks || row >= c.heightInBlocks)
        return QString();
    std::uint32_t bits = 0;
    QString detail;
    if (plane >= 0) {
        const std::size_t i = c.index(column, row);
        bits = c.dcBits[i] + c.acBits[i];
        detail = QStringLiteral(" (DC %1, AC %2)").arg(c.dcBits[i]).arg(c.acBits[i]);
    } else {
        int width = 0, height = 0;
        bits = blockBits(ALL, width,
                         height)[std::size_t(row) * std::size_t(width) + std::size_t(column)];
    }
    return QStringLiteral("block %1, %2 of %3: %4 bits%5, %6 bpp")
        .arg(column)
        .arg(row)
        .arg(planeName(cost, plane))
        .arg(bits)
        .arg(detail)
        .arg(double(bits) / pixelsPerBlock(plane), 0, 'f', 2);
}
