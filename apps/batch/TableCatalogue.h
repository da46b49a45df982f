// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "JPEGSettings.h"
#include "SweepCsv.h"

#include <QString>
#include <QStringList>

#include <vector>

// Names the quantization tables of a run's entries for the result panels,
// exactly as the results table and the CSV name them (SweepCsv::tableName):
// a table file's tables as "tables.txt:0", "tables.txt:1" (0-based), the
// presets and Annex K tables by their names, "library standard" under
// automatic quality, else "custom".
class TableCatalogue
{
public:
    // `names` (may be null) is the run's table lists with their names; it is
    // not owned and must outlive the catalogue's use.
    void build(const std::vector<JPEGSettings>& settings, const SweepCsv::TableNames* names);
    void clear();

    // "tables.txt:0 / tables.txt:1": the names of the luminance and
    // chrominance tables the encoder writes; grey-scale output names the
    // luminance table only.
    QString describe(const JPEGSettings& settings) const;
    // "2×2, 1×1": the sampling factors (horizontal × vertical) the encoder
    // applies to components 0 (Y) and 1 (Cb); Y only for grey-scale output.
    static QString sampling(const JPEGSettings& settings);
    // The distinct texts describe() gave for the run's entries when built.
    const QStringList& descriptions() const { return texts; }

private:
    const SweepCsv::TableNames* names = nullptr;
    QStringList texts;
};
