#include "output_files.h"

#include "atomic_file_writer.h"
#include "header_generator.h"
#include "qimage16.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>

#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The preview in a PNG file that every viewer shows right.
// Compressed at zlib's fastest level (Qt's quality 80): a preview is looked at once, and the
// default level spends eight times as long for a file 15 % smaller.
constexpr int previewPngQuality = 80;

// What Qt's PNG writer writes, handed on to the file as it comes, so that the PNG file is never
// whole in memory.
class FileDevice : public QIODevice
{
public:
    explicit FileDevice(AtomicFileWriter &file)
        : m_file(file)
    {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override { return m_file.write(data, size) ? size : -1; }

private:
    AtomicFileWriter &m_file;
};

bool writePng(AtomicFileWriter &file, const QImage &picture)
{
    FileDevice device(file);
    QImageWriter writer(&device, "PNG");
    writer.setQuality(previewPngQuality);
    // 5-6-5 pictures are written as Qt writes their 32-bit colours, a row at a time; pictures of
    // other formats (grey) would be written as such, and are first made 32-bit.
    const bool asItIs = picture.format() == QImage::Format_RGB16 || picture.format() == QImage::Format_RGB32;
    return writer.write(asItIs ? picture : picture.convertToFormat(QImage::Format_RGB32));
}

} // namespace

#ifdef Q_OS_UNIX

namespace {

const QByteArray journalStart = "quillon-journal 1\n";
const QByteArray journalEnd = "fin\n";

// Writes the journal and waits until it is on the disk, with the names the folder now holds.
bool writeJournal(const QString &path, const std::vector<AtomicFileWriter *> &files, int *systemError)
{
    // Names relative to the journal's folder, whichever folder the next run starts from.
    const QDir folder = QFileInfo(path).absoluteDir();
    const auto name = [&](const QString &file) {
        return QFile::encodeName(folder.relativeFilePath(QFileInfo(file).absoluteFilePath()))
            .toPercentEncoding();
    };
    QByteArray text = journalStart;
    for (const AtomicFileWriter *file : files)
        text += name(file->temporaryPath()) + ' ' + name(file->targetPath()) + '\n';
    text += journalEnd;
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        *systemError = errno;
        return false;
    }
    bool written = true;
    for (qint64 done = 0; written && done < text.size();) {
        const ssize_t count = ::write(fd, text.constData() + done, size_t(text.size() - done));
        if (count < 0 && errno == EINTR)
            continue;
        written = count > 0;
        *systemError = count < 0 ? errno : ENOSPC;
        done += count;
    }
    written = written && ::fsync(fd) == 0;
    if (!written && errno)
        *systemError = errno;
    ::close(fd);
    if (!written) {
        ::unlink(QFile::encodeName(path).constData());
        return false;
    }
    // The folder's entries too: the temporary files' names and the journal's.
    const int folderFd
        = ::open(QFile::encodeName(folder.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    *systemError = 0;
    return true;
}

} // namespace

bool finishPendingReplacements(const QString &journal, int *systemError)
{
    int ignored = 0;
    int &error = systemError ? *systemError : ignored;
    error = 0;
    const QByteArray journalName = QFile::encodeName(journal);
    struct stat status;
    if (::lstat(journalName.constData(), &status) != 0)
        return true;
    QByteArray text;
    const int fd = S_ISREG(status.st_mode)
        ? ::open(journalName.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)
        : -1;
    if (fd >= 0) {
        char block[4096];
        for (ssize_t count; (count = ::read(fd, block, sizeof block)) != 0 && text.size() < (1 << 20);) {
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0)
                break;
            text.append(block, int(count));
        }
        ::close(fd);
    }
    if (text.startsWith(journalStart) && text.endsWith(journalEnd)) {
        const QDir folder = QFileInfo(journal).absoluteDir();
        const QList<QByteArray> lines
            = text.mid(journalStart.size(), text.size() - journalStart.size() - journalEnd.size())
                  .split('\n');
        for (const QByteArray &line : lines) {
            const QList<QByteArray> names = line.split(' ');
            if (names.size() != 2)
                continue;
            const QByteArray staged = QFile::encodeName(
                folder.filePath(QFile::decodeName(QByteArray::fromPercentEncoding(names[0]))));
            const QByteArray target = QFile::encodeName(
                folder.filePath(QFile::decodeName(QByteArray::fromPercentEncoding(names[1]))));
            // A file no longer under its temporary name has already taken its place.
            if (::lstat(staged.constData(), &status) == 0
                && ::rename(staged.constData(), target.constData()) != 0) {
                error = errno;
                return false;
            }
        }
    }
    ::unlink(journalName.constData());
    return true;
}

#else // Q_OS_UNIX

namespace {

// Elsewhere the files are replaced one after the other, without a journal.
bool writeJournal(const QString &, const std::vector<AtomicFileWriter *> &, int *)
{
    return true;
}

} // namespace

bool finishPendingReplacements(const QString &, int *systemError)
{
    if (systemError)
        *systemError = 0;
    return true;
}

#endif // Q_OS_UNIX

WriteOutcome writeOutputFiles(const QImage16 &image, const OutputPaths &paths, const OutputRequest &request,
                              int *systemError)
{
    int ignored = 0;
    int &error = systemError ? *systemError : ignored;
    error = 0;
    const qint64 bmpSize = image.bmp16FileSize();
    if (bmpSize < 0)
        return WriteOutcome::BmpFailed;
    const auto interrupted = [&] { return request.interrupted && request.interrupted->load() != 0; };
    const QString &prefix = request.temporaryPrefix;
    const bool links = request.replaceLinks;

    AtomicFileWriter bmp(paths.bmp, prefix, links);
    if (!bmp.open()) {
        error = bmp.systemError();
        return WriteOutcome::BmpFailed;
    }
    // The header of the BMP file's bytes is written from the same blocks; one of pixel arrays
    // on its own. A split pair's definitions go to the C file, the header then declaring them.
    const bool split = request.header.split;
    HeaderOptions bytesOptions = request.header;
    bytesOptions.ownHeader = QFileInfo(paths.header).fileName().toUtf8();
    HeaderFileWriter bytesHeader(split ? paths.source : paths.header, bmpSize, bytesOptions, prefix, links);
    AtomicFileWriter pixelsHeader(paths.header, prefix, links);
    AtomicFileWriter declarations(paths.header, prefix, links);
    AtomicFileWriter pixelsSource(paths.source, prefix, links);
    AtomicFileWriter &header = request.pixels ? pixelsHeader : split ? declarations : bytesHeader.file();
    AtomicFileWriter *source = !split ? nullptr : request.pixels ? &pixelsSource : &bytesHeader.file();
    bool headerWritten = false;
    if (request.pixels)
        headerWritten = pixelsHeader.open() && (!split || pixelsSource.open());
    else
        headerWritten = bytesHeader.open()
            && (!split
                || (declarations.open()
                    && declarations.write(bytesDeclarationHeader(bmpSize, bytesOptions))));
    const bool bmpWritten = image.writeBmp16([&](const char *data, qint64 size) {
        if (interrupted() || !bmp.write(data, size))
            return false;
        if (!request.pixels)
            headerWritten = headerWritten && bytesHeader.append(data, size);
        return true;
    });
    if (!bmpWritten) {
        error = bmp.systemError();
        return interrupted() ? WriteOutcome::Interrupted : WriteOutcome::BmpFailed;
    }
    if (request.pixels)
        headerWritten = headerWritten
            && (split ? writeCSplit(pixelsHeader, pixelsSource, *request.pixels, bytesOptions.ownHeader)
                      : writeCHeader(pixelsHeader, *request.pixels));
    else
        headerWritten = headerWritten && bytesHeader.finish();

    AtomicFileWriter preview(paths.preview, prefix, links);
    const bool previewWritten = !request.preview || (preview.open() && writePng(preview, *request.preview));
    if (interrupted())
        return WriteOutcome::Interrupted;

    // Every file on the disk and under a name first, so that the renames that follow are quick.
    if (!bmp.syncToDisk() || !bmp.stage()) {
        error = bmp.systemError();
        return WriteOutcome::BmpFailed;
    }
    if (!headerWritten || !header.syncToDisk() || !header.stage()
        || (source && (!source->syncToDisk() || !source->stage()))) {
        // Whichever of the pair failed; the header when neither tells.
        error = header.systemError() ? header.systemError() : source ? source->systemError() : 0;
        return source && !header.systemError() && source->systemError() ? WriteOutcome::SourceFailed
                                                                        : WriteOutcome::HeaderFailed;
    }
    if (!previewWritten || (request.preview && (!preview.syncToDisk() || !preview.stage()))) {
        error = preview.systemError();
        return WriteOutcome::PreviewFailed;
    }
    std::vector<std::pair<AtomicFileWriter *, WriteOutcome>> files
        = {{&bmp, WriteOutcome::BmpFailed}, {&header, WriteOutcome::HeaderFailed}};
    if (source)
        files.push_back({source, WriteOutcome::SourceFailed});
    if (request.preview)
        files.push_back({&preview, WriteOutcome::PreviewFailed});
    std::vector<AtomicFileWriter *> writers;
    for (const auto &file : files)
        writers.push_back(file.first);
    if (!request.journal.isEmpty() && !writeJournal(request.journal, writers, &error))
        return WriteOutcome::BmpFailed;
    for (size_t i = 0; i < files.size(); ++i) {
        if (!files[i].first->replaceTarget()) {
            error = files[i].first->systemError();
            // Once a file is replaced, the others are left to the journal, which completes them.
            if (i > 0 && !request.journal.isEmpty()) {
                for (size_t later = i; later < files.size(); ++later)
                    files[later].first->leaveStaged();
            } else if (!request.journal.isEmpty()) {
                QFile::remove(request.journal);
            }
            return files[i].second;
        }
    }
    if (!request.journal.isEmpty())
        QFile::remove(request.journal);
    return WriteOutcome::Written;
}
