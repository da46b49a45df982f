// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QStringList>

// `tessera-sweep bd-rate RESULTS.csv --curve-by COLUMN[,COLUMN...]
//  --reference VALUE[,VALUE...]
//  [--metric psnr|psnr_y|ssim|ms_ssim|ssimulacra2|butteraugli]`:
// reads a sweep CSV and writes, after a header line, one tab-separated line
//   picture  curve  points  bd_rate_percent  bd_metric  context
// per pair of curves (Curves::compare), then one per unpaired curve, then
// one per compared value with "mean" as its picture and the number of pairs
// averaged as its points. A curve is named by its curve-by values joined by
// commas, the way --reference names it; a figure that cannot be computed is
// "n/a". Rows whose rate or figure is text that is not a number, and rows of
// one picture, settings and quality with different figures, are refused
// with their line numbers. Butteraugli, a distance, is negated first:
// bd_metric is then the mean reduction of the distance at equal rate
// (positive: the test curve is better), bd_rate as for the others.
namespace BDCommand {

struct Outcome
{
    int status = 0;    // 0 done, 2 usage error or unreadable input
    QByteArray output; // for standard output
    QByteArray errors; // for standard error
};

// The text of `bd-rate --help`.
QString help();
// `arguments` are those after "bd-rate".
Outcome run(const QStringList& arguments);

} // namespace BDCommand
