#include "options.h"

#include "display_header.h"
#include "lvgl_format.h"
#include "output_paths.h"
#include "palette.h"
#include "palette_file.h"
#include "product.h"

#include <QColor>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

namespace {

Options usageError(const QString &message)
{
    Options options;
    options.action = Options::UsageError;
    options.error = message;
    return options;
}

// What QCommandLineParser reports in English, said in French.
QString parserError(const QCommandLineParser &parser)
{
    if (!parser.unknownOptionNames().isEmpty()) {
        const QString name = parser.unknownOptionNames().first();
        return QString::fromUtf8("option inconnue « %1%2 »").arg(name.size() == 1 ? "-" : "--", name);
    }
    // "Missing value after '-o'.", "Unexpected value after '--force'."
    const QString option = QRegularExpression("'([^']*)'").match(parser.errorText()).captured(1);
    if (parser.errorText().startsWith(QLatin1String("Unexpected value")))
        return QString::fromUtf8("l'option « %1 » n'attend pas de valeur").arg(option);
    const QString what = option == "-o" || option == "--output" ? QString::fromUtf8("un dossier")
        : option == "-n" || option == "--name"                  ? QString::fromUtf8("un nom")
                                                                : QString::fromUtf8("une valeur");
    return QString::fromUtf8("l'option « %1 » attend %2").arg(option, what);
}

// The keywords of C (up to C23) and C++ (up to C++20), which cannot name an array.
const QSet<QString> &keywords()
{
    static const QSet<QString> words = [] {
        const QString list = QStringLiteral(
            "alignas alignof and and_eq asm auto bitand bitor bool break case catch char char8_t "
            "char16_t char32_t class compl concept const consteval constexpr constinit const_cast "
            "continue co_await co_return co_yield decltype default delete do double dynamic_cast "
            "else enum explicit export extern false float for friend goto if inline int long "
            "mutable namespace new noexcept not not_eq nullptr operator or or_eq private protected "
            "public register reinterpret_cast requires restrict return short signed sizeof static "
            "static_assert static_cast struct switch template this thread_local throw true try "
            "typedef typeid typename typeof typeof_unqual union unsigned using virtual void volatile "
            "wchar_t while xor xor_eq _Alignas _Alignof _Atomic _BitInt _Bool _Complex _Decimal128 "
            "_Decimal32 _Decimal64 _Generic _Imaginary _Noreturn _Static_assert _Thread_local");
        const QStringList split = list.split(QLatin1Char(' '));
        return QSet<QString>(split.begin(), split.end());
    }();
    return words;
}

// The C library's functions that GCC and Clang know as built-ins: an array of that name does not
// compile, static or not ("built-in function declared as non-function" with -Werror, or
// "redeclared as different kind of symbol" beside <string.h>, <math.h>...). GCC's list of ISO C90
// and C99 built-ins, and the other library functions it knows.
const QSet<QString> &builtIns()
{
    static const QSet<QString> words = [] {
        const QString list = QStringLiteral(
            // ISO C90
            "abort abs acos asin atan atan2 calloc ceil cos cosh exit exp fabs floor fmod fprintf fputs "
            "free frexp fscanf isalnum isalpha iscntrl isdigit isgraph islower isprint ispunct isspace "
            "isupper isxdigit tolower toupper labs ldexp log log10 malloc memchr memcmp memcpy memset "
            "modf pow printf putchar puts realloc scanf sin sinh snprintf sprintf sqrt sscanf strcat "
            "strchr strcmp strcpy strcspn strlen strncat strncmp strncpy strpbrk strrchr strspn strstr "
            "tan tanh vfprintf vprintf vsprintf fputc fwrite memmove strftime "
            // ISO C99
            "_Exit acosf acosh acoshf acoshl acosl asinf asinh asinhf asinhl asinl atan2f atan2l atanf "
            "atanh atanhf atanhl atanl cabs cabsf cabsl cacos cacosf cacosh cacoshf cacoshl cacosl carg "
            "cargf cargl casin casinf casinh casinhf casinhl casinl catan catanf catanh catanhf catanhl "
            "catanl cbrt cbrtf cbrtl ccos ccosf ccosh ccoshf ccoshl ccosl ceilf ceill cexp cexpf cexpl "
            "cimag cimagf cimagl clog clogf clogl conj conjf conjl copysign copysignf copysignl cosf "
            "coshf coshl cosl cpow cpowf cpowl cproj cprojf cprojl creal crealf creall csin csinf csinh "
            "csinhf csinhl csinl csqrt csqrtf csqrtl ctan ctanf ctanh ctanhf ctanhl ctanl erf erfc erfcf "
            "erfcl erff erfl exp2 exp2f exp2l expf expl expm1 expm1f expm1l fabsf fabsl fdim fdimf fdiml "
            "floorf floorl fma fmaf fmal fmax fmaxf fmaxl fmin fminf fminl fmodf fmodl frexpf frexpl "
            "hypot hypotf hypotl ilogb ilogbf ilogbl imaxabs isblank iswblank lgamma lgammaf lgammal "
            "llabs llrint llrintf llrintl llround llroundf llroundl log1p log1pf log1pl log2 log2f log2l "
            "logb logbf logbl logf logl lrint lrintf lrintl lround lroundf lroundl modff modfl nan nanf "
            "nanl nearbyint nearbyintf nearbyintl nextafter nextafterf nextafterl nexttoward nexttowardf "
            "nexttowardl powf powl remainder remainderf remainderl remquo remquof remquol rint rintf "
            "rintl round roundf roundl scalbln scalblnf scalblnl scalbn scalbnf scalbnl sinf sinhf sinhl "
            "sinl sqrtf sqrtl tanf tanhf tanhl tanl tgamma tgammaf tgammal trunc truncf truncl vfscanf "
            "vscanf vsnprintf vsscanf "
            // ISO C99 wide characters, C11 and others GCC knows
            "iswalnum iswalpha iswcntrl iswdigit iswgraph iswlower iswprint iswpunct iswspace iswupper "
            "iswxdigit towlower towupper aligned_alloc alloca bcmp bzero dcgettext dgettext drem dremf "
            "dreml exp10 exp10f exp10l ffs ffsl ffsll fprintf_unlocked fputs_unlocked gamma gammaf gammal "
            "gettext index isascii j0 j0f j0l j1 j1f j1l jn jnf jnl mempcpy pow10 pow10f pow10l "
            "printf_unlocked rindex scalb scalbf scalbl signbit significand significandf significandl "
            "sincos sincosf sincosl stpcpy stpncpy strcasecmp strdup strfmon strncasecmp strndup strnlen "
            "toascii y0 y0f y0l y1 y1f y1l yn ynf ynl finite finitef finitel isinf isinff isinfl isnan "
            "isnanf isnanl posix_memalign");
        const QStringList split = list.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        return QSet<QString>(split.begin(), split.end());
    }();
    return words;
}

// Names that the header's own includes define, as patterns: what <stdint.h> defines, always
// included by the pixel formats; and, for program memory, <avr/pgmspace.h> and what it includes
// (<inttypes.h>, <avr/io.h> with every register, bit and interrupt vector of the chip, all in
// capitals).
struct DefinedNames
{
    const char *header;
    QRegularExpression pattern;
};

QVector<DefinedNames> definedNames(bool progmem, bool lvgl)
{
    QVector<DefinedNames> names = {
        {"<stdint.h>",
         QRegularExpression("\\A(\\w+_t|U?INT\\w*_(MAX|MIN|WIDTH|C)|(PTRDIFF|SIZE|SIG_ATOMIC|WCHAR|WINT)_("
                            "MAX|MIN|WIDTH))\\z")},
    };
    if (progmem) {
        names += {
            {"<avr/pgmspace.h>", QRegularExpression("\\A(pgm_\\w+|PGM_\\w+|PROGMEM|PSTR|\\w+_PF?)\\z")},
            {"<inttypes.h>", QRegularExpression("\\A(imaxabs|imaxdiv|strtoimax|strtoumax)\\z")},
            {"<avr/io.h>",
             QRegularExpression("\\A([A-Z][A-Z0-9_]*|\\w+_vect(_num)?|(loop_until_)?bit_is_(set|clear))\\z")},
        };
    }
    if (lvgl) // every name of LVGL's begins so, but for those of the C library's headers it includes
        names += {{"lvgl.h", QRegularExpression("\\A(_?(lv|LV)_\\w*|LVGL\\w*|NULL|va_list)\\z")}};
    return names;
}

// The value given last to an option that takes a word, a number, a size or a colour, read alike
// whatever spaces surround it.
QString lastValue(const QCommandLineParser &parser, const QCommandLineOption &option)
{
    return parser.values(option).constLast().trimmed();
}

// A size written WIDTHxHEIGHT, of 1 to 5 digits each and not empty; QSize() otherwise.
QSize sizeOf(const QString &value)
{
    const QRegularExpressionMatch size = QRegularExpression("\\A([0-9]{1,5})x([0-9]{1,5})\\z").match(value);
    const QSize read = size.hasMatch() ? QSize(size.captured(1).toInt(), size.captured(2).toInt()) : QSize();
    return read.isEmpty() ? QSize() : read;
}

// The options that shape the picture for its screen, in the order they are declared: --crop,
// --rotate, --flip, --fit-mode, --upscale, --gravity, --canvas. Reads them into `display`;
// tells what is wrong with them otherwise.
QString geometryOptionsProblem(const QCommandLineParser &parser, const QList<QCommandLineOption> &shaping,
                               DisplayOptions *display)
{
    const QCommandLineOption &crop = shaping[0], &rotate = shaping[1], &flip = shaping[2],
                             &fitMode = shaping[3], &upscale = shaping[4], &gravity = shaping[5],
                             &canvas = shaping[6];
    if (parser.isSet(crop)) {
        const QString value = lastValue(parser, crop);
        const QRegularExpressionMatch rectangle
            = QRegularExpression("\\A([0-9]{1,5}),([0-9]{1,5}),([0-9]{1,5}x[0-9]{1,5})\\z").match(value);
        const QSize size = rectangle.hasMatch() ? sizeOf(rectangle.captured(3)) : QSize();
        if (!size.isValid())
            return QString::fromUtf8(
                       "--crop : « %1 » n'est pas un rectangle X,Y,LARGEURxHAUTEUR (par exemple "
                       "10,20,128x64)")
                .arg(value);
        display->crop = QRect(rectangle.captured(1).toInt(), rectangle.captured(2).toInt(), size.width(),
                              size.height());
    }
    if (parser.isSet(rotate)) {
        const QString value = lastValue(parser, rotate);
        if (value != QLatin1String("90") && value != QLatin1String("180") && value != QLatin1String("270"))
            return QString::fromUtf8("--rotate : « %1 » n'est pas un quart de tour (90, 180 ou 270)")
                .arg(value);
        display->rotation = value.toInt();
    }
    for (const QString &given : parser.values(flip)) {
        const QString value = given.trimmed();
        if (value == QLatin1String("h"))
            display->flipHorizontal = true;
        else if (value == QLatin1String("v"))
            display->flipVertical = true;
        else
            return QString::fromUtf8("--flip : « %1 » inconnu (h ou v)").arg(value);
    }
    if ((parser.isSet(fitMode) || parser.isSet(upscale)) && !display->fit.isValid())
        return QString::fromUtf8("--%1 ne s'emploie qu'avec --fit")
            .arg(parser.isSet(fitMode) ? QStringLiteral("fit-mode") : QStringLiteral("upscale"));
    if (parser.isSet(fitMode)) {
        const QString value = lastValue(parser, fitMode);
        if (value == QLatin1String("cover"))
            display->fitMode = FitMode::Cover;
        else if (value == QLatin1String("stretch"))
            display->fitMode = FitMode::Stretch;
        else if (value != QLatin1String("contain"))
            return QString::fromUtf8("--fit-mode : « %1 » inconnu (contain, cover ou stretch)").arg(value);
    }
    display->upscale = parser.isSet(upscale);
    if (parser.isSet(canvas)) {
        display->canvas = sizeOf(lastValue(parser, canvas));
        if (!display->canvas.isValid())
            return QString::fromUtf8(
                       "--canvas : « %1 » n'est pas une taille LARGEURxHAUTEUR (par exemple 320x240)")
                .arg(lastValue(parser, canvas));
    }
    if (parser.isSet(gravity)) {
        if (display->fitMode != FitMode::Cover && !display->canvas.isValid())
            return QString::fromUtf8("--gravity ne s'emploie qu'avec --fit-mode cover ou --canvas");
        const QString value = lastValue(parser, gravity);
        const QHash<QString, Qt::Alignment> gravities = {
            {"center", Qt::AlignCenter},
            {"north", Qt::AlignTop | Qt::AlignHCenter},
            {"south", Qt::AlignBottom | Qt::AlignHCenter},
            {"east", Qt::AlignRight | Qt::AlignVCenter},
            {"west", Qt::AlignLeft | Qt::AlignVCenter},
            {"north-east", Qt::AlignTop | Qt::AlignRight},
            {"north-west", Qt::AlignTop | Qt::AlignLeft},
            {"south-east", Qt::AlignBottom | Qt::AlignRight},
            {"south-west", Qt::AlignBottom | Qt::AlignLeft},
        };
        if (!gravities.contains(value))
            return QString::fromUtf8(
                       "--gravity : « %1 » inconnue (center, north, south, east, west, north-east, "
                       "north-west, south-east ou south-west)")
                .arg(value);
        display->gravity = gravities.value(value);
    }
    return QString();
}

// Reads LVGL's options into `encoding`; tells what is wrong with them otherwise.
QString lvglProblem(const QCommandLineParser &parser, const QCommandLineOption &colourFormat,
                    const QCommandLineOption &version, const QCommandLineOption &strideAlign,
                    const QCommandLineOption &compress, EncodingOptions *encoding)
{
    if (parser.isSet(version)) {
        const QString value = lastValue(parser, version);
        if (value != QLatin1String("8") && value != QLatin1String("9"))
            return QString::fromUtf8("--lvgl-version : « %1 » inconnue (8 ou 9)").arg(value);
        encoding->lvglVersion = value.toInt();
    }
    const bool lvgl8 = encoding->lvglVersion == 8;
    if (parser.isSet(colourFormat)) {
        const QByteArray value = lastValue(parser, colourFormat).toLatin1();
        if (!isLvglColourFormat(value, encoding->lvglVersion))
            return QString::fromUtf8("--lvgl-cf : « %1 » inconnu pour LVGL %2 (%3)")
                .arg(QString::fromLatin1(value))
                .arg(encoding->lvglVersion)
                .arg(QString::fromLatin1(lvglColourFormatNames(encoding->lvglVersion).join(", ")));
        encoding->lvglColourFormat = value;
    }
    if (encoding->swapBytes) {
        if (lvgl8)
            return QString::fromUtf8("--swap-bytes ne s'emploie pas avec LVGL 8 : ses tableaux ont les deux "
                                     "ordres, que choisit LV_COLOR_16_SWAP");
        if (!encoding->lvglColourFormat.isEmpty() && encoding->lvglColourFormat != "RGB565"
            && encoding->lvglColourFormat != "RGB565_SWAPPED")
            return QString::fromUtf8("--swap-bytes ne s'emploie avec LVGL qu'en RGB565");
        encoding->lvglColourFormat = "RGB565_SWAPPED";
    }
    if (parser.isSet(strideAlign) && lvgl8)
        return QString::fromUtf8("--stride-align ne s'emploie pas avec LVGL 8");
    if (parser.isSet(compress)) {
        const QString value = lastValue(parser, compress);
        if (value == QLatin1String("rle"))
            encoding->compression = EncodingOptions::Rle;
        else if (value == QLatin1String("lz4"))
            encoding->compression = EncodingOptions::Lz4;
        else
            return QString::fromUtf8("--compress : « %1 » inconnu (rle ou lz4)").arg(value);
        if (lvgl8)
            return QString::fromUtf8(
                "--compress ne s'emploie pas avec LVGL 8, qui ne lit pas d'image compressée");
    }
    return QString();
}

// Reads an opaque colour, #rrggbb or a name; tells what is wrong with it otherwise.
QString colourProblem(const QString &value, QColor *colour)
{
    *colour = QColor(value);
    if (!QColor::isValidColor(value))
        return QString::fromUtf8("couleur inconnue « %1 » (#rrvvbb ou un nom de couleur)").arg(value);
    if (colour->alpha() != 255)
        return QString::fromUtf8("la couleur « %1 » doit être opaque").arg(value);
    return QString();
}

} // namespace

QByteArray arrayNameOf(const QString &picturePath)
{
    QByteArray name = outputBaseName(QFileInfo(picturePath).fileName()).toUtf8();
    for (char &c : name) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            c = '_';
    }
    if (!name.isEmpty() && name[0] >= '0' && name[0] <= '9')
        name.prepend('_');
    return name;
}

QByteArrayList definedIdentifiers(const QByteArray &arrayName)
{
    QByteArrayList names {arrayName, includeGuard(arrayName)};
    for (const char *suffix : {"_width", "_height", "_palette", "_mask", "_map", "_transparent"})
        names << arrayName + suffix;
    return names;
}

QString arrayNameProblem(const QString &name, bool progmem, bool lvgl)
{
    if (name.isEmpty())
        return QString::fromUtf8("le nom du tableau est vide");
    if (!QRegularExpression("\\A[A-Za-z_][A-Za-z0-9_]*\\z").match(name).hasMatch()) {
        return name.front().isDigit()
            ? QString::fromUtf8("le nom « %1 » commence par un chiffre").arg(name)
            : QString::fromUtf8("le nom « %1 » n'est pas un identifiant C (lettres ASCII, "
                                "chiffres et _ seulement)")
                  .arg(name);
    }
    if (keywords().contains(name))
        return QString::fromUtf8("le nom « %1 » est un mot réservé du C ou du C++").arg(name);
    if (builtIns().contains(name))
        return QString::fromUtf8("le nom « %1 » est celui d'une fonction de la bibliothèque C que le "
                                 "compilateur connaît")
            .arg(name);
    if (name.startsWith(QLatin1String("QUILLON_")))
        return QString::fromUtf8("le nom « %1 » commence par QUILLON_, comme les macros des en-têtes")
            .arg(name);
    if (name == QLatin1String("main"))
        return QString::fromUtf8("le nom « main » est celui de la fonction principale du programme");
    if (name.startsWith(QLatin1String("__")) || (name.size() > 1 && name[0] == '_' && name[1].isUpper()))
        return QString::fromUtf8("le nom « %1 » est réservé au compilateur (il commence par __ ou par _ "
                                 "et une majuscule)")
            .arg(name);
    for (const DefinedNames &defined : definedNames(progmem, lvgl)) {
        if (defined.pattern.match(name).hasMatch())
            return QString::fromUtf8("le nom « %1 » est de ceux que définit %2, que l'en-tête inclut")
                .arg(name, QLatin1String(defined.header));
    }
    return QString();
}

Options parseOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    const QCommandLineOption help(QStringList {"h", "help"});
    const QCommandLineOption version(QStringList {"V", "version"});
    const QCommandLineOption output(QStringList {"o", "output"}, QString(), "DOSSIER");
    const QCommandLineOption force(QStringList {"f", "force"});
    const QCommandLineOption name(QStringList {"n", "name"}, QString(), "NOM");
    const QCommandLineOption progmem("progmem");
    const QCommandLineOption split("split");
    const QCommandLineOption format("format", QString(), "FORMAT");
    const QCommandLineOption swapBytes("swap-bytes");
    const QCommandLineOption fit("fit", QString(), "LxH");
    const QCommandLineOption dither("dither");
    const QCommandLineOption background("background", QString(), "COULEUR");
    const QCommandLineOption preview("preview");
    const QCommandLineOption threshold("threshold", QString(), "N");
    const QCommandLineOption invert("invert");
    const QCommandLineOption alpha("alpha", QString(), "mask");
    const QCommandLineOption transparent("transparent", QString(), "COULEUR");
    const QCommandLineOption lvglColourFormat("lvgl-cf", QString(), "CF");
    const QCommandLineOption lvglVersion("lvgl-version", QString(), "8|9");
    const QCommandLineOption strideAlign("stride-align", QString(), "N");
    const QCommandLineOption compress("compress", QString(), "rle|lz4");
    const QCommandLineOption paletteFile("palette", QString(), "FICHIER");
    const QCommandLineOption crop("crop", QString(), "X,Y,LxH");
    const QCommandLineOption rotate("rotate", QString(), "90|180|270");
    const QCommandLineOption flip("flip", QString(), "h|v");
    const QCommandLineOption fitMode("fit-mode", QString(), "contain|cover|stretch");
    const QCommandLineOption upscale("upscale");
    const QCommandLineOption gravity("gravity", QString(), "GRAVITE");
    const QCommandLineOption canvas("canvas", QString(), "LxH");
    const QCommandLineOption bmpFile("bmp"), binary("binary");
    parser.addOptions({help,        version,     output,    force, name,        progmem,
                       split,       format,      swapBytes, fit,   dither,      background,
                       preview,     threshold,   invert,    alpha, transparent, lvglColourFormat,
                       lvglVersion, strideAlign, compress});
    parser.addOption(paletteFile);
    parser.addOptions({crop, rotate, flip, fitMode, upscale, gravity, canvas, bmpFile, binary});
    if (!parser.parse(arguments))
        return usageError(parserError(parser));

    Options options;
    if (parser.isSet(help)) {
        options.action = Options::ShowHelp;
        return options;
    }
    if (parser.isSet(version)) {
        options.action = Options::ShowVersion;
        return options;
    }
    options.force = parser.isSet(force);
    options.pictures = parser.positionalArguments();
    if (options.pictures.isEmpty())
        return usageError(QString::fromUtf8("aucune image indiquée"));
    if (parser.isSet(output)) {
        options.outputFolder = parser.values(output).constLast();
        if (options.outputFolder.isEmpty())
            return usageError(QString::fromUtf8("le dossier de destination est vide"));
    }
    options.header.progmem = parser.isSet(progmem);
    if (parser.isSet(format)) {
        const QString value = lastValue(parser, format);
        options.format = findDisplayFormat(value.toLatin1());
        if (!options.format && value != QLatin1String("bmp")) {
            QStringList names {"bmp"};
            for (const DisplayFormat &known : displayFormats())
                names << QLatin1String(known.name);
            return usageError(QString::fromUtf8("--format : format inconnu « %1 » (%2 ou %3)")
                                  .arg(value, names.mid(0, names.size() - 1).join(", "), names.constLast()));
        }
    }
    const QByteArray formatName = options.format ? options.format->name : "bmp";
    const auto onlyWith = [&](const QCommandLineOption &option, const QByteArrayList &formats) {
        if (!parser.isSet(option) || formats.contains(formatName))
            return QString();
        QStringList names;
        for (const QByteArray &name : formats)
            names << QLatin1String(name);
        return QString::fromUtf8("--%1 ne s'emploie qu'avec --format %2")
            .arg(option.names().constLast(),
                 names.size() == 1 ? names[0]
                                   : names.mid(0, names.size() - 1).join(", ") + " ou " + names.constLast());
    };
    for (const QString &problem :
         {onlyWith(swapBytes, {"rgb565", "index4", "index8", "lvgl"}),
          onlyWith(threshold, {"mono", "xbm", "pages", "lvgl"}),
          onlyWith(invert, {"mono", "xbm", "pages", "gray8", "gray4", "gray2", "lvgl"}),
          onlyWith(alpha, {"rgb565"}), onlyWith(transparent, {"rgb565"}),
          onlyWith(lvglColourFormat, {"lvgl"}), onlyWith(lvglVersion, {"lvgl"}),
          onlyWith(strideAlign,
                   {"rgb565", "mono", "xbm", "pages", "gray8", "gray4", "gray2", "index4", "index8", "lvgl"}),
          onlyWith(compress, {"lvgl"}), onlyWith(paletteFile, {"index4", "index8"})}) {
        if (!problem.isEmpty())
            return usageError(problem);
    }
    options.header.split = parser.isSet(split);
    // The headers include <avr/pgmspace.h> on AVR with --progmem, and for the arrays that the
    // drawing libraries read from program memory.
    const bool flashOnAvr = options.header.progmem || (options.format && options.format->flashOnAvr);
    const bool lvgl = formatName == "lvgl";
    if (parser.isSet(name)) {
        if (options.pictures.size() > 1)
            return usageError(QString::fromUtf8("--name ne nomme qu'une image : les tableaux de %1 images "
                                                "porteraient le même nom")
                                  .arg(options.pictures.size()));
        const QString arrayName = parser.values(name).constLast();
        const QString problem = arrayNameProblem(arrayName, flashOnAvr, lvgl);
        if (!problem.isEmpty())
            return usageError(QString::fromUtf8("--name : %1").arg(problem));
        options.arrayNames = {arrayName.toLatin1()};
    } else {
        for (const QString &picture : options.pictures) {
            options.arrayNames << arrayNameOf(picture);
            const QString problem
                = arrayNameProblem(QString::fromLatin1(options.arrayNames.last()), flashOnAvr, lvgl);
            if (!problem.isEmpty())
                return usageError(QString::fromUtf8("%1 : %2 ; renommez le fichier ou nommez son tableau "
                                                    "avec --name")
                                      .arg(picture, problem));
        }
    }
    // Names that one header defines beside its array: each picture's must differ from the others'.
    QHash<QByteArray, int> definedBy;
    for (int i = 0; i < options.arrayNames.size(); ++i) {
        for (const QByteArray &defined : definedIdentifiers(options.arrayNames[i])) {
            const auto first = definedBy.constFind(defined);
            if (first != definedBy.constEnd() && *first != i)
                return usageError(
                    QString::fromUtf8("les en-têtes de %1 et de %2 définiraient tous deux « %3 » : "
                                      "renommez l'un des fichiers")
                        .arg(options.pictures[*first], options.pictures[i], QString::fromLatin1(defined)));
            definedBy.insert(defined, i);
        }
    }
    EncodingOptions &encoding = options.encoding;
    encoding.progmem = options.header.progmem;
    encoding.swapBytes = parser.isSet(swapBytes);
    encoding.invert = parser.isSet(invert);
    if (formatName == "lvgl") {
        const QString problem
            = lvglProblem(parser, lvglColourFormat, lvglVersion, strideAlign, compress, &encoding);
        if (!problem.isEmpty())
            return usageError(problem);
        if (encoding.progmem)
            return usageError(
                QString::fromUtf8("--progmem ne s'emploie pas avec --format lvgl : LVGL lit ses "
                                  "images en mémoire ordinaire"));
        // Only LVGL's black and white and grey formats light pixels by a threshold or reverse them.
        const QByteArray &colourFormat = encoding.lvglColourFormat;
        if (parser.isSet(threshold) && colourFormat != "I1")
            return usageError(QString::fromUtf8("--threshold ne s'emploie avec LVGL qu'avec --lvgl-cf I1"));
        if (parser.isSet(invert) && colourFormat != "I1" && colourFormat != "L8")
            return usageError(
                QString::fromUtf8("--invert ne s'emploie avec LVGL qu'avec --lvgl-cf I1 ou L8"));
    }
    if (parser.isSet(strideAlign)) {
        const QString value = lastValue(parser, strideAlign);
        bool isNumber = false;
        encoding.strideAlign = value.toInt(&isNumber);
        if (!isNumber || encoding.strideAlign < 1 || encoding.strideAlign > 1024 || value.startsWith('+'))
            return usageError(
                QString::fromUtf8("--stride-align : « %1 » n'est pas un alignement de 1 à 1024 octets")
                    .arg(value));
    }
    if (parser.isSet(threshold)) {
        const QString value = lastValue(parser, threshold);
        bool isNumber = false;
        encoding.threshold = value.toInt(&isNumber);
        if (!isNumber || encoding.threshold < 0 || encoding.threshold > 255 || value.startsWith('+'))
            return usageError(
                QString::fromUtf8("--threshold : « %1 » n'est pas un seuil de 0 à 255").arg(value));
    }
    if (parser.isSet(alpha)) {
        const QString value = lastValue(parser, alpha);
        if (value != QLatin1String("mask"))
            return usageError(QString::fromUtf8("--alpha : « %1 » inconnu (mask seulement)").arg(value));
        encoding.alphaMask = true;
    }
    if (parser.isSet(transparent)) {
        const QString problem = colourProblem(lastValue(parser, transparent), &encoding.transparent);
        if (!problem.isEmpty())
            return usageError(QString::fromUtf8("--transparent : %1").arg(problem));
    }
    if (parser.isSet(fit)) {
        const QString value = lastValue(parser, fit);
        const QRegularExpressionMatch size
            = QRegularExpression("\\A([0-9]{1,5})x([0-9]{1,5})\\z").match(value);
        options.display.fit
            = size.hasMatch() ? QSize(size.captured(1).toInt(), size.captured(2).toInt()) : QSize();
        if (options.display.fit.isEmpty())
            return usageError(
                QString::fromUtf8("--fit : « %1 » n'est pas une taille LARGEURxHAUTEUR (par exemple 128x64)")
                    .arg(value));
    }
    const QString shapeProblem = geometryOptionsProblem(
        parser, {crop, rotate, flip, fitMode, upscale, gravity, canvas}, &options.display);
    if (!shapeProblem.isEmpty())
        return usageError(shapeProblem);
    if (parser.isSet(paletteFile)) {
        const QString path = parser.values(paletteFile).constLast();
        QVector<QRgb> colours;
        const QString problem = readPaletteFile(path, &colours);
        if (!problem.isEmpty())
            return usageError(QString::fromUtf8("--palette : %1").arg(problem));
        const int room = formatName == "index4" ? 16 : 256;
        if (colours.size() > room)
            return usageError(QString::fromUtf8("--palette : %1 a %2 couleurs, plus que les %3 que tient "
                                                "--format %4")
                                  .arg(path)
                                  .arg(colours.size())
                                  .arg(room)
                                  .arg(QLatin1String(formatName)));
        for (QRgb colour : colours)
            encoding.palette << cutTo565(qRed(colour), qGreen(colour), qBlue(colour));
    }
    options.display.dither = parser.isSet(dither);
    encoding.dither = options.display.dither;
    if (parser.isSet(background)) {
        const QString problem = colourProblem(lastValue(parser, background), &options.display.background);
        if (!problem.isEmpty())
            return usageError(QString::fromUtf8("--background : %1").arg(problem));
    }
    options.preview = parser.isSet(preview);
    options.bmp = parser.isSet(bmpFile);
    options.binary = parser.isSet(binary);
    if (options.binary && !options.format)
        return usageError(QString::fromUtf8("--binary ne s'emploie pas avec --format bmp : NOM16bits.BMP est "
                                            "déjà le fichier des octets de son tableau"));
    return options;
}

QString helpText()
{
    return QString::fromUtf8(
        "Utilisation : quillon-convert [OPTION]... IMAGE...\n"
        "Convertit chaque IMAGE (PNG, BMP, GIF, JPEG...) en une image BMP 16 bits (RVB 5-6-5)\n"
        "NOM16bits.BMP et en un fichier d'en-tête C NOM.h qui contient les octets de ce BMP,\n"
        "exactement comme la fenêtre de Quillon. Chaque tableau porte le nom de son image,\n"
        "fait identifiant C (« mon icône.png » donne mon_ic__ne, « 8x8.png » _8x8) ;\n"
        "avec --name logo, les deux fichiers sont ceux de la fenêtre.\n"
        "\n"
        "  -o, --output=DOSSIER  écrit les fichiers dans DOSSIER, créé s'il manque\n"
        "                        (par défaut : le dossier de chaque image)\n"
        "  -f, --force           remplace les fichiers qui existent déjà (un lien\n"
        "                        symbolique est remplacé lui-même, jamais sa cible)\n"
        "  -n, --name=NOM        nomme NOM le tableau de la seule image indiquée (un\n"
        "                        identifiant C) ; deux images dont les en-têtes\n"
        "                        définiraient un même nom sont refusées\n"
        "      --progmem         place les tableaux en mémoire programme sur AVR\n"
        "                        (PROGMEM, rien ailleurs) ; 32 767 octets au plus,\n"
        "                        environ 128 x 127 pixels. mono, xbm, gray8 et rgb565,\n"
        "                        lus avec pgm_read_byte, y vont sans cette option\n"
        "      --split           écrit les tableaux dans NOM.c, à compiler avec le\n"
        "                        programme, et les déclare extern dans NOM.h\n"
        "      --format=FORMAT   ce que contient le tableau : bmp (par défaut), les octets\n"
        "                        du fichier BMP, ou rgb565, les pixels en valeurs 16 bits\n"
        "                        de la ligne du haut à celle du bas, avec NOM_width et\n"
        "                        NOM_height.\n"
        "                        Pour les petits écrans : mono (1 bit par pixel, ligne\n"
        "                        par ligne, bit fort à gauche), xbm (bit faible à gauche),\n"
        "                        pages (pages de 8 lignes des SSD1306 et SH1106), gray8\n"
        "                        (un octet par pixel), gray4 (deux pixels par octet),\n"
        "                        index4 et index8 (palette 5-6-5 de 16 ou 256 couleurs) ;\n"
        "                        lvgl, une image lv_image_dsc_t de LVGL.\n"
        "                        Pour les écrans à encre électronique : gray2 (4 gris,\n"
        "                        quatre pixels par octet), epd-bw-red et epd-bw-yellow\n"
        "                        (plans NOM_black et NOM_red ou NOM_yellow, 0 où va\n"
        "                        l'encre), epd7 (les 7 couleurs des écrans ACeP, deux\n"
        "                        pixels par octet)\n"
        "      --swap-bytes      avec rgb565, index4, index8 ou lvgl : échange les deux\n"
        "                        octets de chaque valeur 5-6-5, pour les écrans qui\n"
        "                        reçoivent l'octet fort d'abord (la palette d'index4\n"
        "                        reste telle que TFT_eSPI l'envoie)\n"
        "      --threshold=N     avec mono, xbm, pages ou lvgl (I1) : allume les pixels\n"
        "                        dont la luminance (Rec. 601) vaut au moins N, de 0 à\n"
        "                        255 (par défaut 128)\n"
        "      --invert          avec mono, xbm, pages, gray8, gray4, gray2 ou lvgl\n"
        "                        (L8, I1) : échange pixels allumés et éteints, inverse\n"
        "                        les niveaux de gris\n"
        "      --alpha=mask      avec rgb565 : ajoute NOM_mask, 1 bit par pixel, 1 où\n"
        "                        l'image est opaque (alpha de 128 ou plus)\n"
        "      --lvgl-cf=CF      avec lvgl : le format de couleur de l'image LVGL, RGB565\n"
        "                        (par défaut, RGB565A8 si l'image n'est pas opaque),\n"
        "                        RGB565A8, RGB565_SWAPPED, RGB888, XRGB8888, ARGB8888,\n"
        "                        L8, A8, I1, I2, I4 ou I8\n"
        "      --lvgl-version=8|9\n"
        "                        avec lvgl : lv_image_dsc_t de LVGL 9 (par défaut) ou\n"
        "                        lv_img_dsc_t de LVGL 8\n"
        "      --palette=FICHIER avec index4 ou index8 : la palette de FICHIER au lieu\n"
        "                        d'une palette choisie pour l'image ; une palette GIMP\n"
        "                        (.gpl) ou une couleur #rrvvbb par ligne, les lignes\n"
        "                        vides et les commentaires (# et une espace) permis\n"
        "      --stride-align=N  chaque ligne sur un multiple de N octets, complétée de zéros\n"
        "      --compress=rle|lz4\n"
        "                        avec lvgl : compresse l'image comme LVGL 9 la lit\n"
        "      --transparent=COULEUR\n"
        "                        avec rgb565 : écrit COULEUR pour les pixels transparents\n"
        "                        (alpha sous 128) et la donne dans NOM_transparent,\n"
        "                        dans l'ordre que TFT_eSPI compare\n"
        "      --crop=X,Y,LxH    ne garde que ce rectangle de l'image\n"
        "      --rotate=90|180|270\n"
        "                        tourne l'image d'autant de degrés, dans le sens horaire\n"
        "      --flip=h|v        retourne l'image de gauche à droite (h) ou de haut en\n"
        "                        bas (v) ; les deux si l'option est donnée deux fois\n"
        "      --fit=LxH         réduit l'image (sans jamais l'agrandir) pour qu'elle tienne\n"
        "                        dans L x H pixels, en gardant ses proportions\n"
        "      --fit-mode=contain|cover|stretch\n"
        "                        avec --fit : dedans (par défaut), couvrant tout L x H\n"
        "                        et coupant ce qui dépasse autour de --gravity, ou\n"
        "                        exactement L x H sans garder les proportions\n"
        "      --upscale         avec --fit : agrandit aussi une image plus petite\n"
        "      --canvas=LxH      pose l'image sur un fond de L x H pixels exactement, de\n"
        "                        la couleur de --background (noir par défaut)\n"
        "      --gravity=GRAVITE avec cover ou --canvas : center (par défaut), north,\n"
        "                        south, east, west, north-east, north-west, south-east\n"
        "                        ou south-west\n"
        "                        (appliquées dans cet ordre : --crop, --rotate, --flip,\n"
        "                        --fit, --canvas)\n"
        "      --dither          diffuse l'erreur (Floyd-Steinberg) vers les niveaux du\n"
        "                        format au lieu de tronquer chaque couleur\n"
        "      --background=COULEUR\n"
        "                        pose les pixels transparents sur COULEUR (#rrvvbb ou\n"
        "                        un nom de couleur) au lieu du noir\n"
        "      --preview         écrit aussi NOM16bits.png, l'image telle que l'écran\n"
        "                        l'affichera\n"
        "      --bmp             hors bmp : écrit aussi NOM16bits.BMP (sans cette option,\n"
        "                        seul --format bmp l'écrit)\n"
        "      --binary          hors bmp : écrit aussi chaque tableau tel quel, en\n"
        "                        petit-boutiste, dans NOM.bin, NOM_mask.bin... ; avec\n"
        "                        lvgl, NOM.bin est l'image que LVGL charge d'un fichier\n"
        "  -h, --help            affiche cette aide et quitte\n"
        "  -V, --version         affiche la version et quitte\n"
        "\n"
        "Hors bmp, chaque en-tête a une garde et des tableaux static const : il se\n"
        "compile en C et en C++, dans plusieurs fichiers d'un programme.\n"
        "\n"
        "Plusieurs images sont converties en parallèle, sur tous les cœurs ; une dernière\n"
        "ligne compte alors les images converties, ignorées et en échec.\n"
        "\n"
        "Code de sortie : 0 si toutes les images ont été converties, 1 si l'une d'elles\n"
        "ne l'a pas été, 2 si la ligne de commande est incorrecte, 130 ou 143 si elle a\n"
        "été interrompue.\n");
}

QString versionText()
{
    return QStringLiteral("quillon-convert (%1) %2\n")
        .arg(QLatin1String(Quillon::productName), QLatin1String(Quillon::productVersion));
}
