#pragma once

#include "picture_job.h"
#include "picture_rows.h"

#include <QVector>

#include <optional>

// The frames of an animation asked for with --frames: decoded one after another, each prepared,
// and encoded when the frames share no palette chosen from all of them, on other threads while
// the next ones decode (the one picture's steps, in order, over every core); then every frame's
// arrays in one header, with the tables that walk them (frame_table.h).

// Every frame asked for, decoded, prepared and encoded with the job's settings, into `encoded`;
// with a preview, what each frame shows, in `previews`. The observer's progress is told as each
// frame is handed on. Returns why they are not, when they are not.
std::optional<PictureOutcome> decodeAndEncodeFrames(const PictureJob &job, const ConversionObserver &observer,
                                                    EncodedPicture *encoded, QVector<PictureRows> *previews);
