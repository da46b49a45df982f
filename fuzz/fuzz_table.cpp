// The quantization editor's single-table reader: any bytes either give 64
// signed 16-bit values or leave the table untouched, and a table read can be
// written in the editor's form and read back unchanged.

#include "QuantizationTableFiles.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_table: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    TableValues untouched;
    untouched.fill(-12345);
    TableValues table = untouched;
    if (!readTable(in, table)) {
        check(table == untouched, "a failed read changed the table");
        return 0;
    }

    std::ostringstream out;
    check(writeTable(out, table), "writing to memory failed");
    const std::string written = out.str();
    check(std::count(written.begin(), written.end(), '\n') == 8, "not eight lines");
    std::istringstream back(written);
    TableValues reread = untouched;
    check(readTable(back, reread) && reread == table, "a written table read back differently");
    return 0;
}
