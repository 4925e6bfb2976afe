// Fuzz target: any bytes through the header generator must come back, parsed out of the text,
// as the very same bytes, in the exact layout of the format.

#include "header_generator.h"
#include "product.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <cstring>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1; // upper case is not allowed either
}

[[noreturn]] void fail(const char *what)
{
    qCritical("header generator: %s", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    const QString input = dir.filePath("input.bin");
    const QString header = dir.filePath("input.h");
    {
        QFile file(input);
        if (!file.open(QIODevice::WriteOnly)
            || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
            fail("cannot write the input");
    }
    if (!generateHeaderFile(input, header))
        fail("returned false for a readable input");
    const QByteArray text = readAll(header);

    const QByteArray head = QByteArray("// Fichier g\xC3\xA9n\xC3\xA9r\xC3\xA9 avec Quillon ")
        + Quillon::webAddress + "\n\nconst unsigned char logo[" + QByteArray::number(qulonglong(size))
        + "] = \n{";
    if (!text.startsWith(head))
        fail("the first lines are wrong");
    if (!text.endsWith("\n};"))
        fail("the text does not end with a newline and \"};\"");

    // The values: "\n\t" before every 16th, "," between all, "0x" and two lower-case digits.
    const char *at = text.constData() + head.size();
    const char *end = text.constData() + text.size() - 3;
    for (size_t k = 0; k < size; ++k) {
        if (k > 0 && *at++ != ',')
            fail("a comma is missing");
        if (k % 16 == 0 && (*at++ != '\n' || *at++ != '\t'))
            fail("a line does not start with a newline and a tab");
        if (end - at < 4 || at[0] != '0' || at[1] != 'x')
            fail("a value does not start with 0x");
        const int high = hexDigit(at[2]);
        const int low = hexDigit(at[3]);
        if (high < 0 || low < 0 || uint8_t(high * 16 + low) != data[k])
            fail("a value differs from its byte");
        at += 4;
    }
    if (at != end)
        fail("text after the last value");
    return 0;
}
