#pragma once

#include <QByteArray>
#include <QString>

// The reader a picture needs, named from the first bytes of its file (and, for the few formats
// that have no signature, its suffix), so that only that reader's plugin is loaded: asking every
// plugin whether it can read the file loads all of them, some thirty libraries, for each process.
//
// Returns Qt's name of the format ("png", "jpeg", "tiff"...), or an empty array when the file
// starts like no format known here; the readers are then asked in turn. The codecs' table
// (codecs/codecs.h) holds every signature, tried in its order.
QByteArray pictureFormatOf(const QByteArray &head, const QString &fileName);

// How many of a file's first bytes pictureFormatOf() needs.
constexpr int pictureSignatureBytes = 64;

// Whether the format is read by a reader that comes with Qt itself (PNG, JPEG, BMP, GIF, ICO
// and CUR, PBM/PGM/PPM, XBM, XPM), whose costs Quillon reads from the file before decoding.
// Every other reader is another package's code, run in a child process under limits.
bool isQtOwnFormat(const QByteArray &format);
