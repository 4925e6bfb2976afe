#include "picture_geometry.h"

#include "display_preparation.h"

#include <QCoreApplication>
#include <QTransform>

#include <algorithm>
#include <cmath>

namespace {

bool turnedSideways(const DisplayOptions &options)
{
    return options.rotation == 90 || options.rotation == 270;
}

// The proportional scale that makes `size` cover `bounds` (Cover) or fit within it (Contain).
QSize proportional(QSize size, QSize bounds, bool cover)
{
    return size.scaled(bounds, cover ? Qt::KeepAspectRatioByExpanding : Qt::KeepAspectRatio)
        .expandedTo(QSize(1, 1));
}

} // namespace

QString geometryProblem(QSize size, const DisplayOptions &options)
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
    return QString();
}

QImage cutTurnedAndMirrored(QImage picture, const DisplayOptions &options)
{
    if (options.crop.isValid())
        picture = picture.copy(options.crop);
    if (options.rotation != 0)
        picture = picture.transformed(QTransform().rotate(options.rotation));
    if (options.flipHorizontal || options.flipVertical)
        picture = std::move(picture).mirrored(options.flipHorizontal, options.flipVertical);
    return picture;
}

QSize orientedSize(QSize size, const DisplayOptions &options)
{
    if (options.crop.isValid())
        size = options.crop.size();
    return turnedSideways(options) ? size.transposed() : size;
}

QSize scaledSize(QSize size, const DisplayOptions &options)
{
    const QSize &bounds = options.fit;
    if (!bounds.isValid())
        return size;
    switch (options.fitMode) {
    case FitMode::Stretch:
        return bounds;
    case FitMode::Cover: {
        const QSize covering = proportional(size, bounds, true);
        // Never enlarged without --upscale: a smaller picture is only cut.
        return options.upscale || covering.width() <= size.width() ? covering : size;
    }
    case FitMode::Contain:
        break;
    }
    if (options.upscale)
        return proportional(size, bounds, false);
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
    const int spareWidth = outer.width() - inner.width(), spareHeight = outer.height() - inner.height();
    const int x = gravity & Qt::AlignLeft ? 0 : gravity & Qt::AlignRight ? spareWidth : spareWidth / 2;
    const int y = gravity & Qt::AlignTop ? 0 : gravity & Qt::AlignBottom ? spareHeight : spareHeight / 2;
    return QPoint(x, y);
}

QSize wholeScaledSize(QSize size, const DisplayOptions &options)
{
    if (options.crop.isValid())
        return QSize();
    const QSize scaled = scaledSize(orientedSize(size, options), options);
    return turnedSideways(options) ? scaled.transposed() : scaled;
}
