// Preloaded into a process, makes the file system look like one without O_TMPFILE (vfat, exFAT,
// NFSv3, many FUSE mounts): opening an unnamed temporary file fails as it fails there, so that
// QSaveFile falls back to a named temporary file beside the target.

#include <dlfcn.h>
#include <fcntl.h>

#include <cerrno>
#include <cstdarg>

namespace {

// Calls the C library's own `name` with `arguments` before the flags and the mode, unless the
// flags ask for an unnamed temporary file.
template<typename... Before>
int openUnlessUnnamed(const char *name, int flags, mode_t mode, Before... arguments)
{
    if ((flags & O_TMPFILE) == O_TMPFILE) {
        errno = EOPNOTSUPP;
        return -1;
    }
    using Open = int (*)(Before..., int, ...);
    return reinterpret_cast<Open>(dlsym(RTLD_NEXT, name))(arguments..., flags, mode);
}

mode_t modeOf(int flags, va_list arguments)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? mode_t(va_arg(arguments, int)) : 0;
}

} // namespace

#define QUILLON_OPEN(name, ...)                                                                              \
    {                                                                                                        \
        va_list arguments;                                                                                   \
        va_start(arguments, flags);                                                                          \
        const mode_t mode = modeOf(flags, arguments);                                                        \
        va_end(arguments);                                                                                   \
        return openUnlessUnnamed(name, flags, mode, __VA_ARGS__);                                            \
    }

extern "C" {
int open(const char *path, int flags, ...)
    QUILLON_OPEN("open", path) int open64(const char *path, int flags, ...)
        QUILLON_OPEN("open64", path) int openat(int folder, const char *path, int flags, ...)
            QUILLON_OPEN("openat", folder, path) int openat64(int folder, const char *path, int flags, ...)
                QUILLON_OPEN("openat64", folder, path)
}
