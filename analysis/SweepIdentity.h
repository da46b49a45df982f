// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <set>
#include <utility>
#include <vector>

// A row's place in a sweep's table: picture index, then entry index, where
// the one row of a picture that did not load (no entry index) has -1.
using SweepKey = std::pair<long long, long long>;

// What sweep a table of tessera-sweep belongs to. Every row carries it in
// three columns after the sweep CSV's own, so a part identifies itself in
// any CSV reader and wherever it is copied:
//   sweep         DIGEST:ENTRIES   the effective sweep (its text, tables and
//                                  sampling pairs) and its number of entries
//   picture_list  DIGEST:PICTURES  the whole sorted list of canonical picture
//                                  paths and its length
//   shard         I/N
// DIGEST is the first 16 hexadecimal digits of a SHA-256.
struct SweepIdentity
{
    QString sweep;
    QString pictureList;
    QString shard;

    // The identity that a row's three fields give; false when they are not
    // well formed.
    static bool read(const QString& sweep, const QString& pictureList, const QString& shard,
                     SweepIdentity& identity);

    // The sweep CSV's columns followed by the three above.
    static const QStringList& columns();
    QStringList fields() const { return {sweep, pictureList, shard}; }

    long long entryCount() const;
    long long pictureCount() const;
    int shardIndex() const;
    int shardCount() const;
    bool operator==(const SweepIdentity& o) const
    {
        return sweep == o.sweep && pictureList == o.pictureList && shard == o.shard;
    }
    bool operator!=(const SweepIdentity& o) const { return !(*this == o); }

    // What sets `other` apart from this identity, column by column, with
    // `mine` and `theirs` naming the two ("sweep A in this run, B in
    // part-2.csv"); empty when they agree. With `ignoreShard`, only the sweep
    // and the picture list count.
    QString difference(const SweepIdentity& other, const QString& mine, const QString& theirs,
                       bool ignoreShard = false) const;
};

namespace SweepCompleteness {

// The rows that shard `identity.shardIndex()` of the sweep lacks, given the
// keys it holds, as lines such as "picture 7: no rows" or "picture 3: 4 of
// 12 rows missing". A picture that did not load is complete with its one row
// without an entry.
QStringList missingRows(const SweepIdentity& identity, const std::set<SweepKey>& keys);

// The number of pictures of shard I of N in a list of `pictures`.
long long shardPictures(long long pictures, int index, int count);

} // namespace SweepCompleteness
