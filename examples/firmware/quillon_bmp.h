/*
 * Reads a picture converted by Quillon straight from its `logo` array: a 16-bit BMP file with
 * a 54-byte header, 5-6-5 pixels (red in bits 15-11, green 10-5, blue 4-0, low byte first) and
 * rows stored bottom-up, each padded to a multiple of 4 bytes.
 *
 * Plain C99, no allocation, no library beyond <stdint.h> and <stddef.h>: it builds for 8-bit
 * boards as well as for 32-bit ones. Where the array lives in a separate program memory (AVR
 * flash with PROGMEM), define QUILLON_READ_BYTE before including this file, for example as
 * pgm_read_byte.
 */
#ifndef QUILLON_BMP_H
#define QUILLON_BMP_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct
{
    const unsigned char *pixels; /* the first byte of the bottom row */
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

/* Checks the header of `size` bytes at `data` and fills `bmp`. */
quillon_bmp_status quillon_bmp_open(quillon_bmp *bmp, const unsigned char *data, size_t size);

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

#endif /* QUILLON_BMP_H */
