// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "JpegBitCost.h"

#include <QByteArray>
#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QString>

class QFont;

// The "Bits" view of a JPEG: a heat map of the bits spent on every 8 x 8
// block (JpegBitCost), of one component or of all of them summed at the
// luma block grid, the size of the picture; its colour scale in bits and in
// bits per pixel; and the bits of the block under a pixel.
//
// The colour scale runs from 0 bits (dark) to the 99.5th percentile of the
// blocks shown (white); the few blocks above it are white too. Not thread
// safe; a plain value otherwise.
class BitsMap
{
public:
    enum Plane { ALL = -1, Y = 0, CB = 1, CR = 2 };

    // Walks `jpeg` (the file's bytes); false, with reason() saying why,
    // when its blocks cannot be measured.
    bool measure(const QByteArray& jpeg);
    void clear();
    bool isMeasured() const { return cost.ok(); }
    QString reason() const;
    const JpegBitCost& bitCost() const { return cost; }
    // The planes this file has: ALL and one per component (up to three).
    int componentCount() const { return int(cost.components.size()); }

    // The map of `plane`, width x height pixels (the picture's size).
    QImage render(int plane) const;
    QPixmap legend(int plane, const QFont& font) const;
    // "block 3, 5 of Y: 143 bits (DC 9, AC 134), 2.23 bpp"; empty outside.
    QString describe(const QPoint& pixel, int plane) const;

    // The bits per block of `plane` on its own block grid, row by row, and
    // that grid's width; the pixels one of its blocks covers.
    std::vector<std::uint32_t> blockBits(int plane, int& widthInBlocks, int& heightInBlocks) const;
    int pixelsPerBlock(int plane) const;
    // The top of the colour scale for `plane`, in bits.
    std::uint32_t scaleTop(int plane) const;

private:
    JpegBitCost cost;
};
