#include "atomic_file_writer.h"

#include <cerrno>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

AtomicFileWriter::AtomicFileWriter(const QString &filePath)
    : m_file(filePath)
{ }

bool AtomicFileWriter::open()
{
    errno = 0;
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        fail();
    return !m_failed;
}

bool AtomicFileWriter::write(const char *data, qint64 size)
{
    if (m_failed)
        return false;
    while (size > 0) {
        errno = 0;
        const qint64 written = m_file.write(data, size);
        if (written <= 0) {
            fail();
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool AtomicFileWriter::syncToDisk()
{
    if (m_failed || !m_file.isOpen())
        return false;
    errno = 0;
    bool synced = m_file.flush();
#ifdef Q_OS_UNIX
    synced = synced && ::fsync(m_file.handle()) == 0;
#endif
    if (!synced)
        fail();
    return synced;
}

bool AtomicFileWriter::commit()
{
    if (m_failed || !m_file.isOpen())
        return false;
    errno = 0;
    if (!m_file.flush() || !m_file.commit()) {
        fail();
        return false;
    }
    return true;
}

void AtomicFileWriter::fail()
{
    if (!m_failed)
        m_systemError = errno;
    cancel();
}

void AtomicFileWriter::cancel()
{
    m_failed = true;
    if (m_file.isOpen()) {
        // A commit after cancelWriting() fails and removes the temporary file. Were it left to the
        // destructor, the file would linger until the writer goes out of scope.
        m_file.cancelWriting();
        m_file.commit();
    }
}
