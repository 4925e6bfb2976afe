#include "manual_page.h"

#include "display_formats.h"
#include "options.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace {

// Text as a roff text line: backslashes and dashes escaped, a leading dot or quote made text.
QString roffText(QString text)
{
    text.replace(QLatin1Char('\\'), QLatin1String("\\e")).replace(QLatin1Char('-'), QLatin1String("\\-"));
    if (text.startsWith(QLatin1Char('.')) || text.startsWith(QLatin1Char('\'')))
        text.prepend(QLatin1String("\\&"));
    return text;
}

// "-o, --output=DOSSIER" as roff: the names in bold, a value to replace in italics, a literal
// value ("mask", "8|9") in roman.
QString roffSynopsis(const OptionDeclaration &option)
{
    QString line = QStringLiteral(".BR ");
    if (option.shortName)
        line += QStringLiteral("\\-%1 \", \" ").arg(QLatin1Char(option.shortName));
    line += roffText(QStringLiteral("--") + QLatin1String(option.name));
    if (!option.valueName)
        return option.shortName ? line : QStringLiteral(".B ") + line.mid(4);
    const QString value = QCoreApplication::translate("Options", option.valueName);
    const bool literal = value.contains(QLatin1Char('|')) || value == value.toLower();
    return line + (literal ? QStringLiteral(" =%1") : QStringLiteral(" =\\fI%1\\fR")).arg(roffText(value));
}

QStringList optionEntries()
{
    QStringList lines;
    for (const OptionDeclaration &option : optionTable())
        lines << QStringLiteral(".TP") << roffSynopsis(option) << roffText(optionHelp(option));
    return lines;
}

QStringList formatEntries()
{
    QVector<const DisplayFormat *> formats {nullptr};
    for (const DisplayFormat &format : displayFormats())
        formats << &format;
    std::stable_sort(formats.begin() + 1, formats.end(),
                     [](const DisplayFormat *a, const DisplayFormat *b) { return a->family < b->family; });
    QStringList lines;
    for (const DisplayFormat *format : formats) {
        lines << QStringLiteral(".TP") << QStringLiteral(".B ") + roffText(format ? format->name : "bmp")
              << roffText(formatHelp(format));
    }
    return lines;
}

// "rgb565, index4, index8 ou lvgl :", each format in bold.
QStringList formatsTaking(const QString &optionName)
{
    QStringList names;
    for (const OptionDeclaration &option : optionTable()) {
        if (optionName == QLatin1String(option.name) && option.setting) {
            for (const QByteArray &format : formatsReading(DisplayFormat::Setting(option.setting)))
                names << roffText(QString::fromLatin1(format));
        }
    }
    if (names.isEmpty())
        qFatal("the option --%s is not one that only some formats take", qPrintable(optionName));
    const QString colon = Options::tr(" :", "before what follows a list in the manual")
                              .replace(QLatin1Char(' '), QLatin1String("\\ "));
    QStringList lines;
    for (int i = 0; i < names.size(); ++i) {
        if (i == names.size() - 1)
            lines << QStringLiteral(".BR %1 %2").arg(names[i], colon);
        else if (i == names.size() - 2)
            lines << QStringLiteral(".B ") + names[i] << Options::tr("ou");
        else
            lines << QStringLiteral(".BR %1 ,").arg(names[i]);
    }
    return lines;
}

} // namespace

QString manualPage(const QString &source)
{
    static const QRegularExpression taking("\\A\\.\\\\\" @FORMATS-TAKING ([a-z-]+)@\\z");
    QStringList page;
    for (const QString &line : source.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = taking.match(line);
        if (line == QLatin1String(".\\\" @OPTIONS@"))
            page << optionEntries();
        else if (line == QLatin1String(".\\\" @FORMATS@"))
            page << formatEntries();
        else if (match.hasMatch())
            page << formatsTaking(match.captured(1));
        else
            page << line;
    }
    return page.join(QLatin1Char('\n'));
}
