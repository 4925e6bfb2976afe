#pragma once

#include "atomic_file_writer.h"
#include "output_lock.h"
#include "output_paths.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

#include <sys/types.h>

// A conversion's files take their places by renames, one right after the other: a run killed
// between two of them would leave a new BMP file beside an old header. So the renames are first
// listed in a journal beside the files, on the disk, and the journal is removed after the last
// of them; the next run for the same files, once it holds their lock, completes what it lists.
// The journal is written under a temporary name, and named only once it and the files it lists
// are on the disk (see output_batch.h), so that a journal that stands under its name never
// lists a file whose bytes might not all be there.
//
// Each line of the journal names a temporary file, its target, and what the target was when the
// journal was written (its inode, size and times, or that there was none): a target that has
// changed since, written by hand or by another program, is left as it is. A journal of an earlier
// version, which records no state, is completed as it was.
//
// Only a journal of the user running is read, and only for names that a conversion of these
// outputs gives: its temporary files (OutputPlaces::temporaryPrefix and six letters or digits)
// and its outputs in that folder, renamed there relative to the folder (renameat), never through
// a link.

struct JournalEntry
{
    QString staged; // the temporary file, in the journal's folder
    QString target; // the output it replaces, in the same folder
};

// Writes the journal under a temporary name of its own (OutputPlaces::temporaryPrefix and six
// letters or digits, removed as any temporary file when a run is killed), told in
// `stagedJournal`: the next run follows it only once placeJournal() gives it its name, after it
// and the files it lists are on the disk. False, with the system's error number, when it could
// not; EXDEV when a file is not in the journal's folder.
bool stageJournal(const QString &path, const QString &temporaryPrefix, const QVector<JournalEntry> &entries,
                  StagedFile *stagedJournal, int *systemError);

// Gives the staged journal its name, `path`, never replacing a file that stands there. False, with
// the system's error number, when it could not.
bool placeJournal(const StagedFile &stagedJournal, const QString &path, int *systemError);

struct PendingReplacements
{
    enum Status {
        Completed, // nothing was pending, or it is done
        Foreign, // another user's journal stands there: nothing was done, nothing may be written
        Failed // a rename failed: systemError tells why, and the journal stays
    };
    Status status = Completed;
    int systemError = 0;
    uid_t owner = 0; // the owner of a Foreign journal
    QStringList keptTargets; // outputs changed since the journal was written, left as they are
};

// The temporary files that stand in the folders a call writes into, listed once a folder for all
// of the call's conversions, rather than once a conversion: the names that begin with ".quillon-",
// as each folder held them when a conversion first asked. A temporary file that a run killed
// after that leaves is removed by the next call. Safe to share between threads.
class TemporaryFileNames
{
public:
    TemporaryFileNames();
    ~TemporaryFileNames();
    TemporaryFileNames(const TemporaryFileNames &) = delete;
    TemporaryFileNames &operator=(const TemporaryFileNames &) = delete;

    // The names in the folder `folderPath`, open as `folder`, that begin with `prefix`.
    QByteArrayList startingWith(int folder, const QString &folderPath, const QByteArray &prefix);

private:
    struct Listing;
    std::unique_ptr<Listing> m_listing;
};

// Completes the replacements that a journal left by writeOutputFiles() lists, for the outputs at
// `paths`: each file still waiting under its temporary name is put in its target's place, so that
// the outputs are the new ones together. A journal cut short lists renames that never began: it
// is only removed. Then the temporary files that a killed run left are removed: those of
// `listed`, when given, else those the folder holds now, which it lists; none when
// `lockStood` is false (see OutputLock::foundStanding()). Only the holder of the outputs' lock may
// call it.
PendingReplacements finishPendingReplacements(const OutputPlaces &places, const OutputPaths &paths,
                                              TemporaryFileNames *listed = nullptr, bool lockStood = true);
