// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CompressionResult.h"
#include "Figures.h"
#include "JPEGSettings.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <vector>

class BatchProgress;

// What one compression of a batch gave: a plain value, made on a worker
// thread and handed to the consumer on the thread that runs the batch.
struct BatchOutcome
{
    enum Status {
        Compressed, // `stat` holds the figures
        Failed,     // the picture loaded but this compression gave no result
        Unloadable, // the picture did not load; `entryIndex` is still the entry's
    };

    int fileIndex = 0;
    int entryIndex = 0;
    Status status = Failed;
    // Why it failed, or the loader's reason; when compressed, the loader's
    // warning about a damaged picture that still decoded (else empty).
    QString message;
    // The figures when compressed; the picture's size and bytes, the
    // sampling written and the times as far as the compression got.
    ResultStat stat;
    // Computing the figures, of which the SSIM and MS-SSIM part.
    double measureMs = 0;
    double similarityMs = 0;
    // The JPEG itself, only when the engine is asked to keep it.
    QByteArray jpeg;

    // `stat` (moved out) with the indices a row of the sweep table holds.
    // `pictureIndex` is the picture's place in the run's whole list
    // (`fileIndex` counts the pictures given to this engine run).
    ResultStat takeStat(int pictureIndex);
};

// Compresses every picture of a list under every entry of a settings list on
// a number of worker threads. Each worker owns its compressor. A picture is
// loaded once, by the first worker that needs it, and shared read-only by the
// workers compressing it; it is released when its last compression is done.
// A worker that would wait for another's load loads a later picture
// meanwhile (one at a time), so at most twice as many pictures as workers are
// alive.
//
// Outcomes reach the consumer on the calling thread in file-major order
// (every entry of the first picture in list order, then of the next) whatever
// the number of workers, as they complete; how far the workers may run ahead
// of the consumer is bounded, so memory stays flat however long the batch.
class BatchEngine
{
public:
    struct Options
    {
        int workers = 0;        // 0: one per core
        bool keepJpegs = false; // fill BatchOutcome::jpeg
        // The quality figures measured with every compression besides the
        // four of the report; the others stay n/a.
        FigureSet figures = FigureSet::standard();
        // Walk every JPEG's coded data for ResultStat's DC/AC bits.
        bool bitCost = false;
    };

    // Returns false to stop the run.
    using Consumer = std::function<bool(BatchOutcome&& outcome)>;
    // True for the compressions that are not wanted (already done elsewhere);
    // they are neither run nor delivered, and a picture all of whose
    // compressions are skipped is not loaded. Called on any thread, one call
    // at a time.
    using Skip = std::function<bool(int fileIndex, int entryIndex)>;

    BatchEngine() = default;
    explicit BatchEngine(Options options) : options(options) {}

    void setOptions(const Options& newOptions) { options = newOptions; }
    const Options& getOptions() const { return options; }
    int workerCount() const;

    // Runs the batch on the calling thread and returns true when every
    // compression was delivered. While waiting for the workers it polls
    // `progress` (may be null); a poll or a consumer that answers false, or
    // cancel(), stops the run: the workers finish the compression each has
    // under way, and nothing more is delivered.
    bool run(const QStringList& files, const std::vector<JPEGSettings>& entries,
             const Consumer& consumer, BatchProgress* progress = nullptr,
             const Skip& skip = Skip());

    // Asks a running batch to stop; safe from any thread.
    void cancel() { canceled = true; }

private:
    Options options;
    std::atomic<bool> canceled{false};
};
