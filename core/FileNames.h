// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// File names that reach the programs as bytes (command-line arguments).
namespace FileNames {

// The name for the raw bytes of one argument, through QFile::decodeName as
// every other file name in the programs. The file-name conversion is UTF-8,
// so bytes that are not UTF-8 (a name holding \xe9\xb1) do not come back
// from the decoded name. Such a file is reached through a symbolic link that
// carries the decoded name (the undecodable bytes shown as replacement
// characters) in a private temporary folder, removed when the program ends;
// so it opens like any other and is shown under the name Qt gives it. A name
// that does not exist keeps its decoded form, for the error message.
QString fromArgument(const QByteArray& raw);

// The parser's positional arguments mapped back to the program's raw
// arguments (argv after QApplication took its own options out) and passed
// through fromArgument, in order. An argument with no raw counterpart is
// kept as the parser gave it.
QStringList fromArguments(const QStringList& positional, int argc, char** argv);

// A text cell of a table or report as spreadsheets must take it: text that
// starts with "=", "+", "-", "@", a tab or a carriage return, which a
// spreadsheet would run as a formula, and text that starts with an
// apostrophe, gets one apostrophe in front. Reading a cell back is the exact
// reverse: one leading apostrophe goes (textOfCell).
QString cellOfText(const QString& text);
QString textOfCell(const QString& cell);

} // namespace FileNames
