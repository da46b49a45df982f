// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileWrite.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
// device); it is written in place.
bool writeInPlace(const QString& path, const QByteArray& bytes, QIODevice::OpenMode mode,
                  QString* error)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered | mode) && writeAll(file, bytes)) {
        file.close();
        if (file.error() == QFileDevice::NoError)
            return true;
    }
    return fail(file, error);
}

} // namespace

bool writeFileReplacing(const QString& path, const QByteArray& bytes, QString* error,
                        QIODevice::OpenMode mode)
{
    const QFileInfo target(path);
    if (target.exists() && !target.isFile() && !target.isDir())
        return writeInPlace(path, bytes, mode, error);
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
