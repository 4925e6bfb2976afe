#pragma once

#include <QByteArray>
#include <QVector>

class AtomicFileWriter;

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
    // What comes before the name instead of `const TYPE`, such as a library's attributes.
    QByteArray declaration;
    // Values that stand instead of `data` where this preprocessor condition holds, such as the
    // other byte order of a library's build option.
    QByteArray alternativeCondition;
    QByteArray alternativeData;
};

// The text of a header that holds pixels for a display library, written the same way whatever
// the format: the product's comment line, what the comment tells of the picture and how to draw
// it, the includes, the macros, then each array.
struct CHeader
{
    QVector<QByteArray> commentLines; // each becomes a "// " line after the product's
    QByteArray preamble; // text before the includes, such as the choice of a library's header
    QVector<QByteArray> includes; // "<stdint.h>", "\"lvgl.h\""...
    QVector<QPair<QByteArray, QByteArray>> macros; // #define NAME VALUE
    QVector<CArray> arrays;
    bool progmem = false; // every array PROGMEM, after <avr/pgmspace.h>
    QByteArray trailer; // text after the arrays, such as a descriptor that points at them
};

// The bytes an array takes in the firmware.
qint64 arrayBytes(const CArray &array);

// Writes the whole header text into `file`; false when a write failed.
bool writeCHeader(AtomicFileWriter &file, const CHeader &header);
