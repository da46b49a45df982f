// SPDX-License-Identifier: GPL-3.0-or-later
// The compressor decodes its JPEG from memory by a faster road than the
// general picture loader; every picture the user can see must come out the
// same either way.

#include "CompressionResult.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "TestPictures.h"

#include <QFile>
#include <QTest>

#include <cstring>
#include <memory>

namespace {

bool sameBytes(const unsigned char* a, const unsigned char* b, std::size_t n)
{
    return a && b && std::memcmp(a, b, n) == 0;
}

} // namespace

class TestScratchDecoding : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Image::initImage(); }

    void decodedPictureMatchesTheGeneralLoader_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("lumaH");
        QTest::addColumn<int>("lumaV");
        QTest::addColumn<bool>("grey");
        QTest::addColumn<bool>("progressive");

        const int colour = int(TestPictures::Kind::Colour);
        QTest::newRow("4:4:4") << 37 << 23 << colour << 1 << 1 << false << false;
        QTest::newRow("2x2 luma, odd size") << 45 << 31 << colour << 2 << 2 << false << false;
        QTest::newRow("2x1 luma") << 40 << 9 << colour << 2 << 1 << false << false;
        QTest::newRow("1x2 luma, progressive") << 17 << 33 << colour << 1 << 2 << false << true;
        QTest::newRow("grey output") << 30 << 20 << colour << 1 << 1 << true << false;
        QTest::newRow("grey source")
            << 21 << 14 << int(TestPictures::Kind::Grey) << 2 << 2 << false << false;
        QTest::newRow("one pixel") << 1 << 1 << colour << 1 << 1 << false << false;
    }

    void decodedPictureMatchesTheGeneralLoader()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, kind);
        QFETCH(int, lumaH);
        QFETCH(int, lumaV);
        QFETCH(bool, grey);
        QFETCH(bool, progressive);

        ScratchDir dir;
        const QString path = dir.file("source.png");
        QVERIFY(TestPictures::write(path, width, height, TestPictures::Kind(kind)));
        Image source(QFile::encodeName(path).toStdString());
        JPEGCompressor compressor;
        compressor.setImage(&source);
        JPEGSettings* s = compressor.getSettings();
        s->setCompressionMode(JPEGSettings::EXTENDED);
        s->setProgressiveMode(progressive);
        s->setGrayscaleOutput(grey);
        s->setQuality(40);
        s->getCurrentQuantizationTables()[0] = true;
        s->downsampling[0].horizontal = lumaH;
        s->downsampling[0].vertical = lumaV;
        const std::unique_ptr<CompressionResult> result(compressor.compressImage());
        QVERIFY(result);
        const Image* fast = result->getCompressedImage();
        QFile written(dir.file("written.jpg"));
        QVERIFY(written.open(QIODevice::WriteOnly));
        QCOMPARE(written.write(result->getCompressedBytes()), result->getCompressedSize());
        written.close();
        const Image general(QFile::encodeName(written.fileName()).toStdString());

        QVERIFY(general.getRGB32Buffer());
        QCOMPARE(fast->getWidth(), general.getWidth());
        QCOMPARE(fast->getHeight(), general.getHeight());
        QCOMPARE(fast->getImageSize(), general.getImageSize());
        QCOMPARE(fast->getRGB24Pitch(), general.getRGB24Pitch());
        const std::size_t bytes32 = std::size_t(width) * height * 4;
        QVERIFY(sameBytes(fast->getRGB32Buffer(), general.getRGB32Buffer(), bytes32));
        QVERIFY(sameBytes(fast->getRGB24Buffer(), general.getRGB24Buffer(),
                          std::size_t(general.getRGB24Pitch()) * height));
        QVERIFY(result->getMSE() > 0);
    }

    // A stream the fast road refuses goes through the general JPEG decoder
    // in memory, with the outcome the general loader has for the same file:
    // a JPEG cut short decodes with a warning, a broken one not at all.
    void refusedStreamsFallBack()
    {
        ScratchDir dir;
        QVERIFY(TestPictures::write(dir.file("source.png"), 160, 128));
        Image source(QFile::encodeName(dir.file("source.png")).toStdString());
        JPEGCompressor compressor;
        compressor.setImage(&source);
        const std::unique_ptr<CompressionResult> result(compressor.compressImage());
        QVERIFY(result);
        const QByteArray cut = result->getCompressedBytes().left(result->getCompressedSize() / 2);
        QFile file(dir.file("cut.jpg"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(cut);
        file.close();
        const Image general(QFile::encodeName(file.fileName()).toStdString());
        const std::unique_ptr<Image> fromMemory(Image::loadEncodedJpeg(cut));
        QVERIFY(general.getRGB32Buffer());
        QVERIFY(!fromMemory->getLoadMessage().isEmpty());
        QCOMPARE(fromMemory->getImageSize(), (unsigned long)cut.size());
        QCOMPARE(fromMemory->getWidth(), 160u);
        QVERIFY(sameBytes(fromMemory->getRGB32Buffer(), general.getRGB32Buffer(), 160 * 128 * 4));

        const std::unique_ptr<Image> broken(
            Image::loadEncodedJpeg(QByteArray("\xff\xd8\xff\xe0 not really a JPEG")));
        QVERIFY(!broken->getRGB24Buffer());
        QVERIFY(!broken->getRGB32Buffer());
        QVERIFY(!broken->getLoadMessage().isEmpty());
        const std::unique_ptr<Image> empty(Image::loadEncodedJpeg(QByteArray()));
        QVERIFY(!empty->getRGB32Buffer());
    }
};

QTEST_MAIN(TestScratchDecoding)
#include "tst_batch_scratch.moc"
