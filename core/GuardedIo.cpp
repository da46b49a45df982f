// SPDX-License-Identifier: GPL-3.0-or-later
#include "GuardedIo.h"

#include <algorithm>
#include <cstring>

bool readBytes(std::FILE* file, unsigned char* bytes, std::size_t count)
{
    return std::fread(bytes, 1, count, file) == count;
}

long fileSizeOf(std::FILE* file)
{
    if (std::fseek(file, 0, SEEK_END) != 0)
        return -1;
    const long size = std::ftell(file);
    std::rewind(file);
    return size;
}

namespace {

constexpr std::size_t FILL_LIMIT = 4096;

unsigned DLL_CALLCONV guardedRead(void* buffer, unsigned size, unsigned count, fi_handle handle)
{
    auto* guarded = static_cast<GuardedFile*>(handle);
    // Several decoders read their samples one byte per call.
    if (size == 1 && count == 1 && guarded->data && guarded->position < guarded->size) {
        *static_cast<unsigned char*>(buffer) = guarded->data[guarded->position++];
        return 1;
    }
    std::size_t got = 0;
    if (guarded->data) {
        const std::size_t left =
            guarded->position < guarded->size ? guarded->size - guarded->position : 0;
        got = size == 0 ? count : std::min<std::size_t>(count, left / size);
        std::memcpy(buffer, guarded->data + std::min(guarded->position, guarded->size), got * size);
        // Like a file, the position moves past whole items only, and stays
        // at the end after a read that came short.
        guarded->position = got < count ? std::max(guarded->position, guarded->size)
                                        : guarded->position + got * size;
    } else {
        got = std::fread(buffer, size, count, guarded->file);
    }
    if (got < count) {
        guarded->pastEnd = true;
        auto* bytes = static_cast<char*>(buffer);
        // At most FILL_LIMIT bytes are filled: some readers ask for far more
        // than their buffer holds (an icon's claimed size, gigabytes) and
        // count on the file to come short, as a file read does.
        const std::size_t from = got * size,
                          to = std::min(std::size_t(size) * count, from + FILL_LIMIT);
        if (!guarded->filler) {
            std::memset(bytes + from, 0, to - from);
        } else {
            for (std::size_t i = from; i < to; ++i)
                bytes[i] = guarded->filler[(guarded->filled + i - from) % guarded->fillerLength];
        }
        guarded->filled += to - from;
    }
    return unsigned(got);
}

unsigned DLL_CALLCONV noWrite(void*, unsigned, unsigned, fi_handle)
{
    return 0;
}

int DLL_CALLCONV guardedSeek(fi_handle handle, long offset, int origin)
{
    auto* guarded = static_cast<GuardedFile*>(handle);
    if (!guarded->data)
        return std::fseek(guarded->file, offset, origin);
    long long base = 0;
    if (origin == SEEK_CUR)
        base = (long long)guarded->position;
    else if (origin == SEEK_END)
        base = (long long)guarded->size;
    else if (origin != SEEK_SET)
        return -1;
    if (base + offset < 0)
        return -1;
    guarded->position = std::size_t(base + offset);
    return 0;
}

long DLL_CALLCONV guardedTell(fi_handle handle)
{
    auto* guarded = static_cast<GuardedFile*>(handle);
    return guarded->data ? long(guarded->position) : std::ftell(guarded->file);
}

} // namespace

FreeImageIO guardedIo()
{
    FreeImageIO io;
    io.read_proc = guardedRead;
    io.write_proc = noWrite;
    io.seek_proc = guardedSeek;
    io.tell_proc = guardedTell;
    return io;
}
