#pragma once

#include <QString>

// quillon-convert's manual page from its source, a page of its own whose comment lines stand
// for what the tables say, in the language of the translator installed:
//     .\" @OPTIONS@              an entry for each option of the table, with its help
//     .\" @FORMATS@              an entry for each format, with its line of help
//     .\" @FORMATS-TAKING NAME@  the formats that take the option NAME, in bold, the last one
//                                followed by " :" (French) or ":" (English)
// so that a new format or option shows in both pages without their being edited.
QString manualPage(const QString &source);
