// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "BatchForm.h"
#include "BatchSettings.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// Everything one run of tessera-sweep is asked to do, read from its command
// line and its sweep file.
struct SweepJob
{
    BatchSettings settings;
    // Names of the tables of settings.luminanceTables and chrominanceTables,
    // entry for entry: a preset's name, or a file name and the table's index
    // in the file ("luma.txt:2").
    QStringList luminanceNames;
    QStringList chrominanceNames;
    // The extra figures to compute, by CSV column name.
    QStringList figures;
    // The whole picture list, sorted by name; the shard's pictures are those
    // whose index is shardIndex modulo shardCount. `pictures` opens each,
    // `pictureNames` is its absolute path as the table names it (see
    // PictureNames), `canonicalPictures` that with the links resolved.
    QStringList pictures;
    QStringList pictureNames;
    QStringList canonicalPictures;
    int shardIndex = 0;
    int shardCount = 1;

    QString csvPath; // empty: standard output
    QString reportPath;
    QString jpegDir;
    int workers = 0; // 0: one per core
    bool resume = false;
    bool quiet = false;
    bool verbose = false; // the image libraries' own warnings on standard error
    bool printSweep = false;
    // The effective sweep in the sweep file's format.
    QString sweepText;
};

namespace SweepOptions {

// The extra figures a --figures list names ("all", "none" or names
// separated by commas). False with a message for an unknown name.
bool parseFigures(const QString& list, QStringList& figures, QString& error);
const QStringList& figureNames();

// Reads the command line (arguments without the program name). Returns 0
// when `job` is ready to run, 2 with `error` for a usage error (the batch
// form's messages for an inconsistent sweep, lines broken with newlines).
// --help and --version print and end the process. `raw`: the same arguments
// in the bytes the process received, for file names that are not UTF-8.
int parse(const QStringList& arguments, SweepJob& job, QString& error,
          const QList<QByteArray>& raw = {});

// The pictures in `paths` (in bytes) into job.pictures, pictureNames and
// canonicalPictures: files as they are, folders by the extensions the batch
// window offers (recursively when asked), whatever bytes the names hold, all
// sorted by name. False with `error` for a path that does not exist.
bool collectPictures(const QList<QByteArray>& paths, bool recursive, SweepJob& job, QString& error);

} // namespace SweepOptions
