#include "picture_job.h"

#include "atomic_file_writer.h"
#include "conversion.h"
#include "qimage16.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QLockFile>
#include <QTextCodec>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// The system's errors in French: the C library's own texts would follow its locale, not ours.
QString causeOf(int systemError)
{
    switch (systemError) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return QString::fromUtf8("disque plein");
    case EACCES:
    case EPERM:
        return QString::fromUtf8("accès refusé");
    case EROFS:
        return QString::fromUtf8("système de fichiers en lecture seule");
    case ENOENT:
    case ENOTDIR:
        return QString::fromUtf8("dossier introuvable");
    case ENAMETOOLONG:
        return QString::fromUtf8("nom de fichier trop long");
    case EISDIR:
        return QString::fromUtf8("c'est un dossier");
    case ELOOP:
        return QString::fromUtf8("trop de liens symboliques");
    case EIO:
        return QString::fromUtf8("erreur d'entrée-sortie");
    case EMFILE:
    case ENFILE:
        return QString::fromUtf8("trop de fichiers ouverts");
    case ENOMEM:
        return QString::fromUtf8("mémoire insuffisante");
    case EBUSY:
    case ETXTBSY:
        return QString::fromUtf8("fichier occupé");
    case EXDEV:
        return QString::fromUtf8("déplacement impossible entre deux systèmes de fichiers");
    case 0:
        return QString::fromUtf8("écriture impossible");
    default:
        return QString::fromUtf8("erreur système %1").arg(systemError);
    }
}

PictureOutcome failed(const QString &message)
{
    return {PictureOutcome::Failed, message};
}

// A lock file beside the outputs, taken in turns by the runs that write them; a lock left by a
// process that died is taken over. Waits, but gives up when the run is interrupted.
bool takeTurn(QLockFile &lock, const std::atomic<int> *interrupted)
{
    lock.setStaleLockTime(0); // only a dead owner makes a lock stale, however long it is held
    while (!lock.tryLock(100)) {
        if (lock.error() != QLockFile::LockFailedError || (interrupted && interrupted->load()))
            return false;
    }
    return true;
}

// Named after the outputs, but short whatever their names' length, and hidden.
QString lockPath(const QString &folder, const OutputPaths &paths)
{
    const QByteArray digest
        = QCryptographicHash::hash(QFileInfo(paths.header).fileName().toUtf8(), QCryptographicHash::Sha1);
    return folder + QStringLiteral("/.quillon-") + QString::fromLatin1(digest.toHex().left(16))
        + QStringLiteral(".lock");
}

PictureOutcome interruptedOutcome()
{
    return {PictureOutcome::Interrupted, QString::fromUtf8("interrompu")};
}

} // namespace

PictureOutcome runPictureJob(const PictureJob &job)
{
    const QFileInfo picture(job.picturePath);
    if (!picture.exists()) {
        // Qt decodes file names as UTF-8 (or the locale's encoding); bytes that are not valid
        // there become U+FFFD, and the name then names no file.
        if (job.picturePath.contains(QChar::ReplacementCharacter))
            return failed(
                QString::fromUtf8("nom de fichier illisible : il n'est pas codé en %1, renommez le fichier")
                    .arg(QString::fromLatin1(QTextCodec::codecForLocale()->name())));
        return failed(QString::fromUtf8("fichier introuvable"));
    }
    if (!QFileInfo(job.outputFolder).isDir())
        return failed(QString::fromUtf8("dossier de destination introuvable : %1").arg(job.outputFolder));

    const OutputPaths paths = outputPaths(job.outputFolder, picture.fileName());
    QStringList written = {paths.bmp, paths.header};
    if (job.preview)
        written << paths.preview;
    const auto existing = [&]() -> QString {
        for (const QString &path : written) {
            if (QFileInfo::exists(path))
                return path;
        }
        return QString();
    };
    const auto skipped = [](const QString &path) {
        return PictureOutcome {
            PictureOutcome::Skipped,
            QString::fromUtf8("%1 existe déjà, image ignorée (--force pour le remplacer)").arg(path)};
    };
    if (!job.force && !existing().isEmpty())
        return skipped(existing());
    for (const QString &path : written) {
        if (QFileInfo(path).isDir())
            return failed(QString::fromUtf8("impossible d'écrire %1 : c'est un dossier").arg(path));
    }

    QLockFile lock(lockPath(job.outputFolder, paths));
    if (!takeTurn(lock, job.interrupted)) {
        if (job.interrupted && job.interrupted->load())
            return interruptedOutcome();
        return failed(QString::fromUtf8("impossible d'écrire %1 : %2")
                          .arg(paths.bmp, causeOf(lock.error() == QLockFile::PermissionError ? EACCES : 0)));
    }
    // Another run may have written them while this one waited.
    if (!job.force && !existing().isEmpty())
        return skipped(existing());

    DecodedPicture decoded = decodePicture(job.picturePath, job.display.fit);
    switch (decoded.status) {
    case DecodedPicture::NotAPicture:
        return failed(QString::fromUtf8("ce fichier ne semble pas être une image"));
    case DecodedPicture::TooLarge:
        return failed(QString::fromUtf8("image trop grande pour être convertie"));
    case DecodedPicture::TooComplex:
        return failed(QString::fromUtf8("image JPEG de trop de passes (plus de %1, ou trop longues à "
                                        "décoder), refusée")
                          .arg(maxJpegScans));
    case DecodedPicture::Unreadable:
        return failed(QString::fromUtf8("lecture impossible : %1").arg(causeOf(decoded.systemError)));
    case DecodedPicture::Truncated:
        return failed(QString::fromUtf8("image incomplète : le fichier s'arrête avant la fin de l'image"));
    case DecodedPicture::Decoded:
        break;
    }
    if (job.interrupted && job.interrupted->load())
        return interruptedOutcome();

    // Converted in place: the 32-bit picture's memory becomes the 16-bit one's.
    const bool keepAlpha = job.format
        && (job.format->alpha == DisplayFormat::AlphaAlways
            || (job.format->alpha == DisplayFormat::AlphaWhenAsked
                && (job.encoding.alphaMask || job.encoding.transparent.isValid())));
    PreparedPicture prepared
        = preparePicture(std::move(decoded.image), job.display, keepAlpha, decoded.fullSize);
    EncodedPicture encoded;
    if (job.format) {
        if (job.format->sizeProblem) {
            const QString problem = job.format->sizeProblem(prepared, job.encoding);
            if (!problem.isEmpty())
                return failed(problem);
        }
        encoded = job.format->encode(prepared, job.encoding);
        prepared = PreparedPicture();
    } else {
        encoded.shown = reduceTo565(std::move(prepared.colours), job.display.dither);
    }
    const QImage16 image(encoded.shown.format() == QImage::Format_RGB16
                             ? encoded.shown
                             : encoded.shown.convertToFormat(QImage::Format_RGB16));
    if (job.header.progmem) {
        QVector<qint64> sizes;
        for (const CArray &array : encoded.header.arrays)
            sizes << arrayBytes(array);
        if (!job.format)
            sizes << image.bmp16FileSize();
        const qint64 largest = *std::max_element(sizes.begin(), sizes.end());
        if (largest > maxProgmemArrayBytes)
            return failed(QString::fromUtf8("image trop grande pour --progmem : le tableau ferait %1 octets, "
                                            "avr-gcc en accepte 32 767 au plus (environ 128 x 127 pixels)")
                              .arg(largest));
    }

    OutputRequest request;
    request.header = job.header;
    request.pixels = job.format ? &encoded.header : nullptr;
    request.preview = job.preview ? &encoded.shown : nullptr;
    request.interrupted = job.interrupted;
    int systemError = 0;
    switch (writeOutputFiles(image, paths, request, &systemError)) {
    case WriteOutcome::BmpFailed:
        return failed(QString::fromUtf8("impossible d'écrire %1 : %2").arg(paths.bmp, causeOf(systemError)));
    case WriteOutcome::HeaderFailed:
        return failed(
            QString::fromUtf8("impossible d'écrire %1 : %2").arg(paths.header, causeOf(systemError)));
    case WriteOutcome::PreviewFailed:
        return failed(
            QString::fromUtf8("impossible d'écrire %1 : %2").arg(paths.preview, causeOf(systemError)));
    case WriteOutcome::Interrupted:
        return interruptedOutcome();
    case WriteOutcome::Written:
        break;
    }
    return {PictureOutcome::Converted, QString()};
}
