// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

struct FIBITMAP;

// JPEG files decoded by the JPEG library itself, from memory, with limits:
// the general loader's JPEG plug-in writes past its bitmap for frames of
// more than four components, parses Exif blocks it cannot read, walks every
// saved marker segment once per segment and allocates the whole coefficient
// buffer while it only reads the header.
//
// Contract: the bitmap decode() returns is the one the general loader gives
// for the same file with its accurate decode (8-bit grey with a grey palette
// for one component, else 24 bits in its colour order, bottom row first, the
// JFIF resolution, CMYK brought to RGB as it does, no Exif rotation), and the
// messages are those it would report, once each. What it refuses, it refuses
// from the header, before any picture-sized allocation: component counts
// other than 1, 3 or 4, colour spaces that do not go with them, more than
// MAX_SEGMENTS marker segments before the first scan, more than MAX_SCANS
// scans, and whatever the library reports as an error.
//
// Thread-safe: each decode has state of its own.
class JpegDecoder
{
public:
    static constexpr std::size_t MAX_SEGMENTS = 10000;
    static constexpr int MAX_SCANS = 500;

    // Reads the header. `data` must outlive this object.
    JpegDecoder(const unsigned char* data, std::size_t size);

    // Whether the header was read and is of a kind decode() takes; else
    // message() says why not.
    bool accepted() const { return ok; }
    std::uint32_t getWidth() const { return width; }
    std::uint32_t getHeight() const { return height; }
    // Bits per pixel of the bitmap decode() returns: 8 or 24.
    unsigned bitsPerPixel() const { return bits; }
    // Bytes per pixel the library holds while it decodes: the coefficients
    // of every component of a progressive or multi-scan file.
    std::uint64_t workingBytesPerPixel() const { return working; }

    // A new bitmap, or null with message() saying why. The library's own
    // allocations stay under `memoryLimit` bytes (0: no limit). message()
    // then holds the library's warnings, if any, each once.
    FIBITMAP* decode(std::uint64_t memoryLimit);

    // "JPEG: ..." lines, one per message, or a refusal of this decoder.
    const QString& message() const { return said; }

    // The fast path for the JPEG files the programs write themselves:
    // decodes one grey or three YCbCr components held in memory into new
    // pixels, top row first, blue-green-red-255 in rows of 4 * width bytes,
    // exactly as decode() followed by the conversion to 32 bits and the flip
    // would. Returns the pixels (malloc'd, every byte written) and their
    // size, or null for any other file, one larger than maxSide on a side or
    // than maxPixels in all, and on any error or warning.
    static unsigned char* decodeTo32(const unsigned char* data, std::size_t size, unsigned maxSide,
                                     std::uint64_t maxPixels, unsigned& width, unsigned& height);

private:
    bool segmentsWithinLimit() const;

    const unsigned char* data;
    std::size_t size;
    bool ok = false;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint64_t working = 0;
    unsigned bits = 24;
    QString said;
};
