// Fuzz target: any bytes read as a header by --decode, as Quillon's and as another tool's array of
// a few formats. Each is a picture of the size the header tells or refused with a message, never
// both, never a crash.

#include "header_pictures.h"

#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "fuzz_header_decoding: %s\n", what);
    std::abort();
}

void check(const HeaderPictures &read)
{
    if (read.problem.isEmpty() == read.pictures.isEmpty())
        fail("a picture and a message, or neither");
    for (const HeaderPicture &picture : read.pictures) {
        if (picture.shown.isNull() || picture.shown.format() != QImage::Format_RGB32)
            fail("a picture that is not 32-bit");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), int(size));
    check(decodeHeader(text));
    EncodingOptions options;
    for (const char *format : {"mono", "rgb565", "rgb444", "epd7"})
        check(decodeArrayAs(text, *findDisplayFormat(format), QSize(5, 3), options));
    return 0;
}
