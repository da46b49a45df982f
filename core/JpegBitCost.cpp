// SPDX-License-Identifier: GPL-3.0-or-later
#include "JpegBitCost.h"

#include "JpegMarkers.h"
#include "ZigZag.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>

namespace {

// Thrown inside the walk; caught once in read().
struct Corrupt
{
    QString why;
};

[[noreturn]] void corrupt(const QString& why)
{
    throw Corrupt{why};
}

// --- Huffman tables ----------------------------------------------------------

// A table as defined by a DHT segment, with the canonical codes derived
// from it: codes of length l run from minCode[l] to maxCode[l].
struct HuffmanTable
{
    bool defined = false;
    std::array<int, 17> minCode{};
    std::array<int, 17> maxCode{};
    std::array<int, 17> first{}; // index in values of the first code of length l
    std::array<unsigned char, 256> values{};

    // `counts` is the 16 code counts, `symbols` their values.
    void define(const unsigned char* counts, const unsigned char* symbols, int total)
    {
        std::memcpy(values.data(), symbols, std::size_t(total));
        int code = 0;
        int k = 0;
        for (int length = 1; length <= 16; ++length) {
            const int n = counts[length - 1];
            first[std::size_t(length)] = k;
            minCode[std::size_t(length)] = code;
            code += n;
            k += n;
            if (code > (1 << length))
                corrupt(QStringLiteral("A Huffman table has more codes than its lengths allow."));
            maxCode[std::size_t(length)] = n ? code - 1 : -1;
            code <<= 1;
        }
        defined = true;
    }
};

// --- Reading the entropy-coded data --------------------------------------------

// Reads bits from an entropy-coded segment: stuffed zero bytes are skipped
// and counted, and a marker ends the data. `consumed` counts the bits taken,
// `dataBytes` the bytes they came from.
struct BitReader
{
    const unsigned char* d = nullptr;
    std::int64_t n = 0;
    std::int64_t pos = 0;
    unsigned current = 0;
    int left = 0; // bits of `current` not yet taken
    bool atMarker = false;
    std::uint64_t consumed = 0;
    std::int64_t dataBytes = 0;
    std::int64_t stuffing = 0;

    bool fill()
    {
        if (atMarker || pos >= n) {
            atMarker = true;
            return false;
        }
        const unsigned char byte = d[pos];
        if (byte == 0xFF) {
            if (pos + 1 < n && d[pos + 1] == 0) {
                pos += 2;
                ++stuffing;
            } else {
                atMarker = true;
                return false;
            }
        } else {
            ++pos;
        }
        ++dataBytes;
        current = byte;
        left = 8;
        return true;
    }

    unsigned bit()
    {
        if (left == 0 && !fill())
            corrupt(QStringLiteral("The entropy-coded data ends before the last block at byte "
                                   "%1.")
                        .arg(pos));
        --left;
        ++consumed;
        return (current >> left) & 1u;
    }

    unsigned bits(int count)
    {
        unsigned value = 0;
        for (int i = 0; i < count; ++i)
            value = (value << 1) | bit();
        return value;
    }

    // Decodes one symbol; `code` and `length` receive the code read.
    int decode(const HuffmanTable& table, unsigned& code, int& length)
    {
        int c = 0;
        for (int l = 1; l <= 16; ++l) {
            c = (c << 1) | int(bit());
            if (c <= table.maxCode[std::size_t(l)]) {
                code = unsigned(c);
                length = l;
                return table.values[std::size_t(table.first[std::size_t(l)] + c -
                                                table.minCode[std::size_t(l)])];
            }
        }
        corrupt(QStringLiteral("An undefined Huffman code near byte %1.").arg(pos));
    }

    // Skips what is left of the data up to the next marker; returns the
    // bits skipped.
    std::uint64_t finish()
    {
        std::uint64_t skipped = std::uint64_t(left);
        left = 0;
        while (fill()) {
            skipped += 8;
            left = 0;
        }
        return skipped;
    }
};

int extend(unsigned value, int size)
{
    if (size == 0)
        return 0;
    const int v = int(value);
    return v < (1 << (size - 1)) ? v - (1 << size) + 1 : v;
}

std::int16_t shifted(int value, int shift)
{
    return std::int16_t(static_cast<unsigned>(value) << shift);
}

// --- The walk ------------------------------------------------------------------

class Walker
{
public:
    Walker(const QByteArray& bytes, const JpegBitCost::Options& options, JpegBitCost& out)
        : d(reinterpret_cast<const unsigned char*>(bytes.constData())), n(bytes.size()),
          options(options), out(out)
    {
    }

    void run();
    // Totals the blocks' bits; drops the coefficients unless kept.
    void finishComponents();

private:
    struct ScanState
    {
        JpegBitCost::Scan* scan = nullptr;
        std::array<int, 4> dcTable{};
        std::array<int, 4> acTable{};
        std::array<int, 4> prediction{};
        int eobRun = 0;
        // The pending end-of-band run: its first block, its bits, the share
        // of every other block and how many blocks it has reached.
        int runComponent = -1;
        std::size_t runBlock = 0;
        std::uint64_t runCost = 0;
        std::uint64_t newRunCost = 0; // of a run the current block starts
        std::uint64_t runShare = 0;
        std::uint64_t runReached = 0;
        int runSlot = 0;
        int runLength = 0;
        std::size_t runTraceSymbol = 0;
        bool runTraced = false;
    };

    void account(const JpegMarkerWalk::Segment& segment);
    void frame(int marker, const unsigned char* s, int size);
    void allocate();
    void huffmanTables(const unsigned char* s, int size);
    std::int64_t scan(std::int64_t pos, const unsigned char* s, int size);
    void prepareShares(JpegBitCost::Scan& scan);
    void decodeScan(ScanState& state, BitReader& reader);
    void restart(ScanState& state, BitReader& reader, int expected);
    void block(ScanState& state, BitReader& reader, int slot, int column, int row);
    std::uint64_t sequentialBlock(ScanState& state, BitReader& reader, int slot,
                                  std::int16_t* coef);
    void dcFirst(ScanState& state, BitReader& reader, int slot, std::int16_t* coef);
    void dcRefine(ScanState& state, BitReader& reader, std::int16_t* coef);
    int acFirst(ScanState& state, BitReader& reader, std::int16_t* coef);
    int acRefine(ScanState& state, BitReader& reader, std::int16_t* coef);
    void refineNonzero(ScanState& state, BitReader& reader, std::int16_t* coef, int k);
    void shareOfRun(ScanState& state, int slot, int c, std::size_t index);
    void endRun(ScanState& state);
    void charge(ScanState& state, int slot, int c, std::size_t block, std::uint64_t bits, bool dc);
    void traceSymbol(JpegBitCost::Symbol symbol);

    const unsigned char* d;
    std::int64_t n;
    const JpegBitCost::Options& options;
    JpegBitCost& out;

    bool frameSeen = false;
    bool walkable = true;
    int hmax = 1;
    int vmax = 1;
    int mcusAcross = 0;
    int mcusDown = 0;
    std::array<HuffmanTable, 4> dcTables;
    std::array<HuffmanTable, 4> acTables;
    std::vector<std::int16_t> scratch; // one block, sequential files without kept coefficients
    std::int64_t scanCells = 0;
    bool tracing = false; // inside the traced block
    // The traced block's index in its component, or none.
    std::size_t tracedBlock = std::size_t(-1);
};

void Walker::run()
{
    JpegMarkerWalk walk(d, n);
    if (!walk.startsWithImage())
        corrupt(QStringLiteral("This is not a JPEG file."));
    out.headerBytes += 2;
    JpegMarkerWalk::Segment segment;
    for (;;) {
        const JpegMarkerWalk::Step step = walk.next(segment);
        out.fillBytes += segment.fillBytes;
        if (step == JpegMarkerWalk::FAILED)
            corrupt(walk.error());
        if (step == JpegMarkerWalk::END_OF_DATA) {
            out.trailingBytes += n - segment.offset;
            return;
        }
        if (step == JpegMarkerWalk::END_OF_IMAGE) {
            out.headerBytes += 2;
            out.trailingBytes = n - walk.position();
            return;
        }
        if (segment.marker == 0xDA)
            walk.setPosition(scan(segment.offset, segment.data, segment.size));
        else
            account(segment);
        if (!walkable)
            return;
    }
}

// Accounts for a segment other than a scan's and reads what the walk needs
// of it.
void Walker::account(const JpegMarkerWalk::Segment& segment)
{
    const int marker = segment.marker;
    if (marker == 0xDB || marker == 0xC4 || marker == 0xCC)
        out.tableBytes += segment.bytes();
    else if ((marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE)
        out.metadataBytes += segment.bytes();
    else
        out.headerBytes += segment.bytes();
    const unsigned char* s = segment.data;
    const int size = segment.size;
    if (segment.standalone())
        return;
    if (JpegMarkerWalk::isFrameMarker(marker))
        frame(marker, s, size);
    else if (marker == 0xC4)
        huffmanTables(s, size);
    else if (marker == 0xDD) {
        if (size < 2)
            corrupt(QStringLiteral("The restart interval segment is too short."));
        out.restartInterval = (s[0] << 8) | s[1];
    }
}

void Walker::frame(int marker, const unsigned char* s, int size)
{
    if (frameSeen)
        corrupt(QStringLiteral("The file has more than one frame header."));
    frameSeen = true;
    if (marker >= 0xC9) {
        out.notWalked = QStringLiteral("Arithmetic-coded: the bits of its blocks are not "
                                       "measured.");
        walkable = false;
    } else if ((marker & 3) == 3) {
        out.notWalked = QStringLiteral("Lossless: it has no DCT blocks to measure.");
        walkable = false;
    } else if (marker >= 0xC5) {
        out.notWalked = QStringLiteral("Hierarchical: its frames are not measured.");
        walkable = false;
    }
    if (!walkable)
        return;
    out.progressive = (marker & 3) == 2;
    if (size < 6 || s[5] < 1 || s[5] > 4 || size != 6 + 3 * s[5])
        corrupt(QStringLiteral("The frame header is malformed."));
    if (s[0] != 8 && s[0] != 12)
        corrupt(QStringLiteral("A sample precision of %1 bits.").arg(int(s[0])));
    out.height = (s[1] << 8) | s[2];
    out.width = (s[3] << 8) | s[4];
    if (out.width == 0 || out.height == 0)
        corrupt(QStringLiteral("The frame has no size (a height given later is not supported)."));
    for (int c = 0; c < s[5]; ++c) {
        JpegBitCost::Component component;
        component.id = s[6 + 3 * c];
        component.horizontal = s[7 + 3 * c] >> 4;
        component.vertical = s[7 + 3 * c] & 15;
        if (component.horizontal < 1 || component.horizontal > 4 || component.vertical < 1 ||
            component.vertical > 4)
            corrupt(QStringLiteral("Illegal sampling factors."));
        hmax = std::max(hmax, component.horizontal);
        vmax = std::max(vmax, component.vertical);
        out.components.push_back(component);
    }
    allocate();
}

// Sizes every component's block grid as the library does and allocates
// the per-block counts (and coefficients where they are needed).
void Walker::allocate()
{
    mcusAcross = (out.width + 8 * hmax - 1) / (8 * hmax);
    mcusDown = (out.height + 8 * vmax - 1) / (8 * vmax);
    std::int64_t total = 0;
    for (JpegBitCost::Component& c : out.components) {
        const std::int64_t w = (std::int64_t(out.width) * c.horizontal + hmax - 1) / hmax;
        const std::int64_t h = (std::int64_t(out.height) * c.vertical + vmax - 1) / vmax;
        c.widthInBlocks = int((w + 7) / 8);
        c.heightInBlocks = int((h + 7) / 8);
        c.storedWidth = mcusAcross * c.horizontal;
        c.storedHeight = mcusDown * c.vertical;
        total += std::int64_t(c.storedWidth) * c.storedHeight;
    }
    if (total > options.maxBlocks)
        corrupt(QStringLiteral("The picture of %1 x %2 pixels has too many blocks to measure.")
                    .arg(out.width)
                    .arg(out.height));
    if (options.traceComponent >= 0 && options.traceComponent < int(out.components.size())) {
        const JpegBitCost::Component& traced = out.components[std::size_t(options.traceComponent)];
        if (options.traceColumn >= 0 && options.traceColumn < traced.storedWidth &&
            options.traceRow >= 0 && options.traceRow < traced.storedHeight)
            tracedBlock = traced.index(options.traceColumn, options.traceRow);
    }
    const bool coefficients = options.keepCoefficients || out.progressive;
    for (JpegBitCost::Component& c : out.components) {
        const std::size_t blocks = std::size_t(c.storedWidth) * std::size_t(c.storedHeight);
        c.dcBits.assign(blocks, 0);
        c.acBits.assign(blocks, 0);
        if (coefficients)
            c.coefficients.assign(blocks * 64, 0);
    }
    if (!coefficients)
        scratch.assign(64, 0);
}

void Walker::huffmanTables(const unsigned char* s, int size)
{
    int p = 0;
    while (p < size) {
        if (p + 17 > size)
            corrupt(QStringLiteral("A Huffman table is cut short."));
        const int kind = s[p] >> 4;
        const int slot = s[p] & 15;
        if (kind > 1 || slot > 3)
            corrupt(QStringLiteral("A Huffman table of class %1 for slot %2.").arg(kind).arg(slot));
        const unsigned char* counts = s + p + 1;
        int total = 0;
        for (int i = 0; i < 16; ++i)
            total += counts[i];
        p += 17;
        if (total > 256 || p + total > size)
            corrupt(QStringLiteral("A Huffman table is cut short."));
        (kind ? acTables : dcTables)[std::size_t(slot)].define(counts, s + p, total);
        p += total;
    }
}

// Reads the scan header at `s` and decodes the scan's data, which begins at
// s + size; returns where the marker after the data starts.
std::int64_t Walker::scan(std::int64_t markerPos, const unsigned char* s, int size)
{
    if (!frameSeen)
        corrupt(QStringLiteral("A scan comes before the frame header."));
    if (int(out.scans.size()) >= JpegBitCost::MAX_SCANS)
        corrupt(QStringLiteral("The file has more than %1 scans.").arg(JpegBitCost::MAX_SCANS));
    if (size < 1 || s[0] < 1 || s[0] > 4 || size != 4 + 2 * s[0])
        corrupt(QStringLiteral("A scan header is malformed."));
    out.scans.emplace_back();
    JpegBitCost::Scan& scan = out.scans.back();
    scan.offset = markerPos;
    scan.headerBytes = 2 + 2 + size;
    ScanState state;
    state.scan = &scan;
    const int count = s[0];
    for (int i = 0; i < count; ++i) {
        const int id = s[1 + 2 * i];
        int c = 0;
        while (c < int(out.components.size()) && out.components[std::size_t(c)].id != id)
            ++c;
        if (c == int(out.components.size()) ||
            std::find(scan.components.begin(), scan.components.end(), c) != scan.components.end())
            corrupt(QStringLiteral("A scan names component %1 wrongly.").arg(id));
        scan.components.push_back(c);
        state.dcTable[std::size_t(i)] = s[2 + 2 * i] >> 4;
        state.acTable[std::size_t(i)] = s[2 + 2 * i] & 15;
        if (state.dcTable[std::size_t(i)] > 3 || state.acTable[std::size_t(i)] > 3)
            corrupt(QStringLiteral("A scan uses a Huffman table slot above 3."));
    }
    const unsigned char* tail = s + 1 + 2 * count;
    if (out.progressive) {
        scan.spectralStart = tail[0];
        scan.spectralEnd = tail[1];
        scan.approximationHigh = tail[2] >> 4;
        scan.approximationLow = tail[2] & 15;
        const bool dc = scan.spectralStart == 0;
        if (scan.spectralEnd > 63 || scan.spectralStart > scan.spectralEnd ||
            (dc && scan.spectralEnd != 0) || (!dc && count != 1) || scan.approximationLow > 13 ||
            (scan.approximationHigh && scan.approximationHigh != scan.approximationLow + 1))
            corrupt(QStringLiteral("Scan %1 has an illegal progression.").arg(out.scans.size()));
    }
    // The tables the scan's kind of coding needs must be defined.
    for (int i = 0; i < count; ++i) {
        const bool needsDc = scan.spectralStart == 0 && scan.approximationHigh == 0;
        const bool needsAc = !out.progressive || scan.spectralStart > 0;
        if ((needsDc && !dcTables[std::size_t(state.dcTable[std::size_t(i)])].defined) ||
            (needsAc && !acTables[std::size_t(state.acTable[std::size_t(i)])].defined))
            corrupt(
                QStringLiteral("Scan %1 uses an undefined Huffman table.").arg(out.scans.size()));
    }
    prepareShares(scan);
    BitReader reader;
    reader.d = d;
    reader.n = n;
    reader.pos = markerPos + scan.headerBytes;
    decodeScan(state, reader);
    endRun(state);
    scan.paddingBits += reader.finish();
    scan.blockBits = reader.consumed;
    if (reader.consumed + scan.paddingBits != std::uint64_t(reader.dataBytes) * 8)
        corrupt(QStringLiteral("Scan %1 is not accounted for.").arg(out.scans.size()));
    scan.stuffingBytes = reader.stuffing;
    return reader.pos;
}

// Decodes every MCU of the scan, restart interval by restart interval.
void Walker::decodeScan(ScanState& state, BitReader& reader)
{
    const JpegBitCost::Scan& scan = *state.scan;
    const bool interleaved = scan.components.size() > 1;
    const JpegBitCost::Component& only = out.components[std::size_t(scan.components[0])];
    const int across = interleaved ? mcusAcross : only.widthInBlocks;
    const int down = interleaved ? mcusDown : only.heightInBlocks;
    const std::int64_t mcus = std::int64_t(across) * down;
    int nextRestart = 0;
    for (std::int64_t m = 0; m < mcus; ++m) {
        if (out.restartInterval && m > 0 && m % out.restartInterval == 0) {
            restart(state, reader, nextRestart);
            nextRestart = (nextRestart + 1) & 7;
        }
        const int mx = int(m % across);
        const int my = int(m / across);
        if (!interleaved) {
            block(state, reader, 0, mx, my);
            continue;
        }
        for (std::size_t slot = 0; slot < scan.components.size(); ++slot) {
            const JpegBitCost::Component& c = out.components[std::size_t(scan.components[slot])];
            for (int y = 0; y < c.vertical; ++y)
                for (int x = 0; x < c.horizontal; ++x)
                    block(state, reader, int(slot), mx * c.horizontal + x, my * c.vertical + y);
        }
    }
}

void Walker::restart(ScanState& state, BitReader& reader, int expected)
{
    endRun(state);
    state.scan->paddingBits += reader.finish();
    std::int64_t p = reader.pos;
    while (p + 1 < n && d[p] == 0xFF && d[p + 1] == 0xFF)
        ++p;
    if (p + 1 >= n || d[p] != 0xFF || d[p + 1] != 0xD0 + expected)
        corrupt(QStringLiteral("Restart marker %1 is missing at byte %2.").arg(expected).arg(p));
    state.scan->restartBytes += p + 2 - reader.pos;
    reader.pos = p + 2;
    reader.atMarker = false;
    state.prediction.fill(0);
    state.eobRun = 0;
}

// Keeps one count per block of the scan's components, unless the shares of
// all scans together would pass the limit; then none are kept.
void Walker::prepareShares(JpegBitCost::Scan& scan)
{
    std::int64_t needed = 0;
    for (int c : scan.components)
        needed += std::int64_t(out.components[std::size_t(c)].dcBits.size());
    if (!out.sharesDropped && scanCells + needed > JpegBitCost::MAX_SCAN_CELLS) {
        out.sharesDropped = true;
        for (JpegBitCost::Scan& earlier : out.scans)
            std::vector<std::vector<std::uint32_t>>().swap(earlier.shares);
    }
    if (out.sharesDropped)
        return;
    scanCells += needed;
    for (int c : scan.components)
        scan.shares.emplace_back(out.components[std::size_t(c)].dcBits.size(), 0);
}

// Decodes one block of the scan's component `slot` and charges its bits.
void Walker::block(ScanState& state, BitReader& reader, int slot, int column, int row)
{
    const JpegBitCost::Scan& scan = *state.scan;
    const int c = scan.components[std::size_t(slot)];
    JpegBitCost::Component& component = out.components[std::size_t(c)];
    const std::size_t index = component.index(column, row);
    std::int16_t* coef = scratch.data();
    if (component.coefficients.empty())
        std::fill(scratch.begin(), scratch.end(), std::int16_t(0));
    else
        coef = component.coefficients.data() + index * 64;
    tracing =
        c == options.traceComponent && column == options.traceColumn && row == options.traceRow;
    const std::uint64_t before = reader.consumed;
    if (!out.progressive) {
        const std::uint64_t dcBits = sequentialBlock(state, reader, slot, coef);
        charge(state, slot, c, index, dcBits, true);
        charge(state, slot, c, index, reader.consumed - before - dcBits, false);
    } else if (scan.isDc()) {
        if (scan.approximationHigh == 0)
            dcFirst(state, reader, slot, coef);
        else
            dcRefine(state, reader, coef);
        charge(state, slot, c, index, reader.consumed - before, true);
    } else {
        const bool inRun = state.eobRun > 0;
        const std::size_t traced = out.trace.size();
        const int run = scan.approximationHigh == 0 ? acFirst(state, reader, coef)
                                                    : acRefine(state, reader, coef);
        if (inRun) {
            shareOfRun(state, slot, c, index);
            charge(state, slot, c, index, reader.consumed - before, false);
        } else if (run > 0) {
            // The run's symbol is the last one traced in this block, or the
            // last but its correction bits.
            const std::uint64_t cost = state.newRunCost;
            const bool self = tracing;
            endRun(state);
            tracing = self;
            std::size_t symbolAt = traced;
            for (std::size_t i = traced; tracing && i < out.trace.size(); ++i)
                if (out.trace[i].kind == JpegBitCost::Symbol::END_OF_BLOCK)
                    symbolAt = i;
            state.runCost = cost;
            state.runComponent = c;
            state.runSlot = slot;
            state.runBlock = index;
            state.runLength = run;
            state.runShare = cost / std::uint64_t(run);
            state.runReached = 1;
            state.runTraced = tracing && symbolAt < out.trace.size();
            state.runTraceSymbol = symbolAt;
            charge(state, slot, c, index, reader.consumed - before - cost, false);
        } else {
            charge(state, slot, c, index, reader.consumed - before, false);
        }
    }
    tracing = false;
}

void Walker::charge(ScanState& state, int slot, int c, std::size_t block, std::uint64_t bits,
                    bool dc)
{
    if (bits == 0)
        return;
    JpegBitCost::Component& component = out.components[std::size_t(c)];
    (dc ? component.dcBits : component.acBits)[block] += std::uint32_t(bits);
    if (!state.scan->shares.empty())
        state.scan->shares[std::size_t(slot)][block] += std::uint32_t(bits);
    if (c == options.traceComponent && block == tracedBlock)
        out.traceBits += bits;
}

void Walker::traceSymbol(JpegBitCost::Symbol symbol)
{
    if (!tracing)
        return;
    if (int(out.trace.size()) >= JpegBitCost::MAX_TRACE) {
        out.traceTruncated = true;
        return;
    }
    symbol.scan = int(out.scans.size()) - 1;
    if (!symbol.share)
        symbol.bits = std::uint32_t(symbol.codeLength + symbol.extraLength);
    out.trace.push_back(symbol);
}

// A block inside an end-of-band run started by an earlier block: it gets
// the run's share.
void Walker::shareOfRun(ScanState& state, int slot, int c, std::size_t index)
{
    ++state.runReached;
    charge(state, slot, c, index, state.runShare, false);
    JpegBitCost::Symbol symbol;
    symbol.kind = JpegBitCost::Symbol::END_OF_BLOCK;
    symbol.share = true;
    symbol.sharedOver = state.runLength;
    symbol.bits = std::uint32_t(state.runShare);
    symbol.index = state.scan->spectralStart;
    traceSymbol(symbol);
}

// Gives the pending run's first block what the other blocks of the run
// did not get: its own share and the division's remainder (and the shares
// of blocks the run promised but the scan or interval did not have).
void Walker::endRun(ScanState& state)
{
    if (state.runComponent < 0)
        return;
    const std::uint64_t first = state.runCost - state.runShare * (state.runReached - 1);
    tracing = state.runTraced;
    charge(state, state.runSlot, state.runComponent, state.runBlock, first, false);
    if (state.runTraced)
        out.trace[state.runTraceSymbol].bits = std::uint32_t(first);
    tracing = false;
    state.runComponent = -1;
    state.runCost = 0;
}

// A whole block of a sequential scan; returns its DC bits.
std::uint64_t Walker::sequentialBlock(ScanState& state, BitReader& reader, int slot,
                                      std::int16_t* coef)
{
    const std::uint64_t start = reader.consumed;
    dcFirst(state, reader, slot, coef);
    const std::uint64_t dcBits = reader.consumed - start;
    const HuffmanTable& ac = acTables[std::size_t(state.acTable[std::size_t(slot)])];
    for (int k = 1; k < 64; ++k) {
        JpegBitCost::Symbol symbol;
        const int rs = reader.decode(ac, symbol.code, symbol.codeLength);
        symbol.run = rs >> 4;
        symbol.size = rs & 15;
        symbol.index = k;
        if (symbol.size == 0) {
            symbol.kind = symbol.run == 15 ? JpegBitCost::Symbol::ZERO_RUN
                                           : JpegBitCost::Symbol::END_OF_BLOCK;
            traceSymbol(symbol);
            if (symbol.run != 15)
                break;
            k += 15;
            continue;
        }
        k += symbol.run;
        if (k > 63)
            corrupt(QStringLiteral("A coefficient past the end of a block near byte %1.")
                        .arg(reader.pos));
        symbol.kind = JpegBitCost::Symbol::AC_COEFFICIENT;
        symbol.extra = reader.bits(symbol.size);
        symbol.extraLength = symbol.size;
        symbol.index = k;
        symbol.value = extend(symbol.extra, symbol.size);
        coef[ZigZag::toNatural[k]] = std::int16_t(symbol.value);
        traceSymbol(symbol);
    }
    return dcBits;
}

// The DC difference of a sequential scan or of a progressive file's first
// DC scan.
void Walker::dcFirst(ScanState& state, BitReader& reader, int slot, std::int16_t* coef)
{
    JpegBitCost::Symbol symbol;
    const HuffmanTable& dc = dcTables[std::size_t(state.dcTable[std::size_t(slot)])];
    const int size = reader.decode(dc, symbol.code, symbol.codeLength);
    if (size > 15)
        corrupt(QStringLiteral("A DC difference of category %1.").arg(size));
    symbol.size = size;
    symbol.extra = reader.bits(size);
    symbol.extraLength = size;
    int& prediction = state.prediction[std::size_t(slot)];
    prediction = int(unsigned(prediction) + unsigned(extend(symbol.extra, size)));
    coef[0] = shifted(prediction, state.scan->approximationLow);
    symbol.value = std::int16_t(prediction);
    traceSymbol(symbol);
}

void Walker::dcRefine(ScanState& state, BitReader& reader, std::int16_t* coef)
{
    JpegBitCost::Symbol symbol;
    symbol.kind = JpegBitCost::Symbol::DC_CORRECTION;
    symbol.extra = reader.bit();
    symbol.extraLength = 1;
    if (symbol.extra)
        coef[0] = std::int16_t(coef[0] | (1 << state.scan->approximationLow));
    symbol.value = coef[0];
    traceSymbol(symbol);
}

// A block of a first AC scan. Returns the length of an end-of-band run it
// starts (0 if none), leaving the run's bits in state.newRunCost.
int Walker::acFirst(ScanState& state, BitReader& reader, std::int16_t* coef)
{
    if (state.eobRun > 0) {
        --state.eobRun;
        return 0;
    }
    const JpegBitCost::Scan& scan = *state.scan;
    const HuffmanTable& ac = acTables[std::size_t(state.acTable[0])];
    for (int k = scan.spectralStart; k <= scan.spectralEnd; ++k) {
        JpegBitCost::Symbol symbol;
        const std::uint64_t start = reader.consumed;
        const int rs = reader.decode(ac, symbol.code, symbol.codeLength);
        symbol.run = rs >> 4;
        symbol.size = rs & 15;
        symbol.index = k;
        if (symbol.size) {
            k += symbol.run;
            if (k > scan.spectralEnd)
                corrupt(QStringLiteral("A coefficient past the end of a band near byte %1.")
                            .arg(reader.pos));
            symbol.kind = JpegBitCost::Symbol::AC_COEFFICIENT;
            symbol.extra = reader.bits(symbol.size);
            symbol.extraLength = symbol.size;
            symbol.index = k;
            symbol.value = extend(symbol.extra, symbol.size);
            coef[ZigZag::toNatural[k]] = shifted(symbol.value, scan.approximationLow);
            traceSymbol(symbol);
            continue;
        }
        if (symbol.run == 15) {
            symbol.kind = JpegBitCost::Symbol::ZERO_RUN;
            traceSymbol(symbol);
            k += 15;
            continue;
        }
        symbol.kind = JpegBitCost::Symbol::END_OF_BLOCK;
        int run = 1 << symbol.run;
        if (symbol.run) {
            symbol.extra = reader.bits(symbol.run);
            symbol.extraLength = symbol.run;
            run += int(symbol.extra);
        }
        symbol.sharedOver = run;
        traceSymbol(symbol);
        state.eobRun = run - 1;
        state.newRunCost = reader.consumed - start;
        return run;
    }
    return 0;
}

// The correction bit of a coefficient already nonzero, in a refinement scan.
void Walker::refineNonzero(ScanState& state, BitReader& reader, std::int16_t* coef, int k)
{
    std::int16_t& value = coef[ZigZag::toNatural[k]];
    const int p1 = 1 << state.scan->approximationLow;
    JpegBitCost::Symbol symbol;
    symbol.kind = JpegBitCost::Symbol::AC_CORRECTION;
    symbol.index = k;
    symbol.extra = reader.bit();
    symbol.extraLength = 1;
    if (symbol.extra && (value & p1) == 0)
        value = std::int16_t(value >= 0 ? value + p1 : value - p1);
    symbol.value = value;
    traceSymbol(symbol);
}

// A block of an AC refinement scan. Returns the length of an end-of-band
// run it starts (0 if none), leaving the run's code and extra bits in
// state.newRunCost; the correction bits that follow belong to the block.
int Walker::acRefine(ScanState& state, BitReader& reader, std::int16_t* coef)
{
    const JpegBitCost::Scan& scan = *state.scan;
    const HuffmanTable& ac = acTables[std::size_t(state.acTable[0])];
    const int p1 = 1 << scan.approximationLow;
    int k = scan.spectralStart;
    int started = 0;
    if (state.eobRun == 0) {
        for (; k <= scan.spectralEnd; ++k) {
            JpegBitCost::Symbol symbol;
            const std::uint64_t start = reader.consumed;
            const int rs = reader.decode(ac, symbol.code, symbol.codeLength);
            int run = rs >> 4;
            symbol.run = run;
            symbol.size = rs & 15;
            int value = 0;
            if (symbol.size) {
                // Only magnitude 1 is legal here; the library reads one bit
                // whatever the size says, and so does this.
                symbol.extra = reader.bit();
                symbol.extraLength = 1;
                value = symbol.extra ? p1 : -p1;
            } else if (run != 15) {
                symbol.kind = JpegBitCost::Symbol::END_OF_BLOCK;
                symbol.index = k;
                int length = 1 << run;
                if (run) {
                    symbol.extra = reader.bits(run);
                    symbol.extraLength = run;
                    length += int(symbol.extra);
                }
                symbol.sharedOver = length;
                traceSymbol(symbol);
                state.eobRun = length;
                state.newRunCost = reader.consumed - start;
                started = length;
                break;
            }
            // The symbol comes before the correction bits it skips over.
            std::size_t at = out.trace.size();
            symbol.kind =
                value ? JpegBitCost::Symbol::AC_COEFFICIENT : JpegBitCost::Symbol::ZERO_RUN;
            traceSymbol(symbol);
            const bool traced = tracing && at < out.trace.size();
            for (; k <= scan.spectralEnd; ++k) {
                if (coef[ZigZag::toNatural[k]] != 0)
                    refineNonzero(state, reader, coef, k);
                else if (--run < 0)
                    break;
            }
            if (value) {
                if (k > scan.spectralEnd)
                    corrupt(QStringLiteral("A coefficient past the end of a band near byte %1.")
                                .arg(reader.pos));
                coef[ZigZag::toNatural[k]] = std::int16_t(value);
            }
            if (traced) {
                out.trace[at].index = std::min(k, scan.spectralEnd);
                out.trace[at].value = value ? (symbol.extra ? 1 : -1) : 0;
            }
        }
    }
    if (state.eobRun > 0) {
        for (; k <= scan.spectralEnd; ++k)
            if (coef[ZigZag::toNatural[k]] != 0)
                refineNonzero(state, reader, coef, k);
        --state.eobRun;
    }
    return started;
}

void Walker::finishComponents()
{
    for (JpegBitCost::Component& c : out.components) {
        for (int row = 0; row < c.storedHeight; ++row)
            for (int column = 0; column < c.storedWidth; ++column) {
                const std::size_t i = c.index(column, row);
                c.totalDcBits += c.dcBits[i];
                c.totalAcBits += c.acBits[i];
                if (column >= c.widthInBlocks || row >= c.heightInBlocks)
                    c.outsideBits += c.dcBits[i] + c.acBits[i];
            }
        if (!options.keepCoefficients)
            std::vector<std::int16_t>().swap(c.coefficients);
    }
}

} // namespace

QString JpegBitCost::Scan::describe(const std::vector<Component>& all) const
{
    QStringList names;
    for (int c : components) {
        const int id = all[std::size_t(c)].id;
        names << (all.size() == 1 ? QStringLiteral("grey")
                  : c < 3         ? QString(QStringList{"Y", "Cb", "Cr"}[c])
                                  : QString::number(id));
    }
    if (spectralStart == 0 && spectralEnd == 63)
        return QStringLiteral("all of %1").arg(names.join(' '));
    QString text = spectralStart == 0 ? QStringLiteral("DC of %1").arg(names.join(' '))
                                      : QStringLiteral("AC %1-%2 of %3")
                                            .arg(spectralStart)
                                            .arg(spectralEnd)
                                            .arg(names.join(' '));
    if (approximationHigh)
        text += QStringLiteral(", refining bit %1").arg(approximationLow);
    else if (approximationLow)
        text += QStringLiteral(", bits from %1 up").arg(approximationLow);
    return text;
}

std::uint64_t JpegBitCost::totalBlockBits() const
{
    std::uint64_t total = 0;
    for (const Component& c : components)
        total += c.totalDcBits + c.totalAcBits;
    return total;
}

std::int64_t JpegBitCost::nonDataBytes() const
{
    std::int64_t total = headerBytes + tableBytes + metadataBytes + fillBytes + trailingBytes;
    for (const Scan& s : scans)
        total += s.headerBytes;
    return total;
}

std::uint64_t JpegBitCost::overheadBits() const
{
    std::uint64_t total = 0;
    for (const Scan& s : scans)
        total += std::uint64_t(s.stuffingBytes + s.restartBytes) * 8 + s.paddingBits;
    return total;
}

std::vector<std::uint32_t> JpegBitCost::lumaGridBits(int c) const
{
    std::vector<std::uint32_t> grid;
    if (components.empty() || c < 0 || c >= int(components.size()))
        return grid;
    const Component& luma = components[0];
    const Component& from = components[std::size_t(c)];
    grid.assign(std::size_t(luma.widthInBlocks) * std::size_t(luma.heightInBlocks), 0);
    // A block of `from` covers sx x sy luma blocks (at most 4 x 4).
    const int sx = std::max(1, luma.horizontal / from.horizontal);
    const int sy = std::max(1, luma.vertical / from.vertical);
    for (int row = 0; row < from.heightInBlocks; ++row)
        for (int column = 0; column < from.widthInBlocks; ++column) {
            const std::uint32_t bits = from.bits(column, row);
            const int count = sx * sy;
            const std::uint32_t share = bits / std::uint32_t(count);
            std::uint32_t remainder = bits - share * std::uint32_t(count);
            for (int y = 0; y < sy; ++y)
                for (int x = 0; x < sx; ++x) {
                    const int lx = column * sx + x;
                    const int ly = row * sy + y;
                    if (lx >= luma.widthInBlocks || ly >= luma.heightInBlocks)
                        continue;
                    grid[std::size_t(ly) * std::size_t(luma.widthInBlocks) + std::size_t(lx)] +=
                        share + remainder;
                    remainder = 0;
                }
        }
    return grid;
}

JpegBitCost::Summary JpegBitCost::summary() const
{
    const double none = std::nan("");
    Summary s{none, none, none, none, none};
    if (!ok() || components.empty())
        return s;
    s.dcBitsY = double(components[0].totalDcBits);
    s.acBitsY = double(components[0].totalAcBits);
    s.dcBitsC = s.acBitsC = 0;
    for (std::size_t c = 1; c < components.size(); ++c) {
        s.dcBitsC += double(components[c].totalDcBits);
        s.acBitsC += double(components[c].totalAcBits);
    }
    s.headerBytes = double(nonDataBytes());
    return s;
}

JpegBitCost JpegBitCost::read(const QByteArray& bytes, const Options& options)
{
    JpegBitCost out;
    out.fileBytes = bytes.size();
    try {
        Walker walker(bytes, options, out);
        walker.run();
        out.walked = out.notWalked.isEmpty();
        if (out.walked && out.scans.empty())
            corrupt(QStringLiteral("The file has no scan."));
        if (out.walked)
            walker.finishComponents();
    } catch (const Corrupt& failure) {
        out.error = failure.why;
    } catch (const std::bad_alloc&) {
        out.error = QStringLiteral("Not enough memory to measure the file.");
    }
    if (!out.error.isEmpty()) {
        out.walked = false;
        out.components.clear();
        out.scans.clear();
        out.trace.clear();
    }
    return out;
}
