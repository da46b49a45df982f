// SPDX-License-Identifier: GPL-3.0-or-later
#include "SaveJpeg.h"

#include "CompressionResult.h"
#include "FileWrite.h"
#include "Preferences.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

QString jpegFileName(const QString& chosen)
{
    if (chosen.endsWith(QLatin1String(".jpeg"), Qt::CaseInsensitive) ||
        chosen.endsWith(QLatin1String(".jpg"), Qt::CaseInsensitive))
        return chosen;
    return chosen + QLatin1String(".jpg");
}

QString askJpegSaveName(QWidget* parent, const QString& title)
{
    const QString chosen = QFileDialog::getSaveFileName(
        parent, title.isEmpty() ? QStringLiteral("Save as") : title,
        Preferences::startFolder(Preferences::Folder::Pictures), QStringLiteral("*.jpeg *.jpg"),
        nullptr, QFileDialog::DontConfirmOverwrite);
    if (chosen.isEmpty())
        return {};
    Preferences::rememberFolder(Preferences::Folder::Pictures, chosen);
    const QString target = jpegFileName(chosen);
    if (!QFileInfo::exists(target))
        return target;
    QMessageBox question(QMessageBox::Warning, QStringLiteral("Save as"),
                         QStringLiteral("%1 already exists.\nDo you want to replace it?")
                             .arg(QDir::toNativeSeparators(target)),
                         QMessageBox::Yes | QMessageBox::No, parent);
    question.setObjectName(QStringLiteral("replaceQuestion"));
    question.setTextFormat(Qt::PlainText);
    question.setDefaultButton(QMessageBox::No);
    return question.exec() == QMessageBox::Yes ? target : QString();
}

bool saveCompressedJpegAs(QWidget* parent, const CompressionResult* result, const QString& chosen)
{
    const QString target = jpegFileName(chosen);
    QString reason = QStringLiteral("There is no compressed picture to save.");
    if (result && writeFileReplacing(target, result->getCompressedBytes(), &reason))
        return true;
    QMessageBox::critical(parent, QStringLiteral("Error"),
                          QStringLiteral("Couldn't save the JPEG as<br>%1<br>%2")
                              .arg(target.toHtmlEscaped(), reason.toHtmlEscaped()),
                          QMessageBox::Ok);
    return false;
}
