#include "help_text.h"

#include "display_formats.h"
#include "lvgl_colour_formats.h"
#include "option_table.h"
#include "option_values.h"
#include "options.h"
#include "product.h"

#include <algorithm>

QString optionSynopsis(const OptionDeclaration &option)
{
    QString synopsis
        = option.shortName ? QStringLiteral("-%1, ").arg(QLatin1Char(option.shortName)) : QString();
    synopsis += QStringLiteral("--") + QLatin1String(option.name);
    if (option.valueName)
        synopsis += QLatin1Char('=') + QCoreApplication::translate("Options", option.valueName);
    return synopsis;
}

QStringList optionFormats(const OptionDeclaration &option)
{
    QStringList names;
    if (option.setting) {
        for (const QByteArray &name : formatsReading(DisplayFormat::Setting(option.setting)))
            names << QLatin1String(name);
    }
    return names;
}

// --lvgl-cf's list, from the table of LVGL's colour formats: the default told after RGB565, the
// LVGL 9 that a run of formats needs after the last of them, the alpha-only formats after the last.
QString lvglColourFormatsHelp()
{
    const QVector<LvglColourFormatRow> &rows = lvglColourFormats();
    QStringList words;
    for (int i = 0; i < rows.size(); ++i) {
        const LvglColourFormatRow &row = rows[i];
        const LvglColourFormatRow *next = i + 1 < rows.size() ? &rows[i + 1] : nullptr;
        QString word = QLatin1String(row.name);
        if (row.id == LvglColourFormat::Rgb565)
            word = Options::tr("%1 (par défaut, %2 si l'image n'est pas opaque)")
                       .arg(word, QLatin1String(lvglColourFormatRow(LvglColourFormat::Rgb565A8).name));
        if (row.lvgl9Minor && (!next || next->lvgl9Minor != row.lvgl9Minor))
            word += QStringLiteral(" (LVGL 9.%1)").arg(row.lvgl9Minor);
        if (row.alphaOnly && (!next || !next->alphaOnly))
            word = Options::tr("%1 (l'alpha seul)").arg(word);
        words << word;
    }
    return joinedWithOr(words);
}

QString optionHelp(const OptionDeclaration &option)
{
    QString help = QCoreApplication::translate("Options", option.help);
    if (qstrcmp(option.name, "progmem") == 0) {
        QStringList ordinaryMemory;
        for (const DisplayFormat &format : displayFormats()) {
            if (!format.flashOnAvr)
                ordinaryMemory << QLatin1String(format.name);
        }
        help = help.arg(joinedWithAnd(ordinaryMemory));
    }
    if (qstrcmp(option.name, "lvgl-cf") == 0)
        help = help.arg(lvglColourFormatsHelp());
    // A number's range and default, as its row declares them.
    if (option.isNumber && help.contains(QLatin1String("%1")))
        help = help.arg(QString::number(option.minimum), QString::number(option.maximum),
                        QString::number(option.byDefault));
    const QStringList formats = optionFormats(option);
    if (!formats.isEmpty())
        help = Options::tr("avec %1 : %2").arg(joinedWithOr(formats), help);
    return help;
}

QString formatHelp(const DisplayFormat *format)
{
    return format ? QCoreApplication::translate("DisplayFormat", format->help)
                  : Options::tr("les octets du fichier BMP, comme la fenêtre (par défaut)");
}

namespace {

// `text` broken into lines of at most `width` columns, each after `indent` spaces; the first
// line follows `first` when it leaves room, else has one of its own. A word longer than a line
// stays whole.
QString wrapped(const QString &first, const QString &text, int indent, int width)
{
    const QString margin(indent, QLatin1Char(' '));
    QString out;
    QString line = margin;
    if (first.size() < indent)
        line = first.leftJustified(indent, QLatin1Char(' '));
    else
        out = first + QLatin1Char('\n');
    bool empty = true;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!empty && line.size() + 1 + word.size() > width) {
            out += line + QLatin1Char('\n');
            line = margin;
            empty = true;
        }
        if (!empty)
            line += QLatin1Char(' ');
        line += word;
        empty = false;
    }
    return out + line + QLatin1Char('\n');
}

} // namespace

QString helpText(const QString &usage)
{
    constexpr int width = 79;
    QString text = !usage.isEmpty()
        ? usage
        : Options::tr("Utilisation : quillon-convert [OPTION]... IMAGE...\n"
                      "Convertit chaque IMAGE (PNG, BMP, GIF, JPEG...) en une image BMP 16 bits (RVB 5-6-5)\n"
                      "NOM16bits.BMP et en un fichier d'en-tête C NOM.h qui contient les octets de ce BMP,\n"
                      "exactement comme la fenêtre de Quillon. Chaque tableau porte le nom de son image,\n"
                      "fait identifiant C (« mon icône.png » donne mon_ic__ne, « 8x8.png » _8x8) ;\n"
                      "avec --name logo, les deux fichiers sont ceux de la fenêtre.\n"
                      "\n");
    for (const OptionDeclaration &option : optionTable()) {
        const QString synopsis
            = (option.shortName ? QStringLiteral("  ") : QStringLiteral("      ")) + optionSynopsis(option);
        text += wrapped(synopsis, optionHelp(option), 24, width);
    }
    text += Options::tr("\nFormats de --format :\n");
    QVector<const DisplayFormat *> formats {nullptr};
    for (const DisplayFormat &format : displayFormats())
        formats << &format;
    std::stable_sort(formats.begin() + 1, formats.end(),
                     [](const DisplayFormat *a, const DisplayFormat *b) { return a->family < b->family; });
    for (const DisplayFormat *format : formats)
        text += wrapped(QStringLiteral("  ") + QLatin1String(format ? format->name : "bmp"),
                        formatHelp(format), 17, width);
    text += Options::tr("\n"
                        "L'image est façonnée dans cet ordre : --crop, --rotate, --flip, --fit, --canvas.\n"
                        "\n"
                        "Hors bmp, chaque en-tête a une garde et des tableaux static const : il se\n"
                        "compile en C et en C++, dans plusieurs fichiers d'un programme.\n"
                        "\n"
                        "Plusieurs images sont converties en parallèle, sur tous les cœurs ; une dernière\n"
                        "ligne compte alors les images converties, ignorées et en échec.\n"
                        "\n"
                        "Code de sortie : 0 si toutes les images ont été converties, 1 si l'une d'elles\n"
                        "ne l'a pas été, 2 si la ligne de commande est incorrecte, 130 ou 143 si elle a\n"
                        "été interrompue.\n");
    return text;
}

QString versionText(const QString &program)
{
    return QStringLiteral("%1 (%2) %3\n")
        .arg(program, QLatin1String(Quillon::productName), QLatin1String(Quillon::productVersion));
}
