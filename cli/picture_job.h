#pragma once

#include "display_formats.h"

#include <QCoreApplication>
#include <QString>

#include <atomic>
#include <functional>

// One picture of a quillon-convert run: decoded, prepared for the display and written as the BMP
// file and the header, through the very steps the window takes, so both give the same bytes.
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

    Q_DECLARE_TR_FUNCTIONS(PictureJob) // its messages, in French, translated
};

struct PictureOutcome
{
    enum Status { Converted, Skipped, Failed, Interrupted };
    Status status = Failed;
    QString message; // why it was skipped or failed, in French
};

PictureOutcome runPictureJob(const PictureJob &job);
