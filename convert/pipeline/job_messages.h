#pragma once

#include "output_files.h"
#include "picture_decoding.h"
#include "picture_job.h"

#include <optional>

// What a job tells, in French, translated in the context "PictureJob": why a picture was not
// converted, and the notices of what it did that was likely not meant. The steps of the pipeline
// decide; these words say it.

PictureOutcome failedOutcome(const QString &message);
PictureOutcome interruptedOutcome();
bool isInterrupted(const PictureJob &job);

// Why a picture whose decoding ended so is not converted; nothing when it was decoded.
// `frameCount`: the picture's frames, when its frames were asked for (1 for a still picture, 0
// when they are not known).
std::optional<PictureOutcome> decodingProblem(const PictureJob &job, DecodedPicture::Status status,
                                              int systemError, int frameCount = 1);

// The notices of a picture of which only the first frame is converted: an animation's, an APNG's.
QStringList firstFrameNotices(const DecodedPicture &decoded);

// How writing the files went, as the job tells it.
PictureOutcome writtenOutcome(WriteOutcome written, int systemError, const QString &failedPath,
                              const WrittenFiles &files);

// The warning of an array whose pixels are all alike, in French.
QString uniformWarning(const UniformArray &array, const EncodingOptions &options);
