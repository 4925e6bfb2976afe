/*
 * Reads a picture converted by Quillon straight from its array: a 16-bit BMP file with a 54-byte
 * header, 5-6-5 pixels (red in bits 15-11, green 10-5, blue 4-0, low byte first) and rows stored
 * bottom-up, each padded to a multiple of 4 bytes.
 *
 * Plain C99, no allocation, no library beyond <stdint.h> and <stddef.h>: it builds for 8-bit
 * boards as well as for 32-bit ones. Hand the array over as QUILLON_BMP_ADDRESS(array), with
 * sizeof array as its size.
 *
 * Where the array lives:
 * - RAM, or flash that the processor reads like RAM (STM32 and other ARM chips, where a const
 *   array stays in flash): nothing to define.
 * - AVR program memory (a header written with quillon-convert --progmem): define
 *   QUILLON_AVR_PROGMEM when compiling quillon_bmp.c and the code that includes this file. The
 *   reader then reads with pgm_read_byte, or, on chips with more than 64 KB of flash (ATmega1280,
 *   ATmega2560...), with pgm_read_byte_far from the array's 32-bit address, so that an array
 *   placed above the first 64 KB reads right.
 * - Anywhere else (an external memory): define QUILLON_READ_BYTE(address) to read one byte.
 */
/* A guard no header of quillon-convert's can have: theirs end in _H (BMP.png gives QUILLON_BMP_H). */
#ifndef QUILLON_BMP_READER_INCLUDED
#define QUILLON_BMP_READER_INCLUDED

#include <stddef.h>
#include <stdint.h>

#if defined(QUILLON_AVR_PROGMEM)
#if !defined(__AVR__)
#error "QUILLON_AVR_PROGMEM is for AVR chips; on others a const array needs no switch"
#endif
#include <avr/pgmspace.h>
#if FLASHEND > 0xFFFF
#define QUILLON_BMP_FAR 1
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

#if QUILLON_BMP_FAR
/* A 32-bit flash address: a plain pointer reaches only the first 64 KB. Wrapped in a struct so
   that handing over a plain pointer does not compile. */
typedef struct
{
    uint32_t flash;
} quillon_bmp_address;
static inline quillon_bmp_address quillon_bmp_far(uint32_t flash)
{
    quillon_bmp_address address;
    address.flash = flash;
    return address;
}
#define QUILLON_BMP_ADDRESS(array) quillon_bmp_far(pgm_get_far_address(array))
#else
typedef const unsigned char *quillon_bmp_address;
#define QUILLON_BMP_ADDRESS(array) (array)
#endif

typedef struct
{
    quillon_bmp_address data; /* the whole array */
    uint32_t pixels; /* offset of the first byte of the bottom row */
    int32_t width;
    int32_t height;
    uint32_t row_size; /* bytes from one row to the next, padding included */
} quillon_bmp;

typedef enum {
    QUILLON_BMP_OK = 0,
    QUILLON_BMP_TOO_SHORT = -1, /* fewer bytes than the header or the rows need */
    QUILLON_BMP_NOT_BMP = -2, /* no "BM" signature */
    QUILLON_BMP_UNSUPPORTED = -3 /* not an uncompressed 16-bit picture with a 40-byte header */
} quillon_bmp_status;

/* Checks the header of the `size` bytes at `data` and fills `bmp`. */
quillon_bmp_status quillon_bmp_open(quillon_bmp *bmp, quillon_bmp_address data, size_t size);

/* The 5-6-5 value of the pixel at (x, y), with (0, 0) the top-left corner. The caller keeps x
   and y inside the picture. */
uint16_t quillon_bmp_pixel(const quillon_bmp *bmp, int32_t x, int32_t y);

/* Calls draw_pixel for every pixel, row by row from the top, with the picture placed at
   (left, top) on the display. */
void quillon_bmp_draw(const quillon_bmp *bmp, int32_t left, int32_t top,
                      void (*draw_pixel)(void *context, int32_t x, int32_t y, uint16_t rgb565),
                      void *context);

#ifdef __cplusplus
}
#endif

#endif /* QUILLON_BMP_READER_INCLUDED */
