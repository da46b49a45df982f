// SPDX-License-Identifier: GPL-3.0-or-later
#include "JPEGCompressor.h"

#include "CompressionResult.h"
#include "Image.h"
#include "JpegErrorTrap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" {
#include <jpeglib.h>
}

namespace {

enum class Outcome { Written, LibraryError };

} // namespace

// Runs the library calls of one compression. Everything that a longjmp from
// the error handler may skip lives here, and all of it is trivially
// destructible: the compression object, the error manager and the output
// pointers. No C++ object with a destructor may be created in this frame.
//
// The library reads the 24-bit copy as it is, blue-green-red bottom row
// first, through row pointers: its conversion of BGR input is the same
// arithmetic as for RGB, so the JPEG does not depend on the byte order.
//
// The JPEG is written into `buffer` (`capacity` bytes, not null). When it
// does not fit, the library moves it into a larger buffer of its own; on
// success `buffer` then points at that one (malloc'd, now the caller's, the
// old one untouched) and `length` holds the JPEG's size. On failure `buffer`
// is unchanged and whatever the library allocated is freed.
struct JPEGEncodeJob
{
    static Outcome run(const JPEGSettings& settings, const unsigned char* bits24, unsigned pitch,
                       unsigned width, unsigned height, unsigned char*& buffer,
                       unsigned long capacity, unsigned long& length,
                       char (&message)[JMSG_LENGTH_MAX])
    {
        jpeg_compress_struct cinfo;
        // Zeroed so that the error path can tell what exists even when the
        // library fails before it has set the object up.
        std::memset(&cinfo, 0, sizeof cinfo);
        JpegErrorTrap errors;
        unsigned char* const given = buffer;
        unsigned char* out = given;
        unsigned long outSize = capacity;
        cinfo.err = armJpegErrorTrap(errors);
        if (setjmp(errors.jump)) {
            // The memory destination only tells where its data went when it
            // is terminated; a buffer it allocated while growing is ours to
            // free.
            if (cinfo.dest)
                (*cinfo.dest->term_destination)(&cinfo);
            if (out != given)
                std::free(out);
            jpeg_destroy_compress(&cinfo);
            std::memcpy(message, errors.message, sizeof message);
            return Outcome::LibraryError;
        }
        jpeg_CreateCompress(&cinfo, JPEG_LIB_VERSION, sizeof(jpeg_compress_struct));

        cinfo.data_precision = 8;
        cinfo.image_width = width;
        cinfo.image_height = height;
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_EXT_BGR;
        jpeg_set_defaults(&cinfo);
        JPEGCompressor::setOptions(settings, &cinfo);
        jpeg_mem_dest(&cinfo, &out, &outSize);

        jpeg_start_compress(&cinfo, TRUE);
        while (cinfo.next_scanline < cinfo.image_height) {
            // The library only reads the rows; its interface is not const.
            constexpr JDIMENSION batch = 16;
            JSAMPROW rows[batch];
            const JDIMENSION count = std::min(batch, cinfo.image_height - cinfo.next_scanline);
            for (JDIMENSION i = 0; i < count; ++i)
                rows[i] = const_cast<JSAMPROW>(
                    bits24 + std::size_t(height - 1 - (cinfo.next_scanline + i)) * pitch);
            jpeg_write_scanlines(&cinfo, rows, count);
        }
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        buffer = out;
        length = outSize;
        return Outcome::Written;
    }
};

void JPEGCompressor::setOptions(const JPEGSettings& s, jpeg_compress_struct* cinfo)
{
    const boolean forceBaseline = s.getCompressionMode() == JPEGSettings::BASELINE ? TRUE : FALSE;
    if (s.getOptimizeHuffman())
        cinfo->optimize_coding = TRUE;
    cinfo->smoothing_factor = s.getSmoothing();
    if (s.getGrayscaleOutput())
        jpeg_set_colorspace(cinfo, JCS_GRAYSCALE);
    else
        cinfo->jpeg_color_space = JCS_YCbCr;
    if (s.isProgressive() && !forceBaseline)
        jpeg_simple_progression(cinfo);

    if (s.isAutoQualityEnabled()) {
        jpeg_set_quality(cinfo, s.getQuality(), forceBaseline);
        return;
    }

    switch (s.getDCTMethod()) {
    case JPEGSettings::INT:
        cinfo->dct_method = JDCT_ISLOW;
        break;
    case JPEGSettings::FAST:
        cinfo->dct_method = JDCT_IFAST;
        break;
    case JPEGSettings::FLOAT:
        cinfo->dct_method = JDCT_FLOAT;
        break;
    }
    set_sampling(s, cinfo);

    const int scale = tableScaling(s.getQuality());
    const bool* current = s.getCurrentQuantizationTables();
    for (int slot = 0; slot < 4; ++slot) {
        if (current[slot])
            jpeg_add_quant_table(cinfo, slot, s.qtables[slot].getTable(), scale, forceBaseline);
    }
    // A third table in use is Cr's; otherwise Cr shares the chrominance table.
    if (current[2] && !s.getGrayscaleOutput() && cinfo->num_components >= 3)
        cinfo->comp_info[2].quant_tbl_no = 2;
}

int JPEGCompressor::tableScaling(int quality)
{
    return jpeg_quality_scaling(quality);
}

JPEGCompressor::EffectiveTable JPEGCompressor::effectiveTable(const QuantizationTable& table,
                                                              int quality, bool baseline)
{
    // The arithmetic of jpeg_add_quant_table, which offers no way to get its
    // result without a compression object; setOptions hands the same
    // entries and scaling to the library.
    const long long scale = tableScaling(quality);
    const long long top = baseline ? 255 : 32767;
    EffectiveTable effective;
    for (unsigned k = 0; k < QuantizationTable::SIZE; ++k) {
        const long long scaled = (static_cast<long long>(table[k]) * scale + 50) / 100;
        effective.values[k] = unsigned(std::clamp(scaled, 1LL, top));
        effective.clamped[k] = scaled < 1 || scaled > top;
    }
    return effective;
}

void JPEGCompressor::set_sampling(const JPEGSettings& s, jpeg_compress_struct* cinfo)
{
    for (int component = 0; component < 3; ++component) {
        cinfo->comp_info[component].h_samp_factor = s.downsampling[component].horizontal;
        cinfo->comp_info[component].v_samp_factor = s.downsampling[component].vertical;
    }
}

JPEGCompressor::~JPEGCompressor()
{
    std::free(output);
}

CompressionResult* JPEGCompressor::compressImage()
{
    error.clear();
    timings = Timings();
    if (!image || !image->getRGB24Buffer()) {
        error = QStringLiteral("There is no picture to compress.");
        return nullptr;
    }
    if (!reserveOutput())
        return nullptr;
    QByteArray bytes;
    if (!encode(bytes))
        return nullptr;
    Clock::time_point loaded;
    std::unique_ptr<Image> decoded = decodeAgain(bytes, loaded);
    if (!decoded)
        return nullptr;
    CompressionResult* result = new CompressionResult(image, decoded.release(), settings, bytes);
    if (!measured.isEmpty()) {
        const Clock::time_point similarityStart = Clock::now();
        if (!workspace)
            workspace = std::make_unique<QualityMetrics::Workspace>();
        result->measure(measured, *workspace);
        timings.similarity = Clock::now() - similarityStart;
    }
    timings.measuring = Clock::now() - loaded;
    return result;
}

bool JPEGCompressor::reserveOutput()
{
    // The library would allocate a first buffer itself, but could not report
    // a failure to do so safely; a small first buffer of our own avoids that.
    constexpr unsigned long firstCapacity = 64 * 1024;
    if (!output) {
        output = static_cast<unsigned char*>(std::malloc(firstCapacity));
        if (!output) {
            error = QStringLiteral("Not enough memory for the compressed picture.");
            return false;
        }
        outputCapacity = firstCapacity;
    }
    return true;
}

bool JPEGCompressor::encode(QByteArray& bytes)
{
    char message[JMSG_LENGTH_MAX] = "";
    unsigned char* written = output;
    unsigned long length = 0;
    const Clock::time_point start = Clock::now();
    const Outcome outcome = JPEGEncodeJob::run(
        settings, image->getRGB24Buffer(), image->getRGB24Pitch(), image->getWidth(),
        image->getHeight(), written, outputCapacity, length, message);
    if (outcome != Outcome::Written) {
        timings.encoding = Clock::now() - start;
        error = QString::fromLocal8Bit(message);
        return false;
    }
    if (written != output) {
        // The library outgrew our buffer: keep its larger one for next time.
        // Its real size is unknown, but it holds at least this JPEG.
        std::free(output);
        output = written;
        outputCapacity = length;
    }
    bytes = QByteArray(reinterpret_cast<const char*>(output), qsizetype(length));
    timings.encoding = Clock::now() - start;
    return true;
}

std::unique_ptr<Image> JPEGCompressor::decodeAgain(const QByteArray& bytes,
                                                   Clock::time_point& loaded)
{
    const Clock::time_point encoded = Clock::now();
    std::unique_ptr<Image> decoded(Image::loadEncodedJpeg(bytes));
    loaded = Clock::now();
    timings.decoding = loaded - encoded;
    // The encoder must give back a picture of the source's size; anything
    // else would make every figure meaningless.
    if (!decoded->getRGB32Buffer()) {
        error = QStringLiteral("The compressed picture could not be decoded again: %1")
                    .arg(decoded->getLoadMessage());
        return nullptr;
    }
    if (decoded->getWidth() != image->getWidth() || decoded->getHeight() != image->getHeight()) {
        error = QStringLiteral("The compressed picture decodes to %1 x %2 pixels instead of the "
                               "source's %3 x %4.")
                    .arg(decoded->getWidth())
                    .arg(decoded->getHeight())
                    .arg(image->getWidth())
                    .arg(image->getHeight());
        return nullptr;
    }
    return decoded;
}
