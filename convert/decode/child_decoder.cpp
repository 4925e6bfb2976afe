#include "child_decoder.h"

#include "animation_decoding.h"
#include "child_answer.h"
#include "decoded_size.h"
#include "fresh_memory.h"
#include "picture_format.h"
#include "row_decoding.h"
#include "svg_rendering.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QtEndian>

#include <cerrno>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char **environ;

namespace {

const char serverArgument[] = "--quillon-decode-server";
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
std::string childTunables()
{
    return "glibc.malloc.perturb=" + std::to_string(childMemoryFill)
        + ":glibc.malloc.tcache_count=0:glibc.malloc.hugetlb=1";
}

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
qint64 nextFrameStart(qint64 end)
{
    const qint64 page = ::sysconf(_SC_PAGESIZE);
    return (end + page - 1) / page * page;
}

std::mutex programLock;
QString &decoderProgram()
{
    static QString program;
    return program;
}

QString programToStart()
{
    const std::lock_guard<std::mutex> lock(programLock);
    if (!decoderProgram().isEmpty())
        return decoderProgram();
    const QString running = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    return running.isEmpty() && QCoreApplication::instance() ? QCoreApplication::applicationFilePath()
                                                             : running;
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

// One read, taken again when a signal interrupts it.
ssize_t readSome(int fd, void *data, size_t size)
{
    ssize_t got;
    while ((got = ::read(fd, data, size)) < 0 && errno == EINTR) { }
    return got;
}

// Reads from the child's channel, giving up at the deadline or when the run is interrupted.
class ChildPipe
{
public:
    ChildPipe(int fd, std::chrono::steady_clock::time_point deadline, const std::atomic<int> *interrupted)
        : m_fd(fd)
        , m_deadline(deadline)
        , m_interrupted(interrupted)
    { }

    bool read(void *data, size_t size)
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

private:
    int m_fd;
    std::chrono::steady_clock::time_point m_deadline;
    const std::atomic<int> *m_interrupted;
};

// The pages that hold a picture's bytes, mapped for as long as the picture that uses them lives.
struct PixelsMapping
{
    void *data;
    size_t size;
};

void unmapPixels(void *info)
{
    auto *mapping = static_cast<PixelsMapping *>(info);
    ::munmap(mapping->data, mapping->size);
    delete mapping;
}

// The pages of a picture copied from a child, kept once it is gone for the next one (32 MiB at
// most): like the memory glibc hands out again to a picture decoded here, they cost no second
// first use.
std::mutex sparePagesLock;
PixelsMapping sparePages {nullptr, 0};
constexpr size_t maxSpareBytes = size_t(32) << 20;

void keepOrUnmapPixels(void *info)
{
    auto *mapping = static_cast<PixelsMapping *>(info);
    {
        const std::lock_guard<std::mutex> lock(sparePagesLock);
        if (!sparePages.data && mapping->size <= maxSpareBytes)
            std::swap(sparePages, *mapping);
    }
    if (mapping->data)
        ::munmap(mapping->data, mapping->size);
    delete mapping;
}

// The picture's bytes copied straight from the child's memory, into pages of 2 MiB where the
// system has them: a fresh page of 4 KiB costs microseconds at its first use, more than its
// copy. A null image when the system does not let one process read another's memory.
QImage copiedFromChild(pid_t child, quint64 address, QSize size, qint64 bytesPerLine, QImage::Format format)
{
    constexpr size_t hugePage = size_t(2) << 20;
    const size_t bytes = size_t(bytesPerLine) * size_t(size.height());
    PixelsMapping pages {nullptr, bytes + hugePage};
    {
        const std::lock_guard<std::mutex> lock(sparePagesLock);
        if (sparePages.data && sparePages.size >= pages.size)
            std::swap(pages, sparePages);
    }
    if (!pages.data) {
        pages.data = ::mmap(nullptr, pages.size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (pages.data == MAP_FAILED)
            return QImage();
    }
    const auto aligned = reinterpret_cast<char *>((reinterpret_cast<quintptr>(pages.data) + hugePage - 1)
                                                  & ~quintptr(hugePage - 1));
    ::madvise(aligned, bytes, MADV_HUGEPAGE);
    const iovec here {aligned, bytes};
    const iovec there {reinterpret_cast<void *>(quintptr(address)), bytes};
    if (::process_vm_readv(child, &here, 1, &there, 1, 0) != ssize_t(bytes)) {
        keepOrUnmapPixels(new PixelsMapping(pages));
        return QImage();
    }
    return QImage(reinterpret_cast<uchar *>(aligned), size.width(), size.height(), int(bytesPerLine), format,
                  keepOrUnmapPixels, new PixelsMapping(pages));
}

// The memory file's size once neither the child nor anything it started can change the file any
// more, its size nor its bytes: a file shrunk under the parent's mapping would end the parent
// with SIGBUS. -1 when it cannot be sealed so (a writable mapping of it is kept somewhere).
qint64 sealedSize(int pixelsFd)
{
    struct stat pixels;
    if (::fcntl(pixelsFd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0
        || ::fstat(pixelsFd, &pixels) != 0)
        return -1;
    return pixels.st_size;
}

// The picture's bytes as the child wrote them to the memory file when asked: used where they are,
// copied only when first changed.
QImage mappedFromFile(ChildPipe &pipe, int channelFd, int pixelsFd, QSize size, qint64 bytesPerLine,
                      QImage::Format format)
{
    const qint64 bytes = bytesPerLine * size.height();
    char done = 0;
    if (::send(channelFd, "w", 1, MSG_NOSIGNAL) != 1 || !pipe.read(&done, 1) || done != 'd'
        || sealedSize(pixelsFd) != bytes)
        return QImage();
    void *mapped = ::mmap(nullptr, size_t(bytes), PROT_READ | PROT_WRITE, MAP_PRIVATE, pixelsFd, 0);
    if (mapped == MAP_FAILED)
        return QImage();
    return QImage(static_cast<uchar *>(mapped), size.width(), size.height(), int(bytesPerLine), format,
                  unmapPixels, new PixelsMapping {mapped, size_t(bytes)});
}

// The picture the child described on its channel, or a null image when what came is not one.
DecodedPicture receivePicture(ChildPipe &pipe, int channelFd, int pixelsFd, pid_t child)
{
    PictureHeader header {};
    if (!pipe.read(&header, sizeof header))
        return {DecodedPicture::Hostile, QImage(), 0, QSize()};
    if (std::optional<DecodedPicture> outcome = pictureAnswerOutcome(header))
        return *outcome;
    const QImage::Format format = QImage::Format(header.format);
    const QSize size(header.width, header.height);
    const QSize fullSize(header.fullWidth, header.fullHeight);
    QVector<QRgb> colours(header.colourCount);
    if (!pipe.read(colours.data(), size_t(colours.size()) * sizeof(QRgb)))
        return {DecodedPicture::Hostile, QImage(), 0, QSize()};
    // The picture's own rows, as QImage lays them out.
    QImage image = copiedFromChild(child, header.pixelsAddress, size, header.bytesPerLine, format);
    if (image.isNull())
        image = mappedFromFile(pipe, channelFd, pixelsFd, size, header.bytesPerLine, format);
    if (image.isNull())
        return {DecodedPicture::Hostile, QImage(), 0, QSize()};
    if (!colours.isEmpty())
        image.setColorTable(colours);
    DecodedPicture picture {DecodedPicture::Decoded, std::move(image), 0, header.fitted ? fullSize : size,
                            qMax(0, header.frameCount)};
    picture.fitted = header.fitted != 0;
    return picture;
}

// Arguments and environment as exec() takes them, made before the fork.
struct ExecStrings
{
    std::vector<std::string> strings;
    std::vector<char *> pointers;

    char *const *array()
    {
        pointers.clear();
        for (std::string &string : strings)
            pointers.push_back(string.data());
        pointers.push_back(nullptr);
        return pointers.data();
    }
};

// The server's first steps, however it is started: system calls only, no allocation, since after
// a fork the parent's other threads may hold any lock.
void detachServer(int socketFd, int nullFd)
{
    // A group of its own: a terminal's Ctrl+C reaches the parent, which decides.
    ::setpgid(0, 0);
    ::dup2(nullFd, STDIN_FILENO);
    ::dup2(nullFd, STDOUT_FILENO);
    ::dup2(nullFd, STDERR_FILENO);
    ::dup2(socketFd, serverDescriptor);
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int signal : {SIGINT, SIGTERM, SIGPIPE, SIGCHLD})
        ::signal(signal, SIG_DFL);
    const rlimit noCore {0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
}

// Sends a request with its descriptors, on the server's socket or on a child's channel (a stream,
// on which what one call did not send follows).
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

// What runs between fork() and exec() in a server started as a program.
[[noreturn]] void becomeServer(int socketFd, int nullFd, const char *program, char *const *arguments,
                               char *const *environment)
{
    detachServer(socketFd, nullFd);
    ::execve(program, arguments, environment);
    ::_exit(127);
}

// The server that was forked from this process (forkDecoderServer()), whose first steps run in it.
[[noreturn]] void becomeForkedServer(int socketFd, int nullFd, const QByteArray &reader);

// The decoding server: this program again, forked at its start (forkDecoderServer()) or started
// with a hidden argument the first time a picture needs it, with Qt's libraries loaded. It forks a child for
// each picture, which costs a fraction of a millisecond where starting a program costs ten. It
// ends when the parent closes its socket, or dies.
class DecoderServer
{
public:
    // Sends the request, starting the server (again) when none answers. Returns the process
    // number of the server that took it, or -1.
    pid_t send(const DecodeRequest &request, std::initializer_list<int> descriptors)
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        const QString program = programToStart();
        if (program != m_program)
            stop();
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (m_socket < 0 && !start(program))
                return -1;
            if (sendRequest(m_socket, request, descriptors))
                return m_server;
            stop(); // it died: started again once
        }
        return -1;
    }

    // Forks the server from this process, now: see forkDecoderServer().
    void forkNow(const QByteArray &reader)
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        if (m_socket >= 0)
            return;
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
            return;
        const int nullFd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        const pid_t server = nullFd < 0 ? -1 : ::fork();
        if (server == 0)
            becomeForkedServer(ends[1], nullFd, reader);
        ::close(ends[1]);
        if (nullFd >= 0)
            ::close(nullFd);
        if (server < 0) {
            ::close(ends[0]);
            return;
        }
        m_socket = ends[0];
        m_server = server;
        m_program = programToStart();
    }

    ~DecoderServer() { stop(); }

    // A child that decoded a picture and waits for another one, on its channel.
    struct IdleChild
    {
        pid_t child;
        int channel;
        pid_t server;
    };

    // An idle child of the running server, taken out of the pool; false when none waits.
    bool takeIdle(IdleChild *idle)
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        while (!m_idle.empty()) {
            *idle = m_idle.back();
            m_idle.pop_back();
            if (idle->server == m_server && m_socket >= 0 && m_program == programToStart())
                return true;
            endChild(*idle);
        }
        return false;
    }

    // Puts a child that is done with its picture back into the pool, or ends it when the pool is
    // full or its server is gone.
    void giveBack(const IdleChild &idle)
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        if (idle.server == m_server && m_socket >= 0 && m_idle.size() < maxIdleChildren)
            m_idle.push_back(idle);
        else
            endChild(idle);
    }

    static void endChild(const IdleChild &idle)
    {
        ::kill(-idle.child, SIGKILL);
        ::close(idle.channel);
    }

private:
    // No more children wait than pictures are decoded at once, on every core.
    static constexpr size_t maxIdleChildren = 16;

    bool start(const QString &program)
    {
        ExecStrings arguments, environment;
        const QByteArray programName = QFile::encodeName(program);
        arguments.strings = {programName.toStdString(), serverArgument};
        for (char **variable = environ; *variable; ++variable) {
            if (std::strncmp(*variable, "GLIBC_TUNABLES=", 15) != 0
                && std::strncmp(*variable, "MALLOC_PERTURB_=", 16) != 0)
                environment.strings.emplace_back(*variable);
        }
        // The children inherit these settings with the rest of the server's memory, which it
        // leaves alone between them.
        environment.strings.push_back("GLIBC_TUNABLES=" + childTunables());
        char *const *argv = arguments.array();
        char *const *envp = environment.array();
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
            return false;
        const int nullFd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        const pid_t server = nullFd < 0 ? -1 : ::fork();
        if (server == 0)
            becomeServer(ends[1], nullFd, programName.constData(), argv, envp);
        ::close(ends[1]);
        if (nullFd >= 0)
            ::close(nullFd);
        if (server < 0) {
            ::close(ends[0]);
            return false;
        }
        m_socket = ends[0];
        m_server = server;
        m_program = program;
        return true;
    }

    void stop()
    {
        for (const IdleChild &idle : m_idle)
            endChild(idle);
        m_idle.clear();
        if (m_socket < 0)
            return;
        ::close(m_socket); // the server ends when it reads the end of its socket
        m_socket = -1;
        while (::waitpid(m_server, nullptr, 0) < 0 && errno == EINTR) { }
        m_program.clear();
    }

    std::mutex m_lock;
    int m_socket = -1;
    pid_t m_server = -1;
    QString m_program;
    std::vector<IdleChild> m_idle;
};

DecoderServer &decoderServer()
{
    static DecoderServer server;
    return server;
}

// Removes a folder and what it holds, each entry relative to its folder's descriptor and never
// through a link: a link is removed itself, whatever it names.
void removeTree(int parent, const char *name, int depth = 0)
{
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR *folder = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (fd >= 0 && !folder)
        ::close(fd);
    if (folder) {
        std::vector<std::string> names;
        while (const dirent *entry = ::readdir(folder)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.emplace_back(entry->d_name);
        }
        for (const std::string &entry : names) {
            struct stat status;
            if (::fstatat(fd, entry.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            if (S_ISDIR(status.st_mode) && depth < 64)
                removeTree(fd, entry.c_str(), depth + 1);
            else
                ::unlinkat(fd, entry.c_str(), 0);
        }
        ::closedir(folder);
    }
    ::unlinkat(parent, name, AT_REMOVEDIR);
}

// The temporary folders of the children of runs that were killed: a folder is named after the
// process that made it, and removed once that process is gone. In a temporary folder that other
// users share, only real folders of the user's own are removed: never a link, never through one.
void removeAbandonedTemporaries()
{
    const int temporary
        = ::open(QFile::encodeName(QDir::tempPath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *entries = temporary >= 0 ? ::fdopendir(::fcntl(temporary, F_DUPFD_CLOEXEC, 0)) : nullptr;
    if (!entries) {
        if (temporary >= 0)
            ::close(temporary);
        return;
    }
    std::vector<std::string> abandoned;
    while (const dirent *entry = ::readdir(entries)) {
        const QByteArray name(entry->d_name);
        if (!name.startsWith("quillon-decode-"))
            continue;
        bool isNumber = false;
        const pid_t owner = pid_t(name.split('-').value(2).toInt(&isNumber));
        struct stat status;
        if (isNumber && owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH
            && ::fstatat(temporary, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISDIR(status.st_mode) && status.st_uid == ::geteuid())
            abandoned.emplace_back(entry->d_name);
    }
    ::closedir(entries);
    for (const std::string &name : abandoned)
        removeTree(temporary, name.c_str());
    ::close(temporary);
}

// The folder of the children's temporary files (ghostscript's among them), one for the process:
// made when a child first needs it, the folders of killed runs removed then, and removed with
// the process, whatever its children left there.
class ChildTemporaries
{
public:
    ~ChildTemporaries()
    {
        if (!m_path.empty())
            removeTree(AT_FDCWD, m_path.c_str());
    }

    // Its path, or nothing when it could not be made.
    std::string path()
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        if (m_made)
            return m_path;
        m_made = true;
        removeAbandonedTemporaries();
        std::string name = QFile::encodeName(QDir::tempPath()).toStdString() + "/quillon-decode-"
            + std::to_string(::getpid()) + "-XXXXXX";
        if (::mkdtemp(name.data()))
            m_path = name;
        return m_path;
    }

private:
    std::mutex m_lock;
    bool m_made = false;
    std::string m_path;
};

ChildTemporaries &childTemporaries()
{
    static ChildTemporaries temporaries;
    return temporaries;
}

// The child's SIGTERM: the server died or it was asked to stop; ends the child and every
// program it started, at once.
void endWholeGroup(int)
{
    ::kill(0, SIGKILL);
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

// Whether a reader that failed ran out of memory: an allocation failed last (errno, as it was
// when the reader returned), or the child came within 64 MiB of its limit of address space.
bool ranOutOfMemory(int readerErrno)
{
    if (readerErrno == ENOMEM)
        return true;
#if defined(__SANITIZE_ADDRESS__)
    return false; // no limit of address space under AddressSanitizer
#else
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmPeak:"))
            return (line.mid(7).trimmed().split(' ').value(0).toLongLong() << 10)
                >= qint64(addressSpaceLimit) - (qint64(64) << 20);
    }
    return false;
#endif
}

// How a picture or animation that did not decode is told: as not a picture, with ENOMEM, when
// its reader ran out of memory (see DecodedPicture::systemError).
void tellMemoryExhaustion(qint32 *status, qint32 *systemError, int readerErrno)
{
    if ((*status == DecodedPicture::NotAPicture || *status == DecodedPicture::Truncated)
        && ranOutOfMemory(readerErrno)) {
        *status = DecodedPicture::NotAPicture;
        *systemError = ENOMEM;
    }
}

// The child's work when frames are asked for: each frame's bytes written to the memory file as
// soon as it is decoded, so that the child holds one canvas at a time, then their description.
[[noreturn]] void sendFrames(const DecodeRequest &request)
{
    FrameRange range;
    range.asked = true;
    range.first = request.firstFrame;
    range.last = request.lastFrame;
    std::vector<FrameEntry> entries;
    QVector<QRgb> colours;
    qint64 offset = 0;
    bool written = true;
    errno = 0;
    const DecodedAnimation animation = decodeFramesInProcess(
        QStringLiteral("/proc/self/fd/0"), QByteArray(request.format), range,
        [&](QImage &&frame, QSize, int) {
            entries.push_back({frame.width(), frame.height(), qint32(frame.format()), frame.colorCount(),
                               frame.bytesPerLine(), 0, 0});
            colours += frame.colorTable();
            written = written
                && writeAllAt(pixelsDescriptor, frame.constBits(), size_t(frame.sizeInBytes()), offset);
            offset = nextFrameStart(offset + frame.sizeInBytes());
        });
    const int readerErrno = errno;
    AnimationHeader header {};
    header.magic = animationMagic;
    header.status = written ? animation.status : DecodedPicture::Hostile;
    header.systemError = animation.systemError;
    tellMemoryExhaustion(&header.status, &header.systemError, readerErrno);
    header.problem = qint32(animation.problemKind);
    header.frameCount = animation.frameCount;
    if (header.status != DecodedPicture::Decoded || animation.problemKind != FrameProblem::None
        || animation.delaysMs.size() != int(entries.size())) {
        entries.clear();
        colours.clear();
    }
    header.frames = qint32(entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        entries[i].delayMs = animation.delaysMs[int(i)];
    const bool sent = writeAll(STDOUT_FILENO, &header, sizeof header)
        && writeAll(STDOUT_FILENO, entries.data(), entries.size() * sizeof(FrameEntry))
        && writeAll(STDOUT_FILENO, colours.constData(), size_t(colours.size()) * sizeof(QRgb));
    ::_exit(sent ? 0 : 1);
}

// Receives a request and its descriptors on `socketFd`: `count` of them; false when the socket
// ended or what came is not a request. On a stream socket, the rest of the request is read after
// its first bytes, which carry the descriptors.
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

// The bytes below this frame of the stack, filled as fresh memory is: a reader that reads stack it
// never wrote finds the fill, never what the previous picture's reader left there.
[[gnu::noinline]] void fillStack()
{
    char area[128 * 1024];
    std::memset(area, childMemoryFill, sizeof area);
    asm volatile("" : : "r"(area) : "memory");
}

// The picture's processor time so far is measured from this moment on: the child is killed at
// 10 s. False when the system has no such timer.
bool armProcessorTimer(timer_t timer)
{
    itimerspec limit {};
    limit.it_value.tv_sec = time_t(processorSeconds);
    return ::timer_settime(timer, 0, &limit, nullptr) == 0;
}

// The address space the process holds now and held at most, in bytes, from /proc/self/status;
// false when unknown.
bool heldAddressSpace(qint64 *size, qint64 *peak)
{
    const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char text[4096];
    const ssize_t got = readSome(fd, text, sizeof text - 1);
    ::close(fd);
    if (got <= 0)
        return false;
    text[got] = '\0';
    const char *sizeLine = std::strstr(text, "VmSize:"), *peakLine = std::strstr(text, "VmPeak:");
    if (!sizeLine || !peakLine)
        return false;
    *size = std::strtoll(sizeLine + 7, nullptr, 10) << 10;
    *peak = std::strtoll(peakLine + 7, nullptr, 10) << 10;
    return true;
}

// Whether this child traded its application object for a graphical one (makeFontsAvailable()).
bool madeGraphical = false;

// Fonts for an SVG's text, which Qt draws only with the fonts of a graphical application's
// platform: the child trades the server's application object for a graphical one on Qt's
// "offscreen" platform (libqt5gui5's, which opens no display and finds the fonts through
// fontconfig, as a desktop's platforms do). Nothing of a display or desktop is reached: no
// platform or theme named by the environment is loaded. Only a child that draws an SVG holding
// text does this, and it decodes no other picture afterwards (mayServeAgain()): every other
// reader runs in a process as the server made it. A platform that cannot be loaded ends the child,
// whose picture is then refused as unreadable.
bool makeFontsAvailable()
{
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return true;
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORMTHEME", "QT_QPA_GENERIC_PLUGINS"})
        ::unsetenv(name);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("QT_QPA_OFFSCREEN_NO_GLX", "1", 1);
    madeGraphical = true;
    // The server's object was made with new (becomeForkedServer(), runDecoderChild()).
    delete QCoreApplication::instance();
    static int argc = 1;
    static char program[] = "quillon-convert";
    static char *argv[] = {program, nullptr};
    new QGuiApplication(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    return QGuiApplication::platformName() == QLatin1String("offscreen");
}

// Whether a child that decoded a picture may decode another one, as a child forked anew would: it
// used little processor time in all, it started no program that still runs, and its address space
// is what it was before its first picture, within a few MiB (so that the next picture finds the
// room under the limit a new child finds, and a reader's failure is told as one of memory only when
// that picture took it).
bool mayServeAgain(bool timed, qint64 startingSize)
{
    timespec used {};
    siginfo_t child {};
    qint64 size = 0, peak = 0;
    return timed && !madeGraphical && ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used) == 0
        && used.tv_sec < reuseSeconds && ::waitid(P_ALL, 0, &child, WEXITED | WNOHANG | WNOWAIT) != 0
        && errno == ECHILD && heldAddressSpace(&size, &peak) && startingSize >= 0
        && peak < startingSize + reuseGrowth && size < startingSize + reuseSlack;
}

// Decodes the picture on descriptor 0 and sends it on the channel (descriptor 1); then hands its
// bytes through the memory file as often as the parent asks. True when the parent is done with a
// decoded picture and may ask for another one, false when the child must end.
bool decodeAndSend(const DecodeRequest &request)
{
    const QByteArray format(request.format);
    // An animated WebP's first frame composed as its other frames are; a picture too large to be
    // decoded whole fitted as its rows come, when its reader reads by rows.
    DisplayOptions display;
    RowFitting rows;
    fittingAsked(request.fitting, &display, &rows);
    errno = 0;
    std::optional<DecodedPicture> composed = composedFirstFrame(QStringLiteral("/proc/self/fd/0"), format);
    const DecodedPicture decoded = composed ? std::move(*composed)
        : isSvgFormat(format)
        ? renderSvg(QStringLiteral("/proc/self/fd/0"), display, rows, makeFontsAvailable)
        : decodeInProcess(QStringLiteral("/proc/self/fd/0"), format, display, FreshMemoryCheck::None, rows);
    const int readerErrno = errno;
    const QImage &image = decoded.image;
    PictureHeader header {};
    header.magic = headerMagic;
    header.status = decoded.status;
    header.systemError = decoded.systemError;
    tellMemoryExhaustion(&header.status, &header.systemError, readerErrno);
    if (decoded.status == DecodedPicture::Decoded) {
        header.width = image.width();
        header.height = image.height();
        header.format = image.format();
        header.bytesPerLine = image.bytesPerLine();
        header.colourCount = image.colorCount();
        header.frameCount = decoded.frameCount;
        header.pixelsAddress = quint64(quintptr(image.constBits()));
        header.fitted = decoded.fitted;
        header.fullWidth = decoded.fullSize.width();
        header.fullHeight = decoded.fullSize.height();
    }
    const QVector<QRgb> colours = image.colorTable();
    const bool sent = writeAll(STDOUT_FILENO, &header, sizeof header)
        && writeAll(STDOUT_FILENO, colours.constData(), size_t(colours.size()) * sizeof(QRgb));
    // The parent copies the bytes from here, then says it is done ('n'). Where it cannot copy
    // them, it asks for them in the memory file first.
    char asked = 0;
    while (sent && header.status == DecodedPicture::Decoded) {
        const ssize_t got = ::read(STDOUT_FILENO, &asked, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got != 1)
            break;
        if (asked == 'n')
            return true;
        const char done
            = writeAll(pixelsDescriptor, image.constBits(), size_t(image.sizeInBytes())) ? 'd' : 'f';
        if (!writeAll(STDOUT_FILENO, &done, 1))
            break;
    }
    return false;
}

// The child of the server: it decodes the picture asked for and hands it back, under the kernel's
// limits, in a process group of its own; then, while the parent asks and a child forked anew would
// decode the same, the pictures it is sent on its channel, one at a time. It is single-threaded, as
// the server is.
[[noreturn]] void decodeRequested(DecodeRequest request, const int (&descriptors)[requestDescriptors],
                                  pid_t server)
{
    ::setpgid(0, 0);
    // When the server dies (as it does when the parent dies), the child hears SIGTERM and kills
    // its whole group.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != server)
        ::_exit(127);
    ::close(serverDescriptor);
    ::dup2(descriptors[0], STDIN_FILENO);
    ::dup2(descriptors[1], pixelsDescriptor);
    ::dup2(descriptors[2], STDOUT_FILENO);
    for (int fd : descriptors)
        ::close(fd);
    for (int signal : {SIGINT, SIGPIPE, SIGXCPU, SIGCHLD})
        ::signal(signal, SIG_DFL);
    struct sigaction endGroup
    {
    };
    endGroup.sa_handler = endWholeGroup;
    ::sigaction(SIGTERM, &endGroup, nullptr);
    // Each picture's processor time is held to 10 s by a timer that kills the child; the kernel's
    // limit on the child's whole time backs it up. Without the timer, the child decodes one
    // picture under the kernel's limit alone.
    timer_t timer {};
    sigevent killed {};
    killed.sigev_notify = SIGEV_SIGNAL;
    killed.sigev_signo = SIGKILL;
    const bool timed = ::timer_create(CLOCK_PROCESS_CPUTIME_ID, &killed, &timer) == 0;
    const rlim_t allowed = timed ? processorSeconds + rlim_t(reuseSeconds) : processorSeconds;
    const rlimit processor {allowed, allowed + 1};
    ::setrlimit(RLIMIT_CPU, &processor);
#if !defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer reserves terabytes of address space for its shadow memory.
    const rlimit addressSpace {addressSpaceLimit, addressSpaceLimit};
    ::setrlimit(RLIMIT_AS, &addressSpace);
#endif
    // Temporary files of the readers (ghostscript's among them) go where the parent removes
    // them, whatever becomes of the child.
    if (request.temporary[0])
        ::setenv("TMPDIR", request.temporary, 1);
    // Its number first, so that the parent can end its group; then it waits until the parent has
    // checked that number against the living process, before anything can end it.
    const qint32 self = qint32(::getpid());
    char checked = 0;
    if (!writeAll(STDOUT_FILENO, &self, sizeof self) || readSome(STDOUT_FILENO, &checked, 1) != 1
        || checked != 'g')
        ::_exit(1);
    if (request.framesAsked)
        sendFrames(request);
    qint64 startingSize = -1, startingPeak = 0;
    heldAddressSpace(&startingSize, &startingPeak);
    for (;;) {
        fillStack();
        if ((timed && !armProcessorTimer(timer)) || !decodeAndSend(request))
            ::_exit(1);
        // The parent is done with the picture: the child says whether it takes another, and
        // waits for it.
        const bool again = mayServeAgain(timed, startingSize);
        int next[2];
        if (!writeAll(STDOUT_FILENO, again ? "r" : "x", 1) || !again
            || !receiveRequest(STDOUT_FILENO, &request, next, 2))
            ::_exit(0);
        ::dup2(next[0], STDIN_FILENO);
        ::dup2(next[1], pixelsDescriptor);
        ::close(next[0]);
        ::close(next[1]);
        // Frames are asked of a child forked anew only.
        if (request.framesAsked)
            ::_exit(1);
    }
    // Ended at once (::_exit()): no destructor of a reader's plugin runs, nor a leak check of the
    // sanitizers, whose report would turn a picture sent whole into a failure.
}

// Asks for the reader of `format` on no bytes at all: Qt reads its list of readers the first time,
// and loads the plugin of that reader, if there is one.
void loadReader(const char *format)
{
    QBuffer nothing;
    nothing.open(QIODevice::ReadOnly);
    QImageReader reader(&nothing, format);
    reader.setAutoDetectImageFormat(false);
    reader.canRead();
}

// Serves requests until the parent closes its socket; `reader`, when given, is loaded before the
// first request comes.
[[noreturn]] void runServer(const QByteArray &reader = QByteArray())
{
    // Its children are reaped as they end, by the system: the parent learns how each went from its
    // channel, and none stays a zombie.
    ::signal(SIGCHLD, SIG_IGN);
    // The list of readers, read once here rather than in every child.
    loadReader("quillon-none");
    const pid_t server = ::getpid();
    // Each reader's plugin is loaded here the first time it is asked for, so that the children
    // find it loaded; nothing else is allocated between two children.
    std::set<std::string> loaded;
    if (!reader.isEmpty()) {
        loaded.insert(reader.toStdString());
        loadReader(reader.constData());
    }
    DecodeRequest request;
    int descriptors[requestDescriptors];
    while (receiveRequest(serverDescriptor, &request, descriptors, requestDescriptors)) {
        if (loaded.insert(request.format).second)
            loadReader(request.format);
        if (::fork() == 0)
            decodeRequested(request, descriptors, server);
        for (int fd : descriptors)
            ::close(fd);
    }
    ::_exit(0);
}

[[noreturn]] void becomeForkedServer(int socketFd, int nullFd, const QByteArray &reader)
{
    detachServer(socketFd, nullFd);
    // Nothing of the parent's stays open: a pipe to the parent's standard error would otherwise
    // outlive the parent.
    if (::close_range(serverDescriptor + 1, ~0U, 0) != 0) {
        for (int fd = serverDescriptor + 1; fd < 65536; ++fd)
            ::close(fd);
    }
    // What GLIBC_TUNABLES gives a server started as a program: fresh memory holds one fill, the
    // same whatever the blocks glibc keeps for reuse (fillAllocationsFromNowOn() emulates its cache
    // turned off), and the programs its children start have the same settings.
    fillAllocationsFromNowOn(childMemoryFill ^ 0xff);
    ::unsetenv("MALLOC_PERTURB_");
    ::setenv("GLIBC_TUNABLES", childTunables().c_str(), 1);
    // Qt's application object, which some readers need (see runDecoderChild()), made as a server
    // started as a program makes it.
    static int argc = 2;
    static char program[] = "quillon-convert", argument[] = "--quillon-decode-server";
    static char *argv[] = {program, argument, nullptr};
    new QCoreApplication(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    runServer(reader);
}

} // namespace

void setDecoderProgram(const QString &program)
{
    const std::lock_guard<std::mutex> lock(programLock);
    decoderProgram() = program;
}

namespace {

// Whether the process number a child answered is the server's child that leads a process group
// of its own, as each child makes itself before it answers: only such a group is ever killed,
// whatever number a child that misbehaves answers. Where /proc is not mounted, the group's
// leader is looked for in this session.
bool isServerChild(pid_t child, pid_t server)
{
    if (child <= 1 || child == ::getpid())
        return false;
    QFile status(QStringLiteral("/proc/%1/stat").arg(child));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return ::access("/proc/self/stat", F_OK) != 0 && ::getpgid(child) == child
            && ::getsid(child) == ::getsid(0);
    const QByteArray line = status.read(1024);
    // pid (name) state ppid pgrp ...: the name may hold anything but the last ')'.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 2 && fields[1].toLongLong() == server && fields[2].toLongLong() == child;
}

// A child started for a picture: its channel and its memory file, and the child ended, with
// whatever it started, once the picture is received.
class PictureChild
{
public:
    enum Start { Started, Unreadable, Failed };

    PictureChild(const QString &filePath, DecodeRequest &request, const std::atomic<int> *interrupted)
    {
        m_pictureFd = ::open(QFile::encodeName(filePath).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (m_pictureFd < 0) {
            m_start = Unreadable;
            m_systemError = errno;
            return;
        }
        m_pixelsFd = ::memfd_create("quillon-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING);
        if (m_pixelsFd < 0)
            return;

        const auto deadline = std::chrono::steady_clock::now() + wallClockLimit;
        // A child that decoded a picture before and takes another one, when one waits; frames
        // are asked of a child forked anew.
        DecoderServer::IdleChild idle;
        while (!request.framesAsked && decoderServer().takeIdle(&idle)) {
            ChildPipe ready(idle.channel, deadline, interrupted);
            char answer = 0;
            if (ready.read(&answer, 1) && answer == 'r'
                && sendRequest(idle.channel, request, {m_pictureFd, m_pixelsFd})) {
                m_channel[0] = idle.channel;
                m_child = idle.child;
                m_server = idle.server;
                m_pipe.reset(new ChildPipe(m_channel[0], deadline, interrupted));
                m_start = Started;
                return;
            }
            DecoderServer::endChild(idle);
        }
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, m_channel) != 0)
            return;
        const std::string temporaryPath = childTemporaries().path();
        if (temporaryPath.size() < sizeof request.temporary)
            std::memcpy(request.temporary, temporaryPath.data(), temporaryPath.size());
        const pid_t server = decoderServer().send(request, {m_pictureFd, m_pixelsFd, m_channel[1]});
        ::close(m_channel[1]);
        m_channel[1] = -1;
        // The child's number comes first, at once: waited for even when the run is interrupted, so
        // that the child can be ended.
        ChildPipe start(m_channel[0], deadline, nullptr);
        qint32 child = 0;
        if (server <= 0 || !start.read(&child, sizeof child) || !isServerChild(pid_t(child), server)
            || ::send(m_channel[0], "g", 1, MSG_NOSIGNAL) != 1)
            return;
        m_child = pid_t(child);
        m_server = server;
        m_pipe.reset(new ChildPipe(m_channel[0], deadline, interrupted));
        m_start = Started;
    }

    // The picture received whole: the child is told so, and waits in the pool for another one
    // rather than being ended.
    void release()
    {
        if (m_child <= 0 || ::send(m_channel[0], "n", 1, MSG_NOSIGNAL) != 1)
            return;
        decoderServer().giveBack({m_child, m_channel[0], m_server});
        m_child = 0;
        m_channel[0] = -1;
    }

    ~PictureChild()
    {
        // Its work is done, or it failed: the child ends, with whatever it started.
        if (m_child > 0)
            ::kill(-m_child, SIGKILL);
        for (int fd : {m_pictureFd, m_pixelsFd, m_channel[0], m_channel[1]}) {
            if (fd >= 0)
                ::close(fd);
        }
    }

    PictureChild(const PictureChild &) = delete;
    PictureChild &operator=(const PictureChild &) = delete;

    Start start() const { return m_start; }
    int systemError() const { return m_systemError; }
    ChildPipe &pipe() { return *m_pipe; }
    int channelFd() const { return m_channel[0]; }
    int pixelsFd() const { return m_pixelsFd; }
    pid_t child() const { return m_child; }

private:
    Start m_start = Failed;
    int m_systemError = 0;
    int m_pictureFd = -1;
    int m_pixelsFd = -1;
    int m_channel[2] = {-1, -1};
    pid_t m_child = 0;
    pid_t m_server = 0;
    std::unique_ptr<ChildPipe> m_pipe;
};

// The request for a picture read by the reader `format`; false when no reader has so long a name.
bool requestFor(const QByteArray &format, DecodeRequest *request)
{
    if (format.size() >= int(sizeof request->format))
        return false;
    std::memcpy(request->format, format.constData(), size_t(format.size()));
    return true;
}

// The frames the child described on its channel, handed to `takeFrame` or kept, each over its own
// pages of the memory file.
DecodedAnimation receiveFrames(PictureChild &child,
                               const std::function<void(QImage &&, QSize, int)> &takeFrame)
{
    DecodedAnimation animation;
    animation.status = DecodedPicture::Hostile;
    AnimationHeader header {};
    if (!child.pipe().read(&header, sizeof header))
        return animation;
    if (std::optional<DecodedAnimation> outcome = animationAnswerOutcome(header))
        return *outcome;
    std::vector<FrameEntry> entries(size_t(header.frames));
    if (!child.pipe().read(entries.data(), entries.size() * sizeof(FrameEntry)))
        return animation;
    // Every frame checked, and their bytes counted, before any is mapped.
    qint64 held = 0, end = 0;
    std::vector<qint64> starts;
    std::vector<QVector<QRgb>> colours;
    for (const FrameEntry &entry : entries) {
        if (!isPossibleFrame(entry))
            return animation;
        held += decodedPictureBytes(QSize(entry.width, entry.height), QImage::Format(entry.format));
        // The child decoded no more than the limits let it; the parent holds no more either.
        if (held > maxDecodedBytes) {
            animation.status = DecodedPicture::TooLarge;
            return animation;
        }
        colours.emplace_back(entry.colourCount);
        if (!child.pipe().read(colours.back().data(), size_t(entry.colourCount) * sizeof(QRgb)))
            return animation;
        starts.push_back(end == 0 ? 0 : nextFrameStart(end));
        end = starts.back() + entry.bytesPerLine * entry.height;
    }
    if (sealedSize(child.pixelsFd()) != end)
        return animation;
    for (size_t i = 0; i < entries.size(); ++i) {
        const FrameEntry &entry = entries[i];
        const size_t bytes = size_t(entry.bytesPerLine) * size_t(entry.height);
        void *mapped
            = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE, child.pixelsFd(), off_t(starts[i]));
        if (mapped == MAP_FAILED)
            return animation;
        QImage frame(static_cast<uchar *>(mapped), entry.width, entry.height, int(entry.bytesPerLine),
                     QImage::Format(entry.format), unmapPixels, new PixelsMapping {mapped, bytes});
        if (!colours[i].isEmpty())
            frame.setColorTable(colours[i]);
        keepFrame(animation, std::move(frame), entry.delayMs, int(entries.size()), takeFrame);
    }
    animation.status = DecodedPicture::Decoded;
    animation.frameCount = header.frameCount;
    return animation;
}

} // namespace

DecodedPicture decodeInChild(const QString &filePath, const QByteArray &format,
                             const std::atomic<int> *interrupted, const DisplayOptions &display,
                             const RowFitting &rows)
{
    const DecodedPicture hostile {DecodedPicture::Hostile, QImage(), 0, QSize()};
    DecodeRequest request {};
    if (!requestFor(format, &request))
        return hostile;
    request.fitting = fittingRequest(display, rows);
    PictureChild child(filePath, request, interrupted);
    switch (child.start()) {
    case PictureChild::Unreadable:
        return {DecodedPicture::Unreadable, QImage(), child.systemError(), QSize()};
    case PictureChild::Failed:
        return hostile;
    case PictureChild::Started:
        break;
    }
    DecodedPicture decoded = receivePicture(child.pipe(), child.channelFd(), child.pixelsFd(), child.child());
    if (decoded.status == DecodedPicture::Decoded)
        child.release();
    return decoded;
}

DecodedAnimation decodeFramesInChild(const QString &filePath, const QByteArray &format,
                                     const FrameRange &range, const std::atomic<int> *interrupted,
                                     const std::function<void(QImage &&, QSize, int)> &takeFrame)
{
    DecodedAnimation animation;
    animation.status = DecodedPicture::Hostile;
    DecodeRequest request {};
    if (!requestFor(format, &request))
        return animation;
    request.framesAsked = 1;
    request.firstFrame = range.first;
    request.lastFrame = range.last;
    PictureChild child(filePath, request, interrupted);
    switch (child.start()) {
    case PictureChild::Unreadable:
        animation.status = DecodedPicture::Unreadable;
        animation.systemError = child.systemError();
        return animation;
    case PictureChild::Failed:
        return animation;
    case PictureChild::Started:
        break;
    }
    return receiveFrames(child, takeFrame);
}

bool isDecoderChild(int argc, char **argv)
{
    return argc == 2 && std::strcmp(argv[1], serverArgument) == 0;
}

int runDecoderChild(int argc, char **argv)
{
    if (!isDecoderChild(argc, argv))
        return 2;
    // Qt's application object, which some readers need: EPS's starts ghostscript through
    // QProcess, and its plugin reads nothing without one. The server makes its own, however it
    // was started, before any reader is loaded. Numbers are read the C library's way whatever the
    // locale, as in every run. Made with new, for a child that trades it for a graphical one
    // (makeFontsAvailable()); the server ends with _exit().
    new QCoreApplication(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    runServer();
}

void forkDecoderServer(const QByteArray &reader)
{
    decoderServer().forkNow(reader);
}

QByteArray readerApartOf(const QByteArray &filePath)
{
    const int fd = ::open(filePath.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return QByteArray();
    struct stat status;
    char head[pictureSignatureBytes];
    const ssize_t got
        = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) ? readSome(fd, head, sizeof head) : -1;
    ::close(fd);
    if (got < 0)
        return QByteArray();
    // The name only for its suffix (TGA and WBMP have no signature): any decoding of its bytes does.
    const QByteArray format = pictureFormatOf(QByteArray(head, int(got)), QString::fromLatin1(filePath));
    return format.isEmpty() ? QByteArrayLiteral("?") : isQtOwnFormat(format) ? QByteArray() : format;
}
