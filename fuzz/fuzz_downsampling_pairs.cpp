// SPDX-License-Identifier: GPL-3.0-or-later
// The batch window's reader of sampling-factor pair files: any bytes give a
// list of pairs whose factors lie in 1..4 and whose blocks per minimum coded
// unit stay within the limit, the same from bytes as from a stream.

#include "DownsamplingPairs.h"

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_downsampling_pairs: %s\n", what);
        std::abort();
    }
}

bool legal(const JPEGSettings::Downsampling& factors)
{
    return factors.vertical >= 1 && factors.vertical <= 4 && factors.horizontal >= 1 &&
           factors.horizontal <= 4;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    const auto pairs = DownsamplingPairs::read(bytes);
    std::istringstream in(std::string(bytes.constData(), size));
    check(DownsamplingPairs::read(in) == pairs, "bytes and stream give different pairs");
    // Four numbers per record, each a digit and a separator at least.
    check(pairs.size() * 8 <= size + 1, "more pairs than numbers");
    for (const auto& pair : pairs) {
        check(legal(pair.first) && legal(pair.second), "a factor outside 1..4");
        check(pair.first.vertical * pair.first.horizontal +
                      2 * pair.second.vertical * pair.second.horizontal <=
                  DownsamplingPairs::MAX_BLOCKS,
              "a pair over the block limit");
    }
    return 0;
}
