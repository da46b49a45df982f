// SPDX-License-Identifier: GPL-3.0-or-later
#include "OptimiseTables.h"

#include "FileWrite.h"
#include "Image.h"
#include "PictureFormats.h"
#include "QuantizationTableFiles.h"
#include "TableOptimiser.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QThreadPool>

#include <cstdio>
#include <unistd.h>

namespace OptimiseTables {

namespace {

void fail(const QString& message)
{
    std::fprintf(stderr, "tessera-sweep optimise-tables: %s\n", message.toLocal8Bit().constData());
}

// Files as given, folders as the pictures in them.
QStringList picturesOf(const QStringList& arguments)
{
    QStringList files;
    for (const QString& argument : arguments) {
        if (QFileInfo(argument).isDir())
            files << PictureFormats::picturesIn(argument);
        else
            files << argument;
    }
    return files;
}

bool parseStart(const QString& text, TableOptimiser::Options& options, QString& error)
{
    options.startName = text;
    if (text == QLatin1String("annex-k")) {
        options.startLuma = QuantizationTable(annexKLuminance);
        options.startChroma = QuantizationTable(annexKChrominance);
        return true;
    }
    if (text == QLatin1String("flat")) {
        options.startLuma = options.startChroma = TableOptimiser::flatTable();
        return true;
    }
    const std::vector<QuantizationTable> tables =
        readQTables(QFile::encodeName(text).toStdString());
    if (tables.empty()) {
        error = QStringLiteral("--start: %1 holds no table").arg(text);
        return false;
    }
    for (const QuantizationTable& t : tables)
        for (unsigned k = 0; k < QuantizationTable::SIZE; ++k)
            if (t[k] < 1 || t[k] > 32767) {
                error = QStringLiteral("--start: %1 has an entry outside 1..32767").arg(text);
                return false;
            }
    options.startLuma = tables[0];
    options.startChroma = tables.size() > 1 ? tables[1] : tables[0];
    options.startName = QFileInfo(text).fileName();
    return true;
}

QString csvPathFor(const QString& tablesPath)
{
    const QFileInfo info(tablesPath);
    if (info.suffix().compare(QLatin1String("txt"), Qt::CaseInsensitive) == 0)
        return tablesPath.left(tablesPath.size() - 3) + QStringLiteral("csv");
    return tablesPath + QStringLiteral(".csv");
}

struct Parsed
{
    TableOptimiser::Options options;
    QString output;
};

// The subcommand's options.
struct CommandOptions
{
    const QCommandLineOption metric{QStringLiteral("metric"),
                                    QStringLiteral("What the BD-rate is minimised on: psnr, "
                                                   "psnr_y, ssim or ms_ssim (default psnr)."),
                                    QStringLiteral("METRIC"), QStringLiteral("psnr")};
    const QCommandLineOption quality{
        QStringLiteral("quality"),
        QStringLiteral("Qualities the tables are scaled at (default 30:90:10)."),
        QStringLiteral("MIN:MAX:STEP"), QStringLiteral("30:90:10")};
    const QCommandLineOption mode{QStringLiteral("mode"),
                                  QStringLiteral("baseline (every scaled entry 1..255 over the "
                                                 "range, the default) or extended."),
                                  QStringLiteral("MODE"), QStringLiteral("baseline")};
    const QCommandLineOption sampling{
        QStringLiteral("sampling"),
        QStringLiteral("Sampling factors HxV of Y, Cb, Cr (default 2x2,1x1,1x1)."),
        QStringLiteral("FACTORS"), QStringLiteral("2x2,1x1,1x1")};
    const QCommandLineOption start{QStringLiteral("start"),
                                   QStringLiteral("Where the search starts: annex-k (default), "
                                                  "flat or a tables file."),
                                   QStringLiteral("annex-k|flat|FILE"), QStringLiteral("annex-k")};
    const QCommandLineOption validate{
        QStringLiteral("validate"),
        QStringLiteral("Held-out pictures or folders, only reported on (may be repeated)."),
        QStringLiteral("PICTURE|FOLDER")};
    const QCommandLineOption timeLimit{QStringLiteral("time-limit"),
                                       QStringLiteral("Seconds for the whole run (default 90): "
                                                      "up to half (a fifth but for psnr) for "
                                                      "the search on estimates, up to 85 % "
                                                      "with the refinement by real encodes, "
                                                      "the rest for the report."),
                                       QStringLiteral("SECONDS"), QStringLiteral("90")};
    const QCommandLineOption jobs{QStringList{QStringLiteral("j"), QStringLiteral("jobs")},
                                  QStringLiteral("Worker threads (default: one per core)."),
                                  QStringLiteral("N")};
    const QCommandLineOption output{
        QStringList{QStringLiteral("o"), QStringLiteral("output")},
        QStringLiteral("The tables file to write (default tables.txt); the report goes to the "
                       "same name with .csv."),
        QStringLiteral("TABLES.txt"), QStringLiteral("tables.txt")};
};

void describeCommand(QCommandLineParser& parser, const CommandOptions& c)
{
    parser.setApplicationDescription(QStringLiteral(
        "Searches the luminance and chrominance base tables that minimise the BD-rate against "
        "the Annex K tables over a quality range, on fast estimates, and reports the result, "
        "and the flat table's, from real encodes."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("pictures"),
                                 QStringLiteral("Training pictures or folders of them."),
                                 QStringLiteral("PICTURE|FOLDER..."));
    parser.addOptions({c.metric, c.quality, c.mode, c.sampling, c.start, c.validate, c.timeLimit,
                       c.jobs, c.output});
}

// The run's options from the parsed command line; the first fault found, or
// empty.
QString readOptions(const QCommandLineParser& parser, const CommandOptions& c,
                    TableOptimiser::Options& o)
{
    QString error;
    if (!RealEncodes::fromKey(parser.value(c.metric), o.metric))
        error = QStringLiteral("--metric: psnr, psnr_y, ssim or ms_ssim");
    else if (!TableOptimiser::parseQualities(parser.value(c.quality), o.qualities))
        error = QStringLiteral("--quality: MIN:MAX:STEP within 1..100 giving four qualities or "
                               "more");
    else if (parser.value(c.mode) != QLatin1String("baseline") &&
             parser.value(c.mode) != QLatin1String("extended"))
        error = QStringLiteral("--mode: baseline or extended");
    else if (!SamplingText::parse(parser.value(c.sampling), o.sampling))
        error = QStringLiteral("--sampling: three HxV factors, such as 2x2,1x1,1x1");
    else
        parseStart(parser.value(c.start), o, error);
    bool ok = true;
    o.timeLimit = parser.value(c.timeLimit).toDouble(&ok);
    if (error.isEmpty() && (!ok || !(o.timeLimit > 0)))
        error = QStringLiteral("--time-limit: a number of seconds above 0");
    if (error.isEmpty() && parser.isSet(c.jobs)) {
        const int n = parser.value(c.jobs).toInt(&ok);
        if (!ok || n < 1)
            error = QStringLiteral("-j: a number of workers, 1 or more");
        else
            QThreadPool::globalInstance()->setMaxThreadCount(n);
    }
    o.baseline = parser.value(c.mode) == QLatin1String("baseline");
    o.training = picturesOf(parser.positionalArguments());
    o.validation = picturesOf(parser.values(c.validate));
    if (error.isEmpty() && o.training.isEmpty())
        error = QStringLiteral("no training pictures given (see --help)");
    return error;
}

int parse(const QStringList& arguments, Parsed& parsed)
{
    QCommandLineParser parser;
    const CommandOptions c;
    describeCommand(parser, c);
    QStringList all{QStringLiteral("tessera-sweep optimise-tables")};
    all << arguments;
    if (!parser.parse(all)) {
        fail(parser.errorText());
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        // The parser names the program by its path; this is a subcommand.
        QString help = parser.helpText();
        help.replace(0, help.indexOf(QLatin1String(" [options]")),
                     QStringLiteral("Usage: tessera-sweep optimise-tables"));
        std::fputs(help.toLocal8Bit().constData(), stdout);
        return 0;
    }
    const QString error = readOptions(parser, c, parsed.options);
    if (!error.isEmpty()) {
        fail(error);
        return 2;
    }
    parsed.output = parser.value(c.output);
    return -1;
}

} // namespace

int run(const QStringList& arguments)
{
    Parsed parsed;
    const int status = parse(arguments, parsed);
    if (status >= 0)
        return status;
    Image::initImage();
    const bool terminal = ::isatty(STDERR_FILENO);
    const TableOptimiser::StatusCallback progress = [terminal](const TableOptimiser::Status& s) {
        if (!terminal)
            return;
        if (s.phase == QLatin1String("searching"))
            std::fprintf(stderr, "\rsearching: %lld evaluations, best estimate %+.2f %%   ",
                         s.evaluations, s.best);
        else
            std::fprintf(stderr, "\r%-60s",
                         qPrintable(s.phase + QStringLiteral(" by real "
                                                             "encodes...")));
        std::fflush(stderr);
    };
    const TableOptimiser::Result result = TableOptimiser::run(parsed.options, progress);
    if (terminal)
        std::fprintf(stderr, "\r%-60s\r", "");
    Image::deinitImage();
    if (!result.ok()) {
        fail(result.error);
        return 1;
    }
    QString error;
    const QString csv = csvPathFor(parsed.output);
    if (!writeFileReplacing(parsed.output, TableOptimiser::tablesFile(result, parsed.options),
                            &error)) {
        fail(QStringLiteral("%1: %2").arg(parsed.output, error));
        return 1;
    }
    if (!writeFileReplacing(csv, TableOptimiser::reportCsv(result), &error)) {
        fail(QStringLiteral("%1: %2").arg(csv, error));
        return 1;
    }
    const QString text =
        TableOptimiser::reportText(result, parsed.options) +
        QStringLiteral("Tables written to %1, report to %2.\n").arg(parsed.output, csv);
    std::fputs(text.toLocal8Bit().constData(), stdout);
    return 0;
}

} // namespace OptimiseTables
