#include "SettingsExpansion.h"

#include "BatchSettings.h"
#include "JPEGSettingsFactory.h"

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

long long countBatchEntries(const BatchSettings& sweep)
{
    const long long modes = int(sweep.baseline) +
                            (sweep.extended ? int(sweep.progressive) + int(sweep.nonProgressive) : 0);
    const long long outputs = int(sweep.grayscaleOutput) + int(sweep.colorOutput);
    const long long huffman = int(sweep.optimizeHuffman) + int(sweep.dontOptimizeHuffman);
    long long qualities = 0;
    if (sweep.manualQuality)
        qualities += (int(sweep.dctInt) + int(sweep.dctFast) + int(sweep.dctFloat)) *
                     (long long)JPEGSettingsFactory::sweepLength(sweep.minSmoothing, sweep.maxSmoothing,
                                                                 sweep.smoothingStep) *
                     (sweep.tableQuality ? JPEGSettingsFactory::sweepLength(sweep.minTableQuality,
                                                                            sweep.maxTableQuality,
                                                                            sweep.tableQualityStep)
                                         : 1);
    if (sweep.autoQuality)
        qualities += JPEGSettingsFactory::sweepLength(sweep.minQuality, sweep.maxQuality, sweep.qualityStep);
    return (long long)sweep.downsamplingPairs.size() * (long long)sweep.luminanceTables.size() *
           (long long)sweep.chrominanceTables.size() * modes * outputs * huffman * qualities;
}
