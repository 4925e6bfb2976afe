#include "batch_conversion.h"

#include "bundle_writing.h"
#include "output_batch.h"

#include <QThread>

#include <algorithm>
#include <memory>
#include <thread>

namespace {

bool isInterrupted(const BatchJob &batchJob)
{
    return batchJob.interrupted && batchJob.interrupted->load();
}

// Every picture converted, each thread taking the next one until none is left, the outcomes set
// once each is known: before batch->finish() returns.
void convertEach(const BatchJob &batchJob, const BatchObserver &observer,
                 std::vector<PictureOutcome> *outcomes)
{
    const std::vector<PictureJob> &jobs = batchJob.pictures;
    std::vector<ConversionObserver> observers(jobs.size());
    for (int i = 0; i < int(jobs.size()); ++i) {
        ConversionObserver &told = observers[size_t(i)];
        if (observer.notice)
            told.notice = [&observer, i](const QString &text) { observer.notice(i, text); };
        told.outcome = [outcomes, i](const PictureOutcome &outcome) { (*outcomes)[size_t(i)] = outcome; };
    }
    // A batch's files committed together, as they come (output_batch.h).
    std::unique_ptr<OutputBatch> batch(jobs.size() > 1 ? new OutputBatch : nullptr);
    std::atomic<int> next {0};
    std::atomic<int> done {0};
    const auto work = [&] {
        for (int i = next++; i < int(jobs.size()) && !isInterrupted(batchJob); i = next++) {
            runPictureJob(jobs[size_t(i)], observers[size_t(i)], batch.get());
            const int doneNow = ++done;
            if (observer.progress)
                observer.progress(doneNow, int(jobs.size()), i);
        }
    };
    const int threadCount = qBound(1, QThread::idealThreadCount(), int(jobs.size()));
    std::vector<std::thread> threads;
    for (int t = 1; t < threadCount; ++t)
        threads.emplace_back(work);
    work();
    for (std::thread &thread : threads)
        thread.join();
    if (batch)
        batch->finish();
}

} // namespace

BatchOutcome convertBatch(const BatchJob &batchJob, const BatchObserver &observer)
{
    BatchOutcome outcome;
    outcome.pictures.resize(batchJob.pictures.size());
    convertEach(batchJob, observer, &outcome.pictures);
    if (batchJob.bundle.isEmpty() || isInterrupted(batchJob))
        return outcome;
    // The bundle's header, of every picture or of none.
    QVector<CHeader> headers;
    for (PictureOutcome &picture : outcome.pictures) {
        if (picture.status != PictureOutcome::Converted) {
            outcome.bundle = {PictureOutcome::Failed, QString()};
            outcome.bundleLeftOut = true;
            return outcome;
        }
        headers << std::move(picture.bundled);
        picture.bundled = CHeader();
    }
    ConversionObserver told;
    if (observer.notice)
        told.notice = [&observer](const QString &text) { observer.notice(0, text); };
    outcome.bundle = writeBundle(batchJob.bundleJob, told, batchJob.bundle, headers);
    return outcome;
}
