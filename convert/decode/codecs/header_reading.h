#pragma once

#include "codec.h"

#include <QByteArray>

class QIODevice;

// What the codecs' readers of headers share: bytes read at a place, and sizes kept.

// Reads `size` bytes at `position`, leaving the device where it was; empty when the file holds
// fewer.
QByteArray readAt(QIODevice *device, qint64 position, int size);

// The claims' size made at least `width` x `height`, each held within an int.
void enlarge(HeaderClaims *claims, qint64 width, qint64 height);

// A width and a height of 16 bits each, little-endian, at `position`.
bool readSizeAt(QIODevice *device, qint64 position, HeaderClaims *claims);
