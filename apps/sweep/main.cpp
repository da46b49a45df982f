// SPDX-License-Identifier: GPL-3.0-or-later
#include "BDCommand.h"
#include "Image.h"
#include "MemoryBudget.h"
#include "OptimiseTables.h"
#include "Sweep.h"
#include "SweepOptions.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    MemoryBudget::keepFreedMemory();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessera-sweep"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSERA_VERSION));
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (!arguments.isEmpty() && arguments.front() == QLatin1String("merge"))
        return Sweep::merge(arguments.mid(1));
    if (!arguments.isEmpty() && arguments.front() == QLatin1String("optimise-tables"))
        return OptimiseTables::run(arguments.mid(1));
    if (!arguments.isEmpty() && arguments.front() == QLatin1String("bd-rate")) {
        const BDCommand::Outcome outcome = BDCommand::run(arguments.mid(1));
        std::fwrite(outcome.output.constData(), 1, std::size_t(outcome.output.size()), stdout);
        std::fwrite(outcome.errors.constData(), 1, std::size_t(outcome.errors.size()), stderr);
        return outcome.status;
    }

    SweepJob job;
    QString error;
    QList<QByteArray> raw;
    for (int i = 1; i < argc; ++i)
        raw << QByteArray(argv[i]);
    if (SweepOptions::parse(arguments, job, error, raw) != 0) {
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
        return 2;
    }
    Image::initImage();
    const int status = Sweep::run(job);
    Image::deinitImage();
    return status;
}
