// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchCompressor.h"
#include "CompressionResult.h"
#include "DialogProgress.h"
#include "Image.h"
#include "ProgressWatcher.h"
#include "TestPictures.h"

#include <QFile>
#include <QProgressDialog>
#include <QTest>

#include <malloc.h>

#include <memory>

namespace {

std::vector<JPEGSettings> threeEntries()
{
    std::vector<JPEGSettings> entries(3);
    for (int i = 0; i < 3; ++i) {
        entries[i].setAutoQualityEnabled(true);
        entries[i].setQuality(30 + 30 * i);
    }
    return entries;
}

std::vector<int> qualities(const std::vector<JPEGSettings>& list)
{
    std::vector<int> out;
    for (const JPEGSettings& s : list)
        out.push_back(s.getQuality());
    return out;
}

std::vector<int> countTo(int n)
{
    std::vector<int> out;
    for (int i = 0; i < n; ++i)
        out.push_back(i);
    return out;
}

// Bytes the C heap holds at the moment, mapped blocks included.
std::size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

struct Batch
{
    // One worker: these cases pin down the order of steps and the memory of
    // one compression at a time.
    Batch() : dialog(QStringLiteral("Compressing files"), QStringLiteral("Cancel"), 0, 1000)
    {
        setUpDialog(dialog);
        compressor.setWorkers(1);
    }
    QProgressDialog dialog;
    DialogProgress progress{&dialog};
    BatchCompressor compressor;
};

} // namespace

class TestBatchCompressor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Image::initImage(); }

    void everyFileUnderEveryEntryFileMajor()
    {
        ScratchDir dir;
        const QString first = dir.file("first.png");
        const QString second = dir.file("second.bmp");
        QVERIFY(TestPictures::write(first, 40, 24));
        QVERIFY(TestPictures::write(second, 17, 9, TestPictures::Kind::Grey, "bmp"));

        Batch batch;
        ProgressWatcher watcher(batch.dialog);
        std::vector<JPEGSettings> settings = threeEntries();
        const std::vector<ResultStat> results =
            batch.compressor.compress({first, second}, settings, &batch.progress);

        QCOMPARE(results.size(), size_t(6));
        QCOMPARE(qualities(settings), (std::vector<int>{30, 60, 90, 30, 60, 90}));
        for (int i = 0; i < 6; ++i)
            QCOMPARE(results[i].fileName, i < 3 ? first : second);
        QCOMPARE(watcher.values(), countTo(6));
        // The compressor does not keep pointing at the picture it deleted.
        QCOMPARE(batch.compressor.getCompressor()->getImage(), nullptr);

        // Each record holds the figures of the very compression it stands for.
        Image image(QFile::encodeName(second).toStdString());
        JPEGCompressor single;
        single.setImage(&image);
        *single.getSettings() = settings[4];
        const std::unique_ptr<CompressionResult> direct(single.compressImage());
        QVERIFY(direct);
        QCOMPARE(results[4].mse, direct->getMSE());
        QCOMPARE(results[4].bitRate, direct->getBitRate());
        QCOMPARE(results[4].compressionRate, direct->getCompressionRate());
        QCOMPARE(results[4].compressionPercentage, direct->getCompressionPercentage());
        QVERIFY(results[4].mse > 0);
    }

    void filesThatDoNotLoadTakeNoSteps()
    {
        ScratchDir dir;
        const QString broken = dir.file("broken.png");
        const QString good = dir.file("good.png");
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a picture");
        file.close();
        QVERIFY(TestPictures::write(good, 16, 16));

        Batch batch;
        ProgressWatcher watcher(batch.dialog);
        std::vector<JPEGSettings> settings = threeEntries();
        const std::vector<ResultStat> results = batch.compressor.compress(
            {dir.file("missing.png"), broken, good}, settings, &batch.progress);
        QCOMPARE(results.size(), size_t(3));
        for (const ResultStat& r : results)
            QCOMPARE(r.fileName, good);
        QCOMPARE(qualities(settings), (std::vector<int>{30, 60, 90}));
        QCOMPARE(watcher.values(), countTo(3));

        // Each failure is recorded with the loader's reason.
        const RunSummary& summary = batch.compressor.summary();
        QCOMPARE(summary.getAsked(), std::int64_t(9));
        QCOMPARE(summary.getSucceeded(), std::int64_t(3));
        QCOMPARE(summary.getFailed(), std::int64_t(6));
        QCOMPARE(summary.getNotDone(), std::int64_t(0));
        const std::vector<RunSummary::Reason>& reasons = summary.getReasons();
        QCOMPARE(reasons.size(), std::size_t(2));
        for (const RunSummary::Reason& reason : reasons) {
            QCOMPARE(reason.cause, RunSummary::Cause::PictureNotLoaded);
            QCOMPARE(reason.compressions, std::int64_t(3));
            QCOMPARE(reason.files.size(), 1);
            QVERIFY(!reason.message.isEmpty());
        }
        QCOMPARE(reasons[0].files[0], dir.file("missing.png"));
        QCOMPARE(reasons[1].files[0], broken);
    }

    void emptySettingsListDoesNothing()
    {
        ScratchDir dir;
        const QString good = dir.file("good.png");
        QVERIFY(TestPictures::write(good, 16, 16));
        Batch batch;
        const int before = batch.dialog.value();
        std::vector<JPEGSettings> settings;
        QVERIFY(batch.compressor.compress({good, good}, settings, &batch.progress).empty());
        QVERIFY(settings.empty());
        QCOMPARE(batch.dialog.value(), before);
        QVERIFY(!QFile::exists(dir.file("tmp.bin")));
    }

    // Sampling factors 3 x 3 beside 1 x 1 need more blocks per MCU than the
    // library allows: that entry fails inside the library, takes its progress
    // step and leaves no record, and the batch goes on.
    void libraryErrorSkipsOnlyThatEntry()
    {
        ScratchDir dir;
        const QString good = dir.file("good.png");
        QVERIFY(TestPictures::write(good, 32, 32));

        std::vector<JPEGSettings> settings(3);
        settings[0].setSmoothing(0);
        settings[1].setSmoothing(1);
        settings[1].downsampling[0].horizontal = 3;
        settings[1].downsampling[0].vertical = 3;
        settings[2].setSmoothing(2);

        Batch batch;
        ProgressWatcher watcher(batch.dialog);
        const std::vector<ResultStat> results =
            batch.compressor.compress({good, good}, settings, &batch.progress);
        QCOMPARE(results.size(), size_t(4));
        QCOMPARE(settings.size(), size_t(4));
        const int smoothings[] = {0, 2, 0, 2};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(settings[i].getSmoothing(), smoothings[i]);
        QCOMPARE(watcher.values(), countTo(6));

        // One reason, the library's, for the one entry on both files.
        const RunSummary& summary = batch.compressor.summary();
        QCOMPARE(summary.getFailed(), std::int64_t(2));
        QCOMPARE(summary.getReasons().size(), std::size_t(1));
        const RunSummary::Reason& reason = summary.getReasons()[0];
        QCOMPARE(reason.cause, RunSummary::Cause::CompressionFailed);
        QCOMPARE(reason.compressions, std::int64_t(2));
        QCOMPARE(reason.files, QStringList({good}));
        QCOMPARE(reason.settings.size(), 1);
        QVERIFY(reason.settings[0].contains(QStringLiteral("smoothing 1")));
        QVERIFY(!reason.message.isEmpty());
    }

    // Cancel pressed while the second entry of the first file is under way:
    // that compression completes and counts, nothing after it is done.
    void cancelKeepsWhatWasDone()
    {
        ScratchDir dir;
        const QString good = dir.file("good.png");
        QVERIFY(TestPictures::write(good, 16, 16));

        Batch batch;
        ProgressWatcher watcher(batch.dialog);
        watcher.cancelAt(1);
        std::vector<JPEGSettings> settings = threeEntries();
        const std::vector<ResultStat> results =
            batch.compressor.compress({good, good}, settings, &batch.progress);
        QVERIFY(batch.dialog.wasCanceled());
        QCOMPARE(results.size(), size_t(2));
        QCOMPARE(qualities(settings), (std::vector<int>{30, 60}));
        QCOMPARE(watcher.values(), countTo(2));
        QCOMPARE(batch.compressor.getCompressor()->getImage(), nullptr);
    }

    // However many compressions a batch makes, the heap holds one source
    // picture, the compression under way on the worker (whose decoded
    // picture is a 32-bit copy of the source's size) and nothing of the
    // results before.
    void holdsOnePictureAtATime()
    {
        {
            // Checkers such as valgrind and the sanitizers bring their own
            // allocator, which the C library's statistics do not see.
            const std::size_t before = heapInUse();
            const std::unique_ptr<char[]> probe(new char[8 << 20]);
            static_cast<volatile char*>(probe.get())[0] = 1;
            if (heapInUse() < before + (8 << 20))
                QSKIP("The C library's heap statistics do not cover this allocator.");
        }
        ScratchDir dir;
        const int width = 1200, height = 900;
        // Pictures this process decodes itself: what the general loader reads
        // is decoded in a helper process, outside this heap.
        const QString first = dir.file("first.png");
        const QString second = dir.file("second.png");
        QVERIFY(TestPictures::write(first, width, height, TestPictures::Kind::Colour, "png"));
        QVERIFY(TestPictures::write(second, width, height, TestPictures::Kind::Colour, "png"));
        // A loaded picture: a 24-bit and a 32-bit copy.
        const std::size_t picture = std::size_t(width) * height * 7;

        std::vector<JPEGSettings> settings = threeEntries();
        settings.push_back(settings.front());
        Batch batch;
        // The similarity buffers are a worker's own, the same for every
        // picture; what is measured here is the pictures.
        batch.compressor.setFigures(FigureSet());
        ProgressWatcher watcher(batch.dialog);
        malloc_trim(0);
        const std::size_t baseline = heapInUse();
        std::size_t peak = 0;
        int turns = 0;
        watcher.onTurn = [&] {
            peak = std::max(peak, heapInUse());
            ++turns;
        };
        const std::vector<ResultStat> results =
            batch.compressor.compress({first, second}, settings, &batch.progress);
        watcher.onTurn = nullptr;

        QCOMPARE(results.size(), size_t(8));
        QVERIFY(turns >= 16);
        QVERIFY2(peak > baseline + picture / 2, "the source picture should be in memory");
        // Besides the picture: the decoded JPEG, the result's own copy of its
        // bytes and the encoder's output buffer.
        QVERIFY2(peak < baseline + picture * 2,
                 qPrintable(QStringLiteral("%1 bytes above the start for pictures of %2 bytes")
                                .arg(qint64(peak) - qint64(baseline))
                                .arg(picture)));
        QVERIFY(heapInUse() < baseline + picture / 4);
    }
};

QTEST_MAIN(TestBatchCompressor)
#include "tst_batch_compressor.moc"
