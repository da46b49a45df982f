// SPDX-License-Identifier: GPL-3.0-or-later
// The help window's page reader and the browser document it feeds: any bytes
// give a page without line breaks, the same from bytes as from a stream, and
// the document takes the page as HTML.

#include "HelpWindow.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QTextDocument>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_help_page: %s\n", what);
        std::abort();
    }
}

// Laying out a document needs fonts, and fonts need an application. It is
// made once and never destroyed: at exit Qt's own globals may be gone first.
void ensureApplication()
{
    if (QCoreApplication::instance())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_help_page";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* application = new QGuiApplication(argc, argv);
    (void)application;
}

} // namespace

// The application above is never destroyed, so fontconfig never frees what it
// set up for it; that is not a leak of the code under test.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ensureApplication();
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    const QString page = HelpWindow::readPage(bytes);
    std::istringstream in(bytes.toStdString());
    check(HelpWindow::readPage(in) == page, "bytes and stream give different pages");
    check(!page.contains(QLatin1Char('\n')), "a line break survived");
    // ISO 8859-2 maps each byte to one character.
    check(page.size() <= int(size), "the page is longer than its file");

    QTextDocument document;
    document.setHtml(page);
    document.setTextWidth(400);
    check(document.size().height() >= 0, "the document has no layout");
    return 0;
}
