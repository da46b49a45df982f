// SPDX-License-Identifier: GPL-3.0-or-later
#include "CStringCodec.h"

#include <QTextCodec>

namespace CStringCodec {

static QTextCodec* codec()
{
    static QTextCodec* latin2 = QTextCodec::codecForName("ISO-8859-2");
    return latin2;
}

QString toUnicode(const QByteArray& bytes)
{
    return codec()->toUnicode(bytes);
}

QString toUnicode(const std::string& bytes)
{
    return codec()->toUnicode(bytes.data(), static_cast<int>(bytes.size()));
}

QByteArray fromUnicode(const QString& text)
{
    return codec()->fromUnicode(text);
}

} // namespace CStringCodec
