/* A stand-in of the LVGL declarations that the image descriptors use, to compile the headers
   against: the structures in LVGL's own order of declaration, as in LVGL 8.3 and 8.4
   (lv_img_dsc_t) and 9.0 to 9.5 (lv_image_dsc_t, one pointer more from 9.1, two from 9.3),
   their bit fields reversed on big-endian systems. LVGL_VERSION_MINOR chooses the 9.x. */
#ifndef LVGL_H
#define LVGL_H

#include <stddef.h>
#include <stdint.h>

#define LVGL_VERSION_MAJOR 9
#ifndef LVGL_VERSION_MINOR
#define LVGL_VERSION_MINOR 5
#endif
#ifndef LV_BIG_ENDIAN_SYSTEM
#define LV_BIG_ENDIAN_SYSTEM 0
#endif
#define LV_IMAGE_HEADER_MAGIC 0x19
#define LV_ATTRIBUTE_LARGE_CONST
#define LV_COLOR_DEPTH 16
#ifndef LV_COLOR_16_SWAP
#define LV_COLOR_16_SWAP 0
#endif

enum { LV_IMAGE_FLAGS_COMPRESSED = 0x0008 };
typedef enum {
    LV_COLOR_FORMAT_L8 = 0x06,
    LV_COLOR_FORMAT_I1 = 0x07,
    LV_COLOR_FORMAT_I2 = 0x08,
    LV_COLOR_FORMAT_I4 = 0x09,
    LV_COLOR_FORMAT_I8 = 0x0A,
    LV_COLOR_FORMAT_A1 = 0x0B,
    LV_COLOR_FORMAT_A2 = 0x0C,
    LV_COLOR_FORMAT_A4 = 0x0D,
    LV_COLOR_FORMAT_A8 = 0x0E,
    LV_COLOR_FORMAT_RGB888 = 0x0F,
    LV_COLOR_FORMAT_ARGB8888 = 0x10,
    LV_COLOR_FORMAT_XRGB8888 = 0x11,
    LV_COLOR_FORMAT_RGB565 = 0x12,
    LV_COLOR_FORMAT_ARGB8565 = 0x13,
    LV_COLOR_FORMAT_RGB565A8 = 0x14,
    LV_COLOR_FORMAT_AL88 = 0x15,
    LV_COLOR_FORMAT_ARGB1555 = 0x16,
    LV_COLOR_FORMAT_ARGB4444 = 0x17,
    LV_COLOR_FORMAT_RGB565_SWAPPED = 0x1B
} lv_color_format_t;

#if LV_BIG_ENDIAN_SYSTEM
typedef struct
{
    uint32_t reserved_2 : 16;
    uint32_t stride : 16;
    uint32_t h : 16;
    uint32_t w : 16;
    uint32_t flags : 16;
    uint32_t cf : 8;
    uint32_t magic : 8;
} lv_image_header_t;
#else
typedef struct
{
    uint32_t magic : 8;
    uint32_t cf : 8;
    uint32_t flags : 16;
    uint32_t w : 16;
    uint32_t h : 16;
    uint32_t stride : 16;
    uint32_t reserved_2 : 16;
} lv_image_header_t;
#endif
typedef struct
{
    lv_image_header_t header;
    uint32_t data_size;
    const uint8_t *data;
#if LVGL_VERSION_MINOR >= 1
    const void *reserved;
#endif
#if LVGL_VERSION_MINOR >= 3
    const void *reserved_2;
#endif
} lv_image_dsc_t;
#define LV_IMAGE_DECLARE(var_name) extern const lv_image_dsc_t var_name

enum {
    LV_IMG_CF_TRUE_COLOR = 4,
    LV_IMG_CF_TRUE_COLOR_ALPHA = 5,
    LV_IMG_CF_INDEXED_1BIT = 7,
    LV_IMG_CF_INDEXED_2BIT = 8,
    LV_IMG_CF_INDEXED_4BIT = 9,
    LV_IMG_CF_INDEXED_8BIT = 10,
    LV_IMG_CF_ALPHA_1BIT = 11,
    LV_IMG_CF_ALPHA_2BIT = 12,
    LV_IMG_CF_ALPHA_4BIT = 13,
    LV_IMG_CF_ALPHA_8BIT = 14
};
typedef uint8_t lv_img_cf_t;
#if LV_BIG_ENDIAN_SYSTEM
typedef struct
{
    uint32_t h : 11;
    uint32_t w : 11;
    uint32_t reserved : 2;
    uint32_t always_zero : 3;
    uint32_t cf : 5;
} lv_img_header_t;
#else
typedef struct
{
    uint32_t cf : 5;
    uint32_t always_zero : 3;
    uint32_t reserved : 2;
    uint32_t w : 11;
    uint32_t h : 11;
} lv_img_header_t;
#endif
typedef struct
{
    lv_img_header_t header;
    uint32_t data_size;
    const uint8_t *data;
} lv_img_dsc_t;
#define LV_IMG_DECLARE(var_name) extern const lv_img_dsc_t var_name

/* What the headers' drawing lines call: an image object on the active screen, showing one. */
typedef struct _lv_obj_t lv_obj_t;
lv_obj_t *lv_screen_active(void);
lv_obj_t *lv_image_create(lv_obj_t *parent);
void lv_image_set_src(lv_obj_t *obj, const void *src);
lv_obj_t *lv_scr_act(void);
lv_obj_t *lv_img_create(lv_obj_t *parent);
void lv_img_set_src(lv_obj_t *obj, const void *src);

/* An animation of images, as LVGL 9 declares it (LVGL 8.1 to 8.4 take the same array, and a
   uint8_t count): the array is kept, not copied. */
#define LV_ANIM_REPEAT_INFINITE 0xFFFFFFFF
lv_obj_t *lv_animimg_create(lv_obj_t *parent);
void lv_animimg_set_src(lv_obj_t *obj, const void *dsc[], size_t num);
void lv_animimg_set_duration(lv_obj_t *obj, uint32_t duration);
void lv_animimg_set_repeat_count(lv_obj_t *obj, uint32_t count);
void lv_animimg_start(lv_obj_t *obj);

#endif
