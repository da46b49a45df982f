#include "JPEGCompressor.h"

#include "CompressionResult.h"
#include "Image.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
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

enum class Outcome { Written, CannotCreate, CannotAllocate, LibraryError, CannotClose };

} // namespace

// Runs the library calls of one compression. Everything that a longjmp from
// the error handler may skip lives here, and all of it is trivially
// destructible: the compression object, the error manager, the file and the
// row buffer. No C++ object with a destructor may be created in this frame.
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
        unsigned char* volatile row = nullptr;
        cinfo.err = jpeg_std_error(&errors.pub);
        errors.pub.error_exit = errorExit;
        errors.pub.output_message = outputMessage;
        errors.message[0] = '\0';
        if (setjmp(errors.jump)) {
            jpeg_destroy_compress(&cinfo);
            std::free(row);
            std::fclose(file);
            std::memcpy(message, errors.message, sizeof message);
            return Outcome::LibraryError;
        }
        jpeg_CreateCompress(&cinfo, JPEG_LIB_VERSION, sizeof(jpeg_compress_struct));

        cinfo.data_precision = 8;
        cinfo.image_width = width;
        cinfo.image_height = height;
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_RGB;
        jpeg_set_defaults(&cinfo);
        JPEGCompressor::setOptions(settings, &cinfo);
        jpeg_stdio_dest(&cinfo, file);

        // One row of RGB, padded like FreeImage's rows to a multiple of four.
        const std::size_t rowSize = (std::size_t(width) * 3 + 3) & ~std::size_t(3);
        row = static_cast<unsigned char*>(std::malloc(rowSize));
        if (!row) {
            std::printf("can't allocate %d bytes\n", int(rowSize));
            std::snprintf(message, sizeof message, "can't allocate %d bytes", int(rowSize));
            jpeg_destroy_compress(&cinfo);
            std::fclose(file);
            return Outcome::CannotAllocate;
        }

        jpeg_start_compress(&cinfo, TRUE);
        const std::size_t pixelBytes = std::size_t(width) * 3;
        std::memset(row + pixelBytes, 0, rowSize - pixelBytes);
        while (cinfo.next_scanline < cinfo.image_height) {
            // The 24-bit copy is stored bottom row first, blue-green-red.
            const unsigned char* in =
                bits24 + std::size_t(height - 1 - cinfo.next_scanline) * pitch;
            unsigned char* out = row;
            for (unsigned x = 0; x < width; ++x, in += 3, out += 3) {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
            }
            JSAMPROW rows[1] = {row};
            jpeg_write_scanlines(&cinfo, rows, 1);
        }
        jpeg_finish_compress(&cinfo);
        std::free(row);
        row = nullptr;
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

    const int scale = tableScaling(s.getQuality());
    const bool* current = s.getCurrentQuantizationTables();
    for (int slot = 0; slot < 4; ++slot) {
        if (current[slot])
            jpeg_add_quant_table(cinfo, slot, s.qtables[slot].getTable(), scale, forceBaseline);
    }
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
    case Outcome::CannotAllocate:
    case Outcome::LibraryError:
        error = QString::fromLocal8Bit(message);
        return nullptr;
    }

    Image* decoded = Image::loadEncodedJpeg(SCRATCH_FILE);
    const Clock::time_point loaded = Clock::now();
    timings.decoding = loaded - encoded;
    CompressionResult* result = new CompressionResult(image, decoded, settings);
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
