// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the batch engine over the sample pictures under a sweep of settings
// and reports compressions per second, where the time went and the peak
// resident size.
//
//   tessera_bench [--sweep | --default | --auto Q | --auto-range MIN:MAX:STEP]
//                 [--workers N] [--copies N] [--repeat N] [--figures KEYS]
//                 [--entries | --cjpeg DIR] [pictures...]
//
// --sweep (the default) expands 54 entries the way a batch run does: Baseline,
// colour, both Huffman choices, manual quality with the int, fast and float
// DCT over smoothing 0 to 30 by 10, and automatic quality 25 to 95 by 5.
// --default uses 50 copies of the one entry that the batch window's default
// form gives, --auto Q 50 copies of an entry with automatic quality Q (the
// library's standard tables and its default 2 x 2 luminance sampling), and
// --auto-range one automatic entry per quality of the range (as
// tessera-sweep --auto-quality with manual quality off).
// --workers sets the engine's workers (1 unless told; 0 is one per core),
// --copies runs each picture that many times in the list (as a picture set
// of that many pictures would), --repeat runs the whole batch N times after
// one untimed round (3 unless told). --figures chooses the quality figures
// measured with every compression, keys separated by commas ("psnr,ssim",
// "all"; none unless told); the time they take is printed apart. --entries
// prints the entries and stops.
// --cjpeg DIR writes what compare_cjpeg.sh needs to run the same batch with
// cjpeg and djpeg: the pictures as PPM, the custom tables, and one line of
// cjpeg options per entry. Without pictures, the two samples are used.
// With --figures, each figure that takes a pass of its own is then timed
// alone on the first picture at automatic quality 75, beside the
// compression (encoding, decoding and the error), in processor time and in
// wall time (a figure may run on more than one thread).
// --in-process decodes every format in this process instead of the helper
// (tessera-loader) that reads the general loader's formats; --loads N only
// loads each picture N times and prints the time per load.
// Scratch files go to a temporary directory.

#include "BatchEngine.h"
#include "BatchSettings.h"
#include "CompressionResult.h"
#include "Figures.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "JPEGSettingsFactory.h"
#include "LoaderProcess.h"
#include "MemoryBudget.h"
#include "QualityMetrics.h"

#include <FreeImage.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

#include <sys/resource.h>

namespace {

// The outer levels of a batch run for one table pair and one sampling pair
// (Baseline, colour, the Huffman choices), then the factory's levels.
std::vector<JPEGSettings> expand(BatchSettings& batch)
{
    std::vector<JPEGSettings> list;
    JPEGSettings working;
    JPEGSettingsFactory factory(&batch);
    bool* current = working.getCurrentQuantizationTables();
    current[0] = current[1] = true;
    current[2] = current[3] = false;
    working.downsampling[0] = batch.downsamplingPairs.front().first;
    working.downsampling[1] = batch.downsamplingPairs.front().second;
    working.qtables[0] = batch.luminanceTables.front();
    working.qtables[1] = batch.chrominanceTables.front();
    working.setCompressionMode(JPEGSettings::BASELINE);
    working.setGrayscaleOutput(false);
    for (bool optimize : {true, false}) {
        if (optimize ? batch.optimizeHuffman : batch.dontOptimizeHuffman) {
            working.setOptimizeHuffman(optimize);
            factory.quality(working, list, nullptr);
        }
    }
    return list;
}

BatchSettings sweepSettings()
{
    BatchSettings batch;
    batch.optimizeHuffman = batch.dontOptimizeHuffman = true;
    batch.manualQuality = batch.autoQuality = true;
    batch.dctInt = batch.dctFast = batch.dctFloat = true;
    batch.minSmoothing = 0;
    batch.maxSmoothing = 30;
    batch.smoothingStep = 10;
    batch.minQuality = 25;
    batch.maxQuality = 95;
    batch.qualityStep = 5;
    return batch;
}

double seconds(std::chrono::nanoseconds d)
{
    return std::chrono::duration<double>(d).count();
}

const char* dctName(JPEGSettings::DCTMethod m)
{
    return m == JPEGSettings::INT ? "int" : m == JPEGSettings::FAST ? "fast" : "float";
}

// The cjpeg options that produce the same file as `s` (Baseline entries of
// the kinds expand() makes).
QString cjpegOptions(const JPEGSettings& s)
{
    QString options = QStringLiteral("-baseline -smooth %1 -quality %2")
                          .arg(s.getSmoothing())
                          .arg(s.getQuality());
    if (s.getOptimizeHuffman())
        options += QStringLiteral(" -optimize");
    if (!s.isAutoQualityEnabled()) {
        options += QStringLiteral(" -dct %1 -qtables qtables.txt -qslots 0,1 -sample %2x%3,%4x%5")
                       .arg(QLatin1String(dctName(s.getDCTMethod())))
                       .arg(s.downsampling[0].horizontal)
                       .arg(s.downsampling[0].vertical)
                       .arg(s.downsampling[1].horizontal)
                       .arg(s.downsampling[1].vertical);
    }
    return options;
}

bool writeCjpegInputs(const QString& dirPath, const QStringList& files,
                      const std::vector<JPEGSettings>& entries)
{
    QDir dir(dirPath);
    if (!dir.mkpath(QStringLiteral(".")))
        return false;
    QFile tables(dir.filePath(QStringLiteral("qtables.txt")));
    QFile list(dir.filePath(QStringLiteral("entries.txt")));
    if (!tables.open(QIODevice::WriteOnly | QIODevice::Text) ||
        !list.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QTextStream tableText(&tables);
    for (int slot = 0; slot < 2; ++slot) {
        for (unsigned k = 0; k < QuantizationTable::SIZE; ++k)
            tableText << entries.front().qtables[slot][k] << (k % 8 == 7 ? "\n" : " ");
    }
    QTextStream listText(&list);
    for (const JPEGSettings& s : entries)
        listText << cjpegOptions(s) << '\n';
    for (const QString& file : files) {
        const Image image(QFile::encodeName(file).toStdString());
        if (!image.getRGB24Buffer())
            return false;
        FIBITMAP* bitmap = FreeImage_ConvertFromRawBits(
            image.getRGB24Buffer(), int(image.getWidth()), int(image.getHeight()),
            int(image.getRGB24Pitch()), 24, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK,
            FALSE);
        const QString ppm = dir.filePath(QFileInfo(file).completeBaseName() + ".ppm");
        const bool saved =
            bitmap && FreeImage_Save(FIF_PPMRAW, bitmap, QFile::encodeName(ppm).constData(), 0);
        if (bitmap)
            FreeImage_Unload(bitmap);
        if (!saved)
            return false;
    }
    return true;
}

} // namespace

// Milliseconds per call of `work`, the mean of `rounds` calls: processor
// time (every thread of the process) and wall time.
struct Timing
{
    double processor = 0;
    double wall = 0;
};

template <typename Work> Timing timed(int rounds, Work work)
{
    const std::clock_t start = std::clock();
    const auto wallStart = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i)
        work(i);
    Timing t;
    t.processor = 1000.0 * double(std::clock() - start) / CLOCKS_PER_SEC / rounds;
    t.wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wallStart)
                 .count() /
             rounds;
    return t;
}

// The compression of `path` at automatic quality 75 and each figure of
// `figures` that takes a pass of its own, timed alone.
void printPerFigure(const QString& path, FigureSet figures, int rounds)
{
    Image source(QFile::encodeName(path).toStdString());
    if (!source.getRGB32Buffer())
        return;
    JPEGCompressor compressor;
    compressor.setImage(&source);
    compressor.getSettings()->setAutoQualityEnabled(true);
    compressor.getSettings()->setQuality(75);
    std::vector<std::unique_ptr<CompressionResult>> results(std::size_t(rounds) + 1);
    results[0].reset(compressor.compressImage()); // untimed: caches
    if (!results[0])
        return;
    const Timing compression = timed(
        rounds, [&](int i) { results[std::size_t(i) + 1].reset(compressor.compressImage()); });
    std::printf("per figure on %s at quality 75, processor time (wall time):\n"
                "  %-18s %8.3f ms (%.3f ms)\n",
                qPrintable(QFileInfo(path).fileName()), "compression", compression.processor,
                compression.wall);
    QualityMetrics::Workspace workspace;
    const Figure own[] = {Figure::PSNR_Y,      Figure::SSIM,        Figure::MS_SSIM,
                          Figure::SSIMULACRA2, Figure::Butteraugli, Figure::Butteraugli3Norm};
    for (Figure f : own) {
        if (!figures.contains(f) ||
            (f == Figure::Butteraugli3Norm && figures.contains(Figure::Butteraugli)))
            continue; // the 3-norm comes with the maximum
        FigureSet alone;
        alone.insert(f);
        // Untimed: the buffers, and SSIMULACRA 2's reference of the source,
        // which the second comparison makes, as in a sweep.
        results[0]->measure(alone, workspace);
        if (f == Figure::SSIMULACRA2)
            source.ssimulacra2Reference();
        const Timing t =
            timed(rounds, [&](int i) { results[std::size_t(i) + 1]->measure(alone, workspace); });
        std::printf("  %-18s %8.3f ms (%.3f ms)  (%.2f compressions; %.2f in wall time)\n",
                    Figures::info(f).name, t.processor, t.wall, t.processor / compression.processor,
                    t.wall / compression.wall);
    }
}

// Loads each picture `count` times after one untimed load and prints the
// time per load; fails when one does not load.
int timeLoads(const QStringList& files, int count)
{
    for (const QString& file : files) {
        const std::string path = QFile::encodeName(file).toStdString();
        if (!Image(path).getRGB32Buffer()) {
            std::fprintf(stderr, "%s does not load: %s\n", qPrintable(file),
                         qPrintable(Image(path).getLoadMessage()));
            return 1;
        }
        const auto start = std::chrono::steady_clock::now();
        unsigned width = 0, height = 0;
        for (int i = 0; i < count; ++i) {
            const Image image(path);
            width = image.getWidth();
            height = image.getHeight();
        }
        const double ms = seconds(std::chrono::steady_clock::now() - start) * 1000 / count;
        std::printf("%s: %u x %u, %.3f ms per load\n", qPrintable(QFileInfo(file).fileName()),
                    width, height, ms);
    }
    return 0;
}

int main(int argc, char** argv)
{
    MemoryBudget::keepFreedMemory();
    QCoreApplication app(argc, argv);
    Image::initImage();

    bool defaultEntry = false;
    int autoQuality = -1;
    bool listEntries = false;
    QString cjpegDir;
    int repeat = 3;
    int loads = 0;
    int workers = 1;
    int copies = 1;
    FigureSet figures;
    int rangeMin = -1, rangeMax = -1, rangeStep = 0;
    QStringList files;
    const QStringList args = QCoreApplication::arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--default")) {
            defaultEntry = true;
        } else if (a == QLatin1String("--auto") && hasValue) {
            defaultEntry = true;
            autoQuality = args[++i].toInt();
        } else if (a == QLatin1String("--sweep")) {
            defaultEntry = false;
            autoQuality = -1;
        } else if (a == QLatin1String("--entries")) {
            listEntries = true;
        } else if (a == QLatin1String("--cjpeg") && hasValue) {
            cjpegDir = args[++i];
        } else if (a == QLatin1String("--auto-range") && hasValue) {
            const QStringList parts = args[++i].split(QLatin1Char(':'));
            rangeMin = parts.value(0).toInt();
            rangeMax = parts.value(1, parts.value(0)).toInt();
            rangeStep = parts.value(2, QStringLiteral("1")).toInt();
            defaultEntry = false;
            autoQuality = -1;
        } else if (a == QLatin1String("--workers") && hasValue) {
            workers = std::max(0, args[++i].toInt());
        } else if (a == QLatin1String("--copies") && hasValue) {
            copies = std::max(1, args[++i].toInt());
        } else if (a == QLatin1String("--figures") && hasValue) {
            const QString keys = args[++i];
            if (keys == QLatin1String("all"))
                figures = FigureSet::standard();
            else if (keys != QLatin1String("none") && !FigureSet::parse(keys, figures)) {
                std::fprintf(stderr, "unknown figures: %s\n", qPrintable(keys));
                return 2;
            }
        } else if (a == QLatin1String("--in-process")) {
            LoaderProcess::setInProcess(true);
        } else if (a == QLatin1String("--loads") && hasValue) {
            loads = std::max(1, args[++i].toInt());
        } else if (a == QLatin1String("--repeat") && hasValue) {
            repeat = std::max(1, args[++i].toInt());
        } else if (a.startsWith(QLatin1String("-"))) {
            std::printf(
                "usage: tessera_bench [--sweep | --default | --auto Q |"
                " --auto-range MIN:MAX:STEP]\n"
                "                     [--workers N] [--copies N] [--repeat N] [--figures KEYS]\n"
                "                     [--entries | --cjpeg DIR] [--in-process] [--loads N]\n"
                "                     [pictures...]\n");
            return a == QLatin1String("--help") ? 0 : 2;
        } else {
            files << QDir(a).absolutePath();
        }
    }
    if (files.isEmpty()) {
        const QDir samples(QStringLiteral(TESSERA_SAMPLES_DIR));
        files << samples.absoluteFilePath(QStringLiteral("coffee.png"))
              << samples.absoluteFilePath(QStringLiteral("chelsea.png"));
    }

    if (loads > 0)
        return timeLoads(files, loads);

    BatchSettings batch = defaultEntry ? BatchSettings() : sweepSettings();
    if (autoQuality >= 0) {
        batch.manualQuality = false;
        batch.autoQuality = true;
        batch.minQuality = batch.maxQuality = autoQuality;
    }
    if (rangeMin >= 0) {
        batch = BatchSettings();
        batch.manualQuality = false;
        batch.autoQuality = true;
        batch.minQuality = rangeMin;
        batch.maxQuality = rangeMax;
        batch.qualityStep = rangeMax < rangeMin ? -std::abs(rangeStep) : std::abs(rangeStep);
    }
    std::vector<JPEGSettings> entries = expand(batch);
    if (defaultEntry)
        entries.resize(50, entries.front());

    if (listEntries) {
        for (const JPEGSettings& s : entries)
            std::printf("%s %-5s smoothing %2d quality %2d huffman %s\n",
                        s.isAutoQualityEnabled() ? "auto  " : "manual", dctName(s.getDCTMethod()),
                        s.getSmoothing(), s.getQuality(),
                        s.getOptimizeHuffman() ? "optimized" : "standard");
        return 0;
    }
    if (!cjpegDir.isEmpty()) {
        if (!writeCjpegInputs(cjpegDir, files, entries)) {
            std::fprintf(stderr, "could not write the cjpeg inputs to %s\n", qPrintable(cjpegDir));
            return 1;
        }
        return 0;
    }

    QStringList batchFiles;
    for (const QString& file : files)
        for (int copy = 0; copy < copies; ++copy)
            batchFiles << file;

    QTemporaryDir scratch;
    QDir::setCurrent(scratch.path());
    BatchEngine::Options options;
    options.workers = workers;
    options.figures = figures;
    BatchEngine engine(options);
    long compressions = 0;
    std::size_t results = 0;
    double encodeMs = 0, decodeMs = 0, measureMs = 0, similarityMs = 0;
    const auto consume = [&](BatchOutcome&& outcome) {
        ++compressions;
        if (outcome.status == BatchOutcome::Compressed)
            ++results;
        encodeMs += outcome.stat.encodeMs;
        decodeMs += outcome.stat.decodeMs;
        measureMs += outcome.measureMs;
        similarityMs += outcome.similarityMs;
        return true;
    };
    // One untimed round brings the pictures and libraries into the caches.
    engine.run(batchFiles, entries, [](BatchOutcome&&) { return true; });

    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const std::clock_t cpuStart = std::clock();
    for (int round = 0; round < repeat; ++round)
        engine.run(batchFiles, entries, consume);
    const double total = seconds(Clock::now() - start);

    // Processor time as well as elapsed time: on a shared machine the first
    // is the steadier figure for one worker.
    const double cpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    const char* kind = rangeMin >= 0      ? "auto quality range"
                       : autoQuality >= 0 ? "auto quality entry"
                       : defaultEntry     ? "default entry"
                                          : "sweep";
    std::printf("%s: %zu entries x %lld pictures x %d rounds = %ld compressions, %zu results,"
                " %d workers\n",
                kind, entries.size(), static_cast<long long>(batchFiles.size()), repeat,
                compressions, results, engine.workerCount());
    std::printf("time %.3f s, %.1f compressions per second, %.3f ms each\n", total,
                compressions / total, 1000.0 * total / compressions);
    std::printf("processor time %.3f s, %.1f compressions per processor second\n", cpu,
                compressions / cpu);
    std::printf("  %-16s %8.3f s summed over the workers, %.3f ms per compression\n", "encoding",
                encodeMs / 1000, encodeMs / compressions);
    std::printf("  %-16s %8.3f s summed over the workers, %.3f ms per compression\n", "decoding",
                decodeMs / 1000, decodeMs / compressions);
    std::printf("  %-16s %8.3f s summed over the workers, %.3f ms per compression"
                " (figures %s; the extra passes %.3f ms of it)\n",
                "measuring", measureMs / 1000, measureMs / compressions,
                figures.isEmpty() ? "none" : qPrintable(figures.keys().join(QLatin1Char(','))),
                similarityMs / compressions);
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident size %.1f MB\n", usage.ru_maxrss / 1024.0);
    if (!figures.isEmpty())
        printPerFigure(files.front(), figures, repeat * 5);
    return 0;
}
