#include "flash_fit.h"

#include "display_header.h"

const QVector<Board> &boards()
{
    static const QVector<Board> all = {
        // 32 KB of flash, less Optiboot's 512-byte boot section (the Uno's boards.txt:
        // uno.upload.maximum_size=32256); 2 KB of RAM.
        {QStringLiteral("Arduino Uno (ATmega328P)"), 32256, maxProgmemArrayBytes,
         QStringLiteral("ATmega328P: 32 KB of flash less Optiboot's 512 bytes (Arduino's "
                        "boards.txt, uno.upload.maximum_size=32256); avr-gcc's 32,767 bytes an object"),
         2048},
        // 256 KB, less the 8 KB boot section of its stk500v2 bootloader (mega.upload.maximum_size);
        // an array over 32,767 bytes goes to far memory in pieces.
        {QStringLiteral("Arduino Mega 2560 (ATmega2560)"), 253952, maxProgmemArrayBytes,
         QStringLiteral("ATmega2560: 256 KB of flash less the 8 KB bootloader (Arduino's boards.txt, "
                        "mega.menu.cpu.atmega2560.upload.maximum_size=253952); avr-gcc's 32,767 bytes an "
                        "object, larger arrays laid in far pieces by the header"),
         8192},
        // The default partition table of Arduino-ESP32 and ESP-IDF on 4 MB of flash: app0 of
        // 0x140000 bytes (1.25 MB).
        {QStringLiteral("ESP32"), 1310720, 1310720,
         QStringLiteral("ESP32 on 4 MB of flash, the default partition table (default.csv): an app "
                        "partition of 0x140000 bytes, 1.25 MB")},
        // A Raspberry Pi Pico's W25Q16JV: 2 MB of flash, the program's whole.
        {QStringLiteral("Raspberry Pi Pico (RP2040)"), 2097152, 2097152,
         QStringLiteral("Raspberry Pi Pico: 2 MB of QSPI flash (W25Q16JV), the Pico datasheet")},
        // STM32F103C8 ("Blue Pill"): 64 KB of flash, written by ST-Link with no bootloader.
        {QStringLiteral("STM32F103C8 (Blue Pill)"), 65536, 65536,
         QStringLiteral("STM32F103C8: 64 KB of flash (ST's datasheet DS5319), no bootloader")},
    };
    return all;
}

FlashUse flashUse(const CHeader &header)
{
    FlashUse use;
    use.programMemory = header.progmem;
    for (const CArray &array : header.arrays) {
        const qint64 bytes = arrayBytes(array);
        use.totalBytes += bytes;
        if (!liesFar(header, array))
            use.largestObject = qMax(use.largestObject, bytes);
    }
    return use;
}

FlashUse bmpFlashUse(qint64 bmpFileBytes, bool progmem)
{
    return {bmpFileBytes, bmpFileBytes, progmem};
}

QVector<FlashFit> flashFits(const FlashUse &use)
{
    QVector<FlashFit> fits;
    for (const Board &board : boards()) {
        FlashFit fit {&board, true, QString()};
        if (use.totalBytes > board.flashBytes)
            fit.reason = FlashFitText::tr("%1 octets, plus que les %2 que la carte laisse au programme")
                             .arg(use.totalBytes)
                             .arg(board.flashBytes);
        else if (board.avrRamBytes && !use.programMemory && use.totalBytes > board.avrRamBytes)
            fit.reason
                = FlashFitText::tr("hors de la mémoire programme, les %1 octets sont copiés en RAM, qui "
                                   "n'en a que %2 (--progmem)")
                      .arg(use.totalBytes)
                      .arg(board.avrRamBytes);
        else if (use.largestObject > board.largestArray)
            fit.reason = FlashFitText::tr("un tableau de %1 octets, plus que les %2 d'un objet pour avr-gcc")
                             .arg(use.largestObject)
                             .arg(board.largestArray);
        fit.fits = fit.reason.isEmpty();
        fits << fit;
    }
    return fits;
}

QVector<FlashFit> flashFits(const CHeader &header)
{
    return flashFits(flashUse(header));
}
