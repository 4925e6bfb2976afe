#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

// A reader of the C text of a header of arrays, such as Quillon writes and other tools write:
// untrusted bytes, read once from the start by a small hand-written tokenizer (no regular
// expression, no recursion), each piece bounded by the text's size, which is itself bounded.
//
// It keeps what a picture can be drawn back from: each array of whole numbers, `const uint8_t
// NAME[] = { ... };` (unsigned char, uint16_t, uint32_t..., with or without static, PROGMEM or
// any attribute, its values in hexadecimal, decimal or octal, with comments and line breaks), its
// values as the bytes a little-endian firmware holds; each `#define NAME VALUE`; each line of the
// comments that start with //. Values between `#if` and `#else` inside an array (the other byte
// order of LVGL's maps) are passed over, those after `#else` kept. An initializer in braces of one
// thing that is not an array (a descriptor, `const lv_image_dsc_t NAME = { ... };`) is kept as the
// text of its fields, read by the same rule; any other (a table of pointers) is passed over whole.
struct ReadArray
{
    QByteArray name;
    int valueBytes = 1; // 1, 2 or 4: each value's bytes in `data`
    QByteArray data; // the values, each little-endian
};

// The fields of an initializer such as a descriptor's, nested braces flattened:
// `{{MAGIC, CF, 0 | FLAGS}, sizeof(NAME_map), NAME_map}` gives "MAGIC", "CF", "0 | FLAGS",
// "sizeof ( NAME_map )", "NAME_map", each token apart by one space, numbers in decimal. No more
// than maxStructFields fields are kept, each cut at maxFieldBytes.
struct ReadStruct
{
    QByteArray type; // the word before its name: lv_image_dsc_t...
    QByteArray name;
    QVector<QByteArray> fields;
};
constexpr int maxStructFields = 32;
constexpr int maxFieldBytes = 128;

struct ReadHeader
{
    QVector<ReadArray> arrays; // in the order of the text
    QVector<ReadStruct> structs; // in the order of the text
    QHash<QByteArray, int> index; // each array's place in `arrays`, by its name
    QHash<QByteArray, QByteArray> macros; // each #define's name and its value's text, trimmed
    QVector<QByteArray> commentLines; // the text after "//" of each such comment, trimmed

    const ReadArray *array(const QByteArray &name) const;
    // The macro's value as a whole number from 0 to 2^31 - 1, or -1 when it is none or missing.
    qint64 number(const QByteArray &name) const;
};

// The largest header read: beyond, a file is refused before it is read.
constexpr qint64 maxHeaderTextBytes = 64 * 1024 * 1024;

// Reads `text` into `header`; returns what is wrong with it, in French (translated in the context
// "HeaderReading"), or an empty string.
QString readCArrays(const QByteArray &text, ReadHeader *header);
