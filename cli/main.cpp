// quillon-convert: the window's conversion from the command line, for build pipelines.
//
//     quillon-convert [OPTION]... PICTURE...

#include "child_decoder.h"
#include "header_decoding.h"
#include "options.h"
#include "output_batch.h"
#include "picture_job.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QTranslator>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

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

// Pictures of which one would write over another one of the call (or over itself): the whole
// run is refused before anything is written, since which comes first is down to the threads. One
// pass over the pictures, then one over their outputs.
QStringList findOutputsThatAreInputs(const std::vector<PictureJob> &jobs)
{
    QHash<QString, QString> folders;
    QHash<QString, int> inputs;
    for (int i = 0; i < int(jobs.size()); ++i) {
        for (const QString &key : fileKeys(jobs[size_t(i)].picturePath, true, &folders))
            inputs.insert(key, i);
    }
    QStringList refusals;
    for (const PictureJob &job : jobs) {
        const OutputPaths paths = outputPaths(job.outputFolder, QFileInfo(job.picturePath).fileName());
        for (const QString &output : plannedOutputs(job, paths)) {
            for (const QString &key : fileKeys(output, false, &folders)) {
                const auto input = inputs.constFind(key);
                if (input == inputs.constEnd())
                    continue;
                refusals << Options::tr("quillon-convert: %1 : %2, qu'elle écrirait, est l'image %3 "
                                        "de la même commande ; rien n'a été écrit\n")
                                .arg(job.picturePath, output, jobs[size_t(*input)].picturePath);
                break;
            }
        }
    }
    return refusals;
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

// The messages' language, as the C library chooses it: LC_ALL, else LC_MESSAGES, else LANG.
// French when it is French, English otherwise, "C" included.
bool messagesInFrench()
{
    for (const char *variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QByteArray value = qgetenv(variable);
        if (!value.isEmpty())
            return value.startsWith("fr");
    }
    return false;
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

} // namespace

int main(int argc, char *argv[])
{
    if (isDecoderChild(argc, argv))
        return runDecoderChild(argc, argv);
    // Other packages' readers decode in children of a server forked now, while this process has
    // one thread and nothing of Qt's made, when one of the first pictures needs one; a later
    // picture starts it as a program.
    const QByteArray reader = readerApartAmong(argc, argv);
    if (!reader.isEmpty())
        forkDecoderServer(reader == "?" ? QByteArray() : reader);
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
    case Options::Decode: {
        HeaderDecodingJob job;
        job.headers = options.pictures;
        job.outputFolder = options.job.outputFolder;
        job.force = options.job.force;
        job.verbose = options.verbose;
        job.format = options.job.format;
        job.size = options.decodeSize;
        job.swapBytes = options.job.encoding.swapBytes;
        job.bgr = options.job.encoding.bgr;
        return decodeHeaders(job, errors);
    }
    case Options::Convert:
        break;
    }

    // Each picture under its own array name: two pictures that would write the same files have
    // the same name, and were refused with it.
    std::vector<PictureJob> jobs;
    for (int i = 0; i < options.pictures.size(); ++i) {
        const QString &picture = options.pictures[i];
        jobs.push_back(options.job);
        PictureJob &job = jobs.back();
        job.picturePath = picture;
        job.outputFolder
            = options.job.outputFolder.isEmpty() ? QFileInfo(picture).path() : options.job.outputFolder;
        job.interrupted = &interruption;
        job.encoding.arrayName = options.arrayNames[i];
    }
    // With --bundle, each picture's header waits here for the bundle's, written once they all are.
    QVector<CHeader> bundled(options.bundle.isEmpty() ? 0 : int(jobs.size()));
    for (int i = 0; i < bundled.size(); ++i)
        jobs[size_t(i)].bundled = &bundled[i];
    const QStringList overwrittenInputs = findOutputsThatAreInputs(jobs);
    if (!overwrittenInputs.isEmpty()) {
        print(errors, overwrittenInputs.join(QString()));
        return 1;
    }
    // A missing output folder is made, with its parents, once nothing stands in the way.
    if (!options.job.outputFolder.isEmpty() && !QFileInfo(options.job.outputFolder).isDir()) {
        const QString problem = folderProblem(options.job.outputFolder);
        if (!problem.isEmpty()) {
            print(errors,
                  Options::tr("quillon-convert: impossible de créer le dossier de destination %1 : %2\n")
                      .arg(options.job.outputFolder, problem));
            return 1;
        }
    }

    // The pictures are independent: each thread takes the next one until none is left.
    std::vector<PictureOutcome> outcomes(jobs.size());
    std::atomic<int> next {0};
    std::atomic<int> done {0};
    ProgressLine progress(errors, jobs.size() > 1 && errorsOnTerminal);
    std::mutex noticeMutex;
    for (PictureJob &job : jobs) {
        job.notice = [&, picture = job.picturePath](const QString &text) {
            const std::lock_guard<std::mutex> lock(noticeMutex);
            print(errors, Options::tr("quillon-convert: %1 : %2\n").arg(picture, text));
        };
    }
    // A batch's files committed together, as they come (output_batch.h).
    std::unique_ptr<OutputBatch> batch(jobs.size() > 1 ? new OutputBatch : nullptr);
    const auto work = [&] {
        for (int i = next++; i < int(jobs.size()) && !interruption; i = next++) {
            runPictureJob(jobs[size_t(i)], batch.get(), &outcomes[size_t(i)]);
            progress.show(QStringLiteral("[%1/%2] %3")
                              .arg(++done)
                              .arg(jobs.size())
                              .arg(QFileInfo(jobs[size_t(i)].picturePath).fileName()));
        }
    };
    const int threadCount = qBound(1, QThread::idealThreadCount(), int(jobs.size()));
    std::vector<std::thread> threads;
    for (int t = 1; t < threadCount; ++t)
        threads.emplace_back(work);
    work();
    for (std::thread &thread : threads)
        thread.join();
    if (batch)
        batch->finish();
    progress.show(QString());
    // The bundle's header, of every picture or of none.
    PictureOutcome bundleOutcome {PictureOutcome::Converted, QString()};
    PictureJob bundleJob = options.job;
    bundleJob.outputFolder = jobs.front().outputFolder;
    bundleJob.interrupted = &interruption;
    bundleJob.notice = jobs.front().notice;
    const QString bundleHeader
        = QStringLiteral("%1/%2.h").arg(bundleJob.outputFolder, QLatin1String(options.bundle));
    if (!options.bundle.isEmpty() && !interruption) {
        if (std::all_of(outcomes.begin(), outcomes.end(), [](const PictureOutcome &outcome) {
                return outcome.status == PictureOutcome::Converted;
            }))
            bundleOutcome = writeBundle(bundleJob, options.bundle, bundled);
        else
            bundleOutcome = {PictureOutcome::Failed,
                             Options::tr("non écrit : une image du paquet n'a pas été convertie")};
    }

    // With --verbose, every file put in place, picture after picture, an interrupted run's too.
    for (size_t i = 0; options.verbose && i < jobs.size(); ++i) {
        for (const QString &file : outcomes[i].written)
            print(errors, Options::tr("quillon-convert: %1 : écrit\n").arg(file));
        for (const QString &file : outcomes[i].unchanged)
            print(errors, Options::tr("quillon-convert: %1 : inchangé, laissé tel quel\n").arg(file));
    }

    for (const QString &file : options.verbose ? bundleOutcome.written : QStringList())
        print(errors, Options::tr("quillon-convert: %1 : écrit\n").arg(file));
    for (const QString &file : options.verbose ? bundleOutcome.unchanged : QStringList())
        print(errors, Options::tr("quillon-convert: %1 : inchangé, laissé tel quel\n").arg(file));

    if (const int signal = interruption) {
        print(errors, Options::tr("quillon-convert: interrompu\n"));
        return 128 + signal;
    }
    int exitCode = 0;
    for (size_t i = 0; i < jobs.size(); ++i) {
        if (outcomes[i].status == PictureOutcome::Converted)
            continue;
        exitCode = 1;
        print(errors,
              Options::tr("quillon-convert: %1 : %2\n").arg(jobs[i].picturePath, outcomes[i].message));
    }
    if (jobs.size() > 1)
        print(errors, batchSummary(outcomes));
    if (bundleOutcome.status != PictureOutcome::Converted) {
        print(errors, Options::tr("quillon-convert: %1 : %2\n").arg(bundleHeader, bundleOutcome.message));
        exitCode = 1;
    }
    return exitCode;
}
