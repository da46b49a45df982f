#include "FileCopy.h"

#include <QFile>

bool copyFileOverwriting(const QString& from, const QString& to, QString* error)
{
    auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };

    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("Couldn't read %1: %2").arg(from, source.errorString()));
    QFile target(to);
    if (!target.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(QStringLiteral("Couldn't write %1: %2").arg(to, target.errorString()));

    char buffer[64 * 1024];
    for (;;) {
        const qint64 got = source.read(buffer, sizeof buffer);
        if (got < 0)
            return fail(QStringLiteral("Couldn't read %1: %2").arg(from, source.errorString()));
        if (got == 0)
            break;
        if (target.write(buffer, got) != got)
            return fail(QStringLiteral("Couldn't write %1: %2").arg(to, target.errorString()));
    }
    if (!target.flush()) {
        return fail(QStringLiteral("Couldn't write %1: %2").arg(to, target.errorString()));
    }
    target.close();
    if (target.error() != QFileDevice::NoError)
        return fail(QStringLiteral("Couldn't write %1: %2").arg(to, target.errorString()));
    return true;
}
