#pragma once

#include <QByteArray>
#include <QRgb>
#include <QString>
#include <QVector>

// The colours of a palette file, in their order, read by one of two rules:
//
// - a GIMP palette (.gpl): its first line is "GIMP Palette"; then "Name:" and "Columns:"
//   lines, comments (lines that begin with #), blank lines, and one colour a line as three
//   numbers of 0 to 255, red, green and blue, with or without a name after them;
// - otherwise a plain list: one colour a line as #rrggbb (six hexadecimal digits, nothing
//   else), blank lines, and comments: # followed by a space, a tab, another # or nothing.
//
// Any other line is refused, so that a mistyped colour is never taken for a comment. Spaces
// around a line, a byte order mark and Windows line ends are allowed.
// Returns what is wrong, in French, naming the line; empty when the colours were read.
QString parsePalette(const QByteArray &text, QVector<QRgb> *colours);

// The same for a file, whose name the messages give.
QString readPaletteFile(const QString &path, QVector<QRgb> *colours);
