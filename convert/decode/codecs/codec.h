#pragma once

#include "picture_decoding.h"

#include <QByteArray>
#include <QSize>
#include <QVector>

#include <optional>
#include <vector>

class PictureSource;
class QIODevice;
class QString;

// One family of input formats and everything Quillon knows of it, in one row of the table of
// codecs (codecs.h): how its files are recognised, where its reader runs, what its headers say of
// the decoding's cost, how a file cut short shows, and how its frames are read. Callers ask the
// table, by Qt's name of a format or by a file's first bytes, and never compare format names.
// Each family lives in a file of its own in this folder; docs/internals.md says what a new one
// touches.

// Bytes of a format's own at a fixed place of its files.
struct Signature
{
    int offset;
    QByteArray bytes;
    const char *format; // Qt's name of the format
};

// A suffix that names a format whose files start with no bytes of their own.
struct Suffix
{
    const char *suffix; // in small letters, without its dot
    const char *format;
};

// What a file's own headers say of its picture (see decoded_size.h).
struct HeaderClaims
{
    QSize size; // the largest picture found
    qint64 extraBytesPerPixel = 0; // what the decoder holds beside the picture, per pixel
    int minimumBytesPerPixel = 4; // the 32-bit form before the reduction to 5-6-5
    qint64 coefficientBytes = 0; // a progressive JPEG's coefficients
    int scans = 0;
    qint64 scanBlocks = 0;
};

// Where the format's reader runs: the readers that come with Qt itself in this process, whose
// costs are read from the file first; any other package's code in a child process under limits
// (see child_decoder.h).
enum class Reading { InProcess, InChild };

// How a picture's frames are read (see animation_decoding.h).
enum class Frames {
    One, // one picture, decoded as decodePicture() decodes it
    ComposedHere, // composed in this process from the file's blocks (GIF's, gif_frames.h)
    ComposedByLibwebp, // when `animates`: by libwebp's animation decoder, in the child
    FromItsReader, // in the child, as its reader reads them, when it reads animations
    DefaultPictureOnly // Qt 5 reads the default picture only: refused when `animates` (APNG)
};

using RowDecoder
    = std::optional<DecodedPicture> (*)(PictureSource &source, const QByteArray &format, QSize size,
                                        const DisplayOptions &display, const RowFitting &rows);

struct Codec
{
    const char *family = "";
    // Qt's names of the formats it reads; none for the row of every other reader.
    std::vector<QByteArray> formats;
    // How a file is recognised, in three passes over the table, each in the table's order: the
    // signatures; then `probe`, for bytes that tell less plainly (the name only for a suffix);
    // then the suffixes, for formats with no bytes of their own. Qt's name of the format, or an
    // empty array.
    std::vector<Signature> signatures;
    QByteArray (*probe)(const QByteArray &head, const QString &fileName) = nullptr;
    std::vector<Suffix> suffixes;

    Reading reading = Reading::InChild;
    // Reads the size and costs from the file's own headers, for a reader that announces no size
    // or a container that may hold more than it says; false when the headers are damaged.
    // Nothing: only the reader tells.
    bool (*readHeader)(QIODevice *device, HeaderClaims *claims) = nullptr;
    // Follows the container to its end marker (see picture_completeness.h). Nothing: true.
    bool (*reachesItsEnd)(QIODevice *device) = nullptr;
    // Its reader reads nothing beyond the end of a whole file: one that does was cut short.
    bool readsWithinTheFile = false;

    Frames frames = Frames::FromItsReader;
    // Whether the file holds an animation (see Frames).
    bool (*animates)(QIODevice *device) = nullptr;
    // Each frame's delay from the file's own chunks, where its reader tells them wrong.
    QVector<int> (*frameDelays)(QIODevice *device) = nullptr;

    // Decodes a picture too large to be decoded whole by rows (see row_decoding.h).
    RowDecoder decodeByRows = nullptr;
    // Its reader scales by 1/2, 1/4 or 1/8 as it decodes (see decodePicture()).
    bool scalesWhileDecoding = false;
    // Its reader makes its own picture rather than filling the one it is handed.
    bool makesItsOwnPicture = false;
    // Drawn by Qt SVG (renderSvg()), never by an image plugin.
    bool drawnByQtSvg = false;
};
