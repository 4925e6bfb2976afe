#pragma once

#include "output_paths.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>

#include <sys/types.h>

// Two conversions that would write the same files, in runs of quillon-convert or in the window,
// take turns: each holds a lock file beside the outputs while it replaces them, and completes
// first what a run killed in the middle of its renames left (see output_journal.h). The lock,
// the journal and the temporary files share one short hidden name, made from the header's.
//
// The folder may be shared with other users (a sticky folder such as /tmp): what stands there
// under these names is acted on only when it belongs to the user running. Another user's lock is
// never removed: it is waited for, a bounded time, and then the outputs are refused.

struct OutputPlaces
{
    QString lock; // FOLDER/.quillon-0123456789abcdef.lock
    QString journal; // FOLDER/.quillon-0123456789abcdef.journal
    QString temporaryPrefix; // FOLDER/.quillon-0123456789abcdef-, before six random characters
};
OutputPlaces outputPlaces(const OutputPaths &paths);

// The user's name, or number when the system knows no name for it.
QString userName(uid_t user);

// How long a lock that tells nothing of a live holder is waited for: the one case a live run
// leaves one so is the instant between creating it and writing into it. Another user's lock,
// which cannot be removed, is waited for as long, and so is every lock when `boundedWait`.
constexpr int unjudgedLockWaitSeconds = 10;

// The lock file of one set of outputs. Its owner holds it with flock() and writes its process
// number, its program's name and its host into it, as QLockFile does, so that either kind of
// run waits for the other. Released (removed) when destroyed.
class OutputLock
{
public:
    OutputLock(const QString &path, const QByteArray &program);
    ~OutputLock();
    OutputLock(const OutputLock &) = delete;
    OutputLock &operator=(const OutputLock &) = delete;

    enum Turn {
        Taken,
        Interrupted,
        Refused, // another user's lock stayed for the whole wait: owner() tells whose
        Failed // systemError() tells why; EISDIR when a folder stands in its place
    };
    // Why a run waits for a bounded time, told once when it starts so waiting: the lock tells
    // nothing of a live holder, or it is another user's.
    enum class Wait { Unjudged, Foreign };
    struct Waiting
    {
        const std::atomic<int> *interrupted = nullptr; // polled; the wait stops once not 0
        // Whether a lock a live run holds is waited for only as long as the others (the window,
        // which must not hang); otherwise as long as that run holds it.
        bool boundedWait = false;
        std::function<void(Wait)> told;
    };

    // Takes the lock, waiting for it as the rules above say. A lock of this user whose holder is
    // dead is taken over at once; one that tells nothing of a live holder (empty, damaged, from
    // another host, not a regular file) is replaced after the wait. Every wait sleeps between
    // two looks, and the bound holds however the lock changes meanwhile.
    Turn take(const Waiting &waiting);

    QString path() const { return m_path; }
    int systemError() const { return m_systemError; }
    // Whether a lock stood there when take() began. A run that writes these outputs' temporary
    // files holds their lock, and one killed meanwhile leaves its lock file behind: without one,
    // no temporary file of theirs can stand there.
    bool foundStanding() const { return m_foundStanding; }
    // The user that owns the lock waited for.
    uid_t owner() const { return m_owner; }

private:
    enum Verdict { Held, Gone, Removed, Unjudged, Foreign, Folder, Stuck };
    bool tryCreate();
    Verdict judge(bool replaceUnjudged);
    Verdict judgeOpened(int fd, bool *stale) const;

    QString m_path;
    QByteArray m_name;
    QByteArray m_program;
    int m_fd = -1;
    int m_systemError = 0;
    uid_t m_owner = 0;
    bool m_foundStanding = false;
};
