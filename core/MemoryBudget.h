// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

// How much memory the program lets one picture and everything made from it
// take, derived from the machine each time it is asked: half of the smaller of
// the physical memory and the process's address-space (and data) limit, when
// one is set. A picture or list whose size is known before it is built is
// checked against it; allocations that still fail are caught where the user's
// action began.
namespace MemoryBudget {

// Bytes available to one picture and its derived pictures.
std::uint64_t bytes();
// Makes bytes() answer `fixed` from now on (0: derived again), for a helper
// process that decodes with the budget of the program that started it.
void setFixed(std::uint64_t fixed);

// Bytes per pixel that a loaded picture and one compression of it hold at
// once: the 24-bit and 32-bit copies of the source, the decoded JPEG and the
// five derived pictures of its result (each 32-bit).
constexpr std::uint64_t BYTES_PER_PIXEL = 3 + 4 + 4 + 5 * 4;

// Entries read from one side file (tables, sampling pairs) at most, however
// much memory there is.
constexpr std::size_t MAX_FILE_ENTRIES = 100000;

// Asks the C library to keep the memory of freed pictures for the next
// ones instead of handing it back to the system at once: a batch frees and
// allocates a few picture-sized buffers for every picture and compression,
// and memory fetched anew from the system costs a page fault per page, more
// than the rest of the copying. Buffers up to 32 MB come from the heap and up
// to 64 MB of free heap stay with the process; larger pictures are mapped
// and unmapped as before. For programs that run batches; call once, early.
void keepFreedMemory();

// Whole megabytes, rounded up, for messages.
std::uint64_t megabytes(std::uint64_t bytes);

// "Not enough memory to WHAT (N MB needed)." for an allocation that failed;
// a refusal against the budget adds ", M MB available" with the budget.
QString notEnoughMemory(const QString& what, std::uint64_t neededBytes, bool againstBudget = false);

} // namespace MemoryBudget
