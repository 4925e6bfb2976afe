#include "svg_rendering.h"

#include "picture_geometry.h"
#include "row_scaling.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>
#include <QXmlStreamReader>

#include <zlib.h>

namespace {

// Whether an `href` of an element named `element` names only a part of the picture itself or
// carries its data. Qt SVG takes an image's reference for its data only when it starts with "data"
// in small letters, and for a file's name otherwise, "#" first included.
bool staysWithin(QStringView element, QStringView reference)
{
    const QStringView trimmed = reference.trimmed();
    return trimmed.isEmpty() || trimmed.startsWith(QLatin1String("data:"))
        || (element != QLatin1String("image") && trimmed.startsWith(QLatin1Char('#')));
}

} // namespace

SvgScreening screenSvg(const QByteArray &bytes)
{
    SvgScreening screening;
    QXmlStreamReader xml(bytes);
    xml.setNamespaceProcessing(false);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("text") || xml.name() == QLatin1String("textArea"))
            screening.holdsText = true;
        for (const QXmlStreamAttribute &attribute : xml.attributes()) {
            const QStringView name = attribute.qualifiedName();
            if ((name == QLatin1String("href") || name.endsWith(QLatin1String(":href")))
                && !staysWithin(xml.name(), attribute.value())) {
                screening.status = DecodedPicture::Hostile;
                return screening;
            }
        }
    }
    screening.status = xml.hasError() ? DecodedPicture::NotAPicture : DecodedPicture::Decoded;
    return screening;
}

namespace {

qint64 drawnBytes(QSize size)
{
    return qint64(size.width()) * size.height() * 4;
}

// Qt's raster painter leaves blank what lies 32,767 pixels or more from its device's corner: a
// larger picture is drawn in tiles, each a device of its own over the picture's memory.
constexpr int tileSide = 16384;

// The picture drawn over a transparent one of `size`, its own `own` pixels scaled by `scale` and
// moved by `offset`.
QImage drawn(QSvgRenderer &renderer, QSize size, QSize own, QPointF scale, QPointF offset)
{
    QImage picture(size, QImage::Format_ARGB32_Premultiplied);
    if (picture.isNull())
        return picture;
    picture.fill(Qt::transparent);
    const QRectF target(offset.x(), offset.y(), own.width() * scale.x(), own.height() * scale.y());
    for (int top = 0; top < size.height(); top += tileSide) {
        for (int left = 0; left < size.width(); left += tileSide) {
            QImage tile(picture.bits() + qint64(top) * picture.bytesPerLine() + qint64(left) * 4,
                        qMin(tileSide, size.width() - left), qMin(tileSide, size.height() - top),
                        picture.bytesPerLine(), QImage::Format_ARGB32_Premultiplied);
            QPainter painter(&tile);
            renderer.render(&painter, target.translated(-left, -top));
        }
    }
    picture.convertTo(QImage::Format_ARGB32); // straight colours, as a PNG's
    return picture;
}

// The SVG held by the gzip members `compressed` (an .svgz file's), inflated into `svg`, at most
// maxSvgFileBytes of it: Decoded, or why it is refused (TooLarge for more, a gzip bomb's
// case, found once that much is inflated; Truncated for members that stop before their end).
DecodedPicture::Status inflated(const QByteArray &compressed, QByteArray *svg)
{
    z_stream stream {};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) // gzip's header and trailer
        return DecodedPicture::NotAPicture;
    QByteArray out(int(maxSvgFileBytes + 1), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(compressed.constData()));
    stream.avail_in = uInt(compressed.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    int result = inflate(&stream, Z_NO_FLUSH);
    // Members one after another, as gzip writes files given together.
    while (result == Z_STREAM_END && stream.avail_in > 0 && stream.avail_out > 0) {
        inflateReset(&stream);
        result = inflate(&stream, Z_NO_FLUSH);
    }
    const qint64 produced = out.size() - qint64(stream.avail_out);
    inflateEnd(&stream);
    if (produced > maxSvgFileBytes)
        return DecodedPicture::TooLarge;
    if (result == Z_OK || result == Z_BUF_ERROR) // all read, the member not ended
        return DecodedPicture::Truncated;
    if (result != Z_STREAM_END)
        return DecodedPicture::NotAPicture;
    out.truncate(int(produced));
    *svg = std::move(out);
    return DecodedPicture::Decoded;
}

} // namespace

bool looksLikeSvg(const QByteArray &head, const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix();
    if (suffix.compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0
        || suffix.compare(QLatin1String("svgz"), Qt::CaseInsensitive) == 0)
        return true;
    QByteArray text = head.startsWith("\xef\xbb\xbf") ? head.mid(3) : head;
    text = text.trimmed();
    return text.startsWith("<svg")
        || ((text.startsWith("<?xml") || text.startsWith("<!"))
            && (text.contains("<svg") || text.contains("<!DOCTYPE svg")));
}

DecodedPicture renderSvg(const QString &filePath, const DisplayOptions &display, const RowFitting &rows,
                         bool (*makeFontsAvailable)())
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return refusedPicture(DecodedPicture::NotAPicture);
    QByteArray bytes = file.read(maxSvgFileBytes + 1);
    if (bytes.size() > maxSvgFileBytes)
        return refusedPicture(DecodedPicture::TooLarge);
    if (bytes.startsWith("\x1f\x8b")) { // gzip's: an .svgz file
        const QByteArray compressed = std::move(bytes);
        if (const DecodedPicture::Status status = inflated(compressed, &bytes);
            status != DecodedPicture::Decoded)
            return refusedPicture(status);
    }
    const SvgScreening screening = screenSvg(bytes);
    if (screening.status != DecodedPicture::Decoded)
        return refusedPicture(screening.status);
    // Qt draws text only with the fonts of a graphical application's platform: without one, Qt SVG
    // would end the process on its first letter.
    if (screening.holdsText && !qobject_cast<QGuiApplication *>(QCoreApplication::instance())
        && !(makeFontsAvailable && makeFontsAvailable()))
        return refusedPicture(DecodedPicture::Hostile);
    QSvgRenderer renderer(bytes);
    const QSize own = renderer.defaultSize();
    if (!renderer.isValid() || own.width() <= 0 || own.height() <= 0)
        return refusedPicture(DecodedPicture::NotAPicture);

    if (!rows.allowed || !display.fit.isValid()) {
        if (drawnBytes(own) > maxDecodedBytes)
            return refusedPicture(DecodedPicture::TooLarge);
        DecodedPicture picture {DecodedPicture::Decoded, drawn(renderer, own, own, {1, 1}, {0, 0}), 0, own};
        if (picture.image.isNull())
            return refusedPicture(DecodedPicture::TooLarge);
        return picture;
    }

    // Drawn at the size the cut and turned picture is fitted to, enlarged as needed.
    if (!geometryProblem(own, display).isEmpty())
        return unshapedPicture(own); // refused by the caller from the size alone
    DisplayOptions enlarged = display;
    enlarged.upscale = true;
    if (!geometryProblem(own, enlarged).isEmpty())
        return refusedPicture(DecodedPicture::TooLarge);
    const QRect part = display.crop.isValid() ? display.crop : QRect(QPoint(0, 0), own);
    const QSize scaled = scaledSize(orientedSize(own, enlarged), enlarged);
    const QSize unturned = display.rotation % 180 != 0 ? scaled.transposed() : scaled;
    const QPointF scale(qreal(unturned.width()) / part.width(), qreal(unturned.height()) / part.height());
    QImage picture
        = drawn(renderer, unturned, own, scale, QPointF(-part.x() * scale.x(), -part.y() * scale.y()));
    if (picture.isNull())
        return refusedPicture(DecodedPicture::TooLarge);
    DisplayOptions turning = display;
    turning.crop = QRect();
    picture = cutTurnedAndMirrored(std::move(picture), turning);
    const QRect kept = keptPart(scaled, enlarged);
    if (kept.size() != scaled)
        picture = picture.copy(kept);
    DecodedPicture fitted {DecodedPicture::Decoded, std::move(picture), 0, own};
    fitted.fitted = true;
    return fitted;
}
