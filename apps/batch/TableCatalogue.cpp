// SPDX-License-Identifier: GPL-3.0-or-later
#include "TableCatalogue.h"

namespace {

QString factors(const JPEGSettings::Downsampling& d)
{
    return QString::number(d.horizontal) + QChar(0x00D7) + QString::number(d.vertical);
}

} // namespace

void TableCatalogue::clear()
{
    names = nullptr;
    texts.clear();
}

void TableCatalogue::build(const std::vector<JPEGSettings>& settings,
                           const SweepCsv::TableNames* tableNames)
{
    clear();
    names = tableNames;
    const JPEGSettings* previous = nullptr;
    for (const JPEGSettings& entry : settings) {
        // Neighbouring entries mostly share their tables.
        if (previous && previous->qtables[0] == entry.qtables[0] &&
            previous->qtables[1] == entry.qtables[1] &&
            previous->isAutoQualityEnabled() == entry.isAutoQualityEnabled() &&
            previous->getGrayscaleOutput() == entry.getGrayscaleOutput())
            continue;
        const QString text = describe(entry);
        if (!texts.contains(text))
            texts << text;
        previous = &entry;
    }
}

QString TableCatalogue::describe(const JPEGSettings& settings) const
{
    const QString luminance = SweepCsv::tableName(settings, JPEGSettings::LUMINANCE, names);
    if (settings.getGrayscaleOutput())
        return luminance;
    return luminance + QStringLiteral(" / ") +
           SweepCsv::tableName(settings, JPEGSettings::CHROMINANCE, names);
}

QString TableCatalogue::sampling(const JPEGSettings& settings)
{
    // Under automatic quality the encoder applies the library's sampling,
    // whatever the entry's unused fields hold.
    const bool automatic = settings.isAutoQualityEnabled();
    const QString y =
        factors(automatic ? JPEGSettings::Downsampling{2, 2} : settings.downsampling[0]);
    if (settings.getGrayscaleOutput())
        return y;
    return y + QStringLiteral(", ") +
           factors(automatic ? JPEGSettings::Downsampling{1, 1} : settings.downsampling[1]);
}
