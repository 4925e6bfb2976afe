/* A stand-in of u8g2 in full-buffer mode on a display of STANDIN_WIDTH x STANDIN_HEIGHT: its
   declarations as u8g2.h and u8x8.h give them, and what they do to the buffer (tile rows of 8
   pixel rows, a byte a column, bit 0 at the top). standin_dump() prints the buffer's pixels, 0
   or 1. */
#pragma once

#include "screen.h"

#include <stdint.h>

#if defined(__AVR__)
#include <avr/pgmspace.h>
#define u8x8_pgm_read(adr) pgm_read_byte_near(adr)
typedef uint8_t u8g2_uint_t;
#else
#define u8x8_pgm_read(adr) (*(const uint8_t *)(adr))
typedef uint16_t u8g2_uint_t;
#endif
typedef struct
{
    uint8_t tile_width;
    uint8_t tile_height;
} u8x8_display_info_t;
typedef struct
{
    const u8x8_display_info_t *display_info;
} u8x8_t;
typedef struct
{
    u8x8_t u8x8;
    uint8_t *tile_buf_ptr;
    uint8_t tile_buf_height;
    uint8_t bitmap_transparency;
} u8g2_t;

#define u8g2_GetU8x8(u8g2) ((u8x8_t *)(u8g2))
#define u8g2_GetBufferPtr(u8g2) ((u8g2)->tile_buf_ptr)
#define u8g2_GetBufferTileHeight(u8g2) ((u8g2)->tile_buf_height)
#define u8g2_GetBufferTileWidth(u8g2) (u8g2_GetU8x8(u8g2)->display_info->tile_width)

static inline void standin_pixel(u8g2_t *u8g2, u8g2_uint_t x, u8g2_uint_t y, int on)
{
    uint8_t *byte = u8g2->tile_buf_ptr + (y / 8) * u8g2_GetBufferTileWidth(u8g2) * 8 + x;
    *byte = (uint8_t)(on ? *byte | 1 << (y % 8) : *byte & ~(1 << (y % 8)));
}

static inline void u8g2_SetBitmapMode(u8g2_t *u8g2, uint8_t is_transparent)
{
    u8g2->bitmap_transparency = is_transparent;
}

void u8g2_DrawBitmap(u8g2_t *u8g2, u8g2_uint_t x, u8g2_uint_t y, u8g2_uint_t cnt, u8g2_uint_t h,
                     const uint8_t *bitmap);
/* Draws its 0 bits unlit unless the bitmap mode is transparent; reads the bitmap from memory
   (u8g2_DrawXBM) or from flash on AVR (u8g2_DrawXBMP). */
static inline void standin_xbm(u8g2_t *u8g2, u8g2_uint_t x, u8g2_uint_t y, u8g2_uint_t w, u8g2_uint_t h,
                               const uint8_t *bitmap, int flash)
{
    for (u8g2_uint_t j = 0; j < h; j++)
        for (u8g2_uint_t i = 0; i < w; i++) {
            const uint8_t *byte = bitmap + j * ((w + 7) / 8) + i / 8;
            const int on = (flash ? u8x8_pgm_read(byte) : *byte) >> (i % 8) & 1;
            if (on || !u8g2->bitmap_transparency)
                standin_pixel(u8g2, (u8g2_uint_t)(x + i), (u8g2_uint_t)(y + j), on);
        }
}

static inline void u8g2_DrawXBM(u8g2_t *u8g2, u8g2_uint_t x, u8g2_uint_t y, u8g2_uint_t w, u8g2_uint_t h,
                                const uint8_t *bitmap)
{
    standin_xbm(u8g2, x, y, w, h, bitmap, 0);
}

static inline void u8g2_DrawXBMP(u8g2_t *u8g2, u8g2_uint_t x, u8g2_uint_t y, u8g2_uint_t w, u8g2_uint_t h,
                                 const uint8_t *bitmap)
{
    standin_xbm(u8g2, x, y, w, h, bitmap, 1);
}

static inline void standin_setup(u8g2_t *u8g2)
{
    static const u8x8_display_info_t info = {STANDIN_WIDTH / 8, STANDIN_HEIGHT / 8};
    static uint8_t buffer[STANDIN_WIDTH * STANDIN_HEIGHT / 8];
    u8g2->u8x8.display_info = &info;
    u8g2->bitmap_transparency = 0;
    u8g2->tile_buf_ptr = buffer;
    u8g2->tile_buf_height = STANDIN_HEIGHT / 8;
}

static inline void standin_dump(u8g2_t *u8g2)
{
    const int width = STANDIN_WIDTH;
    board_start();
    for (int i = 0; i < width * STANDIN_HEIGHT; ++i)
        standin_print(u8g2->tile_buf_ptr[i % width + i / width / 8 * width] >> (i / width % 8) & 1,
                      i % width);
    board_stop();
}
