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
 *   quillon_rle_init_ram() reads a coded array that is in RAM instead; an array over 32,767 bytes
 *   lies there in pieces one after the other, read from the first's far address all the same;
 * - on ESP8266, in flash, where Quillon's headers place it too: with pgm_read_byte and memcpy_P;
 * - on every other chip and on the host, in plain memory (a const array stays in flash there).
 */
/* A guard no header of quillon-convert's can have: theirs end in _H (RLE.png gives QUILLON_RLE_H). */
#ifndef QUILLON_RLE_READER_INCLUDED
#define QUILLON_RLE_READER_INCLUDED

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#if defined(__AVR__)
#include <avr/pgmspace.h>
#if FLASHEND > 0xFFFF
#define QUILLON_RLE_FAR 1
#endif
#elif defined(ARDUINO_ARCH_ESP8266)
#include <pgmspace.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Where the next coded byte lies: a 32-bit flash address (or a RAM address) where plain pointers
   reach only the first 64 KB of flash, a pointer elsewhere. */
#if defined(QUILLON_RLE_FAR)
typedef uint32_t quillon_rle_address_;
#else
typedef const uint8_t *quillon_rle_address_;
#endif

typedef struct
{
    quillon_rle_address_ at; /* the next coded byte */
    uint16_t left; /* bytes left in the packet being read */
    uint8_t unit; /* bytes a unit, 1 to 3; 0 for an array stored as it is */
    uint8_t run; /* nonzero: the packet repeats value */
    uint8_t phase; /* the byte of value that comes next */
    uint8_t value[3];
    uint8_t ram; /* nonzero: the array is in RAM (on AVR; everywhere else, memory is memory) */
} quillon_rle_t;

/* The coded byte at `at`, and `n` coded bytes from `at` copied to `out`, where the array lies. */
#if defined(QUILLON_RLE_FAR)
#define QUILLON_RLE_BYTE_(r, at) ((r)->ram ? *(const uint8_t *)(uintptr_t)(at) : pgm_read_byte_far(at))
#define QUILLON_RLE_COPY_(r, out, at, n)                                                                     \
    ((r)->ram ? memcpy((out), (const void *)(uintptr_t)(at), (n)) : memcpy_PF((out), (at), (n)))
#elif defined(__AVR__) || defined(ARDUINO_ARCH_ESP8266)
#define QUILLON_RLE_BYTE_(r, at) ((r)->ram ? *(at) : pgm_read_byte(at))
#define QUILLON_RLE_COPY_(r, out, at, n) ((r)->ram ? memcpy((out), (at), (n)) : memcpy_P((out), (at), (n)))
#else
#define QUILLON_RLE_BYTE_(r, at) (*(at))
#define QUILLON_RLE_COPY_(r, out, at, n) memcpy((out), (at), (n))
#endif

static inline void quillon_rle_start_(quillon_rle_t *r, quillon_rle_address_ at, uint8_t ram)
{
    r->ram = ram;
    r->unit = QUILLON_RLE_BYTE_(r, at);
    r->at = at + 1;
    r->left = 0;
    r->run = 0;
    r->phase = 0;
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

/* The same from a pointer to the array, such as one read from a table of frames with pgm_read_ptr():
   on chips with more than 64 KB of flash, such a pointer reaches only the first 64 KB, where the
   array must then lie (quillon_rle_init(), given the array itself, reaches it anywhere). */
static inline void quillon_rle_init_near(quillon_rle_t *r, const uint8_t *array)
{
    quillon_rle_start_(r, (quillon_rle_address_)(uintptr_t)array, 0);
}

/* Starts reading a coded array held in RAM (a copy, or one received): only AVR and ESP8266 tell them apart.
 */
static inline void quillon_rle_init_ram(quillon_rle_t *r, const uint8_t *array)
{
    quillon_rle_start_(r, (quillon_rle_address_)(uintptr_t)array, 1);
}

/* Fills `buffer` with the next `n` bytes of the array, whatever packets they span. */
static inline void quillon_rle_read(quillon_rle_t *r, uint8_t *buffer, size_t n)
{
    quillon_rle_address_ at = r->at;
    while (n > 0) {
        uint16_t count, i;
        if (r->left == 0) {
            if (r->unit == 0) { /* stored: the rest is copied */
                r->left = 0x8000;
            } else {
                const uint8_t control = QUILLON_RLE_BYTE_(r, at);
                ++at;
                r->run = control & 0x80;
                r->left = (uint16_t)(((control & 0x7f) + 1) * r->unit);
                for (i = 0; r->run && i < r->unit; ++i, ++at)
                    r->value[i] = QUILLON_RLE_BYTE_(r, at);
                r->phase = 0;
            }
        }
        count = n < r->left ? (uint16_t)n : r->left;
        if (!r->run) {
            QUILLON_RLE_COPY_(r, buffer, at, count);
            at += count;
        } else if (r->unit == 1) {
            memset(buffer, r->value[0], count);
        } else if (r->unit == 2) { /* 5-6-5 values: two bytes a turn, the fastest on AVR */
            const uint8_t first = r->value[r->phase], second = r->value[r->phase ^ 1];
            uint8_t *out = buffer;
            for (i = count >> 1; i > 0; --i) {
                *out++ = first;
                *out++ = second;
            }
            if (count & 1) {
                *out = first;
                r->phase ^= 1;
            }
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
    r->at = at;
}

#ifdef __cplusplus
}
#endif

#endif /* QUILLON_RLE_READER_INCLUDED */
