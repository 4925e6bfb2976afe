// A decoding server that misbehaves as a reader's child could: to each request, it answers on the
// request's channel the number in QUILLON_FAKE_CHILD as its child's process number, then ends the
// exchange. A test starts it in place of the real server (setDecoderProgram()).

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <sys/socket.h>
#include <unistd.h>

int main()
{
    const char *answer = std::getenv("QUILLON_FAKE_CHILD");
    const std::int32_t child = answer ? std::int32_t(std::atoi(answer)) : 0;
    constexpr int maxDescriptors = 8;
    for (;;) {
        char request[8192];
        iovec data {request, sizeof request};
        alignas(cmsghdr) char control[CMSG_SPACE(maxDescriptors * sizeof(int))] = {};
        msghdr message {};
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        if (recvmsg(3, &message, MSG_CMSG_CLOEXEC) <= 0)
            return 0;
        const cmsghdr *rights = CMSG_FIRSTHDR(&message);
        if (!rights || rights->cmsg_level != SOL_SOCKET || rights->cmsg_type != SCM_RIGHTS)
            continue;
        int descriptors[maxDescriptors];
        const int count = int((rights->cmsg_len - CMSG_LEN(0)) / sizeof(int));
        std::memcpy(descriptors, CMSG_DATA(rights), size_t(count) * sizeof(int));
        // The picture, the memory file, then the channel.
        if (count >= 3 && write(descriptors[2], &child, sizeof child) != sizeof child)
            return 1;
        for (int i = 0; i < count; ++i)
            close(descriptors[i]);
    }
}
