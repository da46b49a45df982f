// SPDX-License-Identifier: GPL-3.0-or-later
#include "Preferences.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace Preferences {

namespace {

QString folderKey(Folder kind)
{
    switch (kind) {
    case Folder::Pictures:
        return QStringLiteral("folders/pictures");
    case Folder::Tables:
        return QStringLiteral("folders/tables");
    case Folder::Reports:
        return QStringLiteral("folders/reports");
    }
    return QStringLiteral("folders/pictures");
}

const QString recentKey = QStringLiteral("recentFiles");

} // namespace

std::unique_ptr<QSettings> store()
{
    auto settings =
        std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                    QStringLiteral("tessera"), QStringLiteral("tessera"));
    if (settings->status() == QSettings::FormatError)
        settings->clear();
    return settings;
}

QVariant value(const QString& key, const QVariant& fallback)
{
    const QVariant stored = store()->value(key);
    if (!stored.isValid())
        return fallback;
    if (!fallback.isValid())
        return stored;
    QVariant converted = stored;
    if (!converted.convert(fallback.metaType()))
        return fallback;
    return converted;
}

void setValue(const QString& key, const QVariant& value)
{
    store()->setValue(key, value);
}

QString startFolder(Folder kind)
{
    const QString remembered = value(folderKey(kind), QString()).toString();
    if (!remembered.isEmpty() && QFileInfo(remembered).isDir())
        return remembered;
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir())
        return pictures;
    return QDir::homePath();
}

void rememberFolder(Folder kind, const QString& path)
{
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    setValue(folderKey(kind), info.isDir() ? info.absoluteFilePath() : info.absolutePath());
}

QStringList recentFiles()
{
    QStringList files = value(recentKey, QStringList()).toStringList();
    files.removeAll(QString());
    return files.mid(0, maxRecentFiles);
}

void addRecentFile(const QString& path)
{
    if (path.isEmpty())
        return;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList files = recentFiles();
    files.removeAll(absolute);
    files.prepend(absolute);
    setValue(recentKey, files.mid(0, maxRecentFiles));
}

void clearRecentFiles()
{
    store()->remove(recentKey);
}

void resetToDefaults()
{
    store()->clear();
}

} // namespace Preferences
