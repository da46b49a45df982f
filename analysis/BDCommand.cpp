// SPDX-License-Identifier: GPL-3.0-or-later
#include "BDCommand.h"

#include "CsvReader.h"
#include "Curves.h"
#include "Figures.h"

#include <QCommandLineParser>
#include <QHash>

#include <algorithm>
#include <cmath>
#include <optional>

namespace BDCommand {

namespace {

Outcome usage(const QString& message)
{
    return {2, {}, ("tessera-sweep bd-rate: " + message + '\n').toUtf8()};
}

QString figureText(const std::optional<double>& value)
{
    return value ? QString::number(*value, 'f', 6) : QStringLiteral("n/a");
}

const QStringList metrics{QStringLiteral("psnr"),        QStringLiteral("psnr_y"),
                          QStringLiteral("ssim"),        QStringLiteral("ms_ssim"),
                          QStringLiteral("ssimulacra2"), QStringLiteral("butteraugli")};

// A distance (lower is better) enters the deltas negated, so that the figure
// rises with quality as for the others: the rate delta stays the bits spent
// at equal distance, and the figure delta becomes the mean reduction of the
// distance at equal rate, positive when the test curve is better.
void negateFigures(std::vector<Curves::Curve>& curves)
{
    for (Curves::Curve& curve : curves)
        for (Curves::Point& point : curve.points)
            point.figure = -point.figure;
}

} // namespace

namespace {

// Rows that take part (status ok) whose rate or figure field holds text that
// is not a number: an empty field is a figure not measured, anything else a
// damaged file.
QStringList badNumbers(const CsvTable& table, const QStringList& names)
{
    QStringList lines;
    const int status = table.column(SweepColumns::status);
    for (int r = 0; r < table.count(); ++r) {
        if (status >= 0 && table.text(r, status) != SweepColumns::ok)
            continue;
        for (const QString& name : names) {
            const QString field = table.text(r, table.column(name)).trimmed();
            if (!field.isEmpty() && std::isnan(table.number(r, table.column(name))) &&
                field != QLatin1String("nan"))
                lines.append(QStringLiteral("line %1: %2 \"%3\" is not a number")
                                 .arg(table.line(r))
                                 .arg(name, field));
        }
    }
    return lines;
}

// Rows of one picture, settings and quality whose figures differ. Rows
// that agree in their figures too are the same file (a progressive entry
// either way of its Huffman setting) and make one point.
QStringList conflictingRows(const CsvTable& table, const QString& figure)
{
    const QStringList columns = Curves::settingColumns(table);
    const int status = table.column(SweepColumns::status);
    const int rate = table.column(SweepColumns::bpp);
    const int value = table.column(figure);
    QHash<QString, int> first;
    QStringList lines;
    for (int r = 0; r < table.count(); ++r) {
        if (status >= 0 && table.text(r, status) != SweepColumns::ok)
            continue;
        QStringList key{table.text(r, table.column(SweepColumns::picture)),
                        table.text(r, table.column(SweepColumns::quality))};
        for (const QString& name : columns)
            key.append(Curves::settingValue(table, r, name));
        const QString id = key.join(QChar(0x1f));
        const auto it = first.constFind(id);
        if (it == first.constEnd()) {
            first.insert(id, r);
            continue;
        }
        const int o = *it;
        const auto differ = [&](int column) {
            const double a = table.number(o, column);
            const double b = table.number(r, column);
            return a != b && !(std::isnan(a) && std::isnan(b));
        };
        if (differ(rate) || differ(value))
            lines.append(QStringLiteral("lines %1 and %2: the same picture, settings and quality "
                                        "with different figures")
                             .arg(table.line(o))
                             .arg(table.line(r)));
    }
    return lines;
}

Outcome refused(const QStringList& lines)
{
    QByteArray text;
    const int shown = std::min<int>(int(lines.size()), 20);
    for (int i = 0; i < shown; ++i)
        text += "tessera-sweep bd-rate: " + lines[i].toUtf8() + '\n';
    if (lines.size() > shown)
        text += QStringLiteral("tessera-sweep bd-rate: ... and %1 more\n")
                    .arg(lines.size() - shown)
                    .toUtf8();
    return {2, {}, text};
}

// The values the curve-by columns take among the rows that take part.
QStringList curveNames(const std::vector<Curves::Curve>& curves)
{
    QStringList names;
    for (const auto& curve : curves) {
        const QString name = curve.key.join(QLatin1Char(','));
        if (!names.contains(name))
            names.append(name);
    }
    return names;
}

QByteArray lineText(const QString& picture, const QString& curve, int points,
                    const std::optional<double>& rate, const std::optional<double>& figure,
                    const QString& context)
{
    return QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\n")
        .arg(picture, curve)
        .arg(points)
        .arg(figureText(rate), figureText(figure), context)
        .toUtf8();
}

QByteArray report(const Curves::Comparison& comparison, const QString& curveBy,
                  const QString& reference)
{
    QByteArray out = "picture\tcurve\tpoints\tbd_rate_percent\tbd_metric\tcontext\n";
    for (const Curves::Pair& pair : comparison.pairs) {
        QString context = pair.context;
        if (!pair.paired)
            context = QStringLiteral("unpaired: no %1=%2 curve with these settings%3")
                          .arg(curveBy, reference,
                               context.isEmpty() ? QString() : QStringLiteral("; ") + context);
        out += lineText(pair.picture, pair.key.join(QLatin1Char(',')), pair.points, pair.rate,
                        pair.figure, context);
    }
    for (const Curves::Mean& mean : comparison.means)
        out += lineText(
            QStringLiteral("mean"), mean.key.join(QLatin1Char(',')), mean.pairs, mean.rate,
            mean.figure,
            QStringLiteral("mean of %1 pairs over %2 pictures").arg(mean.pairs).arg(mean.pictures));
    return out;
}

} // namespace

QString help()
{
    return QStringLiteral(
               "Usage: tessera-sweep bd-rate RESULTS.csv --curve-by COLUMN[,COLUMN...]\n"
               "                             --reference VALUE[,VALUE...] [--metric FIGURE]\n"
               "\n"
               "Bjontegaard deltas between the rate-distortion curves of a sweep CSV.\n"
               "A curve is the results of one picture that differ only in their quality value;\n"
               "every other setting column (auto_quality among them) is equal along it.\n"
               "--curve-by names the settings being compared; each curve whose values are not\n"
               "the reference's is compared with the curve of the same picture whose other\n"
               "settings are all equal and whose values are --reference. A curve without such\n"
               "a partner is listed as unpaired.\n"
               "\n"
               "Options:\n"
               "  --curve-by COLUMN[,COLUMN...]  setting columns compared: %1\n"
               "  --reference VALUE[,VALUE...]   the reference's values, in --curve-by order\n"
               "  --metric FIGURE                %2 (default psnr)\n"
               "  -h, --help                     this text\n"
               "\n"
               "Output: tab-separated lines after a header\n"
               "  picture  curve  points  bd_rate_percent  bd_metric  context\n"
               "one per pair (context: the other settings that tell the pairs apart), one per\n"
               "unpaired curve (figures n/a), then one per compared value with \"mean\" as its\n"
               "picture, the mean of its pairs' figures, and the number of pairs as its points.\n"
               "A figure that cannot be computed (fewer than 4 points, ranges that do not\n"
               "overlap) is n/a. Rows whose rate or figure is not a number, and rows of the\n"
               "same picture, settings and quality with different figures, are refused.\n"
               "\n"
               "Exit status: 0 done, 2 usage error or input refused.\n"
               "\n"
               "Example:\n"
               "  tessera-sweep bd-rate results.csv --curve-by dct --reference int\n")
        .arg(SweepColumns::settings().join(QLatin1Char(',')), metrics.join(QLatin1Char('|')));
}

namespace {

// What the command line asks for.
struct Request
{
    QString file;
    QString figure;
    QStringList curveBy;
    QString reference; // the reference curve's name: its values joined by commas
};

// The request of `arguments`, or the usage error they make.
std::optional<Outcome> readRequest(const QStringList& arguments, Request& request)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("RESULTS.csv"), QStringLiteral("The sweep CSV."));
    const QCommandLineOption curveBy(QStringLiteral("curve-by"),
                                     QStringLiteral("The settings compared."),
                                     QStringLiteral("COLUMN[,COLUMN...]"));
    const QCommandLineOption reference(QStringLiteral("reference"),
                                       QStringLiteral("The reference curve's values."),
                                       QStringLiteral("VALUE[,VALUE...]"));
    const QCommandLineOption metric(
        QStringLiteral("metric"), QStringLiteral("The quality figure: %1.").arg(metrics.join('|')),
        QStringLiteral("FIGURE"), QStringLiteral("psnr"));
    parser.addOptions({curveBy, reference, metric});
    if (!parser.parse(QStringList{QStringLiteral("bd-rate")} + arguments))
        return usage(parser.errorText() + QStringLiteral(" (see bd-rate --help)"));
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1)
        return usage(QStringLiteral("name one RESULTS.csv (see bd-rate --help)"));
    if (!parser.isSet(curveBy) || !parser.isSet(reference))
        return usage(QStringLiteral("--curve-by and --reference are needed (see bd-rate --help)"));
    request.figure = parser.value(metric);
    if (!metrics.contains(request.figure))
        return usage(
            QStringLiteral("--metric is one of %1").arg(metrics.join(QStringLiteral(", "))));
    request.file = files.front();
    request.curveBy = parser.value(curveBy).split(QLatin1Char(','));
    request.reference = parser.value(reference);
    return std::nullopt;
}

// Why `table` cannot answer the request, if it cannot: missing columns,
// unknown settings, bad numbers or conflicting rows.
std::optional<Outcome> checkTable(const CsvTable& table, const Request& request,
                                  const QStringList& columns)
{
    for (const QString& name :
         QStringList{SweepColumns::picture, SweepColumns::bpp, request.figure})
        if (table.column(name) < 0)
            return usage(QStringLiteral("%1 has no column %2").arg(request.file, name));
    for (const QString& name : request.curveBy)
        if (!columns.contains(name))
            return usage(QStringLiteral("--curve-by names settings; %1 is not one of %2")
                             .arg(name, columns.join(QLatin1Char(','))));
    QStringList refusals = badNumbers(table, {SweepColumns::bpp, request.figure});
    if (refusals.isEmpty())
        refusals = conflictingRows(table, request.figure);
    if (!refusals.isEmpty())
        return refused(refusals);
    return std::nullopt;
}

} // namespace

Outcome run(const QStringList& arguments)
{
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h")))
        return {0, help().toUtf8(), {}};
    Request request;
    if (const std::optional<Outcome> failure = readRequest(arguments, request))
        return *failure;

    QString error;
    const QString& file = request.file;
    const auto table = CsvTable::read(file, &error);
    if (!table)
        return usage(QStringLiteral("%1: %2").arg(file, error));
    if (table->count() == 0)
        return usage(QStringLiteral("%1 holds no results; write one with tessera-sweep --csv or "
                                    "Export CSV in tessera-batch")
                         .arg(file));
    const QStringList columns = Curves::settingColumns(*table);
    if (const std::optional<Outcome> failure = checkTable(*table, request, columns))
        return *failure;

    Curves::Options options;
    options.figure = request.figure;
    options.curveBy = request.curveBy;
    auto curves = Curves::perPicture(*table, options);
    Figure which;
    if (Figures::fromKey(request.figure, which) && Figures::info(which).lowerIsBetter)
        negateFigures(curves);
    if (curves.empty())
        return usage(QStringLiteral("%1 has no ok rows with bpp and %2").arg(file, request.figure));
    const QStringList names = curveNames(curves);
    const QString by = options.curveBy.join(QLatin1Char(','));
    if (names.size() < 2)
        return usage(QStringLiteral("every curve has %1 = %2: nothing to compare; choose settings "
                                    "that vary in %3")
                         .arg(by, names.value(0), file));
    // Values may hold commas themselves (sampling factors), so the reference
    // is matched against whole curve names rather than split.
    const QString& referenceName = request.reference;
    const int at = int(names.indexOf(referenceName));
    if (at < 0)
        return usage(QStringLiteral("no curve %1; the curves are: %2")
                         .arg(referenceName, names.join(QStringLiteral("; "))));
    QStringList referenceKey;
    for (const auto& curve : curves)
        if (curve.key.join(QLatin1Char(',')) == referenceName)
            referenceKey = curve.key;
    const auto comparison = Curves::compare(curves, columns, options.curveBy, referenceKey);
    return {0, report(comparison, by, referenceName), {}};
}

} // namespace BDCommand
