// SPDX-License-Identifier: GPL-3.0-or-later
#include "JPEGSettingsFactory.h"

#include "BatchProgress.h"
#include "BatchSettings.h"

#include <cstdint>

namespace {

// The step as it is applied: its size as given, its sign pointing from
// `first` towards `last`. The batch window already gives it that sign; a step
// pointing away would never reach `last`, and a zero step would never move,
// so neither is taken literally.
std::int64_t directedStep(int first, int last, int step)
{
    const std::int64_t size = step < 0 ? -std::int64_t(step) : std::int64_t(step);
    return last < first ? -size : size;
}

} // namespace

int JPEGSettingsFactory::sweepLength(int first, int last, int step)
{
    if (first == last)
        return 1;
    const std::int64_t delta = directedStep(first, last, step);
    if (delta == 0)
        return 1;
    return int((std::int64_t(last) - first) / delta + 1);
}

int JPEGSettingsFactory::entriesPerCall(const BatchSettings& s)
{
    int count = 0;
    if (s.manualQuality) {
        const int methods = int(s.dctInt) + int(s.dctFast) + int(s.dctFloat);
        const int tableQualities =
            s.tableQuality ? sweepLength(s.minTableQuality, s.maxTableQuality, s.tableQualityStep)
                           : 1;
        count +=
            methods * sweepLength(s.minSmoothing, s.maxSmoothing, s.smoothingStep) * tableQualities;
    }
    if (s.autoQuality)
        count += sweepLength(s.minQuality, s.maxQuality, s.qualityStep);
    return count;
}

bool JPEGSettingsFactory::step(BatchProgress* progress)
{
    // A window's event loop runs only inside the step, which is what keeps
    // its Cancel alive while the expansion blocks the interface.
    const int value = counter++;
    return !progress || progress->step(value);
}

void JPEGSettingsFactory::sweep(int first, int last, int stepSize, Setter set,
                                JPEGSettings& working, const std::function<void()>& inner,
                                BatchProgress* progress)
{
    if (first == last) {
        (working.*set)(first);
        inner();
        return;
    }
    const int count = sweepLength(first, last, stepSize);
    const std::int64_t delta = directedStep(first, last, stepSize);
    for (int i = 0; i < count && !canceled; ++i) {
        if (!step(progress)) {
            canceled = true;
            return;
        }
        (working.*set)(int(first + i * delta));
        inner();
    }
}

void JPEGSettingsFactory::smoothing(JPEGSettings& working, std::vector<JPEGSettings>& list,
                                    BatchProgress* progress)
{
    if (canceled)
        return;
    const auto append = [&] { list.push_back(working); };
    const auto tableQualities = [&] {
        if (!settings->tableQuality) {
            append();
            return;
        }
        sweep(settings->minTableQuality, settings->maxTableQuality, settings->tableQualityStep,
              &JPEGSettings::setQuality, working, append, progress);
    };
    sweep(settings->minSmoothing, settings->maxSmoothing, settings->smoothingStep,
          &JPEGSettings::setSmoothing, working, tableQualities, progress);
}

void JPEGSettingsFactory::quality(JPEGSettings& working, std::vector<JPEGSettings>& list,
                                  BatchProgress* progress)
{
    if (canceled)
        return;
    if (settings->manualQuality) {
        working.setAutoQualityEnabled(false);
        const struct
        {
            bool wanted;
            JPEGSettings::DCTMethod method;
        } methods[] = {
            {settings->dctInt, JPEGSettings::INT},
            {settings->dctFast, JPEGSettings::FAST},
            {settings->dctFloat, JPEGSettings::FLOAT},
        };
        for (const auto& m : methods) {
            if (canceled)
                break;
            if (!m.wanted)
                continue;
            working.setDCTMethod(m.method);
            smoothing(working, list, progress);
        }
    }
    if (settings->autoQuality && !canceled) {
        working.setAutoQualityEnabled(true);
        sweep(
            settings->minQuality, settings->maxQuality, settings->qualityStep,
            &JPEGSettings::setQuality, working, [&] { list.push_back(working); }, progress);
    }
}
