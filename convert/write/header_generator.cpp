#include "header_generator.h"

#include "atomic_file_writer.h"
#include "display_header.h"
#include "product.h"

#include <QFile>

#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

constexpr const char *newline = headerNewline;
constexpr qint64 newlineLength = sizeof(headerNewline) - 1;

constexpr int valuesPerLine = 16;
constexpr qint64 inputBlockSize = 1 << 14; // keeps the text of a block in the CPU caches
constexpr int valueLength = 4; // "0x" and two lower-case hexadecimal digits
// Every value takes its own text and at most a comma, a newline and a tab before it.
constexpr qint64 maxTextPerByte = valueLength + 1 + newlineLength + 1;
constexpr qint64 textSlack = 8; // values are stored 8 bytes at a time

// For each byte value, the text ",0xNN" in the first five of eight bytes, so that a value and
// the comma before it are stored with one 8-byte copy.
const std::array<std::array<char, 8>, 256> &separatedValues()
{
    static const std::array<std::array<char, 8>, 256> table = [] {
        constexpr char digits[] = "0123456789abcdef";
        std::array<std::array<char, 8>, 256> values {};
        for (int byte = 0; byte < 256; ++byte)
            values[byte] = {',', '0', 'x', digits[byte >> 4], digits[byte & 0xf], 0, 0, 0};
        return values;
    }();
    return table;
}

QByteArray declaration(qint64 inputSize, const HeaderOptions &options)
{
    return "const unsigned char " + options.arrayName + '[' + QByteArray::number(inputSize) + ']'
        + (options.progmem ? " QUILLON_PROGMEM" : "");
}

QByteArray prologue(qint64 inputSize, const HeaderOptions &options)
{
    QByteArray text = headerFirstLines();
    if (options.split)
        text += "#include \"" + options.ownHeader + '"' + newline + newline;
    else if (options.progmem)
        text += progmemLines() + newline;
    return text + declaration(inputSize, options) + " = " + newline + '{';
}

// Formats `count` input bytes, the first of which is at `position` in the input, into `out` and
// returns the end of the text. A comma comes before every value but the input's first; a value
// that starts a line of 16 has a newline and a tab between that comma and itself.
char *formatValues(const uchar *bytes, qint64 count, qint64 position, char *out)
{
    const auto &table = separatedValues();
    for (qint64 i = 0; i < count; ++i, ++position) {
        const char *value = table[bytes[i]].data();
        if (position % valuesPerLine == 0) {
            if (position > 0)
                *out++ = ',';
            std::memcpy(out, newline, newlineLength);
            out += newlineLength;
            *out++ = '\t';
            ++value; // no comma between the tab and the value
            std::memcpy(out, value, valueLength);
            out += valueLength;
            // The rest of a full line goes without checks, the hot path for large files.
            if (count - i >= valuesPerLine) {
                for (int k = 1; k < valuesPerLine; ++k) {
                    std::memcpy(out, table[bytes[i + k]].data(), 8);
                    out += valueLength + 1;
                }
                i += valuesPerLine - 1;
                position += valuesPerLine - 1;
            }
        } else {
            std::memcpy(out, value, 8);
            out += valueLength + 1;
        }
    }
    return out;
}

} // namespace

QByteArray bytesDeclarationHeader(qint64 inputSize, const HeaderOptions &options)
{
    const QByteArray nl = newline, guard = includeGuard(options.ownHeader);
    QByteArray text = headerFirstLines() + "#ifndef " + guard + nl + "#define " + guard + nl + nl;
    if (options.progmem)
        text += progmemLines() + nl;
    return text + "extern " + declaration(inputSize, options) + ';' + nl + nl + "#endif /* " + guard + " */"
        + nl;
}

QByteArray headerFirstLines()
{
    return QByteArray("// Fichier généré avec ") + Quillon::productName + ' ' + Quillon::webAddress + newline
        + newline;
}

HeaderFileWriter::HeaderFileWriter(const QString &headerPath, qint64 inputSize, const HeaderOptions &options,
                                   const QString &temporaryPrefix, bool replaceLink)
    : m_file(headerPath, temporaryPrefix, replaceLink)
    , m_options(options)
    , m_inputSize(inputSize)
{ }

bool HeaderFileWriter::open()
{
    return m_file.open() && m_file.write(prologue(m_inputSize, m_options));
}

bool HeaderFileWriter::append(const char *bytes, qint64 size)
{
    // The array size is already written: more bytes than announced cannot be stored.
    if (size > m_inputSize - m_position) {
        cancel();
        return false;
    }
    if (m_text.empty())
        m_text.resize(size_t(inputBlockSize * maxTextPerByte + textSlack));
    // Formatted a block at a time, so that the text stays in the CPU caches.
    while (size > 0) {
        const qint64 count = qint64(qMin<qint64>(size, inputBlockSize));
        const char *end
            = formatValues(reinterpret_cast<const uchar *>(bytes), count, m_position, m_text.data());
        if (!m_file.write(m_text.data(), end - m_text.data()))
            return false;
        bytes += count;
        size -= count;
        m_position += count;
    }
    return true;
}

bool HeaderFileWriter::finish()
{
    if (m_position != m_inputSize) {
        cancel();
        return false;
    }
    return m_file.write(QByteArray(newline) + "};");
}

bool generateHeaderFile(QString inputPath, QString headerPath)
{
    int ignored = 0;
    return generateHeaderFile(inputPath, headerPath, &ignored);
}

bool generateHeaderFile(const QString &inputPath, const QString &headerPath, int *systemError)
{
    *systemError = 0;
    QFile input(inputPath);
    errno = 0;
    if (!input.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        *systemError = errno;
        return false;
    }
    const qint64 inputSize = input.size();

    HeaderFileWriter header(headerPath, inputSize);
    if (!header.open()) {
        *systemError = header.systemError();
        return false;
    }
    std::vector<char> bytes(inputBlockSize);
    qint64 position = 0;
    while (position < inputSize) {
        const qint64 wanted = qMin<qint64>(inputBlockSize, inputSize - position);
        errno = 0;
        const qint64 got = input.read(bytes.data(), wanted);
        if (got <= 0) { // a read error, or the input shrank while being read
            *systemError = errno;
            header.cancel();
            return false;
        }
        if (!header.append(bytes.data(), got)) {
            *systemError = header.systemError();
            return false;
        }
        position += got;
    }
    // The array size is already written: a file that grew while being read cannot be stored.
    char extra;
    if (input.read(&extra, 1) != 0) {
        header.cancel();
        return false;
    }
    if (!header.commit()) {
        *systemError = header.systemError();
        return false;
    }
    return true;
}
