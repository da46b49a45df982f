// SPDX-License-Identifier: GPL-3.0-or-later
#include "SweepOptions.h"

#include "DownsamplingPairs.h"
#include "Figures.h"
#include "PictureFormats.h"
#include "PictureNames.h"
#include "QuantizationTableFiles.h"
#include "RegularFile.h"
#include "SettingsExpansion.h"
#include "SweepCsv.h"
#include "SweepFile.h"
#include "TableNames.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace SweepOptions {

namespace {

// Whether a file name has the extension of a picture the programs accept,
// in any case.
bool isPicture(const QByteArray& name)
{
    return PictureFormats::hasPictureExtension(name);
}

// Reads the tables of a file in the quantization editor's multi-table format,
// as the table pair chooser does, and names them after the file.
bool loadTables(const QString& option, const QString& path, std::vector<QuantizationTable>& tables,
                QStringList& names, QString& error)
{
    if (!QFileInfo(path).isFile()) {
        error = QStringLiteral("--%1: cannot read %2").arg(option, path);
        return false;
    }
    std::vector<QuantizationTable> read = readQTables(QFile::encodeName(path).toStdString());
    if (read.empty()) {
        error = QStringLiteral("--%1: %2 holds no quantization table").arg(option, path);
        return false;
    }
    tables = std::move(read);
    names = SweepCsv::fileTableNames(path, tables.size());
    return true;
}

QString describe(const BatchSettings& s, const SweepRequest& request, const QStringList& figures)
{
    QString text;
    const auto line = [&text](const char* key, const QString& value) {
        text += QStringLiteral("%1 = %2\n").arg(QLatin1String(key), value);
    };
    const auto triple = [](int a, int b, int c) {
        return QStringLiteral("%1:%2:%3").arg(a).arg(b).arg(c);
    };
    line("mode", SweepFile::flagList({{s.baseline, "baseline"}, {s.extended, "extended"}}));
    line("progressive", SweepFile::flagList({{s.progressive, "yes"}, {s.nonProgressive, "no"}}));
    line("output",
         SweepFile::flagList({{s.colorOutput, "colour"}, {s.grayscaleOutput, "grayscale"}}));
    line("huffman",
         SweepFile::flagList({{s.dontOptimizeHuffman, "no"}, {s.optimizeHuffman, "yes"}}));
    line("dct",
         SweepFile::flagList({{s.dctInt, "int"}, {s.dctFast, "fast"}, {s.dctFloat, "float"}}));
    line("smoothing", triple(s.minSmoothing, s.maxSmoothing, s.smoothingStep));
    line("auto-quality",
         s.autoQuality ? triple(s.minQuality, s.maxQuality, s.qualityStep) : QStringLiteral("off"));
    line("manual-quality", s.manualQuality ? QStringLiteral("yes") : QStringLiteral("no"));
    line("table-quality", s.manualQuality && s.tableQuality
                              ? triple(s.minTableQuality, s.maxTableQuality, s.tableQualityStep)
                              : QStringLiteral("off"));
    const auto file = [&](const char* key, const QString& path, const QString& fallback) {
        if (path.isEmpty())
            text += QStringLiteral("# %1: %2\n").arg(QLatin1String(key), fallback);
        else
            line(key, QFileInfo(path).absoluteFilePath());
    };
    file("luminance-tables", request.luminanceTables, TableNames::presetName(0));
    file("chrominance-tables", request.chrominanceTables, TableNames::presetName(1));
    file("sampling-pairs", request.samplingPairs, QStringLiteral("1 1 1 1"));
    line("figures", figures.isEmpty() ? QStringLiteral("none") : figures.join(QLatin1Char(',')));
    return text;
}

} // namespace

const QStringList& figureNames()
{
    // Every figure but the report's four, which every row holds.
    static const QStringList names = [] {
        QStringList keys;
        for (int i = 0; i < FIGURE_COUNT; ++i) {
            const Figure f = Figure(i);
            if (f != Figure::CompressionRate && f != Figure::CompressionPercentage &&
                f != Figure::BitRate && f != Figure::MSE)
                keys << QLatin1String(Figures::all()[i].key);
        }
        return keys;
    }();
    return names;
}

// The figures "all" stands for: those that cost no more than about a
// compression.
static QStringList cheapFigureNames()
{
    QStringList names;
    for (const QString& name : figureNames()) {
        Figure f;
        if (Figures::fromKey(name, f) && FigureSet::standard().contains(f))
            names << name;
    }
    return names;
}

bool parseFigures(const QString& list, QStringList& figures, QString& error)
{
    figures.clear();
    if (!SweepFile::noEmptyItems(QStringLiteral("figures"), list, error))
        return false;
    const QStringList words = list.split(QLatin1Char(','));
    const bool none = std::any_of(words.begin(), words.end(), [](const QString& w) {
        return w.trimmed().toLower() == QLatin1String("none");
    });
    if (none && words.size() > 1) {
        error = QStringLiteral("--figures: \"none\" with other figures in \"%1\"").arg(list);
        return false;
    }
    for (const QString& raw : words) {
        const QString word = raw.trimmed().toLower();
        if (word == QLatin1String("all")) {
            for (const QString& name : cheapFigureNames())
                if (!figures.contains(name))
                    figures << name;
        } else if (word == QLatin1String("none")) {
            continue;
        } else if (figureNames().contains(word) || word == QLatin1String("bits")) {
            if (!figures.contains(word))
                figures << word;
        } else {
            error = QStringLiteral("--figures: unknown figure \"%1\" (all, none or any of %2)")
                        .arg(raw.trimmed(),
                             figureNames().join(QStringLiteral(", ")) + QStringLiteral(", bits"));
            return false;
        }
    }
    // In the order of the columns, whatever the order asked.
    QStringList ordered;
    for (const QString& name : figureNames())
        if (figures.contains(name))
            ordered << name;
    if (figures.contains(QLatin1String("bits")))
        ordered << QStringLiteral("bits");
    figures = ordered;
    return true;
}

bool collectPictures(const QList<QByteArray>& paths, bool recursive, SweepJob& job, QString& error)
{
    QList<QByteArray> found;
    for (const QByteArray& path : paths) {
        struct stat info;
        if (::stat(path.constData(), &info) != 0) {
            error =
                QStringLiteral("no such picture or folder: %1").arg(PictureNames::escaped(path));
            return false;
        }
        if (S_ISDIR(info.st_mode))
            PictureNames::walk(path, recursive, isPicture, found);
        else
            found << PictureNames::absolute(path);
    }
    std::vector<std::pair<QString, QByteArray>> named;
    for (const QByteArray& raw : found)
        named.emplace_back(PictureNames::escaped(raw), raw);
    std::stable_sort(named.begin(), named.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& picture : named) {
        job.pictureNames << picture.first;
        job.pictures << PictureNames::openable(picture.second);
        job.canonicalPictures << PictureNames::canonical(picture.second);
    }
    return true;
}

namespace {

void addOption(QCommandLineParser& parser, const QStringList& names, const QString& help,
               const char* value)
{
    QCommandLineOption option(names, help);
    if (value)
        option.setValueName(QLatin1String(value));
    parser.addOption(option);
}

void addOption(QCommandLineParser& parser, const QStringList& names, const char* help,
               const char* value)
{
    addOption(parser, names, QLatin1String(help), value);
}

// The options that choose the settings swept, as the sweep file names them.
void addSettingOptions(QCommandLineParser& parser)
{
    const auto add = [&parser](const QStringList& names, const char* help, const char* value) {
        addOption(parser, names, help, value);
    };
    add({QStringLiteral("mode")}, "Coding modes: baseline, extended (default baseline).", "LIST");
    add({QStringLiteral("progressive")},
        "Extended entries: yes (progressive), no (sequential); default no.", "LIST");
    add({QStringLiteral("output")}, "Output: colour, grayscale (default colour).", "LIST");
    add({QStringLiteral("huffman")}, "Optimised Huffman tables: no, yes (default no).", "LIST");
    add({QStringLiteral("dct")}, "DCT methods of manual quality: int, fast, float (default int).",
        "LIST");
    add({QStringLiteral("smoothing")}, "Smoothing range (default 0:0:0).", "MIN:MAX:STEP");
    add({QStringLiteral("auto-quality")},
        "Also sweep the library's automatic quality over this range.", "MIN:MAX:STEP");
    add({QStringLiteral("table-quality")},
        "Manual-quality entries: sweep the quality that scales the custom tables.", "MIN:MAX:STEP");
    add({QStringLiteral("no-manual-quality")},
        "No manual-quality entries (custom tables scaled by quality 95).", nullptr);
    // The defaults as the CSV's table columns name them.
    addOption(parser, {QStringLiteral("luminance-tables")},
              QStringLiteral("Quantization tables tried for luminance (the quantization editor's "
                             "format; default the preset \"%1\").")
                  .arg(TableNames::presetName(0)),
              "FILE");
    addOption(
        parser, {QStringLiteral("chrominance-tables")},
        QStringLiteral("Quantization tables tried for chrominance (default the preset \"%1\").")
            .arg(TableNames::presetName(1)),
        "FILE");
    add({QStringLiteral("sampling-pairs")},
        "Sampling-factor pairs (the batch window's down-sampling file).", "FILE");
    add({QStringLiteral("sweep")}, "Read the settings above from FILE; options override it.",
        "FILE");
    add({QStringLiteral("print-sweep")},
        "Print the effective sweep and the number of entries, pictures and compressions; exit.",
        nullptr);
}

// The options that choose the figures, the outputs and how the run goes.
void addRunOptions(QCommandLineParser& parser)
{
    const auto add = [&parser](const QStringList& names, const char* help, const char* value) {
        addOption(parser, names, help, value);
    };
    addOption(parser, {QStringLiteral("figures")},
              QStringLiteral("Figures beyond the report's four: %1; all (default: all but "
                             "SSIMULACRA 2, about one and a half compressions' time, and the two "
                             "Butteraugli distances, some fifty) or none; bits (DC and AC bits "
                             "of luma and chroma, header bytes) only when named.")
                  .arg(figureNames().join(QStringLiteral(", "))),
              "LIST");
    add({QStringLiteral("o")}, "Write the CSV to FILE (default: standard output).", "FILE");
    add({QStringLiteral("report")}, "Also write the batch window's tab-separated report to FILE.",
        "FILE");
    add({QStringLiteral("keep-jpegs")}, "Keep every JPEG in DIR.", "DIR");
    add({QStringLiteral("j"), QStringLiteral("jobs")}, "Worker threads (default: all cores).", "N");
    add({QStringLiteral("shard")}, "Only the pictures whose index is I modulo N (I from 0).",
        "I/N");
    add({QStringLiteral("resume")}, "Keep the rows already in the -o file; compute the rest.",
        nullptr);
    add({QStringLiteral("r"), QStringLiteral("recursive")}, "Look into folders recursively.",
        nullptr);
    add({QStringLiteral("q"), QStringLiteral("quiet")}, "No progress bar.", nullptr);
    add({QStringLiteral("verbose")}, "Show the image libraries' own warnings.", nullptr);
}

void describeProgram(QCommandLineParser& parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Compresses every picture under every entry of a sweep of JPEG settings and writes the\n"
        "figures of each compression as a CSV table. A folder stands for the pictures in it.\n"
        "List values such as int,float choose several choices at once, as the batch window's\n"
        "check boxes do. See tessera-sweep(1) for the sweep file, the CSV and examples.\n"
        "Subcommands: tessera-sweep merge OUT.csv PART.csv... (joins shards) and\n"
        "tessera-sweep bd-rate RESULTS.csv --curve-by COLUMN --reference VALUE (paired\n"
        "Bjontegaard deltas); each has --help.\n"
        "Exit status: 0 all compressions succeeded, 1 some failed, 2 usage error."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("pictures"),
                                 QStringLiteral("Pictures and folders of pictures."),
                                 QStringLiteral("PICTURE|FOLDER..."));
    addSettingOptions(parser);
    addRunOptions(parser);
}

// The sweep as the sweep file and the options ask for it, options last.
bool readRequest(const QCommandLineParser& parser, SweepRequest& request, QString& error)
{
    if (parser.isSet(QStringLiteral("sweep"))) {
        const QString path = parser.value(QStringLiteral("sweep"));
        QString reason;
        const std::optional<QByteArray> bytes = readRegularFile(path, SETTINGS_FILE_LIMIT, reason);
        if (!bytes) {
            error = QStringLiteral("--sweep: cannot read %1: %2").arg(path, reason);
            return false;
        }
        if (!SweepFile::read(*bytes, path, request, error))
            return false;
    }
    for (const QString& name : SweepFile::keys()) {
        if (name != QLatin1String("manual-quality") && parser.isSet(name) &&
            !SweepFile::apply(name, parser.value(name), request, error))
            return false;
    }
    if (parser.isSet(QStringLiteral("no-manual-quality")))
        request.form.manualQuality = false;
    return true;
}

// The job's settings, tables, sampling pairs and figures from the request.
bool applyRequest(const SweepRequest& request, SweepJob& job, QString& error)
{
    // The batch window's checks, in its order and with its messages.
    const QString message = request.form.check();
    if (!message.isEmpty()) {
        error = QString(message).replace(QLatin1String("<br>"), QLatin1String("\n"));
        return false;
    }
    try {
        request.form.apply(job.settings);
    } catch (const std::invalid_argument& failure) {
        error = QString::fromUtf8(failure.what());
        return false;
    }

    job.luminanceNames = QStringList{TableNames::presetName(0)};
    job.chrominanceNames = QStringList{TableNames::presetName(1)};
    if (!request.luminanceTables.isEmpty() &&
        !loadTables(QStringLiteral("luminance-tables"), request.luminanceTables,
                    job.settings.luminanceTables, job.luminanceNames, error))
        return false;
    if (!request.chrominanceTables.isEmpty() &&
        !loadTables(QStringLiteral("chrominance-tables"), request.chrominanceTables,
                    job.settings.chrominanceTables, job.chrominanceNames, error))
        return false;
    if (!request.samplingPairs.isEmpty() &&
        !DownsamplingPairs::load(request.samplingPairs, job.settings.downsamplingPairs)) {
        error = QStringLiteral("--sampling-pairs: cannot read %1").arg(request.samplingPairs);
        return false;
    }
    return parseFigures(request.figures, job.figures, error);
}

// Outputs, workers, shard and resumption.
bool readRunOptions(const QCommandLineParser& parser, SweepJob& job, QString& error)
{
    job.csvPath = parser.value(QStringLiteral("o"));
    job.reportPath = parser.value(QStringLiteral("report"));
    job.jpegDir = parser.value(QStringLiteral("keep-jpegs"));
    job.resume = parser.isSet(QStringLiteral("resume"));
    job.quiet = parser.isSet(QStringLiteral("quiet"));
    job.verbose = parser.isSet(QStringLiteral("verbose"));
    job.printSweep = parser.isSet(QStringLiteral("print-sweep"));
    if (parser.isSet(QStringLiteral("j"))) {
        bool ok = false;
        job.workers = parser.value(QStringLiteral("j")).toInt(&ok);
        if (!ok || job.workers < 1) {
            error = QStringLiteral("-j: expected a number of workers of 1 or more");
            return false;
        }
    }
    if (parser.isSet(QStringLiteral("shard"))) {
        const QStringList parts = parser.value(QStringLiteral("shard")).split(QLatin1Char('/'));
        bool okIndex = false, okCount = false;
        job.shardIndex = parts.value(0).toInt(&okIndex);
        job.shardCount = parts.value(1).toInt(&okCount);
        if (parts.size() != 2 || !okIndex || !okCount || job.shardCount < 1 || job.shardIndex < 0 ||
            job.shardIndex >= job.shardCount) {
            error = QStringLiteral("--shard: expected I/N with 0 <= I < N");
            return false;
        }
    }
    if (job.resume && job.csvPath.isEmpty()) {
        error = QStringLiteral("--resume needs the CSV file given with -o");
        return false;
    }
    return true;
}

// Each positional argument in the bytes it came in: the first raw argument
// not yet taken that decodes to it.
QList<QByteArray> argumentBytes(const QStringList& arguments, const QList<QByteArray>& raw)
{
    QList<QByteArray> paths;
    std::vector<bool> taken(std::size_t(raw.size()), false);
    for (const QString& argument : arguments) {
        QByteArray bytes = QFile::encodeName(argument);
        for (qsizetype i = raw.size() - 1; i >= 0; --i) {
            if (!taken[std::size_t(i)] && QFile::decodeName(raw[i]) == argument) {
                bytes = raw[i];
                taken[std::size_t(i)] = true;
                break;
            }
        }
        paths << bytes;
    }
    return paths;
}

} // namespace

int parse(const QStringList& arguments, SweepJob& job, QString& error, const QList<QByteArray>& raw)
{
    QCommandLineParser parser;
    describeProgram(parser);
    if (!parser.parse(QStringList(QStringLiteral("tessera-sweep")) + arguments)) {
        error = parser.errorText();
        return 2;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    SweepRequest request;
    if (!readRequest(parser, request, error) || !applyRequest(request, job, error) ||
        !readRunOptions(parser, job, error))
        return 2;
    const QList<QByteArray> paths = argumentBytes(parser.positionalArguments(), raw);
    if (!collectPictures(paths, parser.isSet(QStringLiteral("r")), job, error))
        return 2;

    job.sweepText = describe(job.settings, request, job.figures);
    return 0;
}

} // namespace SweepOptions
