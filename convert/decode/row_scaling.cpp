#include "row_scaling.h"

#include "display_preparation.h"
#include "streaming_scaler.h"

#include <system_error>

namespace {

constexpr qint64 sliceBytes = 1 << 20; // rows converted to the scaling's format at a time

} // namespace

int sliceRows(qint64 rowBytes)
{
    return int(qBound<qint64>(1, sliceBytes / rowBytes, 64));
}

QImage::Format rowScalingFormat(bool alpha, QSize oriented, QSize scaled, const DisplayOptions &display,
                                const RowFitting &rows)
{
    const bool straight = rows.keepAlpha && !display.background.isValid();
    return !alpha            ? QImage::Format_RGB32
        : !straight          ? QImage::Format_ARGB32_Premultiplied
        : scaled == oriented ? QImage::Format_ARGB32
                             : QImage::Format_RGBA64_Premultiplied;
}

ScalingThread::ScalingThread(StreamingScaler *scaler, QImage::Format scaling, int waiting)
    : m_scaler(scaler)
    , m_scaling(scaling)
    , m_waiting(size_t(qMax(0, waiting)))
{
    if (m_waiting == 0)
        return;
    try {
        m_thread = std::thread([this] { run(); });
    } catch (const std::system_error &) {
        m_waiting = 0; // out of threads (a process or user limit): each band scaled as it comes
    }
}

ScalingThread::~ScalingThread()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_bands.clear();
        m_ended = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void ScalingThread::push(QImage band, int count)
{
    if (m_waiting == 0) {
        scale(band, count);
        return;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_bands.size() < m_waiting; });
    m_bands.push_back({std::move(band), count});
    m_changed.notify_all();
}

void ScalingThread::drain()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_bands.empty() && !m_busy; });
}

void ScalingThread::finish()
{
    drain();
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_ended = true;
    }
    m_changed.notify_all();
}

void ScalingThread::run()
{
    for (;;) {
        std::pair<QImage, int> next;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return m_ended || !m_bands.empty(); });
            if (m_bands.empty())
                return;
            next = std::move(m_bands.front());
            m_bands.pop_front();
            m_busy = true;
        }
        m_changed.notify_all();
        scale(next.first, next.second);
        next.first = QImage();
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_busy = false;
        m_changed.notify_all();
    }
}

// A band is converted a slice of rows at a time.
void ScalingThread::scale(const QImage &band, int count)
{
    const int slice = sliceRows(band.bytesPerLine());
    for (int top = 0; top < count; top += slice) {
        const int rows = qMin(slice, count - top);
        const QImage part = top == 0 && rows == band.height() ? band : band.copy(0, top, band.width(), rows);
        const QImage converted = part.convertToFormat(m_scaling);
        for (int y = 0; y < rows; ++y)
            m_scaler->addRow(converted.constScanLine(y));
    }
}

DecodedPicture fittedPicture(const StreamingScaler &scaler, QSize scaled, QSize fullSize,
                             const DisplayOptions &display)
{
    DecodedPicture picture;
    picture.status = DecodedPicture::Decoded;
    picture.image = scaler.result();
    const QRect kept = keptPart(scaled, display);
    if (kept.size() != scaled)
        picture.image = picture.image.copy(kept);
    picture.fullSize = fullSize;
    picture.fitted = true;
    return picture;
}

DecodedPicture refusedPicture(DecodedPicture::Status status)
{
    DecodedPicture picture;
    picture.status = status;
    return picture;
}

DecodedPicture unshapedPicture(QSize fullSize)
{
    DecodedPicture picture;
    picture.status = DecodedPicture::Decoded;
    picture.fullSize = fullSize;
    picture.fitted = true;
    return picture;
}
