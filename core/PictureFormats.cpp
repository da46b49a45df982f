// SPDX-License-Identifier: GPL-3.0-or-later
#include "PictureFormats.h"

#include <FreeImage.h>

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

namespace PictureFormats {

namespace {

// The extensions of the formats our own decoders read before the general
// loader is asked (PNG, binary PPM and JPEG).
const char* const ownDecoderExtensions[] = {"png", "ppm", "jpg", "jpeg"};

QStringList generalLoaderExtensions()
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
    return result;
}

QStringList collectExtensions()
{
    QStringList result = generalLoaderExtensions();
    for (const char* extension : ownDecoderExtensions)
        result << QString::fromLatin1(extension);
    result.removeDuplicates();
    result.removeAll(QString());
    result.sort();
    return result;
}

} // namespace

const QStringList& extensions()
{
    static const QStringList list = collectExtensions();
    return list;
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

bool hasPictureExtension(const QByteArray& fileName)
{
    const qsizetype dot = fileName.lastIndexOf('.');
    const qsizetype slash = fileName.lastIndexOf('/');
    if (dot < 0 || dot < slash)
        return false;
    return extensions().contains(QString::fromLatin1(fileName.mid(dot + 1).toLower()));
}

QStringList picturesIn(const QString& folder)
{
    QStringList result;
    QDirIterator it(QFileInfo(folder).absoluteFilePath(), QDir::Files | QDir::Readable,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = it.next();
        if (hasPictureExtension(name))
            result << name;
    }
    result.sort();
    return result;
}

QString openFilter()
{
    return QStringLiteral("Images (%1);;All files (*)").arg(namePatterns().join(QLatin1Char(' ')));
}

} // namespace PictureFormats
