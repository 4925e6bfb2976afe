#pragma once

#include "picture_decoding.h"

#include <QByteArray>
#include <QString>

// SVG pictures: drawn by Qt SVG (QSvgRenderer), straight at the size they are used, since they
// have no pixels of their own to scale. Qt SVG is another parser of untrusted input: it runs in
// the decoding child, under its limits of memory and time (see child_decoder.h), as the readers of
// other packages do.
//
// A picture fitted by the options (`--fit`, with its mode, after `--crop` and `--rotate`) is drawn
// at the fitted size, enlarged as needed whatever `--upscale`, then turned, mirrored and cut as
// Cover cuts: the result is DecodedPicture::fitted, as a picture decoded by rows is. Without a
// fitting size, or for a caller that takes no fitted picture (`rows.allowed` false: the window,
// an animation's frames), it is drawn at its own size (its width and height, or its viewBox's).
// Transparent areas stay transparent.
//
// Refused: a file that is not well-formed XML, that Qt SVG cannot read, or of no size, as not a
// picture; one that names another file or an address (an `href` other than `data:` in small
// letters, or `#id` off an image), which Qt SVG would read, as Hostile; one whose drawing would take more
// than maxDecodedBytes (maxShapedBytes once fitted), or of a file over maxSvgFileBytes, as too large. Qt
// draws text only in a graphical application (with its platform's fonts): an SVG that holds text is drawn in
// a process that has one, or that `makeFontsAvailable` makes one (the decoding child does,
// see child_server.cpp); it is refused as Hostile elsewhere.

// A gzip-compressed SVG (an .svgz file, as Qt SVG reads it) is inflated first, at most
// maxSvgFileBytes of it, and is then drawn or refused as an SVG: more (a gzip bomb) is too large;
// gzip members that stop before their end are a file cut short.

// The largest SVG file read, and the most an .svgz file's SVG may take once inflated.
constexpr qint64 maxSvgFileBytes = qint64(32) << 20;

// Whether a file starting with `head`, named `fileName`, is an SVG: its suffix (.svg, .svgz), or an
// XML declaration or a comment followed by `<svg`, or `<svg` itself, within its first bytes.
bool looksLikeSvg(const QByteArray &head, const QString &fileName);

// What is seen of an SVG's bytes before Qt SVG reads them, read as Qt SVG reads them (no namespace
// processing, the document's own entities expanded within Qt's XML reader's bounds): Decoded, or
// why it is refused (NotAPicture: not well-formed; Hostile: it names another file or an address);
// and whether it holds text.
struct SvgScreening
{
    DecodedPicture::Status status = DecodedPicture::Decoded;
    bool holdsText = false;
};
SvgScreening screenSvg(const QByteArray &bytes);

// Draws the SVG picture in `filePath` as the options say. `makeFontsAvailable`, called before an
// SVG that holds text is drawn in a process without a graphical application, answers whether it
// made one.
DecodedPicture renderSvg(const QString &filePath, const DisplayOptions &display, const RowFitting &rows,
                         bool (*makeFontsAvailable)() = nullptr);
