#include "atomic_file_writer.h"

AtomicFileWriter::AtomicFileWriter(const QString &filePath)
    : m_file(filePath)
{ }

bool AtomicFileWriter::open()
{
    m_failed = !m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    return !m_failed;
}

bool AtomicFileWriter::write(const char *data, qint64 size)
{
    if (m_failed)
        return false;
    while (size > 0) {
        const qint64 written = m_file.write(data, size);
        if (written <= 0) {
            cancel();
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool AtomicFileWriter::commit()
{
    if (m_failed || !m_file.isOpen())
        return false;
    if (!m_file.flush()) {
        cancel();
        return false;
    }
    const bool committed = m_file.commit();
    m_failed = !committed;
    return committed;
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
