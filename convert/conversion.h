#pragma once

#include "output_paths.h"

#include <QImage>
#include <QString>

class QImage16;

// The steps of a conversion that the window and any other front end share, so that they cannot
// drift apart: decode the source picture, reduce it to 5-6-5, write the BMP file and the header.

// Pictures whose decoded form would take more than 256 MiB (4 bytes a pixel) are refused before
// they are decoded: a small compressed file can otherwise claim gigabytes of memory.
constexpr qint64 maxSourcePixels = (qint64(256) << 20) / 4;

struct DecodedPicture
{
    enum Status { Decoded, NotAPicture, TooLarge };
    Status status = NotAPicture;
    QImage image;
};

// Decodes any picture Qt's image readers know, whatever the file's extension; animated pictures
// give their first frame.
DecodedPicture decodePicture(const QString &filePath);

// The picture as 16-bit 5-6-5 pixels. Colours are taken as a display shows them: a picture with
// an alpha channel is first blended onto black (premultiplied), as QPixmap does, so fully
// transparent areas come out black.
QImage toRgb565(const QImage &picture);

// Writes the BMP file, then the header from that file's bytes. A header is only attempted once
// the BMP file has been written; a failed header leaves the BMP file in place. On failure,
// `systemError` receives the system's error number (errno), or 0 when there is none.
enum class WriteOutcome { Written, BmpFailed, HeaderFailed };
WriteOutcome writeOutputFiles(const QImage16 &image, const OutputPaths &paths, int *systemError = nullptr);
