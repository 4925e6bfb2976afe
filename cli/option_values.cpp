#include "option_values.h"

#include "options.h"
#include "palette.h"
#include "palette_file.h"

#include <QColor>
#include <QHash>
#include <QRegularExpression>

namespace {

// The value given last, read alike whatever spaces surround it.
QString last(const QStringList &values)
{
    return values.constLast().trimmed();
}

// A size written WIDTHxHEIGHT, of 1 to 5 digits each and not empty; QSize() otherwise.
QSize sizeOf(const QString &value)
{
    const QRegularExpressionMatch size = QRegularExpression("\\A([0-9]{1,5})x([0-9]{1,5})\\z").match(value);
    const QSize read = size.hasMatch() ? QSize(size.captured(1).toInt(), size.captured(2).toInt()) : QSize();
    return read.isEmpty() ? QSize() : read;
}

// Reads an opaque colour, #rrggbb or a name; tells what is wrong with it otherwise.
QString colourProblem(const QString &value, QColor *colour)
{
    *colour = QColor(value);
    if (!QColor::isValidColor(value))
        return Options::tr("couleur inconnue « %1 » (#rrvvbb ou un nom de couleur)").arg(value);
    if (colour->alpha() != 255)
        return Options::tr("la couleur « %1 » doit être opaque").arg(value);
    return QString();
}

// "a, b ou c" with `lastTwo` "%1 ou %2".
QString joined(const QStringList &words, const QString &lastTwo)
{
    if (words.size() < 2)
        return words.join(QString());
    return lastTwo.arg(words.mid(0, words.size() - 1).join(QStringLiteral(", ")), words.constLast());
}

} // namespace

QString joinedWithOr(const QStringList &words)
{
    return joined(words, Options::tr("%1 ou %2"));
}

QString joinedWithAnd(const QStringList &words)
{
    return joined(words, Options::tr("%1 et %2"));
}

QString readOutput(const QStringList &values, Options &options)
{
    options.job.outputFolder = values.constLast();
    return options.job.outputFolder.isEmpty() ? Options::tr("le dossier de destination est vide") : QString();
}

QString readName(const QStringList &values, Options &options)
{
    options.name = values.constLast();
    return QString();
}

QString readBundle(const QStringList &values, Options &options)
{
    options.bundleName = values.constLast();
    return QString();
}

QString readFormat(const QStringList &values, Options &options)
{
    const QString value = last(values);
    options.job.format = findDisplayFormat(value.toLatin1());
    if (options.job.format || value == QLatin1String("bmp"))
        return QString();
    return Options::tr("--format : format inconnu « %1 » (%2)")
        .arg(value, joinedWithOr(findOption(QStringLiteral("format"))->choices()));
}

QString readColourOrder(const QStringList &values, Options &options)
{
    const QString value = last(values);
    if (value != QLatin1String("rgb") && value != QLatin1String("bgr"))
        return Options::tr("--color-order : « %1 » inconnu (rgb ou bgr)").arg(value);
    options.job.encoding.pixels.bgr = value == QLatin1String("bgr");
    return QString();
}

QString readAlpha(const QStringList &values, Options &options)
{
    if (last(values) != QLatin1String("mask"))
        return Options::tr("--alpha : « %1 » inconnu (mask seulement)").arg(last(values));
    options.job.encoding.pixels.alphaMask = true;
    return QString();
}

QString readTransparent(const QStringList &values, Options &options)
{
    const QString problem = colourProblem(last(values), &options.job.encoding.pixels.transparent);
    return problem.isEmpty() ? problem : Options::tr("--transparent : %1").arg(problem);
}

// Read after --lvgl-version (options.cpp), against its colour formats.
QString readLvglColourFormat(const QStringList &values, Options &options)
{
    const QByteArray name = last(values).toLatin1();
    LvglOptions &lvgl = options.job.encoding.lvgl;
    const std::optional<LvglColourFormat> format = lvglColourFormatNamed(name, lvgl.version);
    if (!format)
        return QCoreApplication::translate("DisplayFormat", "--lvgl-cf : « %1 » inconnu pour LVGL %2 (%3)")
            .arg(QString::fromLatin1(name))
            .arg(lvgl.version)
            .arg(QString::fromLatin1(lvglColourFormatNames(lvgl.version).join(", ")));
    lvgl.colourFormat = *format;
    return QString();
}

QString readLvglVersion(const QStringList &values, Options &options)
{
    const QString value = last(values);
    if (value != QLatin1String("8") && value != QLatin1String("9"))
        return QCoreApplication::translate("DisplayFormat", "--lvgl-version : « %1 » inconnue (8 ou 9)")
            .arg(value);
    options.job.encoding.lvgl.version = value.toInt();
    return QString();
}

// LVGL's own compression, or the run-length coding of the other formats' arrays.
QString readCompress(const QStringList &values, Options &options)
{
    const QString value = last(values);
    EncodingOptions &encoding = options.job.encoding;
    if (value == QLatin1String("rle"))
        encoding.arrays.compression = ArrayLayout::Rle;
    else if (value == QLatin1String("lz4"))
        encoding.arrays.compression = ArrayLayout::Lz4;
    else if (options.job.format && options.job.format->family == DisplayFormat::Lvgl)
        return QCoreApplication::translate("DisplayFormat", "--compress : « %1 » inconnu (rle ou lz4)")
            .arg(value);
    else
        return Options::tr("--compress : « %1 » inconnu (rle)").arg(value);
    return QString();
}

// As many colours as the format chosen holds.
QString readPalette(const QStringList &values, Options &options)
{
    const QString path = values.constLast();
    QVector<QRgb> colours;
    const QString problem = readPaletteFile(path, &colours);
    if (!problem.isEmpty())
        return Options::tr("--palette : %1").arg(problem);
    const DisplayFormat &format = *options.job.format;
    if (colours.size() > format.paletteColours)
        return Options::tr("--palette : %1 a %2 couleurs, plus que les %3 que tient --format %4")
            .arg(path)
            .arg(colours.size())
            .arg(format.paletteColours)
            .arg(QLatin1String(format.name));
    for (QRgb colour : colours)
        options.job.encoding.pixels.palette << cutTo565(qRed(colour), qGreen(colour), qBlue(colour));
    return QString();
}

QString readCrop(const QStringList &values, Options &options)
{
    const QString value = last(values);
    const QRegularExpressionMatch rectangle
        = QRegularExpression("\\A([0-9]{1,5}),([0-9]{1,5}),([0-9]{1,5}x[0-9]{1,5})\\z").match(value);
    const QSize size = rectangle.hasMatch() ? sizeOf(rectangle.captured(3)) : QSize();
    if (!size.isValid())
        return Options::tr("--crop : « %1 » n'est pas un rectangle X,Y,LARGEURxHAUTEUR (par exemple "
                           "10,20,128x64)")
            .arg(value);
    options.job.encoding.display.crop
        = QRect(rectangle.captured(1).toInt(), rectangle.captured(2).toInt(), size.width(), size.height());
    return QString();
}

QString readRotate(const QStringList &values, Options &options)
{
    const QString value = last(values);
    if (value != QLatin1String("90") && value != QLatin1String("180") && value != QLatin1String("270"))
        return Options::tr("--rotate : « %1 » n'est pas un quart de tour (90, 180 ou 270)").arg(value);
    options.job.encoding.display.rotation = value.toInt();
    return QString();
}

// Each value given: h, v, or both.
QString readFlip(const QStringList &values, Options &options)
{
    for (const QString &given : values) {
        const QString value = given.trimmed();
        if (value == QLatin1String("h"))
            options.job.encoding.display.flipHorizontal = true;
        else if (value == QLatin1String("v"))
            options.job.encoding.display.flipVertical = true;
        else
            return Options::tr("--flip : « %1 » inconnu (h ou v)").arg(value);
    }
    return QString();
}

QString readFit(const QStringList &values, Options &options)
{
    options.job.encoding.display.fit = sizeOf(last(values));
    if (!options.job.encoding.display.fit.isValid())
        return Options::tr("--fit : « %1 » n'est pas une taille LARGEURxHAUTEUR (par exemple 128x64)")
            .arg(last(values));
    return QString();
}

QString readFitMode(const QStringList &values, Options &options)
{
    const QString value = last(values);
    if (value == QLatin1String("cover"))
        options.job.encoding.display.fitMode = FitMode::Cover;
    else if (value == QLatin1String("stretch"))
        options.job.encoding.display.fitMode = FitMode::Stretch;
    else if (value != QLatin1String("contain"))
        return Options::tr("--fit-mode : « %1 » inconnu (contain, cover ou stretch)").arg(value);
    return QString();
}

QString readCanvas(const QStringList &values, Options &options)
{
    options.job.encoding.display.canvas = sizeOf(last(values));
    if (!options.job.encoding.display.canvas.isValid())
        return Options::tr("--canvas : « %1 » n'est pas une taille LARGEURxHAUTEUR (par exemple 320x240)")
            .arg(last(values));
    return QString();
}

QString readGravity(const QStringList &values, Options &options)
{
    static const QHash<QString, Qt::Alignment> gravities = {
        {"center", Qt::AlignCenter},
        {"north", Qt::AlignTop | Qt::AlignHCenter},
        {"south", Qt::AlignBottom | Qt::AlignHCenter},
        {"east", Qt::AlignRight | Qt::AlignVCenter},
        {"west", Qt::AlignLeft | Qt::AlignVCenter},
        {"north-east", Qt::AlignTop | Qt::AlignRight},
        {"north-west", Qt::AlignTop | Qt::AlignLeft},
        {"south-east", Qt::AlignBottom | Qt::AlignRight},
        {"south-west", Qt::AlignBottom | Qt::AlignLeft},
    };
    const QString value = last(values);
    if (!gravities.contains(value))
        return Options::tr("--gravity : « %1 » inconnue (center, north, south, east, west, north-east, "
                           "north-west, south-east ou south-west)")
            .arg(value);
    options.job.encoding.display.gravity = gravities.value(value);
    return QString();
}

// Floyd-Steinberg, unless --dither-method chooses another way.
QString readDither(const QStringList &, Options &options)
{
    if (options.job.encoding.display.dither == Dithering::None)
        options.job.encoding.display.dither = Dithering::FloydSteinberg;
    return QString();
}

QString readDitherMethod(const QStringList &values, Options &options)
{
    static const QHash<QString, Dithering> methods
        = {{"fs", Dithering::FloydSteinberg}, {"atkinson", Dithering::Atkinson}, {"bayer", Dithering::Bayer}};
    const QString value = last(values);
    if (!methods.contains(value))
        return Options::tr("--dither-method : « %1 » inconnue (fs, atkinson ou bayer)").arg(value);
    options.job.encoding.display.dither = methods.value(value);
    return QString();
}

QString readBackground(const QStringList &values, Options &options)
{
    const QString problem = colourProblem(last(values), &options.job.encoding.display.background);
    return problem.isEmpty() ? problem : Options::tr("--background : %1").arg(problem);
}

// all, A-B or A, numbered from 1.
QString readFrames(const QStringList &values, Options &options)
{
    const QString value = last(values);
    FrameRange *range = &options.job.frames;
    const QRegularExpressionMatch match
        = QRegularExpression("\\A([0-9]{1,9})(?:-([0-9]{1,9}))?\\z").match(value);
    range->asked = true;
    if (value == QLatin1String("all"))
        return QString();
    if (!match.hasMatch())
        return Options::tr("--frames : « %1 » n'est ni all ni des images A-B (par exemple 1-10, numérotées à "
                           "partir de 1)")
            .arg(value);
    range->first = match.captured(1).toInt();
    range->last = match.captured(2).isEmpty() ? range->first : match.captured(2).toInt();
    if (range->first < 1)
        return Options::tr("--frames : « %1 » : les images sont numérotées à partir de 1").arg(value);
    if (range->last < range->first)
        return Options::tr("--frames : « %1 » finit avant de commencer").arg(value);
    if (range->last - range->first + 1 > maxAnimationFrames)
        return Options::tr("--frames : « %1 » demande plus de %2 images").arg(value).arg(maxAnimationFrames);
    return QString();
}

// The size of the picture that another tool's array holds, for --decode.
QString readSize(const QStringList &values, Options &options)
{
    const QStringList parts = last(values).split(QLatin1Char('x'));
    bool wide = false, high = false;
    const int width = parts.size() == 2 ? parts[0].toInt(&wide) : 0;
    const int height = parts.size() == 2 ? parts[1].toInt(&high) : 0;
    if (!wide || !high || width < 1 || height < 1 || width > 32768 || height > 32768)
        return Options::tr("--size : « %1 » n'est pas une taille LxH de 1 à 32768").arg(last(values));
    options.decodeSize = QSize(width, height);
    return QString();
}
