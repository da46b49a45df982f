// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileDrops.h"

#include <QMimeData>
#include <QUrl>

namespace Preferences {

QStringList localFiles(const QMimeData* data)
{
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    return files;
}

QString singleLocalFile(const QMimeData* data)
{
    const QStringList files = localFiles(data);
    return files.size() == 1 ? files.first() : QString();
}

} // namespace Preferences
