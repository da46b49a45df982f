// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <unistd.h>

#include <vector>

namespace FileNames {

QString fromArgument(const QByteArray& raw)
{
    const QString decoded = QFile::decodeName(raw);
    if (QFile::encodeName(decoded) == raw || ::access(raw.constData(), F_OK) != 0)
        return decoded;
    // The link's target in bytes, made absolute from the working folder's
    // own bytes, which may not be UTF-8 either.
    QByteArray target = raw;
    if (!target.startsWith('/')) {
        std::vector<char> folder(4096);
        if (!::getcwd(folder.data(), folder.size()))
            return decoded;
        target = QByteArray(folder.data()) + '/' + raw;
    }
    static QTemporaryDir links(QDir::tempPath() + QStringLiteral("/tessera-names-XXXXXX"));
    static int count = 0;
    if (!links.isValid())
        return decoded;
    const QString folder = links.filePath(QString::number(++count));
    const QString link = folder + QLatin1Char('/') + QFileInfo(decoded).fileName();
    if (!QDir().mkpath(folder) ||
        ::symlink(target.constData(), QFile::encodeName(link).constData()) != 0)
        return decoded;
    return link;
}

QStringList fromArguments(const QStringList& positional, int argc, char** argv)
{
    std::vector<bool> used(std::size_t(argc > 0 ? argc : 0), false);
    QStringList result;
    for (const QString& argument : positional) {
        QString path = argument;
        for (int i = 1; i < argc; ++i) {
            if (used[std::size_t(i)] || QFile::decodeName(argv[i]) != argument)
                continue;
            used[std::size_t(i)] = true;
            path = fromArgument(QByteArray(argv[i]));
            break;
        }
        result << path;
    }
    return result;
}

QString cellOfText(const QString& text)
{
    if (text.isEmpty())
        return text;
    switch (text.front().unicode()) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r':
    case '\'':
        return QLatin1Char('\'') + text;
    default:
        return text;
    }
}

QString textOfCell(const QString& cell)
{
    return cell.startsWith(QLatin1Char('\'')) ? cell.mid(1) : cell;
}

} // namespace FileNames
