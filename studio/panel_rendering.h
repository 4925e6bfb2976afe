#pragma once

#include "picture_job.h"

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <atomic>

#include <memory>

// What the studio shows of a picture with a picture's settings, computed off the GUI thread by
// the engine's own pipeline: the command line is parsed by parseOptions(), the picture decoded
// and encoded by decodeAndEncode(), as quillon-convert does with --preview, and the header is
// the one convertPicture() writes. A request is the picture and its argument list; its answer
// comes in two parts, the view first, then the header.

struct PanelRequest
{
    quint64 serial = 0; // told back with the answer, the newest the highest
    QString picture;
    QStringList arguments; // the picture's settings (settings_list.h)
};

struct RenderedView
{
    quint64 serial = 0;
    // What the settings break, in words (a usage error, as quillon-convert tells it), or why the
    // picture is not converted; the view is then null.
    QString problem;
    bool usageError = false;
    PictureJob job; // the job quillon-convert would run, its folder the picture's
    QByteArray arrayName; // the picture's array's
    // What the display shows: the pixels of --preview, Format_RGB32; and where the background
    // shows through it (a mask's 0 bits, the key colour of --transparent), 255 in a
    // Format_Grayscale8 picture of the same size, null when it never does.
    QImage shown;
    QImage throughPixels;
    // Everything the encoder gave: the arrays, the uniform arrays found.
    std::shared_ptr<const EncodedPicture> encoded;
};

struct RenderedHeader
{
    quint64 serial = 0;
    QString problem; // why it was not written
    // The header as quillon-convert writes it into its file (with --split, the header then, after
    // an empty line, the C file).
    QByteArray text;
};

// The two steps, each in the calling thread.
RenderedView renderView(const PanelRequest &request);
// The header's writing stops early, writing nothing, once `interrupted` holds a signal's number.
RenderedHeader renderHeader(const PanelRequest &request, const std::atomic<int> *interrupted = nullptr);

// Runs the requests on a thread of its own, one at a time, the newest winning: a request made
// while another runs waits, replacing any other that waited; the answers of a request that a
// newer one followed are not told, and the header of a request that a newer one follows is not
// written, or stops being written.
class PanelRenderer : public QObject
{
    Q_OBJECT

public:
    explicit PanelRenderer(QObject *parent = nullptr);
    ~PanelRenderer() override;

    // Asks for the view and header of `picture` with `arguments`: the request's serial.
    quint64 request(const QString &picture, const QStringList &arguments);
    // Whether a request runs or waits.
    bool busy() const { return m_running || m_waiting; }
    quint64 latest() const { return m_serial; }

signals:
    void viewReady(const RenderedView &view);
    void headerReady(const RenderedHeader &header);
    void idle();

private:
    void start(const PanelRequest &request);
    void finish();

    quint64 m_serial = 0;
    std::atomic<quint64> m_newest {0}; // read by the running request, to skip a header no one waits for
    std::atomic<int> m_interrupted {0}; // set when a newer request comes: the header stops
    bool m_running = false;
    bool m_waiting = false;
    PanelRequest m_waitingRequest;
    QThreadPool m_pool;
};
