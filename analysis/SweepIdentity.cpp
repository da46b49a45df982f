// SPDX-License-Identifier: GPL-3.0-or-later
#include "SweepIdentity.h"

#include "SweepCsv.h"

namespace {

// The number after the colon of "DIGEST:COUNT", -1 when there is none.
long long countOf(const QString& text)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    bool ok = false;
    const long long count = text.mid(colon + 1).toLongLong(&ok);
    return colon == 16 && ok && count >= 0 ? count : -1;
}

} // namespace

const QStringList& SweepIdentity::columns()
{
    static const QStringList names =
        SweepCsv::columns() + QStringList{QStringLiteral("sweep"), QStringLiteral("picture_list"),
                                          QStringLiteral("shard")};
    return names;
}

bool SweepIdentity::read(const QString& sweep, const QString& pictureList, const QString& shard,
                         SweepIdentity& identity)
{
    identity.sweep = sweep;
    identity.pictureList = pictureList;
    identity.shard = shard;
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
