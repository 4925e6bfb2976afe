#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

class QIODevice;

// What decoding a picture will cost, told before decoding it, from what its reader announces and
// from the file's own headers.
//
// Qt's readers announce a size for most formats, but not all: the TGA, PCX, SGI, Sun raster,
// Radiance HDR and MNG readers tell nothing until they have decoded, so their sizes are read
// here from the file, where each format keeps it. A container may also hold a larger picture
// than it says: an ICO or CUR file's directory gives 16 x 16 for an embedded PNG of any size,
// Qt's GIF reader draws every frame onto a canvas of the logical screen's size, and an MNG's
// frames may embed larger pictures. So those headers are read too, and the largest size counts.
//
// Pixels are counted at the decoded format's depth, and at least at the 4 bytes of the 32-bit
// form every picture passes through on its way to 5-6-5. What a decoder holds beside the picture
// counts too: a progressive JPEG keeps every coefficient (2 bytes a sample) until its last scan,
// and a TIFF's strips hold all of a pixel's samples.
struct DecodingCost
{
    enum Kind {
        Known, // `size`, `bytes`, `scans` and `scanBlocks` are told
        Unknown, // a reader Quillon knows nothing of: only decoding tells
        Damaged // the file is too short, or its header impossible
    };
    Kind kind = Damaged;
    QSize size;
    qint64 bytes = 0;
    int scans = 0; // a JPEG's scans: decoding time grows with each
    qint64 scanBlocks = 0; // the blocks a progressive JPEG's scans go over, all scans together
};

// `decodedSize`, when given, is the size the picture is decoded at, smaller than its own.
DecodingCost decodingCost(const QByteArray &readerFormat, QSize claimedSize, QImage::Format pixelFormat,
                          QIODevice *device, QSize decodedSize = QSize());

// The smallest a decoded picture takes: its pixels at the depth of their format, and no less than
// 4 bytes each.
qint64 decodedPictureBytes(QSize size, QImage::Format pixelFormat);
