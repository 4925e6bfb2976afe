// LVGL image descriptors: the pixels in one of LVGL's colour formats, laid out as LVGL's own
// converter (scripts/LVGLImage.py) lays them out, behind the descriptor LVGL draws.

#include "lvgl_format.h"

#include "display_format_parts.h"
#include "lvgl_compression.h"
#include "lvgl_descriptor.h"
#include "palette.h"
#include "pixel_packing.h"
#include "released_memory.h"

#include <QCoreApplication>
#include <QtEndian>

#include <memory>
#include <new>
#include <optional>

namespace {

// What LVGL 9 knows of each colour format it is given here: its number in lv_color_format_t,
// its bits a pixel, and its palette's size.
struct LvglColourFormat
{
    const char *name;
    int number; // in LVGL 9's lv_color_format_t
    int bitsPerPixel;
    int paletteSize; // 0: not indexed
    bool alpha; // whether it keeps transparency
    const char *lvgl8Name; // its LVGL 8 lv_img_cf_t, or nullptr where LVGL 8 has none
    int lvgl8Number; // and its number there
};

const LvglColourFormat colourFormats[] = {
    {"RGB565", 0x12, 16, 0, false, "LV_IMG_CF_TRUE_COLOR", 4},
    {"RGB565A8", 0x14, 16, 0, true, "LV_IMG_CF_TRUE_COLOR_ALPHA", 5},
    {"RGB565_SWAPPED", 0x1B, 16, 0, false, nullptr, 0},
    {"RGB888", 0x0F, 24, 0, false, nullptr, 0},
    {"XRGB8888", 0x11, 32, 0, false, nullptr, 0},
    {"ARGB8888", 0x10, 32, 0, true, nullptr, 0},
    {"L8", 0x06, 8, 0, false, nullptr, 0},
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
// another; RGB565 with swapped bytes is LVGL 9's RGB565_SWAPPED.
const LvglColourFormat &chosenColourFormat(const PreparedPicture &picture, const EncodingOptions &options)
{
    QByteArray chosen = options.lvglColourFormat;
    if (chosen.isEmpty())
        chosen = picture.alpha.isNull() || opaque(picture.alpha) ? "RGB565" : "RGB565A8";
    if (chosen == "RGB565" && options.swapBytes && options.lvglVersion != 8)
        chosen = "RGB565_SWAPPED";
    return *findColourFormat(chosen);
}

QRgb overBlack(QRgb colour, int alpha)
{
    return qRgb(qRed(colour) * alpha / 255, qGreen(colour) * alpha / 255, qBlue(colour) * alpha / 255);
}

// What the display shows of LVGL's direct colour formats, drawn from the pixels written: rows of
// `rowBytes`, then, for RGB565A8, the alpha plane's rows of `alphaStride`. Pixels with alpha are
// laid onto black.
struct DirectPixelsShown
{
    // Whichever holds the memory of `data`, shared, when the rows are drawn on demand: the
    // picture's own, or the array's.
    QImage storage;
    QByteArray bytes;
    const uchar *data = nullptr;
    int width = 0, height = 0, rowBytes = 0, alphaStride = 0, bytesPerPixel = 0;
    bool fiveSixFive = false, lvgl8 = false, greyOrAlpha = false, argb = false;

    void operator()(int y, QRgb *row) const
    {
        drawRow(data + qsizetype(y) * rowBytes,
                data + qsizetype(height) * rowBytes + qsizetype(y) * alphaStride, row);
    }

    // One row from its bytes and, for RGB565A8, its row of the alpha plane.
    void drawRow(const uchar *in, const uchar *alphaIn, QRgb *row) const
    {
        for (int x = 0; x < width; ++x) {
            if (fiveSixFive) {
                const int alpha = lvgl8 ? in[2] : alphaIn[x];
                row[x] = overBlack(shownColour(quint16(in[0] | in[1] << 8)), alpha);
                in += lvgl8 ? 3 : 2;
            } else if (greyOrAlpha) {
                row[x] = qRgb(in[x], in[x], in[x]);
            } else {
                const QRgb colour = qRgb(in[2], in[1], in[0]);
                row[x] = argb ? overBlack(colour, in[3]) : colour;
                in += bytesPerPixel;
            }
        }
    }
};

// The same drawn from the compressed pixels, read back in order: one stream for the rows and, for
// RGB565A8, one for the alpha plane after them. Rows asked out of order start the reading over.
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

// The pixels of one colour format, rows of `stride` bytes (LVGL 9) or packed tight (LVGL 8),
// and the picture they show once laid onto black.
struct LvglPixels
{
    QByteArray data; // the palette first, for indexed formats
    QImage storage; // what holds data's bytes when they are the picture's own, encoded in place
    QByteArray swapped; // LVGL 8's 16-bit colours with their bytes swapped, for LV_COLOR_16_SWAP
    QImage shown;
    PictureRows drawnShown; // instead of `shown`, drawn from `storage` or `data`
    DirectPixelsShown draw; // how a row of a direct colour format shows, for rows drawn later
    int stride = 0;
    QVector<UniformArray> uniform; // I1's pixels when they are all alike
};

// Indexed formats: the palette, 4 bytes a colour, then the indices. I1 is LVGL's format for
// monochrome displays: black and white by luminance, white where lit (at or above the threshold,
// or below it with --invert); the others take the palette chosen for the picture.
LvglPixels indexedPixels(PreparedPicture picture, const LvglColourFormat &format,
                         const EncodingOptions &options, int stride)
{
    const QSize size = picture.colours.size();
    const int width = size.width(), height = size.height();
    IndexedPicture indexed;
    QImage lit; // I1: 1 where lit, a byte a pixel
    QVector<UniformArray> uniform;
    if (format.paletteSize == 2) {
        lit = storedGreyLevels(picture.colours, 2, options.threshold, options);
        noteUniformBits(lit, picture.transparentOnBlack, options, &uniform);
        indexed.palette = {0x0000, 0xffff};
    } else {
        indexed = indexPixels(picture.colours, choosePalette(picture.colours, format.paletteSize),
                              options.dither);
    }
    picture = PreparedPicture(); // the indices are all that is needed now
    LvglPixels pixels;
    pixels.stride = stride;
    pixels.uniform = std::move(uniform);
    indexed.palette.resize(format.paletteSize);
    pixels.data = QByteArray(4 * format.paletteSize + qsizetype(stride) * height, Qt::Uninitialized);
    char *out = pixels.data.data();
    for (quint16 entry : indexed.palette) { // lv_color32_t: blue, green, red, alpha
        const QRgb colour = shownColour(entry);
        *out++ = char(qBlue(colour));
        *out++ = char(qGreen(colour));
        *out++ = char(qRed(colour));
        *out++ = char(0xff);
    }
    // The leftmost pixel in the highest bits, rows padded with zeros.
    const BitPacking packing {format.bitsPerPixel};
    if (lit.isNull()) {
        packRowsInto(indexed.indices.constData(), width, width, height, packing, stride, out);
        if (options.shown != EncodingOptions::NotShown)
            pixels.shown = paletteColours(indexed, size);
        return pixels;
    }
    packRowsInto(lit.constBits(), lit.bytesPerLine(), width, height, packing, stride, out);
    pixels.shown = shownGreyLevels(std::move(lit), 2, options); // black and white
    return pixels;
}

// A picture of the encoder's own, to be read once from its top row: made its own first when it is
// shared, so that no one else sees its memory go.
ReleasedMemory releasedAsRead(QImage &picture)
{
    if (picture.isNull())
        return ReleasedMemory();
    const uchar *bits = picture.bits();
    return ReleasedMemory(bits, picture.sizeInBytes());
}

LvglPixels lvglPixels(PreparedPicture picture, const LvglColourFormat &format, const EncodingOptions &options)
{
    const QSize size = picture.colours.size();
    const int width = size.width(), height = size.height();
    const bool lvgl8 = options.lvglVersion == 8;
    const int tightStride = (width * format.bitsPerPixel + 7) / 8;
    const int stride = lvgl8
        ? tightStride
        : (tightStride + options.strideAlign - 1) / options.strideAlign * options.strideAlign;
    if (format.paletteSize)
        return indexedPixels(std::move(picture), format, options, stride);
    LvglPixels pixels;
    pixels.stride = stride;
    const QByteArray name = format.name;

    // The colour formats below, told apart once rather than at every pixel.
    const bool fiveSixFive = name.startsWith("RGB565"), swapped = name == "RGB565_SWAPPED",
               withAlphaPlane = name == "RGB565A8", grey = name == "L8", alphaOnly = name == "A8",
               argb = name == "ARGB8888";
    const int bytesPerPixel = format.bitsPerPixel / 8 + (lvgl8 && withAlphaPlane ? 1 : 0);
    const int rowBytes = lvgl8 ? width * bytesPerPixel : pixels.stride;
    const int alphaStride = pixels.stride / 2; // the alpha plane's rows are half the colour rows
    // 24 and 32 bits a pixel are written over the picture's own colours, each pixel once read: the
    // rows are no longer than the picture's.
    const bool inPlace = !fiveSixFive && bytesPerPixel >= 3 && rowBytes <= picture.colours.bytesPerLine();
    QImage reduced = fiveSixFive ? reduceTo565(std::move(picture.colours), options.dither) : QImage();
    if (inPlace) {
        pixels.storage = std::move(picture.colours);
        uchar *bits = pixels.storage.bits();
        if (!bits) // a shared picture, which could not be copied
            throw std::bad_alloc();
        pixels.data = QByteArray::fromRawData(reinterpret_cast<const char *>(bits), rowBytes * height);
    } else {
        // Each byte written once, the rows' padding included, so that the array's pages are only
        // taken as the rows come.
        pixels.data = QByteArray(rowBytes * height + (withAlphaPlane && !lvgl8 ? alphaStride * height : 0),
                                 Qt::Uninitialized);
        if (lvgl8 && fiveSixFive)
            pixels.swapped = QByteArray(pixels.data.size(), Qt::Uninitialized);
    }
    const QImage &colours = inPlace ? pixels.storage : picture.colours;
    // The pictures the rows are made of are read once, top row first: their memory goes back to the
    // system as the array's rows are written. Not the 5-6-5 picture that is then shown as it is.
    const bool reducedShown = fiveSixFive && !withAlphaPlane && options.shown != EncodingOptions::NotShown;
    QImage &readColours = fiveSixFive ? reduced : picture.colours;
    ReleasedMemory coloursRead = inPlace || reducedShown ? ReleasedMemory() : releasedAsRead(readColours);
    ReleasedMemory alphaRead = releasedAsRead(picture.alpha);
    for (int y = 0; y < height; ++y) {
        const auto *line = fiveSixFive ? nullptr : reinterpret_cast<const QRgb *>(colours.constScanLine(y));
        const auto *line565
            = fiveSixFive ? reinterpret_cast<const quint16 *>(reduced.constScanLine(y)) : nullptr;
        const uchar *alphas = picture.alpha.isNull() ? nullptr : picture.alpha.constScanLine(y);
        char *const rowStart = inPlace
            ? reinterpret_cast<char *>(pixels.storage.bits()) + qsizetype(y) * rowBytes
            : pixels.data.data() + qsizetype(y) * rowBytes;
        char *out = rowStart;
        char *other = lvgl8 && fiveSixFive ? pixels.swapped.data() + y * rowBytes : nullptr;
        char *alphaOut
            = withAlphaPlane && !lvgl8 ? pixels.data.data() + height * rowBytes + y * alphaStride : nullptr;
        for (int x = 0; x < width; ++x) {
            const int alpha = alphas ? alphas[x] : 255;
            if (fiveSixFive) {
                const quint16 value = line565[x];
                out = put565(out, value, swapped);
                if (other)
                    other = put565(other, value, true);
                if (withAlphaPlane) {
                    if (lvgl8) { // LVGL 8 keeps each pixel's alpha right after its colour
                        *out++ = char(alpha);
                        *other++ = char(alpha);
                    } else {
                        alphaOut[x] = char(alpha);
                    }
                }
            } else if (grey) {
                const int level = luminance(line[x]);
                *out++ = char(options.invert ? 255 - level : level);
            } else if (alphaOnly) {
                *out++ = char(alpha);
            } else { // RGB888, XRGB8888, ARGB8888: blue, green, red, then alpha
                const QRgb colour = line[x]; // read whole before its bytes are written over
                *out++ = char(qBlue(colour));
                *out++ = char(qGreen(colour));
                *out++ = char(qRed(colour));
                if (format.bitsPerPixel == 32)
                    *out++ = char(argb ? alpha : 0xff);
            }
        }
        std::fill(out, rowStart + rowBytes, '\0'); // the row's padding
        if (alphaOut)
            std::fill(alphaOut + width, alphaOut + alphaStride, '\0');
        if (!inPlace && !reducedShown)
            coloursRead.readUpTo(readColours.constScanLine(y) + readColours.bytesPerLine());
        if (alphas)
            alphaRead.readUpTo(alphas + picture.alpha.bytesPerLine());
    }

    // Opaque 5-6-5 shows as it is; the others are drawn from the pixels written, the picture
    // let go first.
    picture = PreparedPicture();
    if (options.shown == EncodingOptions::NotShown)
        return pixels;
    if (fiveSixFive && !withAlphaPlane) {
        pixels.shown = std::move(reduced);
        return pixels;
    }
    reduced = QImage();
    pixels.draw = {QImage(),
                   QByteArray(),
                   reinterpret_cast<const uchar *>(pixels.data.constData()),
                   width,
                   height,
                   rowBytes,
                   alphaStride,
                   format.bitsPerPixel / 8,
                   fiveSixFive,
                   lvgl8,
                   grey || alphaOnly,
                   argb};
    // For a preview, the rows are drawn from the array as it is written (see encodeLvgl); the BMP
    // file's 5-6-5 pixels are made now.
    if (options.shown == EncodingOptions::Shown565)
        pixels.shown = PictureRows(size, pixels.draw).picture(QImage::Format_RGB16);
    return pixels;
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

EncodedPicture encodeLvgl(PreparedPicture picture, const EncodingOptions &options)
{
    const bool lvgl8 = options.lvglVersion == 8;
    const LvglColourFormat &format = chosenColourFormat(picture, options);
    const QSize size = picture.colours.size();
    // A format without transparency shows the picture as the window does, laid onto black.
    const bool transparentOnBlack = picture.transparentOnBlack;
    LvglPixels pixels = format.alpha
        ? lvglPixels(std::move(picture), format, options)
        : lvglPixels({opaqueColours(std::move(picture)), QImage(), false, transparentOnBlack}, format,
                     options);
    LvglImage image;
    image.name = options.arrayName;
    image.version = options.lvglVersion;
    image.colourFormat = lvgl8 ? QByteArray(format.lvgl8Name) : "LV_COLOR_FORMAT_" + QByteArray(format.name);
    image.colourFormatNumber = lvgl8 ? format.lvgl8Number : format.number;
    image.size = size;
    image.stride = pixels.stride;
    image.compressed = options.compression != EncodingOptions::Uncompressed;
    image.trueColour = lvgl8 && format.bitsPerPixel == 16;

    EncodedPicture encoded;
    encoded.header = lvglHeader(image);
    encoded.imageFileHeader = lvglFileHeader(image);
    encoded.uniform = pixels.uniform;
    encoded.shown = std::move(pixels.shown);
    // A preview of a direct colour format is drawn from the array, whole or compressed, as it is
    // written: no second picture is held.
    const bool drawnFromArray = options.shown == EncodingOptions::ShownInFullColour && pixels.draw.data;
    if (drawnFromArray && !image.compressed) {
        DirectPixelsShown draw = pixels.draw;
        draw.storage = pixels.storage;
        draw.bytes = pixels.data;
        encoded.drawnShown = PictureRows(size, draw);
    }
    const qint64 rawSize = pixels.data.size();
    if (image.compressed) {
        const bool rle = options.compression == EncodingOptions::Rle;
        // The compressed bytes after room for LVGL's 12-byte header: method, compressed size, size.
        constexpr int headerBytes = 12;
        // The pixels given up to the compression, which holds them once: the picture's own memory
        // when they were encoded in place.
        char *raw
            = pixels.storage.isNull() ? pixels.data.data() : reinterpret_cast<char *>(pixels.storage.bits());
        QByteArray data = rle ? lvglRleCompress(raw, rawSize, (format.bitsPerPixel + 7) / 8, headerBytes)
                              : lz4Compress(raw, rawSize, headerBytes);
        pixels.data = QByteArray();
        pixels.storage = QImage();
        qToLittleEndian<quint32>(rle ? 1 : 2, data.data());
        qToLittleEndian<quint32>(quint32(data.size() - headerBytes), data.data() + 4);
        qToLittleEndian<quint32>(quint32(rawSize), data.data() + 8);
        pixels.data = std::move(data);
        if (drawnFromArray)
            encoded.drawnShown
                = PictureRows(size,
                              CompressedPixelsShown(pixels.draw, pixels.data, headerBytes,
                                                    rle ? DecompressedStream::Rle : DecompressedStream::Lz4,
                                                    (format.bitsPerPixel + 7) / 8,
                                                    format.name == QByteArray("RGB565A8") && !lvgl8));
        encoded.header.commentLines << QByteArray(rle ? "RLE compression" : "LZ4 compression") + ": "
                + QByteArray::number(pixels.data.size()) + " bytes instead of " + QByteArray::number(rawSize)
                + " (" + QByteArray::number(qRound(100.0 * pixels.data.size() / qMax<qint64>(rawSize, 1)))
                + "%).";
    }
    encoded.header.arrays << lvglMap(image, std::move(pixels.data), std::move(pixels.storage),
                                     std::move(pixels.swapped));
    return encoded;
}

QString lvglOptionsProblem(const QHash<QString, QString> &given, EncodingOptions *options)
{
    if (given.contains(QStringLiteral("lvgl-version"))) {
        const QString value = given.value(QStringLiteral("lvgl-version")).trimmed();
        if (value != QLatin1String("8") && value != QLatin1String("9"))
            return QCoreApplication::translate("DisplayFormat", "--lvgl-version : « %1 » inconnue (8 ou 9)")
                .arg(value);
        options->lvglVersion = value.toInt();
    }
    const bool lvgl8 = options->lvglVersion == 8;
    if (given.contains(QStringLiteral("lvgl-cf"))) {
        const QByteArray value = given.value(QStringLiteral("lvgl-cf")).trimmed().toLatin1();
        if (!isLvglColourFormat(value, options->lvglVersion))
            return QCoreApplication::translate("DisplayFormat",
                                               "--lvgl-cf : « %1 » inconnu pour LVGL %2 (%3)")
                .arg(QString::fromLatin1(value))
                .arg(options->lvglVersion)
                .arg(QString::fromLatin1(lvglColourFormatNames(options->lvglVersion).join(", ")));
        options->lvglColourFormat = value;
    }
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
    if (given.contains(QStringLiteral("stride-align")) && lvgl8)
        return QCoreApplication::translate("DisplayFormat", "--stride-align ne s'emploie pas avec LVGL 8");
    if (given.contains(QStringLiteral("compress"))) {
        const QString value = given.value(QStringLiteral("compress")).trimmed();
        if (value == QLatin1String("rle"))
            options->compression = EncodingOptions::Rle;
        else if (value == QLatin1String("lz4"))
            options->compression = EncodingOptions::Lz4;
        else
            return QCoreApplication::translate("DisplayFormat", "--compress : « %1 » inconnu (rle ou lz4)")
                .arg(value);
        if (lvgl8)
            return QCoreApplication::translate(
                "DisplayFormat",
                "--compress ne s'emploie pas avec LVGL 8, qui ne lit pas d'image compressée");
    }
    if (options->progmem)
        return QCoreApplication::translate("DisplayFormat",
                                           "--progmem ne s'emploie pas avec --format lvgl : LVGL lit ses "
                                           "images en mémoire ordinaire");
    // Only LVGL's black and white and grey formats light pixels by a threshold or reverse them.
    const QByteArray &colourFormat = options->lvglColourFormat;
    if (given.contains(QStringLiteral("threshold")) && colourFormat != "I1")
        return QCoreApplication::translate("DisplayFormat",
                                           "--threshold ne s'emploie avec LVGL qu'avec --lvgl-cf I1");
    if (given.contains(QStringLiteral("invert")) && colourFormat != "I1" && colourFormat != "L8")
        return QCoreApplication::translate("DisplayFormat",
                                           "--invert ne s'emploie avec LVGL qu'avec --lvgl-cf I1 ou L8");
    return QString();
}
