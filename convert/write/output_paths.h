#pragma once

#include <QString>

// Where a conversion writes its two files: for the source file photo.png and the destination
// folder D:/out, the BMP file D:/out/photo16bits.BMP and the header D:/out/photo.h.
struct OutputPaths
{
    QString bmp;
    QString header;
    QString preview; // D:/out/photo16bits.png, written only when asked for
    QString source; // D:/out/photo.c, the definitions of a split pair, written only when asked for
    // D:/out/quillon_rle.h, the reader of run-length coded arrays, written with a header that
    // includes it: one for every header of the folder.
    QString reader;
};

// The source's file name without its last "." and what follows ("my.photo.png" gives
// "my.photo"). A name without any "." is kept whole, so that "logo" gives logo16bits.BMP and
// logo.h rather than the hidden files 16bits.BMP and .h.
QString outputBaseName(const QString &sourceFileName);

// The preview of an animation's frame `frame`, numbered from 0 as the header's arrays are:
// D:/out/photo16bits_frame0.png. No other output's name ends so.
QString framePreviewPath(const OutputPaths &paths, int frame);

// The destination folder is used as it stands: "/" is always added before the file name.
OutputPaths outputPaths(const QString &destinationFolder, const QString &sourceFileName);
