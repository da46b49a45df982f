// SPDX-License-Identifier: GPL-3.0-or-later
#include "SettingsExpansion.h"

#include "BatchSettings.h"
#include "JPEGSettingsFactory.h"

#include <algorithm>

namespace {

class Expansion
{
public:
    Expansion(BatchSettings& sweep, BatchProgress* progress)
        : sweep(sweep), progress(progress), factory(&sweep)
    {
    }

    void run()
    {
        for (const BatchSettings::DownsamplingPair& pair : sweep.downsamplingPairs) {
            if (factory.isCanceled())
                return;
            bool* inUse = working.getCurrentQuantizationTables();
            inUse[0] = inUse[1] = true;
            inUse[2] = inUse[3] = false;
            working.downsampling[0] = pair.first;
            working.downsampling[1] = pair.second;
            for (const QuantizationTable& luminance : sweep.luminanceTables) {
                for (const QuantizationTable& chrominance : sweep.chrominanceTables) {
                    if (factory.isCanceled())
                        return;
                    working.qtables[JPEGSettings::LUMINANCE] = luminance;
                    working.qtables[JPEGSettings::CHROMINANCE] = chrominance;
                    modes();
                }
            }
        }
    }

    std::vector<JPEGSettings> list;
    JPEGSettings working;
    bool canceled() const { return factory.isCanceled(); }

private:
    void modes()
    {
        if (sweep.baseline) {
            // The progressive flag is left as the last extended pass set it.
            working.setCompressionMode(JPEGSettings::BASELINE);
            outputs();
        }
        if (sweep.extended) {
            working.setCompressionMode(JPEGSettings::EXTENDED);
            if (sweep.progressive) {
                working.setProgressiveMode(true);
                outputs();
            }
            if (sweep.nonProgressive) {
                working.setProgressiveMode(false);
                outputs();
            }
        }
    }

    void outputs()
    {
        if (sweep.grayscaleOutput) {
            working.setGrayscaleOutput(true);
            huffman();
        }
        if (sweep.colorOutput) {
            working.setGrayscaleOutput(false);
            huffman();
        }
    }

    void huffman()
    {
        if (sweep.optimizeHuffman) {
            working.setOptimizeHuffman(true);
            factory.quality(working, list, progress);
        }
        if (sweep.dontOptimizeHuffman) {
            working.setOptimizeHuffman(false);
            factory.quality(working, list, progress);
        }
    }

    BatchSettings& sweep;
    BatchProgress* progress;
    JPEGSettingsFactory factory;
};

} // namespace

std::vector<JPEGSettings> expandBatchSettings(BatchSettings& sweep, BatchProgress* progress,
                                              bool* canceled)
{
    Expansion expansion(sweep, progress);
    expansion.run();
    if (canceled)
        *canceled = expansion.canceled();
    return std::move(expansion.list);
}

std::uint64_t expansionSize(const BatchSettings& sweep, std::uint64_t limit)
{
    const std::uint64_t modes =
        (sweep.baseline ? 1u : 0u) +
        (sweep.extended ? unsigned(sweep.progressive) + unsigned(sweep.nonProgressive) : 0u);
    const std::uint64_t factors[] = {
        sweep.downsamplingPairs.size(),
        sweep.luminanceTables.size(),
        sweep.chrominanceTables.size(),
        modes,
        std::uint64_t(sweep.grayscaleOutput) + std::uint64_t(sweep.colorOutput),
        std::uint64_t(sweep.optimizeHuffman) + std::uint64_t(sweep.dontOptimizeHuffman),
        std::uint64_t(std::max(0, JPEGSettingsFactory::entriesPerCall(sweep))),
    };
    std::uint64_t count = 1;
    for (const std::uint64_t factor : factors) {
        if (factor == 0)
            return 0;
        // Past the limit only "more" matters; saturate instead of overflowing.
        count = count > limit / factor ? limit + 1 : count * factor;
    }
    return count;
}

long long countBatchEntries(const BatchSettings& sweep)
{
    return (long long)expansionSize(sweep, std::uint64_t(1) << 62);
}
