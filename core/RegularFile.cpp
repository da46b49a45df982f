// SPDX-License-Identifier: GPL-3.0-or-later
#include "RegularFile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int openRegularFile(const std::string& path)
{
    // O_NONBLOCK keeps the open of a FIFO without a writer from waiting; the
    // type is then checked on what was opened, not on the name.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return -1;
    struct stat status;
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        return -1;
    }
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags >= 0)
        ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK);
    return descriptor;
}

std::optional<QByteArray> readRegularFile(const QString& path, qint64 limit, QString& reason)
{
    errno = 0;
    const int descriptor = openRegularFile(QFile::encodeName(path).toStdString());
    if (descriptor < 0) {
        // The open itself failed, or what it opened was not a regular file.
        reason = errno != 0 ? QString::fromLocal8Bit(std::strerror(errno))
                            : QStringLiteral("not a regular file");
        return std::nullopt;
    }
    struct stat status;
    QByteArray bytes;
    if (::fstat(descriptor, &status) == 0 && status.st_size > limit) {
        ::close(descriptor);
        reason = QStringLiteral("larger than %1 MB").arg(limit >> 20);
        return std::nullopt;
    }
    bytes.resize(qsizetype(status.st_size));
    qint64 got = 0;
    // The file may grow while it is read: never past the limit.
    for (;;) {
        if (got == bytes.size()) {
            if (got > limit)
                break;
            bytes.resize(qsizetype(std::min<qint64>(limit + 1, got + 65536)));
        }
        const ssize_t part =
            ::read(descriptor, bytes.data() + got, std::size_t(bytes.size() - got));
        if (part < 0 && errno == EINTR)
            continue;
        if (part < 0) {
            reason = QString::fromLocal8Bit(std::strerror(errno));
            ::close(descriptor);
            return std::nullopt;
        }
        if (part == 0)
            break;
        got += part;
    }
    ::close(descriptor);
    if (got > limit) {
        reason = QStringLiteral("larger than %1 MB").arg(limit >> 20);
        return std::nullopt;
    }
    bytes.resize(qsizetype(got));
    return bytes;
}

RegularFileStream::RegularFileStream(const std::string& path) : std::istream(nullptr)
{
    buffer.descriptor = openRegularFile(path);
    if (buffer.descriptor >= 0)
        rdbuf(&buffer);
    else
        setstate(std::ios::failbit);
}

RegularFileStream::~RegularFileStream()
{
    if (buffer.descriptor >= 0)
        ::close(buffer.descriptor);
}

RegularFileStream::Buffer::int_type RegularFileStream::Buffer::underflow()
{
    if (gptr() < egptr())
        return traits_type::to_int_type(*gptr());
    ssize_t got = 0;
    do {
        got = ::read(descriptor, bytes, sizeof bytes);
    } while (got < 0 && errno == EINTR);
    if (got <= 0)
        return traits_type::eof();
    setg(bytes, bytes, bytes + got);
    return traits_type::to_int_type(*gptr());
}
