// Preloaded into a process, makes every fsync() fail as a disk that reports a write error does.

#include <cerrno>

extern "C" {
int fsync(int)
{
    errno = EIO;
    return -1;
}

int fdatasync(int)
{
    errno = EIO;
    return -1;
}
}
