#include "header_pictures.h"

#include "c_array_reader.h"
#include "colour_formats.h"
#include "epaper_formats.h"
#include "lvgl_format.h"
#include "palette.h"
#include "picture_arrays.h"
#include "pixel_packing.h"

#include <QCoreApplication>
#include <QtEndian>

#include <algorithm>

namespace {

constexpr char linePrefix[] = "Quillon decoding:";

QString latin1(const QByteArray &text)
{
    return QString::fromLatin1(text);
}

// What decoding needs to know of the format and its options.
struct Reading
{
    QByteArray format;
    bool swapBytes = false;
    bool bgr = false;
};

// Bit x of a row of 1-bit pixels, the leftmost in the highest bit or the lowest.
bool bitAt(const uchar *row, int x, bool leftmostLowest)
{
    return row[x / 8] >> (leftmostLowest ? x % 8 : 7 - x % 8) & 1;
}

// Level x of a row of `bits`-bit levels, the leftmost in the highest bits.
int levelAt(const uchar *row, int x, int bits)
{
    const int perByte = 8 / bits;
    return row[x / perByte] >> ((perByte - 1 - x % perByte) * bits) & ((1 << bits) - 1);
}

QImage greyPicture(QSize size)
{
    QImage picture(size, QImage::Format_Grayscale8);
    if (picture.isNull())
        throw std::bad_alloc();
    return picture;
}

// What a drawer reads: the format's options, the arrays of one picture, and its size.
struct Drawing
{
    const Reading &reading;
    const PictureArrays &arrays;
    QSize size;

    // The bytes of the array with `suffix`, rows of NAME_stride's bytes when the header defines
    // it, else of `rowBytes`; `stride` is set to the rows' bytes.
    QString rows(const QByteArray &suffix, int rowBytes, int valueBytes, QByteArray *bytes, int *stride) const
    {
        *stride = arrays.stride(suffix, rowBytes);
        return arrays.bytes(suffix, qint64(*stride) * size.height(), valueBytes, bytes);
    }
};

// Draws one picture from its arrays as the format's preview shows it; returns a problem, or an
// empty string.
using Drawer = QString (*)(const Drawing &drawing, QImage *shown);

// 16-bit 5-6-5 values, low byte first unless swapped.
QString drawRgb565(const Drawing &drawing, QImage *shown)
{
    QByteArray bytes;
    int stride = 0;
    const QString problem = drawing.rows(QByteArray(), drawing.size.width() * 2, 2, &bytes, &stride);
    if (!problem.isEmpty())
        return problem;
    const Reading &reading = drawing.reading;
    QImage picture(drawing.size, QImage::Format_RGB16);
    for (int y = 0; y < drawing.size.height(); ++y) {
        auto *line = reinterpret_cast<quint16 *>(picture.scanLine(y));
        const char *in = bytes.constData() + qint64(y) * stride;
        for (int x = 0; x < drawing.size.width(); ++x) {
            quint16 value = qFromLittleEndian<quint16>(in + 2 * x);
            if (reading.swapBytes)
                value = quint16(value << 8 | value >> 8);
            line[x] = reading.bgr ? swapRedBlue565(value) : value;
        }
    }
    *shown = picture.convertToFormat(QImage::Format_RGB32);
    return QString();
}

// rgb332, rgb444 (a stream of 12-bit pixels, rows not padded), rgb666 and rgb888, drawn as their
// encoder's preview draws them.
QString drawColourLayout(const Drawing &drawing, QImage *shown)
{
    const QByteArray &format = drawing.reading.format;
    const QSize size = drawing.size;
    const int stride = format == "rgb444"
        ? 0
        : drawing.arrays.stride(QByteArray(), colourLayoutRowBytes(format, size.width()));
    QByteArray bytes;
    const QString problem
        = drawing.arrays.bytes(QByteArray(), colourLayoutBytes(format, size, stride), 1, &bytes);
    if (!problem.isEmpty())
        return problem;
    *shown
        = colourLayoutShown(format, bytes, size, stride, drawing.reading.bgr).picture(QImage::Format_RGB32);
    return QString();
}

// The grey picture that `level(row, x, y)` draws, a row of the array's at a time.
template<typename Level> QImage drawnGreys(QSize size, const QByteArray &bytes, qint64 stride, Level level)
{
    QImage picture = greyPicture(size);
    for (int y = 0; y < size.height(); ++y) {
        const auto *in = reinterpret_cast<const uchar *>(bytes.constData()) + qint64(y) * stride;
        uchar *line = picture.scanLine(y);
        for (int x = 0; x < size.width(); ++x)
            line[x] = level(in, x);
    }
    return picture.convertToFormat(QImage::Format_RGB32);
}

// mono's rows of bits, the leftmost pixel highest; xbm's, the leftmost lowest.
QString drawBits(const Drawing &drawing, bool leftmostLowest, QImage *shown)
{
    QByteArray bytes;
    int stride = 0;
    const QString problem = drawing.rows(QByteArray(), (drawing.size.width() + 7) / 8, 1, &bytes, &stride);
    if (!problem.isEmpty())
        return problem;
    *shown = drawnGreys(drawing.size, bytes, stride, [&](const uchar *in, int x) {
        return uchar(bitAt(in, x, leftmostLowest) ? 255 : 0);
    });
    return QString();
}

// Pages of 8 rows, a byte a column, the top row in the lowest bit.
QString drawPages(const Drawing &drawing, QImage *shown)
{
    const int width = drawing.size.width(), height = drawing.size.height();
    const int stride = drawing.arrays.stride(QByteArray(), width);
    QByteArray bytes;
    const QString problem
        = drawing.arrays.bytes(QByteArray(), qint64(stride) * ((height + 7) / 8), 1, &bytes);
    if (!problem.isEmpty())
        return problem;
    QImage picture = greyPicture(drawing.size);
    for (int y = 0; y < height; ++y) {
        uchar *line = picture.scanLine(y);
        for (int x = 0; x < width; ++x)
            line[x] = bytes[int(qint64(y / 8) * stride + x)] >> (y % 8) & 1 ? 255 : 0;
    }
    *shown = picture.convertToFormat(QImage::Format_RGB32);
    return QString();
}

// Grey levels of `bits`, the leftmost pixel in the highest bits.
QString drawGreys(const Drawing &drawing, int bits, QImage *shown)
{
    const int top = (1 << bits) - 1;
    QByteArray bytes;
    int stride = 0;
    const QString problem
        = drawing.rows(QByteArray(), (drawing.size.width() * bits + 7) / 8, 1, &bytes, &stride);
    if (!problem.isEmpty())
        return problem;
    *shown = drawnGreys(drawing.size, bytes, stride,
                        [&](const uchar *in, int x) { return uchar(levelAt(in, x, bits) * 255 / top); });
    return QString();
}

// The 5-6-5 colours of NAME_palette, shared by an animation's frames, as `reading` orders them:
// index8's swapped with --swap-bytes.
QString readPalette(const Drawing &drawing, int bits, QVector<quint16> *colours)
{
    const int entries = 1 << bits;
    const PictureArrays &arrays = drawing.arrays;
    QByteArray palette;
    const QString problem = PictureArrays(arrays.header(), arrays.base(), arrays.base())
                                .bytes("_palette", entries * 2, 2, &palette);
    if (!problem.isEmpty())
        return problem;
    const bool swapped = bits == 8 && drawing.reading.swapBytes;
    colours->resize(entries);
    for (int i = 0; i < entries; ++i) {
        quint16 value = qFromLittleEndian<quint16>(palette.constData() + 2 * i);
        if (swapped)
            value = quint16(value << 8 | value >> 8);
        (*colours)[i] = drawing.reading.bgr ? swapRedBlue565(value) : value;
    }
    return QString();
}

// Indices of `bits` into the palette, the leftmost pixel in the highest bits.
QString drawIndexed(const Drawing &drawing, int bits, QImage *shown)
{
    QVector<quint16> colours;
    QString problem = readPalette(drawing, bits, &colours);
    QByteArray bytes;
    int stride = 0;
    if (problem.isEmpty())
        problem = drawing.rows(QByteArray(), (drawing.size.width() * bits + 7) / 8, 1, &bytes, &stride);
    if (!problem.isEmpty())
        return problem;
    QImage picture(drawing.size, QImage::Format_RGB16);
    for (int y = 0; y < drawing.size.height(); ++y) {
        const auto *in = reinterpret_cast<const uchar *>(bytes.constData()) + qint64(y) * stride;
        auto *line = reinterpret_cast<quint16 *>(picture.scanLine(y));
        for (int x = 0; x < drawing.size.width(); ++x)
            line[x] = colours[levelAt(in, x, bits)];
    }
    *shown = picture.convertToFormat(QImage::Format_RGB32);
    return QString();
}

// Two planes of bits, NAME_black and the ink's (`inkName`), 0 where inked; no pixel inked twice.
QString drawTwoInks(const Drawing &drawing, const char *inkName, QRgb ink, QImage *shown)
{
    const int width = drawing.size.width(), height = drawing.size.height();
    const int rowBytes = (width + 7) / 8;
    QByteArray black, colour;
    QString problem;
    if (!(problem = drawing.arrays.bytes("_black", qint64(rowBytes) * height, 1, &black)).isEmpty()
        || !(problem = drawing.arrays.bytes(inkName, qint64(rowBytes) * height, 1, &colour)).isEmpty())
        return problem;
    QImage picture(drawing.size, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        const auto *blackRow = reinterpret_cast<const uchar *>(black.constData()) + qint64(y) * rowBytes;
        const auto *inkRow = reinterpret_cast<const uchar *>(colour.constData()) + qint64(y) * rowBytes;
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const bool isBlack = !bitAt(blackRow, x, false), isInk = !bitAt(inkRow, x, false);
            if (isBlack && isInk)
                return QCoreApplication::translate("HeaderReading",
                                                   "%1 : encre noire et de couleur au même pixel (%2, %3)")
                    .arg(latin1(drawing.arrays.base()))
                    .arg(x)
                    .arg(y);
            line[x] = isBlack ? qRgb(0, 0, 0) : isInk ? ink : qRgb(255, 255, 255);
        }
    }
    *shown = picture;
    return QString();
}

// Codes of `bits` a pixel, each one of the panel's inks, the leftmost pixel in the highest bits.
QString drawInkCodes(const Drawing &drawing, int bits, QImage *shown)
{
    const int width = drawing.size.width(), height = drawing.size.height();
    const QVector<QRgb> colours = inkCodeColours(drawing.reading.format);
    const int rowBytes = (width * bits + 7) / 8;
    QByteArray bytes;
    const QString problem = drawing.arrays.bytes(QByteArray(), qint64(rowBytes) * height, 1, &bytes);
    if (!problem.isEmpty())
        return problem;
    QImage picture(drawing.size, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        const auto *in = reinterpret_cast<const uchar *>(bytes.constData()) + qint64(y) * rowBytes;
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int code = levelAt(in, x, bits);
            if (colours[code] == 0)
                return QCoreApplication::translate("HeaderReading",
                                                   "%1 : code de couleur %2 inconnu de %3 (pixel %4, %5)")
                    .arg(latin1(drawing.arrays.base()))
                    .arg(code)
                    .arg(latin1(drawing.reading.format))
                    .arg(x)
                    .arg(y);
            line[x] = colours[code];
        }
    }
    *shown = picture;
    return QString();
}

// The drawer of each format that --decode reads back, by the format's name.
struct FormatDrawer
{
    const char *format;
    Drawer draw;
};

const FormatDrawer formatDrawers[] = {
    {"rgb565", drawRgb565},
    {"rgb332", drawColourLayout},
    {"rgb444", drawColourLayout},
    {"rgb666", drawColourLayout},
    {"rgb888", drawColourLayout},
    {"mono", [](const Drawing &drawing, QImage *shown) { return drawBits(drawing, false, shown); }},
    {"xbm", [](const Drawing &drawing, QImage *shown) { return drawBits(drawing, true, shown); }},
    {"pages", drawPages},
    {"gray8", [](const Drawing &drawing, QImage *shown) { return drawGreys(drawing, 8, shown); }},
    {"gray4", [](const Drawing &drawing, QImage *shown) { return drawGreys(drawing, 4, shown); }},
    {"gray2", [](const Drawing &drawing, QImage *shown) { return drawGreys(drawing, 2, shown); }},
    {"index4", [](const Drawing &drawing, QImage *shown) { return drawIndexed(drawing, 4, shown); }},
    {"index8", [](const Drawing &drawing, QImage *shown) { return drawIndexed(drawing, 8, shown); }},
    {"epd-bw-red",
     [](const Drawing &drawing, QImage *shown) {
         return drawTwoInks(drawing, "_red", qRgb(255, 0, 0), shown);
     }},
    {"epd-bw-yellow",
     [](const Drawing &drawing, QImage *shown) {
         return drawTwoInks(drawing, "_yellow", qRgb(255, 255, 0), shown);
     }},
    {"epd7", [](const Drawing &drawing, QImage *shown) { return drawInkCodes(drawing, 4, shown); }},
    {"epd-bwry", [](const Drawing &drawing, QImage *shown) { return drawInkCodes(drawing, 2, shown); }},
    {"epd-spectra6", [](const Drawing &drawing, QImage *shown) { return drawInkCodes(drawing, 4, shown); }},
};

// One picture of `size`, drawn from its arrays as the format's preview shows it.
QString drawPicture(const Reading &reading, const PictureArrays &arrays, QSize size, QImage *shown)
{
    const auto found
        = std::find_if(std::begin(formatDrawers), std::end(formatDrawers),
                       [&](const FormatDrawer &drawer) { return reading.format == drawer.format; });
    if (found == std::end(formatDrawers))
        return QCoreApplication::translate("HeaderReading", "le format %1 ne se relit pas")
            .arg(latin1(reading.format));
    return found->draw(Drawing {reading, arrays, size}, shown);
}

// The pictures of the base name `base` (NAME_width and NAME_height): the array NAME, or the
// frames NAME_frame0, NAME_frame1...
QString decodePictures(const ReadHeader &header, const Reading &reading, const QByteArray &base,
                       QVector<HeaderPicture> *pictures)
{
    const qint64 width = header.number(base + "_width"), height = header.number(base + "_height");
    constexpr qint64 largest = 32768;
    if (width <= 0 || height <= 0 || width > largest || height > largest)
        return QCoreApplication::translate("HeaderReading", "%1 : taille %2 x %3 illisible")
            .arg(latin1(base), latin1(header.macros.value(base + "_width")),
                 latin1(header.macros.value(base + "_height")));
    const QSize size {int(width), int(height)};
    const QByteArray first = reading.format.startsWith("epd-bw-") ? "_black" : "";
    QVector<QByteArray> stems;
    if (PictureArrays(header, base, base).has(first)) {
        stems << base;
    } else {
        for (int frame = 0;; ++frame) {
            const QByteArray stem = base + "_frame" + QByteArray::number(frame);
            if (!PictureArrays(header, base, stem).has(first))
                break;
            stems << stem;
        }
        const qint64 count = header.number(base + "_frame_count");
        if (stems.isEmpty() || (count >= 0 && count != stems.size()))
            return QCoreApplication::translate("HeaderReading", "%1 : tableau introuvable")
                .arg(latin1(base + first));
    }
    // Held to what decoded pictures may take (4 bytes a pixel): a coded array of a few bytes may
    // claim any size.
    constexpr qint64 largestShown = qint64(256) << 20;
    if (width * height * 4 * stems.size() > largestShown)
        return QCoreApplication::translate("HeaderReading",
                                           "%1 : %2 x %3 pixels en %4 image(s), plus que les 256 Mio que "
                                           "peuvent occuper les images relues")
            .arg(latin1(base))
            .arg(width)
            .arg(height)
            .arg(stems.size());
    for (const QByteArray &stem : stems) {
        HeaderPicture picture;
        picture.name = stem;
        const QString problem = drawPicture(reading, PictureArrays(header, base, stem), size, &picture.shown);
        if (!problem.isEmpty())
            return problem;
        *pictures << picture;
    }
    return QString();
}

// The picture of the window's header, a whole 16-bit BMP file as its array: 5-6-5 rows bottom
// first, each padded to 4 bytes, after a header of 54 bytes.
QString decodeBmpArray(const ReadArray &array, QVector<HeaderPicture> *pictures)
{
    const QByteArray &file = array.data;
    const auto *bytes = reinterpret_cast<const uchar *>(file.constData());
    if (file.size() < 54)
        return QCoreApplication::translate("HeaderReading", "%1 : %2 octets, moins que l'en-tête BMP")
            .arg(latin1(array.name))
            .arg(file.size());
    const qint32 width = qFromLittleEndian<qint32>(bytes + 18),
                 height = qFromLittleEndian<qint32>(bytes + 22);
    const int bits = qFromLittleEndian<quint16>(bytes + 28);
    if (qFromLittleEndian<quint32>(bytes + 10) != 54 || bits != 16 || width <= 0 || height <= 0
        || width > 32768 || height > 32768)
        return QCoreApplication::translate("HeaderReading", "%1 : fichier BMP qui n'est pas celui de Quillon")
            .arg(latin1(array.name));
    const qint64 stride = (qint64(width) * 2 + 3) / 4 * 4;
    if (54 + stride * height != file.size())
        return QCoreApplication::translate("HeaderReading",
                                           "%1 : %2 octets au lieu des %3 d'un BMP de %4 x %5")
            .arg(latin1(array.name))
            .arg(file.size())
            .arg(54 + stride * height)
            .arg(width)
            .arg(height);
    QImage picture(width, height, QImage::Format_RGB16);
    if (picture.isNull())
        throw std::bad_alloc();
    for (int y = 0; y < height; ++y) {
        const uchar *in = bytes + 54 + stride * (height - 1 - y);
        auto *line = reinterpret_cast<quint16 *>(picture.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qFromLittleEndian<quint16>(in + 2 * x);
    }
    *pictures << HeaderPicture {array.name, picture.convertToFormat(QImage::Format_RGB32)};
    return QString();
}

// Each image of an LVGL header, by its descriptor, in the order of the text: one, or an
// animation's frames.
QString decodeLvglPictures(const ReadHeader &header, QVector<HeaderPicture> *pictures)
{
    for (const ReadStruct &descriptor : header.structs) {
        if (descriptor.type != "lv_image_dsc_t" && descriptor.type != "lv_img_dsc_t")
            continue;
        HeaderPicture picture;
        picture.name = descriptor.name;
        const QString problem = lvglShownOf(header, descriptor, &picture.shown);
        if (!problem.isEmpty())
            return problem;
        *pictures << picture;
    }
    if (pictures->isEmpty())
        return QCoreApplication::translate("HeaderReading", "aucun descripteur d'image LVGL");
    return QString();
}

// The format and options of the decoding line; false when the line names none Quillon knows.
bool readDecodingLine(const QByteArray &line, Reading *reading)
{
    const QList<QByteArray> words = line.mid(int(sizeof linePrefix) - 1).simplified().split(' ');
    for (int i = 0; i < words.size(); ++i) {
        if (words[i] == "--format" && i + 1 < words.size())
            reading->format = words[++i];
        else if (words[i] == "--swap-bytes")
            reading->swapBytes = true;
        else if (words[i] == "--color-order" && i + 1 < words.size())
            reading->bgr = words[++i] == "bgr";
    }
    return findDisplayFormat(reading->format) != nullptr;
}

} // namespace

QByteArray decodingLine(const DisplayFormat &format, const EncodingOptions &options)
{
    QByteArray line = QByteArray(linePrefix) + " --format " + format.name;
    // LVGL's descriptor names its colour format, RGB565_SWAPPED included.
    if (format.family == DisplayFormat::Lvgl)
        return line;
    if (options.pixels.swapBytes && (format.settings & DisplayFormat::SwapBytes))
        line += " --swap-bytes";
    if (options.pixels.bgr && (format.settings & DisplayFormat::ColourOrder))
        line += " --color-order bgr";
    return line;
}

HeaderPictures decodeHeader(const QByteArray &text)
{
    HeaderPictures result;
    ReadHeader header;
    result.problem = readCArrays(text, &header);
    if (!result.problem.isEmpty())
        return result;
    Reading reading;
    bool known = false;
    for (const QByteArray &line : header.commentLines) {
        if (line.startsWith(linePrefix)) {
            known = readDecodingLine(line, &reading);
            if (!known) {
                result.problem = QCoreApplication::translate("HeaderReading", "format inconnu dans « %1 »")
                                     .arg(latin1(line.left(80)));
                return result;
            }
            break;
        }
    }
    if (!known) {
        for (const ReadArray &array : header.arrays) {
            if (array.data.startsWith("BM")) {
                result.problem = decodeBmpArray(array, &result.pictures);
                return result;
            }
        }
        result.problem = QCoreApplication::translate(
                             "HeaderReading",
                             "pas un en-tête de Quillon : ni la ligne « %1 » ni tableau BMP ; pour un autre "
                             "tableau, donnez --format et --size")
                             .arg(QString::fromLatin1(linePrefix));
        return result;
    }
    if (reading.format == "lvgl") {
        result.problem = decodeLvglPictures(header, &result.pictures);
        if (!result.problem.isEmpty())
            result.pictures.clear();
        return result;
    }
    QByteArrayList bases;
    for (auto macro = header.macros.constBegin(); macro != header.macros.constEnd(); ++macro) {
        if (macro.key().endsWith("_width")) {
            const QByteArray base = macro.key().chopped(6);
            if (header.macros.contains(base + "_height"))
                bases << base;
        }
    }
    std::sort(bases.begin(), bases.end());
    if (bases.isEmpty())
        result.problem = QCoreApplication::translate("HeaderReading", "ni NOM_width ni NOM_height");
    for (const QByteArray &base : bases) {
        result.problem = decodePictures(header, reading, base, &result.pictures);
        if (!result.problem.isEmpty())
            break;
    }
    if (!result.problem.isEmpty())
        result.pictures.clear();
    return result;
}

HeaderPictures decodeArrayAs(const QByteArray &text, const DisplayFormat &format, QSize size,
                             const EncodingOptions &options)
{
    HeaderPictures result;
    ReadHeader header;
    result.problem = readCArrays(text, &header);
    if (!result.problem.isEmpty())
        return result;
    if (header.arrays.isEmpty()) {
        result.problem = QCoreApplication::translate("HeaderReading", "aucun tableau de nombres");
        return result;
    }
    Reading reading;
    reading.format = format.name;
    reading.swapBytes = options.pixels.swapBytes;
    reading.bgr = options.pixels.bgr;
    if (reading.format == "lvgl" || reading.format.startsWith("epd-bw-")
        || reading.format.startsWith("index")) {
        result.problem
            = QCoreApplication::translate("HeaderReading", "le format %1 ne se relit pas d'un tableau seul")
                  .arg(latin1(reading.format));
        return result;
    }
    // The one array, under a name of its own, and its size as macros.
    ReadHeader one;
    ReadArray array = header.arrays.first();
    // 16-bit values of an array of bytes, or bytes of an array of 16-bit values, are the same
    // bytes in a little-endian firmware.
    const int valueBytes = reading.format == "rgb565" ? 2 : 1;
    if (array.valueBytes != 4)
        array.valueBytes = valueBytes;
    const QByteArray name = array.name;
    one.index.insert(name, 0);
    one.arrays << array;
    one.macros.insert(name + "_width", QByteArray::number(size.width()));
    one.macros.insert(name + "_height", QByteArray::number(size.height()));
    result.problem = decodePictures(one, reading, name, &result.pictures);
    if (!result.problem.isEmpty())
        result.pictures.clear();
    return result;
}
