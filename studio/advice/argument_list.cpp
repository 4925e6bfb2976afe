#include "argument_list.h"

#include "option_table.h"

namespace {

const OptionDeclaration *optionOfLetter(QChar letter)
{
    for (const OptionDeclaration &option : optionTable()) {
        if (option.shortName && letter == QLatin1Char(option.shortName))
            return &option;
    }
    return nullptr;
}

QStringList namesOf(const QStringList &options)
{
    QStringList names;
    for (const GivenOption &option : givenOptions(options))
        names << option.name;
    return names;
}

} // namespace

QVector<GivenOption> givenOptions(const QStringList &arguments, QStringList *pictures)
{
    QVector<GivenOption> options;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &word = arguments[i];
        if (word == QLatin1String("--")) {
            if (pictures)
                *pictures << arguments.mid(i + 1);
            break;
        }
        if (word.startsWith(QLatin1String("--"))) {
            GivenOption given {word.mid(2).section(QLatin1Char('='), 0, 0), {word}};
            const OptionDeclaration *declared = findOption(given.name);
            if (declared && declared->valueName && !word.contains(QLatin1Char('='))
                && i + 1 < arguments.size())
                given.words << arguments[++i];
            options << given;
            continue;
        }
        if (word.size() < 2 || !word.startsWith(QLatin1Char('-'))) {
            if (pictures)
                *pictures << word;
            continue;
        }
        // Short options, compacted or not: a letter that takes a value takes the rest of the word,
        // or the next word.
        for (int letter = 1; letter < word.size(); ++letter) {
            const OptionDeclaration *declared = optionOfLetter(word[letter]);
            GivenOption given {declared ? QLatin1String(declared->name) : word.mid(letter, 1),
                               {QStringLiteral("-") + word[letter]}};
            if (declared && declared->valueName) {
                if (letter + 1 < word.size())
                    given.words << word.mid(letter + 1);
                else if (i + 1 < arguments.size())
                    given.words << arguments[++i];
                options << given;
                break;
            }
            options << given;
        }
    }
    return options;
}

QString optionValue(const GivenOption &option)
{
    if (option.words.size() > 1)
        return option.words.last();
    const QString &word = option.words.first();
    return word.startsWith(QLatin1String("--")) && word.contains(QLatin1Char('='))
        ? word.section(QLatin1Char('='), 1)
        : QString();
}

QString valueOf(const QStringList &arguments, const QString &name, bool *given)
{
    QString value;
    bool found = false;
    for (const GivenOption &option : givenOptions(arguments)) {
        if (option.name == name) {
            value = optionValue(option);
            found = true;
        }
    }
    if (given)
        *given = found;
    return value;
}

QStringList withoutOptions(const QStringList &arguments, const QStringList &names)
{
    QStringList kept;
    QStringList pictures;
    for (const GivenOption &option : givenOptions(arguments, &pictures)) {
        if (!names.contains(option.name))
            kept << option.words;
    }
    if (!pictures.isEmpty())
        kept << QStringLiteral("--") << pictures;
    return kept;
}

QStringList withOptions(const QStringList &arguments, const QStringList &options)
{
    const QStringList names = namesOf(options);
    QStringList result;
    QStringList pictures;
    for (const GivenOption &option : givenOptions(arguments, &pictures)) {
        if (!names.contains(option.name))
            result << option.words;
    }
    result << options;
    if (!pictures.isEmpty())
        result << QStringLiteral("--") << pictures;
    return result;
}
