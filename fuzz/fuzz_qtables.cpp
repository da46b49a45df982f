// SPDX-License-Identifier: GPL-3.0-or-later
// readQTables, the batch tool's reader of quantization table files: any
// bytes give a list of complete tables, the same from a stream as from a
// file, the same again with comments added at the start and at every line
// end, and every table read can be written out as text and read back
// unchanged.

#include "QuantizationTableFiles.h"
#include "TableComments.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_qtables: %s\n", what);
        std::abort();
    }
}

// A file of this process's own in the temporary folder.
const std::string& scratchPath()
{
    static const std::string path =
        "/tmp/tessera-fuzz-qtables-" + std::to_string(::getpid()) + ".txt";
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::istringstream in(bytes);
    const std::vector<QuantizationTable> tables = readQTables(in);
    // Every table takes 64 numbers, each at least one digit and one separator.
    check(tables.size() * 64 * 2 <= size + 1, "more tables than numbers");

    {
        std::ofstream file(scratchPath(), std::ios::binary | std::ios::trunc);
        file.write(bytes.data(), std::streamsize(bytes.size()));
    }
    check(readQTables(scratchPath()) == tables, "the file and the stream disagree");
    std::remove(scratchPath().c_str());

    std::istringstream commented(withComments(bytes));
    check(readQTables(commented) == tables, "added comments changed the tables");

    std::ostringstream text;
    for (const QuantizationTable& table : tables) {
        for (unsigned k = 0; k < QuantizationTable::SIZE; ++k)
            text << table[k] << (k % 8 == 7 ? '\n' : '\t');
    }
    std::istringstream again(text.str());
    check(readQTables(again) == tables, "tables written out read back differently");
    return 0;
}
