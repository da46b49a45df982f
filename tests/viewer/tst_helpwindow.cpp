// SPDX-License-Identifier: GPL-3.0-or-later
// The help window: how a page file is read and what is shown for a file that
// cannot be opened.

#include "HelpWindow.h"
#include "TestPictures.h"

#include <QFile>
#include <QGridLayout>
#include <QScrollArea>
#include <QTextBrowser>
#include <QtTest>

#include <sstream>

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// What the window shows after loading `bytes` from a file.
QString shownFor(const QByteArray& bytes)
{
    ScratchDir scratch;
    writeFile(scratch.file(QStringLiteral("page.html")), bytes);
    HelpWindow window(nullptr);
    window.setHtml("page.html");
    return window.findChild<QTextBrowser*>(QStringLiteral("helpText"))->toPlainText();
}

const QString fallbackHeading = QStringLiteral("Error: Couldn't open help file");

} // namespace

class TestHelpWindow : public QObject
{
    Q_OBJECT

private slots:
    void windowContents();
    void linesRunTogether();
    void emptyFileGivesEmptyPage();
    void lastLineWithoutTerminator();
    void crLfEndsAreDropped();
    void bytesAboveAsciiAreLatin2();
    void markupIsRendered();
    void missingFileGivesFallback();
    void folderGivesFallback();
    void readingFromStreamAndBytes();
    void readingStopsAtFailedRead();
    void secondLoadReplacesThePage();
};

void TestHelpWindow::windowContents()
{
    HelpWindow window(nullptr);
    QCOMPARE(window.windowTitle(), QStringLiteral("Help"));
    auto* grid = qobject_cast<QGridLayout*>(window.layout());
    QVERIFY(grid);
    auto* area = qobject_cast<QScrollArea*>(grid->itemAtPosition(0, 0)->widget());
    QVERIFY(area);
    QVERIFY(area->widgetResizable());
    QCOMPARE(area->widget(), window.findChild<QTextBrowser*>(QStringLiteral("helpText")));
    QCOMPARE(grid->columnStretch(0), 1);
}

void TestHelpWindow::linesRunTogether()
{
    QCOMPARE(shownFor("Hello\nworld\n"), QStringLiteral("Helloworld"));
}

void TestHelpWindow::emptyFileGivesEmptyPage()
{
    QCOMPARE(shownFor(QByteArray()), QString());
}

void TestHelpWindow::lastLineWithoutTerminator()
{
    QCOMPARE(shownFor("one \ntwo"), QStringLiteral("one two"));
    QCOMPARE(shownFor("alone"), QStringLiteral("alone"));
}

void TestHelpWindow::crLfEndsAreDropped()
{
    QCOMPARE(shownFor("Hello\r\nworld\r\n"), QStringLiteral("Helloworld"));
}

void TestHelpWindow::bytesAboveAsciiAreLatin2()
{
    // ISO 8859-2: 0xB1 is a with ogonek, 0xA3 L with stroke, 0xE6 c acute;
    // in Latin-1 they would read as plus-minus, pound and ae.
    QCOMPARE(shownFor("\xA3\xF3\xE6\n\xB1"), QString::fromUtf8("\xC5\x81\xC3\xB3\xC4\x87\xC4\x85"));
}

void TestHelpWindow::markupIsRendered()
{
    QCOMPARE(shownFor("<html><body><h1>Title</h1>\n<p>Some &amp; more</p></body></html>"),
             QStringLiteral("Title\nSome & more"));
}

void TestHelpWindow::missingFileGivesFallback()
{
    ScratchDir scratch;
    HelpWindow window(nullptr);
    window.setHtml("./doc/no-such-page.html");
    QCOMPARE(window.findChild<QTextBrowser*>(QStringLiteral("helpText"))->toPlainText(),
             fallbackHeading);
    QCOMPARE(HelpWindow::loadPage("./doc/no-such-page.html"),
             QString::fromLatin1(HelpWindow::fallbackPage));
    QCOMPARE(
        QString::fromLatin1(HelpWindow::fallbackPage),
        QStringLiteral("<body bgcolor='#ffffe1'><h1>Error: Couldn't open help file</h1></body>"));
}

void TestHelpWindow::folderGivesFallback()
{
    ScratchDir scratch;
    QVERIFY(QDir().mkdir(QStringLiteral("doc")));
    QCOMPARE(HelpWindow::loadPage("doc"), QString::fromLatin1(HelpWindow::fallbackPage));
}

void TestHelpWindow::readingFromStreamAndBytes()
{
    std::istringstream in("a\nb\r\nc");
    QCOMPARE(HelpWindow::readPage(in), QStringLiteral("abc"));
    QCOMPARE(HelpWindow::readPage(QByteArray("x\n\ny\n")), QStringLiteral("xy"));
    QCOMPARE(HelpWindow::readPage(QByteArray()), QString());
    QCOMPARE(HelpWindow::readPage(QByteArray("\n\n\n")), QString());
    QCOMPARE(HelpWindow::readPage(QByteArray("\xB9", 1)), QString(QChar(0x0161))); // s caron
}

void TestHelpWindow::readingStopsAtFailedRead()
{
    // A stream that fails after its first line: what came before is kept.
    class FailingBuffer : public std::streambuf
    {
    public:
        FailingBuffer() { setg(text, text, text + 6); }
        int_type underflow() override { throw std::ios_base::failure("read error"); }

    private:
        char text[7] = "first\n";
    } buffer;
    std::istream in(&buffer);
    QCOMPARE(HelpWindow::readPage(in), QStringLiteral("first"));
}

void TestHelpWindow::secondLoadReplacesThePage()
{
    ScratchDir scratch;
    writeFile(scratch.file(QStringLiteral("a.html")), "first");
    writeFile(scratch.file(QStringLiteral("b.html")), "second");
    HelpWindow window(nullptr);
    auto* text = window.findChild<QTextBrowser*>(QStringLiteral("helpText"));
    window.setHtml("a.html");
    QCOMPARE(text->toPlainText(), QStringLiteral("first"));
    window.setHtml("b.html");
    QCOMPARE(text->toPlainText(), QStringLiteral("second"));
}

QTEST_MAIN(TestHelpWindow)
#include "tst_helpwindow.moc"
