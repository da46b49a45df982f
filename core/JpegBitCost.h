// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// Where the bytes of a JPEG file go: a walk of the entropy-coded data of a
// baseline, extended or progressive Huffman-coded file that charges every
// coded bit to the 8 x 8 block it codes, and the rest of the file to its
// markers, tables, metadata, restart markers, byte stuffing and padding.
//
// Accounting, exact to the bit: 8 * fileBytes equals the sum over every
// block of dcBits + acBits, plus 8 * (headerBytes + tableBytes +
// metadataBytes + fillBytes + trailingBytes) plus, over the scans,
// 8 * (headerBytes + stuffingBytes + restartBytes) + paddingBits.
//
// Progressive files: a block's DC bits are the bits of the DC scans coding
// it, its AC bits those of the AC scans. An end-of-band run codes several
// blocks with one symbol; its bits (the code and the run length's extra
// bits) are shared equally over the blocks of the run, the remainder of the
// division going to the run's first block. Correction bits of refinement
// scans belong to the block they refine.
//
// Arithmetic-coded, lossless and hierarchical files are described (walked
// is false, notWalked says why) but their data is not decoded. Corrupt data
// (an undefined code, a missing restart marker, data that ends early)
// stops the walk with `error` set; nothing else is then meaningful.
//
// Nothing in the input can make the walk allocate without bound: frames of
// more than Options::maxBlocks blocks and files of more than MAX_SCANS scans
// are refused, the per-scan shares are kept only while they fit in
// MAX_SCAN_CELLS values, and a traced block keeps at most MAX_TRACE symbols.
// A plain value: it may be made on one thread and read on another.
struct JpegBitCost
{
    static constexpr int MAX_SCANS = 1000;
    static constexpr std::int64_t MAX_BLOCKS = 1ll << 22;
    static constexpr std::int64_t MAX_SCAN_CELLS = 1ll << 24;
    static constexpr int MAX_TRACE = 4096;

    // One coded symbol of a traced block, in file order.
    struct Symbol
    {
        enum Kind {
            DC_DIFFERENCE,  // a DC difference (first DC scan or sequential)
            DC_CORRECTION,  // one refinement bit of the DC coefficient
            AC_COEFFICIENT, // run of zeros then a coefficient
            ZERO_RUN,       // 16 zeros (run 15, size 0)
            END_OF_BLOCK,   // end of block, or an end-of-band run
            AC_CORRECTION   // a refinement bit of a nonzero AC coefficient
        };
        Kind kind = DC_DIFFERENCE;
        int scan = 0;       // index into scans
        int run = 0;        // run of zeros; EOB runs: the run's exponent
        int size = 0;       // magnitude category
        unsigned code = 0;  // the Huffman code, codeLength bits
        int codeLength = 0; // 0 for correction bits
        unsigned extra = 0; // extra bits after the code, extraLength bits
        int extraLength = 0;
        int index = 0; // zig-zag position coded (0 for DC)
        int value = 0; // the coefficient coded, before the scan's shift
        // END_OF_BLOCK: the blocks of the end-of-band run (1 for a plain end
        // of block). In a block after the run's first, the symbol stands for
        // the block's share and has no code of its own.
        int sharedOver = 1;
        bool share = false;
        std::uint32_t bits = 0; // charged to the block for this symbol
    };

    struct Options
    {
        bool keepCoefficients = false; // fill Component::coefficients
        std::int64_t maxBlocks = MAX_BLOCKS;
        // Trace the symbols of one block (component index, block column
        // and row); -1 traces none.
        int traceComponent = -1;
        int traceColumn = 0;
        int traceRow = 0;
    };

    struct Component
    {
        int id = 0;
        int horizontal = 1;
        int vertical = 1;
        // Blocks inside the picture, as the library counts them.
        int widthInBlocks = 0;
        int heightInBlocks = 0;
        // Blocks stored: the picture's rounded up to whole MCUs of the
        // frame, since interleaved scans code those past the picture's edge.
        int storedWidth = 0;
        int storedHeight = 0;
        std::vector<std::uint32_t> dcBits; // per stored block, row by row
        std::vector<std::uint32_t> acBits;
        std::uint64_t totalDcBits = 0; // over every stored block
        std::uint64_t totalAcBits = 0;
        std::uint64_t outsideBits = 0; // of blocks past the picture's edge
        // With Options::keepCoefficients: 64 values per stored block,
        // natural order, as the library's coefficient reader gives them.
        std::vector<std::int16_t> coefficients;

        std::size_t index(int column, int row) const
        {
            return std::size_t(row) * std::size_t(storedWidth) + std::size_t(column);
        }
        std::uint32_t bits(int column, int row) const
        {
            const std::size_t i = index(column, row);
            return dcBits[i] + acBits[i];
        }
    };

    struct Scan
    {
        std::vector<int> components; // indices into components
        int spectralStart = 0;
        int spectralEnd = 63;
        int approximationHigh = 0;
        int approximationLow = 0;
        std::int64_t offset = 0;        // of the start-of-scan marker
        std::int64_t headerBytes = 0;   // the marker segment
        std::uint64_t blockBits = 0;    // charged to blocks
        std::int64_t stuffingBytes = 0; // zero bytes after 0xFF data bytes
        std::int64_t restartBytes = 0;  // restart markers
        std::uint64_t paddingBits = 0;  // bits after the last code of each interval
        // One vector per entry of `components`: this scan's bits per stored
        // block. Empty when the shares would exceed MAX_SCAN_CELLS.
        std::vector<std::vector<std::uint32_t>> shares;

        bool isDc() const { return spectralStart == 0; }
        std::int64_t bytes() const
        {
            return headerBytes + stuffingBytes + restartBytes +
                   std::int64_t((blockBits + paddingBits) / 8);
        }
        // "DC, Y Cb Cr, first", "AC 1-5 of Y, refine bit 0"
        QString describe(const std::vector<Component>& all) const;
    };

    QString error;     // set when the walk was attempted and failed
    QString notWalked; // set for a valid file whose coding is not walked
    bool walked = false;
    bool progressive = false;
    int width = 0;
    int height = 0;
    int restartInterval = 0;
    std::int64_t fileBytes = 0;
    std::int64_t headerBytes = 0;   // SOI, EOI, frame, restart-interval and other markers
    std::int64_t tableBytes = 0;    // quantization and Huffman table segments
    std::int64_t metadataBytes = 0; // APPn and COM segments
    std::int64_t fillBytes = 0;     // 0xFF fill bytes before markers
    std::int64_t trailingBytes = 0; // after the end-of-image marker
    std::vector<Component> components;
    std::vector<Scan> scans;
    bool sharesDropped = false; // per-scan shares not kept (too many)
    // With Options::traceComponent: the traced block's symbols in file
    // order, and their bits (the block's total, shares included).
    std::vector<Symbol> trace;
    std::uint64_t traceBits = 0;
    bool traceTruncated = false;

    bool ok() const { return walked && error.isEmpty(); }
    // Bits charged to blocks, over every component.
    std::uint64_t totalBlockBits() const;
    // Everything that is not entropy-coded data: the file's markers,
    // tables, metadata, fill and trailing bytes and the scan headers.
    std::int64_t nonDataBytes() const;
    // Restart markers, stuffing and padding over every scan, in bits.
    std::uint64_t overheadBits() const;
    // Component `c`'s bits per block summed over the luma block grid:
    // blocks of a subsampled component are spread over the luma blocks they
    // cover (equal shares, remainder to the first). widthInBlocks x
    // heightInBlocks of component 0, row by row.
    std::vector<std::uint32_t> lumaGridBits(int c) const;

    // The sweep table's split: DC and AC bits of luma (the first component)
    // and of chroma (the others summed), and nonDataBytes(). NaN throughout
    // when the file was not walked.
    struct Summary
    {
        double dcBitsY;
        double acBitsY;
        double dcBitsC;
        double acBitsC;
        double headerBytes;
    };
    Summary summary() const;

    static JpegBitCost read(const QByteArray& bytes, const Options& options);
    static JpegBitCost read(const QByteArray& bytes) { return read(bytes, Options()); }
};
