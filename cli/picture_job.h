#pragma once

#include "display_preparation.h"
#include "header_generator.h"

#include <QString>

// One picture of a quillon-convert run: decoded, reduced to 5-6-5 and written as the BMP file
// and the header, through the very steps the window takes, so both give the same bytes.
struct PictureJob
{
    QString picturePath;
    QString outputFolder; // where both files go
    bool force = false; // replace files that already exist
    HeaderOptions header;
    DisplayOptions display;
    bool preview = false; // also write the picture as the display shows it, as a PNG file
};

struct PictureOutcome
{
    enum Status { Converted, Skipped, Failed };
    Status status = Failed;
    QString message; // why it was skipped or failed, in French
};

PictureOutcome runPictureJob(const PictureJob &job);
