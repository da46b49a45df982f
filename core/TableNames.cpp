// SPDX-License-Identifier: GPL-3.0-or-later
#include "TableNames.h"

namespace TableNames {

QString name(const QuantizationTable& table)
{
    if (table == QuantizationTable(annexKLuminance))
        return QStringLiteral("Annex K luminance (K.1)");
    if (table == QuantizationTable(annexKChrominance))
        return QStringLiteral("Annex K chrominance (K.2)");
    const int half = JPEGSettings::PRESET_COUNT / 2;
    for (int i = 0; i < JPEGSettings::PRESET_COUNT; ++i) {
        if (table != QuantizationTable(JPEGSettings::presets[i]))
            continue;
        const QString kind = i < half ? QStringLiteral("Luminance") : QStringLiteral("Chrominance");
        const int n = i % half;
        return n == 0 ? kind + QStringLiteral(" standard")
                      : QStringLiteral("%1 %2").arg(kind).arg(n);
    }
    return QStringLiteral("custom");
}

QString shortName(const QuantizationTable& table)
{
    const QString full = name(table);
    if (full.startsWith(QLatin1String("Annex K")))
        return full.mid(full.indexOf(QLatin1Char('(')) + 1).chopped(1);
    if (full == QLatin1String("custom"))
        return full;
    const QChar kind = full.at(0);
    return full.endsWith(QLatin1String(" standard"))
               ? QString(kind) + QStringLiteral(" std")
               : QString(kind) + full.mid(full.lastIndexOf(QLatin1Char(' ')) + 1);
}

QString presetName(int index)
{
    return name(QuantizationTable(JPEGSettings::presets[index]));
}

QString current(const QString& storedName)
{
    if (storedName == QLatin1String("Chrominance standard"))
        return name(QuantizationTable(annexKLuminance));
    return storedName;
}

} // namespace TableNames
