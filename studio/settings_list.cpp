#include "settings_list.h"

#include "argument_list.h"
#include "option_table.h"
#include "options.h"

namespace SettingsList {

QStringList canonical(const QStringList &arguments)
{
    QStringList given = givenArguments(QStringList {QStringLiteral("quillon-studio")} + arguments);
    return given.mid(0, given.indexOf(QStringLiteral("--")));
}

bool has(const QStringList &arguments, const QString &option)
{
    bool given = false;
    valueOf(arguments, option, &given);
    return given;
}

QString value(const QStringList &arguments, const QString &option)
{
    return valueOf(arguments, option);
}

QStringList without(const QStringList &arguments, const QString &option)
{
    return withoutOptions(arguments, {option});
}

QStringList with(const QStringList &arguments, const QString &option, const QString &value)
{
    const OptionDeclaration *declared = findOption(option);
    QStringList words {QStringLiteral("--") + option};
    if (declared && declared->valueName)
        words << value;
    return canonical(withOptions(arguments, words));
}

QStringList applied(const QStringList &arguments, const QStringList &changes)
{
    return canonical(withOptions(arguments, changes));
}

QStringList optionNames(const QStringList &arguments)
{
    QStringList names;
    for (const GivenOption &option : givenOptions(arguments)) {
        if (!names.contains(option.name))
            names << option.name;
    }
    return names;
}

} // namespace SettingsList
