/*
 * Draws a picture converted by Quillon on a display. Replace draw_pixel with your display
 * driver's function, and logo.h with the header Quillon wrote for your picture:
 *
 *     quillon-convert -o src/ images/logo.png     (or "Convertir" in the window)
 */
#include "quillon_bmp.h"

#include "logo.h"

/* Stands for a display driver: here it only adds up the pixels it is given. */
static void draw_pixel(void *context, int32_t x, int32_t y, uint16_t rgb565)
{
    uint32_t *checksum = (uint32_t *)context;
    *checksum = *checksum * 31u + (uint32_t)(x ^ y) + rgb565;
}

int main(void)
{
    quillon_bmp picture;
    uint32_t checksum = 0;

    if (quillon_bmp_open(&picture, QUILLON_BMP_ADDRESS(logo), sizeof logo) != QUILLON_BMP_OK)
        return 1;
    quillon_bmp_draw(&picture, 0, 0, draw_pixel, &checksum);
    return checksum == 0 ? 2 : 0;
}
