// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class CompressionResult;
class Image;
class PictureViewer;
struct HistoryEntry;

// Two compressions of the history side by side in a viewer of their own:
// the first entry's picture in the left pane, the second's in the right,
// and the figures of the second measured against the first. Both JPEGs are
// decoded, and the figures measured, off the user-interface thread; a newer
// request supersedes one still being prepared.
class HistoryCompare : public QObject
{
    Q_OBJECT

public:
    explicit HistoryCompare(QObject* parent = nullptr);
    ~HistoryCompare() override;

    void compare(const HistoryEntry& left, const HistoryEntry& right);
    // The viewer, once a comparison has been asked for.
    PictureViewer* window() const { return viewer.get(); }
    bool isBusy() const { return running > 0; }

signals:
    // The comparison is on screen, or could not be made (`error`).
    void shown(const QString& error);

public:
    // Two decoded compressions on their way from a worker.
    struct Pair;

private:
    static void addFileMenu(PictureViewer& window);
    void present(Pair* pair);

    std::unique_ptr<PictureViewer> viewer;
    // What the viewer shows; the result's source is `left`.
    std::unique_ptr<Image> left;
    std::unique_ptr<CompressionResult> right;
    std::vector<QObject*> watchers;
    quint64 generation = 0;
    int running = 0;
};
