// SPDX-License-Identifier: GPL-3.0-or-later
#include "SweepIdentity.h"

#include "SweepCsv.h"
#include "SweepOptions.h"

#include <QCryptographicHash>

namespace {

QString digest(QCryptographicHash& hash)
{
    return QString::fromLatin1(hash.result().toHex().left(16));
}

void addNumbers(QCryptographicHash& hash, std::initializer_list<int> numbers)
{
    for (int n : numbers)
        hash.addData(QByteArray::number(n) + ' ');
}

// The number after the colon of "DIGEST:COUNT", -1 when there is none.
long long countOf(const QString& text)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    bool ok = false;
    const long long count = text.mid(colon + 1).toLongLong(&ok);
    return colon == 16 && ok && count >= 0 ? count : -1;
}

} // namespace

SweepIdentity SweepIdentity::of(const SweepJob& job, std::size_t entries)
{
    QCryptographicHash sweepHash(QCryptographicHash::Sha256);
    sweepHash.addData(job.sweepText.toUtf8());
    // The tables and pairs themselves: a file of the same name may hold
    // other values on another day.
    for (const auto* tables : {&job.settings.luminanceTables, &job.settings.chrominanceTables}) {
        for (const QuantizationTable& table : *tables)
            for (unsigned k = 0; k < QuantizationTable::SIZE; ++k)
                addNumbers(sweepHash, {int(table[k])});
        sweepHash.addData("|");
    }
    for (const auto& pair : job.settings.downsamplingPairs)
        addNumbers(sweepHash, {pair.first.vertical, pair.first.horizontal, pair.second.vertical,
                               pair.second.horizontal});

    QCryptographicHash pictureHash(QCryptographicHash::Sha256);
    for (const QString& picture : job.canonicalPictures) {
        pictureHash.addData(picture.toUtf8());
        pictureHash.addData("\n");
    }

    SweepIdentity identity;
    identity.sweep = QStringLiteral("%1:%2").arg(digest(sweepHash)).arg(entries);
    identity.pictureList =
        QStringLiteral("%1:%2").arg(digest(pictureHash)).arg(job.pictures.size());
    identity.shard = QStringLiteral("%1/%2").arg(job.shardIndex).arg(job.shardCount);
    return identity;
}

const QStringList& SweepIdentity::columns()
{
    static const QStringList names =
        SweepCsv::columns() + QStringList{QStringLiteral("sweep"), QStringLiteral("picture_list"),
                                          QStringLiteral("shard")};
    return names;
}

bool SweepIdentity::read(const QStringList& fields, SweepIdentity& identity)
{
    if (fields.size() != columns().size())
        return false;
    const qsizetype n = fields.size();
    identity.sweep = fields[n - 3];
    identity.pictureList = fields[n - 2];
    identity.shard = fields[n - 1];
    return identity.entryCount() >= 0 && identity.pictureCount() >= 0 &&
           identity.shardCount() > 0 && identity.shardIndex() >= 0 &&
           identity.shardIndex() < identity.shardCount();
}

long long SweepIdentity::entryCount() const
{
    return countOf(sweep);
}

long long SweepIdentity::pictureCount() const
{
    return countOf(pictureList);
}

int SweepIdentity::shardIndex() const
{
    bool ok = false;
    const int index = shard.section(QLatin1Char('/'), 0, 0).toInt(&ok);
    return ok && shard.count(QLatin1Char('/')) == 1 ? index : -1;
}

int SweepIdentity::shardCount() const
{
    bool ok = false;
    const int count = shard.section(QLatin1Char('/'), 1, 1).toInt(&ok);
    return ok && shard.count(QLatin1Char('/')) == 1 ? count : -1;
}

QString SweepIdentity::difference(const SweepIdentity& other, const QString& mine,
                                  const QString& theirs, bool ignoreShard) const
{
    QStringList parts;
    const auto compare = [&](const char* column, const QString& a, const QString& b) {
        if (a != b)
            parts << QStringLiteral("%1 %2 in %3, %4 in %5")
                         .arg(QLatin1String(column), a, mine, b, theirs);
    };
    compare("sweep", sweep, other.sweep);
    compare("picture_list", pictureList, other.pictureList);
    if (!ignoreShard)
        compare("shard", shard, other.shard);
    return parts.join(QStringLiteral("; "));
}

namespace SweepCompleteness {

long long shardPictures(long long pictures, int index, int count)
{
    return index < pictures ? (pictures - index + count - 1) / count : 0;
}

QStringList missingRows(const SweepIdentity& identity, const std::set<SweepKey>& keys)
{
    QStringList lines;
    const long long entries = identity.entryCount();
    const int count = identity.shardCount();
    for (long long p = identity.shardIndex(); p < identity.pictureCount(); p += count) {
        if (keys.count({p, -1}))
            continue;
        long long present = 0;
        for (auto it = keys.lower_bound({p, 0}); it != keys.end() && it->first == p; ++it)
            ++present;
        if (present == 0)
            lines << QStringLiteral("picture %1: no rows").arg(p);
        else if (present < entries)
            lines << QStringLiteral("picture %1: %2 of %3 rows missing")
                         .arg(p)
                         .arg(entries - present)
                         .arg(entries);
    }
    return lines;
}

} // namespace SweepCompleteness
