// SPDX-License-Identifier: GPL-3.0-or-later
#include "MemoryBudget.h"

#include <algorithm>
#include <atomic>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <sys/resource.h>
#include <unistd.h>

namespace {

std::atomic<std::uint64_t> fixedBudget{0};

// The soft limit of `resource`, or `fallback` when there is none.
std::uint64_t limitOf(int resource, std::uint64_t fallback)
{
    rlimit limit{};
    if (::getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return fallback;
    return std::min<std::uint64_t>(limit.rlim_cur, fallback);
}

} // namespace

namespace MemoryBudget {

void keepFreedMemory()
{
#if defined(__GLIBC__)
    // Fixing the mapping threshold also ends the library's own adjustment
    // of it, which would otherwise start from 128 KB.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
}

void setFixed(std::uint64_t fixed)
{
    fixedBudget.store(fixed);
}

std::uint64_t bytes()
{
    if (const std::uint64_t fixed = fixedBudget.load(); fixed != 0)
        return fixed;
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    // Without an answer, assume a small machine rather than none.
    std::uint64_t memory = pages > 0 && pageSize > 0
                               ? std::uint64_t(pages) * std::uint64_t(pageSize)
                               : std::uint64_t(2) << 30;
    // Asked anew each time: a limit may be set while the program runs.
    memory = limitOf(RLIMIT_AS, memory);
    memory = limitOf(RLIMIT_DATA, memory);
    // The other half is for the program, its libraries and the decoders'
    // working memory.
    return memory / 2;
}

std::uint64_t megabytes(std::uint64_t bytes)
{
    constexpr std::uint64_t mega = 1024 * 1024;
    return (bytes + mega - 1) / mega;
}

QString notEnoughMemory(const QString& what, std::uint64_t neededBytes, bool againstBudget)
{
    if (!againstBudget) {
        return QStringLiteral("Not enough memory to %1 (%2 MB needed).")
            .arg(what)
            .arg(megabytes(neededBytes));
    }
    return QStringLiteral("Not enough memory to %1 (%2 MB needed, %3 MB available).")
        .arg(what)
        .arg(megabytes(neededBytes))
        .arg(bytes() / (1024 * 1024));
}

} // namespace MemoryBudget
