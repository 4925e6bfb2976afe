#include "child_decoder.h"

#include "child_answer.h"
#include "child_pool.h"
#include "decoded_size.h"
#include "picture_format.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

// The parent's side of a decoding child (see child_decoder.h): the child started for a picture,
// and the picture or frames it hands back received, checked and mapped.

namespace {

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

    PictureChild(const QString &filePath, DecodeRequest &request, const std::atomic<int> *interrupted);

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

PictureChild::PictureChild(const QString &filePath, DecodeRequest &request,
                           const std::atomic<int> *interrupted)
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
    const std::string temporaryPath = childTemporaryFolder();
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
