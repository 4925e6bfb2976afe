#include "display_header.h"

#include "atomic_file_writer.h"
#include "product.h"
#include "rle_coding.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

constexpr int valuesPerLine = 16;
constexpr int lineBlock = 4096; // lines formatted before each write

// Each byte's two lower-case hexadecimal digits.
const std::array<std::array<char, 2>, 256> &byteDigits()
{
    static const std::array<std::array<char, 2>, 256> table = [] {
        constexpr char hex[] = "0123456789abcdef";
        std::array<std::array<char, 2>, 256> digits {};
        for (int byte = 0; byte < 256; ++byte)
            digits[size_t(byte)] = {hex[byte >> 4], hex[byte & 0xf]};
        return digits;
    }();
    return table;
}

// One value as "0x" and its digits, its bytes stored low byte first and written high byte first.
template<int bytesPerValue> char *putValue(char *out, const uchar *value)
{
    const auto &digits = byteDigits();
    *out++ = '0';
    *out++ = 'x';
    for (int k = bytesPerValue - 1; k >= 0; --k) {
        std::memcpy(out, digits[value[k]].data(), 2);
        out += 2;
    }
    return out;
}

// The values, 16 to a line after a newline and a tab, separated by commas. Formatted a block
// of lines at a time, a line at a time within it, so that nothing is decided value by value.
template<int bytesPerValue> bool writeValuesOf(AtomicFileWriter &file, const QByteArray &data)
{
    const size_t newline = sizeof(headerNewline) - 1;
    const qint64 count = data.size() / bytesPerValue;
    const auto *bytes = reinterpret_cast<const uchar *>(data.constData());
    std::vector<char> text(size_t(lineBlock) * (valuesPerLine * (2 * bytesPerValue + 3) + newline + 1));
    for (qint64 first = 0; first < count; first += qint64(lineBlock) * valuesPerLine) {
        const qint64 last = qMin(count, first + qint64(lineBlock) * valuesPerLine);
        char *out = text.data();
        for (qint64 line = first; line < last; line += valuesPerLine) {
            if (line > 0)
                *out++ = ',';
            out = std::copy(headerNewline, headerNewline + newline, out);
            *out++ = '\t';
            out = putValue<bytesPerValue>(out, bytes + line * bytesPerValue);
            const qint64 end = qMin(last, line + valuesPerLine);
            for (qint64 i = line + 1; i < end; ++i) {
                *out++ = ',';
                out = putValue<bytesPerValue>(out, bytes + i * bytesPerValue);
            }
        }
        if (!file.write(text.data(), out - text.data()))
            return false;
    }
    return true;
}

bool writeValues(AtomicFileWriter &file, CArray::ValueType type, const QByteArray &data)
{
    switch (type) {
    case CArray::Uint8:
        return writeValuesOf<1>(file, data);
    case CArray::Uint16:
        return writeValuesOf<2>(file, data);
    case CArray::Uint32:
        return writeValuesOf<4>(file, data);
    }
    return false;
}

} // namespace

qint64 arrayBytes(const CArray &array)
{
    return array.data.size();
}

int valueBytes(CArray::ValueType type)
{
    return type == CArray::Uint32 ? 4 : type == CArray::Uint16 ? 2 : 1;
}

QByteArray includeGuard(const QByteArray &headerFileName)
{
    QByteArray stem = headerFileName.endsWith(".h") ? headerFileName.chopped(2) : headerFileName;
    // Each underscore of the identifier, by the byte of the name it stands for.
    QByteArray underscores;
    bool replaced = false;
    for (char &byte : stem) {
        const bool kept
            = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9');
        if (kept)
            continue;
        underscores += QByteArray::number(uchar(byte), 16).toUpper().rightJustified(2, '0');
        replaced = replaced || byte != '_';
        byte = '_';
    }
    return "QUILLON_" + stem + "_H" + (replaced ? '_' + underscores : QByteArray());
}

QByteArray progmemLines()
{
    return QByteArray("#ifndef QUILLON_PROGMEM\n"
                      "#if defined(__AVR__)\n"
                      "#include <avr/pgmspace.h>\n"
                      "#define QUILLON_PROGMEM PROGMEM\n"
                      "#elif defined(ARDUINO_ARCH_ESP8266)\n"
                      "#include <pgmspace.h>\n"
                      "#define QUILLON_PROGMEM PROGMEM\n"
                      "#else\n"
                      "#define QUILLON_PROGMEM\n"
                      "#endif\n"
                      "#endif\n"
                      "#ifndef QUILLON_READ_BYTE\n"
                      "#if defined(__AVR__) && FLASHEND > 0xFFFF\n"
                      "#define QUILLON_READ_BYTE(array, i) pgm_read_byte_far(pgm_get_far_address(array) + "
                      "(uint32_t)(i))\n"
                      "#elif defined(__AVR__) || defined(ARDUINO_ARCH_ESP8266)\n"
                      "#define QUILLON_READ_BYTE(array, i) pgm_read_byte((const uint8_t *)(array) + (i))\n"
                      "#else\n"
                      "#define QUILLON_READ_BYTE(array, i) (*((const uint8_t *)(array) + (i)))\n"
                      "#endif\n"
                      "#endif\n")
        .replace("\n", headerNewline);
}

namespace {

// The macros of arrays too large for one object of avr-gcc's (over 32,767 bytes), which go to far
// program memory on AVR in pieces, one after the other in a section of their own (see
// docs/internals.md), and are one array everywhere else.
QByteArray farPieceLines()
{
    return QByteArray(
               "#ifndef QUILLON_FAR\n"
               "#if defined(__AVR__)\n"
               "#define QUILLON_FAR(array) __attribute__((section(\".text.quillon_far.\" #array), "
               "used, no_reorder))\n"
               "#define QUILLON_FAR_DECLARED(array) __attribute__((section(\".text.quillon_far.\" #array)))\n"
               "#define QUILLON_FAR_SIZE(whole, first) first\n"
               "#define QUILLON_FAR_PIECE(array, type, k, n) }; static const type "
               "array##_quillon_far##k[((n) * sizeof(type) + 1) / 2 * 2 / sizeof(type)] "
               "QUILLON_FAR(array) = {\n"
               "#else\n"
               "#define QUILLON_FAR(array) QUILLON_PROGMEM\n"
               "#define QUILLON_FAR_DECLARED(array) QUILLON_PROGMEM\n"
               "#define QUILLON_FAR_SIZE(whole, first) whole\n"
               "#define QUILLON_FAR_PIECE(array, type, k, n)\n"
               "#endif\n"
               "#endif\n")
        .replace("\n", headerNewline);
}

} // namespace

bool liesFar(const CHeader &header, const CArray &array)
{
    return header.progmem && arrayBytes(array) > maxProgmemArrayBytes && array.valuesText.isEmpty()
        && array.alternativeCondition.isEmpty();
}

QByteArray pixelsHeaderFirstLines()
{
    return QByteArray("// Generated by ") + Quillon::productName + ' ' + Quillon::webAddress + headerNewline
        + headerNewline;
}

namespace {

// The include guard of the header that `file` writes.
QByteArray guardOf(const AtomicFileWriter &file)
{
    return includeGuard(QFile::encodeName(QFileInfo(file.targetPath()).fileName()));
}

// "N bytes instead of M (P%)".
QByteArray weighed(qint64 coded, qint64 uncoded)
{
    return QByteArray::number(coded) + " bytes instead of " + QByteArray::number(uncoded) + " ("
        + QByteArray::number(qRound(100.0 * double(coded) / double(qMax<qint64>(uncoded, 1)))) + "%)";
}

// What the coded arrays take: each one's size against its array's, or, beyond a few (an
// animation's), all together.
QVector<QByteArray> codingLines(const CHeader &header)
{
    constexpr int toldApart = 4;
    QVector<QByteArray> lines;
    qint64 coded = 0, uncoded = 0;
    int count = 0;
    for (const CArray &array : header.arrays) {
        if (array.uncodedBytes == 0)
            continue;
        ++count;
        coded += arrayBytes(array);
        uncoded += array.uncodedBytes;
        lines << array.name
                + (arrayBytes(array) > array.uncodedBytes
                       ? ": stored as it is after a 0 byte, which coding it by runs would not make smaller, "
                       : ": run-length coded, ")
                + weighed(arrayBytes(array), array.uncodedBytes) + ".";
    }
    if (count > toldApart)
        lines = {QByteArray::number(count) + " arrays run-length coded: " + weighed(coded, uncoded) + "."};
    if (count > 0)
        lines << QByteArray(QuillonRle::readerFileName) + ", written beside this header, reads "
                + (count > 1 ? "them" : "it") + " back a piece at a time.";
    return lines;
}

// The arrays that go to far program memory on AVR, and how to read them there.
QVector<QByteArray> farLines(const CHeader &header)
{
    QVector<QByteArray> lines;
    for (const CArray &array : header.arrays) {
        if (liesFar(header, array))
            lines << "On AVR, " + array.name + " (" + QByteArray::number(arrayBytes(array))
                    + " bytes) lies in far program memory, in pieces one after the other: a chip with more "
                      "than 64 KB of flash reads byte i with QUILLON_READ_BYTE("
                    + array.name + ", i), not with calls that take a 16-bit address.";
    }
    return lines;
}

// The first lines of a header, up to its macros: the comments, the include guard, the includes.
QByteArray headerTop(const CHeader &header, const QByteArray &guard)
{
    const QByteArray nl = headerNewline;
    QByteArray text = pixelsHeaderFirstLines();
    const QVector<QByteArray> comment = header.commentLines + codingLines(header) + farLines(header);
    if (!comment.isEmpty()) {
        text.chop(nl.size()); // the comment goes on right under the product's line
        for (const QByteArray &line : comment)
            text += "// " + line + nl;
        text += nl;
    }
    text += "#ifndef " + guard + nl + "#define " + guard + nl + nl;
    text += header.preamble;
    for (const QByteArray &include : header.includes)
        text += "#include " + include + nl;
    if (header.progmem)
        text += progmemLines();
    if (std::any_of(header.arrays.begin(), header.arrays.end(),
                    [&](const CArray &array) { return liesFar(header, array); }))
        text += farPieceLines();
    if (!header.includes.isEmpty() || header.progmem)
        text += nl;
    for (const auto &macro : header.macros)
        text += "#define " + macro.first + ' ' + macro.second + nl;
    if (!header.macros.isEmpty())
        text += nl;
    return text;
}

QByteArray headerBottom(const QByteArray &guard)
{
    const QByteArray nl = headerNewline;
    return nl + "#endif /* " + guard + " */" + nl;
}

// Bytes of values that a piece of a far array holds: as many whole values as avr-gcc's limit takes,
// in an even number of bytes.
qint64 farPieceBytes(const CArray &array)
{
    // An even number, as the last piece's size on AVR (QUILLON_FAR_PIECE), so that the code that
    // follows the section lies at an even address.
    const int unit = valueBytes(array.type);
    return maxProgmemArrayBytes / unit * unit / 2 * 2;
}

// What stands between the brackets: the whole size, or on AVR the first piece's.
QByteArray arraySize(const CHeader &header, const CArray &array)
{
    if (!liesFar(header, array))
        return array.size;
    return "QUILLON_FAR_SIZE(" + array.size + ", "
        + QByteArray::number(farPieceBytes(array) / valueBytes(array.type)) + ')';
}

// Where the array goes: nowhere in particular, in AVR program memory, or far there (as it is
// defined, or as a split pair's header declares it, which `used` and `no_reorder` do not concern).
QByteArray placement(const CHeader &header, const CArray &array, bool declared = false)
{
    if (liesFar(header, array))
        return (declared ? " QUILLON_FAR_DECLARED(" : " QUILLON_FAR(") + array.name + ')';
    return header.progmem ? " QUILLON_PROGMEM" : "";
}

// A far array's values, each piece after the first opened by QUILLON_FAR_PIECE, which closes the
// one before on AVR and is nothing elsewhere.
bool writeFarPieces(AtomicFileWriter &file, const CArray &array)
{
    const QByteArray nl = headerNewline;
    const qint64 piece = farPieceBytes(array);
    for (qint64 at = 0, k = 0; at < array.data.size(); at += piece, ++k) {
        const qint64 bytes = qMin(piece, array.data.size() - at);
        if (k > 0
            && !file.write(',' + nl + "\tQUILLON_FAR_PIECE(" + array.name + ", " + valueTypeName(array.type)
                           + ", " + QByteArray::number(k) + ", "
                           + QByteArray::number(bytes / valueBytes(array.type)) + ')'))
            return false;
        if (!writeValues(file, array.type, QByteArray::fromRawData(array.data.constData() + at, int(bytes))))
            return false;
    }
    return true;
}

QByteArray arrayType(const CArray &array)
{
    return array.declaration.isEmpty() ? QByteArray("const ") + valueTypeName(array.type) : array.declaration;
}

// The arrays' definitions, after `text`, then the trailer; static all, or only the internal ones.
bool writeDefinitions(AtomicFileWriter &file, QByteArray text, const CHeader &header, bool allStatic,
                      const QByteArray &trailer)
{
    const QByteArray nl = headerNewline;
    text += header.definitionPreamble;
    for (int i = 0; i < header.arrays.size(); ++i) {
        const CArray &array = header.arrays[i];
        if (i > 0)
            text += nl + nl;
        text += (allStatic || array.internal ? "static " : "") + arrayType(array) + ' ' + array.name + '['
            + arraySize(header, array) + ']' + placement(header, array) + " = " + nl + '{';
        if (liesFar(header, array)) {
            if (!file.write(text) || !writeFarPieces(file, array))
                return false;
            text = nl + "};";
            continue;
        }
        if (!array.alternativeCondition.isEmpty()) {
            if (!file.write(text + nl + "#if " + array.alternativeCondition)
                || !writeValues(file, array.type, array.alternativeData) || !file.write(nl + "#else"))
                return false;
            text.clear();
        }
        if (!file.write(text + array.valuesText)
            || (array.valuesText.isEmpty() && !writeValues(file, array.type, array.data)))
            return false;
        text = array.alternativeCondition.isEmpty() ? QByteArray() : nl + "#endif";
        text += nl + "};";
    }
    return file.write(text + (trailer.isEmpty() ? nl : trailer));
}

} // namespace

bool writeCHeader(AtomicFileWriter &file, const CHeader &header)
{
    const QByteArray guard = guardOf(file);
    return writeDefinitions(file, headerTop(header, guard), header, true,
                            header.singleTrailer.isEmpty() ? header.trailer : header.singleTrailer)
        && file.write(headerBottom(guard));
}

bool writeCSplit(AtomicFileWriter &headerFile, AtomicFileWriter &source, const CHeader &pixels,
                 const QByteArray &headerName)
{
    const QByteArray nl = headerNewline;
    const QByteArray guard = guardOf(headerFile);
    QByteArray declarations = headerTop(pixels, guard);
    for (const CArray &array : pixels.arrays) {
        if (!array.internal)
            declarations += "extern " + arrayType(array) + ' ' + array.name + '[' + arraySize(pixels, array)
                + ']' + placement(pixels, array, true) + ';' + nl;
    }
    declarations += pixels.trailerDeclaration;
    if (!headerFile.write(declarations + headerBottom(guard)))
        return false;
    return writeDefinitions(source, pixelsHeaderFirstLines() + "#include \"" + headerName + '"' + nl + nl,
                            pixels, false, pixels.trailer);
}

QByteArray runLengthReaderInclude()
{
    return '"' + QByteArray(QuillonRle::readerFileName) + '"';
}

bool includesRunLengthReader(const CHeader &header)
{
    return header.includes.contains(runLengthReaderInclude());
}

const char *valueTypeName(CArray::ValueType type)
{
    switch (type) {
    case CArray::Uint8:
        return "uint8_t";
    case CArray::Uint16:
        return "uint16_t";
    case CArray::Uint32:
        return "uint32_t";
    }
    return "";
}
