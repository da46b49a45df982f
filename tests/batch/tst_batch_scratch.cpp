// The compressor reads its scratch JPEG back by a faster road than the
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
        const Image general(JPEGCompressor::SCRATCH_FILE);

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

    // A scratch file the fast road cannot read goes the general way, with
    // the same outcome as before.
    void unreadableScratchFileFallsBack()
    {
        ScratchDir dir;
        QFile file(dir.file("broken.jpg"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\xff\xd8\xff\xe0 not really a JPEG");
        file.close();
        const std::unique_ptr<Image> image(
            Image::loadEncodedJpeg(QFile::encodeName(file.fileName()).toStdString()));
        QVERIFY(!image->getRGB24Buffer());
        QVERIFY(!image->getRGB32Buffer());
        QVERIFY(!image->getLoadMessage().isEmpty());
    }
};

QTEST_MAIN(TestScratchDecoding)
#include "tst_batch_scratch.moc"
