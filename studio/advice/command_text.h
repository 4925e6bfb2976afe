#pragma once

#include <QByteArray>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

// What the studio gives to paste: the command line and the CMake lines that do what it does, so
// that a setting found by looking moves into a build, and where a header draws its picture.

// A shell word: as it is when it holds only characters no POSIX shell reads specially, else in
// single quotes, each ' written '\'' (it's gives 'it'\''s').
QString shellWord(const QString &word);

// The line that, run by a POSIX shell, converts `pictures` as the studio does with `arguments`:
// quillon-convert, -o and the folder when one is given (an -o among the arguments left out), the
// arguments, then the pictures after "--" when one begins with a dash; each word quoted only when it
// must be.
QString convertCommand(const QStringList &arguments, const QStringList &pictures,
                       const QString &outputFolder);

// find_package(Quillon REQUIRED) and the call of quillon_convert_pictures() that converts `pictures`
// at build time with `arguments`, as QuillonConvert.cmake takes them: --progmem as PROGMEM, --split
// as SPLIT, --name as NAMES, the rest as OPTIONS; -o and --force left out, which the function gives
// itself (OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/pictures). Each line ends with a newline.
QString cmakeLines(const QStringList &arguments, const QStringList &pictures, const QString &target);

// The drawing line(s) of `library` in a header's text: the code after the label of each line of its
// comment that draws the array with that library ("// TFT_eSPI: " or "// U8g2lib: " for u8g2,
// "// GxEPD2 (GxEPD2_3C, x a multiple of 8): "...), as (start, length) in characters of
// QString::fromUtf8(headerText), the code only, so that the text copied compiles as it is; none
// when the header has no line for it. Libraries: "Adafruit GFX" (with Adafruit's display classes
// built on it), "u8g2", "TFT_eSPI", "GxEPD2", "Waveshare", "LVGL".
QVector<QPair<int, int>> drawingLineRanges(const QByteArray &headerText, const QString &library);
