#include "output_plan.h"

#include "job_messages.h"
#include "output_batch.h"
#include "output_journal.h"
#include "rle_arrays.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTextCodec>

#include <cerrno>

#include <sys/stat.h>

QStringList plannedOutputs(const PictureJob &job, const OutputPaths &paths)
{
    QStringList written;
    if (!job.format || job.bmp)
        written << paths.bmp;
    written << paths.header;
    if (job.preview && !job.frames.asked)
        written << paths.preview;
    // An animation's previews, one a frame, when the range tells how many; those of all of them
    // are checked once they are known, as the raw files are.
    for (int frame = 0; job.preview && job.frames.asked && job.frames.last > 0
         && frame <= job.frames.last - job.frames.first;
         ++frame)
        written << framePreviewPath(paths, frame);
    if (job.encoding.header.split)
        written << paths.source;
    if (job.format && codesByRunLength(*job.format, job.encoding.arrays))
        written << paths.reader;
    return written;
}

// The picture is there, and so is the folder its files go to.
std::optional<PictureOutcome> placesProblem(const PictureJob &job, const QFileInfo &picture)
{
    if (!picture.exists()) {
        // Qt decodes file names as UTF-8 (or the locale's encoding); bytes that are not valid
        // there become U+FFFD, and the name then names no file.
        if (job.picturePath.contains(QChar::ReplacementCharacter))
            return failedOutcome(
                PictureJob::tr("nom de fichier illisible : il n'est pas codé en %1, renommez le fichier")
                    .arg(QString::fromLatin1(QTextCodec::codecForLocale()->name())));
        return failedOutcome(PictureJob::tr("fichier introuvable"));
    }
    if (!QFileInfo(job.outputFolder).isDir())
        return failedOutcome(PictureJob::tr("dossier de destination introuvable : %1").arg(job.outputFolder));
    return std::nullopt;
}

// What stands where the job would write: without --force anything there (a file, a link, a
// folder, a FIFO...) skips the picture, a link told as such; with it, a folder still fails it.
// lstat(): a link counts, dangling or not, and is never followed. The reader of coded arrays that
// every header of the folder shares stands in no one's way as it is.
std::optional<PictureOutcome> standingOutputs(const QStringList &written, bool force)
{
    const auto standing = [&](mode_t kind) -> QString {
        for (const QString &path : written) {
            struct stat status;
            if (::lstat(QFile::encodeName(path).constData(), &status) == 0
                && (kind == 0 || (status.st_mode & S_IFMT) == kind) && !holdsRunLengthReader(path))
                return path;
        }
        return QString();
    };
    if (!force && !standing(S_IFLNK).isEmpty())
        return PictureOutcome {PictureOutcome::Skipped,
                               PictureJob::tr("%1 est un lien symbolique, image ignorée (--force pour "
                                              "remplacer le lien lui-même)")
                                   .arg(standing(S_IFLNK))};
    if (!force && !standing(0).isEmpty())
        return PictureOutcome {
            PictureOutcome::Skipped,
            PictureJob::tr("%1 existe déjà, image ignorée (--force pour le remplacer)").arg(standing(0))};
    if (!standing(S_IFDIR).isEmpty())
        return failedOutcome(
            PictureJob::tr("impossible d'écrire %1 : c'est un dossier").arg(standing(S_IFDIR)));
    return std::nullopt;
}

// The job's turn at its outputs: the lock beside them taken, then the renames that a run killed
// while it replaced these files left completed, and its temporary files removed.
std::optional<PictureOutcome> takeOutputs(OutputLock &lock, const PictureJob &job,
                                          const ConversionObserver &observer, const QStringList &written,
                                          const OutputPlaces &places, const OutputPaths &paths,
                                          OutputBatch *batch)
{
    OutputLock::Waiting waiting;
    waiting.interrupted = job.interrupted;
    waiting.told = [&](OutputLock::Wait wait) {
        if (!observer.notice)
            return;
        if (wait == OutputLock::Wait::Foreign)
            observer.notice(
                PictureJob::tr("le verrou %1 appartient à l'utilisateur %2 : attente de %3 s au plus "
                               "qu'il soit retiré")
                    .arg(lock.path(), userName(lock.owner()))
                    .arg(unjudgedLockWaitSeconds));
        else
            observer.notice(PictureJob::tr("le verrou %1 ne dit pas quel processus le tient (vide, "
                                           "illisible, d'une autre machine ou pas un fichier "
                                           "ordinaire) : attente de %2 s au plus avant de le remplacer")
                                .arg(lock.path())
                                .arg(unjudgedLockWaitSeconds));
    };
    switch (lock.take(waiting)) {
    case OutputLock::Interrupted:
        return interruptedOutcome();
    case OutputLock::Refused:
        return failedOutcome(
            PictureJob::tr("le verrou %1, de l'utilisateur %2, est resté en place %3 s : seul "
                           "son propriétaire peut le retirer, rien n'a été écrit")
                .arg(lock.path(), userName(lock.owner()))
                .arg(unjudgedLockWaitSeconds));
    case OutputLock::Failed: {
        // A folder where nothing may be written holds nothing to set right either.
        const int lockError = lock.systemError();
        if (lockError == EACCES || lockError == EPERM || lockError == EROFS) {
            if (const auto refused = standingOutputs(written, job.force))
                return refused;
        }
        return failedOutcome(
            PictureJob::tr("impossible d'écrire %1 : %2")
                .arg(lockError == EISDIR ? lock.path() : written.first(), systemErrorText(lockError)));
    }
    case OutputLock::Taken:
        break;
    }
    const PendingReplacements pending = finishPendingReplacements(
        places, paths, batch ? &batch->temporaryFileNames() : nullptr, lock.foundStanding());
    switch (pending.status) {
    case PendingReplacements::Foreign:
        return failedOutcome(
            PictureJob::tr("le journal %1 appartient à l'utilisateur %2 : il n'est pas suivi, et "
                           "rien n'a été écrit")
                .arg(places.journal, userName(pending.owner)));
    case PendingReplacements::Failed:
        return failedOutcome(
            PictureJob::tr("impossible de terminer le remplacement laissé par une conversion "
                           "interrompue (%1) : %2")
                .arg(places.journal, systemErrorText(pending.systemError)));
    case PendingReplacements::Completed:
        break;
    }
    for (const QString &kept : pending.keptTargets) {
        if (observer.notice)
            observer.notice(
                PictureJob::tr("%1 a changé depuis la conversion interrompue qui devait le remplacer : "
                               "laissé tel quel")
                    .arg(kept));
    }
    // Checked only now: another run may have written them while this one waited.
    return standingOutputs(written, job.force);
}

namespace {

// What names one file: its path with the folder's links resolved (the name itself is kept, for a
// link is replaced, never followed), and for a file that stands there, its device and inode. Each
// folder is resolved once, in `folders`, however many files it holds.
QStringList fileKeys(const QString &path, bool followLink, QHash<QString, QString> *folders)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const QString folderPath = slash < 0 ? QStringLiteral(".")
        : slash == 0                     ? QStringLiteral("/")
                                         : path.left(slash);
    auto folder = folders->find(folderPath);
    if (folder == folders->end()) {
        QString resolved = QFileInfo(folderPath).canonicalFilePath();
        if (resolved.isEmpty())
            resolved = QDir::cleanPath(QFileInfo(folderPath).absoluteFilePath());
        folder = folders->insert(folderPath, resolved);
    }
    QStringList keys = {*folder + QLatin1Char('/') + path.mid(slash + 1)};
    struct stat status;
    const QByteArray name = QFile::encodeName(path);
    if (::lstat(name.constData(), &status) != 0)
        return keys;
    if (S_ISLNK(status.st_mode)) {
        // A link is itself when it is replaced; a picture is what it names.
        if (!followLink || ::stat(name.constData(), &status) != 0)
            return keys;
        const QString target = QFileInfo(path).canonicalFilePath();
        if (!target.isEmpty())
            keys << target;
    }
    keys << QStringLiteral("inode %1:%2").arg(status.st_dev).arg(status.st_ino);
    return keys;
}

} // namespace

QVector<OverwrittenInput> outputsThatAreInputs(const std::vector<PictureJob> &jobs)
{
    QHash<QString, QString> folders;
    QHash<QString, int> inputs;
    for (int i = 0; i < int(jobs.size()); ++i) {
        for (const QString &key : fileKeys(jobs[size_t(i)].picturePath, true, &folders))
            inputs.insert(key, i);
    }
    QVector<OverwrittenInput> overwritten;
    for (int i = 0; i < int(jobs.size()); ++i) {
        const PictureJob &job = jobs[size_t(i)];
        const OutputPaths paths = outputPaths(job.outputFolder, QFileInfo(job.picturePath).fileName());
        for (const QString &output : plannedOutputs(job, paths)) {
            for (const QString &key : fileKeys(output, false, &folders)) {
                const auto input = inputs.constFind(key);
                if (input == inputs.constEnd())
                    continue;
                overwritten.push_back({i, output, *input});
                break;
            }
        }
    }
    return overwritten;
}
