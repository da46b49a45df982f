// SPDX-License-Identifier: GPL-3.0-or-later
// Damaged and unusual quantization table files and down-sampling pair files
// through the readers the programs use: each gives its "Bad file" message or
// its documented silent result, and nothing else happens.

#include "BadInputs.h"
#include "BatchSettings.h"
#include "BatchWindow.h"
#include "DownsamplingPairs.h"
#include "JPEGSettings.h"
#include "ModalBoxes.h"
#include "QuantizationChooser.h"
#include "QuantizationTableFiles.h"
#include "QuantizationWindow.h"
#include "TestPictures.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <sstream>
#include <sys/stat.h>

using namespace BadInputs;

namespace {

QByteArray numbers(int count, int first = 1)
{
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text += QByteArray::number(first + i % 200) + (i % 8 == 7 ? "\n" : "\t");
    return text;
}

} // namespace

class TestBadTextFiles : public QObject
{
    Q_OBJECT

private slots:
    // The editor takes the first 64 values as signed 16-bit numbers or shows
    // "doesn't contain valid DCT table" and keeps its grid; readQTables keeps
    // the complete unsigned tables before the first thing it cannot read.
    void tableFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("editorLoads");
        QTest::addColumn<int>("firstValue"); // in the grid after a load
        QTest::addColumn<int>("tables");     // readQTables

        QTest::newRow("63 numbers") << numbers(63) << false << 0 << 0;
        QTest::newRow("40000") << "40000 " + numbers(63) << false << 0 << 1;
        QTest::newRow("-5") << "-5 " + numbers(63) << true << -5 << 0;
        QTest::newRow("0") << "0 " + numbers(63) << true << 0 << 1;
        QTest::newRow("99999999999999999999")
            << "99999999999999999999 " + numbers(63) << false << 0 << 0;
        QTest::newRow("letters first") << "abc " + numbers(64) << false << 0 << 0;
        QTest::newRow("letters after") << numbers(64) + "abc" << true << 1 << 1;
        QTest::newRow("byte-order mark") << "\xef\xbb\xbf" + numbers(64) << false << 0 << 0;
        QTest::newRow("CRLF") << numbers(128).replace("\n", "\r\n") << true << 1 << 2;
        QTest::newRow("NUL byte") << numbers(30) + QByteArray(1, '\0') + numbers(34) << false << 0
                                  << 0;
        QTest::newRow("empty") << QByteArray() << false << 0 << 0;
    }
    void tableFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, editorLoads);
        QFETCH(int, firstValue);
        QFETCH(int, tables);
        ScratchDir dir;
        QVERIFY(writeBytes(dir.file("table.txt"), bytes));
        QCOMPARE(int(readQTables(QFile::encodeName(dir.file("table.txt")).toStdString()).size()),
                 tables);

        JPEGSettings settings;
        QuantizationWindow editor(settings, nullptr);
        editor.updateUI();
        QVERIFY(editor.saveTableToFile(dir.file("before.txt")));
        Boxes boxes;
        QCOMPARE(editor.loadTableFromFile(dir.file("table.txt")), editorLoads);
        QVERIFY(editor.saveTableToFile(dir.file("after.txt")));
        if (!editorLoads) {
            QCOMPARE(boxes.titles, QStringList("Bad file"));
            QCOMPARE(boxes.texts.first(),
                     "File<br>" + dir.file("table.txt") + "<br>doesn't contain valid DCT table");
            QCOMPARE(contents(dir.file("after.txt")), contents(dir.file("before.txt")));
            return;
        }
        QVERIFY(boxes.titles.isEmpty());
        QCOMPARE(contents(dir.file("after.txt")).split('\t').first().toInt(), firstValue);
    }

    // Ten megabytes of numbers: the editor reads its 64 and stops, the pair
    // chooser's reader takes every table, both quickly.
    void tenMegabyteTableFile()
    {
        ScratchDir dir;
        QByteArray big;
        const QByteArray table = numbers(64);
        while (big.size() < 10 * 1024 * 1024)
            big += table;
        QVERIFY(writeBytes(dir.file("big.txt"), big));
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(readQTables(QFile::encodeName(dir.file("big.txt")).toStdString()).size(),
                 std::size_t(big.size() / table.size()));
        JPEGSettings settings;
        QuantizationWindow editor(settings, nullptr);
        QVERIFY(editor.loadTableFromFile(dir.file("big.txt")));
        QVERIFY(timer.elapsed() < 20000);
    }

    // FIFOs and devices are not read: the editor says "Couldn't open file",
    // the chooser's reader gives no tables, the pair loader refuses, at once
    // and whether or not anybody writes to the FIFO.
    void specialFilesAreRefusedAtOnce_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("FIFO") << QString();
        QTest::newRow("/dev/zero") << QStringLiteral("/dev/zero");
    }
    void specialFilesAreRefusedAtOnce()
    {
        QFETCH(QString, path);
        ScratchDir dir;
        if (path.isEmpty()) {
            path = dir.file("fifo.txt");
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        }
        QElapsedTimer timer;
        timer.start();
        QVERIFY(readQTables(QFile::encodeName(path).toStdString()).empty());

        JPEGSettings settings;
        QuantizationWindow editor(settings, nullptr);
        Boxes boxes;
        QVERIFY(!editor.loadTableFromFile(path));
        QCOMPARE(boxes.titles, QStringList("Bad file"));
        QCOMPARE(boxes.texts.first(), "Couldn't open file<br>" + path);

        BatchSettings batch;
        batch.luminanceTables.resize(2);
        QuantizationChooser chooser;
        chooser.setSettings(&batch);
        chooser.setFileName(0, path);
        chooser.updateAndHide();
        QVERIFY(batch.luminanceTables.empty());

        std::vector<BatchSettings::DownsamplingPair> kept(2);
        QVERIFY(!DownsamplingPairs::load(path, kept));
        QCOMPARE(kept.size(), std::size_t(2));
        QVERIFY(timer.elapsed() < 5000);
    }

    // A side file is read up to 100 000 entries, and the batch window says
    // that the rest was left.
    void sideFilesAreCapped()
    {
        ScratchDir dir;
        QByteArray pairs;
        for (int i = 0; i <= 100000; ++i)
            pairs += "2 2 1 1\n";
        QVERIFY(writeBytes(dir.file("pairs.txt"), pairs));
        BatchWindow window(nullptr);
        Boxes boxes;
        QVERIFY(window.loadDownsamplingPairs(dir.file("pairs.txt")));
        QCOMPARE(window.getBatchSettings()->downsamplingPairs.size(), std::size_t(100000));
        QCOMPARE(boxes.titles, QStringList("Warning"));
        QCOMPARE(boxes.texts.first(), "Only the first 100000 sampling pairs of " +
                                          dir.file("pairs.txt") + " were read.");

        // Exactly as many as allowed is no reason to warn.
        std::istringstream exact(pairs.chopped(8).toStdString());
        bool capped = true;
        QCOMPARE(DownsamplingPairs::read(exact, &capped).size(), std::size_t(100000));
        QVERIFY(!capped);

        std::string tables;
        const QByteArray table = numbers(64);
        for (int i = 0; i <= 100000; ++i)
            tables += table.toStdString();
        std::istringstream in(tables);
        QCOMPARE(readQTables(in, &capped).size(), std::size_t(100000));
        QVERIFY(capped);
    }

    // The batch window's pair file: values clamped to 1..4, records over ten
    // blocks per unit skipped, an incomplete record ignored.
    void downsamplingFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("pairs"); // "v h v h" per pair, ';' between

        QTest::newRow("0") << QByteArray("0 0 0 0") << "1 1 1 1";
        QTest::newRow("5") << QByteArray("5 1 1 1") << "4 1 1 1";
        QTest::newRow("3 3 1 1") << QByteArray("3 3 1 1\n2 2 1 1") << "2 2 1 1";
        QTest::newRow("3 1 2 1") << QByteArray("3 1 2 1") << "3 1 2 1";
        QTest::newRow("incomplete") << QByteArray("1 2 1 1\n2 2 1") << "1 2 1 1";
        QTest::newRow("letters") << QByteArray("1 1 1 1 x 2 2 1 1") << "1 1 1 1";
        QTest::newRow("empty") << QByteArray() << "";
    }
    void downsamplingFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, pairs);
        ScratchDir dir;
        QVERIFY(writeBytes(dir.file("pairs.txt"), bytes));
        std::vector<BatchSettings::DownsamplingPair> read(3);
        QVERIFY(DownsamplingPairs::load(dir.file("pairs.txt"), read));
        QStringList seen;
        for (const auto& pair : read) {
            seen << QStringLiteral("%1 %2 %3 %4")
                        .arg(pair.first.vertical)
                        .arg(pair.first.horizontal)
                        .arg(pair.second.vertical)
                        .arg(pair.second.horizontal);
        }
        QCOMPARE(seen.join(';'), pairs);

        // What cannot be read leaves the list as it was.
        std::vector<BatchSettings::DownsamplingPair> kept(2);
        QVERIFY(!DownsamplingPairs::load(dir.file("missing.txt"), kept));
        QVERIFY(!DownsamplingPairs::load(dir.path(), kept));
        QCOMPARE(kept.size(), std::size_t(2));
    }
};

QTEST_MAIN(TestBadTextFiles)
#include "tst_badtextfiles.moc"
