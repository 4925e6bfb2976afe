#pragma once

#include <QString>
#include <QStringList>

struct DisplayFormat;
struct OptionDeclaration;

// What --help and --version print, and how the help and the manual pages (manual_page.cpp) show
// the rows of the option table and of the formats' table, translated.

// "-o, --output=DOSSIER", as the help and the manual pages show an option, translated.
QString optionSynopsis(const OptionDeclaration &option);
// What the help says of an option, translated: its text, after "avec " and the formats that
// take it when only some do.
QString optionHelp(const OptionDeclaration &option);
// The formats that take the option, when only some do; none otherwise.
QStringList optionFormats(const OptionDeclaration &option);
// The format's line of help, translated; nullptr: bmp's.
QString formatHelp(const DisplayFormat *format);

// quillon-convert's help, or with `usage`, another program's that takes the same options: its
// first paragraph instead of quillon-convert's, which tells how the pictures are converted.
QString helpText(const QString &usage = QString());
// "quillon-convert (Quillon) 1.0", or the same for `program`.
QString versionText(const QString &program = QStringLiteral("quillon-convert"));
