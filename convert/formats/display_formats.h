#pragma once

#include "display_header.h"
#include "display_preparation.h"
#include "header_generator.h"
#include "picture_rows.h"

#include <QByteArrayList>
#include <QColor>
#include <QImage>
#include <QVector>

// The pixel formats a header can hold for a display library, each one encoder: the prepared
// picture in, the header's arrays and what the display will show out. The command line, the
// CMake function and the benchmarks all read the one table, displayFormats().
//
// Light and dark are told by luminance, Rec. 601 weights (0.299 R + 0.587 G + 0.114 B).

// Every setting of a conversion, each held once: the array's name, its place and whether the
// pair is split (HeaderOptions), how the picture is shaped for the display (DisplayOptions, whose
// dither the encoders follow too), and below, what only the display formats read.
struct EncodingOptions : HeaderOptions, DisplayOptions
{
    bool swapBytes = false; // 5-6-5 values high byte first
    // --color-order bgr: red and blue exchanged, as panels wired BGR take them (blue where red
    // goes: in 5-6-5, bits 15-11), in the colour formats' pixels and the palettes' entries.
    bool bgr = false;
    int threshold = 128; // luminance at or above which a pixel is lit (mono formats)
    bool invert = false; // lit and unlit swapped, grey levels reversed
    bool alphaMask = false; // 5-6-5: a mask array, 1 where alpha is 128 or more
    QColor transparent; // 5-6-5: this colour where alpha is below 128; invalid: none
    // index4, index8: the palette's entries (5-6-5), fixed instead of chosen for the picture;
    // empty: chosen. No more than the format holds; the rest of the array is 0x0000.
    QVector<quint16> palette;
    // Whether `palette` was chosen here for every frame of an animation, not given by --palette.
    bool paletteOfFrames = false;

    // LVGL image descriptors.
    enum Compression { Uncompressed, Rle, Lz4 };
    QByteArray lvglColourFormat; // RGB565, RGB565A8, I4...; empty: RGB565, or RGB565A8 when not opaque
    int lvglVersion = 9; // 8 writes lv_img_dsc_t
    int strideAlign = 1; // rows padded to a multiple of this many bytes
    Compression compression = Uncompressed;

    // How much of what the display shows the job's files need, for the encoder's `shown`: every
    // colour, for a preview; only the 5-6-5 pixels the BMP file takes (Format_RGB16), in less
    // memory; or nothing, when neither file is written, so that no picture is made for it.
    enum Shown { ShownInFullColour, Shown565, NotShown };
    Shown shown = ShownInFullColour;
};

// The options a command line gave whose being given a format's check reads, beyond the values they
// leave in EncodingOptions: a default and the same value given are told apart only here.
struct GivenOptions
{
    bool lvglColourFormat = false; // --lvgl-cf, which may be given empty
    bool threshold = false; // --threshold, whose default 128 may be given
    bool strideAlign = false; // --stride-align, whose default 1 may be given
    bool dither = false; // --dither, which --dither-method implies
    bool ditherMethod = false; // --dither-method
};

// An array whose pixels are all alike: what the options ask for, and seldom what a user wants,
// such as a dark icon on transparency in a blank mono array. A front end warns of it (the command
// line with a line on standard error).
struct UniformArray
{
    enum Cause {
        AllDark, // a 1-bit array: every pixel darker than the threshold
        // The same, pixels that were not opaque among them laid onto black, no background being
        // asked for: a dark icon on transparency, most likely.
        DarkOnTransparency,
        AllLight, // a 1-bit array: every pixel at the threshold or lighter
        // An e-paper plane all white, in a picture that is not: no pixel is nearer its ink than
        // the panel's other colours.
        NoInk
    };
    QByteArray name; // the array's (for an animation, the frames' without their number)
    Cause cause;
    bool lit; // every bit 1: lit (--invert swaps them), or white for a plane; else every bit 0
};

struct EncodedPicture
{
    QImage shown; // what the display will show, for the BMP file and the preview
    // The same drawn a row at a time from the header's pixels, where an encoder draws it so rather
    // than hold a second picture beside them; `shown` is then null.
    PictureRows drawnShown;

    // What the display shows as a whole picture, in Format_RGB32 or Format_RGB16: `shown`
    // converted, or drawn.
    QImage shownPicture(QImage::Format format = QImage::Format_RGB32) const;
    // What the BMP file shows: what the display shows in 5-6-5, `shown` reduced in place unless
    // `shownKept` (a preview needs its every colour), or drawn from the pixels when the encoder
    // draws it so.
    QImage bmpPicture(bool shownKept);
    CHeader header;
    // What comes before the internal array's bytes in the file that the library loads by itself
    // (LVGL's .bin image); empty when it has none.
    QByteArray imageFileHeader;
    // The arrays whose pixels are all alike, in an animation in every frame.
    QVector<UniformArray> uniform;
    // index4, index8 with a palette chosen for the picture: the colours the picture has, cut to
    // 5-6-5; more than the palette holds, and some are lost. 0 otherwise.
    int pictureColours = 0;
};

// A format's row in displayFormats(): its encoder and everything the command line, its help and
// the name checks read of it, so that a new format is its encoder and its row. C++17 has no
// designated initializers: the rows label each field with a comment, in the order below.
struct DisplayFormat
{
    // Whether the encoder is handed the alpha plane: never, when the options ask for
    // transparency, or whenever the picture has one.
    enum AlphaUse { NoAlpha, AlphaWhenAsked, AlphaAlways };
    // The settings of EncodingOptions that only some formats read: the options that give one the
    // format does not read are refused with it.
    enum Setting {
        SwapBytes = 1 << 0,
        Threshold = 1 << 1,
        Invert = 1 << 2,
        AlphaMask = 1 << 3,
        Transparent = 1 << 4,
        Palette = 1 << 5,
        StrideAlign = 1 << 6,
        LvglSettings = 1 << 7, // colour format, version, compression
        ColourOrder = 1 << 8,
    };
    // Families of formats, in the order the help and the messages list them.
    // Colour: red, green and blue in each pixel (5-6-5 and the other depths).
    enum Family { Colour, OneBit, Grey, Indexed, Lvgl, Epaper };
    // What the header defines beside NAME, NAME_width and NAME_height, by suffix (arraySuffix()):
    // the arrays of rows of pixels (a mask, e-paper planes), coded by --compress rle and padded
    // by --stride-align like NAME itself, and the others.
    enum Array {
        PaletteArray = 1 << 0, // NAME_palette
        MaskArray = 1 << 1, // NAME_mask, rows of pixels
        MapArray = 1 << 2, // NAME_map, LVGL's pixels under its descriptor NAME
        TransparentMacro = 1 << 3, // NAME_transparent
        BlackPlane = 1 << 4, // NAME_black, rows of pixels
        RedPlane = 1 << 5, // NAME_red, rows of pixels
        YellowPlane = 1 << 6, // NAME_yellow, rows of pixels
    };
    static constexpr int rowsOfPixels = MaskArray | BlackPlane | RedPlane | YellowPlane;

    const char *name; // as --format takes it
    Family family;
    // Its line in the help's list of formats and in the manual's, in French; the command line
    // translates it in the context "DisplayFormat".
    const char *help;
    // The picture is handed over: an encoder works in its memory and lets it go as soon as it can.
    EncodedPicture (*encode)(PreparedPicture picture, const EncodingOptions &options);
    // Why the prepared picture is too large for this format, in French; empty when it is not.
    // nullptr: any size is written.
    QString (*sizeProblem)(const PreparedPicture &picture, const EncodingOptions &options);
    AlphaUse alpha;
    int settings; // the Settings it reads
    // Checks how the format's settings go together once every option is read into `options`,
    // `given` telling which of them the command line gave, and completes what they imply; tells
    // what is wrong in French (translated in the context "DisplayFormat"), empty when nothing is.
    // nullptr: nothing to check.
    QString (*optionsProblem)(EncodingOptions *options, const GivenOptions &given);
    // Index formats: the colours its palette holds, 0 for the others.
    int paletteColours;
    int arrays; // the Arrays its header defines beside NAME
    // Whether its arrays go to AVR program memory without --progmem, where the lines of its
    // header's comment read them (pgm_read_*, memcpy_P, GxEPD2's pgm flag...): every format but
    // LVGL's, whose library reads ordinary memory and does not run on AVR.
    bool flashOnAvr;
    // What the header's includes define beyond <stdint.h>, which every header includes: the
    // included file and a pattern of the names it defines; nullptr: nothing more.
    const char *includedFile;
    const char *includedNames;
    // Why an animation of `frames` frames cannot be written in this format with `options`, in
    // French (LVGL 8 animates 255 at most); nullptr: any number the decoder reads.
    QString (*framesProblem)(int frames, const EncodingOptions &options) = nullptr;
    // The most bytes one of its arrays may take in AVR program memory with --progmem: beyond
    // avr-gcc's 32 767, the header writes it to far program memory in pieces (display_header.h),
    // up to the flash of the largest AVR. (The BMP file's bytes, the default format's, go in one
    // array: maxProgmemArrayBytes.)
    qint64 progmemArrayBytes = largestAvrFlashBytes;
};

// The suffix of an Array: "_palette", "_mask"...
const char *arraySuffix(DisplayFormat::Array array);
// The suffixes of the Arrays among `arrays` that some format's header defines, in the order of the
// Arrays: what a header may define beside NAME, NAME_width and NAME_height.
QByteArrayList arraySuffixes(int arrays = ~0);

// Whether the format, nullptr for bmp, is handed the picture's alpha plane with these options:
// as its row says, always, never, or when the options ask for transparency (--alpha mask,
// --transparent).
bool keepsAlpha(const DisplayFormat *format, const EncodingOptions &options);

// The formats of a family that read `setting`, in the order of the families: what the messages
// about an option list.
QByteArrayList formatsReading(DisplayFormat::Setting setting);

// Every format but bmp, the default, whose header holds the BMP file's bytes.
const QVector<DisplayFormat> &displayFormats();
// The format of that name, or nullptr.
const DisplayFormat *findDisplayFormat(const QByteArray &name);

// Rec. 601 luminance of an 8-bit colour, rounded.
inline int luminance(QRgb colour)
{
    return (299 * qRed(colour) + 587 * qGreen(colour) + 114 * qBlue(colour) + 500) / 1000;
}

// One level of `levels` (2 to 256) a pixel, by luminance, dithered or not: two levels split at
// `threshold`, more at the nearest level; reversed with --invert. `shown` receives the picture
// a panel shows from the values stored: 0 black (unlit), the last level white (fully lit), so
// that with --invert it shows the negative, as the panel does.
QVector<quint8> greyLevels(const QImage &colours, int levels, int threshold, const EncodingOptions &options,
                           QImage *shown);
