#include "LiveCompression.h"

#include "CompressionResult.h"
#include "JPEGCompressor.h"

#include <QtConcurrent/QtConcurrentRun>

#include <new>

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
    ++generation;
    pending = true;
    pendingImage = image;
    pendingSettings = settings;
    if (!watcher.isRunning())
        start();
}

void LiveCompression::cancel()
{
    supersede();
    watcher.waitForFinished();
    if (!consumed && watcher.future().resultCount() > 0) {
        consumed = true;
        delete watcher.result().result;
    }
}

void LiveCompression::supersede()
{
    ++generation;
    pending = false;
    pendingImage = nullptr;
}

void LiveCompression::start()
{
    pending = false;
    consumed = false;
    Image* const image = pendingImage;
    const JPEGSettings settings = pendingSettings;
    const quint64 job = generation;
    watcher.setFuture(QtConcurrent::run([image, settings, job] {
        Outcome outcome;
        outcome.generation = job;
        try {
            JPEGCompressor compressor;
            compressor.setImage(image);
            *compressor.getSettings() = settings;
            outcome.result = compressor.compressImage();
            if (!outcome.result)
                outcome.error = compressor.lastError();
        } catch (const std::bad_alloc&) {
            outcome.error = QStringLiteral("Not enough memory to compress the picture.");
        }
        return outcome;
    }));
}

void LiveCompression::jobFinished()
{
    // After cancel() the result is gone already; a late signal of a future
    // replaced since is not about the current job.
    if (consumed || !watcher.isFinished() || watcher.future().resultCount() == 0)
        return;
    consumed = true;
    const Outcome outcome = watcher.result();
    if (outcome.generation == generation)
        emit compressed(outcome.result, outcome.error);
    else
        delete outcome.result;
    if (pending)
        start();
}
