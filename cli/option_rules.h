#pragma once

#include <QString>

struct GivenOptions;
struct Options;

// The rules across options of quillon-convert: each a condition on what parseOptions() read and
// the message that tells it, in French. They read the settings, never the command line's order.

// Once --format is read: an option given that the format does not take ("--threshold ne
// s'emploie qu'avec --format mono, ..."), --compress with bmp; empty when none is.
QString formatTakingProblem(const Options &options);
// --size without --decode, and with --decode, the options it does not take and how --format and
// --size go together; empty when nothing is wrong.
QString decodeProblem(const Options &options);
// Once every option is read: the first rule the settings break, the names of the arrays among
// them, then the format's own check (DisplayFormat::optionsProblem), which completes what its
// settings imply; empty when none is broken.
QString crossOptionProblem(Options &options);

// The options given whose being given a format's check reads.
GivenOptions givenOptions(const Options &options);
