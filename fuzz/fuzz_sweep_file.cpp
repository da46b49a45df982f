// SPDX-License-Identifier: GPL-3.0-or-later
// The reader of sweep files that tessera-sweep and the batch window share:
// any bytes give either settings lines with a known option and a value, or a
// message that names a line.

#include "SweepFile.h"
#include "SweepOptions.h"

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_sweep_file: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QList<QPair<QString, QString>> settings;
    QString error;
    if (SweepFile::parse(bytes, settings, error)) {
        check(error.isEmpty(), "a message for a file that was read");
        check(settings.size() <= bytes.count('='), "more settings than lines with '='");
        for (const auto& setting : settings)
            check(!setting.first.isEmpty() && !setting.second.isEmpty(),
                  "an empty option or value");
    } else {
        check(error.startsWith(QLatin1String("line ")), "a message without its line");
    }
    QStringList figures;
    QString figureError;
    if (SweepOptions::parseFigures(QString::fromUtf8(bytes.left(200)), figures, figureError))
        check(figures.size() <= SweepOptions::figureNames().size() + 1, "figures repeated");
    return 0;
}
