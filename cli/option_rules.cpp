#include "option_rules.h"

#include "option_values.h"
#include "options.h"
#include "output_paths.h"
#include "rle_arrays.h"
#include "rle_coding.h"

#include <QFileInfo>

namespace {

// A rule across options: broken when `breaks` holds, told by `message`.
struct Rule
{
    bool (*breaks)(const Options &options);
    QString (*message)(const Options &options);
};

bool flashOnAvr(const Options &options)
{
    return options.job.encoding.header.progmem || (options.job.format && options.job.format->flashOnAvr);
}

// Whether the arrays are coded by run length (--compress rle, but for LVGL's own compression).
bool coded(const Options &options)
{
    return options.job.format && codesByRunLength(*options.job.format, options.job.encoding.arrays);
}

// --name's, or else the first picture's name after its file that cannot name an array.
QString arrayNamesProblem(const Options &options)
{
    if (options.gave("name")) {
        const QString problem = arrayNameProblem(options.name, flashOnAvr(options), options.job.format);
        return problem.isEmpty() ? problem : Options::tr("--name : %1").arg(problem);
    }
    for (int i = 0; i < options.pictures.size(); ++i) {
        const QString problem = arrayNameProblem(QString::fromLatin1(options.arrayNames[i]),
                                                 flashOnAvr(options), options.job.format);
        if (!problem.isEmpty())
            return Options::tr("%1 : %2 ; renommez le fichier ou nommez son tableau avec --name")
                .arg(options.pictures[i], problem);
    }
    return QString();
}

// The reader of coded arrays goes beside the headers, under its own name: no header may have it.
QString readerNameProblem(const Options &options)
{
    for (int i = 0; coded(options) && i < options.pictures.size(); ++i) {
        const QString header
            = outputBaseName(QFileInfo(options.pictures[i]).fileName()) + QStringLiteral(".h");
        if (header.compare(QLatin1String(QuillonRle::readerFileName), Qt::CaseInsensitive) == 0)
            return Options::tr("%1 : son en-tête serait %2, le nom du lecteur des tableaux codés que "
                               "--compress rle écrit à côté des en-têtes ; renommez le fichier")
                .arg(options.pictures[i], header);
    }
    return QString();
}

QString picturesClash(const Options &options)
{
    QHash<QByteArray, int> defined;
    return picturesNamesProblem(options, coded(options), &defined);
}

QString bundleClash(const Options &options)
{
    if (!options.gave("bundle"))
        return QString();
    QHash<QByteArray, int> defined;
    picturesNamesProblem(options, coded(options), &defined);
    return bundleProblem(options, flashOnAvr(options), coded(options), defined);
}

// A rule whose message tells whether it is broken: empty when it is not.
template<QString (*problem)(const Options &)> constexpr Rule toldBy()
{
    return {[](const Options &options) { return !problem(options).isEmpty(); }, problem};
}

const Rule rules[] = {
    {[](const Options &o) {
         return o.job.encoding.arrays.compression == ArrayLayout::Lz4 && o.job.format
             && o.job.format->family != DisplayFormat::Lvgl;
     },
     [](const Options &) {
         return Options::tr("--compress lz4 ne s'emploie qu'avec --format lvgl ; rle code les "
                            "tableaux des autres formats");
     }},
    {[](const Options &o) { return o.gave("name") && o.pictures.size() > 1; },
     [](const Options &o) {
         return Options::tr(
                    "--name ne nomme qu'une image : les tableaux de %1 images porteraient le même nom")
             .arg(o.pictures.size());
     }},
    toldBy<arrayNamesProblem>(),
    toldBy<readerNameProblem>(),
    toldBy<picturesClash>(),
    toldBy<bundleClash>(),
    {[](const Options &o) {
         return (o.gave("fit-mode") || o.gave("upscale")) && !o.job.encoding.display.fit.isValid();
     },
     [](const Options &o) {
         return Options::tr("--%1 ne s'emploie qu'avec --fit")
             .arg(o.gave("fit-mode") ? QStringLiteral("fit-mode") : QStringLiteral("upscale"));
     }},
    {[](const Options &o) {
         return o.gave("gravity") && o.job.encoding.display.fitMode != FitMode::Cover
             && !o.job.encoding.display.canvas.isValid();
     },
     [](const Options &) {
         return Options::tr("--gravity ne s'emploie qu'avec --fit-mode cover ou --canvas");
     }},
    {[](const Options &o) { return o.job.binary && !o.job.format; },
     [](const Options &) {
         return Options::tr("--binary ne s'emploie pas avec --format bmp : NOM16bits.BMP est "
                            "déjà le fichier des octets de son tableau");
     }},
    {[](const Options &o) { return o.job.frames.asked && !o.job.format; },
     [](const Options &) {
         return Options::tr("--frames ne s'emploie pas avec --format bmp : le fichier BMP ne "
                            "tient qu'une image ; choisissez un format d'écran (rgb565, mono, "
                            "lvgl...)");
     }},
};

} // namespace

QString formatTakingProblem(const Options &options)
{
    const DisplayFormat *format = options.job.format;
    for (const QString &name : options.given) {
        const OptionDeclaration &declared = *findOption(name);
        if (declared.setting && !(format && (format->settings & declared.setting)))
            return Options::tr("--%1 ne s'emploie qu'avec --format %2")
                .arg(name, joinedWithOr(optionFormats(declared)));
    }
    if (options.gave("compress") && !format && !options.gave("decode"))
        return Options::tr("--compress ne s'emploie pas avec --format bmp, dont l'en-tête tient "
                           "les octets du fichier BMP ; choisissez un format d'écran (rgb565, "
                           "mono...)");
    return QString();
}

QString decodeProblem(const Options &options)
{
    if (options.gave("size") && !options.gave("decode"))
        return Options::tr("--size ne s'emploie qu'avec --decode");
    if (!options.gave("decode"))
        return QString();
    // Only the options that say where the pictures go and how another tool's array reads.
    for (const QString &name : options.given) {
        if (!findOption(name)->decoding)
            return Options::tr("--%1 ne s'emploie pas avec --decode").arg(name);
    }
    if (options.gave("format") != options.gave("size"))
        return Options::tr("--decode lit le format dans l'en-tête de Quillon ; le tableau "
                           "d'un autre outil se relit avec --format et --size ensemble");
    if (options.gave("format") && !options.job.format)
        return Options::tr("--decode : --format bmp n'a pas de tableau à relire seul");
    return QString();
}

GivenOptions givenOptions(const Options &options)
{
    GivenOptions given;
    given.threshold = options.gave("threshold");
    given.strideAlign = options.gave("stride-align");
    given.dither = options.gave("dither");
    given.ditherMethod = options.gave("dither-method");
    return given;
}

QString crossOptionProblem(Options &options)
{
    for (const Rule &rule : rules) {
        if (rule.breaks(options))
            return rule.message(options);
    }
    const DisplayFormat *format = options.job.format;
    if (format && format->optionsProblem)
        return format->optionsProblem(&options.job.encoding, givenOptions(options));
    return QString();
}
