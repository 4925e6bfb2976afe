#pragma once

#include <QCoreApplication>
#include <QString>
#include <QVector>

struct CHeader;

// Whether a picture's arrays fit the flash of common boards, for the studio's line under the header.
// What fits is what the board leaves for the program (its bootloader or partition taken off), the
// program's own code not counted, which needs room too; on AVR, an array outside program memory is
// copied into RAM at start, and one object takes 32,767 bytes at most unless the header lays it in
// far pieces.
struct Board
{
    QString name; // "Arduino Uno (ATmega328P)"
    qint64 flashBytes; // for the program
    qint64 largestArray; // one object, e.g. avr-gcc's 32,767 on an AVR unless laid in far pieces
    QString source; // where the figure comes from
    // AVR: the RAM into which arrays outside program memory are copied; 0 where const arrays stay in
    // flash.
    qint64 avrRamBytes = 0;
};

// Uno (ATmega328P), Mega 2560, ESP32, RP2040, STM32F103 (C8), in this order.
const QVector<Board> &boards();

// What the arrays take: all of them, the largest that is one object on AVR (not laid in far
// pieces), and whether they go to AVR program memory.
struct FlashUse
{
    qint64 totalBytes = 0;
    qint64 largestObject = 0;
    bool programMemory = true;
};
// A display format's header: its arrays as the firmware holds them (coded ones as coded), the
// tables of an animation among them.
FlashUse flashUse(const CHeader &header);
// The window's header of a BMP file's bytes, one array, in program memory with --progmem only.
FlashUse bmpFlashUse(qint64 bmpFileBytes, bool progmem);

struct FlashFit
{
    const Board *board;
    bool fits;
    QString reason; // translated (context "FlashFit"), empty when it fits
};
QVector<FlashFit> flashFits(const FlashUse &use);
QVector<FlashFit> flashFits(const CHeader &header);

class FlashFitText
{
    Q_DECLARE_TR_FUNCTIONS(FlashFit)
};
