// SPDX-License-Identifier: GPL-3.0-or-later
// The reader of sweep CSV files and what tessera-sweep bd-rate, --resume,
// merge and the results window do with a table read back: any bytes give
// either a refusal with a reason or a table whose records all have the
// header's width and that reads back the same once written; read as a table
// a stopped writer left, never past what it claims to have read, and that
// part alone reads the same; the curves and Bjøntegaard figures of any table
// are computed without fault.

#include "CsvReader.h"
#include "CsvWriter.h"
#include "Curves.h"
#include "SweepCsv.h"

#include <QByteArray>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_sweep_csv: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    QString error;
    qsizetype complete = -1;
    if (const auto partial = CsvTable::parse(bytes, &error, &complete)) {
        check(complete >= 0 && complete <= bytes.size(), "read outside the input");
        const auto prefix = CsvTable::parse(bytes.left(complete), &error);
        check(prefix && prefix->header() == partial->header() &&
                  prefix->count() == partial->count(),
              "what was read reads differently alone");
        for (int r = 0; r < partial->count(); ++r)
            check(prefix->record(r) == partial->record(r), "a record reads differently alone");
    } else {
        check(!error.isEmpty(), "a refusal without a reason");
    }
    double value = 0;
    SweepCsv::readNumber(QString::fromUtf8(bytes.left(64)), value);

    error.clear();
    const auto table = CsvTable::parse(bytes, &error);
    if (!table) {
        check(!error.isEmpty(), "a refusal without a reason");
        return 0;
    }
    check(!table->header().isEmpty(), "a table without a header");
    // Each record takes at least its line end or the end of the text.
    check(std::size_t(table->count()) <= size, "more records than bytes");
    for (int r = 0; r < table->count(); ++r)
        check(table->record(r).size() == table->header().size(), "a record of the wrong width");
    // What was read is written back and read again unchanged.
    const auto again = CsvTable::parse(CsvWriter::text(*table), &error);
    check(again && again->header() == table->header() && again->count() == table->count(),
          "a written table does not read back");
    for (int r = 0; r < table->count(); ++r)
        check(again->record(r) == table->record(r), "a written record reads back differently");

    for (const QString& figure : {QStringLiteral("psnr"), QStringLiteral("ssim")}) {
        Curves::Options options;
        options.figure = figure;
        const auto curves = Curves::perPicture(*table, options);
        for (const auto& curve : curves)
            for (const auto& point : curve.points)
                check(std::isfinite(point.rate) && std::isfinite(point.figure),
                      "a point that is not finite");
        Curves::averaged(curves);
        if (!curves.empty()) {
            const QStringList by{QStringLiteral("dct")};
            options.curveBy = by;
            const auto compared = Curves::perPicture(*table, options);
            const auto columns = Curves::settingColumns(*table);
            for (const auto& line :
                 Curves::compare(compared, columns, by,
                                 compared.empty() ? QStringList() : compared.front().key)
                     .pairs)
                check((!line.rate || std::isfinite(*line.rate)) &&
                          (!line.figure || std::isfinite(*line.figure)),
                      "a delta that is not finite");
        }
    }
    return 0;
}
