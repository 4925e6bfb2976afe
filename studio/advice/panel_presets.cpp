#include "panel_presets.h"

#include "argument_list.h"
#include "display_formats.h"
#include "option_table.h"

namespace {

// A row of the table below, its texts French sources.
struct PresetRow
{
    // How the panel shows what lies around the picture, and what more it wants.
    enum Kind {
        Dark, // black, unlit
        Round, // black, the corners outside the circle not on the panel
        Paper, // e-paper: white paper
        PaperDrawnByGxEPD2, // the same, drawn by GxEPD2's line of the preset's own
    };
    const char *id;
    const char *name;
    QSize size;
    const char *format;
    const char *library;
    Kind kind;
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
    using R = PresetRow;
    return {
        // SSD1306 with Adafruit GFX's drawBitmap: mono (README, "Quick start").
        {/* id = */ "ssd1306-128x64", /* name = */ QT_TRANSLATE_NOOP("PanelPresets", "OLED SSD1306 128 x 64"),
         /* size = */ {128, 64},
         /* format = */ "mono", /* library = */ "Adafruit GFX", /* kind = */ R::Dark},
        {/* id = */ "ssd1306-128x32", /* name = */ QT_TRANSLATE_NOOP("PanelPresets", "OLED SSD1306 128 x 32"),
         /* size = */ {128, 32},
         /* format = */ "mono", /* library = */ "Adafruit GFX", /* kind = */ R::Dark},
        // SH1106 with u8g2's drawXBMP: xbm.
        {/* id = */ "sh1106-128x64", /* name = */ QT_TRANSLATE_NOOP("PanelPresets", "OLED SH1106 128 x 64"),
         /* size = */ {128, 64},
         /* format = */ "xbm", /* library = */ "u8g2", /* kind = */ R::Dark},
        // Colour panels with TFT_eSPI: rgb565 in the firmware's order, drawn after setSwapBytes(true) as the
        // header's line says.
        {/* id = */ "st7735-160x128", /* name = */ QT_TRANSLATE_NOOP("PanelPresets", "ST7735 160 x 128"),
         /* size = */ {160, 128},
         /* format = */ "rgb565", /* library = */ "TFT_eSPI", /* kind = */ R::Dark},
        {/* id = */ "st7789-240x240", /* name = */ QT_TRANSLATE_NOOP("PanelPresets", "ST7789 240 x 240"),
         /* size = */ {240, 240},
         /* format = */ "rgb565", /* library = */ "TFT_eSPI", /* kind = */ R::Dark},
        {/* id = */ "st7789-320x240", /* name = */ QT_TRANSLATE_NOOP("PanelPresets", "ST7789 320 x 240"),
         /* size = */ {320, 240},
         /* format = */ "rgb565", /* library = */ "TFT_eSPI", /* kind = */ R::Dark},
        {/* id = */ "ili9341-320x240", /* name = */ QT_TRANSLATE_NOOP("PanelPresets", "ILI9341 320 x 240"),
         /* size = */ {320, 240},
         /* format = */ "rgb565", /* library = */ "TFT_eSPI", /* kind = */ R::Dark},
        {/* id = */ "gc9a01-240x240",
         /* name = */ QT_TRANSLATE_NOOP("PanelPresets", "GC9A01 240 x 240 (rond)"), /* size = */ {240, 240},
         /* format = */ "rgb565", /* library = */ "TFT_eSPI", /* kind = */ R::Round},
        // Black and white e-paper: mono, 1 white and 0 black as GxEPD2's buffers hold them; black, white
        // and red: epd-bw-red's planes.
        {/* id = */ "epaper-2.13-bw",
         /* name = */ QT_TRANSLATE_NOOP("PanelPresets", "E-paper 2,13\" 250 x 122, noir et blanc"),
         /* size = */ {250, 122},
         /* format = */ "mono", /* library = */ "GxEPD2", /* kind = */ R::PaperDrawnByGxEPD2},
        {/* id = */ "epaper-2.13-bwr",
         /* name = */ QT_TRANSLATE_NOOP("PanelPresets", "E-paper 2,13\" 250 x 122, noir, blanc et rouge"),
         /* size = */ {250, 122},
         /* format = */ "epd-bw-red", /* library = */ "GxEPD2", /* kind = */ R::Paper},
        {/* id = */ "epaper-2.9-bw",
         /* name = */ QT_TRANSLATE_NOOP("PanelPresets", "E-paper 2,9\" 296 x 128, noir et blanc"),
         /* size = */ {296, 128},
         /* format = */ "mono", /* library = */ "GxEPD2", /* kind = */ R::PaperDrawnByGxEPD2},
        {/* id = */ "epaper-2.9-bwr",
         /* name = */ QT_TRANSLATE_NOOP("PanelPresets", "E-paper 2,9\" 296 x 128, noir, blanc et rouge"),
         /* size = */ {296, 128},
         /* format = */ "epd-bw-red", /* library = */ "GxEPD2", /* kind = */ R::Paper},
        {/* id = */ "epaper-4.2-bw",
         /* name = */ QT_TRANSLATE_NOOP("PanelPresets", "E-paper 4,2\" 400 x 300, noir et blanc"),
         /* size = */ {400, 300},
         /* format = */ "mono", /* library = */ "GxEPD2", /* kind = */ R::PaperDrawnByGxEPD2},
        {/* id = */ "epaper-4.2-bwr",
         /* name = */ QT_TRANSLATE_NOOP("PanelPresets", "E-paper 4,2\" 400 x 300, noir, blanc et rouge"),
         /* size = */ {400, 300},
         /* format = */ "epd-bw-red", /* library = */ "GxEPD2", /* kind = */ R::Paper},
        // Seven-colour ACeP panels: epd7.
        {/* id = */ "epaper-5.65-7c",
         /* name = */ QT_TRANSLATE_NOOP("PanelPresets", "E-paper 5,65\" 600 x 448, sept couleurs"),
         /* size = */ {600, 448},
         /* format = */ "epd7", /* library = */ "GxEPD2", /* kind = */ R::Paper},
        {/* id = */ "epaper-7.3-7c",
         /* name = */ QT_TRANSLATE_NOOP("PanelPresets", "E-paper 7,3\" 800 x 480, sept couleurs"),
         /* size = */ {800, 480},
         /* format = */ "epd7", /* library = */ "GxEPD2", /* kind = */ R::Paper},
        // An LVGL 9 screen of 320 x 240, its image descriptor in LVGL's default colour format.
        {/* id = */ "lvgl-320x240", /* name = */ QT_TRANSLATE_NOOP("PanelPresets", "Écran LVGL 9, 320 x 240"),
         /* size = */ {320, 240},
         /* format = */ "lvgl", /* library = */ "LVGL", /* kind = */ R::Dark},
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
            const bool paper = row.kind == PresetRow::Paper || row.kind == PresetRow::PaperDrawnByGxEPD2;
            PanelPreset preset;
            preset.id = QLatin1String(row.id);
            preset.name = PanelPreset::tr(row.name);
            preset.size = row.size;
            preset.arguments
                = QStringList {"--format", row.format,  "--fit",    sizeText(row.size), "--fit-mode",
                               "contain",  "--upscale", "--canvas", sizeText(row.size)};
            if (qstrcmp(row.format, "lvgl") == 0)
                preset.arguments << "--lvgl-version"
                                 << "9";
            preset.library = QLatin1String(row.library);
            preset.round = row.kind == PresetRow::Round;
            if (paper)
                preset.defaults = QStringList {"--background", "white"};
            preset.help = PanelPreset::tr(paper ? fillsThePaper : fillsThePanel)
                              .arg(row.size.width())
                              .arg(row.size.height());
            if (preset.round)
                preset.help += QLatin1Char(' ') + PanelPreset::tr(roundPanel);
            if (row.kind == PresetRow::PaperDrawnByGxEPD2) {
                preset.drawing = QLatin1String(gxepd2Mono);
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
