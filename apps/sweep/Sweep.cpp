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
#include "PictureNames.h"
#include "RegularFile.h"
#include "Report.h"
#include "SettingsExpansion.h"
#include "SweepCsv.h"
#include "SweepIdentity.h"
#include "SweepOptions.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <sys/ioctl.h>
#include <unistd.h>

namespace Sweep {

namespace {

void complain(const QString& message)
{
    std::fprintf(stderr, "tessera-sweep: %s\n", message.toLocal8Bit().constData());
}

using Key = SweepKey;

bool rowKey(const QStringList& fields, Key& key)
{
    if (fields.size() != SweepIdentity::columns().size())
        return false;
    bool okPicture = false, okEntry = false;
    key.first = fields[0].toLongLong(&okPicture);
    key.second = fields[1].isEmpty() ? -1 : fields[1].toLongLong(&okEntry);
    return okPicture && key.first >= 0 && (fields[1].isEmpty() || (okEntry && key.second >= 0));
}

// Reads a table written by this program: its rows by key, in file order,
// and the sweep they belong to (none for a table without rows). A last row
// that a killed run left half written is not read; `consumed` receives where
// the rows read end. False with a message for a file that is not such a
// table or whose rows are not all of one sweep.
bool readTable(const QString& path, std::vector<std::pair<Key, QStringList>>& rows,
               std::optional<SweepIdentity>& identity, qsizetype* consumed, QString& error)
{
    QString reason;
    const std::optional<QByteArray> bytes = readRegularFile(path, TABLE_FILE_LIMIT, reason);
    if (!bytes) {
        error = QStringLiteral("cannot read %1: %2").arg(path, reason);
        return false;
    }
    qsizetype complete = 0;
    const std::optional<CsvTable> table = CsvTable::parse(*bytes, &reason, &complete);
    if (!table || table->header() != SweepIdentity::columns()) {
        error =
            table ? QStringLiteral("%1 is not a tessera-sweep table (its header differs)").arg(path)
                  : QStringLiteral("%1 is not a tessera-sweep table: %2").arg(path, reason);
        return false;
    }
    if (consumed)
        *consumed = complete;
    rows.clear();
    rows.reserve(std::size_t(table->count()));
    identity.reset();
    for (int i = 0; i < table->count(); ++i) {
        Key key;
        SweepIdentity own;
        if (!rowKey(table->record(i), key) || !SweepIdentity::read(table->record(i), own)) {
            error = QStringLiteral("%1: row %2 is damaged").arg(path).arg(i + 2);
            return false;
        }
        if (identity && *identity != own) {
            error = QStringLiteral("%1 mixes sweeps: row %2 differs from row 2 (%3)")
                        .arg(path)
                        .arg(i + 2)
                        .arg(identity->difference(own, QStringLiteral("row 2"),
                                                  QStringLiteral("row %1").arg(i + 2)));
            return false;
        }
        identity = own;
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
    QByteArray text = CsvWriter::record(SweepIdentity::columns());
    for (const auto& row : rows)
        text += CsvWriter::record(row.second);
    if (path == QLatin1String("-")) {
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly) || out.write(text) != text.size() ||
            !out.flush()) {
            error = QStringLiteral("cannot write the standard output");
            return false;
        }
        return true;
    }
    QString reason;
    if (!writeFileReplacing(path, text, &reason)) {
        error = QStringLiteral("cannot write %1: %2").arg(path, reason);
        return false;
    }
    return true;
}

bool writableFolder(const QString& path)
{
    return ::access(QFile::encodeName(path).constData(), W_OK | X_OK) == 0 &&
           QFileInfo(path).isDir();
}

// Why a file cannot be written at `path`, empty when it can. `replaced`: it
// is written through a temporary file beside it, which needs its folder.
QString unwritable(const QString& path, bool replaced)
{
    const QFileInfo info(path);
    if (info.isDir())
        return QStringLiteral("cannot write %1: it is a folder").arg(path);
    if (info.exists() && !info.isWritable())
        return QStringLiteral("cannot write %1: it is read-only").arg(path);
    if ((replaced || !info.exists()) && !writableFolder(info.absolutePath()))
        return QStringLiteral("cannot write %1: no folder %2 to write in")
            .arg(path, info.absolutePath());
    return QString();
}

// Why `job` could not keep its results, checked before the first
// compression: the JPEG folder (made when missing), the report and the CSV.
// Empty when it can.
QString unwritableResults(const SweepJob& job)
{
    if (!job.jpegDir.isEmpty() && !QDir().mkpath(job.jpegDir))
        return QStringLiteral("cannot make the folder %1").arg(job.jpegDir);
    if (!job.jpegDir.isEmpty() && !writableFolder(job.jpegDir))
        return QStringLiteral("cannot write in the folder %1").arg(job.jpegDir);
    const QString report = job.reportPath.isEmpty() ? QString() : unwritable(job.reportPath, true);
    if (!report.isEmpty() || job.csvPath.isEmpty())
        return report;
    // A resumed table may be put in order through a file beside it.
    return unwritable(job.csvPath, job.resume);
}

// Whether a table's name for a picture names picture `index` of the job,
// wherever each was taken from.
bool samePicture(const QString& cell, const SweepJob& job, int index)
{
    const QString name = FileNames::textOfCell(cell);
    return name == job.pictureNames[index] ||
           PictureNames::canonical(PictureNames::unescaped(name)) == job.canonicalPictures[index];
}

// The width of the terminal on standard error, 80 when it does not say.
int terminalColumns()
{
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
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
        const QByteArray figures = QStringLiteral(" %1/%2  %3/s  %4:%5 left")
                                       .arg(done)
                                       .arg(total)
                                       .arg(rate, 0, 'f', 1)
                                       .arg(eta / 60)
                                       .arg(eta % 60, 2, 10, QLatin1Char('0'))
                                       .toLatin1();
        // The bar takes what the line leaves, at most 30 columns; the line
        // stays one column short of the terminal's width so that it never
        // wraps.
        const int width = std::min(30, terminalColumns() - 1 - int(figures.size()) - 2);
        QByteArray line = figures;
        if (width >= 5) {
            const int filled = total > 0 ? int(width * done / total) : width;
            line = '[' + QByteArray(filled, '#') + QByteArray(width - filled, '.') + ']' + figures;
        }
        line.truncate(std::max(0, terminalColumns() - 1));
        std::fprintf(stderr, "\r%s\033[K", line.constData());
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
    if (job.pictures.isEmpty() || entries.empty()) {
        complain(job.pictures.isEmpty()
                     ? QStringLiteral("nothing to do: no pictures")
                     : QStringLiteral("nothing to do: the sweep has no entries"));
        return 2;
    }
    if (files.isEmpty())
        complain(QStringLiteral("shard %1/%2 has no pictures (the sweep has %3): its table holds "
                                "the header alone")
                     .arg(job.shardIndex)
                     .arg(job.shardCount)
                     .arg(job.pictures.size()));
    const SweepIdentity identity = SweepIdentity::of(job, entries.size());

    const QString cannot = unwritableResults(job);
    if (!cannot.isEmpty()) {
        complain(cannot);
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
        std::optional<SweepIdentity> found;
        if (!readTable(job.csvPath, keptRows, found, &consumed, error)) {
            complain(error);
            return 2;
        }
        if (found && *found != identity) {
            complain(QStringLiteral("%1 holds rows of another run, left as it is: %2 "
                                    "(--print-sweep shows this run's sweep)")
                         .arg(job.csvPath, identity.difference(*found, QStringLiteral("this run"),
                                                               QStringLiteral("the file"))));
            return 2;
        }
        for (const auto& row : keptRows) {
            const long long picture = row.first.first;
            if (picture >= job.pictures.size() || row.first.second >= (long long)entries.size() ||
                picture % job.shardCount != job.shardIndex ||
                !samePicture(row.second[2], job, int(picture))) {
                complain(
                    QStringLiteral("%1 holds rows of another sweep (picture %2), left as it is")
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
        csv.write(CsvWriter::record(SweepIdentity::columns()));
    } else if (!csv.open(stdout, QIODevice::WriteOnly)) {
        complain(QStringLiteral("cannot write the standard output"));
        return 2;
    } else {
        csv.write(CsvWriter::record(SweepIdentity::columns()));
    }
    csv.flush();

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
            const QString name =
                QStringLiteral("%1-%2-%3.jpg")
                    .arg(QFileInfo(job.pictureNames[int(picture)]).completeBaseName())
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
        stat.fileName = job.pictureNames[int(picture)];
        SweepCsv::Row row{entry, stat};
        row.pictureIndex = int(picture);
        row.loaded = loaded;
        row.compressed = compressed;
        row.failed = failed;
        row.message = message;
        row.tables = &tables;
        csv.write(CsvWriter::record(SweepCsv::fileFields(row) + identity.fields()));
        if (compressed && wantReport)
            reportRows[{picture, outcome.entryIndex}] = {outcome.entryIndex, std::move(stat)};
        writeFailed = writeFailed || !csv.flush();
        return !writeFailed;
    };

    BatchEngine::Options options;
    options.workers = job.workers;
    options.keepJpegs = !job.jpegDir.isEmpty();
    QStringList measured = job.figures;
    options.bitCost = measured.removeAll(QStringLiteral("bits")) > 0;
    if (!FigureSet::parse(measured.join(QLatin1Char(',')), options.figures))
        options.figures = FigureSet::standard();
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
        std::optional<SweepIdentity> found;
        QString error;
        if (!readTable(job.csvPath, rows, found, nullptr, error)) {
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

namespace {

// One table given to merge.
struct Part
{
    QString path;
    std::vector<std::pair<Key, QStringList>> rows;
    std::optional<SweepIdentity> identity; // none: a table without rows
};

// Why `parts` cannot be merged at all (parts of other sweeps, a shard given
// twice); empty when they can.
QString conflict(const std::vector<Part>& parts, const Part& reference)
{
    const SweepIdentity& id = *reference.identity;
    std::map<int, QString> shards;
    for (const Part& part : parts) {
        if (!part.identity)
            continue;
        const QString differs =
            id.difference(*part.identity, reference.path, part.path, /*ignoreShard=*/true);
        if (!differs.isEmpty())
            return QStringLiteral("%1 and %2 are parts of different sweeps: %3")
                .arg(reference.path, part.path, differs);
        if (part.identity->shardCount() != id.shardCount())
            return QStringLiteral("%1 is shard %2 but %3 is shard %4: different shard counts")
                .arg(reference.path, id.shard, part.path, part.identity->shard);
        const auto [at, fresh] = shards.emplace(part.identity->shardIndex(), part.path);
        if (!fresh)
            return QStringLiteral("shard %1 is given twice: %2 and %3")
                .arg(part.identity->shard, at->second, part.path);
    }
    return QString();
}

// What the parts lack of their whole sweep: missing shards and the rows a
// part cut short does not hold, one line each.
QStringList incompleteness(const std::vector<Part>& parts, const SweepIdentity& id)
{
    QStringList lines;
    std::set<int> present;
    for (const Part& part : parts) {
        if (!part.identity)
            continue;
        present.insert(part.identity->shardIndex());
        std::set<Key> keys;
        for (const auto& row : part.rows)
            keys.insert(row.first);
        const QStringList missing = SweepCompleteness::missingRows(*part.identity, keys);
        if (missing.isEmpty())
            continue;
        QStringList shown = missing.mid(0, 5);
        if (missing.size() > shown.size())
            shown << QStringLiteral("%1 more pictures").arg(missing.size() - shown.size());
        lines << QStringLiteral("%1 (shard %2) is cut short: %3")
                     .arg(part.path, part.identity->shard, shown.join(QStringLiteral(", ")));
    }
    const int count = id.shardCount();
    for (int i = 0; i < count; ++i) {
        const long long pictures = SweepCompleteness::shardPictures(id.pictureCount(), i, count);
        if (pictures > 0 && !present.count(i))
            lines << QStringLiteral("shard %1/%2 is missing (pictures %1, %1+%2 and so on: %3 "
                                    "in all)")
                         .arg(i)
                         .arg(count)
                         .arg(pictures);
    }
    return lines;
}

void printMergeUsage(FILE* to)
{
    std::fprintf(to, "Usage: tessera-sweep merge [--allow-incomplete] OUT.csv PART.csv...\n"
                     "Writes the rows of the parts (the tables of the shards of one sweep) to\n"
                     "OUT.csv, or to the standard output for -, ordered by picture_index and\n"
                     "entry_index, with the header once. Parts of different sweeps, a shard given\n"
                     "twice, a missing shard or a part cut short are refused; with\n"
                     "--allow-incomplete, what is there is merged and what is missing listed.\n");
}

} // namespace

int merge(const QStringList& arguments)
{
    QStringList paths = arguments;
    const bool help =
        paths.contains(QLatin1String("--help")) || paths.contains(QLatin1String("-h"));
    const bool allowIncomplete = paths.removeAll(QStringLiteral("--allow-incomplete")) > 0;
    if (paths.size() < 2 || help) {
        printMergeUsage(help ? stdout : stderr);
        return help ? 0 : 2;
    }
    // One writer per output file; standard output needs no lock.
    OutputLock outputLock(paths[0]);
    if (QString error; paths[0] != QLatin1String("-") && !outputLock.acquire(error)) {
        complain(error);
        return 2;
    }
    std::vector<Part> parts;
    const Part* reference = nullptr;
    for (int i = 1; i < paths.size(); ++i) {
        Part part;
        part.path = paths[i];
        QString error;
        qsizetype consumed = 0;
        if (!readTable(part.path, part.rows, part.identity, &consumed, error)) {
            complain(error);
            return 2;
        }
        parts.push_back(std::move(part));
    }
    for (const Part& part : parts)
        if (!reference && part.identity)
            reference = &part;

    std::vector<std::pair<Key, QStringList>> all;
    if (reference) {
        const QString refused = conflict(parts, *reference);
        if (!refused.isEmpty()) {
            complain(refused);
            return 2;
        }
        const QStringList missing = incompleteness(parts, *reference->identity);
        for (const QString& line : missing)
            complain(line);
        if (!missing.isEmpty() && !allowIncomplete) {
            complain(QStringLiteral("nothing written: the parts are not the whole sweep (merge "
                                    "--allow-incomplete merges them all the same)"));
            return 2;
        }
    }
    std::map<Key, QString> seen;
    for (Part& part : parts) {
        for (auto& row : part.rows) {
            const auto found = seen.find(row.first);
            if (found != seen.end()) {
                complain(QStringLiteral("picture %1 entry %2 is in both %3 and %4")
                             .arg(row.first.first)
                             .arg(row.first.second < 0 ? QStringLiteral("(none)")
                                                       : QString::number(row.first.second))
                             .arg(found->second, part.path));
                return 2;
            }
            seen.emplace(row.first, part.path);
            // The merged table is the whole sweep's, as a run without shards
            // would have written it.
            row.second.back() = QStringLiteral("0/1");
            all.push_back(std::move(row));
        }
    }
    QString error;
    if (!writeSorted(paths[0], all, error)) {
        complain(error);
        return 2;
    }
    return 0;
}

} // namespace Sweep
