// SPDX-License-Identifier: GPL-3.0-or-later
#include "Curves.h"

#include "BDRate.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <map>

namespace Curves {

namespace {

// The running mean of the results at one quality: kept as a mean, not a
// sum, so that finite values near the largest double stay finite.
struct Sum
{
    double rate = 0;
    double figure = 0;
    int count = 0;
    std::vector<int> rows;

    void add(double r, double f, const std::vector<int>& from)
    {
        ++count;
        rate += r / count - rate / count;
        figure += f / count - figure / count;
        rows.insert(rows.end(), from.begin(), from.end());
    }
};

// A quality read from a table as the whole number it names; anything that
// is not one of the encoder's qualities counts as 0.
int qualityKey(double quality)
{
    return std::isfinite(quality) && std::fabs(quality) < 1e6 ? int(quality) : 0;
}

// A separator that no field of a key holds in practice.
const QChar joiner(0x1f);

std::vector<Point> points(const std::map<int, Sum>& sums)
{
    std::vector<Point> out;
    out.reserve(sums.size());
    for (const auto& [quality, sum] : sums)
        out.push_back({sum.rate, sum.figure, quality, sum.rows});
    std::stable_sort(out.begin(), out.end(),
                     [](const Point& a, const Point& b) { return a.rate < b.rate; });
    return out;
}

std::vector<BDRate::Point> rd(const Curve& curve)
{
    std::vector<BDRate::Point> out;
    out.reserve(curve.points.size());
    for (const Point& p : curve.points)
        out.push_back({p.rate, p.figure});
    return out;
}

QStringList keyOf(const QStringList& settings, const std::vector<int>& positions)
{
    QStringList key;
    for (int p : positions)
        key.append(settings.value(p));
    return key;
}

std::vector<int> positionsOf(const QStringList& columns, const QStringList& names)
{
    std::vector<int> out;
    for (const QString& name : names)
        out.push_back(int(columns.indexOf(name)));
    return out;
}

// The settings with the curve-by positions set to `key`: what names a
// curve's partner.
QString partnerId(const Curve& curve, const std::vector<int>& positions, const QStringList& key)
{
    QStringList settings = curve.settings;
    for (std::size_t i = 0; i < positions.size(); ++i)
        if (positions[i] >= 0)
            settings[positions[i]] = key.value(int(i));
    return curve.picture + joiner + settings.join(joiner);
}

// The deltas of the pairs of one compared value, summed for their mean.
struct DeltaSums
{
    double rate = 0, figure = 0;
    int rates = 0, figures = 0;
    QSet<QString> pictures;
};

// Pairs `line`, of `curve`, with the reference's curve `partner`; its deltas
// are added to `sums`.
void measurePair(const Curve& partner, const Curve& curve, Pair& line, DeltaSums& sums)
{
    line.paired = true;
    line.rate = BDRate::rateDelta(rd(partner), rd(curve));
    line.figure = BDRate::qualityDelta(rd(partner), rd(curve));
    if (line.rate) {
        sums.rate += *line.rate;
        ++sums.rates;
        sums.pictures.insert(curve.picture);
    }
    if (line.figure) {
        sums.figure += *line.figure;
        ++sums.figures;
    }
}

void setMean(const DeltaSums& sums, Mean& mean)
{
    mean.pairs = sums.rates;
    mean.pictures = int(sums.pictures.size());
    if (sums.rates)
        mean.rate = sums.rate / sums.rates;
    if (sums.figures)
        mean.figure = sums.figure / sums.figures;
}

} // namespace

QStringList settingColumns(const SweepRows& rows)
{
    QStringList out;
    for (const QString& name : SweepColumns::settings())
        if (rows.column(name) >= 0)
            out.append(name);
    return out;
}

QString settingValue(const SweepRows& rows, int row, const QString& column)
{
    static const QString huffman = QStringLiteral("optimize_huffman");
    if (column == huffman) {
        const int progressive = rows.column(QStringLiteral("progressive"));
        if (progressive >= 0 && rows.text(row, progressive) == QLatin1String("1"))
            return QStringLiteral("1");
    }
    return rows.text(row, rows.column(column));
}

std::vector<Curve> perPicture(const SweepRows& rows, const Options& options)
{
    const int pictureColumn = rows.column(SweepColumns::picture);
    const int qualityColumn = rows.column(SweepColumns::quality);
    const int rateColumn = rows.column(SweepColumns::bpp);
    const int figureColumn = rows.column(options.figure);
    const int statusColumn = rows.column(SweepColumns::status);
    if (rateColumn < 0 || figureColumn < 0)
        return {};
    const QStringList columns = settingColumns(rows);
    const std::vector<int> byPositions = positionsOf(columns, options.curveBy);

    std::vector<Curve> curves;
    std::vector<std::map<int, Sum>> sums;
    QHash<QString, std::size_t> index;
    for (int r = 0; r < rows.count(); ++r) {
        if (statusColumn >= 0 && rows.text(r, statusColumn) != SweepColumns::ok)
            continue;
        if (options.accepts && !options.accepts(r))
            continue;
        const double rate = rows.number(r, rateColumn);
        const double figure = rows.number(r, figureColumn);
        if (!std::isfinite(rate) || !std::isfinite(figure))
            continue;
        Curve curve;
        curve.picture = rows.text(r, pictureColumn);
        for (const QString& name : columns)
            curve.settings.append(settingValue(rows, r, name));
        const QString id = curve.picture + joiner + curve.settings.join(joiner);
        auto it = index.find(id);
        if (it == index.end()) {
            curve.key =
                options.curveBy.isEmpty() ? curve.settings : keyOf(curve.settings, byPositions);
            curve.pictures = QStringList{curve.picture};
            it = index.insert(id, curves.size());
            curves.push_back(std::move(curve));
            sums.emplace_back();
        }
        const double quality = qualityColumn >= 0 ? rows.number(r, qualityColumn) : 0;
        sums[*it][qualityKey(quality)].add(rate, figure, {r});
    }
    for (std::size_t i = 0; i < curves.size(); ++i)
        curves[i].points = points(sums[i]);
    return curves;
}

std::vector<Curve> averaged(const std::vector<Curve>& perPicture)
{
    std::vector<Curve> curves;
    std::vector<std::vector<const Curve*>> members;
    QHash<QString, std::size_t> index;
    for (const Curve& curve : perPicture) {
        const QString id = curve.settings.join(joiner);
        auto it = index.find(id);
        if (it == index.end()) {
            it = index.insert(id, curves.size());
            curves.push_back({QString(), curve.settings, curve.key, {}, {}});
            members.emplace_back();
        }
        members[*it].push_back(&curve);
        curves[*it].pictures.append(curve.picture);
    }
    for (std::size_t i = 0; i < curves.size(); ++i) {
        // The qualities every member has.
        std::map<int, int> seen;
        for (const Curve* member : members[i])
            for (const Point& p : member->points)
                ++seen[p.quality];
        std::map<int, Sum> sums;
        for (const Curve* member : members[i])
            for (const Point& p : member->points)
                if (seen[p.quality] == int(members[i].size()))
                    sums[p.quality].add(p.rate, p.figure, p.rows);
        curves[i].points = points(sums);
    }
    return curves;
}

std::vector<int> distinguishing(const std::vector<Curve>& curves)
{
    std::vector<int> out;
    if (curves.empty())
        return out;
    const QStringList& first = curves.front().settings;
    for (int k = 0; k < first.size(); ++k) {
        const bool differs = std::any_of(curves.begin(), curves.end(), [&](const Curve& c) {
            return c.settings.value(k) != first[k];
        });
        if (differs)
            out.push_back(k);
    }
    return out;
}

std::vector<int> naming(const std::vector<Curve>& curves)
{
    const std::vector<int> differ = distinguishing(curves);
    std::vector<int> kept;
    // A column whose value follows from that of a column kept before it
    // (the sampling and tables of automatic quality) names nothing more.
    const auto follows = [&](int from, int to) {
        QHash<QString, QString> seen;
        for (const Curve& c : curves) {
            const auto it = seen.constFind(c.settings.value(from));
            if (it == seen.constEnd())
                seen.insert(c.settings.value(from), c.settings.value(to));
            else if (*it != c.settings.value(to))
                return false;
        }
        return true;
    };
    for (int k : differ)
        if (std::none_of(kept.begin(), kept.end(), [&](int j) { return follows(j, k); }))
            kept.push_back(k);
    return kept;
}

QString label(const Curve& curve, const QStringList& columns, const std::vector<int>& positions,
              const QStringList& skip)
{
    QStringList parts;
    for (int k : positions)
        if (!skip.contains(columns.value(k)))
            parts.append(columns.value(k) + QLatin1Char('=') + curve.settings.value(k));
    return parts.join(QLatin1Char(' '));
}

Comparison compare(const std::vector<Curve>& perPicture, const QStringList& columns,
                   const QStringList& curveBy, const QStringList& reference)
{
    Comparison out;
    if (perPicture.empty())
        return out;
    const std::vector<int> byPositions = positionsOf(columns, curveBy);
    QHash<QString, const Curve*> references;
    const auto keyOfCurve = [&](const Curve& curve) { return keyOf(curve.settings, byPositions); };
    for (const Curve& curve : perPicture)
        if (keyOfCurve(curve) == reference)
            references.insert(partnerId(curve, byPositions, reference), &curve);
    // Context: the settings in which curves differ, the compared ones aside.
    std::vector<int> contextPositions;
    for (int k : distinguishing(perPicture))
        if (std::find(byPositions.begin(), byPositions.end(), k) == byPositions.end())
            contextPositions.push_back(k);

    std::vector<Pair> unpaired;
    std::vector<DeltaSums> sums;
    QHash<QString, std::size_t> meanIndex;
    for (const Curve& curve : perPicture) {
        const QStringList key = keyOfCurve(curve);
        if (key == reference)
            continue;
        Pair line;
        line.picture = curve.picture;
        line.key = key;
        line.context = label(curve, columns, contextPositions);
        line.points = int(curve.points.size());
        const Curve* partner = references.value(partnerId(curve, byPositions, reference));
        const QString id = key.join(joiner);
        auto it = meanIndex.find(id);
        if (it == meanIndex.end()) {
            it = meanIndex.insert(id, sums.size());
            sums.emplace_back();
            Mean mean;
            mean.key = key;
            out.means.push_back(std::move(mean));
        }
        if (!partner) {
            unpaired.push_back(std::move(line));
            continue;
        }
        measurePair(*partner, curve, line, sums[*it]);
        out.pairs.push_back(std::move(line));
    }
    for (std::size_t i = 0; i < sums.size(); ++i)
        setMean(sums[i], out.means[i]);
    out.pairs.insert(out.pairs.end(), unpaired.begin(), unpaired.end());
    return out;
}

} // namespace Curves
