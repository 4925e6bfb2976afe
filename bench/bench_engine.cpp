// Throughput of the conversion engine on a 4096 x 4096 picture (a 32 MiB BMP file), against
// `xxd -i` on the same BMP and against plain writes of the same bytes.
//
//     bench_engine [FOLDER]      (default /dev/shm, so that disk write-back does not dominate)

#include "display_formats.h"
#include "display_preparation.h"
#include "header_generator.h"
#include "header_pictures.h"
#include "qimage16.h"

#include "atomic_file_writer.h"
#include "benchsupport.h"
#include "display_header.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <tuple>

namespace {

constexpr int runs = 7;

constexpr qint64 block = 1 << 20;

// Into a fresh file, 1 MiB at a time, as the writers hand their blocks over.
void writePlain(const QString &path, const QByteArray &bytes)
{
    QFile::remove(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        qFatal("cannot write %s", qPrintable(path));
    for (qint64 at = 0; at < bytes.size(); at += block) {
        const qint64 size = qMin(block, bytes.size() - at);
        if (file.write(bytes.constData() + at, size) != size)
            qFatal("cannot write %s", qPrintable(path));
    }
}

// The job's header: made from the BMP bytes as they are written, 1 MiB at a time.
void writeHeaderFromBytes(const QString &path, const QByteArray &bmp)
{
    HeaderFileWriter header(path, bmp.size());
    bool written = header.open();
    for (qint64 at = 0; written && at < bmp.size(); at += block)
        written = header.append(bmp.constData() + at, qMin(block, bmp.size() - at));
    if (!written || !header.commit())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return file.readAll();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString base = app.arguments().value(1, QStringLiteral("/dev/shm"));
    QTemporaryDir dir(base + QStringLiteral("/quillon-bench-XXXXXX"));
    if (!dir.isValid())
        qFatal("cannot create a folder in %s", qPrintable(base));

    QImage picture(4096, 4096, QImage::Format_RGB16);
    auto *random = QRandomGenerator::global();
    for (int y = 0; y < picture.height(); ++y)
        random->fillRange(reinterpret_cast<quint32 *>(picture.scanLine(y)), picture.bytesPerLine() / 4);
    const QImage16 image(picture);
    const QString bmpPath = dir.filePath("bench16bits.BMP");
    const QString headerPath = dir.filePath("bench.h");

    // Each run times the writer and the plain write of the same bytes back to back, so that a
    // slow moment of the machine weighs on both alike; the best run of each counts.
    if (!image.saveBmp16(bmpPath) || !generateHeaderFile(bmpPath, headerPath))
        qFatal("the engine failed to write its files");
    const QByteArray bmp = readAll(bmpPath);
    const QByteArray text = readAll(headerPath);
    double bmpSeconds = 1e9, plainBmpSeconds = 1e9, headerSeconds = 1e9, plainHeaderSeconds = 1e9,
           jobHeaderSeconds = 1e9;
    for (int run = 0; run < runs; ++run) {
        bmpSeconds = qMin(bmpSeconds, Bench::bestSeconds(1, [&] { image.saveBmp16(bmpPath); }));
        plainBmpSeconds = qMin(plainBmpSeconds,
                               Bench::bestSeconds(1, [&] { writePlain(dir.filePath("plain.bmp"), bmp); }));
        headerSeconds
            = qMin(headerSeconds, Bench::bestSeconds(1, [&] { generateHeaderFile(bmpPath, headerPath); }));
        plainHeaderSeconds = qMin(plainHeaderSeconds,
                                  Bench::bestSeconds(1, [&] { writePlain(dir.filePath("plain.h"), text); }));
        jobHeaderSeconds
            = qMin(jobHeaderSeconds, Bench::bestSeconds(1, [&] { writeHeaderFromBytes(headerPath, bmp); }));
    }
    const double mib = 1024.0 * 1024.0;
    // The display formats' C writer on the same bytes, as one array of bytes and one of 16-bit
    // values: the time each output character takes, against the BMP header's.
    const auto pixelsHeaderSeconds = [&](CArray::ValueType type, qint64 *characters) {
        CHeader pixels;
        CArray array;
        array.type = type;
        array.name = "bench";
        array.size = QByteArray::number(bmp.size() / (type == CArray::Uint8 ? 1 : 2));
        array.data = bmp;
        pixels.arrays << array;
        const QString path = dir.filePath("pixels.h");
        const double seconds = Bench::bestSeconds(runs, [&] {
            AtomicFileWriter file(path);
            if (!file.open() || !writeCHeader(file, pixels) || !file.commit())
                qFatal("cannot write %s", qPrintable(path));
        });
        *characters = QFileInfo(path).size();
        return seconds;
    };
    qint64 byteCharacters = 0, valueCharacters = 0;
    const double byteArraySeconds = pixelsHeaderSeconds(CArray::Uint8, &byteCharacters);
    const double valueArraySeconds = pixelsHeaderSeconds(CArray::Uint16, &valueCharacters);
    const double perCharacter = jobHeaderSeconds / text.size();
    std::printf("  C writer, bytes       %7.1f ms  %8.1f MiB/s of text\n", byteArraySeconds * 1e3,
                byteCharacters / mib / byteArraySeconds);
    std::printf("  C writer, 16-bit      %7.1f ms  %8.1f MiB/s of text\n", valueArraySeconds * 1e3,
                valueCharacters / mib / valueArraySeconds);
    Bench::reportGoal("C writer time a character (bytes) / the job's header's",
                      byteArraySeconds / byteCharacters / perCharacter, 1.15, false);
    Bench::reportGoal("C writer time a character (16-bit) / the job's header's",
                      valueArraySeconds / valueCharacters / perCharacter, 1.15, false);

    const double xxdSeconds = Bench::bestSeconds(3, [&] {
        Bench::runCommand("xxd", {"-i", bmpPath}, dir.filePath("xxd.h"));
    });

    std::printf("Engine on a 4096 x 4096 picture in %s (best of %d runs)\n", qPrintable(base), runs);
    std::printf("  saveBmp16             %7.1f ms  %8.1f MiB/s of BMP\n", bmpSeconds * 1e3,
                bmp.size() / mib / bmpSeconds);
    std::printf("  plain write of BMP    %7.1f ms  %8.1f MiB/s\n", plainBmpSeconds * 1e3,
                bmp.size() / mib / plainBmpSeconds);
    std::printf("  generateHeaderFile    %7.1f ms  %8.1f MiB/s of BMP, %.1f MiB/s of text\n",
                headerSeconds * 1e3, bmp.size() / mib / headerSeconds, text.size() / mib / headerSeconds);
    std::printf("  header from the bytes %7.1f ms  %8.1f MiB/s of text (the job's header)\n",
                jobHeaderSeconds * 1e3, text.size() / mib / jobHeaderSeconds);
    std::printf("  plain write of text   %7.1f ms  %8.1f MiB/s\n", plainHeaderSeconds * 1e3,
                text.size() / mib / plainHeaderSeconds);
    std::printf("  xxd -i                %7.1f ms  %8.1f MiB/s of BMP\n", xxdSeconds * 1e3,
                bmp.size() / mib / xxdSeconds);
    Bench::reportGoal("header generator speed / xxd -i speed", xxdSeconds / headerSeconds, 20);
    Bench::reportGoal("header generator speed / plain write of its text", plainHeaderSeconds / headerSeconds,
                      0.6);
    Bench::reportGoal("job's header speed / plain write of its text", plainHeaderSeconds / jobHeaderSeconds,
                      0.75);
    Bench::reportGoal("BMP writer speed / plain write of its bytes", plainBmpSeconds / bmpSeconds, 0.85);

    // Dithering's benefit on a grey ramp, one level a column: how far each column's average, as
    // the display shows it, lies from the source's level, over the three channels.
    QImage ramp(256, 64, QImage::Format_RGB32);
    for (int y = 0; y < ramp.height(); ++y)
        for (int x = 0; x < ramp.width(); ++x)
            ramp.setPixel(x, y, qRgb(x, x, x));
    const auto columnError = [&](bool dither) {
        DisplayOptions options;
        options.dither = dither ? Dithering::FloydSteinberg : Dithering::None;
        const QImage shown = prepareForDisplay(ramp, options).convertToFormat(QImage::Format_RGB32);
        double error = 0;
        for (int x = 0; x < ramp.width(); ++x) {
            double sums[3] = {0, 0, 0};
            for (int y = 0; y < ramp.height(); ++y) {
                sums[0] += qRed(shown.pixel(x, y));
                sums[1] += qGreen(shown.pixel(x, y));
                sums[2] += qBlue(shown.pixel(x, y));
            }
            for (double sum : sums)
                error += qAbs(sum / ramp.height() - x);
        }
        return error / (ramp.width() * 3);
    };
    const double cutError = columnError(false), ditheredError = columnError(true);
    std::printf("  grey ramp, mean error of a column's average: %.2f levels cut, %.2f dithered\n", cutError,
                ditheredError);
    Bench::reportGoal("dithered column error / cut column error", ditheredError / cutError, 0.5, false);

    // The same in black and white, on a taller ramp, since a column of 0 and 1 can only take
    // averages in steps of one row's share: a plain threshold leaves a quarter of the scale.
    QImage tallRamp = ramp.scaled(256, 256);
    const auto monoColumnError = [&](bool dither) {
        EncodingOptions options;
        options.display.dither = dither ? Dithering::FloydSteinberg : Dithering::None;
        const QImage shown
            = findDisplayFormat("mono")->encode(preparePicture(tallRamp, DisplayOptions()), options).shown;
        double error = 0;
        for (int x = 0; x < tallRamp.width(); ++x) {
            double sum = 0;
            for (int y = 0; y < tallRamp.height(); ++y)
                sum += qGray(shown.pixel(x, y));
            error += qAbs(sum / tallRamp.height() - x);
        }
        return error / tallRamp.width() / 255 * 100;
    };
    const double thresholdError = monoColumnError(false), monoDitheredError = monoColumnError(true);
    std::printf("  grey ramp in black and white, mean error of a column's average: %.1f %% of the scale "
                "with a threshold, %.1f %% dithered\n",
                thresholdError, monoDitheredError);
    Bench::reportGoal("dithered black and white column error, % of the scale", monoDitheredError, 2, false);

    // Each way of dithering on a photo-like 2048 x 2048 picture, to 5-6-5 and to black and white,
    // against Floyd-Steinberg's time there (5-6-5's written apart for speed); and the tone against
    // the whole 5-6-5 encoding. Each run on a copy of the picture, which every figure counts alike.
    const QImage photo = Bench::photoLike(2048, 2048).convertToFormat(QImage::Format_RGB32);
    const auto encodingSeconds = [&](Dithering method, const char *format) {
        EncodingOptions options;
        options.display.dither = method;
        options.shown = EncodingOptions::NotShown;
        return Bench::bestSeconds(5, [&] {
            PreparedPicture prepared;
            prepared.colours = photo.copy();
            findDisplayFormat(format)->encode(std::move(prepared), options);
        });
    };
    std::printf("  encoding a 2048 x 2048 photo, ms:         fs  atkinson  bayer\n");
    double rgb565Seconds = 0;
    for (const auto &[format, atkinsonGoal, bayerGoal] :
         {std::tuple {"rgb565", 3.0, 1.5}, std::tuple {"mono", 1.5, 0.5}}) {
        const double fs = encodingSeconds(Dithering::FloydSteinberg, format),
                     atkinson = encodingSeconds(Dithering::Atkinson, format),
                     bayer = encodingSeconds(Dithering::Bayer, format);
        if (qstrcmp(format, "rgb565") == 0)
            rgb565Seconds = fs;
        std::printf("    %-6s %33.1f %9.1f %6.1f\n", format, fs * 1e3, atkinson * 1e3, bayer * 1e3);
        Bench::reportGoal(QStringLiteral("%1: atkinson time / fs time").arg(format), atkinson / fs,
                          atkinsonGoal, false);
        Bench::reportGoal(QStringLiteral("%1: bayer time / fs time").arg(format), bayer / fs, bayerGoal,
                          false);
    }
    DisplayOptions toned;
    toned.tone = {10, 20, 1.8};
    const double toneSeconds = Bench::bestSeconds(5, [&] { preparePicture(photo.copy(), toned); })
        - Bench::bestSeconds(5, [&] { preparePicture(photo.copy(), DisplayOptions()); });
    std::printf("  tone of a 2048 x 2048 photo: %.1f ms\n", toneSeconds * 1e3);
    Bench::reportGoal("tone time / rgb565 fs encoding time", toneSeconds / rgb565Seconds, 0.5, false);

    // --decode's reading of a header of about 1 MiB, the photo's top in rgb565 and in LVGL's LZ4,
    // into the picture it shows: against the C writer's time a character of bytes.
    const auto decodingSeconds = [&](const char *format, EncodingOptions options, qint64 *characters) {
        PreparedPicture prepared;
        prepared.colours = photo.copy(0, 0, 384, 384);
        EncodedPicture encoded = findDisplayFormat(format)->encode(std::move(prepared), options);
        encoded.header.commentLines << decodingLine(*findDisplayFormat(format), options);
        const QString path = dir.filePath("decoded.h");
        AtomicFileWriter file(path);
        if (!file.open() || !writeCHeader(file, encoded.header) || !file.commit())
            qFatal("cannot write %s", qPrintable(path));
        const QByteArray header = readAll(path);
        *characters = header.size();
        return Bench::bestSeconds(runs, [&] {
            if (!decodeHeader(header).problem.isEmpty())
                qFatal("%s: the header is not read back", format);
        });
    };
    EncodingOptions lz4;
    lz4.arrays.compression = ArrayLayout::Lz4;
    for (const auto &[format, options] : {std::pair {"rgb565", EncodingOptions()}, std::pair {"lvgl", lz4}}) {
        qint64 characters = 0;
        const double seconds = decodingSeconds(format, options, &characters);
        std::printf("  --decode, %-6s %7.2f MiB %7.1f ms  %8.1f MiB/s of text\n", format, characters / mib,
                    seconds * 1e3, characters / mib / seconds);
        Bench::reportGoal(QStringLiteral("--decode of %1: time a character / the C writer's").arg(format),
                          seconds / characters / (byteArraySeconds / byteCharacters), 15, false);
    }
    return Bench::goalsExitCode();
}
