// LVGL image descriptors: the colour format chosen, the pixels laid out in it (lvgl_pixels), and
// compressed when asked, behind the descriptor LVGL draws (lvgl_descriptor).

#include "lvgl_format.h"

#include "c_array_reader.h"
#include "lvgl_compression.h"
#include "lvgl_descriptor.h"
#include "lvgl_pixels.h"

#include <QCoreApplication>
#include <QtEndian>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace {

bool opaque(const QImage &alpha)
{
    for (int y = 0; y < alpha.height(); ++y) {
        const uchar *line = alpha.constScanLine(y);
        for (int x = 0; x < alpha.width(); ++x) {
            if (line[x] != 255)
                return false;
        }
    }
    return true;
}

// The colour format the options name; Automatic, RGB565 for an opaque picture, RGB565A8 for
// another; RGB565 with swapped bytes is LVGL 9's RGB565_SWAPPED; ARGB8565 in LVGL 8 is its true
// colour with alpha, as RGB565A8 is.
const LvglColourFormatRow &chosenColourFormat(const PreparedPicture &picture, const EncodingOptions &options)
{
    using F = LvglColourFormat;
    F chosen = options.lvgl.colourFormat;
    if (chosen == F::Automatic)
        chosen = picture.alpha.isNull() || opaque(picture.alpha) ? F::Rgb565 : F::Rgb565A8;
    if (chosen == F::Argb8565 && options.lvgl.version == 8)
        chosen = F::Rgb565A8;
    if (chosen == F::Rgb565 && options.pixels.swapBytes && options.lvgl.version != 8)
        chosen = F::Rgb565Swapped;
    return lvglColourFormatRow(chosen);
}

// What the display shows of a direct colour format, drawn as DirectPixelsShown draws it from the
// compressed pixels read back in order: one stream for the rows and, for RGB565A8, one for the
// alpha plane after them. Rows asked out of order start the reading over.
class CompressedPixelsShown
{
public:
    CompressedPixelsShown(const DirectPixelsShown &draw, const QByteArray &compressed, int headerBytes,
                          DecompressedStream::Method method, int blockSize, bool alphaPlane)
        : m_draw(draw)
        , m_reading(std::make_shared<Reading>())
    {
        m_reading->compressed = compressed;
        m_reading->start = headerBytes;
        m_reading->method = method;
        m_reading->blockSize = blockSize;
        m_reading->alphaPlane = alphaPlane;
    }

    void operator()(int y, QRgb *row) const
    {
        Reading &reading = *m_reading;
        const qint64 rowBytes = m_draw.rowBytes, alphaBytes = reading.alphaPlane ? m_draw.alphaStride : 0;
        if (!reading.colours || y != reading.next) {
            reading.colours.emplace(reading.compressed, reading.start, reading.method, reading.blockSize);
            reading.alpha.reset();
            if (alphaBytes) {
                reading.alpha.emplace(reading.compressed, reading.start, reading.method, reading.blockSize);
                skip(*reading.alpha, rowBytes * m_draw.height);
            }
            skip(*reading.colours, rowBytes * y);
            if (reading.alpha)
                skip(*reading.alpha, alphaBytes * y);
            reading.row.assign(size_t(rowBytes + alphaBytes), '\0');
        }
        char *colours = reading.row.data(), *alphas = colours + rowBytes;
        if (!reading.colours->read(colours, rowBytes)
            || (reading.alpha && !reading.alpha->read(alphas, alphaBytes)))
            std::fill(reading.row.begin(), reading.row.end(), '\0'); // damaged: black
        reading.next = y + 1;
        m_draw.drawRow(reinterpret_cast<const uchar *>(colours), reinterpret_cast<const uchar *>(alphas),
                       row);
    }

private:
    struct Reading
    {
        QByteArray compressed;
        qint64 start = 0;
        DecompressedStream::Method method = DecompressedStream::Rle;
        int blockSize = 1;
        bool alphaPlane = false;
        std::optional<DecompressedStream> colours, alpha;
        int next = 0;
        std::vector<char> row;
    };

    static void skip(DecompressedStream &stream, qint64 size)
    {
        std::vector<char> passed(size_t(qMin<qint64>(size, 1 << 16)));
        for (qint64 left = size; left > 0; left -= qint64(passed.size()))
            stream.read(passed.data(), qMin(left, qint64(passed.size())));
    }

    DirectPixelsShown m_draw;
    std::shared_ptr<Reading> m_reading; // shared by the copies, which one thread at a time reads
};

// The pixels compressed as LVGL 9 reads them, after LVGL's 12-byte header: the method, the
// compressed size, the size. They are given up to the compression, which holds them once: the
// picture's own memory when they were encoded in place. Adds the comment's line that tells the
// ratio to `encoded`, and what the display shows, drawn from the compressed pixels, when `drawn`.
void compress(LvglPixels &pixels, const LvglColourFormatRow &format, const EncodingOptions &options,
              bool drawn, EncodedPicture &encoded)
{
    const bool rle = options.arrays.compression == ArrayLayout::Rle;
    const int blockSize = (format.bitsPerPixel + 7) / 8;
    constexpr int headerBytes = 12;
    const qint64 rawSize = pixels.data.size();
    char *raw
        = pixels.storage.isNull() ? pixels.data.data() : reinterpret_cast<char *>(pixels.storage.bits());
    QByteArray data = rle ? lvglRleCompress(raw, rawSize, blockSize, headerBytes)
                          : lz4Compress(raw, rawSize, headerBytes);
    pixels.data = QByteArray();
    pixels.storage = QImage();
    qToLittleEndian<quint32>(rle ? 1 : 2, data.data());
    qToLittleEndian<quint32>(quint32(data.size() - headerBytes), data.data() + 4);
    qToLittleEndian<quint32>(quint32(rawSize), data.data() + 8);
    pixels.data = std::move(data);
    if (drawn)
        encoded.drawnShown = PictureRows(
            QSize(pixels.draw.width, pixels.draw.height),
            CompressedPixelsShown(pixels.draw, pixels.data, headerBytes,
                                  rle ? DecompressedStream::Rle : DecompressedStream::Lz4, blockSize,
                                  format.id == LvglColourFormat::Rgb565A8 && options.lvgl.version != 8));
    encoded.header.commentLines << QByteArray(rle ? "RLE compression" : "LZ4 compression") + ": "
            + QByteArray::number(pixels.data.size()) + " bytes instead of " + QByteArray::number(rawSize)
            + " (" + QByteArray::number(qRound(100.0 * pixels.data.size() / qMax<qint64>(rawSize, 1)))
            + "%).";
}

} // namespace

QString lvglSizeProblem(const PreparedPicture &picture, const EncodingOptions &options)
{
    const int largest = options.lvgl.version == 8 ? 2047 : 65535;
    const QSize size = picture.colours.size();
    const qint64 stride = (qint64(size.width()) * chosenColourFormat(picture, options).bitsPerPixel + 7) / 8
        + options.arrays.strideAlign - 1;
    if (size.width() > largest || size.height() > largest || (options.lvgl.version == 9 && stride > 65535))
        return QCoreApplication::translate(
                   "DisplayFormat", "image trop grande pour LVGL %1 : %2 x %3 pixels, %4 au plus de côté%5")
            .arg(options.lvgl.version)
            .arg(size.width())
            .arg(size.height())
            .arg(largest)
            .arg(options.lvgl.version == 9
                     ? QCoreApplication::translate("DisplayFormat", " et 65 535 octets par ligne")
                     : QString());
    return QString();
}

QString lvglFramesProblem(int frames, const EncodingOptions &options)
{
    if (options.lvgl.version != 8 || frames <= 255)
        return QString();
    return QCoreApplication::translate(
        "PictureJob",
        "LVGL 8 n'anime que 255 images au plus (lv_animimg_set_src en prend le "
        "nombre en uint8_t) : choisissez-en avec --frames A-B");
}

EncodedPicture encodeLvgl(PreparedPicture picture, const EncodingOptions &options)
{
    const LvglColourFormatRow &format = chosenColourFormat(picture, options);
    const bool lvgl8 = options.lvgl.version == 8;
    LvglImage image;
    image.name = options.header.arrayName;
    image.version = options.lvgl.version;
    image.colourFormat = lvgl8 ? QByteArray(format.lvgl8Name) : "LV_COLOR_FORMAT_" + QByteArray(format.name);
    image.colourFormatNumber = lvgl8 ? format.lvgl8Number : format.number;
    image.size = picture.colours.size();
    image.compressed = options.arrays.compression != ArrayLayout::Uncompressed;
    image.trueColour = lvgl8 && format.bitsPerPixel == 16;
    LvglPixels pixels = lvglPixels(std::move(picture), format, options);
    image.stride = pixels.stride;

    EncodedPicture encoded;
    encoded.header = lvglHeader(image);
    encoded.imageFileHeader = lvglFileHeader(image);
    encoded.uniform = pixels.uniform;
    encoded.shown = std::move(pixels.shown);
    // A preview of a direct colour format is drawn from the array, whole or compressed, as it is
    // written: no second picture is held.
    const bool drawnFromArray = options.shown == EncodingOptions::ShownInFullColour && pixels.draw.data;
    if (image.compressed) {
        compress(pixels, format, options, drawnFromArray, encoded);
    } else if (drawnFromArray) {
        DirectPixelsShown draw = pixels.draw;
        draw.storage = pixels.storage;
        draw.bytes = pixels.data;
        encoded.drawnShown = PictureRows(image.size, draw);
    }
    encoded.header.arrays << lvglMap(image, std::move(pixels.data), std::move(pixels.storage),
                                     std::move(pixels.swapped));
    return encoded;
}

QString lvglOptionsProblem(EncodingOptions *options, const GivenOptions &given)
{
    using F = LvglColourFormat;
    const bool lvgl8 = options->lvgl.version == 8;
    F &colourFormat = options->lvgl.colourFormat;
    if (options->pixels.swapBytes) {
        if (lvgl8)
            return QCoreApplication::translate("DisplayFormat",
                                               "--swap-bytes ne s'emploie pas avec LVGL 8 : ses tableaux ont "
                                               "les deux ordres, que choisit LV_COLOR_16_SWAP");
        if (colourFormat != F::Automatic && colourFormat != F::Rgb565 && colourFormat != F::Rgb565Swapped)
            return QCoreApplication::translate("DisplayFormat",
                                               "--swap-bytes ne s'emploie avec LVGL qu'en RGB565");
        colourFormat = F::Rgb565Swapped;
    }
    if (given.strideAlign && lvgl8)
        return QCoreApplication::translate("DisplayFormat", "--stride-align ne s'emploie pas avec LVGL 8");
    if (options->arrays.compression != ArrayLayout::Uncompressed && lvgl8)
        return QCoreApplication::translate(
            "DisplayFormat", "--compress ne s'emploie pas avec LVGL 8, qui ne lit pas d'image compressée");
    if (options->header.progmem)
        return QCoreApplication::translate("DisplayFormat",
                                           "--progmem ne s'emploie pas avec --format lvgl : LVGL lit ses "
                                           "images en mémoire ordinaire");
    // Only LVGL's black and white and grey formats light pixels by a threshold or reverse them.
    if (given.threshold && colourFormat != F::I1)
        return QCoreApplication::translate("DisplayFormat",
                                           "--threshold ne s'emploie avec LVGL qu'avec --lvgl-cf I1");
    // ARGB1555 and ARGB4444 are cut to their bits, not dithered, in whatever way --dither-method says.
    if ((given.dither || given.ditherMethod) && (colourFormat == F::Argb1555 || colourFormat == F::Argb4444))
        return QCoreApplication::translate("DisplayFormat",
                                           "--%1 ne s'emploie pas avec --lvgl-cf %2, dont les couleurs "
                                           "sont coupées à leurs bits de poids fort")
            .arg(QLatin1String(given.dither ? "dither" : "dither-method"),
                 QString::fromLatin1(lvglColourFormatRow(colourFormat).name));
    if (options->pixels.invert && colourFormat != F::I1 && colourFormat != F::L8)
        return QCoreApplication::translate("DisplayFormat",
                                           "--invert ne s'emploie avec LVGL qu'avec --lvgl-cf I1 ou L8");
    return QString();
}

namespace {

// What an LVGL image descriptor read back tells of its picture.
struct ReadDescriptor
{
    int version = 9;
    const LvglColourFormatRow *format = nullptr;
    QSize size;
    int stride = 0; // LVGL 9's; 0 in LVGL 8, whose rows are not padded
    QByteArray flags; // LVGL 9's
    QByteArray strideText; // the field as it is written
    QByteArray mapName;
};

// The descriptor's fields. LVGL 9: magic, cf, flags, w, h, stride, reserved_2, data_size, data;
// LVGL 8: cf, always_zero, reserved, w, h, data_size, data.
QString readDescriptor(const ReadStruct &descriptor, ReadDescriptor *read)
{
    const QString name = QString::fromLatin1(descriptor.name);
    const bool lvgl8 = descriptor.type == "lv_img_dsc_t";
    const QVector<QByteArray> &fields = descriptor.fields;
    const int first = lvgl8 ? -1 : 0;
    const int dataSize = lvgl8 ? 5 : 7;
    if (fields.size() < dataSize + 2 || (!lvgl8 && fields[0] != "LV_IMAGE_HEADER_MAGIC")
        || fields[dataSize] != "sizeof ( " + fields[dataSize + 1] + " )")
        return QCoreApplication::translate("HeaderReading", "%1 : descripteur LVGL illisible").arg(name);
    read->version = lvgl8 ? 8 : 9;
    read->format = lvglColourFormatOfDescriptor(fields[first + 1], read->version);
    if (!read->format)
        return QCoreApplication::translate("HeaderReading", "%1 : format de couleur %2 inconnu de LVGL %3")
            .arg(name, QString::fromLatin1(fields[first + 1]))
            .arg(read->version);
    const auto number = [&](int field) {
        bool ok = false;
        const int value = fields[field].toInt(&ok);
        return ok ? value : -1;
    };
    const int width = number(3), height = number(4), largest = lvgl8 ? 2047 : 65535;
    if (width <= 0 || height <= 0 || width > largest || height > largest
        || qint64(width) * height > (qint64(1) << 28))
        return QCoreApplication::translate("HeaderReading", "%1 : taille %2 x %3 illisible")
            .arg(name, QString::fromLatin1(fields[3]), QString::fromLatin1(fields[4]));
    read->size = QSize(width, height);
    read->stride = lvgl8 ? 0 : number(5);
    read->strideText = fields[5];
    read->flags = lvgl8 ? QByteArray("0") : fields[2];
    read->mapName = fields[dataSize + 1];
    return QString();
}

// The header of LVGL's compressed maps, 12 bytes: the method, the compressed size, the size.
constexpr int compressionHeaderBytes = 12;

// What is wrong with a compressed map's header for `expected` bytes of pixels, or an empty string.
QString compressionHeaderProblem(const QByteArray &mapName, const QByteArray &data, qint64 expected)
{
    if (data.size() < compressionHeaderBytes)
        return QCoreApplication::translate("HeaderReading",
                                           "%1 : %2 octets, moins que l'en-tête de compression de LVGL")
            .arg(QString::fromLatin1(mapName))
            .arg(data.size());
    const quint32 method = qFromLittleEndian<quint32>(data.constData()),
                  compressed = qFromLittleEndian<quint32>(data.constData() + 4),
                  raw = qFromLittleEndian<quint32>(data.constData() + 8);
    if (method != 1 && method != 2)
        return QCoreApplication::translate("HeaderReading", "%1 : méthode de compression %2 inconnue")
            .arg(QString::fromLatin1(mapName))
            .arg(method);
    if (compressed != quint32(data.size() - compressionHeaderBytes))
        return QCoreApplication::translate("HeaderReading",
                                           "%1 : %2 octets compressés annoncés au lieu des %3 qui suivent")
            .arg(QString::fromLatin1(mapName))
            .arg(compressed)
            .arg(data.size() - compressionHeaderBytes);
    if (raw != expected)
        return QCoreApplication::translate("HeaderReading",
                                           "%1 : %2 octets décompressés annoncés au lieu des %3 d'une "
                                           "image de cette taille")
            .arg(QString::fromLatin1(mapName))
            .arg(raw)
            .arg(expected);
    return QString();
}

// The `expected` bytes of pixels of a compressed map, RLE or LZ4 as its header says.
QString decompressedMap(const QByteArray &mapName, const QByteArray &data, const LvglColourFormatRow &format,
                        qint64 expected, QByteArray *pixels)
{
    const QString problem = compressionHeaderProblem(mapName, data, expected);
    if (!problem.isEmpty())
        return problem;
    const quint32 method = qFromLittleEndian<quint32>(data.constData()),
                  compressed = qFromLittleEndian<quint32>(data.constData() + 4);
    // Neither coding gives more than 255 bytes of one: a stream too short for the size is
    // refused before the size is held.
    DecompressedStream stream(data, compressionHeaderBytes,
                              method == 1 ? DecompressedStream::Rle : DecompressedStream::Lz4,
                              (format.bitsPerPixel + 7) / 8);
    pixels->clear();
    if (expected <= 255 * qint64(compressed) + 16) {
        *pixels = QByteArray(int(expected), Qt::Uninitialized);
        if (!stream.read(pixels->data(), expected))
            pixels->clear();
    }
    if (pixels->isEmpty())
        return QCoreApplication::translate("HeaderReading",
                                           "%1 : le flux compressé s'arrête avant les %2 octets de "
                                           "l'image, ou il est abîmé")
            .arg(QString::fromLatin1(mapName))
            .arg(expected);
    if (!stream.finished())
        return QCoreApplication::translate("HeaderReading",
                                           "%1 : le flux compressé déborde des %2 octets de l'image")
            .arg(QString::fromLatin1(mapName))
            .arg(expected);
    return QString();
}

// The `expected` bytes of pixels of the descriptor's map: a header's array of bytes, compressed
// when its flags say so.
QString mapPixels(const ReadHeader &header, const QString &name, const ReadDescriptor &read, qint64 expected,
                  QByteArray *pixels)
{
    const QString mapName = QString::fromLatin1(read.mapName);
    const ReadArray *map = header.array(read.mapName);
    if (!map)
        return QCoreApplication::translate("HeaderReading", "%1 : tableau introuvable").arg(mapName);
    if (map->valueBytes != 1)
        return QCoreApplication::translate("HeaderReading", "%1 : des valeurs de %2 octets au lieu de 1")
            .arg(mapName)
            .arg(map->valueBytes);
    if (read.flags == "0 | LV_IMAGE_FLAGS_COMPRESSED")
        return decompressedMap(read.mapName, map->data, *read.format, expected, pixels);
    if (read.flags != "0")
        return QCoreApplication::translate("HeaderReading", "%1 : drapeaux « %2 » inconnus")
            .arg(name, QString::fromLatin1(read.flags));
    if (map->data.size() != expected)
        return QCoreApplication::translate("HeaderReading",
                                           "%1 : %2 octets au lieu des %3 d'une image de cette taille")
            .arg(mapName)
            .arg(map->data.size())
            .arg(expected);
    *pixels = map->data;
    return QString();
}

} // namespace

QString lvglShownOf(const ReadHeader &header, const ReadStruct &descriptor, QImage *shown)
{
    ReadDescriptor read;
    QString problem = readDescriptor(descriptor, &read);
    if (!problem.isEmpty())
        return problem;
    const qint64 expected = lvglPixelBytes(*read.format, read.version, read.size, read.stride);
    if (expected < 0)
        return QCoreApplication::translate("HeaderReading",
                                           "%1 : lignes de %2 octets, moins que leurs pixels")
            .arg(QString::fromLatin1(descriptor.name), QString::fromLatin1(read.strideText));
    QByteArray pixels;
    problem = mapPixels(header, QString::fromLatin1(descriptor.name), read, expected, &pixels);
    if (!problem.isEmpty())
        return problem;
    *shown = lvglPixelsShown(pixels, *read.format, read.version, read.size, read.stride);
    return QString();
}
