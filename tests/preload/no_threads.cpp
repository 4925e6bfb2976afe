// Preloaded into a process, makes every thread it starts fail to start, as a process or user
// limit on threads does.

#include <cerrno>
#include <pthread.h>

extern "C" int pthread_create(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *)
{
    return EAGAIN;
}
