/*
 * Runs on a simulated or emulated chip: opens two pictures through the firmware reader and
 * prints, for each, its name, its size and a checksum of every pixel, top-left first, which the
 * test computes on the host from the source pictures. On AVR it also prints the timer ticks that
 * reading every pixel of the first picture took.
 *
 * The board's file gives board_start(), board_putc(), board_ticks() and board_stop().
 */
#include "quillon_bmp.h"

#include "first.h"
#include "second.h"

void board_start(void);
void board_putc(char c);
uint32_t board_ticks(void);
void board_stop(void);

#ifdef PAST_64K
/* Flash filled ahead of the pictures, so that they lie above the first 64 KB. */
#define FILLER(name) const unsigned char name[32000] PROGMEM = {1}
FILLER(filler1);
FILLER(filler2);
FILLER(filler3);
#endif

static void print(const char *text)
{
    while (*text)
        board_putc(*text++);
}

static void print_number(uint32_t value, unsigned base)
{
    char digits[11];
    int count = 0;
    do {
        digits[count++] = "0123456789abcdef"[value % base];
        value /= base;
    } while (value);
    while (count)
        board_putc(digits[--count]);
}

static void report(const char *name, quillon_bmp_address data, size_t size, uint32_t far_address)
{
    quillon_bmp bmp;
    uint32_t checksum = 0;
    int32_t x, y;
    const quillon_bmp_status status = quillon_bmp_open(&bmp, data, size);

    print(name);
    if (status != QUILLON_BMP_OK) {
        print(" status ");
        print_number((uint32_t)-status, 10);
        print("\n");
        return;
    }
    for (y = 0; y < bmp.height; ++y)
        for (x = 0; x < bmp.width; ++x)
            checksum = checksum * 31u + quillon_bmp_pixel(&bmp, x, y);
    print(" ");
    print_number((uint32_t)bmp.width, 10);
    print("x");
    print_number((uint32_t)bmp.height, 10);
    print(" ");
    print_number(checksum, 16);
    if (far_address > 0xffffu)
        print(" above 64 KB");
    print("\n");
}

#ifdef __AVR__
/* The time taken to read every pixel of a picture, in timer ticks. */
static void time_reads(quillon_bmp_address data, size_t size)
{
    quillon_bmp bmp;
    volatile uint16_t sink = 0;
    uint32_t start, ticks;
    int32_t x, y;
    if (quillon_bmp_open(&bmp, data, size) != QUILLON_BMP_OK)
        return;
    start = board_ticks();
    for (y = 0; y < bmp.height; ++y)
        for (x = 0; x < bmp.width; ++x)
            sink ^= quillon_bmp_pixel(&bmp, x, y);
    ticks = board_ticks() - start;
    print("ticks ");
    print_number(ticks, 10);
    print(" pixels ");
    print_number((uint32_t)bmp.width * (uint32_t)bmp.height, 10);
    print("\n");
}
#endif

int main(void)
{
    board_start();
#if QUILLON_BMP_FAR
    report("first", QUILLON_BMP_ADDRESS(first), sizeof first, pgm_get_far_address(first));
    report("second", QUILLON_BMP_ADDRESS(second), sizeof second, pgm_get_far_address(second));
#else
    report("first", QUILLON_BMP_ADDRESS(first), sizeof first, 0);
    report("second", QUILLON_BMP_ADDRESS(second), sizeof second, 0);
#endif
#ifdef __AVR__
    time_reads(QUILLON_BMP_ADDRESS(first), sizeof first);
#endif
    print("end\n");
    board_stop();
    return 0;
}
