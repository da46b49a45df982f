// SPDX-License-Identifier: GPL-3.0-or-later
#include "JpegFileInfo.h"

#include "JPEGCompressor.h"
#include "JPEGSettings.h"
#include "JpegErrorTrap.h"
#include "JpegMarkers.h"
#include "ZigZag.h"

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

extern "C" {
#include <jpeglib.h>
}

namespace {

// Appends `entry` to a list of table definitions kept to MAX_LISTED: when it
// is full, the oldest definition that a later one of the same slot replaces
// makes room, so that the last definition of every slot stays.
template <typename Table, typename SameSlot>
void keepTable(std::vector<Table>& tables, const Table& entry, int& omitted, SameSlot sameSlot)
{
    if (tables.size() >= JpegFileInfo::MAX_LISTED) {
        for (auto it = tables.begin(); it != tables.end(); ++it) {
            if (std::any_of(it + 1, tables.end(),
                            [&](const Table& later) { return sameSlot(*it, later); })) {
                tables.erase(it);
                break;
            }
        }
        ++omitted;
    }
    tables.push_back(entry);
}

// The library's coefficient buffers may not grow past this; beyond it the
// library would need a backing store, which this build lacks, and it stops
// with an error instead.
constexpr long maxLibraryMemory = 1536l * 1024 * 1024;

// --- The JPEG library, kept from ending the process --------------------------

// A progressive file may hold many more scans than the markers promised to a
// quick reader; each costs a pass over the coefficients, so stop early.
extern "C" void readerProgress(j_common_ptr cinfo)
{
    auto* decompress = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (decompress->input_scan_number > JpegFileInfo::MAX_SCANS) {
        char text[JMSG_LENGTH_MAX];
        std::snprintf(text, sizeof text, "more than %d scans", JpegFileInfo::MAX_SCANS);
        failJpegCall(cinfo, text);
    }
}

// One reading of the coefficients. Trivially destructible, and every
// function that sets the jump point holds nothing with a destructor, so a
// longjmp from the library skips no C++ cleanup. The steps return false
// with errors.message set when the library gave up; end() is always safe.
struct CoefficientJob
{
    jpeg_decompress_struct cinfo;
    JpegErrorTrap errors;
    jpeg_progress_mgr progress;
    jvirt_barray_ptr* arrays;

    bool start(const unsigned char* data, unsigned long size)
    {
        std::memset(this, 0, sizeof *this);
        cinfo.err = armJpegErrorTrap(errors);
        if (setjmp(errors.jump))
            return false;
        jpeg_CreateDecompress(&cinfo, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
        cinfo.mem->max_memory_to_use = maxLibraryMemory;
        progress.progress_monitor = readerProgress;
        cinfo.progress = &progress;
        jpeg_mem_src(&cinfo, data, size);
        jpeg_read_header(&cinfo, TRUE);
        return true;
    }

    bool readCoefficients()
    {
        if (setjmp(errors.jump))
            return false;
        arrays = jpeg_read_coefficients(&cinfo);
        return true;
    }

    // Copies component c's blocks, row by row, into `out`, which holds
    // width_in_blocks * height_in_blocks * 64 values.
    bool copyComponent(int c, std::int16_t* out)
    {
        if (setjmp(errors.jump))
            return false;
        const jpeg_component_info& component = cinfo.comp_info[c];
        const std::size_t rowValues = std::size_t(component.width_in_blocks) * DCTSIZE2;
        for (JDIMENSION row = 0; row < component.height_in_blocks; ++row) {
            JBLOCKARRAY blocks = (*cinfo.mem->access_virt_barray)(
                reinterpret_cast<j_common_ptr>(&cinfo), arrays[c], row, 1, FALSE);
            std::memcpy(out + row * rowValues, blocks[0], rowValues * sizeof(JCOEF));
        }
        return true;
    }

    void end() { jpeg_destroy_decompress(&cinfo); }
};

static_assert(sizeof(JCOEF) == sizeof(std::int16_t), "coefficients are copied as 16-bit values");

// --- The standard Huffman tables ---------------------------------------------

// The four tables of the standard's Annex K.3, as the library sets them up
// for a new compression: [ac][slot].
struct StandardHuffman
{
    bool known;
    unsigned char bits[2][2][17];
    unsigned char values[2][2][256];
};

struct StandardHuffmanJob
{
    static bool run(StandardHuffman& out)
    {
        jpeg_compress_struct cinfo;
        JpegErrorTrap errors;
        std::memset(&cinfo, 0, sizeof cinfo);
        cinfo.err = armJpegErrorTrap(errors);
        if (setjmp(errors.jump)) {
            jpeg_destroy_compress(&cinfo);
            return false;
        }
        jpeg_CreateCompress(&cinfo, JPEG_LIB_VERSION, sizeof(jpeg_compress_struct));
        cinfo.in_color_space = JCS_RGB;
        cinfo.input_components = 3;
        jpeg_set_defaults(&cinfo);
        for (int slot = 0; slot < 2; ++slot) {
            const JHUFF_TBL* dc = cinfo.dc_huff_tbl_ptrs[slot];
            const JHUFF_TBL* ac = cinfo.ac_huff_tbl_ptrs[slot];
            if (!dc || !ac) {
                jpeg_destroy_compress(&cinfo);
                return false;
            }
            std::memcpy(out.bits[0][slot], dc->bits, 17);
            std::memcpy(out.values[0][slot], dc->huffval, 256);
            std::memcpy(out.bits[1][slot], ac->bits, 17);
            std::memcpy(out.values[1][slot], ac->huffval, 256);
        }
        jpeg_destroy_compress(&cinfo);
        return true;
    }
};

const StandardHuffman& standardHuffman()
{
    static const StandardHuffman tables = [] {
        StandardHuffman t;
        std::memset(&t, 0, sizeof t);
        t.known = StandardHuffmanJob::run(t);
        return t;
    }();
    return tables;
}

// `bits` is the 16 code counts of a table, `values` its `count` symbols.
bool isStandardHuffman(bool ac, const unsigned char* bits, const unsigned char* values, int count)
{
    const StandardHuffman& standard = standardHuffman();
    if (!standard.known)
        return false;
    for (int slot = 0; slot < 2; ++slot) {
        if (std::memcmp(standard.bits[ac][slot] + 1, bits, 16) == 0 &&
            std::memcmp(standard.values[ac][slot], values, std::size_t(count)) == 0)
            return true;
    }
    return false;
}

// --- Markers -------------------------------------------------------------------

// The zero-terminated identifier at the start of an APPn segment, if it is
// a short printable one.
QString identifier(const unsigned char* s, int size)
{
    int n = 0;
    while (n < size && n < 40 && s[n] >= 0x20 && s[n] < 0x7F)
        ++n;
    if (n == 0 || n >= size || s[n] != 0)
        return QString();
    return QString::fromLatin1(reinterpret_cast<const char*>(s), n);
}

JpegFileInfo::Segment describeSegment(int marker, const unsigned char* s, int size)
{
    JpegFileInfo::Segment segment;
    segment.marker = marker;
    segment.size = size;
    if (marker == 0xFE) {
        segment.name = QStringLiteral("Comment");
        const int shown = std::min(size, 200);
        QString text = QString::fromLatin1(reinterpret_cast<const char*>(s), shown);
        text.replace(QChar(0), QChar(' '));
        segment.detail = shown < size ? text + QStringLiteral("...") : text;
        return segment;
    }
    const int n = marker - 0xE0;
    const QString id = identifier(s, size);
    if (n == 0 && id == QLatin1String("JFIF")) {
        segment.name = QStringLiteral("JFIF");
        if (size >= 12) {
            static const char* const units[] = {"no units", "dots per inch", "dots per cm"};
            const int unit = s[7];
            segment.detail = QStringLiteral("version %1.%2, density %3 x %4 %5")
                                 .arg(int(s[5]))
                                 .arg(int(s[6]), 2, 10, QChar('0'))
                                 .arg((s[8] << 8) | s[9])
                                 .arg((s[10] << 8) | s[11])
                                 .arg(QLatin1String(unit <= 2 ? units[unit] : "(unknown units)"));
        }
    } else if (n == 0 && id == QLatin1String("JFXX")) {
        segment.name = QStringLiteral("JFIF extension");
    } else if (n == 1 && id == QLatin1String("Exif")) {
        segment.name = QStringLiteral("Exif");
    } else if (n == 1 && id == QLatin1String("http://ns.adobe.com/xap/1.0/")) {
        segment.name = QStringLiteral("XMP");
    } else if (n == 2 && id == QLatin1String("ICC_PROFILE")) {
        segment.name = QStringLiteral("ICC profile");
        if (size >= 14)
            segment.detail = QStringLiteral("part %1 of %2").arg(int(s[12])).arg(int(s[13]));
    } else if (n == 14 && id == QLatin1String("Adobe")) {
        segment.name = QStringLiteral("Adobe");
        if (size >= 12)
            segment.detail = QStringLiteral("colour transform %1").arg(int(s[11]));
    } else {
        segment.name = id.isEmpty() ? QStringLiteral("APP%1").arg(n)
                                    : QStringLiteral("APP%1 (%2)").arg(n).arg(id);
    }
    return segment;
}

// The readers of the segments the properties show. Each fills `info` from
// the payload `s` of `size` bytes and returns why the file is refused, or an
// empty string.

QString frameType(int marker, JpegFileInfo& info)
{
    if ((marker >= 0xC5 && marker <= 0xC7) || marker >= 0xCD)
        return QStringLiteral("Hierarchical (differential) JPEG frames are not supported.");
    // C0..C3 Huffman, C9..CB arithmetic coding.
    info.arithmetic = marker >= 0xC9;
    switch (marker & 0x03) {
    case 0:
        info.frameType = marker == 0xC0 ? JpegFileInfo::BASELINE : JpegFileInfo::EXTENDED;
        break;
    case 1:
        info.frameType = JpegFileInfo::EXTENDED;
        break;
    case 2:
        info.frameType = JpegFileInfo::PROGRESSIVE;
        break;
    default:
        info.frameType = JpegFileInfo::LOSSLESS;
        break;
    }
    return QString();
}

// One component of the frame header: identifier, sampling factors (H high
// nibble, V low), quantization table.
QString frameComponent(const unsigned char* s, JpegFileInfo& info)
{
    JpegFileInfo::Component component;
    component.id = s[0];
    component.horizontal = s[1] >> 4;
    component.vertical = s[1] & 15;
    component.table = s[2];
    if (component.horizontal < 1 || component.horizontal > 4 || component.vertical < 1 ||
        component.vertical > 4)
        return QStringLiteral("Component %1 has sampling factors %2 x %3; 1 to 4 are legal.")
            .arg(component.id)
            .arg(component.horizontal)
            .arg(component.vertical);
    if (component.table > 3)
        return QStringLiteral("Component %1 uses quantization table %2; 0 to 3 exist.")
            .arg(component.id)
            .arg(component.table);
    info.components.push_back(component);
    return QString();
}

QString readFrame(int marker, const unsigned char* s, int size, JpegFileInfo& info)
{
    const QString type = frameType(marker, info);
    if (!type.isEmpty())
        return type;
    if (size < 6)
        return QStringLiteral("The frame header is too short.");
    info.precision = s[0];
    info.height = (s[1] << 8) | s[2];
    info.width = (s[3] << 8) | s[4];
    const int count = s[5];
    if (count < 1 || count > 4 || size != 6 + 3 * count)
        return QStringLiteral("The frame header declares %1 components; 1 to 4 are supported.")
            .arg(count);
    if (info.width == 0 || info.height == 0)
        return QStringLiteral("The frame header gives the picture no size (%1 x %2).")
            .arg(info.width)
            .arg(info.height);
    for (int c = 0; c < count; ++c) {
        const QString why = frameComponent(s + 6 + 3 * c, info);
        if (!why.isEmpty())
            return why;
    }
    return QString();
}

QString readQuantizationTables(const unsigned char* s, int size, JpegFileInfo& info)
{
    int p = 0;
    while (p < size) {
        JpegFileInfo::QuantizationTableInfo table;
        const int wide = s[p] >> 4;
        table.slot = s[p] & 15;
        if (wide > 1 || table.slot > 3)
            return QStringLiteral("A quantization table with precision code %1 for slot %2.")
                .arg(wide)
                .arg(table.slot);
        table.precision = wide ? 16 : 8;
        ++p;
        if (p + 64 * (wide + 1) > size)
            return QStringLiteral("A quantization table is cut short.");
        QuantizationTable values;
        for (int k = 0; k < 64; ++k) {
            unsigned value = s[p++];
            if (wide)
                value = (value << 8) | s[p++];
            values[ZigZag::toNatural[k]] = value;
        }
        // Classified once the file is read, only if kept.
        table.table = values;
        keepTable(info.quantizationTables, table, info.omittedQuantizationTables,
                  [](const auto& a, const auto& b) { return a.slot == b.slot; });
    }
    return QString();
}

QString readHuffmanTables(const unsigned char* s, int size, JpegFileInfo& info)
{
    int p = 0;
    while (p < size) {
        if (p + 17 > size)
            return QStringLiteral("A Huffman table is cut short.");
        JpegFileInfo::HuffmanTableInfo table;
        const int kind = s[p] >> 4;
        table.slot = s[p] & 15;
        if (kind > 1 || table.slot > 3)
            return QStringLiteral("A Huffman table of class %1 for slot %2.")
                .arg(kind)
                .arg(table.slot);
        table.ac = kind == 1;
        const unsigned char* bits = s + p + 1;
        for (int i = 0; i < 16; ++i)
            table.codes += bits[i];
        p += 17;
        if (table.codes > 256 || p + table.codes > size)
            return QStringLiteral("A Huffman table is cut short or codes more than 256 symbols.");
        table.standard = isStandardHuffman(table.ac, bits, s + p, table.codes);
        p += table.codes;
        info.anyOptimisedHuffman |= !table.standard;
        keepTable(info.huffmanTables, table, info.omittedHuffmanTables,
                  [](const auto& a, const auto& b) { return a.slot == b.slot && a.ac == b.ac; });
    }
    return QString();
}

QString readScanHeader(const unsigned char* s, int size, JpegFileInfo& info)
{
    if (++info.scans > JpegFileInfo::MAX_SCANS)
        return QStringLiteral("The file has more than %1 scans.").arg(JpegFileInfo::MAX_SCANS);
    if (size < 1 || s[0] < 1 || s[0] > 4 || size != 4 + 2 * s[0])
        return QStringLiteral("Scan %1 has a malformed header.").arg(info.scans);
    return QString();
}

void readMetadata(int marker, const unsigned char* s, int size, JpegFileInfo& info)
{
    const JpegFileInfo::Segment segment = describeSegment(marker, s, size);
    // The colour transform of an Adobe segment: "Adobe", version, two flag
    // words, then the transform byte.
    if (segment.name == QLatin1String("Adobe") && size >= 12)
        info.adobeTransform = s[11];
    if (segment.name == QLatin1String("JFIF"))
        info.jfif = true;
    if (info.segments.size() < JpegFileInfo::MAX_LISTED)
        info.segments.push_back(segment);
    else
        ++info.omittedSegments;
}

// Reads one segment; a scan's entropy-coded data is stepped over. Other
// markers (DNL, extensions, restarts) carry nothing shown here.
QString readSegment(const JpegMarkerWalk::Segment& segment, JpegMarkerWalk& walk, bool& frame,
                    JpegFileInfo& info)
{
    const int marker = segment.marker;
    const unsigned char* s = segment.data;
    const int size = segment.size;
    if (segment.standalone())
        return QString();
    if (JpegMarkerWalk::isFrameMarker(marker)) {
        if (frame)
            return QStringLiteral("The file has more than one frame header.");
        frame = true;
        return readFrame(marker, s, size, info);
    }
    if (marker == 0xDB)
        return readQuantizationTables(s, size, info);
    if (marker == 0xC4)
        return readHuffmanTables(s, size, info);
    if (marker == 0xDD) {
        if (size < 2)
            return QStringLiteral("The restart interval segment is too short.");
        info.restartInterval = (s[0] << 8) | s[1];
    } else if (marker == 0xDA) {
        if (!frame)
            return QStringLiteral("A scan comes before the frame header.");
        const QString why = readScanHeader(s, size, info);
        if (!why.isEmpty())
            return why;
        walk.skipEntropyData();
    } else if ((marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE) {
        readMetadata(marker, s, size, info);
    }
    return QString();
}

// What the file as a whole lacks, once its markers are read.
void checkWhole(const JpegMarkerWalk& walk, bool frame, bool ended, JpegFileInfo& info)
{
    for (JpegFileInfo::QuantizationTableInfo& table : info.quantizationTables) {
        const int slot = table.slot;
        table = JpegFileInfo::classify(table.table, table.precision);
        table.slot = slot;
    }
    if (!frame)
        info.error = QStringLiteral("The file has no frame header.");
    else if (info.scans == 0)
        info.error = QStringLiteral("The file has no scan.");
    else if (!ended)
        info.warning = QStringLiteral("The file ends without an end-of-image marker.");
    else if (walk.position() < walk.size())
        info.warning = QStringLiteral("%1 bytes follow the end-of-image marker.")
                           .arg(walk.size() - walk.position());
}

// Walks the markers of `d`, filling everything but the coefficients. Only
// reads within the buffer and keeps nothing per pixel.
void readMarkers(const unsigned char* d, qsizetype n, JpegFileInfo& info)
{
    JpegMarkerWalk walk(d, n);
    if (!walk.startsWithImage()) {
        info.error = QStringLiteral("This is not a JPEG file: it does not begin with a "
                                    "start-of-image marker.");
        return;
    }
    bool frame = false;
    JpegMarkerWalk::Segment segment;
    JpegMarkerWalk::Step step;
    while ((step = walk.next(segment)) == JpegMarkerWalk::SEGMENT) {
        const QString why = readSegment(segment, walk, frame, info);
        if (!why.isEmpty()) {
            info.error = why;
            return;
        }
    }
    if (step == JpegMarkerWalk::FAILED)
        info.error = walk.error();
    else
        checkWhole(walk, frame, step == JpegMarkerWalk::END_OF_IMAGE, info);
}

// Fills info.coefficients through the library, or says in
// info.coefficientError why not.
void readCoefficients(const QByteArray& bytes, JpegFileInfo& info)
{
    if (info.frameType == JpegFileInfo::LOSSLESS) {
        info.coefficientError = QStringLiteral("A lossless JPEG holds no DCT coefficients.");
        return;
    }
    if (std::uint64_t(info.width) * info.height > JpegFileInfo::MAX_PIXELS) {
        info.coefficientError = QStringLiteral("The picture of %1 x %2 pixels is too large to "
                                               "read its coefficients.")
                                    .arg(info.width)
                                    .arg(info.height);
        return;
    }
    // Large, and the jump buffer and library state must not move: on the heap.
    auto* job = static_cast<CoefficientJob*>(std::malloc(sizeof(CoefficientJob)));
    if (!job) {
        info.coefficientError = QStringLiteral("Not enough memory to read the coefficients.");
        return;
    }
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    bool ok = job->start(data, static_cast<unsigned long>(bytes.size()));
    if (ok && job->cinfo.num_components != int(info.components.size())) {
        ok = false;
        std::snprintf(job->errors.message, sizeof job->errors.message,
                      "the library sees %d components", job->cinfo.num_components);
    }
    ok = ok && job->readCoefficients();
    if (ok) {
        try {
            std::vector<JpegFileInfo::ComponentCoefficients> all(info.components.size());
            for (int c = 0; ok && c < job->cinfo.num_components; ++c) {
                const jpeg_component_info& component = job->cinfo.comp_info[c];
                JpegFileInfo::ComponentCoefficients& out = all[std::size_t(c)];
                out.widthInBlocks = int(component.width_in_blocks);
                out.heightInBlocks = int(component.height_in_blocks);
                if (component.quant_table) {
                    for (int k = 0; k < 64; ++k)
                        out.quantization[unsigned(k)] = component.quant_table->quantval[k];
                }
                out.values.resize(std::size_t(out.widthInBlocks) * out.heightInBlocks * 64);
                ok = job->copyComponent(c, out.values.data());
            }
            if (ok)
                info.coefficients = std::move(all);
        } catch (const std::bad_alloc&) {
            ok = false;
            std::snprintf(job->errors.message, sizeof job->errors.message,
                          "not enough memory for the coefficients");
        }
    }
    if (!ok)
        info.coefficientError = QStringLiteral("The coefficients could not be read: %1")
                                    .arg(QString::fromLocal8Bit(job->errors.message));
    else if (job->errors.warning[0] && info.warning.isEmpty())
        info.warning = QString::fromLocal8Bit(job->errors.warning);
    job->end();
    std::free(job);
}

} // namespace

QString JpegFileInfo::QuantizationTableInfo::describe() const
{
    const QString base = chrominanceBase ? QStringLiteral("Annex K chrominance")
                                         : QStringLiteral("Annex K luminance");
    switch (match) {
    case EXACT:
        return QStringLiteral("%1 at quality %2").arg(base).arg(quality);
    case NEAREST:
        return QStringLiteral("nearest: %1 at quality %2, largest error %3")
            .arg(base)
            .arg(quality)
            .arg(largestError);
    case CUSTOM:
        break;
    }
    return QStringLiteral("custom");
}

JpegFileInfo::QuantizationTableInfo JpegFileInfo::classify(const QuantizationTable& table,
                                                           int precision)
{
    // Every quality's scaling of both Annex K tables, clamped as the encoder
    // clamps for the table's precision. An exact match wins; otherwise the
    // one with the smallest total difference is the nearest, as long as the
    // entries differ by no more than 15 % on average; beyond that the table
    // is called custom.
    QuantizationTableInfo result;
    result.table = table;
    result.precision = precision;
    const long long top = precision == 8 ? 255 : 32767;
    unsigned long long bestTotal = ~0ull;
    double bestRelative = 0;
    for (int chrominance = 0; chrominance < 2; ++chrominance) {
        const unsigned* base = chrominance ? annexKChrominance : annexKLuminance;
        for (int quality = 1; quality <= 100; ++quality) {
            const long long scale = JPEGCompressor::tableScaling(quality);
            unsigned long long total = 0;
            unsigned largest = 0;
            double relative = 0;
            for (unsigned k = 0; k < QuantizationTable::SIZE; ++k) {
                const long long expected = std::clamp((base[k] * scale + 50) / 100, 1LL, top);
                const long long difference =
                    std::llabs(static_cast<long long>(table[k]) - expected);
                total += static_cast<unsigned long long>(difference);
                largest =
                    std::max(largest, static_cast<unsigned>(std::min(difference, 0xFFFFFFLL)));
                relative += double(difference) / double(expected);
            }
            if (total == 0) {
                result.match = QuantizationTableInfo::EXACT;
                result.chrominanceBase = chrominance != 0;
                result.quality = quality;
                result.largestError = 0;
                return result;
            }
            if (total < bestTotal) {
                bestTotal = total;
                bestRelative = relative / QuantizationTable::SIZE;
                result.chrominanceBase = chrominance != 0;
                result.quality = quality;
                result.largestError = largest;
            }
        }
    }
    result.match =
        bestRelative <= 0.15 ? QuantizationTableInfo::NEAREST : QuantizationTableInfo::CUSTOM;
    return result;
}

JpegFileInfo::ColourSpace JpegFileInfo::colourSpace() const
{
    // The decoder's reading: the JFIF and Adobe markers first, then the
    // component ids.
    switch (components.size()) {
    case 1:
        return GREY;
    case 3: {
        if (jfif)
            return YCBCR;
        if (adobeTransform >= 0)
            return adobeTransform == 0 ? RGB : YCBCR;
        const bool rgbIds =
            components[0].id == 'R' && components[1].id == 'G' && components[2].id == 'B';
        return rgbIds ? RGB : YCBCR;
    }
    case 4:
        return adobeTransform > 0 ? YCCK : CMYK;
    default:
        return UNKNOWN;
    }
}

QString JpegFileInfo::colourSpaceName() const
{
    switch (colourSpace()) {
    case GREY:
        return QStringLiteral("grey");
    case YCBCR:
        return QStringLiteral("YCbCr");
    case RGB:
        return QStringLiteral("RGB");
    case CMYK:
        return QStringLiteral("CMYK");
    case YCCK:
        return QStringLiteral("YCCK");
    case UNKNOWN:
        break;
    }
    return QStringLiteral("unknown");
}

QString JpegFileInfo::componentName(std::size_t index) const
{
    static const char* const ycbcr[] = {"Y", "Cb", "Cr"};
    static const char* const rgb[] = {"R", "G", "B"};
    static const char* const cmyk[] = {"C", "M", "Y", "K"};
    static const char* const ycck[] = {"Y", "Cb", "Cr", "K"};
    const char* const* names = nullptr;
    switch (colourSpace()) {
    case GREY:
        return index == 0 ? QStringLiteral("Y (grey)") : QString();
    case YCBCR:
        names = ycbcr;
        break;
    case RGB:
        names = rgb;
        break;
    case CMYK:
        names = cmyk;
        break;
    case YCCK:
        names = ycck;
        break;
    case UNKNOWN:
        break;
    }
    if (!names || index >= components.size())
        return QStringLiteral("Component %1").arg(index + 1);
    return QString::fromLatin1(names[index]);
}

QString JpegFileInfo::frameTypeName() const
{
    QString name;
    switch (frameType) {
    case BASELINE:
        name = QStringLiteral("Baseline");
        break;
    case EXTENDED:
        name = QStringLiteral("Extended sequential");
        break;
    case PROGRESSIVE:
        name = QStringLiteral("Progressive");
        break;
    case LOSSLESS:
        name = QStringLiteral("Lossless");
        break;
    }
    return arithmetic ? name + QStringLiteral(", arithmetic coding") : name;
}

int JpegFileInfo::maxHorizontalSampling() const
{
    int largest = 1;
    for (const Component& c : components)
        largest = std::max(largest, c.horizontal);
    return largest;
}

int JpegFileInfo::maxVerticalSampling() const
{
    int largest = 1;
    for (const Component& c : components)
        largest = std::max(largest, c.vertical);
    return largest;
}

const JpegFileInfo::QuantizationTableInfo* JpegFileInfo::tableForSlot(int slot) const
{
    for (auto it = quantizationTables.rbegin(); it != quantizationTables.rend(); ++it) {
        if (it->slot == slot)
            return &*it;
    }
    return nullptr;
}

bool JpegFileInfo::standardHuffman() const
{
    if (huffmanTables.empty() || anyOptimisedHuffman)
        return false;
    return std::all_of(huffmanTables.begin(), huffmanTables.end(),
                       [](const HuffmanTableInfo& t) { return t.standard; });
}

namespace {

// The quality at which the Annex K tables scale to exactly the file's tables
// of `usedSlots` (K.1 for slot 0, K.2 for the others), or 0 when none does.
int annexKQuality(const JpegFileInfo& info, const std::vector<int>& usedSlots, bool baseline)
{
    for (int quality = 1; quality <= 100; ++quality) {
        bool all = true;
        for (int slot : usedSlots) {
            const JpegFileInfo::QuantizationTableInfo* table = info.tableForSlot(slot);
            const QuantizationTable base(slot == 0 ? annexKLuminance : annexKChrominance);
            const auto scaled = JPEGCompressor::effectiveTable(base, quality, baseline).values;
            all = all && table && std::equal(scaled.begin(), scaled.end(), table->table.getTable());
        }
        if (all)
            return quality;
    }
    return 0;
}

} // namespace

QStringList JpegFileInfo::settingsNotReproduced() const
{
    QStringList missing;
    const ColourSpace space = colourSpace();
    if (space != YCBCR && space != GREY)
        missing << QStringLiteral("the %1 colour space (the encoder writes YCbCr or grey)")
                       .arg(colourSpaceName());
    if (components.size() > 3)
        missing << QStringLiteral("%1 components (the encoder writes 3)").arg(components.size());
    if (restartInterval > 0)
        missing << QStringLiteral("the restart interval of %1 MCUs").arg(restartInterval);
    if (arithmetic)
        missing << QStringLiteral("arithmetic coding");
    if (frameType == LOSSLESS)
        missing << QStringLiteral("lossless coding");
    if (precision != 8)
        missing << QStringLiteral("%1-bit samples").arg(precision);
    // The encoder gives Y slot 0, Cb slot 1 and Cr slot 1 or 2.
    if (components.size() >= 3 && (components[0].table != 0 || components[1].table != 1 ||
                                   (components[2].table != 1 && components[2].table != 2)))
        missing << QStringLiteral("the components' choice of tables (%1, %2, %3)")
                       .arg(components[0].table)
                       .arg(components[1].table)
                       .arg(components[2].table);
    return missing;
}

void JpegFileInfo::copySettingsTo(JPEGSettings& settings) const
{
    // The slots the components use, the first three components' only.
    std::vector<int> used;
    for (std::size_t c = 0; c < components.size() && c < 3; ++c)
        if (std::find(used.begin(), used.end(), components[c].table) == used.end())
            used.push_back(components[c].table);
    for (int slot = 0; slot < 4; ++slot) {
        const QuantizationTableInfo* table = tableForSlot(slot);
        const bool inUse = std::find(used.begin(), used.end(), slot) != used.end();
        settings.getCurrentQuantizationTables()[slot] = table != nullptr && inUse;
        if (table)
            settings.qtables[slot] = table->table;
    }
    settings.setAutoQualityEnabled(false);
    // Tables that are the Annex K ones at some quality are kept as those
    // and that quality; any others verbatim, scaled by 100 % (quality 50).
    const int quality = annexKQuality(*this, used, frameType == BASELINE);
    settings.setQuality(quality > 0 ? quality : 50);
    if (quality > 0) {
        for (int slot : used)
            settings.qtables[slot] =
                QuantizationTable(slot == 0 ? annexKLuminance : annexKChrominance);
    }
    for (std::size_t c = 0; c < components.size() && c < 3; ++c)
        settings.downsampling[c] = {components[c].vertical, components[c].horizontal};
    settings.setCompressionMode(frameType == BASELINE ? JPEGSettings::BASELINE
                                                      : JPEGSettings::EXTENDED);
    settings.setProgressiveMode(frameType == PROGRESSIVE);
    settings.setOptimizeHuffman(!standardHuffman());
    settings.setGrayscaleOutput(components.size() == 1);
}

JpegFileInfo JpegFileInfo::read(const QByteArray& bytes, bool withCoefficients)
{
    JpegFileInfo info;
    readMarkers(reinterpret_cast<const unsigned char*>(bytes.constData()), bytes.size(), info);
    if (info.isValid() && withCoefficients)
        readCoefficients(bytes, info);
    return info;
}

JpegFileInfo JpegFileInfo::readFile(const QString& path, bool withCoefficients)
{
    JpegFileInfo info;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        info.error = QStringLiteral("%1 could not be opened: %2").arg(path, file.errorString());
        return info;
    }
    // Other kinds of picture are told apart without reading them whole.
    if (!file.peek(2).startsWith("\xFF\xD8")) {
        info.error = QStringLiteral("This is not a JPEG file: it does not begin with a "
                                    "start-of-image marker.");
        return info;
    }
    if (file.size() > MAX_FILE_SIZE) {
        info.error = QStringLiteral("%1 is larger than %2 MB.").arg(path).arg(MAX_FILE_SIZE >> 20);
        return info;
    }
    QByteArray bytes;
    try {
        bytes = file.readAll();
    } catch (const std::bad_alloc&) {
        info.error = QStringLiteral("Not enough memory to read %1.").arg(path);
        return info;
    }
    if (file.error() != QFileDevice::NoError) {
        info.error = QStringLiteral("%1 could not be read: %2").arg(path, file.errorString());
        return info;
    }
    return read(bytes, withCoefficients);
}
