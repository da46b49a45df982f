// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchCompressor.h"

#include "BatchProgress.h"

#include <QSet>

#include <exception>
#include <new>

BatchCompressor::BatchCompressor() : compressor(std::make_unique<JPEGCompressor>()) {}

BatchCompressor::~BatchCompressor() = default;

void BatchCompressor::setWorkers(int count)
{
    BatchEngine::Options options = engine.getOptions();
    options.workers = count;
    engine.setOptions(options);
}

void BatchCompressor::setFigures(FigureSet wanted)
{
    BatchEngine::Options options = engine.getOptions();
    options.figures = wanted;
    engine.setOptions(options);
}

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

    lastSummary.start(files.size(), std::int64_t(settings.size()));
    int counter = 0;
    QSet<QString> samplings;
    engine.run(
        files, settings,
        [&](BatchOutcome&& outcome) {
            const QString& file = files.at(outcome.fileIndex);
            const JPEGSettings& entry = settings[std::size_t(outcome.entryIndex)];
            switch (outcome.status) {
            case BatchOutcome::Unloadable:
                // One outcome per entry; the file is counted once, for all of them.
                if (outcome.entryIndex == 0)
                    lastSummary.addLoadFailure(file, outcome.message);
                return true;
            case BatchOutcome::Failed:
                lastSummary.addFailure(file, outcome.entryIndex, entry, outcome.message);
                break;
            case BatchOutcome::Compressed:
                if (!outcome.message.isEmpty())
                    lastSummary.addLoadWarning(file, outcome.message);
                try {
                    // The file name is the file list's string, shared by all the
                    // results of the file; the few sampling texts are shared too.
                    ResultStat stat = outcome.takeStat(outcome.fileIndex);
                    stat.sampling = *samplings.insert(stat.sampling);
                    results.push_back(std::move(stat));
                    used.push_back(entry);
                    lastSummary.addSuccess();
                } catch (const std::bad_alloc&) {
                    // Keep the lists aligned and stop: what was gathered stays
                    // usable.
                    if (results.size() > used.size())
                        results.pop_back();
                    lastSummary.addFailure(file, outcome.entryIndex, entry,
                                           QStringLiteral("Not enough memory to keep more results; "
                                                          "the run stopped here."));
                    return false;
                }
                break;
            }
            return !progress || progress->step(counter++);
        },
        progress);

    settings.swap(used);
    return results;
}
