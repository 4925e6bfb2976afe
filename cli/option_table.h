#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

struct Options;

// One option of quillon-convert, declared once: its names, what it takes, its help, the formats
// that read it and the field it fills, with a number's range and default. parseOptions() reads
// every option given through its row, --help and the manual pages list the rows; a row is written
// as a chain of named setters:
//
//     OptionDeclaration("threshold").takes("N").helps(QT_TRANSLATE_NOOP("Options", "... de %1 à %2"))
//         .onlyWith(DisplayFormat::Threshold)
//         .whole([](Options &o) -> int & { return o.job.encoding.pixels.threshold; }, 0, 255, 128, ...)
//
// A number's help and message take its range (and default) as %1, %2, %3.
struct OptionDeclaration
{
    // Reads the values given to the option (all of them, as given, the last one counting but for
    // --flip) into `options`; tells what is wrong with them in French otherwise.
    using Reader = std::function<QString(const QStringList &values, Options &options)>;

    const char *name; // its long name
    char shortName = 0; // its one-letter name, 0 for none
    const char *valueName = nullptr; // what it takes, nullptr for nothing
    // What it does, in French; valueName and help are translated in the context "Options".
    const char *help = nullptr;
    // The setting of the formats it gives (DisplayFormat::Setting), refused with the formats that
    // do not read it; 0 for an option of every format.
    int setting = 0;
    Reader read; // nullptr: an option read by the parser alone (--help, --version, --decode)
    // Whether it goes with --decode: where the pictures go and how another tool's array reads.
    bool decoding = false;
    // A number's: the values it takes, from `minimum` to `maximum`, and the one its field holds
    // when it is not given. `isNumber` false for the others.
    bool isNumber = false;
    double minimum = 0;
    double maximum = 0;
    double byDefault = 0;
    // What its value is, for a front end that offers each option as a control (the studio): a
    // switch takes none, a number is isNumber's (decimals: the digits after the point it takes),
    // a choice one of `choices()`, a colour, a size WxH, a file, or any other text.
    enum Value { Switch, Number, Choice, Colour, Size, File, Text };
    Value value = Switch;
    int decimals = 0;
    std::function<QStringList()> choices; // a Choice's values, in the order to offer them

    explicit OptionDeclaration(const char *longName, char letter = 0)
        : name(longName)
        , shortName(letter)
    { }
    OptionDeclaration &takes(const char *value, Value kind = Text)
    {
        valueName = value;
        this->value = kind;
        return *this;
    }
    // A value among these, as they are written on the command line.
    OptionDeclaration &choosing(std::function<QStringList()> values)
    {
        valueName = valueName ? valueName : "";
        value = Choice;
        choices = std::move(values);
        return *this;
    }
    OptionDeclaration &helps(const char *text)
    {
        help = text;
        return *this;
    }
    OptionDeclaration &onlyWith(int formatSetting)
    {
        setting = formatSetting;
        return *this;
    }
    OptionDeclaration &reads(Reader reader)
    {
        read = std::move(reader);
        return *this;
    }
    OptionDeclaration &alsoDecoding()
    {
        decoding = true;
        return *this;
    }
    // A switch: sets its field to true.
    OptionDeclaration &sets(bool &(*field)(Options &));
    // A whole number from `low` to `high`, written in decimal digits, with a sign only when the
    // range reaches below 0; `problem` (context "Options", %1 the value) tells one out of it.
    OptionDeclaration &whole(int &(*field)(Options &), int low, int high, int fallback, const char *problem);
    // A plain decimal number (no sign, exponent, infinity or NaN) from `low` to `high`.
    OptionDeclaration &decimal(double &(*field)(Options &), double low, double high, double fallback,
                               const char *problem);
};

// Every option, in the order of the help.
const QVector<OptionDeclaration> &optionTable();
// The row of that long name, or nullptr.
const OptionDeclaration *findOption(const QString &name);
