#pragma once

#include <QByteArray>

class QIODevice;

// Whether a picture's file goes on to its end. A reader fed a file cut short may fill in what is
// missing and say it decoded: libjpeg paints the rest grey, Qt's GIF reader leaves the rest of
// the screen. So the container is followed to its end marker: a JPEG's end of image after its
// last scan, a PNG's IEND chunk whole, a GIF's trailer after its last block, a WebP's RIFF
// chunk as long as it says, and an icon's first picture within the file. Bytes after the end
// are harmless, and so is any ancillary chunk or marker on the way. Other formats: true (their
// readers tell a file cut short by asking for bytes beyond its end, see PictureSource).
bool reachesItsEnd(const QByteArray &readerFormat, QIODevice *device);

// The formats whose readers read nothing beyond the end of a whole file: one that does was cut
// short.
bool readsWithinTheFile(const QByteArray &readerFormat);

// Whether a PNG is an animated one (APNG): an acTL chunk comes before its first IDAT. Qt 5's
// reader reads its default picture only.
bool isAnimatedPng(QIODevice *device); // in codecs/png.cpp
