#pragma once

#include "display_formats.h"

#include <QByteArrayList>
#include <QVector>

// The pictures of one call in one header, --bundle NAME: each picture's arrays and macros exactly
// as its own header defines them (same names, same values, same placement), in the order given,
// then the bundle's own:
// - #define NAME_count N;
// - NAME_widths[N] and NAME_heights[N], each picture's size (uint16_t, uint32_t when a side
//   passes 65,535);
// - NAME_images[N], a pointer to each picture's pixels: the array named after the picture, its
//   NAME_rle when coded, or for the formats that have none (the e-paper planes) its first array;
// - an enum of the pictures, NAME_<picture> from 0, in the same order.
// The tables go where the arrays go, in AVR program memory with them, read there with
// pgm_read_word() and pgm_read_ptr(). Written as any header: alone, or split into NAME.c and NAME.h.
CHeader bundleHeader(const QByteArray &name, QVector<CHeader> pictures);

// The identifiers the bundle defines beside the pictures' own: NAME_count, NAME_widths,
// NAME_heights, NAME_images and each picture's constant of the enum.
QByteArrayList bundleIdentifiers(const QByteArray &name, const QByteArrayList &pictureNames);

// The array NAME_images points at for the picture of this header.
const CArray *bundledPixels(const CHeader &picture);
