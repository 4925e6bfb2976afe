#include "picture_job.h"

#include "atomic_file_writer.h"
#include "conversion.h"
#include "qimage16.h"

#include <QBuffer>
#include <QFileInfo>
#include <QTextCodec>

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

// The 5-6-5 picture with each channel widened back to 8 bits, as the display shows it, in a PNG
// file that every viewer shows right.
bool writePreview(const QImage &rgb565, const QString &path, int *systemError)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    rgb565.convertToFormat(QImage::Format_RGB32).save(&buffer, "PNG");
    AtomicFileWriter file(path);
    const bool written = file.open() && file.write(png) && file.commit();
    *systemError = file.systemError();
    return written;
}

PictureOutcome failed(const QString &message)
{
    return {PictureOutcome::Failed, message};
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
    if (!job.force) {
        for (const QString &path : written) {
            if (QFileInfo::exists(path))
                return {
                    PictureOutcome::Skipped,
                    QString::fromUtf8("%1 existe déjà, image ignorée (--force pour le remplacer)").arg(path)};
        }
    }
    for (const QString &path : written) {
        if (QFileInfo(path).isDir())
            return failed(QString::fromUtf8("impossible d'écrire %1 : c'est un dossier").arg(path));
    }

    DecodedPicture decoded = decodePicture(job.picturePath);
    switch (decoded.status) {
    case DecodedPicture::NotAPicture:
        return failed(QString::fromUtf8("ce fichier ne semble pas être une image"));
    case DecodedPicture::TooLarge:
        return failed(QString::fromUtf8("image trop grande pour être convertie"));
    case DecodedPicture::Unreadable:
        return failed(QString::fromUtf8("lecture impossible : %1").arg(causeOf(decoded.systemError)));
    case DecodedPicture::Decoded:
        break;
    }

    // Converted in place: the 32-bit picture's memory becomes the 16-bit one's.
    const QImage16 image(prepareForDisplay(std::move(decoded.image), job.display));
    const qint64 arrayBytes = job.header.content == HeaderOptions::Rgb565Pixels
        ? qint64(image.width()) * image.height() * 2
        : image.bmp16FileSize();
    if (job.header.progmem && arrayBytes > maxProgmemArrayBytes)
        return failed(QString::fromUtf8("image trop grande pour --progmem : le tableau ferait %1 octets, "
                                        "avr-gcc en accepte 32 767 au plus (environ 128 x 127 pixels)")
                          .arg(arrayBytes));
    int systemError = 0;
    switch (writeOutputFiles(image, paths, job.header, &systemError)) {
    case WriteOutcome::BmpFailed:
        return failed(QString::fromUtf8("impossible d'écrire %1 : %2").arg(paths.bmp, causeOf(systemError)));
    case WriteOutcome::HeaderFailed:
        return failed(
            QString::fromUtf8("impossible d'écrire %1 : %2").arg(paths.header, causeOf(systemError)));
    case WriteOutcome::Written:
        break;
    }
    if (job.preview && !writePreview(image, paths.preview, &systemError))
        return failed(
            QString::fromUtf8("impossible d'écrire %1 : %2").arg(paths.preview, causeOf(systemError)));
    return {PictureOutcome::Converted, QString()};
}
