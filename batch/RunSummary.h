// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "JPEGSettings.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// What became of the compressions a batch run was asked for: how many were
// asked, how many succeeded and failed, and each distinct reason for a
// failure with the compressions it cost, the files it hit and, for settings
// the JPEG library refused, which settings. Its size does not grow with the
// run: each reason names a few files and settings and counts the rest.
class RunSummary
{
public:
    enum class Cause {
        PictureNotLoaded,  // the picture could not be loaded: the loader's reason
        CompressionFailed, // the compression failed: the library's (or system's) reason
        PictureDamaged,    // loaded with the decoder's warning, compressed all the same
    };

    struct Reason
    {
        Cause cause = Cause::PictureNotLoaded;
        QString message;
        std::int64_t compressions = 0; // compressions it cost
        QStringList files;             // the first few distinct files it hit
        std::int64_t otherFiles = 0;   // further distinct files, counted only
        QStringList settings;          // the first few distinct failed settings
        std::int64_t otherSettings = 0;
        QString lastFile;                 // results come file by file
        std::vector<bool> refusedEntries; // by entry index
    };

    // Names and settings each reason lists before it only counts.
    static constexpr int LISTED = 5;

    // A new run of `files` pictures under `entries` settings each.
    void start(std::int64_t files, std::int64_t entries);
    void addSuccess() { ++succeeded; }
    // A picture that did not load costs every entry of the run.
    void addLoadFailure(const QString& file, const QString& reason);
    // A compression of `file` succeeded, but the picture was damaged and
    // loaded with the decoder's `warning` (a JPEG cut short, say): its
    // figures are of what was decoded, which the summary says.
    void addLoadWarning(const QString& file, const QString& warning);
    // Entry `entry` (its index in the run's settings list) failed on `file`:
    // settings the JPEG library refused, or memory lacking.
    void addFailure(const QString& file, std::int64_t entry, const JPEGSettings& settings,
                    const QString& reason);

    std::int64_t getFiles() const { return files; }
    std::int64_t getEntries() const { return entries; }
    std::int64_t getAsked() const { return files * entries; }
    std::int64_t getSucceeded() const { return succeeded; }
    std::int64_t getFailed() const { return failed; }
    // Neither succeeded nor failed: the run was cancelled before them.
    std::int64_t getNotDone() const { return getAsked() - succeeded - failed; }
    const std::vector<Reason>& getReasons() const { return reasons; }

    // The summary in a few lines of plain text for people.
    QString text() const;

    // The settings in one line: the fields a panel of the results window does
    // not show at a glance come first, then the rest.
    static QString describe(const JPEGSettings& settings);

private:
    Reason& reasonFor(Cause cause, const QString& message);
    static void noteFile(Reason& reason, const QString& file);

    std::int64_t files = 0;
    std::int64_t entries = 0;
    std::int64_t succeeded = 0;
    std::int64_t failed = 0;
    std::vector<Reason> reasons;
};
