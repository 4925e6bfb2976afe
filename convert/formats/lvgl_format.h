#pragma once

#include "display_formats.h"
#include "lvgl_colour_formats.h"

#include <QByteArrayList>

struct ReadHeader;
struct ReadStruct;

// LVGL image descriptors: for LVGL 9, `const lv_image_dsc_t NAME` (magic, colour format, flags,
// width, height, stride) over `NAME_map`, in any of the colour formats below, compressed with
// RLE or LZ4 or not; for LVGL 8, `const lv_img_dsc_t NAME` (cf, always_zero, w, h), its 16-bit
// colours in both byte orders under LV_COLOR_16_SWAP. The fields are given in the order of
// their declaration, which C++ needs: the header's bit fields in both byte orders, and LVGL 9's
// pointers after the data as 9.0, 9.1 and 9.3 declare them. Pixels are laid out as LVGL's own
// converter lays them: rows of `stride` bytes; blue, green, red (and alpha) for 24 and 32 bits;
// an RGB565A8 picture's alpha plane after its colours; an indexed picture's palette first, 4
// bytes a colour (blue, green, red, alpha), then its indices, the leftmost pixel in the highest
// bits. I1, LVGL's format for monochrome displays, is black and white by luminance; the other
// indexed formats take the palette chosen for the picture.
EncodedPicture encodeLvgl(PreparedPicture picture, const EncodingOptions &options);

// LVGL 8's header holds widths and heights of 11 bits, LVGL 9's of 16, and its stride too, in
// the colour format the picture is written in.
QString lvglSizeProblem(const PreparedPicture &picture, const EncodingOptions &options);

// LVGL 8's lv_animimg_set_src() takes the number of frames as a uint8_t: 255 frames at most. Tells
// it in French, translated in the context "PictureJob"; empty when the frames fit.
QString lvglFramesProblem(int frames, const EncodingOptions &options);

// How LVGL's own settings (colour format, version, compression) go with the others, once every
// option is read into `options` (--lvgl-cf, read as one of `lvgl.version`'s): how --swap-bytes
// (RGB565_SWAPPED, which it makes the colour format), --stride-align, --compress, --threshold,
// --invert, --dither and --progmem go with them. Tells what is wrong in French, translated in
// the context "DisplayFormat"; empty when nothing is.
QString lvglOptionsProblem(EncodingOptions *options, const GivenOptions &given);

// What the display shows of the image whose descriptor `descriptor` is, read back from `header`
// (c_array_reader): LVGL 9's lv_image_dsc_t or LVGL 8's lv_img_dsc_t, its colour format, size,
// stride and flags, its map compressed or not; drawn as the preview of the same picture draws it.
// Tells what is wrong in French (context "HeaderReading"), or an empty string.
QString lvglShownOf(const ReadHeader &header, const ReadStruct &descriptor, QImage *shown);
