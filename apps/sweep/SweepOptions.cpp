// SPDX-License-Identifier: GPL-3.0-or-later
#include "SweepOptions.h"

#include "DownsamplingPairs.h"
#include "QuantizationTableFiles.h"
#include "RegularFile.h"
#include "SettingsExpansion.h"
#include "SweepCsv.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <stdexcept>

namespace SweepOptions {

namespace {

// The extensions of the batch window's file filter.
const char* const pictureExtensions[] = {
    "bmp", "ico", "jpeg", "jpg",    "jng", "koala", "lbm",    "iff", "mng",   "pbm",  "pbmraw",
    "pcd", "pcx", "pgm",  "pgmraw", "png", "ppm",   "ppmraw", "ras", "targa", "tiff", "wbmp",
    "psd", "cut", "xbm",  "xpm",    "dds", "gif",   "hdr",    "tif", "tga",
};

// The options a sweep file may set, by the long name of the command-line
// option that overrides it.
const char* const sweepKeys[] = {
    "mode",
    "progressive",
    "output",
    "huffman",
    "dct",
    "smoothing",
    "auto-quality",
    "manual-quality",
    "table-quality",
    "luminance-tables",
    "chrominance-tables",
    "sampling-pairs",
    "figures",
};

struct Choice
{
    const char* word;
    bool BatchForm::*flag;
};

// Sets the form's flags from a list like "int,float": every named choice is
// checked, the others of the group unchecked, as the form's boxes would be.
bool readChoices(const QString& option, const QString& value, const Choice* choices, int count,
                 BatchForm& form, QString& error)
{
    const QStringList words = value.split(QLatin1Char(','), Qt::SkipEmptyParts);
    bool chosen[8] = {};
    if (words.isEmpty()) {
        error = QStringLiteral("--%1: no value given").arg(option);
        return false;
    }
    for (const QString& raw : words) {
        const QString word = raw.trimmed().toLower();
        bool known = false;
        for (int i = 0; i < count; ++i) {
            if (word == QLatin1String(choices[i].word)) {
                chosen[i] = true;
                known = true;
            }
        }
        if (!known) {
            QStringList allowed;
            for (int i = 0; i < count; ++i)
                allowed << QLatin1String(choices[i].word);
            allowed.removeDuplicates();
            error = QStringLiteral("--%1: unknown value \"%2\" (one or more of %3)")
                        .arg(option, raw.trimmed(), allowed.join(QStringLiteral(", ")));
            return false;
        }
    }
    for (int i = 0; i < count; ++i)
        form.*(choices[i].flag) = false;
    for (int i = 0; i < count; ++i)
        if (chosen[i])
            form.*(choices[i].flag) = true;
    return true;
}

// MIN:MAX:STEP into the form's three texts; each part must be an integer.
bool readTriple(const QString& option, const QString& value, QString& minimum, QString& maximum,
                QString& step, QString& error)
{
    const QStringList parts = value.trimmed().split(QLatin1Char(':'));
    bool ok = parts.size() == 3;
    for (const QString& part : parts) {
        bool number = false;
        part.toInt(&number, 10);
        ok = ok && number;
    }
    if (!ok) {
        error = QStringLiteral("--%1: expected MIN:MAX:STEP in whole numbers, not \"%2\"")
                    .arg(option, value);
        return false;
    }
    minimum = parts[0];
    maximum = parts[1];
    step = parts[2];
    return true;
}

bool readYesNo(const QString& option, const QString& value, bool& flag, QString& error)
{
    const QString word = value.trimmed().toLower();
    if (word == QLatin1String("yes") || word == QLatin1String("1") ||
        word == QLatin1String("true")) {
        flag = true;
        return true;
    }
    if (word == QLatin1String("no") || word == QLatin1String("0") ||
        word == QLatin1String("false")) {
        flag = false;
        return true;
    }
    error = QStringLiteral("%1: expected yes or no, not \"%2\"").arg(option, value);
    return false;
}

// What the sweep file and the options have said so far.
struct Request
{
    BatchForm form = BatchForm::from(BatchSettings());
    QString luminanceTables;
    QString chrominanceTables;
    QString samplingPairs;
    QString figures = QStringLiteral("all");
};

bool applySetting(const QString& key, const QString& value, Request& request, QString& error)
{
    static const Choice modes[] = {{"baseline", &BatchForm::baseline},
                                   {"extended", &BatchForm::extended}};
    static const Choice progressive[] = {{"yes", &BatchForm::progressive},
                                         {"no", &BatchForm::nonProgressive}};
    static const Choice outputs[] = {{"colour", &BatchForm::colorOutput},
                                     {"color", &BatchForm::colorOutput},
                                     {"grayscale", &BatchForm::grayscaleOutput},
                                     {"greyscale", &BatchForm::grayscaleOutput}};
    static const Choice huffman[] = {{"no", &BatchForm::dontOptimizeHuffman},
                                     {"yes", &BatchForm::optimizeHuffman}};
    static const Choice dct[] = {{"int", &BatchForm::dctInt},
                                 {"fast", &BatchForm::dctFast},
                                 {"float", &BatchForm::dctFloat}};
    BatchForm& form = request.form;
    if (key == QLatin1String("mode"))
        return readChoices(key, value, modes, 2, form, error);
    if (key == QLatin1String("progressive"))
        return readChoices(key, value, progressive, 2, form, error);
    if (key == QLatin1String("output"))
        return readChoices(key, value, outputs, 4, form, error);
    if (key == QLatin1String("huffman"))
        return readChoices(key, value, huffman, 2, form, error);
    if (key == QLatin1String("dct"))
        return readChoices(key, value, dct, 3, form, error);
    if (key == QLatin1String("smoothing"))
        return readTriple(key, value, form.minSmoothing, form.maxSmoothing, form.smoothingStep,
                          error);
    if (key == QLatin1String("auto-quality")) {
        if (value.trimmed().toLower() == QLatin1String("off")) {
            form.autoQuality = false;
            return true;
        }
        form.autoQuality = true;
        return readTriple(key, value, form.minQuality, form.maxQuality, form.qualityStep, error);
    }
    if (key == QLatin1String("table-quality")) {
        if (value.trimmed().toLower() == QLatin1String("off")) {
            form.minTableQuality.clear();
            form.maxTableQuality.clear();
            form.tableQualityStep.clear();
            return true;
        }
        return readTriple(key, value, form.minTableQuality, form.maxTableQuality,
                          form.tableQualityStep, error);
    }
    if (key == QLatin1String("manual-quality"))
        return readYesNo(key, value, form.manualQuality, error);
    if (key == QLatin1String("luminance-tables"))
        request.luminanceTables = value;
    else if (key == QLatin1String("chrominance-tables"))
        request.chrominanceTables = value;
    else if (key == QLatin1String("sampling-pairs"))
        request.samplingPairs = value;
    else if (key == QLatin1String("figures"))
        request.figures = value;
    return true;
}

QString presetName(int index)
{
    if (index < 9)
        return index == 0 ? QStringLiteral("Luminance standard")
                          : QStringLiteral("Luminance %1").arg(index);
    return index == 9 ? QStringLiteral("Chrominance standard")
                      : QStringLiteral("Chrominance %1").arg(index - 9);
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

QString flagList(std::initializer_list<std::pair<bool, const char*>> flags)
{
    QStringList words;
    for (const auto& flag : flags)
        if (flag.first)
            words << QLatin1String(flag.second);
    return words.join(QLatin1Char(','));
}

QString describe(const BatchSettings& s, const Request& request, const QStringList& figures)
{
    QString text;
    const auto line = [&text](const char* key, const QString& value) {
        text += QStringLiteral("%1 = %2\n").arg(QLatin1String(key), value);
    };
    const auto triple = [](int a, int b, int c) {
        return QStringLiteral("%1:%2:%3").arg(a).arg(b).arg(c);
    };
    line("mode", flagList({{s.baseline, "baseline"}, {s.extended, "extended"}}));
    line("progressive", flagList({{s.progressive, "yes"}, {s.nonProgressive, "no"}}));
    line("output", flagList({{s.colorOutput, "colour"}, {s.grayscaleOutput, "grayscale"}}));
    line("huffman", flagList({{s.dontOptimizeHuffman, "no"}, {s.optimizeHuffman, "yes"}}));
    line("dct", flagList({{s.dctInt, "int"}, {s.dctFast, "fast"}, {s.dctFloat, "float"}}));
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
    file("luminance-tables", request.luminanceTables, QStringLiteral("Luminance standard"));
    file("chrominance-tables", request.chrominanceTables, QStringLiteral("Luminance 1"));
    file("sampling-pairs", request.samplingPairs, QStringLiteral("1 1 1 1"));
    line("figures", figures.isEmpty() ? QStringLiteral("none") : figures.join(QLatin1Char(',')));
    return text;
}

// Paths in a sweep file are taken from the file's folder.
QString besideFile(const QString& sweepFile, const QString& path)
{
    if (path.isEmpty() || QDir::isAbsolutePath(path))
        return path;
    return QFileInfo(sweepFile).dir().filePath(path);
}

} // namespace

const QStringList& figureNames()
{
    static const QStringList names = {QStringLiteral("psnr"),    QStringLiteral("psnr_y"),
                                      QStringLiteral("psnr_cb"), QStringLiteral("psnr_cr"),
                                      QStringLiteral("ssim"),    QStringLiteral("ms_ssim")};
    return names;
}

bool parseFigures(const QString& list, QStringList& figures, QString& error)
{
    figures.clear();
    const QStringList words = list.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& raw : words) {
        const QString word = raw.trimmed().toLower();
        if (word == QLatin1String("all")) {
            figures = figureNames();
        } else if (word == QLatin1String("none")) {
            continue;
        } else if (figureNames().contains(word)) {
            if (!figures.contains(word))
                figures << word;
        } else {
            error = QStringLiteral("--figures: unknown figure \"%1\" (all, none or any of %2)")
                        .arg(raw.trimmed(), figureNames().join(QStringLiteral(", ")));
            return false;
        }
    }
    // In the order of the columns, whatever the order asked.
    QStringList ordered;
    for (const QString& name : figureNames())
        if (figures.contains(name))
            ordered << name;
    figures = ordered;
    return true;
}

bool parseSweepFile(const QByteArray& text, QList<QPair<QString, QString>>& settings,
                    QString& error)
{
    settings.clear();
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        QString line = QString::fromUtf8(lines[i]);
        if (i == 0 && line.startsWith(QChar(0xFEFF)))
            line.remove(0, 1);
        const qsizetype comment = line.indexOf(QLatin1Char('#'));
        if (comment >= 0 && (comment == 0 || line[comment - 1].isSpace()))
            line.truncate(comment);
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        const QString key = line.left(equals).trimmed().toLower();
        const QString value = line.mid(equals + 1).trimmed();
        bool known = false;
        for (const char* k : sweepKeys)
            known = known || key == QLatin1String(k);
        if (equals < 0 || !known || value.isEmpty()) {
            error = equals < 0 || value.isEmpty()
                        ? QStringLiteral("line %1: expected \"option = value\"").arg(i + 1)
                        : QStringLiteral("line %1: unknown option \"%2\"").arg(i + 1).arg(key);
            return false;
        }
        settings.append({key, value});
    }
    return true;
}

bool collectPictures(const QStringList& paths, bool recursive, QStringList& pictures,
                     QString& error)
{
    // The extensions are compared here rather than given to the iterator as
    // name filters, which it would turn into one regular expression each.
    QStringList suffixes;
    for (const char* extension : pictureExtensions)
        suffixes << QLatin1Char('.') + QLatin1String(extension);
    auto isPicture = [&suffixes](const QString& name) {
        for (const QString& suffix : suffixes) {
            if (name.endsWith(suffix, Qt::CaseInsensitive))
                return true;
        }
        return false;
    };
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir()) {
            QDirIterator it(path, QDir::Files | QDir::Readable,
                            recursive ? QDirIterator::Subdirectories | QDirIterator::FollowSymlinks
                                      : QDirIterator::NoIteratorFlags);
            while (it.hasNext()) {
                const QString file = it.next();
                if (isPicture(it.fileName()))
                    pictures << file;
            }
        } else if (info.exists()) {
            pictures << path;
        } else {
            error = QStringLiteral("no such picture or folder: %1").arg(path);
            return false;
        }
    }
    std::stable_sort(pictures.begin(), pictures.end());
    return true;
}

int parse(const QStringList& arguments, SweepJob& job, QString& error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Compresses every picture under every entry of a sweep of JPEG settings and writes the\n"
        "figures of each compression as a CSV table. A folder stands for the pictures in it.\n"
        "List values such as int,float choose several choices at once, as the batch window's\n"
        "check boxes do. See tessera-sweep(1) for the sweep file, the CSV and examples."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("pictures"),
                                 QStringLiteral("Pictures and folders of pictures."),
                                 QStringLiteral("PICTURE|FOLDER..."));
    const auto add = [&parser](const QStringList& names, const char* help, const char* value) {
        QCommandLineOption option(names, QLatin1String(help));
        if (value)
            option.setValueName(QLatin1String(value));
        parser.addOption(option);
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
    add({QStringLiteral("luminance-tables")},
        "Quantization tables tried for luminance (the quantization editor's format).", "FILE");
    add({QStringLiteral("chrominance-tables")}, "Quantization tables tried for chrominance.",
        "FILE");
    add({QStringLiteral("sampling-pairs")},
        "Sampling-factor pairs (the batch window's down-sampling file).", "FILE");
    add({QStringLiteral("sweep")}, "Read the settings above from FILE; options override it.",
        "FILE");
    add({QStringLiteral("print-sweep")},
        "Print the effective sweep and the number of entries, pictures and compressions; exit.",
        nullptr);
    add({QStringLiteral("figures")},
        "Figures beyond the report's four: psnr, psnr_y, psnr_cb, psnr_cr, ssim, ms_ssim, all "
        "(default) or none.",
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

    if (!parser.parse(QStringList(QStringLiteral("tessera-sweep")) + arguments)) {
        error = parser.errorText();
        return 2;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    Request request;
    if (parser.isSet(QStringLiteral("sweep"))) {
        const QString path = parser.value(QStringLiteral("sweep"));
        QString reason;
        const std::optional<QByteArray> bytes = readRegularFile(path, SETTINGS_FILE_LIMIT, reason);
        if (!bytes) {
            error = QStringLiteral("--sweep: cannot read %1: %2").arg(path, reason);
            return 2;
        }
        QList<QPair<QString, QString>> settings;
        if (!parseSweepFile(*bytes, settings, error)) {
            error = QStringLiteral("%1: %2").arg(path, error);
            return 2;
        }
        for (const auto& setting : settings) {
            const bool isPath = setting.first.endsWith(QLatin1String("-tables")) ||
                                setting.first == QLatin1String("sampling-pairs");
            const QString value = isPath ? besideFile(path, setting.second) : setting.second;
            if (!applySetting(setting.first, value, request, error)) {
                error = QStringLiteral("%1: %2").arg(path, error);
                return 2;
            }
        }
    }
    for (const char* key : sweepKeys) {
        const QString name = QLatin1String(key);
        if (name != QLatin1String("manual-quality") && parser.isSet(name) &&
            !applySetting(name, parser.value(name), request, error))
            return 2;
    }
    if (parser.isSet(QStringLiteral("no-manual-quality")))
        request.form.manualQuality = false;

    // The batch window's checks, in its order and with its messages.
    const QString message = request.form.check();
    if (!message.isEmpty()) {
        error = QString(message).replace(QLatin1String("<br>"), QLatin1String("\n"));
        return 2;
    }
    try {
        request.form.apply(job.settings);
    } catch (const std::invalid_argument& failure) {
        error = QString::fromUtf8(failure.what());
        return 2;
    }

    job.luminanceNames = QStringList{presetName(0)};
    job.chrominanceNames = QStringList{presetName(1)};
    if (!request.luminanceTables.isEmpty() &&
        !loadTables(QStringLiteral("luminance-tables"), request.luminanceTables,
                    job.settings.luminanceTables, job.luminanceNames, error))
        return 2;
    if (!request.chrominanceTables.isEmpty() &&
        !loadTables(QStringLiteral("chrominance-tables"), request.chrominanceTables,
                    job.settings.chrominanceTables, job.chrominanceNames, error))
        return 2;
    if (!request.samplingPairs.isEmpty() &&
        !DownsamplingPairs::load(request.samplingPairs, job.settings.downsamplingPairs)) {
        error = QStringLiteral("--sampling-pairs: cannot read %1").arg(request.samplingPairs);
        return 2;
    }
    if (!parseFigures(request.figures, job.figures, error))
        return 2;

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
            return 2;
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
            return 2;
        }
    }
    if (job.resume && job.csvPath.isEmpty()) {
        error = QStringLiteral("--resume needs the CSV file given with -o");
        return 2;
    }

    if (!collectPictures(parser.positionalArguments(), parser.isSet(QStringLiteral("r")),
                         job.pictures, error))
        return 2;

    job.sweepText = describe(job.settings, request, job.figures);
    return 0;
}

} // namespace SweepOptions
