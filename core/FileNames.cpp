#include "FileNames.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

#include <vector>

namespace FileNames {

QString fromArgument(const QByteArray& raw)
{
    const QString decoded = QFile::decodeName(raw);
    if (QFile::encodeName(decoded) == raw)
        return decoded;
    const int fd = ::open(raw.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return decoded;
    return QStringLiteral("/proc/self/fd/%1").arg(fd);
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

} // namespace FileNames
