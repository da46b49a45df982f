// SPDX-License-Identifier: GPL-3.0-or-later
#include "JpegDecoder.h"

#include "JpegErrorTrap.h"
#include "JpegMarkers.h"

#include <FreeImage.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

namespace {

// One pass of the library over the file. Everything here is trivially
// destructible, as a longjmp may skip it.
struct Session
{
    jpeg_decompress_struct cinfo;
    JpegErrorTrap errors;
    jpeg_progress_mgr progress;
};

void say(QString& said, const QString& line)
{
    if (!said.isEmpty())
        said.append(QLatin1Char('\n'));
    said.append(line);
}

// Every message of the library, errors and the first warning, is said.
void sayLibraryMessage(void* said, const char* text)
{
    say(*static_cast<QString*>(said), QStringLiteral("JPEG: ") + QString::fromLocal8Bit(text));
}

// Every scan of a progressive file is a pass over all its coefficients: a
// few bytes per scan would otherwise cost minutes.
extern "C" void sessionProgress(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor ||
        reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number <= JpegDecoder::MAX_SCANS)
        return;
    char text[JMSG_LENGTH_MAX];
    std::snprintf(text, sizeof text, "The file has more than %d scans.", JpegDecoder::MAX_SCANS);
    failJpegCall(cinfo, text);
}

// Sets the session up; the caller calls setjmp on errors.jump, then
// create(). Errors end the decode with a jump back to it, never the process.
// An unknown marker is reported and skipped, as the general loader does.
void prepare(Session& session, QString& said)
{
    session.cinfo.err = armJpegErrorTrap(session.errors);
    session.errors.report = sayLibraryMessage;
    session.errors.context = &said;
    session.errors.skipUnknownMarkers = true;
    session.progress.progress_monitor = sessionProgress;
}

void create(Session& session, const unsigned char* data, std::size_t size)
{
    jpeg_create_decompress(&session.cinfo);
    session.cinfo.progress = &session.progress;
    jpeg_mem_src(&session.cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&session.cinfo, TRUE);
}

bool fittingColourSpace(int components, J_COLOR_SPACE space)
{
    switch (components) {
    case 1:
        return space == JCS_GRAYSCALE;
    case 3:
        return space == JCS_YCbCr || space == JCS_RGB;
    case 4:
        return space == JCS_CMYK || space == JCS_YCCK;
    default:
        return false;
    }
}

// The general loader's conversion of the library's (inverted) CMYK rows.
void cmykToRgb(const JSAMPLE* in, unsigned char* out, JDIMENSION width)
{
    for (JDIMENSION x = 0; x < width; ++x, in += 4, out += 3) {
        const unsigned k = in[3];
        out[FI_RGBA_RED] = static_cast<unsigned char>(in[0] * k / 255);
        out[FI_RGBA_GREEN] = static_cast<unsigned char>(in[1] * k / 255);
        out[FI_RGBA_BLUE] = static_cast<unsigned char>(in[2] * k / 255);
    }
}

// The JFIF density as the library knows it once decompression has started:
// the general loader reads it then, so a JFIF segment that follows the scans
// of a multi-scan file counts and one after the only scan does not.
struct Density
{
    int unit = 0;
    unsigned x = 0;
    unsigned y = 0;
};

// As the general loader reads the JFIF density; other units leave the
// bitmap's default.
void setResolution(FIBITMAP* bitmap, const Density& density)
{
    if (density.unit == 1) {
        FreeImage_SetDotsPerMeterX(bitmap, unsigned(density.x / 0.0254 + 0.5));
        FreeImage_SetDotsPerMeterY(bitmap, unsigned(density.y / 0.0254 + 0.5));
    } else if (density.unit == 2) {
        FreeImage_SetDotsPerMeterX(bitmap, density.x * 100);
        FreeImage_SetDotsPerMeterY(bitmap, density.y * 100);
    }
}

// Whether decodeTo32 takes a file of this header: one grey or three YCbCr
// components, within the size limits.
bool plainPicture(const jpeg_decompress_struct& cinfo, unsigned maxSide, std::uint64_t maxPixels)
{
    const bool plain = (cinfo.num_components == 1 && cinfo.jpeg_color_space == JCS_GRAYSCALE) ||
                       (cinfo.num_components == 3 && cinfo.jpeg_color_space == JCS_YCbCr);
    return plain && cinfo.image_width <= maxSide && cinfo.image_height <= maxSide &&
           std::uint64_t(cinfo.image_width) * cinfo.image_height <= maxPixels;
}

// Reads every row of a started decompression into `pixels`, top row first.
void readRows(jpeg_decompress_struct& cinfo, unsigned char* pixels, std::size_t stride)
{
    while (cinfo.output_scanline < cinfo.output_height) {
        constexpr JDIMENSION batch = 16;
        JSAMPROW rows[batch];
        const JDIMENSION count = std::min(batch, cinfo.output_height - cinfo.output_scanline);
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = pixels + (cinfo.output_scanline + i) * stride;
        jpeg_read_scanlines(&cinfo, rows, count);
    }
}

} // namespace

JpegDecoder::JpegDecoder(const unsigned char* bytes, std::size_t length) : data(bytes), size(length)
{
    if (!segmentsWithinLimit()) {
        said = QStringLiteral("JPEG: The file has more than %1 marker segments before its "
                              "picture.")
                   .arg(MAX_SEGMENTS);
        return;
    }
    Session session;
    prepare(session, said);
    if (setjmp(session.errors.jump)) {
        jpeg_destroy_decompress(&session.cinfo);
        return;
    }
    create(session, data, size);
    const jpeg_decompress_struct& cinfo = session.cinfo;
    if (!fittingColourSpace(cinfo.num_components, cinfo.jpeg_color_space)) {
        say(said, QStringLiteral("JPEG: A picture of %1 colour components is not supported "
                                 "(1, 3 or 4 are).")
                      .arg(cinfo.num_components));
    } else {
        ok = true;
        width = cinfo.image_width;
        height = cinfo.image_height;
        bits = cinfo.num_components == 1 ? 8 : 24;
        // 64 coefficients of 2 bytes for every 64 samples of every component.
        if (jpeg_has_multiple_scans(&session.cinfo))
            working = 2 * std::uint64_t(cinfo.num_components);
        // decode() reads the header again and reports what it says then.
        said.clear();
    }
    jpeg_destroy_decompress(&session.cinfo);
}

bool JpegDecoder::segmentsWithinLimit() const
{
    // The markers from the start of the file to the first scan or the end
    // of the picture; the library reports whatever the walk refuses.
    JpegMarkerWalk walk(data, std::int64_t(size));
    JpegMarkerWalk::Segment segment;
    std::size_t segments = 0;
    for (;;) {
        const JpegMarkerWalk::Step step = walk.next(segment);
        if (step != JpegMarkerWalk::SEGMENT && step != JpegMarkerWalk::END_OF_IMAGE)
            return true;
        if (++segments > MAX_SEGMENTS)
            return false;
        if (step == JpegMarkerWalk::END_OF_IMAGE || segment.marker == 0xDA)
            return true;
    }
}

FIBITMAP* JpegDecoder::decode(std::uint64_t memoryLimit)
{
    if (!ok)
        return nullptr;
    said.clear();
    Session session;
    prepare(session, said);
    FIBITMAP* volatile bitmap = nullptr;
    JSAMPLE* volatile cmyk = nullptr;
    if (setjmp(session.errors.jump)) {
        jpeg_destroy_decompress(&session.cinfo);
        if (bitmap)
            FreeImage_Unload(bitmap);
        std::free(cmyk);
        return nullptr;
    }
    create(session, data, size);
    jpeg_decompress_struct& cinfo = session.cinfo;
    cinfo.mem->max_memory_to_use = long(std::min<std::uint64_t>(memoryLimit, LONG_MAX));
    // The general loader's accurate decode: the exact integer IDCT and
    // smooth chroma upsampling.
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.do_fancy_upsampling = TRUE;
    const bool grey = cinfo.num_components == 1;
    const bool fourComponents = cinfo.num_components == 4;
    cinfo.out_color_space = grey             ? JCS_GRAYSCALE
                            : fourComponents ? JCS_CMYK
                                             : (FI_RGBA_RED == 2 ? JCS_EXT_BGR : JCS_EXT_RGB);
    jpeg_start_decompress(&cinfo);
    const Density density{cinfo.density_unit, cinfo.X_density, cinfo.Y_density};
    bitmap = FreeImage_Allocate(int(cinfo.output_width), int(cinfo.output_height), grey ? 8 : 24);
    if (fourComponents)
        cmyk = static_cast<JSAMPLE*>(std::malloc(std::size_t(cinfo.output_width) * 4));
    if (!bitmap || (fourComponents && !cmyk)) {
        say(said, QStringLiteral("Not enough memory to load the picture."));
        std::longjmp(session.errors.jump, 1);
    }
    if (grey) {
        RGBQUAD* palette = FreeImage_GetPalette(bitmap);
        for (int i = 0; i < 256; ++i)
            palette[i].rgbRed = palette[i].rgbGreen = palette[i].rgbBlue = BYTE(i);
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        BYTE* line =
            FreeImage_GetScanLine(bitmap, int(cinfo.output_height - 1 - cinfo.output_scanline));
        JSAMPROW row = fourComponents ? cmyk : line;
        jpeg_read_scanlines(&cinfo, &row, 1);
        if (fourComponents)
            cmykToRgb(cmyk, line, cinfo.output_width);
    }
    jpeg_finish_decompress(&cinfo);
    setResolution(bitmap, density);
    jpeg_destroy_decompress(&cinfo);
    std::free(cmyk);
    return bitmap;
}

unsigned char* JpegDecoder::decodeTo32(const unsigned char* data, std::size_t size,
                                       unsigned maxSide, std::uint64_t maxPixels, unsigned& width,
                                       unsigned& height)
{
    jpeg_decompress_struct cinfo;
    JpegErrorTrap errors;
    unsigned char* volatile pixels = nullptr;
    cinfo.err = armJpegErrorTrap(errors);
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&cinfo);
        std::free(pixels);
        return nullptr;
    }
    jpeg_create_decompress(&cinfo);
    // With the whole file in memory the library's Huffman decoder can keep
    // to its fast path.
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    if (!plainPicture(cinfo, maxSide, maxPixels)) {
        jpeg_destroy_decompress(&cinfo);
        return nullptr;
    }
    // The general loader's accurate decode: the exact integer IDCT and
    // smooth chroma upsampling.
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.do_fancy_upsampling = TRUE;
    cinfo.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&cinfo);
    const std::size_t stride = std::size_t(cinfo.output_width) * 4;
    pixels = static_cast<unsigned char*>(std::malloc(stride * cinfo.output_height));
    if (!pixels) {
        jpeg_destroy_decompress(&cinfo);
        return nullptr;
    }
    readRows(cinfo, pixels, stride);
    jpeg_finish_decompress(&cinfo);
    // Warnings are counted by the trap; a decode that had any is redone by
    // the general loader's path, which reports them.
    const long warnings = errors.pub.num_warnings;
    width = cinfo.output_width;
    height = cinfo.output_height;
    jpeg_destroy_decompress(&cinfo);
    if (warnings != 0) {
        std::free(pixels);
        return nullptr;
    }
    return pixels;
}
