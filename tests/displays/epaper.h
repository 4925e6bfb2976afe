// Stand-ins of the e-paper libraries that the headers' comments name, their declarations as these
// give them: GxEPD2's display classes (GxEPD2_3C.h, GxEPD2_4C.h, GxEPD2_7C.h, the last over an
// ACeP panel's driver or over GxEPD2_730c_GDEP073E01, a Spectra 6 panel's), Waveshare's C library
// (EPD_2in13b_V4.h, EPD_2in13bc.h, EPD_4in2.h, EPD_5in65f.h, EPD_7in3f.h, EPD_7in3g.h, EPD_7in3e.h,
// the last two with their Display_part of the STM32 and Arduino R4 versions) and Waveshare's Arduino
// classes (epd2in13b_V4.h, epd2in13b.h, epd4in2.h, epd5in65f.h, epd7in3f.h, epd7in3g.h, each a
// class Epd). Each draws on a screen of STANDIN_WIDTH x STANDIN_HEIGHT letters what the panel
// shows: W white, K black, C the colour plane's ink, the codes of the ACeP, four-ink and Spectra 6
// panels and the grey levels as digits. In each plane a bit 0 puts that ink (GxEPD2's drivers with
// invert false; Waveshare's, whose set-up reads the red memory inverted); Waveshare's four greys
// are 3 white, 2 and 1 the light and dark greys, 0 black. They read memory as the libraries do:
// GxEPD2 program memory when its pgm flag says so (pgm_read_byte, a plain read off AVR),
// Waveshare's C library plain memory, its Arduino classes program memory. epaper_dump() prints
// the screen, a row a line ('.' where nothing was drawn), then "unrefreshed" when GxEPD2 was given
// pixels it was not told to show, then "pgm" and the last pgm flag GxEPD2 was given (-1: none).
#pragma once

#include "screen.h"

#include <avr/pgmspace.h> // as Arduino.h includes it
#include <stdint.h>

typedef uint8_t UBYTE;
typedef uint16_t UWORD;

namespace epaper {
const int width = STANDIN_WIDTH, height = STANDIN_HEIGHT;
inline char *screen()
{
    static char letters[width * height];
    return letters;
}
inline int &pgmUsed()
{
    static int used = -1;
    return used;
}
inline bool &unrefreshed()
{
    static bool written = false;
    return written;
}
inline void put(int x, int y, char c)
{
    if (x >= 0 && y >= 0 && x < width && y < height)
        screen()[y * width + x] = c;
}
inline uint8_t read(const uint8_t *at, bool pgm)
{
    return pgm ? pgm_read_byte(at) : *at;
}
// Two planes of rows of (w + 7) / 8 bytes, at x, y.
inline void planes(const uint8_t *black, const uint8_t *color, int x, int y, int w, int h, bool pgm)
{
    const int wb = (w + 7) / 8;
    for (int i = 0; i < h; ++i)
        for (int j = 0; j < w; ++j) {
            const int at = i * wb + j / 8, mask = 0x80 >> (j % 8);
            put(x + j, y + i,
                !(read(black + at, pgm) & mask)       ? 'K'
                    : !(read(color + at, pgm) & mask) ? 'C'
                                                      : 'W');
        }
}
// Codes of four bits, two a byte, the left one in the high nibble, rows of (w + 1) / 2 bytes; each
// turned into another when `native` is given (the code of code c at native[c]).
inline void codes(const uint8_t *data, int x, int y, int w, int h, bool pgm, const uint8_t *native = 0)
{
    const int wb = (w + 1) / 2;
    for (int i = 0; i < h; ++i)
        for (int j = 0; j < w; ++j) {
            const uint8_t d = read(data + i * wb + j / 2, pgm), code = j % 2 ? d & 0xf : d >> 4;
            put(x + j, y + i, char('0' + (native ? native[code & 7] : code)));
        }
}
// Four greys, or the four inks' codes, four pixels a byte, rows of (w + 3) / 4 bytes.
inline void greys(const uint8_t *data, int x, int y, int w, int h, bool pgm)
{
    const int wb = (w + 3) / 4;
    for (int i = 0; i < h; ++i)
        for (int j = 0; j < w; ++j)
            put(x + j, y + i, char('0' + (read(data + i * wb + j / 4, pgm) >> (6 - 2 * (j % 4)) & 3)));
}
} // namespace epaper

inline void epaper_dump()
{
    board_start();
    for (int i = 0; i < epaper::width * epaper::height; ++i) {
        standin_putc(epaper::screen()[i] ? epaper::screen()[i] : '.');
        if (i % epaper::width == epaper::width - 1)
            standin_putc('\n');
    }
    const int pgm = epaper::pgmUsed();
    for (const char *c = epaper::unrefreshed() ? "unrefreshed\n" : ""; *c; ++c)
        standin_putc(*c);
    standin_putc('p'), standin_putc('g'), standin_putc('m'), standin_putc(' ');
    if (pgm < 0)
        standin_putc('-');
    standin_putc(char('0' + (pgm < 0 ? 1 : pgm)));
    standin_putc('\n');
    board_stop();
}

// GxEPD2_3C and GxEPD2_7C: the image goes to the panel's own memory, at x rounded down to a whole
// byte of pixels (GxEPD2_3C) or of two pixels (GxEPD2_7C).
class GxEPD2_StandIn
{
public:
    void drawImage(const uint8_t *black, const uint8_t *color, int16_t x, int16_t y, int16_t w, int16_t h,
                   bool invert, bool mirror_y, bool pgm)
    {
        (void)invert, (void)mirror_y;
        epaper::planes(black, color, x - x % 8, y, w, h, pgm);
        epaper::pgmUsed() = pgm;
    }
    void drawNative(const uint8_t *data1, const uint8_t *data2, int16_t x, int16_t y, int16_t w, int16_t h,
                    bool invert, bool mirror_y, bool pgm)
    {
        (void)data2, (void)invert, (void)mirror_y;
        epaper::codes(data1, x - x % 2, y, w, h, pgm);
        epaper::pgmUsed() = pgm;
    }
    // Into the panel's memory only, which refresh() shows: here straight onto the screen, the
    // screen told unrefreshed until then.
    void writeImage(const uint8_t *black, const uint8_t *color, int16_t x, int16_t y, int16_t w, int16_t h,
                    bool invert, bool mirror_y, bool pgm)
    {
        drawImage(black, color, x, y, w, h, invert, mirror_y, pgm);
        epaper::unrefreshed() = true;
    }
    void writeNative(const uint8_t *data1, const uint8_t *data2, int16_t x, int16_t y, int16_t w, int16_t h,
                     bool invert, bool mirror_y, bool pgm)
    {
        drawNative(data1, data2, x, y, w, h, invert, mirror_y, pgm);
        epaper::unrefreshed() = true;
    }
    void refresh(int16_t x, int16_t y, int16_t w, int16_t h)
    {
        (void)x, (void)y, (void)w, (void)h;
        epaper::unrefreshed() = false;
    }
};

// GxEPD2_4C: the codes go to the panel's memory as they are, at x rounded down to a whole byte of
// four pixels.
class GxEPD2_4C_StandIn
{
public:
    void drawNative(const uint8_t *data1, const uint8_t *data2, int16_t x, int16_t y, int16_t w, int16_t h,
                    bool invert, bool mirror_y, bool pgm)
    {
        (void)data2, (void)invert, (void)mirror_y;
        epaper::greys(data1, x - x % 4, y, w, h, pgm);
        epaper::pgmUsed() = pgm;
    }
    void writeNative(const uint8_t *data1, const uint8_t *data2, int16_t x, int16_t y, int16_t w, int16_t h,
                     bool invert, bool mirror_y, bool pgm)
    {
        drawNative(data1, data2, x, y, w, h, invert, mirror_y, pgm);
        epaper::unrefreshed() = true;
    }
    void refresh(int16_t x, int16_t y, int16_t w, int16_t h)
    {
        (void)x, (void)y, (void)w, (void)h;
        epaper::unrefreshed() = false;
    }
};

// GxEPD2_7C over GxEPD2_730c_GDEP073E01, a Spectra 6 panel: its driver takes the codes of
// GxEPD2_7C's buffer, ACeP's, and turns them into the panel's own, unless invert is true, when
// they go to the panel as they are.
class GxEPD2_Spectra6_StandIn
{
public:
    void drawNative(const uint8_t *data1, const uint8_t *data2, int16_t x, int16_t y, int16_t w, int16_t h,
                    bool invert, bool mirror_y, bool pgm)
    {
        (void)data2, (void)mirror_y;
        static const uint8_t fromAcep[8] = {0, 1, 6, 5, 3, 2, 4, 7};
        epaper::codes(data1, x - x % 2, y, w, h, pgm, invert ? 0 : fromAcep);
        epaper::pgmUsed() = pgm;
    }
    void writeNative(const uint8_t *data1, const uint8_t *data2, int16_t x, int16_t y, int16_t w, int16_t h,
                     bool invert, bool mirror_y, bool pgm)
    {
        drawNative(data1, data2, x, y, w, h, invert, mirror_y, pgm);
        epaper::unrefreshed() = true;
    }
    void refresh(int16_t x, int16_t y, int16_t w, int16_t h)
    {
        (void)x, (void)y, (void)w, (void)h;
        epaper::unrefreshed() = false;
    }
};

// Waveshare's C library: whole screens, or a part at x, y; plain reads.
inline void EPD_2IN13B_V4_Display(const UBYTE *blackImage, const UBYTE *redImage)
{
    epaper::planes(blackImage, redImage, 0, 0, epaper::width, epaper::height, false);
}
inline void EPD_2IN13BC_Display(const UBYTE *blackimage, const UBYTE *ryimage)
{
    EPD_2IN13B_V4_Display(blackimage, ryimage);
}
inline void EPD_4IN2_4GrayDisplay(const UBYTE *Image)
{
    epaper::greys(Image, 0, 0, epaper::width, epaper::height, false);
}
inline void EPD_5IN65F_Display_part(const UBYTE *image, UWORD xstart, UWORD ystart, UWORD image_width,
                                    UWORD image_heigh)
{
    epaper::codes(image, xstart, ystart, image_width, image_heigh, false);
}
inline void EPD_7IN3F_Display(UBYTE *Image)
{
    epaper::codes(Image, 0, 0, epaper::width, epaper::height, false);
}
inline void EPD_7IN3G_Display(UBYTE *Image)
{
    epaper::greys(Image, 0, 0, epaper::width, epaper::height, false);
}
// Rows of image_width / 4 bytes, at xstart and for image_width rounded down to multiples of 4.
inline void EPD_7IN3G_Display_part(UBYTE *Image, UWORD xstart, UWORD ystart, UWORD image_width,
                                   UWORD image_height)
{
    epaper::greys(Image, xstart / 4 * 4, ystart, image_width / 4 * 4, image_height, false);
}
inline void EPD_7IN3E_Display(UBYTE *Image)
{
    epaper::codes(Image, 0, 0, epaper::width, epaper::height, false);
}
// Rows of image_width / 2 bytes, at xstart and for image_width rounded down to even numbers.
inline void EPD_7IN3E_DisplayPart(const UBYTE *Image, UWORD xstart, UWORD ystart, UWORD image_width,
                                  UWORD image_heigh)
{
    epaper::codes(Image, xstart / 2 * 2, ystart, image_width / 2 * 2, image_heigh, false);
}

// Waveshare's Arduino classes, each panel's named Epd: their members that the headers name, which
// read program memory.
class Epd
{
public:
    void DisplayFrame(const unsigned char *frame_buffer_black, const unsigned char *frame_buffer_red)
    {
        epaper::planes(frame_buffer_black, frame_buffer_red, 0, 0, epaper::width, epaper::height, true);
    }
    // Rows of w / 4 bytes, at x and for w rounded down to multiples of 8.
    void Set_4GrayDisplay(const char *Image, int x, int y, int w, int l)
    {
        epaper::greys(reinterpret_cast<const uint8_t *>(Image), x / 8 * 8, y, w / 8 * 8, l, true);
    }
    void EPD_5IN65F_Display_part(const UBYTE *image, UWORD xstart, UWORD ystart, UWORD image_width,
                                 UWORD image_heigh)
    {
        epaper::codes(image, xstart, ystart, image_width / 2 * 2, image_heigh, true);
    }
    void EPD_7IN3F_Display_part(const UBYTE *image, UWORD xstart, UWORD ystart, UWORD image_width,
                                UWORD image_heigh)
    {
        EPD_5IN65F_Display_part(image, xstart, ystart, image_width, image_heigh);
    }
    // epd7in3g.h, epd4in37g.h, epd3in0g.h: rows of image_width / 4 bytes, at xstart and for
    // image_width rounded down to multiples of 4.
    void Display_part(UBYTE *Image, UWORD xstart, UWORD ystart, UWORD image_width, UWORD image_height)
    {
        epaper::greys(Image, xstart / 4 * 4, ystart, image_width / 4 * 4, image_height, true);
    }
};
