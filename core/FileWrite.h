// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

// Writes `bytes` to `path` through a temporary file in the target's folder
// that replaces the target only once everything is written (QSaveFile), so a
// failed write leaves an earlier file of that name as it was. A device or a
// pipe in the way is written in place instead. `mode` may add
// QIODevice::Text. On failure `error`, when given, receives the system's
// reason (the device's error text).
bool writeFileReplacing(const QString& path, const QByteArray& bytes, QString* error = nullptr,
                        QIODevice::OpenMode mode = QIODevice::NotOpen);
