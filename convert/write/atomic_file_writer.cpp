#include "atomic_file_writer.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#endif

#ifdef Q_OS_UNIX

namespace {

// Read once, before any thread starts: umask() can only be read by setting it.
const mode_t processUmask = [] {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}();

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

// The file a chain of symbolic links ends at, even when that file does not exist.
QString linkTarget(QString path)
{
    for (int depth = 0; depth < 40 && QFileInfo(path).isSymLink(); ++depth)
        path = QFileInfo(path).symLinkTarget();
    return path;
}

// Six letters or digits that end a temporary file's name.
QByteArray randomLetters()
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray chosen(6, Qt::Uninitialized);
    for (char &letter : chosen)
        letter = letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)];
    return chosen;
}

} // namespace

AtomicFileWriter::AtomicFileWriter(const QString &filePath, const QString &temporaryPrefix, bool replaceLink)
    : m_target(filePath)
    , m_temporaryPrefix(temporaryPrefix)
    , m_replaceLink(replaceLink)
    , m_namedAtOnce(!temporaryPrefix.isEmpty())
{ }

AtomicFileWriter::~AtomicFileWriter()
{
    cancel();
}

bool AtomicFileWriter::open()
{
    if (!m_replaceLink)
        m_target = linkTarget(m_target);
    if (m_temporaryPrefix.isEmpty())
        m_temporaryPrefix = m_target + QLatin1Char('.');
    const QByteArray target = encoded(m_target);
    const QFileInfo info(m_target);
    if (encoded(info.fileName()).size() > NAME_MAX) {
        fail(ENAMETOOLONG);
        return false;
    }
    // A new file gets the usual permissions; a replaced one keeps its own, and one that may not
    // be written is not replaced either.
    mode_t mode = 0666 & ~processUmask;
    struct stat existing;
    if (::lstat(target.constData(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode)) {
            fail(EISDIR);
            return false;
        }
        if (S_ISREG(existing.st_mode)) {
            if (::access(target.constData(), W_OK) != 0) {
                fail(errno);
                return false;
            }
            mode = existing.st_mode & 07777;
        }
    }

    // A file whose temporary name runs look for (their own prefix, beside the lock) is created
    // under it at once: one file made in the folder, where an unnamed one, named later, is made,
    // then named, each a change of the file system's journal. Otherwise it stays unnamed until
    // staged, so that a run killed meanwhile leaves nothing; it is named later through /proc,
    // which a chroot may lack.
    const QByteArray folder = encoded(info.path());
    static const bool procMounted = ::access("/proc/self/fd", X_OK) == 0;
    // Read and write: matchesTarget() reads it back.
    m_fd = procMounted && !m_namedAtOnce ? ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode)
                                         : -1;
    if (m_fd < 0
        && (m_namedAtOnce || !procMounted || errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // Named from the start (and where there are no unnamed files: vfat, NFSv3, many FUSE mounts).
        for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
            const QByteArray name = encoded(m_temporaryPrefix) + randomLetters();
            m_fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
            if (m_fd >= 0)
                m_temporaryPath = QFile::decodeName(name);
            else if (errno != EEXIST)
                break;
        }
    }
    // The umask took bits from a replaced file's mode: given back.
    if (m_fd < 0 || ((mode & processUmask) != 0 && ::fchmod(m_fd, mode) != 0)) {
        fail(errno);
        return false;
    }
    return true;
}

bool AtomicFileWriter::write(const char *data, qint64 size)
{
    if (m_failed || m_fd < 0)
        return false;
    while (size > 0) {
        const ssize_t written = ::write(m_fd, data, size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            fail(written < 0 ? errno : ENOSPC);
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool AtomicFileWriter::matchesTarget() const
{
    if (m_failed || m_fd < 0)
        return false;
    const int target = ::open(encoded(m_target).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (target < 0)
        return false;
    struct stat written, existing;
    bool same = ::fstat(m_fd, &written) == 0 && ::fstat(target, &existing) == 0 && S_ISREG(existing.st_mode)
        && existing.st_size == written.st_size;
    // Both read block by block, from the start; a short read of either ends the comparison.
    constexpr size_t blockSize = 64 * 1024;
    std::vector<char> blocks(same ? 2 * blockSize : 0);
    for (off_t offset = 0; same && offset < written.st_size;) {
        const size_t wanted = size_t(qMin<off_t>(off_t(blockSize), written.st_size - offset));
        char *const ours = blocks.data(), *const theirs = blocks.data() + blockSize;
        same = ::pread(m_fd, ours, wanted, offset) == ssize_t(wanted)
            && ::pread(target, theirs, wanted, offset) == ssize_t(wanted)
            && std::memcmp(ours, theirs, wanted) == 0;
        offset += off_t(wanted);
    }
    ::close(target);
    return same;
}

bool AtomicFileWriter::stage()
{
    if (m_failed || m_fd < 0)
        return false;
    if (!m_temporaryPath.isEmpty()) {
        startWriteBack();
        return true;
    }
    // An unnamed file is given a name through its entry in /proc, as linkat() wants.
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", m_fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = encoded(m_temporaryPrefix) + randomLetters();
        if (::linkat(AT_FDCWD, self, AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0) {
            m_temporaryPath = QFile::decodeName(name);
            startWriteBack();
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    fail(errno);
    return false;
}

void AtomicFileWriter::startWriteBack()
{
#ifdef Q_OS_LINUX
    ::sync_file_range(m_fd, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

StagedFile AtomicFileWriter::handOver()
{
    const StagedFile staged {m_temporaryPath, m_target};
    if (m_failed || m_fd < 0 || m_temporaryPath.isEmpty())
        return StagedFile();
    ::close(m_fd);
    m_fd = -1;
    m_temporaryPath.clear();
    m_failed = true;
    return staged;
}

bool AtomicFileWriter::replaceTarget()
{
    if (m_failed || m_fd < 0 || m_temporaryPath.isEmpty())
        return false;
    if (::rename(encoded(m_temporaryPath).constData(), encoded(m_target).constData()) != 0) {
        // The staged file stays until cancel().
        m_systemError = errno;
        m_failed = true;
        return false;
    }
    m_temporaryPath.clear();
    ::close(m_fd);
    m_fd = -1;
    return true;
}

void AtomicFileWriter::fail(int systemError)
{
    if (!m_failed)
        m_systemError = systemError;
    cancel();
}

void AtomicFileWriter::cancel()
{
    if (m_fd < 0)
        return;
    m_failed = true;
    if (!m_temporaryPath.isEmpty())
        ::unlink(encoded(m_temporaryPath).constData());
    m_temporaryPath.clear();
    ::close(m_fd);
    m_fd = -1;
}

#else // Q_OS_UNIX

AtomicFileWriter::AtomicFileWriter(const QString &filePath, const QString &temporaryPrefix, bool replaceLink)
    : m_target(filePath)
    , m_temporaryPrefix(temporaryPrefix)
    , m_replaceLink(replaceLink)
    , m_file(filePath)
{ }

AtomicFileWriter::~AtomicFileWriter()
{
    cancel();
}

bool AtomicFileWriter::open()
{
    errno = 0;
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        fail(errno);
    return !m_failed;
}

bool AtomicFileWriter::write(const char *data, qint64 size)
{
    while (!m_failed && size > 0) {
        errno = 0;
        const qint64 written = m_file.write(data, size);
        if (written <= 0)
            fail(errno);
        data += written;
        size -= written;
    }
    return !m_failed;
}

StagedFile AtomicFileWriter::handOver()
{
    // QSaveFile names its file itself: it is put in its place here.
    if (!replaceTarget())
        return StagedFile();
    return {QString(), m_target};
}

bool AtomicFileWriter::stage()
{
    return !m_failed && m_file.isOpen();
}

bool AtomicFileWriter::replaceTarget()
{
    errno = 0;
    if (!m_failed && !m_file.commit())
        fail(errno);
    return !m_failed;
}

bool AtomicFileWriter::matchesTarget() const
{
    return false;
}

void AtomicFileWriter::fail(int systemError)
{
    if (!m_failed)
        m_systemError = systemError;
    cancel();
}

void AtomicFileWriter::cancel()
{
    m_failed = true;
    if (m_file.isOpen()) {
        m_file.cancelWriting();
        m_file.commit();
    }
}

#endif // Q_OS_UNIX
