#include "picture_job.h"

#include "atomic_file_writer.h"
#include "frame_table.h"
#include "output_files.h"
#include "picture_decoding.h"
#include "qimage16.h"
#include "streaming_scaler.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QTextCodec>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The system's errors in French: the C library's own texts would follow its locale, not ours.
QString causeOf(int systemError)
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
    case 0:
        return PictureJob::tr("écriture impossible");
    default:
        return PictureJob::tr("erreur système %1").arg(systemError);
    }
}

PictureOutcome failed(const QString &message)
{
    return {PictureOutcome::Failed, message};
}

// How long a lock file that tells nothing of its owner is waited for: the one case a live run
// leaves one so is the instant between creating it and writing into it.
constexpr int unjudgedLockWaitSeconds = 10;

// A lock file beside the outputs, taken in turns by the runs that write them. Its owner holds
// it with flock() and writes its process number, its name and its host into it, as QLockFile
// does, so either kind of run waits for the other.
class OutputLock
{
public:
    explicit OutputLock(const QString &path)
        : m_path(path)
        , m_name(QFile::encodeName(path))
    { }
    ~OutputLock()
    {
        if (m_fd >= 0) {
            ::unlink(m_name.constData());
            ::close(m_fd);
        }
    }
    OutputLock(const OutputLock &) = delete;
    OutputLock &operator=(const OutputLock &) = delete;

    enum Verdict { Held, Gone, Unjudged, Folder };

    // Creates the lock file, or returns false with the system's error (EEXIST when it is there).
    bool tryCreate(int *systemError)
    {
        m_fd = ::open(m_name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                      0644);
        if (m_fd < 0) {
            *systemError = errno;
            return false;
        }
        // Another run that judges the new file holds it for an instant.
        while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) { }
        const QByteArray owner = QByteArray::number(qint64(::getpid())) + "\nquillon-convert\n"
            + QSysInfo::machineHostName().toUtf8() + '\n';
        const ssize_t written = ::write(m_fd, owner.constData(), size_t(owner.size()));
        if (written != owner.size()) {
            *systemError = written < 0 ? errno : ENOSPC;
            ::unlink(m_name.constData());
            ::close(m_fd);
            m_fd = -1;
            return false;
        }
        return true;
    }

    // What the lock file that stands there tells. One whose owner is dead is removed (Gone), and
    // so is one that tells nothing of its owner when `replaceUnjudged`; one that is held natively
    // or by a live process is Held. Only regular files are opened, and never so that open()
    // could wait. A file is removed only while it is still the one judged, and held by this run
    // when it can be: two runs that judge it at once never remove the lock the other then took.
    Verdict judge(bool replaceUnjudged) const
    {
        struct stat seen;
        if (::lstat(m_name.constData(), &seen) != 0)
            return Gone;
        if (S_ISDIR(seen.st_mode))
            return Folder;
        bool stale = false;
        Verdict verdict = Unjudged;
        int fd = -1;
        if (S_ISREG(seen.st_mode)) {
            fd = ::open(m_name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0 && errno == ENOENT)
                return Gone;
            if (fd >= 0)
                verdict = judgeOpened(fd, seen, &stale);
        }
        if (stale || (verdict == Unjudged && replaceUnjudged)) {
            struct stat now;
            if (::lstat(m_name.constData(), &now) == 0 && now.st_ino == seen.st_ino
                && now.st_dev == seen.st_dev)
                ::unlink(m_name.constData());
            verdict = Gone;
        }
        if (fd >= 0)
            ::close(fd);
        return verdict;
    }

    QString path() const { return m_path; }

private:
    // Leaves the file locked by this run, unless another holds it.
    Verdict judgeOpened(int fd, const struct stat &seen, bool *stale) const
    {
        struct stat opened;
        if (::fstat(fd, &opened) != 0 || opened.st_ino != seen.st_ino || opened.st_dev != seen.st_dev)
            return Gone; // replaced in the meantime: judged again
        // Where the file system has no such locks (some NFS mounts), the process number decides.
        const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (!locked && errno == EWOULDBLOCK)
            return Held;
        char text[512];
        const ssize_t size = ::read(fd, text, sizeof text);
        const QList<QByteArray> lines = QByteArray(text, int(qMax<ssize_t>(size, 0))).split('\n');
        bool isNumber = false;
        const qint64 pid = lines.value(0).toLongLong(&isNumber);
        if (!isNumber || pid <= 0 || pid > std::numeric_limits<pid_t>::max() || lines.size() < 3
            || lines[2] != QSysInfo::machineHostName().toUtf8())
            return Unjudged;
        // A live process that holds no lock is taking it this very instant, or is another one.
        const bool alive = ::kill(pid_t(pid), 0) == 0 || errno != ESRCH;
        *stale = !alive;
        return alive && !locked ? Held : Unjudged;
    }

    QString m_path;
    QByteArray m_name;
    int m_fd = -1;
};

enum class Turn { Taken, Interrupted, Failed };

// Waits for the lock as long as a live run holds it; one that tells nothing of its owner (empty,
// damaged, from another host, or not a regular file) is waited for at most
// unjudgedLockWaitSeconds, and then replaced. Gives up when the run is interrupted.
Turn takeTurn(OutputLock &lock, const PictureJob &job, int *systemError)
{
    QElapsedTimer unjudgedFor;
    bool told = false;
    for (;;) {
        if (job.interrupted && job.interrupted->load())
            return Turn::Interrupted;
        if (lock.tryCreate(systemError))
            return Turn::Taken;
        if (*systemError != EEXIST)
            return Turn::Failed;
        const bool waitedEnough
            = unjudgedFor.isValid() && unjudgedFor.hasExpired(unjudgedLockWaitSeconds * 1000);
        switch (lock.judge(waitedEnough)) {
        case OutputLock::Gone:
            unjudgedFor.invalidate();
            continue;
        case OutputLock::Folder:
            *systemError = EISDIR;
            return Turn::Failed;
        case OutputLock::Held:
            unjudgedFor.invalidate();
            break;
        case OutputLock::Unjudged:
            if (!unjudgedFor.isValid())
                unjudgedFor.start();
            if (!told && job.notice) {
                job.notice(PictureJob::tr("le verrou %1 ne dit pas quel processus le tient (vide, "
                                          "illisible, d'une autre machine ou pas un fichier "
                                          "ordinaire) : attente de %2 s au plus avant de le remplacer")
                               .arg(lock.path())
                               .arg(unjudgedLockWaitSeconds));
                told = true;
            }
            break;
        }
        QThread::msleep(100);
    }
}

// Named after the outputs, but short whatever their names' length, and hidden. The journal and
// the temporary files of the outputs share the name.
QString lockStem(const QString &folder, const OutputPaths &paths)
{
    const QByteArray digest
        = QCryptographicHash::hash(QFileInfo(paths.header).fileName().toUtf8(), QCryptographicHash::Sha1);
    return folder + QStringLiteral("/.quillon-") + QString::fromLatin1(digest.toHex().left(16));
}

// The temporary files that a killed run left on a file system without unnamed ones.
void removeLeftTemporaries(const QString &prefix)
{
    const QFileInfo info(prefix);
    const QString pattern = info.fileName() + QStringLiteral("??????");
    const QDir folder = info.dir();
    for (const QString &name : folder.entryList({pattern}, QDir::Files | QDir::Hidden | QDir::System)) {
        const QByteArray path = QFile::encodeName(folder.filePath(name));
        struct stat status;
        if (::lstat(path.constData(), &status) == 0 && S_ISREG(status.st_mode))
            ::unlink(path.constData());
    }
}

PictureOutcome interruptedOutcome()
{
    return {PictureOutcome::Interrupted, PictureJob::tr("interrompu")};
}

bool isInterrupted(const PictureJob &job)
{
    return job.interrupted && job.interrupted->load();
}

// The picture is there, and so is the folder its files go to.
std::optional<PictureOutcome> placesProblem(const PictureJob &job, const QFileInfo &picture)
{
    if (!picture.exists()) {
        // Qt decodes file names as UTF-8 (or the locale's encoding); bytes that are not valid
        // there become U+FFFD, and the name then names no file.
        if (job.picturePath.contains(QChar::ReplacementCharacter))
            return failed(
                PictureJob::tr("nom de fichier illisible : il n'est pas codé en %1, renommez le fichier")
                    .arg(QString::fromLatin1(QTextCodec::codecForLocale()->name())));
        return failed(PictureJob::tr("fichier introuvable"));
    }
    if (!QFileInfo(job.outputFolder).isDir())
        return failed(PictureJob::tr("dossier de destination introuvable : %1").arg(job.outputFolder));
    return std::nullopt;
}

// What stands where the job would write: without --force an existing file or link skips the
// picture; a folder fails it, forced or not. lstat(): a link counts, dangling or not, and is
// never followed.
std::optional<PictureOutcome> standingOutputs(const QStringList &written, bool force)
{
    const auto standing = [&](mode_t kind) -> QString {
        for (const QString &path : written) {
            struct stat status;
            if (::lstat(QFile::encodeName(path).constData(), &status) == 0
                && (kind == 0 || (status.st_mode & S_IFMT) == kind))
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
        return failed(PictureJob::tr("impossible d'écrire %1 : c'est un dossier").arg(standing(S_IFDIR)));
    return std::nullopt;
}

// The job's turn at its outputs: the lock beside them taken, then the renames that a run killed
// while it replaced these files left completed, and its temporary files removed.
std::optional<PictureOutcome> takeOutputs(OutputLock &lock, const PictureJob &job, const QStringList &written,
                                          const QString &stem)
{
    int lockError = 0;
    switch (takeTurn(lock, job, &lockError)) {
    case Turn::Interrupted:
        return interruptedOutcome();
    case Turn::Failed:
        // A folder where nothing may be written holds nothing to set right either.
        if (lockError == EACCES || lockError == EPERM || lockError == EROFS) {
            if (const auto refused = standingOutputs(written, job.force))
                return refused;
        }
        return failed(PictureJob::tr("impossible d'écrire %1 : %2")
                          .arg(lockError == EISDIR ? lock.path() : written.first(), causeOf(lockError)));
    case Turn::Taken:
        break;
    }
    const QString journal = stem + QStringLiteral(".journal");
    int journalError = 0;
    if (!finishPendingReplacements(journal, &journalError))
        return failed(PictureJob::tr("impossible de terminer le remplacement laissé par une conversion "
                                     "interrompue (%1) : %2")
                          .arg(journal, causeOf(journalError)));
    removeLeftTemporaries(stem + QLatin1Char('-'));
    // Checked only now: another run may have written them while this one waited.
    return standingOutputs(written, job.force);
}

// The picture decoded, and its size checked against the options that shape it.
// Whether the format is handed the picture's alpha plane.
bool keepsAlpha(const PictureJob &job)
{
    return job.format
        && (job.format->alpha == DisplayFormat::AlphaAlways
            || (job.format->alpha == DisplayFormat::AlphaWhenAsked
                && (job.encoding.alphaMask || job.encoding.transparent.isValid())));
}

// Why a picture whose decoding ended so is not converted; nothing when it was decoded.
std::optional<PictureOutcome> decodingProblem(const PictureJob &job, DecodedPicture::Status status,
                                              int systemError)
{
    switch (status) {
    case DecodedPicture::NotAPicture:
        return failed(PictureJob::tr("ce fichier ne semble pas être une image"));
    case DecodedPicture::TooLarge:
        if (job.frames.asked)
            return failed(PictureJob::tr("animation trop grande pour être convertie : ses images prendraient "
                                         "plus de %1 Mio (choisissez-en avec --frames A-B)")
                              .arg(maxDecodedBytes >> 20));
        return failed(PictureJob::tr("image trop grande pour être convertie"));
    case DecodedPicture::TooComplex:
        return failed(PictureJob::tr("image JPEG de trop de passes (plus de %1, ou trop longues à "
                                     "décoder), refusée")
                          .arg(maxJpegScans));
    case DecodedPicture::Unreadable:
        return failed(PictureJob::tr("lecture impossible : %1").arg(causeOf(systemError)));
    case DecodedPicture::Hostile:
        if (isInterrupted(job))
            return interruptedOutcome();
        return failed(PictureJob::tr("image illisible ou trop coûteuse à décoder"));
    case DecodedPicture::Truncated:
        return failed(PictureJob::tr("image incomplète : le fichier s'arrête avant la fin de l'image"));
    case DecodedPicture::Decoded:
        break;
    }
    if (isInterrupted(job))
        return interruptedOutcome();
    return std::nullopt;
}

std::optional<PictureOutcome> decode(const PictureJob &job, DecodedPicture *decoded)
{
    // A PNG too large to be decoded whole is decoded by rows and fitted as they come.
    RowFitting rows;
    rows.allowed = true;
    rows.keepAlpha = keepsAlpha(job);
    rows.interrupted = job.interrupted;
    *decoded = decodePicture(job.picturePath, job.encoding, job.interrupted, rows);
    if (const auto problem = decodingProblem(job, decoded->status, decoded->systemError))
        return problem;
    const QString shapeProblem = geometryProblem(
        decoded->fullSize.isValid() ? decoded->fullSize : decoded->image.size(), job.encoding);
    if (!shapeProblem.isEmpty())
        return failed(shapeProblem);
    if (decoded->frameCount != 1 && job.notice)
        job.notice(PictureJob::tr("image animée : seule la première de ses %1 est convertie (%2)")
                       .arg(decoded->frameCount > 1 ? PictureJob::tr("%1 images").arg(decoded->frameCount)
                                                    : PictureJob::tr("images"))
                       .arg(PictureJob::tr("--frames all pour toutes")));
    if (decoded->animatedPng && job.notice)
        job.notice(PictureJob::tr("PNG animé (APNG) : seule son image par défaut est convertie, Qt 5 n'en "
                                  "lit pas les autres images"));
    return std::nullopt;
}

// The frames of an animation prepared, and encoded when they share no palette chosen from all of
// them, on other threads while the next ones decode: as each frame comes, the one picture's
// steps, in order, over every core.
class FramePipeline
{
public:
    FramePipeline(const PictureJob &job, bool keepAlpha)
        : m_job(job)
        , m_keepAlpha(keepAlpha)
        , m_encodeEach(!framesShareAChosenPalette(*job.format, job.encoding))
    {
        const int helpers = qMax(1, QThread::idealThreadCount() - 1);
        for (int i = 0; i < helpers; ++i)
            m_threads.emplace_back([this] { work(); });
    }
    // A job that stops early leaves the frames still waiting undone.
    ~FramePipeline()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_waiting.clear();
            m_done = true;
        }
        m_wake.notify_all();
        for (std::thread &thread : m_threads)
            thread.join();
    }
    FramePipeline(const FramePipeline &) = delete;
    FramePipeline &operator=(const FramePipeline &) = delete;

    // The frames come whole and of one size: the first one tells whether the options fit them.
    // `fullSize`: the picture's own size, when it was decoded smaller.
    void add(QImage &&frame, QSize fullSize)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_next == 0)
            m_problem = geometryProblem(fullSize.isValid() ? fullSize : frame.size(), m_job.encoding);
        if (m_problem.isEmpty())
            m_waiting.push_back({m_next++, std::move(frame), fullSize});
        m_wake.notify_one();
    }

    // Once every frame has come: waits for them all, then encodes them when they share a palette.
    // Returns why they cannot be encoded, in French, or an empty text.
    QString finish()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (m_done)
                return m_problem;
            m_done = true;
        }
        m_wake.notify_all();
        for (std::thread &thread : m_threads)
            thread.join();
        m_threads.clear();
        if (m_problem.isEmpty() && !m_encodeEach) {
            const EncodingOptions common = frameOptions(*m_job.format, m_prepared, m_job.encoding);
            for (int i = 0; i < m_prepared.size(); ++i) {
                m_encoded[i] = encodeFrame(*m_job.format, std::move(m_prepared[i]), common, i);
                m_prepared[i] = PreparedPicture();
            }
        }
        return m_problem;
    }

    QVector<EncodedPicture> takeEncoded() { return std::move(m_encoded); }

private:
    struct Waiting
    {
        int index;
        QImage frame;
        QSize fullSize;
    };

    void work()
    {
        for (;;) {
            Waiting next;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait(lock, [this] { return m_done || !m_waiting.empty(); });
                if (m_waiting.empty())
                    return;
                next = std::move(m_waiting.front());
                m_waiting.pop_front();
                if (!m_problem.isEmpty())
                    continue;
            }
            PreparedPicture prepared
                = preparePicture(std::move(next.frame), m_job.encoding, m_keepAlpha, next.fullSize);
            QString problem
                = m_job.format->sizeProblem ? m_job.format->sizeProblem(prepared, m_job.encoding) : QString();
            EncodedPicture encoded;
            if (problem.isEmpty() && m_encodeEach) {
                encoded = encodeFrame(*m_job.format, std::move(prepared), m_job.encoding, next.index);
                prepared = PreparedPicture();
            }
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (m_problem.isEmpty())
                m_problem = problem;
            if (m_encoded.size() <= next.index) {
                m_encoded.resize(next.index + 1);
                m_prepared.resize(next.index + 1);
            }
            m_encoded[next.index] = std::move(encoded);
            m_prepared[next.index] = std::move(prepared);
        }
    }

    const PictureJob &m_job;
    const bool m_keepAlpha;
    const bool m_encodeEach;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Waiting> m_waiting;
    int m_next = 0;
    bool m_done = false;
    QString m_problem;
    QVector<PreparedPicture> m_prepared;
    QVector<EncodedPicture> m_encoded;
    std::vector<std::thread> m_threads;
};

// Every frame asked for, decoded, prepared and encoded with the job's settings, into one header.
std::optional<PictureOutcome> decodeAndEncodeFrames(const PictureJob &job, EncodedPicture *encoded)
{
    FramePipeline pipeline(job, keepsAlpha(job));
    const DecodedAnimation animation
        = decodeAnimation(job.picturePath, job.encoding, job.frames, job.interrupted,
                          [&](QImage &&frame, QSize fullSize) { pipeline.add(std::move(frame), fullSize); });
    if (const auto problem = decodingProblem(job, animation.status, animation.systemError))
        return problem;
    QString problem = animation.problem.isEmpty() ? pipeline.finish() : animation.problem;
    if (problem.isEmpty() && job.encoding.lvglVersion == 8 && qstrcmp(job.format->name, "lvgl") == 0
        && animation.delaysMs.size() > 255)
        problem = PictureJob::tr("LVGL 8 n'anime que 255 images au plus (lv_animimg_set_src en prend le "
                                 "nombre en uint8_t) : choisissez-en avec --frames A-B");
    if (!problem.isEmpty())
        return failed(problem);
    *encoded = assembleFrames(*job.format, pipeline.takeEncoded(), animation.delaysMs, job.encoding);
    return std::nullopt;
}

// The picture prepared for the display and encoded in the job's format; for bmp, only reduced to
// 5-6-5. Converted in place: the 32-bit picture's memory becomes the 16-bit one's.
std::optional<PictureOutcome> encode(const PictureJob &job, DecodedPicture &&decoded, EncodedPicture *encoded)
{
    const bool keepAlpha = keepsAlpha(job);
    PreparedPicture prepared = decoded.fitted
        ? preparePicture(std::move(decoded.image), optionsAfterFitting(job.encoding), keepAlpha)
        : preparePicture(std::move(decoded.image), job.encoding, keepAlpha, decoded.fullSize);
    if (!job.format) {
        encoded->shown = reduceTo565(std::move(prepared.colours), job.encoding.dither);
        return std::nullopt;
    }
    if (job.format->sizeProblem) {
        const QString problem = job.format->sizeProblem(prepared, job.encoding);
        if (!problem.isEmpty())
            return failed(problem);
    }
    *encoded = job.format->encode(std::move(prepared), job.encoding);
    return std::nullopt;
}

// What the BMP file shows, when it is written: what the display shows, reduced in place when no
// preview needs every colour, or drawn in 5-6-5 when the encoder draws it from its pixels.
QImage bmpPixels(const PictureJob &job, EncodedPicture &encoded)
{
    if (job.format && !job.bmp) {
        if (!job.preview)
            encoded.shown = QImage();
        return QImage();
    }
    if (encoded.shown.isNull())
        return encoded.shownPicture(QImage::Format_RGB16);
    if (!job.preview)
        encoded.shown.convertTo(QImage::Format_RGB16);
    return encoded.shown;
}

// avr-gcc's limit on each array, with --progmem.
std::optional<PictureOutcome> progmemProblem(const PictureJob &job, const EncodedPicture &encoded,
                                             const QImage16 &image)
{
    if (!job.encoding.progmem)
        return std::nullopt;
    QVector<qint64> sizes;
    for (const CArray &array : encoded.header.arrays)
        sizes << arrayBytes(array);
    if (!job.format)
        sizes << image.bmp16FileSize();
    const qint64 largest = *std::max_element(sizes.begin(), sizes.end());
    if (largest > maxProgmemArrayBytes)
        return failed(PictureJob::tr("image trop grande pour --progmem : le tableau ferait %1 octets, "
                                     "avr-gcc en accepte 32 767 au plus (environ 128 x 127 pixels)")
                          .arg(largest));
    return std::nullopt;
}

// Every output written, replacing the earlier ones together.
PictureOutcome write(const PictureJob &job, const OutputPaths &paths, const EncodedPicture &encoded,
                     const QImage16 &image, const QVector<RawFile> &rawFiles, const QString &stem)
{
    OutputRequest request;
    request.bmp = !job.format || job.bmp;
    request.header = job.encoding;
    request.pixels = job.format ? &encoded.header : nullptr;
    if (job.preview)
        request.preview = encoded.drawnShown.isNull() ? PictureRows(encoded.shown) : encoded.drawnShown;
    request.rawFiles = rawFiles;
    request.interrupted = job.interrupted;
    request.temporaryPrefix = stem + QLatin1Char('-');
    request.journal = stem + QStringLiteral(".journal");
    request.replaceLinks = true;
    int systemError = 0;
    QString failedPath;
    switch (writeOutputFiles(image, paths, request, &systemError, &failedPath)) {
    case WriteOutcome::Interrupted:
        return interruptedOutcome();
    case WriteOutcome::Written:
        return {PictureOutcome::Converted, QString()};
    default:
        return failed(PictureJob::tr("impossible d'écrire %1 : %2").arg(failedPath, causeOf(systemError)));
    }
}

} // namespace

QStringList plannedOutputs(const PictureJob &job, const OutputPaths &paths)
{
    QStringList written;
    if (!job.format || job.bmp)
        written << paths.bmp;
    written << paths.header;
    if (job.preview)
        written << paths.preview;
    if (job.encoding.split)
        written << paths.source;
    return written;
}

PictureOutcome runPictureJob(const PictureJob &job)
{
    const QFileInfo picture(job.picturePath);
    if (const auto problem = placesProblem(job, picture))
        return *problem;
    const OutputPaths paths = outputPaths(job.outputFolder, picture.fileName());
    const QStringList written = plannedOutputs(job, paths);
    const QString stem = lockStem(job.outputFolder, paths);
    OutputLock lock(stem + QStringLiteral(".lock"));
    if (const auto problem = takeOutputs(lock, job, written, stem))
        return *problem;

    EncodedPicture encoded;
    if (job.frames.asked) {
        if (const auto problem = decodeAndEncodeFrames(job, &encoded))
            return *problem;
    } else {
        DecodedPicture decoded;
        if (const auto problem = decode(job, &decoded))
            return *problem;
        if (const auto problem = encode(job, std::move(decoded), &encoded))
            return *problem;
    }
    const QImage16 image(bmpPixels(job, encoded)); // reduced to 5-6-5 a row at a time as it is written
    if (const auto problem = progmemProblem(job, encoded, image))
        return *problem;
    // The raw files' names come with the arrays: checked once these are known.
    const QVector<RawFile> rawFiles = job.binary && job.format
        ? rawArrayFiles(paths.header, encoded.header, encoded.imageFileHeader)
        : QVector<RawFile>();
    QStringList rawPaths;
    for (const RawFile &raw : rawFiles)
        rawPaths << raw.path;
    if (const auto problem = standingOutputs(rawPaths, job.force))
        return *problem;
    return write(job, paths, encoded, image, rawFiles, stem);
}
