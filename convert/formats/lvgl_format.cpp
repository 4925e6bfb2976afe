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

// Every colour format, as LvglColourFormat tells it: its name and number in LVGL 9, its bits a
// pixel, its palette's size, whether it keeps transparency, its name and number in LVGL 8.
const LvglColourFormat colourFormats[] = {
    {"RGB565", 0x12, 16, 0, false, "LV_IMG_CF_TRUE_COLOR", 4},
    {"RGB565A8", 0x14, 16, 0, true, "LV_IMG_CF_TRUE_COLOR_ALPHA", 5},
    {"RGB565_SWAPPED", 0x1B, 16, 0, false, nullptr, 0},
    {"RGB888", 0x0F, 24, 0, false, nullptr, 0},
    {"XRGB8888", 0x11, 32, 0, false, nullptr, 0},
    {"ARGB8888", 0x10, 32, 0, true, nullptr, 0},
    // LVGL 8's true colour with alpha has ARGB8565's bytes, under LV_COLOR_16_SWAP both orders.
    {"ARGB8565", 0x13, 24, 0, true, "LV_IMG_CF_TRUE_COLOR_ALPHA", 5},
    {"ARGB1555", 0x16, 16, 0, true, nullptr, 0},
    {"ARGB4444", 0x17, 16, 0, true, nullptr, 0},
    {"L8", 0x06, 8, 0, false, nullptr, 0},
    {"AL88", 0x15, 16, 0, true, nullptr, 0},
    {"A1", 0x0B, 1, 0, true, "LV_IMG_CF_ALPHA_1BIT", 11},
    {"A2", 0x0C, 2, 0, true, "LV_IMG_CF_ALPHA_2BIT", 12},
    {"A4", 0x0D, 4, 0, true, "LV_IMG_CF_ALPHA_4BIT", 13},
    {"A8", 0x0E, 8, 0, true, "LV_IMG_CF_ALPHA_8BIT", 14},
    {"I1", 0x07, 1, 2, false, "LV_IMG_CF_INDEXED_1BIT", 7},
    {"I2", 0x08, 2, 4, false, "LV_IMG_CF_INDEXED_2BIT", 8},
    {"I4", 0x09, 4, 16, false, "LV_IMG_CF_INDEXED_4BIT", 9},
    {"I8", 0x0A, 8, 256, false, "LV_IMG_CF_INDEXED_8BIT", 10},
};

const LvglColourFormat *findColourFormat(const QByteArray &name)
{
    for (const LvglColourFormat &format : colourFormats) {
        if (name == format.name)
            return &format;
    }
    return nullptr;
}

// The colour format a descriptor of LVGL `version` names: LV_COLOR_FORMAT_RGB565...,
// LV_IMG_CF_TRUE_COLOR...
const LvglColourFormat *colourFormatNamed(const QByteArray &name, int version)
{
    for (const LvglColourFormat &format : colourFormats) {
        if (version == 8 ? format.lvgl8Name && name == format.lvgl8Name
                         : name == "LV_COLOR_FORMAT_" + QByteArray(format.name))
            return &format;
    }
    return nullptr;
}

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

// The colour format the options name; without one, RGB565 for an opaque picture, RGB565A8 for
// another; RGB565 with swapped bytes is LVGL 9's RGB565_SWAPPED; ARGB8565 in LVGL 8 is its true
// colour with alpha, as RGB565A8 is.
const LvglColourFormat &chosenColourFormat(const PreparedPicture &picture, const EncodingOptions &options)
{
    QByteArray chosen = options.lvglColourFormat;
    if (chosen.isEmpty())
        chosen = picture.alpha.isNull() || opaque(picture.alpha) ? "RGB565" : "RGB565A8";
    if (chosen == "ARGB8565" && options.lvglVersion == 8)
        chosen = "RGB565A8";
    if (chosen == "RGB565" && options.swapBytes && options.lvglVersion != 8)
        chosen = "RGB565_SWAPPED";
    return *findColourFormat(chosen);
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
void compress(LvglPixels &pixels, const LvglColourFormat &format, const EncodingOptions &options, bool drawn,
              EncodedPicture &encoded)
{
    const bool rle = options.compression == EncodingOptions::Rle;
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
                                  format.name == QByteArray("RGB565A8") && options.lvglVersion != 8));
    encoded.header.commentLines << QByteArray(rle ? "RLE compression" : "LZ4 compression") + ": "
            + QByteArray::number(pixels.data.size()) + " bytes instead of " + QByteArray::number(rawSize)
            + " (" + QByteArray::number(qRound(100.0 * pixels.data.size() / qMax<qint64>(rawSize, 1)))
            + "%).";
}

} // namespace

bool isLvglColourFormat(const QByteArray &name, int version)
{
    const LvglColourFormat *format = findColourFormat(name);
    return format && (version != 8 || format->lvgl8Name);
}

QByteArrayList lvglColourFormatNames(int version)
{
    QByteArrayList names;
    for (const LvglColourFormat &format : colourFormats) {
        if (version != 8 || format.lvgl8Name)
            names << format.name;
    }
    return names;
}

QString lvglSizeProblem(const PreparedPicture &picture, const EncodingOptions &options)
{
    const int largest = options.lvglVersion == 8 ? 2047 : 65535;
    const QSize size = picture.colours.size();
    const qint64 stride = (qint64(size.width()) * chosenColourFormat(picture, options).bitsPerPixel + 7) / 8
        + options.strideAlign - 1;
    if (size.width() > largest || size.height() > largest || (options.lvglVersion == 9 && stride > 65535))
        return QCoreApplication::translate(
                   "DisplayFormat", "image trop grande pour LVGL %1 : %2 x %3 pixels, %4 au plus de côté%5")
            .arg(options.lvglVersion)
            .arg(size.width())
            .arg(size.height())
            .arg(largest)
            .arg(options.lvglVersion == 9
                     ? QCoreApplication::translate("DisplayFormat", " et 65 535 octets par ligne")
                     : QString());
    return QString();
}

QString lvglFramesProblem(int frames, const EncodingOptions &options)
{
    if (options.lvglVersion != 8 || frames <= 255)
        return QString();
    return QCoreApplication::translate(
        "PictureJob",
        "LVGL 8 n'anime que 255 images au plus (lv_animimg_set_src en prend le "
        "nombre en uint8_t) : choisissez-en avec --frames A-B");
}

EncodedPicture encodeLvgl(PreparedPicture picture, const EncodingOptions &options)
{
    const LvglColourFormat &format = chosenColourFormat(picture, options);
    const bool lvgl8 = options.lvglVersion == 8;
    LvglImage image;
    image.name = options.arrayName;
    image.version = options.lvglVersion;
    image.colourFormat = lvgl8 ? QByteArray(format.lvgl8Name) : "LV_COLOR_FORMAT_" + QByteArray(format.name);
    image.colourFormatNumber = lvgl8 ? format.lvgl8Number : format.number;
    image.size = picture.colours.size();
    image.compressed = options.compression != EncodingOptions::Uncompressed;
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
    const bool lvgl8 = options->lvglVersion == 8;
    if (given.lvglColourFormat && !isLvglColourFormat(options->lvglColourFormat, options->lvglVersion))
        return QCoreApplication::translate("DisplayFormat", "--lvgl-cf : « %1 » inconnu pour LVGL %2 (%3)")
            .arg(QString::fromLatin1(options->lvglColourFormat))
            .arg(options->lvglVersion)
            .arg(QString::fromLatin1(lvglColourFormatNames(options->lvglVersion).join(", ")));
    if (options->swapBytes) {
        if (lvgl8)
            return QCoreApplication::translate("DisplayFormat",
                                               "--swap-bytes ne s'emploie pas avec LVGL 8 : ses tableaux ont "
                                               "les deux ordres, que choisit LV_COLOR_16_SWAP");
        if (!options->lvglColourFormat.isEmpty() && options->lvglColourFormat != "RGB565"
            && options->lvglColourFormat != "RGB565_SWAPPED")
            return QCoreApplication::translate("DisplayFormat",
                                               "--swap-bytes ne s'emploie avec LVGL qu'en RGB565");
        options->lvglColourFormat = "RGB565_SWAPPED";
    }
    if (given.strideAlign && lvgl8)
        return QCoreApplication::translate("DisplayFormat", "--stride-align ne s'emploie pas avec LVGL 8");
    if (options->compression != EncodingOptions::Uncompressed && lvgl8)
        return QCoreApplication::translate(
            "DisplayFormat", "--compress ne s'emploie pas avec LVGL 8, qui ne lit pas d'image compressée");
    if (options->progmem)
        return QCoreApplication::translate("DisplayFormat",
                                           "--progmem ne s'emploie pas avec --format lvgl : LVGL lit ses "
                                           "images en mémoire ordinaire");
    // Only LVGL's black and white and grey formats light pixels by a threshold or reverse them.
    const QByteArray &colourFormat = options->lvglColourFormat;
    if (given.threshold && colourFormat != "I1")
        return QCoreApplication::translate("DisplayFormat",
                                           "--threshold ne s'emploie avec LVGL qu'avec --lvgl-cf I1");
    // ARGB1555 and ARGB4444 are cut to their bits, not dithered, in whatever way --dither-method says.
    if ((given.dither || given.ditherMethod) && (colourFormat == "ARGB1555" || colourFormat == "ARGB4444"))
        return QCoreApplication::translate("DisplayFormat",
                                           "--%1 ne s'emploie pas avec --lvgl-cf %2, dont les couleurs "
                                           "sont coupées à leurs bits de poids fort")
            .arg(QLatin1String(given.dither ? "dither" : "dither-method"), QString::fromLatin1(colourFormat));
    if (options->invert && colourFormat != "I1" && colourFormat != "L8")
        return QCoreApplication::translate("DisplayFormat",
                                           "--invert ne s'emploie avec LVGL qu'avec --lvgl-cf I1 ou L8");
    return QString();
}

namespace {

// What an LVGL image descriptor read back tells of its picture.
struct ReadDescriptor
{
    int version = 9;
    const LvglColourFormat *format = nullptr;
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
    read->format = colourFormatNamed(fields[first + 1], read->version);
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
QString decompressedMap(const QByteArray &mapName, const QByteArray &data, const LvglColourFormat &format,
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
