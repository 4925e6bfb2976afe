#include "display_preparation.h"

#include <algorithm>
#include <array>
#include <new>
#include <vector>

namespace {

// Makes the picture's memory its own, copied when it is shared, so that its rows can be written.
void detached(QImage &picture)
{
    if (!picture.bits())
        throw std::bad_alloc();
}

// Lays a premultiplied picture onto an opaque background: each channel keeps its own share and
// takes the background's for what the pixel lets through.
void blendOnto(QImage &picture, QRgb background)
{
    detached(picture);
    const int channels[3] = {qRed(background), qGreen(background), qBlue(background)};
    for (int y = 0; y < picture.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb pixel = line[x];
            const int through = 255 - qAlpha(pixel);
            const auto mix = [&](int own, int back) { return own + (back * through + 127) / 255; };
            line[x] = qRgb(mix(qRed(pixel), channels[0]), mix(qGreen(pixel), channels[1]),
                           mix(qBlue(pixel), channels[2]));
        }
    }
}

// A premultiplied picture as a display shows it, opaque: what no pixel lets through is black,
// the rest keeps its colour. Each pixel is divided back by qUnpremultiply, whose rounding is the
// one QImage's conversion of a premultiplied picture to 5-6-5 uses; QImage's own conversion to
// 32 bits rounds otherwise, depending on the processor's instructions. Returns whether a pixel was
// not opaque.
bool unpremultiply(QImage &picture)
{
    detached(picture);
    QRgb all = 0xffffffff; // the bits every pixel has
    for (int y = 0; y < picture.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            all &= line[x];
            line[x] = qUnpremultiply(line[x]) | 0xff000000;
        }
    }
    return qAlpha(all) != 255;
}

// Whether an alpha plane (Format_Alpha8) has a pixel that is not opaque.
bool anyTransparent(const QImage &alpha)
{
    for (int y = 0; y < alpha.height(); ++y) {
        const uchar *line = alpha.constScanLine(y);
        if (std::any_of(line, line + alpha.width(), [](uchar value) { return value != 255; }))
            return true;
    }
    return false;
}

// For each value a pixel may want once the errors are added to it (a little below 0 to a little
// above 255), the nearest level of a channel of `bits` bits and how far the value a display
// shows for that level (its bits repeated to fill 8) lies from the wanted value, clamped to 0 to
// 255. Packed in one entry, so that a channel of a pixel takes one look-up, and with the error
// already weighted for the next pixel: the diffusion waits on nothing else from pixel to pixel.
struct Quantizer
{
    static constexpr int margin = 64; // errors add at most a few levels either way

    explicit Quantizer(int bits)
    {
        const int top = (1 << bits) - 1;
        for (int index = 0; index < 256 + 2 * margin; ++index) {
            const int wanted = std::clamp(index - margin, 0, 255);
            const int level = (wanted * top + 127) / 255;
            const int error = wanted - (level << (8 - bits) | level >> (2 * bits - 8));
            // Bits 0-7: the level; 8-15: the error plus 128; 16-31: 7/16 of it, plus a half for
            // the rounding of the sixteenths.
            entries[index] = (error * 7 + 8) * 65536 + (error + 128) * 256 + level;
        }
    }
    qint32 entries[256 + 2 * margin];
};

// One channel's error diffusion along a row: what the pixel ahead and the three pixels below
// are owed, kept in registers; each pixel's share for the row below is stored once it is whole.
struct ChannelDiffusion
{
    int ahead = 8; // sixteenths owed to the next pixel of this row, and a half for rounding
    int belowBehind = 0; // owed so far to the pixel below the one just reduced
    int belowHere = 0; // owed so far to the pixel below the next one

    // Reduces one value; `fromAbove` is what the row above left it, `belowPrevious` where the
    // share of the pixel below the previous one goes.
    int reduce(int value, int fromAbove, const Quantizer &quantizer, int *belowPrevious)
    {
        const int entry = quantizer.entries[value + ((fromAbove + ahead) >> 4) + Quantizer::margin];
        ahead = entry >> 16;
        const int error = (entry >> 8 & 0xff) - 128;
        *belowPrevious = belowBehind + error * 3;
        belowBehind = belowHere + error * 5;
        belowHere = error;
        return entry & 0xff;
    }
};

// One row of Floyd-Steinberg error diffusion in the direction given: each pixel takes the
// nearest level, and what that level misses is passed on to the pixels not yet reduced (7/16
// ahead, 3/16, 5/16 and 1/16 to the row below). `above` holds what the row above left for this
// row, `below` receives what this row leaves for the next, three channels to a pixel, with a
// pixel of margin on each side.
template<bool forward>
void ditherRow(const QRgb *in, quint16 *out, int width, const int *above, int *below, const Quantizer &five,
               const Quantizer &six)
{
    constexpr int step = forward ? 3 : -3;
    ChannelDiffusion red, green, blue;
    int x = forward ? 0 : width - 1;
    for (int i = 0; i < width; ++i, x += forward ? 1 : -1) {
        const int at = (x + 1) * 3;
        const QRgb pixel = in[x];
        const int r = red.reduce(qRed(pixel), above[at], five, &below[at - step]);
        const int g = green.reduce(qGreen(pixel), above[at + 1], six, &below[at - step + 1]);
        const int b = blue.reduce(qBlue(pixel), above[at + 2], five, &below[at - step + 2]);
        out[x] = quint16(r << 11 | g << 5 | b);
    }
    // The last pixel's shares for the row below.
    const int at = (x - (forward ? 1 : -1) + 1) * 3;
    below[at] = red.belowBehind;
    below[at + 1] = green.belowBehind;
    below[at + 2] = blue.belowBehind;
    below[at + step] = red.belowHere;
    below[at + step + 1] = green.belowHere;
    below[at + step + 2] = blue.belowHere;
}

// Floyd-Steinberg error diffusion from 8 bits a channel to 5, 6 and 5. Rows are taken in turn
// left to right and right to left, so that the errors of one row do not pile up in the same
// columns as the row before's; the order is fixed, so the result is the same on every run. The
// common case written apart for speed, its error in registers (about a quarter of the instructions
// that reducePixels of dithering.h takes), which the other ways go through. Its bytes are its own:
// it rounds what a pixel is owed halves up and clamps the value to 0 to 255 before it measures its
// error, where reducePixels rounds halves away from 0 and lets a value go 64 beyond.
//
// The 5-6-5 rows are written over the picture's own memory, from its start: each 32-bit row is
// first copied aside, since the 5-6-5 row of a right-to-left pass can reach bytes of its own
// 32-bit row not yet read. The job then needs no second picture.
QImage ditherTo565(QImage picture)
{
    static const Quantizer five(5), six(6);
    const int width = picture.width(), height = picture.height();
    uchar *bits = picture.bits(); // the picture's own memory: a shared one is copied first
    if (!bits)
        throw std::bad_alloc();
    const qsizetype stride = (qsizetype(width) * 2 + 3) / 4 * 4; // Qt's 5-6-5 rows, 32-bit aligned
    std::vector<QRgb> row(static_cast<size_t>(width));
    std::vector<int> errors[2]
        = {std::vector<int>(size_t(width + 2) * 3, 0), std::vector<int>(size_t(width + 2) * 3, 0)};
    for (int y = 0; y < height; ++y) {
        const std::vector<int> &above = errors[y % 2];
        std::vector<int> &below = errors[(y + 1) % 2];
        std::copy_n(reinterpret_cast<const QRgb *>(picture.constScanLine(y)), width, row.data());
        auto *out = reinterpret_cast<quint16 *>(bits + y * stride);
        if (y % 2 == 0)
            ditherRow<true>(row.data(), out, width, above.data(), below.data(), five, six);
        else
            ditherRow<false>(row.data(), out, width, above.data(), below.data(), five, six);
    }
    // The 5-6-5 picture keeps the 32-bit one's memory alive until it is itself let go.
    return QImage(
        bits, width, height, stride, QImage::Format_RGB16,
        [](void *holder) { delete static_cast<QImage *>(holder); }, new QImage(std::move(picture)));
}

// The picture's colours and alpha fitted to `scaled` and laid onto the background, as the
// options say.
PreparedPicture scaledAndLaid(QImage picture, const DisplayOptions &options, bool keepAlpha, QSize scaled)
{
    const bool scaling = scaled != picture.size();
    // Each step checked: one that cannot have its memory leaves a null picture.
    const auto scaledPicture = [&] {
        picture = allocated(picture.scaled(scaled, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    };
    const auto converted = [&](QImage::Format format) {
        picture.convertTo(format);
        checkAllocated(picture);
    };
    PreparedPicture prepared;
    if (!picture.hasAlphaChannel()) {
        converted(QImage::Format_RGB32);
        if (scaling)
            scaledPicture();
        prepared.colours = std::move(picture);
        return prepared;
    }

    if (keepAlpha && !options.background.isValid()) {
        // The alpha goes apart, so each pixel keeps its own colour: untouched when the picture
        // keeps its size, scaled premultiplied on 16 bits a channel and then divided back, which
        // rounds each colour as well as 8 bits allow, otherwise.
        if (scaling) {
            converted(QImage::Format_RGBA64_Premultiplied);
            scaledPicture();
        }
        converted(QImage::Format_ARGB32);
        prepared.alpha = allocated(picture.convertToFormat(QImage::Format_Alpha8));
        prepared.transparentOnBlack = anyTransparent(prepared.alpha);
        picture.reinterpretAsFormat(QImage::Format_RGB32);
        prepared.colours = allocated(std::move(picture));
        prepared.straight = true;
        return prepared;
    }

    // Premultiplied in place before scaling, which would otherwise premultiply a copy of its own.
    converted(QImage::Format_ARGB32_Premultiplied);
    if (scaling)
        scaledPicture();
    if (keepAlpha)
        prepared.alpha = allocated(picture.convertToFormat(QImage::Format_Alpha8));
    if (options.background.isValid())
        blendOnto(picture, options.background.rgb());
    else
        prepared.transparentOnBlack = unpremultiply(picture);
    picture.reinterpretAsFormat(QImage::Format_RGB32);
    prepared.colours = allocated(std::move(picture));
    return prepared;
}

// `picture` placed on a picture of `size` filled with `fill`, at the gravity; what overflows
// is cut.
QImage placedOn(const QImage &picture, QSize size, QImage::Format format, uint fill, Qt::Alignment gravity)
{
    QImage canvas = allocated(QImage(size, format));
    canvas.fill(fill);
    const QPoint at = placedAt(picture.size(), size, gravity);
    const QRect target = QRect(at, picture.size()).intersected(canvas.rect());
    const int bytesPerPixel = canvas.depth() / 8;
    for (int y = target.top(); y <= target.bottom(); ++y)
        std::copy_n(picture.constScanLine(y - at.y()) + (target.left() - at.x()) * bytesPerPixel,
                    target.width() * bytesPerPixel, canvas.scanLine(y) + target.left() * bytesPerPixel);
    return canvas;
}

} // namespace

PreparedPicture preparePicture(QImage picture, const DisplayOptions &options, bool keepAlpha, QSize fullSize)
{
    // A picture decoded smaller than its own size is scaled to what its own size gives.
    const QSize own = orientedSize(fullSize.isValid() ? fullSize : picture.size(), options);
    const bool shaped
        = options.crop.isValid() || options.rotation != 0 || options.flipHorizontal || options.flipVertical;
    if (shaped)
        picture = cutTurnedAndMirrored(std::move(picture), options);
    const QSize scaled = scaledSize(own, options);
    PreparedPicture prepared = scaledAndLaid(std::move(picture), options, keepAlpha, scaled);

    const QRect kept = keptPart(scaled, options);
    if (kept.size() != scaled) {
        prepared.colours = allocated(prepared.colours.copy(kept));
        if (!prepared.alpha.isNull())
            prepared.alpha = allocated(prepared.alpha.copy(kept));
    }
    if (options.canvas.isValid() && options.canvas != prepared.colours.size()) {
        const QRgb fill = options.background.isValid() ? options.background.rgb() : qRgb(0, 0, 0);
        prepared.colours
            = placedOn(prepared.colours, options.canvas, QImage::Format_RGB32, fill, options.gravity);
        if (!prepared.alpha.isNull())
            prepared.alpha
                = placedOn(prepared.alpha, options.canvas, QImage::Format_Alpha8, 0xff, options.gravity);
    }
    if (!options.tone.changesNothing())
        applyTone(prepared.colours, options.tone);
    return prepared;
}

QImage opaqueColours(PreparedPicture picture)
{
    if (!picture.straight)
        return std::move(picture.colours);
    QImage colours = std::move(picture.colours); // in place when not shared
    detached(colours);
    for (int y = 0; y < colours.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(colours.scanLine(y));
        const uchar *alphas = picture.alpha.constScanLine(y);
        for (int x = 0; x < colours.width(); ++x)
            line[x] = qUnpremultiply(qPremultiply((line[x] & 0xffffff) | uint(alphas[x]) << 24)) | 0xff000000;
    }
    return colours;
}

QImage reduceTo565(QImage colours, Dithering dither)
{
    if (dither == Dithering::None) {
        colours.convertTo(QImage::Format_RGB16);
        return allocated(std::move(colours));
    }
    if (dither == Dithering::FloydSteinberg)
        return ditherTo565(std::move(colours));
    // Each channel to its nearest level of 5 or 6 bits, as ditherTo565 takes them: for each value,
    // its level in place in the 5-6-5 value and the value a display shows for it.
    struct Level
    {
        quint16 bits;
        quint8 shown;
    };
    static const auto levels = [](int bits, int shift) {
        std::array<Level, 256> table;
        const int top = (1 << bits) - 1;
        for (int value = 0; value < 256; ++value) {
            const int level = (value * top + 127) / 255;
            table[size_t(value)]
                = {quint16(level << shift), quint8(level << (8 - bits) | level >> (2 * bits - 8))};
        }
        return table;
    };
    static const std::array<Level, 256> red = levels(5, 11), green = levels(6, 5), blue = levels(5, 0);
    QImage reduced = allocated(QImage(colours.size(), QImage::Format_RGB16));
    uchar *bits = reduced.bits();
    const qsizetype bytesPerLine = reduced.bytesPerLine();
    const uchar *source = colours.constBits();
    const qsizetype sourceLine = colours.bytesPerLine();
    reducePixels<3>(
        colours.width(), colours.height(), dither,
        {spreadBetweenLevels(32), spreadBetweenLevels(64), spreadBetweenLevels(32)},
        [&](int x, int y, int *values) {
            const QRgb colour = reinterpret_cast<const QRgb *>(source + y * sourceLine)[x];
            values[0] = qRed(colour);
            values[1] = qGreen(colour);
            values[2] = qBlue(colour);
        },
        [](const int *values, int *shown) {
            const Level &r = red[size_t(values[0])], &g = green[size_t(values[1])],
                        &b = blue[size_t(values[2])];
            shown[0] = r.shown;
            shown[1] = g.shown;
            shown[2] = b.shown;
            return r.bits | g.bits | b.bits;
        },
        [&](int x, int y, int value) {
            reinterpret_cast<quint16 *>(bits + y * bytesPerLine)[x] = quint16(value);
        });
    return reduced;
}

QImage prepareForDisplay(QImage picture, const DisplayOptions &options)
{
    return reduceTo565(preparePicture(std::move(picture), options).colours, options.dither);
}

QImage toRgb565(QImage picture)
{
    try {
        return prepareForDisplay(std::move(picture), DisplayOptions());
    } catch (const std::bad_alloc &) {
        return QImage();
    }
}
