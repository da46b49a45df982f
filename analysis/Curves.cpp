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

struct Sum
{
    double rate = 0;
    double figure = 0;
    int count = 0;
    std::vector<int> rows;

    void add(double r, double f, const std::vector<int>& from)
    {
        rate += r;
        figure += f;
        ++count;
        rows.insert(rows.end(), from.begin(), from.end());
    }
};

// A separator that no field of a key holds in practice.
const QChar joiner(0x1f);

std::vector<Point> points(const std::map<int, Sum>& sums)
{
    std::vector<Point> out;
    out.reserve(sums.size());
    for (const auto& [quality, sum] : sums)
        out.push_back({sum.rate / sum.count, sum.figure / sum.count, quality, sum.rows});
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

} // namespace

std::vector<Curve> perPicture(const SweepRows& rows, const Options& options)
{
    const int pictureColumn = rows.column(SweepColumns::picture);
    const int qualityColumn = rows.column(SweepColumns::quality);
    const int rateColumn = rows.column(SweepColumns::bpp);
    const int figureColumn = rows.column(options.figure);
    const int statusColumn = rows.column(SweepColumns::status);
    if (rateColumn < 0 || figureColumn < 0)
        return {};
    std::vector<int> byColumns;
    for (const QString& name : options.curveBy)
        byColumns.push_back(rows.column(name));

    std::vector<Curve> curves;
    std::vector<std::map<int, Sum>> sums;
    QHash<QString, std::size_t> index;
    for (int r = 0; r < rows.count(); ++r) {
        if (statusColumn >= 0 && rows.text(r, statusColumn) != SweepColumns::ok)
            continue;
        const double rate = rows.number(r, rateColumn);
        const double figure = rows.number(r, figureColumn);
        if (!std::isfinite(rate) || !std::isfinite(figure))
            continue;
        Curve curve;
        curve.picture = rows.text(r, pictureColumn);
        for (int c : byColumns)
            curve.key.append(rows.text(r, c));
        const QString id = curve.picture + joiner + curve.key.join(joiner);
        auto it = index.find(id);
        if (it == index.end()) {
            it = index.insert(id, curves.size());
            curves.push_back(std::move(curve));
            sums.emplace_back();
        }
        const double quality = qualityColumn >= 0 ? rows.number(r, qualityColumn) : 0;
        sums[*it][std::isfinite(quality) ? int(quality) : 0].add(rate, figure, {r});
    }
    for (std::size_t i = 0; i < curves.size(); ++i)
        curves[i].points = points(sums[i]);
    return curves;
}

std::vector<Curve> averaged(const std::vector<Curve>& perPicture)
{
    std::vector<Curve> curves;
    std::vector<std::map<int, Sum>> sums;
    std::vector<QSet<QString>> pictures;
    QHash<QString, std::size_t> index;
    for (const Curve& curve : perPicture) {
        const QString id = curve.key.join(joiner);
        auto it = index.find(id);
        if (it == index.end()) {
            it = index.insert(id, curves.size());
            curves.push_back({QString(), curve.key, {}, 0});
            sums.emplace_back();
            pictures.emplace_back();
        }
        pictures[*it].insert(curve.picture);
        for (const Point& p : curve.points)
            sums[*it][p.quality].add(p.rate, p.figure, p.rows);
    }
    for (std::size_t i = 0; i < curves.size(); ++i) {
        curves[i].points = points(sums[i]);
        curves[i].pictures = int(pictures[i].size());
    }
    return curves;
}

std::vector<int> distinguishing(const std::vector<Curve>& curves)
{
    std::vector<int> out;
    if (curves.empty())
        return out;
    const QStringList& first = curves.front().key;
    for (int k = 0; k < first.size(); ++k) {
        const bool differs = std::any_of(curves.begin(), curves.end(), [&](const Curve& c) {
            return c.key.value(k) != first[k];
        });
        if (differs)
            out.push_back(k);
    }
    return out;
}

QString label(const Curve& curve, const QStringList& curveBy, const std::vector<int>& positions)
{
    QStringList parts;
    for (int k : positions)
        parts.append(curveBy.value(k) + QLatin1Char('=') + curve.key.value(k));
    return parts.isEmpty() ? QStringLiteral("all") : parts.join(QLatin1Char(' '));
}

std::vector<Delta> deltas(const std::vector<Curve>& perPicture, const QStringList& reference)
{
    std::vector<Delta> out;
    // The curves of each picture, pictures in first appearance order.
    std::vector<std::vector<const Curve*>> byPicture;
    QHash<QString, std::size_t> pictureIndex;
    for (const Curve& curve : perPicture) {
        auto it = pictureIndex.find(curve.picture);
        if (it == pictureIndex.end()) {
            it = pictureIndex.insert(curve.picture, byPicture.size());
            byPicture.emplace_back();
        }
        byPicture[*it].push_back(&curve);
    }

    // Sums for the means, per test curve in first appearance order.
    struct Mean
    {
        QStringList key;
        double rate = 0;
        double figure = 0;
        int rates = 0;
        int figures = 0;
    };
    std::vector<Mean> means;
    QHash<QString, std::size_t> meanIndex;
    for (const auto& curves : byPicture) {
        const Curve* ref = nullptr;
        for (const Curve* curve : curves)
            if (curve->key == reference)
                ref = curve;
        for (const Curve* curve : curves) {
            if (curve == ref)
                continue;
            Delta line{curve->picture, false,       curve->key, int(curve->points.size()),
                       std::nullopt,   std::nullopt};
            if (ref) {
                line.rate = BDRate::rateDelta(rd(*ref), rd(*curve));
                line.figure = BDRate::qualityDelta(rd(*ref), rd(*curve));
            }
            const QString id = curve->key.join(joiner);
            auto it = meanIndex.find(id);
            if (it == meanIndex.end()) {
                it = meanIndex.insert(id, means.size());
                means.push_back({curve->key});
            }
            Mean& mean = means[*it];
            if (line.rate) {
                mean.rate += *line.rate;
                ++mean.rates;
            }
            if (line.figure) {
                mean.figure += *line.figure;
                ++mean.figures;
            }
            out.push_back(std::move(line));
        }
    }

    for (const Mean& m : means) {
        Delta mean{QString(), true, m.key, m.rates, std::nullopt, std::nullopt};
        if (m.rates)
            mean.rate = m.rate / m.rates;
        if (m.figures)
            mean.figure = m.figure / m.figures;
        out.push_back(std::move(mean));
    }
    return out;
}

} // namespace Curves
