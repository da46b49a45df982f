// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CompressionResult.h"
#include "JPEGSettings.h"

#include <QByteArray>
#include <QString>

#include <vector>

// The batch report: tab-separated 8-bit text (ISO 8859-2), one header line
// and one row per result, every field followed by a tab, lines ending in a
// newline (CR LF on Windows). A row is the settings' toString() followed by
// the source's file name (tabs and line ends in it become spaces) and the
// four figures in "%lf" form: compression
// rate, compression percentage, bit rate, mean square error.
namespace Report {

QByteArray header();
QByteArray row(const JPEGSettings& settings, const ResultStat& stat);
// Header and one row per pair of entries, in list order.
QByteArray text(const std::vector<JPEGSettings>& settings, const std::vector<ResultStat>& results);

// The part of `path` after its last "/", or the whole path without one.
QString fileNamePart(const QString& path);

// Writes `text` to `path` through a temporary file that replaces the target
// only once everything is written, so a failed write leaves an earlier file
// of that name as it was; a device or a pipe in the way is written in place.
// On failure `error` receives the reason.
bool write(const QString& path, const QByteArray& text, QString* error);

} // namespace Report
