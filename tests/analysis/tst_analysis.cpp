// SPDX-License-Identifier: GPL-3.0-or-later
// The Bjøntegaard figures against numbers computed independently (SciPy's
// monotone cubic interpolant, bd_reference.py) and curves with known answers;
// the CSV reader on well-formed and broken text; curves grouped from rows.
#include "BDCommand.h"
#include "BDRate.h"
#include "CsvReader.h"
#include "Curves.h"
#include "SettingsText.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>

using BDRate::Point;

namespace {

std::vector<Point> scaled(std::vector<Point> curve, double rateFactor, double figureShift)
{
    for (Point& p : curve) {
        p.rate *= rateFactor;
        p.quality += figureShift;
    }
    return curve;
}

const std::vector<Point> smoothRef{{0.25, 30.1}, {0.5, 33.4}, {1.0, 36.9}, {2.0, 40.2}};

const QByteArray sweepHeader =
    "picture,entry_index,mode,dct,smoothing,quality,bpp,psnr,ssim,status\r\n";

// Two pictures; DCT int and float at four qualities, float at 90 % of the
// rate; on picture b a failed row and a smoothing variant of int that merges
// into int's points when curves are grouped by DCT only.
QByteArray sweepText()
{
    QByteArray text = sweepHeader;
    const double psnr[] = {30.1, 33.4, 36.9, 40.2};
    const double bpp[] = {0.25, 0.5, 1.0, 2.0};
    for (const char* picture : {"a.png", "b.png"}) {
        const double scale = picture[0] == 'a' ? 1.0 : 2.0;
        for (int q = 0; q < 4; ++q) {
            for (const char* dct : {"int", "float"}) {
                const double rate = bpp[q] * scale * (dct[0] == 'f' ? 0.9 : 1.0);
                text += QStringLiteral("%1,0,Baseline,%2,0,%3,%4,%5,0.9,ok\r\n")
                            .arg(picture, dct)
                            .arg(50 + 10 * q)
                            .arg(rate, 0, 'g', 17)
                            .arg(psnr[q], 0, 'g', 17)
                            .toUtf8();
            }
        }
    }
    text += "b.png,0,Baseline,int,0,60,9,99,0.9,failed\r\n";
    text += "b.png,0,Baseline,int,10,60,3.0,33.4,0.9,ok\r\n";
    return text;
}

} // namespace

class TestAnalysis : public QObject
{
    Q_OBJECT

private slots:
    void bdAgainstReference_data();
    void bdAgainstReference();
    void bdKnownAnswers();
    void bdRefusesWhatItCannotCompare();
    void csvReadsRfc4180();
    void csvRefusesMalformedText_data();
    void csvRefusesMalformedText();
    void curvesGroupAverageAndCompare();
    void bdRateCommand();
    void bdOnARealSweep();
    void bdPairsOnAMixedSweep();
};

void TestAnalysis::bdAgainstReference_data()
{
    QTest::addColumn<std::vector<Point>>("reference");
    QTest::addColumn<std::vector<Point>>("test");
    QTest::addColumn<double>("rate");
    QTest::addColumn<double>("figure");
    // Figures printed by bd_reference.py (SciPy 1.10.1).
    QTest::newRow("smooth")
        << smoothRef << std::vector<Point>{{0.22, 30.3}, {0.46, 33.6}, {0.93, 37.0}, {1.9, 40.5}}
        << -11.017450779619086 << 0.5556132529389803;
    // Uneven spacing and a near-flat stretch: the end-slope clamps and the
    // zero slopes at a secant of zero sign matter here.
    QTest::newRow("uneven")
        << std::vector<Point>{{0.1, 25.0}, {0.15, 28.5}, {0.6, 31.0}, {0.7, 35.5}, {2.5, 36.0}}
        << std::vector<Point>{{0.3, 31.5}, {0.12, 26.0}, {3.0, 38.2},
                              {0.2, 27.0}, {1.1, 33.0},  {1.6, 38.0}}
        << 19.11645725394573 << -0.16576793839602905;
    QTest::newRow("ssim") << std::vector<Point>{{0.3, 0.80}, {0.6, 0.90}, {1.2, 0.95}, {2.4, 0.985}}
                          << std::vector<Point>{{0.35, 0.83},
                                                {0.7, 0.915},
                                                {1.1, 0.948},
                                                {2.0, 0.97}}
                          << -0.6361861099056343 << 0.0005945863565970477;
}

void TestAnalysis::bdAgainstReference()
{
    QFETCH(std::vector<Point>, reference);
    QFETCH(std::vector<Point>, test);
    QFETCH(double, rate);
    QFETCH(double, figure);
    const auto r = BDRate::rateDelta(reference, test);
    const auto f = BDRate::qualityDelta(reference, test);
    QVERIFY(r && f);
    QVERIFY2(std::abs(*r - rate) < 1e-9, qPrintable(QString::number(*r, 'g', 17)));
    QVERIFY2(std::abs(*f - figure) < 1e-9 * std::max(1.0, std::abs(figure)),
             qPrintable(QString::number(*f, 'g', 17)));
}

void TestAnalysis::bdKnownAnswers()
{
    // The same curve at 80 % of the rate saves exactly 20 %, at 125 % costs
    // exactly 25 %; the same curve 1 dB higher gains exactly 1 dB.
    QCOMPARE(qRound64(*BDRate::rateDelta(smoothRef, scaled(smoothRef, 0.8, 0)) * 1e9),
             -20000000000LL);
    QCOMPARE(qRound64(*BDRate::rateDelta(smoothRef, scaled(smoothRef, 1.25, 0)) * 1e9),
             25000000000LL);
    QCOMPARE(qRound64(*BDRate::qualityDelta(smoothRef, scaled(smoothRef, 1, 1)) * 1e9),
             1000000000LL);
    QCOMPARE(*BDRate::rateDelta(smoothRef, smoothRef), 0.0);

    // A monotone interpolant integrates a straight line exactly.
    const BDRate::MonotoneCubic line({0, 1, 3, 4}, {1, 3, 7, 9});
    QCOMPARE(line.integral(0.5, 3.5), 15.0);
    QCOMPARE(line(2), 5.0);
    // No overshoot between monotone data.
    const BDRate::MonotoneCubic step({0, 1, 2, 3}, {0, 0, 1, 1});
    for (double x = 0; x <= 3; x += 0.125)
        QVERIFY(step(x) >= 0 && step(x) <= 1);
}

void TestAnalysis::bdRefusesWhatItCannotCompare()
{
    const std::vector<Point> three(smoothRef.begin(), smoothRef.begin() + 3);
    QVERIFY(!BDRate::rateDelta(smoothRef, three));
    QVERIFY(!BDRate::qualityDelta(three, smoothRef));
    // Four points of which two coincide are three.
    auto doubled = three;
    doubled.push_back(three.back());
    QVERIFY(!BDRate::rateDelta(smoothRef, doubled));
    // Disjoint figure ranges, a zero rate, an infinite PSNR.
    QVERIFY(!BDRate::rateDelta(smoothRef, scaled(smoothRef, 1, 20)));
    auto zero = smoothRef;
    zero[0].rate = 0;
    QVERIFY(!BDRate::rateDelta(smoothRef, zero));
    auto infinite = smoothRef;
    infinite[3].quality = INFINITY;
    QVERIFY(!BDRate::rateDelta(infinite, smoothRef));
}

void TestAnalysis::csvReadsRfc4180()
{
    QString error;
    const QByteArray text = "\xEF\xBB\xBFpicture,message,bpp\r\n"
                            "\"/p/a, b.png\",\"said \"\"no\"\"\r\ntwice\",1.5\r\n"
                            "/p/\xC5\xBE.png,,inf\n"
                            "/p/c.png,\"\",";
    const auto table = CsvTable::parse(text, &error);
    QVERIFY2(table, qPrintable(error));
    QCOMPARE(table->header(), QStringList({"picture", "message", "bpp"}));
    QCOMPARE(table->count(), 3);
    QCOMPARE(table->text(0, 0), QString("/p/a, b.png"));
    QCOMPARE(table->text(0, 1), QString("said \"no\"\r\ntwice"));
    QCOMPARE(table->number(0, 2), 1.5);
    QCOMPARE(table->text(1, 0), QString::fromUtf8("/p/\xC5\xBE.png"));
    QVERIFY(std::isinf(table->number(1, 2)));
    QCOMPARE(table->record(2), QStringList({"/p/c.png", "", ""}));
    QVERIFY(std::isnan(table->number(2, 2)));
    QCOMPARE(table->column("bpp"), 2);
    QCOMPARE(table->column("psnr"), -1);

    // What a stopped writer left: records up to the last line end, however
    // the rest was cut (in a quoted field, before the LF of a CR LF).
    const QByteArray cut = "a,b\r\n1,\"x\r\ny\"\r\n";
    for (const QByteArray& rest : {QByteArray("2,\"z"), QByteArray("2,3\r"), QByteArray("2,")}) {
        qsizetype complete = -1;
        const auto partial = CsvTable::parse(cut + rest, &error, &complete);
        QVERIFY2(partial, qPrintable(error));
        QCOMPARE(partial->count(), 1);
        QCOMPARE(partial->record(0), QStringList({"1", "x\r\ny"}));
        QCOMPARE(complete, cut.size());
    }
    QVERIFY(!CsvTable::parse(cut + "2,\"z", &error));

    // A sweep written before preset 9 was named after Annex K reads with its
    // current name; other names, and other columns, stay as written.
    const auto old = CsvTable::parse("luminance_table,chrominance_table,message\r\n"
                                     "Chrominance standard,Chrominance standard,"
                                     "Chrominance standard\r\n"
                                     "t.txt:0,Luminance 1,\r\n",
                                     &error);
    QVERIFY2(old, qPrintable(error));
    const QString k1 = SettingsText::tableName(QuantizationTable(JPEGSettings::presets[9]));
    QCOMPARE(k1, QString("Annex K luminance (K.1)"));
    QCOMPARE(old->record(0), QStringList({k1, k1, "Chrominance standard"}));
    QCOMPARE(old->record(1), QStringList({"t.txt:0", "Luminance 1", ""}));
}

void TestAnalysis::csvRefusesMalformedText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("reason");
    QTest::newRow("open quote") << QByteArray("a,b\r\n1,\"2\r\n")
                                << "line 2: a quoted field is not closed";
    QTest::newRow("quote in bare field")
        << QByteArray("a,b\r\n1,x\"y\r\n") << "line 2: a quote inside";
    QTest::newRow("after closing quote") << QByteArray("a,b\n\"1\"x,2\n") << "line 2: text after";
    QTest::newRow("short record") << QByteArray("a,b\r\n1,2\r\n3\r\n") << "record 3 has 1 fields";
    QTest::newRow("not utf-8") << QByteArray("a,b\r\n\xE9,2\r\n") << "not UTF-8";
    QTest::newRow("empty") << QByteArray() << "no header";
}

void TestAnalysis::csvRefusesMalformedText()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, reason);
    QString error;
    QVERIFY(!CsvTable::parse(text, &error));
    QVERIFY2(error.contains(reason), qPrintable(error));
}

void TestAnalysis::curvesGroupAverageAndCompare()
{
    const QByteArray text = sweepText();
    QString error;
    const auto table = CsvTable::parse(text, &error);
    QVERIFY2(table, qPrintable(error));

    // A curve per picture and settings, whatever is compared: the smoothing
    // variant of int on b is a curve of its own, never merged into int.
    Curves::Options byDct;
    byDct.curveBy = QStringList{"dct"};
    const auto curves = Curves::perPicture(*table, byDct);
    const QStringList columns = Curves::settingColumns(*table);
    QCOMPARE(columns, (QStringList{"mode", "dct", "smoothing"}));
    QCOMPARE(curves.size(), std::size_t(5)); // a/int, a/float, b/int, b/float, b/int smoothing 10
    QCOMPARE(curves[2].picture, QString("b.png"));
    QCOMPARE(curves[2].points[1].rate, 1.0);
    QCOMPARE(curves[2].points[1].rows.size(), std::size_t(1));
    QCOMPARE(curves[4].points.size(), std::size_t(1));
    QCOMPARE(curves[1].key, QStringList{"float"});
    QCOMPARE(Curves::label(curves[4], columns, Curves::distinguishing(curves), {"dct"}),
             QString("smoothing=10"));

    // Averaged: only the qualities every picture has; int smoothing 10 has
    // one picture and its one point.
    const auto mean = Curves::averaged(curves);
    QCOMPARE(mean.size(), std::size_t(3));
    QCOMPARE(mean[1].key, QStringList{"float"});
    QCOMPARE(mean[1].pictures, (QStringList{"a.png", "b.png"}));
    QCOMPARE(mean[1].points[0].rate, (0.25 * 0.9 + 0.5 * 0.9) / 2);

    // Pairs: float against the int curve with the same other settings;
    // the smoothing variant has no partner of another dct and is not
    // compared with anything.
    const auto comparison = Curves::compare(curves, columns, {"dct"}, {"int"});
    QCOMPARE(comparison.pairs.size(), std::size_t(2));
    QCOMPARE(comparison.pairs[0].picture, QString("a.png"));
    QCOMPARE(qRound64(*comparison.pairs[0].rate * 1e9), -10000000000LL);
    QCOMPARE(qRound64(*comparison.pairs[1].rate * 1e9), -10000000000LL);
    QCOMPARE(comparison.means.size(), std::size_t(1));
    QCOMPARE(comparison.means[0].pairs, 2);
    QCOMPARE(comparison.means[0].pictures, 2);
    // Comparing by smoothing: b's int curves pair, float has no smoothing 10
    // partner on either picture and stays unpaired.
    const auto bySmoothing = Curves::compare(curves, columns, {"smoothing"}, {"0"});
    QCOMPARE(bySmoothing.pairs.size(), std::size_t(1));
    QVERIFY(bySmoothing.pairs[0].paired);
    QVERIFY(!bySmoothing.pairs[0].rate); // one point: no figure
    QCOMPARE(bySmoothing.pairs[0].context, QString("dct=int"));
}

void TestAnalysis::bdRateCommand()
{
    QTemporaryDir dir;
    const auto write = [&dir](const char* name, const QByteArray& text) {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
    };
    QVERIFY(write("sweep.csv", sweepText()));
    const QString path = dir.filePath("sweep.csv");

    auto outcome = BDCommand::run({path, "--curve-by", "dct", "--reference", "int"});
    QCOMPARE(outcome.status, 0);
    const QList<QByteArray> lines = outcome.output.split('\n');
    QCOMPARE(lines.size(), 5); // header, a, b, mean, and the final line end
    QCOMPARE(lines[0], QByteArray("picture\tcurve\tpoints\tbd_rate_percent\tbd_metric\tcontext"));
    QVERIFY2(lines[1].startsWith("a.png\tfloat\t4\t-10.000000\t"), lines[1].constData());
    QVERIFY2(lines[3].startsWith("mean\tfloat\t2\t-10.000000\t"), lines[3].constData());
    QVERIFY2(lines[3].endsWith("\tmean of 2 pairs over 2 pictures"), lines[3].constData());

    outcome = BDCommand::run({path, "--curve-by", "dct,mode", "--reference", "fast,Baseline"});
    QCOMPARE(outcome.status, 2);
    QVERIFY2(outcome.errors.contains("the curves are: int,Baseline; float,Baseline"),
             outcome.errors.constData());
    QCOMPARE(
        BDCommand::run({path, "--curve-by", "dct", "--reference", "int", "--metric", "mse"}).status,
        2);
    QCOMPARE(BDCommand::run({dir.filePath("none.csv"), "--curve-by", "dct", "--reference", "int"})
                 .status,
             2);
    // One value only: nothing to compare, said so.
    outcome = BDCommand::run({path, "--curve-by", "mode", "--reference", "Baseline"});
    QCOMPARE(outcome.status, 2);
    QVERIFY2(outcome.errors.contains("nothing to compare"), outcome.errors.constData());
    // A header only.
    QVERIFY(write("empty.csv", sweepHeader));
    outcome =
        BDCommand::run({dir.filePath("empty.csv"), "--curve-by", "dct", "--reference", "int"});
    QCOMPARE(outcome.status, 2);
    QVERIFY2(outcome.errors.contains("holds no results"), outcome.errors.constData());
    // A figure that is not a number, and one result twice with different
    // figures, refused with their lines.
    QVERIFY(write("bad.csv", sweepText() + "a.png,0,Baseline,int,0,90,abc,30,0.9,ok\r\n"));
    outcome = BDCommand::run({dir.filePath("bad.csv"), "--curve-by", "dct", "--reference", "int"});
    QCOMPARE(outcome.status, 2);
    QVERIFY2(outcome.errors.contains("line 20: bpp \"abc\" is not a number"),
             outcome.errors.constData());
    QVERIFY(write("twice.csv", sweepText() + "a.png,0,Baseline,int,0,50,0.3,30.1,0.9,ok\r\n"));
    outcome =
        BDCommand::run({dir.filePath("twice.csv"), "--curve-by", "dct", "--reference", "int"});
    QCOMPARE(outcome.status, 2);
    QVERIFY2(outcome.errors.contains("lines 2 and 20"), outcome.errors.constData());
    // The same result twice (the same figures) is one point.
    QVERIFY(write("same.csv", sweepText() + "a.png,0,Baseline,int,0,50,0.25,30.1,0.9,ok\r\n"));
    QCOMPARE(BDCommand::run({dir.filePath("same.csv"), "--curve-by", "dct", "--reference", "int"})
                 .output,
             BDCommand::run({path, "--curve-by", "dct", "--reference", "int"}).output);
    outcome = BDCommand::run({"--help"});
    QCOMPARE(outcome.status, 0);
    QVERIFY(outcome.output.contains("Exit status"));

    // A distance, lower being better: float spends 10 % fewer bits for the
    // same distances, so it saves 10 % and has the smaller distance at equal
    // rate, a positive figure delta.
    QByteArray distances =
        "picture,entry_index,mode,dct,smoothing,quality,bpp,butteraugli,status\r\n";
    const double distance[] = {3.0, 2.2, 1.5, 1.0};
    const double bpp[] = {0.25, 0.5, 1.0, 2.0};
    for (int q = 0; q < 4; ++q)
        for (const char* dct : {"int", "float"})
            distances += QStringLiteral("a.png,0,Baseline,%1,0,%2,%3,%4,ok\r\n")
                             .arg(dct)
                             .arg(50 + 10 * q)
                             .arg(bpp[q] * (dct[0] == 'f' ? 0.9 : 1.0), 0, 'g', 17)
                             .arg(distance[q])
                             .toUtf8();
    const QString distancePath = dir.filePath("distances.csv");
    QFile distanceFile(distancePath);
    QVERIFY(distanceFile.open(QIODevice::WriteOnly) && distanceFile.write(distances) > 0);
    distanceFile.close();
    outcome = BDCommand::run(
        {distancePath, "--curve-by", "dct", "--reference", "int", "--metric", "butteraugli"});
    QCOMPARE(outcome.status, 0);
    const QList<QByteArray> fields = outcome.output.split('\n')[1].split('\t');
    QCOMPARE(fields.value(3), QByteArray("-10.000000"));
    QVERIFY2(fields.value(4).toDouble() > 0.05, outcome.output.constData());
}

void TestAnalysis::bdOnARealSweep()
{
    // Figures printed by bd_reference.py for data/real-sweep.csv, a sweep
    // the batch tool wrote over the two sample pictures. Progressive entries
    // are one curve whatever their Huffman setting (the same files).
    const struct
    {
        const char* picture;
        const char* curve;
        double rate;
        double psnr;
    } expected[] = {
        {"samples/chelsea.png", "Baseline,0,0", 5.075330531421218, -0.24668252387338194},
        {"samples/chelsea.png", "Extended,1,1", -0.256565792488217, 0.01643464704542512},
        {"samples/coffee.png", "Baseline,0,0", 3.2415139474159416, -0.1430205326687585},
        {"samples/coffee.png", "Extended,1,1", -1.2796118193021955, 0.061206178280920405},
    };
    const auto outcome =
        BDCommand::run({QStringLiteral(ANALYSIS_DATA "/real-sweep.csv"), "--curve-by",
                        "mode,progressive,optimize_huffman", "--reference", "Baseline,0,1"});
    QCOMPARE(outcome.status, 0);
    const QStringList lines = QString::fromUtf8(outcome.output).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1 + 4 + 2);
    for (const auto& e : expected) {
        const QString prefix = QStringLiteral("%1\t%2\t16\t").arg(e.picture, e.curve);
        const auto line = std::find_if(lines.begin(), lines.end(),
                                       [&](const QString& l) { return l.startsWith(prefix); });
        QVERIFY2(line != lines.end(), qPrintable(prefix));
        const QStringList fields = line->split('\t');
        QVERIFY(std::abs(fields[3].toDouble() - e.rate) < 1e-6);
        QVERIFY(std::abs(fields[4].toDouble() - e.psnr) < 1e-6);
    }
    QVERIFY2(lines.contains(QStringLiteral("mean\tBaseline,0,0\t2\t%1\t%2\tmean of 2 pairs over "
                                           "2 pictures")
                                .arg((5.075330531421218 + 3.2415139474159416) / 2, 0, 'f', 6)
                                .arg((-0.24668252387338194 - 0.1430205326687585) / 2, 0, 'f', 6)),
             qPrintable(lines.join('\n')));
}

void TestAnalysis::bdPairsOnAMixedSweep()
{
    // data/mixed-sweep.csv: tessera-sweep over the two sample pictures with
    // Baseline and progressive, Huffman optimised or not, DCT int and float,
    // automatic and table quality 30 to 90. Figures printed by
    // bd_reference.py, which pairs the curves itself with SciPy.
    const struct
    {
        const char* picture;
        const char* mode;
        const char* progressive;
        const char* huffman;
        double rate;
        double psnr;
    } expected[] = {
        {"chelsea", "Baseline", "0", "0", -3.537789706165484, 0.4009901299523865},
        {"chelsea", "Baseline", "0", "1", -3.7276938694340456, 0.4191946550539765},
        {"chelsea", "Extended", "0", "0", -3.537789706165484, 0.4009901299523865},
        {"chelsea", "Extended", "0", "1", -3.7276938694340456, 0.4191946550539765},
        {"chelsea", "Extended", "1", "1", -3.5730018975547395, 0.41513270213643066},
        {"coffee", "Baseline", "0", "0", -2.3148964871497535, 0.29053569120510475},
        {"coffee", "Baseline", "0", "1", -2.1126851826708926, 0.2688624167876454},
        {"coffee", "Extended", "0", "0", -2.3148964871497535, 0.29053569120510475},
        {"coffee", "Extended", "0", "1", -2.1126851826708926, 0.2688624167876454},
        {"coffee", "Extended", "1", "1", -1.970800259374883, 0.25266578181569743},
    };
    const auto outcome = BDCommand::run({QStringLiteral(ANALYSIS_DATA "/mixed-sweep.csv"),
                                         "--curve-by", "dct", "--reference", "int"});
    QCOMPARE(outcome.status, 0);
    const QStringList lines = QString::fromUtf8(outcome.output).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1 + 10 + 1); // header, one line per pair, the mean
    double sum = 0;
    for (const auto& e : expected) {
        // Only manual-quality curves have a float DCT; their partners are
        // manual too, never the automatic int curves.
        const QString context = QStringLiteral("mode=%1 progressive=%2 optimize_huffman=%3 "
                                               "auto_quality=0")
                                    .arg(e.mode, e.progressive, e.huffman);
        const auto line = std::find_if(lines.begin(), lines.end(), [&](const QString& l) {
            return l.startsWith(QStringLiteral("samples/%1.png\tfloat\t7\t").arg(e.picture)) &&
                   l.contains('\t' + context + ' ');
        });
        QVERIFY2(line != lines.end(), qPrintable(context + '\n' + lines.join('\n')));
        const QStringList fields = line->split('\t');
        QVERIFY(std::abs(fields[3].toDouble() - e.rate) < 1e-6);
        QVERIFY(std::abs(fields[4].toDouble() - e.psnr) < 1e-6);
        sum += e.rate;
    }
    const QStringList mean = lines.last().split('\t');
    QCOMPARE(mean[0], QString("mean"));
    QCOMPARE(mean[2], QString("10"));
    QVERIFY(std::abs(mean[3].toDouble() - sum / 10) < 1e-6);
    QCOMPARE(mean[5], QString("mean of 10 pairs over 2 pictures"));
}

QTEST_GUILESS_MAIN(TestAnalysis)
#include "tst_analysis.moc"
