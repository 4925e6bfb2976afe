#pragma once

#include "animation_decoding.h"
#include "display_formats.h"
#include "output_paths.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

// One picture of a quillon-convert run: decoded, prepared for the display and written as the BMP
// file and the header, through the very steps the window takes, so both give the same bytes; in
// a display format, as the header of its arrays, with the BMP file only when asked.
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
    // Told, in French, what the run waits for when it waits for a lock it cannot judge.
    std::function<void(const QString &)> notice;
    // The frames of an animation that go into the header, each array apart (see frame_table.h);
    // not asked: the first, as for any picture, and a word through `notice` when there are more.
    FrameRange frames;
    bool bmp = false; // in a display format, also write the BMP file
    bool binary = false; // in a display format, also write each array as a raw file (LVGL: its .bin image)
    // With --bundle: the picture's header is handed over here, for the bundle's, instead of being
    // written; nothing is written for the picture itself.
    CHeader *bundled = nullptr;

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
};

class OutputBatch;

// Runs the job; `*outcome` is set once its outcome is known: before it returns, or, when `batch`
// is given and the picture's files wait for its next commit, once they are in place, before
// batch->finish() returns. The lock of its outputs is held until then.
void runPictureJob(const PictureJob &job, OutputBatch *batch, PictureOutcome *outcome);

// What the system's error number means, in French (the C library's own texts follow its locale,
// not the messages'): "disque plein", "accès refusé"...
QString systemErrorText(int systemError);

// The files the job writes at `paths` whatever its picture holds: the BMP file when it is
// written, the header, the preview and the C file when asked, the reader of coded arrays; the raw
// files come on top.
QStringList plannedOutputs(const PictureJob &job, const OutputPaths &paths);

// Writes the header of a bundle, `name`.h (with `name`.c when split), of the pictures' headers in
// order, into the folder of `job`, which gives its settings, under the lock and the journal of
// every header: its outcome.
PictureOutcome writeBundle(const PictureJob &job, const QByteArray &name, const QVector<CHeader> &pictures);
