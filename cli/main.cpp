// quillon-convert: the window's conversion from the command line, for build pipelines.
//
//     quillon-convert [-o DIR] [--force] PICTURE...

#include "options.h"
#include "output_paths.h"
#include "picture_job.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QThread>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

void print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

// Pictures whose two files would land on the same paths: only the first of them is converted,
// whatever the order in which the threads reach them.
QHash<int, QString> findOutputClashes(const std::vector<PictureJob> &jobs)
{
    QHash<QString, int> firstUser;
    QHash<int, QString> clashes;
    for (int i = 0; i < int(jobs.size()); ++i) {
        // The folder's real path, links followed: dir/ and a link to it are the same folder.
        QString folder = QFileInfo(jobs[i].outputFolder).canonicalFilePath();
        if (folder.isEmpty())
            folder = QDir::cleanPath(QFileInfo(jobs[i].outputFolder).absoluteFilePath());
        const QString bmp = outputPaths(folder, QFileInfo(jobs[i].picturePath).fileName()).bmp;
        const auto first = firstUser.constFind(bmp);
        if (first == firstUser.constEnd())
            firstUser.insert(bmp, i);
        else
            clashes.insert(i,
                           QString::fromUtf8("mêmes fichiers de sortie que %1, image ignorée")
                               .arg(jobs[*first].picturePath));
    }
    return clashes;
}

} // namespace

int main(int argc, char *argv[])
{
#ifdef SIGXFSZ
    // Past a file-size limit a write then fails like on a full disk: reported, and the
    // temporary file removed, instead of the process being killed in the middle.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QCoreApplication app(argc, argv);
    const Options options = parseOptions(QCoreApplication::arguments());
    switch (options.action) {
    case Options::ShowHelp:
        print(stdout, helpText());
        return 0;
    case Options::ShowVersion:
        print(stdout, versionText());
        return 0;
    case Options::UsageError:
        print(stderr,
              QString::fromUtf8("quillon-convert: %1\nEssayez « quillon-convert --help » pour plus "
                                "d'informations.\n")
                  .arg(options.error));
        return 2;
    case Options::Convert:
        break;
    }

    std::vector<PictureJob> jobs;
    for (const QString &picture : options.pictures) {
        const QString folder
            = options.outputFolder.isEmpty() ? QFileInfo(picture).path() : options.outputFolder;
        jobs.push_back({picture, folder, options.force, options.header});
    }
    const QHash<int, QString> clashes = findOutputClashes(jobs);

    // The pictures are independent: each thread takes the next one until none is left.
    std::vector<PictureOutcome> outcomes(jobs.size());
    std::atomic<int> next {0};
    std::atomic<int> done {0};
    const bool showProgress = jobs.size() > 1 && isatty(STDERR_FILENO);
    const auto work = [&] {
        for (int i = next++; i < int(jobs.size()); i = next++) {
            outcomes[size_t(i)] = clashes.contains(i)
                ? PictureOutcome {PictureOutcome::Skipped, clashes.value(i)}
                : runPictureJob(jobs[size_t(i)]);
            const int finished = ++done;
            if (showProgress)
                std::fprintf(stderr, "\r\033[K[%d/%d] %s", finished, int(jobs.size()),
                             QFileInfo(jobs[size_t(i)].picturePath).fileName().toLocal8Bit().constData());
        }
    };
    const int threadCount = qBound(1, QThread::idealThreadCount(), int(jobs.size()));
    std::vector<std::thread> threads;
    for (int t = 1; t < threadCount; ++t)
        threads.emplace_back(work);
    work();
    for (std::thread &thread : threads)
        thread.join();
    if (showProgress)
        std::fputs("\r\033[K", stderr);

    int exitCode = 0;
    for (size_t i = 0; i < jobs.size(); ++i) {
        if (outcomes[i].status == PictureOutcome::Converted)
            continue;
        exitCode = 1;
        print(stderr,
              QStringLiteral("quillon-convert: %1 : %2\n").arg(jobs[i].picturePath, outcomes[i].message));
    }
    return exitCode;
}
