/* A stand-in for the ESP8266 Arduino core's <pgmspace.h>, for the host: PROGMEM places an array in
   a section of its own, which the test finds between the linker's __start_ and __stop_ symbols,
   and pgm_read_byte counts its reads. */
#ifndef QUILLON_TEST_PGMSPACE_H
#define QUILLON_TEST_PGMSPACE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif
extern const char __start_esp8266_flash[], __stop_esp8266_flash[];
static unsigned pgm_reads;
static inline uint8_t pgm_read_byte_standin(const void *address)
{
    ++pgm_reads;
    return *(const uint8_t *)address;
}
#ifdef __cplusplus
}
#endif

#define PROGMEM __attribute__((section("esp8266_flash")))
#define pgm_read_byte(address) pgm_read_byte_standin(address)
#define IN_ESP8266_FLASH(array)                                                                              \
    ((const char *)(array) >= __start_esp8266_flash && (const char *)(array) < __stop_esp8266_flash)

#endif
