// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SweepRows.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// Rate-distortion curves of a sweep. Results of one picture that agree in
// every setting but quality lie on one curve; grouping by fewer settings (the
// curve-by columns, for example only the DCT method) joins the curves that
// agree in those, and the results at one quality setting then become one
// point, the mean of their rates and figures. Averaging over pictures gives
// one curve per group whose point at each quality setting is the mean over
// the pictures that have it.
//
// Only rows whose status is "ok" (when the rows have a status) and whose rate
// and figure are finite numbers take part.
namespace Curves {

struct Point
{
    double rate = 0;       // bits per pixel
    double figure = 0;     // the chosen quality figure
    int quality = 0;       // the quality setting
    std::vector<int> rows; // the rows this point stands for
};

struct Curve
{
    QString picture;           // empty on a curve averaged over pictures
    QStringList key;           // the values of the curve-by columns
    std::vector<Point> points; // ordered by rate
    int pictures = 1;          // how many pictures the curve stands for
};

struct Options
{
    QStringList curveBy = SweepColumns::settings(); // none: every setting
    QString figure = QStringLiteral("psnr");
};

std::vector<Curve> perPicture(const SweepRows& rows, const Options& options);
std::vector<Curve> averaged(const std::vector<Curve>& perPicture);

// The positions in the key in which the curves differ: what names a curve in
// a legend. Empty when all agree.
std::vector<int> distinguishing(const std::vector<Curve>& curves);
// "dct=float smoothing=10": the columns at `positions` with their values, or
// "all" with no positions.
QString label(const Curve& curve, const QStringList& curveBy, const std::vector<int>& positions);

// One line of a Bjøntegaard table: a test curve against the reference on one
// picture, or the mean over the pictures where both exist and give a figure,
// with `points` then the number of pictures averaged.
struct Delta
{
    QString picture; // empty on a mean
    bool mean = false;
    QStringList key;
    int points = 0;
    std::optional<double> rate;   // percent
    std::optional<double> figure; // figure units
};

// For each picture, every curve other than the reference against the
// reference curve of that picture, picture after picture in first
// appearance order; then one mean line per test curve.
std::vector<Delta> deltas(const std::vector<Curve>& perPicture, const QStringList& reference);

} // namespace Curves
