#include "JPEGCompressor.h"

#include "CompressionResult.h"
#include "Image.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

namespace {

// libjpeg's standard error handler ends the process. This one formats the
// library's message and jumps back to the frame that set `jump`.
struct ErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

extern "C" void errorExit(j_common_ptr cinfo)
{
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->message);
    std::longjmp(manager->jump, 1);
}

// Warnings (corrupt-data notices and the like) are of no use in an encoder
// that reads its input from memory; keep them off the terminal.
extern "C" void outputMessage(j_common_ptr) {}

// Writes the compressed data to an open file through a buffer large enough
// for the library's Huffman encoder to stay on its fast path. Write errors
// end the compression like any other library error.
struct FileDestination
{
    jpeg_destination_mgr pub;
    std::FILE* file;
    JOCTET buffer[64 * 1024];
};

extern "C" void initDestination(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<FileDestination*>(cinfo->dest);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = sizeof dest->buffer;
}

extern "C" boolean emptyOutputBuffer(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<FileDestination*>(cinfo->dest);
    if (std::fwrite(dest->buffer, 1, sizeof dest->buffer, dest->file) != sizeof dest->buffer)
        ERREXIT(cinfo, JERR_FILE_WRITE);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = sizeof dest->buffer;
    return TRUE;
}

extern "C" void termDestination(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<FileDestination*>(cinfo->dest);
    const std::size_t used = sizeof dest->buffer - dest->pub.free_in_buffer;
    if (used > 0 && std::fwrite(dest->buffer, 1, used, dest->file) != used)
        ERREXIT(cinfo, JERR_FILE_WRITE);
    std::fflush(dest->file);
    if (std::ferror(dest->file))
        ERREXIT(cinfo, JERR_FILE_WRITE);
}

enum class Outcome { Written, CannotCreate, LibraryError, CannotClose };

} // namespace

// Runs the library calls of one compression. Everything that a longjmp from
// the error handler may skip lives here, and all of it is trivially
// destructible: the compression object, the error manager, the destination
// and the file. No C++ object with a destructor may be created in this frame.
struct JPEGEncodeJob
{
    static Outcome run(const JPEGSettings& settings, const unsigned char* bits24, unsigned pitch,
                       unsigned width, unsigned height, char (&message)[JMSG_LENGTH_MAX],
                       int& systemError)
    {
        std::FILE* volatile file = std::fopen(JPEGCompressor::SCRATCH_FILE, "wb+");
        if (!file) {
            systemError = errno;
            return Outcome::CannotCreate;
        }

        jpeg_compress_struct cinfo;
        ErrorManager errors;
        FileDestination destination;
        cinfo.err = jpeg_std_error(&errors.pub);
        errors.pub.error_exit = errorExit;
        errors.pub.output_message = outputMessage;
        errors.message[0] = '\0';
        if (setjmp(errors.jump)) {
            jpeg_destroy_compress(&cinfo);
            std::fclose(file);
            std::memcpy(message, errors.message, sizeof message);
            return Outcome::LibraryError;
        }
        jpeg_CreateCompress(&cinfo, JPEG_LIB_VERSION, sizeof(jpeg_compress_struct));

        // The library reads the 24-bit copy in place, blue-green-red as it
        // is stored. Its colour conversion of that order gives the same
        // samples, and so the same file, as red-green-blue rows would.
        cinfo.data_precision = 8;
        cinfo.image_width = width;
        cinfo.image_height = height;
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_EXT_BGR;
        jpeg_set_defaults(&cinfo);
        JPEGCompressor::setOptions(settings, &cinfo);
        destination.pub.init_destination = initDestination;
        destination.pub.empty_output_buffer = emptyOutputBuffer;
        destination.pub.term_destination = termDestination;
        destination.file = file;
        cinfo.dest = &destination.pub;

        jpeg_start_compress(&cinfo, TRUE);
        while (cinfo.next_scanline < cinfo.image_height) {
            // The 24-bit copy is stored bottom row first.
            constexpr JDIMENSION batch = 16;
            JSAMPROW rows[batch];
            const JDIMENSION count = std::min(batch, cinfo.image_height - cinfo.next_scanline);
            for (JDIMENSION i = 0; i < count; ++i) {
                const std::size_t stored = height - 1 - (cinfo.next_scanline + i);
                rows[i] = const_cast<JSAMPLE*>(bits24 + stored * pitch);
            }
            jpeg_write_scanlines(&cinfo, rows, count);
        }
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        if (std::fclose(file) != 0) {
            systemError = errno;
            return Outcome::CannotClose;
        }
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

    const int scale = jpeg_quality_scaling(s.getQuality());
    const bool* current = s.getCurrentQuantizationTables();
    for (int slot = 0; slot < 4; ++slot) {
        if (current[slot])
            jpeg_add_quant_table(cinfo, slot, s.qtables[slot].getTable(), scale, forceBaseline);
    }
}

void JPEGCompressor::set_sampling(const JPEGSettings& s, jpeg_compress_struct* cinfo)
{
    for (int component = 0; component < 3; ++component) {
        cinfo->comp_info[component].h_samp_factor = s.downsampling[component].horizontal;
        cinfo->comp_info[component].v_samp_factor = s.downsampling[component].vertical;
    }
}

CompressionResult* JPEGCompressor::compressImage()
{
    using Clock = std::chrono::steady_clock;
    error.clear();
    timings = Timings();
    if (!image || !image->getRGB24Buffer()) {
        error = QStringLiteral("There is no picture to compress.");
        return nullptr;
    }

    char message[JMSG_LENGTH_MAX] = "";
    int systemError = 0;
    const Clock::time_point start = Clock::now();
    const Outcome outcome =
        JPEGEncodeJob::run(settings, image->getRGB24Buffer(), image->getRGB24Pitch(),
                           image->getWidth(), image->getHeight(), message, systemError);
    const Clock::time_point encoded = Clock::now();
    timings.encoding = encoded - start;
    switch (outcome) {
    case Outcome::Written:
        break;
    case Outcome::CannotCreate:
        error = QStringLiteral("Couldn't create the scratch file %1: %2")
                    .arg(QLatin1String(SCRATCH_FILE),
                         QString::fromLocal8Bit(std::strerror(systemError)));
        return nullptr;
    case Outcome::CannotClose:
        error = QStringLiteral("Couldn't write the scratch file %1: %2")
                    .arg(QLatin1String(SCRATCH_FILE),
                         QString::fromLocal8Bit(std::strerror(systemError)));
        return nullptr;
    case Outcome::LibraryError:
        error = QString::fromLocal8Bit(message);
        return nullptr;
    }

    Image* decoded = Image::loadEncodedJpeg(SCRATCH_FILE);
    const Clock::time_point loaded = Clock::now();
    timings.decoding = loaded - encoded;
    CompressionResult* result = new CompressionResult(image, decoded, settings);
    timings.measuring = Clock::now() - loaded;
    return result;
}
