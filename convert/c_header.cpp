#include "c_header.h"

#include "atomic_file_writer.h"
#include "header_generator.h"

#include <vector>

namespace {

constexpr int valuesPerLine = 16;
constexpr int lineBlock = 4096; // lines formatted before each write

const char *typeName(CArray::ValueType type)
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

int hexDigits(CArray::ValueType type)
{
    return type == CArray::Uint8 ? 2 : type == CArray::Uint16 ? 4 : 8;
}

// The values, 16 to a line after a newline and a tab, separated by commas.
bool writeValues(AtomicFileWriter &file, CArray::ValueType type, const QVector<quint32> &values)
{
    constexpr char digits[] = "0123456789abcdef";
    const int width = hexDigits(type);
    const size_t newline = sizeof(headerNewline) - 1;
    const int count = values.size();
    std::vector<char> text(size_t(lineBlock) * valuesPerLine * (width + 3) + lineBlock * (newline + 1));
    for (int first = 0; first < count; first += lineBlock * valuesPerLine) {
        const int last = qMin(count, first + lineBlock * valuesPerLine);
        char *out = text.data();
        for (int i = first; i < last; ++i) {
            if (i > 0)
                *out++ = ',';
            if (i % valuesPerLine == 0) {
                out = std::copy(headerNewline, headerNewline + newline, out);
                *out++ = '\t';
            }
            const quint32 value = values[i];
            *out++ = '0';
            *out++ = 'x';
            for (int shift = (width - 1) * 4; shift >= 0; shift -= 4)
                *out++ = digits[value >> shift & 0xf];
        }
        if (!file.write(text.data(), out - text.data()))
            return false;
    }
    return true;
}

} // namespace

qint64 arrayBytes(const CArray &array)
{
    return qint64(array.values.size()) * (hexDigits(array.type) / 2);
}

bool writeCHeader(AtomicFileWriter &file, const CHeader &header)
{
    const QByteArray nl = headerNewline;
    QByteArray text = headerFirstLines();
    if (!header.commentLines.isEmpty()) {
        text.chop(nl.size()); // the comment goes on right under the product's line
        for (const QByteArray &line : header.commentLines)
            text += "// " + line + nl;
        text += nl;
    }
    text += header.preamble;
    for (const QByteArray &include : header.includes)
        text += "#include " + include + nl;
    if (header.progmem)
        text += "#include <avr/pgmspace.h>" + nl;
    if (!header.includes.isEmpty() || header.progmem)
        text += nl;
    for (const auto &macro : header.macros)
        text += "#define " + macro.first + ' ' + macro.second + nl;
    if (!header.macros.isEmpty())
        text += nl;
    for (int i = 0; i < header.arrays.size(); ++i) {
        const CArray &array = header.arrays[i];
        if (i > 0)
            text += nl + nl;
        const QByteArray declaration
            = array.declaration.isEmpty() ? QByteArray("const ") + typeName(array.type) : array.declaration;
        text += declaration + ' ' + array.name + '[' + array.size + ']' + (header.progmem ? " PROGMEM" : "")
            + " = " + nl + '{';
        if (!array.alternativeCondition.isEmpty()) {
            if (!file.write(text + nl + "#if " + array.alternativeCondition)
                || !writeValues(file, array.type, array.alternativeValues) || !file.write(nl + "#else"))
                return false;
            text.clear();
        }
        if (!file.write(text) || !writeValues(file, array.type, array.values))
            return false;
        text = array.alternativeCondition.isEmpty() ? QByteArray() : nl + "#endif";
        text += nl + "};";
    }
    return file.write(text + header.trailer);
}
