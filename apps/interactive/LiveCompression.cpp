// SPDX-License-Identifier: GPL-3.0-or-later
#include "LiveCompression.h"

#include "CompressionResult.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "QualityMetrics.h"

#include <QtConcurrent/QtConcurrentRun>

#include <chrono>
#include <memory>
#include <new>

namespace {

// SSIM and MS-SSIM take about as long as the compression: a job that a newer
// one has superseded skips them.
template <typename Stale> void measureUnlessStale(CompressionResult& result, const Stale& stale)
{
    if (stale())
        return;
    QualityMetrics::Workspace workspace;
    result.measure(FigureSet::similarity(), workspace);
}

const QString noMemory = QStringLiteral("Not enough memory to compress the picture.");

} // namespace

LiveCompression::LiveCompression(QObject* parent) : QObject(parent)
{
    connect(&watcher, &QFutureWatcher<Outcome>::finished, this, &LiveCompression::jobFinished);
}

LiveCompression::~LiveCompression()
{
    cancel();
}

void LiveCompression::request(Image* image, const JPEGSettings& settings)
{
    submit([image, settings](const Staleness& stale) {
        Outcome outcome;
        if (stale())
            return outcome;
        try {
            JPEGCompressor compressor;
            compressor.setImage(image);
            *compressor.getSettings() = settings;
            std::unique_ptr<CompressionResult> result(compressor.compressImage());
            if (!result)
                outcome.error = compressor.lastError();
            outcome.encodingMs =
                std::chrono::duration<double, std::milli>(compressor.lastTimings().encoding)
                    .count();
            if (result)
                measureUnlessStale(*result, stale);
            outcome.result = result.release();
        } catch (const std::bad_alloc&) {
            outcome.error = noMemory;
        }
        return outcome;
    });
}

void LiveCompression::requestDecoding(Image* source, const QByteArray& jpeg,
                                      const JPEGSettings& settings)
{
    submit([source, jpeg, settings](const Staleness& stale) {
        Outcome outcome;
        outcome.compression = false;
        if (stale())
            return outcome;
        try {
            std::unique_ptr<Image> decoded(Image::loadEncodedJpeg(jpeg));
            if (!decoded->getRGB32Buffer()) {
                outcome.error = QStringLiteral("The JPEG could not be decoded again: %1")
                                    .arg(decoded->getLoadMessage());
                return outcome;
            }
            auto result =
                std::make_unique<CompressionResult>(source, decoded.release(), settings, jpeg);
            measureUnlessStale(*result, stale);
            outcome.result = result.release();
        } catch (const std::bad_alloc&) {
            outcome.error = noMemory;
        }
        return outcome;
    });
}

void LiveCompression::submit(Job job)
{
    latest->store(++generation);
    pendingJob = std::move(job);
    if (!watcher.isRunning())
        start();
}

void LiveCompression::cancel()
{
    supersede();
    watcher.waitForFinished();
    dropUnconsumed();
}

void LiveCompression::dropUnconsumed()
{
    if (!consumed && watcher.isFinished() && watcher.future().resultCount() > 0) {
        consumed = true;
        delete watcher.result().result;
    }
}

void LiveCompression::supersede()
{
    latest->store(++generation);
    pendingJob = nullptr;
}

void LiveCompression::start()
{
    // A job may have finished with its signal still queued: its result,
    // stale by now, would be lost with its future.
    dropUnconsumed();
    consumed = false;
    const quint64 job = generation;
    const Staleness stale(latest, job);
    watcher.setFuture(QtConcurrent::run([work = std::move(pendingJob), job, stale] {
        Outcome outcome = work(stale);
        outcome.generation = job;
        return outcome;
    }));
    pendingJob = nullptr;
}

void LiveCompression::jobFinished()
{
    // After cancel() the result is gone already; a late signal of a future
    // replaced since is not about the current job.
    if (consumed || !watcher.isFinished() || watcher.future().resultCount() == 0)
        return;
    consumed = true;
    const Outcome outcome = watcher.result();
    if (outcome.generation != generation)
        delete outcome.result;
    else if (outcome.compression)
        emit compressed(outcome.result, outcome.error, outcome.encodingMs);
    else
        emit decoded(outcome.result, outcome.error);
    if (pendingJob)
        start();
}
