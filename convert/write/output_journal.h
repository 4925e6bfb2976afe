#pragma once

#include "output_lock.h"
#include "output_paths.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <sys/types.h>

// A conversion's files take their places by renames, one right after the other: a run killed
// between two of them would leave a new BMP file beside an old header. So the renames are first
// listed in a journal beside the files, on the disk, and the journal is removed after the last
// of them; the next run for the same files, once it holds their lock, completes what it lists.
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

// Writes the journal, a new file (never one that stands there), and waits until it and the
// temporary files' names are on the disk. False, with the system's error number, when it could
// not; EXDEV when a file is not in the journal's folder.
bool writeJournal(const QString &path, const QVector<JournalEntry> &entries, int *systemError);

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

// Completes the replacements that a journal left by writeOutputFiles() lists, for the outputs at
// `paths`: each file still waiting under its temporary name is put in its target's place, so that
// the outputs are the new ones together. A journal cut short lists renames that never began: it
// is only removed. Then the temporary files that a killed run left are removed. Only the holder
// of the outputs' lock may call it.
PendingReplacements finishPendingReplacements(const OutputPlaces &places, const OutputPaths &paths);
