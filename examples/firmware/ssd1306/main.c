/* Shows the logo on a 128 x 64 SSD1306 OLED wired to the Uno's I2C pins (A4 SDA, A5 SCL), at
   address 0x3C. The array holds the display's own layout, pages of 8 rows, so it goes to the
   display's memory as it is, byte for byte. */
#include "logo.h"

#include <avr/io.h>
#include <avr/pgmspace.h>
#include <stdint.h>

#define SSD1306_ADDRESS 0x3C

static void twi_wait(void)
{
    while (!(TWCR & (1 << TWINT)))
        ;
}

static void twi_start(uint8_t address)
{
    TWCR = (1 << TWINT) | (1 << TWSTA) | (1 << TWEN);
    twi_wait();
    TWDR = (uint8_t)(address << 1);
    TWCR = (1 << TWINT) | (1 << TWEN);
    twi_wait();
}

static void twi_write(uint8_t byte)
{
    TWDR = byte;
    TWCR = (1 << TWINT) | (1 << TWEN);
    twi_wait();
}

static void twi_stop(void)
{
    TWCR = (1 << TWINT) | (1 << TWSTO) | (1 << TWEN);
}

static void commands(const uint8_t *list, uint8_t count)
{
    twi_start(SSD1306_ADDRESS);
    twi_write(0x00); /* what follows are commands */
    for (uint8_t i = 0; i < count; ++i)
        twi_write(list[i]);
    twi_stop();
}

int main(void)
{
    TWSR = 0;
    TWBR = (F_CPU / 400000UL - 16) / 2; /* 400 kHz */

    static const uint8_t setup[] = {
        0xAE, /* display off */
        0xD5, 0x80, /* clock */
        0xA8, 0x3F, /* 64 rows */
        0xD3, 0x00, /* no offset */
        0x40, /* start at row 0 */
        0x8D, 0x14, /* charge pump on */
        0x20, 0x00, /* horizontal addressing: column after column, then the next page */
        0xA1, 0xC8, /* column 0 at the left, row 0 at the top */
        0xDA, 0x12, /* COM pins */
        0x81, 0xCF, /* contrast */
        0xD9, 0xF1, /* pre-charge */
        0xDB, 0x40, /* VCOMH */
        0xA4, 0xA6, /* show the memory, not inverted */
        0xAF, /* display on */
    };
    commands(setup, sizeof setup);

    /* The logo's columns and pages, centred. */
    const uint8_t left = (uint8_t)((128 - logo_width) / 2);
    const uint8_t pages = (uint8_t)((logo_height + 7) / 8);
    const uint8_t top = (uint8_t)((8 - pages) / 2);
    const uint8_t window[] = {0x21, left, (uint8_t)(left + logo_width - 1), 0x22, top, (uint8_t)(top + pages - 1)};
    commands(window, sizeof window);

    twi_start(SSD1306_ADDRESS);
    twi_write(0x40); /* what follows is display memory */
    for (uint16_t i = 0; i < sizeof logo; ++i)
        twi_write(pgm_read_byte(&logo[i]));
    twi_stop();

    for (;;)
        ;
}
