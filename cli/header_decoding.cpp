#include "header_decoding.h"

#include "atomic_file_writer.h"
#include "c_array_reader.h"
#include "header_pictures.h"
#include "output_files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>

#include <sys/stat.h>

namespace {

void tell(std::FILE *errors, const QString &line)
{
    std::fputs(qPrintable(QStringLiteral("quillon-convert: ") + line + QLatin1Char('\n')), errors);
}

// The header's text, or why it cannot be read: a file larger than any header is refused before
// it is read.
QString readHeaderText(const QString &path, QByteArray *text)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    if (file.size() > maxHeaderTextBytes)
        return QCoreApplication::translate("HeaderDecoding",
                                           "%1 octets, plus que les %2 qu'un en-tête peut avoir")
            .arg(file.size())
            .arg(maxHeaderTextBytes);
    *text = file.read(maxHeaderTextBytes + 1);
    if (text->size() > maxHeaderTextBytes)
        return QCoreApplication::translate("HeaderDecoding",
                                           "%1 octets, plus que les %2 qu'un en-tête peut avoir")
            .arg(text->size())
            .arg(maxHeaderTextBytes);
    return QString();
}

// The text of a header and, for a split pair (NAME.h declaring what NAME.c defines), of both:
// the pair is read whichever of its files is named.
QString readPairText(const QString &path, QByteArray *text)
{
    QString problem = readHeaderText(path, text);
    if (!problem.isEmpty())
        return problem;
    const bool source = path.endsWith(QLatin1String(".c"));
    if (!source && !(path.endsWith(QLatin1String(".h")) && text->contains("extern const")))
        return QString();
    const QString other = path.chopped(2) + (source ? QStringLiteral(".h") : QStringLiteral(".c"));
    if (!QFileInfo::exists(other))
        return source
            ? QString()
            : QCoreApplication::translate("HeaderDecoding", "%1 manque à côté de lui : il tient les tableaux")
                  .arg(other);
    QByteArray otherText;
    problem = readHeaderText(other, &otherText);
    if (!problem.isEmpty())
        return other + QStringLiteral(" : ") + problem;
    *text = source ? otherText + '\n' + *text : *text + '\n' + otherText;
    return QString();
}

// Writes each picture; false, with a line of `errors`, at the first that could not be.
bool writePictures(const HeaderDecodingJob &job, const QString &header,
                   const QVector<HeaderPicture> &pictures, std::FILE *errors)
{
    const QString folder = job.outputFolder.isEmpty() ? QFileInfo(header).path() : job.outputFolder;
    if (!QDir().mkpath(folder)) {
        tell(errors,
             QCoreApplication::translate("HeaderDecoding", "%1 : impossible de créer le dossier %2")
                 .arg(header, folder));
        return false;
    }
    for (const HeaderPicture &picture : pictures) {
        // An animation's frames as --preview names them: NAME16bits_frame0.png...
        QByteArray stem = picture.name;
        const int frame = stem.lastIndexOf("_frame");
        const QByteArray name = frame > 0 ? stem.left(frame) + "16bits" + stem.mid(frame) : stem + "16bits";
        const QString path = folder + QLatin1Char('/') + QFile::decodeName(name) + QStringLiteral(".png");
        struct stat status;
        if (!job.force && ::lstat(QFile::encodeName(path).constData(), &status) == 0) {
            tell(errors,
                 QCoreApplication::translate("HeaderDecoding",
                                             "%1 : %2 existe déjà (--force pour le remplacer)")
                     .arg(header, path));
            return false;
        }
        AtomicFileWriter file(path, QString(), true);
        if (!file.open() || !writePreviewPng(file, PictureRows(picture.shown)) || !file.commit()) {
            tell(errors,
                 QCoreApplication::translate("HeaderDecoding", "%1 : impossible d'écrire %2 : %3")
                     .arg(header, path, QString::fromLocal8Bit(std::strerror(file.systemError()))));
            return false;
        }
        if (job.verbose)
            tell(errors, QCoreApplication::translate("HeaderDecoding", "%1 écrit").arg(path));
    }
    return true;
}

} // namespace

int decodeHeaders(const HeaderDecodingJob &job, std::FILE *errors)
{
    int exitCode = 0;
    for (const QString &header : job.headers) {
        QByteArray text;
        QString problem = readPairText(header, &text);
        HeaderPictures decoded;
        if (problem.isEmpty()) {
            EncodingOptions options;
            options.pixels.swapBytes = job.swapBytes;
            options.pixels.bgr = job.bgr;
            decoded = job.format ? decodeArrayAs(text, *job.format, job.size, options) : decodeHeader(text);
            problem = decoded.problem;
        }
        if (!problem.isEmpty()) {
            tell(errors,
                 QCoreApplication::translate("HeaderDecoding", "%1 : illisible : %2").arg(header, problem));
            exitCode = 1;
            continue;
        }
        if (!writePictures(job, header, decoded.pictures, errors))
            exitCode = 1;
    }
    return exitCode;
}
