#include "job_messages.h"

#include "child_decoder.h"
#include "tone.h"

#include <algorithm>
#include <array>
#include <cerrno>

QString systemErrorText(int systemError)
{
    switch (systemError) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return PictureJob::tr("disque plein");
    case EACCES:
    case EPERM:
        return PictureJob::tr("accès refusé");
    case EROFS:
        return PictureJob::tr("système de fichiers en lecture seule");
    case ENOENT:
    case ENOTDIR:
        return PictureJob::tr("dossier introuvable");
    case ENAMETOOLONG:
        return PictureJob::tr("nom de fichier trop long");
    case EISDIR:
        return PictureJob::tr("c'est un dossier");
    case ELOOP:
        return PictureJob::tr("trop de liens symboliques");
    case EIO:
        return PictureJob::tr("erreur d'entrée-sortie");
    case EMFILE:
    case ENFILE:
        return PictureJob::tr("trop de fichiers ouverts");
    case ENOMEM:
        return PictureJob::tr("mémoire insuffisante");
    case EBUSY:
    case ETXTBSY:
        return PictureJob::tr("fichier occupé");
    case EXDEV:
        return PictureJob::tr("déplacement impossible entre deux systèmes de fichiers");
    case EOVERFLOW:
        return PictureJob::tr("trop grand pour un fichier BMP (4 Gio au plus)");
    case 0:
        return PictureJob::tr("écriture impossible");
    default:
        return PictureJob::tr("erreur système %1").arg(systemError);
    }
}

PictureOutcome failedOutcome(const QString &message)
{
    return {PictureOutcome::Failed, message};
}

PictureOutcome interruptedOutcome()
{
    return {PictureOutcome::Interrupted, PictureJob::tr("interrompu")};
}

bool isInterrupted(const PictureJob &job)
{
    return job.interrupted && job.interrupted->load();
}

std::optional<PictureOutcome> decodingProblem(const PictureJob &job, DecodedPicture::Status status,
                                              int systemError, int frameCount)
{
    switch (status) {
    case DecodedPicture::NotAPicture:
        if (systemError == ENOMEM)
            return failedOutcome(
                PictureJob::tr("le lecteur de ce format a manqué de mémoire : il a atteint la "
                               "limite de %1 Mio de son processus, image refusée")
                    .arg(readerMemoryMiB));
        return failedOutcome(PictureJob::tr("ce fichier ne semble pas être une image"));
    case DecodedPicture::TooLarge:
        if (job.frames.asked && frameCount != 1)
            return failedOutcome(
                PictureJob::tr("animation trop grande pour être convertie : ses images prendraient "
                               "plus de %1 Mio (choisissez-en avec --frames A-B)")
                    .arg(maxDecodedBytes >> 20));
        return failedOutcome(PictureJob::tr("image trop grande pour être convertie"));
    case DecodedPicture::TooComplex:
        return failedOutcome(PictureJob::tr("image JPEG de trop de passes (plus de %1, ou trop longues à "
                                            "décoder), refusée")
                                 .arg(maxJpegScans));
    case DecodedPicture::Unreadable:
        return failedOutcome(PictureJob::tr("lecture impossible : %1").arg(systemErrorText(systemError)));
    case DecodedPicture::Hostile:
        if (isInterrupted(job))
            return interruptedOutcome();
        return failedOutcome(PictureJob::tr("image illisible ou trop coûteuse à décoder"));
    case DecodedPicture::Truncated:
        return failedOutcome(
            PictureJob::tr("image incomplète : le fichier s'arrête avant la fin de l'image"));
    case DecodedPicture::Decoded:
        break;
    }
    if (isInterrupted(job))
        return interruptedOutcome();
    return std::nullopt;
}

QStringList firstFrameNotices(const DecodedPicture &decoded)
{
    QStringList notices;
    if (decoded.frameCount != 1)
        notices << PictureJob::tr("image animée : seule la première de ses %1 est convertie (%2)")
                       .arg(decoded.frameCount > 1 ? PictureJob::tr("%1 images").arg(decoded.frameCount)
                                                   : PictureJob::tr("images"))
                       .arg(PictureJob::tr("--frames all pour toutes"));
    if (decoded.animatedPng)
        notices << PictureJob::tr("PNG animé (APNG) : seule son image par défaut est convertie, Qt 5 n'en "
                                  "lit pas les autres images");
    return notices;
}

PictureOutcome writtenOutcome(WriteOutcome written, int systemError, const QString &failedPath,
                              const WrittenFiles &files)
{
    PictureOutcome outcome;
    switch (written) {
    case WriteOutcome::Interrupted:
        outcome = interruptedOutcome();
        break;
    case WriteOutcome::Written:
        outcome = {PictureOutcome::Converted, QString()};
        break;
    default:
        outcome = failedOutcome(
            PictureJob::tr("impossible d'écrire %1 : %2").arg(failedPath, systemErrorText(systemError)));
        break;
    }
    outcome.written = files.written;
    outcome.unchanged = files.unchanged;
    return outcome;
}

// The warning of an array whose pixels are all alike, in French.
QString uniformWarning(const UniformArray &array, const EncodingOptions &options)
{
    const QString name = QString::fromLatin1(array.name);
    const QString bits = array.lit ? PictureJob::tr("allumés (1)") : PictureJob::tr("éteints (0)");
    // A brightness of -100 or 100, or a contrast of -100, gives every pixel one level: no threshold
    // then tells any two apart.
    const std::array<uchar, 256> curve = toneCurve(options.display.tone);
    if (array.cause != UniformArray::NoInk
        && std::all_of(curve.begin(), curve.end(), [&](uchar level) { return level == curve[0]; }))
        return PictureJob::tr("%1 : tous ses pixels sont %2 : --brightness %3 et --contrast %4 donnent le "
                              "même niveau, %5, à chaque pixel de toute image, quel que soit le seuil "
                              "(rapprochez-les de 0)")
            .arg(name, bits)
            .arg(options.display.tone.brightness)
            .arg(options.display.tone.contrast)
            .arg(curve[0]);
    switch (array.cause) {
    case UniformArray::AllDark:
        return PictureJob::tr(
                   "%1 : tous ses pixels sont %2 : l'image est partout plus sombre que le seuil %3 "
                   "(essayez --threshold N avec N plus bas)")
            .arg(name, bits)
            .arg(options.pixels.threshold);
    case UniformArray::DarkOnTransparency:
        return PictureJob::tr(
                   "%1 : tous ses pixels sont %2 : l'image est partout plus sombre que le seuil %3, "
                   "ses pixels transparents posés sur du noir (une icône sombre sur fond "
                   "transparent ? essayez --background white --invert, sinon --threshold N avec N "
                   "plus bas)")
            .arg(name, bits)
            .arg(options.pixels.threshold);
    case UniformArray::AllLight:
        return PictureJob::tr(
                   "%1 : tous ses pixels sont %2 : l'image est partout au moins aussi claire que le "
                   "seuil %3 (essayez --threshold N avec N plus haut)")
            .arg(name, bits)
            .arg(options.pixels.threshold);
    case UniformArray::NoInk:
        break;
    }
    return PictureJob::tr(
               "%1 : plan tout blanc, aucun pixel n'étant plus près de son encre que du blanc ou de "
               "l'autre encre (--dither répartit l'encre des teintes intermédiaires)")
        .arg(name);
}
