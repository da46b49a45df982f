#include "BatchCompressor.h"

#include "BatchProgress.h"

#include <exception>

BatchCompressor::BatchCompressor() : compressor(std::make_unique<JPEGCompressor>()) {}

BatchCompressor::~BatchCompressor() = default;

std::vector<ResultStat> BatchCompressor::compress(const QStringList& files,
                                                  std::vector<JPEGSettings>& settings,
                                                  BatchProgress* progress)
{
    std::vector<ResultStat> results;
    std::vector<JPEGSettings> used;
    // Both lists get an entry per compression that succeeds, at most every
    // file under every entry; a settings entry is a kilobyte. Grown by
    // doubling, a long batch would for a moment hold almost three times what
    // it keeps. Room that no result fills is only address space; where even
    // that is too much, the lists grow as they go.
    const std::size_t most = std::size_t(files.size()) * settings.size();
    try {
        results.reserve(most);
        used.reserve(most);
    } catch (const std::exception&) {
    }

    int counter = 0;
    engine.run(files, settings, [&](BatchOutcome&& outcome) {
        if (outcome.status == BatchOutcome::Unloadable)
            return true;
        if (outcome.status == BatchOutcome::Compressed) {
            // The file name is the file list's string, shared by all the
            // results of the file.
            results.push_back(std::move(outcome.stat));
            used.push_back(settings[std::size_t(outcome.entryIndex)]);
        }
        return !progress || progress->step(counter++);
    }, progress);

    settings.swap(used);
    return results;
}
