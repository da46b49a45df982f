#include "SaveJpeg.h"

#include "FileCopy.h"
#include "JPEGCompressor.h"

#include <QMessageBox>

QString jpegFileName(const QString& chosen)
{
    if (chosen.endsWith(QLatin1String(".jpeg"), Qt::CaseInsensitive) ||
        chosen.endsWith(QLatin1String(".jpg"), Qt::CaseInsensitive))
        return chosen;
    return chosen + QLatin1String(".jpg");
}

bool saveCompressedJpegAs(QWidget* parent, const QString& chosen)
{
    const QString target = jpegFileName(chosen);
    QString reason;
    if (copyFileOverwriting(QString::fromLatin1(JPEGCompressor::SCRATCH_FILE), target, &reason))
        return true;
    QMessageBox::critical(parent, QStringLiteral("Error"),
                          QStringLiteral("Couldn't save the JPEG as<br>%1<br>%2")
                              .arg(target.toHtmlEscaped(), reason.toHtmlEscaped()),
                          QMessageBox::Ok);
    return false;
}
