#pragma once

#include <QCoreApplication>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>

// The studio's presets for common panels: one choice sets the format, the size, the byte order and
// the library whose drawing line the studio highlights, as the README's display tables say each
// display takes its arrays. Each is an argument list of quillon-convert.
//
// Every preset fits the picture to the panel and places it on a canvas of the panel's size
// (--fit WxH --fit-mode contain --upscale --canvas WxH): the array is the panel's size, the picture
// as large as the panel lets it be, enlarged when smaller, never deformed, the rest background
// (black, the unlit colour of an OLED and of a colour panel; white on e-paper, whose paper it is).
struct PanelPreset
{
    QString id; // "ssd1306-128x64", stable, for settings files and tests
    QString name; // shown, translated (French source, context "PanelPresets")
    QSize size; // the panel's pixels
    // What it sets: --format, --fit WxH with --fit-mode, --upscale and --canvas, --swap-bytes...
    QStringList arguments;
    QString library; // the drawing library: "Adafruit GFX", "u8g2", "TFT_eSPI", "GxEPD2", "Waveshare", "LVGL"
    bool round = false; // GC9A01: the corners outside the circle are not on the panel
    // Options set only when the user's arguments do not give them (e-paper's white background), and
    // kept when another preset is chosen.
    QStringList defaults;
    QString help; // what it does with the picture, translated
    // The line that draws the array with `library`, NAME standing for the array's name, when the
    // format's header gives none for that library (GxEPD2's line of a black and white panel's mono
    // array); empty otherwise.
    QString drawing;

    Q_DECLARE_TR_FUNCTIONS(PanelPresets)
};

// Every preset, in the order the studio lists them; translated when first asked, so asked once the
// translator is installed.
const QVector<PanelPreset> &panelPresets();
// The preset of that id, or nullptr.
const PanelPreset *findPanelPreset(const QString &id);

// Options a preset sets (--format, --fit, --fit-mode, --upscale, --canvas, --swap-bytes,
// --color-order, --lvgl-version...), so that choosing another preset first removes them (the rest of
// the user's settings stay).
QStringList presetOptionNames();

// `arguments` with `preset` chosen: the options any preset sets removed, and those of the user's
// options that the preset's format does not read (--invert going to rgb565, --swap-bytes to mono),
// which quillon-convert would refuse; then the preset's arguments, and its defaults the user did not
// give. --dither, --threshold, --background... stay when the format reads them.
QStringList withPreset(const QStringList &arguments, const PanelPreset &preset);
