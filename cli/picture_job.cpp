#include "picture_job.h"

#include "bundle_table.h"
#include "child_decoder.h"
#include "frame_table.h"
#include "header_pictures.h"
#include "output_batch.h"
#include "output_files.h"
#include "output_journal.h"
#include "output_lock.h"
#include "picture_decoding.h"
#include "qimage16.h"
#include "rle_arrays.h"
#include "streaming_scaler.h"
#include "tone.h"

#include <QFile>
#include <QFileInfo>
#include <QTextCodec>
#include <QThread>

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

#include <sys/stat.h>

namespace {

QString causeOf(int systemError)
{
    return systemErrorText(systemError);
}

PictureOutcome failed(const QString &message)
{
    return {PictureOutcome::Failed, message};
}

} // namespace

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

namespace {

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
// never followed. The reader of coded arrays that every header of the folder shares stands in no
// one's way as it is.
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
        return failed(PictureJob::tr("impossible d'écrire %1 : c'est un dossier").arg(standing(S_IFDIR)));
    return std::nullopt;
}

// The job's turn at its outputs: the lock beside them taken, then the renames that a run killed
// while it replaced these files left completed, and its temporary files removed.
std::optional<PictureOutcome> takeOutputs(OutputLock &lock, const PictureJob &job, const QStringList &written,
                                          const OutputPlaces &places, const OutputPaths &paths,
                                          OutputBatch *batch)
{
    OutputLock::Waiting waiting;
    waiting.interrupted = job.interrupted;
    waiting.told = [&](OutputLock::Wait wait) {
        if (!job.notice)
            return;
        if (wait == OutputLock::Wait::Foreign)
            job.notice(PictureJob::tr("le verrou %1 appartient à l'utilisateur %2 : attente de %3 s au plus "
                                      "qu'il soit retiré")
                           .arg(lock.path(), userName(lock.owner()))
                           .arg(unjudgedLockWaitSeconds));
        else
            job.notice(PictureJob::tr("le verrou %1 ne dit pas quel processus le tient (vide, "
                                      "illisible, d'une autre machine ou pas un fichier "
                                      "ordinaire) : attente de %2 s au plus avant de le remplacer")
                           .arg(lock.path())
                           .arg(unjudgedLockWaitSeconds));
    };
    switch (lock.take(waiting)) {
    case OutputLock::Interrupted:
        return interruptedOutcome();
    case OutputLock::Refused:
        return failed(PictureJob::tr("le verrou %1, de l'utilisateur %2, est resté en place %3 s : seul "
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
        return failed(PictureJob::tr("impossible d'écrire %1 : %2")
                          .arg(lockError == EISDIR ? lock.path() : written.first(), causeOf(lockError)));
    }
    case OutputLock::Taken:
        break;
    }
    const PendingReplacements pending = finishPendingReplacements(
        places, paths, batch ? &batch->temporaryFileNames() : nullptr, lock.foundStanding());
    switch (pending.status) {
    case PendingReplacements::Foreign:
        return failed(PictureJob::tr("le journal %1 appartient à l'utilisateur %2 : il n'est pas suivi, et "
                                     "rien n'a été écrit")
                          .arg(places.journal, userName(pending.owner)));
    case PendingReplacements::Failed:
        return failed(PictureJob::tr("impossible de terminer le remplacement laissé par une conversion "
                                     "interrompue (%1) : %2")
                          .arg(places.journal, causeOf(pending.systemError)));
    case PendingReplacements::Completed:
        break;
    }
    for (const QString &kept : pending.keptTargets) {
        if (job.notice)
            job.notice(
                PictureJob::tr("%1 a changé depuis la conversion interrompue qui devait le remplacer : "
                               "laissé tel quel")
                    .arg(kept));
    }
    // Checked only now: another run may have written them while this one waited.
    return standingOutputs(written, job.force);
}

// Why a picture whose decoding ended so is not converted; nothing when it was decoded.
// `frameCount`: the picture's frames, when its frames were asked for (1 for a still picture, 0
// when they are not known).
std::optional<PictureOutcome> decodingProblem(const PictureJob &job, DecodedPicture::Status status,
                                              int systemError, int frameCount = 1)
{
    switch (status) {
    case DecodedPicture::NotAPicture:
        if (systemError == ENOMEM)
            return failed(PictureJob::tr("le lecteur de ce format a manqué de mémoire : il a atteint la "
                                         "limite de %1 Mio de son processus, image refusée")
                              .arg(readerMemoryMiB));
        return failed(PictureJob::tr("ce fichier ne semble pas être une image"));
    case DecodedPicture::TooLarge:
        if (job.frames.asked && frameCount != 1)
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
    // A PNG or a TIFF too large to be decoded whole is decoded by rows and fitted as they come.
    RowFitting rows;
    rows.allowed = true;
    rows.keepAlpha = keepsAlpha(job.format, job.encoding);
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
        , m_eachShown(job.preview)
    {
        const int helpers = qMax(1, QThread::idealThreadCount() - 1);
        try {
            for (int i = 0; i < helpers; ++i)
                m_threads.emplace_back([this] { work(); });
        } catch (const std::system_error &) {
            // Out of threads (a process or user limit): the helpers started do the work, or, if
            // none did, finish() does it on the calling thread.
        }
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

    // The frames come whole and of one size: the first one tells whether the options fit them,
    // and what shaping all of them would take when the decoder counted them (`frames`), before
    // any is shaped; otherwise the frames are counted as they come. `fullSize`: the picture's own
    // size, when it was decoded smaller.
    void add(QImage &&frame, QSize fullSize, int frames)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_next == 0)
            m_size = fullSize.isValid() ? fullSize : frame.size();
        if (m_problem.isEmpty() && (m_next == 0 || frames == 0))
            m_problem = geometryProblem(m_size, m_job.encoding, frames > 0 ? frames : m_next + 1);
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
        if (m_threads.empty())
            work();
        for (std::thread &thread : m_threads)
            thread.join();
        m_threads.clear();
        if (m_problem.isEmpty() && !m_encodeEach) {
            const EncodingOptions common = frameOptions(*m_job.format, m_prepared, m_job.encoding);
            for (int i = 0; i < m_prepared.size(); ++i) {
                m_encoded[i] = encodeFrame(*m_job.format, std::move(m_prepared[i]), common, i, m_eachShown);
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
            PreparedPicture prepared;
            QString problem;
            EncodedPicture encoded;
            try {
                prepared = preparePicture(std::move(next.frame), m_job.encoding, m_keepAlpha, next.fullSize);
                problem = m_job.format->sizeProblem ? m_job.format->sizeProblem(prepared, m_job.encoding)
                                                    : QString();
                if (problem.isEmpty() && m_encodeEach) {
                    encoded = encodeFrame(*m_job.format, std::move(prepared), m_job.encoding, next.index,
                                          m_eachShown);
                    prepared = PreparedPicture();
                }
            } catch (const std::bad_alloc &) {
                problem = causeOf(ENOMEM);
                prepared = PreparedPicture();
                encoded = EncodedPicture();
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
    const bool m_eachShown; // each frame's preview is written
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Waiting> m_waiting;
    int m_next = 0;
    QSize m_size; // the frames' own
    bool m_done = false;
    QString m_problem;
    QVector<PreparedPicture> m_prepared;
    QVector<EncodedPicture> m_encoded;
    std::vector<std::thread> m_threads;
};

// Every frame asked for, decoded, prepared and encoded with the job's settings, into one header;
// with a preview, what each frame shows, in `previews`.
std::optional<PictureOutcome> decodeAndEncodeFrames(const PictureJob &job, EncodedPicture *encoded,
                                                    QVector<PictureRows> *previews)
{
    FramePipeline pipeline(job, keepsAlpha(job.format, job.encoding));
    const DecodedAnimation animation
        = decodeAnimation(job.picturePath, job.encoding, job.frames, job.interrupted,
                          [&](QImage &&frame, QSize fullSize, int frames) {
                              pipeline.add(std::move(frame), fullSize, frames);
                          });
    if (const auto problem
        = decodingProblem(job, animation.status, animation.systemError, animation.frameCount))
        return problem;
    QString problem = animation.problem.isEmpty() ? pipeline.finish() : animation.problem;
    if (problem.isEmpty() && job.format->framesProblem)
        problem = job.format->framesProblem(animation.delaysMs.size(), job.encoding);
    if (!problem.isEmpty())
        return failed(problem);
    QVector<EncodedPicture> frames = pipeline.takeEncoded();
    for (const EncodedPicture &frame : frames) {
        if (job.preview)
            *previews << (frame.drawnShown.isNull() ? PictureRows(frame.shown) : frame.drawnShown);
    }
    *encoded = assembleFrames(*job.format, std::move(frames), animation.delaysMs, job.encoding);
    return std::nullopt;
}

// The picture prepared for the display and encoded in the job's format; for bmp, only reduced to
// 5-6-5. Converted in place: the 32-bit picture's memory becomes the 16-bit one's.
std::optional<PictureOutcome> encode(const PictureJob &job, DecodedPicture &&decoded, EncodedPicture *encoded)
{
    const bool keepAlpha = keepsAlpha(job.format, job.encoding);
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
    return encoded.bmpPicture(job.preview);
}

// The limit on each array, with --progmem: the format's (DisplayFormat::progmemArrayBytes), or
// for the BMP file's bytes avr-gcc's on an object.
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
    // A display format's arrays go to far program memory in pieces beyond avr-gcc's limit
    // (display_header.h); the BMP file's bytes are written as they come, in one array.
    const qint64 limit = job.format ? job.format->progmemArrayBytes : maxProgmemArrayBytes;
    if (largest <= limit)
        return std::nullopt;
    if (limit > maxProgmemArrayBytes)
        return failed(PictureJob::tr("image trop grande pour --progmem : le tableau ferait %1 octets, plus "
                                     "que la mémoire programme de tout AVR (393 216 octets au plus, ceux "
                                     "d'un ATxmega384C3 ; 262 144 sur un ATmega2560)")
                          .arg(largest));
    return failed(PictureJob::tr("image trop grande pour --progmem : le tableau ferait %1 octets, "
                                 "avr-gcc en accepte 32 767 au plus (environ 128 x 127 pixels)")
                      .arg(largest));
}

// How writing the files went, as the job tells it.
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
        outcome = failed(PictureJob::tr("impossible d'écrire %1 : %2").arg(failedPath, causeOf(systemError)));
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
    const std::array<uchar, 256> curve = toneCurve(options.tone);
    if (array.cause != UniformArray::NoInk
        && std::all_of(curve.begin(), curve.end(), [&](uchar level) { return level == curve[0]; }))
        return PictureJob::tr("%1 : tous ses pixels sont %2 : --brightness %3 et --contrast %4 donnent le "
                              "même niveau, %5, à chaque pixel de toute image, quel que soit le seuil "
                              "(rapprochez-les de 0)")
            .arg(name, bits)
            .arg(options.tone.brightness)
            .arg(options.tone.contrast)
            .arg(curve[0]);
    switch (array.cause) {
    case UniformArray::AllDark:
        return PictureJob::tr(
                   "%1 : tous ses pixels sont %2 : l'image est partout plus sombre que le seuil %3 "
                   "(essayez --threshold N avec N plus bas)")
            .arg(name, bits)
            .arg(options.threshold);
    case UniformArray::DarkOnTransparency:
        return PictureJob::tr(
                   "%1 : tous ses pixels sont %2 : l'image est partout plus sombre que le seuil %3, "
                   "ses pixels transparents posés sur du noir (une icône sombre sur fond "
                   "transparent ? essayez --background white --invert, sinon --threshold N avec N "
                   "plus bas)")
            .arg(name, bits)
            .arg(options.threshold);
    case UniformArray::AllLight:
        return PictureJob::tr(
                   "%1 : tous ses pixels sont %2 : l'image est partout au moins aussi claire que le "
                   "seuil %3 (essayez --threshold N avec N plus haut)")
            .arg(name, bits)
            .arg(options.threshold);
    case UniformArray::NoInk:
        break;
    }
    return PictureJob::tr(
               "%1 : plan tout blanc, aucun pixel n'étant plus près de son encre que du blanc ou de "
               "l'autre encre (--dither répartit l'encre des teintes intermédiaires)")
        .arg(name);
}

// The job's outcome, once its files are written: the warnings of its arrays whose pixels are all
// alike told when it is converted.
void tellWritten(const PictureJob &job, const QVector<UniformArray> &uniform, PictureOutcome *outcome,
                 const PictureOutcome &written)
{
    *outcome = written;
    if (written.status == PictureOutcome::Converted && job.notice) {
        for (const UniformArray &array : uniform)
            job.notice(uniformWarning(array, job.encoding));
    }
}

// Every output written, replacing the earlier ones together: at once, or with a batch's other
// pictures, the lock then held until they are committed.
void write(const PictureJob &job, const OutputPaths &paths, const EncodedPicture &encoded,
           const QImage16 &image, const QVector<RawFile> &rawFiles, const OutputPlaces &places,
           std::unique_ptr<OutputLock> lock, OutputBatch *batch, PictureOutcome *outcome)
{
    OutputRequest request;
    request.bmp = !job.format || job.bmp;
    request.header = job.encoding;
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
        tellWritten(job, encoded.uniform, outcome, writtenOutcome(written, systemError, failedPath, files));
        return;
    }
    StagedOutputs staged;
    const WriteOutcome written = stageOutputFiles(image, paths, request, &staged, &systemError, &failedPath);
    if (written != WriteOutcome::Written) {
        *outcome = writtenOutcome(written, systemError, failedPath, WrittenFiles());
        return;
    }
    batch->commit(std::move(staged), std::move(lock),
                  [&job, uniform = encoded.uniform, outcome](const CommitOutcome &committed) {
                      tellWritten(job, uniform, outcome,
                                  writtenOutcome(committed.outcome, committed.systemError,
                                                 committed.failedPath, committed.files));
                  });
}

// The picture decoded, shaped, encoded and written, once the job holds its outputs: its outcome
// returned when it is known at once, or set in `*outcome` once its files are written.
std::optional<PictureOutcome> convertAndWrite(const PictureJob &job, const OutputPaths &paths,
                                              const OutputPlaces &places, std::unique_ptr<OutputLock> lock,
                                              OutputBatch *batch, PictureOutcome *outcome)
{
    EncodedPicture encoded;
    QVector<PictureRows> framePreviews;
    if (job.frames.asked) {
        if (const auto problem = decodeAndEncodeFrames(job, &encoded, &framePreviews))
            return *problem;
    } else {
        DecodedPicture decoded;
        if (const auto problem = decode(job, &decoded))
            return *problem;
        if (const auto problem = encode(job, std::move(decoded), &encoded))
            return *problem;
    }
    // The one line that tells the format again to --decode.
    if (job.format)
        encoded.header.commentLines << decodingLine(*job.format, job.encoding);
    const QImage16 image(bmpPixels(job, encoded)); // reduced to 5-6-5 a row at a time as it is written
    if (const auto problem = progmemProblem(job, encoded, image))
        return *problem;
    // The raw files' names come with the arrays, the frames' previews with the frames: checked once
    // these are known.
    QVector<RawFile> rawFiles = job.binary && job.format
        ? rawArrayFiles(paths.header, encoded.header, encoded.imageFileHeader)
        : QVector<RawFile>();
    for (int frame = 0; frame < framePreviews.size(); ++frame)
        rawFiles.push_back({framePreviewPath(paths, frame), QByteArray(), framePreviews[frame]});
    QStringList rawPaths;
    for (const RawFile &raw : rawFiles)
        rawPaths << raw.path;
    if (const auto problem = standingOutputs(rawPaths, job.force))
        return *problem;
    write(job, paths, encoded, image, rawFiles, places, std::move(lock), batch, outcome);
    return std::nullopt;
}

} // namespace

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
    if (job.encoding.split)
        written << paths.source;
    if (job.format && codesByRunLength(*job.format, job.encoding))
        written << paths.reader;
    return written;
}

namespace {

// A picture of a bundle: decoded and encoded, its header handed over; nothing written.
std::optional<PictureOutcome> convertBundled(const PictureJob &job)
{
    EncodedPicture encoded;
    DecodedPicture decoded;
    if (const auto problem = decode(job, &decoded))
        return *problem;
    if (const auto problem = encode(job, std::move(decoded), &encoded))
        return *problem;
    // The format told to --decode once for the bundle: its pictures share it.
    encoded.header.commentLines << decodingLine(*job.format, job.encoding);
    if (const auto problem = progmemProblem(job, encoded, QImage16()))
        return *problem;
    // NAME_images holds 16-bit pointers on AVR, which reach no far array.
    const CArray *pixels = bundledPixels(encoded.header);
    if (pixels && liesFar(encoded.header, *pixels))
        return failed(
            PictureJob::tr("--bundle : le tableau %1 ferait %2 octets ; au-delà de 32 767, il irait "
                           "sur AVR en mémoire programme lointaine, que les pointeurs d'un "
                           "tableau ne peuvent désigner")
                .arg(QString::fromLatin1(pixels->name))
                .arg(arrayBytes(*pixels)));
    *job.bundled = std::move(encoded.header);
    PictureOutcome outcome {PictureOutcome::Converted, QString()};
    tellWritten(job, encoded.uniform, &outcome, outcome);
    return outcome;
}

std::optional<PictureOutcome> convert(const PictureJob &job, OutputBatch *batch, PictureOutcome *outcome)
{
    const QFileInfo picture(job.picturePath);
    if (const auto problem = placesProblem(job, picture))
        return *problem;
    if (job.bundled) {
        try {
            return convertBundled(job);
        } catch (const std::bad_alloc &) {
            return failed(causeOf(ENOMEM));
        }
    }
    const OutputPaths paths = outputPaths(job.outputFolder, picture.fileName());
    const QStringList written = plannedOutputs(job, paths);
    const OutputPlaces places = outputPlaces(paths);
    auto lock = std::make_unique<OutputLock>(places.lock, "quillon-convert");
    if (const auto problem = takeOutputs(*lock, job, written, places, paths, batch))
        return *problem;
    // Any step that cannot have its memory refuses the picture, which is never written in part.
    try {
        return convertAndWrite(job, paths, places, std::move(lock), batch, outcome);
    } catch (const std::bad_alloc &) {
        return failed(causeOf(ENOMEM));
    }
}

} // namespace

void runPictureJob(const PictureJob &job, OutputBatch *batch, PictureOutcome *outcome)
{
    if (const auto problem = convert(job, batch, outcome))
        *outcome = *problem;
}

PictureOutcome writeBundle(const PictureJob &job, const QByteArray &name, const QVector<CHeader> &pictures)
{
    const OutputPaths paths = outputPaths(job.outputFolder, QString::fromLatin1(name));
    const OutputPlaces places = outputPlaces(paths);
    auto lock = std::make_unique<OutputLock>(places.lock, "quillon-convert");
    PictureOutcome outcome;
    if (const auto problem = takeOutputs(*lock, job, plannedOutputs(job, paths), places, paths, nullptr))
        return *problem;
    try {
        EncodedPicture encoded;
        encoded.header = bundleHeader(name, pictures);
        write(job, paths, encoded, QImage16(), {}, places, std::move(lock), nullptr, &outcome);
    } catch (const std::bad_alloc &) {
        return failed(causeOf(ENOMEM));
    }
    return outcome;
}
