#include "picture_job.h"

#include "conversion.h"
#include "qimage16.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace {

QString causeOf(int systemError)
{
    switch (systemError) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return QString::fromUtf8("disque plein");
    case EACCES:
    case EPERM:
    case EROFS:
        return QString::fromUtf8("accès refusé");
    case ENOENT:
    case ENOTDIR:
        return QString::fromUtf8("dossier introuvable");
    case 0:
        return QString::fromUtf8("écriture impossible");
    default:
        return QString::fromLocal8Bit(std::strerror(systemError));
    }
}

PictureOutcome failed(const QString &message)
{
    return {PictureOutcome::Failed, message};
}

} // namespace

PictureOutcome runPictureJob(const PictureJob &job)
{
    const QFileInfo picture(job.picturePath);
    if (!picture.exists())
        return failed(QString::fromUtf8("fichier introuvable"));
    if (!QFileInfo(job.outputFolder).isDir())
        return failed(QString::fromUtf8("dossier de destination introuvable : %1").arg(job.outputFolder));

    const OutputPaths paths = outputPaths(job.outputFolder, picture.fileName());
    if (!job.force) {
        for (const QString &path : {paths.bmp, paths.header}) {
            if (QFileInfo::exists(path))
                return {
                    PictureOutcome::Skipped,
                    QString::fromUtf8("%1 existe déjà, image ignorée (--force pour le remplacer)").arg(path)};
        }
    }
    for (const QString &path : {paths.bmp, paths.header}) {
        if (QFileInfo(path).isDir())
            return failed(QString::fromUtf8("impossible d'écrire %1 : c'est un dossier").arg(path));
    }

    DecodedPicture decoded = decodePicture(job.picturePath);
    switch (decoded.status) {
    case DecodedPicture::NotAPicture:
        return failed(QString::fromUtf8("ce fichier ne semble pas être une image"));
    case DecodedPicture::TooLarge:
        return failed(QString::fromUtf8("image trop grande pour être convertie"));
    case DecodedPicture::Decoded:
        break;
    }

    const QImage16 image(toRgb565(decoded.image));
    decoded.image = QImage(); // only the 16-bit picture is needed from here on
    int systemError = 0;
    switch (writeOutputFiles(image, paths, &systemError)) {
    case WriteOutcome::BmpFailed:
        return failed(QString::fromUtf8("impossible d'écrire %1 : %2").arg(paths.bmp, causeOf(systemError)));
    case WriteOutcome::HeaderFailed:
        return failed(
            QString::fromUtf8("impossible d'écrire %1 : %2").arg(paths.header, causeOf(systemError)));
    case WriteOutcome::Written:
        break;
    }
    return {PictureOutcome::Converted, QString()};
}
