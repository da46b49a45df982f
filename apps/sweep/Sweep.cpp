// SPDX-License-Identifier: GPL-3.0-or-later
#include "Sweep.h"

#include "BatchEngine.h"
#include "BatchProgress.h"
#include "CsvReader.h"
#include "CsvWriter.h"
#include "Figures.h"
#include "FileNames.h"
#include "FileWrite.h"
#include "Image.h"
#include "RegularFile.h"
#include "Report.h"
#include "SettingsExpansion.h"
#include "SweepCsv.h"
#include "SweepOptions.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <unistd.h>

namespace Sweep {

namespace {

void complain(const QString& message)
{
    std::fprintf(stderr, "tessera-sweep: %s\n", message.toLocal8Bit().constData());
}

// A row's place in the table: picture index, then entry index, where the one
// row of a picture that did not load (no entry index) comes first.
using Key = std::pair<long long, long long>;

bool rowKey(const QStringList& fields, Key& key)
{
    if (fields.size() != SweepCsv::columns().size())
        return false;
    bool okPicture = false, okEntry = false;
    key.first = fields[0].toLongLong(&okPicture);
    key.second = fields[1].isEmpty() ? -1 : fields[1].toLongLong(&okEntry);
    return okPicture && key.first >= 0 && (fields[1].isEmpty() || (okEntry && key.second >= 0));
}

// Reads a table written by this program: its rows by key, in file order.
// A last row that a killed run left half written is not read; `consumed`
// receives where the rows read end. False with a message for a file that is
// not such a table.
bool readTable(const QString& path, std::vector<std::pair<Key, QStringList>>& rows,
               qsizetype* consumed, QString& error)
{
    QString reason;
    const std::optional<QByteArray> bytes = readRegularFile(path, TABLE_FILE_LIMIT, reason);
    if (!bytes) {
        error = QStringLiteral("cannot read %1: %2").arg(path, reason);
        return false;
    }
    qsizetype complete = 0;
    const std::optional<CsvTable> table = CsvTable::parse(*bytes, &reason, &complete);
    if (!table || table->header() != SweepCsv::columns()) {
        error =
            table ? QStringLiteral("%1 is not a tessera-sweep table (its header differs)").arg(path)
                  : QStringLiteral("%1 is not a tessera-sweep table: %2").arg(path, reason);
        return false;
    }
    if (consumed)
        *consumed = complete;
    rows.clear();
    rows.reserve(std::size_t(table->count()));
    for (int i = 0; i < table->count(); ++i) {
        Key key;
        if (!rowKey(table->record(i), key)) {
            error = QStringLiteral("%1: row %2 is damaged").arg(path).arg(i + 2);
            return false;
        }
        rows.emplace_back(key, table->record(i));
    }
    return true;
}

// Writes rows in key order below the header, replacing `path` only once
// everything is written.
bool writeSorted(const QString& path, std::vector<std::pair<Key, QStringList>>& rows,
                 QString& error)
{
    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QByteArray text = CsvWriter::record(SweepCsv::columns());
    for (const auto& row : rows)
        text += CsvWriter::record(row.second);
    QString reason;
    if (!writeFileReplacing(path, text, &reason)) {
        error = QStringLiteral("cannot write %1: %2").arg(path, reason);
        return false;
    }
    return true;
}

// A progress bar on a terminal: done/total, rate and time left, redrawn at
// most a few times a second.
class TerminalProgress
{
public:
    TerminalProgress(bool shown, long long total) : shown(shown), total(total) { clock.start(); }

    void update(long long done, bool last = false)
    {
        if (!shown || (!last && clock.elapsed() - drawn < 200))
            return;
        drawn = clock.elapsed();
        const double seconds = std::max(0.001, clock.elapsed() / 1000.0);
        const double rate = computed / seconds;
        const long long left = total - done;
        const long long eta = rate > 0 ? (long long)(left / rate) : 0;
        const int width = 30;
        const int filled = total > 0 ? int(width * done / total) : width;
        std::fprintf(stderr, "\r[%s%s] %lld/%lld  %.1f/s  %lld:%02lld left ",
                     QByteArray(filled, '#').constData(),
                     QByteArray(width - filled, '.').constData(), done, total, rate, eta / 60,
                     eta % 60);
        if (last)
            std::fputc('\n', stderr);
        std::fflush(stderr);
    }

    long long computed = 0;

private:
    bool shown;
    long long total;
    QElapsedTimer clock;
    qint64 drawn = -1000;
};

} // namespace

int run(const SweepJob& job)
{
    Image::setLibraryChatter(job.verbose);
    BatchSettings sweep = job.settings;
    const std::vector<JPEGSettings> entries = expandBatchSettings(sweep, nullptr);

    // The shard's pictures, and their indices in the whole list.
    QStringList files;
    std::vector<int> indices;
    for (int i = 0; i < job.pictures.size(); ++i) {
        if (i % job.shardCount == job.shardIndex) {
            files << job.pictures[i];
            indices.push_back(i);
        }
    }
    const long long compressions = (long long)files.size() * (long long)entries.size();

    if (job.printSweep) {
        std::printf("%s# entries: %zu\n# pictures: %lld\n# compressions: %lld\n",
                    job.sweepText.toUtf8().constData(), entries.size(), (long long)files.size(),
                    compressions);
        return 0;
    }
    if (files.isEmpty() || entries.empty()) {
        complain(files.isEmpty() ? QStringLiteral("nothing to do: no pictures")
                                 : QStringLiteral("nothing to do: the sweep has no entries"));
        return 2;
    }

    OutputLock outputLock(job.csvPath);
    if (QString error; !job.csvPath.isEmpty() && !outputLock.acquire(error)) {
        complain(error);
        return 2;
    }
    // Rows kept from an earlier run, by key.
    std::map<Key, bool> kept; // value: the row failed
    std::vector<std::pair<Key, QStringList>> keptRows;
    QFile csv;
    bool resumed = false;
    // A file that a run killed at once left empty starts afresh.
    if (job.resume && QFileInfo(job.csvPath).size() > 0) {
        QString error;
        qsizetype consumed = 0;
        if (!readTable(job.csvPath, keptRows, &consumed, error)) {
            complain(error);
            return 2;
        }
        for (const auto& row : keptRows) {
            const long long picture = row.first.first;
            if (picture >= job.pictures.size() || row.first.second >= (long long)entries.size() ||
                row.second[2] != FileNames::cellOfText(job.pictures[int(picture)])) {
                complain(QStringLiteral("%1 holds rows of another sweep (picture %2)")
                             .arg(job.csvPath)
                             .arg(picture));
                return 2;
            }
            kept[row.first] = row.second[SweepCsv::column("status")] != QLatin1String("ok");
        }
        // What a killed run left half written goes; the rest stays.
        csv.setFileName(job.csvPath);
        if (!csv.open(QIODevice::ReadWrite) || !csv.resize(consumed) || !csv.seek(consumed)) {
            complain(QStringLiteral("cannot write %1: %2").arg(job.csvPath, csv.errorString()));
            return 2;
        }
        resumed = true;
    } else if (!job.csvPath.isEmpty()) {
        csv.setFileName(job.csvPath);
        if (!csv.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            complain(QStringLiteral("cannot write %1: %2").arg(job.csvPath, csv.errorString()));
            return 2;
        }
        csv.write(CsvWriter::record(SweepCsv::columns()));
    } else if (!csv.open(stdout, QIODevice::WriteOnly)) {
        complain(QStringLiteral("cannot write the standard output"));
        return 2;
    } else {
        csv.write(CsvWriter::record(SweepCsv::columns()));
    }
    csv.flush();
    if (!job.jpegDir.isEmpty() && !QDir().mkpath(job.jpegDir)) {
        complain(QStringLiteral("cannot make the folder %1").arg(job.jpegDir));
        return 2;
    }

    const auto isKept = [&](int file, int entry) {
        const long long picture = indices[std::size_t(file)];
        return kept.count({picture, -1}) != 0 || kept.count({picture, entry}) != 0;
    };
    long long failures = 0;
    for (const auto& row : kept)
        failures += row.second ? 1 : 0;
    long long done = 0;
    for (int f = 0; f < files.size(); ++f)
        for (int e = 0; e < int(entries.size()); ++e)
            done += isKept(f, e) ? 1 : 0;

    // The report's rows, by key, from the kept rows and the new ones.
    const bool wantReport = !job.reportPath.isEmpty();
    std::map<Key, std::pair<int, ResultStat>> reportRows;
    if (wantReport) {
        for (const auto& row : keptRows) {
            const QStringList& f = row.second;
            if (f[SweepCsv::column("status")] != QLatin1String("ok"))
                continue;
            ResultStat stat;
            SweepCsv::readNumber(f[SweepCsv::column("compression_rate")], stat.compressionRate);
            SweepCsv::readNumber(f[SweepCsv::column("compression_percentage")],
                                 stat.compressionPercentage);
            SweepCsv::readNumber(f[SweepCsv::column("bpp")], stat.bitRate);
            SweepCsv::readNumber(f[SweepCsv::column("mse")], stat.mse);
            stat.fileName = f[2];
            reportRows[row.first] = {int(row.first.second), stat};
        }
    }
    keptRows.clear();
    keptRows.shrink_to_fit();

    SweepCsv::TableNames tables;
    tables.tables[JPEGSettings::LUMINANCE] = job.settings.luminanceTables;
    tables.tables[JPEGSettings::CHROMINANCE] = job.settings.chrominanceTables;
    tables.names[JPEGSettings::LUMINANCE] = job.luminanceNames;
    tables.names[JPEGSettings::CHROMINANCE] = job.chrominanceNames;

    TerminalProgress bar(!job.quiet && ::isatty(STDERR_FILENO), compressions);
    bar.update(done);
    bool writeFailed = false;
    int lastUnloadable = -1;
    const auto consume = [&](BatchOutcome&& outcome) {
        const JPEGSettings& entry = entries[std::size_t(outcome.entryIndex)];
        const long long picture = indices[std::size_t(outcome.fileIndex)];
        ++done;
        ++bar.computed;
        bar.update(done);
        if (outcome.status == BatchOutcome::Unloadable) {
            // One row for the picture, without an entry.
            if (outcome.fileIndex == lastUnloadable)
                return true;
            lastUnloadable = outcome.fileIndex;
        }
        const bool loaded = outcome.status != BatchOutcome::Unloadable;
        const bool compressed = outcome.status == BatchOutcome::Compressed;
        QString message = outcome.message;
        bool failed = !compressed;
        if (compressed && !job.jpegDir.isEmpty()) {
            const QString name = QStringLiteral("%1-%2-%3.jpg")
                                     .arg(QFileInfo(job.pictures[int(picture)]).completeBaseName())
                                     .arg(picture)
                                     .arg(outcome.entryIndex);
            QString reason;
            if (!writeFileReplacing(QDir(job.jpegDir).filePath(name), outcome.jpeg, &reason)) {
                failed = true;
                message = QStringLiteral("cannot keep the JPEG %1: %2").arg(name, reason);
            }
        }
        if (failed)
            ++failures;
        ResultStat stat = outcome.takeStat(int(picture));
        stat.fileName = job.pictures[int(picture)];
        SweepCsv::Row row{entry, stat};
        row.pictureIndex = int(picture);
        row.loaded = loaded;
        row.compressed = compressed;
        row.failed = failed;
        row.message = message;
        row.tables = &tables;
        csv.write(CsvWriter::record(SweepCsv::fileFields(row)));
        if (compressed && wantReport)
            reportRows[{picture, outcome.entryIndex}] = {outcome.entryIndex, std::move(stat)};
        writeFailed = writeFailed || !csv.flush();
        return !writeFailed;
    };

    BatchEngine::Options options;
    options.workers = job.workers;
    options.keepJpegs = !job.jpegDir.isEmpty();
    if (!FigureSet::parse(job.figures.join(QLatin1Char(',')), options.figures))
        options.figures = FigureSet::everything();
    BatchEngine engine(options);
    engine.run(files, entries, consume, nullptr, isKept);
    bar.update(done, true);
    if (writeFailed) {
        complain(
            QStringLiteral("cannot write %1: %2")
                .arg(job.csvPath.isEmpty() ? QStringLiteral("the standard output") : job.csvPath,
                     csv.errorString()));
        return 2;
    }
    csv.close();

    // A resumed table whose kept rows were not all before the new ones is
    // put in order.
    if (resumed) {
        std::vector<std::pair<Key, QStringList>> rows;
        QString error;
        if (!readTable(job.csvPath, rows, nullptr, error)) {
            complain(error);
            return 2;
        }
        const bool ordered =
            std::is_sorted(rows.begin(), rows.end(),
                           [](const auto& a, const auto& b) { return a.first < b.first; });
        if (!ordered && !writeSorted(job.csvPath, rows, error)) {
            complain(error);
            return 2;
        }
    }

    if (wantReport) {
        QByteArray text = Report::header();
        for (const auto& row : reportRows)
            text.append(Report::row(entries[std::size_t(row.second.first)], row.second.second));
        QString error;
        if (!Report::write(job.reportPath, text, &error)) {
            complain(QStringLiteral("cannot write the report %1: %2").arg(job.reportPath, error));
            return 2;
        }
    }
    return failures ? 1 : 0;
}

int merge(const QStringList& arguments)
{
    if (arguments.size() < 2 || arguments.contains(QLatin1String("--help")) ||
        arguments.contains(QLatin1String("-h"))) {
        const bool help =
            arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"));
        std::fprintf(help ? stdout : stderr,
                     "Usage: tessera-sweep merge OUT.csv PART.csv...\n"
                     "Writes the rows of the parts (tables of tessera-sweep, for example of its\n"
                     "shards) to OUT.csv, ordered by picture_index and entry_index, with the\n"
                     "header once. A row that two parts both hold is refused.\n");
        return help ? 0 : 2;
    }
    OutputLock outputLock(arguments[0]);
    if (QString error; !outputLock.acquire(error)) {
        complain(error);
        return 2;
    }
    std::vector<std::pair<Key, QStringList>> all;
    std::map<Key, QString> seen;
    for (int i = 1; i < arguments.size(); ++i) {
        std::vector<std::pair<Key, QStringList>> rows;
        QString error;
        qsizetype consumed = 0;
        if (!readTable(arguments[i], rows, &consumed, error)) {
            complain(error);
            return 2;
        }
        for (auto& row : rows) {
            const auto found = seen.find(row.first);
            if (found != seen.end()) {
                complain(QStringLiteral("picture %1 entry %2 is in both %3 and %4")
                             .arg(row.first.first)
                             .arg(row.first.second < 0 ? QStringLiteral("(none)")
                                                       : QString::number(row.first.second))
                             .arg(found->second, arguments[i]));
                return 2;
            }
            seen.emplace(row.first, arguments[i]);
            all.push_back(std::move(row));
        }
    }
    QString error;
    if (!writeSorted(arguments[0], all, error)) {
        complain(error);
        return 2;
    }
    return 0;
}

} // namespace Sweep
