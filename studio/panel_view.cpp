#include "panel_view.h"

#include <QPainter>

#include <cstring>

namespace {

const QRgb checkLight = qRgb(204, 204, 204), checkDark = qRgb(153, 153, 153);
const QRgb offPanel = qRgb(48, 48, 56);
constexpr int checkSize = 4; // screen pixels of a check

// A line of the grid laid over a pixel: its colour a third of the way to mid grey.
inline QRgb gridOver(QRgb colour)
{
    return qRgb((2 * qRed(colour) + 128) / 3, (2 * qGreen(colour) + 128) / 3, (2 * qBlue(colour) + 128) / 3);
}

} // namespace

QImage zoomedPicture(const QImage &picture, int zoom)
{
    const QImage source = picture.convertToFormat(QImage::Format_RGB32);
    QImage zoomed(source.width() * zoom, source.height() * zoom, QImage::Format_RGB32);
    for (int y = 0; y < source.height(); ++y) {
        const QRgb *in = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        QRgb *out = reinterpret_cast<QRgb *>(zoomed.scanLine(y * zoom));
        for (int x = 0; x < source.width(); ++x) {
            for (int i = 0; i < zoom; ++i)
                out[x * zoom + i] = in[x];
        }
        for (int i = 1; i < zoom; ++i)
            std::memcpy(zoomed.scanLine(y * zoom + i), out, size_t(zoomed.bytesPerLine()));
    }
    return zoomed;
}

PanelView::PanelView(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PanelView::setPicture(const QImage &shown, const QImage &throughPixels)
{
    m_shown = shown;
    m_through = throughPixels;
    render();
}

void PanelView::setZoom(int zoom)
{
    m_zoom = qBound(1, zoom, maximumZoom);
    render();
}

void PanelView::setRound(bool round)
{
    m_round = round;
    render();
}

void PanelView::render()
{
    m_rendered = zoomedPicture(m_shown, m_zoom);
    const int z = m_zoom;
    const bool grid = z >= gridFromZoom;
    const double cx = m_shown.width() / 2.0, cy = m_shown.height() / 2.0;
    for (int y = 0; y < m_rendered.height(); ++y) {
        QRgb *row = reinterpret_cast<QRgb *>(m_rendered.scanLine(y));
        const uchar *through = m_through.isNull() ? nullptr : m_through.constScanLine(y / z);
        // Off a round panel: a pixel whose centre lies outside the circle the panel's sides touch.
        const double dy = (y / z + 0.5 - cy) / cy;
        for (int x = 0; x < m_rendered.width(); ++x) {
            if (m_round) {
                const double dx = (x / z + 0.5 - cx) / cx;
                if (dx * dx + dy * dy > 1) {
                    row[x] = offPanel;
                    continue;
                }
            }
            if (through && through[x / z])
                row[x] = ((x / checkSize + y / checkSize) % 2) ? checkDark : checkLight;
            if (grid && (x % z == 0 || y % z == 0))
                row[x] = gridOver(row[x]);
        }
    }
    setFixedSize(m_rendered.size().expandedTo(QSize(1, 1)));
    update();
}

QSize PanelView::sizeHint() const
{
    return m_rendered.size();
}

void PanelView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    painter.drawImage(0, 0, m_rendered);
}
