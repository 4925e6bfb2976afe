// Fuzz target: any bytes read as a palette file must give its colours or one line that says what
// is wrong, never both; colours read once, written again as a plain list, read back the same.

#include "palette_file.h"

#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what)
{
    qCritical("palette file: %s", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 16384)
        return 0;
    const QByteArray text(reinterpret_cast<const char *>(data), int(size));
    QVector<QRgb> colours {0x12345678};
    const QString problem = parsePalette(text, &colours);
    if (!problem.isEmpty()) {
        if (problem.contains(QLatin1Char('\n'))
            || (!problem.startsWith(QLatin1String("ligne ")) && problem != QLatin1String("aucune couleur")))
            fail("a problem that names no line, or takes more than one");
        return 0;
    }
    QByteArray plain = "# written again\r\n";
    for (QRgb colour : qAsConst(colours)) {
        if (qAlpha(colour) != 255)
            fail("a colour that is not opaque");
        plain += "  #" + QByteArray::number(colour & 0xffffff, 16).rightJustified(6, '0') + "\n";
    }
    QVector<QRgb> again;
    if (!parsePalette(plain, &again).isEmpty() || again != colours)
        fail("the colours written as a plain list read back otherwise");
    return 0;
}
