#pragma once

#include <QString>

#ifndef Q_OS_UNIX
#include <QSaveFile>
#endif

// A file written under a temporary name, closed and handed over by its writer to whoever puts
// it in its target's place (output_batch.h). An empty temporaryPath with a target: the file is
// already in its place.
struct StagedFile
{
    QString temporaryPath;
    QString targetPath;
};

// Writes a file as a whole or not at all. The bytes go to a temporary file in the target's
// folder (named with `temporaryPrefix` from the start when one is given, since runs look for such
// files, else an unnamed one where the file system has them), which replaces the target only when
// every write, the flush and the commit have succeeded; on any failure the temporary file is
// removed and a file that stood at the path before is kept.
//
// Every write is checked against the length asked, so that a write the system cuts short is a
// failure. commit() replaces the target without waiting for the disk; a conversion's files are
// handed over once staged, and put on the disk before they replace anything (output_batch.h).
class AtomicFileWriter
{
public:
    // `temporaryPrefix`: the temporary file's name, before six random characters; by default the
    // target's path and a ".". A target that is a symbolic link is replaced by the file itself
    // when `replaceLink`; otherwise the file the link names is replaced, as editors do.
    explicit AtomicFileWriter(const QString &filePath, const QString &temporaryPrefix = QString(),
                              bool replaceLink = false);
    ~AtomicFileWriter();

    AtomicFileWriter(const AtomicFileWriter &) = delete;
    AtomicFileWriter &operator=(const AtomicFileWriter &) = delete;

    bool open();
    // Returns false, and abandons the file, when the bytes could not all be written.
    bool write(const char *data, qint64 size);
    bool write(const QByteArray &data) { return write(data.constData(), data.size()); }
    // Whether the target is a regular file (not a link) that holds exactly the bytes written so
    // far: a caller may then cancel() rather than replace it with the same bytes, so that its
    // inode and times stay and a build that depends on it sees no change.
    bool matchesTarget() const;
    // Gives the temporary file its name, temporaryPath(), if it has none yet: a run killed before
    // replaceTarget() leaves it there under that name. The system starts writing its bytes to the
    // disk meanwhile, so that a sync of it later has little left to wait for.
    bool stage();
    // The staged file, handed over and closed: the writer is then empty and removes nothing.
    StagedFile handOver();
    QString temporaryPath() const { return m_temporaryPath; }
    QString targetPath() const { return m_target; }
    // Puts the staged file in the target's place, in one rename. When that fails, the staged file
    // stays until cancel() removes it.
    bool replaceTarget();
    // Replaces the target with what was written; false when anything failed.
    bool commit() { return stage() && replaceTarget(); }
    // Abandons the file at once, removing the temporary file; the target stays as it was.
    void cancel();

    // The system's error number (errno) of the first failure, 0 when none or unknown: tells a
    // full disk from a missing folder or a refused access.
    int systemError() const { return m_systemError; }

private:
    void fail(int systemError);
    void startWriteBack();

    QString m_target;
    QString m_temporaryPrefix;
    QString m_temporaryPath; // empty while the temporary file has no name
    bool m_replaceLink = false;
    bool m_namedAtOnce = false; // a prefix was given, whose files runs look for
    bool m_failed = false;
    int m_systemError = 0;
#ifdef Q_OS_UNIX
    int m_fd = -1;
#else
    QSaveFile m_file;
#endif
};
