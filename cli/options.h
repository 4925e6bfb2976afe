#pragma once

#include <QString>
#include <QStringList>

// The command line of quillon-convert, parsed the GNU way: options and pictures in any order,
// "-o DIR", "-oDIR", "--output DIR" and "--output=DIR" alike, and "--" before names that begin
// with a dash.
struct Options
{
    enum Action { Convert, ShowHelp, ShowVersion, UsageError };
    Action action = Convert;
    QString outputFolder; // empty: each picture's own folder
    bool force = false;
    QStringList pictures;
    QString error; // what was wrong, for UsageError
};

Options parseOptions(const QStringList &arguments);

QString helpText();
QString versionText();
