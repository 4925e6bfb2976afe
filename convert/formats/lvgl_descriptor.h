#pragma once

#include "display_formats.h"

// The text LVGL reads around an image's pixels, written from one template a version of LVGL
// with its named fields filled in (`${name}`, `${w}`...), as LVGL's own converter writes its
// descriptor from one text: the line of the comment that draws the image, the choice of LVGL's
// header, LVGL's attributes, then after the map `const lv_image_dsc_t NAME` (LVGL 9) or
// `const lv_img_dsc_t NAME` (LVGL 8), kept static in a single header and declared `extern` in a
// split pair's. An animation's frames each have theirs, and NAME_frames their addresses.
//
// The descriptor's fields are given in the order of their declaration, without designators,
// which compiles as C and as C++ (C++ takes designators only in that order, and not nested
// ones): the header's bit fields, whose order LVGL reverses on big-endian systems, then the data;
// LVGL 9.1 added one pointer after them, and 9.3 another.

// What the descriptor of one image says of it.
struct LvglImage
{
    QByteArray name; // the descriptor's; its pixels are the array NAME_map
    int version = 9; // 9: lv_image_dsc_t; 8: lv_img_dsc_t
    // Its colour format as the descriptor names it (LV_COLOR_FORMAT_RGB565, LV_IMG_CF_TRUE_COLOR...),
    // and its number, for the image file's header.
    QByteArray colourFormat;
    int colourFormatNumber = 0;
    QSize size;
    int stride = 0; // bytes a row (LVGL 9)
    bool compressed = false; // LVGL 9's LV_IMAGE_FLAGS_COMPRESSED
    // LVGL 8's 16-bit colours: the map in both byte orders, chosen by LV_COLOR_16_SWAP, for an
    // LV_COLOR_DEPTH of 16 only.
    bool trueColour = false;
};

// The header of the image but for its pixels, which go into the one array lvglMap() gives.
CHeader lvglHeader(const LvglImage &image);
// NAME_map, which the descriptor points at: `data` (whose memory `storage` holds, when not
// null), and for true colour `swapped`, its other byte order.
CArray lvglMap(const LvglImage &image, QByteArray data, QImage storage, QByteArray swapped);
// The header of the image in LVGL's .bin files, before the map's bytes: LVGL 9's 12-byte
// lv_image_header_t or LVGL 8's 4-byte lv_img_header_t, as a little-endian system lays it out.
QByteArray lvglFileHeader(const LvglImage &image);

// An animation's frames, each with its descriptor NAME_frameN, drawn by lv_animimg, which
// shows each frame for the same time: the lines of the comment that draw them, `durationMs` in
// all; then the table of their descriptors' addresses, NAME_frames, `count` of them given as C
// text by `addresses`, added after them to `header`'s trailers.
QVector<QByteArray> lvglAnimationLines(int version, const QByteArray &name, qint64 durationMs);
void addLvglFrameTable(int version, const QByteArray &name, int count, const QByteArray &addresses,
                       CHeader *header);
