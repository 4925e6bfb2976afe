#pragma once

#include "display_formats.h"
#include "header_pictures.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QVector>

#include <functional>

namespace TestSupport {

// A picture with a different colour at every pixel, so that misplaced rows or pixels show.
QImage patternPicture(int width, int height, bool withAlpha = false);
// A 32 x 8 picture whose pixels take every alpha value from 0 to 255, row by row, each with red,
// green and blue apart from one another and from its neighbours'.
QImage alphaRampPicture();

// Writes a picture in the given format ("PNG", "JPEG", "BMP"; "GIF" gives a fixed 1 x 1 GIF,
// since Qt cannot write GIF files, and "EPS" a fixed drawing of 7 x 5 in three colours).
void savePicture(const QImage &picture, const QString &path, const char *format);

// The value's 4 bytes, most or least significant first.
QByteArray bigEndian32(quint32 value);
QByteArray littleEndian32(quint32 value);
// The picture saved as a PNG file.
QByteArray pngFile(const QImage &picture);
// A PNG (or MNG) chunk: its size, type, data and CRC.
QByteArray pngChunk(const QByteArray &type, const QByteArray &data);

// A small PNG file that announces a size but holds no pixels: enough for a reader to tell the
// size without decoding anything, as a huge but well-compressed picture would.
QByteArray pngWithoutPixels(quint32 width, quint32 height, int bitsPerChannel = 8, int colourType = 2);
// A PNG file written sample by sample, `sample(x, y, channel)` for each channel of the colour
// type, packed at `depth` bits, its rows unfiltered, Adam7-interlaced when asked; `chunks` (PLTE,
// tRNS...) go before the pixels. Only its first `rows` rows are compressed when fewer are asked
// for: a file whose data ends before its rows.
QByteArray pngOfSamples(QSize size, int depth, int colourType,
                        const std::function<int(int x, int y, int channel)> &sample, bool interlaced = false,
                        const QByteArray &chunks = {}, int rows = -1);

// How tiffOfSamples() lays a TIFF file out: its samples, their kind and their order, in strips
// or tiles, compressed as libtiff compresses them (its codes: COMPRESSION_LZW 5, Deflate 8, JPEG
// 7...), with the tags asked for.
struct TiffLayout
{
    int bits = 8;
    int samples = 3;
    int photometric = 2; // PHOTOMETRIC_RGB; 0 and 1 grey, white or black first; 3 a palette
    int extraSample = -1; // the kind of the last sample (EXTRASAMPLE_ASSOCALPHA 1...); -1: none
    bool planesApart = false;
    int compression = 1; // none
    int predictor = 1; // none; 2: horizontal differences
    bool bigEndian = false;
    QSize tile; // tiles of that size; invalid: strips
    int rowsPerStrip = 0; // 0: as libtiff chooses
    int orientation = 0; // the Orientation tag; 0: none
    QVector<QRgb> palette; // a palette's colours, each channel's 8 bits repeated in 16
};
// A TIFF file written by libtiff sample by sample, `sample(x, y, s)` for each sample of a pixel.
// Only its first `rows` rows are written when fewer are asked for (strips only): a file that
// holds no data for the others.
QByteArray tiffOfSamples(QSize size, const TiffLayout &layout,
                         const std::function<int(int x, int y, int sample)> &sample, int rows = -1);

// A little-endian TIFF file made by hand, for what libtiff would not write: its directory first,
// of the tags given (`tag`, one LONG value each) in the order of their numbers, then `data`, where
// the offset of the one strip or tile (tag 273 or 324) points.
QByteArray tiffByHand(const QList<QPair<int, quint32>> &tags, const QByteArray &data);

// A BMP file made by hand, for the variants Qt cannot write: an information header of
// `infoSize` bytes (12 gives the OS/2 core header, anything above 40 is padded with zeros),
// `palette` as 4-byte entries (3-byte ones with the core header), then `pixels` as given, whose
// offset is `pixelOffset` or, when negative, right after the palette.
// `data` in one gzip member (an .svgz file's layout): the 10-byte header, deflate's blocks (Qt's,
// out of qCompress()'s zlib stream), the CRC-32 and the size.
QByteArray gzipFile(const QByteArray &data);

// LVGL's run-length coding undone, as lv_rle.c reads it: each control byte with its top bit set
// is followed by that many (the low 7 bits) units of `block` bytes as they are, any other by one
// unit repeated that many times.
QByteArray lvglRleDecoded(const QByteArray &in, int block);

// A ZIP archive of the entries given, in order, stored without compression: the container of
// OpenRaster and Krita pictures.
QByteArray storedZip(const QList<QPair<QByteArray, QByteArray>> &entries);

QByteArray bmpFile(int width, int height, int bitsPerPixel, int compression, const QByteArray &palette,
                   const QByteArray &pixels, qint64 pixelOffset = -1, int infoSize = 40);

// A GIF file of `width` x `height` pixels in four colours (black, red, green, blue by turns along
// each row), its data spread over several sub-blocks: Qt cannot write GIF files.
QByteArray gifFile(int width, int height);

// An animated GIF file of the frames in a global table of the colours they have (256 at most),
// each frame at its offset(), drawn over what the last left, after a delay of `delayCs`
// hundredths of a second (0: no graphic control block). Its data is written in codes of 9 bits,
// the table cleared before it grows. The logical screen is `screen`, or the first frame's size.
QByteArray animatedGifFile(const QVector<QImage> &frames, const QVector<int> &delaysCs,
                           QSize screen = QSize());

// A frame of gifOfFrames(): its picture at its offset(), its pixels of alpha 0 in the transparent
// colour; what is done with its place before the next frame (2: cleared to the background, 3:
// given back what it held); its rows interlaced; its delay (0 and no other of these: no graphic
// control block).
struct GifFrame
{
    QImage picture;
    int disposal = 0;
    bool interlaced = false;
    int delayCs = 0;
};
// How a frame's indices are coded: one index a code of 9 bits; or LZW as encoders code them, its
// codes widening up to 12 bits, the table cleared once full, or kept full without a clear.
enum class GifCoding { Literals, LzwClearedWhenFull, LzwKeptFull };
// An animated GIF of the frames, in a global table of their colours and one more index for the
// transparent pixels.
QByteArray gifOfFrames(const QVector<GifFrame> &frames, QSize screen = QSize(),
                       GifCoding coding = GifCoding::LzwClearedWhenFull);

// A progressive JPEG file of a flat grey picture, in `scans` scans (up to 14 + 882 x `components`)
// as libjpeg would decode them without a complaint: DC scans over every component at successive
// approximations, then the AC coefficients of each component, one band at a time. The colour
// components (3 or 1) are all of full size. `extraBytes` zero bytes follow the first scan's data.
QByteArray progressiveJpeg(int width, int height, int scans, int components = 1, int extraBytes = 0);

// A baseline JPEG file of a flat grey picture, a restart marker (RST0 to RST7 in turn) after each
// row of blocks, as `cjpeg -restart 1` writes them.
QByteArray restartJpeg(int width, int height);

// What Quillon must write for a picture, built here from the formats' definitions and not
// through the code under test: the 16-bit BMP file and the header text for any bytes.
QByteArray expectedBmp(const QImage &picture);
QByteArray expectedHeader(const QByteArray &bytes);

const QRgb white = qRgb(255, 255, 255), black = qRgb(0, 0, 0), red = qRgb(255, 0, 0), green = qRgb(0, 255, 0),
           blue = qRgb(0, 0, 255), yellow = qRgb(255, 255, 0);

// The colours of a black, white, yellow and red panel by their codes, as Pimoroni measured them
// on its 2.13-inch panel (SATURATED_PALETTE of the Inky library's JD79661), scaled to its white.
const QVector<QRgb> bwryColours
    = {qRgb(47, 47, 47), qRgb(255, 255, 255), qRgb(255, 223, 36), qRgb(151, 47, 36)};

// The colours of a Spectra 6 panel by their codes (4 is none), as paperlesspaper measured them
// (epdoptimize's "spectra6" palette): black, white, yellow, red, -, blue, green.
const QVector<QRgb> spectra6Colours
    = {qRgb(25, 30, 33), qRgb(232, 232, 232), qRgb(239, 222, 68), qRgb(178, 19, 24),
       qRgb(1, 2, 3),    qRgb(33, 87, 186),   qRgb(18, 95, 32)};

// The 5-6-5 value of an opaque 8-bit colour: each channel cut to its high bits.
quint16 rgb565(QRgb colour);
// The 8-bit colour a display shows for a 5-6-5 value: each channel's bits repeated.
QRgb shown(quint16 value);
// Rec. 601 luminance, rounded.
int luma(QRgb colour);

// `picture` on a black picture of `size`, its top left corner at `at`; what overflows cut.
QImage onBlack(const QImage &picture, QSize size, QPoint at);

// A picture of `sources`, one a pixel, in an order that changes along rows and columns.
QImage sourcesPicture(QSize size, const QVector<QRgb> &sources);

// A picture prepared and encoded for a display format in this process, as quillon-convert
// prepares and encodes it: the alpha kept apart only for the formats and options that use it.
EncodedPicture encodedFor(const QImage &picture, const QByteArray &format, const EncodingOptions &encoding,
                          const DisplayOptions &display = DisplayOptions());
// The colour format that --lvgl-cf names so, as a test row gives it: Automatic for "", a failure
// for a name LVGL 9 does not have.
LvglColourFormat lvglColourFormatOf(const QByteArray &name);
// The header's text as it is written to its file.
QString headerText(const CHeader &header);
// The pictures of the header of `encoded`, written with the decoding line of `format` as
// quillon-convert writes it, read back as --decode reads them.
HeaderPictures readBack(const EncodedPicture &encoded, const QByteArray &format,
                        const EncodingOptions &encoding);
// Checks that readBack() finds one picture, named as the array, the preview pixel for pixel.
void checkReadBack(const EncodedPicture &encoded, const QByteArray &format, const EncodingOptions &encoding);

} // namespace TestSupport
