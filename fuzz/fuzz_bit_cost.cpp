// SPDX-License-Identifier: GPL-3.0-or-later
// The walk of a JPEG file's entropy-coded data, fed arbitrary bytes, with
// one block traced. Whatever the bytes, the outcome is a refusal with a
// reason, a coding named as not walked, or an account of every bit that
// adds up to the file's size.

#include "JpegBitCost.h"

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_bit_cost: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    JpegBitCost::Options options;
    options.maxBlocks = 1 << 16; // larger frames only make runs slow
    options.traceComponent = size > 0 ? data[size - 1] % 3 : 0;
    options.traceColumn = 1;
    options.traceRow = 0;
    const JpegBitCost cost = JpegBitCost::read(bytes, options);
    if (!cost.ok()) {
        check(!cost.error.isEmpty() || !cost.notWalked.isEmpty(), "a refusal without a reason");
        check(cost.components.empty() || !cost.notWalked.isEmpty(), "blocks after a failure");
        return 0;
    }
    check(cost.totalBlockBits() + 8 * std::uint64_t(cost.nonDataBytes()) + cost.overheadBits() ==
              8 * std::uint64_t(bytes.size()),
          "the bits do not add up to the file's size");
    check(cost.scans.size() >= 1 && int(cost.scans.size()) <= JpegBitCost::MAX_SCANS, "scans");
    check(int(cost.trace.size()) <= JpegBitCost::MAX_TRACE, "trace length");
    std::uint64_t traced = 0;
    for (const JpegBitCost::Symbol& s : cost.trace)
        traced += s.bits;
    check(cost.traceTruncated || traced == cost.traceBits, "the trace does not add up");
    for (int c = 0; c < int(cost.components.size()); ++c) {
        const JpegBitCost::Component& component = cost.components[std::size_t(c)];
        check(component.dcBits.size() ==
                  std::size_t(component.storedWidth) * std::size_t(component.storedHeight),
              "block count");
        std::uint64_t sum = 0;
        for (std::uint32_t bits : cost.lumaGridBits(c))
            sum += bits;
        check(sum <= component.totalDcBits + component.totalAcBits, "luma grid");
    }
    return 0;
}
