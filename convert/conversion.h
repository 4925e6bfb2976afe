#pragma once

#include "header_generator.h"
#include "output_paths.h"

#include <QImage>
#include <QString>

class QImage16;

// The steps of a conversion that the window and any other front end share, so that they cannot
// drift apart: decode the source picture, reduce it to 5-6-5, write the BMP file and the header.

// Pictures whose decoded form would take more than 256 MiB are refused before they are decoded:
// a small compressed file can otherwise claim gigabytes of memory, and its output files with it.
constexpr qint64 maxDecodedBytes = qint64(256) << 20;

struct DecodedPicture
{
    enum Status { Decoded, NotAPicture, TooLarge, Unreadable };
    Status status = NotAPicture;
    QImage image;
    int systemError = 0; // why an Unreadable file could not be opened (errno)
};

// Decodes any picture Qt's image readers know, whatever the file's extension; animated pictures
// give their first frame. Anything but a regular file (a FIFO, a socket, a device) is refused
// without being read, and the file is opened only once. The result is the same on every run:
// what a reader leaves unset, such as the pixels a run-length coded BMP skips, is black (or the
// first colour of a palette), and a BMP file cut short is refused.
DecodedPicture decodePicture(const QString &filePath);

// The picture as 16-bit 5-6-5 pixels. Colours are taken as a display shows them: a picture with
// an alpha channel is first blended onto black (premultiplied), as QPixmap does, so fully
// transparent areas come out black. A picture that is not shared is converted in place.
QImage toRgb565(QImage picture);

// Writes the BMP file and the header that holds its bytes. The header is made from the very
// bytes written to the BMP file, never read back from the disk, so the two always belong
// together. A header is only committed once the BMP file has been; a failed header leaves the
// new BMP file in place. On failure, `systemError` receives the system's error number (errno),
// or 0 when there is none.
enum class WriteOutcome { Written, BmpFailed, HeaderFailed };
WriteOutcome writeOutputFiles(const QImage16 &image, const OutputPaths &paths,
                              const HeaderOptions &headerOptions = HeaderOptions(),
                              int *systemError = nullptr);
