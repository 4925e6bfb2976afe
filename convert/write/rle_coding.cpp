#include "rle_coding.h"

#include <QFile>

#include <cstring>

// The resources of a static library are registered by a call outside any namespace.
static void registerFirmwareResources()
{
    Q_INIT_RESOURCE(quillon_firmware);
}

namespace QuillonRle {

namespace {

// How many units from unit `at` repeat it, up to a packet's most.
int runLength(const char *data, qint64 units, qint64 at, int unit)
{
    const char *first = data + at * unit;
    int count = 1;
    while (count < maxCount && at + count < units
           && std::memcmp(first, data + (at + count) * unit, size_t(unit)) == 0)
        ++count;
    return count;
}

} // namespace

QByteArray compress(const QByteArray &bytes, int unit)
{
    Q_ASSERT(unit >= 1 && unit <= maxUnit);
    const qint64 units = (bytes.size() + unit - 1) / unit;
    QByteArray data = bytes;
    data.append(QByteArray(int(units * unit - bytes.size()), '\0'));
    const int shortestRun = unit == 1 ? 3 : 2;

    QByteArray coded;
    coded.reserve(bytes.size() + 1);
    coded.append(char(unit));
    // The literal being gathered: its first unit and its length, written once a run or the end
    // closes it, or once it is as long as a packet holds.
    qint64 literalStart = 0;
    int literalUnits = 0;
    const auto closeLiteral = [&] {
        if (literalUnits == 0)
            return;
        coded.append(char(literalUnits - 1));
        coded.append(data.constData() + literalStart * unit, literalUnits * unit);
        literalUnits = 0;
    };
    for (qint64 at = 0; at < units;) {
        const int run = runLength(data.constData(), units, at, unit);
        if (run >= shortestRun) {
            closeLiteral();
            coded.append(char(0x80 | (run - 1)));
            coded.append(data.constData() + at * unit, unit);
            at += run;
            continue;
        }
        if (literalUnits == 0)
            literalStart = at;
        ++literalUnits;
        ++at;
        if (literalUnits == maxCount)
            closeLiteral();
    }
    closeLiteral();

    if (coded.size() > bytes.size()) // no smaller: stored after its marker
        return char(stored) + bytes;
    return coded;
}

const QByteArray &readerText()
{
    static const QByteArray text = [] {
        registerFirmwareResources();
        QFile file(QStringLiteral(":/firmware/quillon_rle.h"));
        if (!file.open(QIODevice::ReadOnly))
            qFatal("the firmware's reader is not built into the program");
        return file.readAll();
    }();
    return text;
}

} // namespace QuillonRle
