#include "tiff_rows.h"

#include "display_preparation.h"
#include "picture_completeness.h"
#include "picture_source.h"
#include "row_scaling.h"
#include "streaming_scaler.h"

#include <QImageIOHandler>

#include <tiffio.h>

#include <climits>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using Transformations = QImageIOHandler::Transformations;

// What libtiff holds beside a band's strips or tiles: its decoder's state and its tables.
constexpr qint64 decoderBytes = qint64(1) << 20;
// Rows handed to the scaler at a time: about 1 MiB of them, or a strip or a row of tiles.
constexpr qint64 bandBytes = qint64(1) << 20;
// Bands that wait to be scaled, three at most, as long as they take no more than this together.
constexpr qint64 waitingBytes = qint64(16) << 20;

// libtiff reads the file through the device, as Qt's plugin has it read.
tsize_t readDevice(thandle_t device, tdata_t data, tsize_t size)
{
    auto *source = static_cast<QIODevice *>(device);
    return source->isReadable() ? source->read(static_cast<char *>(data), size) : -1;
}

tsize_t writeNothing(thandle_t, tdata_t, tsize_t)
{
    return -1;
}

toff_t seekDevice(thandle_t device, toff_t offset, int whence)
{
    auto *source = static_cast<QIODevice *>(device);
    switch (whence) {
    case SEEK_SET:
        source->seek(qint64(offset));
        break;
    case SEEK_CUR:
        source->seek(source->pos() + qint64(offset));
        break;
    case SEEK_END:
        source->seek(source->size() + qint64(offset));
        break;
    }
    return toff_t(source->pos());
}

int closeNothing(thandle_t)
{
    return 0;
}

toff_t deviceSize(thandle_t device)
{
    return toff_t(static_cast<QIODevice *>(device)->size());
}

int mapNothing(thandle_t, tdata_t *, toff_t *)
{
    return 0;
}

void unmapNothing(thandle_t, tdata_t, toff_t) { }

// The file opened by libtiff, closed with this.
class TiffFile
{
public:
    explicit TiffFile(QIODevice *device)
        : m_tiff(TIFFClientOpen("picture", "r", device, readDevice, writeNothing, seekDevice, closeNothing,
                                deviceSize, mapNothing, unmapNothing))
    { }
    ~TiffFile()
    {
        if (m_tiff)
            TIFFClose(m_tiff);
    }
    TiffFile(const TiffFile &) = delete;
    TiffFile &operator=(const TiffFile &) = delete;

    TIFF *tiff() const { return m_tiff; }

private:
    TIFF *m_tiff;
};

// libtiff's RGBA reader over the file, ended with this.
class RgbaReader
{
public:
    explicit RgbaReader(TIFF *tiff)
    {
        char problem[1024] = "";
        m_begun = TIFFRGBAImageOK(tiff, problem) && TIFFRGBAImageBegin(&m_image, tiff, 1, problem);
    }
    ~RgbaReader()
    {
        if (m_begun)
            TIFFRGBAImageEnd(&m_image);
    }
    RgbaReader(const RgbaReader &) = delete;
    RgbaReader &operator=(const RgbaReader &) = delete;

    bool begun() const { return m_begun; }
    TIFFRGBAImage *image() { return &m_image; }

private:
    TIFFRGBAImage m_image {};
    bool m_begun = false;
};

// What Qt's plugin makes of the file's first directory (QTiffHandlerPrivate::readHeaders()):
// the picture's size as stored, its pixel format, how its samples are read, and its turn.
struct TiffKind
{
    QSize size;
    uint16_t photometric = 0;
    QImage::Format format = QImage::Format_Invalid;
    bool direct = false; // samples read as they are stored, not through libtiff's RGBA reader
    bool planesApart = false;
    int storedPixelBytes = 0; // read directly: the bytes a pixel takes as stored
    // The orientation the RGBA reader is asked for, the file's own; the plugin's turn of it.
    uint16_t orientation = ORIENTATION_TOPLEFT;
    Transformations turn = QImageIOHandler::TransformationNone;
};

Transformations turnOf(uint16_t orientation)
{
    switch (orientation) {
    case ORIENTATION_TOPRIGHT:
        return QImageIOHandler::TransformationMirror;
    case ORIENTATION_BOTRIGHT:
        return QImageIOHandler::TransformationRotate180;
    case ORIENTATION_BOTLEFT:
        return QImageIOHandler::TransformationFlip;
    case ORIENTATION_LEFTTOP:
        return QImageIOHandler::TransformationFlipAndRotate90;
    case ORIENTATION_RIGHTTOP:
        return QImageIOHandler::TransformationRotate90;
    case ORIENTATION_RIGHTBOT:
        return QImageIOHandler::TransformationMirrorAndRotate90;
    case ORIENTATION_LEFTBOT:
        return QImageIOHandler::TransformationRotate270;
    default:
        return QImageIOHandler::TransformationNone;
    }
}

bool readKind(TIFF *tiff, TiffKind *kind)
{
    uint32_t width = 0, height = 0;
    if (!TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height)
        || !TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &kind->photometric) || width > INT_MAX
        || height > INT_MAX)
        return false;
    kind->size = QSize(int(width), int(height));
    uint16_t orientation = 0;
    if (TIFFGetField(tiff, TIFFTAG_ORIENTATION, &orientation)
        && turnOf(orientation) != QImageIOHandler::TransformationNone) {
        kind->orientation = orientation;
        kind->turn = turnOf(orientation);
    }
    uint16_t bits = 1, samples = 1, planes = PLANARCONFIG_CONTIG;
    if (!TIFFGetField(tiff, TIFFTAG_BITSPERSAMPLE, &bits))
        bits = 1;
    if (!TIFFGetField(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples))
        samples = 1;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planes);
    kind->planesApart = planes == PLANARCONFIG_SEPARATE && samples > 1;

    const uint16_t photometric = kind->photometric;
    const bool grey = photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
    const bool rgb16 = bits == 16 && photometric == PHOTOMETRIC_RGB;
    if (grey && bits == 1 && samples == 1) {
        kind->format = QImage::Format_Mono;
    } else if (photometric == PHOTOMETRIC_MINISBLACK && bits == 8 && samples == 1) {
        kind->format = QImage::Format_Grayscale8;
    } else if (photometric == PHOTOMETRIC_MINISBLACK && bits == 16 && samples == 1) {
        kind->format = QImage::Format_Grayscale16;
    } else if ((grey || photometric == PHOTOMETRIC_PALETTE) && bits == 8 && samples == 1) {
        kind->format = QImage::Format_Indexed8;
    } else if (samples < 4) {
        kind->format = rgb16 ? QImage::Format_RGBX64 : QImage::Format_RGB32;
    } else {
        // Premultiplied when an alpha is declared, other than unspecified; a 16-bit one read as it
        // is stored stays as it is when it is unassociated.
        uint16_t count = 0;
        uint16_t *extra = nullptr;
        const bool declared = TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &count, &extra) && count > 0;
        bool premultiplied = declared && extra[0] != EXTRASAMPLE_UNSPECIFIED;
        if (rgb16) {
            premultiplied = premultiplied && extra[0] != EXTRASAMPLE_UNASSALPHA;
            kind->format = premultiplied ? QImage::Format_RGBA64_Premultiplied : QImage::Format_RGBA64;
        } else {
            kind->format = premultiplied ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32;
        }
    }
    kind->direct = kind->format != QImage::Format_RGB32 && kind->format != QImage::Format_ARGB32
        && kind->format != QImage::Format_ARGB32_Premultiplied;
    kind->storedPixelBytes
        = kind->format == QImage::Format_RGBX64 ? 6 : QImage(1, 1, kind->format).depth() / 8;
    return true;
}

// The colour table Qt's plugin gives a 1-bit or 8-bit picture; false when a palette has none.
bool readColours(TIFF *tiff, const TiffKind &kind, QVector<QRgb> *colours)
{
    const bool blackFirst = kind.photometric == PHOTOMETRIC_MINISBLACK;
    if (kind.format == QImage::Format_Mono) {
        *colours
            = blackFirst ? QVector<QRgb> {0xff000000, 0xffffffff} : QVector<QRgb> {0xffffffff, 0xff000000};
    } else if (kind.format == QImage::Format_Indexed8) {
        colours->resize(256);
        if (kind.photometric != PHOTOMETRIC_PALETTE) {
            for (int i = 0; i < 256; ++i) {
                const int level = blackFirst ? i : 255 - i;
                (*colours)[i] = qRgb(level, level, level);
            }
            return true;
        }
        uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
        if (!TIFFGetField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
            return false;
        for (int i = 0; i < 256; ++i) // the low 8 bits of each 16-bit entry dropped, as libtiff drops them
            (*colours)[i] = qRgb(red[i] >> 8, green[i] >> 8, blue[i] >> 8);
    }
    return true;
}

// A picture's pixels turned by quarter turns and mirrored, as a matrix over their coordinates
// taken from the picture's centre, y downwards: (u, v) goes to (xx u + xy v, yx u + yy v).
struct Turn
{
    int xx, xy, yx, yy;
};
constexpr Turn unturned {1, 0, 0, 1}, mirrored {-1, 0, 0, 1}, flipped {1, 0, 0, -1}, quarter {0, -1, 1, 0};

Turn operator*(Turn after, Turn before)
{
    return {after.xx * before.xx + after.xy * before.yx, after.xx * before.xy + after.xy * before.yy,
            after.yx * before.xx + after.yy * before.yx, after.yx * before.xy + after.yy * before.yy};
}

bool operator==(Turn a, Turn b)
{
    return a.xx == b.xx && a.xy == b.xy && a.yx == b.yx && a.yy == b.yy;
}

Turn quarters(int count)
{
    Turn turn = unturned;
    for (int i = 0; i < count; ++i)
        turn = quarter * turn;
    return turn;
}

// The shaping of the picture as stored that gives what `display` asks of the picture turned as
// its file says (mirrored, flipped, then turned a quarter clockwise, as Qt turns it): the
// rectangle cut in the stored picture's pixels, then one turn and mirror that does both.
DisplayOptions storedShaping(const DisplayOptions &display, Transformations turn, QSize stored)
{
    const auto when = [](bool done, Turn t) { return done ? t : unturned; };
    const Turn file = when(turn & QImageIOHandler::TransformationRotate90, quarter)
        * when(turn & QImageIOHandler::TransformationFlip, flipped)
        * when(turn & QImageIOHandler::TransformationMirror, mirrored);
    const Turn both = when(display.flipVertical, flipped) * when(display.flipHorizontal, mirrored)
        * quarters(display.rotation / 90) * file;
    DisplayOptions options = display;
    options.flipVertical = false;
    for (int count = 0; count < 4; ++count) {
        for (bool mirror : {false, true}) {
            if (when(mirror, mirrored) * quarters(count) == both) {
                options.rotation = 90 * count;
                options.flipHorizontal = mirror;
            }
        }
    }
    if (display.crop.isValid()) {
        // Each corner taken back into the stored picture: a turn's inverse is its transpose.
        const QSize shown = turn & QImageIOHandler::TransformationRotate90 ? stored.transposed() : stored;
        const auto back = [&](QPoint corner) {
            const qint64 u = 2 * qint64(corner.x()) - (shown.width() - 1),
                         v = 2 * qint64(corner.y()) - (shown.height() - 1);
            return QPoint(int((file.xx * u + file.yx * v + stored.width() - 1) / 2),
                          int((file.xy * u + file.yy * v + stored.height() - 1) / 2));
        };
        const QPoint a = back(display.crop.topLeft()), b = back(display.crop.bottomRight());
        options.crop = QRect(QPoint(qMin(a.x(), b.x()), qMin(a.y(), b.y())),
                             QPoint(qMax(a.x(), b.x()), qMax(a.y(), b.y())));
    }
    return options;
}

// The compressed bytes of the largest strip or tile, as libtiff reads them: no more than the file
// holds, nor, beyond 1 MiB, than ten times what it decodes to (that much when they are too many
// to be looked at).
qint64 largestChunk(TIFF *tiff, qint64 decodedBytes, qint64 fileBytes)
{
    const uint32_t chunks = TIFFIsTiled(tiff) ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
    if (chunks > (1u << 20))
        return qMin(fileBytes, decodedBytes * 10 + 4096);
    qint64 most = 0;
    for (uint32_t i = 0; i < chunks && most < fileBytes; ++i) {
        qint64 bytes = qint64(qMin<uint64_t>(TIFFGetStrileByteCount(tiff, i), uint64_t(LLONG_MAX)));
        if (bytes > (1 << 20))
            bytes = qMin(bytes, decodedBytes * 10 + 4096);
        most = qMax(most, qMin(bytes, fileBytes));
    }
    return most;
}

// Reads the file's rows, a band at a time, as Qt's plugin reads the whole picture.
// The format that holds Qt's 32-bit pixels red first, byte after byte: each of libtiff's
// 32-bit values, red in its low byte, on a little-endian machine.
QImage::Format redFirst(QImage::Format format)
{
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "libtiff's RGBA values read as bytes");
    return format == QImage::Format_RGB32 ? QImage::Format_RGBX8888
        : format == QImage::Format_ARGB32 ? QImage::Format_RGBA8888
                                          : QImage::Format_RGBA8888_Premultiplied;
}

// Samples of 16-bit RGB, 6 bytes a pixel as stored, spread to 8 with an opaque alpha.
void spreadRgb48(uchar *row, int width)
{
    auto *samples = reinterpret_cast<quint16 *>(row);
    for (int x = width - 1; x >= 0; --x) {
        samples[4 * x + 3] = 0xffff;
        samples[4 * x + 2] = samples[3 * x + 2];
        samples[4 * x + 1] = samples[3 * x + 1];
        samples[4 * x] = samples[3 * x];
    }
}

class TiffRows
{
public:
    TiffRows(TIFF *tiff, const TiffKind &kind, QVector<QRgb> colours)
        : m_tiff(tiff)
        , m_kind(kind)
        , m_colours(std::move(colours))
        , m_rowBytes(QImage(kind.size.width(), 1, kind.format).bytesPerLine())
    { }

    // Gets ready to read, bands of whole strips or rows of tiles of about 1 MiB, and of no more
    // than `mostRows` rows when they are that many (0: no such limit); false when the plugin would
    // fail on this file before reading a row.
    bool open(qint64 fileBytes, int mostRows);

    int rowBytes() const { return m_rowBytes; }
    int bandRows() const { return m_bandRows; }
    // What libtiff holds while it reads a band.
    qint64 libtiffBytes() const { return m_libtiffBytes; }

    // A band for the next rows, in the plugin's format and colour table, zero-filled as the
    // picture the plugin is handed is. libtiff's RGBA reader lays each pixel out red first, as
    // the same format with red first holds it: converted to Qt's order as it is scaled, on the
    // scaling's thread, where the plugin puts each pixel back in Qt's order itself.
    QImage band() const;

    // Reads `count` rows from row `top` into the band; false when libtiff fails.
    bool read(QImage &band, int top, int count);

private:
    bool readScanlines(QImage &band, int top, int count);

    // Each tile of each row of tiles, its rows copied to their place as the plugin copies them.
    bool readTiles(QImage &band, int top, int count);

    // libtiff's RGBA reader over the band's rows, in the file's order of rows.
    bool readRgba(QImage &band, int top, int count);

    TIFF *m_tiff;
    const TiffKind m_kind;
    const QVector<QRgb> m_colours;
    const int m_rowBytes;
    std::unique_ptr<RgbaReader> m_rgba;
    int m_unitRows = 1; // a band's rows are a multiple of these: a strip's, or a row of tiles'
    int m_bandRows = 1;
    qint64 m_libtiffBytes = 0;
    uint32_t m_tileWidth = 0, m_tileLength = 0, m_tileRowBytes = 0;
    qint64 m_tileBytes = 0;
    std::vector<uchar> m_tile;
};

bool TiffRows::open(qint64 fileBytes, int mostRows)
{
    const int width = m_kind.size.width();
    const int height = m_kind.size.height();
    if (!m_kind.direct) {
        m_rgba.reset(new RgbaReader(m_tiff));
        if (!m_rgba->begun())
            return false;
        // Asked for the file's own orientation: its rows come as they are stored.
        m_rgba->image()->req_orientation = m_kind.orientation;
    }
    const int planes = m_kind.planesApart ? 4 : 1; // the RGBA reader's buffer for planes apart
    if (TIFFIsTiled(m_tiff)) {
        uint32_t tileWidth = 0, tileLength = 0;
        TIFFGetField(m_tiff, TIFFTAG_TILEWIDTH, &tileWidth);
        TIFFGetField(m_tiff, TIFFTAG_TILELENGTH, &tileLength);
        if (!tileWidth || !tileLength)
            return false;
        m_unitRows = int(qMin<uint32_t>(tileLength, uint32_t(height)));
        const qint64 tileBytes = TIFFTileSize64(m_tiff);
        m_libtiffBytes = tileBytes * planes + largestChunk(m_tiff, tileBytes, fileBytes);
        if (m_kind.direct) {
            // The plugin's checks of the tiles it copies from.
            m_tileWidth = tileWidth;
            m_tileLength = tileLength;
            const bool mono = m_kind.format == QImage::Format_Mono;
            m_tileRowBytes = mono ? tileWidth / 8 : tileWidth * uint32_t(m_kind.storedPixelBytes);
            if (tileWidth % 16 || tileLength % 16 || tileBytes <= 0
                || qint64(tileBytes) / tileLength < qint64(m_tileRowBytes))
                return false;
            m_tileBytes = tileBytes;
        }
    } else {
        uint32_t rowsPerStrip = 0;
        TIFFGetFieldDefaulted(m_tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        const qint64 scanline = TIFFScanlineSize64(m_tiff);
        if (m_kind.direct) {
            // A scanline at a time: libtiff reads ahead 16 scanlines and holds twice that.
            if (qint64(m_rowBytes) < scanline)
                return false;
            m_unitRows = 1;
            m_libtiffBytes = 2 * (16 * scanline + 5000);
        } else {
            m_unitRows = int(qBound<uint32_t>(1, rowsPerStrip, uint32_t(height)));
            const qint64 stripBytes = TIFFStripSize64(m_tiff);
            m_libtiffBytes = stripBytes * planes + largestChunk(m_tiff, stripBytes, fileBytes);
        }
    }
    m_libtiffBytes += decoderBytes;
    const qint64 unitBytes = qint64(m_unitRows) * m_rowBytes;
    qint64 units = qMax<qint64>(1, bandBytes / unitBytes);
    if (mostRows > 0)
        units = qMin(units, qMax<qint64>(1, mostRows / m_unitRows));
    m_bandRows = int(qMin<qint64>(units * m_unitRows, height));
    return width > 0 && height > 0;
}

QImage TiffRows::band() const
{
    QImage band(m_kind.size.width(), m_bandRows, m_kind.direct ? m_kind.format : redFirst(m_kind.format));
    if (band.isNull())
        return band;
    if (m_kind.direct)
        band.fill(0);
    if (!m_colours.isEmpty())
        band.setColorTable(m_colours);
    return band;
}

bool TiffRows::read(QImage &band, int top, int count)
{
    const bool read = !m_kind.direct ? readRgba(band, top, count)
        : TIFFIsTiled(m_tiff)        ? readTiles(band, top, count)
                                     : readScanlines(band, top, count);
    if (read && m_kind.format == QImage::Format_RGBX64) {
        for (int y = 0; y < count; ++y)
            spreadRgb48(band.scanLine(y), band.width());
    }
    return read;
}

bool TiffRows::readScanlines(QImage &band, int top, int count)
{
    for (int y = 0; y < count; ++y) {
        if (TIFFReadScanline(m_tiff, band.scanLine(y), uint32_t(top + y), 0) < 0)
            return false;
    }
    return true;
}

bool TiffRows::readTiles(QImage &band, int top, int count)
{
    m_tile.resize(size_t(m_tileBytes));
    const uint32_t width = uint32_t(m_kind.size.width()), height = uint32_t(m_kind.size.height());
    const bool mono = m_kind.format == QImage::Format_Mono;
    const uint32_t rowBytes = mono ? (width + 7) / 8 : width * uint32_t(m_kind.storedPixelBytes);
    for (uint32_t y = uint32_t(top); y < uint32_t(top + count); y += m_tileLength) {
        const uint32_t lines = qMin(m_tileLength, height - y);
        for (uint32_t x = 0; x < width; x += m_tileWidth) {
            if (TIFFReadTile(m_tiff, m_tile.data(), x, y, 0, 0) < 0)
                return false;
            const uint32_t offset = mono ? x / 8 : x * uint32_t(m_kind.storedPixelBytes);
            const uint32_t copied = qMin(m_tileRowBytes, rowBytes - offset);
            for (uint32_t i = 0; i < lines; ++i)
                std::memcpy(band.scanLine(int(y - uint32_t(top) + i)) + offset,
                            m_tile.data() + size_t(i) * m_tileRowBytes, copied);
        }
    }
    return true;
}

bool TiffRows::readRgba(QImage &band, int top, int count)
{
    TIFFRGBAImage *image = m_rgba->image();
    image->row_offset = top;
    image->col_offset = 0;
    return TIFFRGBAImageGet(image, reinterpret_cast<uint32_t *>(band.bits()), uint32_t(band.width()),
                            uint32_t(count));
}

} // namespace

std::optional<DecodedPicture> decodeTiffByRows(PictureSource &source, const QByteArray &format, QSize size,
                                               const DisplayOptions &display, const RowFitting &rows)
{
    source.seek(0);
    source.resetRanPastEnd();
    const TiffFile file(&source);
    TIFF *tiff = file.tiff();
    const auto undecoded = [&] { return refusedPicture(undecodedStatus(format, &source)); };
    TiffKind kind;
    QVector<QRgb> colours;
    if (tiff)
        TIFFSetDirectory(tiff, 0); // as the plugin sets it, whatever it answers
    if (!tiff || !readKind(tiff, &kind) || kind.size != size)
        return undecoded();
    if (kind.direct && kind.planesApart)
        return std::nullopt;
    if (!readColours(tiff, kind, &colours))
        return undecoded();

    const QSize full = kind.turn & QImageIOHandler::TransformationRotate90 ? size.transposed() : size;
    if (!geometryProblem(full, display).isEmpty()) // refused by the caller, from the size alone
        return unshapedPicture(full);
    // The scaler's tables take some 40 bytes a row and a column: a size that alone would go over
    // the bound is refused before they are made.
    if ((qint64(size.width()) + size.height()) * 40 > maxDecodedBytes)
        return refusedPicture(DecodedPicture::TooLarge);
    const QSize oriented = orientedSize(full, display);
    const QSize scaled = scaledSize(oriented, display);
    QImage sample(1, 1, kind.format);
    sample.setColorTable(colours);
    const QImage::Format scaling
        = rowScalingFormat(sample.hasAlphaChannel(), oriented, scaled, display, rows);
    StreamingScaler scaler(size, storedShaping(display, kind.turn, size), scaled, scaling);

    TiffRows reader(tiff, kind, colours);
    if (!reader.open(source.size(), rows.bandRows))
        return undecoded();
    // What is held: the scaler's, what libtiff holds, a slice of rows converted and its rows
    // converted, and the bands in flight: three waiting while others are scaled when they are
    // small, else one, or, when the bound allows no more, none (each band scaled before the next
    // is read).
    const qint64 rowBytes = reader.rowBytes();
    const qint64 scalingRowBytes
        = qint64(size.width()) * (scaling == QImage::Format_RGBA64_Premultiplied ? 8 : 4);
    const qint64 fixed
        = scaler.heldBytes() + reader.libtiffBytes() + sliceRows(rowBytes) * (rowBytes + scalingRowBytes);
    const qint64 band = rowBytes * reader.bandRows();
    int waiting = -1;
    for (int tried : {3, 1, 0}) {
        if (waiting < 0 && fixed + band * ScalingThread::bandsHeld(tried) <= maxDecodedBytes
            && (tried < 3 || band * tried <= waitingBytes))
            waiting = tried;
    }
    if (waiting < 0 || !scaler.start())
        return refusedPicture(DecodedPicture::TooLarge);

    ScalingThread thread(&scaler, scaling, waiting);
    for (int top = 0; top < size.height(); top += reader.bandRows()) {
        QImage rowsRead = reader.band();
        if (rowsRead.isNull())
            return refusedPicture(DecodedPicture::TooLarge);
        const int count = qMin(reader.bandRows(), size.height() - top);
        if (!reader.read(rowsRead, top, count))
            return undecoded();
        thread.push(std::move(rowsRead), count);
        if (rows.interrupted && rows.interrupted->load())
            return refusedPicture(DecodedPicture::Hostile); // the caller says so
    }
    thread.finish(); // every band scaled
    if (readsWithinTheFile(format) && source.ranPastEnd())
        return refusedPicture(DecodedPicture::Truncated);
    return fittedPicture(scaler, scaled, full, display);
}
