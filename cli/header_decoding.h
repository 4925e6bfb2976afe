#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdio>

struct DisplayFormat;

// quillon-convert --decode HEADER...: each header turned back into the pictures it holds, each
// written as NAME16bits.png (NAME16bits_frame0.png... for an animation's frames, as --preview
// names them) into `outputFolder`, or beside its header when it is empty.
struct HeaderDecodingJob
{
    QStringList headers;
    QString outputFolder;
    bool force = false; // existing files replaced (a link itself, never what it names)
    bool verbose = false;
    // An array of another tool: its format and size, with the byte and colour orders; format null:
    // a header of Quillon's, which tells its own.
    const DisplayFormat *format = nullptr;
    QSize size;
    bool swapBytes = false;
    bool bgr = false;
};

// Decodes every header, each failure told on a line of `errors`; the exit status: 0 when every
// header was read and its pictures written, 1 otherwise.
int decodeHeaders(const HeaderDecodingJob &job, std::FILE *errors);
