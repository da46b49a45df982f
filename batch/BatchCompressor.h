#pragma once

#include "CompressionResult.h"
#include "JPEGCompressor.h"
#include "JPEGSettings.h"
#include "RunSummary.h"

#include <QStringList>

#include <chrono>
#include <memory>
#include <vector>

class QProgressDialog;

// Compresses every file of a batch under every entry of a settings list with
// one JPEGCompressor, keeping only the figures of each compression. At any
// moment a run holds at most one source picture and one compression result.
class BatchCompressor
{
public:
    // Where the time of the runs went, summed over every call of compress()
    // since construction or the last resetTimings().
    struct Timings
    {
        std::chrono::nanoseconds total{0};     // whole calls of compress()
        std::chrono::nanoseconds loading{0};   // reading the source pictures
        std::chrono::nanoseconds encoding{0};  // encoding the JPEGs in memory
        std::chrono::nanoseconds decoding{0};  // decoding them again
        std::chrono::nanoseconds measuring{0}; // computing the figures
        std::chrono::nanoseconds similarity{0}; // SSIM and MS-SSIM, part of measuring
        long compressions = 0;                 // compressions attempted
    };

    BatchCompressor();
    ~BatchCompressor();
    BatchCompressor(const BatchCompressor&) = delete;
    BatchCompressor& operator=(const BatchCompressor&) = delete;

    // The compressor every run uses; callers may also use it for single
    // compressions between runs.
    JPEGCompressor* getCompressor() const { return compressor.get(); }

    // Returns one record per successful compression, file-major: every entry
    // for the first file that loaded, then every entry for the next. On
    // return `settings` holds, entry for entry, the settings of those
    // results. Files that do not load are skipped without a progress step;
    // a compression that fails takes its progress step but leaves no record.
    // The dialog's value counts the attempted compressions from 0; Cancel is
    // honoured once the compression under way has finished, and what was
    // gathered until then is returned. `dialog` may be null.
    //
    // Every failure is recorded with its reason in summary(): a picture that
    // does not load (the loader's reason, a picture without the memory to
    // load or compress it among them) and a compression that fails (the
    // library's reason).
    std::vector<ResultStat> compress(const QStringList& files, std::vector<JPEGSettings>& settings,
                                     QProgressDialog* dialog);

    // What the last compress() was asked for and what became of it.
    const RunSummary& summary() const { return lastSummary; }
    // The figures each record gets besides the four of the report; all
    // unless told. The others stay n/a.
    void setFigures(FigureSet wanted) { figures = wanted; }
    FigureSet getFigures() const { return figures; }

    const Timings& timings() const { return totals; }
    void resetTimings() { totals = Timings(); }

private:
    std::unique_ptr<JPEGCompressor> compressor;
    Timings totals;
    RunSummary lastSummary;
    FigureSet figures = FigureSet::everything();
};
