// SPDX-License-Identifier: GPL-3.0-or-later
#include "QuantizationTableFiles.h"
#include "TestPictures.h"

#include <QFile>
#include <QtTest>

#include <fstream>
#include <numeric>
#include <sstream>

namespace {

std::string numbers(int count, int first = 1)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += std::to_string(first + i) + ' ';
    return text;
}

TableValues sequence(short first)
{
    TableValues table;
    std::iota(table.begin(), table.end(), first);
    return table;
}

void writeText(const QString& path, const std::string& text)
{
    std::ofstream out(QFile::encodeName(path).toStdString(), std::ios::binary);
    out << text;
}

std::string readText(const QString& path)
{
    std::ifstream in(QFile::encodeName(path).toStdString(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

class TestTableFiles : public QObject
{
    Q_OBJECT

private slots:
    void savedFormatAndRoundTrip()
    {
        ScratchDir scratch;
        const std::string path = QFile::encodeName(scratch.file("ones.txt")).toStdString();
        TableValues ones;
        ones.fill(1);
        QCOMPARE(saveTable(path, ones), TableFileStatus::Ok);

        std::string line = "1\t1\t1\t1\t1\t1\t1\t1\n";
        QCOMPARE(line.size(), size_t(16));
        std::string expected;
        for (int i = 0; i < 8; ++i)
            expected += line;
        QCOMPARE(readText(scratch.file("ones.txt")), expected);

        TableValues loaded = sequence(100);
        QCOMPARE(loadTable(path, loaded), TableFileStatus::Ok);
        QCOMPARE(loaded, ones);

        // Negative and 16-bit extreme values survive a save and a load.
        TableValues mixed = sequence(-32);
        mixed[0] = -32768;
        mixed[63] = 32767;
        QCOMPARE(saveTable(path, mixed), TableFileStatus::Ok);
        QCOMPARE(loadTable(path, loaded), TableFileStatus::Ok);
        QCOMPARE(loaded, mixed);
    }

    void savingReplacesLongerFile()
    {
        ScratchDir scratch;
        writeText(scratch.file("t.txt"), std::string(5000, '9') + "\n" + numbers(200));
        TableValues zeros{};
        QCOMPARE(saveTable(QFile::encodeName(scratch.file("t.txt")).toStdString(), zeros),
                 TableFileStatus::Ok);
        std::ostringstream expected;
        writeTable(expected, zeros);
        QCOMPARE(readText(scratch.file("t.txt")), expected.str());
    }

    void saveFailures()
    {
        ScratchDir scratch;
        TableValues table = sequence(1);
        QCOMPARE(saveTable(QFile::encodeName(scratch.file("no/such/dir.txt")).toStdString(), table),
                 TableFileStatus::OpenFailed);
        if (QFile::exists("/dev/full"))
            QCOMPARE(saveTable("/dev/full", table), TableFileStatus::WriteFailed);
    }

    void editorReader()
    {
        const TableValues before = sequence(500);
        TableValues table = before;

        // All on one line, single spaces.
        std::istringstream oneLine(numbers(64));
        QVERIFY(readTable(oneLine, table));
        QCOMPARE(table, sequence(1));

        // No final newline: the 64th digit is the last byte.
        std::string tight = numbers(64);
        tight.pop_back();
        std::istringstream noNewline(tight);
        table = before;
        QVERIFY(readTable(noNewline, table));
        QCOMPARE(table, sequence(1));

        // 130 numbers: the first 64 are taken, the rest is left unread.
        std::istringstream many(numbers(130));
        QVERIFY(readTable(many, table));
        QCOMPARE(table, sequence(1));
        int next = 0;
        many >> next;
        QCOMPARE(next, 65);

        // Letters after 64 valid numbers are not read.
        std::istringstream letters(numbers(64) + "abc");
        QVERIFY(readTable(letters, table));

        // Windows line ends read like any other whitespace.
        std::istringstream crlf("1\t2\r\n" + numbers(62, 3));
        QVERIFY(readTable(crlf, table));
        QCOMPARE(table, sequence(1));

        // Fewer than 64 numbers, a non-number or a value outside 16 bits
        // among the first 64: refused, and the table stays as it was.
        const std::string bad[] = {
            "",
            numbers(63),
            numbers(10) + "x " + numbers(60),
            numbers(10) + "40000 " + numbers(60),
            "-32769 " + numbers(63),
        };
        for (const std::string& text : bad) {
            std::istringstream in(text);
            table = before;
            QVERIFY(!readTable(in, table));
            QCOMPARE(table, before);
        }
    }

    void editorLoadFromFile()
    {
        ScratchDir scratch;
        // A non-ASCII name opens through the lossless file-name conversion.
        const QString name = scratch.file(QString::fromUtf8("tabulka-ščř.txt"));
        writeText(name, numbers(64));
        TableValues table{};
        QCOMPARE(loadTable(QFile::encodeName(name).toStdString(), table), TableFileStatus::Ok);
        QCOMPARE(table, sequence(1));

        QCOMPARE(loadTable(QFile::encodeName(scratch.file("missing.txt")).toStdString(), table),
                 TableFileStatus::OpenFailed);
        writeText(scratch.file("short.txt"), numbers(63));
        QCOMPARE(loadTable(QFile::encodeName(scratch.file("short.txt")).toStdString(), table),
                 TableFileStatus::BadContent);
        QCOMPARE(table, sequence(1));
    }

    void readAllTables()
    {
        auto read = [](const std::string& text) {
            std::istringstream in(text);
            return readQTables(in);
        };

        QCOMPARE(read("").size(), size_t(0));
        QCOMPARE(read(numbers(63)).size(), size_t(0));

        std::ostringstream editorFile;
        writeTable(editorFile, sequence(1));
        auto tables = read(editorFile.str());
        QCOMPARE(tables.size(), size_t(1));
        for (unsigned k = 0; k < 64; ++k)
            QCOMPARE(tables[0][k], k + 1);

        // 130 numbers: two tables, the last two numbers dropped.
        tables = read(numbers(130));
        QCOMPARE(tables.size(), size_t(2));
        QCOMPARE(tables[1][0], 65u);
        QCOMPARE(tables[1][63], 128u);

        // Values beyond 16 bits are kept; beyond 32 bits they end the reading.
        tables = read("40000 " + numbers(63) + " 4294967295 " + numbers(63));
        QCOMPARE(tables.size(), size_t(2));
        QCOMPARE(tables[0][0], 40000u);
        QCOMPARE(tables[1][0], 4294967295u);
        QCOMPARE(read(numbers(64) + " 4294967296 " + numbers(63)).size(), size_t(1));

        // A non-number ends the reading; complete tables before it stay.
        QCOMPARE(read(numbers(64) + "abc " + numbers(64)).size(), size_t(1));
        QCOMPARE(read(numbers(64) + numbers(10) + "x" + numbers(54)).size(), size_t(1));

        // A minus sign is no valid value, not even on zero.
        QCOMPARE(read(numbers(64) + "-1 " + numbers(63)).size(), size_t(1));
        QCOMPARE(read(numbers(64) + numbers(5) + "-0 " + numbers(58)).size(), size_t(1));
        QCOMPARE(read("-5 " + numbers(63)).size(), size_t(0));
        // An explicit plus sign is an ordinary sign.
        tables = read("+7 " + numbers(63));
        QCOMPARE(tables.size(), size_t(1));
        QCOMPARE(tables[0][0], 7u);
    }

    // The common text form: '#' comments to the end of a line, anywhere
    // between numbers, give the same tables as the bare numbers, in both
    // readers; a file the editor writes with comments reads back too.
    void commentsAreWhitespace()
    {
        std::string bare, commented = "# two tables, natural order\n#\n";
        for (int t = 0; t < 2; ++t) {
            commented += "# table " + std::to_string(t) + ": 16 11 10 would be a row\n";
            for (int row = 0; row < 8; ++row) {
                for (int column = 0; column < 8; ++column) {
                    const std::string value = std::to_string(t * 64 + row * 8 + column + 1);
                    bare += value + ' ';
                    commented += value + (column == 7 ? "" : "\t");
                }
                commented += row == 3 ? "# halfway 1 2 3\n" : "   # row\r\n";
            }
        }
        commented += "# trailing comment without a line end";

        std::istringstream bareIn(bare), commentedIn(commented);
        const std::vector<QuantizationTable> expected = readQTables(bareIn);
        QCOMPARE(expected.size(), size_t(2));
        QVERIFY(readQTables(commentedIn) == expected);

        std::istringstream single(commented);
        TableValues table{};
        QVERIFY(readTable(single, table));
        QCOMPARE(table, sequence(1));

        // A comment swallows what would otherwise be a 64th number.
        std::istringstream cut(numbers(63) + "# 64\n");
        QVERIFY(!readTable(cut, table));
        std::istringstream cutAll(numbers(63) + "# 64\n");
        QCOMPARE(readQTables(cutAll).size(), size_t(0));

        std::ostringstream saved;
        QVERIFY(writeTable(saved, sequence(5), "Luminance\nsecond line"));
        QVERIFY(saved.str().rfind("# Luminance\n# second line\n5\t6\t", 0) == 0);
        std::istringstream back(saved.str());
        QVERIFY(readTable(back, table));
        QCOMPARE(table, sequence(5));
    }

    void readAllTablesFromFile()
    {
        ScratchDir scratch;
        QVERIFY(readQTables(QFile::encodeName(scratch.file("missing.txt")).toStdString()).empty());
        const QString name = scratch.file(QString::fromUtf8("jas-žluť.txt"));
        writeText(name, numbers(64 * 3 + 5));
        QCOMPARE(readQTables(QFile::encodeName(name).toStdString()).size(), size_t(3));
    }
};

QTEST_GUILESS_MAIN(TestTableFiles)
#include "tst_tablefiles.moc"
