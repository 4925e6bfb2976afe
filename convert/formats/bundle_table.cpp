#include "bundle_table.h"

#include "display_header.h"

#include <QtEndian>

#include <algorithm>

namespace {

// The value of the macro `name`, 0 when the header has none.
qint64 macroValue(const CHeader &header, const QByteArray &name)
{
    for (const auto &macro : header.macros) {
        if (macro.first == name)
            return macro.second.toLongLong();
    }
    return 0;
}

// A table of the pictures' sizes along one side.
CArray sizeTable(const QByteArray &name, const QVector<qint64> &sizes)
{
    CArray table;
    table.name = name;
    table.size = QByteArray::number(sizes.size());
    table.type = *std::max_element(sizes.begin(), sizes.end()) > 65535 ? CArray::Uint32 : CArray::Uint16;
    for (qint64 size : sizes) {
        char bytes[4];
        qToLittleEndian(quint32(size), bytes);
        table.data.append(bytes, valueBytes(table.type));
    }
    return table;
}

// The names as a table's values, four to a line.
QByteArray namesText(const QByteArrayList &names)
{
    const QByteArray nl = headerNewline;
    QByteArray text;
    for (int i = 0; i < names.size(); ++i)
        text += (i == 0 ? nl + '\t' : i % 4 == 0 ? ',' + nl + '\t' : QByteArray(", ")) + names[i];
    return text;
}

} // namespace

const CArray *bundledPixels(const CHeader &picture)
{
    for (const QByteArray &name : {picture.name + "_rle", picture.name}) {
        for (const CArray &array : picture.arrays) {
            if (array.name == name)
                return &array;
        }
    }
    return picture.arrays.isEmpty() ? nullptr : &picture.arrays.first();
}

QByteArrayList bundleIdentifiers(const QByteArray &name, const QByteArrayList &pictureNames)
{
    QByteArrayList identifiers {name + "_count", name + "_widths", name + "_heights", name + "_images"};
    for (const QByteArray &picture : pictureNames)
        identifiers << name + '_' + picture;
    return identifiers;
}

CHeader bundleHeader(const QByteArray &name, QVector<CHeader> pictures)
{
    const QByteArray nl = headerNewline;
    const QByteArray count = QByteArray::number(pictures.size());
    CHeader bundle;
    bundle.name = name;
    QByteArrayList pictureNames, pixels;
    QVector<qint64> widths, heights;
    for (const CHeader &picture : pictures) {
        pictureNames << picture.name;
        pixels << bundledPixels(picture)->name;
        widths << macroValue(picture, picture.name + "_width");
        heights << macroValue(picture, picture.name + "_height");
    }
    const QByteArray type = valueTypeName(bundledPixels(pictures.first())->type);
    bundle.commentLines << "Bundle of " + count + " pictures (" + pictureNames.join(", ")
            + "): picture i (0 to " + name + "_count - 1, or one of the enum's " + name + '_'
            + pictureNames.first() + "...) is " + name + "_images[i], " + name + "_widths[i] x " + name
            + "_heights[i] pixels.";
    bundle.progmem = pictures.first().progmem;
    if (bundle.progmem)
        bundle.commentLines << "On AVR, the tables are in program memory: (const " + type
                + " *)pgm_read_ptr(&" + name + "_images[i]), "
                + (sizeTable({}, widths).type == CArray::Uint16 ? "pgm_read_word" : "pgm_read_dword") + "(&"
                + name + "_widths[i]).";
    if (includesRunLengthReader(pictures.first()))
        bundle.commentLines << "A coded picture is read from its pointer with quillon_rle_init_near(&r, "
                + (bundle.progmem ? "(const uint8_t *)pgm_read_ptr(&" + name + "_images[i])"
                                  : name + "_images[i]")
                + "), on AVR from the first 64 KB of flash.";
    for (CHeader &picture : pictures) {
        for (const QByteArray &line : picture.commentLines) {
            if (!bundle.commentLines.contains(line))
                bundle.commentLines << line;
        }
        for (const QByteArray &include : picture.includes) {
            if (!bundle.includes.contains(include))
                bundle.includes << include;
        }
        bundle.preamble += picture.preamble;
        bundle.macros += picture.macros;
        bundle.definitionPreamble += picture.definitionPreamble;
        bundle.arrays += std::move(picture.arrays);
    }
    bundle.macros << qMakePair(name + "_count", count);

    CArray images;
    images.name = name + "_images";
    images.size = count;
    images.declaration = "const " + type + " *const";
    images.valuesText = namesText(pixels);
    bundle.arrays << sizeTable(name + "_widths", widths) << sizeTable(name + "_heights", heights) << images;

    QByteArray enumeration = "enum" + nl + '{';
    for (int i = 0; i < pictureNames.size(); ++i)
        enumeration += (i > 0 ? "," : "") + nl + '\t' + name + '_' + pictureNames[i];
    enumeration += nl + "};" + nl;
    bundle.singleTrailer = nl + nl + enumeration;
    bundle.trailerDeclaration = nl + enumeration;
    return bundle;
}
