#include "quillon_bmp.h"

/* One byte at `offset` in the array. */
#if QUILLON_BMP_FAR
#define READ_BYTE(data, offset) pgm_read_byte_far((data).flash + (offset))
#elif defined(QUILLON_AVR_PROGMEM)
#define READ_BYTE(data, offset) pgm_read_byte((data) + (offset))
#elif defined(QUILLON_READ_BYTE)
#define READ_BYTE(data, offset) QUILLON_READ_BYTE((data) + (offset))
#else
#define READ_BYTE(data, offset) ((data)[offset])
#endif

static uint32_t read16(quillon_bmp_address data, uint32_t offset)
{
    return (uint32_t)READ_BYTE(data, offset) | (uint32_t)READ_BYTE(data, offset + 1) << 8;
}

static uint32_t read32(quillon_bmp_address data, uint32_t offset)
{
    return read16(data, offset) | read16(data, offset + 2) << 16;
}

quillon_bmp_status quillon_bmp_open(quillon_bmp *bmp, quillon_bmp_address data, size_t size)
{
    uint32_t offset, width, height, rows_size;

    if (size < 54)
        return QUILLON_BMP_TOO_SHORT;
    if (READ_BYTE(data, 0) != 'B' || READ_BYTE(data, 1) != 'M')
        return QUILLON_BMP_NOT_BMP;
    offset = read32(data, 10);
    width = read32(data, 18);
    height = read32(data, 22);
    if (read32(data, 14) != 40 || read16(data, 26) != 1 || read16(data, 28) != 16 || read32(data, 30) != 0)
        return QUILLON_BMP_UNSUPPORTED;
    /* Width and height are positive and small enough for the row arithmetic below. */
    if (width == 0 || height == 0 || width > 0x7fff || height > 0x7fff)
        return QUILLON_BMP_UNSUPPORTED;

    bmp->data = data;
    bmp->width = (int32_t)width;
    bmp->height = (int32_t)height;
    bmp->row_size = (width * 2 + 3) / 4 * 4;
    rows_size = bmp->row_size * height;
    if (offset < 54 || offset > size || size - offset < rows_size)
        return QUILLON_BMP_TOO_SHORT;
    bmp->pixels = offset;
    return QUILLON_BMP_OK;
}

uint16_t quillon_bmp_pixel(const quillon_bmp *bmp, int32_t x, int32_t y)
{
    /* The file's first row is the picture's bottom row. */
    const uint32_t at = bmp->pixels + (uint32_t)(bmp->height - 1 - y) * bmp->row_size + (uint32_t)x * 2;
    return (uint16_t)read16(bmp->data, at);
}

void quillon_bmp_draw(const quillon_bmp *bmp, int32_t left, int32_t top,
                      void (*draw_pixel)(void *context, int32_t x, int32_t y, uint16_t rgb565), void *context)
{
    int32_t x, y;
    for (y = 0; y < bmp->height; ++y)
        for (x = 0; x < bmp->width; ++x)
            draw_pixel(context, left + x, top + y, quillon_bmp_pixel(bmp, x, y));
}
