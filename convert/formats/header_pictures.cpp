#include "header_pictures.h"

#include "c_array_reader.h"
#include "colour_formats.h"
#include "epaper_formats.h"
#include "lvgl_format.h"
#include "palette.h"
#include "pixel_packing.h"
#include "rle_coding.h"

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

// An array's bytes, read back from its run-length coding (rle_coding.h) when it is so written:
// exactly `size` bytes, or a problem.
QString decodeRunLength(const QByteArray &name, const QByteArray &coded, qint64 size, QByteArray *out)
{
    if (coded.isEmpty())
        return QCoreApplication::translate("HeaderReading", "%1 : tableau codé vide").arg(latin1(name));
    const int unit = uchar(coded[0]);
    if (unit == QuillonRle::stored) {
        if (coded.size() - 1 != size)
            return QCoreApplication::translate("HeaderReading",
                                               "%1 : %2 octets stockés tels quels au lieu de %3")
                .arg(latin1(name))
                .arg(coded.size() - 1)
                .arg(size);
        *out = coded.mid(1);
        return QString();
    }
    if (unit > QuillonRle::maxUnit)
        return QCoreApplication::translate("HeaderReading", "%1 : unité de codage %2 inconnue")
            .arg(latin1(name))
            .arg(unit);
    // Whole units: the last one may go beyond the size by its zeros.
    const qint64 wanted = (size + unit - 1) / unit * unit;
    QByteArray bytes;
    bytes.reserve(int(wanted));
    qint64 at = 1;
    const qint64 end = coded.size();
    while (bytes.size() < wanted) {
        if (at >= end)
            return QCoreApplication::translate("HeaderReading",
                                               "%1 : le flux codé s'arrête après %2 octets des %3 du tableau")
                .arg(latin1(name))
                .arg(qMin<qint64>(bytes.size(), size))
                .arg(size);
        const int control = uchar(coded[int(at++)]);
        const qint64 count = (control & 0x7f) + 1;
        const qint64 packetBytes = control & 0x80 ? unit : count * unit;
        if (at + packetBytes > end)
            return QCoreApplication::translate("HeaderReading",
                                               "%1 : le flux codé s'arrête au milieu d'un paquet")
                .arg(latin1(name));
        if (bytes.size() + count * unit > wanted)
            return QCoreApplication::translate("HeaderReading",
                                               "%1 : le flux codé déborde des %2 octets du tableau")
                .arg(latin1(name))
                .arg(size);
        if (control & 0x80) {
            for (qint64 k = 0; k < count; ++k)
                bytes.append(coded.constData() + at, unit);
        } else {
            bytes.append(coded.constData() + at, int(packetBytes));
        }
        at += packetBytes;
    }
    if (at != end)
        return QCoreApplication::translate("HeaderReading", "%1 : %2 octets après la fin du flux codé")
            .arg(latin1(name))
            .arg(end - at);
    bytes.truncate(int(size));
    *out = bytes;
    return QString();
}

// The arrays of a header, by the suffix of each kind, for one picture: NAME, NAME_black, ...
class PictureArrays
{
public:
    PictureArrays(const ReadHeader &header, const QByteArray &base, const QByteArray &stem)
        : m_header(header)
        , m_base(base)
        , m_stem(stem)
    { }

    bool has(const QByteArray &suffix) const
    {
        return m_header.array(m_stem + suffix) || m_header.array(m_stem + suffix + "_rle");
    }

    // The array's bytes, exactly `size` of them: read back when coded; a problem when it is
    // missing or of another size.
    QString bytes(const QByteArray &suffix, qint64 size, int valueBytes, QByteArray *out) const
    {
        const QByteArray name = m_stem + suffix;
        if (const ReadArray *array = m_header.array(name)) {
            if (array->valueBytes != valueBytes)
                return QCoreApplication::translate("HeaderReading",
                                                   "%1 : des valeurs de %2 octets au lieu de %3")
                    .arg(latin1(name))
                    .arg(array->valueBytes)
                    .arg(valueBytes);
            *out = array->data;
        } else if (const ReadArray *coded = m_header.array(name + "_rle")) {
            const qint64 declared = m_header.number(m_base + suffix + "_size");
            if (declared < 0)
                return QCoreApplication::translate("HeaderReading", "%1 : %2 manque")
                    .arg(latin1(name + "_rle"), latin1(m_base + suffix + "_size"));
            if (declared != size)
                return QCoreApplication::translate("HeaderReading", "%1 : %2 vaut %3 au lieu de %4")
                    .arg(latin1(name + "_rle"), latin1(m_base + suffix + "_size"))
                    .arg(declared)
                    .arg(size);
            if (coded->valueBytes != 1)
                return QCoreApplication::translate("HeaderReading",
                                                   "%1 : des valeurs de %2 octets au lieu de 1")
                    .arg(latin1(name + "_rle"))
                    .arg(coded->valueBytes);
            const QString problem = decodeRunLength(name + "_rle", coded->data, size, out);
            if (!problem.isEmpty())
                return problem;
        } else {
            return QCoreApplication::translate("HeaderReading", "%1 : tableau introuvable").arg(latin1(name));
        }
        if (out->size() != size)
            return QCoreApplication::translate("HeaderReading",
                                               "%1 : %2 octets au lieu des %3 d'une image de cette taille")
                .arg(latin1(name))
                .arg(out->size())
                .arg(size);
        return QString();
    }

    // The bytes of a row: NAME_stride when the header defines it, else `rowBytes`.
    int stride(const QByteArray &suffix, int rowBytes) const
    {
        const qint64 stride = m_header.number(m_base + suffix + "_stride");
        return stride >= rowBytes ? int(stride) : rowBytes;
    }

    const ReadHeader &header() const { return m_header; }
    const QByteArray &base() const { return m_base; }

private:
    const ReadHeader &m_header;
    QByteArray m_base, m_stem;
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

// One picture of `size`, drawn from its arrays as the format's preview shows it.
QString drawPicture(const Reading &reading, const PictureArrays &arrays, QSize size, QImage *shown)
{
    const int width = size.width(), height = size.height();
    const QByteArray &format = reading.format;
    QByteArray bytes;
    QString problem;
    const auto rows = [&](const QByteArray &suffix, int rowBytes, int valueBytes, int *stride) {
        *stride = arrays.stride(suffix, rowBytes);
        return arrays.bytes(suffix, qint64(*stride) * height, valueBytes, &bytes);
    };
    int stride = 0;
    if (format == "rgb565") {
        if (!(problem = rows(QByteArray(), width * 2, 2, &stride)).isEmpty())
            return problem;
        QImage picture(size, QImage::Format_RGB16);
        for (int y = 0; y < height; ++y) {
            auto *line = reinterpret_cast<quint16 *>(picture.scanLine(y));
            const char *in = bytes.constData() + qint64(y) * stride;
            for (int x = 0; x < width; ++x) {
                quint16 value = qFromLittleEndian<quint16>(in + 2 * x);
                if (reading.swapBytes)
                    value = quint16(value << 8 | value >> 8);
                line[x] = reading.bgr ? swapRedBlue565(value) : value;
            }
        }
        *shown = picture.convertToFormat(QImage::Format_RGB32);
    } else if (format == "rgb332" || format == "rgb444" || format == "rgb666" || format == "rgb888") {
        const bool stream = format == "rgb444";
        stride = stream ? 0 : arrays.stride(QByteArray(), colourLayoutRowBytes(format, width));
        if (!(problem = arrays.bytes(QByteArray(), colourLayoutBytes(format, size, stride), 1, &bytes))
                 .isEmpty())
            return problem;
        *shown = colourLayoutShown(format, bytes, size, stride, reading.bgr).picture(QImage::Format_RGB32);
    } else if (format == "mono" || format == "xbm") {
        if (!(problem = rows(QByteArray(), (width + 7) / 8, 1, &stride)).isEmpty())
            return problem;
        QImage picture = greyPicture(size);
        for (int y = 0; y < height; ++y) {
            const auto *in = reinterpret_cast<const uchar *>(bytes.constData()) + qint64(y) * stride;
            uchar *line = picture.scanLine(y);
            for (int x = 0; x < width; ++x)
                line[x] = bitAt(in, x, format == "xbm") ? 255 : 0;
        }
        *shown = picture.convertToFormat(QImage::Format_RGB32);
    } else if (format == "pages") {
        stride = arrays.stride(QByteArray(), width);
        if (!(problem = arrays.bytes(QByteArray(), qint64(stride) * ((height + 7) / 8), 1, &bytes)).isEmpty())
            return problem;
        QImage picture = greyPicture(size);
        for (int y = 0; y < height; ++y) {
            uchar *line = picture.scanLine(y);
            for (int x = 0; x < width; ++x)
                line[x] = bytes[int(qint64(y / 8) * stride + x)] >> (y % 8) & 1 ? 255 : 0;
        }
        *shown = picture.convertToFormat(QImage::Format_RGB32);
    } else if (format == "gray8" || format == "gray4" || format == "gray2") {
        const int bits = format == "gray8" ? 8 : format == "gray4" ? 4 : 2, top = (1 << bits) - 1;
        if (!(problem = rows(QByteArray(), (width * bits + 7) / 8, 1, &stride)).isEmpty())
            return problem;
        QImage picture = greyPicture(size);
        for (int y = 0; y < height; ++y) {
            const auto *in = reinterpret_cast<const uchar *>(bytes.constData()) + qint64(y) * stride;
            uchar *line = picture.scanLine(y);
            for (int x = 0; x < width; ++x)
                line[x] = uchar(levelAt(in, x, bits) * 255 / top);
        }
        *shown = picture.convertToFormat(QImage::Format_RGB32);
    } else if (format == "index4" || format == "index8") {
        const int bits = format == "index4" ? 4 : 8, entries = 1 << bits;
        // An animation's frames share the one palette of the base name.
        QByteArray palette;
        PictureArrays paletteArrays(arrays.header(), arrays.base(), arrays.base());
        if (!(problem = paletteArrays.bytes("_palette", entries * 2, 2, &palette)).isEmpty())
            return problem;
        if (!(problem = rows(QByteArray(), (width * bits + 7) / 8, 1, &stride)).isEmpty())
            return problem;
        const bool swapped = bits == 8 && reading.swapBytes;
        QVector<quint16> colours(entries);
        for (int i = 0; i < entries; ++i) {
            quint16 value = qFromLittleEndian<quint16>(palette.constData() + 2 * i);
            if (swapped)
                value = quint16(value << 8 | value >> 8);
            colours[i] = reading.bgr ? swapRedBlue565(value) : value;
        }
        QImage picture(size, QImage::Format_RGB16);
        for (int y = 0; y < height; ++y) {
            const auto *in = reinterpret_cast<const uchar *>(bytes.constData()) + qint64(y) * stride;
            auto *line = reinterpret_cast<quint16 *>(picture.scanLine(y));
            for (int x = 0; x < width; ++x)
                line[x] = colours[levelAt(in, x, bits)];
        }
        *shown = picture.convertToFormat(QImage::Format_RGB32);
    } else if (format == "epd-bw-red" || format == "epd-bw-yellow") {
        const QByteArray inkName = format == "epd-bw-red" ? "_red" : "_yellow";
        const QRgb ink = format == "epd-bw-red" ? qRgb(255, 0, 0) : qRgb(255, 255, 0);
        const int rowBytes = (width + 7) / 8;
        QByteArray black, colour;
        if (!(problem = arrays.bytes("_black", qint64(rowBytes) * height, 1, &black)).isEmpty()
            || !(problem = arrays.bytes(inkName, qint64(rowBytes) * height, 1, &colour)).isEmpty())
            return problem;
        QImage picture(size, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y) {
            const auto *blackRow = reinterpret_cast<const uchar *>(black.constData()) + qint64(y) * rowBytes;
            const auto *inkRow = reinterpret_cast<const uchar *>(colour.constData()) + qint64(y) * rowBytes;
            auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
            for (int x = 0; x < width; ++x) {
                const bool isBlack = !bitAt(blackRow, x, false), isInk = !bitAt(inkRow, x, false);
                if (isBlack && isInk)
                    return QCoreApplication::translate(
                               "HeaderReading", "%1 : encre noire et de couleur au même pixel (%2, %3)")
                        .arg(latin1(arrays.base()))
                        .arg(x)
                        .arg(y);
                line[x] = isBlack ? qRgb(0, 0, 0) : isInk ? ink : qRgb(255, 255, 255);
            }
        }
        *shown = picture;
    } else if (format == "epd7" || format == "epd-bwry" || format == "epd-spectra6") {
        const int bits = format == "epd-bwry" ? 2 : 4;
        const QVector<QRgb> colours = inkCodeColours(format);
        const int rowBytes = (width * bits + 7) / 8;
        if (!(problem = arrays.bytes(QByteArray(), qint64(rowBytes) * height, 1, &bytes)).isEmpty())
            return problem;
        QImage picture(size, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y) {
            const auto *in = reinterpret_cast<const uchar *>(bytes.constData()) + qint64(y) * rowBytes;
            auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
            for (int x = 0; x < width; ++x) {
                const int code = levelAt(in, x, bits);
                if (colours[code] == 0)
                    return QCoreApplication::translate("HeaderReading",
                                                       "%1 : code de couleur %2 inconnu de %3 (pixel %4, %5)")
                        .arg(latin1(arrays.base()))
                        .arg(code)
                        .arg(latin1(format))
                        .arg(x)
                        .arg(y);
                line[x] = colours[code];
            }
        }
        *shown = picture;
    } else {
        return QCoreApplication::translate("HeaderReading", "le format %1 ne se relit pas")
            .arg(latin1(format));
    }
    return QString();
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
    if (options.swapBytes && (format.settings & DisplayFormat::SwapBytes))
        line += " --swap-bytes";
    if (options.bgr && (format.settings & DisplayFormat::ColourOrder))
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
    reading.swapBytes = options.swapBytes;
    reading.bgr = options.bgr;
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
