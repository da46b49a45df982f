#include "BatchCompressor.h"

#include "Image.h"

#include <QCoreApplication>
#include <QFile>
#include <QProgressDialog>

#include <exception>

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

    for (const QString& file : files) {
        const Clock::time_point loadStart = Clock::now();
        const std::unique_ptr<Image> image(new Image(QFile::encodeName(file).toStdString()));
        totals.loading += Clock::now() - loadStart;
        if (!image->getRGB24Buffer())
            continue;
        compressor->setImage(image.get());
        compressor->setMeasuredFigures(figures);

        for (const JPEGSettings& entry : settings) {
            *compressor->getSettings() = entry;
            std::unique_ptr<CompressionResult> result(compressor->compressImage());
            const JPEGCompressor::Timings& spent = compressor->lastTimings();
            totals.encoding += spent.encoding;
            totals.decoding += spent.decoding;
            totals.measuring += spent.measuring;
            totals.similarity += spent.similarity;
            ++totals.compressions;
            if (result) {
                results.emplace_back(*result, figures);
                // One string for all the results of a file.
                if (results.back().fileName == file)
                    results.back().fileName = file;
                used.push_back(entry);
                // The decoded picture goes with the result, before the next
                // compression makes another.
                result.reset();
            }

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
