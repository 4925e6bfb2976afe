/* The stand-ins' screen size, and how they print it: on the host to standard output, on a
   simulated AVR over its serial port (tests/firmware/avr_board.c). */
#pragma once

#include <stdint.h>

#ifndef STANDIN_WIDTH
#define STANDIN_WIDTH 128
#define STANDIN_HEIGHT 64
#endif

#if defined(__AVR__)
#ifdef __cplusplus
extern "C" {
#endif
void board_start(void);
void board_putc(char c);
void board_stop(void);
#ifdef __cplusplus
}
#endif
#define standin_putc board_putc
#else
#include <stdio.h>
#define standin_putc(c) putchar(c)
#define board_start()
#define board_stop()
#endif

/* A value in hexadecimal, then a space or, at the end of a row, a newline. */
static inline void standin_print(uint32_t value, int x)
{
    int shift = 28;
    while (shift > 0 && !(value >> shift))
        shift -= 4;
    for (; shift >= 0; shift -= 4)
        standin_putc("0123456789abcdef"[value >> shift & 0xf]);
    standin_putc(x == STANDIN_WIDTH - 1 ? '\n' : ' ');
}
