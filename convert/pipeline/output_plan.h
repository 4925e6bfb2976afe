#pragma once

#include "output_lock.h"
#include "picture_job.h"

#include <QFileInfo>
#include <QVector>

#include <optional>
#include <vector>

// The places of a job's files, before anything is decoded: the files it writes (plannedOutputs(),
// picture_job.h), whether the picture and its folder are there, what stands where it would write,
// and its turn at them, the lock beside them taken and a killed run's replacements completed.

class OutputBatch;

// The picture is there, and so is the folder its files go to.
std::optional<PictureOutcome> placesProblem(const PictureJob &job, const QFileInfo &picture);

// What stands at `written`: without `force` an existing file or link skips the picture; a folder
// fails it, forced or not.
std::optional<PictureOutcome> standingOutputs(const QStringList &written, bool force);

// The job's turn at its outputs `written`: the lock taken (the observer told of a lock it waits
// for), the journal of a killed run followed, then what stands there judged again.
std::optional<PictureOutcome> takeOutputs(OutputLock &lock, const PictureJob &job,
                                          const ConversionObserver &observer, const QStringList &written,
                                          const OutputPlaces &places, const OutputPaths &paths,
                                          OutputBatch *batch);

// A job of a call that would write over a picture of the same call, or over its own: `output`, one
// of the files of jobs[job], is the picture of jobs[input].
struct OverwrittenInput
{
    int job;
    QString output;
    int input;
};

// Every output of `jobs` that is one of their pictures, checked before anything is written, since
// which comes first is down to the threads: one pass over the pictures, then one over their
// outputs. A name counts with its folder's links resolved (the name itself is kept, for a link is
// replaced, never followed), and as the file that stands there.
QVector<OverwrittenInput> outputsThatAreInputs(const std::vector<PictureJob> &jobs);
