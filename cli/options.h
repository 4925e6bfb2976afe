#pragma once

#include "display_formats.h"
#include "picture_job.h"

#include <QByteArrayList>
#include <QCoreApplication>
#include <QString>
#include <QStringList>

// The command line of quillon-convert, parsed the GNU way by QCommandLineParser: options and
// pictures in any order, "-o DIR", "-oDIR", "--output DIR" and "--output=DIR" alike, bundled
// short options ("-fo DIR"), and "--" before names that begin with a dash.
struct Options
{
    enum Action { Convert, Decode, ShowHelp, ShowVersion, UsageError };
    Action action = Convert;
    // What every picture's job shares: the folder of -o (empty: each picture's own) and every
    // setting; the picture, its array's name and its folder are each job's.
    PictureJob job;
    QStringList pictures;
    QByteArrayList arrayNames; // each picture's, given by --name or after its file
    bool verbose = false; // each file written told on standard error
    // With --bundle: the name of the header that holds every picture (bundle_table.h); empty
    // without it, each picture then in its own header.
    QByteArray bundle;
    // --decode: the pictures are headers to read back; with --format, arrays of another tool of this size.
    QSize decodeSize;
    QString error; // what was wrong, for UsageError

    Q_DECLARE_TR_FUNCTIONS(Options) // the messages and the help, in French, translated
};

Options parseOptions(const QStringList &arguments);

// The array name of a picture without --name, by the CMake function's rule: its file name
// without the last extension, each byte that is not an ASCII letter, digit or _ made a _, and a
// leading digit prefixed with _ ("my icon.png" gives my_icon, "8x8.png" _8x8).
QByteArray arrayNameOf(const QString &picturePath);

// The identifiers that a picture's header may define for the array `arrayName`: the array, the size
// macros and the other arrays and macros of every format; with `frames`, the tables and macros of
// a header of frames too; with `coded` (--compress rle), the coded arrays and their sizes
// (NAME_rle, NAME_size, NAME_mask_rle...). (Its include guard, named after its file, begins with
// QUILLON_, which no array name does.)
QByteArrayList definedIdentifiers(const QByteArray &arrayName, bool frames = false, bool coded = false);
// Whether `identifier` is one of the arrays that a header of frames of `arrayName` defines for each
// frame: NAME_frame0, NAME_frame12_mask... (numbered from 0 up to 999), NAME_frame0_rle... when
// `coded`.
bool isFrameArrayName(const QByteArray &identifier, const QByteArray &arrayName, bool coded = false);

// Why `name` cannot name a C array, in French; empty when it can. Keywords, the C library's
// built-in functions and names that the header's includes define are refused: <stdint.h>'s,
// and with `progmem` (the arrays in AVR program memory) those of <avr/pgmspace.h> and what it
// includes; those that the format's own includes define (lvgl.h's for LVGL).
QString arrayNameProblem(const QString &name, bool progmem, const DisplayFormat *format);

// One option of quillon-convert, declared once: the parser, --help and the manual pages read it.
// parseOptions() reads what it sets, in a fixed order, so that the first of several mistakes is
// the one told.
struct OptionDeclaration
{
    const char *name; // its long name
    char shortName; // its one-letter name, 0 for none
    const char *valueName; // what it takes, nullptr for nothing
    // What it does, in French; valueName and help are translated in the context "Options".
    const char *help;
    // The setting of the formats it gives (DisplayFormat::Setting), refused with the formats that
    // do not read it; 0 for an option of every format.
    int setting;
};
const QVector<OptionDeclaration> &optionTable();

// "-o, --output=DOSSIER", as the help and the manual pages show an option, translated.
QString optionSynopsis(const OptionDeclaration &option);
// What the help says of an option, translated: its text, after "avec " and the formats that
// take it when only some do.
QString optionHelp(const OptionDeclaration &option);
// The format's line of help, translated; nullptr: bmp's.
QString formatHelp(const DisplayFormat *format);

QString helpText();
QString versionText();
