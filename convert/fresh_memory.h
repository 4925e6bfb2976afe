#pragma once

#include <mutex>

// Fills the memory that malloc hands out with a byte of its own for as long as the object lives
// (glibc's M_PERTURB), then gives back the fill the process had. A decoder that reads memory it
// never wrote then shows it: the same file decoded under two fills comes out different.
// Elsewhere than with glibc it does nothing, and available() is false.
//
// The fill is the whole process's: hold lock() around everything that must run under one.
class FreshMemoryFill
{
public:
    explicit FreshMemoryFill(int byte);
    ~FreshMemoryFill();
    FreshMemoryFill(const FreshMemoryFill &) = delete;
    FreshMemoryFill &operator=(const FreshMemoryFill &) = delete;

    static bool available();
    static std::mutex &lock();
    // A fill byte other than the one the process was started with.
    static int otherByte();
};
