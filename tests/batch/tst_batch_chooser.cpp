// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchSettings.h"
#include "QuantizationChooser.h"
#include "TestPictures.h"

#include <QAbstractButton>
#include <QFile>
#include <QTest>

#include <deque>

namespace {

// Answers the file dialog from a queue instead of asking anybody.
class ScriptedChooser : public QuantizationChooser
{
public:
    std::deque<QString> answers;
    int asked = 0;

protected:
    QString askForTableFile() override
    {
        ++asked;
        QString answer = answers.empty() ? QString() : answers.front();
        if (!answers.empty())
            answers.pop_front();
        return answer;
    }
};

// Writes `count` tables whose values start at `first` and count up, followed
// by `extra` more numbers.
bool writeTables(const QString& path, int count, unsigned first, int extra = 0)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QByteArray text;
    const int values = count * 64 + extra;
    for (int i = 0; i < values; ++i)
        text += QByteArray::number(first + unsigned(i)) + ((i % 8 == 7) ? "\n" : "\t");
    return file.write(text) == text.size();
}

QAbstractButton* button(QWidget& dialog, const QString& text)
{
    for (QAbstractButton* b : dialog.findChildren<QAbstractButton*>()) {
        // Compared without the mnemonic marks.
        if (QString(b->text()).remove(QLatin1Char('&')) == text)
            return b;
    }
    return nullptr;
}

} // namespace

class TestQuantizationChooser : public QObject
{
    Q_OBJECT

private slots:
    void okWithoutChoiceKeepsBothLists()
    {
        BatchSettings batch;
        const BatchSettings before = batch;
        ScriptedChooser chooser;
        QCOMPARE(chooser.windowTitle(), QStringLiteral("Quantization"));
        QVERIFY(!chooser.isModal());
        chooser.setSettings(&batch);
        chooser.show();
        QVERIFY(button(chooser, QStringLiteral("Ok")));
        button(chooser, QStringLiteral("Ok"))->click();
        QVERIFY(!chooser.isVisible());
        QVERIFY(batch.luminanceTables == before.luminanceTables);
        QVERIFY(batch.chrominanceTables == before.chrominanceTables);
    }

    // The buttons ask for a file each; "Ok" replaces the lists with every
    // complete table of each file, in file order, and reads the files again
    // each time it is pressed.
    void okReplacesBothListsFromTheFiles()
    {
        ScratchDir dir;
        QVERIFY(writeTables(dir.file("lum.txt"), 3, 1));
        QVERIFY(writeTables(dir.file("chrom.txt"), 2, 500, 10));

        BatchSettings batch;
        ScriptedChooser chooser;
        chooser.setSettings(&batch);
        chooser.answers = {dir.file("lum.txt"), dir.file("chrom.txt")};
        button(chooser, QStringLiteral("Luminance"))->click();
        button(chooser, QStringLiteral("Chrominance"))->click();
        QCOMPARE(chooser.asked, 2);
        QCOMPARE(chooser.getFileLabel(0), QStringLiteral("lum.txt"));
        QCOMPARE(chooser.getFileLabel(1), QStringLiteral("chrom.txt"));

        chooser.show();
        button(chooser, QStringLiteral("Ok"))->click();
        QVERIFY(!chooser.isVisible());
        QCOMPARE(batch.luminanceTables.size(), size_t(3));
        QCOMPARE(batch.chrominanceTables.size(), size_t(2));
        QCOMPARE(batch.luminanceTables[0][0], 1u);
        QCOMPARE(batch.luminanceTables[2][63], 192u);
        QCOMPARE(batch.chrominanceTables[1][0], 564u);

        QVERIFY(writeTables(dir.file("lum.txt"), 1, 7));
        chooser.updateAndHide();
        QCOMPARE(batch.luminanceTables.size(), size_t(1));
        QCOMPARE(batch.luminanceTables[0][0], 7u);
    }

    void fileWithoutACompleteTableEmptiesItsList()
    {
        ScratchDir dir;
        QVERIFY(writeTables(dir.file("short.txt"), 0, 1, 63));
        BatchSettings batch;
        ScriptedChooser chooser;
        chooser.setSettings(&batch);
        chooser.setFileName(0, dir.file("short.txt"));
        chooser.setFileName(1, dir.file("missing.txt"));
        chooser.updateAndHide();
        QVERIFY(batch.luminanceTables.empty());
        QVERIFY(batch.chrominanceTables.empty());
    }

    // A cancelled file dialog clears the earlier choice and its label, and
    // "Ok" then leaves that list alone. "Cancel" never touches the settings.
    void cancelledRechoiceClearsTheName()
    {
        ScratchDir dir;
        QVERIFY(writeTables(dir.file("lum.txt"), 2, 1));
        BatchSettings batch;
        ScriptedChooser chooser;
        chooser.setSettings(&batch);
        chooser.answers = {dir.file("lum.txt"), QString()};
        chooser.setFirst();
        QCOMPARE(chooser.getFileLabel(0), QStringLiteral("lum.txt"));

        chooser.show();
        button(chooser, QStringLiteral("Cancel"))->click();
        QVERIFY(!chooser.isVisible());
        QCOMPARE(batch.luminanceTables.size(), size_t(1));

        chooser.setFirst();
        QVERIFY(chooser.getFileName(0).isEmpty());
        QVERIFY(chooser.getFileLabel(0).isEmpty());
        chooser.updateAndHide();
        QCOMPARE(batch.luminanceTables.size(), size_t(1));
        QVERIFY(batch.luminanceTables[0] == QuantizationTable(JPEGSettings::presets[0]));
    }

    void labelShowsTheLastPathComponent()
    {
        QuantizationChooser chooser;
        chooser.setFileName(1, QStringLiteral("/some/where/chrom.txt"));
        QCOMPARE(chooser.getFileLabel(1), QStringLiteral("chrom.txt"));
        chooser.setFileName(1, QStringLiteral("plain.txt"));
        QCOMPARE(chooser.getFileLabel(1), QStringLiteral("plain.txt"));
    }

    void okWithoutSettingsOnlyHides()
    {
        QuantizationChooser chooser;
        chooser.setFileName(0, QStringLiteral("whatever.txt"));
        chooser.show();
        chooser.updateAndHide();
        QVERIFY(!chooser.isVisible());
    }
};

QTEST_MAIN(TestQuantizationChooser)
#include "tst_batch_chooser.moc"
