#pragma once

#include <QByteArrayList>
#include <QHash>
#include <QString>

struct DisplayFormat;
struct Options;

// The names of the C arrays that quillon-convert writes: each picture's, after its file or
// --name, checked against C's keywords, the C library's built-ins and what the header's includes
// define, and against the other pictures' of the call and the bundle's.

// The array name of a picture without --name, by the CMake function's rule: its file name
// without the last extension, each byte that is not an ASCII letter, digit or _ made a _, and a
// leading digit prefixed with _ ("my icon.png" gives my_icon, "8x8.png" _8x8).
QByteArray arrayNameOf(const QString &picturePath);

// The identifiers that a picture's header may define for the array `arrayName`: the array, the size
// macros and the other arrays and macros of every format (their rows' Arrays); with `frames`, the
// tables and macros of a header of frames too; with `coded` (--compress rle), the coded arrays and
// their sizes (NAME_rle, NAME_size, NAME_mask_rle...). (Its include guard, named after its file,
// begins with QUILLON_, which no array name does.)
QByteArrayList definedIdentifiers(const QByteArray &arrayName, bool frames = false, bool coded = false);
// Whether `identifier` is one of the arrays that a header of frames of `arrayName` defines for each
// frame: NAME_frame0, NAME_frame12_mask... (numbered from 0 up to 999), NAME_frame0_rle... when
// `coded`.
bool isFrameArrayName(const QByteArray &identifier, const QByteArray &arrayName, bool coded = false);

// Why `name` cannot name a C array, in French; empty when it can. Keywords, the C library's
// built-in functions and names that the header's includes define are refused: <stdint.h>'s,
// and with `progmem` (the arrays in AVR program memory) those of <avr/pgmspace.h> and what it
// includes; those that the format's own includes define (lvgl.h's for LVGL).
QString arrayNameProblem(const QString &name, bool progmem, const DisplayFormat *format);

// Why two of the call's pictures cannot be written, in French, their headers defining one name
// (with --frames, their frames' arrays too; `coded`, their coded arrays); empty when none do.
// Fills `defined` with what each picture's header defines, by the picture's index, up to the
// first clash.
QString picturesNamesProblem(const Options &options, bool coded, QHash<QByteArray, int> *defined);

// Why --bundle cannot be given with the rest of the command line, in French; empty when it can.
// `defined` holds what each picture's arrays define, by the picture's index.
QString bundleProblem(const Options &options, bool flashOnAvr, bool coded,
                      const QHash<QByteArray, int> &defined);
