// SPDX-License-Identifier: GPL-3.0-or-later
#include "TableOptimiser.h"

#include "Image.h"
#include "JPEGCompressor.h"
#include "QuantizationTableFiles.h"
#include "RealSearch.h"
#include "TableSearch.h"

#include <QFile>
#include <QFileInfo>
#include <QFuture>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>
#include <QtConcurrent/QtConcurrentRun>

#include <chrono>
#include <cmath>
#include <memory>
#include <sstream>

namespace TableOptimiser {

bool parseQualities(const QString& text, std::vector<int>& qualities)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 3)
        return false;
    bool ok[3] = {};
    const int low = parts[0].toInt(&ok[0]), high = parts[1].toInt(&ok[1]),
              step = parts[2].toInt(&ok[2]);
    if (!ok[0] || !ok[1] || !ok[2] || low < 1 || high > 100 || low > high || step < 1)
        return false;
    qualities.clear();
    for (int q = low; q <= high; q += step)
        qualities.push_back(q);
    return int(qualities.size()) >= 4; // a BD-rate needs four points
}

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

QuantizationTable onesTable()
{
    QuantizationTable t;
    for (unsigned k = 0; k < 64; ++k)
        t[k] = 1;
    return t;
}

bool loadAll(const QStringList& paths, std::vector<std::unique_ptr<Image>>& out, QString& error)
{
    for (const QString& path : paths) {
        auto image = std::make_unique<Image>(QFile::encodeName(path).toStdString());
        if (!image->getRGB32Buffer()) {
            error = QStringLiteral("%1: %2").arg(path, image->getLoadMessage());
            return false;
        }
        out.push_back(std::move(image));
    }
    return true;
}

// The pictures' coefficients and models, built on the pool, and their
// offsets from one real encode each at the finest tables.
bool prepare(const std::vector<std::unique_ptr<Image>>& images, const Options& options,
             TableSearch::Problem& problem, QString& error)
{
    const std::function<TableSearch::Picture(const std::unique_ptr<Image>&)> build =
        [&](const std::unique_ptr<Image>& image) {
            TableSearch::Picture picture;
            auto cache = std::make_shared<CoefficientCache>(
                CoefficientCache::compute(*image, options.sampling));
            picture.model = std::make_shared<PositionModel>(*cache);
            picture.cache = cache;
            return picture;
        };
    const QList<TableSearch::Picture> built =
        QtConcurrent::blockingMapped<QList<TableSearch::Picture>>(images.begin(), images.end(),
                                                                  build);
    int maxH = 1, maxV = 1;
    for (const JPEGSettings::Downsampling& f : options.sampling) {
        maxH = std::max(maxH, f.horizontal);
        maxV = std::max(maxV, f.vertical);
    }
    for (int c = 1; c < 3; ++c)
        problem.chromaGains[std::size_t(c - 1)] =
            TableSearch::upsamplingGains(maxH / options.sampling[std::size_t(c)].horizontal,
                                         maxV / options.sampling[std::size_t(c)].vertical);
    const QuantizationTable ones = onesTable();
    const std::array<double, 64> flatWeights = TableSearch::frequencyWeights(0);
    for (qsizetype i = 0; i < built.size(); ++i) {
        TableSearch::Picture picture = built[i];
        const std::optional<double> measured = RealEncodes::meanSquareError(
            *images[std::size_t(i)],
            RealEncodes::settingsFor(ones, ones, 50, options.sampling, options.baseline), error);
        if (!measured)
            return false;
        const TableEstimate::PictureEstimate e = TableEstimate::estimate(
            *picture.cache, TableEstimate::effective(ones, ones, 50, options.baseline));
        picture.offset = std::max(0.0, *measured - TableSearch::estimatedError(
                                                       e, flatWeights, 0, 1, problem.chromaGains));
        problem.pictures.push_back(picture);
    }
    problem.qualities = options.qualities;
    problem.baseline = options.baseline;
    problem.referenceLuma = QuantizationTable(annexKLuminance);
    problem.referenceChroma = QuantizationTable(annexKChrominance);
    return true;
}

// Runs the searches on the pool, reporting progress until all are done.
std::vector<TableSearch::Outcome>
runSearches(const TableSearch::Problem& problem, const std::vector<double>& alphas,
            const std::vector<RealEncodes::Pair>& starts, Clock::time_point deadline,
            const StatusCallback& status, const std::atomic<bool>* cancelled,
            long long& evaluations)
{
    TableSearch::Progress progress;
    std::vector<QFuture<TableSearch::Outcome>> futures;
    // With fewer workers than searches they run in waves; each search takes
    // its wave's share of the time left when it starts.
    const int workers = std::max(1, QThreadPool::globalInstance()->maxThreadCount());
    std::atomic<int> notStarted{int(alphas.size())};
    for (std::size_t i = 0; i < alphas.size(); ++i) {
        const std::array<double, 64> weights = TableSearch::frequencyWeights(alphas[i]);
        const RealEncodes::Pair start = starts[i];
        futures.push_back(QtConcurrent::run([&problem, weights, start, deadline, &progress,
                                             cancelled, i, workers, &notStarted] {
            const int waves = (notStarted.fetch_sub(1) + workers - 1) / workers;
            const Clock::time_point now = Clock::now();
            const Clock::time_point mine = now < deadline ? now + (deadline - now) / waves : now;
            return TableSearch::search(problem, weights, start.luma, start.chroma, mine, progress,
                                       cancelled, unsigned(i + 1));
        }));
    }
    for (;;) {
        bool done = true;
        for (const QFuture<TableSearch::Outcome>& f : futures)
            done = done && f.isFinished();
        if (status) {
            Status s;
            s.phase = QStringLiteral("searching");
            s.evaluations = progress.evaluations.load();
            s.best = progress.best.load();
            status(s);
        }
        if (done)
            break;
        QThread::msleep(200);
    }
    std::vector<TableSearch::Outcome> outcomes;
    for (QFuture<TableSearch::Outcome>& f : futures)
        outcomes.push_back(f.result());
    evaluations = progress.evaluations.load();
    return outcomes;
}

double meanOf(const std::vector<std::optional<double>>& values, bool& complete)
{
    double sum = 0;
    complete = !values.empty();
    for (const std::optional<double>& v : values) {
        if (!v) {
            complete = false;
            return 0;
        }
        sum += *v;
    }
    return complete ? sum / double(values.size()) : 0;
}

// The rows of one set: each picture's and the mean BD-rates of the pairs
// after the first (the reference) against it.
void addRows(const QString& set, const QStringList& names,
             const std::vector<std::vector<RealEncodes::Curve>>& curves,
             const QStringList& pairNames, std::vector<Row>& rows)
{
    for (std::size_t pair = 1; pair < curves.size(); ++pair) {
        std::array<std::vector<std::optional<double>>, RealEncodes::METRIC_COUNT> all;
        for (std::size_t p = 0; p < std::size_t(names.size()); ++p) {
            Row row{set, QFileInfo(names[qsizetype(p)]).fileName(), pairNames[qsizetype(pair)], {}};
            for (int m = 0; m < RealEncodes::METRIC_COUNT; ++m) {
                row.bdRate[std::size_t(m)] =
                    RealEncodes::bdRate(curves[0][p], curves[pair][p], Metric(m));
                all[std::size_t(m)].push_back(row.bdRate[std::size_t(m)]);
            }
            rows.push_back(row);
        }
        Row mean{set, QStringLiteral("mean"), pairNames[qsizetype(pair)], {}};
        for (int m = 0; m < RealEncodes::METRIC_COUNT; ++m) {
            bool complete = false;
            const double v = meanOf(all[std::size_t(m)], complete);
            if (complete)
                mean.bdRate[std::size_t(m)] = v;
        }
        rows.push_back(mean);
    }
}

QString percent(const std::optional<double>& v)
{
    return v ? QString::asprintf("%+.2f", *v) : QStringLiteral("n/a");
}

QString qualityRange(const std::vector<int>& qualities)
{
    QStringList parts;
    for (int q : qualities)
        parts << QString::number(q);
    return parts.join(QLatin1Char(','));
}

// Real encodes of the finalists on the training pictures decide between
// them; the best is refined by real encodes (the chroma table held for the
// metrics of luma alone) until `deadline`. Null with result.error set on
// failure.
std::optional<RealEncodes::Pair> decideAndRefine(
    const std::vector<const Image*>& pictures, const std::vector<RealEncodes::Pair>& finalists,
    const Options& options, const RealEncodes::Pair& reference, Clock::time_point deadline,
    std::atomic<long long>* compressions, const std::atomic<bool>* cancelled, Result& result)
{
    std::vector<RealEncodes::Pair> pairs{reference};
    pairs.insert(pairs.end(), finalists.begin(), finalists.end());
    std::vector<std::vector<RealEncodes::Curve>> curves;
    if (!RealEncodes::encode(pictures, pairs, options.qualities, options.sampling, options.baseline,
                             curves, result.error, compressions, options.metric))
        return std::nullopt;
    double bestMean = std::numeric_limits<double>::infinity();
    RealEncodes::Pair chosen = finalists.front();
    for (std::size_t pair = 1; pair < pairs.size(); ++pair) {
        double sum = 0;
        for (std::size_t p = 0; p < pictures.size(); ++p)
            sum +=
                TableSearch::penalisedDelta(RealEncodes::points(curves[0][p], options.metric),
                                            RealEncodes::points(curves[pair][p], options.metric));
        const double mean = sum / double(pictures.size());
        if (mean < bestMean) {
            bestMean = mean;
            chosen = pairs[pair];
        }
    }
    if (!std::isfinite(bestMean)) {
        result.error = QStringLiteral("The training pictures give no %1 curves to compare "
                                      "(MS-SSIM needs pictures of at least 176 pixels a side).")
                           .arg(QLatin1String(RealEncodes::key(options.metric)));
        return std::nullopt;
    }
    RealSearch::Setting setting{pictures,
                                options.qualities,
                                options.sampling,
                                options.baseline,
                                options.metric,
                                curves[0],
                                TableSearch::bounds(options.qualities, options.baseline),
                                options.metric != Metric::PSNR};
    const RealSearch::Outcome refined =
        RealSearch::refine(setting, chosen, bestMean, deadline, compressions, cancelled);
    if (!refined.error.isEmpty()) {
        result.error = refined.error;
        return std::nullopt;
    }
    result.realTrials = refined.trials;
    return refined.pair;
}

// The searches to run, one weighting and one start each: for psnr, from the
// start and from the other of Annex K and flat; for the others, from the
// start at several weightings.
struct Searches
{
    std::vector<double> alphas;
    std::vector<RealEncodes::Pair> starts;
};

Searches planSearches(const Options& options, const RealEncodes::Pair& annexK,
                      const RealEncodes::Pair& flat, TableSearch::Problem& problem)
{
    const RealEncodes::Pair startPair{options.startLuma, options.startChroma};
    Searches searches;
    if (options.metric == Metric::PSNR) {
        searches.alphas = {0, 0};
        searches.starts = {
            startPair,
            options.startLuma == flat.luma && options.startChroma == flat.chroma ? annexK : flat};
    } else {
        // Luma alone is measured: colours may get finer than the start's,
        // never coarser, and count little.
        searches.alphas = {-0.5, 0, 0.5, 1.0};
        searches.starts.assign(searches.alphas.size(), startPair);
        problem.chromaWeight = 0.1;
        problem.chromaCeiling = true;
        problem.chromaLimit = options.startChroma;
    }
    return searches;
}

// The finalists: for psnr the estimates' best, which model it; for the
// others every search's result and the start, for real encodes to decide
// between.
std::vector<RealEncodes::Pair> finalistsOf(const Options& options,
                                           const std::vector<TableSearch::Outcome>& outcomes)
{
    std::vector<RealEncodes::Pair> finalists;
    if (options.metric == Metric::PSNR) {
        const TableSearch::Outcome* best = &outcomes[0];
        for (const TableSearch::Outcome& o : outcomes)
            if (o.objective < best->objective)
                best = &o;
        finalists.push_back({best->luma, best->chroma});
    } else {
        finalists.push_back({options.startLuma, options.startChroma});
        for (const TableSearch::Outcome& o : outcomes)
            finalists.push_back({o.luma, o.chroma});
    }
    return finalists;
}

// The training and validation pictures, and the search problem of the
// training ones; false with `error` set on failure.
bool loadPictures(const Options& options, std::vector<std::unique_ptr<Image>>& training,
                  std::vector<std::unique_ptr<Image>>& validation, TableSearch::Problem& problem,
                  QString& error)
{
    if (options.training.isEmpty()) {
        error = QStringLiteral("No training pictures.");
        return false;
    }
    return loadAll(options.training, training, error) &&
           loadAll(options.validation, validation, error) &&
           prepare(training, options, problem, error);
}

std::vector<const Image*> pointers(const std::vector<std::unique_ptr<Image>>& images)
{
    std::vector<const Image*> out;
    for (const auto& image : images)
        out.push_back(image.get());
    return out;
}

// True, with the result marked so, when the run was cancelled.
bool stopped(const std::atomic<bool>* cancelled, Result& result)
{
    if (!(cancelled && cancelled->load()))
        return false;
    result.cancelled = true;
    result.error = QStringLiteral("Cancelled.");
    return true;
}

// The report's rows, from real encodes only of Annex K, the result and flat
// on the training and validation pictures; false with result.error set on
// failure.
bool report(const std::vector<const Image*>& training, const std::vector<const Image*>& validation,
            const Options& options, const RealEncodes::Pair& annexK, const RealEncodes::Pair& flat,
            std::atomic<long long>& compressions, Result& result)
{
    const std::vector<RealEncodes::Pair> reported{annexK, {result.luma, result.chroma}, flat};
    const QStringList names{QStringLiteral("annex-k"), QStringLiteral("optimised"),
                            QStringLiteral("flat")};
    std::vector<std::vector<RealEncodes::Curve>> curves;
    if (!RealEncodes::encode(training, reported, options.qualities, options.sampling,
                             options.baseline, curves, result.error, &compressions))
        return false;
    addRows(QStringLiteral("training"), options.training, curves, names, result.rows);
    if (!validation.empty()) {
        if (!RealEncodes::encode(validation, reported, options.qualities, options.sampling,
                                 options.baseline, curves, result.error, &compressions))
            return false;
        addRows(QStringLiteral("validation"), options.validation, curves, names, result.rows);
    }
    return true;
}

} // namespace

QuantizationTable flatTable()
{
    QuantizationTable t;
    for (unsigned k = 0; k < 64; ++k)
        t[k] = 16;
    return t;
}

Result run(const Options& options, const StatusCallback& status, const std::atomic<bool>* cancelled)
{
    Result result;
    const Clock::time_point start = Clock::now();
    // The searches on estimates take up to half the time, refining by real
    // encodes what they leave of the first 85 %, the report the rest.
    // For the metrics the estimates do not model, the refinement needs the
    // time more.
    const double searchShare = options.metric == Metric::PSNR ? 0.5 : 0.2;
    const Clock::time_point deadline =
        start + std::chrono::milliseconds(qint64(options.timeLimit * 1000 * searchShare));
    const Clock::time_point refineDeadline =
        start + std::chrono::milliseconds(qint64(options.timeLimit * 1000 * 0.85));
    std::vector<std::unique_ptr<Image>> training, validation;
    TableSearch::Problem problem;
    if (!loadPictures(options, training, validation, problem, result.error))
        return result;

    const RealEncodes::Pair flat{flatTable(), flatTable()};
    const RealEncodes::Pair annexK{QuantizationTable(annexKLuminance),
                                   QuantizationTable(annexKChrominance)};
    const Searches searches = planSearches(options, annexK, flat, problem);
    const Clock::time_point searchStart = Clock::now();
    const std::vector<TableSearch::Outcome> outcomes = runSearches(
        problem, searches.alphas, searches.starts, deadline, status, cancelled, result.evaluations);
    result.searchSeconds = secondsSince(searchStart);
    if (stopped(cancelled, result))
        return result;

    const std::vector<const Image*> trainingPictures = pointers(training);
    std::atomic<long long> compressions{0};
    const Clock::time_point encodeStart = Clock::now();
    const std::vector<RealEncodes::Pair> finalists = finalistsOf(options, outcomes);
    if (status)
        status({QStringLiteral("refining"), result.evaluations, 0});
    const std::optional<RealEncodes::Pair> chosen =
        decideAndRefine(trainingPictures, finalists, options, annexK, refineDeadline, &compressions,
                        cancelled, result);
    if (!chosen)
        return result;
    result.luma = chosen->luma;
    result.chroma = chosen->chroma;
    if (stopped(cancelled, result))
        return result;

    if (status)
        status({QStringLiteral("measuring"), result.evaluations, 0});
    if (!report(trainingPictures, pointers(validation), options, annexK, flat, compressions,
                result))
        return result;
    result.compressions = compressions.load();
    result.compressionSeconds = secondsSince(encodeStart);
    return result;
}

QByteArray tablesFile(const Result& result, const Options& options)
{
    std::ostringstream out;
    const std::string about =
        QStringLiteral("optimised for %1 over qualities %2, %3, sampling %4, start %5")
            .arg(QLatin1String(RealEncodes::key(options.metric)), qualityRange(options.qualities),
                 options.baseline ? QStringLiteral("baseline") : QStringLiteral("extended"),
                 SamplingText::format(options.sampling), options.startName)
            .toStdString();
    const QuantizationTable* tables[2] = {&result.luma, &result.chroma};
    const char* names[2] = {"Luminance", "Chrominance"};
    for (int t = 0; t < 2; ++t) {
        TableValues values{};
        for (unsigned k = 0; k < 64; ++k)
            values[k] = short((*tables[t])[k]);
        writeTable(out, values, std::string(names[t]) + " table " + about);
    }
    return QByteArray::fromStdString(out.str());
}

QByteArray reportCsv(const Result& result)
{
    QByteArray csv = "set,picture,tables";
    for (int m = 0; m < RealEncodes::METRIC_COUNT; ++m)
        csv += QByteArray(",bd_rate_") + RealEncodes::key(Metric(m));
    csv += '\n';
    auto quoted = [](const QString& text) {
        QString t = text;
        t.replace(QLatin1Char('"'), QLatin1String("\"\""));
        return QStringLiteral("\"%1\"").arg(t).toUtf8();
    };
    for (const Row& row : result.rows) {
        csv += row.set.toUtf8() + ',' + quoted(row.picture) + ',' + row.tables.toUtf8();
        for (const std::optional<double>& v : row.bdRate)
            csv += ',' + (v ? QByteArray::number(*v, 'f', 4) : QByteArray());
        csv += '\n';
    }
    return csv;
}

QString reportText(const Result& result, const Options& options)
{
    QString text =
        QStringLiteral("Tables optimised for %1 over qualities %2 (%3, sampling %4, "
                       "start %5).\nBD-rate against Annex K, percent of bits at "
                       "equal quality (negative saves), from real encodes:\n")
            .arg(QLatin1String(RealEncodes::key(options.metric)), qualityRange(options.qualities),
                 options.baseline ? QStringLiteral("baseline") : QStringLiteral("extended"),
                 SamplingText::format(options.sampling), options.startName);
    text += QStringLiteral("%1 %2 %3")
                .arg(QStringLiteral("set"), -10)
                .arg(QStringLiteral("picture"), -24)
                .arg(QStringLiteral("tables"), -9);
    for (int m = 0; m < RealEncodes::METRIC_COUNT; ++m)
        text += QStringLiteral(" %1").arg(QLatin1String(RealEncodes::key(Metric(m))), 8);
    text += QLatin1Char('\n');
    for (const Row& row : result.rows) {
        text +=
            QStringLiteral("%1 %2 %3").arg(row.set, -10).arg(row.picture, -24).arg(row.tables, -9);
        for (const std::optional<double>& v : row.bdRate)
            text += QStringLiteral(" %1").arg(percent(v), 8);
        text += QLatin1Char('\n');
    }
    const auto rate = [](double count, double seconds) {
        return seconds > 0 ? count / seconds : 0.0;
    };
    text += QStringLiteral("Search: %1 estimated evaluations in %2 s (%3 per second); real "
                           "encodes and decodes: %4 in %5 s (%6 per second).\n")
                .arg(result.evaluations)
                .arg(result.searchSeconds, 0, 'f', 1)
                .arg(rate(double(result.evaluations), result.searchSeconds), 0, 'f', 0)
                .arg(result.compressions)
                .arg(result.compressionSeconds, 0, 'f', 1)
                .arg(rate(double(result.compressions), result.compressionSeconds), 0, 'f', 1);
    return text;
}

} // namespace TableOptimiser
