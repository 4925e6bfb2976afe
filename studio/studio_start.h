#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

// How quillon-studio was started from a shell:
//
//     quillon-studio [-o DIR] [quillon-convert's options] [PICTURE...]
//
// parsed by quillon-convert's parseOptions(), so that it takes the same options, spelt the same
// ways, refused with the same words. -o DIR is where Ctrl+S writes, --force replaces files there
// without asking; the other options are every picture's settings.
struct StudioStart
{
    enum Action { Open, ShowHelp, ShowVersion, UsageError };
    Action action = Open;
    QString error; // for UsageError, in French, translated
    QString outputFolder; // absolute; empty: chosen at the first save
    bool force = false;
    QStringList settings; // every picture's (settings_list.h)
    QStringList pictures;

    Q_DECLARE_TR_FUNCTIONS(StudioStart)
};

// `arguments`, the program first.
StudioStart parseStudioStart(const QStringList &arguments);

// What --help prints: the studio's usage, then quillon-convert's options and formats.
QString studioHelpText();
// What a usage error prints on standard error, the error first.
QString studioUsageErrorText(const QString &error);

// The studio's messages in the user's language, as quillon-convert chooses it (messagesInFrench()):
// English translations installed, its own, its advice's and quillon-convert's, unless it is French.
void installStudioTranslations(QCoreApplication &application);
