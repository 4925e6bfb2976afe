#include "display_header.h"

#include "atomic_file_writer.h"
#include "header_generator.h"

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

QByteArray includeGuard(const QByteArray &name)
{
    return "QUILLON_" + name + "_H";
}

QByteArray progmemLines()
{
    return QByteArray("#ifndef QUILLON_PROGMEM\n"
                      "#if defined(__AVR__)\n"
                      "#include <avr/pgmspace.h>\n"
                      "#define QUILLON_PROGMEM PROGMEM\n"
                      "#else\n"
                      "#define QUILLON_PROGMEM\n"
                      "#endif\n"
                      "#endif\n")
        .replace("\n", headerNewline);
}

namespace {

// The first lines of a header, up to its macros: the comments, the include guard, the includes.
QByteArray headerTop(const CHeader &header)
{
    const QByteArray nl = headerNewline;
    QByteArray text = headerFirstLines();
    if (!header.commentLines.isEmpty()) {
        text.chop(nl.size()); // the comment goes on right under the product's line
        for (const QByteArray &line : header.commentLines)
            text += "// " + line + nl;
        text += nl;
    }
    const QByteArray guard = includeGuard(header.name);
    text += "#ifndef " + guard + nl + "#define " + guard + nl + nl;
    text += header.preamble;
    for (const QByteArray &include : header.includes)
        text += "#include " + include + nl;
    if (header.progmem)
        text += progmemLines();
    if (!header.includes.isEmpty() || header.progmem)
        text += nl;
    for (const auto &macro : header.macros)
        text += "#define " + macro.first + ' ' + macro.second + nl;
    if (!header.macros.isEmpty())
        text += nl;
    return text;
}

QByteArray headerBottom(const CHeader &header)
{
    const QByteArray nl = headerNewline;
    return nl + "#endif /* " + includeGuard(header.name) + " */" + nl;
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
            + array.size + ']' + (header.progmem ? " QUILLON_PROGMEM" : "") + " = " + nl + '{';
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
    return writeDefinitions(file, headerTop(header), header, true,
                            header.singleTrailer.isEmpty() ? header.trailer : header.singleTrailer)
        && file.write(headerBottom(header));
}

bool writeCSplit(AtomicFileWriter &headerFile, AtomicFileWriter &source, const CHeader &pixels,
                 const QByteArray &headerName)
{
    const QByteArray nl = headerNewline;
    QByteArray declarations = headerTop(pixels);
    for (const CArray &array : pixels.arrays) {
        if (!array.internal)
            declarations += "extern " + arrayType(array) + ' ' + array.name + '[' + array.size + ']'
                + (pixels.progmem ? " QUILLON_PROGMEM" : "") + ';' + nl;
    }
    declarations += pixels.trailerDeclaration;
    if (!headerFile.write(declarations + headerBottom(pixels)))
        return false;
    return writeDefinitions(source, headerFirstLines() + "#include \"" + headerName + '"' + nl + nl, pixels,
                            false, pixels.trailer);
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
