// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>

// The walk over a JPEG file's markers, for every reader of the file's
// structure: the properties, the frame reader and the entropy-data reader.
//
// Contract: the walk only reads within the buffer it is given, whatever the
// bytes. Each step reads the marker at position(), after any 0xFF fill
// bytes, and the length of its segment, which must lie within the buffer;
// the payload is then handed to the caller and position() moves past it.
// The entropy-coded data after a scan header is the caller's: it decodes it
// and sets the position after it, or has skipEntropyData() step over it.
// Positions are byte offsets from the start of the buffer.
class JpegMarkerWalk
{
public:
    struct Segment
    {
        int marker = 0;
        std::int64_t offset = 0;    // of the 0xFF right before the marker code
        std::int64_t fillBytes = 0; // 0xFF bytes before that one
        // The payload, after the two length bytes; null for the markers
        // that have no segment (TEM, RST0 to RST7).
        const unsigned char* data = nullptr;
        int size = 0;

        bool standalone() const { return data == nullptr; }
        // Bytes from the marker's 0xFF to the end of its segment.
        std::int64_t bytes() const { return standalone() ? 2 : 4 + size; }
    };

    enum Step {
        SEGMENT,      // `segment` holds the next marker and its payload
        END_OF_IMAGE, // the EOI marker; position() is after it
        END_OF_DATA,  // the buffer ends before another marker
        FAILED        // error() says what is wrong, at which byte
    };

    // `data` must outlive the walk. The walk starts after the start-of-image
    // marker, which startsWithImage() tells whether the buffer begins with.
    JpegMarkerWalk(const unsigned char* data, std::int64_t size);

    bool startsWithImage() const;
    // The next marker. After END_OF_IMAGE, END_OF_DATA or FAILED the walk
    // stays where it is. At END_OF_DATA, `segment` tells where the bytes
    // left begin (offset: the last of the fill bytes that ran to the end, or
    // the end itself) and how many fill bytes came before that one.
    Step next(Segment& segment);

    // Steps over entropy-coded data: to the next marker other than a stuffed
    // zero or a restart marker, or to the end of the buffer.
    void skipEntropyData();
    std::int64_t position() const { return pos; }
    void setPosition(std::int64_t at) { pos = at; }
    std::int64_t size() const { return n; }
    const QString& error() const { return failure; }

    static bool isFrameMarker(int marker);

private:
    Step fail(const QString& why);

    const unsigned char* d;
    std::int64_t n;
    std::int64_t pos = 2;
    QString failure;
};
