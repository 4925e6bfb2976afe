// Stand-ins of the C++ display libraries that the headers' comments name: their declarations as
// TFT_eSPI.h, Adafruit_GFX.h, Adafruit_SSD1306.h and Adafruit_GrayOLED.h give them, and what
// they do to a screen of STANDIN_WIDTH x STANDIN_HEIGHT. The overloads for flash (const arrays)
// read with pgm_read_*, those for memory (arrays that are not const) with plain reads, as the
// libraries do: on AVR, the wrong one draws other bytes. standin::dump() prints the screen, a value
// a pixel: what a 16-bit display was sent (plus 0x10000, so that a pixel sent black differs from
// one left alone), or the bits or levels of a display's buffer.
#pragma once

#include "screen.h"

#include <avr/pgmspace.h> // as Arduino.h includes it
#include <stdint.h>
#include <string.h>

namespace standin {
const int width = STANDIN_WIDTH, height = STANDIN_HEIGHT;
inline uint32_t *screen()
{
    static uint32_t pixels[width * height];
    return pixels;
}
inline void put(int32_t x, int32_t y, uint32_t value)
{
    if (x >= 0 && y >= 0 && x < width && y < height)
        screen()[y * width + x] = value;
}
inline uint16_t swapped(uint16_t value)
{
    return uint16_t(value << 8 | value >> 8);
}
// Displays that draw into a buffer show it on the screen at the end.
struct Buffered
{
    static Buffered *&last()
    {
        static Buffered *display = nullptr;
        return display;
    }
    Buffered() { last() = this; }
    virtual void show() { }
};
// A panel's controller as ST7735, ST7789, ILI9341 and ILI9488 take bytes: once RAMWR (0x2C) has
// opened a window, pixels in the colour mode COLMOD (0x3A) chose, 12 bits (two in three bytes, high
// nibble first) or 18 (a byte a channel, in its 6 high bits), put on the screen plus 0x40000; 16-bit
// ones are not drawn.
struct Panel
{
    explicit Panel(int pixelBits)
        : bits(pixelBits)
    { }
    int bits, last = 0, heldBits = 0;
    int32_t wx = 0, wy = 0, ww = 1, sent = 0;
    uint32_t held = 0;
    void window(int32_t x, int32_t y, int32_t w) { wx = x, wy = y, ww = w, sent = 0, command(0x2c); }
    void command(uint8_t c) { last = c, held = 0, heldBits = 0; }
    void data(uint8_t d)
    {
        bits = last == 0x3a ? ((d & 7) == 3 ? 12 : (d & 7) == 6 ? 18 : 16) : bits;
        held = held << 8 | d, heldBits += 8;
        for (const int size = bits == 12 ? 12 : 24; last == 0x2c && bits != 16 && heldBits >= size; sent++) {
            const uint32_t pixel = held >> (heldBits -= size);
            put(wx + sent % ww, wy + sent / ww,
                0x40000u
                    | (bits == 12 ? pixel & 0xfff
                                  : (pixel >> 18 & 63) << 12 | (pixel >> 10 & 63) << 6 | (pixel >> 2 & 63)));
        }
        held &= (uint32_t(1) << heldBits) - 1;
    }
};

inline void dump()
{
    if (Buffered::last())
        Buffered::last()->show();
    board_start();
    for (int i = 0; i < width * height; ++i)
        standin_print(screen()[i], i % width);
    board_stop();
}
} // namespace standin

class Adafruit_GFX
{
public:
    Adafruit_GFX(int16_t w, int16_t h)
        : WIDTH(w)
        , HEIGHT(h)
    { }
    virtual void drawPixel(int16_t x, int16_t y, uint16_t color) { standin::put(x, y, 0x10000u | color); }
    void drawBitmap(int16_t x, int16_t y, const uint8_t bitmap[], int16_t w, int16_t h, uint16_t color)
    {
        for (int16_t j = 0; j < h; j++)
            for (int16_t i = 0; i < w; i++)
                if (pgm_read_byte(&bitmap[j * ((w + 7) / 8) + i / 8]) & (0x80 >> (i & 7)))
                    drawPixel(x + i, y + j, color);
    }
    void drawBitmap(int16_t x, int16_t y, const uint8_t bitmap[], int16_t w, int16_t h, uint16_t color,
                    uint16_t bg);
    void drawBitmap(int16_t x, int16_t y, uint8_t *bitmap, int16_t w, int16_t h, uint16_t color)
    {
        for (int16_t j = 0; j < h; j++)
            for (int16_t i = 0; i < w; i++)
                if (bitmap[j * ((w + 7) / 8) + i / 8] & (0x80 >> (i & 7)))
                    drawPixel(x + i, y + j, color);
    }
    void drawBitmap(int16_t x, int16_t y, uint8_t *bitmap, int16_t w, int16_t h, uint16_t color, uint16_t bg);
    void drawXBitmap(int16_t x, int16_t y, const uint8_t bitmap[], int16_t w, int16_t h, uint16_t color)
    {
        for (int16_t j = 0; j < h; j++)
            for (int16_t i = 0; i < w; i++)
                if (pgm_read_byte(&bitmap[j * ((w + 7) / 8) + i / 8]) & (1 << (i & 7)))
                    drawPixel(x + i, y + j, color);
    }
    void drawGrayscaleBitmap(int16_t x, int16_t y, const uint8_t bitmap[], int16_t w, int16_t h)
    {
        for (int16_t j = 0; j < h; j++)
            for (int16_t i = 0; i < w; i++)
                drawPixel(x + i, y + j, pgm_read_byte(&bitmap[j * w + i]));
    }
    void drawGrayscaleBitmap(int16_t x, int16_t y, uint8_t *bitmap, int16_t w, int16_t h)
    {
        for (int16_t j = 0; j < h; j++)
            for (int16_t i = 0; i < w; i++)
                drawPixel(x + i, y + j, bitmap[j * w + i]);
    }
    void drawRGBBitmap(int16_t x, int16_t y, const uint16_t bitmap[], int16_t w, int16_t h)
    {
        for (int16_t j = 0; j < h; j++)
            for (int16_t i = 0; i < w; i++)
                drawPixel(x + i, y + j, pgm_read_word(&bitmap[j * w + i]));
    }
    void drawRGBBitmap(int16_t x, int16_t y, uint16_t *bitmap, int16_t w, int16_t h)
    {
        for (int16_t j = 0; j < h; j++)
            for (int16_t i = 0; i < w; i++)
                drawPixel(x + i, y + j, bitmap[j * w + i]);
    }
    void drawRGBBitmap(int16_t x, int16_t y, const uint16_t bitmap[], const uint8_t mask[], int16_t w,
                       int16_t h)
    {
        for (int16_t j = 0; j < h; j++)
            for (int16_t i = 0; i < w; i++)
                if (pgm_read_byte(&mask[j * ((w + 7) / 8) + i / 8]) & (0x80 >> (i & 7)))
                    drawPixel(x + i, y + j, pgm_read_word(&bitmap[j * w + i]));
    }
    void drawRGBBitmap(int16_t x, int16_t y, uint16_t *bitmap, uint8_t *mask, int16_t w, int16_t h)
    {
        for (int16_t j = 0; j < h; j++)
            for (int16_t i = 0; i < w; i++)
                if (mask[j * ((w + 7) / 8) + i / 8] & (0x80 >> (i & 7)))
                    drawPixel(x + i, y + j, bitmap[j * w + i]);
    }
    int16_t width(void) const { return WIDTH; }

protected:
    const int16_t WIDTH, HEIGHT;
};

// Pages of 8 rows, bit 0 at the top.
class Adafruit_SSD1306 : public Adafruit_GFX, standin::Buffered
{
public:
    Adafruit_SSD1306(uint8_t w, uint8_t h)
        : Adafruit_GFX(w, h)
    {
        memset(buffer, 0, sizeof buffer);
    }
    uint8_t *getBuffer(void) { return buffer; }
    void show() override
    {
        for (int i = 0; i < standin::width * standin::height; ++i)
            standin::screen()[i] = buffer[i % WIDTH + i / WIDTH / 8 * WIDTH] >> (i / WIDTH % 8) & 1;
    }

private:
    uint8_t buffer[standin::width * standin::height / 8];
};

// The SSD1327's 4-bit buffer: rows of two pixels a byte, the left one in the high nibble.
class Adafruit_SSD1327 : public Adafruit_GFX, standin::Buffered
{
public:
    Adafruit_SSD1327(uint16_t w, uint16_t h)
        : Adafruit_GFX(int16_t(w), int16_t(h))
    {
        memset(buffer, 0, sizeof buffer);
    }
    uint8_t *getBuffer(void) { return buffer; }
    void show() override
    {
        for (int i = 0; i < standin::width * standin::height; ++i)
            standin::screen()[i] = buffer[i / 2] >> (i % 2 ? 0 : 4) & 0xf;
    }

private:
    uint8_t buffer[standin::width * standin::height / 2];
};

// Values go out high byte first when the bytes are swapped, as stored when they are not.
class TFT_eSPI
{
public:
    void setSwapBytes(bool swap) { _swapBytes = swap; }
    void startWrite(void) { }
    void endWrite(void) { }
    void setAddrWindow(int32_t xs, int32_t ys, int32_t w, int32_t h)
    {
        wx = xs, wy = ys, ww = w, wh = h, sent = 0;
        panel.window(xs, ys, w);
    }
    void writecommand(uint8_t c) { panel.command(c); }
    void writedata(uint8_t d) { panel.data(d); }
    void pushColor(uint16_t color) { send(color); }
    void pushPixels(const void *data_in, uint32_t len)
    {
        for (const uint16_t *data = static_cast<const uint16_t *>(data_in); len--; data++)
            send(_swapBytes ? *data : standin::swapped(*data));
    }
    void pushImage(int32_t x, int32_t y, int32_t w, int32_t h, uint16_t *data)
    {
        pushImage(x, y, w, h, const_cast<const uint16_t *>(data));
    }
    void pushImage(int32_t x, int32_t y, int32_t w, int32_t h, uint16_t *data, uint16_t transparent)
    {
        pushImage(x, y, w, h, const_cast<const uint16_t *>(data), transparent);
    }
    void pushImage(int32_t x, int32_t y, int32_t w, int32_t h, const uint16_t *data, uint16_t transparent)
    {
        if (!_swapBytes) // as TFT_eSPI: the key is given in the firmware's order
            transparent = standin::swapped(transparent);
        for (int32_t i = 0; i < w * h; i++)
            if (pgm_read_word(&data[i]) != transparent)
                standin::put(x + i % w, y + i / w,
                             0x10000u | (_swapBytes ? data[i] : standin::swapped(data[i])));
    }
    void pushImage(int32_t x, int32_t y, int32_t w, int32_t h, const uint16_t *data)
    {
        setAddrWindow(x, y, w, h);
        pushPixels(data, uint32_t(w * h));
    }
    void pushImage(int32_t x, int32_t y, int32_t w, int32_t h, uint8_t *data, bool bpp8 = true,
                   uint16_t *cmap = nullptr)
    {
        pushImage(x, y, w, h, const_cast<const uint8_t *>(data), bpp8, cmap);
    }
    void pushImage(int32_t x, int32_t y, int32_t w, int32_t h, uint8_t *data, uint8_t transparent,
                   bool bpp8 = true, uint16_t *cmap = nullptr);
    // 8 bits: RGB332, no palette; 4 bits: the palette's values sent high byte first.
    void pushImage(int32_t x, int32_t y, int32_t w, int32_t h, const uint8_t *data, bool bpp8,
                   uint16_t *cmap = nullptr)
    {
        static const uint8_t blue[] = {0, 11, 21, 31};
        for (int32_t i = 0; i < w * h; i++) {
            const int32_t c = i % w, r = i / w;
            const uint8_t colour = pgm_read_byte(&data[bpp8 ? i : r * ((w + 1) / 2) + c / 2]);
            const uint16_t value = bpp8
                ? uint16_t(((colour & 0x1C) >> 2 | (colour & 0xC0) >> 3 | (colour & 0xE0)) << 8
                           | (colour & 0x1C) << 3 | blue[colour & 3])
                : cmap[c % 2 ? colour & 0xf : colour >> 4];
            standin::put(x + c, y + r, 0x10000u | value);
        }
    }
    void pushMaskedImage(int32_t x, int32_t y, int32_t w, int32_t h, uint16_t *img, uint8_t *mask)
    {
        for (int32_t i = 0; i < w * h; i++)
            if (mask[i / w * ((w + 7) / 8) + i % w / 8] & (0x80 >> (i % w % 8)))
                pushImage(x + i % w, y + i / w, 1, 1, img + i);
    }

private:
    void send(uint16_t value)
    {
        standin::put(wx + sent % ww, wy + sent / ww, 0x10000u | value);
        sent = sent + 1 < ww * wh ? sent + 1 : 0;
    }
    bool _swapBytes = false;
    int32_t wx = 0, wy = 0, ww = 1, wh = 1, sent = 0;
#ifdef ILI9488_DRIVER // which TFT_eSPI runs in 18-bit colour over SPI
    standin::Panel panel {18};
#else
    standin::Panel panel {16};
#endif
};

// Adafruit's SPI panels, in 16-bit colour as their begin() leaves them; Adafruit_ST77xx is the
// class of Adafruit_ST7735 and Adafruit_ST7789.
struct Adafruit_SPITFT : standin::Panel
{
    Adafruit_SPITFT(int16_t, int16_t)
        : standin::Panel(16)
    { }
    void setAddrWindow(uint16_t x, uint16_t y, uint16_t w, uint16_t) { window(x, y, w); }
    void startWrite(void) { }
    void endWrite(void) { }
    void spiWrite(uint8_t b) { data(b); }
    void writeCommand(uint8_t cmd) { command(cmd); }
};
typedef Adafruit_SPITFT Adafruit_ST77xx;
