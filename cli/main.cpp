// quillon-convert: the window's conversion from the command line, for build pipelines.
//
//     quillon-convert [OPTION]... PICTURE...
//
// The command line is parsed (options.h), the pictures converted by the engine's pipeline
// (batch_conversion.h) and the outcomes reported on standard error.

#include "batch_conversion.h"
#include "child_decoder.h"
#include "header_decoding.h"
#include "options.h"
#include "output_plan.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTranslator>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

// One line of standard error, rewritten as the pictures are done. A terminal that knows escape
// codes has the line cleared with one; a dumb one (TERM dumb or unset) gets spaces over the
// longer text it showed before.
class ProgressLine
{
public:
    ProgressLine(std::FILE *stream, bool shown)
        : m_stream(stream)
        , m_shown(shown)
        , m_escapeCodes(!qEnvironmentVariableIsEmpty("TERM") && qgetenv("TERM") != "dumb")
    { }

    void show(const QString &text)
    {
        if (!m_shown)
            return;
        const std::lock_guard<std::mutex> lock(m_mutex);
        const QByteArray line = text.toLocal8Bit();
        if (m_escapeCodes) {
            std::fprintf(m_stream, "\r\033[K%s", line.constData());
        } else {
            std::fprintf(m_stream, "\r%s%s\r%s", line.constData(),
                         QByteArray(qMax(0, m_width - line.size()), ' ').constData(), line.constData());
            m_width = qMax(m_width, line.size());
        }
        std::fflush(m_stream);
    }

private:
    std::FILE *const m_stream;
    const bool m_shown;
    const bool m_escapeCodes;
    int m_width = 0;
    std::mutex m_mutex;
};

// Standard error for quillon-convert's own messages. The libraries' chatter on standard error
// (libpng prints "libpng error: Read Error" there, in English, by itself) is sent nowhere: each
// failure is reported once, in French, by the job. Under AddressSanitizer it is kept, since the
// sanitizer's reports go there too.
std::FILE *ownStandardError()
{
#if defined(__SANITIZE_ADDRESS__)
    return stderr;
#else
    const int own = dup(STDERR_FILENO);
    std::FILE *stream = own >= 0 ? fdopen(own, "w") : nullptr;
    const int nowhere = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (!stream || nowhere < 0 || dup2(nowhere, STDERR_FILENO) < 0) {
        if (stream)
            std::fclose(stream);
        if (nowhere >= 0)
            close(nowhere);
        return stderr;
    }
    close(nowhere);
    std::setvbuf(stream, nullptr, _IOLBF, 0);
    return stream;
#endif
}

// The last line of a batch: how many pictures were converted, skipped (files that stood there,
// without --force) and failed, « 198 images converties, 1 ignorée, 1 en échec ».
QString batchSummary(const std::vector<PictureOutcome> &outcomes)
{
    int counts[3] = {0, 0, 0};
    for (const PictureOutcome &outcome : outcomes) {
        if (outcome.status == PictureOutcome::Converted || outcome.status == PictureOutcome::Skipped)
            ++counts[outcome.status];
        else
            ++counts[2];
    }
    // French puts 0 and 1 in the singular, English only 1: zero has a message of its own.
    const QString converted = counts[0] == 0 ? Options::tr("%1 image convertie", "none")
        : counts[0] == 1                     ? Options::tr("%1 image convertie")
                                             : Options::tr("%1 images converties");
    const QString skipped = counts[1] == 0 ? Options::tr("%1 ignorée", "none")
        : counts[1] == 1                   ? Options::tr("%1 ignorée")
                                           : Options::tr("%1 ignorées");
    return QStringLiteral("%1, %2, %3\n")
        .arg(converted.arg(counts[0]), skipped.arg(counts[1]), Options::tr("%1 en échec").arg(counts[2]));
}

// The reader of another package that one of the first pictures of the command line needs, as its
// first bytes tell, looked for before the command line is parsed: among the first 64 arguments that
// are not options, or nothing. An option's value is looked at too, and names no picture, but
// --palette's, a file whose bytes ask for no reader, is passed over.
QByteArray readerApartAmong(int argc, char **argv)
{
    constexpr int lookedAt = 64;
    bool options = true;
    for (int i = 1, looked = 0; i < argc && looked < lookedAt; ++i) {
        if (options && std::strcmp(argv[i], "--") == 0) {
            options = false;
            continue;
        }
        if (options && std::strcmp(argv[i], "--palette") == 0) {
            ++i; // and its value
            continue;
        }
        if (options && argv[i][0] == '-')
            continue;
        ++looked;
        const QByteArray reader = readerApartOf(argv[i]);
        if (!reader.isEmpty())
            return reader;
    }
    return QByteArray();
}

// SIGINT and SIGTERM: the jobs are told, stop writing and leave no temporary file, and the run
// ends with 128 + the signal's number. A second signal ends it at once, as usual.
std::atomic<int> interruption {0};

void interrupt(int signal)
{
    interruption = signal;
    std::signal(signal, SIG_DFL);
}

void stopCleanlyOnInterruption()
{
    struct sigaction action = {};
    action.sa_handler = interrupt;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM})
        sigaction(signal, &action, nullptr);
}

// Makes `folder` with its parents, as mkdir -p does; returns why it could not, in French, or an
// empty text.
QString folderProblem(const QString &folder)
{
    const QByteArray path = QFile::encodeName(QDir::cleanPath(folder));
    for (int end = 1; end <= path.size(); ++end) {
        if (end < path.size() && path[end] != '/')
            continue;
        const QByteArray made = path.left(end);
        if (::mkdir(made.constData(), 0777) == 0)
            continue;
        const int error = errno;
        struct stat status;
        if (::stat(made.constData(), &status) == 0 && S_ISDIR(status.st_mode))
            continue;
        if (error == EEXIST || error == ENOTDIR)
            return Options::tr("%1 existe et n'est pas un dossier").arg(QFile::decodeName(made));
        return systemErrorText(error);
    }
    return QString();
}

// Other packages' readers decode in children of a server forked now, while this process has one
// thread and nothing of Qt's made, when one of the first pictures needs one; a later picture
// starts it as a program.
void startDecoderServer(int argc, char **argv)
{
    const QByteArray reader = readerApartAmong(argc, argv);
    if (!reader.isEmpty())
        forkDecoderServer(reader == "?" ? QByteArray() : reader);
}

// Each picture's job, under its own array name (two pictures that would write the same files
// have the same name, and were refused with it), and with --bundle, the bundle's.
BatchJob batchJobOf(const Options &options)
{
    BatchJob batchJob;
    for (int i = 0; i < options.pictures.size(); ++i) {
        PictureJob job = pictureJobOf(options, i);
        job.interrupted = &interruption;
        job.bundled = !options.bundle.isEmpty();
        batchJob.pictures.push_back(job);
    }
    batchJob.bundle = options.bundle;
    batchJob.bundleJob = options.job;
    if (!batchJob.pictures.empty())
        batchJob.bundleJob.outputFolder = batchJob.pictures.front().outputFolder;
    batchJob.bundleJob.interrupted = &interruption;
    batchJob.interrupted = &interruption;
    return batchJob;
}

// Why the run is refused before anything is written, told on `errors`: a picture of the call
// that another one's outputs (or its own) would write over, an output folder that cannot be made.
bool refusedBeforeWriting(const BatchJob &batchJob, const QString &outputFolder, std::FILE *errors)
{
    const std::vector<PictureJob> &jobs = batchJob.pictures;
    const QVector<OverwrittenInput> overwritten = outputsThatAreInputs(jobs);
    for (const OverwrittenInput &refused : overwritten)
        print(errors,
              Options::tr("quillon-convert: %1 : %2, qu'elle écrirait, est l'image %3 de la même commande ; "
                          "rien n'a été écrit\n")
                  .arg(jobs[size_t(refused.job)].picturePath, refused.output,
                       jobs[size_t(refused.input)].picturePath));
    if (!overwritten.isEmpty())
        return true;
    // A missing output folder is made, with its parents, once nothing stands in the way.
    if (outputFolder.isEmpty() || QFileInfo(outputFolder).isDir())
        return false;
    const QString problem = folderProblem(outputFolder);
    if (problem.isEmpty())
        return false;
    print(errors,
          Options::tr("quillon-convert: impossible de créer le dossier de destination %1 : %2\n")
              .arg(outputFolder, problem));
    return true;
}

// With --verbose, every file put in place, picture after picture, an interrupted run's too, then
// the bundle's.
void reportFilesWritten(const BatchOutcome &outcome, std::FILE *errors)
{
    std::vector<PictureOutcome> outcomes = outcome.pictures;
    outcomes.push_back(outcome.bundle);
    for (const PictureOutcome &picture : outcomes) {
        for (const QString &file : picture.written)
            print(errors, Options::tr("quillon-convert: %1 : écrit\n").arg(file));
        for (const QString &file : picture.unchanged)
            print(errors, Options::tr("quillon-convert: %1 : inchangé, laissé tel quel\n").arg(file));
    }
}

// Each picture that was not converted, the count of a batch and the bundle's failure, told on
// `errors`: the exit status.
int reportOutcomes(const BatchJob &batchJob, const BatchOutcome &outcome, std::FILE *errors)
{
    int exitCode = 0;
    for (size_t i = 0; i < outcome.pictures.size(); ++i) {
        if (outcome.pictures[i].status == PictureOutcome::Converted)
            continue;
        exitCode = 1;
        print(errors,
              Options::tr("quillon-convert: %1 : %2\n")
                  .arg(batchJob.pictures[i].picturePath, outcome.pictures[i].message));
    }
    if (outcome.pictures.size() > 1)
        print(errors, batchSummary(outcome.pictures));
    if (outcome.bundle.status != PictureOutcome::Converted) {
        const QString header
            = QStringLiteral("%1/%2.h").arg(batchJob.bundleJob.outputFolder, QLatin1String(batchJob.bundle));
        const QString message = outcome.bundleLeftOut
            ? Options::tr("non écrit : une image du paquet n'a pas été convertie")
            : outcome.bundle.message;
        print(errors, Options::tr("quillon-convert: %1 : %2\n").arg(header, message));
        exitCode = 1;
    }
    return exitCode;
}

// The pictures of the command line converted, and their outcomes told: the exit status.
int convertPictures(const Options &options, std::FILE *errors, bool errorsOnTerminal)
{
    const BatchJob batchJob = batchJobOf(options);
    if (refusedBeforeWriting(batchJob, options.job.outputFolder, errors))
        return 1;
    ProgressLine progress(errors, batchJob.pictures.size() > 1 && errorsOnTerminal);
    std::mutex noticeMutex;
    BatchObserver observer;
    observer.notice = [&](int picture, const QString &text) {
        const std::lock_guard<std::mutex> lock(noticeMutex);
        print(errors,
              Options::tr("quillon-convert: %1 : %2\n")
                  .arg(batchJob.pictures[size_t(picture)].picturePath, text));
    };
    observer.progress = [&](int done, int count, int picture) {
        progress.show(QStringLiteral("[%1/%2] %3")
                          .arg(done)
                          .arg(count)
                          .arg(QFileInfo(batchJob.pictures[size_t(picture)].picturePath).fileName()));
    };
    const BatchOutcome outcome = convertBatch(batchJob, observer);
    progress.show(QString());
    if (options.verbose)
        reportFilesWritten(outcome, errors);
    if (const int signal = interruption) {
        print(errors, Options::tr("quillon-convert: interrompu\n"));
        return 128 + signal;
    }
    return reportOutcomes(batchJob, outcome, errors);
}

// --decode: the headers read back into pictures.
int decodeHeadersOf(const Options &options, std::FILE *errors)
{
    HeaderDecodingJob job;
    job.headers = options.pictures;
    job.outputFolder = options.job.outputFolder;
    job.force = options.job.force;
    job.verbose = options.verbose;
    job.format = options.job.format;
    job.size = options.decodeSize;
    job.swapBytes = options.job.encoding.pixels.swapBytes;
    job.bgr = options.job.encoding.pixels.bgr;
    return decodeHeaders(job, errors);
}

} // namespace

int main(int argc, char *argv[])
{
    if (isDecoderChild(argc, argv))
        return runDecoderChild(argc, argv);
    startDecoderServer(argc, argv);
    stopCleanlyOnInterruption();
#ifdef SIGXFSZ
    // Past a file-size limit a write then fails like on a full disk: reported, and the
    // temporary file removed, instead of the process being killed in the middle.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    const bool errorsOnTerminal = isatty(STDERR_FILENO);
    std::FILE *const errors = ownStandardError();
    QCoreApplication app(argc, argv);
    // The messages are written in French; what the headers hold is the same in every language.
    QTranslator english;
    if (!messagesInFrench() && english.load(QStringLiteral(":/translations/quillon-convert_en.qm")))
        QCoreApplication::installTranslator(&english);
    const Options options = parseOptions(QCoreApplication::arguments());
    switch (options.action) {
    case Options::ShowHelp:
        print(stdout, helpText());
        return 0;
    case Options::ShowVersion:
        print(stdout, versionText());
        return 0;
    case Options::UsageError:
        print(errors,
              Options::tr("quillon-convert: %1\nEssayez « quillon-convert --help » pour plus "
                          "d'informations.\n")
                  .arg(options.error));
        return 2;
    case Options::Decode:
        return decodeHeadersOf(options, errors);
    case Options::Convert:
        break;
    }
    return convertPictures(options, errors, errorsOnTerminal);
}
