// SPDX-License-Identifier: GPL-3.0-or-later
#include "Image.h"
#include "JpegDecoder.h"
#include "PngDecoder.h"
#include "PpmDecoder.h"
#include "TestPictures.h"

#include <FreeImage.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <cstring>

#include <sys/stat.h>

namespace {

using TestPictures::encoded;

void expectEmpty(const Image& image)
{
    QVERIFY(!image.getRGB24Buffer());
    QVERIFY(!image.getRGB32Buffer());
    QCOMPARE(image.getWidth(), 0u);
    QCOMPARE(image.getHeight(), 0u);
    QVERIFY(!image.getLoadMessage().isEmpty());
}

// A JPEG whose frame header claims 65500 x 65500 pixels: a real 8 x 8 file
// with its SOF dimensions patched.
QByteArray jpegClaiming(const ScratchDir& dir, int width, int height)
{
    const QString small = dir.file("small.jpg");
    if (!TestPictures::write(small, 8, 8, TestPictures::Kind::Colour, "jpg"))
        return {};
    QFile file(small);
    file.open(QIODevice::ReadOnly);
    QByteArray bytes = file.readAll();
    for (int i = 2; i + 9 < bytes.size(); ++i) {
        if (uchar(bytes[i]) == 0xFF &&
            (uchar(bytes[i + 1]) == 0xC0 || uchar(bytes[i + 1]) == 0xC2)) {
            bytes[i + 5] = char(height >> 8);
            bytes[i + 6] = char(height & 255);
            bytes[i + 7] = char(width >> 8);
            bytes[i + 8] = char(width & 255);
            return bytes;
        }
    }
    return {};
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// FreeImage's own load of a PNG file held in memory.
FIBITMAP* generalPngLoad(const QByteArray& bytes)
{
    FIMEMORY* stream = FreeImage_OpenMemory(
        reinterpret_cast<BYTE*>(const_cast<char*>(bytes.constData())), DWORD(bytes.size()));
    FIBITMAP* bitmap = FreeImage_LoadFromMemory(FIF_PNG, stream, 0);
    FreeImage_CloseMemory(stream);
    return bitmap;
}

bool samePixels(FIBITMAP* a, FIBITMAP* b)
{
    const unsigned height = FreeImage_GetHeight(a);
    const unsigned pitch = FreeImage_GetPitch(a);
    if (FreeImage_GetWidth(a) != FreeImage_GetWidth(b) || height != FreeImage_GetHeight(b) ||
        FreeImage_GetBPP(a) != FreeImage_GetBPP(b) || pitch != FreeImage_GetPitch(b))
        return false;
    return std::memcmp(FreeImage_GetBits(a), FreeImage_GetBits(b), std::size_t(pitch) * height) ==
           0;
}

// A 3 x 2 BMP file with an information header of `infoSize` bytes: 24-bit
// rows, or 32-bit ones under BI_BITFIELDS, each pixel (red 10 x + 1, green
// 100 + y, blue 200), bottom row first.
QByteArray bmpFile(unsigned infoSize, bool bitfields)
{
    const int width = 3, height = 2, bytesPerPixel = bitfields ? 4 : 3;
    const int stride = (width * bytesPerPixel + 3) / 4 * 4;
    // The short header takes the masks of BI_BITFIELDS after it.
    const int headers = int(14 + infoSize) + (infoSize == 40 && bitfields ? 12 : 0);
    QByteArray out(headers, '\0');
    auto put = [&out](int at, quint32 v, int n) {
        for (int i = 0; i < n; ++i)
            out[at + i] = char(v >> (8 * i));
    };
    out[0] = 'B';
    out[1] = 'M';
    put(10, quint32(headers), 4);
    put(14, infoSize, 4);
    put(18, width, 4);
    put(22, height, 4);
    put(26, 1, 2);
    put(28, 8 * bytesPerPixel, 2);
    put(30, bitfields ? 3 : 0, 4);
    if (bitfields || infoSize > 40) {
        put(54, 0x00ff0000, 4); // red, green and blue masks
        put(58, 0x0000ff00, 4);
        put(62, 0x000000ff, 4);
        if (infoSize > 40)
            put(66, 0xff000000, 4); // alpha
    }
    for (int y = height - 1; y >= 0; --y) {
        QByteArray row(stride, '\0');
        for (int x = 0; x < width; ++x) {
            row[x * bytesPerPixel] = char(200);
            row[x * bytesPerPixel + 1] = char(100 + y);
            row[x * bytesPerPixel + 2] = char(10 * x + 1);
            if (bitfields)
                row[x * bytesPerPixel + 3] = char(255);
        }
        out += row;
    }
    put(2, quint32(out.size()), 4);
    return out;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A 4 x 3 BMP file with run-length rows at 8 or 4 bits per pixel, palette
// colour i being (red 5 i, green 20 i, blue 10 i), from its coded rows.
QByteArray runLengthBmp(unsigned bits, const QByteArray& runs)
{
    QByteArray out(14 + 40 + 16 * 4, '\0');
    auto put = [&out](int at, quint32 v, int n) {
        for (int i = 0; i < n; ++i)
            out[at + i] = char(v >> (8 * i));
    };
    out[0] = 'B';
    out[1] = 'M';
    put(10, quint32(out.size()), 4);
    put(14, 40, 4);
    put(18, 4, 4);
    put(22, 3, 4);
    put(26, 1, 2);
    put(28, bits, 2);
    put(30, bits == 8 ? 1 : 2, 4);
    put(46, 16, 4);
    for (int i = 0; i < 16; ++i)
        put(54 + 4 * i, quint32(10 * i | 20 * i << 8 | 5 * i << 16), 4);
    out += runs;
    put(2, quint32(out.size()), 4);
    return out;
}

} // namespace

class TestImage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Image::initImage(); }

    void layoutsOfAColourPicture()
    {
        ScratchDir dir;
        const QString path = dir.file("colour.png");
        QVERIFY(TestPictures::write(path, 5, 3));
        Image image(encoded(path));
        QVERIFY(image.getRGB24Buffer());
        QCOMPARE(image.getWidth(), 5u);
        QCOMPARE(image.getHeight(), 3u);
        QCOMPARE(image.getChannels(), 3u);
        QCOMPARE(image.getRGB24Pitch(), 16u); // 15 bytes of pixels, one of padding
        QCOMPARE(image.getImageSize(), (unsigned long)QFileInfo(path).size());
        QCOMPARE(image.getFilePath(), encoded(path));

        // The generator paints red = x gradient, green = y gradient. The 32-bit
        // copy holds the top row first, the 24-bit copy the bottom row first.
        const uchar* top32 = image.getRGB32Buffer();
        const uchar* lastPixelOfTopRow = top32 + 4 * 4;
        QCOMPARE(int(top32[1]), 0);               // green of the top row
        QCOMPARE(int(lastPixelOfTopRow[2]), 255); // red at the right edge
        QCOMPARE(int(top32[3]), 255);             // opaque
        const uchar* bottom32 = top32 + 2 * 5 * 4;
        QCOMPARE(int(bottom32[1]), 255);
        const uchar* first24 = image.getRGB24Buffer(); // bottom row, first pixel
        QCOMPARE(int(first24[1]), 255);
        QCOMPARE(int(first24[0]), int(bottom32[0]));
    }

    void onePixelRows()
    {
        ScratchDir dir;
        QVERIFY(TestPictures::writeSolid(dir.file("one.png"), 1, 1, 10, 20, 30));
        Image image(encoded(dir.file("one.png")));
        QVERIFY(image.getRGB24Buffer());
        QCOMPARE(image.getRGB24Pitch(), 4u);
        const uchar* p = image.getRGB32Buffer();
        QCOMPARE(QList<int>({p[0], p[1], p[2], p[3]}), QList<int>({30, 20, 10, 255}));
    }

    // Plain binary PPM files are decoded without the general loader: the
    // picture must be the one the general loader makes of the same file, and
    // files of any other kind still reach the general loader.
    void plainPpmDecodedLikeTheGeneralLoader_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<bool>("plain");
        QTest::newRow("plain") << QByteArray("P6\n5 3\n255\n") << true;
        QTest::newRow("carriage returns") << QByteArray("P6\r\n5 \t3\r\n255\r\n") << true;
        QTest::newRow("comment") << QByteArray("P6\n# by hand\n5 3\n255\n") << false;
        QTest::newRow("fewer levels") << QByteArray("P6\n5 3\n200\n") << false;
    }

    void plainPpmDecodedLikeTheGeneralLoader()
    {
        QFETCH(QByteArray, header);
        QFETCH(bool, plain);
        QByteArray bytes = header;
        for (int i = 0; i < 5 * 3 * 3; ++i)
            bytes.append(char(i * 37 % 200));
        bytes.append("after the pixels");
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
        PpmDecoder::Header read;
        QCOMPARE(PpmDecoder::readHeader(data, std::size_t(bytes.size()), read), plain);

        ScratchDir dir;
        const QString path = dir.file("p.ppm");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        Image image(encoded(path));
        FIBITMAP* general = FreeImage_Load(FIF_PPMRAW, encoded(path).c_str(), 0);
        QVERIFY(image.getRGB24Buffer() && general);
        QCOMPARE(image.getWidth(), 5u);
        QCOMPARE(image.getRGB24Pitch(), FreeImage_GetPitch(general));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(image.getRGB24Buffer()), 3 * 16),
                 QByteArray(reinterpret_cast<const char*>(FreeImage_GetBits(general)), 3 * 16));
        FreeImage_Unload(general);
    }

    void greyAndPaletteBecomeColour_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("grey") << int(TestPictures::Kind::Grey);
        QTest::newRow("palette") << int(TestPictures::Kind::Palette);
        QTest::newRow("alpha") << int(TestPictures::Kind::Alpha);
    }

    void greyAndPaletteBecomeColour()
    {
        QFETCH(int, kind);
        ScratchDir dir;
        const QString path = dir.file("p.png");
        QVERIFY(TestPictures::write(path, 7, 4, TestPictures::Kind(kind)));
        Image image(encoded(path));
        QVERIFY(image.getRGB24Buffer());
        QVERIFY(image.getRGB32Buffer());
        QCOMPARE(image.getWidth(), 7u);
        QCOMPARE(image.getChannels(), 3u);
        QCOMPARE(image.getRGB24Pitch(), 24u);
        if (TestPictures::Kind(kind) == TestPictures::Kind::Alpha) {
            QCOMPARE(int(image.getRGB32Buffer()[3]), 0); // left half transparent
            QCOMPARE(int(image.getRGB32Buffer()[6 * 4 + 3]), 255);
        }
    }

    // The fast decoder of plain RGB files gives FreeImage's bitmap or
    // declines; the samples and the plain generated files (every row filter,
    // one- and three-pixel rows, image data in several chunks, an empty one)
    // must be taken, files with gamma or transparency declined.
    void fastPngDecoderMatchesFreeImage_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("taken");
        for (const char* name : {"coffee.png", "chelsea.png"})
            QTest::newRow(name) << QStringLiteral(TESSERA_SAMPLES_DIR "/") + name << true;
        for (const char* name : {"filter-none", "filter-sub", "filter-up", "filter-average",
                                 "filter-paeth", "all-filters-width-1", "all-filters-width-3",
                                 "several-idat", "empty-idat", "metadata"})
            QTest::newRow(name) << QStringLiteral(TESSERA_PNG_CORPUS_DIR "/%1.png").arg(name)
                                << true;
        for (const char* name : {"gamma", "transparency"})
            QTest::newRow(name) << QStringLiteral(TESSERA_PNG_CORPUS_DIR "/%1.png").arg(name)
                                << false;
    }

    void fastPngDecoderMatchesFreeImage()
    {
        QFETCH(QString, path);
        QFETCH(bool, taken);
        const QByteArray bytes = contents(path);
        QVERIFY(!bytes.isEmpty());
        const PngDecoder png(reinterpret_cast<const unsigned char*>(bytes.constData()),
                             std::size_t(bytes.size()));
        FIBITMAP* fast = png.decode();
        QCOMPARE(fast != nullptr, taken);
        if (!fast)
            return;
        FIBITMAP* general = generalPngLoad(bytes);
        QVERIFY(general);
        const bool same = samePixels(fast, general);
        FreeImage_Unload(fast);
        // Through Image too: the encoder's copy is FreeImage's bitmap.
        Image image(encoded(path));
        const bool sameInImage = image.getRGB24Buffer() &&
                                 std::memcmp(image.getRGB24Buffer(), FreeImage_GetBits(general),
                                             std::size_t(FreeImage_GetPitch(general)) *
                                                 FreeImage_GetHeight(general)) == 0;
        FreeImage_Unload(general);
        QVERIFY(same);
        QVERIFY(sameInImage);
    }

    // JPEG sources go through the limited decoder and must give what the
    // general loader's accurate decode gives: the samples saved in several
    // ways, and the seeds of the JPEG fuzzing corpus (grey, RGB, CMYK, YCCK,
    // progressive, arithmetic coding, restart markers, JFIF densities, a
    // file cut short, one with an unknown marker).
    void jpegSourcesDecodedLikeTheGeneralLoader_data()
    {
        QTest::addColumn<QString>("path");
        const QStringList seeds = QDir(QStringLiteral(TESSERA_JPEG_CORPUS_DIR))
                                      .entryList({QStringLiteral("*.jpg")}, QDir::Files);
        for (const QString& name : seeds) {
            // Too many components, and Exif segments that the general
            // loader's metadata reader itself crashes on, have no reference.
            if (!name.startsWith(QLatin1String("components")) &&
                !name.startsWith(QLatin1String("exif")))
                QTest::newRow(qPrintable(name))
                    << QStringLiteral(TESSERA_JPEG_CORPUS_DIR "/") + name;
        }
        for (const char* sample : {"coffee", "chelsea"}) {
            for (const char* way : {"default", "444", "progressive", "grey"})
                QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(sample, way)))
                    << QStringLiteral("%1|%2").arg(sample, way);
        }
    }
    void jpegSourcesDecodedLikeTheGeneralLoader()
    {
        QFETCH(QString, path);
        ScratchDir dir;
        if (path.contains(QLatin1Char('|'))) {
            const QString sample = path.section(QLatin1Char('|'), 0, 0);
            const QString way = path.section(QLatin1Char('|'), 1);
            FIBITMAP* picture = FreeImage_Load(
                FIF_PNG,
                encoded(QStringLiteral(TESSERA_SAMPLES_DIR "/%1.png").arg(sample)).c_str());
            QVERIFY(picture);
            if (way == QLatin1String("grey")) {
                FIBITMAP* grey = FreeImage_ConvertToGreyscale(picture);
                FreeImage_Unload(picture);
                picture = grey;
            }
            const int flags = way == QLatin1String("444")           ? JPEG_SUBSAMPLING_444
                              : way == QLatin1String("progressive") ? JPEG_PROGRESSIVE
                                                                    : 0;
            path = dir.file("saved.jpg");
            const bool saved = FreeImage_Save(FIF_JPEG, picture, encoded(path).c_str(), flags);
            FreeImage_Unload(picture);
            QVERIFY(saved);
        }
        FIBITMAP* general = FreeImage_Load(FIF_JPEG, encoded(path).c_str(), JPEG_ACCURATE);
        QVERIFY(general);
        FIBITMAP* general24 = FreeImage_ConvertTo24Bits(general);
        FreeImage_Unload(general);
        const Image image(encoded(path));
        const bool same = image.getRGB24Buffer() &&
                          image.getWidth() == FreeImage_GetWidth(general24) &&
                          image.getHeight() == FreeImage_GetHeight(general24) &&
                          std::memcmp(image.getRGB24Buffer(), FreeImage_GetBits(general24),
                                      std::size_t(FreeImage_GetPitch(general24)) *
                                          FreeImage_GetHeight(general24)) == 0;
        FreeImage_Unload(general24);
        QVERIFY(same);
        // Each warning once: the file is read once.
        const QStringList lines =
            image.getLoadMessage().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), QSet<QString>(lines.begin(), lines.end()).size());
    }

    // What the general loader crashed on or ran out of memory with is refused
    // from the header, with a reason.
    void hostileJpegHeadersRefused()
    {
        Image components(TESSERA_JPEG_CORPUS_DIR "/components-10.jpg");
        expectEmpty(components);
        QVERIFY2(components.getLoadMessage().contains(QLatin1String("10 colour components")),
                 qPrintable(components.getLoadMessage()));
        ScratchDir dir;
        QFile file(dir.file("comments.jpg"));
        const QByteArray whole = contents(TESSERA_JPEG_CORPUS_DIR "/s2-p0-s0.jpg");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(whole.left(2));
        for (std::size_t i = 0; i <= JpegDecoder::MAX_SEGMENTS; ++i)
            file.write(QByteArray("\xff\xfe\x00\x02", 4));
        file.write(whole.mid(2));
        file.close();
        QElapsedTimer timer;
        timer.start();
        Image comments(encoded(dir.file("comments.jpg")));
        QVERIFY(timer.elapsed() < 1000);
        expectEmpty(comments);
        QVERIFY2(comments.getLoadMessage().contains(QLatin1String("marker segments")),
                 qPrintable(comments.getLoadMessage()));
    }

    void formatFoundByContentThenByName()
    {
        ScratchDir dir;
        // A PNG under a name that says nothing: found by its signature.
        QVERIFY(
            TestPictures::write(dir.file("picture.dat"), 4, 4, TestPictures::Kind::Colour, "png"));
        QVERIFY(Image(encoded(dir.file("picture.dat"))).getRGB24Buffer());
        // A PNG named .jpg: the content wins over the name.
        QVERIFY(TestPictures::write(dir.file("png.jpg"), 4, 4, TestPictures::Kind::Colour, "png"));
        QVERIFY(Image(encoded(dir.file("png.jpg"))).getRGB24Buffer());
        // Targa files carry no signature at their start; the name helps.
        FreeImage_Initialise(FALSE);
        FIBITMAP* bitmap = FreeImage_Allocate(3, 2, 24);
        QVERIFY(FreeImage_Save(FIF_TARGA, bitmap, encoded(dir.file("t.tga")).c_str(), 0));
        FreeImage_Unload(bitmap);
        QCOMPARE(Image(encoded(dir.file("t.tga"))).getWidth(), 3u);
        // Random bytes named .png are tried as PNG and refused.
        QFile junk(dir.file("junk.png"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(300, 'x'));
        junk.close();
        expectEmpty(Image(encoded(dir.file("junk.png"))));
    }

    void nonAsciiNamesOpen()
    {
        ScratchDir dir;
        const QString path = dir.file(QStringLiteral("\u017e\u00f3\u0142w \u732b.png"));
        QVERIFY(TestPictures::write(path, 4, 4));
        Image image(encoded(path));
        QCOMPARE(image.getWidth(), 4u);
    }

    void unusableFilesGiveEmptyPictures()
    {
        ScratchDir dir;
        expectEmpty(Image(encoded(dir.file("missing.png"))));
        expectEmpty(Image(encoded(dir.path()))); // a directory

        QFile empty(dir.file("empty.png"));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        expectEmpty(Image(encoded(dir.file("empty.png"))));

        // A FIFO would block a reader forever; it must be refused unopened.
        const QByteArray fifo = QFile::encodeName(dir.file("pipe.png"));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        expectEmpty(Image(fifo.toStdString()));

        QVERIFY(TestPictures::write(dir.file("whole.png"), 64, 64));
        QFile whole(dir.file("whole.png"));
        QVERIFY(whole.open(QIODevice::ReadOnly));
        const QByteArray bytes = whole.readAll();
        QFile half(dir.file("half.png"));
        QVERIFY(half.open(QIODevice::WriteOnly));
        half.write(bytes.left(bytes.size() / 2));
        half.close();
        Image truncated(encoded(dir.file("half.png")));
        if (!truncated.getRGB24Buffer())
            QVERIFY(!truncated.getLoadMessage().isEmpty());
    }

    void hugeHeaderIsRefusedWithoutDecoding()
    {
        ScratchDir dir;
        const QByteArray bytes = jpegClaiming(dir, 65500, 65500);
        QVERIFY(!bytes.isEmpty());
        QVERIFY(bytes.size() < 2000);
        QFile file(dir.file("huge.jpg"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();

        QElapsedTimer timer;
        timer.start();
        Image image(encoded(dir.file("huge.jpg")));
        QVERIFY2(timer.elapsed() < 1000, "the header alone must decide");
        expectEmpty(image);
        QVERIFY(image.getLoadMessage().contains("65500"));
    }
    // The longer BMP headers most programs write, which the general loader
    // refuses, give the picture the short header gives.
    void longBmpHeadersRead()
    {
        ScratchDir dir;
        for (unsigned infoSize : {40u, 108u, 124u}) {
            for (bool bitfields : {false, true}) {
                const QString path =
                    dir.file(QStringLiteral("p%1%2.bmp").arg(infoSize).arg(bitfields));
                QFile file(path);
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write(bmpFile(infoSize, bitfields));
                file.close();
                Image image(encoded(path));
                QVERIFY2(image.getRGB32Buffer(), qPrintable(path + ": " + image.getLoadMessage()));
                QCOMPARE(image.getWidth(), 3u);
                QCOMPARE(image.getHeight(), 2u);
                const uchar* top = image.getRGB32Buffer();
                const uchar* lastOfBottom = top + (3 + 2) * 4;
                QCOMPARE(QList<int>({top[0], top[1], top[2]}), QList<int>({200, 100, 1}));
                QCOMPARE(QList<int>({lastOfBottom[0], lastOfBottom[1], lastOfBottom[2]}),
                         QList<int>({200, 101, 21}));
            }
        }
    }

    // Every kind of run: a run, a move, literal pixels, a row and the
    // picture ended early (the pixels skipped being colour 0); and files
    // whose runs leave a row or stop short, which are refused.
    void runLengthBmpsRead()
    {
        ScratchDir dir;
        const QList<int> expected = {7, 8, 9, 0, 0, 0, 5, 6, 1, 1, 1, 1}; // top row first
        const QByteArray rle8("\x04\x01\x00\x00"
                              "\x00\x02\x02\x00\x01\x05\x01\x06\x00\x00"
                              "\x00\x03\x07\x08\x09\x00\x00\x01",
                              22);
        const QByteArray rle4("\x04\x11\x00\x00"
                              "\x00\x02\x02\x00\x02\x56\x00\x00"
                              "\x00\x03\x78\x90\x00\x01",
                              18);
        for (const auto& [bits, runs] : {std::pair{8u, rle8}, std::pair{4u, rle4}}) {
            const QString path = dir.file(QStringLiteral("rle%1.bmp").arg(bits));
            QVERIFY(writeFile(path, runLengthBmp(bits, runs)));
            Image image(encoded(path));
            QVERIFY2(image.getRGB32Buffer(), qPrintable(path + ": " + image.getLoadMessage()));
            QCOMPARE(image.getWidth(), 4u);
            QCOMPARE(image.getHeight(), 3u);
            for (int i = 0; i < 12; ++i) {
                const uchar* p = image.getRGB32Buffer() + 4 * i;
                const int c = expected[i];
                QCOMPARE(QList<int>({p[0], p[1], p[2]}), QList<int>({10 * c, 20 * c, 5 * c}));
            }
        }
        const QByteArray pastRow("\x05\x01\x00\x01", 4);
        const QByteArray stopsShort("\x04\x01\x00\x00\x04\x02", 6);
        for (const QByteArray& runs : {pastRow, stopsShort}) {
            for (unsigned bits : {8u, 4u}) {
                const QString path = dir.file(QStringLiteral("damaged%1.bmp").arg(bits));
                QVERIFY(writeFile(path, runLengthBmp(bits, runs)));
                expectEmpty(Image(encoded(path)));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestImage)
#include "tst_core_image.moc"
