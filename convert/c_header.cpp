#include "c_header.h"

#include "atomic_file_writer.h"
#include "header_generator.h"

#include <array>
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

// The values, 16 to a line after a newline and a tab, separated by commas. Formatted a block
// of lines at a time, each byte through a table of its two digits.
bool writeValues(AtomicFileWriter &file, CArray::ValueType type, const QByteArray &data)
{
    static const auto digits = [] {
        constexpr char hex[] = "0123456789abcdef";
        std::array<std::array<char, 2>, 256> table {};
        for (int byte = 0; byte < 256; ++byte)
            table[size_t(byte)] = {hex[byte >> 4], hex[byte & 0xf]};
        return table;
    }();
    const int bytesPerValue = hexDigits(type) / 2;
    const size_t newline = sizeof(headerNewline) - 1;
    const qint64 count = data.size() / bytesPerValue;
    const auto *bytes = reinterpret_cast<const uchar *>(data.constData());
    std::vector<char> text(size_t(lineBlock) * (valuesPerLine * (2 * bytesPerValue + 3) + newline + 1));
    for (qint64 first = 0; first < count; first += qint64(lineBlock) * valuesPerLine) {
        const qint64 last = qMin(count, first + qint64(lineBlock) * valuesPerLine);
        char *out = text.data();
        for (qint64 i = first; i < last; ++i) {
            if (i > 0)
                *out++ = ',';
            if (i % valuesPerLine == 0) {
                out = std::copy(headerNewline, headerNewline + newline, out);
                *out++ = '\t';
            }
            *out++ = '0';
            *out++ = 'x';
            for (int k = bytesPerValue - 1; k >= 0; --k) { // the high byte's digits first
                const auto &pair = digits[bytes[i * bytesPerValue + k]];
                *out++ = pair[0];
                *out++ = pair[1];
            }
        }
        if (!file.write(text.data(), out - text.data()))
            return false;
    }
    return true;
}

} // namespace

qint64 arrayBytes(const CArray &array)
{
    return array.data.size();
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
                || !writeValues(file, array.type, array.alternativeData) || !file.write(nl + "#else"))
                return false;
            text.clear();
        }
        if (!file.write(text) || !writeValues(file, array.type, array.data))
            return false;
        text = array.alternativeCondition.isEmpty() ? QByteArray() : nl + "#endif";
        text += nl + "};";
    }
    return file.write(text + header.trailer);
}
