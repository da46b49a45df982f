// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "JPEGSettings.h"

#include <QString>

// The one naming of quantization tables, for every list, menu, file and
// command line that names one: the JPEG standard's Annex K examples by their
// numbers ("Annex K luminance (K.1)", "Annex K chrominance (K.2)"), then the
// preset a table equals ("Luminance standard", "Chrominance 3"), else
// "custom". The short form is for lists: "K.1", "K.2", "L std", "C3".
namespace TableNames {

QString name(const QuantizationTable& table);
QString shortName(const QuantizationTable& table);
// The name of preset `index` (0..PRESET_COUNT-1) of JPEGSettings::presets.
QString presetName(int index);

// Names that older versions wrote for the tables now named otherwise (preset
// 9, the Annex K luminance table, was "Chrominance standard"); stored files
// that hold them still name the same table. Maps an old name to today's,
// any other text to itself.
QString current(const QString& storedName);

} // namespace TableNames
