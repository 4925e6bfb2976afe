#pragma once

#include "lvgl_colour_formats.h"

// What only --format lvgl reads: the image's colour format and the version of LVGL whose
// descriptor it is written for (lvgl_format.h).
struct LvglOptions
{
    LvglColourFormat colourFormat = LvglColourFormat::Automatic; // --lvgl-cf
    int version = 9; // 8 writes lv_img_dsc_t
};
