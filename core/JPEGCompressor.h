// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Figures.h"
#include "JPEGSettings.h"
#include "QualityMetrics.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <chrono>
#include <memory>

class CompressionResult;
class Image;
struct jpeg_compress_struct;

// Encodes its current picture under its own settings into memory, decodes
// those bytes again and returns both pictures, the bytes and a copy of the
// settings as a new CompressionResult. No file is written or read.
//
// Threads: an instance belongs to one thread at a time. Separate instances
// share no mutable state and may compress at the same time on different
// threads, each with its own picture (a source picture may be shared by
// several compressors as long as nobody changes it: compressing only reads
// its pixels).
class JPEGCompressor
{
public:
    JPEGCompressor() = default;
    ~JPEGCompressor();
    JPEGCompressor(const JPEGCompressor&) = delete;
    JPEGCompressor& operator=(const JPEGCompressor&) = delete;

    // The picture is the caller's; the compressor only points at it.
    void setImage(Image* newImage) { image = newImage; }
    Image* getImage() const { return image; }

    JPEGSettings* getSettings() { return &settings; }
    const JPEGSettings* getSettings() const { return &settings; }

    // A new result owned by the caller, or null when the picture could not be
    // compressed; lastError() then says why. The process never ends here:
    // errors raised inside the JPEG library come back as a null result.
    CompressionResult* compressImage();

    // The reason the last compressImage() gave no result; empty after a
    // success.
    QString lastError() const { return error; }

    // The figures every result gets measured before it is returned, with
    // buffers this compressor keeps from one compression to the next; the
    // others a result measures when somebody asks. None unless told: a
    // result that is only shown measures what is shown.
    void setMeasuredFigures(FigureSet figures) { measured = figures; }
    FigureSet measuredFigures() const { return measured; }
    // Gives back the measurement buffers; the next measurement makes new ones.
    void releaseMeasurementBuffers() { workspace.reset(); }

    // Where the last compressImage() spent its time: encoding the JPEG into
    // memory, decoding it again, and computing the result's figures. Phases
    // that did not run count zero.
    struct Timings
    {
        std::chrono::nanoseconds encoding{0};
        std::chrono::nanoseconds decoding{0};
        std::chrono::nanoseconds measuring{0};
        // The part of `measuring` that the figures beyond PSNR took (a pass
        // of their own each).
        std::chrono::nanoseconds similarity{0};
    };
    const Timings& lastTimings() const { return timings; }

    // The percentage by which custom tables are scaled at `quality`, as the
    // JPEG library computes it: quality is first limited to 1..100, then
    // 5000 / quality below 50 and 200 - 2 * quality from 50 on.
    static int tableScaling(int quality);

    // A custom table as the encoder writes it into the file: every entry v
    // becomes (v * scaling + 50) / 100, limited to 1..255 for baseline
    // coding and to 1..32767 otherwise. `clamped[k]` tells that entry k hit
    // one of those limits.
    struct EffectiveTable
    {
        std::array<unsigned int, QuantizationTable::SIZE> values{};
        std::array<bool, QuantizationTable::SIZE> clamped{};
    };
    static EffectiveTable effectiveTable(const QuantizationTable& table, int quality,
                                         bool baseline);

private:
    using Clock = std::chrono::steady_clock;
    // compressImage's steps, each false or null with the reason in `error`:
    // the first output buffer; the JPEG of the picture into `bytes`; the
    // JPEG decoded again, of the source's size, noting when it was `loaded`.
    bool reserveOutput();
    bool encode(QByteArray& bytes);
    std::unique_ptr<Image> decodeAgain(const QByteArray& bytes, Clock::time_point& loaded);

    static void setOptions(const JPEGSettings& s, jpeg_compress_struct* cinfo);
    static void set_sampling(const JPEGSettings& s, jpeg_compress_struct* cinfo);

    Image* image = nullptr;
    JPEGSettings settings;
    QString error;
    Timings timings;
    // The encoder's output buffer (malloc'd), kept from one compression to
    // the next so that a run of compressions rarely allocates; the library
    // grows it when a JPEG does not fit. Each result gets its own copy.
    unsigned char* output = nullptr;
    unsigned long outputCapacity = 0;
    FigureSet measured;
    std::unique_ptr<QualityMetrics::Workspace> workspace;

    friend struct JPEGEncodeJob;
};
