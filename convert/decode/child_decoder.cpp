#include "child_decoder.h"

#include "decoded_size.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QtEndian>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

const char childArgument[] = "--quillon-decode-child";
// The child's descriptor of the memory file that receives the picture's bytes: a pipe carries
// them at a quarter of the speed of one copy into memory both processes see.
constexpr int pixelsDescriptor = 3;

// The child's limits.
constexpr rlim_t addressSpaceLimit = rlim_t(768) << 20;
constexpr rlim_t processorSeconds = 10;
constexpr auto wallClockLimit = std::chrono::seconds(30);
// What fresh memory holds in the child: any fixed byte makes unset pixels the same on every run.
constexpr int childMemoryFill = 0xa5;

// The picture's description that precedes its bytes on the pipe, in the machine's own order:
// both ends are the same program.
struct PictureHeader
{
    quint32 magic;
    qint32 status;
    qint32 systemError;
    qint32 width;
    qint32 height;
    qint32 format;
    qint64 bytesPerLine;
    qint32 colourCount;
    qint32 frameCount;
};
constexpr quint32 headerMagic = 0x51444331; // "QDC1"

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

// Reads from the child's pipe, giving up at the deadline or when the run is interrupted.
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

// The memory file's pages, mapped for as long as the picture that uses them lives.
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

// The picture the child described on the pipe, its bytes taken from the memory file it filled,
// or a null image when what came is not one.
DecodedPicture receivePicture(ChildPipe &pipe, int pixelsFd)
{
    PictureHeader header {};
    if (!pipe.read(&header, sizeof header) || header.magic != headerMagic)
        return {DecodedPicture::Hostile, QImage(), 0, QSize()};
    const auto status = DecodedPicture::Status(header.status);
    if (status != DecodedPicture::Decoded)
        return {status, QImage(), header.systemError, QSize()};
    const QImage::Format format = QImage::Format(header.format);
    if (format <= QImage::Format_Invalid || format >= QImage::NImageFormats || header.width <= 0
        || header.height <= 0 || header.colourCount < 0 || header.colourCount > 256)
        return {DecodedPicture::Hostile, QImage(), 0, QSize()};
    // The child decoded no more than the limits let it; the parent holds no more either.
    if (decodedPictureBytes(QSize(header.width, header.height), format) > maxDecodedBytes)
        return {DecodedPicture::TooLarge, QImage(), 0, QSize()};
    // The picture's own rows, as QImage lays them out, were written to the memory file; they are
    // used where they are, copied only when first changed.
    const qint64 size = header.bytesPerLine * header.height;
    QVector<QRgb> colours(header.colourCount);
    struct stat pixels;
    if (header.bytesPerLine != QImage(header.width, 1, format).bytesPerLine()
        || !pipe.read(colours.data(), size_t(colours.size()) * sizeof(QRgb))
        || ::fstat(pixelsFd, &pixels) != 0 || pixels.st_size != size)
        return {DecodedPicture::Hostile, QImage(), 0, QSize()};
    void *mapped = ::mmap(nullptr, size_t(size), PROT_READ | PROT_WRITE, MAP_PRIVATE, pixelsFd, 0);
    if (mapped == MAP_FAILED)
        return {DecodedPicture::Hostile, QImage(), 0, QSize()};
    QImage image(static_cast<uchar *>(mapped), header.width, header.height, int(header.bytesPerLine), format,
                 unmapPixels, new PixelsMapping {mapped, size_t(size)});
    if (!colours.isEmpty())
        image.setColorTable(colours);
    return {DecodedPicture::Decoded, std::move(image), 0, QSize(header.width, header.height),
            qMax(0, header.frameCount)};
}

// What runs between fork() and exec() in the child: system calls only, no allocation, since the
// parent's other threads may hold any lock at the time of the fork.
[[noreturn]] void becomeChild(int pictureFd, int resultFd, int pixelsFd, int nullFd, pid_t parent,
                              const char *program, char *const *arguments, char *const *environment)
{
    ::setpgid(0, 0);
    ::dup2(pictureFd, STDIN_FILENO);
    ::dup2(resultFd, STDOUT_FILENO);
    ::dup2(nullFd, STDERR_FILENO);
    ::dup2(pixelsFd, pixelsDescriptor);
    // When the parent dies, the child hears SIGTERM and kills its whole group.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent)
        ::_exit(127);
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int signal : {SIGINT, SIGTERM, SIGPIPE, SIGXCPU})
        ::signal(signal, SIG_DFL);
    const rlimit noCore {0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    const rlimit processor {processorSeconds, processorSeconds + 1};
    ::setrlimit(RLIMIT_CPU, &processor);
#if !defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer reserves terabytes of address space for its shadow memory.
    const rlimit addressSpace {addressSpaceLimit, addressSpaceLimit};
    ::setrlimit(RLIMIT_AS, &addressSpace);
#endif
    ::execve(program, arguments, environment);
    ::_exit(127);
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

// The temporary folders of the children of runs that were killed: a folder is named after the
// process that made it, and removed once that process is gone.
void removeAbandonedTemporaries()
{
    QDir temporary(QDir::tempPath());
    const QStringList names
        = temporary.entryList({QStringLiteral("quillon-decode-*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        bool isNumber = false;
        const pid_t owner = pid_t(name.section(QLatin1Char('-'), 2, 2).toInt(&isNumber));
        if (isNumber && owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH)
            QDir(temporary.filePath(name)).removeRecursively();
    }
}

void killGroup(pid_t child)
{
    ::kill(-child, SIGKILL);
    ::kill(child, SIGKILL); // should it have died before making its group
}

// The child's SIGTERM: its parent died or asked it to stop; ends the child and every program it
// started, at once.
void endWholeGroup(int)
{
    ::kill(0, SIGKILL);
}

} // namespace

void setDecoderProgram(const QString &program)
{
    const std::lock_guard<std::mutex> lock(programLock);
    decoderProgram() = program;
}

DecodedPicture decodeInChild(const QString &filePath, const QByteArray &format,
                             const std::atomic<int> *interrupted)
{
    const DecodedPicture hostile {DecodedPicture::Hostile, QImage(), 0, QSize()};
    const int pictureFd = ::open(QFile::encodeName(filePath).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (pictureFd < 0)
        return {DecodedPicture::Unreadable, QImage(), errno, QSize()};
    const int nullFd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const int pixelsFd = ::memfd_create("quillon-picture", MFD_CLOEXEC);
    int result[2] = {-1, -1};
    const auto closeAll = [&] {
        for (int fd : {pictureFd, nullFd, pixelsFd, result[0], result[1]}) {
            if (fd >= 0)
                ::close(fd);
        }
    };
    if (nullFd < 0 || pixelsFd < 0 || ::pipe2(result, O_CLOEXEC) != 0) {
        closeAll();
        return hostile;
    }

    // Temporary files of the child's readers (ghostscript's among them) go where the parent
    // removes them, whatever becomes of the child.
    removeAbandonedTemporaries();
    QTemporaryDir temporary(QDir::tempPath()
                            + QStringLiteral("/quillon-decode-%1-XXXXXX").arg(qint64(::getpid())));
    ExecStrings arguments, environment;
    const QByteArray program = QFile::encodeName(programToStart());
    arguments.strings = {program.toStdString(), childArgument, format.toStdString()};
    for (char **variable = environ; *variable; ++variable) {
        if (std::strncmp(*variable, "TMPDIR=", 7) != 0 && std::strncmp(*variable, "GLIBC_TUNABLES=", 15) != 0
            && std::strncmp(*variable, "MALLOC_PERTURB_=", 16) != 0)
            environment.strings.emplace_back(*variable);
    }
    // Fresh memory filled from the child's first allocation on, and no cache of freed blocks,
    // which glibc hands back without the fill: what a reader leaves unset is then the fill,
    // whatever the file's name, the environment or the parent's own settings.
    environment.strings.push_back("GLIBC_TUNABLES=glibc.malloc.perturb=" + std::to_string(childMemoryFill)
                                  + ":glibc.malloc.tcache_count=0");
    if (temporary.isValid())
        environment.strings.push_back("TMPDIR=" + QFile::encodeName(temporary.path()).toStdString());
    char *const *argv = arguments.array();
    char *const *envp = environment.array();

    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child == 0)
        becomeChild(pictureFd, result[1], pixelsFd, nullFd, parent, program.constData(), argv, envp);
    if (child < 0) {
        closeAll();
        return hostile;
    }
    ::setpgid(child, child); // also from here: the group exists whichever runs first
    ::close(result[1]);
    result[1] = -1;

    ChildPipe pipe(result[0], std::chrono::steady_clock::now() + wallClockLimit, interrupted);
    DecodedPicture decoded = receivePicture(pipe, pixelsFd);
    // Anything but a whole picture, or a child that lingers, ends the group.
    char extra;
    if (decoded.status != DecodedPicture::Decoded || ::read(result[0], &extra, 1) != 0)
        killGroup(child);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    ::kill(-child, SIGKILL); // whatever the child started and left behind
    closeAll();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        if (decoded.status == DecodedPicture::Decoded || decoded.status == DecodedPicture::Hostile)
            return hostile;
    }
    return decoded;
}

bool isDecoderChild(int argc, char **argv)
{
    return argc == 3 && std::strcmp(argv[1], childArgument) == 0;
}

int runDecoderChild(int argc, char **argv)
{
    if (!isDecoderChild(argc, argv))
        return 2;
    struct sigaction endGroup
    {
    };
    endGroup.sa_handler = endWholeGroup;
    ::sigaction(SIGTERM, &endGroup, nullptr);

    const QByteArray format = argv[2];
    // Its fresh memory is filled from the start, by the tunables its parent set.
    const DecodedPicture decoded = decodeInProcess(QStringLiteral("/proc/self/fd/0"), format,
                                                   DisplayOptions(), FreshMemoryCheck::None);
    const QImage &image = decoded.image;
    PictureHeader header {};
    header.magic = headerMagic;
    header.status = decoded.status;
    header.systemError = decoded.systemError;
    if (decoded.status == DecodedPicture::Decoded) {
        header.width = image.width();
        header.height = image.height();
        header.format = image.format();
        header.bytesPerLine = image.bytesPerLine();
        header.colourCount = image.colorCount();
        header.frameCount = decoded.frameCount;
    }
    const QVector<QRgb> colours = image.colorTable();
    // The bytes first: once the description is read, they are all there.
    const bool sent = (decoded.status != DecodedPicture::Decoded
                       || writeAll(pixelsDescriptor, image.constBits(), size_t(image.sizeInBytes())))
        && writeAll(STDOUT_FILENO, &header, sizeof header)
        && (decoded.status != DecodedPicture::Decoded
            || writeAll(STDOUT_FILENO, colours.constData(), size_t(colours.size()) * sizeof(QRgb)));
    // Ended at once: no destructor of a reader's plugin runs, nor a leak check of the sanitizers,
    // whose report would turn a picture sent whole into a failure.
    ::_exit(sent ? 0 : 1);
}
