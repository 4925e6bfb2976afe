#include "picturesupport.h"

#include "atomic_file_writer.h"
#include "product.h"
#include "testsupport.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QtEndian>

#include <tiffio.h>

#include <algorithm>
#include <array>
#include <vector>

namespace TestSupport {

QImage patternPicture(int width, int height, bool withAlpha)
{
    QImage picture(width, height, withAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y,
                             qRgba((x * 37 + y * 11) & 0xff, (y * 53) & 0xff, (x * 29 + 100) & 0xff,
                                   withAlpha ? (x < width / 2 ? 0 : 255) : 255));
    return picture;
}

QImage alphaRampPicture()
{
    QImage picture(32, 8, QImage::Format_ARGB32);
    for (int alpha = 0; alpha < 256; ++alpha)
        picture.setPixel(
            alpha % 32, alpha / 32,
            qRgba((alpha * 97 + 13) & 0xff, (alpha * 59 + 200) & 0xff, (alpha * 173 + 71) & 0xff, alpha));
    return picture;
}

void savePicture(const QImage &picture, const QString &path, const char *format)
{
    if (qstrcmp(format, "GIF") == 0) {
        // GIF89a, 1 x 1, a two-colour table (black, white), one black pixel.
        writeFile(path,
                  QByteArray::fromHex("474946383961010001008000000000"
                                      "00FFFFFF"
                                      "2C000000000100010000"
                                      "02024401"
                                      "00"
                                      "3B"));
        return;
    }
    if (qstrcmp(format, "EPS") == 0) {
        // 7 x 5 points, drawn at one pixel a point: red, green and blue columns of 3, 2 and 2.
        writeFile(path,
                  "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 7 5\n"
                  "1 0 0 setrgbcolor 0 0 3 5 rectfill\n0 0.5 0 setrgbcolor 3 0 2 5 rectfill\n"
                  "0.2 0.4 1 setrgbcolor 5 0 2 5 rectfill\nshowpage\n");
        return;
    }
    if (!picture.save(path, format))
        qFatal("cannot write %s", qPrintable(path));
}

namespace {

quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xffffffff;
    for (char byte : bytes) {
        crc ^= uchar(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320 & (0u - (crc & 1)));
    }
    return ~crc;
}

} // namespace

QByteArray bigEndian32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray littleEndian32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray pngFile(const QImage &picture)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    return png;
}

QByteArray pngChunk(const QByteArray &type, const QByteArray &data)
{
    return bigEndian32(quint32(data.size())) + type + data + bigEndian32(crc32(type + data));
}

QByteArray pngWithoutPixels(quint32 width, quint32 height, int bitsPerChannel, int colourType)
{
    // An RGB picture whose image data is one empty compressed block: its size can be read,
    // its pixels cannot.
    return QByteArray::fromHex("89504E470D0A1A0A")
        + pngChunk("IHDR",
                   bigEndian32(width) + bigEndian32(height) + char(bitsPerChannel) + char(colourType)
                       + QByteArray::fromHex("000000"))
        + (colourType == 3 ? pngChunk("PLTE", QByteArray::fromHex("ff000000ff000000ff")) : QByteArray())
        + pngChunk("IDAT", QByteArray::fromHex("789C030000000001")) + pngChunk("IEND", QByteArray());
}

QByteArray pngOfSamples(QSize size, int depth, int colourType,
                        const std::function<int(int x, int y, int channel)> &sample, bool interlaced,
                        const QByteArray &chunks, int rows)
{
    const int channels = colourType == 2 ? 3 : colourType == 4 ? 2 : colourType == 6 ? 4 : 1;
    // Adam7's passes: where each starts and how far apart its pixels lie, across and down.
    const QVector<std::array<int, 4>> passes = interlaced
        ? QVector<std::array<int, 4>> {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                       {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}}
        : QVector<std::array<int, 4>> {{0, 0, 1, 1}};
    const int lastRow = rows < 0 ? size.height() : rows;
    QByteArray data;
    for (const auto &[x0, y0, dx, dy] : passes) {
        if (x0 >= size.width())
            continue;
        for (int y = y0; y < lastRow; y += dy) {
            data += '\0'; // no filter
            QByteArray row;
            quint32 bits = 0;
            int used = 0;
            for (int x = x0; x < size.width(); x += dx) {
                for (int c = 0; c < channels; ++c) {
                    bits = bits << depth | quint32(sample(x, y, c) & ((1 << depth) - 1));
                    for (used += depth; used >= 8; used -= 8)
                        row += char(bits >> (used - 8) & 0xff);
                }
            }
            if (used > 0)
                row += char(bits << (8 - used) & 0xff);
            data += row;
        }
    }
    return QByteArray::fromHex("89504E470D0A1A0A")
        + pngChunk("IHDR",
                   bigEndian32(quint32(size.width())) + bigEndian32(quint32(size.height())) + char(depth)
                       + char(colourType) + QByteArray::fromHex("0000") + char(interlaced ? 1 : 0))
        + chunks + pngChunk("IDAT", qCompress(data).mid(4)) + pngChunk("IEND", QByteArray());
}

QByteArray tiffOfSamples(QSize size, const TiffLayout &layout,
                         const std::function<int(int x, int y, int sample)> &sample, int rows)
{
    QTemporaryFile file;
    if (!file.open())
        qFatal("cannot make a temporary file");
    TIFF *tiff = TIFFOpen(QFile::encodeName(file.fileName()).constData(), layout.bigEndian ? "wb" : "wl");
    if (!tiff)
        qFatal("libtiff cannot write %s", qPrintable(file.fileName()));
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(size.width()));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(size.height()));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, uint16_t(layout.bits));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, uint16_t(layout.samples));
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, uint16_t(layout.photometric));
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG,
                 uint16_t(layout.planesApart ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG));
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, uint16_t(layout.compression));
    if (layout.predictor != 1)
        TIFFSetField(tiff, TIFFTAG_PREDICTOR, uint16_t(layout.predictor));
    if (layout.extraSample >= 0) {
        const uint16_t extra = uint16_t(layout.extraSample);
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, uint16_t(1), &extra);
    }
    if (layout.compression == COMPRESSION_JPEG && layout.photometric == PHOTOMETRIC_YCBCR)
        TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB); // written as RGB, coded as YCbCr
    if (layout.orientation > 0)
        TIFFSetField(tiff, TIFFTAG_ORIENTATION, uint16_t(layout.orientation));
    if (layout.photometric == PHOTOMETRIC_PALETTE) {
        std::vector<uint16_t> red(size_t(1) << layout.bits), green(red.size()), blue(red.size());
        for (int i = 0; i < layout.palette.size() && i < int(red.size()); ++i) {
            red[size_t(i)] = uint16_t(qRed(layout.palette[i]) * 257);
            green[size_t(i)] = uint16_t(qGreen(layout.palette[i]) * 257);
            blue[size_t(i)] = uint16_t(qBlue(layout.palette[i]) * 257);
        }
        TIFFSetField(tiff, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
    }
    const int planes = layout.planesApart ? layout.samples : 1;
    const int perPixel = layout.planesApart ? 1 : layout.samples;
    // `count` pixels from (x, y) of plane `plane`, packed at the samples' depth, the leftmost
    // first and in the highest bits; past the picture's edge, zeros.
    const auto pack = [&](uchar *to, int x, int y, int count, int plane) {
        quint32 bits = 0;
        int used = 0;
        for (int i = 0; i < count; ++i) {
            for (int s = 0; s < perPixel; ++s) {
                const bool inside = x + i < size.width() && y < size.height();
                const int value = inside ? sample(x + i, y, plane + s) : 0;
                if (layout.bits == 16) {
                    *reinterpret_cast<uint16_t *>(to) = uint16_t(value);
                    to += 2;
                    continue;
                }
                bits = bits << layout.bits | quint32(value & ((1 << layout.bits) - 1));
                for (used += layout.bits; used >= 8; used -= 8)
                    *to++ = uchar(bits >> (used - 8));
            }
        }
        if (used > 0)
            *to = uchar(bits << (8 - used));
    };
    bool written = true;
    if (layout.tile.isValid()) {
        TIFFSetField(tiff, TIFFTAG_TILEWIDTH, uint32_t(layout.tile.width()));
        TIFFSetField(tiff, TIFFTAG_TILELENGTH, uint32_t(layout.tile.height()));
        std::vector<uchar> tile(size_t(TIFFTileSize(tiff)));
        const tmsize_t rowBytes = TIFFTileRowSize(tiff);
        for (int plane = 0; plane < planes; ++plane) {
            for (int y = 0; y < size.height(); y += layout.tile.height()) {
                for (int x = 0; x < size.width(); x += layout.tile.width()) {
                    for (int i = 0; i < layout.tile.height(); ++i)
                        pack(tile.data() + i * rowBytes, x, y + i, layout.tile.width(), plane);
                    written = written
                        && TIFFWriteTile(tiff, tile.data(), uint32_t(x), uint32_t(y), 0, uint16_t(plane))
                            >= 0;
                }
            }
        }
    } else {
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP,
                     layout.rowsPerStrip > 0 ? uint32_t(layout.rowsPerStrip) : TIFFDefaultStripSize(tiff, 0));
        std::vector<uchar> row(size_t(TIFFScanlineSize(tiff)));
        const int lastRow = rows < 0 ? size.height() : rows;
        for (int plane = 0; plane < planes; ++plane) {
            for (int y = 0; y < lastRow; ++y) {
                pack(row.data(), 0, y, size.width(), plane);
                written = written && TIFFWriteScanline(tiff, row.data(), uint32_t(y), uint16_t(plane)) >= 0;
            }
        }
    }
    TIFFClose(tiff);
    if (!written)
        qFatal("libtiff cannot write %s", qPrintable(file.fileName()));
    return file.readAll();
}

QByteArray tiffByHand(const QList<QPair<int, quint32>> &tags, const QByteArray &data)
{
    const auto le16 = [](int value) { return littleEndian32(quint32(value)).left(2); };
    QList<QPair<int, quint32>> sorted = tags;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    const quint32 dataAt = quint32(8 + 2 + 12 * tags.size() + 4);
    QByteArray file = QByteArray("II*\0", 4) + littleEndian32(8) + le16(int(tags.size()));
    for (const auto &[tag, value] : sorted)
        file += le16(tag) + le16(4) + littleEndian32(1)
            + littleEndian32(tag == 273 || tag == 324 ? dataAt : value);
    return file + littleEndian32(0) + data;
}

QByteArray gzipFile(const QByteArray &data)
{
    // qCompress(): the size (4 bytes), zlib's header (2), the blocks, Adler-32 (4).
    const QByteArray zlib = qCompress(data);
    return QByteArray("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10) + zlib.mid(6, zlib.size() - 10)
        + littleEndian32(crc32(data)) + littleEndian32(quint32(data.size()));
}

QByteArray lvglRleDecoded(const QByteArray &in, int block)
{
    QByteArray out;
    for (int at = 0; at < in.size();) {
        const int control = quint8(in[at++]);
        if (control & 0x80) {
            out += in.mid(at, (control & 0x7f) * block);
            at += (control & 0x7f) * block;
        } else {
            for (int i = 0; i < control; ++i)
                out += in.mid(at, block);
            at += block;
        }
    }
    return out;
}

QByteArray storedZip(const QList<QPair<QByteArray, QByteArray>> &entries)
{
    const auto u16 = [](int value) { return littleEndian32(quint32(value)).left(2); };
    QByteArray archive, directory;
    for (const auto &[name, data] : entries) {
        // Version 1.0, no flags, stored, no date; the same fields in the local and the central
        // header.
        const QByteArray fields = u16(10) + u16(0) + u16(0) + u16(0) + u16(0) + littleEndian32(crc32(data))
            + littleEndian32(quint32(data.size())) + littleEndian32(quint32(data.size())) + u16(name.size())
            + u16(0);
        directory += littleEndian32(0x02014b50) + u16(10) + fields + u16(0) + u16(0) + u16(0)
            + littleEndian32(0) + littleEndian32(quint32(archive.size())) + name;
        archive += littleEndian32(0x04034b50) + fields + name + data;
    }
    return archive + directory + littleEndian32(0x06054b50) + u16(0) + u16(0) + u16(entries.size())
        + u16(entries.size()) + littleEndian32(quint32(directory.size()))
        + littleEndian32(quint32(archive.size())) + u16(0);
}

QByteArray bmpFile(int width, int height, int bitsPerPixel, int compression, const QByteArray &palette,
                   const QByteArray &pixels, qint64 pixelOffset, int infoSize)
{
    const auto u16 = [](int value) { return littleEndian32(quint32(value)).left(2); };
    QByteArray info = littleEndian32(quint32(infoSize));
    if (infoSize == 12) {
        info += u16(width) + u16(height) + u16(1) + u16(bitsPerPixel);
    } else {
        info += littleEndian32(quint32(width)) + littleEndian32(quint32(height)) + u16(1) + u16(bitsPerPixel)
            + littleEndian32(quint32(compression)) + littleEndian32(quint32(pixels.size()))
            + littleEndian32(2834) + littleEndian32(2834) + littleEndian32(quint32(palette.size() / 4))
            + littleEndian32(0);
        info.append(QByteArray(infoSize - info.size(), '\0'));
    }
    const qint64 offset = pixelOffset >= 0 ? pixelOffset : 14 + info.size() + palette.size();
    return "BM" + littleEndian32(quint32(14 + info.size() + palette.size() + pixels.size()))
        + littleEndian32(0) + littleEndian32(quint32(offset)) + info + palette + pixels;
}

QByteArray expectedBmp(const QImage &picture)
{
    const QImage rgb16 = picture.convertToFormat(QImage::Format_RGB16);
    const int rowSize = (rgb16.width() * 2 + 3) / 4 * 4;
    const quint32 pixelBytes = quint32(rowSize * rgb16.height());
    QByteArray bmp = "BM" + littleEndian32(pixelBytes + 54) + littleEndian32(0) + littleEndian32(54)
        + littleEndian32(40) + littleEndian32(quint32(rgb16.width()))
        + littleEndian32(quint32(rgb16.height())) + QByteArray::fromHex("01001000") + littleEndian32(0)
        + littleEndian32(pixelBytes) + littleEndian32(2834) + littleEndian32(2834) + littleEndian32(0)
        + littleEndian32(0);
    for (int y = rgb16.height() - 1; y >= 0; --y) {
        QByteArray row(rowSize, '\0');
        const auto *pixels = reinterpret_cast<const quint16 *>(rgb16.constScanLine(y));
        for (int x = 0; x < rgb16.width(); ++x)
            qToLittleEndian(pixels[x], row.data() + 2 * x);
        bmp += row;
    }
    return bmp;
}

QByteArray expectedHeader(const QByteArray &bytes)
{
    QByteArray text = QByteArray("// Fichier g\xC3\xA9n\xC3\xA9r\xC3\xA9 avec Quillon ") + Quillon::webAddress
        + "\n\nconst unsigned char logo[" + QByteArray::number(bytes.size()) + "] = \n{";
    for (int i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            text += ',';
        if (i % 16 == 0)
            text += "\n\t";
        text += "0x" + QByteArray::number(uchar(bytes[i]), 16).rightJustified(2, '0');
    }
    return text + "\n};";
}

namespace {

// Bits gathered least significant first (GIF) or most significant first (JPEG).
class BitWriter
{
public:
    explicit BitWriter(bool mostSignificantFirst)
        : m_msbFirst(mostSignificantFirst)
    { }

    void put(quint32 value, int count)
    {
        for (int i = 0; i < count; ++i) {
            const int bit = m_msbFirst ? (value >> (count - 1 - i)) & 1 : (value >> i) & 1;
            m_byte = m_msbFirst ? quint8(m_byte | bit << (7 - m_used)) : quint8(m_byte | bit << m_used);
            if (++m_used == 8)
                flush();
        }
    }

    // The last byte completed with ones (JPEG) or zeros (GIF); a JPEG's 0xff bytes stuffed.
    QByteArray finish()
    {
        while (m_used != 0)
            put(m_msbFirst ? 1 : 0, 1);
        return m_bytes;
    }

private:
    void flush()
    {
        m_bytes += char(m_byte);
        if (m_msbFirst && m_byte == 0xff)
            m_bytes += '\0';
        m_byte = 0;
        m_used = 0;
    }

    const bool m_msbFirst;
    QByteArray m_bytes;
    quint8 m_byte = 0;
    int m_used = 0;
};

QByteArray bigEndian16(int value)
{
    return QByteArray(1, char(value >> 8)) + char(value & 0xff);
}

} // namespace

QByteArray gifFile(int width, int height)
{
    const auto le16 = [](int value) { return QByteArray(1, char(value & 0xff)) + char(value >> 8); };
    QByteArray gif = "GIF89a" + le16(width) + le16(height) + QByteArray::fromHex("810000")
        + QByteArray::fromHex("000000ff000000ff000000ff");
    gif += "\x2c" + le16(0) + le16(0) + le16(width) + le16(height) + '\0';
    // Codes of 3 bits: 4 clears the table, 5 ends; a clear before every two pixels keeps the
    // table, and so the codes' width, as it is.
    BitWriter codes(false);
    for (int i = 0; i < width * height; ++i) {
        if (i % 2 == 0)
            codes.put(4, 3);
        codes.put(quint32((i % width + i / width) % 4), 3);
    }
    codes.put(5, 3);
    const QByteArray data = codes.finish();
    gif += '\x02';
    for (int at = 0; at < data.size(); at += 255) {
        const QByteArray block = data.mid(at, 255);
        gif += char(block.size()) + block;
    }
    return gif + '\0' + '\x3b';
}

QByteArray animatedGifFile(const QVector<QImage> &frames, const QVector<int> &delaysCs, QSize screen)
{
    QVector<GifFrame> gifFrames;
    for (int f = 0; f < frames.size(); ++f)
        gifFrames.push_back({frames[f], 0, false, delaysCs.value(f)});
    return gifOfFrames(gifFrames, screen, GifCoding::Literals);
}

QByteArray gifOfFrames(const QVector<GifFrame> &frames, QSize screen, GifCoding coding)
{
    const auto le16 = [](int value) { return QByteArray(1, char(value & 0xff)) + char(value >> 8 & 0xff); };
    QVector<QRgb> colours;
    bool transparency = false;
    for (const GifFrame &frame : frames) {
        for (int y = 0; y < frame.picture.height(); ++y) {
            for (int x = 0; x < frame.picture.width(); ++x) {
                const QRgb pixel = frame.picture.pixel(x, y);
                if (qAlpha(pixel) == 0)
                    transparency = true;
                else if (!colours.contains(pixel | 0xff000000))
                    colours << (pixel | 0xff000000);
            }
        }
    }
    const int transparent = colours.size(); // the index after the colours, when a frame has any
    Q_ASSERT(colours.size() + (transparency ? 1 : 0) <= 256);
    if (!screen.isValid())
        screen = frames.first().picture.size();
    QByteArray gif = "GIF89a" + le16(screen.width()) + le16(screen.height()) + '\xf7' + '\0' + '\0';
    for (int i = 0; i < 256; ++i) {
        const QRgb colour = colours.value(i);
        gif += char(qRed(colour)) + QByteArray(1, char(qGreen(colour))) + char(qBlue(colour));
    }
    gif += QByteArray::fromHex("21ff0b") + "NETSCAPE2.0" + QByteArray::fromHex("0301000000");
    for (const GifFrame &frame : frames) {
        const QImage &picture = frame.picture;
        bool hasTransparent = false;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                hasTransparent = hasTransparent || qAlpha(picture.pixel(x, y)) == 0;
        if (frame.delayCs > 0 || frame.disposal != 0 || hasTransparent)
            gif += QByteArray::fromHex("21f904") + char(frame.disposal << 2 | (hasTransparent ? 1 : 0))
                + le16(frame.delayCs) + char(hasTransparent ? transparent : 0) + '\0';
        const QPoint place = picture.offset();
        gif += '\x2c' + le16(place.x()) + le16(place.y()) + le16(picture.width()) + le16(picture.height())
            + char(frame.interlaced ? 0x40 : 0) + '\x08';
        // The rows in the order the frame stores them: interlaced, in four passes.
        QVector<int> rows;
        for (const auto &pass : frame.interlaced ? QVector<QPair<int, int>> {{0, 8}, {4, 8}, {2, 4}, {1, 2}}
                                                 : QVector<QPair<int, int>> {{0, 1}})
            for (int y = pass.first; y < picture.height(); y += pass.second)
                rows << y;
        QVector<int> indices;
        for (int y : rows)
            for (int x = 0; x < picture.width(); ++x)
                indices << (qAlpha(picture.pixel(x, y)) == 0
                                ? transparent
                                : colours.indexOf(picture.pixel(x, y) | 0xff000000));
        BitWriter codes(false);
        if (coding == GifCoding::Literals) {
            // Codes of 9 bits, each an index: a clear before every 200 keeps the table from growing.
            for (int i = 0; i < indices.size(); ++i) {
                if (i % 200 == 0)
                    codes.put(256, 9);
                codes.put(quint32(indices[i]), 9);
            }
            codes.put(257, 9);
        } else {
            // LZW: each string seen gets the next code, and the codes widen as the table grows.
            QHash<quint32, int> table;
            int codeSize = 9, next = 258, prefix = -1;
            codes.put(256, codeSize);
            for (int index : indices) {
                if (prefix < 0) {
                    prefix = index;
                    continue;
                }
                const quint32 key = quint32(prefix) << 8 | quint32(index);
                if (table.contains(key)) {
                    prefix = table.value(key);
                    continue;
                }
                codes.put(quint32(prefix), codeSize);
                prefix = index;
                if (next < 4096) {
                    table.insert(key, next++);
                    if (next > 1 << codeSize && codeSize < 12)
                        ++codeSize;
                }
                if (next == 4096 && coding == GifCoding::LzwClearedWhenFull) {
                    codes.put(256, codeSize);
                    table.clear();
                    codeSize = 9;
                    next = 258;
                }
            }
            if (prefix >= 0)
                codes.put(quint32(prefix), codeSize);
            if (prefix >= 0 && next < 4096 && next >= 1 << codeSize && codeSize < 12)
                ++codeSize; // the decoder adds one more string as it reads the last code
            codes.put(257, codeSize);
        }
        const QByteArray data = codes.finish();
        for (int at = 0; at < data.size(); at += 255) {
            const QByteArray block = data.mid(at, 255);
            gif += char(block.size()) + block;
        }
        gif += '\0';
    }
    return gif + '\x3b';
}

QByteArray progressiveJpeg(int width, int height, int scans, int components, int extraBytes)
{
    const auto segment = [](int marker, const QByteArray &data) {
        return QByteArray(1, '\xff') + char(marker) + bigEndian16(data.size() + 2) + data;
    };
    QByteArray jpeg = QByteArray::fromHex("ffd8") + segment(0xdb, '\0' + QByteArray(64, '\1'));
    QByteArray frame = '\x08' + bigEndian16(height) + bigEndian16(width) + char(components);
    for (int c = 1; c <= components; ++c)
        frame += QByteArray(1, char(c)) + '\x11' + '\0';
    jpeg += segment(0xc2, frame);
    // Huffman tables: DC 0 holds one code, a difference of 0; AC 0 the end-of-band runs EOB0 to
    // EOB14, four bits each.
    QByteArray tables = QByteArray::fromHex("00"
                                            "01000000000000000000000000000000"
                                            "00");
    tables += QByteArray::fromHex("10"
                                  "000000"
                                  "0f"
                                  "000000000000000000000000");
    for (int run = 0; run < 15; ++run)
        tables += char(run << 4);
    jpeg += segment(0xc4, tables);

    const int blocks = (width + 7) / 8 * ((height + 7) / 8);
    for (int scan = 0; scan < scans; ++scan) {
        BitWriter data(true);
        QByteArray header;
        if (scan < 14) { // DC, first at 13 bits of approximation, then refined a bit at a time
            header = QByteArray(1, char(components));
            for (int c = 1; c <= components; ++c)
                header += QByteArray(1, char(c)) + '\0';
            header += QByteArray(2, '\0') + char(scan == 0 ? 13 : (14 - scan) << 4 | (13 - scan));
            for (int block = 0; block < blocks * components; ++block)
                data.put(0, 1); // a difference of 0; a refinement bit of 0
        } else { // component, band, approximation
            const int index = scan - 14, component = index / 882 + 1, band = index % 882 / 14 + 1,
                      step = index % 14;
            header = QByteArray(1, '\1') + char(component) + '\0' + char(band) + char(band)
                + char(step == 0 ? 13 : (14 - step) << 4 | (13 - step));
            for (int left = blocks; left > 0;) {
                int bits = 0;
                while (bits < 14 && (2 << bits) <= left)
                    ++bits;
                const int run = std::min(left, (2 << bits) - 1);
                data.put(quint32(bits), 4);
                data.put(quint32(run - (1 << bits)), bits);
                left -= run;
            }
        }
        jpeg += segment(0xda, header) + data.finish();
        if (scan == 0)
            jpeg += QByteArray(extraBytes, '\0');
    }
    return jpeg + QByteArray::fromHex("ffd9");
}

QByteArray restartJpeg(int width, int height)
{
    const auto segment = [](int marker, const QByteArray &data) {
        return QByteArray(1, '\xff') + char(marker) + bigEndian16(data.size() + 2) + data;
    };
    QByteArray jpeg = QByteArray::fromHex("ffd8") + segment(0xdb, '\0' + QByteArray(64, '\1'));
    jpeg
        += segment(0xc0, '\x08' + bigEndian16(height) + bigEndian16(width) + QByteArray::fromHex("01011100"));
    // Huffman tables of one code each, a bit long: DC a difference of 0, AC the end of the block.
    jpeg += segment(0xc4,
                    QByteArray::fromHex("00"
                                        "01000000000000000000000000000000"
                                        "00"
                                        "10"
                                        "01000000000000000000000000000000"
                                        "00"));
    const int columns = (width + 7) / 8, rows = (height + 7) / 8;
    jpeg += segment(0xdd, bigEndian16(columns)); // the restart interval, in blocks
    jpeg += segment(0xda, QByteArray::fromHex("010100003f00"));
    for (int row = 0; row < rows; ++row) {
        BitWriter data(true);
        for (int column = 0; column < columns; ++column)
            data.put(0, 2); // a DC difference of 0, then the end of the block
        jpeg += data.finish();
        if (row + 1 < rows)
            jpeg += QByteArray(1, '\xff') + char(0xd0 + row % 8);
    }
    return jpeg + QByteArray::fromHex("ffd9");
}

quint16 rgb565(QRgb colour)
{
    return quint16((qRed(colour) >> 3) << 11 | (qGreen(colour) >> 2) << 5 | qBlue(colour) >> 3);
}

QRgb shown(quint16 value)
{
    const int r = value >> 11, g = value >> 5 & 0x3f, b = value & 0x1f;
    return qRgb(r << 3 | r >> 2, g << 2 | g >> 4, b << 3 | b >> 2);
}

int luma(QRgb c)
{
    return (299 * qRed(c) + 587 * qGreen(c) + 114 * qBlue(c) + 500) / 1000;
}

QImage onBlack(const QImage &picture, QSize size, QPoint at)
{
    QImage result(size, QImage::Format_RGB32);
    result.fill(Qt::black);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            if (picture.rect().contains(QPoint(x, y) - at))
                result.setPixel(x, y, picture.pixel(QPoint(x, y) - at));
    return result;
}

QImage sourcesPicture(QSize size, const QVector<QRgb> &sources)
{
    QImage picture(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            picture.setPixel(x, y, sources[(x + 3 * y) % sources.size()]);
    return picture;
}

EncodedPicture encodedFor(const QImage &picture, const QByteArray &format, const EncodingOptions &encoding,
                          const DisplayOptions &display)
{
    const DisplayFormat *displayFormat = findDisplayFormat(format);
    if (!displayFormat)
        qFatal("no format %s", format.constData());
    const bool keepAlpha = picture.hasAlphaChannel()
        && (displayFormat->alpha == DisplayFormat::AlphaAlways
            || (displayFormat->alpha == DisplayFormat::AlphaWhenAsked
                && (encoding.pixels.alphaMask || encoding.pixels.transparent.isValid())));
    DisplayOptions prepared = display;
    prepared.dither = encoding.display.dither; // one --dither for both steps
    prepared.tone = encoding.display.tone; // and one tone
    return displayFormat->encode(preparePicture(picture, prepared, keepAlpha), encoding);
}

LvglColourFormat lvglColourFormatOf(const QByteArray &name)
{
    if (name.isEmpty())
        return LvglColourFormat::Automatic;
    const std::optional<LvglColourFormat> format = lvglColourFormatNamed(name, 9);
    if (!format)
        qFatal("no LVGL colour format %s", name.constData());
    return *format;
}

QString headerText(const CHeader &header)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QString::fromLatin1(header.name) + ".h");
    AtomicFileWriter file(path);
    if (!file.open() || !writeCHeader(file, header) || !file.commit())
        qFatal("cannot write a header in %s", qPrintable(folder.path()));
    return QString::fromUtf8(readFile(path));
}

HeaderPictures readBack(const EncodedPicture &encoded, const QByteArray &format,
                        const EncodingOptions &encoding)
{
    CHeader header = encoded.header;
    header.commentLines << decodingLine(*findDisplayFormat(format), encoding);
    return decodeHeader(headerText(header).toUtf8());
}

void checkReadBack(const EncodedPicture &encoded, const QByteArray &format, const EncodingOptions &encoding)
{
    const HeaderPictures read = readBack(encoded, format, encoding);
    QCOMPARE(read.problem, QString());
    QCOMPARE(read.pictures.size(), 1);
    QCOMPARE(read.pictures[0].name, encoding.header.arrayName);
    QCOMPARE(read.pictures[0].shown, encoded.shownPicture());
}

} // namespace TestSupport
