// SPDX-License-Identifier: GPL-3.0-or-later
// The reader of what a JPEG file holds, fed arbitrary bytes: its marker walk
// and, for frames small enough to keep runs fast, the library's reading of
// the quantized coefficients. Whatever the bytes, the outcome is a
// consistent description or a refusal with a reason.

#include "JpegFileInfo.h"

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_jpeg_info: %s\n", what);
        std::abort();
    }
}

volatile long sink = 0;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const JpegFileInfo header = JpegFileInfo::read(bytes);
    if (!header.isValid()) {
        check(!header.error.isEmpty(), "a refusal without a reason");
        return 0;
    }
    check(header.width > 0 && header.height > 0, "a frame without a size");
    check(!header.components.empty() && header.components.size() <= 4, "component count");
    for (const JpegFileInfo::Component& c : header.components)
        check(c.horizontal >= 1 && c.horizontal <= 4 && c.vertical >= 1 && c.vertical <= 4 &&
                  c.table >= 0 && c.table <= 3,
              "sampling factors or table slot out of range");
    for (const JpegFileInfo::QuantizationTableInfo& t : header.quantizationTables)
        check(!t.describe().isEmpty() && (t.precision == 8 || t.precision == 16), "table");
    check(header.scans >= 1 && header.scans <= JpegFileInfo::MAX_SCANS, "scan count");

    // Legal frames of more than a few megapixels only make runs slow.
    if (std::uint64_t(header.width) * header.height > (4u << 20))
        return 0;
    const JpegFileInfo full = JpegFileInfo::read(bytes, true);
    check(full.isValid(), "the coefficients made a valid file invalid");
    if (full.coefficients.empty()) {
        check(!full.coefficientError.isEmpty(), "no coefficients without a reason");
        return 0;
    }
    check(full.coefficients.size() == full.components.size(), "coefficients per component");
    long sum = 0;
    for (const JpegFileInfo::ComponentCoefficients& c : full.coefficients) {
        check(c.values.size() == std::size_t(c.widthInBlocks) * c.heightInBlocks * 64,
              "coefficient count");
        for (std::int16_t v : c.values)
            sum += v;
    }
    sink = sink + sum;
    return 0;
}
