// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "JPEGSettings.h"

#include <QByteArray>
#include <QFutureWatcher>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class CompressionResult;
class Image;

// Work for the interactive tool off the user-interface thread: recompressing
// the picture under new settings, or decoding a JPEG the history kept into
// a result again. Each request carries copies of what it needs (settings,
// JPEG bytes); a worker runs one job at a time with a compressor of its
// own, and measures there every figure the viewer shows, so that showing a
// result costs the user-interface thread no pass over the pixels.
//
// A request made while a job runs supersedes it: the running job stops
// before its next step, its result is dropped and the newest request
// starts, so only the result of the latest request is ever delivered.
//
// The picture of a request must stay alive until a later request for
// another picture, cancel(), or the destructor has waited for the job.
class LiveCompression : public QObject
{
    Q_OBJECT

public:
    explicit LiveCompression(QObject* parent = nullptr);
    ~LiveCompression() override;

    void request(Image* image, const JPEGSettings& settings);
    // A result for `jpeg`, a compression of `source` under `settings`.
    void requestDecoding(Image* source, const QByteArray& jpeg, const JPEGSettings& settings);
    // Drops every request and waits for the running job, whose result is
    // discarded; afterwards no job uses any picture.
    void cancel();
    // Drops every request without waiting (a manual compression took over).
    void supersede();
    bool isBusy() const { return watcher.isRunning() || bool(pendingJob); }

signals:
    // The result of the latest request (now the receiver's), or null and
    // the compressor's message; `encodingMs` is the time the encoder took.
    void compressed(CompressionResult* result, const QString& error, double encodingMs);
    // The same for a decoding request.
    void decoded(CompressionResult* result, const QString& error);

private:
    struct Outcome
    {
        CompressionResult* result = nullptr;
        QString error;
        quint64 generation = 0;
        double encodingMs = 0;
        bool compression = true; // else a decoding
    };
    // Tells a running job that a newer request has come, so that it stops
    // at its next step (the similarity figures take as long as the rest).
    class Staleness
    {
    public:
        Staleness(std::shared_ptr<const std::atomic<quint64>> latest, quint64 job)
            : latest(std::move(latest)), job(job)
        {
        }
        bool operator()() const { return latest->load() != job; }

    private:
        std::shared_ptr<const std::atomic<quint64>> latest;
        quint64 job;
    };
    using Job = std::function<Outcome(const Staleness& stale)>;

    void submit(Job job);
    void dropUnconsumed();
    void start();
    void jobFinished();

    QFutureWatcher<Outcome> watcher;
    quint64 generation = 0; // of the latest request
    // The same, for the workers.
    std::shared_ptr<std::atomic<quint64>> latest = std::make_shared<std::atomic<quint64>>(0);
    bool consumed = true; // the running or last job's result has been taken
    Job pendingJob;       // the newest request, not started yet
};
