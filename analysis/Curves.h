// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SweepRows.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

// Rate-distortion curves of a sweep. A curve is the results of one picture
// that differ only in their quality value: every setting column (whether the
// quality is automatic or scales the tables is one of them) is equal along
// it. Results that differ in any other setting are never one point. Two
// entries that give the same file (a progressive entry asked not to
// optimise its Huffman tables is optimised all the same) lie on one curve,
// and the results at one quality then make one point.
//
// The curve-by columns name the settings being compared: they colour the
// curves, and comparisons pair each curve with the curve of the same picture
// whose other settings are all equal and whose curve-by values are the
// reference's.
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
    QStringList settings;      // the values of the setting columns (settingColumns())
    QStringList key;           // the values of the curve-by columns
    std::vector<Point> points; // ordered by rate
    QStringList pictures;      // the pictures the curve stands for
};

struct Options
{
    QStringList curveBy; // setting columns; none: curves are coloured by all settings
    QString figure = QStringLiteral("psnr");
    // When set, only the rows it accepts take part (a table's filters).
    std::function<bool(int)> accepts;
};

// The setting columns that `rows` has, in SweepColumns::settings() order.
QStringList settingColumns(const SweepRows& rows);
// A setting's value as a curve knows it: a progressive entry's Huffman
// tables read as optimised, which is what the encoder did.
QString settingValue(const SweepRows& rows, int row, const QString& column);

std::vector<Curve> perPicture(const SweepRows& rows, const Options& options);
// One curve per combination of settings whose point at each quality is the
// mean over the pictures; only the qualities that every picture of the
// combination has are kept, so each point averages the same pictures.
std::vector<Curve> averaged(const std::vector<Curve>& perPicture);

// The positions in `settings` in which the curves differ. Empty when all agree.
std::vector<int> distinguishing(const std::vector<Curve>& curves);
// The distinguishing positions less those whose value follows, over these
// curves, from the value at a position before them: what a legend needs.
std::vector<int> naming(const std::vector<Curve>& curves);
// "dct=float smoothing=10": the setting columns at `positions` with the
// curve's values, leaving out the columns in `skip`; empty when none is left.
QString label(const Curve& curve, const QStringList& columns, const std::vector<int>& positions,
              const QStringList& skip = {});

// One line of a Bjøntegaard table: a test curve against its partner, the
// curve of the same picture with every other setting equal and the
// reference's curve-by values. Without a partner the curve is unpaired and
// has no figures.
struct Pair
{
    QString picture;
    QStringList key; // the compared values
    QString context; // the other settings that tell this pair from the others
    int points = 0;  // the test curve's
    bool paired = false;
    std::optional<double> rate;   // percent
    std::optional<double> figure; // figure units
};

// The mean of one compared value's per-pair figures (the mean of the
// pictures' BD figures, not the figure of a mean curve).
struct Mean
{
    QStringList key;
    int pairs = 0;    // pairs with a BD-rate, averaged
    int pictures = 0; // the pictures those pairs are of
    std::optional<double> rate;
    std::optional<double> figure;
};

struct Comparison
{
    std::vector<Pair> pairs; // paired curves in first appearance order, then the unpaired
    std::vector<Mean> means; // one per compared value, in first appearance order
};

// Every curve whose curve-by values are not `reference` against its partner;
// `columns` are the setting columns the curves were made with.
Comparison compare(const std::vector<Curve>& perPicture, const QStringList& columns,
                   const QStringList& curveBy, const QStringList& reference);

} // namespace Curves
