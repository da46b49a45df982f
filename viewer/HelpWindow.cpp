// SPDX-License-Identifier: GPL-3.0-or-later
#include "HelpWindow.h"

#include "CStringCodec.h"
#include "DataIcons.h"

#include <QByteArray>
#include <QGridLayout>
#include <QIcon>
#include <QScrollArea>
#include <QTextBrowser>

#include <filesystem>
#include <fstream>
#include <sstream>

const char* const HelpWindow::fallbackPage =
    "<body bgcolor='#ffffe1'><h1>Error: Couldn't open help file</h1></body>";

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent)
{
    create();
}

void HelpWindow::create()
{
    setWindowTitle(QStringLiteral("Help"));
    setWindowIcon(DataFiles::icon("pack"));
    auto* grid = new QGridLayout(this);
    auto* area = new QScrollArea(this);
    helpText = new QTextBrowser;
    helpText->setObjectName(QStringLiteral("helpText"));
    area->setWidget(helpText);
    area->setWidgetResizable(true);
    grid->addWidget(area, 0, 0);
    grid->setColumnStretch(0, 1);
}

void HelpWindow::setHtml(const std::string& path)
{
    helpText->setHtml(loadPage(path));
}

QString HelpWindow::loadPage(const std::string& path)
{
    // Only a regular file is read: a folder would open and read as an empty
    // page, and a pipe could block the program forever.
    std::error_code error;
    const auto type = std::filesystem::status(path, error).type();
    std::ifstream in;
    if (type == std::filesystem::file_type::regular)
        in.open(path);
    if (!in.is_open() || in.fail())
        return QString::fromLatin1(fallbackPage);
    return readPage(in);
}

QString HelpWindow::readPage(std::istream& in)
{
    std::string page;
    std::string line;
    while (std::getline(in, line)) {
        // A page written with CR LF line ends reads as one written with LF.
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        page += line;
    }
    return CStringCodec::toUnicode(page);
}

QString HelpWindow::readPage(const QByteArray& bytes)
{
    std::istringstream in(bytes.toStdString());
    return readPage(in);
}
