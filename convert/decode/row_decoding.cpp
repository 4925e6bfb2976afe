#include "row_decoding.h"

#include "codecs.h"
#include "display_preparation.h"
#include "picture_completeness.h"
#include "picture_source.h"
#include "row_scaling.h"
#include "streaming_scaler.h"

#include <QIODevice>

#include <png.h>

#include <vector>

namespace {

// What libpng is asked for, as Qt's PNG reader asks it, and the picture that makes.
struct PngPlan
{
    QIODevice *device = nullptr;
    int width = 0;
    int height = 0;
    int passes = 1;
    size_t rowBytes = 0;
    QImage::Format format = QImage::Format_Invalid;
    // The colour table as Qt's reader fills it: its size, then each entry it sets, in order.
    int colourCount = 0;
    int coloursSet = 0;
    int colourIndex[512] = {};
    QRgb colourValue[512] = {};
    bool paletteIndices = false; // indices beyond the table are 0, as Qt's reader makes them

    // Where each row of the pass goes, and what is done once a row of a picture read in one
    // pass is there: false stops the reading.
    uchar *(*rowFor)(void *context, int y) = nullptr;
    bool (*rowRead)(void *context, int y) = nullptr;
    void *context = nullptr;
};

void readPngBytes(png_structp png, png_bytep data, size_t size)
{
    auto *plan = static_cast<PngPlan *>(png_get_io_ptr(png));
    while (size > 0) {
        const qint64 got = plan->device->read(reinterpret_cast<char *>(data), qint64(size));
        if (got <= 0)
            png_error(png, "Read Error");
        data += got;
        size -= size_t(got);
    }
}

[[noreturn]] void failPng(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void ignorePngWarning(png_structp, png_const_charp) { }

void setColour(PngPlan *plan, int index, QRgb value)
{
    if (plan->coloursSet < 512) {
        plan->colourIndex[plan->coloursSet] = index;
        plan->colourValue[plan->coloursSet++] = value;
    }
}

// A grey picture's plan (planLikeQt()), `transparentColour` its tRNS chunk's, if it has one.
void planGrey(png_structp png, png_infop info, PngPlan *plan, int depth, bool transparency,
              png_color_16p transparentColour)
{
    if (depth == 1 && png_get_channels(png, info) == 1) {
        png_set_invert_mono(png);
        png_read_update_info(png, info);
        plan->format = QImage::Format_Mono;
        plan->colourCount = 2;
        setColour(plan, 1, qRgb(0, 0, 0));
        setColour(plan, 0, qRgb(255, 255, 255));
        if (transparentColour) {
            if (transparentColour->gray == 0)
                setColour(plan, 1, qRgba(0, 0, 0, 0));
            else if (transparentColour->gray == 1)
                setColour(plan, 0, qRgba(255, 255, 255, 0));
        }
    } else if (depth == 16 && png_get_channels(png, info) == 1 && !transparency) {
        plan->format = QImage::Format_Grayscale16;
        png_read_update_info(png, info);
        png_set_swap(png);
    } else if (depth == 16) {
        if (!transparency)
            png_set_filler(png, 0xffff, PNG_FILLER_AFTER);
        else
            png_set_expand(png);
        png_set_gray_to_rgb(png);
        plan->format = transparency ? QImage::Format_RGBA64 : QImage::Format_RGBX64;
        png_read_update_info(png, info);
        png_set_swap(png);
    } else if (depth == 8 && !transparency) {
        png_set_expand(png);
        plan->format = QImage::Format_Grayscale8;
        png_read_update_info(png, info);
    } else {
        if (depth < 8)
            png_set_packing(png);
        const int levels = depth < 8 ? 1 << depth : 256;
        png_read_update_info(png, info);
        plan->format = QImage::Format_Indexed8;
        plan->colourCount = levels;
        for (int i = 0; i < levels; ++i) {
            const int grey = i * 255 / (levels - 1);
            setColour(plan, i, qRgba(grey, grey, grey, 0xff));
        }
        if (transparentColour && transparentColour->gray < levels)
            setColour(plan, transparentColour->gray, 0);
    }
}

// A palette picture's plan (planLikeQt()), `transparentAlpha` its tRNS chunk's, if it has one.
void planPalette(png_structp png, png_infop info, PngPlan *plan, png_bytep transparentAlpha,
                 int transparentCount)
{
    png_uint_32 width = 0, height = 0;
    int depth = 0, type = 0;
    png_colorp palette = nullptr;
    int paletteSize = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &type, nullptr, nullptr, nullptr);
    png_get_PLTE(png, info, &palette, &paletteSize);
    if (depth != 1)
        png_set_packing(png);
    png_read_update_info(png, info);
    png_get_IHDR(png, info, &width, &height, &depth, &type, nullptr, nullptr, nullptr);
    plan->format = depth == 1 ? QImage::Format_Mono : QImage::Format_Indexed8;
    plan->colourCount = plan->format == QImage::Format_Mono ? 2 : paletteSize;
    png_get_PLTE(png, info, &palette, &paletteSize);
    int i = 0;
    if (transparentAlpha) {
        for (; i < transparentCount; ++i)
            setColour(plan, i, qRgba(palette[i].red, palette[i].green, palette[i].blue, transparentAlpha[i]));
    }
    for (; i < paletteSize; ++i)
        setColour(plan, i, qRgba(palette[i].red, palette[i].green, palette[i].blue, 0xff));
    png_set_bgr(png);
    plan->paletteIndices = plan->format == QImage::Format_Indexed8;
}

// The transformations Qt's PNG reader sets (qpnghandler.cpp, setup_qt), on a little-endian
// machine, and the pixel format and colour table of the picture it makes (or, for 8-bit RGB,
// of rows that convert to it).
void planLikeQt(png_structp png, png_infop info, PngPlan *plan)
{
    png_uint_32 width = 0, height = 0;
    int depth = 0, type = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &type, &interlace, nullptr, nullptr);
    plan->coloursSet = 0; // the file is read again for each band of an interlaced picture
    plan->width = int(width);
    plan->height = int(height);
    plan->passes = png_set_interlace_handling(png);
    const bool transparency = png_get_valid(png, info, PNG_INFO_tRNS);
    png_bytep transparentAlpha = nullptr;
    int transparentCount = 0;
    png_color_16p transparentColour = nullptr;
    const bool transparentEntries
        = png_get_tRNS(png, info, &transparentAlpha, &transparentCount, &transparentColour) != 0;
    png_colorp palette = nullptr;
    int paletteSize = 0;
    if (type == PNG_COLOR_TYPE_GRAY) {
        planGrey(png, info, plan, depth, transparency, transparentEntries ? transparentColour : nullptr);
    } else if (type == PNG_COLOR_TYPE_PALETTE && png_get_PLTE(png, info, &palette, &paletteSize)
               && paletteSize <= 256) {
        planPalette(png, info, plan, transparentEntries ? transparentAlpha : nullptr, transparentCount);
    } else if (depth == 16 && !(type & PNG_COLOR_MASK_PALETTE)) {
        plan->format = QImage::Format_RGBA64;
        if (!(type & PNG_COLOR_MASK_ALPHA) && !transparency) {
            png_set_filler(png, 0xffff, PNG_FILLER_AFTER);
            plan->format = QImage::Format_RGBX64;
        }
        if (!(type & PNG_COLOR_MASK_COLOR))
            png_set_gray_to_rgb(png);
        png_read_update_info(png, info);
        png_set_swap(png);
    } else if (type == PNG_COLOR_TYPE_RGB && depth == 8 && !transparency) {
        // Qt's reader has libpng add an opaque alpha and put blue first (Format_RGB32); the rows
        // are taken as they come (Format_RGB888), which converts to the very same pixels, on the
        // scaling thread rather than libpng's.
        png_read_update_info(png, info);
        plan->format = QImage::Format_RGB888;
    } else {
        if (depth == 16)
            png_set_strip_16(png);
        png_set_expand(png);
        if (type == PNG_COLOR_TYPE_GRAY_ALPHA)
            png_set_gray_to_rgb(png);
        plan->format = QImage::Format_ARGB32;
        if (!(type & PNG_COLOR_MASK_ALPHA) && !transparency) {
            png_set_filler(png, 0xff, PNG_FILLER_AFTER);
            plan->format = QImage::Format_RGB32;
        }
        png_set_bgr(png);
        png_read_update_info(png, info);
    }
    plan->rowBytes = png_get_rowbytes(png, info);
}

// Reads the PNG from the device's start, every pass over every row, then its end, as Qt's reader
// does; with no rows to read (rowFor not given), only its header. No C++ object lives here but
// in the caller's frame, since libpng reports its errors with longjmp.
bool readPng(png_structp png, png_infop info, PngPlan *plan)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_option(png, PNG_MAXIMUM_INFLATE_WINDOW, PNG_OPTION_ON);
    png_set_read_fn(png, plan, readPngBytes);
    png_read_info(png, info);
    planLikeQt(png, info, plan);
    if (plan->format == QImage::Format_Invalid || !plan->rowFor)
        return plan->format != QImage::Format_Invalid;
    for (int pass = 0; pass < plan->passes; ++pass) {
        for (int y = 0; y < plan->height; ++y) {
            png_read_row(png, plan->rowFor(plan->context, y), nullptr);
            if (plan->passes == 1 && !plan->rowRead(plan->context, y))
                return false;
        }
    }
    png_read_end(png, info);
    return true;
}

bool runPng(PngPlan *plan)
{
    if (!plan->device->seek(0))
        return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, failPng, ignorePngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const bool read = info && readPng(png, info, plan);
    png_destroy_read_struct(&png, &info, nullptr);
    return read;
}

// A picture of the plan's format and colour table, `rows` high, its colours set in the order Qt's
// reader sets them (which tells whether it has an alpha channel).
QImage planned(const PngPlan &plan, int rows)
{
    QImage picture(plan.width, rows, plan.format);
    if (picture.isNull())
        return picture;
    picture.fill(0);
    if (plan.colourCount > 0) {
        picture.setColorCount(plan.colourCount);
        for (int i = 0; i < plan.coloursSet; ++i)
            picture.setColor(plan.colourIndex[i], plan.colourValue[i]);
    }
    return picture;
}

// The rows as they come, gathered in the picture's own format a batch (or, interlaced, a band)
// at a time and handed to the scaling thread.
struct RowFeed
{
    RowFeed(const PngPlan *plan, ScalingThread *scaling, QImage batch, size_t rowBytes,
            const std::atomic<int> *interrupted)
        : plan(plan)
        , scaling(scaling)
        , batch(std::move(batch))
        , spare(rowBytes)
        , interrupted(interrupted)
    { }

    const PngPlan *plan;
    ScalingThread *scaling;
    QImage batch; // the plan's format
    int first = 0; // the row the batch starts at
    std::vector<uchar> spare; // where rows outside the band go, in a pass of an interlaced picture
    const std::atomic<int> *interrupted;

    void feed(int count)
    {
        if (plan->paletteIndices) {
            for (int y = 0; y < count; ++y) {
                uchar *index = batch.scanLine(y);
                for (int x = 0; x < plan->width; ++x) {
                    if (index[x] >= plan->colourCount)
                        index[x] = 0;
                }
            }
        }
        if (plan->passes > 1) { // the band is filled again by the next reading: scaled first
            scaling->push(batch, count);
            scaling->drain();
            return;
        }
        const int rows = batch.height();
        scaling->push(std::move(batch), count);
        batch = planned(*plan, rows);
    }
    bool stopped() const { return interrupted && interrupted->load() != 0; }
};

uchar *batchRow(void *context, int y)
{
    auto *feed = static_cast<RowFeed *>(context);
    const int at = y - feed->first;
    return at >= 0 && at < feed->batch.height() ? feed->batch.scanLine(at) : feed->spare.data();
}

bool batchRowRead(void *context, int y)
{
    auto *feed = static_cast<RowFeed *>(context);
    if (y - feed->first + 1 < feed->batch.height() && y + 1 < feed->plan->height)
        return true;
    feed->feed(y - feed->first + 1);
    feed->first = y + 1;
    return !feed->stopped();
}

} // namespace

std::optional<DecodedPicture> decodePngByRows(PictureSource &source, const QByteArray &format, QSize size,
                                              const DisplayOptions &display, const RowFitting &rows)
{
    if (!geometryProblem(size, display).isEmpty()) // refused by the caller, from the size alone
        return unshapedPicture(size);
    PngPlan plan;
    plan.device = &source;
    source.resetRanPastEnd();
    if (!runPng(&plan) || QSize(plan.width, plan.height) != size)
        return refusedPicture(undecodedStatus(format, &source));

    // Scaled in the form the whole picture would be.
    const QImage sample = planned(plan, 1);
    if (sample.isNull())
        return refusedPicture(DecodedPicture::TooLarge);
    const QSize scaled = scaledSize(orientedSize(size, display), display);
    const QImage::Format scaling
        = rowScalingFormat(sample.hasAlphaChannel(), orientedSize(size, display), scaled, display, rows);
    StreamingScaler scaler(size, display, scaled, scaling);

    // What is held: the scaler's, libpng's rows, a slice of rows being converted and its rows
    // converted, and the batches of rows (the one filling, those waiting and the one scaled) or, for an
    // interlaced picture, the band of rows its passes fill.
    const qint64 rowBytes = qMax<qint64>(sample.bytesPerLine(), qint64(plan.rowBytes));
    const qint64 scalingRowBytes
        = qint64(size.width()) * (scaling == QImage::Format_RGBA64_Premultiplied ? 8 : 4);
    const qint64 fixed
        = scaler.heldBytes() + 4 * rowBytes + sliceRows(rowBytes) * (rowBytes + scalingRowBytes);
    int bandRows = sliceRows(rowBytes);
    qint64 held = fixed + bandRows * rowBytes * ScalingThread::bandsHeld(3);
    if (plan.passes > 1) {
        const qint64 most = (maxDecodedBytes - fixed) / rowBytes;
        bandRows = int(qMin<qint64>(rows.bandRows > 0 ? rows.bandRows : most, size.height()));
        held = fixed + bandRows * rowBytes;
    }
    if (bandRows < 1 || held > maxDecodedBytes)
        return refusedPicture(DecodedPicture::TooLarge);
    if (!scaler.start())
        return refusedPicture(DecodedPicture::TooLarge);

    ScalingThread thread(&scaler, scaling);
    RowFeed feed(&plan, &thread, planned(plan, bandRows), size_t(rowBytes), rows.interrupted);
    if (feed.batch.isNull())
        return refusedPicture(DecodedPicture::TooLarge);
    plan.rowFor = batchRow;
    plan.rowRead = batchRowRead;
    plan.context = &feed;
    // In one pass, each batch is handed over as it fills; interlaced, the file is read once a band.
    for (int band = 0; band < size.height(); band += bandRows) {
        feed.first = band;
        source.resetRanPastEnd();
        if (!runPng(&plan)) {
            if (feed.stopped())
                return refusedPicture(DecodedPicture::Hostile); // interrupted: the caller says so
            return refusedPicture(undecodedStatus(format, &source));
        }
        if (plan.passes > 1)
            feed.feed(qMin(bandRows, size.height() - band));
        if (feed.stopped())
            return refusedPicture(DecodedPicture::Hostile);
        if (plan.passes == 1)
            break;
    }
    thread.finish(); // every batch scaled
    if (!reachesItsEnd(format, &source))
        return refusedPicture(DecodedPicture::Truncated);

    DecodedPicture picture = fittedPicture(scaler, scaled, size, display);
    picture.animatedPng = isAnimatedPng(&source);
    return picture;
}

bool decodesByRows(const QByteArray &format)
{
    return codecOf(format).decodeByRows != nullptr;
}

std::optional<DecodedPicture> decodeByRows(PictureSource &source, const QByteArray &format, QSize size,
                                           const DisplayOptions &display, const RowFitting &rows)
{
    const Codec &codec = codecOf(format);
    return codec.decodeByRows ? codec.decodeByRows(source, format, size, display, rows) : std::nullopt;
}

FittingRequest fittingRequest(const DisplayOptions &display, const RowFitting &rows)
{
    const QRect crop = display.crop.isValid() ? display.crop : QRect();
    return {rows.allowed,
            rows.keepAlpha,
            rows.wholeLimit,
            rows.bandRows,
            {crop.x(), crop.y(), crop.width(), crop.height()},
            display.rotation,
            display.flipHorizontal,
            display.flipVertical,
            {display.fit.width(), display.fit.height()},
            qint32(display.fitMode),
            display.upscale,
            qint32(display.gravity),
            {display.canvas.width(), display.canvas.height()},
            display.background.isValid(),
            display.background.isValid() ? display.background.rgba() : 0,
            qint32(display.dither)};
}

void fittingAsked(const FittingRequest &request, DisplayOptions *display, RowFitting *rows)
{
    rows->allowed = request.allowed != 0;
    rows->keepAlpha = request.keepAlpha != 0;
    rows->wholeLimit = qMax<qint64>(0, request.wholeLimit);
    rows->bandRows = qMax(0, request.bandRows);
    if (request.crop[2] > 0 && request.crop[3] > 0)
        display->crop = QRect(request.crop[0], request.crop[1], request.crop[2], request.crop[3]);
    display->rotation
        = request.rotation == 90 || request.rotation == 180 || request.rotation == 270 ? request.rotation : 0;
    display->flipHorizontal = request.flipHorizontal != 0;
    display->flipVertical = request.flipVertical != 0;
    display->fit = QSize(request.fit[0], request.fit[1]);
    display->fitMode = request.fitMode == int(FitMode::Cover) ? FitMode::Cover
        : request.fitMode == int(FitMode::Stretch)            ? FitMode::Stretch
                                                              : FitMode::Contain;
    display->upscale = request.upscale != 0;
    display->gravity = Qt::Alignment(request.gravity);
    display->canvas = QSize(request.canvas[0], request.canvas[1]);
    display->background = request.backgroundGiven ? QColor::fromRgba(request.background) : QColor();
    display->dither = request.dither == int(Dithering::FloydSteinberg) ? Dithering::FloydSteinberg
        : request.dither == int(Dithering::Atkinson)                   ? Dithering::Atkinson
        : request.dither == int(Dithering::Bayer)                      ? Dithering::Bayer
                                                                       : Dithering::None;
}
