#include "child_protocol.h"

#include "animation_decoding.h"
#include "child_answer.h"
#include "codecs.h"
#include "fresh_memory.h"
#include "row_decoding.h"
#include "svg_rendering.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

// The decoding server and its children: the server forks a child for each picture, which decodes
// it under the kernel's limits and hands it back on its channel (see child_decoder.h).

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

namespace {

// The child's SIGTERM: the server died or it was asked to stop; ends the child and every
// program it started, at once.
void endWholeGroup(int)
{
    ::kill(0, SIGKILL);
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
        : codecOf(format).drawnByQtSvg
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
    QImageReader reader;
    openReader(reader, &nothing, format);
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

} // namespace

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
