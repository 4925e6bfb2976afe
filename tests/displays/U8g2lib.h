// A stand-in of U8g2lib, u8g2's Arduino class, over the stand-in of its C API: the methods the
// headers' comments name, as U8g2lib.h declares them.
#pragma once

#include "u8g2.h"

class U8G2
{
public:
    U8G2() { standin_setup(&u8g2); }
    u8g2_t *getU8g2(void) { return &u8g2; }
    uint8_t *getBufferPtr(void) { return u8g2_GetBufferPtr(&u8g2); }
    uint8_t getBufferTileWidth(void) { return u8g2_GetBufferTileWidth(&u8g2); }
    void drawXBM(u8g2_uint_t x, u8g2_uint_t y, u8g2_uint_t w, u8g2_uint_t h, const uint8_t *bitmap)
    {
        u8g2_DrawXBM(&u8g2, x, y, w, h, bitmap);
    }
    void drawXBMP(u8g2_uint_t x, u8g2_uint_t y, u8g2_uint_t w, u8g2_uint_t h, const uint8_t *bitmap)
    {
        u8g2_DrawXBMP(&u8g2, x, y, w, h, bitmap);
    }

protected:
    u8g2_t u8g2;
};
