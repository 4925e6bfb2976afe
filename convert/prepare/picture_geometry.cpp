#include "picture_geometry.h"

#include "allocation.h"

#include <QCoreApplication>
#include <QTransform>

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

namespace {

bool turnedSideways(const DisplayOptions &options)
{
    return options.rotation == 90 || options.rotation == 270;
}

// The proportional scale that makes `size` fit within `bounds`.
QSize proportional(QSize size, QSize bounds)
{
    return size.scaled(bounds, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

// The proportional scale that makes `size` cover `bounds`, as QSize::scaled() gives it, in 64 bits:
// a thin picture covering a large size can be larger than an int holds.
std::pair<qint64, qint64> covering(QSize size, QSize bounds)
{
    const qint64 width = qint64(bounds.height()) * size.width() / size.height();
    if (width >= bounds.width())
        return {width, bounds.height()};
    return {bounds.width(), qint64(bounds.width()) * size.height() / size.width()};
}

// The options that set a size, as they were given: --fit and its mode, or --canvas.
QString fitOptions(const DisplayOptions &options)
{
    QString text = QStringLiteral("--fit %1x%2").arg(options.fit.width()).arg(options.fit.height());
    if (options.fitMode == FitMode::Cover)
        return text + QStringLiteral(" --fit-mode cover");
    if (options.fitMode == FitMode::Stretch)
        return text + QStringLiteral(" --fit-mode stretch");
    return options.upscale ? text + QStringLiteral(" --upscale") : text;
}

QString canvasOption(const DisplayOptions &options)
{
    return QStringLiteral("--canvas %1x%2").arg(options.canvas.width()).arg(options.canvas.height());
}

// Mebibytes, rounded up.
QString mebibytes(double bytes)
{
    return QString::number(std::ceil(bytes / (1 << 20)), 'f', 0);
}

// Why shaping `frames` pictures of `size` would take more than maxShapedBytes: the largest
// picture a step makes, told with the option that makes it (only --fit and --canvas enlarge).
QString costProblem(QSize size, const DisplayOptions &options, int frames)
{
    if (!options.fit.isValid() && !options.canvas.isValid())
        return QString();
    const QSize oriented = orientedSize(size, options);
    std::pair<qint64, qint64> largest = {0, 0};
    QString option;
    if (options.fit.isValid()) {
        const QSize scaled = scaledSize(oriented, options);
        largest = options.fitMode == FitMode::Cover
            ? covering(oriented, options.fit)
            : std::make_pair(qint64(scaled.width()), qint64(scaled.height()));
        option = fitOptions(options);
    }
    if (options.canvas.isValid()
        && qint64(options.canvas.width()) * options.canvas.height() > largest.first * largest.second) {
        largest = {options.canvas.width(), options.canvas.height()};
        option = canvasOption(options);
    }
    // In floating point: a thin picture covering a large size can take more bytes than 64 bits hold.
    const double frameBytes = double(largest.first) * double(largest.second) * 4;
    if (frameBytes * frames <= double(maxShapedBytes))
        return QString();
    if (frames == 1 || frameBytes > double(maxShapedBytes))
        return QCoreApplication::translate("PictureGeometry",
                                           "image trop grande une fois façonnée : avec %1, elle passe par %2 "
                                           "x %3 pixels, soit %4 Mio, plus que les %5 Mio permis")
            .arg(option)
            .arg(largest.first)
            .arg(largest.second)
            .arg(mebibytes(frameBytes))
            .arg(maxShapedBytes >> 20);
    return QCoreApplication::translate(
               "PictureGeometry",
               "animation trop grande une fois façonnée : avec %1, ses %2 images passent "
               "chacune par %3 x %4 pixels, soit %5 Mio en tout, plus que les %6 Mio "
               "permis (%7 images au plus : choisissez-les avec --frames A-B)")
        .arg(option)
        .arg(frames)
        .arg(largest.first)
        .arg(largest.second)
        .arg(mebibytes(frameBytes * frames))
        .arg(maxShapedBytes >> 20)
        .arg(qint64(double(maxShapedBytes) / frameBytes));
}

} // namespace

QString geometryProblem(QSize size, const DisplayOptions &options, int frames)
{
    if (options.crop.isValid() && !QRect(QPoint(0, 0), size).contains(options.crop))
        return QCoreApplication::translate("PictureGeometry",
                                           "--crop %1,%2,%3x%4 sort de l'image, de %5 x %6 pixels")
            .arg(options.crop.x())
            .arg(options.crop.y())
            .arg(options.crop.width())
            .arg(options.crop.height())
            .arg(size.width())
            .arg(size.height());
    return costProblem(size, options, frames);
}

QImage cutTurnedAndMirrored(QImage picture, const DisplayOptions &options)
{
    if (options.crop.isValid())
        picture = allocated(picture.copy(options.crop));
    if (options.rotation != 0)
        picture = allocated(picture.transformed(QTransform().rotate(options.rotation)));
    if (options.flipHorizontal || options.flipVertical)
        picture = allocated(std::move(picture).mirrored(options.flipHorizontal, options.flipVertical));
    return picture;
}

QSize orientedSize(QSize size, const DisplayOptions &options)
{
    if (options.crop.isValid())
        size = options.crop.size();
    return turnedSideways(options) ? size.transposed() : size;
}

QSize fittedSize(QSize size, QSize bounds)
{
    if (!bounds.isValid() || (size.width() <= bounds.width() && size.height() <= bounds.height()))
        return size;
    return size.scaled(bounds, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

QSize scaledSize(QSize size, const DisplayOptions &options)
{
    const QSize &bounds = options.fit;
    if (!bounds.isValid())
        return size;
    switch (options.fitMode) {
    case FitMode::Stretch:
        return bounds;
    case FitMode::Cover: { // enlarged as it must be, whatever --upscale; bounded by geometryProblem()
        const auto [width, height] = covering(size, bounds);
        return QSize(int(std::min<qint64>(width, INT_MAX)), int(std::min<qint64>(height, INT_MAX)));
    }
    case FitMode::Contain:
        break;
    }
    if (options.upscale)
        return proportional(size, bounds);
    return fittedSize(size, bounds);
}

QRect keptPart(QSize scaled, const DisplayOptions &options)
{
    if (options.fitMode != FitMode::Cover || !options.fit.isValid())
        return QRect(QPoint(0, 0), scaled);
    const QSize kept = scaled.boundedTo(options.fit);
    return QRect(placedAt(kept, scaled, options.gravity), kept);
}

QPoint placedAt(QSize inner, QSize outer, Qt::Alignment gravity)
{
    // Centred, the middles meet as ImageMagick's -gravity center -extent makes them meet: each
    // half rounded down apart, so an odd margin, or an odd cut, falls to one side or the other as
    // the two lengths' parities say (4 on 7 is placed at 1, 5 on 10 at 3, 7 on 4 at -1).
    const auto middle = [](int innerLength, int outerLength) { return outerLength / 2 - innerLength / 2; };
    const int spareWidth = outer.width() - inner.width(), spareHeight = outer.height() - inner.height();
    const int x = gravity & Qt::AlignLeft ? 0
        : gravity & Qt::AlignRight        ? spareWidth
                                          : middle(inner.width(), outer.width());
    const int y = gravity & Qt::AlignTop ? 0
        : gravity & Qt::AlignBottom      ? spareHeight
                                         : middle(inner.height(), outer.height());
    return QPoint(x, y);
}

QSize shapedSize(QSize size, const DisplayOptions &options)
{
    if (options.canvas.isValid())
        return options.canvas;
    return keptPart(scaledSize(orientedSize(size, options), options), options).size();
}

QSize wholeScaledSize(QSize size, const DisplayOptions &options)
{
    if (options.crop.isValid())
        return QSize();
    const QSize scaled = scaledSize(orientedSize(size, options), options);
    return turnedSideways(options) ? scaled.transposed() : scaled;
}
