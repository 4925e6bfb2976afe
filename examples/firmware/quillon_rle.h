/*
 * Reads an array that Quillon coded by run length (NAME_rle, of NAME_size bytes once read), a piece
 * at a time, so that a firmware decodes a row, a page or a band into a small buffer and pushes it:
 *
 *     quillon_rle_t r;
 *     uint8_t row[2 * logo_width];
 *     quillon_rle_init(&r, logo_rle);
 *     for (y = 0; y < logo_height; ++y) {
 *         quillon_rle_read(&r, row, sizeof row);    (the next sizeof row bytes of the array)
 *         ...
 *     }
 *
 * The coding: a first byte, the unit (1 to 3 bytes), or 0 for an array stored as it is after it.
 * Then packets, each a control byte c: below 0x80, c + 1 units follow, copied; from 0x80, one unit
 * follows, repeated c - 0x7f times. Never read past NAME_size bytes: the coding has no end mark.
 *
 * C99 and C++, header-only, no allocation, no recursion, nothing beyond <stdint.h>, <stddef.h>
 * and <string.h>. Where the array is read:
 * - on AVR, in program memory, where Quillon's headers place it: with pgm_read_byte and
 *   memcpy_P, and on chips with more than 64 KB of flash (ATmega1280, ATmega2560) from the
 *   array's 32-bit address with pgm_read_byte_far and memcpy_PF, wherever the array lies;
 *   quillon_rle_init_ram() reads a coded array that is in RAM instead;
 * - on every other chip and on the host, in plain memory (a const array stays in flash there).
 */
#ifndef QUILLON_RLE_H
#define QUILLON_RLE_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#if defined(__AVR__)
#include <avr/pgmspace.h>
#if FLASHEND > 0xFFFF
#define QUILLON_RLE_FAR 1
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct
{
#if defined(QUILLON_RLE_FAR)
    uint32_t at; /* the next coded byte: a 32-bit flash address, or a RAM address */
#else
    const uint8_t *at; /* the next coded byte */
#endif
    uint16_t left; /* bytes left in the packet being read */
    uint8_t unit; /* bytes a unit, 1 to 3; 0 for an array stored as it is */
    uint8_t run; /* nonzero: the packet repeats value */
    uint8_t phase; /* the byte of value that comes next */
    uint8_t value[3];
    uint8_t ram; /* nonzero: the array is in RAM (on AVR; everywhere else, memory is memory) */
} quillon_rle_t;

#if defined(QUILLON_RLE_FAR)
#define QUILLON_RLE_RAM_(r) ((const uint8_t *)(uintptr_t)(r)->at)
#else
#define QUILLON_RLE_RAM_(r) ((r)->at)
#endif

/* Copies the next `count` coded bytes. */
static inline void quillon_rle_copy_(quillon_rle_t *r, uint8_t *out, uint16_t count)
{
#if defined(QUILLON_RLE_FAR)
    if (!r->ram)
        memcpy_PF(out, r->at, count);
    else
#elif defined(__AVR__)
    if (!r->ram)
        memcpy_P(out, r->at, count);
    else
#endif
        memcpy(out, QUILLON_RLE_RAM_(r), count);
    r->at += count;
}

static inline uint8_t quillon_rle_byte_(quillon_rle_t *r)
{
#if defined(QUILLON_RLE_FAR)
    const uint8_t byte = r->ram ? *QUILLON_RLE_RAM_(r) : pgm_read_byte_far(r->at);
#elif defined(__AVR__)
    const uint8_t byte = r->ram ? *r->at : pgm_read_byte(r->at);
#else
    const uint8_t byte = *r->at;
#endif
    ++r->at;
    return byte;
}

#if defined(QUILLON_RLE_FAR)
static inline void quillon_rle_start_(quillon_rle_t *r, uint32_t at, uint8_t ram)
#else
static inline void quillon_rle_start_(quillon_rle_t *r, const uint8_t *at, uint8_t ram)
#endif
{
    r->at = at;
    r->ram = ram;
    r->left = 0;
    r->run = 0;
    r->phase = 0;
    r->unit = quillon_rle_byte_(r);
}

/* Starts reading the array Quillon wrote, NAME_rle, from its first byte. */
#if defined(QUILLON_RLE_FAR)
#define quillon_rle_init(r, array) quillon_rle_start_((r), pgm_get_far_address(array), 0)
#else
static inline void quillon_rle_init(quillon_rle_t *r, const uint8_t *array)
{
    quillon_rle_start_(r, array, 0);
}
#endif

/* Starts reading a coded array held in RAM (a copy, or one received): only AVR tells them apart. */
static inline void quillon_rle_init_ram(quillon_rle_t *r, const uint8_t *array)
{
#if defined(QUILLON_RLE_FAR)
    quillon_rle_start_(r, (uint32_t)(uintptr_t)array, 1);
#else
    quillon_rle_start_(r, array, 1);
#endif
}

/* Fills `buffer` with the next `n` bytes of the array, whatever packets they span. */
static inline void quillon_rle_read(quillon_rle_t *r, uint8_t *buffer, size_t n)
{
    while (n > 0) {
        uint16_t count, i;
        if (r->left == 0) {
            if (r->unit == 0) { /* stored: the rest is copied */
                r->left = 0x8000;
            } else {
                const uint8_t control = quillon_rle_byte_(r);
                r->run = control & 0x80;
                r->left = (uint16_t)(((control & 0x7f) + 1) * r->unit);
                for (i = 0; r->run && i < r->unit; ++i)
                    r->value[i] = quillon_rle_byte_(r);
                r->phase = 0;
            }
        }
        count = n < r->left ? (uint16_t)n : r->left;
        if (!r->run) {
            quillon_rle_copy_(r, buffer, count);
        } else if (r->unit == 1) {
            memset(buffer, r->value[0], count);
        } else {
            for (i = 0; i < count; ++i) {
                buffer[i] = r->value[r->phase];
                if (++r->phase == r->unit)
                    r->phase = 0;
            }
        }
        buffer += count;
        n -= count;
        r->left = (uint16_t)(r->left - count);
    }
}

#ifdef __cplusplus
}
#endif

#endif /* QUILLON_RLE_H */
