// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchSettings.h"
#include "DialogProgress.h"
#include "JPEGSettingsFactory.h"
#include "ProgressWatcher.h"

#include <QProgressDialog>
#include <QTest>

namespace {

// Describes each entry by the fields the factory sets, so a whole list
// compares in one go.
QString describe(const std::vector<JPEGSettings>& list)
{
    QStringList parts;
    for (const JPEGSettings& s : list) {
        const char* dct[] = {"int", "fast", "float"};
        parts << QStringLiteral("%1/%2/%3/q%4")
                     .arg(s.isAutoQualityEnabled() ? "auto" : "manual")
                     .arg(dct[s.getDCTMethod()])
                     .arg(s.getSmoothing())
                     .arg(s.getQuality());
    }
    return parts.join(QLatin1Char(' '));
}

std::vector<int> qualities(const std::vector<JPEGSettings>& list)
{
    std::vector<int> out;
    for (const JPEGSettings& s : list)
        out.push_back(s.getQuality());
    return out;
}

BatchSettings autoOnly(int minQuality, int maxQuality, int step)
{
    BatchSettings batch;
    batch.manualQuality = false;
    batch.autoQuality = true;
    batch.minQuality = minQuality;
    batch.maxQuality = maxQuality;
    batch.qualityStep = step;
    return batch;
}

} // namespace

class TestSettingsFactory : public QObject
{
    Q_OBJECT

private slots:
    void defaultsGiveOneManualEntryWithoutProgress()
    {
        BatchSettings batch;
        JPEGSettingsFactory factory(&batch);
        QProgressDialog dialog(QStringLiteral("Creating settings"), QStringLiteral("Cancel"), 0,
                               1000);
        setUpDialog(dialog);
        DialogProgress progress(&dialog);
        const int before = dialog.value();
        JPEGSettings working;
        std::vector<JPEGSettings> list;
        factory.quality(working, list, &progress);
        QCOMPARE(describe(list), QStringLiteral("manual/int/0/q95"));
        QCOMPARE(factory.getCounter(), 0);
        QCOMPARE(dialog.value(), before);
        QVERIFY(!factory.isCanceled());
    }

    void qualitySweeps_data()
    {
        QTest::addColumn<int>("minQuality");
        QTest::addColumn<int>("maxQuality");
        QTest::addColumn<int>("step");
        QTest::addColumn<std::vector<int>>("expected");
        QTest::addColumn<int>("steps");

        QTest::newRow("equal bounds") << 95 << 95 << 7 << std::vector<int>{95} << 0;
        QTest::newRow("lands on the maximum")
            << 10 << 50 << 20 << std::vector<int>{10, 30, 50} << 3;
        QTest::newRow("jumps past the maximum")
            << 10 << 50 << 15 << std::vector<int>{10, 25, 40} << 3;
        QTest::newRow("downwards") << 90 << 50 << -10 << std::vector<int>{90, 80, 70, 60, 50} << 5;
        QTest::newRow("one step") << 0 << 100 << 99 << std::vector<int>{0, 99} << 2;
        // Steps the batch window never hands over: a sign pointing away from
        // the maximum, and no step at all between different bounds. Neither
        // may loop for ever.
        QTest::newRow("step pointing away") << 10 << 50 << -20 << std::vector<int>{10, 30, 50} << 3;
        QTest::newRow("zero step") << 10 << 50 << 0 << std::vector<int>{10} << 1;
    }

    void qualitySweeps()
    {
        QFETCH(int, minQuality);
        QFETCH(int, maxQuality);
        QFETCH(int, step);
        QFETCH(std::vector<int>, expected);
        QFETCH(int, steps);

        BatchSettings batch = autoOnly(minQuality, maxQuality, step);
        JPEGSettingsFactory factory(&batch);
        QProgressDialog dialog(QStringLiteral("Creating settings"), QStringLiteral("Cancel"), 0,
                               1000);
        setUpDialog(dialog);
        DialogProgress progress(&dialog);
        ProgressWatcher watcher(dialog);
        JPEGSettings working;
        std::vector<JPEGSettings> list;
        factory.quality(working, list, &progress);

        QCOMPARE(qualities(list), expected);
        for (const JPEGSettings& s : list)
            QVERIFY(s.isAutoQualityEnabled());
        QCOMPARE(factory.getCounter(), steps);
        std::vector<int> shown;
        for (int i = 0; i < steps; ++i)
            shown.push_back(i);
        QCOMPARE(watcher.values(), shown);
        QCOMPARE(JPEGSettingsFactory::sweepLength(minQuality, maxQuality, step),
                 int(expected.size()));
    }

    // Manual entries come first, DCT method by DCT method, each over the
    // smoothing range; the auto entries follow. The working record is never
    // reset, so fields a level does not set carry over between entries and
    // between calls, and the counter runs on.
    void manualThenAutoOverTwoCalls()
    {
        BatchSettings batch;
        batch.manualQuality = true;
        batch.autoQuality = true;
        batch.dctInt = true;
        batch.dctFloat = true;
        batch.minSmoothing = 0;
        batch.maxSmoothing = 20;
        batch.smoothingStep = 10;
        batch.minQuality = 50;
        batch.maxQuality = 90;
        batch.qualityStep = 20;

        JPEGSettingsFactory factory(&batch);
        QProgressDialog dialog(QStringLiteral("Creating settings"), QStringLiteral("Cancel"), 0,
                               1000);
        setUpDialog(dialog);
        DialogProgress progress(&dialog);
        ProgressWatcher watcher(dialog);
        JPEGSettings working;
        std::vector<JPEGSettings> list;
        factory.quality(working, list, &progress);
        QCOMPARE(describe(list),
                 QStringLiteral("manual/int/0/q95 manual/int/10/q95 manual/int/20/q95 "
                                "manual/float/0/q95 manual/float/10/q95 manual/float/20/q95 "
                                "auto/float/20/q50 auto/float/20/q70 auto/float/20/q90"));
        QCOMPARE(factory.getCounter(), 9);

        list.clear();
        factory.quality(working, list, &progress);
        QCOMPARE(list.size(), size_t(9));
        QCOMPARE(list[0].getQuality(), 90); // left there by the first call's quality sweep
        QCOMPARE(factory.getCounter(), 18);
        QCOMPARE(watcher.values().front(), 0);
        QCOMPARE(watcher.values().back(), 17);
        QCOMPARE(watcher.values().size(), size_t(18));
    }

    // A table-quality range multiplies the manual entries only, innermost:
    // DCT method, smoothing, table quality; the auto entries stay as they were.
    void tableQualitySweepsTheManualEntries()
    {
        BatchSettings batch;
        batch.autoQuality = true;
        batch.dctFloat = true;
        batch.maxSmoothing = 10;
        batch.smoothingStep = 10;
        batch.minQuality = 60;
        batch.maxQuality = 60;
        batch.tableQuality = true;
        batch.minTableQuality = 90;
        batch.maxTableQuality = 30;
        batch.tableQualityStep = -30;

        JPEGSettingsFactory factory(&batch);
        JPEGSettings working;
        std::vector<JPEGSettings> list;
        factory.quality(working, list, nullptr);
        QCOMPARE(describe(list),
                 QStringLiteral("manual/int/0/q90 manual/int/0/q60 manual/int/0/q30 "
                                "manual/int/10/q90 manual/int/10/q60 manual/int/10/q30 "
                                "manual/float/0/q90 manual/float/0/q60 manual/float/0/q30 "
                                "manual/float/10/q90 manual/float/10/q60 manual/float/10/q30 "
                                "auto/float/10/q60"));
        // One progress step per swept value: 2 DCT x (2 smoothing + 2 x 3 qualities).
        QCOMPARE(factory.getCounter(), 16);

        // A single table quality still sets the quality of every manual entry.
        batch.maxTableQuality = 90;
        batch.autoQuality = false;
        list.clear();
        JPEGSettingsFactory(&batch).quality(working, list, nullptr);
        QCOMPARE(qualities(list), std::vector<int>({90, 90, 90, 90}));
    }

    void fastComesBeforeFloat()
    {
        BatchSettings batch;
        batch.dctInt = false;
        batch.dctFast = true;
        batch.dctFloat = true;
        JPEGSettingsFactory factory(&batch);
        JPEGSettings working;
        std::vector<JPEGSettings> list;
        factory.quality(working, list, nullptr);
        QCOMPARE(describe(list), QStringLiteral("manual/fast/0/q95 manual/float/0/q95"));
    }

    // Cancel during one sweep: the value being stepped to is not appended,
    // and nothing after it is, in this call or any later one.
    void cancelStopsEveryLaterLevel_data()
    {
        QTest::addColumn<bool>("duringSmoothing");
        QTest::newRow("during the smoothing sweep") << true;
        QTest::newRow("during the quality sweep") << false;
    }

    void cancelStopsEveryLaterLevel()
    {
        QFETCH(bool, duringSmoothing);
        BatchSettings batch;
        batch.autoQuality = true;
        batch.dctInt = batch.dctFast = batch.dctFloat = true;
        batch.minSmoothing = 0;
        batch.maxSmoothing = duringSmoothing ? 100 : 0;
        batch.smoothingStep = duringSmoothing ? 1 : 0;
        batch.minQuality = 0;
        batch.maxQuality = 100;
        batch.qualityStep = 1;

        JPEGSettingsFactory factory(&batch);
        QProgressDialog dialog(QStringLiteral("Creating settings"), QStringLiteral("Cancel"), 0,
                               1000);
        setUpDialog(dialog);
        DialogProgress progress(&dialog);
        ProgressWatcher watcher(dialog);
        watcher.cancelAt(3);
        JPEGSettings working;
        std::vector<JPEGSettings> list;
        factory.quality(working, list, &progress);

        QVERIFY(factory.isCanceled());
        const int counter = factory.getCounter();
        QVERIFY(counter >= 4 && counter < 20);
        // Manual entries without a progress step (equal smoothing bounds)
        // come on top of the stepped ones that were appended.
        const size_t unstepped = duringSmoothing ? 0 : 3;
        QCOMPARE(list.size(), unstepped + size_t(counter - 1));
        for (size_t i = 0; i < list.size(); ++i) {
            QCOMPARE(list[i].isAutoQualityEnabled(), i >= unstepped && !duringSmoothing);
            if (duringSmoothing)
                QCOMPARE(list[i].getDCTMethod(), JPEGSettings::INT);
        }

        const std::vector<JPEGSettings> kept = list;
        factory.quality(working, list, &progress);
        factory.smoothing(working, list, &progress);
        QCOMPARE(list.size(), kept.size());
        QCOMPARE(factory.getCounter(), counter);
    }
};

QTEST_MAIN(TestSettingsFactory)
#include "tst_batch_factory.moc"
