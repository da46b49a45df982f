// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// File names as bytes, whatever bytes they hold, and the text the sweep
// table names them by: UTF-8 where the bytes are valid UTF-8; each byte of a
// sequence that is not as \xHH (two lower-case hexadecimal digits), and a
// backslash as \\, so that every name reads back to its bytes.
namespace PictureNames {

QString escaped(const QByteArray& name);
// The bytes of an escaped name; an escape that is not well formed is taken
// as it stands.
QByteArray unescaped(const QString& name);

// `path` made absolute from the working folder, ".", ".." and repeated
// slashes taken out, in bytes.
QByteArray absolute(const QByteArray& path);

// The regular, readable files under `folder` (in its sub-folders too when
// `recursive`, following symbolic links, each folder once) whose name
// `accept` takes, as absolute paths in bytes.
void walk(const QByteArray& folder, bool recursive, bool (*accept)(const QByteArray& name),
          QList<QByteArray>& files);

// A path the rest of the program can open for the file `raw` names: the
// decoded name when it reads back to the same bytes, else a symbolic link
// to the file that has a name it can.
QString openable(const QByteArray& raw);

// The escaped path with every symbolic link resolved; the escaped path
// itself when the file cannot be reached.
QString canonical(const QByteArray& raw);

} // namespace PictureNames
