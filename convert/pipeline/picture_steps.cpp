#include "picture_steps.h"

#include "job_messages.h"
#include "output_batch.h"
#include "output_files.h"
#include "picture_geometry.h"
#include "streaming_scaler.h"

#include <algorithm>

std::optional<PictureOutcome> decode(const PictureJob &job, const ConversionObserver &observer,
                                     DecodedPicture *decoded)
{
    // A PNG or a TIFF too large to be decoded whole is decoded by rows and fitted as they come.
    RowFitting rows;
    rows.allowed = true;
    rows.keepAlpha = keepsAlpha(job.format, job.encoding);
    rows.interrupted = job.interrupted;
    *decoded = decodePicture(job.picturePath, job.encoding.display, job.interrupted, rows);
    if (const auto problem = decodingProblem(job, decoded->status, decoded->systemError))
        return problem;
    const QString shapeProblem = geometryProblem(
        decoded->fullSize.isValid() ? decoded->fullSize : decoded->image.size(), job.encoding.display);
    if (!shapeProblem.isEmpty())
        return failedOutcome(shapeProblem);
    for (const QString &notice : firstFrameNotices(*decoded)) {
        if (observer.notice)
            observer.notice(notice);
    }
    return std::nullopt;
}

std::optional<PictureOutcome> encode(const PictureJob &job, DecodedPicture &&decoded, EncodedPicture *encoded)
{
    const bool keepAlpha = keepsAlpha(job.format, job.encoding);
    PreparedPicture prepared = decoded.fitted
        ? preparePicture(std::move(decoded.image), optionsAfterFitting(job.encoding.display), keepAlpha)
        : preparePicture(std::move(decoded.image), job.encoding.display, keepAlpha, decoded.fullSize);
    if (!job.format) {
        encoded->shown = reduceTo565(std::move(prepared.colours), job.encoding.display.dither);
        return std::nullopt;
    }
    if (job.format->sizeProblem) {
        const QString problem = job.format->sizeProblem(prepared, job.encoding);
        if (!problem.isEmpty())
            return failedOutcome(problem);
    }
    *encoded = job.format->encode(std::move(prepared), job.encoding);
    return std::nullopt;
}

std::optional<PictureOutcome> decodeAndEncode(const PictureJob &job, const ConversionObserver &observer,
                                              EncodedPicture *encoded)
{
    DecodedPicture decoded;
    if (const auto problem = decode(job, observer, &decoded))
        return problem;
    if (const auto problem = encode(job, std::move(decoded), encoded))
        return problem;
    if (observer.progress)
        observer.progress(1, 1);
    return std::nullopt;
}

QImage bmpPixels(const PictureJob &job, EncodedPicture &encoded)
{
    if (job.format && !job.bmp) {
        if (!job.preview)
            encoded.shown = QImage();
        return QImage();
    }
    return encoded.bmpPicture(job.preview);
}

std::optional<PictureOutcome> progmemProblem(const PictureJob &job, const EncodedPicture &encoded,
                                             const QImage16 &image)
{
    if (!job.encoding.header.progmem)
        return std::nullopt;
    QVector<qint64> sizes;
    for (const CArray &array : encoded.header.arrays)
        sizes << arrayBytes(array);
    if (!job.format)
        sizes << image.bmp16FileSize();
    const qint64 largest = *std::max_element(sizes.begin(), sizes.end());
    // A display format's arrays go to far program memory in pieces beyond avr-gcc's limit
    // (display_header.h); the BMP file's bytes are written as they come, in one array.
    const qint64 limit = job.format ? job.format->progmemArrayBytes : maxProgmemArrayBytes;
    if (largest <= limit)
        return std::nullopt;
    if (limit > maxProgmemArrayBytes)
        return failedOutcome(
            PictureJob::tr("image trop grande pour --progmem : le tableau ferait %1 octets, plus "
                           "que la mémoire programme de tout AVR (393 216 octets au plus, ceux "
                           "d'un ATxmega384C3 ; 262 144 sur un ATmega2560)")
                .arg(largest));
    return failedOutcome(PictureJob::tr("image trop grande pour --progmem : le tableau ferait %1 octets, "
                                        "avr-gcc en accepte 32 767 au plus (environ 128 x 127 pixels)")
                             .arg(largest));
}

void tellWritten(const PictureJob &job, const ConversionObserver &observer,
                 const QVector<UniformArray> &uniform, const PictureOutcome &written)
{
    if (written.status == PictureOutcome::Converted && observer.notice) {
        for (const UniformArray &array : uniform)
            observer.notice(uniformWarning(array, job.encoding));
    }
    if (observer.outcome)
        observer.outcome(written);
}

void write(const PictureJob &job, const ConversionObserver &observer, const OutputPaths &paths,
           const EncodedPicture &encoded, const QImage16 &image, const QVector<RawFile> &rawFiles,
           const OutputPlaces &places, std::unique_ptr<OutputLock> lock, OutputBatch *batch)
{
    OutputRequest request;
    request.bmp = !job.format || job.bmp;
    request.header = job.encoding.header;
    request.pixels = job.format ? &encoded.header : nullptr;
    if (job.preview && !job.frames.asked) // an animation's frames have a preview each, among the raw files
        request.preview = encoded.drawnShown.isNull() ? PictureRows(encoded.shown) : encoded.drawnShown;
    request.rawFiles = rawFiles;
    request.interrupted = job.interrupted;
    request.temporaryPrefix = places.temporaryPrefix;
    request.journal = places.journal;
    request.replaceLinks = true;
    int systemError = 0;
    QString failedPath;
    if (!batch) {
        WrittenFiles files;
        const WriteOutcome written
            = writeOutputFiles(image, paths, request, &systemError, &failedPath, &files);
        tellWritten(job, observer, encoded.uniform, writtenOutcome(written, systemError, failedPath, files));
        return;
    }
    StagedOutputs staged;
    const WriteOutcome written = stageOutputFiles(image, paths, request, &staged, &systemError, &failedPath);
    if (written != WriteOutcome::Written) {
        if (observer.outcome)
            observer.outcome(writtenOutcome(written, systemError, failedPath, WrittenFiles()));
        return;
    }
    batch->commit(std::move(staged), std::move(lock),
                  [&job, observer, uniform = encoded.uniform](const CommitOutcome &committed) {
                      tellWritten(job, observer, uniform,
                                  writtenOutcome(committed.outcome, committed.systemError,
                                                 committed.failedPath, committed.files));
                  });
}
