#pragma once

#include "array_names.h"
#include "display_formats.h"
#include "help_text.h"
#include "option_table.h"
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
    // What the rules read of the command line beyond the settings: the long names of the options
    // given, in the order of the option table, and --name's and --bundle's names as given.
    QStringList given;
    QString name;
    QString bundleName;
    bool gave(const char *option) const { return given.contains(QLatin1String(option)); }

    Q_DECLARE_TR_FUNCTIONS(Options) // the messages and the help, in French, translated
};

// Reads the command line through the option table (option_table.h): --format first, then, each
// option the format takes, its values into the settings, each field filled by one option (the
// last value of a repeated option wins), then the rules across options (option_rules.h). The
// first mistake found is told.
Options parseOptions(const QStringList &arguments);

// The job of the picture `picture` of parsed options, as quillon-convert runs it: its file, its
// folder (-o's, or the picture's own), its array's name.
PictureJob pictureJobOf(const Options &options, int picture);

// The options of a command line (its program first), each written one way, in the order of the
// option table: "--NAME" for a switch, "--NAME", "VALUE" for the others, the last value of each
// (every value of --flip); then "--" and the pictures. What a front end keeps as a picture's
// settings: parseOptions() reads it as it read the command line. Meant for a command line that
// parseOptions() accepts.
QStringList givenArguments(const QStringList &arguments);

// The messages' language, as the C library chooses it: LC_ALL, else LC_MESSAGES, else LANG.
// French when it is French, English otherwise, "C" included.
bool messagesInFrench();
