// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <memory>

class QLockFile;

// Writes `bytes` to `path` through a temporary file in the target's folder
// that replaces the target only once everything is written (QSaveFile), so a
// failed write leaves an earlier file of that name as it was. A device or a
// pipe in the way is written in place instead, and a pipe that no process
// reads is refused at once rather than waited on. `mode` may add
// QIODevice::Text. On failure `error`, when given, receives the system's
// reason (the device's error text).
bool writeFileReplacing(const QString& path, const QByteArray& bytes, QString* error = nullptr,
                        QIODevice::OpenMode mode = QIODevice::NotOpen);

// One writer per output file: an advisory lock beside it ("NAME.lock",
// holding the process's id and host) for the life of this object, so that a
// second program writing the same file is refused while the first runs. A
// lock whose process has ended is taken over. Devices and pipes, which are
// written in place, are not locked.
class OutputLock
{
public:
    explicit OutputLock(const QString& path);
    ~OutputLock();
    OutputLock(const OutputLock&) = delete;
    OutputLock& operator=(const OutputLock&) = delete;

    // False with "PATH is being written by process N on HOST" (or the
    // reason the lock could not be made) in `error`.
    bool acquire(QString& error);

private:
    QString path;
    std::unique_ptr<QLockFile> lock;
};
