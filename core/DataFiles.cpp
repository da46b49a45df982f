// SPDX-License-Identifier: GPL-3.0-or-later
#include "DataFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QtGlobal>

#ifndef TESSERA_DATADIR
#define TESSERA_DATADIR "/usr/local/share/tessera"
#endif
#ifndef TESSERA_RELATIVE_DATADIR
#define TESSERA_RELATIVE_DATADIR "share/tessera"
#endif

namespace DataFiles {

QStringList searchFolders()
{
    QStringList folders{QDir::currentPath()};
    // Without an application object there is no executable path to go by.
    if (QCoreApplication::instance()) {
        const QDir executable(QCoreApplication::applicationDirPath());
        folders << executable.absolutePath()
                << QDir::cleanPath(executable.absoluteFilePath(
                       QStringLiteral("../") + QLatin1String(TESSERA_RELATIVE_DATADIR)));
    }
    folders << QStringLiteral(TESSERA_DATADIR);
    folders.removeDuplicates();
    return folders;
}

QString find(const QString& relative)
{
    const QStringList folders = searchFolders();
    for (const QString& folder : folders) {
        const QFileInfo candidate(QDir(folder), relative);
        if (candidate.isFile())
            return candidate.absoluteFilePath();
    }
    qWarning("data file %s not found in %s", qPrintable(relative),
             qPrintable(folders.join(QStringLiteral(", "))));
    return QDir::current().filePath(relative);
}

} // namespace DataFiles
