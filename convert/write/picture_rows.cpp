#include "picture_rows.h"

#include <algorithm>
#include <new>
#include <vector>

PictureRows::PictureRows(const QImage &picture)
    : m_size(picture.size())
{
    if (picture.isNull())
        return;
    const int width = picture.width();
    switch (picture.format()) {
    case QImage::Format_RGB32:
        m_draw = [picture, width](int y, QRgb *row) {
            std::copy_n(reinterpret_cast<const QRgb *>(picture.constScanLine(y)), width, row);
        };
        break;
    case QImage::Format_RGB16:
        m_draw = [picture, width](int y, QRgb *row) {
            const auto *in = reinterpret_cast<const quint16 *>(picture.constScanLine(y));
            for (int x = 0; x < width; ++x) { // each field's high bits repeated below it
                const uint c = in[x];
                row[x] = qRgb(int((c >> 8 & 0xf8) | (c >> 13 & 0x07)), int((c >> 3 & 0xfc) | (c >> 9 & 0x03)),
                              int((c << 3 & 0xf8) | (c >> 2 & 0x07)));
            }
        };
        break;
    case QImage::Format_Grayscale8:
        m_draw = [picture, width](int y, QRgb *row) {
            const uchar *in = picture.constScanLine(y);
            for (int x = 0; x < width; ++x)
                row[x] = qRgb(in[x], in[x], in[x]);
        };
        break;
    default: // seldom: each row through Qt
        m_draw = [picture, width](int y, QRgb *row) {
            const QImage converted = picture.copy(0, y, width, 1).convertToFormat(QImage::Format_RGB32);
            std::copy_n(reinterpret_cast<const QRgb *>(converted.constScanLine(0)), width, row);
        };
        break;
    }
}

PictureRows::PictureRows(QSize size, Draw draw)
    : m_size(size)
    , m_draw(std::move(draw))
{ }

QImage PictureRows::picture(QImage::Format format) const
{
    if (isNull())
        return QImage();
    QImage whole(m_size, format == QImage::Format_RGB16 ? QImage::Format_RGB16 : QImage::Format_RGB32);
    if (whole.isNull())
        throw std::bad_alloc();
    const int width = m_size.width();
    std::vector<QRgb> colours(format == QImage::Format_RGB16 ? size_t(width) : 0);
    for (int y = 0; y < m_size.height(); ++y) {
        if (colours.empty()) {
            row(y, reinterpret_cast<QRgb *>(whole.scanLine(y)));
            continue;
        }
        row(y, colours.data());
        const QImage reduced
            = QImage(reinterpret_cast<const uchar *>(colours.data()), width, 1, QImage::Format_RGB32)
                  .convertToFormat(QImage::Format_RGB16);
        if (reduced.isNull())
            throw std::bad_alloc();
        std::copy_n(reduced.constScanLine(0), width * 2, whole.scanLine(y));
    }
    return whole;
}
