#pragma once

#include "header_generator.h"

#include <QImage>

// Writes a 5-6-5 picture (QImage::Format_RGB16) as a C header that display libraries take as it
// is: the picture's width and height as NAME_width and NAME_height, usable in constant
// expressions, and its pixels top row first as `const uint16_t NAME[W*H]`, each one 0xNNNN
// literal, 16 to a line; with options.swapBytes, each value's two bytes are swapped. The file is
// replaced as a whole or not at all. On failure, `systemError` receives the system's error
// number (errno), or 0 when there is none.
bool writeRgb565Header(const QImage &picture, const QString &headerPath, const HeaderOptions &options,
                       int *systemError);
