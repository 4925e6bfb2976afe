#include "output_lock.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <limits>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

OutputPlaces outputPlaces(const OutputPaths &paths)
{
    const QFileInfo header(paths.header);
    const QByteArray digest
        = QCryptographicHash::hash(header.fileName().toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    const QString stem = header.path() + QStringLiteral("/.quillon-") + QString::fromLatin1(digest);
    return {stem + QStringLiteral(".lock"), stem + QStringLiteral(".journal"), stem + QLatin1Char('-')};
}

OutputLock::OutputLock(const QString &path, const QByteArray &program)
    : m_path(path)
    , m_name(QFile::encodeName(path))
    , m_program(program)
{ }

OutputLock::~OutputLock()
{
    if (m_fd >= 0) {
        ::unlink(m_name.constData());
        ::close(m_fd);
    }
}

QString userName(uid_t user)
{
    char buffer[4096];
    passwd entry;
    passwd *found = nullptr;
    if (::getpwuid_r(user, &entry, buffer, sizeof buffer, &found) == 0 && found)
        return QFile::decodeName(found->pw_name);
    return QString::number(user);
}

bool OutputLock::tryCreate()
{
    m_fd
        = ::open(m_name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (m_fd < 0) {
        m_systemError = errno;
        return false;
    }
    // Another run that judges the new file holds it for an instant.
    while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) { }
    const QByteArray owner = QByteArray::number(qint64(::getpid())) + '\n' + m_program + '\n'
        + QSysInfo::machineHostName().toUtf8() + '\n';
    const ssize_t written = ::write(m_fd, owner.constData(), size_t(owner.size()));
    if (written != owner.size()) {
        m_systemError = written < 0 ? errno : ENOSPC;
        ::unlink(m_name.constData());
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    m_systemError = 0;
    return true;
}

// What the lock file that stands there tells. Another user's is Foreign, whatever it holds: it
// is never opened nor removed. One of this user's whose holder is dead is removed, and so is one
// that tells nothing of a live holder when `replaceUnjudged`; Removed then, or Stuck when the
// system refused. Only regular files are opened, and never so that open() could wait. A file is
// removed only while it is still the one judged, and held by this run when it can be: two runs
// that judge it at once never remove the lock the other then took.
OutputLock::Verdict OutputLock::judge(bool replaceUnjudged)
{
    struct stat seen;
    if (::lstat(m_name.constData(), &seen) != 0)
        return Gone;
    m_owner = seen.st_uid;
    if (S_ISDIR(seen.st_mode))
        return Folder;
    if (seen.st_uid != ::geteuid())
        return Foreign;
    bool stale = false;
    Verdict verdict = Unjudged;
    int fd = -1;
    if (S_ISREG(seen.st_mode)) {
        fd = ::open(m_name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT)
            return Gone;
        struct stat opened;
        if (fd >= 0
            && (::fstat(fd, &opened) != 0 || opened.st_ino != seen.st_ino || opened.st_dev != seen.st_dev))
            verdict = Gone; // replaced in the meantime: judged again
        else if (fd >= 0)
            verdict = judgeOpened(fd, &stale);
    }
    if (verdict != Gone && (stale || (verdict == Unjudged && replaceUnjudged))) {
        struct stat now;
        verdict = Removed;
        if (::lstat(m_name.constData(), &now) == 0 && now.st_ino == seen.st_ino && now.st_dev == seen.st_dev
            && ::unlink(m_name.constData()) != 0 && errno != ENOENT) {
            m_systemError = errno;
            verdict = Stuck;
        }
    }
    if (fd >= 0)
        ::close(fd);
    return verdict;
}

// Leaves the file locked by this run, unless another holds it.
OutputLock::Verdict OutputLock::judgeOpened(int fd, bool *stale) const
{
    // Where the file system has no such locks (some NFS mounts), the process number decides.
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (!locked && errno == EWOULDBLOCK)
        return Held;
    char text[512];
    const ssize_t size = ::read(fd, text, sizeof text);
    const QList<QByteArray> lines = QByteArray(text, int(qMax<ssize_t>(size, 0))).split('\n');
    bool isNumber = false;
    const qint64 pid = lines.value(0).toLongLong(&isNumber);
    if (!isNumber || pid <= 0 || pid > std::numeric_limits<pid_t>::max() || lines.size() < 3
        || lines[2] != QSysInfo::machineHostName().toUtf8())
        return Unjudged;
    // A live process that holds no lock is taking it this very instant, or is another one.
    const bool alive = ::kill(pid_t(pid), 0) == 0 || errno != ESRCH;
    *stale = !alive;
    return alive && !locked ? Held : Unjudged;
}

OutputLock::Turn OutputLock::take(const Waiting &waiting)
{
    // One clock for every wait that is bounded, never set back by a lock that comes and goes.
    QElapsedTimer bounded;
    bool toldUnjudged = false, toldForeign = false;
    for (;;) {
        if (waiting.interrupted && waiting.interrupted->load())
            return Interrupted;
        if (tryCreate())
            return Taken;
        if (m_systemError != EEXIST)
            return Failed;
        m_foundStanding = true;
        const bool waitedEnough = bounded.isValid() && bounded.hasExpired(unjudgedLockWaitSeconds * 1000);
        const Verdict verdict = judge(waitedEnough);
        switch (verdict) {
        case Removed:
            continue; // taken at once
        case Folder:
            m_systemError = EISDIR;
            return Failed;
        case Stuck:
            return Failed;
        case Gone:
            break;
        case Held:
            if (!waiting.boundedWait) {
                bounded.invalidate();
                break;
            }
            Q_FALLTHROUGH();
        case Unjudged:
        case Foreign: {
            if (!bounded.isValid())
                bounded.start();
            else if (waitedEnough)
                return Refused;
            bool &told = verdict == Foreign ? toldForeign : toldUnjudged;
            if (!told && verdict != Held && waiting.told)
                waiting.told(verdict == Foreign ? Wait::Foreign : Wait::Unjudged);
            told = told || verdict != Held;
            break;
        }
        }
        QThread::msleep(100);
    }
}
