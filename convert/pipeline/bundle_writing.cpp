#include "bundle_writing.h"

#include "bundle_table.h"
#include "header_pictures.h"
#include "job_messages.h"
#include "output_plan.h"
#include "picture_steps.h"

#include <cerrno>
#include <new>

namespace {

// The picture decoded and encoded for the bundle, its header in `header`.
std::optional<PictureOutcome> encodeBundled(const PictureJob &job, const ConversionObserver &observer,
                                            EncodedPicture *encoded)
{
    if (const auto problem = decodeAndEncode(job, observer, encoded))
        return problem;
    // The format told to --decode once for the bundle: its pictures share it.
    encoded->header.commentLines << decodingLine(*job.format, job.encoding);
    if (const auto problem = progmemProblem(job, *encoded, QImage16()))
        return problem;
    // NAME_images holds 16-bit pointers on AVR, which reach no far array.
    const CArray *pixels = bundledPixels(encoded->header);
    if (pixels && liesFar(encoded->header, *pixels))
        return failedOutcome(
            PictureJob::tr("--bundle : le tableau %1 ferait %2 octets ; au-delà de 32 767, il irait "
                           "sur AVR en mémoire programme lointaine, que les pointeurs d'un "
                           "tableau ne peuvent désigner")
                .arg(QString::fromLatin1(pixels->name))
                .arg(arrayBytes(*pixels)));
    return std::nullopt;
}

} // namespace

std::optional<PictureOutcome> convertBundled(const PictureJob &job, const ConversionObserver &observer)
{
    try {
        EncodedPicture encoded;
        if (const auto problem = encodeBundled(job, observer, &encoded))
            return problem;
        PictureOutcome outcome {PictureOutcome::Converted, QString()};
        outcome.bundled = std::move(encoded.header);
        tellWritten(job, observer, encoded.uniform, outcome);
        return std::nullopt;
    } catch (const std::bad_alloc &) {
        return failedOutcome(systemErrorText(ENOMEM));
    }
}

PictureOutcome writeBundle(const PictureJob &job, const ConversionObserver &observer, const QByteArray &name,
                           const QVector<CHeader> &pictures)
{
    PictureOutcome outcome;
    ConversionObserver told = observer;
    told.outcome = [&](const PictureOutcome &known) { outcome = known; };
    const OutputPaths paths = outputPaths(job.outputFolder, QString::fromLatin1(name));
    const OutputPlaces places = outputPlaces(paths);
    auto lock = std::make_unique<OutputLock>(places.lock, "quillon-convert");
    std::optional<PictureOutcome> problem
        = takeOutputs(*lock, job, told, plannedOutputs(job, paths), places, paths, nullptr);
    if (!problem) {
        try {
            EncodedPicture encoded;
            encoded.header = bundleHeader(name, pictures);
            write(job, told, paths, encoded, QImage16(), {}, places, std::move(lock), nullptr);
        } catch (const std::bad_alloc &) {
            problem = failedOutcome(systemErrorText(ENOMEM));
        }
    }
    if (problem)
        outcome = *problem;
    if (observer.outcome)
        observer.outcome(outcome);
    return outcome;
}
