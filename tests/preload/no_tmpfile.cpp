// Preloaded into a process, makes the file system look like one without O_TMPFILE (vfat, exFAT,
// NFSv3, many FUSE mounts): opening an unnamed temporary file fails as it fails there, so that
// QSaveFile falls back to a named temporary file beside the target.

#include <dlfcn.h>
#include <fcntl.h>

#include <cerrno>
#include <cstdarg>

namespace {

bool unnamedTemporary(int flags)
{
    return (flags & O_TMPFILE) == O_TMPFILE;
}

template<typename Function> Function next(const char *name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

mode_t modeOf(int flags, va_list arguments)
{
    return (flags & O_CREAT) || unnamedTemporary(flags) ? mode_t(va_arg(arguments, int)) : 0;
}

} // namespace

extern "C" {

#define QUILLON_NO_TMPFILE_OPEN(name)                                                                        \
    int name(const char *path, int flags, ...)                                                               \
    {                                                                                                        \
        va_list arguments;                                                                                   \
        va_start(arguments, flags);                                                                          \
        const mode_t mode = modeOf(flags, arguments);                                                        \
        va_end(arguments);                                                                                   \
        if (unnamedTemporary(flags)) {                                                                       \
            errno = EOPNOTSUPP;                                                                              \
            return -1;                                                                                       \
        }                                                                                                    \
        return next<int (*)(const char *, int, ...)>(#name)(path, flags, mode);                              \
    }
QUILLON_NO_TMPFILE_OPEN(open)
QUILLON_NO_TMPFILE_OPEN(open64)

#define QUILLON_NO_TMPFILE_OPENAT(name)                                                                      \
    int name(int folder, const char *path, int flags, ...)                                                   \
    {                                                                                                        \
        va_list arguments;                                                                                   \
        va_start(arguments, flags);                                                                          \
        const mode_t mode = modeOf(flags, arguments);                                                        \
        va_end(arguments);                                                                                   \
        if (unnamedTemporary(flags)) {                                                                       \
            errno = EOPNOTSUPP;                                                                              \
            return -1;                                                                                       \
        }                                                                                                    \
        return next<int (*)(int, const char *, int, ...)>(#name)(folder, path, flags, mode);                 \
    }
QUILLON_NO_TMPFILE_OPENAT(openat)
QUILLON_NO_TMPFILE_OPENAT(openat64)
}
