// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CoefficientCache.h"
#include "QuantizationTables.h"
#include "RealEncodes.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <atomic>
#include <functional>
#include <optional>
#include <vector>

// One run of the quantization-table optimiser: loads the pictures, keeps
// their coefficients, searches a base table pair on estimates (see
// TableSearch), and judges the result, the Annex K pair and the flat pair
// (16 everywhere) by real encodes of the training and the validation
// pictures. Every figure of the report comes from real encodes; the
// estimates only steer.
//
// The metric decides how: for psnr the estimate, which models RGB PSNR,
// picks the best of searches from two starts; for psnr_y, ssim and ms_ssim
// searches with Y's error weighted less at higher frequencies, by a few
// strengths, give finalists that real encodes of the training pictures
// decide between (the start pair among them).
namespace TableOptimiser {

using RealEncodes::Metric;

// The qualities MIN, MIN + STEP, ... up to MAX of "MIN:MAX:STEP", within
// 1..100; false (and `qualities` unspecified) for any other text or fewer
// than four qualities, since a BD-rate needs four points.
bool parseQualities(const QString& text, std::vector<int>& qualities);

struct Options
{
    QStringList training;   // picture files
    QStringList validation; // picture files, only reported on
    Metric metric = Metric::PSNR;
    std::vector<int> qualities{30, 40, 50, 60, 70, 80, 90};
    bool baseline = true;
    Sampling sampling = SamplingText::defaultSampling();
    QuantizationTable startLuma{annexKLuminance}, startChroma{annexKChrominance};
    QString startName = QStringLiteral("annex-k");
    double timeLimit = 90; // seconds for the whole run; the search gets most of it
};

// One report line: a table pair's BD-rate against Annex K on every metric.
struct Row
{
    QString set;     // "training", "validation"
    QString picture; // a file's name, or "mean"
    QString tables;  // "optimised", "flat"
    std::array<std::optional<double>, RealEncodes::METRIC_COUNT> bdRate{};
};

struct Result
{
    QString error; // empty on success
    QuantizationTable luma, chroma;
    std::vector<Row> rows;
    long long evaluations = 0;
    int realTrials = 0; // pairs tried by real encodes in the refinement
    double searchSeconds = 0;
    long long compressions = 0;
    double compressionSeconds = 0;
    bool cancelled = false;

    bool ok() const { return error.isEmpty(); }
};

// What the run is doing, for a progress line; called on the thread that
// called run(), every few tenths of a second while it searches.
struct Status
{
    QString phase;
    long long evaluations = 0;
    double best = 0; // estimated mean BD-rate so far, percent
};
using StatusCallback = std::function<void(const Status&)>;

// Runs on the calling thread and the global thread pool. `cancelled`, once
// set, stops the search at its next trial and skips the real encodes: the
// result then says so and holds no pair.
Result run(const Options& options, const StatusCallback& status = {},
           const std::atomic<bool>* cancelled = nullptr);

// The flat pair's table: 16 everywhere.
QuantizationTable flatTable();

// The tables file: both tables, natural order, 8 lines of 8 values each,
// after comment lines saying what they were optimised for.
QByteArray tablesFile(const Result& result, const Options& options);
// The report as CSV: set, picture, tables and one BD-rate column per metric.
QByteArray reportCsv(const Result& result);
// The report as text for a terminal.
QString reportText(const Result& result, const Options& options);

} // namespace TableOptimiser
