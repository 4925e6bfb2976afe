#pragma once

#include <QString>
#include <QStringList>

// A picture's settings in the studio are an argument list of quillon-convert, without its
// program, -o, --force or the pictures: {"--format", "mono", "--fit", "128x64", "--invert"}. Each
// option appears once, "--NAME" or "--NAME", "VALUE", in the order of the option table (--flip
// twice for both ways), as givenArguments() writes them; parseOptions() reads it with the
// picture after it. Presets and mendings are argument lists too, applied option by option by the
// advice library's argument_list.h, which these complete.
namespace SettingsList {

// `arguments` written that way (any spelling quillon-convert takes: "--fit=8x8", "-n logo"...).
QStringList canonical(const QStringList &arguments);
bool has(const QStringList &arguments, const QString &option);
// The option's last value; empty when it is not given or takes none.
QString value(const QStringList &arguments, const QString &option);
// With the option given `value` (nothing for a switch) instead of what it had.
QStringList with(const QStringList &arguments, const QString &option, const QString &value = QString());
QStringList without(const QStringList &arguments, const QString &option);
// With every option of `changes` set as it gives it, the others kept.
QStringList applied(const QStringList &arguments, const QStringList &changes);
// The options given, by their long names, in order.
QStringList optionNames(const QStringList &arguments);

} // namespace SettingsList
