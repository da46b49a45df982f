// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <FreeImage.h>

#include <cstddef>
#include <cstdio>
#include <memory>

// The guarded I/O layer under the general loader and the header parsers:
// files opened and closed by scope, whole reads, one way to tell a file's
// size, and the reader FreeImage is handed, which never leaves a caller's
// buffer as it was.

struct FileCloser
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Whether `count` bytes were read into `bytes`.
bool readBytes(std::FILE* file, unsigned char* bytes, std::size_t count);

// The size of an open file in bytes, the file then positioned at its start;
// -1 when it cannot be told.
long fileSizeOf(std::FILE* file);

// A file read through FreeImageIO that notes reads past its end and fills
// the part of the caller's buffer that the file did not, up to 4 KiB of it
// (a short read into a larger buffer leaves the rest as it was): several FreeImage
// readers look at a buffer without checking how much was read into it
// (signature tests on a file shorter than the signature, among others), and
// would otherwise decide on whatever their stack held.
struct GuardedFile
{
    std::FILE* file = nullptr;
    // The whole file, when it was read into memory; then `file` is not used.
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    std::size_t position = 0;
    const char* filler = nullptr; // repeated past the end; zeros when null
    std::size_t fillerLength = 0;
    bool pastEnd = false;
    std::size_t filled = 0; // bytes handed out past the end
};

// The reading, seeking and telling of a GuardedFile (handed to FreeImage as
// its handle); writing is refused.
FreeImageIO guardedIo();
