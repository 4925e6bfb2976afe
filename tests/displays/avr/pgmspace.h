/* As the Arduino cores of chips without a program memory of their own give it: flash is read
   as any other memory. On AVR, avr-libc's own. */
#pragma once
#if defined(__AVR__)
#include_next <avr/pgmspace.h>
#else
#include <string.h>
#ifndef PROGMEM
#define PROGMEM
#endif
#ifndef memcpy_P
#define memcpy_P memcpy
#endif
#define pgm_read_byte(addr) (*(const uint8_t *)(addr))
#define pgm_read_word(addr) (*(const uint16_t *)(addr))
#define pgm_read_ptr(addr) (*(const void *const *)(addr))
#endif
