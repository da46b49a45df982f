// SPDX-License-Identifier: GPL-3.0-or-later
#include "TableCatalogue.h"

#include <algorithm>

namespace {

QString sampling(const JPEGSettings::Downsampling& d)
{
    return QString::number(d.horizontal) + QChar(0x00D7) + QString::number(d.vertical);
}

QString tableNumber(int number)
{
    return number > 0 ? QString::number(number) : QString(QChar(0x2013));
}

QString description(const QString& luminance, const QString& chrominance, const QString& y,
                    const QString& cb)
{
    return QStringLiteral("Tables %1/%2 %3 %4, %5")
        .arg(luminance, chrominance, QString(QChar(0x00B7)), y, cb);
}

} // namespace

QByteArray TableCatalogue::key(const QuantizationTable& table)
{
    return QByteArray(reinterpret_cast<const char*>(table.getTable()),
                      int(sizeof(unsigned int) * QuantizationTable::SIZE));
}

void TableCatalogue::clear()
{
    numbers[0].clear();
    numbers[1].clear();
}

void TableCatalogue::build(const std::vector<JPEGSettings>& settings)
{
    clear();
    const JPEGSettings* previous = nullptr;
    for (const JPEGSettings& entry : settings) {
        for (int slot = 0; slot < 2; ++slot) {
            // Neighbouring entries mostly share their tables.
            if (previous && previous->qtables[slot] == entry.qtables[slot])
                continue;
            QHash<QByteArray, int>& known = numbers[slot];
            const QByteArray k = key(entry.qtables[slot]);
            if (!known.contains(k))
                known.insert(k, int(known.size()) + 1);
        }
        previous = &entry;
    }
}

int TableCatalogue::number(const JPEGSettings& settings, int slot) const
{
    return numbers[slot].value(key(settings.qtables[slot]), 0);
}

int TableCatalogue::count(int slot) const
{
    return int(numbers[slot].size());
}

QString TableCatalogue::describe(const JPEGSettings& settings) const
{
    // Under automatic quality the encoder writes the library's standard
    // tables and sampling, whatever the entry's unused fields hold.
    if (settings.isAutoQualityEnabled())
        return description(QStringLiteral("std"), QStringLiteral("std"),
                           sampling(JPEGSettings::Downsampling{2, 2}),
                           sampling(JPEGSettings::Downsampling{1, 1}));
    return description(tableNumber(number(settings, 0)), tableNumber(number(settings, 1)),
                       sampling(settings.downsampling[0]), sampling(settings.downsampling[1]));
}

QString TableCatalogue::widestDescription() const
{
    const QString four = sampling(JPEGSettings::Downsampling{4, 4});
    // "std" is about as wide as three digits.
    const auto digits = [this](int slot) {
        return QString(std::max(3, int(QString::number(std::max(count(slot), 1)).size())),
                       QLatin1Char('8'));
    };
    return description(digits(0), digits(1), four, four);
}
