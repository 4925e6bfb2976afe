#include "panel_rendering.h"

#include "options.h"
#include "output_paths.h"
#include "picture_steps.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>

namespace {

// The arguments parsed as quillon-convert parses them, with the picture.
Options parsed(const PanelRequest &request, const QStringList &more = {})
{
    return parseOptions(QStringList {QStringLiteral("quillon-studio")} + request.arguments + more
                        + QStringList {QStringLiteral("--"), request.picture});
}

// 255 where a mask array of the picture's holds a 0 bit: rows of (width + 7) / 8 bytes or more,
// the leftmost pixel in the highest bit. Null when the header has no such array as it stands
// (none, or coded by --compress rle).
QImage maskedPixels(const CHeader &header, QSize size)
{
    for (const CArray &array : header.arrays) {
        if (array.name != header.name + "_mask" || array.uncodedBytes || size.isEmpty())
            continue;
        const int stride = array.data.size() / size.height();
        if (stride < (size.width() + 7) / 8)
            return QImage();
        QImage through(size, QImage::Format_Grayscale8);
        for (int y = 0; y < size.height(); ++y) {
            const uchar *bits = reinterpret_cast<const uchar *>(array.data.constData()) + y * stride;
            uchar *row = through.scanLine(y);
            for (int x = 0; x < size.width(); ++x)
                row[x] = bits[x / 8] & (0x80 >> (x % 8)) ? 0 : 255;
        }
        return through;
    }
    return QImage();
}

// 255 where the display shows the key colour of --transparent, which the library skips: the
// colour as a 5-6-5 panel shows it, each channel's high bits repeated.
QImage keyedPixels(const QImage &shown, const QString &key)
{
    const QColor colour(key);
    if (key.isEmpty() || !colour.isValid())
        return QImage();
    const int r = colour.red() >> 3, g = colour.green() >> 2, b = colour.blue() >> 3;
    const QRgb keyShown = qRgb(r << 3 | r >> 2, g << 2 | g >> 4, b << 3 | b >> 2);
    QImage through(shown.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < shown.height(); ++y) {
        const QRgb *colours = reinterpret_cast<const QRgb *>(shown.constScanLine(y));
        uchar *row = through.scanLine(y);
        for (int x = 0; x < shown.width(); ++x)
            row[x] = (colours[x] | 0xff000000) == keyShown ? 255 : 0;
    }
    return through;
}

QString transparentKey(const QStringList &arguments)
{
    const int at = arguments.lastIndexOf(QStringLiteral("--transparent"));
    return at >= 0 && at + 1 < arguments.size() ? arguments[at + 1] : QString();
}

} // namespace

RenderedView renderView(const PanelRequest &request)
{
    RenderedView view;
    view.serial = request.serial;
    // --preview: every colour of what the display shows, as the preview holds it.
    const Options options = parsed(request, {QStringLiteral("--preview")});
    if (options.action != Options::Convert) {
        view.usageError = true;
        view.problem = options.action == Options::UsageError ? options.error : QString();
        return view;
    }
    view.job = pictureJobOf(options, 0);
    view.arrayName = options.arrayNames.value(0);
    auto encoded = std::make_shared<EncodedPicture>();
    if (const auto problem = decodeAndEncode(view.job, ConversionObserver(), encoded.get())) {
        view.problem = problem->message;
        return view;
    }
    view.shown = encoded->shownPicture(QImage::Format_RGB32);
    view.throughPixels = maskedPixels(encoded->header, view.shown.size());
    if (view.throughPixels.isNull())
        view.throughPixels = keyedPixels(view.shown, transparentKey(request.arguments));
    view.encoded = std::move(encoded);
    return view;
}

RenderedHeader renderHeader(const PanelRequest &request, const std::atomic<int> *interrupted)
{
    RenderedHeader header;
    header.serial = request.serial;
    const Options options = parsed(request);
    if (options.action != Options::Convert)
        return header;
    // Written by the pipeline into a folder of its own, as quillon-convert writes it, then read.
    QTemporaryDir folder;
    PictureJob job = pictureJobOf(options, 0);
    job.outputFolder = folder.path();
    job.preview = job.bmp = job.binary = false;
    job.interrupted = interrupted;
    const PictureOutcome outcome = convertPicture(job);
    if (outcome.status != PictureOutcome::Converted) {
        header.problem = outcome.message;
        return header;
    }
    const OutputPaths paths = outputPaths(folder.path(), QFileInfo(request.picture).fileName());
    for (const QString &path : {paths.header, paths.source}) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        if (!header.text.isEmpty())
            header.text += '\n';
        header.text += file.readAll();
    }
    return header;
}

PanelRenderer::PanelRenderer(QObject *parent)
    : QObject(parent)
{
    m_pool.setMaxThreadCount(1);
}

PanelRenderer::~PanelRenderer()
{
    m_newest = ~quint64(0);
    m_interrupted = SIGINT;
    m_pool.waitForDone();
}

quint64 PanelRenderer::request(const QString &picture, const QStringList &arguments)
{
    PanelRequest request;
    request.serial = ++m_serial;
    request.picture = picture;
    request.arguments = arguments;
    m_newest = m_serial;
    if (m_running) {
        m_interrupted = SIGINT;
        m_waitingRequest = request; // any request that waited is dropped
        m_waiting = true;
    } else {
        start(request);
    }
    return m_serial;
}

void PanelRenderer::start(const PanelRequest &request)
{
    m_running = true;
    m_interrupted = 0;
    m_pool.start([this, request] {
        const RenderedView view = renderView(request);
        QMetaObject::invokeMethod(this, [this, view] {
            if (view.serial == m_serial)
                emit viewReady(view);
        });
        if (request.serial != m_newest) {
            QMetaObject::invokeMethod(this, [this] { finish(); });
            return;
        }
        const RenderedHeader header = renderHeader(request, &m_interrupted);
        QMetaObject::invokeMethod(this, [this, header] {
            if (header.serial == m_serial)
                emit headerReady(header);
            finish();
        });
    });
}

void PanelRenderer::finish()
{
    m_running = false;
    if (m_waiting) {
        m_waiting = false;
        start(m_waitingRequest);
        return;
    }
    emit idle();
}
