#pragma once

#include "display_formats.h"

#include <QImage>
#include <QString>
#include <QVector>

// A header's arrays turned back into the pictures they hold, each as the display shows it: what
// the encoder's preview shows of the same picture, pixel for pixel. The header's text is read by
// c_array_reader; its format is told by the one line of its comment that decodingLine() wrote (or,
// without it, by the BMP file that the default format's array holds), or given with the picture's
// size for an array made by another tool. LVGL's images are then read by their descriptors.

struct HeaderPicture
{
    QByteArray name; // the array's: NAME, NAME_frame0...; its preview is NAME16bits.png
    QImage shown; // Format_RGB32
};

struct HeaderPictures
{
    QVector<HeaderPicture> pictures;
    QString problem; // in French (context "HeaderReading"); empty when every picture was read
};

// The line a header's comment holds so that its format is known again: the format and the options
// that change how its bytes are read back ("Quillon decoding: --format rgb565 --swap-bytes").
QByteArray decodingLine(const DisplayFormat &format, const EncodingOptions &options);

// Every picture of a header Quillon wrote (a split pair's C file too), frames one by one.
HeaderPictures decodeHeader(const QByteArray &text);

// The one array of `text` (the first one of numbers), made by any tool, read as an array of
// `format` for a picture of `size`, with the byte order and colour order of `options`.
HeaderPictures decodeArrayAs(const QByteArray &text, const DisplayFormat &format, QSize size,
                             const EncodingOptions &options);
