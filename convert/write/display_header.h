#pragma once

#include <QByteArray>
#include <QImage>
#include <QVector>

class AtomicFileWriter;

// What every header Quillon writes shares, the window's and the display formats'.

// Header lines end with the platform's terminator.
#ifdef Q_OS_WIN
inline constexpr char headerNewline[] = "\r\n";
#else
inline constexpr char headerNewline[] = "\n";
#endif

// avr-gcc refuses larger arrays: their size must fit a signed 16-bit integer.
constexpr qint64 maxProgmemArrayBytes = 32767;
// The flash of the largest AVR, ATxmega384C3 (384 KiB): no array of a display format larger than
// that fits any AVR's program memory, even in far pieces.
constexpr qint64 largestAvrFlashBytes = 393216;

// One array of a C header: `const TYPE NAME[SIZE]`, its values as 0x literals of as many
// hexadecimal digits as the type holds, 16 to a line. The values are kept as the bytes they
// take in a little-endian firmware, which is also how encoders produce them.
struct CArray
{
    enum ValueType { Uint8, Uint16, Uint32 };
    ValueType type = Uint8;
    QByteArray name;
    QByteArray size; // what goes between the brackets: a number, or an expression of the macros
    QByteArray data; // the values one after the other, each little-endian
    // What holds data's bytes when they are a picture's own memory, encoded in place
    // (QByteArray::fromRawData); null otherwise.
    QImage storage;
    // What comes before the name instead of `const TYPE`, such as a library's attributes.
    QByteArray declaration;
    // Values that stand instead of `data` where this preprocessor condition holds, such as the
    // other byte order of a library's build option.
    QByteArray alternativeCondition;
    QByteArray alternativeData;
    // The values as C text, standing instead of `data`: the names of other arrays, for a table
    // that points at them. Written as it is, after the opening brace.
    QByteArray valuesText;
    // Only read through what the header defines after it (LVGL's map, through its descriptor):
    // static even in a split pair's source, and not declared in its header.
    bool internal = false;
    // Coded by run length (rle_arrays.h): the bytes of the array it codes, which the header's
    // comment weighs it against; 0 when it is not coded.
    qint64 uncodedBytes = 0;
};

// The text of a header that holds pixels for a display library, written the same way whatever
// the format: the product's comment line, what the comment tells of the picture and how to draw
// it (and how much its coded arrays take), the include guard, the includes, the macros, then each
// array.
//
// Every array is `static const`: the header compiles in any number of C and C++ files of one
// program, each file that reads an array holding its own copy (compilers drop the arrays a file
// does not read). A split pair instead defines them once, in a C file of their own, that its
// header declares `extern`.
struct CHeader
{
    QByteArray name; // the picture's array name; the include guard is named after the header's file
    QVector<QByteArray> commentLines; // each becomes a "// " line after the product's
    QByteArray preamble; // text before the includes, such as the choice of a library's header
    QVector<QByteArray> includes; // "<stdint.h>", "\"lvgl.h\""...
    QVector<QPair<QByteArray, QByteArray>> macros; // #define NAME VALUE
    // Text before the arrays, where they are defined, such as a library's attributes.
    QByteArray definitionPreamble;
    QVector<CArray> arrays;
    // Every array in AVR program memory, through QUILLON_PROGMEM: PROGMEM after
    // <avr/pgmspace.h> when compiled for AVR, nothing elsewhere.
    bool progmem = false;
    QByteArray trailer; // text after the arrays, such as a descriptor that points at them
    // What the header of a split pair declares of the trailer, such as the descriptor.
    QByteArray trailerDeclaration;
    // The trailer as a single header writes it, when it differs (a descriptor kept static).
    QByteArray singleTrailer;
};

// The line that names the product at the top of these headers and their C files, in English as
// firmware code is, then an empty line. The window's header of a BMP file's bytes keeps its own
// (headerFirstLines()).
QByteArray pixelsHeaderFirstLines();

// The include guard of the header named `headerFileName` (its bytes, as the file system holds
// them), so that two headers of one folder never share one, whatever their arrays: QUILLON_, the
// name without its ".h", each byte that is not an ASCII letter or digit made a _, then _H
// (logo.h gives QUILLON_logo_H, splash_screen.h QUILLON_splash_screen_H). When a byte other than _
// was made a _, there follow a _ and, for each _, the byte it stands for in two hexadecimal digits:
// a-b.h gives QUILLON_a_b_H_2D, a_b.h QUILLON_a_b_H.
QByteArray includeGuard(const QByteArray &headerFileName);

// The lines that define QUILLON_PROGMEM, each ended by a newline: PROGMEM after
// <avr/pgmspace.h> on AVR, after <pgmspace.h> on ESP8266, nothing on every other chip and on the
// host; and QUILLON_READ_BYTE(array, i), byte i of an array wherever it lies: far from AVR flash
// on chips of more than 64 KB (pgm_read_byte_far), near on the others and on ESP8266
// (pgm_read_byte), from memory elsewhere.
QByteArray progmemLines();

// Whether the array goes to far program memory on AVR: in flash, and over avr-gcc's 32,767 bytes
// an object. It is then written in pieces that AVR places one after the other (QUILLON_FAR_PIECE),
// which QUILLON_READ_BYTE and quillon_rle.h read from the first's far address; one array elsewhere.
bool liesFar(const CHeader &header, const CArray &array);

// The include of the reader of run-length coded arrays, "quillon_rle.h", and whether a header has
// it: the reader is then written beside the header.
QByteArray runLengthReaderInclude();
bool includesRunLengthReader(const CHeader &header);

// The C type of an array's values: uint8_t, uint16_t or uint32_t.
const char *valueTypeName(CArray::ValueType type);

// The bytes of one of the type's values.
int valueBytes(CArray::ValueType type);

// The bytes an array takes in the firmware.
qint64 arrayBytes(const CArray &array);

// Writes the whole header text into `file`; false when a write failed.
bool writeCHeader(AtomicFileWriter &file, const CHeader &header);

// Writes a split pair: into `header` the include guard, the includes, the macros and the
// arrays' `extern` declarations; into `source` the definitions, after `#include "headerName"`.
bool writeCSplit(AtomicFileWriter &header, AtomicFileWriter &source, const CHeader &pixels,
                 const QByteArray &headerName);
