#pragma once

#include "animation_decoding.h"
#include "display_formats.h"
#include "output_paths.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

// The conversion of one picture, as quillon-convert and any other front end run it: a job value
// in, an outcome value out, and an observer told as it goes. The picture is decoded, prepared for
// the display and written as the BMP file and the header, through the very steps the window
// takes, so both give the same bytes; in a display format, as the header of its arrays, with the
// BMP file only when asked. Its steps, a file each in this folder:
//
//   output_plan      the files the job writes, what stands there, the lock beside them and the
//                    journal of a killed run;
//   picture_steps    the picture decoded, shaped, encoded, checked against --progmem, written;
//   frame_pipeline   an animation's frames prepared and encoded on other threads as they come;
//   bundle_writing   the pictures of --bundle, each handed over, then their one header;
//   batch_conversion the pictures of a call converted on every core, their files committed
//                    together;
//   job_messages     what went wrong, and the notices, in French, translated in the context
//                    "PictureJob".
//
// Two runs that would write the same files take turns: each holds a lock beside them.
struct PictureJob
{
    QString picturePath;
    QString outputFolder; // where both files go
    bool force = false; // replace files that already exist
    const DisplayFormat *format = nullptr; // nullptr: the header holds the BMP file's bytes
    // Every setting: the array's name and place, the shaping for the display, the format's own.
    EncodingOptions encoding;
    bool preview = false; // also write the picture as the display shows it, as a PNG file
    // Set to the signal's number when the run is interrupted: the job then stops, leaving the
    // earlier files or the new ones, and no temporary file.
    const std::atomic<int> *interrupted = nullptr;
    // The frames of an animation that go into the header, each array apart (see frame_table.h);
    // not asked: the first, as for any picture, and a notice when there are more.
    FrameRange frames;
    bool bmp = false; // in a display format, also write the BMP file
    bool binary = false; // in a display format, also write each array as a raw file (LVGL: its .bin image)
    // With --bundle: the picture's header is handed over in the outcome, for the bundle's, instead
    // of being written; nothing is written for the picture itself.
    bool bundled = false;

    Q_DECLARE_TR_FUNCTIONS(PictureJob) // its messages, in French, translated
};

struct PictureOutcome
{
    enum Status { Converted, Skipped, Failed, Interrupted };
    PictureOutcome() = default;
    PictureOutcome(Status status, const QString &message)
        : status(status)
        , message(message)
    { }
    Status status = Failed;
    QString message; // why it was skipped or failed, in French
    // The files put in place, in order: those written, and those left as they stood.
    QStringList written;
    QStringList unchanged;
    CHeader bundled; // a bundled picture's header, once converted
};

// What a job tells as it goes; each call may be left unset. They come in this order: notices (a
// lock waited for, an animation's other frames...), progress, the notices of arrays whose pixels
// are all alike once the files are in place, then the outcome, once.
struct ConversionObserver
{
    // A word for the user, in French, translated: what the job waits for, or what it did that
    // was likely not meant.
    std::function<void(const QString &text)> notice;
    // Pictures encoded: a still picture's 1 of 1, once encoded; an animation's frames as they are
    // decoded and handed to the pipeline, of `count` (0 while the decoder has not counted them).
    std::function<void(int done, int count)> progress;
    // The outcome, once known.
    std::function<void(const PictureOutcome &outcome)> outcome;
};

class OutputBatch;

// Runs the job: its outcome, also told to the observer.
PictureOutcome convertPicture(const PictureJob &job, const ConversionObserver &observer = {});

// The same within a batch: when the picture's files wait for the batch's next commit, the
// observer is told the outcome once they are in place, before batch->finish() returns, on the
// thread that commits them; the job, the observer and the lock of its outputs are held until
// then.
void runPictureJob(const PictureJob &job, const ConversionObserver &observer, OutputBatch *batch);

// What the system's error number means, in French (the C library's own texts follow its locale,
// not the messages'): "disque plein", "accès refusé"...
QString systemErrorText(int systemError);

// The files the job writes at `paths` whatever its picture holds: the BMP file when it is
// written, the header, the preview and the C file when asked, the reader of coded arrays; the raw
// files come on top.
QStringList plannedOutputs(const PictureJob &job, const OutputPaths &paths);
