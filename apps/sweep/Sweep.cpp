// SPDX-License-Identifier: GPL-3.0-or-later
#include "Sweep.h"

#include "BatchEngine.h"
#include "BatchProgress.h"
#include "Figures.h"
#include "FileNames.h"
#include "FileWrite.h"
#include "Image.h"
#include "PictureNames.h"
#include "Report.h"
#include "SettingsExpansion.h"
#include "SweepCsv.h"
#include "SweepOptions.h"
#include "SweepRows.h"
#include "SweepTable.h"

#include <QCryptographicHash>
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

QString digest(QCryptographicHash& hash)
{
    return QString::fromLatin1(hash.result().toHex().left(16));
}

void addNumbers(QCryptographicHash& hash, std::initializer_list<int> numbers)
{
    for (int n : numbers)
        hash.addData(QByteArray::number(n) + ' ');
}

// The identity of `job`'s run, whose sweep expands to `entries` entries.
SweepIdentity identityOf(const SweepJob& job, std::size_t entries)
{
    QCryptographicHash sweepHash(QCryptographicHash::Sha256);
    sweepHash.addData(job.sweepText.toUtf8());
    // The tables and pairs themselves: a file of the same name may hold
    // other values on another day.
    for (const auto* tables : {&job.settings.luminanceTables, &job.settings.chrominanceTables}) {
        for (const QuantizationTable& table : *tables)
            for (unsigned k = 0; k < QuantizationTable::SIZE; ++k)
                addNumbers(sweepHash, {int(table[k])});
        sweepHash.addData("|");
    }
    for (const auto& pair : job.settings.downsamplingPairs)
        addNumbers(sweepHash, {pair.first.vertical, pair.first.horizontal, pair.second.vertical,
                               pair.second.horizontal});

    QCryptographicHash pictureHash(QCryptographicHash::Sha256);
    for (const QString& picture : job.canonicalPictures) {
        pictureHash.addData(picture.toUtf8());
        pictureHash.addData("\n");
    }

    SweepIdentity identity;
    identity.sweep = QStringLiteral("%1:%2").arg(digest(sweepHash)).arg(entries);
    identity.pictureList =
        QStringLiteral("%1:%2").arg(digest(pictureHash)).arg(job.pictures.size());
    identity.shard = QStringLiteral("%1/%2").arg(job.shardIndex).arg(job.shardCount);
    return identity;
}

// What a run will do: the sweep's entries over the shard's pictures.
struct Plan
{
    std::vector<JPEGSettings> entries;
    QStringList files;        // the shard's pictures
    std::vector<int> indices; // their indices in the whole list
    long long compressions = 0;
};

Plan makePlan(const SweepJob& job)
{
    Plan plan;
    BatchSettings sweep = job.settings;
    plan.entries = expandBatchSettings(sweep, nullptr);
    for (int i = 0; i < job.pictures.size(); ++i) {
        if (i % job.shardCount == job.shardIndex) {
            plan.files << job.pictures[i];
            plan.indices.push_back(i);
        }
    }
    plan.compressions = (long long)plan.files.size() * (long long)plan.entries.size();
    return plan;
}

void printPlan(const SweepJob& job, const Plan& plan)
{
    std::printf("%s# entries: %zu\n# pictures: %lld\n# compressions: %lld\n",
                job.sweepText.toUtf8().constData(), plan.entries.size(),
                (long long)plan.files.size(), plan.compressions);
}

// Why the run cannot start, empty when it can. A shard without pictures may
// run (its table is the header alone) and is only told of.
QString cannotStart(const SweepJob& job, const Plan& plan)
{
    if (job.pictures.isEmpty())
        return QStringLiteral("nothing to do: no pictures");
    if (plan.entries.empty())
        return QStringLiteral("nothing to do: the sweep has no entries");
    if (plan.files.isEmpty())
        complain(QStringLiteral("shard %1/%2 has no pictures (the sweep has %3): its table holds "
                                "the header alone")
                     .arg(job.shardIndex)
                     .arg(job.shardCount)
                     .arg(job.pictures.size()));
    return unwritableResults(job);
}

// The four figures of the report in a row of a table.
ResultStat reportStat(const SweepTable& table, const SweepTable::Row& row)
{
    ResultStat stat;
    const auto read = [&](Figure figure, double& value) {
        SweepCsv::readNumber(table.field(row, QLatin1String(Figures::info(figure).column)), value);
    };
    read(Figure::CompressionRate, stat.compressionRate);
    read(Figure::CompressionPercentage, stat.compressionPercentage);
    read(Figure::BitRate, stat.bitRate);
    read(Figure::MSE, stat.mse);
    stat.fileName = FileNames::textOfCell(table.field(row, SweepColumns::picture));
    return stat;
}

// One run of a sweep that can start: its table opened (or resumed), the
// compressions that it does not hold yet run and written to it, then the
// table put in order and the report written.
class SweepRun
{
public:
    SweepRun(const SweepJob& job, const Plan& plan)
        : job(job), plan(plan), identity(identityOf(job, plan.entries.size())),
          bar(!job.quiet && ::isatty(STDERR_FILENO), plan.compressions)
    {
        tables.tables[JPEGSettings::LUMINANCE] = job.settings.luminanceTables;
        tables.tables[JPEGSettings::CHROMINANCE] = job.settings.chrominanceTables;
        tables.names[JPEGSettings::LUMINANCE] = job.luminanceNames;
        tables.names[JPEGSettings::CHROMINANCE] = job.chrominanceNames;
    }

    // The program's exit status.
    int run()
    {
        if (QString error; !openTable(error)) {
            complain(error);
            return 2;
        }
        keepEarlierRows();
        compress();
        return finish();
    }

private:
    bool openTable(QString& error);
    QString notThisRun(const SweepTable& found) const;
    void keepEarlierRows();
    void compress();
    bool consume(BatchOutcome&& outcome);
    bool keepJpeg(const BatchOutcome& outcome, long long picture, QString& message) const;
    int finish();

    bool isKept(int file, int entry) const
    {
        const long long picture = plan.indices[std::size_t(file)];
        return kept.count({picture, -1}) != 0 || kept.count({picture, entry}) != 0;
    }
    bool wantReport() const { return !job.reportPath.isEmpty(); }

    const SweepJob& job;
    const Plan& plan;
    const SweepIdentity identity;
    SweepCsv::TableNames tables;
    SweepTable table;
    std::map<SweepKey, bool> kept; // rows of an earlier run; value: the row failed
    // The report's rows by key: the entry index and the figures.
    std::map<SweepKey, std::pair<int, ResultStat>> reportRows;
    TerminalProgress bar;
    long long failures = 0;
    long long done = 0;
    int lastUnloadable = -1;
};

// A new table, or with --resume the one an earlier run of this sweep and
// shard left, whose rows are kept. A file that a run killed at once left
// empty starts afresh.
bool SweepRun::openTable(QString& error)
{
    if (!job.resume || QFileInfo(job.csvPath).size() == 0) {
        std::optional<SweepTable> created = SweepTable::create(job.csvPath, error);
        if (created)
            table = std::move(*created);
        return created.has_value();
    }
    std::optional<SweepTable> found = SweepTable::read(job.csvPath, error);
    if (!found)
        return false;
    error = notThisRun(*found);
    if (!error.isEmpty())
        return false;
    table = std::move(*found);
    return table.resume(error);
}

// Why the rows of `found` are not of this run, empty when they are.
QString SweepRun::notThisRun(const SweepTable& found) const
{
    if (found.identity() && *found.identity() != identity)
        return QStringLiteral("%1 holds rows of another run, left as it is: %2 "
                              "(--print-sweep shows this run's sweep)")
            .arg(job.csvPath, identity.difference(*found.identity(), QStringLiteral("this run"),
                                                  QStringLiteral("the file")));
    for (const SweepTable::Row& row : found.rows()) {
        const long long picture = row.key.first;
        if (picture >= job.pictures.size() || row.key.second >= (long long)plan.entries.size() ||
            picture % job.shardCount != job.shardIndex ||
            !samePicture(found.field(row, SweepColumns::picture), job, int(picture)))
            return QStringLiteral("%1 holds rows of another sweep (picture %2), left as it is")
                .arg(job.csvPath)
                .arg(picture);
    }
    return QString();
}

// The rows the table already holds: which compressions need not run, how
// many of them failed, and the report's rows among them.
void SweepRun::keepEarlierRows()
{
    for (const SweepTable::Row& row : table.rows()) {
        const bool ok = table.field(row, SweepColumns::status) == SweepColumns::ok;
        kept[row.key] = !ok;
        if (ok && wantReport())
            reportRows[row.key] = {int(row.key.second), reportStat(table, row)};
    }
    table.dropRows();
    for (const auto& row : kept)
        failures += row.second ? 1 : 0;
    for (int f = 0; f < plan.files.size(); ++f)
        for (int e = 0; e < int(plan.entries.size()); ++e)
            done += isKept(f, e) ? 1 : 0;
}

void SweepRun::compress()
{
    BatchEngine::Options options;
    options.workers = job.workers;
    options.keepJpegs = !job.jpegDir.isEmpty();
    QStringList measured = job.figures;
    options.bitCost = measured.removeAll(QStringLiteral("bits")) > 0;
    if (!FigureSet::parse(measured.join(QLatin1Char(',')), options.figures))
        options.figures = FigureSet::standard();
    BatchEngine engine(options);
    bar.update(done);
    engine.run(
        plan.files, plan.entries,
        [this](BatchOutcome&& outcome) { return consume(std::move(outcome)); }, nullptr,
        [this](int file, int entry) { return isKept(file, entry); });
    bar.update(done, true);
}

// One compression's row into the table (and the report's rows); false when
// the table cannot be written, which ends the run.
bool SweepRun::consume(BatchOutcome&& outcome)
{
    const long long picture = plan.indices[std::size_t(outcome.fileIndex)];
    ++done;
    ++bar.computed;
    bar.update(done);
    if (outcome.status == BatchOutcome::Unloadable) {
        // One row for the picture, without an entry.
        if (outcome.fileIndex == lastUnloadable)
            return true;
        lastUnloadable = outcome.fileIndex;
    }
    const bool compressed = outcome.status == BatchOutcome::Compressed;
    QString message = outcome.message;
    const bool failed =
        !compressed || (!job.jpegDir.isEmpty() && !keepJpeg(outcome, picture, message));
    if (failed)
        ++failures;
    ResultStat stat = outcome.takeStat(int(picture));
    stat.fileName = job.pictureNames[int(picture)];
    SweepCsv::Row row{plan.entries[std::size_t(outcome.entryIndex)], stat};
    row.pictureIndex = int(picture);
    row.loaded = outcome.status != BatchOutcome::Unloadable;
    row.compressed = compressed;
    row.failed = failed;
    row.message = message;
    row.tables = &tables;
    const bool written = table.append(SweepCsv::fileFields(row) + identity.fields());
    if (compressed && wantReport())
        reportRows[{picture, outcome.entryIndex}] = {outcome.entryIndex, std::move(stat)};
    return written;
}

// Keeps a compression's JPEG in the --keep-jpegs folder; false with the
// reason in `message` when it cannot.
bool SweepRun::keepJpeg(const BatchOutcome& outcome, long long picture, QString& message) const
{
    const QString name = QStringLiteral("%1-%2-%3.jpg")
                             .arg(QFileInfo(job.pictureNames[int(picture)]).completeBaseName())
                             .arg(picture)
                             .arg(outcome.entryIndex);
    QString reason;
    if (writeFileReplacing(QDir(job.jpegDir).filePath(name), outcome.jpeg, &reason))
        return true;
    message = QStringLiteral("cannot keep the JPEG %1: %2").arg(name, reason);
    return false;
}

// The table finished and put in order, the report written; the exit status.
int SweepRun::finish()
{
    if (QString error; !table.finish(error)) {
        complain(error);
        return 2;
    }
    if (wantReport()) {
        QByteArray text = Report::header();
        for (const auto& row : reportRows)
            text.append(
                Report::row(plan.entries[std::size_t(row.second.first)], row.second.second));
        QString error;
        if (!Report::write(job.reportPath, text, &error)) {
            complain(QStringLiteral("cannot write the report %1: %2").arg(job.reportPath, error));
            return 2;
        }
    }
    return failures ? 1 : 0;
}

} // namespace

int run(const SweepJob& job)
{
    Image::setLibraryChatter(job.verbose);
    const Plan plan = makePlan(job);
    if (job.printSweep) {
        printPlan(job, plan);
        return 0;
    }
    if (const QString cannot = cannotStart(job, plan); !cannot.isEmpty()) {
        complain(cannot);
        return 2;
    }
    OutputLock outputLock(job.csvPath);
    if (QString error; !job.csvPath.isEmpty() && !outputLock.acquire(error)) {
        complain(error);
        return 2;
    }
    return SweepRun(job, plan).run();
}

namespace {

// Why `parts` cannot be merged at all (parts of other sweeps, a shard given
// twice); empty when they can.
QString conflict(const std::vector<SweepTable>& parts, const SweepTable& reference)
{
    const SweepIdentity& id = *reference.identity();
    std::map<int, QString> shards;
    for (const SweepTable& part : parts) {
        if (!part.identity())
            continue;
        const SweepIdentity& other = *part.identity();
        const QString differs =
            id.difference(other, reference.path(), part.path(), /*ignoreShard=*/true);
        if (!differs.isEmpty())
            return QStringLiteral("%1 and %2 are parts of different sweeps: %3")
                .arg(reference.path(), part.path(), differs);
        if (other.shardCount() != id.shardCount())
            return QStringLiteral("%1 is shard %2 but %3 is shard %4: different shard counts")
                .arg(reference.path(), id.shard, part.path(), other.shard);
        const auto [at, fresh] = shards.emplace(other.shardIndex(), part.path());
        if (!fresh)
            return QStringLiteral("shard %1 is given twice: %2 and %3")
                .arg(other.shard, at->second, part.path());
    }
    return QString();
}

// What the parts lack of their whole sweep: missing shards and the rows a
// part cut short does not hold, one line each.
QStringList incompleteness(const std::vector<SweepTable>& parts, const SweepIdentity& id)
{
    QStringList lines;
    std::set<int> present;
    for (const SweepTable& part : parts) {
        if (!part.identity())
            continue;
        present.insert(part.identity()->shardIndex());
        std::set<SweepKey> keys;
        for (const SweepTable::Row& row : part.rows())
            keys.insert(row.key);
        const QStringList missing = SweepCompleteness::missingRows(*part.identity(), keys);
        if (missing.isEmpty())
            continue;
        QStringList shown = missing.mid(0, 5);
        if (missing.size() > shown.size())
            shown << QStringLiteral("%1 more pictures").arg(missing.size() - shown.size());
        lines << QStringLiteral("%1 (shard %2) is cut short: %3")
                     .arg(part.path(), part.identity()->shard, shown.join(QStringLiteral(", ")));
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

// The parts at `paths`; false when one cannot be read. Columns a part holds
// beyond the sweep's are named: the merged table leaves them out.
bool readParts(const QStringList& paths, std::vector<SweepTable>& parts)
{
    for (const QString& path : paths) {
        QString error;
        std::optional<SweepTable> part = SweepTable::read(path, error);
        if (!part) {
            complain(error);
            return false;
        }
        if (const QStringList others = part->otherColumns(); !others.isEmpty())
            complain(QStringLiteral("%1: the merged table leaves out its columns %2")
                         .arg(path, others.join(QStringLiteral(", "))));
        parts.push_back(std::move(*part));
    }
    return true;
}

// Why the parts of one sweep cannot be merged, empty when they can:
// conflicts, or with `allowIncomplete` false anything missing.
QString unmergeable(const std::vector<SweepTable>& parts, bool allowIncomplete)
{
    const auto reference = std::find_if(parts.begin(), parts.end(),
                                        [](const SweepTable& part) { return part.identity(); });
    if (reference == parts.end())
        return QString();
    const QString refused = conflict(parts, *reference);
    if (!refused.isEmpty())
        return refused;
    const QStringList missing = incompleteness(parts, *reference->identity());
    for (const QString& line : missing)
        complain(line);
    if (!missing.isEmpty() && !allowIncomplete)
        return QStringLiteral("nothing written: the parts are not the whole sweep (merge "
                              "--allow-incomplete merges them all the same)");
    return QString();
}

// The rows of all parts in the sweep's columns, as a run without shards
// would have written them; false when two parts hold the same row.
bool mergedRows(std::vector<SweepTable>& parts, std::vector<SweepTable::Row>& all)
{
    const int shard = SweepTable::column(QStringLiteral("shard"));
    std::map<SweepKey, QString> seen;
    for (SweepTable& part : parts) {
        for (SweepTable::Row& row : part.takeRows()) {
            const auto [found, fresh] = seen.emplace(row.key, part.path());
            if (!fresh) {
                complain(QStringLiteral("picture %1 entry %2 is in both %3 and %4")
                             .arg(row.key.first)
                             .arg(row.key.second < 0 ? QStringLiteral("(none)")
                                                     : QString::number(row.key.second))
                             .arg(found->second, part.path()));
                return false;
            }
            row.cells[shard] = QStringLiteral("0/1");
            all.push_back(std::move(row));
        }
    }
    return true;
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
    std::vector<SweepTable> parts;
    if (!readParts(paths.mid(1), parts))
        return 2;
    if (const QString refused = unmergeable(parts, allowIncomplete); !refused.isEmpty()) {
        complain(refused);
        return 2;
    }
    std::vector<SweepTable::Row> all;
    if (!mergedRows(parts, all))
        return 2;
    QString error;
    if (!SweepTable::write(paths[0], std::move(all), error)) {
        complain(error);
        return 2;
    }
    return 0;
}

} // namespace Sweep
