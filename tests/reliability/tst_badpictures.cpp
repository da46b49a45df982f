// SPDX-License-Identifier: GPL-3.0-or-later
// A corpus of damaged, hostile and unusual picture files, generated here, fed
// to the load paths of both programs: the picture loads or is refused, fast,
// and the process lives.

#include "BadInputs.h"
#include "BatchCompressor.h"
#include "CompressionResult.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "LoaderProcess.h"
#include "ModalBoxes.h"
#include "PictureViewer.h"
#include "TestPictures.h"
#include "ToolWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>
#include <sys/stat.h>

#include <cstring>

#include <memory>
#include <vector>

using namespace BadInputs;

namespace {

const char* const hostileKinds[] = {"components 5",   "components 10", "exif zeros",
                                    "20000 comments", "600 scans",     "claims 65500x65500"};

struct Entry
{
    QString name;
    bool loads = false;
    bool warns = false; // loads, with a decoder warning
};

// The files, made once in a scratch folder of their own.
class Corpus
{
public:
    Corpus() { build(); }
    QString path(const Entry& entry) const { return dir.filePath(entry.name); }
    const std::vector<Entry>& entries() const { return list; }
    // Damaged by a flipped bit: whether they load depends on the bit.
    const QStringList& flipped() const { return flippedFiles; }
    bool complete() const { return ok; }

private:
    void add(const QString& name, bool loads, bool made, bool warns = false)
    {
        ok = ok && made;
        list.push_back({name, loads, warns});
    }
    QString at(const QString& name) const { return dir.filePath(name); }

    void build()
    {
        using TestPictures::Kind;
        add("empty.jpg", false, writeBytes(at("empty.jpg"), {}));
        add("empty.png", false, writeBytes(at("empty.png"), {}));
        add("folder.png", false, QDir(dir.path()).mkdir("folder.png"));
        add("pipe.jpg", false, ::mkfifo(QFile::encodeName(at("pipe.jpg")), 0600) == 0);

        QByteArray noise(4096, '\0');
        QRandomGenerator random(8);
        for (char& byte : noise)
            byte = char(random.bounded(256));
        add("noise.jpg", false, writeBytes(at("noise.jpg"), noise));

        // Content decides before the name.
        add("png named.jpg", true, TestPictures::write(at("png named.jpg"), 20, 10));

        const bool jpeg = TestPictures::write(at("whole.jpg"), 64, 48, Kind::Colour, "jpg");
        const QByteArray jpegBytes = contents(at("whole.jpg"));
        add("cut.jpg", true,
            jpeg && writeBytes(at("cut.jpg"), jpegBytes.left(jpegBytes.size() / 2)), true);
        add("header only.jpg", false,
            jpeg && writeBytes(at("header only.jpg"), jpegBytes.left(20)));
        const bool png = TestPictures::write(at("whole.png"), 64, 48);
        const QByteArray pngBytes = contents(at("whole.png"));
        add("cut.png", false, png && writeBytes(at("cut.png"), pngBytes.left(pngBytes.size() / 2)));

        add("one.png", true, TestPictures::write(at("one.png"), 1, 1));
        add("wide.png", true, TestPictures::write(at("wide.png"), 65500, 1));
        for (const char* format : {"jpg", "png", "bmp", "gif"}) {
            const QString name = QStringLiteral("claims 65535x65535.%1").arg(format);
            const QByteArray bytes =
                claiming(at(QStringLiteral("small.%1").arg(format)), format, 65535, 65535);
            add(name, false, !bytes.isEmpty() && writeBytes(at(name), bytes));
        }
        add("grey.png", true, TestPictures::write(at("grey.png"), 9, 7, Kind::Grey));
        add("palette.png", true, TestPictures::write(at("palette.png"), 9, 7, Kind::Palette));
        add("alpha.png", true, TestPictures::write(at("alpha.png"), 9, 7, Kind::Alpha));
        add("grey.bmp", true, TestPictures::write(at("grey.bmp"), 9, 7, Kind::Grey, "bmp"));
        add("rgb16.png", true, write16Bit(at("rgb16.png"), true, "png"));
        add("grey16.png", true, write16Bit(at("grey16.png"), false, "png"));
        add("rgb16.tif", true, write16Bit(at("rgb16.tif"), true, "tiff"));
        add("grey16.tif", true, write16Bit(at("grey16.tif"), false, "tiff"));
        const QString foreign = QString::fromUtf8("\xc5\xbc\xc3\xb3\xc5\x82w \xe7\x8c\xab.png");
        add(foreign, true, TestPictures::write(at(foreign), 8, 8));
        add("a b c.png", true, TestPictures::write(at("a b c.png"), 8, 8));

        // Files that crashed, hung or ballooned the general loader.
        for (const char* kind : hostileKinds) {
            const QString name = QStringLiteral("%1.jpg").arg(QLatin1String(kind));
            const QByteArray bytes = hostileJpeg(at("scratch.jpg"), QLatin1String(kind));
            // Only the Exif segment is harmless to a reader that ignores it.
            add(name, name == QLatin1String("exif zeros.jpg"),
                !bytes.isEmpty() && writeBytes(at(name), bytes));
        }
        add("text claims 2 GB.png", false,
            writeBytes(at("text claims 2 GB.png"), pngTextClaimingGigabytes(at("scratch.png"))));

        // Formats whose loaders allocate the claimed picture before reading
        // it, or never finish on a file that stops short.
        QByteArray dds("DDS \x7c\0\0\0\x0f\x10\0\0", 12);
        dds += QByteArray("\xff\xff\0\0\xff\xff\0\0", 8) + QByteArray(108, '\0');
        add("claims 65535x65535.dds", false, writeBytes(at("claims 65535x65535.dds"), dds));
        QByteArray sgi("\x01\xda\x00\x01\x00\x03\xff\xff\xff\xff\x00\x03", 12);
        sgi += QByteArray(560, '\0');
        add("claims 65535x65535.sgi", false, writeBytes(at("claims 65535x65535.sgi"), sgi));
        QByteArray iff("FORM\0\0\0\x3aILBMBMHD\0\0\0\x14\xff\xff\xff\xff", 24);
        iff += QByteArray("\0\0\0\0\x08\0\0\0\0\0\x01\x01\x7f\xff\x7f\xff", 16);
        iff += QByteArray("BODY\0\0\0\x10", 8) + QByteArray(16, '\0');
        add("claims 65535x65535.iff", false, writeBytes(at("claims 65535x65535.iff"), iff));
        add("chunk past end.iff", false,
            writeBytes(at("chunk past end.iff"),
                       QByteArray("FORM\0\0\0\x38ILBMCMAP\x7f\0\0\0", 20) + QByteArray(8, '\0')));
        add("claims 65535x65535.xbm", false,
            writeBytes(at("claims 65535x65535.xbm"),
                       "#define a_width 65535\n#define a_height 65535\nstatic char a_bits[] = {\n"
                       "0x00 };\n"));
        add("cut.xbm", false,
            writeBytes(at("cut.xbm"), "#define a_width 16\n#define a_height 16\n"
                                      "static char a_bits[] = {\n0x01, 0x02,"));
        add("whole.xbm", true,
            writeBytes(at("whole.xbm"), "#define a_width 8\n#define a_height 2\n"
                                        "static char a_bits[] = {\n0x01, 0x80 };\n"));
        add("claims 65535x65535.wbmp", false,
            writeBytes(at("claims 65535x65535.wbmp"),
                       QByteArray("\0\0\x83\xff\x7f\x83\xff\x7f", 8)));
        // Targa files whose loader reads past its buffers: run-length data
        // shorter than a row's first pixel, a postage stamp larger than its
        // room, a file shorter than the header.
        const QByteArray runLength = targa(at("scratch.tga"), true, false);
        add("run-length.tga", true, writeBytes(at("run-length.tga"), runLength));
        QByteArray cutRuns = runLength.left(18);
        cutRuns[0] = char(255); // an identifier that runs past the end
        add("runs past end.tga", false, writeBytes(at("runs past end.tga"), cutRuns + "\x81\x10"));
        QByteArray stamped = targa(at("scratch.tga"), false, true);
        add("stamp.tga", true, writeBytes(at("stamp.tga"), stamped));
        const int stampAt = stamped.lastIndexOf(QByteArray("\x04\x03", 2));
        if (stampAt > 0)
            stamped[stampAt] = stamped[stampAt + 1] = char(255);
        add("stamp too large.tga", false,
            stampAt > 0 && writeBytes(at("stamp too large.tga"), stamped));
        add("shorter than header.tga", false,
            writeBytes(at("shorter than header.tga"), runLength.left(16)));
        add("signature only.tga", false,
            writeBytes(at("signature only.tga"), QByteArray("\xff\0TRUEVISION-XFILE.\0", 20)));
        add("endless headers.wbmp", false,
            writeBytes(at("endless headers.wbmp"), QByteArray("\0\x80", 2)));

        // Headers whose numbers the loaders misread, and files that end
        // before the pixels their header declares: the loaders would hand
        // back whatever their buffers held.
        add("no pixels.ppm", false, writeBytes(at("no pixels.ppm"), "P6 2 2 255\n"));
        add("claims 4294967295.ppm", false,
            writeBytes(at("claims 4294967295.ppm"), "P6\n4294967295 4294967295\n255\nabc"));
        add("claims -5.ppm", false, writeBytes(at("claims -5.ppm"), "P6\n-5 -5\n255\n" + noise));
        add("maximum 0.pgm", false, writeBytes(at("maximum 0.pgm"), "P5 2 2 0\nabcd"));
        add("cut.ppm", false, writeBytes(at("cut.ppm"), "P6 4 4 255\n" + noise.left(30)));
        add("whole.ppm", true, writeBytes(at("whole.ppm"), "P6 4 4 255\n" + noise.left(48)));
        add("whole.pcx", true, writeBytes(at("whole.pcx"), pcx(16, 8, 16, 1.0)));
        add("zero bytes per line.pcx", false,
            writeBytes(at("zero bytes per line.pcx"), pcx(16, 8, 0, 1.0)));
        add("rows shorter than width.pcx", false,
            writeBytes(at("rows shorter than width.pcx"), pcx(16, 8, 4, 1.0)));
        add("cut.pcx", false, writeBytes(at("cut.pcx"), pcx(16, 8, 16, 0.5)));
        const bool bmp = TestPictures::write(at("whole.bmp"), 20, 10, Kind::Colour, "bmp");
        add("cut.bmp", false,
            bmp && writeBytes(at("cut.bmp"), contents(at("whole.bmp")).chopped(40)));
        const QByteArray plainTarga = targa(at("scratch.tga"), false, false);
        add("cut.tga", false, writeBytes(at("cut.tga"), plainTarga.left(200)));

        // Pictures cut short at several points, in formats whose header
        // says how many bytes the pixels take: refused, never loaded with
        // the missing part made up (the Photoshop loader crashed on these).
        const bool psd = TestPictures::write(at("whole.psd"), 20, 10, Kind::Colour, "psd");
        const bool ico = TestPictures::write(at("whole.ico"), 32, 32, Kind::Colour, "ico");
        const bool tif = TestPictures::write(at("whole.tif"), 20, 10, Kind::Colour, "tiff");
        // A palette TIFF's colour map comes last: without its end the
        // decoder painted the picture in colours made up.
        const bool paletteTif =
            TestPictures::write(at("palette.tif"), 20, 10, Kind::Palette, "tiff");
        add("colour map cut.tif", false,
            paletteTif &&
                writeBytes(at("colour map cut.tif"), contents(at("palette.tif")).chopped(100)));
        add("whole.psd", true, psd);
        add("whole.ico", true, ico);
        const std::pair<QString, QByteArray> wholes[] = {{"psd", contents(at("whole.psd"))},
                                                         {"ico", contents(at("whole.ico"))},
                                                         {"bmp", contents(at("whole.bmp"))},
                                                         {"tif", contents(at("whole.tif"))},
                                                         {"tga", runLength},
                                                         {"pcx", pcx(16, 8, 16, 1.0)},
                                                         {"ppm", "P6 4 4 255\n" + noise.left(48)}};
        for (const auto& [format, bytes] : wholes) {
            for (const int percent : {25, 50, 90}) {
                const QString name = QStringLiteral("cut at %1%.%2").arg(percent).arg(format);
                add(name, false,
                    psd && ico && tif &&
                        writeBytes(at(name), bytes.left(bytes.size() * percent / 100)));
            }
            // The last byte of a Targa or TIFF file is not a pixel's.
            if (format != "tga" && format != "tif") {
                const QString name = QStringLiteral("last byte cut.%1").arg(format);
                add(name, false, writeBytes(at(name), bytes.chopped(1)));
            }
            // Bit flips anywhere: loaded or refused, but the same twice.
            QRandomGenerator flips(quint32(bytes.size()));
            for (int i = 0; i < 4; ++i) {
                QByteArray flipped = bytes;
                const int position =
                    int(flips.bounded(i < 2 ? qMin(64, int(bytes.size())) : int(bytes.size())));
                flipped[position] = char(flipped[position] ^ (1 << flips.bounded(8)));
                const QString name = QStringLiteral("flipped %1.%2").arg(i).arg(format);
                ok = ok && writeBytes(at(name), flipped);
                flippedFiles << at(name);
            }
        }

        // Sizes claimed by formats that decode before they check: JPEG 2000
        // codestreams and files, OpenEXR and Radiance pictures.
        QByteArray j2k("\xff\x4f\xff\x51\x00\x2f\x00\x00", 8);
        const QByteArray big("\0\0\xff\xff\0\0\xff\xff", 8);
        // The grid, its offset, the tiles, their offset, three components.
        j2k += big + QByteArray(8, '\0') + big + QByteArray(8, '\0') + QByteArray("\0\x03", 2);
        j2k += QByteArray(60, '\x11');
        add("claims 65535x65535.j2k", false, writeBytes(at("claims 65535x65535.j2k"), j2k));
        QByteArray jp2("\0\0\0\x0cjP  \x0d\x0a\x87\x0a\0\0\0\x14"
                       "ftypjp2 \0\0\0\0jp2 ",
                       32);
        jp2 += QByteArray("\0\0\0\x1ejp2h\0\0\0\x16ihdr", 16) + big;
        jp2 += QByteArray("\0\x03\x07\x07\0\0", 6);
        jp2 += QByteArray("\0\0\0\0jp2c", 8) + j2k;
        add("claims 65535x65535.jp2", false, writeBytes(at("claims 65535x65535.jp2"), jp2));
        QByteArray exr("\x76\x2f\x31\x01\x02\0\0\0", 8);
        exr += QByteArray("dataWindow\0box2i\0\x10\0\0\0", 21);
        exr += QByteArray("\0\0\0\0\0\0\0\0\xfe\xff\0\0\xfe\xff\0\0", 16);
        add("claims 65535x65535.exr", false, writeBytes(at("claims 65535x65535.exr"), exr + '\0'));
        // The loader reads on past the end of a header cut short, for ever.
        add("header cut short.exr", false,
            writeBytes(at("header cut short.exr"), exr + "channels\0chl"));
        add("claims 65535x65535.hdr", false,
            writeBytes(at("claims 65535x65535.hdr"),
                       "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 65535 +X 65535\n" +
                           noise.left(64)));
    }

    // A PCX picture of 8-bit samples in three planes, run-length coded, with
    // `bytesPerLine` bytes per plane row, cut to `kept` of its data.
    static QByteArray pcx(int width, int height, int bytesPerLine, double kept)
    {
        QByteArray bytes(128, '\0');
        const int header[] = {10, 5, 1, 8};
        for (int i = 0; i < 4; ++i)
            bytes[i] = char(header[i]);
        bytes[8] = char(width - 1);
        bytes[10] = char(height - 1);
        bytes[65] = 3;
        bytes[66] = char(bytesPerLine);
        QByteArray data;
        // A run of two at every fourth byte, never across a row's end, so
        // that the data decodes to exactly the rows.
        for (int i = 0; i < bytesPerLine * 3 * height; ++i) {
            const char value = char((i * 7) & 0x3F);
            const bool run = i % 4 == 0 && i + 1 < bytesPerLine * 3 * height;
            data += run ? QByteArray("\xc2", 1) + value : QByteArray(1, value);
            i += run ? 1 : 0;
        }
        return bytes + data.left(int(data.size() * kept));
    }

    QTemporaryDir temporary;
    QDir dir{temporary.path()};
    std::vector<Entry> list;
    QStringList flippedFiles;
    bool ok = true;
};

using TestPictures::encoded;

constexpr int FAST_MS = 3000; // generous for sanitizer builds

} // namespace

class TestBadPictures : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Corpus> corpus;
    std::unique_ptr<ScratchDir> work;

    void rows()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("loads");
        QTest::addColumn<bool>("warns");
        for (const Entry& entry : corpus->entries())
            QTest::newRow(qPrintable(entry.name)) << entry.name << entry.loads << entry.warns;
    }

private slots:
    void initTestCase()
    {
        Image::initImage();
        corpus = std::make_unique<Corpus>();
        QVERIFY(corpus->complete());
    }
    void init() { work = std::make_unique<ScratchDir>(); }
    void cleanup() { work.reset(); }

    void pictureLoadsOrIsRefusedQuickly_data() { rows(); }
    void pictureLoadsOrIsRefusedQuickly()
    {
        QFETCH(QString, name);
        QFETCH(bool, loads);
        QFETCH(bool, warns);
        QElapsedTimer timer;
        timer.start();
        Image image(encoded(corpus->path({name})));
        QVERIFY2(timer.elapsed() < FAST_MS, "the loader took too long");
        QCOMPARE(image.getRGB24Buffer() != nullptr, loads);
        if (!loads) {
            QVERIFY(!image.getRGB32Buffer());
            QVERIFY(!image.getLoadMessage().isEmpty());
            return;
        }
        QVERIFY(image.getWidth() > 0 && image.getHeight() > 0);
        QCOMPARE(!image.getLoadMessage().isEmpty(), warns);
        // What loads goes on through a compression and its measurements.
        JPEGCompressor compressor;
        compressor.setImage(&image);
        std::unique_ptr<CompressionResult> result(compressor.compressImage());
        QVERIFY2(result, qPrintable(compressor.lastError()));
        QVERIFY(result->getErrors() && result->getY_RGB32());
    }

    // Every picture of this corpus and of the fuzzing corpora loads twice to
    // the same pixels and the same message, or is refused twice: a loader
    // that handed back memory it never wrote would differ (and `make
    // test-valgrind` runs this under memcheck, which says where).
    void samePixelsTwice()
    {
        QStringList paths;
        for (const Entry& entry : corpus->entries())
            paths << corpus->path(entry);
        paths << corpus->flipped();
        for (const char* folder : {PICTURE_CORPUS, PNG_CORPUS, JPEG_CORPUS}) {
            const QDir seeds(QString::fromUtf8(folder));
            for (const QString& name : seeds.entryList(QDir::Files, QDir::Name))
                paths << seeds.filePath(name);
        }
        int loaded = 0, warned = 0;
        for (const QString& path : paths) {
            const Image first(encoded(path));
            const Image second(encoded(path));
            QCOMPARE(second.getLoadMessage(), first.getLoadMessage());
            QCOMPARE(second.getWidth(), first.getWidth());
            QCOMPARE(second.getHeight(), first.getHeight());
            if (!first.getRGB32Buffer()) {
                QVERIFY(!second.getRGB32Buffer());
                continue;
            }
            ++loaded;
            warned += first.getLoadMessage().isEmpty() ? 0 : 1;
            const std::size_t bytes = std::size_t(first.getWidth()) * first.getHeight() * 4;
            QVERIFY2(std::memcmp(first.getRGB32Buffer(), second.getRGB32Buffer(), bytes) == 0,
                     qPrintable(path));
            const std::size_t bytes24 = std::size_t(first.getRGB24Pitch()) * first.getHeight();
            QVERIFY2(std::memcmp(first.getRGB24Buffer(), second.getRGB24Buffer(), bytes24) == 0,
                     qPrintable(path));
        }
        qInfo("%d files: %d loaded (%d with a warning), %d refused", int(paths.size()), loaded,
              warned, int(paths.size()) - loaded);
    }

    // The formats without a decoder of our own are decoded in the helper
    // process: what it hands back is what a load in this process gives,
    // pixels of both copies, size and message, for this corpus and the
    // fuzzing seeds (TIFF, BMP, Photoshop, Targa, GIF, ... and damaged ones).
    void helperLoadsAsInProcess()
    {
        QStringList paths;
        for (const Entry& entry : corpus->entries())
            paths << corpus->path(entry);
        const QDir seeds(QStringLiteral(PICTURE_CORPUS));
        for (const QString& name : seeds.entryList(QDir::Files, QDir::Name))
            paths << seeds.filePath(name);
        for (const QString& path : paths) {
            const Image helped(encoded(path));
            LoaderProcess::setInProcess(true);
            const Image here(encoded(path));
            LoaderProcess::setInProcess(false);
            QCOMPARE(helped.getLoadMessage(), here.getLoadMessage());
            QCOMPARE(helped.getImageSize(), here.getImageSize());
            QCOMPARE(helped.getWidth(), here.getWidth());
            QCOMPARE(helped.getHeight(), here.getHeight());
            QCOMPARE(helped.getRGB32Buffer() != nullptr, here.getRGB32Buffer() != nullptr);
            if (!here.getRGB32Buffer())
                continue;
            const std::size_t bytes = std::size_t(here.getWidth()) * here.getHeight() * 4;
            QVERIFY2(std::memcmp(helped.getRGB32Buffer(), here.getRGB32Buffer(), bytes) == 0,
                     qPrintable(path));
            const std::size_t bytes24 = std::size_t(here.getRGB24Pitch()) * here.getHeight();
            QVERIFY2(std::memcmp(helped.getRGB24Buffer(), here.getRGB24Buffer(), bytes24) == 0,
                     qPrintable(path));
        }
    }

    // A helper whose decoder crashes fails only its picture, with the reason,
    // and the next picture loads through a new helper. A Photoshop file that
    // once crashed the general loader (a run copied with a negative length)
    // is refused as damaged before it is decoded.
    void helperCrashFailsOnePicture()
    {
        qputenv("TESSERA_LOADER_TEST_CRASH", "1");
        LoaderProcess::stopIdleHelpers();
        const Image crashing(PICTURE_CORPUS "/colour.tif");
        qunsetenv("TESSERA_LOADER_TEST_CRASH");
        LoaderProcess::stopIdleHelpers();
        QVERIFY(!crashing.getRGB32Buffer() && !crashing.getRGB24Buffer());
        QVERIFY2(crashing.getLoadMessage().startsWith(
                     "The picture could not be decoded: its decoder crashed (signal"),
                 qPrintable(crashing.getLoadMessage()));
        const Image next(PICTURE_CORPUS "/colour.tif");
        QVERIFY2(next.getRGB32Buffer(), qPrintable(next.getLoadMessage()));
        const Image once(RELIABILITY_DATA "/psd-negative-copy.psd");
        QCOMPARE(once.getLoadMessage(), QStringLiteral("The picture's file is damaged."));
    }

    // A helper that does not answer is stopped at the time limit, and the
    // next load starts a new one.
    void helperStallIsCut()
    {
        LoaderProcess::setTimeLimit(0.5);
        // The helpers started from now on stall on every picture.
        qputenv("TESSERA_LOADER_TEST_STALL", "1");
        LoaderProcess::stopIdleHelpers();
        QElapsedTimer timer;
        timer.start();
        const Image stalled(PICTURE_CORPUS "/colour.bmp");
        const qint64 elapsed = timer.elapsed();
        qunsetenv("TESSERA_LOADER_TEST_STALL");
        LoaderProcess::setTimeLimit(60);
        QCOMPARE(stalled.getLoadMessage(),
                 QStringLiteral("The picture could not be decoded: its decoder did not finish "
                                "within 0.5 seconds."));
        QVERIFY(!stalled.getRGB32Buffer());
        QVERIFY(elapsed < FAST_MS);
        const Image next(PICTURE_CORPUS "/colour.bmp");
        QVERIFY2(next.getRGB32Buffer(), qPrintable(next.getLoadMessage()));
    }

    // Under an address-space limit of 2 GB (a memory budget of 1 GB) in a
    // child process: a JPEG of a few hundred bytes claiming 11000 x 11000
    // (inside the size limits, 3.7 GB with its copies and a compression) is
    // refused from its header with the memory it would need; a picture that
    // fits, compressed, leaves too little memory for its derived views, which
    // are refused with a message. The child ends normally either way.
    void memoryLimitIsReportedNotFatal_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("said");
        QTest::newRow("claims 11000x11000")
            << "open"
            << "claims 11000x11000.jpg"
            << "Not enough memory to load the 11000 x 11000 picture (3578 MB needed, 1024 MB "
               "available).";
        QTest::newRow("derived views") << "views"
                                       << "3000x3000.png"
                                       << "Not enough memory to show the Y component of the 3000 "
                                          "x 3000 picture";
    }
    void memoryLimitIsReportedNotFatal()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("AddressSanitizer reserves more address space than the limit allows");
#endif
        QFETCH(QString, scenario);
        QFETCH(QString, picture);
        QFETCH(QString, said);
        const QByteArray claim = claiming(work->file("small.jpg"), "jpg", 11000, 11000);
        QVERIFY(writeBytes(work->file("claims 11000x11000.jpg"), claim));
        QVERIFY(TestPictures::write(work->file("3000x3000.png"), 3000, 3000));

        QProcess child;
        child.setChildProcessModifier([] {
            constexpr rlim_t limit = rlim_t(2) << 30;
            const rlimit address{limit, limit};
            ::setrlimit(RLIMIT_AS, &address);
        });
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QStringLiteral(MEMORYLIMIT_CHILD), {scenario, work->file(picture)});
        QVERIFY(child.waitForFinished(60000));
        const QString output = QString::fromLocal8Bit(child.readAll());
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                 qPrintable(output));
        QVERIFY2(output.contains(said), qPrintable(output));
        QVERIFY2(output.contains("done") || output.contains("refused"), qPrintable(output));
    }

    // The files that crashed, hung or ballooned the general loader, opened
    // in a child process under an address-space limit of 4 GB: each ends by
    // itself within 10 s and 1 GB resident, refused with a reason (the Exif
    // one loads).
    void hostileFilesEndWithinLimits_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* kind : hostileKinds)
            QTest::newRow(kind) << QStringLiteral("%1.jpg").arg(QLatin1String(kind));
        QTest::newRow("png text") << QStringLiteral("text claims 2 GB.png");
    }
    void hostileFilesEndWithinLimits()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("AddressSanitizer reserves more address space than the limit allows");
#endif
        QFETCH(QString, name);
        QProcess child;
        child.setChildProcessModifier([] {
            constexpr rlim_t limit = rlim_t(4) << 30;
            const rlimit address{limit, limit};
            ::setrlimit(RLIMIT_AS, &address);
        });
        child.setProcessChannelMode(QProcess::MergedChannels);
        QElapsedTimer timer;
        timer.start();
        child.start(QStringLiteral(MEMORYLIMIT_CHILD), {"open", corpus->path({name})});
        QVERIFY(child.waitForFinished(10000));
        QVERIFY(timer.elapsed() < 10000);
        const QString output = QString::fromLocal8Bit(child.readAll());
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                 qPrintable(output));
        const bool loads = name.startsWith(QLatin1String("exif"));
        QVERIFY2(output.contains(loads ? "done" : "refused"), qPrintable(output));
        if (!loads)
            QVERIFY2(!output.contains("load: \n"), qPrintable(output));
        const qsizetype peak = output.indexOf("peak: ");
        QVERIFY2(peak >= 0, qPrintable(output));
        QVERIFY2(output.mid(peak + 6).section(' ', 0, 0).toLongLong() < 1024, qPrintable(output));
    }

    // tessera: a picture that does not load is refused with the loader's
    // reason in the "Error" box and the current one stays; a damaged one
    // that loads shows the decoder's warning once, in a "Warning" box.
    void interactiveToolTakesOrRefuses_data()
    {
        rows();
    }
    void interactiveToolTakesOrRefuses()
    {
        QFETCH(QString, name);
        QFETCH(bool, loads);
        QFETCH(bool, warns);
        JPEGCompressor compressor;
        ToolWindow tool(compressor);
        PictureViewer viewer(Variant::Interactive);
        connect(&tool, &ToolWindow::imageChanged, &viewer, &PictureViewer::updateImage);
        connect(&tool, &ToolWindow::imageCompressed, &viewer, &PictureViewer::updateCompressed);
        QVERIFY(TestPictures::write(work->file("first.png"), 16, 16));
        QVERIFY(tool.openImageFile(work->file("first.png")));
        Image* first = compressor.getImage();

        Boxes boxes;
        QCOMPARE(tool.openImageFile(corpus->path({name})), loads);
        QTRY_COMPARE_WITH_TIMEOUT(boxes.titles.size(), warns || !loads ? 1 : 0, 1000);
        if (!loads) {
            QCOMPARE(boxes.titles.first(), QStringLiteral("Error"));
            // The name, then the loader's reason on a line of its own.
            QVERIFY2(boxes.texts.first().contains(corpus->path({name}).toHtmlEscaped() +
                                                  QStringLiteral("<br>")),
                     qPrintable(boxes.texts.first()));
            QVERIFY(!boxes.texts.first().endsWith(QStringLiteral("<br>")));
            QCOMPARE(compressor.getImage(), first);
            return;
        }
        QVERIFY(compressor.getImage() != first);
        if (warns) {
            QCOMPARE(boxes.titles.first(), QStringLiteral("Warning"));
            QCOMPARE(boxes.texts.first().count("Premature end of JPEG file"), 1);
        }
        tool.compressImage();
        QVERIFY(tool.currentResult());
    }

    // tessera-batch: every file of the list goes through the batch engine;
    // those that do not load are dropped, the rest give one result each.
    void batchDropsWhatDoesNotLoad()
    {
        QStringList files;
        QStringList loading;
        for (const Entry& entry : corpus->entries()) {
            files << corpus->path(entry);
            if (entry.loads)
                loading << corpus->path(entry);
        }
        BatchCompressor batch;
        std::vector<JPEGSettings> settings(1);
        QElapsedTimer timer;
        timer.start();
        const std::vector<ResultStat> results = batch.compress(files, settings, nullptr);
        QVERIFY(timer.elapsed() < FAST_MS * 4);
        QCOMPARE(int(results.size()), loading.size());
        for (int i = 0; i < loading.size(); ++i)
            QCOMPARE(results[std::size_t(i)].fileName, loading[i]);
        // The damaged picture that loaded is named in the run's summary with
        // the decoder's warning, as tessera shows it on opening.
        const QString summary = batch.summary().text();
        QVERIFY2(
            summary.contains("1 succeeded on damaged pictures, with a warning: JPEG: Premature "
                             "end of JPEG file (cut.jpg)"),
            qPrintable(summary));
    }
};

QTEST_MAIN(TestBadPictures)
#include "tst_badpictures.moc"
