#pragma once

#include "atomic_file_writer.h"
#include "output_files.h"
#include "output_journal.h"
#include "output_lock.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

// The commit of conversions' files, together. Each conversion writes its files under temporary
// names, and its journal (output_journal.h) under one too; they wait there, each conversion
// holding its outputs' lock, until a round commits every one that waits:
//
//   1. every staged file and journal is synced (fdatasync, all of them at once, from a few
//      threads, so that the disk's cache is emptied a few times a round, not once a file; the
//      system started writing each as soon as it was staged), then each folder that holds them
//      (fsync), so that their names are on the disk too;
//   2. each journal is given its name, then each folder synced again: from here a killed run's
//      next run completes the replacement;
//   3. the files take their targets' places, one rename each, a conversion's right after each
//      other, then each folder is synced a last time: the new files are on the disk under their
//      names, and the journals are removed.
//
// A run killed before step 2 leaves each conversion's earlier files, and temporary files that the
// next run for them removes; killed after it, the next run completes what the journal lists. A
// failure at step 1 or 2 keeps a conversion's earlier files.

// A conversion's files written under their temporary names, with the outputs they replace,
// waiting to be committed. Destroyed, it removes what was not committed.
class StagedOutputs
{
public:
    struct File
    {
        StagedFile staged;
        QString path; // the output, as the conversion names it in its messages
        WriteOutcome failure; // what its failure is told as
    };

    StagedOutputs() = default;
    ~StagedOutputs();
    StagedOutputs(StagedOutputs &&other) noexcept;
    StagedOutputs &operator=(StagedOutputs &&other) noexcept;
    StagedOutputs(const StagedOutputs &) = delete;
    StagedOutputs &operator=(const StagedOutputs &) = delete;

    std::vector<File> files; // in the order they replace their targets
    QStringList unchanged; // outputs that already held the bytes written, left as they are
    QString journal; // where the journal goes; empty without one
    StagedFile stagedJournal;
    // Polled before the commit: once it is not 0, the files are abandoned.
    const std::atomic<int> *interrupted = nullptr;

    // Removes the files still under their temporary names, but those left for the journal.
    void abandon();
};

// How a commit went for one conversion: as writeOutputFiles() tells it.
struct CommitOutcome
{
    WriteOutcome outcome = WriteOutcome::Written;
    int systemError = 0;
    QString failedPath;
    WrittenFiles files;
};

// Commits the conversions of `round` together, in the steps above; their outcomes, in order.
std::vector<CommitOutcome> commitTogether(const std::vector<StagedOutputs *> &round);

// The conversions of one call (a batch of pictures) committed as they come: a thread of the
// batch commits in one round every conversion that waits, while the others are being converted.
// A round begins once 128 conversions wait, or the first of them has waited a second, or
// finish() says that no more come: each round syncs each folder three times and empties the
// disk's cache a few times, however few files it holds. Also lists each folder's temporary files
// once for all of the call's conversions.
class OutputBatch
{
public:
    OutputBatch();
    // Commits what waits.
    ~OutputBatch();
    OutputBatch(const OutputBatch &) = delete;
    OutputBatch &operator=(const OutputBatch &) = delete;

    // Takes over a conversion's staged files and the lock that keeps its outputs; `committed` is
    // told how it went, on the batch's thread, once they are in place or abandoned, and then the
    // lock is released. Waits while maxWaiting conversions wait already.
    void commit(StagedOutputs &&staged, std::unique_ptr<OutputLock> lock,
                std::function<void(const CommitOutcome &)> committed);
    // Commits what waits at once, and returns once every conversion handed over is committed and
    // told: no other is handed over meanwhile.
    void finish();

    TemporaryFileNames &temporaryFileNames() { return m_temporaryFileNames; }

    // The conversions that may wait for a round, each holding its lock open: a quarter of the
    // 1024 files a process may usually open.
    static constexpr int maxWaiting = 256;

private:
    struct Waiting;
    void commitRounds();

    struct State;
    std::unique_ptr<State> m_state;
    TemporaryFileNames m_temporaryFileNames;
};
