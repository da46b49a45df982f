// SPDX-License-Identifier: GPL-3.0-or-later
#include "BDCommand.h"

#include "CsvReader.h"
#include "Curves.h"
#include "Figures.h"

#include <QCommandLineParser>

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

Outcome run(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("RESULTS.csv"), QStringLiteral("The sweep CSV."));
    const QCommandLineOption curveBy(QStringLiteral("curve-by"),
                                     QStringLiteral("The columns that tell the curves apart."),
                                     QStringLiteral("COLUMN[,COLUMN...]"));
    const QCommandLineOption reference(QStringLiteral("reference"),
                                       QStringLiteral("The reference curve's values."),
                                       QStringLiteral("VALUE[,VALUE...]"));
    const QCommandLineOption metric(
        QStringLiteral("metric"), QStringLiteral("The quality figure: %1.").arg(metrics.join('|')),
        QStringLiteral("FIGURE"), QStringLiteral("psnr"));
    parser.addOptions({curveBy, reference, metric});
    if (!parser.parse(QStringList{QStringLiteral("bd-rate")} + arguments))
        return usage(parser.errorText());
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1)
        return usage(QStringLiteral("name one RESULTS.csv"));
    if (!parser.isSet(curveBy) || !parser.isSet(reference))
        return usage(QStringLiteral("--curve-by and --reference are needed"));
    const QString figure = parser.value(metric);
    if (!metrics.contains(figure))
        return usage(
            QStringLiteral("--metric is one of %1").arg(metrics.join(QStringLiteral(", "))));

    QString error;
    const auto table = CsvTable::read(files.front(), &error);
    if (!table)
        return usage(QStringLiteral("%1: %2").arg(files.front(), error));
    Curves::Options options;
    options.figure = figure;
    options.curveBy = parser.value(curveBy).split(QLatin1Char(','));
    for (const QString& name : options.curveBy + QStringList{SweepColumns::bpp, figure})
        if (table->column(name) < 0)
            return usage(QStringLiteral("%1 has no column %2").arg(files.front(), name));

    auto curves = Curves::perPicture(*table, options);
    Figure which;
    if (Figures::fromKey(figure, which) && Figures::info(which).lowerIsBetter)
        negateFigures(curves);
    // Values may hold commas themselves (sampling factors), so the reference
    // is matched against whole curve names rather than split.
    const QString referenceName = parser.value(reference);
    const QStringList* referenceKey = nullptr;
    QStringList names;
    for (const auto& curve : curves) {
        const QString name = curve.key.join(QLatin1Char(','));
        if (name == referenceName)
            referenceKey = &curve.key;
        if (!names.contains(name))
            names.append(name);
    }
    if (!referenceKey)
        return usage(QStringLiteral("no curve %1; the curves are: %2")
                         .arg(referenceName, names.join(QStringLiteral("; "))));

    QByteArray out = "picture\tcurve\tpoints\tbd_rate_percent\tbd_metric\n";
    for (const Curves::Delta& line : Curves::deltas(curves, *referenceKey)) {
        out += QStringLiteral("%1\t%2\t%3\t%4\t%5\n")
                   .arg(line.mean ? QStringLiteral("mean") : line.picture,
                        line.key.join(QLatin1Char(',')))
                   .arg(line.points)
                   .arg(figureText(line.rate), figureText(line.figure))
                   .toUtf8();
    }
    return {0, out, {}};
}

} // namespace BDCommand
