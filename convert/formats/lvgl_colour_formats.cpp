#include "lvgl_colour_formats.h"

const QVector<LvglColourFormatRow> &lvglColourFormats()
{
    using F = LvglColourFormat;
    // C++17 has no designated initializers: each row's fields in the order of LvglColourFormatRow,
    // id, name, number, lvgl9Minor, bitsPerPixel, paletteSize, alpha, alphaOnly, lvgl8Name, lvgl8Number.
    static const QVector<LvglColourFormatRow> formats = {
        {F::Rgb565, "RGB565", 0x12, 0, 16, 0, false, false, "LV_IMG_CF_TRUE_COLOR", 4},
        {F::Rgb565A8, "RGB565A8", 0x14, 0, 16, 0, true, false, "LV_IMG_CF_TRUE_COLOR_ALPHA", 5},
        {F::Rgb565Swapped, "RGB565_SWAPPED", 0x1B, 0, 16, 0, false, false, nullptr, 0},
        {F::Rgb888, "RGB888", 0x0F, 0, 24, 0, false, false, nullptr, 0},
        {F::Xrgb8888, "XRGB8888", 0x11, 0, 32, 0, false, false, nullptr, 0},
        {F::Argb8888, "ARGB8888", 0x10, 0, 32, 0, true, false, nullptr, 0},
        // LVGL 8's true colour with alpha has ARGB8565's bytes, under LV_COLOR_16_SWAP both orders;
        // a descriptor of LVGL 8 that names it reads as RGB565A8, the row above.
        {F::Argb8565, "ARGB8565", 0x13, 1, 24, 0, true, false, "LV_IMG_CF_TRUE_COLOR_ALPHA", 5},
        {F::Argb1555, "ARGB1555", 0x16, 3, 16, 0, true, false, nullptr, 0},
        {F::Argb4444, "ARGB4444", 0x17, 3, 16, 0, true, false, nullptr, 0},
        {F::L8, "L8", 0x06, 0, 8, 0, false, false, nullptr, 0},
        {F::Al88, "AL88", 0x15, 2, 16, 0, true, false, nullptr, 0},
        {F::A1, "A1", 0x0B, 0, 1, 0, true, true, "LV_IMG_CF_ALPHA_1BIT", 11},
        {F::A2, "A2", 0x0C, 0, 2, 0, true, true, "LV_IMG_CF_ALPHA_2BIT", 12},
        {F::A4, "A4", 0x0D, 0, 4, 0, true, true, "LV_IMG_CF_ALPHA_4BIT", 13},
        {F::A8, "A8", 0x0E, 0, 8, 0, true, true, "LV_IMG_CF_ALPHA_8BIT", 14},
        {F::I1, "I1", 0x07, 0, 1, 2, false, false, "LV_IMG_CF_INDEXED_1BIT", 7},
        {F::I2, "I2", 0x08, 0, 2, 4, false, false, "LV_IMG_CF_INDEXED_2BIT", 8},
        {F::I4, "I4", 0x09, 0, 4, 16, false, false, "LV_IMG_CF_INDEXED_4BIT", 9},
        {F::I8, "I8", 0x0A, 0, 8, 256, false, false, "LV_IMG_CF_INDEXED_8BIT", 10},
    };
    return formats;
}

const LvglColourFormatRow &lvglColourFormatRow(LvglColourFormat format)
{
    for (const LvglColourFormatRow &row : lvglColourFormats()) {
        if (row.id == format)
            return row;
    }
    Q_ASSERT_X(false, "lvglColourFormatRow",
               "Automatic is chosen among the others before a row is asked for");
    return lvglColourFormats().first();
}

std::optional<LvglColourFormat> lvglColourFormatNamed(const QByteArray &name, int version)
{
    for (const LvglColourFormatRow &row : lvglColourFormats()) {
        if (name == row.name && (version != 8 || row.lvgl8Name))
            return row.id;
    }
    return std::nullopt;
}

const LvglColourFormatRow *lvglColourFormatOfDescriptor(const QByteArray &name, int version)
{
    for (const LvglColourFormatRow &row : lvglColourFormats()) {
        if (version == 8 ? row.lvgl8Name && name == row.lvgl8Name
                         : name == "LV_COLOR_FORMAT_" + QByteArray(row.name))
            return &row;
    }
    return nullptr;
}

QByteArrayList lvglColourFormatNames(int version)
{
    QByteArrayList names;
    for (const LvglColourFormatRow &row : lvglColourFormats()) {
        if (version != 8 || row.lvgl8Name)
            names << row.name;
    }
    return names;
}
