// SPDX-License-Identifier: GPL-3.0-or-later
#include "PictureFormats.h"

#include <FreeImage.h>

#include <QFileInfo>

namespace PictureFormats {

QStringList extensions()
{
    QStringList result;
    const int count = FreeImage_GetFIFCount();
    for (int i = 0; i < count; ++i) {
        const auto format = FREE_IMAGE_FORMAT(i);
        if (!FreeImage_FIFSupportsReading(format))
            continue;
        const char* list = FreeImage_GetFIFExtensionList(format);
        if (!list)
            continue;
        for (const QString& extension :
             QString::fromLatin1(list).split(QLatin1Char(','), Qt::SkipEmptyParts))
            result << extension.trimmed().toLower();
    }
    result.removeDuplicates();
    result.removeAll(QString());
    result.sort();
    return result;
}

QStringList namePatterns()
{
    QStringList result;
    for (const QString& extension : extensions())
        result << QStringLiteral("*.") + extension << QStringLiteral("*.") + extension.toUpper();
    return result;
}

bool hasPictureExtension(const QString& fileName)
{
    return extensions().contains(QFileInfo(fileName).suffix().toLower());
}

QString openFilter()
{
    return QStringLiteral("Images (%1);;All files (*)").arg(namePatterns().join(QLatin1Char(' ')));
}

} // namespace PictureFormats
