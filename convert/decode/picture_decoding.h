#pragma once

#include "decoded_size.h"
#include "display_preparation.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <atomic>
#include <optional>

// The first step of a conversion, shared by the window and any other front end so that they
// cannot drift apart: the source picture decoded, or why it is refused.

// Pictures whose decoding would take more than 256 MiB are refused before they are decoded: a
// small compressed file can otherwise claim gigabytes of memory, and its output files with it.
// Where a reader Quillon knows nothing of announces no size, the picture it decoded is refused.
constexpr qint64 maxDecodedBytes = qint64(256) << 20;

// A progressive JPEG goes over the blocks of its components again at each scan: a small file of
// a thousand scans takes a minute. libjpeg-turbo's own fuzzing stops at 500 scans; a picture's
// scans are also bounded by how many blocks they go over in all. Measured with libjpeg-turbo,
// a scan takes about 25 ns a block at most (DC scans over every component; a scan of one
// component's AC coefficients, 15 ns), so the bound keeps decoding within about 6 s, while a
// photo of 4096 x 4096 in 96 scans goes over some 38 million blocks.
constexpr int maxJpegScans = 500;
constexpr qint64 maxJpegScanBlocks = 250'000'000;

struct DecodedPicture
{
    // Hostile: its reader, run in a child process, crashed or went over a limit.
    enum Status { Decoded, NotAPicture, TooLarge, TooComplex, Unreadable, Truncated, Hostile };
    Status status = NotAPicture;
    QImage image;
    // Why an Unreadable file could not be opened (errno); ENOMEM for a NotAPicture whose reader, in
    // a child process, ran out of memory.
    int systemError = 0;
    QSize
        fullSize; // the picture's own size: larger than `image` when that was decoded smaller
                  // The pictures of an animation (GIF, WebP, MNG) as its reader counts them; 1 for any other
    // picture; 0 for an animation of more than one whose reader does not count them (MNG's).
    // `image` is the first.
    int frameCount = 1;
    // An animated PNG (APNG), whose other frames Qt 5's reader does not read.
    bool animatedPng = false;
    // Decoded by rows, too large to be held whole: `image` is already cut, turned, mirrored and
    // fitted (what Cover cuts away, cut too), as optionsAfterFitting() says.
    bool fitted = false;
};

// A picture too large to be decoded whole may still be fitted as its rows are decoded (see
// row_decoding.h), for a caller that takes such a picture (DecodedPicture::fitted).
struct RowFitting
{
    bool allowed = false;
    bool keepAlpha = false; // the alpha is kept apart, as preparePicture() keeps it
    qint64 wholeLimit = maxDecodedBytes; // what a picture decoded whole may cost, lower in tests
    // An interlaced PNG's rows decoded at a time, a TIFF's at most (whole strips or rows of tiles);
    // 0: as many as the bound allows.
    int bandRows = 0;
    const std::atomic<int> *interrupted = nullptr; // polled as the rows come
};

// Decodes any picture Qt's image readers know, whatever the file's extension; animated pictures
// give their first frame. Anything but a regular file (a FIFO, a socket, a device) is refused
// without being read, and the file is opened only once. The result is the same on every run:
// what a reader leaves unset, such as the pixels a run-length coded BMP skips, is black (or the
// first colour of a palette). A file cut short, whose reader would fill in what is missing, is
// refused as Truncated (see picture_completeness.h). A reader that makes its own picture decodes
// it twice more, under two different fills of fresh memory: a damaged file that it decodes from
// memory it never wrote comes out different, and is refused as not a picture.
//
// A picture that will be fitted within `fitWithin` may be decoded smaller: a JPEG decoder scales
// by 1/2, 1/4 or 1/8 as it decodes, far faster than decoding it whole, so it is decoded at the
// smallest of those scales that stays at least twice the fitted size. Its fitted size is still
// the one of the picture's own size (`fullSize`), the same whatever the file's format.
//
// The readers that come with Qt decode here; any other reader, in a child process (see
// child_decoder.h). The reader is named from the file's first bytes, so that only its plugin
// is loaded. `interrupted` is polled while a child decodes.
DecodedPicture decodePicture(const QString &filePath, QSize fitWithin = QSize(),
                             const std::atomic<int> *interrupted = nullptr);
// The same for a picture shaped as the options say: a JPEG is decoded smaller when it is scaled
// down as a whole (not when a rectangle is cut out of it, in its own pixels); with `rows`
// allowed, a PNG or a TIFF too large to be decoded whole is decoded by rows and fitted as they
// come (a TIFF in its child process).
DecodedPicture decodePicture(const QString &filePath, const DisplayOptions &display,
                             const std::atomic<int> *interrupted = nullptr, const RowFitting &rows = {});

// Whether a picture whose reader makes its own is decoded again under other fills of fresh
// memory (see above); a child's memory has one fixed fill, which makes that needless.
enum class FreshMemoryCheck { None, DecodeAgain };
class PictureSource;
class QImageReader;
class QIODevice;
// Why the source cannot be opened as a regular file, if it cannot; opened otherwise.
std::optional<DecodedPicture> openRefusal(PictureSource &source);
// The pixel format the reader announces; Format_Invalid when it announces none that Qt has.
QImage::Format announcedPixelFormat(const QImageReader &reader);
// Opens `reader` on `source` as `format`'s reader alone: the other readers' plugins stay unloaded.
void openReader(QImageReader &reader, QIODevice *source, const QByteArray &format);
// What a reader opened on the source announces, and what decoding will cost (see decoded_size.h),
// read once for a picture and for an animation's frames.
struct ReaderClaims
{
    QSize announced; // as the reader announces it: a top-down BMP's height is negative
    QSize size; // its height counted positive
    QImage::Format pixelFormat = QImage::Format_Invalid;
    QSize scaledSize; // the size a JPEG is decoded at to be shaped as the options say, when smaller
    DecodingCost cost;
    // Why the file is refused when its headers are damaged (undecodedStatus()); Decoded otherwise.
    DecodedPicture::Status refusal = DecodedPicture::Decoded;
};
// `display`, when given, lets a reader that scales as it decodes (JPEG's) decode the picture
// smaller.
ReaderClaims readerClaims(QImageReader &reader, PictureSource &source, const QByteArray &format,
                          const DisplayOptions *display = nullptr);
// Why a file of `format` that did not decode, or that a reader would fill in, is refused: cut
// short when its reader, which reads nothing beyond a whole file, asked for bytes it did not
// have, or when it stops before its end; otherwise not a picture.
DecodedPicture::Status undecodedStatus(const QByteArray &format, PictureSource *source);

// Decodes the picture in this process with the reader named.
DecodedPicture decodeInProcess(const QString &filePath, const QByteArray &format,
                               const DisplayOptions &display, FreshMemoryCheck check,
                               const RowFitting &rows = {});
