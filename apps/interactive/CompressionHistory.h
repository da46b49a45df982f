// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "JPEGSettings.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QString>

#include <deque>

class CompressionResult;

// One compression of the session as the history keeps it: the settings,
// the JPEG bytes and the figures, never a decoded picture. The picture is
// decoded again from the bytes when the entry is shown.
struct HistoryEntry
{
    int number = 0; // 1 for the first compression of the picture
    JPEGSettings settings;
    QByteArray jpeg;
    int width = 0;
    int height = 0;
    double bitRate = 0;
    double psnr = 0;
    double ssim = 0;
    double ssimulacra2 = 0;
    double butteraugli = 0; // NaN unless it was measured for the result
    double encodingMs = 0;  // how long the encoder took

    // The settings in a few words ("q75 · Baseline · int · 2x2,1x1,1x1"),
    // and all of them, one a line, for a tool tip.
    QString shortSettings() const;
    QString settingsDetails() const;
};

// The session's compressions of the current picture, newest last, with a
// cap on the JPEG bytes held: adding an entry drops the oldest ones until
// the total fits again (the newest entry always stays).
class CompressionHistory : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        NUMBER,
        SETTINGS,
        SIZE,
        BPP,
        PSNR,
        SSIM,
        SSIMULACRA2,
        BUTTERAUGLI,
        TIME,
        COLUMN_COUNT
    };

    explicit CompressionHistory(qint64 byteCap = defaultByteCap, QObject* parent = nullptr);

    static constexpr qint64 defaultByteCap = 64ll * 1024 * 1024;

    // Adds what `result` holds; `encodingMs` is the encoder's time. A result
    // whose JPEG is byte for byte one already held is not added again. The
    // row of the entry holding the JPEG.
    int add(const CompressionResult& result, double encodingMs);
    // Forgets every entry; numbering starts again at 1 (for the next picture).
    void clear();

    const HistoryEntry& entry(int row) const { return entries[std::size_t(row)]; }
    int size() const { return int(entries.size()); }
    qint64 heldBytes() const { return bytes; }
    qint64 byteCap() const { return cap; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    std::deque<HistoryEntry> entries;
    qint64 bytes = 0;
    qint64 cap;
    int numbered = 0;
};
