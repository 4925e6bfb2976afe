#pragma once

#include <QImage>

#include <functional>

// A picture reduced to 16 bits per pixel (QImage::Format_RGB16: red, green and blue in 5, 6 and
// 5 bits, each pixel stored low byte first) and the one thing Quillon does with it: write it as
// a 16-bit BMP file.
//
// The file has the classic 54-byte header (a 14-byte file header and a 40-byte information
// header with compression 0 and no colour masks) followed by the pixel rows, bottom row first,
// each padded with zeros to a multiple of 4 bytes. Firmware reads the 5-6-5 pixels straight from
// the rows, so the layout is fixed byte for byte.
class QImage16 : public QImage
{
public:
    QImage16() = default;
    QImage16(const QImage &image);

    // Holds a shared copy of the given image from now on.
    void setImage(const QImage &image);

    // Writes the picture to the file at the given path, replacing it as a whole. Returns false,
    // keeping any file that stood there before, when the picture is null or too large for the
    // format, or when the file cannot be written completely.
    bool saveBmp16(QString filePath) const;
    // The same, telling why it failed: the system's error number, or 0 when there is none.
    bool saveBmp16(const QString &filePath, int *systemError) const;

    // The length of the BMP file, or -1 when the picture is null or too large for the format.
    qint64 bmp16FileSize() const;
    // Hands the BMP file's bytes, in order, to `write` in blocks of about 1 MiB, and stops at the
    // first block it refuses. False when the picture cannot be written, memory for its rows ran
    // out or a block was refused.
    using ByteSink = std::function<bool(const char *data, qint64 size)>;
    bool writeBmp16(const ByteSink &write) const;
};
