// SPDX-License-Identifier: GPL-3.0-or-later
// The commands the results table copies for a row, run as a user would run
// them in a shell: tessera-sweep's and cjpeg's must write the row's bytes
// for every kind of entry, on a colour and on a grey picture.
#include "CompressionResult.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "SettingsText.h"
#include "TestPictures.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <memory>

namespace {

using TestPictures::jpegOf;

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs `script` with sh in the current folder, tessera-sweep on the path.
bool runShell(const QString& script, QString& output)
{
    QProcess shell;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"), qEnvironmentVariable("TESSERA_RUN_DIR") +
                                                   QLatin1Char(':') + environment.value("PATH"));
    shell.setProcessEnvironment(environment);
    shell.setProcessChannelMode(QProcess::MergedChannels);
    shell.start(QStringLiteral("sh"), {QStringLiteral("-e"), QStringLiteral("-c"), script});
    const bool done = shell.waitForFinished(60000);
    output = QString::fromLocal8Bit(shell.readAll());
    return done && shell.exitStatus() == QProcess::NormalExit && shell.exitCode() == 0;
}

// Entries of every kind the table copies commands for.
std::vector<JPEGSettings> mixedEntries()
{
    std::vector<JPEGSettings> out;
    JPEGSettings automatic;
    automatic.setAutoQualityEnabled(true);
    automatic.setQuality(50);
    out.push_back(automatic);
    automatic.setCompressionMode(JPEGSettings::EXTENDED);
    automatic.setProgressiveMode(true);
    automatic.setGrayscaleOutput(true);
    automatic.setQuality(70);
    out.push_back(automatic);

    // The sweep's default tables (not cjpeg's), float DCT, smoothing,
    // a quality that scales them.
    JPEGSettings manual;
    manual.setAutoQualityEnabled(false);
    manual.getCurrentQuantizationTables()[0] = manual.getCurrentQuantizationTables()[1] = true;
    manual.qtables[JPEGSettings::LUMINANCE] = QuantizationTable(JPEGSettings::presets[0]);
    manual.qtables[JPEGSettings::CHROMINANCE] = QuantizationTable(JPEGSettings::presets[1]);
    manual.setDCTMethod(JPEGSettings::FLOAT);
    manual.setSmoothing(10);
    manual.setQuality(60);
    out.push_back(manual);

    // Custom tables, sampling other than 1x1, extended sequential,
    // optimised Huffman tables.
    JPEGSettings custom = manual;
    unsigned int ramp[64];
    for (int i = 0; i < 64; ++i)
        ramp[i] = unsigned(3 + i * 5);
    custom.qtables[JPEGSettings::LUMINANCE] = QuantizationTable(ramp);
    custom.qtables[JPEGSettings::CHROMINANCE] = QuantizationTable(JPEGSettings::presets[5]);
    custom.downsampling[0] = {1, 2};
    custom.setCompressionMode(JPEGSettings::EXTENDED);
    custom.setOptimizeHuffman(true);
    custom.setDCTMethod(JPEGSettings::INT);
    custom.setSmoothing(0);
    custom.setQuality(80);
    out.push_back(custom);

    // cjpeg's own tables, baseline, grey-scale output.
    JPEGSettings standard = manual;
    standard.qtables[JPEGSettings::LUMINANCE] = QuantizationTable(annexKLuminance);
    standard.qtables[JPEGSettings::CHROMINANCE] = QuantizationTable(annexKChrominance);
    standard.setDCTMethod(JPEGSettings::FAST);
    standard.setGrayscaleOutput(true);
    standard.setQuality(75);
    standard.setCompressionMode(JPEGSettings::BASELINE);
    out.push_back(standard);
    return out;
}

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Image::initImage(); }

    void copiedCommandsWriteTheRowsBytes()
    {
        const bool haveCjpeg = !QStandardPaths::findExecutable("cjpeg").isEmpty() &&
                               !QStandardPaths::findExecutable("pngtopnm").isEmpty();
        ScratchDir dir;
        QVERIFY(TestPictures::write(dir.file("colour.png"), 37, 29, TestPictures::Kind::Colour));
        QVERIFY(TestPictures::write(dir.file("grey.png"), 33, 21, TestPictures::Kind::Grey));
        const std::vector<JPEGSettings> entries = mixedEntries();
        int row = 0;
        for (const QString name : {"colour.png", "grey.png"}) {
            const QString picture = dir.file(name);
            Image image(QFile::encodeName(picture).toStdString());
            for (const JPEGSettings& entry : entries) {
                ++row;
                const QByteArray expected = jpegOf(image, entry);
                QVERIFY(!expected.isEmpty());
                QString output;

                const QString keep = dir.file(QStringLiteral("keep%1").arg(row));
                const QString sweep = SettingsText::sweepCommand(entry, picture);
                QVERIFY2(
                    runShell(sweep + QStringLiteral(" -q -o row.csv --keep-jpegs ") + keep, output),
                    qPrintable(sweep + '\n' + output));
                const QStringList kept = QDir(keep).entryList({"*.jpg"}, QDir::Files);
                QCOMPARE(kept.size(), 1);
                QVERIFY2(fileBytes(keep + '/' + kept.front()) == expected,
                         qPrintable(QStringLiteral("row %1: %2").arg(row).arg(sweep)));

                if (!haveCjpeg)
                    continue;
                const QString jpeg = dir.file(QStringLiteral("cjpeg%1.jpg").arg(row));
                const QString cjpeg = SettingsText::cjpegCommand(entry, picture, jpeg);
                QVERIFY2(runShell(cjpeg, output), qPrintable(cjpeg + '\n' + output));
                QVERIFY2(fileBytes(jpeg) == expected,
                         qPrintable(QStringLiteral("row %1: %2").arg(row).arg(cjpeg)));
            }
        }
        if (!haveCjpeg)
            QSKIP("cjpeg or netpbm is not installed; the tessera-sweep commands were checked");
    }
};

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_commands.moc"
