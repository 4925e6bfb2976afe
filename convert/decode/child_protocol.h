#pragma once

#include "child_decoder.h"
#include "row_decoding.h"

#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <initializer_list>
#include <string>

#include <sys/resource.h>
#include <sys/types.h>

// The wire between the parent, the decoding server and its children (see child_decoder.h): what
// the server is asked for a picture and how a request travels with its descriptors, how the
// parent reads a child's channel under a deadline, and the limits both sides know. What a child
// answers is in child_answer.h. The three sides: the parent's pictures (child_parent.cpp), its
// handle on the server and its idle children (child_pool.cpp), the server and its children
// (child_server.cpp).

extern const char serverArgument[];
// The server's end of the socket it is asked on, and the child's descriptor of the memory file
// that receives the picture's bytes where the parent cannot copy them from the child's memory.
constexpr int serverDescriptor = 3;
constexpr int pixelsDescriptor = 3;

// The child's limits.
constexpr rlim_t addressSpaceLimit = rlim_t(readerMemoryMiB) << 20;
constexpr rlim_t processorSeconds = 10;
constexpr auto wallClockLimit = std::chrono::seconds(30);
// A child serves another picture only while it used less processor time than this in all, and its
// address space did not grow: by more than 256 MiB at its peak, by more than 16 MiB once the
// picture is handed back.
constexpr int reuseSeconds = 2;
constexpr qint64 reuseGrowth = qint64(256) << 20;
constexpr qint64 reuseSlack = qint64(16) << 20;
// What fresh memory holds in the child: any fixed byte makes unset pixels the same on every run.
constexpr int childMemoryFill = 0xa5;

// The settings of glibc's allocator in the server and its children: fresh memory filled from the
// first allocation on, and no cache of freed blocks, which glibc hands back without the fill, so
// that what a reader leaves unset is the fill whatever the file's name, the environment or the
// parent's own settings; large blocks in pages of 2 MiB, so that a picture's first writes fault
// once a page.
std::string childTunables();

// What the server is asked for a picture, beside the descriptors of the picture's file, the
// memory file and the socket the child answers on (its channel).
struct DecodeRequest
{
    char format[64]; // the reader's name
    char temporary[4096]; // the child's folder of temporary files, or nothing
    // The frames asked for (see FrameRange), handed back as an animation; else the first picture.
    qint32 framesAsked;
    qint32 firstFrame;
    qint32 lastFrame;
    // The shaping a picture too large to be decoded whole is fitted with as its rows come.
    FittingRequest fitting;
};
constexpr int requestDescriptors = 3;

// Where the frame after one that ends at `end` starts in the memory file.
qint64 nextFrameStart(qint64 end);

bool writeAll(int fd, const void *data, size_t size);
bool writeAllAt(int fd, const void *data, size_t size, qint64 offset);
// One read, taken again when a signal interrupts it.
ssize_t readSome(int fd, void *data, size_t size);

// Sends a request with its descriptors, on the server's socket or on a child's channel (a stream,
// on which what one call did not send follows).
bool sendRequest(int socketFd, const DecodeRequest &request, std::initializer_list<int> descriptors);
// Receives a request and its descriptors on `socketFd`: `count` of them; false when the socket
// ended or what came is not a request. On a stream socket, the rest of the request is read after
// its first bytes, which carry the descriptors.
bool receiveRequest(int socketFd, DecodeRequest *request, int *descriptors, int count);

// Reads from the child's channel, giving up at the deadline or when the run is interrupted.
class ChildPipe
{
public:
    ChildPipe(int fd, std::chrono::steady_clock::time_point deadline, const std::atomic<int> *interrupted)
        : m_fd(fd)
        , m_deadline(deadline)
        , m_interrupted(interrupted)
    { }

    bool read(void *data, size_t size);

private:
    int m_fd;
    std::chrono::steady_clock::time_point m_deadline;
    const std::atomic<int> *m_interrupted;
};

// The server's first steps, however it is started: system calls only, no allocation, since after
// a fork the parent's other threads may hold any lock.
void detachServer(int socketFd, int nullFd);
// The server that was forked from this process (forkDecoderServer()), whose first steps run in it.
[[noreturn]] void becomeForkedServer(int socketFd, int nullFd, const QByteArray &reader);
