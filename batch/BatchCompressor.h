// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "BatchEngine.h"
#include "CompressionResult.h"
#include "JPEGCompressor.h"
#include "JPEGSettings.h"
#include "RunSummary.h"

#include <QStringList>

#include <memory>
#include <vector>

class BatchProgress;

// The batch window's run: every file under every entry of a settings list on
// the batch engine's workers, keeping only the figures of each compression
// that succeeds, in file-major order.
class BatchCompressor
{
public:
    BatchCompressor();
    ~BatchCompressor();
    BatchCompressor(const BatchCompressor&) = delete;
    BatchCompressor& operator=(const BatchCompressor&) = delete;

    // A compressor for single compressions between runs (the result panel's
    // recompression); the runs themselves give each worker its own.
    JPEGCompressor* getCompressor() const { return compressor.get(); }

    // Workers of the next runs; 0 (the default) means one per core.
    void setWorkers(int count);
    int workerCount() const { return engine.workerCount(); }

    // Returns one record per successful compression, file-major: every entry
    // for the first file that loaded, then every entry for the next. On
    // return `settings` holds, entry for entry, the settings of those
    // results; each record carries its picture's index in `files` and its
    // entry's index in the settings as given, besides its sizes, sampling
    // and times. Files that do not load are skipped without a progress step;
    // a compression that fails takes its progress step but leaves no record.
    // The progress counts the attempted compressions from 0; Cancel is
    // honoured once the compressions under way have finished, and what was
    // gathered until then is returned. `progress` may be null.
    std::vector<ResultStat> compress(const QStringList& files, std::vector<JPEGSettings>& settings,
                                     BatchProgress* progress);

    // What the last compress() was asked for and what became of it: every
    // failure with its reason, a picture that does not load (the loader's
    // reason, a picture without the memory to load it among them) and a
    // compression that fails (the library's reason).
    const RunSummary& summary() const { return lastSummary; }
    // The figures each record gets besides the four of the report; all
    // unless told. The others stay n/a.
    void setFigures(FigureSet wanted);
    FigureSet getFigures() const { return engine.getOptions().figures; }

private:
    std::unique_ptr<JPEGCompressor> compressor;
    BatchEngine engine;
    RunSummary lastSummary;
};
