// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchEngine.h"

#include "BatchProgress.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "JpegBitCost.h"
#include "JpegFrame.h"

#include <QFile>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double milliseconds(std::chrono::nanoseconds span)
{
    return std::chrono::duration<double, std::milli>(span).count();
}

// One picture while compressions of it are under way, or loaded ahead of
// them.
struct Picture
{
    std::unique_ptr<Image> image;
    bool claimed = false; // a worker is loading it or has loaded it
    bool loading = true;  // until `image` is set
    int users = 0;
};

// The state the workers and the delivering thread share, under one mutex.
// Jobs are numbered file-major: job k is file k / entries, entry k % entries.
struct Run
{
    Run(const QStringList& files, const std::vector<JPEGSettings>& entries,
        const BatchEngine::Skip& skip, long long window)
        : files(files), entries(entries), skip(skip), entryCount((long long)entries.size()),
          total((long long)files.size() * (long long)entries.size()), window(window)
    {
    }

    bool skipped(long long job) const
    {
        return skip && skip(int(job / entryCount), int(job % entryCount));
    }

    // A picture after `file` that nobody has begun to load, that some wanted
    // job needs and whose first job is within the window; -1 when there is
    // none. Workers that would wait for another's load load it meanwhile.
    int pictureToLoadAhead(int file) const
    {
        for (long long ahead = file + 1; ahead < files.size(); ++ahead) {
            const long long first = ahead * entryCount;
            if (first >= delivered + window)
                return -1;
            const auto found = pictures.find(int(ahead));
            if (found != pictures.end() && found->second.claimed)
                continue;
            for (long long job = std::max(first, next); job < first + entryCount; ++job) {
                if (!skipped(job))
                    return int(ahead);
            }
        }
        return -1;
    }

    // Drops the pictures no job will need again: nobody uses them and the
    // dispatch has moved past their last job.
    void releasePictures()
    {
        const long long current = next < total ? next / entryCount : files.size();
        for (auto it = pictures.begin(); it != pictures.end();) {
            if (it->second.users == 0 && !it->second.loading && it->first < current)
                it = pictures.erase(it);
            else
                ++it;
        }
    }

    const QStringList& files;
    const std::vector<JPEGSettings>& entries;
    const BatchEngine::Skip& skip;
    const long long entryCount;
    const long long total;
    const long long window;
    static constexpr std::size_t DELIVERY_BATCH = 8;

    std::mutex mutex;
    std::condition_variable workAvailable; // workers wait for a job or a picture
    std::condition_variable outcomeReady;  // the delivering thread waits here
    long long next = 0;                    // the next job to hand out
    long long delivered = 0;               // the next job to deliver
    bool stop = false;
    int running = 0; // workers still running
    std::map<long long, BatchOutcome> ready;
    std::map<int, Picture> pictures;
};

void fillBitCost(const QByteArray& jpeg, ResultStat& stat)
{
    const JpegBitCost::Summary bits = JpegBitCost::read(jpeg).summary();
    stat.dcBitsY = bits.dcBitsY;
    stat.acBitsY = bits.acBitsY;
    stat.dcBitsC = bits.dcBitsC;
    stat.acBitsC = bits.acBitsC;
    stat.headerBytes = bits.headerBytes;
}

BatchOutcome compressOne(JPEGCompressor& compressor, Image* image, const JPEGSettings& entry,
                         bool keepJpeg, FigureSet figures, bool bitCost)
{
    BatchOutcome outcome;
    outcome.stat.width = image->getWidth();
    outcome.stat.height = image->getHeight();
    outcome.stat.sourceBytes = image->getImageSize();
    outcome.stat.encodeMs = outcome.stat.decodeMs = 0;
    *compressor.getSettings() = entry;
    std::unique_ptr<CompressionResult> result;
    try {
        result.reset(compressor.compressImage());
    } catch (const std::bad_alloc&) {
        outcome.status = BatchOutcome::Failed;
        outcome.message = QStringLiteral("Not enough memory to compress the picture.");
        return outcome;
    }
    const JPEGCompressor::Timings& spent = compressor.lastTimings();
    const double encodeMs = milliseconds(spent.encoding);
    const double decodeMs = milliseconds(spent.decoding);
    outcome.stat.encodeMs = encodeMs;
    outcome.stat.decodeMs = decodeMs;
    outcome.measureMs = milliseconds(spent.measuring);
    outcome.similarityMs = milliseconds(spent.similarity);
    if (!result) {
        outcome.status = BatchOutcome::Failed;
        outcome.message = compressor.lastError();
        return outcome;
    }
    const QByteArray& jpeg = result->getCompressedBytes();
    outcome.status = BatchOutcome::Compressed;
    // The record fills the sizes from the result itself.
    outcome.stat = ResultStat(*result, figures);
    outcome.stat.sampling = JpegFrame::sampling(jpeg);
    outcome.stat.encodeMs = encodeMs;
    outcome.stat.decodeMs = decodeMs;
    if (bitCost)
        fillBitCost(jpeg, outcome.stat);
    if (keepJpeg)
        outcome.jpeg = jpeg;
    return outcome;
}

// Loads `file` into `picture` with the lock released meanwhile; the
// picture's entry stays in place (std::map) while the lock is not held.
void load(Run& run, std::unique_lock<std::mutex>& lock, int file, Picture& picture)
{
    picture.claimed = true;
    lock.unlock();
    auto image = std::make_unique<Image>(QFile::encodeName(run.files.at(file)).toStdString());
    // The 24-bit copy may be made on first use; make it here, before other
    // workers read the picture.
    image->getRGB24Buffer();
    lock.lock();
    picture.image = std::move(image);
    picture.loading = false;
    run.workAvailable.notify_all();
}

// Makes the picture of `file`, which this worker uses, loaded: loads it
// when no worker has, else waits for the worker that loads it, loading
// another picture ahead meanwhile.
void waitForPicture(Run& run, std::unique_lock<std::mutex>& lock, int file, Picture& picture)
{
    if (!picture.claimed) {
        // This worker loads it; the others wait below.
        load(run, lock, file, picture);
        return;
    }
    // Rather than wait for another worker's load, load the next picture that
    // nobody loads yet; one only, so that pictures loaded ahead stay as few
    // as the workers.
    if (picture.loading) {
        const int ahead = run.pictureToLoadAhead(file);
        if (ahead >= 0)
            load(run, lock, ahead, run.pictures[ahead]);
    }
    run.workAvailable.wait(lock, [&] { return !picture.loading; });
}

// The outcome of one entry on a loaded picture, compressed with the lock
// released meanwhile.
BatchOutcome outcomeOf(JPEGCompressor& compressor, std::unique_lock<std::mutex>& lock, Image* image,
                       const JPEGSettings& entry, const BatchEngine::Options& options)
{
    BatchOutcome outcome;
    if (!image->getRGB24Buffer()) {
        outcome.status = BatchOutcome::Unloadable;
        outcome.message = image->getLoadMessage();
        if (outcome.message.isEmpty())
            outcome.message = QStringLiteral("The picture cannot be loaded.");
        return outcome;
    }
    lock.unlock();
    compressor.setImage(image);
    outcome =
        compressOne(compressor, image, entry, options.keepJpegs, options.figures, options.bitCost);
    // A damaged picture that still decoded: what the decoder said.
    if (outcome.status == BatchOutcome::Compressed)
        outcome.message = image->getLoadMessage();
    compressor.setImage(nullptr);
    lock.lock();
    return outcome;
}

void work(Run& run, BatchEngine::Options options)
{
    JPEGCompressor compressor;
    compressor.setMeasuredFigures(options.figures);
    std::unique_lock<std::mutex> lock(run.mutex);
    for (;;) {
        // The next wanted job, unless the consumer is too far behind.
        run.workAvailable.wait(lock, [&] {
            return run.stop || run.next >= run.total || run.next < run.delivered + run.window;
        });
        while (!run.stop && run.next < run.total && run.skipped(run.next))
            ++run.next;
        if (run.stop || run.next >= run.total)
            break;
        const long long job = run.next++;
        const int file = int(job / run.entryCount);
        const int entry = int(job % run.entryCount);

        Picture& picture = run.pictures[file];
        ++picture.users;
        waitForPicture(run, lock, file, picture);
        BatchOutcome outcome = outcomeOf(compressor, lock, picture.image.get(),
                                         run.entries[std::size_t(entry)], options);
        outcome.fileIndex = file;
        outcome.entryIndex = entry;
        outcome.stat.fileName = run.files.at(file);

        --picture.users;
        run.releasePictures();
        run.ready.emplace(job, std::move(outcome));
        // The delivering thread is woken for a handful of outcomes at a time
        // (each wake-up is a system call on both sides, a noticeable share
        // of a small picture's compression), and for every one once nothing
        // is left to hand out. Between wake-ups it polls anyway.
        if (run.ready.size() >= Run::DELIVERY_BATCH || run.next >= run.total)
            run.outcomeReady.notify_one();
    }
    --run.running;
    run.releasePictures();
    run.outcomeReady.notify_one();
}

} // namespace

int BatchEngine::workerCount() const
{
    if (options.workers > 0)
        return options.workers;
    return std::max(1, QThread::idealThreadCount());
}

bool BatchEngine::run(const QStringList& files, const std::vector<JPEGSettings>& entries,
                      const Consumer& consumer, BatchProgress* progress, const Skip& skip)
{
    canceled = false;
    if (files.isEmpty() || entries.empty())
        return true;
    // Loading goes through FreeImage, whose set-up is not safe to race.
    Image::initImage();

    const int workers = workerCount();
    // Enough room for every worker to run well ahead of a slow compression,
    // little enough that the outcomes waiting for it stay small.
    Run run(files, entries, skip, std::max<long long>(256, 64LL * workers));
    run.running = workers;
    std::vector<std::thread> threads;
    threads.reserve(std::size_t(workers));
    for (int i = 0; i < workers; ++i)
        threads.emplace_back(work, std::ref(run), options);

    bool complete = true;
    std::unique_lock<std::mutex> lock(run.mutex);
    for (;;) {
        while (run.delivered < run.total && run.skipped(run.delivered))
            ++run.delivered;
        if (run.delivered >= run.total)
            break;
        auto found = run.ready.find(run.delivered);
        if (found == run.ready.end()) {
            if (run.running == 0) // cannot happen while jobs remain; be safe
                break;
            run.outcomeReady.wait_for(lock, std::chrono::milliseconds(40));
            if (run.ready.count(run.delivered) == 0) {
                lock.unlock();
                const bool goOn = !canceled && (!progress || progress->poll());
                lock.lock();
                if (!goOn) {
                    complete = false;
                    break;
                }
            }
            continue;
        }
        BatchOutcome outcome = std::move(found->second);
        run.ready.erase(found);
        ++run.delivered;
        run.workAvailable.notify_all();
        lock.unlock();
        const bool goOn = consumer(std::move(outcome)) && !canceled;
        lock.lock();
        if (!goOn) {
            complete = false;
            break;
        }
    }
    run.stop = true;
    run.workAvailable.notify_all();
    lock.unlock();
    for (std::thread& thread : threads)
        thread.join();
    return complete;
}

ResultStat BatchOutcome::takeStat(int pictureIndex)
{
    ResultStat out = std::move(stat);
    out.pictureIndex = pictureIndex;
    out.entryIndex = entryIndex;
    return out;
}
