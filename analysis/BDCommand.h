// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QStringList>

// `tessera-sweep bd-rate RESULTS.csv --curve-by COLUMN[,COLUMN...]
//  --reference VALUE[,VALUE...]
//  [--metric psnr|psnr_y|ssim|ms_ssim|ssimulacra2|butteraugli]`:
// reads a sweep CSV and writes, for every curve but the reference, one
// tab-separated line per picture
//   picture  curve  points  bd_rate_percent  bd_metric
// and then one line per curve with "mean" as its picture and the number of
// pictures averaged as its points, after a header line. A curve is named by
// its curve-by values joined by commas, the way --reference names it; a
// figure that cannot be computed is "n/a". Butteraugli, a distance, is
// negated first: bd_metric is then the mean reduction of the distance at
// equal rate (positive: the test curve is better), bd_rate as for the others.
namespace BDCommand {

struct Outcome
{
    int status = 0;    // 0 done, 2 usage error or unreadable input
    QByteArray output; // for standard output
    QByteArray errors; // for standard error
};

// `arguments` are those after "bd-rate".
Outcome run(const QStringList& arguments);

} // namespace BDCommand
