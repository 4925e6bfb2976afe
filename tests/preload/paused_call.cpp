// Preloaded into a process, holds it still at one chosen call, so that a test can kill it or
// signal it exactly there: QUILLON_PAUSE_IN names the call (rename; fdatasync, which syncs a
// file's bytes; fsync, a folder's names; linkat, which names an unnamed file; or fork), QUILLON_PAUSE_AT
// which one of them (1 for the first), and QUILLON_PAUSE_MARK a file that is created when the process stops
// there. The call goes on once the test removes that file, signals or not; with QUILLON_PAUSE_FAIL, it then
// fails with that error number instead of being made.

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

std::atomic<int> calls {0};

// The error number the chosen call fails with once it goes on, or 0 when it is made.
int pauseIfChosen(const char *name)
{
    const char *chosen = std::getenv("QUILLON_PAUSE_IN");
    const char *at = std::getenv("QUILLON_PAUSE_AT");
    const char *mark = std::getenv("QUILLON_PAUSE_MARK");
    if (!chosen || !at || !mark || std::strcmp(chosen, name) != 0 || ++calls != std::atoi(at))
        return 0;
    const int saved = errno;
    const int file = open(mark, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (file >= 0)
        close(file);
    // A minute at most, so that a test that fails leaves no process behind for ever.
    for (int wait = 0; wait < 6000 && access(mark, F_OK) == 0; ++wait) {
        timespec step = {0, 10 * 1000 * 1000};
        while (nanosleep(&step, &step) != 0 && errno == EINTR) { }
    }
    errno = saved;
    const char *failure = std::getenv("QUILLON_PAUSE_FAIL");
    return failure ? std::atoi(failure) : 0;
}

} // namespace

extern "C" {
int rename(const char *from, const char *to)
{
    if (const int failure = pauseIfChosen("rename")) {
        errno = failure;
        return -1;
    }
    using Rename = int (*)(const char *, const char *);
    return reinterpret_cast<Rename>(dlsym(RTLD_NEXT, "rename"))(from, to);
}

int fdatasync(int file)
{
    if (const int failure = pauseIfChosen("fdatasync")) {
        errno = failure;
        return -1;
    }
    using Fdatasync = int (*)(int);
    return reinterpret_cast<Fdatasync>(dlsym(RTLD_NEXT, "fdatasync"))(file);
}

pid_t fork()
{
    if (const int failure = pauseIfChosen("fork")) {
        errno = failure;
        return -1;
    }
    using Fork = pid_t (*)();
    return reinterpret_cast<Fork>(dlsym(RTLD_NEXT, "fork"))();
}

int fsync(int file)
{
    if (const int failure = pauseIfChosen("fsync")) {
        errno = failure;
        return -1;
    }
    using Fsync = int (*)(int);
    return reinterpret_cast<Fsync>(dlsym(RTLD_NEXT, "fsync"))(file);
}

int linkat(int fromFolder, const char *from, int toFolder, const char *to, int flags)
{
    if (const int failure = pauseIfChosen("linkat")) {
        errno = failure;
        return -1;
    }
    using Linkat = int (*)(int, const char *, int, const char *, int);
    return reinterpret_cast<Linkat>(dlsym(RTLD_NEXT, "linkat"))(fromFolder, from, toFolder, to, flags);
}
}
