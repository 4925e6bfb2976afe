#include "options.h"

#include "product.h"

namespace {

Options usageError(const QString &message)
{
    Options options;
    options.action = Options::UsageError;
    options.error = message;
    return options;
}

} // namespace

Options parseOptions(const QStringList &arguments)
{
    Options options;
    bool onlyPictures = false;
    bool outputGiven = false;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (onlyPictures || argument == QLatin1String("-") || !argument.startsWith(QLatin1Char('-'))) {
            options.pictures << argument;
        } else if (argument == QLatin1String("--")) {
            onlyPictures = true;
        } else if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
            options.action = Options::ShowHelp;
            return options;
        } else if (argument == QLatin1String("-V") || argument == QLatin1String("--version")) {
            options.action = Options::ShowVersion;
            return options;
        } else if (argument == QLatin1String("-f") || argument == QLatin1String("--force")) {
            options.force = true;
        } else if (argument == QLatin1String("-o") || argument == QLatin1String("--output")) {
            if (i + 1 == arguments.size())
                return usageError(QString::fromUtf8("l'option « %1 » attend un dossier").arg(argument));
            options.outputFolder = arguments[++i];
            outputGiven = true;
        } else if (argument.startsWith(QLatin1String("--output="))) {
            options.outputFolder = argument.mid(9);
            outputGiven = true;
        } else if (argument.startsWith(QLatin1String("-o"))) {
            options.outputFolder = argument.mid(2);
            outputGiven = true;
        } else {
            return usageError(QString::fromUtf8("option inconnue « %1 »").arg(argument));
        }
    }
    if (options.pictures.isEmpty())
        return usageError(QString::fromUtf8("aucune image indiquée"));
    if (outputGiven && options.outputFolder.isEmpty())
        return usageError(QString::fromUtf8("le dossier de destination est vide"));
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
