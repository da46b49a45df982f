// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Shared by the table file harnesses: the same bytes with comments added
// where they cannot change what a reader makes of them.

#include <string>

// A comment line first, and a comment in front of every newline. A comment
// runs to the end of its line, and the blank before it stands where the
// newline already separated two tokens, so a reader that treats comments as
// whitespace must find the same numbers, the same first non-number and the
// same end. Digits inside the comments catch a reader that takes them for data.
inline std::string withComments(const std::string& bytes)
{
    std::string out = "# 1 2 3 header comment\n";
    out.reserve(out.size() + bytes.size() * 2);
    for (char c : bytes) {
        if (c == '\n')
            out += " # 64 65\t-7 x";
        out += c;
    }
    return out;
}
