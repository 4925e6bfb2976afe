#pragma once

#include "picture_job.h"

#include <atomic>
#include <functional>
#include <vector>

// The pictures of one call converted together, as quillon-convert converts them: independent, on
// every core, each thread taking the next picture until none is left; a call of several pictures
// has their files committed together as they come (output_batch.h). With a bundle, their headers
// then go into one, written once every picture is converted.
struct BatchJob
{
    std::vector<PictureJob> pictures; // with a bundle, each `bundled`
    QByteArray bundle; // the bundle's name (bundle_table.h); empty: none
    PictureJob bundleJob; // the folder and the settings of the bundle's header
    // Once not 0, no further picture is started (each job stops on its own `interrupted`).
    const std::atomic<int> *interrupted = nullptr;
};

// What the batch tells as it goes, from the threads that convert the pictures, each call possibly
// at the same time as another.
struct BatchObserver
{
    // A notice of pictures[picture], in French (ConversionObserver::notice); the bundle's header's
    // come as the first picture's.
    std::function<void(int picture, const QString &text)> notice;
    // `done` pictures of `count` converted, skipped or failed, pictures[picture] the last one.
    std::function<void(int done, int count, int picture)> progress;
};

struct BatchOutcome
{
    std::vector<PictureOutcome> pictures; // in order; a picture not started has no message
    // The bundle's header: Converted without a bundle, or when the run is interrupted first.
    PictureOutcome bundle {PictureOutcome::Converted, QString()};
    bool bundleLeftOut = false; // not written, since a picture of it was not converted
};

BatchOutcome convertBatch(const BatchJob &batchJob, const BatchObserver &observer = {});
