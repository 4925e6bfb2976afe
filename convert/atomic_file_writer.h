#pragma once

#include <QSaveFile>

// Writes a file as a whole or not at all. The bytes go to a temporary file next to the target,
// which replaces the target only when every write, the flush and the commit have succeeded; on
// any failure the temporary file is removed and a file that stood at the path before is kept.
//
// QSaveFile alone is not enough: a large write() that the system cuts short returns a short count
// without setting an error, and commit() does not report a failed final flush. So every write is
// checked against the length asked and the buffer is flushed before committing.
class AtomicFileWriter
{
public:
    explicit AtomicFileWriter(const QString &filePath);

    AtomicFileWriter(const AtomicFileWriter &) = delete;
    AtomicFileWriter &operator=(const AtomicFileWriter &) = delete;

    bool open();
    // Returns false, and abandons the file, when the bytes could not all be written.
    bool write(const char *data, qint64 size);
    bool write(const QByteArray &data) { return write(data.constData(), data.size()); }
    // Writes what is buffered and waits until the system has it on the disk, so that a commit
    // right after it has little left to do; false when anything failed.
    bool syncToDisk();
    // Replaces the target with what was written; false when anything failed.
    bool commit();
    // Abandons the file at once, removing the temporary file; the target stays as it was.
    void cancel();

    // The system's error number (errno) of the first failure, 0 when none or unknown: tells a
    // full disk from a missing folder or a refused access.
    int systemError() const { return m_systemError; }

private:
    void fail();

    QSaveFile m_file;
    bool m_failed = false;
    int m_systemError = 0;
};
