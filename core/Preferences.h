// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

// What the programs remember between runs, in one QSettings store shared by
// both (on Linux ~/.config/tessera/tessera.conf). A store the settings
// reader cannot parse, or values of the wrong kind in it, give the defaults:
// every reader checks what it gets.
namespace Preferences {

enum class Folder { Pictures, Tables, Reports };

// The store. One that does not parse is emptied, so the defaults apply and
// the next write replaces the damaged file.
std::unique_ptr<QSettings> store();

// The folder a file dialog of this kind starts in: the one last used when it
// still exists, otherwise the user's pictures folder, otherwise the home
// folder. Never the working folder, which for a program started from a menu
// may be "/" or read-only.
QString startFolder(Folder kind);
// Remembers the folder of `path` (a file, or a folder itself) for `kind`.
void rememberFolder(Folder kind, const QString& path);

// Pictures opened lately, newest first, at most maxRecentFiles.
constexpr int maxRecentFiles = 10;
QStringList recentFiles();
void addRecentFile(const QString& path);
void clearRecentFiles();

// A stored value, or `fallback` when it is missing or not convertible to the
// fallback's type.
QVariant value(const QString& key, const QVariant& fallback);
void setValue(const QString& key, const QVariant& value);

// Forgets everything remembered, so the programs' defaults apply.
void resetToDefaults();

} // namespace Preferences
