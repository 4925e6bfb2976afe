#pragma once

#include <QImage>
#include <QWidget>

// What the display shows, drawn at an integer zoom (1 to 16), each pixel a square of zoom x zoom
// screen pixels, with a grid between them from 4 x; where the background shows through (a mask,
// a key colour), a checkerboard instead; on a round panel, the corners outside the circle in the
// colour of no panel. The widget is exactly the zoomed picture's size.
class PanelView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int maximumZoom = 16;
    static constexpr int gridFromZoom = 4;

    explicit PanelView(QWidget *parent = nullptr);

    void setPicture(const QImage &shown, const QImage &throughPixels = QImage());
    void setZoom(int zoom);
    void setRound(bool round);
    int zoom() const { return m_zoom; }
    QImage picture() const { return m_shown; }
    // What the widget paints, Format_RGB32.
    QImage rendered() const { return m_rendered; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void render();

    QImage m_shown;
    QImage m_through;
    int m_zoom = 1;
    bool m_round = false;
    QImage m_rendered;
};

// `picture` enlarged `zoom` times, each pixel a square, Format_RGB32.
QImage zoomedPicture(const QImage &picture, int zoom);
