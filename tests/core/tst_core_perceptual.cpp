// SPDX-License-Identifier: GPL-3.0-or-later
#include "Butteraugli.h"
#include "CompressionResult.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "Ssimulacra2.h"
#include "TestPictures.h"

#include <jxl/butteraugli.h>

#include <QFile>
#include <QProcess>
#include <QTest>

#include <cmath>
#include <memory>
#include <vector>

namespace {

using TestPictures::encoded;

// A 32-bit picture written losslessly as a binary PPM.
bool writePpm(const Image& picture, const QString& path)
{
    const unsigned w = picture.getWidth(), h = picture.getHeight();
    QByteArray data = QStringLiteral("P6\n%1 %2\n255\n").arg(w).arg(h).toLatin1();
    const unsigned char* p = picture.getRGB32Buffer();
    for (std::size_t i = 0; i < std::size_t(w) * h; ++i, p += 4)
        data.append(char(p[2])).append(char(p[1])).append(char(p[0]));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

bool run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// The two distances straight from the library at 80 nits, for comparison.
bool libraryDistances(const Image& a, const Image& b, double& max, double& norm3)
{
    const unsigned w = a.getWidth(), h = a.getHeight();
    std::vector<unsigned char> rgb[2];
    const Image* pictures[2] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
        const unsigned char* p = pictures[i]->getRGB32Buffer();
        for (std::size_t k = 0; k < std::size_t(w) * h; ++k, p += 4)
            rgb[i].insert(rgb[i].end(), {p[2], p[1], p[0]});
    }
    JxlButteraugliApi* api = JxlButteraugliApiCreate(nullptr);
    JxlButteraugliApiSetIntensityTarget(api, 80.0f);
    const JxlPixelFormat format = {3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    JxlButteraugliResult* result = JxlButteraugliCompute(
        api, w, h, &format, rgb[0].data(), rgb[0].size(), &format, rgb[1].data(), rgb[1].size());
    JxlButteraugliApiDestroy(api);
    if (!result)
        return false;
    max = JxlButteraugliResultGetMaxDistance(result);
    norm3 = JxlButteraugliResultGetDistance(result, 3.0f);
    JxlButteraugliResultDestroy(result);
    return true;
}

std::unique_ptr<CompressionResult> compressed(Image& source, int quality)
{
    JPEGCompressor compressor;
    compressor.setImage(&source);
    compressor.getSettings()->setAutoQualityEnabled(true);
    compressor.getSettings()->setQuality(quality);
    return std::unique_ptr<CompressionResult>(compressor.compressImage());
}

} // namespace

class TestPerceptual : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Image::initImage(); }

    // Scores of the published reference implementations for the samples
    // compressed by cjpeg -quality Q from a lossless PPM, decoded by djpeg.
    void agreesWithReference_data()
    {
        QTest::addColumn<QString>("picture");
        QTest::addColumn<int>("quality");
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<double>("score");
        QTest::addColumn<double>("max");
        QTest::addColumn<double>("norm3");
        const struct
        {
            const char* picture;
            int quality;
            qint64 bytes;
            double score, max, norm3;
        } rows[] = {
            {"coffee.png", 20, 15205, 32.25084762, 8.37415695, 3.05080509},
            {"coffee.png", 50, 27355, 60.66363494, 5.49623156, 1.92914987},
            {"coffee.png", 75, 41606, 71.46370596, 3.90671539, 1.40328503},
            {"coffee.png", 90, 72326, 82.29746558, 2.44668746, 0.88791537},
            {"chelsea.png", 20, 7921, 41.30717969, 5.41772461, 2.63163805},
            {"chelsea.png", 50, 13773, 67.96559595, 3.72687101, 1.54275882},
            {"chelsea.png", 75, 20685, 77.64827313, 2.84647322, 1.12900174},
            {"chelsea.png", 90, 35042, 86.66777938, 1.81929219, 0.70029944},
        };
        for (const auto& r : rows)
            QTest::addRow("%s q%d", r.picture, r.quality)
                << QString::fromLatin1(r.picture) << r.quality << r.bytes << r.score << r.max
                << r.norm3;
    }

    void agreesWithReference()
    {
        QFETCH(QString, picture);
        QFETCH(int, quality);
        QFETCH(qint64, bytes);
        QFETCH(double, score);
        QFETCH(double, max);
        QFETCH(double, norm3);
        ScratchDir dir;
        Image source(encoded(QStringLiteral(TESSERA_SAMPLES_DIR "/") + picture));
        QVERIFY(source.getRGB32Buffer());
        const QString ppm = dir.file("source.ppm"), jpeg = dir.file("q.jpg");
        const QString decodedPath = dir.file("decoded.ppm");
        QVERIFY(writePpm(source, ppm));
        QVERIFY(run("cjpeg", {"-quality", QString::number(quality), "-outfile", jpeg, ppm}));
        QCOMPARE(QFileInfo(jpeg).size(), bytes);
        QVERIFY(run("djpeg", {"-ppm", "-outfile", decodedPath, jpeg}));
        auto* decoded = new Image(encoded(decodedPath));
        QVERIFY(decoded->getRGB32Buffer());
        CompressionResult result(&source, decoded, JPEGSettings());

        const double ours = result.figure(Figure::SSIMULACRA2);
        qInfo("SSIMULACRA 2 %.4f, reference %.4f, difference %+.4f", ours, score, ours - score);
        QVERIFY(std::abs(ours - score) <= 1.0);

        double libraryMax = 0, libraryNorm3 = 0;
        QVERIFY(libraryDistances(source, *decoded, libraryMax, libraryNorm3));
        QCOMPARE(result.figure(Figure::Butteraugli), libraryMax);
        QCOMPARE(result.figure(Figure::Butteraugli3Norm), libraryNorm3);
        QVERIFY(std::abs(libraryMax / max - 1) <= 0.01);
        QVERIFY(std::abs(libraryNorm3 / norm3 - 1) <= 0.01);
    }

    // Better quality settings score higher, down to identical pictures.
    // From the second compression on, the score is taken against the
    // source's reference: the same to the bit as from both pictures.
    void scoreRisesWithQuality()
    {
        Image source(encoded(QStringLiteral(TESSERA_SAMPLES_DIR "/chelsea.png")));
        QVERIFY(source.getRGB32Buffer());
        const int width = int(source.getWidth()), height = int(source.getHeight());
        const unsigned char* p = source.getRGB32Buffer();
        Ssimulacra2::Workspace ws;
        double previous = -1e9;
        for (int quality : {5, 15, 30, 45, 60, 70, 80, 88, 94, 98, 100}) {
            const auto result = compressed(source, quality);
            QVERIFY(result);
            const double s = result->figure(Figure::SSIMULACRA2);
            QVERIFY2(
                s > previous,
                qPrintable(QStringLiteral("q%1: %2 after %3").arg(quality).arg(s).arg(previous)));
            QCOMPARE(s, Ssimulacra2::score(ws, p, result->getCompressedImage()->getRGB32Buffer(),
                                           width, height));
            previous = s;
        }
        const Ssimulacra2::Reference* reference = source.ssimulacra2Reference();
        QVERIFY(reference);
        QCOMPARE(Ssimulacra2::score(ws, p, p, width, height), 100.0);
        QCOMPARE(Ssimulacra2::score(ws, *reference, p), 100.0);
    }

    // The taps down the columns and along the rows make one Gaussian: an impulse comes out
    // symmetric, with the mass of a sampled Gaussian of sigma 1.5 within a few thousandths.
    void blurIsAGaussian()
    {
        constexpr int n = 41, c = 20;
        std::vector<float> in(n * n, 0.0f), out(n * n);
        in[c * n + c] = 1.0f;
        Ssimulacra2::blur(in.data(), out.data(), n, n);
        double total = 0, gauss = 0;
        for (int d = -4; d <= 4; ++d)
            gauss += std::exp(-d * d / 4.5);
        for (int y = 0; y < n; ++y) {
            for (int x = 0; x < n; ++x) {
                total += out[y * n + x];
                QVERIFY(std::abs(out[y * n + x] - out[x * n + y]) < 1e-6f);
                const int dx = x - c, dy = y - c;
                const double expected = std::exp(-(dx * dx + dy * dy) / 4.5) / (gauss * gauss);
                QVERIFY2(std::abs(out[y * n + x] - expected) < 3e-3,
                         qPrintable(QStringLiteral("(%1, %2)").arg(dx).arg(dy)));
            }
        }
        QVERIFY(std::abs(total - 1.0) < 1e-4);
    }

    // The score does not depend on which way up the pictures are, where no
    // side is odd at any scale: the sweeps that take the lower half of a
    // scale's rows apart from the upper half blur across their border as
    // one sweep would.
    void sameScoreUpsideDown()
    {
        Image source(encoded(QStringLiteral(TESSERA_SAMPLES_DIR "/chelsea.png")));
        QVERIFY(source.getRGB32Buffer());
        const auto result = compressed(source, 40);
        QVERIFY(result);
        const int width = int(source.getWidth()), rows = 256; // 256, 128, ..., 8
        QVERIFY(int(source.getHeight()) >= rows);
        const unsigned char* pictures[2] = {source.getRGB32Buffer(),
                                            result->getCompressedImage()->getRGB32Buffer()};
        const std::size_t row = std::size_t(width) * 4;
        std::vector<unsigned char> upright[2], flipped[2];
        for (int i = 0; i < 2; ++i) {
            upright[i].assign(pictures[i], pictures[i] + rows * row);
            for (int y = rows - 1; y >= 0; --y)
                flipped[i].insert(flipped[i].end(), pictures[i] + y * row,
                                  pictures[i] + (y + 1) * row);
        }
        Ssimulacra2::Workspace ws;
        const double a = Ssimulacra2::score(ws, upright[0].data(), upright[1].data(), width, rows);
        const double b = Ssimulacra2::score(ws, flipped[0].data(), flipped[1].data(), width, rows);
        QVERIFY2(a > 0 && a < 100 && std::abs(a - b) < 1e-3,
                 qPrintable(QStringLiteral("%1 %2").arg(a).arg(b)));
    }

    // Grey pictures (R = G = B) have both figures; pictures below eight
    // pixels a side have neither, rather than a made-up perfect score.
    void greyAndTinyPictures()
    {
        ScratchDir dir;
        QVERIFY(TestPictures::write(dir.file("grey.png"), 64, 48, TestPictures::Kind::Grey));
        QVERIFY(TestPictures::write(dir.file("tiny.png"), 7, 30));
        Image grey(encoded(dir.file("grey.png")));
        const auto greyResult = compressed(grey, 40);
        QVERIFY(greyResult);
        const double s = greyResult->figure(Figure::SSIMULACRA2);
        QVERIFY(s > 0 && s < 100);
        QVERIFY(greyResult->figure(Figure::Butteraugli) > 0);
        QVERIFY(greyResult->getButteraugliMap());

        Image tiny(encoded(dir.file("tiny.png")));
        const auto tinyResult = compressed(tiny, 40);
        QVERIFY(tinyResult);
        QVERIFY(std::isnan(tinyResult->figure(Figure::SSIMULACRA2)));
        QVERIFY(std::isnan(tinyResult->figure(Figure::Butteraugli)));
        QVERIFY(std::isnan(tinyResult->figure(Figure::Butteraugli3Norm)));
        QVERIFY(!tinyResult->getButteraugliMap());
    }
};

QTEST_GUILESS_MAIN(TestPerceptual)
#include "tst_core_perceptual.moc"
