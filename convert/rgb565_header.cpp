#include "rgb565_header.h"

#include "atomic_file_writer.h"

#include <algorithm>
#include <vector>

namespace {

constexpr int valuesPerLine = 16;
constexpr int valueLength = 6; // "0x" and four lower-case hexadecimal digits

QByteArray prologue(const QImage &picture, const HeaderOptions &options)
{
    const QByteArray nl = headerNewline;
    const QByteArray &name = options.arrayName;
    QByteArray text = headerFirstLines() + "#include <stdint.h>" + nl;
    if (options.progmem)
        text += "#include <avr/pgmspace.h>" + nl;
    return text + nl + "#define " + name + "_width " + QByteArray::number(picture.width()) + nl + "#define "
        + name + "_height " + QByteArray::number(picture.height()) + nl + nl + "const uint16_t " + name + '['
        + QByteArray::number(qint64(picture.width()) * picture.height()) + ']'
        + (options.progmem ? " PROGMEM" : "") + " = " + nl + '{';
}

} // namespace

bool writeRgb565Header(const QImage &image, const QString &headerPath, const HeaderOptions &options,
                       int *systemError)
{
    *systemError = 0;
    const QImage picture
        = image.format() == QImage::Format_RGB16 ? image : image.convertToFormat(QImage::Format_RGB16);
    AtomicFileWriter file(headerPath);
    const auto failed = [&] {
        *systemError = file.systemError();
        return false;
    };
    if (!file.open() || !file.write(prologue(picture, options)))
        return failed();

    constexpr char digits[] = "0123456789abcdef";
    const qint64 lineBreak = qint64(sizeof(headerNewline)) - 1 + 1; // a newline and a tab
    std::vector<char> text(size_t(picture.width()) * (valueLength + 1 + size_t(lineBreak)) + 8);
    qint64 position = 0;
    for (int y = 0; y < picture.height(); ++y) {
        const auto *pixels = reinterpret_cast<const quint16 *>(picture.constScanLine(y));
        char *out = text.data();
        for (int x = 0; x < picture.width(); ++x, ++position) {
            const quint16 value = options.swapBytes ? quint16(pixels[x] << 8 | pixels[x] >> 8) : pixels[x];
            if (position > 0)
                *out++ = ',';
            if (position % valuesPerLine == 0) {
                out = std::copy(headerNewline, headerNewline + sizeof(headerNewline) - 1, out);
                *out++ = '\t';
            }
            const char literal[valueLength] = {'0',
                                               'x',
                                               digits[value >> 12],
                                               digits[value >> 8 & 0xf],
                                               digits[value >> 4 & 0xf],
                                               digits[value & 0xf]};
            out = std::copy(literal, literal + valueLength, out);
        }
        if (!file.write(text.data(), out - text.data()))
            return failed();
    }
    return (file.write(QByteArray(headerNewline) + "};") && file.commit()) || failed();
}
