#pragma once

#include "output_lock.h"
#include "picture_decoding.h"
#include "picture_job.h"
#include "picture_rows.h"
#include "qimage16.h"

#include <memory>
#include <optional>

// The steps of one picture's conversion, in order, that a still picture, an animation and a
// bundle share: decoded, prepared and encoded, checked against --progmem, then written. Each
// returns why the picture is not converted, when it is not.

class OutputBatch;
struct RawFile;

// The picture decoded (a PNG or a TIFF too large to be decoded whole, by rows, fitted as they
// come), and its size checked against the options that shape it; the observer told when only its
// first frame is converted.
std::optional<PictureOutcome> decode(const PictureJob &job, const ConversionObserver &observer,
                                     DecodedPicture *decoded);

// The picture prepared for the display and encoded in the job's format; for bmp, only reduced to
// 5-6-5. Converted in place: the 32-bit picture's memory becomes the 16-bit one's.
std::optional<PictureOutcome> encode(const PictureJob &job, DecodedPicture &&decoded,
                                     EncodedPicture *encoded);

// A still picture decoded, shaped and encoded, the two steps above; the observer told its progress
// once it is.
std::optional<PictureOutcome> decodeAndEncode(const PictureJob &job, const ConversionObserver &observer,
                                              EncodedPicture *encoded);

// What the BMP file shows, when it is written (a null picture when it is not): what the display
// shows, in 5-6-5. What the display shows is let go when no file needs it.
QImage bmpPixels(const PictureJob &job, EncodedPicture &encoded);

// The limit on each array, with --progmem: the format's (DisplayFormat::progmemArrayBytes), or
// for the BMP file's bytes avr-gcc's on an object.
std::optional<PictureOutcome> progmemProblem(const PictureJob &job, const EncodedPicture &encoded,
                                             const QImage16 &image);

// The job's outcome, once its files are written, told to the observer: first the warnings of its
// arrays whose pixels are all alike, when it is converted.
void tellWritten(const PictureJob &job, const ConversionObserver &observer,
                 const QVector<UniformArray> &uniform, const PictureOutcome &written);

// Every output written, replacing the earlier ones together: at once, or with a batch's other
// pictures, the lock then held until they are committed; the outcome told to the observer when it
// is known.
void write(const PictureJob &job, const ConversionObserver &observer, const OutputPaths &paths,
           const EncodedPicture &encoded, const QImage16 &image, const QVector<RawFile> &rawFiles,
           const OutputPlaces &places, std::unique_ptr<OutputLock> lock, OutputBatch *batch);
