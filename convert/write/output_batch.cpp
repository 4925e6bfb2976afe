#include "output_batch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

// The threads that sync a round's files at once: the file system merges what they ask into a few
// writes of its journal and a few flushes of the disk's cache.
constexpr size_t syncThreads = 16;

struct Sync
{
    size_t conversion;
    size_t file; // the conversion's file; its count of files for its journal
    QString path;
    int error = 0;
};

// Syncs a staged file's bytes, opened again by its name: a regular file of this user's, which
// nobody else may replace in a shared folder (it is sticky) and the outputs' lock keeps from runs
// of this user.
int syncBytes(const QString &path)
{
    const int fd = ::open(encoded(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    struct stat status;
    int error = ::fstat(fd, &status) != 0                          ? errno
        : !S_ISREG(status.st_mode) || status.st_uid != ::geteuid() ? EPERM
                                                                   : 0;
    while (!error && ::fdatasync(fd) != 0) {
        if (errno != EINTR)
            error = errno;
    }
    ::close(fd);
    return error;
}

void syncEach(std::vector<Sync> &syncs)
{
    std::atomic<size_t> next {0};
    const auto work = [&] {
        for (size_t i; (i = next++) < syncs.size();)
            syncs[i].error = syncBytes(syncs[i].path);
    };
    std::vector<std::thread> helpers;
    for (size_t t = 1; t < std::min(syncThreads, syncs.size()); ++t) {
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error &) { // no more threads to be had: fewer do the work
            break;
        }
    }
    work();
    for (std::thread &helper : helpers)
        helper.join();
}

// Syncs each folder, so that the names it holds are on the disk; the error of each, 0 when it
// went well. A folder that may not be read, or a file system that cannot sync folders, has no
// more to do there.
QHash<QString, int> syncFolders(const QStringList &folders)
{
    QHash<QString, int> errors;
    for (const QString &path : folders) {
        if (errors.contains(path))
            continue;
        const int fd = ::open(encoded(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        int error = 0;
        if (fd >= 0 && ::fsync(fd) != 0 && errno != EINVAL && errno != EBADF)
            error = errno;
        if (fd >= 0)
            ::close(fd);
        errors.insert(path, error);
    }
    return errors;
}

QString folderOf(const QString &path)
{
    return QFileInfo(path).path();
}

// A file's path as every conversion names it, however its picture was named (a/x.png, ./a/y.png).
QString placeOf(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// One round's commit, a step for all its conversions at a time: a conversion goes on until one of
// its steps fails, the others regardless.
class RoundCommit
{
public:
    RoundCommit(const std::vector<StagedOutputs *> &round, QSet<QString> *placedShared)
        : m_round(round)
        , m_count(round.size())
        , m_outcomes(m_count)
        , m_going(m_count, false)
        , m_journalPlaced(m_count, false)
        , m_journalKept(m_count, false)
        , m_placed(placedShared ? *placedShared : m_placedHere)
    { }

    std::vector<CommitOutcome> run()
    {
        start();
        syncStaged();
        placeJournals();
        for (size_t i = 0; i < m_count; ++i) {
            if (m_going[i])
                putInPlace(i);
        }
        syncTargetsAndDropJournals();
        return std::move(m_outcomes);
    }

private:
    // Conversion i stops, failed on its file `file` (the last when beyond) with `error`.
    void fail(size_t i, int error, size_t file)
    {
        if (!m_going[i])
            return;
        const std::vector<StagedOutputs::File> &files = m_round[i]->files;
        const StagedOutputs::File &failed = files[std::min(file, files.size() - 1)];
        m_outcomes[i].outcome = failed.failure;
        m_outcomes[i].systemError = error;
        m_outcomes[i].failedPath = failed.path;
        m_going[i] = false;
    }

    // A shared file that an earlier conversion put in its place is left out, its copy removed.
    bool leaveOut(size_t i, StagedOutputs::File &file)
    {
        if (!file.shared || file.staged.temporaryPath.isEmpty()
            || !m_placed.contains(placeOf(file.staged.targetPath)))
            return false;
        ::unlink(encoded(file.staged.temporaryPath).constData());
        file.staged.temporaryPath.clear();
        m_outcomes[i].files.unchanged << file.staged.targetPath;
        return true;
    }

    // Which conversions go: not those interrupted, nor those without files; their shared files
    // already in place left out.
    void start()
    {
        for (size_t i = 0; i < m_count; ++i) {
            m_outcomes[i].files.unchanged = m_round[i]->unchanged;
            if (m_round[i]->interrupted && m_round[i]->interrupted->load() != 0)
                m_outcomes[i].outcome = WriteOutcome::Interrupted;
            else
                m_going[i] = !m_round[i]->files.empty();
        }
        for (size_t i = 0; i < m_count; ++i) {
            for (StagedOutputs::File &file : m_round[i]->files) {
                if (m_going[i])
                    leaveOut(i, file);
            }
        }
    }

    // 1. Every staged file and journal on the disk, then their names.
    void syncStaged()
    {
        std::vector<Sync> syncs;
        QStringList stagedFolders;
        for (size_t i = 0; i < m_count; ++i) {
            if (!m_going[i])
                continue;
            const StagedOutputs &staged = *m_round[i];
            for (size_t file = 0; file < staged.files.size(); ++file) {
                if (staged.files[file].staged.temporaryPath.isEmpty())
                    continue; // already in its place
                syncs.push_back({i, file, staged.files[file].staged.temporaryPath});
                stagedFolders << folderOf(staged.files[file].staged.temporaryPath);
            }
            if (!staged.stagedJournal.temporaryPath.isEmpty())
                syncs.push_back({i, staged.files.size(), staged.stagedJournal.temporaryPath});
        }
        syncEach(syncs);
        for (const Sync &sync : syncs) {
            if (sync.error)
                fail(sync.conversion, sync.error, sync.file);
        }
        const QHash<QString, int> stagedNames = syncFolders(stagedFolders);
        for (size_t i = 0; i < m_count; ++i) {
            for (size_t file = 0; m_going[i] && file < m_round[i]->files.size(); ++file) {
                const QString &temporary = m_round[i]->files[file].staged.temporaryPath;
                if (!temporary.isEmpty() && stagedNames.value(folderOf(temporary)))
                    fail(i, stagedNames.value(folderOf(temporary)), file);
            }
        }
    }

    // 2. The journals named, and their names on the disk.
    void placeJournals()
    {
        QStringList journalFolders;
        for (size_t i = 0; i < m_count; ++i) {
            StagedOutputs &staged = *m_round[i];
            if (!m_going[i] || staged.journal.isEmpty())
                continue;
            int error = 0;
            if (!placeJournal(staged.stagedJournal, staged.journal, &error)) {
                fail(i, error, 0);
                continue;
            }
            staged.stagedJournal.temporaryPath.clear();
            m_journalPlaced[i] = true;
            journalFolders << folderOf(staged.journal);
        }
        const QHash<QString, int> journalNames = syncFolders(journalFolders);
        for (size_t i = 0; i < m_count; ++i) {
            if (m_journalPlaced[i] && journalNames.value(folderOf(m_round[i]->journal)))
                fail(i, journalNames.value(folderOf(m_round[i]->journal)), 0);
        }
    }

    // 3. Conversion i's files in their targets' places, one right after the other.
    void putInPlace(size_t i)
    {
        std::vector<StagedOutputs::File> &files = m_round[i]->files;
        for (size_t file = 0; file < files.size(); ++file) {
            StagedFile &staged = files[file].staged;
            if (leaveOut(i, files[file]))
                continue;
            if (!staged.temporaryPath.isEmpty()
                && ::rename(encoded(staged.temporaryPath).constData(), encoded(staged.targetPath).constData())
                    != 0) {
                const int error = errno;
                // Once a file is replaced, the others are left to the journal, which completes them.
                if (file > 0 && m_journalPlaced[i]) {
                    m_journalKept[i] = true;
                    for (size_t later = file; later < files.size(); ++later)
                        files[later].staged.temporaryPath.clear();
                }
                fail(i, error, file);
                return;
            }
            if (!staged.temporaryPath.isEmpty() && files[file].shared)
                m_placed.insert(placeOf(staged.targetPath));
            staged.temporaryPath.clear();
            m_outcomes[i].files.written << staged.targetPath;
            m_targetFolders << folderOf(staged.targetPath);
        }
    }

    // The renames on the disk, then the journals go: the files they list have taken their places.
    void syncTargetsAndDropJournals()
    {
        const QHash<QString, int> targetNames = syncFolders(m_targetFolders);
        for (size_t i = 0; i < m_count; ++i) {
            for (const QString &written : m_outcomes[i].files.written) {
                if (const int error = targetNames.value(folderOf(written)))
                    fail(i, error, 0);
            }
            if (m_journalPlaced[i] && !m_journalKept[i])
                ::unlink(encoded(m_round[i]->journal).constData());
            m_round[i]->abandon();
        }
    }

    const std::vector<StagedOutputs *> &m_round;
    const size_t m_count;
    std::vector<CommitOutcome> m_outcomes;
    std::vector<bool> m_going, m_journalPlaced, m_journalKept;
    QSet<QString> m_placedHere;
    QSet<QString> &m_placed; // the shared files put in their places, by placeOf()
    QStringList m_targetFolders;
};

} // namespace

StagedOutputs::~StagedOutputs()
{
    abandon();
}

StagedOutputs::StagedOutputs(StagedOutputs &&other) noexcept
{
    *this = std::move(other);
}

StagedOutputs &StagedOutputs::operator=(StagedOutputs &&other) noexcept
{
    if (this == &other)
        return *this;
    abandon();
    files = std::move(other.files);
    unchanged = std::move(other.unchanged);
    journal = std::move(other.journal);
    stagedJournal = other.stagedJournal;
    interrupted = other.interrupted;
    other.files.clear();
    other.journal.clear();
    other.stagedJournal = StagedFile();
    return *this;
}

void StagedOutputs::abandon()
{
    for (File &file : files) {
        if (!file.staged.temporaryPath.isEmpty())
            ::unlink(encoded(file.staged.temporaryPath).constData());
        file.staged.temporaryPath.clear();
    }
    if (!stagedJournal.temporaryPath.isEmpty())
        ::unlink(encoded(stagedJournal.temporaryPath).constData());
    stagedJournal.temporaryPath.clear();
}

std::vector<CommitOutcome> commitTogether(const std::vector<StagedOutputs *> &round,
                                          QSet<QString> *placedShared)
{
    return RoundCommit(round, placedShared).run();
}

struct OutputBatch::Waiting
{
    StagedOutputs staged;
    std::unique_ptr<OutputLock> lock;
    std::function<void(const CommitOutcome &)> committed;
};

struct OutputBatch::State
{
    std::mutex mutex;
    std::condition_variable work; // the batch's thread: conversions wait, or the batch ends
    std::condition_variable room; // the others: files were taken for a round, or a round ended
    std::vector<Waiting> waiting;
    size_t inRound = 0;
    bool finishing = false; // no more conversions come before finish() returns
    bool ending = false;
    std::thread thread;
    QSet<QString> placedShared; // read and written by the batch's thread only
};

OutputBatch::OutputBatch()
    : m_state(new State)
{
    try {
        m_state->thread = std::thread([this] { commitRounds(); });
    } catch (const std::system_error &) {
        // No thread to be had: each conversion is committed as it comes, by itself.
    }
}

OutputBatch::~OutputBatch()
{
    finish();
    if (m_state->thread.joinable()) {
        {
            const std::lock_guard<std::mutex> lock(m_state->mutex);
            m_state->ending = true;
        }
        m_state->work.notify_all();
        m_state->thread.join();
    }
}

// A round begins once this many conversions wait, or the first of them has waited so long, or no
// more come.
constexpr size_t roundSize = 128;
constexpr auto roundDelay = std::chrono::seconds(1);

void OutputBatch::commit(StagedOutputs &&staged, std::unique_ptr<OutputLock> lock,
                         std::function<void(const CommitOutcome &)> committed)
{
    Waiting conversion {std::move(staged), std::move(lock), std::move(committed)};
    // Nothing to replace, or no thread for rounds: committed here and now.
    if (conversion.staged.files.empty() || !m_state->thread.joinable()) {
        const CommitOutcome outcome = commitTogether({&conversion.staged}).front();
        conversion.committed(outcome);
        return;
    }
    std::unique_lock<std::mutex> state(m_state->mutex);
    m_state->room.wait(state, [&] { return int(m_state->waiting.size()) < maxWaiting; });
    m_state->waiting.push_back(std::move(conversion));
    // The batch's thread counts its delay from the first, and wakes when there are enough.
    const bool told = m_state->waiting.size() == 1 || m_state->waiting.size() >= roundSize;
    state.unlock();
    if (told)
        m_state->work.notify_one();
}

void OutputBatch::finish()
{
    std::unique_lock<std::mutex> lock(m_state->mutex);
    m_state->finishing = true;
    m_state->work.notify_all();
    m_state->room.wait(lock, [&] { return m_state->waiting.empty() && m_state->inRound == 0; });
    m_state->finishing = false;
}

void OutputBatch::commitRounds()
{
    for (;;) {
        std::vector<Waiting> round;
        {
            std::unique_lock<std::mutex> lock(m_state->mutex);
            // A round waits for others to join it: every round syncs each folder three times,
            // however few files it holds.
            const auto due = [&] {
                return m_state->ending || (!m_state->waiting.empty() && m_state->finishing)
                    || m_state->waiting.size() >= roundSize;
            };
            m_state->work.wait(lock, [&] { return due() || !m_state->waiting.empty(); });
            if (!due())
                m_state->work.wait_for(lock, roundDelay, due);
            if (m_state->waiting.empty())
                return;
            round.swap(m_state->waiting);
            m_state->inRound = round.size();
        }
        m_state->room.notify_all();
        std::vector<StagedOutputs *> staged;
        for (Waiting &conversion : round)
            staged.push_back(&conversion.staged);
        const std::vector<CommitOutcome> outcomes = commitTogether(staged, &m_state->placedShared);
        for (size_t i = 0; i < round.size(); ++i) {
            round[i].committed(outcomes[i]);
            round[i].lock.reset();
        }
        round.clear();
        {
            const std::lock_guard<std::mutex> lock(m_state->mutex);
            m_state->inRound = 0;
        }
        m_state->room.notify_all();
    }
}
