// tessera-sweep's reader of its own CSV tables (--resume, merge): any bytes
// give complete records only, never read past what they claim to have
// consumed, and every record written back and read again is the same.

#include "SweepCsv.h"

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_sweep_table: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    qsizetype consumed = -1;
    const std::vector<QStringList> records = SweepCsv::parse(bytes, &consumed);
    check(consumed >= 0 && consumed <= bytes.size(), "consumed outside the input");
    check(records.size() <= size, "more records than bytes");
    // What was consumed alone gives the same records.
    check(SweepCsv::parse(bytes.left(consumed)) == records, "a prefix reads differently");
    for (const QStringList& record : records) {
        const QByteArray written = SweepCsv::record(record);
        qsizetype again = 0;
        const std::vector<QStringList> back = SweepCsv::parse(written, &again);
        check(back.size() == 1 && again == written.size(), "a written record does not read back");
        // Text that is not UTF-8 is replaced when read; what is written then
        // reads back as itself.
        check(back.front() == record, "a written record reads back differently");
    }
    double value = 0;
    SweepCsv::readNumber(QString::fromUtf8(bytes.left(64)), value);
    return 0;
}
