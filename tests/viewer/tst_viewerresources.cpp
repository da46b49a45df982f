// SPDX-License-Identifier: GPL-3.0-or-later
// The icons and help pages the programs read from ./img/ and ./doc/: every
// one is there, the icons are drawn at the size the viewer shows them, and
// the pages read well through the help window.

#include "HelpWindow.h"
#include "PictureViewer.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTextDocument>
#include <QtTest>

namespace {

const QDir resources(QStringLiteral(TESSERA_SOURCE_DIR "/resources"));

const char* const icons[] = {"pack",      "rotate",     "image",    "color_diff",
                             "error",     "y",          "ssim_map", "butteraugli_map",
                             "amplified", "cb",         "cr",       "zoom_in",
                             "zoom_out",  "zoom_reset", "grid",     "bits"};

QByteArray read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestViewerResources : public QObject
{
    Q_OBJECT

private slots:
    void iconsAreDrawnAt28_data();
    void iconsAreDrawnAt28();
    void iconsDiffer();
    void viewerFindsEveryIcon();
    void helpPages_data();
    void helpPages();
};

void TestViewerResources::iconsAreDrawnAt28_data()
{
    QTest::addColumn<QString>("name");
    for (const char* name : icons)
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestViewerResources::iconsAreDrawnAt28()
{
    QFETCH(QString, name);
    const QImage icon(resources.filePath(QStringLiteral("img/%1.png").arg(name)));
    QVERIFY2(!icon.isNull(), qPrintable(name));
    // The window icon is drawn at twice the size, for title bars and task
    // bars; it is the same drawing.
    QCOMPARE(icon.size(), name == QLatin1String("pack") ? QSize(56, 56) : QSize(28, 28));
    QVERIFY(icon.hasAlphaChannel());
    QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
    int opaque = 0;
    for (int y = 0; y < icon.height(); ++y)
        for (int x = 0; x < icon.width(); ++x)
            opaque += qAlpha(icon.pixel(x, y)) > 128;
    QVERIFY2(opaque > icon.width() * icon.height() / 5, qPrintable(name));
}

void TestViewerResources::iconsDiffer()
{
    QSet<QByteArray> seen;
    for (const char* name : icons)
        seen.insert(
            read(resources.filePath(QStringLiteral("img/%1.png").arg(QLatin1String(name)))));
    QCOMPARE(seen.size(), int(std::size(icons)));
}

void TestViewerResources::viewerFindsEveryIcon()
{
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(resources.path()));
    PictureViewer window(Variant::Batch);
    HelpWindow help(nullptr);
    QDir::setCurrent(previous);
    QVERIFY(!window.windowIcon().isNull());
    QVERIFY(!help.windowIcon().isNull());
    const QList<QPushButton*> buttons = window.findChildren<QPushButton*>();
    QCOMPARE(buttons.size(), 14);
    for (QPushButton* button : buttons) {
        QVERIFY2(!button->icon().isNull(), qPrintable(button->objectName()));
        QCOMPARE(button->iconSize(), QSize(28, 28));
    }
}

void TestViewerResources::helpPages_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("mentions");
    const QStringList figures = {"CR",
                                 "CP",
                                 "BR",
                                 "Rotate",
                                 "Compressed image",
                                 "Color difference",
                                 "Compression errors",
                                 "Luminance Y",
                                 "Chrominance Cb",
                                 "Chrominance Cr",
                                 "Zoom in",
                                 "Reset zoom",
                                 "Zoom out"};
    QTest::newRow("help") << "help.html"
                          << figures + QStringList{"Open",
                                                   "Save as",
                                                   "Baseline",
                                                   "Extended",
                                                   "Progressive",
                                                   "Quantization",
                                                   "Downsampling",
                                                   "Adjust quality",
                                                   "Optimize Huffman",
                                                   "Grayscale output",
                                                   "DCT",
                                                   "Smoothing",
                                                   "Compress",
                                                   "the encoder's own conversion"};
    QTest::newRow("help2") << "help2.html"
                           << figures + QStringList{"Open",
                                                    "Baseline",
                                                    "Extended",
                                                    "Progressive",
                                                    "Non-progressive",
                                                    "Quantization",
                                                    "Downsampling",
                                                    "Manual quality",
                                                    "Auto quality",
                                                    "Optimize Huffman",
                                                    "Don't optimize Huffman",
                                                    "Grayscale output",
                                                    "Original output",
                                                    "DCT",
                                                    "Smoothing",
                                                    "Compress",
                                                    "Results",
                                                    "Show",
                                                    "MSE",
                                                    "Quit"};
    QTest::newRow("about") << "about.html"
                           << QStringList{"Tessera", "Independent JPEG Group", "FreeImage"};
}

void TestViewerResources::helpPages()
{
    QFETCH(QString, page);
    QFETCH(QStringList, mentions);
    const QString path = resources.filePath(QStringLiteral("doc/") + page);
    const QByteArray bytes = read(path);
    QVERIFY(!bytes.isEmpty());
    // ASCII only, so the encoding a page is read in never matters.
    for (char byte : bytes)
        QVERIFY2(byte > 0 && byte != '\r', qPrintable(page));
    // The window joins lines with nothing between them: no line may end in
    // a word that the next line would run into.
    const QList<QByteArray> lines = bytes.split('\n');
    for (int i = 0; i + 1 < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        const QByteArray& next = lines[i + 1];
        const bool joins =
            !line.isEmpty() && !next.isEmpty() && line.back() != '>' && next.front() != '<';
        QVERIFY2(!joins, qPrintable(QStringLiteral("%1, line %2").arg(page).arg(i + 1)));
    }
    const QString html = HelpWindow::loadPage(QFile::encodeName(path).toStdString());
    QVERIFY(html != QString::fromLatin1(HelpWindow::fallbackPage));
    QTextDocument document;
    document.setHtml(html);
    const QString shown = document.toPlainText();
    for (const QString& mention : mentions)
        QVERIFY2(shown.contains(mention), qPrintable(page + QLatin1String(": ") + mention));
    QVERIFY(!shown.contains(QLatin1Char('&'))); // every entity was understood
}

QTEST_MAIN(TestViewerResources)
#include "tst_viewerresources.moc"
