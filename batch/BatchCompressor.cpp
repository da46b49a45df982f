#include "BatchCompressor.h"

#include "Image.h"

#include <QCoreApplication>
#include <QFile>
#include <QProgressDialog>

#include <exception>
#include <new>

BatchCompressor::BatchCompressor() : compressor(std::make_unique<JPEGCompressor>()) {}

BatchCompressor::~BatchCompressor() = default;

std::vector<ResultStat> BatchCompressor::compress(const QStringList& files,
                                                  std::vector<JPEGSettings>& settings,
                                                  QProgressDialog* dialog)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
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
    bool canceled = false;
    lastSummary.start(files.size(), std::int64_t(settings.size()));

    for (const QString& file : files) {
        const Clock::time_point loadStart = Clock::now();
        std::unique_ptr<Image> image;
        try {
            image.reset(new Image(QFile::encodeName(file).toStdString()));
        } catch (const std::bad_alloc&) {
            lastSummary.addLoadFailure(file,
                                       QStringLiteral("Not enough memory to load the picture."));
            continue;
        }
        totals.loading += Clock::now() - loadStart;
        if (!image->getRGB24Buffer()) {
            lastSummary.addLoadFailure(file, image->getLoadMessage());
            continue;
        }
        compressor->setImage(image.get());
        compressor->setMeasuredFigures(figures);

        std::int64_t index = 0;
        for (const JPEGSettings& entry : settings) {
            *compressor->getSettings() = entry;
            std::unique_ptr<CompressionResult> result;
            QString failure;
            try {
                result.reset(compressor->compressImage());
                if (!result)
                    failure = compressor->lastError();
            } catch (const std::bad_alloc&) {
                failure = QStringLiteral("Not enough memory to compress the picture.");
            }
            const JPEGCompressor::Timings& spent = compressor->lastTimings();
            totals.encoding += spent.encoding;
            totals.decoding += spent.decoding;
            totals.measuring += spent.measuring;
            totals.similarity += spent.similarity;
            ++totals.compressions;
            if (result) {
                try {
                    results.emplace_back(*result, figures);
                    used.push_back(entry);
                    lastSummary.addSuccess();
                } catch (const std::bad_alloc&) {
                    // Keep the lists aligned and stop: what was gathered
                    // stays usable.
                    if (results.size() > used.size())
                        results.pop_back();
                    lastSummary.addFailure(file, index, entry,
                                           QStringLiteral("Not enough memory to keep more results; "
                                                          "the run stopped here."));
                    canceled = true;
                    break;
                }
                // One string for all the results of a file.
                if (results.back().fileName == file)
                    results.back().fileName = file;
                // The decoded picture goes with the result, before the next
                // compression makes another.
                result.reset();
            } else {
                lastSummary.addFailure(file, index, entry, failure);
            }
            ++index;

            QCoreApplication::processEvents();
            if (dialog)
                dialog->setValue(counter);
            ++counter;
            QCoreApplication::processEvents();
            if (dialog && dialog->wasCanceled()) {
                canceled = true;
                break;
            }
        }
        // The picture is deleted with this iteration: leave no dangling
        // pointer behind in the compressor.
        compressor->setImage(nullptr);
        if (canceled)
            break;
    }

    // The measurement buffers serve one run; between runs nothing is held.
    compressor->releaseMeasurementBuffers();
    settings.swap(used);
    totals.total += Clock::now() - start;
    return results;
}
