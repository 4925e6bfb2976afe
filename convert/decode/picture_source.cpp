#include "picture_source.h"

#include <cerrno>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QFileInfo>
#endif

PictureSource::PictureSource(const QString &filePath)
    : m_file(filePath)
{ }

PictureSource::~PictureSource()
{
    close();
}

PictureSource::OpenResult PictureSource::openRegularFile()
{
#ifdef Q_OS_UNIX
    // O_NONBLOCK: opening a FIFO that has no writer would otherwise wait forever. The file type
    // is then taken from what was opened, not from the path, which could change in between.
    const int fd = ::open(QFile::encodeName(m_file.fileName()).constData(),
                          O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        m_systemError = errno;
        return Unreadable;
    }
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return NotARegularFile;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!m_file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        m_systemError = errno;
        ::close(fd);
        return Unreadable;
    }
#else
    if (!QFileInfo(m_file.fileName()).isFile())
        return NotARegularFile;
    errno = 0;
    if (!m_file.open(QIODevice::ReadOnly)) {
        m_systemError = errno;
        return Unreadable;
    }
#endif
    // Unbuffered here: every read the image reader makes reaches readData(), so a read past the
    // end is seen as it happens. The file below keeps its own buffer.
    QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    return Opened;
}

bool PictureSource::seek(qint64 position)
{
    return QIODevice::seek(position) && m_file.seek(position);
}

void PictureSource::close()
{
    QIODevice::close();
    m_file.close();
}

qint64 PictureSource::readData(char *data, qint64 maxSize)
{
    const qint64 got = m_file.read(data, maxSize);
    if (got >= 0 && got < maxSize)
        m_ranPastEnd = true;
    return got;
}

qint64 PictureSource::writeData(const char *, qint64)
{
    return -1;
}
