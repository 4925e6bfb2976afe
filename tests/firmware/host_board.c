/* The host's side of the chip test: the program's output on standard output, and no timer. */
#include <stdint.h>
#include <stdio.h>

void board_start(void);
void board_putc(char c);
uint32_t board_ticks(void);
void board_stop(void);

void board_start(void) { }
void board_putc(char c) { putchar(c); }
uint32_t board_ticks(void) { return 0; }
void board_stop(void) { fflush(stdout); }
