#pragma once

#include <QtGlobal>

#include <cstdint>

// Memory read for the last time from its start, handed back to the system as the reading goes
// (where the system allows it), so that what is made from it can grow while it shrinks. Only
// whole pages inside the range are handed back: the allocator's own bytes before and after it
// stay. The pages handed back read as zeros from then on; the memory must be the caller's own,
// with no one else to read it.
class ReleasedMemory
{
public:
    ReleasedMemory() = default;
    ReleasedMemory(const void *start, qint64 size);

    // Everything before `end` is no longer read; handed back by steps of at least 1 MiB, fewer
    // calls to the system, and at the range's end.
    void readUpTo(const void *end);

private:
    std::uintptr_t m_released = 0; // the first byte not yet handed back, on a page boundary
    std::uintptr_t m_end = 0;
};
