#pragma once

#include "display_formats.h"
#include "display_preparation.h"
#include "header_generator.h"

#include <QString>
#include <QStringList>

// The command line of quillon-convert, parsed the GNU way by QCommandLineParser: options and
// pictures in any order, "-o DIR", "-oDIR", "--output DIR" and "--output=DIR" alike, bundled
// short options ("-fo DIR"), and "--" before names that begin with a dash.
struct Options
{
    enum Action { Convert, ShowHelp, ShowVersion, UsageError };
    Action action = Convert;
    QString outputFolder; // empty: each picture's own folder
    bool force = false;
    HeaderOptions header; // the array's name and place, whatever the format
    DisplayOptions display;
    const DisplayFormat *format = nullptr; // nullptr: the BMP file's bytes
    EncodingOptions encoding;
    bool preview = false; // also write NAME16bits.png, the picture as the display shows it
    QStringList pictures;
    QString error; // what was wrong, for UsageError
};

Options parseOptions(const QStringList &arguments);

// Why `name` cannot name a C array, in French; empty when it can. Names that the header's
// includes define are refused too: <stdint.h>'s, and with `progmem` those of <avr/pgmspace.h>
// and what it includes; for LVGL, lvgl.h's.
QString arrayNameProblem(const QString &name, bool progmem, bool lvgl);

QString helpText();
QString versionText();
