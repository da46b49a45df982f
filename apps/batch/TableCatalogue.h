// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "JPEGSettings.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <vector>

// Numbers the distinct quantization tables of a run, slot by slot, in the
// order the run first used them: with the sweep's table lists in file order,
// table n of a list is number n. A result panel names its entry's tables by
// these numbers, so that rows made from different table pairs can be told
// apart at a glance.
class TableCatalogue
{
public:
    void build(const std::vector<JPEGSettings>& settings);
    void clear();

    // The 1-based number of the table in `slot` (0 luminance, 1 chrominance)
    // of `settings`; 0 for a table the run did not use (edited since).
    int number(const JPEGSettings& settings, int slot) const;
    int count(int slot) const;

    // "Tables 1/2 · 2×2, 1×1": the luminance and chrominance table numbers
    // ("–" for an edited table), then the sampling factors (horizontal ×
    // vertical) of components 0 (Y) and 1 (Cb). An automatic-quality entry
    // reads "Tables std/std · 2×2, 1×1": what the encoder applies to it.
    QString describe(const JPEGSettings& settings) const;
    // The longest text describe() gives for this run.
    QString widestDescription() const;

private:
    static QByteArray key(const QuantizationTable& table);

    QHash<QByteArray, int> numbers[2];
};
