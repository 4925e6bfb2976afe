#include "palette.h"

#include "display_preparation.h"
#include "dithering.h"

#include <algorithm>
#include <array>

QRgb shownColour(quint16 value)
{
    const int r = value >> 11, g = value >> 5 & 0x3f, b = value & 0x1f;
    return qRgb(r << 3 | r >> 2, g << 2 | g >> 4, b << 3 | b >> 2);
}

namespace {

struct Colour
{
    quint16 key; // the colour cut to 5-6-5
    quint32 count; // its pixels
    std::array<int, 3> channels() const
    {
        const QRgb shown = shownColour(key);
        return {qRed(shown), qGreen(shown), qBlue(shown)};
    }
};

struct Box
{
    int first, last; // a range of the colour list
    int widestChannel = 0;
    int range = 0; // of the widest channel
};

void measure(Box &box, const std::vector<Colour> &colours)
{
    std::array<int, 3> low {255, 255, 255}, high {0, 0, 0};
    for (int i = box.first; i < box.last; ++i) {
        const auto c = colours[size_t(i)].channels();
        for (int k = 0; k < 3; ++k) {
            low[k] = std::min(low[k], c[k]);
            high[k] = std::max(high[k], c[k]);
        }
    }
    box.range = -1;
    for (int k = 0; k < 3; ++k) {
        if (high[k] - low[k] > box.range) {
            box.range = high[k] - low[k];
            box.widestChannel = k;
        }
    }
}

quint16 meanColour(const Box &box, const std::vector<Colour> &colours)
{
    double sums[3] = {0, 0, 0}, total = 0;
    for (int i = box.first; i < box.last; ++i) {
        const auto c = colours[size_t(i)].channels();
        const double count = colours[size_t(i)].count;
        for (int k = 0; k < 3; ++k)
            sums[k] += c[k] * count;
        total += count;
    }
    const auto level = [&](int k, int top) { return int((sums[k] / total) * top / 255 + 0.5); };
    return quint16(level(0, 31) << 11 | level(1, 63) << 5 | level(2, 31));
}

} // namespace

QVector<quint16> choosePalette(const QImage &picture, int size, int *distinct)
{
    std::vector<quint32> histogram(65536, 0);
    const int width = picture.width();
    for (int y = 0; y < picture.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
        for (int x = 0; x < width; ++x)
            ++histogram[cutTo565(qRed(line[x]), qGreen(line[x]), qBlue(line[x]))];
    }
    std::vector<Colour> colours;
    for (int key = 0; key < 65536; ++key) {
        if (histogram[size_t(key)])
            colours.push_back({quint16(key), histogram[size_t(key)]});
    }
    if (distinct)
        *distinct = int(colours.size());
    QVector<quint16> palette;
    if (int(colours.size()) <= size) {
        for (const Colour &colour : colours)
            palette << colour.key;
        return palette;
    }

    std::vector<Box> boxes {{0, int(colours.size())}};
    measure(boxes[0], colours);
    while (int(boxes.size()) < size) {
        // The box whose widest channel spans most; the first of equals.
        auto widest = std::max_element(boxes.begin(), boxes.end(),
                                       [](const Box &a, const Box &b) { return a.range < b.range; });
        if (widest->range <= 0)
            break;
        Box box = *widest;
        const int k = box.widestChannel;
        std::stable_sort(colours.begin() + box.first, colours.begin() + box.last,
                         [k](const Colour &a, const Colour &b) {
                             return a.channels()[size_t(k)] < b.channels()[size_t(k)];
                         });
        quint64 total = 0;
        for (int i = box.first; i < box.last; ++i)
            total += colours[size_t(i)].count;
        // Split where half the pixels are behind, leaving at least one colour on each side.
        quint64 behind = 0;
        int split = box.first + 1;
        for (int i = box.first; i < box.last - 1; ++i) {
            behind += colours[size_t(i)].count;
            split = i + 1;
            if (behind * 2 >= total)
                break;
        }
        Box low {box.first, split}, high {split, box.last};
        measure(low, colours);
        measure(high, colours);
        *widest = low;
        boxes.push_back(high);
    }
    for (const Box &box : boxes)
        palette << meanColour(box, colours);
    return palette;
}

NearestColour::NearestColour(const QVector<quint16> &palette)
    : m_palette(palette)
    , m_cache(65536, -1)
{ }

int NearestColour::search(quint16 rgb565)
{
    const QRgb wanted = shownColour(rgb565);
    int best = 0;
    int bestDistance = INT_MAX;
    for (int i = 0; i < m_palette.size(); ++i) {
        const QRgb candidate = shownColour(m_palette[i]);
        const int dr = qRed(candidate) - qRed(wanted), dg = qGreen(candidate) - qGreen(wanted),
                  db = qBlue(candidate) - qBlue(wanted);
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    m_cache[rgb565] = qint16(best);
    return best;
}

IndexedPicture indexPicture(const QImage &colours, int paletteSize, Dithering dither)
{
    return indexPicture(colours, choosePalette(colours, paletteSize), dither);
}

IndexedPicture indexPicture(const QImage &colours, const QVector<quint16> &palette, Dithering dither)
{
    IndexedPicture indexed = indexPixels(colours, palette, dither);
    indexed.shown = paletteColours(indexed, colours.size());
    return indexed;
}

IndexedPicture indexPixels(const QImage &colours, const QVector<quint16> &palette, Dithering dither)
{
    const int width = colours.width(), height = colours.height();
    IndexedPicture indexed;
    indexed.palette = palette;
    NearestColour nearest(indexed.palette);
    indexed.indices.resize(width * height);
    if (dither == Dithering::None) { // each pixel its nearest entry, rows read straight
        quint8 *index = indexed.indices.data();
        for (int y = 0; y < height; ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(colours.constScanLine(y));
            for (int x = 0; x < width; ++x)
                *index++ = quint8(nearest.indexOf(cutTo565(qRed(line[x]), qGreen(line[x]), qBlue(line[x]))));
        }
        return indexed;
    }
    quint8 *const indices = indexed.indices.data();
    QVector<QRgb> shownPalette;
    for (const quint16 entry : indexed.palette)
        shownPalette << shownColour(entry);
    const std::array<OrderedSpread, 3> spread = spreadOfPalette(shownPalette);
    reducePixels<3>(
        width, height, dither, spread, rgbChannelsOf(colours),
        [&](const int *values, int *shown) {
            const int index = nearest.indexOf(cutTo565(values[0], values[1], values[2]));
            const QRgb colour = shownColour(indexed.palette[index]);
            shown[0] = qRed(colour);
            shown[1] = qGreen(colour);
            shown[2] = qBlue(colour);
            return index;
        },
        [&](int x, int y, int index) { indices[y * width + x] = quint8(index); });
    return indexed;
}

QImage paletteColours(const IndexedPicture &indexed, QSize size)
{
    QImage shown = allocated(QImage(size, QImage::Format_RGB16)); // the palette's 5-6-5 colours
    const quint8 *index = indexed.indices.constData();
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<quint16 *>(shown.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = indexed.palette[*index++];
    }
    return shown;
}
