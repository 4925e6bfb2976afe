#include "result_warnings.h"

#include "display_formats.h"
#include "display_header.h"
#include "picture_job.h"
#include "tone.h"

#include <algorithm>
#include <cmath>

namespace {

using W = ResultWarning;

QString sizeText(QSize size)
{
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

// The warning of a 1-bit array, or an e-paper plane, whose pixels are all alike (the encoders'
// UniformArray).
ResultWarning uniformWarning(const UniformArray &array, const PictureJob &job)
{
    const QString name = QString::fromLatin1(array.name);
    if (array.cause == UniformArray::NoInk) {
        const bool dithered = job.encoding.dither != Dithering::None;
        return {W::NoInk,
                ResultWarning::tr(
                    "%1 : plan sans encre, aucun pixel n'étant plus près de son encre que du blanc ou de "
                    "l'autre encre.")
                    .arg(name),
                dithered
                    ? ResultWarning::tr("Rien ne teinte assez l'image pour cette encre.")
                    : ResultWarning::tr("Tramez : --dither répartit l'encre des teintes intermédiaires."),
                dithered ? QStringList() : QStringList {"--dither"}};
    }
    const QString bits = array.lit ? ResultWarning::tr("allumés") : ResultWarning::tr("éteints");
    const int threshold = job.encoding.threshold;
    // A brightness of -100 or 100, or a contrast of -100, gives every pixel one level.
    const std::array<uchar, 256> curve = toneCurve(job.encoding.tone);
    if (std::all_of(curve.begin(), curve.end(), [&](uchar level) { return level == curve[0]; }))
        return {W::UniformBits,
                ResultWarning::tr(
                    "%1 : tous ses pixels sont %2 : --brightness et --contrast donnent le même niveau à "
                    "chacun.")
                    .arg(name, bits),
                ResultWarning::tr("Rapprochez-les de 0 : --brightness 0 --contrast 0."),
                {"--brightness", "0", "--contrast", "0"}};
    switch (array.cause) {
    case UniformArray::DarkOnTransparency:
        return {W::UniformBits,
                ResultWarning::tr(
                    "%1 : tous ses pixels sont %2 : une icône sombre sur fond transparent, posée sur du "
                    "noir, est partout plus sombre que le seuil %3.")
                    .arg(name, bits)
                    .arg(threshold),
                ResultWarning::tr("Posez-la sur du blanc et inversez : --background white --invert."),
                {"--background", "white", "--invert"}};
    case UniformArray::AllDark: {
        const int lower = threshold / 2;
        return {W::UniformBits,
                ResultWarning::tr(
                    "%1 : tous ses pixels sont %2 : l'image est partout plus sombre que le seuil %3.")
                    .arg(name, bits)
                    .arg(threshold),
                ResultWarning::tr("Baissez le seuil : --threshold %1.").arg(lower),
                {"--threshold", QString::number(lower)}};
    }
    default: {
        const int higher = qMin(255, (threshold + 256) / 2);
        const bool raised = higher > threshold;
        return {W::UniformBits,
                ResultWarning::tr(
                    "%1 : tous ses pixels sont %2 : l'image est partout au moins aussi claire que le seuil "
                    "%3.")
                    .arg(name, bits)
                    .arg(threshold),
                raised ? ResultWarning::tr("Montez le seuil : --threshold %1.").arg(higher)
                       : ResultWarning::tr("L'image est blanche partout : aucun seuil ne la partage."),
                raised ? QStringList {"--threshold", QString::number(higher)} : QStringList()};
    }
    }
}

// The largest array that is one object on AVR, and its name: the BMP file's bytes for bmp.
qint64 largestArray(const PictureJob &job, const EncodedPicture &encoded, QSize shown, QString *name)
{
    if (!job.format) {
        *name = QString::fromLatin1(job.encoding.arrayName);
        return shown.isValid() ? 54 + qint64(shown.height()) * ((2 * qint64(shown.width()) + 3) / 4 * 4) : 0;
    }
    qint64 largest = 0;
    for (const CArray &array : encoded.header.arrays) {
        if (array.valuesText.isEmpty() && arrayBytes(array) > largest) {
            largest = arrayBytes(array);
            *name = QString::fromLatin1(array.name);
        }
    }
    return largest;
}

// A size of the same proportions whose array takes no more than `limit` of the `bytes` it takes.
QSize smallerFit(QSize shown, qint64 bytes, qint64 limit)
{
    const double scale = std::sqrt(double(limit) / double(bytes)) * 0.98;
    return QSize(qMax(1, int(shown.width() * scale)), qMax(1, int(shown.height() * scale)));
}

} // namespace

QSize shownSize(const EncodedPicture &encoded)
{
    if (!encoded.shown.isNull())
        return encoded.shown.size();
    if (!encoded.drawnShown.isNull())
        return encoded.drawnShown.size();
    QSize size;
    for (const auto &macro : encoded.header.macros) {
        if (macro.first == encoded.header.name + "_width")
            size.setWidth(macro.second.toInt());
        if (macro.first == encoded.header.name + "_height")
            size.setHeight(macro.second.toInt());
    }
    return size;
}

QVector<ResultWarning> resultWarnings(const QStringList &arguments, const PictureJob &job,
                                      const EncodedPicture &encoded, const QSize &panel)
{
    Q_UNUSED(arguments)
    QVector<ResultWarning> warnings;
    for (const UniformArray &array : encoded.uniform)
        warnings << uniformWarning(array, job);

    const QSize shown = shownSize(encoded);
    if (panel.isValid() && shown.isValid()
        && (shown.width() > panel.width() || shown.height() > panel.height())) {
        QStringList mend {"--fit", sizeText(panel)};
        const QSize canvas = job.encoding.canvas;
        if (canvas.isValid() && (canvas.width() > panel.width() || canvas.height() > panel.height()))
            mend << "--canvas" << sizeText(panel);
        warnings << ResultWarning {
            W::LargerThanPanel,
            ResultWarning::tr("L'image fait %1 x %2 pixels, plus que l'écran de %3 x %4.")
                .arg(shown.width())
                .arg(shown.height())
                .arg(panel.width())
                .arg(panel.height()),
            ResultWarning::tr("Réduisez-la à l'écran : %1.").arg(mend.join(QLatin1Char(' '))), mend};
    }

    // Arrays that go to AVR program memory (every display format's but LVGL's, the BMP file's bytes).
    if (!job.format || job.format->flashOnAvr || job.encoding.progmem) {
        QString name;
        const qint64 largest = largestArray(job, encoded, shown, &name);
        if (largest > maxProgmemArrayBytes) {
            const bool codable = job.format && job.encoding.compression == EncodingOptions::Uncompressed;
            const QString fit
                = shown.isValid() ? sizeText(smallerFit(shown, largest, maxProgmemArrayBytes)) : QString();
            const QStringList mend = codable ? QStringList {"--compress", "rle"} : QStringList {"--fit", fit};
            warnings << ResultWarning {
                W::OverAvrObject,
                ResultWarning::tr("%1 : %2 octets, plus que les 32 767 d'un objet sur AVR (Uno, Mega).")
                    .arg(name)
                    .arg(largest),
                codable
                    ? ResultWarning::tr("Codez-le par plages : --compress rle ; ou réduisez l'image (--fit).")
                    : ResultWarning::tr("Réduisez l'image : --fit %1.").arg(fit),
                mend};
        }
    }

    // A palette chosen among more colours than it holds.
    if (job.format && job.format->paletteColours && encoded.pictureColours > job.format->paletteColours) {
        const int holds = job.format->paletteColours;
        const bool wider = holds < 256 && encoded.pictureColours <= 256;
        const bool dithered = job.encoding.dither != Dithering::None;
        if (wider || !dithered)
            warnings << ResultWarning {
                W::ColoursLost,
                ResultWarning::tr(
                    "La palette de %1 couleurs est choisie parmi les %2 de l'image : les autres prennent "
                    "la plus proche.")
                    .arg(holds)
                    .arg(encoded.pictureColours),
                wider ? ResultWarning::tr("index8 les garde toutes : --format index8.")
                      : ResultWarning::tr("Tramez pour les mélanger : --dither."),
                wider ? QStringList {"--format", "index8"} : QStringList {"--dither"}};
    }
    return warnings;
}
