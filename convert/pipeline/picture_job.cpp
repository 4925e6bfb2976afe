#include "picture_job.h"

#include "bundle_writing.h"
#include "frame_pipeline.h"
#include "header_pictures.h"
#include "job_messages.h"
#include "output_files.h"
#include "output_plan.h"
#include "picture_steps.h"
#include "rle_arrays.h"

#include <cerrno>
#include <new>

namespace {

// The raw files written beside the header: each array's, and an animation's previews, one a frame.
QVector<RawFile> rawFilesOf(const PictureJob &job, const OutputPaths &paths, const EncodedPicture &encoded,
                            const QVector<PictureRows> &framePreviews)
{
    QVector<RawFile> rawFiles = job.binary && job.format
        ? rawArrayFiles(paths.header, encoded.header, encoded.imageFileHeader)
        : QVector<RawFile>();
    for (int frame = 0; frame < framePreviews.size(); ++frame)
        rawFiles.push_back({framePreviewPath(paths, frame), QByteArray(), framePreviews[frame]});
    return rawFiles;
}

// The picture decoded, shaped, encoded and written, once the job holds its outputs: why it is not,
// or nothing once its outcome is told, or will be once its files are committed.
std::optional<PictureOutcome> convertAndWrite(const PictureJob &job, const ConversionObserver &observer,
                                              const OutputPaths &paths, const OutputPlaces &places,
                                              std::unique_ptr<OutputLock> lock, OutputBatch *batch)
{
    EncodedPicture encoded;
    QVector<PictureRows> framePreviews;
    const auto problem = job.frames.asked ? decodeAndEncodeFrames(job, observer, &encoded, &framePreviews)
                                          : decodeAndEncode(job, observer, &encoded);
    if (problem)
        return problem;
    // The one line that tells the format again to --decode.
    if (job.format)
        encoded.header.commentLines << decodingLine(*job.format, job.encoding);
    const QImage16 image(bmpPixels(job, encoded)); // reduced to 5-6-5 a row at a time as it is written
    if (const auto problem = progmemProblem(job, encoded, image))
        return problem;
    // The raw files' names come with the arrays, the frames' previews with the frames: checked once
    // these are known.
    const QVector<RawFile> rawFiles = rawFilesOf(job, paths, encoded, framePreviews);
    QStringList rawPaths;
    for (const RawFile &raw : rawFiles)
        rawPaths << raw.path;
    if (const auto problem = standingOutputs(rawPaths, job.force))
        return problem;
    write(job, observer, paths, encoded, image, rawFiles, places, std::move(lock), batch);
    return std::nullopt;
}

std::optional<PictureOutcome> convert(const PictureJob &job, const ConversionObserver &observer,
                                      OutputBatch *batch)
{
    const QFileInfo picture(job.picturePath);
    if (const auto problem = placesProblem(job, picture))
        return problem;
    if (job.bundled)
        return convertBundled(job, observer);
    const OutputPaths paths = outputPaths(job.outputFolder, picture.fileName());
    const QStringList written = plannedOutputs(job, paths);
    const OutputPlaces places = outputPlaces(paths);
    auto lock = std::make_unique<OutputLock>(places.lock, "quillon-convert");
    if (const auto problem = takeOutputs(*lock, job, observer, written, places, paths, batch))
        return problem;
    // Any step that cannot have its memory refuses the picture, which is never written in part.
    try {
        return convertAndWrite(job, observer, paths, places, std::move(lock), batch);
    } catch (const std::bad_alloc &) {
        return failedOutcome(systemErrorText(ENOMEM));
    }
}

} // namespace

void runPictureJob(const PictureJob &job, const ConversionObserver &observer, OutputBatch *batch)
{
    if (const auto problem = convert(job, observer, batch)) {
        if (observer.outcome)
            observer.outcome(*problem);
    }
}

PictureOutcome convertPicture(const PictureJob &job, const ConversionObserver &observer)
{
    PictureOutcome outcome;
    ConversionObserver told = observer;
    told.outcome = [&](const PictureOutcome &known) {
        outcome = known;
        if (observer.outcome)
            observer.outcome(known);
    };
    runPictureJob(job, told, nullptr);
    return outcome;
}
