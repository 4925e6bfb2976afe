// Fuzz target: any bytes through the screening that stands between an SVG file and Qt SVG
// (svg_rendering.h): the same answer twice; text and references found only where the bytes spell
// them (an entity's text spells them in the document type); and bytes it lets through make Qt SVG
// open no file while it reads and draws them. Text is not drawn here: Qt draws it only in a
// graphical application.

#include "svg_rendering.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QLoggingCategory>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>
#include <fcntl.h>

namespace {

bool watching = false;
char opened[4096]; // the first file opened while watching

void seen(const char *path)
{
    if (watching && !opened[0] && path)
        std::strncpy(opened, path, sizeof opened - 1);
}

template<typename Call> Call next(const char *name)
{
    return reinterpret_cast<Call>(::dlsym(RTLD_NEXT, name));
}

mode_t modeOf(int flags, va_list arguments)
{
    return flags & (O_CREAT | O_TMPFILE) ? mode_t(va_arg(arguments, int)) : 0;
}

[[noreturn]] void fail(const char *what, const char *detail = "")
{
    qCritical("SVG screening: %s%s", what, detail);
    std::abort();
}

} // namespace

// Every file opened by its name, Qt's files among them, is seen here first: the program's own
// functions come before the C library's.
extern "C" int open(const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeOf(flags, arguments);
    va_end(arguments);
    seen(path);
    static const auto real = next<int (*)(const char *, int, ...)>("open");
    return real(path, flags, mode);
}

extern "C" int open64(const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeOf(flags, arguments);
    va_end(arguments);
    seen(path);
    static const auto real = next<int (*)(const char *, int, ...)>("open64");
    return real(path, flags, mode);
}

extern "C" int openat(int folder, const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeOf(flags, arguments);
    va_end(arguments);
    seen(path);
    static const auto real = next<int (*)(int, const char *, int, ...)>("openat");
    return real(folder, path, flags, mode);
}

extern "C" int openat64(int folder, const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeOf(flags, arguments);
    va_end(arguments);
    seen(path);
    static const auto real = next<int (*)(int, const char *, int, ...)>("openat64");
    return real(folder, path, flags, mode);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Once: what Qt reads the first time it needs it (its readers' plugins, its logging rules)
    // read before the watch; the watch sees what QFile opens, or the last check below would be
    // blind.
    static const bool watched = [] {
        QImageReader::supportedImageFormats();
        QLoggingCategory("quillon.fuzz").isDebugEnabled();
        watching = true;
        QFile("/proc/self/status").open(QIODevice::ReadOnly);
        watching = false;
        const bool sawIt = std::strcmp(opened, "/proc/self/status") == 0;
        opened[0] = '\0';
        return sawIt;
    }();
    if (!watched)
        fail("the watch on opened files sees nothing");

    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const SvgScreening screening = screenSvg(bytes), again = screenSvg(bytes);
    if (screening.status != again.status || screening.holdsText != again.holdsText)
        fail("two screenings differ");
    if (screening.status != DecodedPicture::Decoded && screening.status != DecodedPicture::NotAPicture
        && screening.status != DecodedPicture::Hostile)
        fail("an answer that is no refusal of a screening");
    if (screening.holdsText && !bytes.contains("text"))
        fail("text found where the bytes spell none");
    if (screening.status == DecodedPicture::Hostile && !bytes.contains("href"))
        fail("a reference found where the bytes spell none");
    if (screening.status != DecodedPicture::Decoded || screening.holdsText)
        return 0;

    // Let through: Qt SVG reads it and draws it small (its size does not matter here), opening
    // no file.
    watching = true;
    {
        QSvgRenderer renderer(bytes);
        if (renderer.isValid()) {
            QImage picture(16, 12, QImage::Format_ARGB32_Premultiplied);
            picture.fill(Qt::transparent);
            QPainter painter(&picture);
            renderer.render(&painter);
        }
    }
    watching = false;
    if (opened[0])
        fail("Qt SVG opened a file: ", opened);
    return 0;
}
