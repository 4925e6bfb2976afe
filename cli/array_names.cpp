#include "array_names.h"

#include "bundle_table.h"
#include "display_formats.h"
#include "options.h"
#include "output_paths.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <map>
#include <mutex>

namespace {

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

QString bundleProblem(const Options &options, bool flashOnAvr, bool coded,
                      const QHash<QByteArray, int> &definedBy)
{
    const QString &name = options.bundleName;
    const DisplayFormat *format = options.job.format;
    if (!format || format->family == DisplayFormat::Lvgl)
        return Options::tr("--bundle ne s'emploie pas avec --format %1 : choisissez un format d'écran "
                           "hors lvgl (rgb565, mono...)")
            .arg(QLatin1String(format ? format->name : "bmp"));
    const std::pair<bool, const char *> alone[] = {{options.job.frames.asked, "frames"},
                                                   {options.job.bmp, "bmp"},
                                                   {options.job.preview, "preview"},
                                                   {options.job.binary, "binary"}};
    for (const auto &[given, option] : alone) {
        if (given)
            return Options::tr("--bundle ne s'emploie pas avec --%1 : le paquet n'écrit que son en-tête")
                .arg(QLatin1String(option));
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

QString picturesNamesProblem(const Options &options, bool coded, QHash<QByteArray, int> *defined)
{
    // Names that one header defines beside its array: each picture's must differ from the others'.
    // With --frames, each picture's also defines its frames' arrays: NAME_frame0, NAME_frame0_mask...
    // One pass over the pictures, each name looked up: the first clash told is that of the
    // earliest picture that meets an earlier one.
    QHash<QByteArray, int> &definedBy = *defined;
    const bool frames = options.job.frames.asked;
    const auto clash = [&](int first, int second, const QByteArray &identifier) {
        return Options::tr("les en-têtes de %1 et de %2 définiraient tous deux « %3 » : renommez "
                           "l'un des fichiers")
            .arg(options.pictures[first], options.pictures[second], QString::fromLatin1(identifier));
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
        const QByteArrayList identifiers = definedIdentifiers(name, frames, coded);
        for (const QByteArray &identifier : identifiers) {
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
        for (const QByteArray &identifier : identifiers) {
            for (const QByteArray &owner : frameOwners(identifier)) {
                if (!framesOf.contains(owner))
                    framesOf.insert(owner, {i, identifier});
            }
        }
    }
    return QString();
}
