// SPDX-License-Identifier: GPL-3.0-or-later
// Every file the user asks for — the JPEG copy (both programs' viewers and the
// tool window), the table file, the batch report and the exported chart —
// either is written or its failure is reported (the windows' saves in the
// "Error" or "Bad file" box naming the file): no space on the device, a
// missing folder, a folder in the way, a file size limit; and a failed write
// leaves the earlier file of that name as it was.

#include "BadInputs.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "JPEGSettings.h"
#include "ModalBoxes.h"
#include "PictureViewer.h"
#include "QuantizationTableFiles.h"
#include "QuantizationWindow.h"
#include "RDChart.h"
#include "ResultsWindow.h"
#include "TestPictures.h"
#include "ToolWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace BadInputs;

namespace {

// A device that refuses every write for want of space. As root, a node of
// our own in the scratch folder: a save that wrongly replaced the device with
// a plain file then replaces only that node, never the system's /dev/full.
QString fullDevice(const ScratchDir& dir)
{
    const QString own = dir.file("full-device");
    if (::geteuid() == 0 &&
        ::mknod(QFile::encodeName(own).constData(), S_IFCHR | 0666, makedev(1, 7)) == 0)
        return own;
    return QStringLiteral("/dev/full");
}

// Prepares `scenario` for a save to a file called `name` in `dir` and returns
// the path to hand to the save.
QString target(const ScratchDir& dir, const QString& scenario, const QString& name)
{
    if (scenario == QLatin1String("no space")) {
        const QString device = fullDevice(dir);
        if (!QFile::exists(device) || !QFile::link(device, dir.file(name)))
            return {};
        return dir.file(name);
    }
    if (scenario == QLatin1String("missing folder"))
        return dir.file("no/such/folder/" + name);
    if (!QDir(dir.path()).mkdir(name))
        return {};
    return dir.file(name);
}

} // namespace

class TestSaveFailures : public QObject
{
    Q_OBJECT

private:
    void scenarios()
    {
        QTest::addColumn<QString>("scenario");
        QTest::newRow("no space") << "no space";
        QTest::newRow("missing folder") << "missing folder";
        QTest::newRow("folder in the way") << "folder in the way";
    }

    // Runs `save` on the prepared target and checks that it failed, with one
    // box of `title` naming the file.
    void expectReported(const QString& path, const QString& title,
                        const std::function<bool(const QString&)>& save)
    {
        QVERIFY(!path.isEmpty());
        Boxes boxes;
        QVERIFY(!save(path));
        QCOMPARE(boxes.titles, QStringList(title));
        QVERIFY2(boxes.texts.first().contains(path.toHtmlEscaped()) ||
                     boxes.texts.first().contains(path),
                 qPrintable(boxes.texts.first()));
    }

    // Runs `save` on "earlier.jpg" in `dir` (an existing file of 13 bytes)
    // with files limited to 64 bytes, and checks that it failed, that the
    // file is as it was and that no temporary file is left.
    void expectEarlierFileKept(const ScratchDir& dir,
                               const std::function<bool(const QString&)>& save)
    {
        const QString earlier = dir.file("earlier.jpg");
        QVERIFY(writeBytes(earlier, "earlier file\n"));
        const int files = int(QDir(dir.path()).entryList(QDir::Files).size());
        rlimit previous;
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &previous), 0);
        rlimit small = previous;
        small.rlim_cur = 64;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool saved = save(earlier);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &previous), 0);
        QVERIFY(!saved);
        QCOMPARE(contents(earlier), QByteArray("earlier file\n"));
        QCOMPARE(int(QDir(dir.path()).entryList(QDir::Files).size()), files); // no temporary left
    }

private slots:
    void initTestCase()
    {
        Image::initImage();
        // A write past the file size limit must fail, not end the process.
        std::signal(SIGXFSZ, SIG_IGN);
    }

    void jpegCopy_data() { scenarios(); }
    void jpegCopy()
    {
        QFETCH(QString, scenario);
        ScratchDir dir;
        QVERIFY(TestPictures::write(dir.file("picture.png"), 32, 24));
        JPEGCompressor compressor;
        ToolWindow tool(compressor);
        QVERIFY(tool.openImageFile(dir.file("picture.png")));
        tool.compressImage();
        QVERIFY(tool.currentResult());

        const QString path = target(dir, scenario, "copy.jpg");
        expectReported(path, "Error", [&](const QString& p) { return tool.saveCompressedAs(p); });
        PictureViewer batchViewer(Variant::Batch);
        batchViewer.updateImage(compressor.getImage());
        batchViewer.updateCompressed(tool.currentResult());
        expectReported(path, "Error",
                       [&](const QString& p) { return batchViewer.saveCompressedAs(p); });
        if (scenario == QLatin1String("no space"))
            QVERIFY(!QFileInfo(QFileInfo(path).symLinkTarget()).isFile());
    }

    void tableFile_data() { scenarios(); }
    void tableFile()
    {
        QFETCH(QString, scenario);
        ScratchDir dir;
        JPEGSettings settings;
        QuantizationWindow editor(settings, nullptr);
        editor.updateUI();
        const QString path = target(dir, scenario, "table.txt");
        expectReported(path, "Bad file",
                       [&](const QString& p) { return editor.saveTableToFile(p); });
    }

    void report_data() { scenarios(); }
    void report()
    {
        QFETCH(QString, scenario);
        ScratchDir dir;
        ResultsWindow results(nullptr);
        const QString path = target(dir, scenario, "report.txt");
        expectReported(path, "Error", [&](const QString& p) { return results.saveReportAs(p); });
        // The device is still a device: nothing was renamed over it.
        if (scenario == QLatin1String("no space")) {
            struct stat status;
            const QByteArray device = QFile::encodeName(QFileInfo(path).symLinkTarget());
            QCOMPARE(::stat(device.constData(), &status), 0);
            QVERIFY(S_ISCHR(status.st_mode));
        }
    }

    // A report or a JPEG that cannot be written completely leaves the earlier
    // file of that name as it was, and the box gives the system's reason.
    void failedSavesKeepTheEarlierFile()
    {
        ScratchDir dir;
        QVERIFY(TestPictures::write(dir.file("picture.png"), 64, 64));
        JPEGCompressor compressor;
        ToolWindow tool(compressor);
        QVERIFY(tool.openImageFile(dir.file("picture.png")));
        tool.compressImage();
        QVERIFY(tool.currentResult());
        QVERIFY(tool.currentResult()->getCompressedSize() > 64);
        PictureViewer batchViewer(Variant::Batch);
        batchViewer.updateImage(compressor.getImage());
        batchViewer.updateCompressed(tool.currentResult());
        ResultsWindow results(nullptr);
        QVERIFY(results.reportText().size() > 64);
        const std::function<bool(const QString&)> saves[] = {
            [&](const QString& p) { return results.saveReportAs(p); },
            [&](const QString& p) { return tool.saveCompressedAs(p); },
            [&](const QString& p) { return batchViewer.saveCompressedAs(p); },
        };
        for (const auto& save : saves) {
            Boxes boxes;
            expectEarlierFileKept(dir, save);
            QCOMPARE(boxes.titles, QStringList("Error"));
            QVERIFY2(boxes.texts.first().contains(QString::fromLocal8Bit(std::strerror(EFBIG))),
                     qPrintable(boxes.texts.first()));
        }
    }

    // The same for a quantization table file and an exported chart.
    void failedTableAndChartWritesKeepTheEarlierFile()
    {
        ScratchDir dir;
        QVERIFY(TestPictures::write(dir.file("picture.png"), 64, 64));
        ResultsWindow results(nullptr);
        TableValues table;
        table.fill(255);
        const std::function<bool(const QString&)> saves[] = {
            [&](const QString& p) {
                return saveTable(QFile::encodeName(p).toStdString(), table, std::string(80, 'x')) ==
                       TableFileStatus::Ok;
            },
            [&](const QString& p) { return results.rdChart()->exportTo(p, QSize(200, 150)); },
        };
        for (const auto& save : saves)
            expectEarlierFileKept(dir, save);
    }
};

QTEST_MAIN(TestSaveFailures)
#include "tst_savefailures.moc"
