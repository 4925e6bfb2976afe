#pragma once

#include <mutex>
#include <vector>

// Fills the memory that malloc hands out with a byte of its own for as long as the object lives
// (glibc's M_PERTURB), then gives back the fill the process had. A decoder that reads memory it
// never wrote then shows it: the same file decoded under two fills comes out different.
// Elsewhere than with glibc it does nothing, and available() is false.
//
// The fill is the whole process's: one object lives at a time, the others wait. Blocks that
// this thread freed into glibc's own cache of small blocks would come back unfilled, holding
// what they held before, so the cache is emptied for as long as the object lives.
class FreshMemoryFill
{
public:
    explicit FreshMemoryFill(int byte);
    ~FreshMemoryFill();
    FreshMemoryFill(const FreshMemoryFill &) = delete;
    FreshMemoryFill &operator=(const FreshMemoryFill &) = delete;

    static bool available();

private:
    std::unique_lock<std::mutex> m_lock;
    std::vector<void *> m_cachedBlocks;
};

// From now on, every block that malloc() and its kin (realloc's growth, the aligned ones) hand
// out in this process holds `byte`, whatever glibc's cache of freed blocks holds: a process forked
// from a program started with glibc's usual settings (the decoding server, child_decoder.h) so
// gets the fill that GLIBC_TUNABLES gives a program started with its cache off and M_PERTURB set,
// and what a reader leaves unset is the same on every run. With glibc only, and not under
// AddressSanitizer, whose allocator fills as its options say; false where it does nothing.
bool fillAllocationsFromNowOn(int byte);
