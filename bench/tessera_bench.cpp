// Runs BatchCompressor::compress over the sample pictures under a sweep of
// settings and reports compressions per second and where the time went.
//
//   tessera_bench [--sweep | --default | --auto Q] [--repeat N]
//                 [--figures KEYS] [--entries | --cjpeg DIR] [pictures...]
//
// --sweep (the default) expands 54 entries the way a batch run does: Baseline,
// colour, both Huffman choices, manual quality with the int, fast and float
// DCT over smoothing 0 to 30 by 10, and automatic quality 25 to 95 by 5.
// --default uses 50 copies of the one entry that the batch window's default
// form gives, --auto Q 50 copies of an entry with automatic quality Q (the
// library's standard tables and its default 2 x 2 luminance sampling).
// --repeat runs the whole batch N times after one untimed round (3 unless
// told). --entries prints the entries and stops. --cjpeg DIR writes what
// compare_cjpeg.sh needs to run the same batch with cjpeg and djpeg: the
// pictures as PPM, the custom tables, and one line of cjpeg options per
// entry. --figures chooses the quality figures measured with every
// compression, keys separated by commas ("psnr,ssim"; "" for none; all
// unless told); the time they take is printed apart. Without pictures, the
// two samples are used.

#include "BatchCompressor.h"
#include "BatchSettings.h"
#include "Image.h"
#include "JPEGSettingsFactory.h"

#include <FreeImage.h>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <QTextStream>

#include <chrono>
#include <cstdio>
#include <ctime>

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

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Image::initImage();

    bool defaultEntry = false;
    int autoQuality = -1;
    bool listEntries = false;
    QString cjpegDir;
    int repeat = 3;
    FigureSet figures = FigureSet::everything();
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
        } else if (a == QLatin1String("--figures") && hasValue) {
            if (!FigureSet::parse(args[++i], figures)) {
                std::fprintf(stderr, "unknown figure in %s; known: %s\n", qPrintable(args[i]),
                             qPrintable(FigureSet::everything().keys().join(QLatin1Char(','))));
                return 2;
            }
        } else if (a == QLatin1String("--repeat") && hasValue) {
            repeat = std::max(1, args[++i].toInt());
        } else if (a.startsWith(QLatin1String("-"))) {
            std::printf("usage: tessera_bench [--sweep | --default | --auto Q] [--repeat N]\n"
                        "                     [--figures KEYS] [--entries | --cjpeg DIR]\n"
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

    BatchSettings batch = defaultEntry ? BatchSettings() : sweepSettings();
    if (autoQuality >= 0) {
        batch.manualQuality = false;
        batch.autoQuality = true;
        batch.minQuality = batch.maxQuality = autoQuality;
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

    QProgressDialog dialog(QStringLiteral("Compressing files"), QStringLiteral("Cancel"), 0,
                           int(files.size() * entries.size()));
    dialog.setMinimumDuration(5);
    dialog.setAutoReset(false);
    dialog.setAutoClose(true);

    BatchCompressor compressor;
    compressor.setFigures(figures);
    // One untimed round brings the pictures and libraries into the caches.
    {
        std::vector<JPEGSettings> settings = entries;
        compressor.compress(files, settings, nullptr);
        compressor.resetTimings();
    }
    std::size_t results = 0;
    const std::clock_t cpuStart = std::clock();
    for (int round = 0; round < repeat; ++round) {
        std::vector<JPEGSettings> settings = entries;
        results += compressor.compress(files, settings, &dialog).size();
    }

    // Processor time as well as elapsed time: on a shared machine the first
    // is the steadier figure.
    const double cpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    const BatchCompressor::Timings& t = compressor.timings();
    const double total = seconds(t.total);
    const double parts[] = {seconds(t.encoding), seconds(t.decoding), seconds(t.measuring),
                            seconds(t.loading)};
    const double other = total - parts[0] - parts[1] - parts[2] - parts[3];
    const char* kind = autoQuality >= 0 ? "auto quality entry"
                       : defaultEntry   ? "default entry"
                                        : "sweep";
    std::printf("%s: %zu entries x %lld pictures x %d rounds = %ld compressions, %zu results\n",
                kind, entries.size(), static_cast<long long>(files.size()), repeat, t.compressions,
                results);
    std::printf("time %.3f s, %.1f compressions per second, %.3f ms each\n", total,
                t.compressions / total, 1000.0 * total / t.compressions);
    std::printf("processor time %.3f s, %.1f compressions per processor second\n", cpu,
                t.compressions / cpu);
    const char* names[] = {"encoding", "decoding", "measuring", "loading sources"};
    for (int i = 0; i < 4; ++i)
        std::printf("  %-16s %8.3f s %6.1f %%  %.3f ms per compression\n", names[i], parts[i],
                    100.0 * parts[i] / total, 1000.0 * parts[i] / t.compressions);
    std::printf("  %-16s %8.3f s %6.1f %%\n", "progress, other", other, 100.0 * other / total);
    const double similarity = seconds(t.similarity);
    std::printf("figures %s: %.3f ms per compression measuring in all, of which SSIM and "
                "MS-SSIM %.3f ms\n",
                figures.isEmpty() ? "none" : qPrintable(figures.keys().join(QLatin1Char(','))),
                1000.0 * parts[2] / t.compressions, 1000.0 * similarity / t.compressions);
    return 0;
}
