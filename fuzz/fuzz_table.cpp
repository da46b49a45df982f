// SPDX-License-Identifier: GPL-3.0-or-later
// The quantization editor's single-table reader: any bytes either give 64
// signed 16-bit values or leave the table untouched, comments added at the
// start and at every line end change neither outcome, and a table read can be
// written in the editor's form, with or without comments, and read back
// unchanged.

#include "QuantizationTableFiles.h"
#include "TableComments.h"

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
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::istringstream in(bytes);
    TableValues untouched;
    untouched.fill(-12345);
    TableValues table = untouched;
    const bool read = readTable(in, table);

    std::istringstream commented(withComments(bytes));
    TableValues withComment = untouched;
    check(readTable(commented, withComment) == read && withComment == table,
          "added comments changed the outcome");
    if (!read) {
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

    std::ostringstream annotated;
    check(writeTable(annotated, table, "a table # with a hash\n\n12 34"),
          "writing with comments failed");
    std::istringstream annotatedBack(annotated.str());
    reread = untouched;
    check(readTable(annotatedBack, reread) && reread == table,
          "a table written with comments read back differently");
    return 0;
}
