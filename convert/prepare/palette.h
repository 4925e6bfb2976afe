#pragma once

#include "dithering.h"

#include <QImage>
#include <QVector>

#include <vector>

// A palette of at most `size` 5-6-5 colours for a picture (Format_RGB32): every colour it has,
// in increasing order, when it has no more than `size` of them once cut to 5-6-5, so that it is
// kept exactly; otherwise the colours of a median cut (boxes split at the median of their
// widest channel, each box's colour the mean of its pixels). The same picture gives the same
// palette on every run. `distinct`, when given, receives the number of colours it has once cut to
// 5-6-5: more than `size`, and some are lost.
QVector<quint16> choosePalette(const QImage &colours, int size, int *distinct = nullptr);

// The palette entry nearest to each colour, by the squared distance of the colours a display
// shows; looked up by the colour cut to 5-6-5, each answer worked out once.
class NearestColour
{
public:
    explicit NearestColour(const QVector<quint16> &palette);
    int indexOf(quint16 rgb565)
    {
        const int cached = m_cache[rgb565];
        return cached >= 0 ? cached : search(rgb565);
    }

private:
    int search(quint16 rgb565); // worked out once for each colour, then kept

    QVector<quint16> m_palette;
    std::vector<qint16> m_cache; // -1: not worked out yet
};

// A picture as indices into a palette chosen for it, each pixel its nearest entry, the error
// diffused or not; and the picture those entries show.
struct IndexedPicture
{
    QVector<quint16> palette;
    QVector<quint8> indices; // one a pixel, rows top first
    QImage shown; // Format_RGB16
};
IndexedPicture indexPicture(const QImage &colours, int paletteSize, Dithering dither);
// The same with a palette given, not chosen: each pixel the nearest of its entries.
IndexedPicture indexPicture(const QImage &colours, const QVector<quint16> &palette, Dithering dither);
// The same in two steps, so that the colours can be let go in between: the indices, `shown` left
// null, then the picture they show.
IndexedPicture indexPixels(const QImage &colours, const QVector<quint16> &palette, Dithering dither);
QImage paletteColours(const IndexedPicture &indexed, QSize size);

// The 8-bit colour a display shows for a 5-6-5 value: each channel's bits repeated.
QRgb shownColour(quint16 rgb565);
// An 8-bit colour cut to 5-6-5.
inline quint16 cutTo565(int red, int green, int blue)
{
    return quint16((red >> 3) << 11 | (green >> 2) << 5 | blue >> 3);
}
