#include "settings_list.h"

#include "option_table.h"
#include "options.h"

namespace SettingsList {

namespace {

bool takesValue(const QString &option)
{
    const OptionDeclaration *declared = findOption(option);
    return declared && declared->valueName;
}

} // namespace

QStringList canonical(const QStringList &arguments)
{
    QStringList given = givenArguments(QStringList {QStringLiteral("quillon-studio")} + arguments);
    return given.mid(0, given.indexOf(QStringLiteral("--")));
}

bool has(const QStringList &arguments, const QString &option)
{
    return optionNames(arguments).contains(option);
}

QString value(const QStringList &arguments, const QString &option)
{
    const int at = arguments.lastIndexOf(QStringLiteral("--") + option);
    return at >= 0 && takesValue(option) && at + 1 < arguments.size() ? arguments[at + 1] : QString();
}

QStringList without(const QStringList &arguments, const QString &option)
{
    QStringList kept;
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments[i] != QStringLiteral("--") + option) {
            kept << arguments[i];
            continue;
        }
        if (takesValue(option))
            ++i;
    }
    return kept;
}

QStringList with(const QStringList &arguments, const QString &option, const QString &value)
{
    QStringList changed = without(arguments, option);
    changed << QStringLiteral("--") + option;
    if (takesValue(option))
        changed << value;
    return canonical(changed);
}

QStringList applied(const QStringList &arguments, const QStringList &changes)
{
    const QStringList given = canonical(changes);
    QStringList changed = arguments;
    for (const QString &option : optionNames(given))
        changed = without(changed, option);
    return canonical(changed + given);
}

QStringList optionNames(const QStringList &arguments)
{
    QStringList names;
    for (int i = 0; i < arguments.size(); ++i) {
        if (!arguments[i].startsWith(QLatin1String("--")))
            continue;
        const QString option = arguments[i].mid(2);
        if (!names.contains(option))
            names << option;
        if (takesValue(option))
            ++i;
    }
    return names;
}

} // namespace SettingsList
