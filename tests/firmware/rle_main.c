/*
 * Runs on a chip, simulated or emulated, or on the host: reads a coded array from RAM, then each
 * coded array of rle_arrays.h from flash through quillon_rle.h, and prints for each
 * "NAME: bytes B checksum C ticks T", the checksum over every byte read (c = c * 31 + byte), the
 * Timer1 ticks (CPU cycles / 256) that quillon_rle_read() took on AVR, and " above 64 KB" when the
 * array lies there; then "NAME: bytes B checksum C" for each array of BYTE_ARRAYS, read through
 * QUILLON_READ_BYTE. rle_arrays.h, written by the test or the benchmark, defines the arrays and
 * ARRAYS, a list of X(array, size, piece, name): how many bytes to read, and how many at a time
 * (0: 1, 7, 64, 129 and 200 in turn, across the packets' bounds). The board's file gives
 * board_start(), board_putc(), board_ticks() and board_stop().
 */
#include "quillon_rle.h"
#include "rle_arrays.h"

void board_start(void);
void board_putc(char c);
uint32_t board_ticks(void);
void board_stop(void);

static uint8_t buffer[640];

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

/* Whether the array lies above the first 64 KB of flash, where only a 32-bit address reaches. */
#if defined(QUILLON_RLE_FAR)
#define ABOVE_64K(array) (pgm_get_far_address(array) > 0xffffu)
#else
#define ABOVE_64K(array) 0
#endif

static void read_all(const char *name, quillon_rle_t *r, uint32_t size, uint16_t piece, int above_64k)
{
    static const uint16_t uneven[] = {1, 7, 64, 129, 200};
    uint32_t done = 0, checksum = 0, ticks = 0, start;
    uint16_t i, turn = 0;
    while (done < size) {
        uint16_t count = piece ? piece : uneven[turn++ % 5];
        if (count > size - done)
            count = (uint16_t)(size - done);
        start = board_ticks();
        quillon_rle_read(r, buffer, count);
        ticks += board_ticks() - start;
        for (i = 0; i < count; ++i)
            checksum = checksum * 31u + buffer[i];
        done += count;
    }
    print(name);
    print(": bytes ");
    print_number(size, 10);
    print(" checksum ");
    print_number(checksum, 16);
    print(" ticks ");
    print_number(ticks, 10);
    if (above_64k)
        print(" above 64 KB");
    print("\n");
}

/* An array read byte by byte through QUILLON_READ_BYTE, which its header defines, wherever it lies
   (BYTE_ARRAYS, a list of Y(array, size, name), when rle_arrays.h gives one). */
#define READ_BYTES(array, size, name)                                                                      \
    {                                                                                                      \
        uint32_t i, checksum = 0;                                                                          \
        for (i = 0; i < (size); ++i)                                                                       \
            checksum = checksum * 31u + QUILLON_READ_BYTE(array, i);                                       \
        print(name);                                                                                       \
        print(": bytes ");                                                                                 \
        print_number((size), 10);                                                                          \
        print(" checksum ");                                                                               \
        print_number(checksum, 16);                                                                        \
        print(ABOVE_64K(array) ? " above 64 KB\n" : "\n");                                                 \
    }

/* A coded array in RAM, not in flash (on AVR, a const array without PROGMEM): "aaabc". */
static const uint8_t in_ram[] = {1, 0x82, 'a', 0x01, 'b', 'c'};

int main(void)
{
    quillon_rle_t r;
    board_start();
    quillon_rle_init_ram(&r, in_ram);
    quillon_rle_read(&r, buffer, 5);
    buffer[5] = 0;
    print("in RAM: ");
    print((const char *)buffer);
    print("\n");
#define X(array, size, piece, name)                                                                        \
    quillon_rle_init(&r, array);                                                                           \
    read_all(name, &r, size, piece, ABOVE_64K(array));
    ARRAYS
#undef X
#ifdef BYTE_ARRAYS
#define Y(array, size, name) READ_BYTES(array, size, name)
    BYTE_ARRAYS
#undef Y
#endif
    print("end\n");
    board_stop();
    return 0;
}
