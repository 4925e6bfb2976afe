/* Draws the logo, then the splash screen, on a display. Replace draw_pixel with your display
   driver's function. */
#include "logo.h"
#include "quillon_bmp.h"
#include "splash-screen.h"

static volatile uint16_t last_pixel;

/* Stands for a display driver. */
static void draw_pixel(void *context, int32_t x, int32_t y, uint16_t rgb565)
{
    (void)context;
    (void)x;
    (void)y;
    last_pixel = rgb565;
}

static void draw(quillon_bmp_address picture, size_t size, int32_t left, int32_t top)
{
    quillon_bmp bmp;
    if (quillon_bmp_open(&bmp, picture, size) == QUILLON_BMP_OK)
        quillon_bmp_draw(&bmp, left, top, draw_pixel, 0);
}

int main(void)
{
    draw(QUILLON_BMP_ADDRESS(logo), sizeof logo, 0, 0);
    draw(QUILLON_BMP_ADDRESS(splash_screen), sizeof splash_screen, 0, 40);
    for (;;)
        ;
}
