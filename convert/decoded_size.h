#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

class QIODevice;

// How many bytes a picture takes once decoded, told before decoding it.
//
// `claimedSize` and `pixelFormat` are what Qt's reader announces, but a container may hold a
// larger picture than its directory says: an ICO or CUR file's directory gives 16 x 16 for an
// embedded PNG of any size, and Qt's GIF reader draws every frame onto a canvas of the logical
// screen's size. So those headers are read from `device` too, and the largest size found counts.
// Pixels are counted at the decoded format's depth, and at least at the 4 bytes of the 32-bit
// form every picture passes through on its way to 5-6-5. Returns -1 when the file is too short
// to tell.
qint64 decodedPictureBytes(const QByteArray &readerFormat, QSize claimedSize, QImage::Format pixelFormat,
                           QIODevice *device);
