/*
 * Runs on a simulated ATmega328P: prints the size of the picture of a default `mono` header and
 * every byte of its array as Adafruit GFX's drawBitmap() reads them, through pgm_read_byte(),
 * 16 bytes to a line. The bytes are the array's only when it is in program memory.
 *
 * The board's file gives board_start(), board_putc() and board_stop().
 */
#include <avr/pgmspace.h>
#include <stddef.h>
#include <stdint.h>

#include "logo.h"

void board_start(void);
void board_putc(char c);
void board_stop(void);

static void print(const char *text)
{
    while (*text)
        board_putc(*text++);
}

static void print_number(unsigned value)
{
    char digits[6];
    int count = 0;
    do {
        digits[count++] = (char)('0' + value % 10);
        value /= 10;
    } while (value);
    while (count)
        board_putc(digits[--count]);
}

int main(void)
{
    size_t i;
    board_start();
    print("logo ");
    print_number(logo_width);
    print("x");
    print_number(logo_height);
    print("\n");
    for (i = 0; i < sizeof logo; ++i) {
        const uint8_t byte = pgm_read_byte(&logo[i]);
        board_putc("0123456789abcdef"[byte >> 4]);
        board_putc("0123456789abcdef"[byte & 0xf]);
        if (i % 16 == 15 || i + 1 == sizeof logo)
            print("\n");
    }
    print("end\n");
    board_stop();
    return 0;
}
