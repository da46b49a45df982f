#pragma once

#include "JPEGSettings.h"

#include <QFutureWatcher>
#include <QObject>
#include <QString>

class CompressionResult;
class Image;

// Recompression off the user-interface thread. Each request carries a copy
// of the settings; a worker compresses with a compressor of its own, one job
// at a time. A request made while a job runs supersedes it: the running
// job's result is dropped when it ends and the newest request starts, so
// only the result of the latest settings is ever delivered.
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
    // Drops every request and waits for the running job, whose result is
    // discarded; afterwards no job uses any picture.
    void cancel();
    // Drops every request without waiting (a manual compression took over).
    void supersede();
    bool isBusy() const { return watcher.isRunning() || pending; }

signals:
    // The result of the latest request (now the receiver's), or null and
    // the compressor's message.
    void compressed(CompressionResult* result, const QString& error);

private:
    struct Outcome
    {
        CompressionResult* result = nullptr;
        QString error;
        quint64 generation = 0;
    };

    void start();
    void jobFinished();

    QFutureWatcher<Outcome> watcher;
    quint64 generation = 0; // of the latest request
    bool consumed = true; // the running or last job's result has been taken
    bool pending = false;
    Image* pendingImage = nullptr;
    JPEGSettings pendingSettings;
};
