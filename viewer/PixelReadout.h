// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CompressionResult.h"

#include <QLabel>
#include <QPoint>

class Image;

// The status-line readout of the pixel under the pointer: its position, the
// source's and the compressed picture's red, green and blue, their Y, Cb and
// Cr as the component views show them, and compressed minus source.
class PixelReadout : public QLabel
{
    Q_OBJECT

public:
    explicit PixelReadout(QWidget* parent = nullptr);

    // The pictures read; either may be null. Not owned: the owner hands over
    // the next ones before deleting these.
    void setPictures(const Image* source, const Image* compressed);
    void showPixel(const QPoint& pixel);
    void clearPixel();

    struct Sample
    {
        bool present = false; // the picture has this pixel
        int red = 0, green = 0, blue = 0;
        CompressionResult::YCbCr ycbcr{0, 0, 0};
    };
    static Sample sample(const Image* picture, const QPoint& pixel);
    // The readout's text; empty when the source has no such pixel.
    static QString describe(const QPoint& pixel, const Image* source, const Image* compressed);

private:
    const Image* source = nullptr;
    const Image* compressed = nullptr;
};
