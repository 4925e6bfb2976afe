#include "child_protocol.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

const char serverArgument[] = "--quillon-decode-server";

std::string childTunables()
{
    return "glibc.malloc.perturb=" + std::to_string(childMemoryFill)
        + ":glibc.malloc.tcache_count=0:glibc.malloc.hugetlb=1";
}

qint64 nextFrameStart(qint64 end)
{
    const qint64 page = ::sysconf(_SC_PAGESIZE);
    return (end + page - 1) / page * page;
}

bool writeAll(int fd, const void *data, size_t size)
{
    const char *at = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, at, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        at += written;
        size -= size_t(written);
    }
    return true;
}

bool writeAllAt(int fd, const void *data, size_t size, qint64 offset)
{
    const char *at = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t written = ::pwrite(fd, at, size, off_t(offset));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        at += written;
        offset += written;
        size -= size_t(written);
    }
    return true;
}

ssize_t readSome(int fd, void *data, size_t size)
{
    ssize_t got;
    while ((got = ::read(fd, data, size)) < 0 && errno == EINTR) { }
    return got;
}

bool sendRequest(int socketFd, const DecodeRequest &request, std::initializer_list<int> descriptors)
{
    iovec data {const_cast<DecodeRequest *>(&request), sizeof request};
    alignas(cmsghdr) char control[CMSG_SPACE(requestDescriptors * sizeof(int))] = {};
    msghdr message {};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = CMSG_SPACE(descriptors.size() * sizeof(int));
    cmsghdr *rights = CMSG_FIRSTHDR(&message);
    rights->cmsg_level = SOL_SOCKET;
    rights->cmsg_type = SCM_RIGHTS;
    rights->cmsg_len = CMSG_LEN(descriptors.size() * sizeof(int));
    std::memcpy(CMSG_DATA(rights), descriptors.begin(), descriptors.size() * sizeof(int));
    ssize_t sent;
    while ((sent = ::sendmsg(socketFd, &message, MSG_NOSIGNAL)) < 0 && errno == EINTR) { }
    for (ssize_t more = 1; sent > 0 && sent < ssize_t(sizeof request) && more > 0;
         sent += std::max<ssize_t>(more, 0)) {
        while ((more = ::send(socketFd, reinterpret_cast<const char *>(&request) + sent,
                              sizeof request - size_t(sent), MSG_NOSIGNAL))
                   < 0
               && errno == EINTR) { }
    }
    return sent == ssize_t(sizeof request);
}

bool receiveRequest(int socketFd, DecodeRequest *request, int *descriptors, int count)
{
    for (;;) {
        iovec data {request, sizeof *request};
        alignas(cmsghdr) char control[CMSG_SPACE(requestDescriptors * sizeof(int))] = {};
        msghdr message {};
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = CMSG_SPACE(size_t(count) * sizeof(int));
        ssize_t got = ::recvmsg(socketFd, &message, MSG_CMSG_CLOEXEC);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        int received = 0;
        const cmsghdr *rights = CMSG_FIRSTHDR(&message);
        if (rights && rights->cmsg_level == SOL_SOCKET && rights->cmsg_type == SCM_RIGHTS) {
            received = int((rights->cmsg_len - CMSG_LEN(0)) / sizeof(int));
            std::memcpy(descriptors, CMSG_DATA(rights), size_t(std::min(received, count)) * sizeof(int));
        }
        int type = 0;
        socklen_t typeSize = sizeof type;
        if (got < ssize_t(sizeof *request) && received == count
            && ::getsockopt(socketFd, SOL_SOCKET, SO_TYPE, &type, &typeSize) == 0 && type == SOCK_STREAM) {
            for (ssize_t more = 1; got < ssize_t(sizeof *request) && more > 0;
                 got += std::max<ssize_t>(more, 0))
                more = readSome(socketFd, reinterpret_cast<char *>(request) + got,
                                sizeof *request - size_t(got));
        }
        if (got == ssize_t(sizeof *request) && received == count
            && !(message.msg_flags & (MSG_TRUNC | MSG_CTRUNC))) {
            request->format[sizeof request->format - 1] = '\0';
            request->temporary[sizeof request->temporary - 1] = '\0';
            return true;
        }
        for (int i = 0; i < std::min(received, count); ++i)
            ::close(descriptors[i]);
        if (type == SOCK_STREAM)
            return false;
    }
}

bool ChildPipe::read(void *data, size_t size)
{
    char *at = static_cast<char *>(data);
    while (size > 0) {
        if (m_interrupted && m_interrupted->load())
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            m_deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd ready {m_fd, POLLIN, 0};
        // Woken at least every 100 ms to notice an interruption.
        const int polled = ::poll(&ready, 1, int(std::min<qint64>(left.count(), 100)));
        if (polled < 0 && errno != EINTR)
            return false;
        if (polled <= 0)
            continue;
        const ssize_t got = ::read(m_fd, at, size);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0)
            return false;
        at += got;
        size -= size_t(got);
    }
    return true;
}
