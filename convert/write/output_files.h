#pragma once

#include "display_header.h"
#include "header_generator.h"
#include "output_paths.h"
#include "picture_rows.h"

#include <QImage>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>

class AtomicFileWriter;
class QImage16;
class StagedOutputs;

// The last step of a conversion, shared by the window and any other front end: the BMP file, its
// header or the pixel arrays, the preview and raw files, replaced together.

// A file written as it is, such as an array's bytes for a firmware's file system; or, when
// `picture` is not null, a picture written as the preview is (a frame's own preview).
struct RawFile
{
    QString path;
    QByteArray bytes;
    PictureRows picture;
};

// What a conversion writes besides the BMP file.
struct OutputRequest
{
    // Whether the BMP file is written beside a header of pixel arrays; a header of the BMP file's
    // bytes always comes with the BMP file.
    bool bmp = true;
    // The header that holds the BMP file's bytes; with `split`, the C file of a split pair is
    // written too, for the BMP file's bytes or the pixel arrays.
    HeaderOptions header;
    const CHeader *pixels = nullptr; // when given, the header holds these arrays instead
    PictureRows preview; // when not null, also written as a PNG file
    QVector<RawFile> rawFiles; // also written, after the preview
    // Polled while writing: once it is not 0, nothing is committed and the files are abandoned.
    const std::atomic<int> *interrupted = nullptr;
    // The temporary files' names, before six random characters; by default each target's path.
    QString temporaryPrefix;
    // When given, the renames that replace the files are listed there, on the disk, before the
    // first of them, and the list is removed after the last: a run killed in between leaves it
    // for finishPendingReplacements() (output_journal.h). Only a caller that holds the files'
    // lock may give one, with the places outputPlaces() gives. Where an output is a link and
    // `replaceLinks` is not set, neither the journal nor the prefix is used; where a single file
    // is replaced, no journal is written.
    QString journal;
    // Outputs that are symbolic links are replaced themselves, not the files they name.
    bool replaceLinks = false;
};

// The files a conversion put in place, in the order it put them there: `written` the outputs whose
// new bytes replaced what stood at their path (or took an empty place), `unchanged` those left
// as they stood.
struct WrittenFiles
{
    QStringList written;
    QStringList unchanged;
};

// Writes the BMP file, the header, the preview and the raw files when asked, and replaces the earlier ones
// only once every one of them is written completely and on the disk: then they are committed one right after
// the other, so that a failure or an interruption leaves the earlier files or the new ones, never a mix and
// never a temporary file (output_batch.h tells the steps, and what is synced at each). A file that already
// holds the very bytes written is left as it is (its inode and times kept, for the builds that depend on it);
// the others are replaced together. A header of the BMP file's bytes is made from the very bytes written to
// the BMP file, never read back from the disk. On failure, `systemError` receives the system's error number
// (errno), or 0 when there is none, and `failedPath` the path of the file that failed. `files`, when given,
// receives the files put in place and those left unchanged, also when a later one failed.
enum class WriteOutcome {
    Written,
    BmpFailed,
    HeaderFailed,
    SourceFailed,
    PreviewFailed,
    RawFileFailed,
    Interrupted
};
WriteOutcome writeOutputFiles(const QImage16 &image, const OutputPaths &paths,
                              const OutputRequest &request = OutputRequest(), int *systemError = nullptr,
                              QString *failedPath = nullptr, WrittenFiles *files = nullptr);

// Writes the files as writeOutputFiles() does, up to their commit: they wait in `staged`, under
// their temporary names, for commitTogether() or an OutputBatch to put them in place with other
// conversions' files (output_batch.h). Only a caller that holds the outputs' lock may give a
// journal, and it holds the lock until they are committed. On failure `staged` holds nothing.
WriteOutcome stageOutputFiles(const QImage16 &image, const OutputPaths &paths, const OutputRequest &request,
                              StagedOutputs *staged, int *systemError = nullptr,
                              QString *failedPath = nullptr);

// The arrays of `pixels` as raw files beside the header at `headerPath`, each holding the bytes
// of its C array as a little-endian firmware holds them, named after it: for photo.h, the array
// NAME in photo.bin, NAME_mask in photo_mask.bin. Arrays read only through another (internal)
// are left out, unless `imageFileHeader` is given, and so are tables of pointers (an animation's
// NAME_frames), which hold no bytes: the library then loads the picture from a file
// of its own, photo.bin, that header followed by the internal array's bytes.
QVector<RawFile> rawArrayFiles(const QString &headerPath, const CHeader &pixels,
                               const QByteArray &imageFileHeader);

// Whether `path` is the reader of run-length coded arrays as a header that includes it needs it:
// a regular file (not a link) named quillon_rle.h that holds exactly its bytes. Each header of a
// folder that codes its arrays writes it; one that stands there so is no other file in the way.
bool holdsRunLengthReader(const QString &path);

// A picture written into `file` as a preview is (uncompressed RGB), for another front end than
// OutputFiles' own, such as quillon-convert --decode; false when a write failed.
bool writePreviewPng(AtomicFileWriter &file, const PictureRows &picture);
