#pragma once

#include <QImage>

#include <functional>

// A picture handed over a row at a time, as 32-bit colours: the rows of a whole picture, or rows
// drawn on demand from pixels held in another form, so that no second picture is made of them.
class PictureRows
{
public:
    // Fills `row` with row y's colours, as many as the width; rows may be asked in any order.
    using Draw = std::function<void(int y, QRgb *row)>;

    PictureRows() = default;
    // The rows of a whole picture, which is shared, not copied: 5-6-5 ones widened and grey ones
    // spread as Qt makes them 32-bit.
    explicit PictureRows(const QImage &picture);
    PictureRows(QSize size, Draw draw);

    bool isNull() const { return !m_draw; }
    QSize size() const { return m_size; }
    void row(int y, QRgb *colours) const { m_draw(y, colours); }

    // The whole picture, in 32 bits (Format_RGB32), or in 5-6-5 (Format_RGB16) with each row
    // reduced as Qt reduces a whole picture; std::bad_alloc when memory is short.
    QImage picture(QImage::Format format = QImage::Format_RGB32) const;

private:
    QSize m_size;
    Draw m_draw;
};
