#include "options.h"

#include "bundle_table.h"
#include "display_header.h"
#include "output_paths.h"
#include "palette.h"
#include "palette_file.h"
#include "product.h"
#include "rle_arrays.h"
#include "rle_coding.h"

#include <QColor>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <map>
#include <mutex>

namespace {

Options usageError(const QString &message)
{
    Options options;
    options.action = Options::UsageError;
    options.error = message;
    return options;
}

// The number of single letters inserted, deleted, replaced or swapped with their neighbour that
// turn `a` into `b` (the optimal string alignment distance).
int editDistance(const QString &a, const QString &b)
{
    const int m = a.size(), n = b.size();
    QVector<QVector<int>> d(m + 1, QVector<int>(n + 1));
    for (int i = 0; i <= m; ++i)
        d[i][0] = i;
    for (int j = 0; j <= n; ++j)
        d[0][j] = j;
    for (int i = 1; i <= m; ++i) {
        for (int j = 1; j <= n; ++j) {
            d[i][j] = qMin(qMin(d[i - 1][j] + 1, d[i][j - 1] + 1),
                           d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1));
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = qMin(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[m][n];
}

// The long option that `name` (given without its dashes) was most likely meant to be: the nearest
// by a slip or two of the fingers (one for names of 4 letters or fewer), or the one it begins with
// or alone begins; empty when none is near enough.
QString nearestOption(const QString &name)
{
    QString nearest;
    int best = name.size() <= 4 ? 2 : 3;
    QStringList prefixed;
    for (const OptionDeclaration &option : optionTable()) {
        const QString known = QLatin1String(option.name);
        const int distance = editDistance(name, known);
        if (distance < best) {
            best = distance;
            nearest = known;
        }
        if (name.size() >= 3 && known.startsWith(name))
            prefixed << known;
        if (known.size() >= 4 && name.startsWith(known) && nearest.isEmpty())
            nearest = known;
    }
    if (nearest.isEmpty() && prefixed.size() == 1)
        nearest = prefixed.first();
    return nearest;
}

// A long option written with one dash, "-format mono": parsed the GNU way, it would be -f -o rmat
// and write into a folder named rmat. Refused, naming the option meant; arguments after "--" are
// pictures.
QString singleDashProblem(const QStringList &arguments)
{
    for (const QString &argument : arguments.mid(1)) {
        if (argument == QLatin1String("--"))
            break;
        if (argument.size() < 3 || argument[0] != QLatin1Char('-') || argument[1] == QLatin1Char('-'))
            continue;
        const QString word = argument.mid(1).section(QLatin1Char('='), 0, 0);
        for (const OptionDeclaration &option : optionTable()) {
            if (word == QLatin1String(option.name))
                return Options::tr(
                           "« %1 » : une option longue prend deux tirets ; vouliez-vous dire « --%2 » ?")
                    .arg(argument, word);
        }
    }
    return QString();
}

// What QCommandLineParser reports in English, said in French.
QString parserError(const QCommandLineParser &parser)
{
    if (!parser.unknownOptionNames().isEmpty()) {
        const QString name = parser.unknownOptionNames().first();
        const QString given = (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
        const QString meant = name.size() == 1 ? QString() : nearestOption(name);
        if (!meant.isEmpty())
            return Options::tr("option inconnue « %1 » ; vouliez-vous dire « --%2 » ?").arg(given, meant);
        return Options::tr("option inconnue « %1%2 »").arg(name.size() == 1 ? "-" : "--", name);
    }
    // "Missing value after '-o'.", "Unexpected value after '--force'."
    const QString option = QRegularExpression("'([^']*)'").match(parser.errorText()).captured(1);
    if (parser.errorText().startsWith(QLatin1String("Unexpected value")))
        return Options::tr("l'option « %1 » n'attend pas de valeur").arg(option);
    const QString what = option == "-o" || option == "--output" ? Options::tr("un dossier")
        : option == "-n" || option == "--name"                  ? Options::tr("un nom")
                                                                : Options::tr("une valeur");
    return Options::tr("l'option « %1 » attend %2").arg(option, what);
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
// included by the pixel formats; for program memory, <avr/pgmspace.h> and what it includes
// (<inttypes.h>, <avr/io.h> with every register, bit and interrupt vector of the chip, all in
// capitals); and what the format's own includes define. Each pattern is compiled once, whatever
// the number of pictures whose names it checks.
struct DefinedNames
{
    const char *header;
    QRegularExpression pattern;
};

const QVector<DefinedNames> &definedNames(bool progmem, const DisplayFormat *format)
{
    // Each list made the first time its format and placement are asked for, and kept.
    static std::mutex mutex;
    static std::map<QByteArray, QVector<DefinedNames>> lists;
    const QByteArray key = QByteArray(progmem ? "1" : "0")
        + (format && format->includedFile ? QByteArray(format->includedFile) + '\0' + format->includedNames
                                          : QByteArray());
    const std::lock_guard<std::mutex> lock(mutex);
    const auto listed = lists.find(key);
    if (listed != lists.end())
        return listed->second;
    QVector<DefinedNames> names = {
        {"<stdint.h>",
         QRegularExpression(
             "\\A(u?int(_least|_fast)?(8|16|32|64)_t|u?int(ptr|max)_t|U?INT\\w*_(MAX|MIN|WIDTH|C)|("
             "PTRDIFF|SIZE|SIG_ATOMIC|WCHAR|WINT)_(MAX|MIN|WIDTH))\\z")},
    };
    if (progmem) {
        names += {
            {"<avr/pgmspace.h>", QRegularExpression("\\A(pgm_\\w+|PGM_\\w+|PROGMEM|PSTR|\\w+_PF?)\\z")},
            {"<inttypes.h>", QRegularExpression("\\A(imaxabs|imaxdiv|strtoimax|strtoumax)\\z")},
            {"<avr/io.h>",
             QRegularExpression("\\A([A-Z][A-Z0-9_]*|\\w+_vect(_num)?|(loop_until_)?bit_is_(set|clear))\\z")},
        };
    }
    if (format && format->includedFile)
        names += {{format->includedFile, QRegularExpression(QLatin1String(format->includedNames))}};
    return lists.emplace(key, names).first->second;
}

// The value given last to an option that takes a word, a number, a size or a colour, read alike
// whatever spaces surround it.
QString lastValue(const QCommandLineParser &parser, const QString &option)
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

// The frames --frames asks for: all, A-B or A, numbered from 1.
QString frameRangeProblem(const QString &value, FrameRange *range)
{
    const QRegularExpressionMatch match
        = QRegularExpression("\\A([0-9]{1,9})(?:-([0-9]{1,9}))?\\z").match(value);
    range->asked = true;
    if (value == QLatin1String("all"))
        return QString();
    if (!match.hasMatch())
        return Options::tr("--frames : « %1 » n'est ni all ni des images A-B (par exemple 1-10, numérotées à "
                           "partir de 1)")
            .arg(value);
    range->first = match.captured(1).toInt();
    range->last = match.captured(2).isEmpty() ? range->first : match.captured(2).toInt();
    if (range->first < 1)
        return Options::tr("--frames : « %1 » : les images sont numérotées à partir de 1").arg(value);
    if (range->last < range->first)
        return Options::tr("--frames : « %1 » finit avant de commencer").arg(value);
    if (range->last - range->first + 1 > maxAnimationFrames)
        return Options::tr("--frames : « %1 » demande plus de %2 images").arg(value).arg(maxAnimationFrames);
    return QString();
}

// The options that shape the picture for its screen: --crop, --rotate, --flip, --fit-mode,
// --upscale, --gravity, --canvas. Reads them into `display`; tells what is wrong with them
// otherwise.
QString geometryOptionsProblem(const QCommandLineParser &parser, DisplayOptions *display)
{
    const QString crop = QStringLiteral("crop"), rotate = QStringLiteral("rotate"),
                  flip = QStringLiteral("flip"), fitMode = QStringLiteral("fit-mode"),
                  upscale = QStringLiteral("upscale"), gravity = QStringLiteral("gravity"),
                  canvas = QStringLiteral("canvas");
    if (parser.isSet(crop)) {
        const QString value = lastValue(parser, crop);
        const QRegularExpressionMatch rectangle
            = QRegularExpression("\\A([0-9]{1,5}),([0-9]{1,5}),([0-9]{1,5}x[0-9]{1,5})\\z").match(value);
        const QSize size = rectangle.hasMatch() ? sizeOf(rectangle.captured(3)) : QSize();
        if (!size.isValid())
            return Options::tr("--crop : « %1 » n'est pas un rectangle X,Y,LARGEURxHAUTEUR (par exemple "
                               "10,20,128x64)")
                .arg(value);
        display->crop = QRect(rectangle.captured(1).toInt(), rectangle.captured(2).toInt(), size.width(),
                              size.height());
    }
    if (parser.isSet(rotate)) {
        const QString value = lastValue(parser, rotate);
        if (value != QLatin1String("90") && value != QLatin1String("180") && value != QLatin1String("270"))
            return Options::tr("--rotate : « %1 » n'est pas un quart de tour (90, 180 ou 270)").arg(value);
        display->rotation = value.toInt();
    }
    for (const QString &given : parser.values(flip)) {
        const QString value = given.trimmed();
        if (value == QLatin1String("h"))
            display->flipHorizontal = true;
        else if (value == QLatin1String("v"))
            display->flipVertical = true;
        else
            return Options::tr("--flip : « %1 » inconnu (h ou v)").arg(value);
    }
    if ((parser.isSet(fitMode) || parser.isSet(upscale)) && !display->fit.isValid())
        return Options::tr("--%1 ne s'emploie qu'avec --fit")
            .arg(parser.isSet(fitMode) ? QStringLiteral("fit-mode") : QStringLiteral("upscale"));
    if (parser.isSet(fitMode)) {
        const QString value = lastValue(parser, fitMode);
        if (value == QLatin1String("cover"))
            display->fitMode = FitMode::Cover;
        else if (value == QLatin1String("stretch"))
            display->fitMode = FitMode::Stretch;
        else if (value != QLatin1String("contain"))
            return Options::tr("--fit-mode : « %1 » inconnu (contain, cover ou stretch)").arg(value);
    }
    display->upscale = parser.isSet(upscale);
    if (parser.isSet(canvas)) {
        display->canvas = sizeOf(lastValue(parser, canvas));
        if (!display->canvas.isValid())
            return Options::tr("--canvas : « %1 » n'est pas une taille LARGEURxHAUTEUR (par exemple 320x240)")
                .arg(lastValue(parser, canvas));
    }
    if (parser.isSet(gravity)) {
        if (display->fitMode != FitMode::Cover && !display->canvas.isValid())
            return Options::tr("--gravity ne s'emploie qu'avec --fit-mode cover ou --canvas");
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
            return Options::tr("--gravity : « %1 » inconnue (center, north, south, east, west, north-east, "
                               "north-west, south-east ou south-west)")
                .arg(value);
        display->gravity = gravities.value(value);
    }
    return QString();
}

// Reads --brightness, --contrast and --gamma; tells what is wrong with them otherwise.
QString toneOptionsProblem(const QCommandLineParser &parser, Tone *tone)
{
    // A whole number from -100 to 100, its sign given or not.
    const auto level = [&](const char *name, int *value) {
        const QString option = QLatin1String(name);
        if (!parser.isSet(option))
            return true;
        bool isNumber = false;
        *value = lastValue(parser, option).toInt(&isNumber);
        return isNumber && *value >= -100 && *value <= 100;
    };
    if (!level("brightness", &tone->brightness))
        return Options::tr("--brightness : « %1 » n'est pas une luminosité de -100 à 100")
            .arg(lastValue(parser, QStringLiteral("brightness")));
    if (!level("contrast", &tone->contrast))
        return Options::tr("--contrast : « %1 » n'est pas un contraste de -100 à 100")
            .arg(lastValue(parser, QStringLiteral("contrast")));
    if (parser.isSet(QStringLiteral("gamma"))) {
        const QString value = lastValue(parser, QStringLiteral("gamma"));
        bool isNumber = false;
        tone->gamma = value.toDouble(&isNumber);
        // Written as a plain decimal number: no sign, exponent, infinity or NaN.
        if (!isNumber || !QRegularExpression("\\A[0-9]*\\.?[0-9]*\\z").match(value).hasMatch()
            || !(tone->gamma >= 0.1 && tone->gamma <= 10))
            return Options::tr("--gamma : « %1 » n'est pas un gamma de 0.1 à 10").arg(value);
    }
    return QString();
}

// Reads an opaque colour, #rrggbb or a name; tells what is wrong with it otherwise.
QString colourProblem(const QString &value, QColor *colour)
{
    *colour = QColor(value);
    if (!QColor::isValidColor(value))
        return Options::tr("couleur inconnue « %1 » (#rrvvbb ou un nom de couleur)").arg(value);
    if (colour->alpha() != 255)
        return Options::tr("la couleur « %1 » doit être opaque").arg(value);
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

namespace {

// What follows NAME_frameN in the names of a header of frames' arrays, one set a frame.
QByteArrayList frameArraySuffixes()
{
    return QByteArrayList {""} + arraySuffixes(DisplayFormat::rowsOfPixels | DisplayFormat::MapArray);
}

// The arrays of a picture's pixels, which are coded by run length with --compress rle and padded
// by --stride-align.
QByteArrayList pixelArraySuffixes()
{
    return QByteArrayList {""} + arraySuffixes(DisplayFormat::rowsOfPixels);
}

} // namespace

QByteArrayList definedIdentifiers(const QByteArray &arrayName, bool frames, bool coded)
{
    QByteArrayList names {arrayName};
    // The macros and arrays of every format: sizes, palette, mask, LVGL's pixel map, key colour, the
    // e-paper planes, and each row array's stride when rows are padded.
    for (const QByteArray &suffix : QByteArrayList {"_width", "_height"} + arraySuffixes())
        names << arrayName + suffix;
    for (const QByteArray &suffix : pixelArraySuffixes())
        names << arrayName + suffix + "_stride";
    // Each coded array and the size of what it codes.
    for (const QByteArray &suffix : pixelArraySuffixes()) {
        if (coded)
            names << arrayName + suffix + "_rle" << arrayName + suffix + "_size";
    }
    if (frames) {
        names << arrayName + "_frame_count" << arrayName + "_delays_ms";
        for (const QByteArray &suffix : frameArraySuffixes())
            names << arrayName + suffix + "_frames";
    }
    return names;
}

bool isFrameArrayName(const QByteArray &identifier, const QByteArray &arrayName, bool coded)
{
    const QByteArray prefix = arrayName + "_frame";
    if (!identifier.startsWith(prefix))
        return false;
    int end = prefix.size();
    while (end < identifier.size() && identifier[end] >= '0' && identifier[end] <= '9')
        ++end;
    const int digits = end - prefix.size();
    // Frames numbered from 0, at most maxAnimationFrames (1000) of them.
    if (digits < 1 || digits > 3 || (digits > 1 && identifier[prefix.size()] == '0'))
        return false;
    for (const QByteArray &suffix : frameArraySuffixes()) {
        if (identifier.mid(end) == suffix)
            return true;
    }
    for (const QByteArray &suffix : pixelArraySuffixes()) {
        if (coded && identifier.mid(end) == suffix + "_rle")
            return true;
    }
    return false;
}

QString arrayNameProblem(const QString &name, bool progmem, const DisplayFormat *format)
{
    if (name.isEmpty())
        return Options::tr("le nom du tableau est vide");
    static const QRegularExpression identifier(QStringLiteral("\\A[A-Za-z_][A-Za-z0-9_]*\\z"));
    if (!identifier.match(name).hasMatch()) {
        return name.front().isDigit()
            ? Options::tr("le nom « %1 » commence par un chiffre").arg(name)
            : Options::tr("le nom « %1 » n'est pas un identifiant C (lettres ASCII, "
                          "chiffres et _ seulement)")
                  .arg(name);
    }
    if (keywords().contains(name))
        return Options::tr("le nom « %1 » est un mot réservé du C ou du C++").arg(name);
    if (builtIns().contains(name))
        return Options::tr("le nom « %1 » est celui d'une fonction de la bibliothèque C que le "
                           "compilateur connaît")
            .arg(name);
    if (name.startsWith(QLatin1String("QUILLON_")))
        return Options::tr("le nom « %1 » commence par QUILLON_, comme les macros des en-têtes").arg(name);
    if (name == QLatin1String("main"))
        return Options::tr("le nom « main » est celui de la fonction principale du programme");
    if (name.startsWith(QLatin1String("__")) || (name.size() > 1 && name[0] == '_' && name[1].isUpper()))
        return Options::tr("le nom « %1 » est réservé au compilateur (il commence par __ ou par _ "
                           "et une majuscule)")
            .arg(name);
    for (const DefinedNames &defined : definedNames(progmem, format)) {
        if (defined.pattern.match(name).hasMatch())
            return Options::tr("le nom « %1 » est de ceux que définit %2, que l'en-tête inclut")
                .arg(name, QLatin1String(defined.header));
    }
    // The system's headers that a firmware includes beside this one may define any of them.
    if (name.endsWith(QLatin1String("_t")))
        return Options::tr("le nom « %1 » finit par _t, que POSIX réserve aux noms de types").arg(name);
    return QString();
}

namespace {

// Why --bundle cannot be given with the rest of the command line, in French; empty when it can.
// `definedBy` holds what each picture's arrays define, by the picture's index.
QString bundleProblem(const QCommandLineParser &parser, const Options &options, bool flashOnAvr, bool coded,
                      const QHash<QByteArray, int> &definedBy)
{
    const QString name = parser.values(QStringLiteral("bundle")).constLast();
    const DisplayFormat *format = options.job.format;
    if (!format || format->family == DisplayFormat::Lvgl)
        return Options::tr("--bundle ne s'emploie pas avec --format %1 : choisissez un format d'écran "
                           "hors lvgl (rgb565, mono...)")
            .arg(QLatin1String(format ? format->name : "bmp"));
    for (const char *alone : {"frames", "bmp", "preview", "binary"}) {
        if (parser.isSet(QLatin1String(alone)))
            return Options::tr("--bundle ne s'emploie pas avec --%1 : le paquet n'écrit que son en-tête")
                .arg(QLatin1String(alone));
    }
    const QString problem = arrayNameProblem(name, flashOnAvr, format);
    if (!problem.isEmpty())
        return Options::tr("--bundle : %1").arg(problem);
    if (coded && name.compare(QLatin1String("quillon_rle"), Qt::CaseInsensitive) == 0)
        return Options::tr("--bundle : l'en-tête serait %1.h, le nom du lecteur des tableaux codés que "
                           "--compress rle écrit à côté des en-têtes")
            .arg(name);
    QSet<QByteArray> bundled;
    for (const QByteArray &identifier : bundleIdentifiers(name.toLatin1(), options.arrayNames)) {
        if (bundled.contains(identifier)) // a picture named count, widths, heights or images
            return Options::tr("--bundle : le paquet %1 définirait deux fois « %2 » : renommez l'image")
                .arg(name, QString::fromLatin1(identifier));
        bundled.insert(identifier);
        const auto picture = definedBy.constFind(identifier);
        if (picture != definedBy.constEnd())
            return Options::tr("--bundle : l'en-tête du paquet %1 et celui de %2 définiraient tous deux "
                               "« %3 » : nommez le paquet autrement")
                .arg(name, options.pictures[*picture], QString::fromLatin1(identifier));
    }
    return QString();
}

} // namespace

const QVector<OptionDeclaration> &optionTable()
{
    using F = DisplayFormat;
    // In the order of the help; the options that only some formats take in the order they are
    // checked.
    static const QVector<OptionDeclaration> options = {
        {"output", 'o', QT_TRANSLATE_NOOP("Options", "DOSSIER"),
         QT_TRANSLATE_NOOP("Options",
                           "écrit les fichiers dans DOSSIER, créé s'il manque (par défaut : le dossier "
                           "de chaque image)"),
         0},
        {"force", 'f', nullptr,
         QT_TRANSLATE_NOOP("Options",
                           "remplace les fichiers qui existent déjà (un lien symbolique est remplacé "
                           "lui-même, jamais sa cible)"),
         0},
        {"name", 'n', QT_TRANSLATE_NOOP("Options", "NOM"),
         QT_TRANSLATE_NOOP("Options",
                           "nomme NOM le tableau de la seule image indiquée (un identifiant C) ; deux "
                           "images dont les en-têtes définiraient un même nom sont refusées"),
         0},
        {"progmem", 0, nullptr,
         QT_TRANSLATE_NOOP("Options",
                           "place les tableaux en mémoire programme sur AVR (PROGMEM, rien ailleurs), ceux "
                           "de bmp compris, qu'elle limite à 32 767 octets (environ 128 x 127 pixels) ; "
                           "ceux des formats d'écran, hors %1, y vont sans cette option, en mémoire "
                           "lointaine au-delà de 32 767 octets, et elle refuse ceux de plus de 393 216 "
                           "octets, la mémoire du plus grand AVR"),
         0},
        {"split", 0, nullptr,
         QT_TRANSLATE_NOOP("Options",
                           "écrit les tableaux dans NOM.c, à compiler avec le programme, et les "
                           "déclare extern dans NOM.h"),
         0},
        {"bundle", 0, QT_TRANSLATE_NOOP("Options", "NOM"),
         QT_TRANSLATE_NOOP("Options",
                           "écrit les tableaux de toutes les images dans un seul en-tête NOM.h, chacun "
                           "tel que le définirait son propre en-tête, suivis de NOM_count, NOM_widths, "
                           "NOM_heights, NOM_images (un pointeur vers les pixels de chaque image, dans "
                           "l'ordre donné) et d'un enum NOM_IMAGE ; avec --split, NOM.c et NOM.h"),
         0},
        {"format", 0, QT_TRANSLATE_NOOP("Options", "FORMAT"),
         QT_TRANSLATE_NOOP("Options",
                           "ce que contient le tableau, l'un des formats ci-dessous (bmp par défaut)"),
         0},
        {"swap-bytes", 0, nullptr,
         QT_TRANSLATE_NOOP("Options",
                           "échange les deux octets de chaque valeur 5-6-5, pour les écrans qui "
                           "reçoivent l'octet fort d'abord (la palette d'index4 reste telle que "
                           "TFT_eSPI l'envoie)"),
         F::SwapBytes},
        {"color-order", 0, "rgb|bgr",
         QT_TRANSLATE_NOOP("Options",
                           "l'ordre des couleurs de l'écran : rgb (par défaut) ou bgr, le rouge et le bleu "
                           "échangés, pour les écrans câblés BGR (en rgb565, le rouge aux bits 4-0), dans "
                           "les pixels comme dans les palettes"),
         F::ColourOrder},
        {"threshold", 0, "N",
         QT_TRANSLATE_NOOP("Options",
                           "allume les pixels dont la luminance (Rec. 601) vaut au moins N, de 0 à 255 "
                           "(par défaut 128) ; en I1 seulement avec lvgl"),
         F::Threshold},
        {"invert", 0, nullptr,
         QT_TRANSLATE_NOOP("Options",
                           "échange pixels allumés et éteints, inverse les niveaux de gris ; en L8 et "
                           "I1 seulement avec lvgl"),
         F::Invert},
        {"alpha", 0, "mask",
         QT_TRANSLATE_NOOP("Options",
                           "ajoute NOM_mask, 1 bit par pixel, 1 où l'image est opaque (alpha de 128 ou "
                           "plus)"),
         F::AlphaMask},
        {"transparent", 0, QT_TRANSLATE_NOOP("Options", "COULEUR"),
         QT_TRANSLATE_NOOP("Options",
                           "écrit COULEUR pour les pixels transparents (alpha sous 128) et la donne "
                           "dans NOM_transparent, dans l'ordre que TFT_eSPI compare"),
         F::Transparent},
        {"lvgl-cf", 0, "CF",
         QT_TRANSLATE_NOOP("Options",
                           "le format de couleur de l'image LVGL : RGB565 (par défaut, RGB565A8 si "
                           "l'image n'est pas opaque), RGB565A8, RGB565_SWAPPED, RGB888, XRGB8888, "
                           "ARGB8888, ARGB8565 (LVGL 9.1), ARGB1555, ARGB4444 (LVGL 9.3), L8, AL88 "
                           "(LVGL 9.2), A1, A2, A4, A8 (l'alpha seul), I1, I2, I4 ou I8"),
         F::LvglSettings},
        {"lvgl-version", 0, "8|9",
         QT_TRANSLATE_NOOP("Options", "lv_image_dsc_t de LVGL 9 (par défaut) ou lv_img_dsc_t de LVGL 8"),
         F::LvglSettings},
        {"stride-align", 0, "N",
         QT_TRANSLATE_NOOP("Options", "chaque ligne sur un multiple de N octets, complétée de zéros"),
         F::StrideAlign},
        {"compress", 0, "rle|lz4",
         QT_TRANSLATE_NOOP("Options",
                           "code les tableaux par plages (rle) : NOM_rle et NOM_size au lieu de NOM, que "
                           "quillon_rle.h, écrit à côté de l'en-tête, relit morceau par morceau ; avec lvgl, "
                           "compresse l'image comme LVGL 9 la lit (rle ou lz4) ; pas avec bmp"),
         0},
        {"palette", 0, QT_TRANSLATE_NOOP("Options", "FICHIER"),
         QT_TRANSLATE_NOOP("Options",
                           "la palette de FICHIER au lieu d'une palette choisie pour l'image ; une "
                           "palette GIMP (.gpl) ou une couleur #rrvvbb par ligne, les lignes vides et "
                           "les commentaires (# et une espace) permis"),
         F::Palette},
        {"crop", 0, QT_TRANSLATE_NOOP("Options", "X,Y,LxH"),
         QT_TRANSLATE_NOOP("Options", "ne garde que ce rectangle de l'image"), 0},
        {"rotate", 0, "90|180|270",
         QT_TRANSLATE_NOOP("Options", "tourne l'image d'autant de degrés, dans le sens horaire"), 0},
        {"flip", 0, "h|v",
         QT_TRANSLATE_NOOP("Options",
                           "retourne l'image de gauche à droite (h) ou de haut en bas (v) ; les deux si "
                           "l'option est donnée deux fois"),
         0},
        {"fit", 0, QT_TRANSLATE_NOOP("Options", "LxH"),
         QT_TRANSLATE_NOOP("Options",
                           "réduit l'image (sans jamais l'agrandir) pour qu'elle tienne dans L x H "
                           "pixels, en gardant ses proportions"),
         0},
        {"fit-mode", 0, "contain|cover|stretch",
         QT_TRANSLATE_NOOP("Options",
                           "avec --fit : dedans (par défaut) ; cover, exactement L x H, couverts en "
                           "gardant les proportions, l'image agrandie s'il le faut et ce qui dépasse "
                           "coupé autour de --gravity ; stretch, exactement L x H sans garder les "
                           "proportions"),
         0},
        {"upscale", 0, nullptr,
         QT_TRANSLATE_NOOP("Options",
                           "avec --fit en contain : agrandit aussi une image plus petite (cover et "
                           "stretch agrandissent toujours ce qu'il faut)"),
         0},
        {"canvas", 0, QT_TRANSLATE_NOOP("Options", "LxH"),
         QT_TRANSLATE_NOOP("Options",
                           "pose l'image sur un fond de L x H pixels exactement, de la couleur de "
                           "--background (noir par défaut)"),
         0},
        {"gravity", 0, QT_TRANSLATE_NOOP("Options", "GRAVITE"),
         QT_TRANSLATE_NOOP("Options",
                           "avec cover ou --canvas : center (par défaut), north, south, east, west, "
                           "north-east, north-west, south-east ou south-west ; centrée, le milieu de "
                           "l'image, arrondi vers le bas, va sur celui du fond, comme avec -gravity "
                           "center -extent d'ImageMagick"),
         0},
        {"dither", 0, nullptr,
         QT_TRANSLATE_NOOP("Options",
                           "diffuse l'erreur (Floyd-Steinberg) vers les niveaux du format au lieu de "
                           "tronquer chaque couleur"),
         0},
        {"dither-method", 0, "fs|atkinson|bayer",
         QT_TRANSLATE_NOOP("Options",
                           "la façon de tramer, qui implique --dither : fs, Floyd-Steinberg (par défaut), "
                           "toute l'erreur diffusée, le plus fidèle aux dégradés et aux photos ; atkinson, "
                           "1/8 de l'erreur à chacun de six voisins, le quart restant perdu : des aplats "
                           "nets et contrastés, l'aspect classique des écrans 1 bit ; bayer, une matrice "
                           "ordonnée de 8 x 8, chaque pixel à part : une couleur donne partout le même "
                           "motif, qui ne grouille pas d'une image d'animation à l'autre et se compresse "
                           "bien"),
         0},
        {"brightness", 0, "N",
         QT_TRANSLATE_NOOP("Options",
                           "de -100 à 100 (par défaut 0, qui ne change rien) : éclaircit ou assombrit "
                           "l'image une fois façonnée, avant sa réduction au format ; avec --contrast C, "
                           "comme -brightness-contrast NxC d'ImageMagick : chaque canal v (de 0 à 1) "
                           "devient p (v - (1 - b)/2) + (1 + b)/2, ramené entre 0 et 1, où b = N/100 et "
                           "p = tan(pi (C/100 + 1)/4)"),
         0},
        {"contrast", 0, "C",
         QT_TRANSLATE_NOOP("Options",
                           "de -100 à 100 (par défaut 0, qui ne change rien) : la pente p de "
                           "--brightness ; 100 ne laisse que du noir et du blanc, -100 un gris uni"),
         0},
        {"gamma", 0, "G",
         QT_TRANSLATE_NOOP("Options",
                           "de 0.1 à 10 (par défaut 1, qui ne change rien), après --brightness et "
                           "--contrast, comme -gamma d'ImageMagick : chaque canal v devient v^(1/G) ; "
                           "G > 1 éclaircit"),
         0},
        {"background", 0, QT_TRANSLATE_NOOP("Options", "COULEUR"),
         QT_TRANSLATE_NOOP("Options",
                           "pose les pixels transparents sur COULEUR (#rrvvbb ou un nom de couleur) au "
                           "lieu du noir"),
         0},
        {"frames", 0, "all|A-B",
         QT_TRANSLATE_NOOP(
             "Options",
             "chaque image d'une animation (GIF, WebP, MNG), ou celles de A à B (numérotées à partir "
             "de 1, B comprise), chacune dans son tableau NOM_frame0, NOM_frame1... avec "
             "NOM_frames[], NOM_frame_count et NOM_delays_ms[] ; pour lvgl, un descripteur "
             "par image ; pas avec --format bmp"),
         0},
        {"preview", 0, nullptr,
         QT_TRANSLATE_NOOP("Options",
                           "écrit aussi NOM16bits.png, l'image telle que l'écran l'affichera ; avec "
                           "--frames, une par image : NOM16bits_frame0.png, NOM16bits_frame1.png..."),
         0},
        {"bmp", 0, nullptr,
         QT_TRANSLATE_NOOP("Options",
                           "hors bmp : écrit aussi NOM16bits.BMP (sans cette option, seul --format bmp "
                           "l'écrit)"),
         0},
        {"binary", 0, nullptr,
         QT_TRANSLATE_NOOP("Options",
                           "hors bmp : écrit aussi chaque tableau tel quel, en petit-boutiste, dans "
                           "NOM.bin, NOM_mask.bin... (codés avec --compress rle : NOM_rle.bin, que lit "
                           "quillon_rle_init_ram) ; avec lvgl, NOM.bin est l'image que LVGL charge d'un "
                           "fichier"),
         0},
        {"decode", 0, nullptr,
         QT_TRANSLATE_NOOP("Options",
                           "relit chaque fichier donné comme un en-tête écrit par Quillon et en écrit chaque "
                           "image dans NOM16bits.png, telle que --preview la montre ; le tableau d'un autre "
                           "outil se relit avec --format et --size"),
         0},
        {"size", 0, "LxH",
         QT_TRANSLATE_NOOP("Options",
                           "avec --decode et --format : la taille de l'image que tient le tableau d'un autre "
                           "outil"),
         0},
        {"verbose", 'v', nullptr,
         QT_TRANSLATE_NOOP("Options",
                           "dit sur la sortie d'erreur chaque fichier écrit (sans cette option, une "
                           "conversion réussie ne dit rien)"),
         0},
        {"help", 'h', nullptr, QT_TRANSLATE_NOOP("Options", "affiche cette aide et quitte"), 0},
        {"version", 'V', nullptr, QT_TRANSLATE_NOOP("Options", "affiche la version et quitte"), 0},
    };
    return options;
}

namespace {

// "a, b ou c" with `lastTwo` "%1 ou %2".
QString joined(const QStringList &words, const QString &lastTwo)
{
    if (words.size() < 2)
        return words.join(QString());
    return lastTwo.arg(words.mid(0, words.size() - 1).join(QStringLiteral(", ")), words.constLast());
}

QString joinedWithOr(const QStringList &words)
{
    return joined(words, Options::tr("%1 ou %2"));
}

} // namespace

QString optionSynopsis(const OptionDeclaration &option)
{
    QString synopsis
        = option.shortName ? QStringLiteral("-%1, ").arg(QLatin1Char(option.shortName)) : QString();
    synopsis += QStringLiteral("--") + QLatin1String(option.name);
    if (option.valueName)
        synopsis += QLatin1Char('=') + QCoreApplication::translate("Options", option.valueName);
    return synopsis;
}

namespace {

// The formats that take the option, when only some do.
QStringList optionFormats(const OptionDeclaration &option)
{
    QStringList names;
    if (option.setting) {
        for (const QByteArray &name : formatsReading(DisplayFormat::Setting(option.setting)))
            names << QLatin1String(name);
    }
    return names;
}

} // namespace

QString optionHelp(const OptionDeclaration &option)
{
    QString help = QCoreApplication::translate("Options", option.help);
    if (qstrcmp(option.name, "progmem") == 0) {
        QStringList ordinaryMemory;
        for (const DisplayFormat &format : displayFormats()) {
            if (!format.flashOnAvr)
                ordinaryMemory << QLatin1String(format.name);
        }
        help = help.arg(joined(ordinaryMemory, Options::tr("%1 et %2")));
    }
    const QStringList formats = optionFormats(option);
    if (!formats.isEmpty())
        help = Options::tr("avec %1 : %2").arg(joinedWithOr(formats), help);
    return help;
}

QString formatHelp(const DisplayFormat *format)
{
    return format ? QCoreApplication::translate("DisplayFormat", format->help)
                  : Options::tr("les octets du fichier BMP, comme la fenêtre (par défaut)");
}

Options parseOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    for (const OptionDeclaration &declared : optionTable()) {
        QStringList names;
        if (declared.shortName)
            names << QString(QLatin1Char(declared.shortName));
        names << QLatin1String(declared.name);
        parser.addOption(QCommandLineOption(
            names, QString(), declared.valueName ? QLatin1String(declared.valueName) : QString()));
    }
    if (!parser.parse(arguments))
        return usageError(parserError(parser));
    if (const QString problem = singleDashProblem(arguments); !problem.isEmpty())
        return usageError(problem);

    Options options;
    PictureJob &job = options.job;
    EncodingOptions &encoding = job.encoding;
    if (parser.isSet(QStringLiteral("help"))) {
        options.action = Options::ShowHelp;
        return options;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        options.action = Options::ShowVersion;
        return options;
    }
    const auto isSet = [&](const char *name) { return parser.isSet(QLatin1String(name)); };
    const auto lastOf = [&](const char *name) { return lastValue(parser, QLatin1String(name)); };
    job.force = isSet("force");
    options.verbose = isSet("verbose");
    options.pictures = parser.positionalArguments();
    if (options.pictures.isEmpty())
        return usageError(Options::tr("aucune image indiquée"));
    if (isSet("output")) {
        job.outputFolder = parser.values(QStringLiteral("output")).constLast();
        if (job.outputFolder.isEmpty())
            return usageError(Options::tr("le dossier de destination est vide"));
    }
    encoding.progmem = isSet("progmem");
    if (isSet("format")) {
        const QString value = lastOf("format");
        job.format = findDisplayFormat(value.toLatin1());
        if (!job.format && value != QLatin1String("bmp")) {
            QStringList names {"bmp"};
            for (const DisplayFormat &known : displayFormats())
                names << QLatin1String(known.name);
            return usageError(
                Options::tr("--format : format inconnu « %1 » (%2)").arg(value, joinedWithOr(names)));
        }
    }
    const QByteArray formatName = job.format ? job.format->name : "bmp";
    // The options that only some formats take, and the values of every option given, for the
    // format's own check.
    QHash<QString, QString> given;
    for (const OptionDeclaration &declared : optionTable()) {
        const QString name = QLatin1String(declared.name);
        if (!parser.isSet(name))
            continue;
        given.insert(name, declared.valueName ? parser.values(name).constLast() : QString());
        if (declared.setting && !(job.format && (job.format->settings & declared.setting)))
            return usageError(Options::tr("--%1 ne s'emploie qu'avec --format %2")
                                  .arg(name, joinedWithOr(optionFormats(declared))));
    }
    if (isSet("size") && !isSet("decode"))
        return usageError(Options::tr("--size ne s'emploie qu'avec --decode"));
    if (isSet("decode")) {
        // Only the options that say where the pictures go and how another tool's array reads.
        for (const QString &name : given.keys()) {
            static const QStringList kept {"decode", "size",    "format",     "output",
                                           "force",  "verbose", "swap-bytes", "color-order"};
            if (!kept.contains(name))
                return usageError(Options::tr("--%1 ne s'emploie pas avec --decode").arg(name));
        }
        if (isSet("format") != isSet("size"))
            return usageError(Options::tr("--decode lit le format dans l'en-tête de Quillon ; le tableau "
                                          "d'un autre outil se relit avec --format et --size ensemble"));
        if (isSet("format") && !job.format)
            return usageError(Options::tr("--decode : --format bmp n'a pas de tableau à relire seul"));
        if (isSet("size")) {
            const QStringList parts = lastOf("size").split(QLatin1Char('x'));
            bool wide = false, high = false;
            const int width = parts.size() == 2 ? parts[0].toInt(&wide) : 0;
            const int height = parts.size() == 2 ? parts[1].toInt(&high) : 0;
            if (!wide || !high || width < 1 || height < 1 || width > 32768 || height > 32768)
                return usageError(
                    Options::tr("--size : « %1 » n'est pas une taille LxH de 1 à 32768").arg(lastOf("size")));
            options.decodeSize = QSize(width, height);
        }
        options.action = Options::Decode;
        encoding.swapBytes = isSet("swap-bytes");
        encoding.bgr = isSet("color-order") && lastOf("color-order").trimmed() == QLatin1String("bgr");
        return options;
    }
    // --compress: for LVGL, its own compression, which its check reads; for the other formats, the
    // run-length coding of their arrays.
    if (isSet("compress") && !(job.format && (job.format->settings & DisplayFormat::LvglSettings))) {
        const QString value = lastOf("compress");
        if (!job.format)
            return usageError(
                Options::tr("--compress ne s'emploie pas avec --format bmp, dont l'en-tête tient "
                            "les octets du fichier BMP ; choisissez un format d'écran (rgb565, "
                            "mono...)"));
        if (value == QLatin1String("lz4"))
            return usageError(Options::tr("--compress lz4 ne s'emploie qu'avec --format lvgl ; rle code les "
                                          "tableaux des autres formats"));
        if (value != QLatin1String("rle"))
            return usageError(Options::tr("--compress : « %1 » inconnu (rle)").arg(value));
        encoding.compression = EncodingOptions::Rle;
    }
    const bool coded = job.format && codesByRunLength(*job.format, encoding);
    encoding.split = isSet("split");
    // The headers include <avr/pgmspace.h> on AVR with --progmem, and for the arrays that the
    // drawing libraries read from program memory.
    const bool flashOnAvr = encoding.progmem || (job.format && job.format->flashOnAvr);
    if (isSet("name")) {
        if (options.pictures.size() > 1)
            return usageError(
                Options::tr(
                    "--name ne nomme qu'une image : les tableaux de %1 images porteraient le même nom")
                    .arg(options.pictures.size()));
        const QString arrayName = parser.values(QStringLiteral("name")).constLast();
        const QString problem = arrayNameProblem(arrayName, flashOnAvr, job.format);
        if (!problem.isEmpty())
            return usageError(Options::tr("--name : %1").arg(problem));
        options.arrayNames = {arrayName.toLatin1()};
    } else {
        for (const QString &picture : options.pictures) {
            options.arrayNames << arrayNameOf(picture);
            const QString problem
                = arrayNameProblem(QString::fromLatin1(options.arrayNames.last()), flashOnAvr, job.format);
            if (!problem.isEmpty())
                return usageError(
                    Options::tr("%1 : %2 ; renommez le fichier ou nommez son tableau avec --name")
                        .arg(picture, problem));
        }
    }
    // The reader of coded arrays goes beside the headers, under its own name: no header may have it.
    for (int i = 0; coded && i < options.pictures.size(); ++i) {
        const QString header
            = outputBaseName(QFileInfo(options.pictures[i]).fileName()) + QStringLiteral(".h");
        if (header.compare(QLatin1String(QuillonRle::readerFileName), Qt::CaseInsensitive) == 0)
            return usageError(
                Options::tr("%1 : son en-tête serait %2, le nom du lecteur des tableaux codés que "
                            "--compress rle écrit à côté des en-têtes ; renommez le fichier")
                    .arg(options.pictures[i], header));
    }
    // Names that one header defines beside its array: each picture's must differ from the others'.
    // With --frames, each picture's also defines its frames' arrays: NAME_frame0, NAME_frame0_mask...
    // One pass over the pictures, each name looked up: the first clash told is that of the
    // earliest picture that meets an earlier one.
    QHash<QByteArray, int> definedBy;
    const bool frames = isSet("frames");
    const auto clash = [&](int first, int second, const QByteArray &defined) {
        return usageError(
            Options::tr("les en-têtes de %1 et de %2 définiraient tous deux « %3 » : renommez "
                        "l'un des fichiers")
                .arg(options.pictures[first], options.pictures[second], QString::fromLatin1(defined)));
    };
    // With --frames: the array names of the pictures seen so far, and the names they define that
    // read as another array's frame (NAME_frame3_mask is a frame's of NAME), by that array's name.
    QHash<QByteArray, int> arrayOf;
    QHash<QByteArray, QPair<int, QByteArray>> framesOf;
    // The array names that `identifier` would be a frame's array of: what comes before each
    // "_frame" in it.
    const auto frameOwners = [coded](const QByteArray &identifier) {
        QByteArrayList owners;
        for (int at = identifier.indexOf("_frame"); at > 0; at = identifier.indexOf("_frame", at + 1)) {
            if (isFrameArrayName(identifier, identifier.left(at), coded))
                owners << identifier.left(at);
        }
        return owners;
    };
    for (int i = 0; i < options.arrayNames.size(); ++i) {
        const QByteArray &name = options.arrayNames[i];
        const QByteArrayList defined = definedIdentifiers(name, frames, coded);
        for (const QByteArray &identifier : defined) {
            const auto first = definedBy.constFind(identifier);
            if (first != definedBy.constEnd() && *first != i)
                return clash(*first, i, identifier);
            for (const QByteArray &owner : frames ? frameOwners(identifier) : QByteArrayList()) {
                const auto earlier = arrayOf.constFind(owner);
                if (earlier != arrayOf.constEnd() && *earlier != i)
                    return clash(*earlier, i, identifier);
            }
            definedBy.insert(identifier, i);
        }
        if (!frames)
            continue;
        // An earlier picture's name that reads as a frame's array of this one.
        const auto earlier = framesOf.constFind(name);
        if (earlier != framesOf.constEnd() && earlier->first != i)
            return clash(earlier->first, i, earlier->second);
        arrayOf.insert(name, i);
        for (const QByteArray &identifier : defined) {
            for (const QByteArray &owner : frameOwners(identifier)) {
                if (!framesOf.contains(owner))
                    framesOf.insert(owner, {i, identifier});
            }
        }
    }
    if (isSet("bundle")) {
        const QString problem = bundleProblem(parser, options, flashOnAvr, coded, definedBy);
        if (!problem.isEmpty())
            return usageError(problem);
        options.bundle = lastOf("bundle").toLatin1();
    }
    encoding.swapBytes = isSet("swap-bytes");
    encoding.invert = isSet("invert");
    if (isSet("color-order")) {
        const QString value = lastOf("color-order");
        if (value != QLatin1String("rgb") && value != QLatin1String("bgr"))
            return usageError(Options::tr("--color-order : « %1 » inconnu (rgb ou bgr)").arg(value));
        encoding.bgr = value == QLatin1String("bgr");
    }
    if (job.format && job.format->optionsProblem) {
        const QString problem = job.format->optionsProblem(given, &encoding);
        if (!problem.isEmpty())
            return usageError(problem);
    }
    if (isSet("stride-align")) {
        const QString value = lastOf("stride-align");
        bool isNumber = false;
        encoding.strideAlign = value.toInt(&isNumber);
        if (!isNumber || encoding.strideAlign < 1 || encoding.strideAlign > 1024 || value.startsWith('+'))
            return usageError(
                Options::tr("--stride-align : « %1 » n'est pas un alignement de 1 à 1024 octets").arg(value));
    }
    if (isSet("threshold")) {
        const QString value = lastOf("threshold");
        bool isNumber = false;
        encoding.threshold = value.toInt(&isNumber);
        if (!isNumber || encoding.threshold < 0 || encoding.threshold > 255 || value.startsWith('+'))
            return usageError(Options::tr("--threshold : « %1 » n'est pas un seuil de 0 à 255").arg(value));
    }
    if (isSet("alpha")) {
        const QString value = lastOf("alpha");
        if (value != QLatin1String("mask"))
            return usageError(Options::tr("--alpha : « %1 » inconnu (mask seulement)").arg(value));
        encoding.alphaMask = true;
    }
    if (isSet("transparent")) {
        const QString problem = colourProblem(lastOf("transparent"), &encoding.transparent);
        if (!problem.isEmpty())
            return usageError(Options::tr("--transparent : %1").arg(problem));
    }
    if (isSet("fit")) {
        const QString value = lastOf("fit");
        const QRegularExpressionMatch size
            = QRegularExpression("\\A([0-9]{1,5})x([0-9]{1,5})\\z").match(value);
        encoding.fit = size.hasMatch() ? QSize(size.captured(1).toInt(), size.captured(2).toInt()) : QSize();
        if (encoding.fit.isEmpty())
            return usageError(
                Options::tr("--fit : « %1 » n'est pas une taille LARGEURxHAUTEUR (par exemple 128x64)")
                    .arg(value));
    }
    const QString shapeProblem = geometryOptionsProblem(parser, &encoding);
    if (!shapeProblem.isEmpty())
        return usageError(shapeProblem);
    if (isSet("palette")) {
        const QString path = parser.values(QStringLiteral("palette")).constLast();
        QVector<QRgb> colours;
        const QString problem = readPaletteFile(path, &colours);
        if (!problem.isEmpty())
            return usageError(Options::tr("--palette : %1").arg(problem));
        const int room = job.format->paletteColours;
        if (colours.size() > room)
            return usageError(
                Options::tr("--palette : %1 a %2 couleurs, plus que les %3 que tient --format %4")
                    .arg(path)
                    .arg(colours.size())
                    .arg(room)
                    .arg(QLatin1String(formatName)));
        for (QRgb colour : colours)
            encoding.palette << cutTo565(qRed(colour), qGreen(colour), qBlue(colour));
    }
    encoding.dither = isSet("dither") ? Dithering::FloydSteinberg : Dithering::None;
    if (isSet("dither-method")) {
        const QString value = lastOf("dither-method");
        const QHash<QString, Dithering> methods = {{"fs", Dithering::FloydSteinberg},
                                                   {"atkinson", Dithering::Atkinson},
                                                   {"bayer", Dithering::Bayer}};
        if (!methods.contains(value))
            return usageError(
                Options::tr("--dither-method : « %1 » inconnue (fs, atkinson ou bayer)").arg(value));
        encoding.dither = methods.value(value);
    }
    const QString toneProblem = toneOptionsProblem(parser, &encoding.tone);
    if (!toneProblem.isEmpty())
        return usageError(toneProblem);
    if (isSet("background")) {
        const QString problem = colourProblem(lastOf("background"), &encoding.background);
        if (!problem.isEmpty())
            return usageError(Options::tr("--background : %1").arg(problem));
    }
    job.preview = isSet("preview");
    job.bmp = isSet("bmp");
    job.encoding.shown = job.preview ? EncodingOptions::ShownInFullColour
        : job.bmp                    ? EncodingOptions::Shown565
                                     : EncodingOptions::NotShown;
    job.binary = isSet("binary");
    if (job.binary && !job.format)
        return usageError(Options::tr("--binary ne s'emploie pas avec --format bmp : NOM16bits.BMP est "
                                      "déjà le fichier des octets de son tableau"));
    if (isSet("frames")) {
        const QString problem = frameRangeProblem(lastOf("frames"), &job.frames);
        if (!problem.isEmpty())
            return usageError(problem);
        if (!job.format)
            return usageError(Options::tr("--frames ne s'emploie pas avec --format bmp : le fichier BMP ne "
                                          "tient qu'une image ; choisissez un format d'écran (rgb565, mono, "
                                          "lvgl...)"));
    }
    return options;
}

namespace {

// `text` broken into lines of at most `width` columns, each after `indent` spaces; the first
// line follows `first` when it leaves room, else has one of its own. A word longer than a line
// stays whole.
QString wrapped(const QString &first, const QString &text, int indent, int width)
{
    const QString margin(indent, QLatin1Char(' '));
    QString out;
    QString line = margin;
    if (first.size() < indent)
        line = first.leftJustified(indent, QLatin1Char(' '));
    else
        out = first + QLatin1Char('\n');
    bool empty = true;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!empty && line.size() + 1 + word.size() > width) {
            out += line + QLatin1Char('\n');
            line = margin;
            empty = true;
        }
        if (!empty)
            line += QLatin1Char(' ');
        line += word;
        empty = false;
    }
    return out + line + QLatin1Char('\n');
}

} // namespace

QString helpText()
{
    constexpr int width = 79;
    QString text
        = Options::tr("Utilisation : quillon-convert [OPTION]... IMAGE...\n"
                      "Convertit chaque IMAGE (PNG, BMP, GIF, JPEG...) en une image BMP 16 bits (RVB 5-6-5)\n"
                      "NOM16bits.BMP et en un fichier d'en-tête C NOM.h qui contient les octets de ce BMP,\n"
                      "exactement comme la fenêtre de Quillon. Chaque tableau porte le nom de son image,\n"
                      "fait identifiant C (« mon icône.png » donne mon_ic__ne, « 8x8.png » _8x8) ;\n"
                      "avec --name logo, les deux fichiers sont ceux de la fenêtre.\n"
                      "\n");
    for (const OptionDeclaration &option : optionTable()) {
        const QString synopsis
            = (option.shortName ? QStringLiteral("  ") : QStringLiteral("      ")) + optionSynopsis(option);
        text += wrapped(synopsis, optionHelp(option), 24, width);
    }
    text += Options::tr("\nFormats de --format :\n");
    QVector<const DisplayFormat *> formats {nullptr};
    for (const DisplayFormat &format : displayFormats())
        formats << &format;
    std::stable_sort(formats.begin() + 1, formats.end(),
                     [](const DisplayFormat *a, const DisplayFormat *b) { return a->family < b->family; });
    for (const DisplayFormat *format : formats)
        text += wrapped(QStringLiteral("  ") + QLatin1String(format ? format->name : "bmp"),
                        formatHelp(format), 17, width);
    text += Options::tr("\n"
                        "L'image est façonnée dans cet ordre : --crop, --rotate, --flip, --fit, --canvas.\n"
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
    return text;
}

QString versionText()
{
    return QStringLiteral("quillon-convert (%1) %2\n")
        .arg(QLatin1String(Quillon::productName), QLatin1String(Quillon::productVersion));
}
