#pragma once

#include "child_protocol.h"

#include <QString>

#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

#include <sys/types.h>

// The parent's handle on the decoding server (see child_decoder.h): this program again, forked at
// its start (forkDecoderServer()) or started with a hidden argument the first time a picture needs
// it, with Qt's libraries loaded. It forks a child for each picture, which costs a fraction of a
// millisecond where starting a program costs ten. It ends when the parent closes its socket, or
// dies. The children that decoded a picture and may take another wait here, on their channels.
class DecoderServer
{
public:
    // Sends the request, starting the server (again) when none answers. Returns the process
    // number of the server that took it, or -1.
    pid_t send(const DecodeRequest &request, std::initializer_list<int> descriptors);
    // Forks the server from this process, now: see forkDecoderServer().
    void forkNow(const QByteArray &reader);
    ~DecoderServer() { stop(); }

    // A child that decoded a picture and waits for another one, on its channel.
    struct IdleChild
    {
        pid_t child;
        int channel;
        pid_t server;
    };
    // An idle child of the running server, taken out of the pool; false when none waits.
    bool takeIdle(IdleChild *idle);
    // Puts a child that is done with its picture back into the pool, or ends it when the pool is
    // full or its server is gone.
    void giveBack(const IdleChild &idle);
    static void endChild(const IdleChild &idle);

private:
    // No more children wait than pictures are decoded at once, on every core.
    static constexpr size_t maxIdleChildren = 16;

    bool start(const QString &program);
    void stop();

    std::mutex m_lock;
    int m_socket = -1;
    pid_t m_server = -1;
    QString m_program;
    std::vector<IdleChild> m_idle;
};

DecoderServer &decoderServer();

// The folder of the children's temporary files (ghostscript's among them), one for the process:
// made when a child first needs it, the folders of killed runs removed then, and removed with
// the process, whatever its children left there. Its path, or nothing when it could not be made.
std::string childTemporaryFolder();
