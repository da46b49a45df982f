// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <string>

// The programs' 8-bit text (help pages, report text) is ISO 8859-2. Every
// conversion between such bytes and QString goes through these functions.
// File names are not text of this kind: they go through QFile::encodeName and
// QFile::decodeName so that any name the file system holds round-trips.
namespace CStringCodec {

QString toUnicode(const QByteArray& bytes);
QString toUnicode(const std::string& bytes);
QByteArray fromUnicode(const QString& text);

} // namespace CStringCodec
