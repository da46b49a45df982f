// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileWrite.h"

#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool fail(const QFileDevice& file, QString* error)
{
    if (error)
        *error = file.errorString();
    return false;
}

// Writes unbuffered and goes on after a short write: the system call that
// fails then is the one that sets the device's error text (a write that
// stops part-way, at a size limit or a full disk, reports no reason of its
// own).
bool writeAll(QFileDevice& file, const QByteArray& bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

// A device or a pipe cannot be replaced by renaming a finished file over it
// (as root the rename would succeed and put a plain file in place of the
// device); it is written in place. The open does not wait: a pipe that no
// process reads is refused at once instead of stopping the program.
bool writeInPlace(const QString& path, const QByteArray& bytes, QString* error)
{
    const int descriptor =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        if (error) {
            *error = errno == ENXIO ? QStringLiteral("no process reads the pipe")
                                    : QString::fromLocal8Bit(std::strerror(errno));
        }
        return false;
    }
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags >= 0)
        ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK);
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t written =
            ::write(descriptor, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (error)
                *error = QString::fromLocal8Bit(std::strerror(written < 0 ? errno : ENOSPC));
            ::close(descriptor);
            return false;
        }
        done += written;
    }
    if (::close(descriptor) != 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

} // namespace

bool writeFileReplacing(const QString& path, const QByteArray& bytes, QString* error,
                        QIODevice::OpenMode mode)
{
    const QFileInfo target(path);
    if (target.exists() && !target.isFile() && !target.isDir())
        return writeInPlace(path, bytes, error);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered | mode))
        return fail(file, error);
    // Without commit() the temporary file is discarded and the target stays.
    // Unbuffered matters: commit() does not notice a buffered write that
    // fails while it closes the file, and would put a truncated file in
    // place of the old one.
    if (!writeAll(file, bytes) || !file.commit())
        return fail(file, error);
    return true;
}

OutputLock::OutputLock(const QString& target) : path(target) {}

OutputLock::~OutputLock() = default;

bool OutputLock::acquire(QString& error)
{
    const QFileInfo target(path);
    if (target.exists() && !target.isFile())
        return true;
    lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
    // Only a lock whose process is gone is stale, however old it is.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0))
        return true;
    qint64 pid = 0;
    QString host, application;
    if (lock->error() == QLockFile::LockFailedError &&
        lock->getLockInfo(&pid, &host, &application)) {
        error =
            QStringLiteral("%1 is being written by process %2 on %3").arg(path).arg(pid).arg(host);
    } else {
        error = QStringLiteral("cannot lock %1 (%2.lock cannot be made)").arg(path, path);
    }
    lock.reset();
    return false;
}
