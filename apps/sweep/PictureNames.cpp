// SPDX-License-Identifier: GPL-3.0-or-later
#include "PictureNames.h"

#include "FileNames.h"

#include <QFile>

#include <dirent.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <vector>

namespace PictureNames {

namespace {

// The length of the valid UTF-8 sequence at `at`, 0 when there is none.
int sequenceLength(const QByteArray& s, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return (unsigned char)s[i]; };
    const unsigned char lead = byte(at);
    if (lead < 0x80)
        return 1;
    int length = lead >= 0xC2 && lead <= 0xDF   ? 2
                 : lead >= 0xE0 && lead <= 0xEF ? 3
                 : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                : 0;
    if (length == 0 || at + length > s.size())
        return 0;
    for (int k = 1; k < length; ++k)
        if ((byte(at + k) & 0xC0) != 0x80)
            return 0;
    // Overlong forms, surrogates and code points beyond U+10FFFF.
    const unsigned char second = byte(at + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
        return 0;
    return length;
}

} // namespace

QString escaped(const QByteArray& name)
{
    QByteArray out;
    out.reserve(name.size());
    for (qsizetype i = 0; i < name.size();) {
        const int length = sequenceLength(name, i);
        if (length == 0) {
            out += "\\x" + QByteArray::number((unsigned char)name[i], 16).rightJustified(2, '0');
            ++i;
        } else {
            out += name[i] == '\\' ? QByteArray("\\\\") : name.mid(i, length);
            i += length;
        }
    }
    return QString::fromUtf8(out);
}

QByteArray unescaped(const QString& name)
{
    const QByteArray in = name.toUtf8();
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        bool ok = false;
        if (in[i] == '\\' && i + 1 < in.size() && in[i + 1] == '\\') {
            out += '\\';
            ++i;
        } else if (in[i] == '\\' && i + 3 < in.size() && in[i + 1] == 'x' &&
                   (in.mid(i + 2, 2).toInt(&ok, 16), ok)) {
            out += char(in.mid(i + 2, 2).toInt(nullptr, 16));
            i += 3;
        } else {
            out += in[i];
        }
    }
    return out;
}

QByteArray absolute(const QByteArray& path)
{
    QByteArray full = path;
    if (!full.startsWith('/')) {
        std::vector<char> folder(PATH_MAX + 1);
        if (::getcwd(folder.data(), folder.size()))
            full = QByteArray(folder.data()) + '/' + path;
    }
    QList<QByteArray> parts;
    for (const QByteArray& part : full.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.isEmpty())
                parts.removeLast();
        } else {
            parts << part;
        }
    }
    return '/' + parts.join('/');
}

void walk(const QByteArray& folder, bool recursive, bool (*accept)(const QByteArray& name),
          QList<QByteArray>& files)
{
    std::set<std::pair<dev_t, ino_t>> seen;
    std::vector<QByteArray> folders{absolute(folder)};
    while (!folders.empty()) {
        const QByteArray here = folders.back();
        folders.pop_back();
        struct stat info;
        if (::stat(here.constData(), &info) != 0 || !seen.insert({info.st_dev, info.st_ino}).second)
            continue;
        DIR* dir = ::opendir(here.constData());
        if (!dir)
            continue;
        std::vector<QByteArray> below;
        while (const dirent* entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name == "." || name == "..")
                continue;
            const QByteArray path = (here == "/" ? QByteArray() : here) + '/' + name;
            if (::stat(path.constData(), &info) != 0)
                continue;
            if (S_ISDIR(info.st_mode) && recursive)
                below.push_back(path);
            else if (S_ISREG(info.st_mode) && accept(name) && ::access(path.constData(), R_OK) == 0)
                files << path;
        }
        ::closedir(dir);
        folders.insert(folders.end(), below.rbegin(), below.rend());
    }
}

QString openable(const QByteArray& raw)
{
    const QString decoded = QFile::decodeName(raw);
    return QFile::encodeName(decoded) == raw ? decoded : FileNames::fromArgument(raw);
}

QString canonical(const QByteArray& raw)
{
    char* resolved = ::realpath(raw.constData(), nullptr);
    if (!resolved)
        return escaped(raw);
    const QString name = escaped(QByteArray(resolved));
    std::free(resolved);
    return name;
}

} // namespace PictureNames
