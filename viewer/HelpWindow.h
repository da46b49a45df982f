// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QString>

#include <iosfwd>
#include <string>

class QByteArray;
class QTextBrowser;

// A small dialog showing one HTML page, read from a file once when the owner
// calls setHtml().
//
// A page is read line by line and the lines are joined with nothing between
// them (the file's line breaks are dropped); its bytes are ISO 8859-2 text.
class HelpWindow : public QDialog
{
    Q_OBJECT

public:
    // Shown in place of a page that cannot be opened.
    static const char* const fallbackPage;

    explicit HelpWindow(QWidget* parent);

    // Reads the file at `path` (relative to the working directory) and shows
    // it as HTML; a file that cannot be opened shows fallbackPage.
    void setHtml(const std::string& path);

    // The page text of the file at `path`, or fallbackPage.
    static QString loadPage(const std::string& path);
    // The page text of everything `in` holds, up to its end or a failed read.
    static QString readPage(std::istream& in);
    static QString readPage(const QByteArray& bytes);

private:
    void create();

    QTextBrowser* helpText = nullptr;
};
