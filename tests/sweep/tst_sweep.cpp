// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchCompressor.h"
#include "BatchSettings.h"
#include "CsvReader.h"
#include "CsvWriter.h"
#include "Image.h"
#include "PictureFormats.h"
#include "Report.h"
#include "ResultTableModel.h"
#include "SettingsExpansion.h"
#include "SweepCsv.h"
#include "SweepIdentity.h"
#include "SweepOptions.h"
#include "TestPictures.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>
#include <cmath>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QString sweepProgram()
{
    return qEnvironmentVariable("TESSERA_RUN_DIR") + QStringLiteral("/tessera-sweep");
}

struct Outcome
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Outcome runSweep(const QStringList& arguments, const QString& workingDirectory = QString())
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    process.start(sweepProgram(), arguments);
    Outcome outcome;
    if (!process.waitForFinished(240000))
        return outcome;
    outcome.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.out = process.readAllStandardOutput();
    outcome.err = process.readAllStandardError();
    return outcome;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The header and the complete records of a table, as --resume reads them.
std::vector<QStringList> readRecords(const QByteArray& csv)
{
    qsizetype complete = 0;
    const auto table = CsvTable::parse(csv, nullptr, &complete);
    std::vector<QStringList> out;
    if (!table)
        return out;
    out.push_back(table->header());
    for (int r = 0; r < table->count(); ++r)
        out.push_back(table->record(r));
    return out;
}

// The table's records with the timing columns emptied: everything else is
// the same from run to run.
std::vector<QStringList> timeless(const QByteArray& csv)
{
    std::vector<QStringList> records = readRecords(csv);
    const int encode = SweepCsv::column("encode_ms");
    const int decode = SweepCsv::column("decode_ms");
    for (std::size_t i = 1; i < records.size(); ++i) {
        if (records[i].size() > decode) {
            records[i][encode].clear();
            records[i][decode].clear();
        }
    }
    return records;
}

QString field(const QStringList& record, const char* name)
{
    return record.value(SweepCsv::column(name));
}

double figure(const QStringList& record, const char* name)
{
    double value = -1;
    SweepCsv::readNumber(field(record, name), value);
    return value;
}

} // namespace

class TestSweep : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Image::initImage();
        QVERIFY2(QFile::exists(sweepProgram()), qPrintable(sweepProgram()));
    }

    // One sweep over two pictures: the table is the same for one worker and
    // for three, its rows are the batch window's results in the window's
    // order, --report writes what the results window would and the results
    // window's table exports the same CSV.
    void sameTableForEveryWorkerCountAsTheBatchWindow()
    {
        ScratchDir dir;
        const QString first = dir.file("a.png");
        const QString second = dir.file("b, grey.bmp");
        QVERIFY(TestPictures::write(first, 40, 24));
        QVERIFY(TestPictures::write(second, 17, 9, TestPictures::Kind::Grey, "bmp"));
        const QStringList sweep = {
            QStringLiteral("--mode"),
            QStringLiteral("baseline,extended"),
            QStringLiteral("--progressive"),
            QStringLiteral("yes,no"),
            QStringLiteral("--output"),
            QStringLiteral("colour,grayscale"),
            QStringLiteral("--dct"),
            QStringLiteral("fast,float"),
            QStringLiteral("--auto-quality"),
            QStringLiteral("40:80:20"),
            QStringLiteral("--smoothing"),
            QStringLiteral("0:10:10"),
            QStringLiteral("-q"),
        };
        const Outcome one = runSweep(sweep + QStringList{QStringLiteral("-j"), QStringLiteral("1"),
                                                         QStringLiteral("--report"),
                                                         dir.file("report.txt"), first, second});
        QCOMPARE(one.status, 0);
        const Outcome three =
            runSweep(sweep + QStringList{QStringLiteral("-j"), QStringLiteral("3"), second, first});
        QCOMPARE(three.status, 0);
        QCOMPARE(timeless(three.out), timeless(one.out));

        // The batch window's run of the same sweep.
        BatchSettings batch;
        batch.extended = batch.progressive = batch.nonProgressive = true;
        batch.grayscaleOutput = true;
        batch.dctInt = false;
        batch.dctFast = batch.dctFloat = true;
        batch.autoQuality = true;
        batch.minQuality = 40;
        batch.maxQuality = 80;
        batch.qualityStep = 20;
        batch.maxSmoothing = 10;
        batch.smoothingStep = 10;
        std::vector<JPEGSettings> settings = expandBatchSettings(batch, nullptr);
        // Per picture: 3 modes x 2 outputs x (2 DCT x 2 smoothing + 3 qualities).
        QCOMPARE(settings.size(), size_t(42));
        BatchCompressor window;
        const std::vector<ResultStat> results = window.compress({first, second}, settings, nullptr);
        QCOMPARE(results.size(), size_t(84));

        const std::vector<QStringList> rows = readRecords(one.out);
        QCOMPARE(rows.size(), results.size() + 1);
        QCOMPARE(rows.front(), SweepIdentity::columns());
        for (std::size_t i = 0; i < results.size(); ++i) {
            const QStringList& row = rows[i + 1];
            const JPEGSettings& s = settings[i];
            QCOMPARE(field(row, "picture"), results[i].fileName);
            QCOMPARE(field(row, "picture_index").toInt(), int(i / 42));
            QCOMPARE(field(row, "entry_index").toInt(), int(i % 42));
            QCOMPARE(field(row, "status"), QStringLiteral("ok"));
            QCOMPARE(figure(row, "mse"), results[i].mse);
            QCOMPARE(figure(row, "compression_rate"), results[i].compressionRate);
            QCOMPARE(figure(row, "compression_percentage"), results[i].compressionPercentage);
            QCOMPARE(figure(row, "bpp"), results[i].bitRate);
            QCOMPARE(field(row, "quality").toInt(), s.getQuality());
            QCOMPARE(field(row, "auto_quality").toInt(), int(s.isAutoQualityEnabled()));
            QCOMPARE(field(row, "grayscale").toInt(), int(s.getGrayscaleOutput()));
            QCOMPARE(field(row, "mode"), s.getCompressionMode() == JPEGSettings::BASELINE
                                             ? QStringLiteral("Baseline")
                                             : QStringLiteral("Extended"));
            // What the encoder used: a baseline file is never progressive,
            // automatic quality keeps the library's DCT and sampling.
            QCOMPARE(field(row, "progressive").toInt(),
                     int(s.isProgressive() && s.getCompressionMode() == JPEGSettings::EXTENDED));
            if (s.isAutoQualityEnabled()) {
                QCOMPARE(field(row, "dct"), QStringLiteral("int"));
                QCOMPARE(field(row, "sampling"), s.getGrayscaleOutput()
                                                     ? QStringLiteral("1x1")
                                                     : QStringLiteral("2x2,1x1,1x1"));
            } else {
                QCOMPARE(field(row, "dct"), s.getDCTMethod() == JPEGSettings::FAST
                                                ? QStringLiteral("fast")
                                                : QStringLiteral("float"));
                QCOMPARE(field(row, "sampling"), s.getGrayscaleOutput()
                                                     ? QStringLiteral("1x1")
                                                     : QStringLiteral("1x1,1x1,1x1"));
                QCOMPARE(field(row, "luminance_table"), QStringLiteral("Luminance standard"));
            }
        }
        QCOMPARE(readAll(dir.file("report.txt")), Report::text(settings, results));

        // The results window's table exports the same CSV.
        ResultTableModel table;
        table.setResults(&settings, &results);
        std::vector<QStringList> own = timeless(one.out);
        for (QStringList& record : own)
            record = record.mid(0, SweepCsv::columns().size());
        QCOMPARE(timeless(table.fileText()), own);

        // ... with a name a spreadsheet would run as a formula kept as text.
        std::vector<ResultStat> formula(1);
        formula[0].fileName = QStringLiteral("=1+2.png");
        table.setResults(&settings, &formula);
        const QByteArray text = table.fileText();
        QVERIFY(text.contains(",'=1+2.png,"));
        QString error;
        const auto back = CsvTable::parse(text, &error);
        QVERIFY2(back, qPrintable(error));
        QCOMPARE(back->text(0, back->column(QStringLiteral("picture"))),
                 QStringLiteral("'=1+2.png"));
    }

    // A picture that does not load gives one failed row without an entry;
    // a compression the library refuses gives a failed row; both say why,
    // and the status is 1.
    void failedRowsSayWhyAndExitOne()
    {
        ScratchDir dir;
        const QString good = dir.file("good.png");
        const QString broken = dir.file("broken.png");
        QVERIFY(TestPictures::write(good, 32, 32));
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a picture");
        file.close();
        // 1x1 and 2x2 for Y and Cb; then 3x1 for Y against 2x1: a ratio the
        // library cannot sample.
        QFile pairs(dir.file("pairs.txt"));
        QVERIFY(pairs.open(QIODevice::WriteOnly));
        pairs.write("1 1 1 1\n3 1 2 1\n");
        pairs.close();

        const Outcome run =
            runSweep({QStringLiteral("--sampling-pairs"), dir.file("pairs.txt"),
                      QStringLiteral("-q"), QStringLiteral("-o"), dir.file("out.csv"), dir.path()});
        QCOMPARE(run.status, 1);
        const std::vector<QStringList> rows = readRecords(readAll(dir.file("out.csv")));
        QCOMPARE(rows.size(), size_t(4));
        // Sorted by path: broken.png, then good.png.
        QCOMPARE(field(rows[1], "picture"), broken);
        QCOMPARE(field(rows[1], "entry_index"), QString());
        QCOMPARE(field(rows[1], "status"), QStringLiteral("failed"));
        QVERIFY(!field(rows[1], "message").isEmpty());
        QCOMPARE(field(rows[2], "status"), QStringLiteral("ok"));
        QCOMPARE(field(rows[2], "sampling"), QStringLiteral("1x1,1x1,1x1"));
        QCOMPARE(field(rows[3], "entry_index"), QStringLiteral("1"));
        QCOMPARE(field(rows[3], "status"), QStringLiteral("failed"));
        QVERIFY(!field(rows[3], "message").isEmpty());
        QCOMPARE(field(rows[3], "mse"), QString());
    }

    // A run killed part-way, and one whose last row was cut short, go on
    // with --resume to the table of an uninterrupted run.
    void resumeAfterAKilledRun()
    {
        ScratchDir dir;
        for (int i = 0; i < 6; ++i)
            QVERIFY(TestPictures::write(dir.file(QStringLiteral("p%1.png").arg(i)), 240, 160));
        const QStringList sweep = {QStringLiteral("--auto-quality"),
                                   QStringLiteral("30:90:6"),
                                   QStringLiteral("-q"),
                                   QStringLiteral("-j"),
                                   QStringLiteral("1"),
                                   dir.path()};
        const Outcome whole = runSweep(sweep);
        QCOMPARE(whole.status, 0);
        const std::vector<QStringList> expected = timeless(whole.out);
        QCOMPARE(expected.size(), size_t(1 + 6 * 12));

        const QString path = dir.file("run.csv");
        QProcess killed;
        killed.start(sweepProgram(), sweep + QStringList{QStringLiteral("-o"), path});
        QTRY_VERIFY_WITH_TIMEOUT(readAll(path).count('\n') >= 4, 60000);
        killed.kill();
        killed.waitForFinished();
        QVERIFY(readRecords(readAll(path)).size() < expected.size() ||
                killed.exitStatus() == QProcess::NormalExit);
        Outcome resumed =
            runSweep(sweep + QStringList{QStringLiteral("--resume"), QStringLiteral("-o"), path});
        QCOMPARE(resumed.status, 0);
        QCOMPARE(timeless(readAll(path)), expected);

        // Half a row at the end is dropped and computed again.
        QByteArray cut = whole.out.left(whole.out.indexOf("\r\n", whole.out.size() / 2) + 2);
        cut.append("3,4,");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(cut);
        file.close();
        resumed =
            runSweep(sweep + QStringList{QStringLiteral("--resume"), QStringLiteral("-o"), path});
        QCOMPARE(resumed.status, 0);
        QCOMPARE(timeless(readAll(path)), expected);
    }

    // Columns are read by name: a table whose columns are in another order
    // and that holds one of its own merges to the single run's table, and
    // resumed (its rows out of order) it keeps its layout, gives the single
    // run's rows and the single run's report.
    void tablesAreReadByColumnName()
    {
        ScratchDir dir;
        for (int i = 0; i < 3; ++i)
            QVERIFY(TestPictures::write(dir.file(QStringLiteral("p%1.png").arg(i)), 40, 30));
        const QStringList sweep = {QStringLiteral("--auto-quality"), QStringLiteral("40:80:20"),
                                   QStringLiteral("-q"), dir.path()};
        const Outcome whole =
            runSweep(sweep + QStringList{QStringLiteral("--report"), dir.file("whole.txt")});
        QCOMPARE(whole.status, 0);
        // Reversed, with a column "note" among them.
        const auto rearranged = [](QStringList record, const QString& note) {
            std::reverse(record.begin(), record.end());
            record.insert(5, note);
            return record;
        };
        const std::vector<QStringList> rows = readRecords(whole.out);
        const std::size_t entries = (rows.size() - 1) / 3;
        QVERIFY(entries > 1 && rows.size() == 1 + 3 * entries);
        const QStringList header = rearranged(rows[0], QStringLiteral("note"));
        QByteArray all = CsvWriter::record(header), firstPicture = all;
        for (std::size_t i = 1; i < rows.size(); ++i)
            all += CsvWriter::record(rearranged(rows[i], QStringLiteral("x")));
        for (std::size_t i = entries; i >= 1; --i)
            firstPicture += CsvWriter::record(rearranged(rows[i], QStringLiteral("x")));
        const auto inSweepColumns = [](const QByteArray& csv) {
            const auto table = CsvTable::parse(csv, nullptr);
            QByteArray text = CsvWriter::record(SweepIdentity::columns());
            for (int r = 0; table && r < table->count(); ++r) {
                QStringList fields;
                for (const QString& name : SweepIdentity::columns())
                    fields << table->text(r, table->column(name));
                text += CsvWriter::record(fields);
            }
            return timeless(text);
        };

        QFile part(dir.file("part.csv"));
        QVERIFY(part.open(QIODevice::WriteOnly) && part.write(all) == all.size());
        part.close();
        const Outcome merged =
            runSweep({QStringLiteral("merge"), dir.file("m.csv"), part.fileName()});
        QCOMPARE(merged.status, 0);
        QVERIFY2(merged.err.contains("leaves out its columns note"), merged.err.constData());
        QCOMPARE(timeless(readAll(dir.file("m.csv"))), timeless(whole.out));

        QVERIFY(part.open(QIODevice::WriteOnly) && part.write(firstPicture) == firstPicture.size());
        part.close();
        const Outcome resumed = runSweep(
            sweep + QStringList{QStringLiteral("--resume"), QStringLiteral("-o"), part.fileName(),
                                QStringLiteral("--report"), dir.file("resumed.txt")});
        QCOMPARE(resumed.status, 0);
        const std::vector<QStringList> after = readRecords(readAll(part.fileName()));
        QCOMPARE(after.front(), header);
        QCOMPARE(inSweepColumns(readAll(part.fileName())), timeless(whole.out));
        for (std::size_t i = 1; i < after.size(); ++i)
            QCOMPARE(after[i][5], i <= entries ? QStringLiteral("x") : QString());
        QCOMPARE(readAll(dir.file("resumed.txt")), readAll(dir.file("whole.txt")));
    }

    // Two shards run by GNU parallel and merged give the single run's table;
    // a part merged twice is refused.
    void shardsThroughGnuParallelMergeToTheSingleRun()
    {
        const QString parallel = QStandardPaths::findExecutable(QStringLiteral("parallel"));
        if (parallel.isEmpty())
            QSKIP("GNU parallel is not installed");
        ScratchDir dir;
        for (int i = 0; i < 5; ++i)
            QVERIFY(TestPictures::write(dir.file(QStringLiteral("p%1.png").arg(i)), 48, 32));
        const QStringList sweep = {QStringLiteral("--auto-quality"),
                                   QStringLiteral("50:90:20"),
                                   QStringLiteral("--huffman"),
                                   QStringLiteral("no,yes"),
                                   QStringLiteral("-q"),
                                   dir.path()};
        const Outcome single = runSweep(sweep);
        QCOMPARE(single.status, 0);

        QProcess shards;
        shards.start(parallel, QStringList{QStringLiteral("--will-cite"), sweepProgram()} + sweep +
                                   QStringList{QStringLiteral("--shard"), QStringLiteral("{}/2"),
                                               QStringLiteral("-j"), QStringLiteral("1"),
                                               QStringLiteral("-o"), dir.file("part{}.csv"),
                                               QStringLiteral(":::"), QStringLiteral("0"),
                                               QStringLiteral("1")});
        QVERIFY(shards.waitForFinished(240000));
        QCOMPARE(shards.exitCode(), 0);
        const Outcome merged = runSweep({QStringLiteral("merge"), dir.file("all.csv"),
                                         dir.file("part1.csv"), dir.file("part0.csv")});
        QCOMPARE(merged.status, 0);
        QCOMPARE(timeless(readAll(dir.file("all.csv"))), timeless(single.out));

        const Outcome twice = runSweep({QStringLiteral("merge"), dir.file("twice.csv"),
                                        dir.file("part0.csv"), dir.file("part0.csv")});
        QCOMPARE(twice.status, 2);
        QVERIFY(!QFile::exists(dir.file("twice.csv")));
    }

    // --figures bits fills the bit columns, which with the file's stuffing,
    // restart markers and padding make up the JPEG's size; without it they
    // stay empty. Shards with them merge to the single run.
    void bitColumnsOnlyWhenAsked()
    {
        ScratchDir dir;
        QVERIFY(TestPictures::write(dir.file("a.png"), 70, 45));
        QVERIFY(TestPictures::write(dir.file("b.png"), 33, 20, TestPictures::Kind::Grey));
        const QStringList sweep = {QStringLiteral("--auto-quality"),
                                   QStringLiteral("20:90:35"),
                                   QStringLiteral("--progressive"),
                                   QStringLiteral("no,yes"),
                                   QStringLiteral("--mode"),
                                   QStringLiteral("extended"),
                                   QStringLiteral("-q"),
                                   dir.path()};
        const Outcome plain = runSweep(sweep);
        QCOMPARE(plain.status, 0);
        const std::vector<QStringList> plainRows = readRecords(plain.out);
        QVERIFY(plainRows.size() > 8);
        for (std::size_t i = 1; i < plainRows.size(); ++i)
            QCOMPARE(field(plainRows[i], "dc_bits_y"), QString());

        const QStringList bits =
            sweep + QStringList{QStringLiteral("--figures"), QStringLiteral("bits,psnr")};
        const Outcome single = runSweep(bits);
        QCOMPARE(single.status, 0);
        const std::vector<QStringList> rows = readRecords(single.out);
        QCOMPARE(rows.size(), plainRows.size());
        for (std::size_t i = 1; i < rows.size(); ++i) {
            const double coded = figure(rows[i], "dc_bits_y") + figure(rows[i], "ac_bits_y") +
                                 figure(rows[i], "dc_bits_c") + figure(rows[i], "ac_bits_c");
            const double total = 8 * figure(rows[i], "jpeg_bytes");
            const double header = 8 * figure(rows[i], "header_bytes");
            QVERIFY2(coded > 0 && header > 8 * 100 && coded + header <= total &&
                         coded + header > 0.9 * total,
                     qPrintable(rows[i].join(',')));
            QVERIFY(!std::isnan(figure(rows[i], "psnr")));
        }
        for (const char* shard : {"0/2", "1/2"})
            QCOMPARE(
                runSweep(bits + QStringList{QStringLiteral("--shard"), QLatin1String(shard),
                                            QStringLiteral("-o"),
                                            dir.file(QStringLiteral("part%1.csv").arg(shard[0]))})
                    .status,
                0);
        QCOMPARE(runSweep({QStringLiteral("merge"), dir.file("all.csv"), dir.file("part1.csv"),
                           dir.file("part0.csv")})
                     .status,
                 0);
        QCOMPARE(timeless(readAll(dir.file("all.csv"))), timeless(single.out));
    }

    // The perceptual figures are measured only when named; their columns
    // are then filled in every row and come through shards and merge.
    void perceptualFiguresWhenNamed()
    {
        ScratchDir dir;
        for (int i = 0; i < 3; ++i)
            QVERIFY(TestPictures::write(dir.file(QStringLiteral("p%1.png").arg(i)), 48, 32));
        const QStringList sweep = {QStringLiteral("--auto-quality"),
                                   QStringLiteral("50:90:40"),
                                   QStringLiteral("-q"),
                                   QStringLiteral("-j"),
                                   QStringLiteral("1"),
                                   dir.path()};
        const char* perceptual[] = {"ssimulacra2", "butteraugli", "butteraugli_3norm"};
        const Outcome plain = runSweep(sweep);
        QCOMPARE(plain.status, 0);
        std::vector<QStringList> records = readRecords(plain.out);
        const std::size_t rows = records.size();
        QVERIFY(rows > 1);
        for (std::size_t r = 1; r < records.size(); ++r) {
            QVERIFY(!field(records[r], "ssim").isEmpty());
            for (const char* name : perceptual)
                QVERIFY2(field(records[r], name).isEmpty(), name);
        }

        const QStringList named =
            sweep + QStringList{QStringLiteral("--figures"),
                                QStringLiteral("ssimulacra2,butteraugli,butteraugli_3norm")};
        const Outcome single = runSweep(named);
        QCOMPARE(single.status, 0);
        for (int shard = 0; shard < 2; ++shard)
            QCOMPARE(runSweep(named +
                              QStringList{QStringLiteral("--shard"),
                                          QStringLiteral("%1/2").arg(shard), QStringLiteral("-o"),
                                          dir.file(QStringLiteral("part%1.csv").arg(shard))})
                         .status,
                     0);
        QCOMPARE(runSweep({QStringLiteral("merge"), dir.file("all.csv"), dir.file("part0.csv"),
                           dir.file("part1.csv")})
                     .status,
                 0);
        QCOMPARE(timeless(readAll(dir.file("all.csv"))), timeless(single.out));
        records = readRecords(single.out);
        QCOMPARE(records.size(), rows);
        for (std::size_t r = 1; r < records.size(); ++r) {
            QVERIFY(field(records[r], "ssim").isEmpty());
            const double score = figure(records[r], "ssimulacra2");
            const double max = figure(records[r], "butteraugli");
            const double norm3 = figure(records[r], "butteraugli_3norm");
            QVERIFY2(score > 0 && score < 100, qPrintable(field(records[r], "ssimulacra2")));
            QVERIFY(norm3 > 0 && norm3 <= max);
        }
    }

    // What a user names is read only when it is a regular file, and written
    // by one run at a time: FIFOs and devices as sweep files, parts and
    // tables are refused at once; a FIFO as merge's output is refused and
    // stays a FIFO; a second writer of the same table is refused with the
    // process that holds it. A picture name that a spreadsheet would run
    // goes into the table as text, and merge and --resume read it back as
    // written.
    void namedFilesAndOutputsAreGuarded()
    {
        ScratchDir dir;
        const QString fifo = dir.file("fifo");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QList<QStringList> readers = {
            {QStringLiteral("--sweep"), fifo, dir.path()},
            {QStringLiteral("--sweep"), QStringLiteral("/dev/zero"), dir.path()},
            {QStringLiteral("merge"), dir.file("m.csv"), fifo},
            {QStringLiteral("merge"), dir.file("m.csv"), QStringLiteral("/dev/zero")},
            {QStringLiteral("bd-rate"), QStringLiteral("--curve-by"), QStringLiteral("quality"),
             QStringLiteral("--reference"), QStringLiteral("1"), fifo}};
        for (const QStringList& arguments : readers) {
            const Outcome run = runSweep(arguments);
            QVERIFY2(run.status == 2 && run.err.contains("not a regular file"),
                     qPrintable(arguments.join(' ') + ": " + run.err));
        }

        // A name a spreadsheet would run: written as its absolute path, the
        // cell starts with "/" and needs no apostrophe; merge and --resume
        // keep it exactly as written.
        const QString name = QStringLiteral("=HYPERLINK(1).png");
        QVERIFY(TestPictures::write(dir.file(name), 16, 16));
        const QStringList sweep = {QStringLiteral("--auto-quality"), QStringLiteral("40:80:2"),
                                   QStringLiteral("-q"), name};
        const QString table = dir.file("t.csv");
        QCOMPARE(runSweep(sweep + QStringList{QStringLiteral("-o"), table}, dir.path()).status, 0);
        const QByteArray written = readAll(table);
        QVERIFY2(written.contains("/" + name.toUtf8() + ","), written.constData());
        QCOMPARE(runSweep({QStringLiteral("merge"), dir.file("m.csv"), table}).status, 0);
        QCOMPARE(readAll(dir.file("m.csv")), written);
        QCOMPARE(
            runSweep(sweep + QStringList{QStringLiteral("--resume"), QStringLiteral("-o"), table},
                     dir.path())
                .status,
            0);
        QCOMPARE(readAll(table), written);

        const Outcome ontoFifo = runSweep({QStringLiteral("merge"), fifo, table});
        QVERIFY2(ontoFifo.status == 2 && ontoFifo.err.contains("no process reads the pipe"),
                 ontoFifo.err.constData());
        QFileInfo still(fifo);
        QVERIFY(still.exists() && !still.isFile());

        QLockFile held(table + QStringLiteral(".lock"));
        QVERIFY(held.tryLock(0));
        const Outcome second =
            runSweep(sweep + QStringList{QStringLiteral("-o"), table}, dir.path());
        QCOMPARE(second.status, 2);
        QVERIFY2(second.err.contains(
                     QStringLiteral("process %1").arg(QCoreApplication::applicationPid()).toUtf8()),
                 second.err.constData());
        QCOMPARE(readAll(table), written);
    }

    // On a full file system (a small tmpfs, mounted when the test runs as
    // root) the re-sorting of --resume, merge onto an existing table and
    // --keep-jpegs fail with the file and the reason and keep what was there.
    void fullFileSystemKeepsTheOldFiles()
    {
        if (::geteuid() != 0)
            QSKIP("mounting a small tmpfs needs root");
        ScratchDir dir;
        const QString mount = dir.file("small");
        QVERIFY(QDir().mkpath(mount));
        QProcess mounting;
        mounting.start(QStringLiteral("mount"),
                       {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                        QStringLiteral("size=256k"), QStringLiteral("tmpfs"), mount});
        if (!mounting.waitForFinished(10000) || mounting.exitCode() != 0)
            QSKIP("a tmpfs cannot be mounted here");
        struct Unmount
        {
            QString path;
            ~Unmount() { QProcess::execute(QStringLiteral("umount"), {path}); }
        } unmount{mount};

        for (int i = 0; i < 3; ++i)
            QVERIFY(TestPictures::write(dir.file(QStringLiteral("p%1.png").arg(i)), 64, 48));
        const QStringList sweep = {QStringLiteral("--auto-quality"),
                                   QStringLiteral("20:95:40"),
                                   QStringLiteral("-q"),
                                   dir.file("p0.png"),
                                   dir.file("p1.png"),
                                   dir.file("p2.png")};
        const QString table = mount + QStringLiteral("/t.csv");
        QCOMPARE(runSweep(sweep + QStringList{QStringLiteral("-o"), table}).status, 0);
        // The rows of the last picture first: --resume must sort them.
        std::vector<QStringList> rows = readRecords(readAll(table));
        QByteArray unsorted = CsvWriter::record(rows[0]);
        for (std::size_t i = rows.size() - 1; i >= 1; --i)
            unsorted += CsvWriter::record(rows[i]);
        QFile file(table);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(unsorted), unsorted.size());
        file.close();
        QFile filler(mount + QStringLiteral("/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size()) {
        }
        filler.close();

        const Outcome resumed =
            runSweep(sweep + QStringList{QStringLiteral("--resume"), QStringLiteral("-o"), table});
        QVERIFY2(resumed.status == 2 && resumed.err.contains(QFile::encodeName(table)),
                 resumed.err.constData());
        QCOMPARE(readAll(table), unsorted);
        const Outcome merged = runSweep({QStringLiteral("merge"), table, dir.file("none.csv")});
        QCOMPARE(merged.status, 2);
        QCOMPARE(runSweep({QStringLiteral("merge"), table, table}).status, 2);
        QCOMPARE(readAll(table), unsorted);
        const QString kept = mount + QStringLiteral("/jpegs");
        QVERIFY(QDir().mkpath(kept));
        const Outcome jpegs =
            runSweep(sweep + QStringList{QStringLiteral("--keep-jpegs"), kept, QStringLiteral("-o"),
                                         dir.file("k.csv")});
        QCOMPARE(jpegs.status, 1);
        // A row is ok exactly when its JPEG was kept whole.
        const std::vector<QStringList> keptRows = readRecords(readAll(dir.file("k.csv")));
        QVERIFY(keptRows.size() > 1);
        int ok = 0;
        for (std::size_t i = 1; i < keptRows.size(); ++i)
            ok += field(keptRows[i], "status") == QLatin1String("ok") ? 1 : 0;
        const QFileInfoList files =
            QDir(kept).entryInfoList({QStringLiteral("*.jpg")}, QDir::Files);
        QCOMPARE(int(files.size()), ok);
        for (const QFileInfo& jpeg : files)
            QVERIFY(jpeg.size() > 0);
    }

    void badSweepsGiveTheFormsMessages_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("no quality kind")
            << QStringList{QStringLiteral("--no-manual-quality")}
            << QStringLiteral("At least one quality setting must be selected\n- auto quality\n- "
                              "manual quaqlity");
        QTest::newRow("extended, no scan kind")
            << QStringList{QStringLiteral("--mode"), QStringLiteral("extended"),
                           QStringLiteral("--progressive"), QStringLiteral(",")}
            << QStringLiteral("--progressive: no value given");
        QTest::newRow("quality step 0")
            << QStringList{QStringLiteral("--auto-quality"), QStringLiteral("50:90:0")}
            << QStringLiteral("Step cannot be 0 if min quality and max quality are different");
        QTest::newRow("smoothing step 0")
            << QStringList{QStringLiteral("--smoothing"), QStringLiteral("0:20:0")}
            << QStringLiteral("Step cannot be 0 if min smoothing and max smoothing are different");
        QTest::newRow("quality above 100")
            << QStringList{QStringLiteral("--auto-quality"), QStringLiteral("50:120:10")}
            << QStringLiteral("Illegal quality values");
        QTest::newRow("unknown DCT")
            << QStringList{QStringLiteral("--dct"), QStringLiteral("int,exact")}
            << QStringLiteral("--dct: unknown value \"exact\"");
        QTest::newRow("empty list item")
            << QStringList{QStringLiteral("--mode"), QStringLiteral("baseline,")}
            << QStringLiteral("--mode: an empty item in \"baseline,\"");
        QTest::newRow("step beyond the range")
            << QStringList{QStringLiteral("--auto-quality"), QStringLiteral("50:70:30")}
            << QStringLiteral("--auto-quality: the step 30 is larger than the range 50 to 70");
        QTest::newRow("no figures and a figure")
            << QStringList{QStringLiteral("--figures"), QStringLiteral("ssim,none")}
            << QStringLiteral("--figures: \"none\" with other figures");
        QTest::newRow("report nowhere to go")
            << QStringList{QStringLiteral("--report"), QStringLiteral("no/such/folder/r.txt")}
            << QStringLiteral("no folder");
        QTest::newRow("bad shard") << QStringList{QStringLiteral("--shard"), QStringLiteral("2/2")}
                                   << QStringLiteral("--shard: expected I/N with 0 <= I < N");
        QTest::newRow("sweep file")
            << QStringList{QStringLiteral("--sweep"), QStringLiteral("bad.sweep")}
            << QStringLiteral("Step cannot be 0 if min smoothing and max smoothing are different");
        QTest::newRow("nothing to do")
            << QStringList{QStringLiteral("empty")} << QStringLiteral("nothing to do: no pictures");
    }

    void badSweepsGiveTheFormsMessages()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        ScratchDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("empty")));
        QVERIFY(TestPictures::write(dir.file("p.png"), 8, 8));
        QFile sweep(dir.file("bad.sweep"));
        QVERIFY(sweep.open(QIODevice::WriteOnly));
        sweep.write("# bad\ndct = int\nsmoothing = 0:30:0\n");
        sweep.close();
        if (!arguments.contains(QStringLiteral("empty")))
            arguments << QStringLiteral("p.png");
        const Outcome run =
            runSweep(arguments + QStringList{QStringLiteral("-o"), dir.file("out.csv")});
        QCOMPARE(run.status, 2);
        QVERIFY2(QString::fromUtf8(run.err).contains(message), run.err.constData());
        QVERIFY(run.out.isEmpty());
        QVERIFY(!QFile::exists(dir.file("out.csv")));

        if (QTest::currentDataTag() != QByteArray("sweep file"))
            return;
        // Options override the sweep file; --print-sweep shows the outcome.
        const Outcome fixed = runSweep({QStringLiteral("--sweep"), dir.file("bad.sweep"),
                                        QStringLiteral("--smoothing"), QStringLiteral("0:30:10"),
                                        QStringLiteral("--print-sweep"), QStringLiteral("p.png")});
        QCOMPARE(fixed.status, 0);
        QVERIFY2(fixed.out.contains("smoothing = 0:30:10\n") &&
                     fixed.out.contains("# entries: 4\n# pictures: 1\n# compressions: 4\n"),
                 fixed.out.constData());
    }
    // A folder gives the sweep the pictures the batch window takes: every
    // readable extension, in any case, and nothing else.
    void folderGivesBothProgramsTheSamePictures()
    {
        ScratchDir dir;
        const QStringList names{"a.png", "b.webp",  "c.jp2",    "d.exr",
                                "e.JPG", "f.koala", "notes.txt"};
        for (const QString& name : names) {
            QFile file(dir.file(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("x");
        }
        SweepJob job;
        QString error;
        QVERIFY2(SweepOptions::collectPictures({QFile::encodeName(dir.path())}, true, job, error),
                 qPrintable(error));
        const QStringList window = PictureFormats::picturesIn(dir.path());
        QCOMPARE(job.pictures, window);
        QStringList expected;
        for (const char* name : {"a.png", "b.webp", "c.jp2", "d.exr", "e.JPG"})
            expected << QFileInfo(dir.file(QString::fromLatin1(name))).absoluteFilePath();
        QCOMPARE(window, expected);
    }
};

QTEST_GUILESS_MAIN(TestSweep)
#include "tst_sweep.moc"
