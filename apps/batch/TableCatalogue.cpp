// SPDX-License-Identifier: GPL-3.0-or-later
#include "TableCatalogue.h"

namespace {

QString sampling(const JPEGSettings::Downsampling& d)
{
    return QString::number(d.horizontal) + QChar(0x00D7) + QString::number(d.vertical);
}

} // namespace

void TableCatalogue::clear()
{
    names = nullptr;
    widest.clear();
}

void TableCatalogue::build(const std::vector<JPEGSettings>& settings,
                           const SweepCsv::TableNames* tableNames)
{
    clear();
    names = tableNames;
    const JPEGSettings* previous = nullptr;
    for (const JPEGSettings& entry : settings) {
        // Neighbouring entries mostly share their tables and sampling.
        if (previous && previous->qtables[0] == entry.qtables[0] &&
            previous->qtables[1] == entry.qtables[1] &&
            previous->downsampling[0] == entry.downsampling[0] &&
            previous->downsampling[1] == entry.downsampling[1] &&
            previous->isAutoQualityEnabled() == entry.isAutoQualityEnabled() &&
            previous->getGrayscaleOutput() == entry.getGrayscaleOutput())
            continue;
        const QString text = describe(entry);
        if (text.size() > widest.size())
            widest = text;
        previous = &entry;
    }
}

QString TableCatalogue::describe(const JPEGSettings& settings) const
{
    const QString luminance = SweepCsv::tableName(settings, JPEGSettings::LUMINANCE, names);
    const QString chrominance = SweepCsv::tableName(settings, JPEGSettings::CHROMINANCE, names);
    // Under automatic quality the encoder applies the library's sampling,
    // whatever the entry's unused fields hold.
    const bool automatic = settings.isAutoQualityEnabled();
    const QString y =
        sampling(automatic ? JPEGSettings::Downsampling{2, 2} : settings.downsampling[0]);
    const QString dot(QChar(0x00B7));
    if (settings.getGrayscaleOutput())
        return QStringLiteral("Table %1 %2 %3").arg(luminance, dot, y);
    const QString cb =
        sampling(automatic ? JPEGSettings::Downsampling{1, 1} : settings.downsampling[1]);
    return QStringLiteral("Tables %1 / %2 %3 %4, %5").arg(luminance, chrominance, dot, y, cb);
}
