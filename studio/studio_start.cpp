#include "studio_start.h"

#include "help_text.h"
#include "options.h"
#include "settings_list.h"

#include <QDir>
#include <QTranslator>

namespace {

// The options that have no sense in a window: the studio reads pictures, never headers, and
// writes each picture's own header.
const char *const refused[] = {"decode", "size", "bundle", "verbose"};

} // namespace

StudioStart parseStudioStart(const QStringList &arguments)
{
    StudioStart start;
    const QStringList given = givenArguments(arguments);
    const int end = given.indexOf(QStringLiteral("--"));
    for (const char *option : refused) {
        if (given.mid(0, end).contains(QStringLiteral("--") + QLatin1String(option))) {
            start.action = StudioStart::UsageError;
            start.error
                = StudioStart::tr("--%1 ne s'emploie pas avec quillon-studio").arg(QLatin1String(option));
            return start;
        }
    }
    start.pictures = given.mid(end + 1);
    // Checked as quillon-convert checks them, a picture standing for those not given yet.
    QStringList checked = arguments;
    if (start.pictures.isEmpty()) {
        if (!checked.contains(QStringLiteral("--")))
            checked << QStringLiteral("--");
        checked << QStringLiteral("picture.png");
    }
    const Options options = parseOptions(checked);
    if (options.action == Options::ShowHelp || options.action == Options::ShowVersion) {
        start.action = options.action == Options::ShowHelp ? StudioStart::ShowHelp : StudioStart::ShowVersion;
        return start;
    }
    if (options.action == Options::UsageError) {
        start.action = StudioStart::UsageError;
        start.error = options.error;
        return start;
    }
    QStringList settings = given.mid(0, end);
    if (options.gave("output"))
        start.outputFolder = QDir(SettingsList::value(settings, QStringLiteral("output"))).absolutePath();
    start.force = options.gave("force");
    settings = SettingsList::without(SettingsList::without(settings, QStringLiteral("output")),
                                     QStringLiteral("force"));
    start.settings = settings;
    for (QString &picture : start.pictures)
        picture = QDir(picture).absolutePath();
    return start;
}

QString studioHelpText()
{
    return helpText(StudioStart::tr(
        "Utilisation : quillon-studio [-o DOSSIER] [OPTION]... [IMAGE]...\n"
        "Ouvre chaque IMAGE dans Quillon Studio, qui montre en direct ce que l'écran affichera\n"
        "avec les options de quillon-convert, l'en-tête qui sera écrit, et écrit avec Ctrl+S\n"
        "les fichiers de quillon-convert dans DOSSIER (--force : sans demander avant de\n"
        "remplacer). Les options sont celles de quillon-convert, hors --decode, --size,\n"
        "--bundle et --verbose :\n"
        "\n"));
}

QString studioUsageErrorText(const QString &error)
{
    return StudioStart::tr(
               "quillon-studio: %1\nEssayez « quillon-studio --help » pour plus d'informations.\n")
        .arg(error);
}

void installStudioTranslations(QCoreApplication &application)
{
    if (messagesInFrench())
        return;
    for (const QString &name : {QStringLiteral("quillon-convert_en"), QStringLiteral("advice_en"),
                                QStringLiteral("quillon-studio_en")}) {
        auto *english = new QTranslator(&application);
        if (english->load(QStringLiteral(":/translations/%1.qm").arg(name)))
            QCoreApplication::installTranslator(english);
    }
}
