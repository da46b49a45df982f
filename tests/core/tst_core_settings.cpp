// SPDX-License-Identifier: GPL-3.0-or-later
#include "JPEGSettings.h"

#include <QTest>

#include <sstream>

class TestSettings : public QObject
{
    Q_OBJECT

private:
    static std::string tableText(const unsigned int* values)
    {
        std::ostringstream out;
        for (int k = 0; k < 64; ++k)
            out << (k ? "," : "") << values[k];
        return out.str();
    }

private slots:
    void defaultRecordPrintsItsFields()
    {
        const JPEGSettings settings;
        const std::string expected = "Extended\tint\t0\t1\t1\t1\t1\tNo\t95\tNo\tNo\t" +
                                     tableText(JPEGSettings::presets[0]) + "\t" +
                                     tableText(JPEGSettings::presets[9]) + "\t";
        QCOMPARE(settings.toString(), expected);
        QVERIFY(settings.toString().rfind(
                    "Extended\tint\t0\t1\t1\t1\t1\tNo\t95\tNo\tNo\t8,16,19,22,", 0) == 0);
        for (int slot = 0; slot < 4; ++slot)
            QVERIFY(!settings.getCurrentQuantizationTables()[slot]);
        QCOMPARE(settings.getMaxQuantizationTables(), 3);
        QCOMPARE(settings.qtables[2], QuantizationTable(JPEGSettings::presets[9]));
        QCOMPARE(settings.qtables[3], QuantizationTable(JPEGSettings::presets[3]));
    }

    void modeAndFlagsPrint_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("progressive");
        QTest::addColumn<QString>("first");
        QTest::newRow("extended progressive")
            << int(JPEGSettings::EXTENDED) << true << "Progessive";
        QTest::newRow("baseline progressive") << int(JPEGSettings::BASELINE) << true << "Baseline";
        QTest::newRow("baseline") << int(JPEGSettings::BASELINE) << false << "Baseline";
        QTest::newRow("lossless") << int(JPEGSettings::LOSSLESS) << false << "Losless";
    }

    void modeAndFlagsPrint()
    {
        QFETCH(int, mode);
        QFETCH(bool, progressive);
        QFETCH(QString, first);
        JPEGSettings settings;
        settings.setCompressionMode(JPEGSettings::CompressionMode(mode));
        settings.setProgressiveMode(progressive);
        settings.setDCTMethod(JPEGSettings::FLOAT);
        settings.setSmoothing(30);
        settings.downsampling[0] = {2, 1};
        settings.downsampling[1] = {1, 2};
        settings.downsampling[2] = {4, 4}; // components 2 and 3 are not printed
        settings.setAutoQualityEnabled(true);
        settings.setQuality(7);
        settings.setOptimizeHuffman(true);
        settings.setGrayscaleOutput(true);
        const QString line = QString::fromStdString(settings.toString());
        const QStringList fields = line.split(QLatin1Char('\t'));
        QCOMPARE(fields.size(), 14); // 13 fields, each followed by a tab
        QCOMPARE(fields.mid(0, 11),
                 QStringList({first, "float", "30", "2", "1", "1", "2", "Yes", "7", "Yes", "Yes"}));
        QCOMPARE(fields.last(), QString());
    }

    void copiesKeepTheirOwnTables()
    {
        JPEGSettings original;
        original.qtables[0][5] = 4000; // above the baseline limit: kept as is
        original.getCurrentQuantizationTables()[1] = true;
        JPEGSettings copy = original;
        QCOMPARE(copy.qtables[0][5], 4000u);
        QVERIFY(copy.getCurrentQuantizationTables()[1]);
        copy.qtables[0][5] = 1;
        copy.qtables[3][0] = 77;
        copy.getCurrentQuantizationTables()[1] = false;
        QCOMPARE(original.qtables[0][5], 4000u);
        QCOMPARE(original.qtables[3][0], JPEGSettings::presets[3][0]);
        QVERIFY(original.getCurrentQuantizationTables()[1]);
        JPEGSettings assigned;
        assigned = original;
        QCOMPARE(assigned.qtables[0], original.qtables[0]);
        QVERIFY(assigned.toString().find("4000") != std::string::npos);
    }

    void annexKTablesAndPresets()
    {
        JPEGSettings settings;
        settings.useAnnexKTables();
        QCOMPARE(settings.qtables[0], QuantizationTable(annexKLuminance));
        for (int slot = 1; slot < 4; ++slot)
            QCOMPARE(settings.qtables[slot], QuantizationTable(annexKChrominance));
        // The standard luminance table is also preset 9.
        QCOMPARE(QuantizationTable(JPEGSettings::presets[9]), QuantizationTable(annexKLuminance));
        QCOMPARE(annexKChrominance[0], 17u);
        QCOMPARE(annexKChrominance[63], 99u);
        // Spot checks of rows that are easy to mistype.
        QCOMPARE(JPEGSettings::presets[0][63], 83u);
        QCOMPARE(JPEGSettings::presets[5][7], 10u);
        QCOMPARE(JPEGSettings::presets[11][56], 12u);
        QCOMPARE(JPEGSettings::presets[11][57], 15u);
        QCOMPARE(JPEGSettings::presets[12][0], 2u);
        QCOMPARE(JPEGSettings::presets[14][63], 20u);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_core_settings.moc"
