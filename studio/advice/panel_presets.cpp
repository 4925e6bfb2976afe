#include "panel_presets.h"

#include "argument_list.h"
#include "display_formats.h"
#include "option_table.h"

namespace {

// A row of the table below, its texts French sources.
struct PresetRow
{
    const char *id;
    const char *name;
    QSize size;
    const char *format;
    const char *library;
    QStringList more; // what the panel also wants beyond its format and size
    bool round;
    bool paper; // e-paper: white paper around the picture
    const char *drawing;
};

const char fillsThePanel[] = QT_TRANSLATE_NOOP(
    "PanelPresets",
    "L'image remplit l'écran de %1 x %2 pixels sans être déformée, agrandie s'il le faut ; le reste "
    "est du fond, noir.");
const char fillsThePaper[] = QT_TRANSLATE_NOOP(
    "PanelPresets",
    "L'image remplit l'écran de %1 x %2 pixels sans être déformée, agrandie s'il le faut ; le reste "
    "est du papier blanc (--background white, sauf couleur donnée).");
const char roundPanel[]
    = QT_TRANSLATE_NOOP("PanelPresets", "Écran rond : les coins hors du cercle ne s'affichent pas.");
const char ownDrawing[]
    = QT_TRANSLATE_NOOP("PanelPresets", "Les bits à 1 sont blancs, comme GxEPD2 les lit : %1");

// GxEPD2 draws a black and white panel's mono array, 1 white as in its own buffer, through drawImage;
// the header's Adafruit GFX line would draw its set bits in colour 1, white on GxEPD2_BW.
const char gxepd2Mono[] = "display.drawImage(NAME, x, y, NAME_width, NAME_height, false, false, true);";

QVector<PresetRow> presetRows()
{
    const QStringList none;
    return {
        // SSD1306 with Adafruit GFX's drawBitmap: mono (README, "Quick start").
        {"ssd1306-128x64",
         QT_TRANSLATE_NOOP("PanelPresets", "OLED SSD1306 128 x 64"),
         {128, 64},
         "mono",
         "Adafruit GFX",
         none,
         false,
         false,
         nullptr},
        {"ssd1306-128x32",
         QT_TRANSLATE_NOOP("PanelPresets", "OLED SSD1306 128 x 32"),
         {128, 32},
         "mono",
         "Adafruit GFX",
         none,
         false,
         false,
         nullptr},
        // SH1106 with u8g2's drawXBMP: xbm.
        {"sh1106-128x64",
         QT_TRANSLATE_NOOP("PanelPresets", "OLED SH1106 128 x 64"),
         {128, 64},
         "xbm",
         "u8g2",
         none,
         false,
         false,
         nullptr},
        // Colour panels with TFT_eSPI: rgb565 in the firmware's order, drawn after setSwapBytes(true),
        // as the header's line says.
        {"st7735-160x128",
         QT_TRANSLATE_NOOP("PanelPresets", "ST7735 160 x 128"),
         {160, 128},
         "rgb565",
         "TFT_eSPI",
         none,
         false,
         false,
         nullptr},
        {"st7789-240x240",
         QT_TRANSLATE_NOOP("PanelPresets", "ST7789 240 x 240"),
         {240, 240},
         "rgb565",
         "TFT_eSPI",
         none,
         false,
         false,
         nullptr},
        {"st7789-320x240",
         QT_TRANSLATE_NOOP("PanelPresets", "ST7789 320 x 240"),
         {320, 240},
         "rgb565",
         "TFT_eSPI",
         none,
         false,
         false,
         nullptr},
        {"ili9341-320x240",
         QT_TRANSLATE_NOOP("PanelPresets", "ILI9341 320 x 240"),
         {320, 240},
         "rgb565",
         "TFT_eSPI",
         none,
         false,
         false,
         nullptr},
        {"gc9a01-240x240",
         QT_TRANSLATE_NOOP("PanelPresets", "GC9A01 240 x 240 (rond)"),
         {240, 240},
         "rgb565",
         "TFT_eSPI",
         none,
         true,
         false,
         nullptr},
        // Black and white e-paper: mono, 1 white and 0 black as GxEPD2's buffers hold them.
        {"epaper-2.13-bw",
         QT_TRANSLATE_NOOP("PanelPresets", "E-paper 2,13\" 250 x 122, noir et blanc"),
         {250, 122},
         "mono",
         "GxEPD2",
         none,
         false,
         true,
         gxepd2Mono},
        {"epaper-2.13-bwr",
         QT_TRANSLATE_NOOP("PanelPresets", "E-paper 2,13\" 250 x 122, noir, blanc et rouge"),
         {250, 122},
         "epd-bw-red",
         "GxEPD2",
         none,
         false,
         true,
         nullptr},
        {"epaper-2.9-bw",
         QT_TRANSLATE_NOOP("PanelPresets", "E-paper 2,9\" 296 x 128, noir et blanc"),
         {296, 128},
         "mono",
         "GxEPD2",
         none,
         false,
         true,
         gxepd2Mono},
        {"epaper-2.9-bwr",
         QT_TRANSLATE_NOOP("PanelPresets", "E-paper 2,9\" 296 x 128, noir, blanc et rouge"),
         {296, 128},
         "epd-bw-red",
         "GxEPD2",
         none,
         false,
         true,
         nullptr},
        {"epaper-4.2-bw",
         QT_TRANSLATE_NOOP("PanelPresets", "E-paper 4,2\" 400 x 300, noir et blanc"),
         {400, 300},
         "mono",
         "GxEPD2",
         none,
         false,
         true,
         gxepd2Mono},
        {"epaper-4.2-bwr",
         QT_TRANSLATE_NOOP("PanelPresets", "E-paper 4,2\" 400 x 300, noir, blanc et rouge"),
         {400, 300},
         "epd-bw-red",
         "GxEPD2",
         none,
         false,
         true,
         nullptr},
        // Seven-colour ACeP panels: epd7.
        {"epaper-5.65-7c",
         QT_TRANSLATE_NOOP("PanelPresets", "E-paper 5,65\" 600 x 448, sept couleurs"),
         {600, 448},
         "epd7",
         "GxEPD2",
         none,
         false,
         true,
         nullptr},
        {"epaper-7.3-7c",
         QT_TRANSLATE_NOOP("PanelPresets", "E-paper 7,3\" 800 x 480, sept couleurs"),
         {800, 480},
         "epd7",
         "GxEPD2",
         none,
         false,
         true,
         nullptr},
        // An LVGL 9 screen of 320 x 240, its image descriptor in LVGL's default colour format.
        {"lvgl-320x240",
         QT_TRANSLATE_NOOP("PanelPresets", "Écran LVGL 9, 320 x 240"),
         {320, 240},
         "lvgl",
         "LVGL",
         {"--lvgl-version", "9"},
         false,
         false,
         nullptr},
    };
}

QString sizeText(QSize size)
{
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

const DisplayFormat *formatOf(const QStringList &arguments)
{
    return findDisplayFormat(valueOf(arguments, QStringLiteral("format")).toLatin1());
}

} // namespace

const QVector<PanelPreset> &panelPresets()
{
    static const QVector<PanelPreset> presets = [] {
        QVector<PanelPreset> made;
        for (const PresetRow &row : presetRows()) {
            PanelPreset preset;
            preset.id = QLatin1String(row.id);
            preset.name = PanelPreset::tr(row.name);
            preset.size = row.size;
            preset.arguments
                = QStringList {"--format", row.format,  "--fit",    sizeText(row.size), "--fit-mode",
                               "contain",  "--upscale", "--canvas", sizeText(row.size)}
                + row.more;
            preset.library = QLatin1String(row.library);
            preset.round = row.round;
            if (row.paper)
                preset.defaults = QStringList {"--background", "white"};
            preset.help = PanelPreset::tr(row.paper ? fillsThePaper : fillsThePanel)
                              .arg(row.size.width())
                              .arg(row.size.height());
            if (row.round)
                preset.help += QLatin1Char(' ') + PanelPreset::tr(roundPanel);
            if (row.drawing) {
                preset.drawing = QLatin1String(row.drawing);
                preset.help += QLatin1Char(' ') + PanelPreset::tr(ownDrawing).arg(preset.drawing);
            }
            made << preset;
        }
        return made;
    }();
    return presets;
}

const PanelPreset *findPanelPreset(const QString &id)
{
    for (const PanelPreset &preset : panelPresets()) {
        if (preset.id == id)
            return &preset;
    }
    return nullptr;
}

QStringList presetOptionNames()
{
    QStringList names;
    for (const PanelPreset &preset : panelPresets()) {
        for (const GivenOption &option : givenOptions(preset.arguments)) {
            if (!names.contains(option.name))
                names << option.name;
        }
    }
    // What a panel's wiring asks for, which a preset chosen after the user's own resets.
    for (const char *wiring : {"swap-bytes", "color-order"}) {
        if (!names.contains(QLatin1String(wiring)))
            names << QLatin1String(wiring);
    }
    return names;
}

QStringList withPreset(const QStringList &arguments, const PanelPreset &preset)
{
    const DisplayFormat *format = formatOf(preset.arguments);
    const int reads = format ? format->settings : 0;
    QStringList names = presetOptionNames();
    for (const OptionDeclaration &option : optionTable()) {
        if (option.setting && !(option.setting & reads))
            names << QLatin1String(option.name);
    }
    QStringList result = withOptions(withoutOptions(arguments, names), preset.arguments);
    for (const GivenOption &option : givenOptions(preset.defaults)) {
        bool given = false;
        valueOf(result, option.name, &given);
        if (!given)
            result = withOptions(result, option.words);
    }
    return result;
}
