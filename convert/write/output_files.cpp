#include "output_files.h"

#include "atomic_file_writer.h"
#include "header_generator.h"
#include "output_batch.h"
#include "output_journal.h"
#include "qimage16.h"
#include "rle_coding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include <png.h>
#include <zlib.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The preview in a PNG file that every viewer shows right, written by libpng as fast as it
// goes: a preview is looked at once. Its rows are stored unfiltered and uncompressed, 3 bytes a
// pixel: zlib's fastest level and adaptive filtering, as Qt writes it, took four times as long
// as the rest of the job on a 4096 x 4096 photo, for a file 40 % of the size.
constexpr int previewCompressionLevel = 0;
constexpr size_t previewWriteSize = 256 * 1024; // what libpng hands the file at a time

struct PngOutput
{
    AtomicFileWriter *file;
    bool failed;
};

void writePngBytes(png_structp png, png_bytep data, size_t size)
{
    auto *output = static_cast<PngOutput *>(png_get_io_ptr(png));
    if (!output->failed && !output->file->write(reinterpret_cast<const char *>(data), qint64(size)))
        output->failed = true;
}

void flushPng(png_structp) { }

// Errors end the file through longjmp, without a word on the standard error; warnings say nothing.
[[noreturn]] void failPng(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void ignorePngWarning(png_structp, png_const_charp) { }

// The PNG file of 8-bit red, green and blue rows, each drawn in `colours` and spread in `row`.
// No C++ object lives here but in the caller's frame, since libpng reports its errors with
// longjmp.
bool writePngRows(png_structp png, png_infop info, const PictureRows &picture, QRgb *colours, uchar *row,
                  PngOutput *output)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    const int width = picture.size().width(), height = picture.size().height();
    png_set_write_fn(png, output, writePngBytes, flushPng);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, previewCompressionLevel);
    png_set_compression_buffer_size(png, previewWriteSize);
    png_write_info(png, info);
    for (int y = 0; y < height && !output->failed; ++y) {
        picture.row(y, colours);
        uchar *out = row;
        for (int x = 0; x < width; ++x) {
            *out++ = uchar(qRed(colours[x]));
            *out++ = uchar(qGreen(colours[x]));
            *out++ = uchar(qBlue(colours[x]));
        }
        png_write_row(png, row);
    }
    png_write_end(png, info);
    return !output->failed;
}

bool writePng(AtomicFileWriter &file, const PictureRows &picture)
{
    if (picture.isNull() || picture.size().isEmpty())
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, failPng, ignorePngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<QRgb> colours(size_t(picture.size().width()));
    std::vector<uchar> row(size_t(picture.size().width()) * 3);
    PngOutput output {&file, false};
    const bool written = info && writePngRows(png, info, picture, colours.data(), row.data(), &output);
    png_destroy_write_struct(&png, &info);
    return written;
}

} // namespace

namespace {

// Every file of one conversion, written under temporary names, put on the disk and given a name
// there, then put in the targets' places together.
class OutputFiles
{
public:
    OutputFiles(const QImage16 &image, const OutputPaths &paths, const OutputRequest &request)
        : m_image(image)
        , m_paths(paths)
        , m_request(request)
        , m_rawFiles(rawFilesOf(paths, request))
        , m_bmpSize(writesBmp() ? image.bmp16FileSize() : 0)
        , m_bytesOptions(bytesOptionsOf(paths, request.header))
        , m_journaled(journaled(paths, request, m_rawFiles))
        , m_prefix(m_journaled ? request.temporaryPrefix : QString())
        , m_bmp(paths.bmp, m_prefix, request.replaceLinks)
        , m_bytesHeader(request.header.split ? paths.source : paths.header, m_bmpSize, m_bytesOptions,
                        m_prefix, request.replaceLinks)
        , m_pixelsHeader(paths.header, m_prefix, request.replaceLinks)
        , m_declarations(paths.header, m_prefix, request.replaceLinks)
        , m_pixelsSource(paths.source, m_prefix, request.replaceLinks)
        , m_preview(paths.preview, m_prefix, request.replaceLinks)
    {
        for (const RawFile &raw : m_rawFiles)
            m_raw.push_back(std::make_unique<AtomicFileWriter>(raw.path, m_prefix, request.replaceLinks));
    }

    // The BMP file, and the header of its bytes from the very same blocks, never read back from
    // the disk. A split pair's definitions go to the C file, the header then declaring them.
    WriteOutcome writeBmp(int *error)
    {
        if (!writesBmp())
            return WriteOutcome::Written;
        if (m_bmpSize < 0) {
            // No picture: there was no memory for its 5-6-5 pixels. Or one of more than 4 GiB.
            *error = m_image.isNull() ? ENOMEM : EOVERFLOW;
            return WriteOutcome::BmpFailed;
        }
        if (!m_bmp.open()) {
            *error = m_bmp.systemError();
            return WriteOutcome::BmpFailed;
        }
        const bool bytes = !m_request.pixels;
        if (bytes)
            m_headerWritten = m_bytesHeader.open()
                && (!split()
                    || (m_declarations.open()
                        && m_declarations.write(bytesDeclarationHeader(m_bmpSize, m_bytesOptions))));
        const bool written = m_image.writeBmp16([&](const char *data, qint64 size) {
            if (interrupted() || !m_bmp.write(data, size))
                return false;
            if (bytes)
                m_headerWritten = m_headerWritten && m_bytesHeader.append(data, size);
            return true;
        });
        if (!written) {
            if (interrupted())
                return WriteOutcome::Interrupted;
            // The file took every block it was given: the pixels' rows could not be made.
            *error = m_bmp.systemError() ? m_bmp.systemError() : ENOMEM;
            return WriteOutcome::BmpFailed;
        }
        if (bytes)
            m_headerWritten = m_headerWritten && m_bytesHeader.finish();
        return WriteOutcome::Written;
    }

    // The header of the pixel arrays, with its C file when split; its failure is told once the
    // files before it are staged.
    void writePixelsHeader()
    {
        if (!m_request.pixels)
            return;
        m_headerWritten = m_pixelsHeader.open() && (!split() || m_pixelsSource.open())
            && (split()
                    ? writeCSplit(m_pixelsHeader, m_pixelsSource, *m_request.pixels, m_bytesOptions.ownHeader)
                    : writeCHeader(m_pixelsHeader, *m_request.pixels));
    }

    ~OutputFiles() { finishPreview(); }

    // The preview, written in a thread of its own while the BMP file and the header are.
    void startPreview()
    {
        if (m_request.preview.isNull())
            return;
        const auto write
            = [this] { m_previewWritten = m_preview.open() && writePng(m_preview, m_request.preview); };
        try {
            m_previewThread = std::thread(write);
        } catch (const std::system_error &) { // no thread to be had: written here, first
            write();
        }
    }

    void finishPreview()
    {
        if (m_previewThread.joinable())
            m_previewThread.join();
    }

    void writePreviewAndRawFiles()
    {
        finishPreview();
        for (size_t i = 0; i < m_raw.size(); ++i)
            m_rawWritten.push_back(m_raw[i]->open()
                                   && (m_rawFiles[int(i)].picture.isNull()
                                           ? m_raw[i]->write(m_rawFiles[int(i)].bytes)
                                           : writePng(*m_raw[i], m_rawFiles[int(i)].picture)));
    }

    bool interrupted() const { return m_request.interrupted && m_request.interrupted->load() != 0; }

    // Every file under a name, on its way to the disk, handed over to `staged` with its journal
    // when there is one; a file whose target already holds the very same bytes is abandoned, and
    // that target left as it is.
    WriteOutcome stage(int *error, QString *failedPath, StagedOutputs *staged)
    {
        AtomicFileWriter &header = this->header();
        AtomicFileWriter *source = this->source();
        std::vector<Output> outputs;
        if (writesBmp())
            outputs.push_back({&m_bmp, WriteOutcome::BmpFailed, m_paths.bmp, true});
        outputs.push_back({&header, WriteOutcome::HeaderFailed, m_paths.header, m_headerWritten});
        if (source)
            outputs.push_back({source, WriteOutcome::SourceFailed, m_paths.source, m_headerWritten});
        if (!m_request.preview.isNull())
            outputs.push_back({&m_preview, WriteOutcome::PreviewFailed, m_paths.preview, m_previewWritten});
        for (size_t i = 0; i < m_raw.size(); ++i)
            outputs.push_back(
                {m_raw[i].get(), WriteOutcome::RawFileFailed, m_rawFiles[int(i)].path, m_rawWritten[i]});
        for (Output &output : outputs) {
            if (output.written && output.file->matchesTarget()) {
                output.file->cancel();
                output.unchanged = true;
                continue;
            }
            if (output.written && output.file->stage())
                continue;
            *error = output.file->systemError();
            *failedPath = output.path;
            if (output.failure != WriteOutcome::HeaderFailed && output.failure != WriteOutcome::SourceFailed)
                return output.failure;
            // Whichever of the pair failed; the header when neither tells.
            if (!header.systemError() && source && source->systemError()) {
                *error = source->systemError();
                *failedPath = m_paths.source;
                return WriteOutcome::SourceFailed;
            }
            *error = header.systemError();
            *failedPath = m_paths.header;
            return WriteOutcome::HeaderFailed;
        }
        QVector<JournalEntry> entries;
        for (Output &output : outputs) {
            if (output.unchanged) {
                staged->unchanged << output.file->targetPath();
                continue;
            }
            entries.push_back({output.file->temporaryPath(), output.file->targetPath()});
            // The reader of coded arrays holds the same bytes for every header of its folder: a batch
            // puts it in place once.
            staged->files.push_back(
                {output.file->handOver(), output.path, output.failure, output.path == m_paths.reader});
        }
        staged->interrupted = m_request.interrupted;
        // A single file takes its place in one rename, which a killed run cannot leave halfway:
        // nothing for a journal to complete.
        if (!m_journaled || staged->files.size() < 2)
            return WriteOutcome::Written;
        staged->journal = m_request.journal;
        if (!stageJournal(m_request.journal, m_prefix, entries, &staged->stagedJournal, error)) {
            *failedPath = staged->files.front().path;
            return staged->files.front().failure;
        }
        return WriteOutcome::Written;
    }

private:
    static HeaderOptions bytesOptionsOf(const OutputPaths &paths, HeaderOptions options)
    {
        options.ownHeader = QFileInfo(paths.header).fileName().toUtf8();
        return options;
    }
    // The raw files asked for, then the reader of the header's coded arrays when it has some.
    static QVector<RawFile> rawFilesOf(const OutputPaths &paths, const OutputRequest &request)
    {
        QVector<RawFile> files = request.rawFiles;
        if (request.pixels && includesRunLengthReader(*request.pixels))
            files.push_back({paths.reader, QuillonRle::readerText(), PictureRows()});
        return files;
    }
    // A journal names files in its own folder: where an output is a link whose file is replaced
    // (the window's way), the files are replaced without one, each beside its target.
    static bool journaled(const OutputPaths &paths, const OutputRequest &request,
                          const QVector<RawFile> &rawFiles)
    {
        if (request.journal.isEmpty() || request.replaceLinks)
            return !request.journal.isEmpty();
        QStringList outputs = {paths.bmp, paths.header, paths.preview, paths.source};
        for (const RawFile &raw : rawFiles)
            outputs << raw.path;
        for (const QString &output : outputs) {
            if (QFileInfo(output).isSymLink())
                return false;
        }
        return true;
    }
    // The header of the BMP file's bytes is always written with the BMP file.
    bool writesBmp() const { return m_request.bmp || !m_request.pixels; }
    bool split() const { return m_request.header.split; }
    AtomicFileWriter &header()
    {
        return m_request.pixels ? m_pixelsHeader : split() ? m_declarations : m_bytesHeader.file();
    }
    AtomicFileWriter *source()
    {
        return !split() ? nullptr : m_request.pixels ? &m_pixelsSource : &m_bytesHeader.file();
    }

    const QImage16 &m_image;
    const OutputPaths &m_paths;
    const OutputRequest &m_request;
    const QVector<RawFile> m_rawFiles;
    const qint64 m_bmpSize;
    const HeaderOptions m_bytesOptions;
    const bool m_journaled;
    const QString m_prefix;
    AtomicFileWriter m_bmp;
    HeaderFileWriter m_bytesHeader;
    AtomicFileWriter m_pixelsHeader;
    AtomicFileWriter m_declarations;
    AtomicFileWriter m_pixelsSource;
    AtomicFileWriter m_preview;
    std::vector<std::unique_ptr<AtomicFileWriter>> m_raw;
    bool m_headerWritten = false;
    bool m_previewWritten = true;
    std::thread m_previewThread;
    std::vector<bool> m_rawWritten;
    struct Output
    {
        AtomicFileWriter *file;
        WriteOutcome failure;
        QString path;
        bool written;
        bool unchanged = false;
    };
};

} // namespace

WriteOutcome stageOutputFiles(const QImage16 &image, const OutputPaths &paths, const OutputRequest &request,
                              StagedOutputs *staged, int *systemError, QString *failedPath)
{
    int ignoredError = 0;
    int &error = systemError ? *systemError : ignoredError;
    error = 0;
    QString ignoredPath;
    QString &failed = failedPath ? *failedPath : ignoredPath;
    failed.clear();
    *staged = StagedOutputs();

    OutputFiles output(image, paths, request);
    output.startPreview();
    WriteOutcome outcome = output.writeBmp(&error);
    if (outcome != WriteOutcome::Written) {
        failed = paths.bmp;
        return outcome;
    }
    output.writePixelsHeader();
    output.writePreviewAndRawFiles();
    if (output.interrupted())
        return WriteOutcome::Interrupted;
    outcome = output.stage(&error, &failed, staged);
    if (outcome != WriteOutcome::Written)
        *staged = StagedOutputs();
    return outcome;
}

WriteOutcome writeOutputFiles(const QImage16 &image, const OutputPaths &paths, const OutputRequest &request,
                              int *systemError, QString *failedPath, WrittenFiles *files)
{
    if (files)
        *files = WrittenFiles();
    StagedOutputs staged;
    const WriteOutcome outcome = stageOutputFiles(image, paths, request, &staged, systemError, failedPath);
    if (outcome != WriteOutcome::Written)
        return outcome;
    const CommitOutcome committed = commitTogether({&staged}).front();
    if (systemError)
        *systemError = committed.systemError;
    if (failedPath)
        *failedPath = committed.failedPath;
    if (files)
        *files = committed.files;
    return committed.outcome;
}

QVector<RawFile> rawArrayFiles(const QString &headerPath, const CHeader &pixels,
                               const QByteArray &imageFileHeader)
{
    const QString stem = headerPath.left(headerPath.size() - QFileInfo(headerPath).suffix().size() - 1);
    QVector<RawFile> files;
    for (const CArray &array : pixels.arrays) {
        if ((array.internal && imageFileHeader.isEmpty()) || !array.valuesText.isEmpty())
            continue; // an array of names (a table of pointers) has no bytes to store
        // The array's name beyond the picture's: NAME_mask gives STEM_mask.bin. An image file is
        // named after its picture: NAME_map gives STEM.bin, an animation's NAME_frame2_map
        // STEM_frame2.bin.
        QByteArray suffix
            = array.name.startsWith(pixels.name) ? array.name.mid(pixels.name.size()) : '_' + array.name;
        if (array.internal && suffix.endsWith("_map"))
            suffix.chop(4);
        files.push_back({stem + QString::fromLatin1(suffix) + QStringLiteral(".bin"),
                         array.internal ? imageFileHeader + array.data : array.data, PictureRows()});
    }
    return files;
}

bool holdsRunLengthReader(const QString &path)
{
    if (QFileInfo(path).fileName() != QLatin1String(QuillonRle::readerFileName))
        return false;
    const QByteArray &reader = QuillonRle::readerText();
    const int fd
        = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat status;
    QByteArray held(reader.size() + 1, Qt::Uninitialized);
    qint64 read = 0;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size == reader.size()) {
        for (ssize_t count; read < held.size()
             && (count = ::read(fd, held.data() + read, size_t(held.size() - read))) != 0;) {
            if (count < 0 && errno != EINTR)
                break;
            read += qMax<ssize_t>(count, 0);
        }
    }
    ::close(fd);
    return read == reader.size() && held.left(int(read)) == reader;
}

bool writePreviewPng(AtomicFileWriter &file, const PictureRows &picture)
{
    return writePng(file, picture);
}
