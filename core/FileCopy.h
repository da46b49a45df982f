#pragma once

#include <QString>

// Copies the file `from` to `to`, replacing an existing target. Returns false
// when the source cannot be read or the target cannot be written completely;
// `error`, when given, then receives a short reason.
bool copyFileOverwriting(const QString& from, const QString& to, QString* error = nullptr);
