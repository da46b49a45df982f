// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "QuantizationTables.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

class JPEGSettings;

// What a JPEG file holds and how it was made: the frame, its components and
// their sampling, the quantization and Huffman tables, the restart interval
// and the metadata segments, read from the file's markers; and, on request,
// the quantized DCT coefficients exactly as stored, read through the JPEG
// library. A plain value: it may be made on one thread and read on another.
//
// Nothing in the input can end the process or make the reader allocate
// without bound: frames above MAX_PIXELS and files of more than MAX_SCANS
// scans are refused with a message.
struct JpegFileInfo
{
    enum FrameType { BASELINE, EXTENDED, PROGRESSIVE, LOSSLESS };

    static constexpr std::uint64_t MAX_PIXELS = 128ull * 1000 * 1000;
    static constexpr int MAX_SCANS = 1000;
    static constexpr qint64 MAX_FILE_SIZE = 512ll * 1024 * 1024;
    // Entries kept of each list below at most; the rest are counted in the
    // omitted* members. Of the tables, the last definition of every slot is
    // always among those kept.
    static constexpr std::size_t MAX_LISTED = 64;

    struct Component
    {
        int id = 0;
        int horizontal = 1; // sampling factors, 1 to 4
        int vertical = 1;
        int table = 0; // quantization table slot
    };

    // One quantization table as defined in the file, and how it relates to
    // the standard's Annex K tables scaled by a quality (the scaling of the
    // library's quality setting).
    struct QuantizationTableInfo
    {
        enum Match { EXACT, NEAREST, CUSTOM };
        int slot = 0;
        int precision = 8;       // bits per entry: 8 or 16
        QuantizationTable table; // natural order
        Match match = CUSTOM;
        bool chrominanceBase = false; // compared with K.2 rather than K.1
        int quality = 0;              // EXACT and NEAREST: the quality
        unsigned largestError = 0;    // NEAREST: largest entry difference

        // "Annex K luminance at quality 75", "nearest: ... largest error 3",
        // "custom".
        QString describe() const;
    };

    struct HuffmanTableInfo
    {
        bool ac = false; // AC table, else DC
        int slot = 0;
        int codes = 0;         // number of symbols the table codes
        bool standard = false; // one of the standard's Annex K tables
    };

    // A metadata segment: APPn or COM.
    struct Segment
    {
        int marker = 0; // 0xE0..0xEF, 0xFE
        QString name; // "JFIF", "Exif", "ICC profile", "XMP", "Comment", "APP13 (Photoshop 3.0)"...
        int size = 0; // bytes after the length field
        QString detail; // a comment's text, a JFIF version...
    };

    // The quantized coefficients of one component as stored: blocks row by
    // row, 64 values per block in natural order.
    struct ComponentCoefficients
    {
        int widthInBlocks = 0;
        int heightInBlocks = 0;
        QuantizationTable quantization; // the table the decoder used
        std::vector<std::int16_t> values;

        const std::int16_t* block(int column, int row) const
        {
            return values.data() + (std::size_t(row) * widthInBlocks + column) * 64;
        }
    };

    // Empty when the file was read; otherwise why it was refused, and
    // nothing else is meaningful.
    QString error;
    // A problem the file was read despite (data after the end, a missing
    // end marker, corrupt entropy-coded data).
    QString warning;

    FrameType frameType = BASELINE;
    bool arithmetic = false; // arithmetic coding instead of Huffman
    int precision = 8;       // sample precision in bits
    int width = 0;
    int height = 0;
    std::vector<Component> components;
    std::vector<QuantizationTableInfo> quantizationTables; // in file order
    std::vector<HuffmanTableInfo> huffmanTables;           // in file order
    int restartInterval = 0;                               // MCUs, 0 if none
    bool jfif = false;                                     // a JFIF segment is present
    int adobeTransform = -1; // an Adobe segment's colour transform, -1 without one
    int scans = 0;
    std::vector<Segment> segments; // in file order
    // Definitions and segments beyond MAX_LISTED, not kept.
    int omittedQuantizationTables = 0;
    int omittedHuffmanTables = 0;
    int omittedSegments = 0;
    bool anyOptimisedHuffman = false; // a table of the file, kept or not, is not standard

    // Filled by read(..., true): one entry per component. Empty if not asked
    // for, or if the library could not read them (coefficientError says why).
    std::vector<ComponentCoefficients> coefficients;
    QString coefficientError;

    bool isValid() const { return error.isEmpty(); }

    // The colour space a decoder reads the components in: grey for one
    // component; for three, YCbCr with a JFIF segment, else by the Adobe
    // transform (0: RGB), else RGB only for the component ids 'R', 'G', 'B';
    // for four, YCCK with an Adobe transform other than 0, else CMYK.
    enum ColourSpace { GREY, YCBCR, RGB, CMYK, YCCK, UNKNOWN };
    ColourSpace colourSpace() const;
    QString colourSpaceName() const; // "YCbCr", "RGB", "CMYK", "YCCK", "grey"
    // The component's name in that colour space: "Y", "Cb", "R", "K",
    // "Y (grey)"; "Component 5" beyond it.
    QString componentName(std::size_t index) const;
    QString frameTypeName() const;
    // The largest sampling factors of the components (1 without any): an
    // MCU of the frame is 8 times these in pixels.
    int maxHorizontalSampling() const;
    int maxVerticalSampling() const;
    // The last definition of a slot, or null.
    const QuantizationTableInfo* tableForSlot(int slot) const;
    // True when every Huffman table is a standard one; false with none.
    bool standardHuffman() const;

    // Makes `settings` compress the way this file was made, as far as the
    // encoder can ("Adjust quality" off): the tables of the slots the first
    // three components use, marked in use (the others marked unused) - as
    // the Annex K tables and the quality when they are exactly those scaled
    // by one quality, else verbatim at quality 50, which scales by 100 %;
    // the sampling factors of the first three components, baseline or
    // extended mode, progression, optimised Huffman coding unless every
    // table is a standard one, and grey output for a one-component file.
    void copySettingsTo(JPEGSettings& settings) const;
    // What copySettingsTo() cannot make the encoder do as this file was
    // made (its colour space, restart interval, ...), one phrase each;
    // empty when it reproduces everything it reads here.
    QStringList settingsNotReproduced() const;

    static JpegFileInfo read(const QByteArray& bytes, bool withCoefficients = false);
    static JpegFileInfo readFile(const QString& path, bool withCoefficients = false);

    // How a table compares with the Annex K tables; exposed for the table
    // editor and tests. `precision` is 8 or 16.
    static QuantizationTableInfo classify(const QuantizationTable& table, int precision);
};
