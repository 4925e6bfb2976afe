#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// A setting of the studio is an argument list of quillon-convert ({"--format", "mono", "--fit",
// "128x64", "--invert"}); presets and mendings are argument lists too. These split such a list into
// its options, each with the words it took, as quillon-convert's parser reads them through its
// option table ("--fit 128x64", "--fit=128x64", "-o DIR", "-oDIR", "-fo DIR" alike), and put lists
// together, one option replacing another of its name.

struct GivenOption
{
    QString name; // its long name ("output" for -o); for a word that names no option, the word
    QStringList
        words; // as given: "--fit", "128x64"; or "--fit=128x64"; a compacted "-fo DIR" as "-f", "-o", "DIR"
};

// The options of `arguments` in their order; the pictures (the words that are no option, and every
// word after "--") into `pictures` when given.
QVector<GivenOption> givenOptions(const QStringList &arguments, QStringList *pictures = nullptr);

// The value a given option took ("128x64" of "--fit 128x64" or "--fit=128x64"), empty for a switch.
QString optionValue(const GivenOption &option);

// The last value given to the option of that long name in `arguments`; `given` false when it is not
// given.
QString valueOf(const QStringList &arguments, const QString &name, bool *given = nullptr);

// `arguments` without the options of those long names.
QStringList withoutOptions(const QStringList &arguments, const QStringList &names);

// `arguments` with `options` added after them, each option of `options` first removed from
// `arguments` (all its values): a mending or a preset applied over what the user set.
QStringList withOptions(const QStringList &arguments, const QStringList &options);
