#include "options.h"

#include "product.h"

#include <QColor>
#include <QCommandLineParser>
#include <QRegularExpression>
#include <QSet>

namespace {

Options usageError(const QString &message)
{
    Options options;
    options.action = Options::UsageError;
    options.error = message;
    return options;
}

// What QCommandLineParser reports in English, said in French.
QString parserError(const QCommandLineParser &parser)
{
    if (!parser.unknownOptionNames().isEmpty()) {
        const QString name = parser.unknownOptionNames().first();
        return QString::fromUtf8("option inconnue « %1%2 »").arg(name.size() == 1 ? "-" : "--", name);
    }
    // "Missing value after '-o'."
    const QString option = QRegularExpression("'([^']*)'").match(parser.errorText()).captured(1);
    const QString what = option == "-o" || option == "--output" ? QString::fromUtf8("un dossier")
        : option == "-n" || option == "--name"                  ? QString::fromUtf8("un nom")
                                                                : QString::fromUtf8("une valeur");
    return QString::fromUtf8("l'option « %1 » attend %2").arg(option, what);
}

// The keywords of C (up to C23) and C++ (up to C++20), which cannot name an array.
const QSet<QString> &keywords()
{
    static const QSet<QString> words = [] {
        const QString list = QStringLiteral(
            "alignas alignof and and_eq asm auto bitand bitor bool break case catch char char8_t "
            "char16_t char32_t class compl concept const consteval constexpr constinit const_cast "
            "continue co_await co_return co_yield decltype default delete do double dynamic_cast "
            "else enum explicit export extern false float for friend goto if inline int long "
            "mutable namespace new noexcept not not_eq nullptr operator or or_eq private protected "
            "public register reinterpret_cast requires restrict return short signed sizeof static "
            "static_assert static_cast struct switch template this thread_local throw true try "
            "typedef typeid typename typeof typeof_unqual union unsigned using virtual void volatile "
            "wchar_t while xor xor_eq _Alignas _Alignof _Atomic _BitInt _Bool _Complex _Decimal128 "
            "_Decimal32 _Decimal64 _Generic _Imaginary _Noreturn _Static_assert _Thread_local");
        const QStringList split = list.split(QLatin1Char(' '));
        return QSet<QString>(split.begin(), split.end());
    }();
    return words;
}

} // namespace

QString arrayNameProblem(const QString &name)
{
    if (name.isEmpty())
        return QString::fromUtf8("le nom du tableau est vide");
    if (!QRegularExpression("\\A[A-Za-z_][A-Za-z0-9_]*\\z").match(name).hasMatch()) {
        return name.front().isDigit()
            ? QString::fromUtf8("le nom « %1 » commence par un chiffre").arg(name)
            : QString::fromUtf8("le nom « %1 » n'est pas un identifiant C (lettres ASCII, "
                                "chiffres et _ seulement)")
                  .arg(name);
    }
    if (keywords().contains(name))
        return QString::fromUtf8("le nom « %1 » est un mot réservé du C ou du C++").arg(name);
    return QString();
}

Options parseOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    const QCommandLineOption help(QStringList {"h", "help"});
    const QCommandLineOption version(QStringList {"V", "version"});
    const QCommandLineOption output(QStringList {"o", "output"}, QString(), "DOSSIER");
    const QCommandLineOption force(QStringList {"f", "force"});
    const QCommandLineOption name(QStringList {"n", "name"}, QString(), "NOM");
    const QCommandLineOption progmem("progmem");
    const QCommandLineOption format("format", QString(), "FORMAT");
    const QCommandLineOption swapBytes("swap-bytes");
    const QCommandLineOption fit("fit", QString(), "LxH");
    const QCommandLineOption dither("dither");
    const QCommandLineOption background("background", QString(), "COULEUR");
    const QCommandLineOption preview("preview");
    parser.addOptions(
        {help, version, output, force, name, progmem, format, swapBytes, fit, dither, background, preview});
    if (!parser.parse(arguments))
        return usageError(parserError(parser));

    Options options;
    if (parser.isSet(help)) {
        options.action = Options::ShowHelp;
        return options;
    }
    if (parser.isSet(version)) {
        options.action = Options::ShowVersion;
        return options;
    }
    options.force = parser.isSet(force);
    options.pictures = parser.positionalArguments();
    if (options.pictures.isEmpty())
        return usageError(QString::fromUtf8("aucune image indiquée"));
    if (parser.isSet(output)) {
        options.outputFolder = parser.values(output).constLast();
        if (options.outputFolder.isEmpty())
            return usageError(QString::fromUtf8("le dossier de destination est vide"));
    }
    if (parser.isSet(name)) {
        const QString arrayName = parser.values(name).constLast();
        const QString problem = arrayNameProblem(arrayName);
        if (!problem.isEmpty())
            return usageError(QString::fromUtf8("--name : %1").arg(problem));
        options.header.arrayName = arrayName.toLatin1();
    }
    options.header.progmem = parser.isSet(progmem);
    if (parser.isSet(format)) {
        const QString value = parser.values(format).constLast();
        if (value == QLatin1String("rgb565"))
            options.header.content = HeaderOptions::Rgb565Pixels;
        else if (value != QLatin1String("bmp"))
            return usageError(
                QString::fromUtf8("--format : format inconnu « %1 » (bmp ou rgb565)").arg(value));
    }
    options.header.swapBytes = parser.isSet(swapBytes);
    if (options.header.swapBytes && options.header.content != HeaderOptions::Rgb565Pixels)
        return usageError(QString::fromUtf8("--swap-bytes ne s'emploie qu'avec --format rgb565"));
    if (parser.isSet(fit)) {
        const QString value = parser.values(fit).constLast();
        const QRegularExpressionMatch size
            = QRegularExpression("\\A([0-9]{1,5})x([0-9]{1,5})\\z").match(value);
        options.display.fit
            = size.hasMatch() ? QSize(size.captured(1).toInt(), size.captured(2).toInt()) : QSize();
        if (options.display.fit.isEmpty())
            return usageError(
                QString::fromUtf8("--fit : « %1 » n'est pas une taille LARGEURxHAUTEUR (par exemple 128x64)")
                    .arg(value));
    }
    options.display.dither = parser.isSet(dither);
    if (parser.isSet(background)) {
        const QString value = parser.values(background).constLast();
        options.display.background = QColor(value);
        if (!QColor::isValidColor(value) || options.display.background.alpha() != 255)
            return usageError(
                QString::fromUtf8("--background : couleur inconnue « %1 » (#rrvvbb ou un nom de couleur)")
                    .arg(value));
    }
    options.preview = parser.isSet(preview);
    return options;
}

QString helpText()
{
    return QString::fromUtf8(
        "Utilisation : quillon-convert [OPTION]... IMAGE...\n"
        "Convertit chaque IMAGE (PNG, BMP, GIF, JPEG...) en une image BMP 16 bits (RVB 5-6-5)\n"
        "NOM16bits.BMP et en un fichier d'en-tête C NOM.h qui contient les octets de ce BMP,\n"
        "exactement comme la fenêtre de Quillon.\n"
        "\n"
        "  -o, --output=DOSSIER  écrit les fichiers dans DOSSIER\n"
        "                        (par défaut : le dossier de chaque image)\n"
        "  -f, --force           remplace les fichiers qui existent déjà\n"
        "  -n, --name=NOM        nomme le tableau NOM au lieu de logo (un identifiant C)\n"
        "      --progmem         place le tableau en mémoire programme AVR (PROGMEM) ;\n"
        "                        32 767 octets au plus, environ 128 x 127 pixels\n"
        "      --format=FORMAT   ce que contient le tableau : bmp (par défaut), les octets\n"
        "                        du fichier BMP, ou rgb565, les pixels en valeurs 16 bits\n"
        "                        de la ligne du haut à celle du bas, avec NOM_width et\n"
        "                        NOM_height\n"
        "      --swap-bytes      avec --format rgb565 : échange les deux octets de chaque\n"
        "                        valeur, pour les écrans qui reçoivent l'octet fort d'abord\n"
        "      --fit=LxH         réduit l'image (sans jamais l'agrandir) pour qu'elle tienne\n"
        "                        dans L x H pixels, en gardant ses proportions\n"
        "      --dither          diffuse l'erreur (Floyd-Steinberg) au lieu de tronquer\n"
        "                        chaque couleur à 5 ou 6 bits\n"
        "      --background=COULEUR\n"
        "                        pose les pixels transparents sur COULEUR (#rrvvbb ou\n"
        "                        un nom de couleur) au lieu du noir\n"
        "      --preview         écrit aussi NOM16bits.png, l'image telle que l'écran\n"
        "                        l'affichera\n"
        "  -h, --help            affiche cette aide et quitte\n"
        "  -V, --version         affiche la version et quitte\n"
        "\n"
        "Plusieurs images sont converties en parallèle, sur tous les cœurs.\n"
        "\n"
        "Code de sortie : 0 si toutes les images ont été converties, 1 si l'une d'elles\n"
        "ne l'a pas été, 2 si la ligne de commande est incorrecte.\n");
}

QString versionText()
{
    return QStringLiteral("quillon-convert (%1) %2\n")
        .arg(QLatin1String(Quillon::productName), QLatin1String(Quillon::productVersion));
}
