#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QVector>

#include <optional>

// LVGL's colour formats that --format lvgl writes, each described once, in one table that the
// command line's reading of --lvgl-cf, the encoder, the pixel writers, the descriptor and
// --decode's reader all ask (as LVGL's own lv_color_format_get_bpp() asks its table).

// A colour format, as the settings hold it once --lvgl-cf is read. Automatic: none was given,
// the encoder writes RGB565, or RGB565A8 for a picture that is not opaque.
enum class LvglColourFormat {
    Automatic,
    Rgb565,
    Rgb565A8,
    Rgb565Swapped,
    Rgb888,
    Xrgb8888,
    Argb8888,
    Argb8565,
    Argb1555,
    Argb4444,
    L8,
    Al88,
    A1,
    A2,
    A4,
    A8,
    I1,
    I2,
    I4,
    I8,
};

// What is known of a colour format, its row in the table.
struct LvglColourFormatRow
{
    LvglColourFormat id;
    const char *name; // as --lvgl-cf takes it, LVGL 9's without LV_COLOR_FORMAT_
    int number; // in LVGL 9's lv_color_format_t
    int lvgl9Minor; // the LVGL 9 release it needs as --help tells it: 9.1, 9.2...; 0 where it tells none
    int bitsPerPixel;
    int paletteSize; // 0: not indexed
    bool alpha; // whether it keeps transparency
    bool alphaOnly; // its pixels nothing but alpha, drawn in the widget's colour
    const char *lvgl8Name; // its LVGL 8 lv_img_cf_t, or nullptr where LVGL 8 has none
    int lvgl8Number; // and its number there
};

// Every colour format, in the order of the help and of the messages that list them.
const QVector<LvglColourFormatRow> &lvglColourFormats();
// The row of a colour format, Automatic excepted.
const LvglColourFormatRow &lvglColourFormatRow(LvglColourFormat format);
// The colour format of that name (as --lvgl-cf takes it) that LVGL `version` (8 or 9) has; none
// for another name, the empty one included.
std::optional<LvglColourFormat> lvglColourFormatNamed(const QByteArray &name, int version);
// The colour format a descriptor of LVGL `version` names: LV_COLOR_FORMAT_RGB565...,
// LV_IMG_CF_TRUE_COLOR...; nullptr for another.
const LvglColourFormatRow *lvglColourFormatOfDescriptor(const QByteArray &name, int version);
// The names of the colour formats LVGL `version` has: RGB565, RGB565A8, RGB565_SWAPPED...; for
// LVGL 8, those it has (RGB565 as LV_IMG_CF_TRUE_COLOR, RGB565A8 as LV_IMG_CF_TRUE_COLOR_ALPHA, A8
// as LV_IMG_CF_ALPHA_8BIT and I1 to I8 as LV_IMG_CF_INDEXED_1BIT to 8BIT).
QByteArrayList lvglColourFormatNames(int version);
