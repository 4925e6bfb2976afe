#pragma once

#include "picture_decoding.h"

#include <QImage>
#include <QSize>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

class StreamingScaler;

// What the readers that decode a picture by rows share (see row_decoding.h): the form its rows
// are scaled in, the thread that scales them while the next ones decode, and the fitted picture
// they make. A reader hands over its rows in its own format, a band of them at a time.

// The rows converted to the scaling's format at a time: about 1 MiB of them.
int sliceRows(qint64 rowBytes);

// The format rows are scaled in, the one the whole picture would be scaled in (see
// display_preparation.cpp): opaque on 8 bits, premultiplied on 8 bits, or premultiplied on 16
// bits when the alpha is kept apart, unless the picture keeps its size (only cut): then its own
// colours. `alpha`: whether the reader's pictures have an alpha channel; `oriented`: the size of
// the picture once cut and turned.
QImage::Format rowScalingFormat(bool alpha, QSize oriented, QSize scaled, const DisplayOptions &display,
                                const RowFitting &rows);

// Bands of rows converted to the scaling's format and scaled on a thread of their own while the
// reader decodes the next ones: the decoding and the scaling then take the time of the longer
// one. At most `waiting` bands wait; with none, or when no thread may start, each band is scaled
// as it is handed over, on the reader's thread.
class ScalingThread
{
public:
    ScalingThread(StreamingScaler *scaler, QImage::Format scaling, int waiting = 3);
    ~ScalingThread();
    ScalingThread(const ScalingThread &) = delete;
    ScalingThread &operator=(const ScalingThread &) = delete;

    // The bands held at most: those waiting, the one being scaled and the one the reader fills.
    static int bandsHeld(int waiting) { return waiting > 0 ? waiting + 2 : 1; }
    // The first `count` rows of `band`.
    void push(QImage band, int count);
    // Returns once every band pushed is scaled, and let go.
    void drain();
    // Every band pushed scaled, then the thread ended.
    void finish();

private:
    void run();
    void scale(const QImage &band, int count);

    StreamingScaler *m_scaler;
    const QImage::Format m_scaling;
    size_t m_waiting;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::pair<QImage, int>> m_bands;
    bool m_busy = false;
    bool m_ended = false;
    std::thread m_thread;
};

// The picture of `fullSize` fitted by rows once every row is scaled: the scaler's result, what
// Cover cuts away cut (see DecodedPicture::fitted).
DecodedPicture fittedPicture(const StreamingScaler &scaler, QSize scaled, QSize fullSize,
                             const DisplayOptions &display);
// A picture that decoding by rows refuses; a fitted one without pixels when the options cannot
// shape a picture of `fullSize`, which the caller refuses from the size alone.
DecodedPicture refusedPicture(DecodedPicture::Status status);
DecodedPicture unshapedPicture(QSize fullSize);
