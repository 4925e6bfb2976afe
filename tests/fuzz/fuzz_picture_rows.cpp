// Fuzz target: any bytes decoded by rows as a PNG (libpng) or a TIFF (libtiff), fitted as they
// come (row_decoding.h, tiff_rows.h), through a file held in memory: the same outcome and pixels
// twice, and a fitted picture within the size asked.

#include "decoded_size.h"
#include "display_preparation.h"
#include "picture_source.h"
#include "row_decoding.h"

#include <QtEndian>

#include <cstdlib>

#include <sys/mman.h>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const char *what)
{
    qCritical("picture rows: %s", what);
    std::abort();
}

// The bytes as a file that lives in memory only: nothing is left behind, whatever happens.
class MemoryFile
{
public:
    explicit MemoryFile(const QByteArray &bytes)
        : m_fd(::memfd_create("fuzz-picture", MFD_CLOEXEC))
    {
        if (m_fd < 0 || ::write(m_fd, bytes.constData(), size_t(bytes.size())) != bytes.size())
            fail("cannot write the file in memory");
    }
    ~MemoryFile() { ::close(m_fd); }
    QString path() const { return QStringLiteral("/proc/self/fd/%1").arg(m_fd); }

private:
    int m_fd;
};

// The size the caller hands the row decoder, as it reads it: a PNG's from its header, a TIFF's
// from its first directory.
QSize announcedSize(PictureSource &source, const QByteArray &format, const QByteArray &bytes)
{
    if (format == "png")
        return bytes.size() < 24 ? QSize()
                                 : QSize(qFromBigEndian<qint32>(bytes.constData() + 16),
                                         qFromBigEndian<qint32>(bytes.constData() + 20));
    const QSize size = decodingCost(format, QSize(), QImage::Format_Invalid, &source).size;
    source.seek(0);
    return size;
}

DecodedPicture decoded(const QString &path, const QByteArray &format, const QByteArray &bytes,
                       const DisplayOptions &display, const RowFitting &rows)
{
    PictureSource source(path);
    if (source.openRegularFile() != PictureSource::Opened)
        fail("cannot open the file in memory");
    const QSize size = announcedSize(source, format, bytes);
    // A small picture keeps each run short; the bound itself is tested apart.
    if (size.isEmpty() || qint64(size.width()) * size.height() > 1 << 18)
        return {};
    std::optional<DecodedPicture> picture = decodeByRows(source, format, size, display, rows);
    return picture ? *picture : DecodedPicture {DecodedPicture::NotAPicture, QImage(), -1, QSize()};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2 || size > 65536)
        return 0;
    // The first byte chooses the format and the shaping; the rest is the file.
    const int choice = data[0];
    const QByteArray format = choice & 1 ? "tiff" : "png";
    DisplayOptions display;
    display.fit = QSize(1 + (choice >> 1) % 8, 1 + (choice >> 4) % 5);
    display.rotation = 90 * ((choice >> 5) % 4);
    display.flipHorizontal = choice & 0x80;
    RowFitting rows;
    rows.allowed = true;
    rows.keepAlpha = choice & 2;
    rows.bandRows = (choice >> 2) % 3;

    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), int(size) - 1);
    const MemoryFile file(bytes);
    const DecodedPicture picture = decoded(file.path(), format, bytes, display, rows);
    const DecodedPicture again = decoded(file.path(), format, bytes, display, rows);
    if (picture.status != again.status || picture.image != again.image || picture.fullSize != again.fullSize)
        fail("two decodings of the same file differ");
    if (picture.status == DecodedPicture::Decoded && !picture.image.isNull()
        && (!picture.fitted || picture.image.width() > display.fit.width()
            || picture.image.height() > display.fit.height()))
        fail("a picture decoded by rows is not fitted within the size asked");
    return 0;
}
