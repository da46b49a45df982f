// SPDX-License-Identifier: GPL-3.0-or-later
#include "RealEncodes.h"

#include "BDRate.h"
#include "CompressionResult.h"
#include "Figures.h"
#include "Image.h"
#include "JPEGCompressor.h"

#include <QtConcurrent/QtConcurrentMap>

#include <cmath>
#include <functional>
#include <memory>

namespace RealEncodes {

namespace {

constexpr Figure figures[METRIC_COUNT] = {Figure::PSNR, Figure::PSNR_Y, Figure::SSIM,
                                          Figure::MS_SSIM};
constexpr const char* keys[METRIC_COUNT] = {"psnr", "psnr_y", "ssim", "ms_ssim"};

struct Task
{
    const Image* picture;
    const Pair* pair;
    int quality;
};

struct Done
{
    Point point;
    QString error;
};

} // namespace

const char* key(Metric metric)
{
    return keys[int(metric)];
}

bool fromKey(const QString& text, Metric& metric)
{
    for (int m = 0; m < METRIC_COUNT; ++m)
        if (text == QLatin1String(keys[m])) {
            metric = Metric(m);
            return true;
        }
    return false;
}

JPEGSettings settingsFor(const QuantizationTable& luma, const QuantizationTable& chroma,
                         int quality, const Sampling& sampling, bool baseline)
{
    JPEGSettings settings;
    settings.setAutoQualityEnabled(false);
    settings.setQuality(quality);
    settings.setOptimizeHuffman(true);
    settings.setDCTMethod(JPEGSettings::INT);
    settings.setCompressionMode(baseline ? JPEGSettings::BASELINE : JPEGSettings::EXTENDED);
    settings.qtables[0] = luma;
    settings.qtables[1] = chroma;
    bool* current = settings.getCurrentQuantizationTables();
    current[0] = current[1] = true;
    current[2] = current[3] = false;
    for (int c = 0; c < 3; ++c)
        settings.downsampling[c] = sampling[std::size_t(c)];
    return settings;
}

bool encode(const std::vector<const Image*>& pictures, const std::vector<Pair>& pairs,
            const std::vector<int>& qualities, const Sampling& sampling, bool baseline,
            std::vector<std::vector<Curve>>& curves, QString& error,
            std::atomic<long long>* compressions, std::optional<Metric> only)
{
    std::vector<Task> tasks;
    for (const Pair& pair : pairs)
        for (const Image* picture : pictures)
            for (int q : qualities)
                tasks.push_back({picture, &pair, q});
    FigureSet wanted;
    for (int m = 0; m < METRIC_COUNT; ++m)
        if (!only || int(*only) == m)
            wanted.insert(figures[m]);
    const std::function<Done(const Task&)> compress = [&](const Task& task) {
        JPEGCompressor compressor;
        // Compressing only reads the picture.
        compressor.setImage(const_cast<Image*>(task.picture));
        *compressor.getSettings() =
            settingsFor(task.pair->luma, task.pair->chroma, task.quality, sampling, baseline);
        compressor.setMeasuredFigures(wanted);
        std::unique_ptr<CompressionResult> result(compressor.compressImage());
        Done done;
        if (!result) {
            done.error = compressor.lastError();
            return done;
        }
        done.point.bitsPerPixel = result->getBitRate();
        for (int m = 0; m < METRIC_COUNT; ++m)
            done.point.figures[std::size_t(m)] =
                wanted.contains(figures[m]) ? result->figure(figures[m]) : std::nan("");
        if (compressions)
            compressions->fetch_add(1);
        return done;
    };
    const QList<Done> results =
        QtConcurrent::blockingMapped<QList<Done>>(tasks.begin(), tasks.end(), compress);
    curves.assign(pairs.size(), std::vector<Curve>(pictures.size()));
    for (qsizetype i = 0; i < results.size(); ++i) {
        if (!results[i].error.isEmpty()) {
            error = results[i].error;
            return false;
        }
        const std::size_t per = qualities.size(),
                          pairIndex = std::size_t(i) / (per * pictures.size());
        const std::size_t picture = std::size_t(i) / per % pictures.size();
        curves[pairIndex][picture].push_back(results[i].point);
    }
    return true;
}

std::optional<double> meanSquareError(const Image& picture, const JPEGSettings& settings,
                                      QString& error)
{
    JPEGCompressor compressor;
    compressor.setImage(const_cast<Image*>(&picture));
    *compressor.getSettings() = settings;
    std::unique_ptr<CompressionResult> result(compressor.compressImage());
    if (!result) {
        error = compressor.lastError();
        return std::nullopt;
    }
    return result->getMSE();
}

std::vector<BDRate::Point> points(const Curve& curve, Metric metric)
{
    std::vector<BDRate::Point> out;
    for (const Point& p : curve) {
        const double f = p.figures[std::size_t(metric)];
        if (!std::isfinite(f))
            return {};
        out.push_back({p.bitsPerPixel, f});
    }
    return out;
}

std::optional<double> bdRate(const Curve& reference, const Curve& test, Metric metric)
{
    return BDRate::rateDelta(points(reference, metric), points(test, metric));
}

} // namespace RealEncodes
