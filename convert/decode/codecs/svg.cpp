#include "codecs.h"
#include "svg_rendering.h"

// SVG and gzip-compressed SVG, drawn by Qt SVG in the child (svg_rendering.h): one picture.

namespace {

QByteArray formatOf(const QByteArray &head, const QString &fileName)
{
    return looksLikeSvg(head, fileName) ? QByteArray("svg") : QByteArray();
}

} // namespace

const Codec &svgCodec()
{
    static const Codec codec = [] {
        Codec svg;
        svg.family = "svg";
        svg.formats = {"svg", "svgz"}; // "svgz" as Qt's own detection names it
        svg.probe = formatOf;
        svg.frames = Frames::One;
        svg.drawnByQtSvg = true;
        return svg;
    }();
    return codec;
}
