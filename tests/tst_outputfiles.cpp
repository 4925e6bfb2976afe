#include "batch_conversion.h"
#include "display_formats.h"
#include "output_files.h"
#include "picturesupport.h"
#include "qimage16.h"
#include "testsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QtEndian>

#include <cerrno>

#include <sys/stat.h>

#include <algorithm>
#include <mutex>
#include <numeric>

using namespace TestSupport;

// The files a build uses besides the header: the raw arrays and LVGL's image file (--binary), the
// BMP file only when asked for in a display format (--bmp), the reader of coded arrays
// (--compress rle), the output folder made when missing, and the line that counts a batch.
class TestOutputFiles : public QObject, protected TestSupport::TemporaryFolder
{
    Q_OBJECT

private slots:
    void init() // each test in a folder of its own, where quillon-convert runs too
    {
        QVERIFY(renewFolder());
        QVERIFY(QDir::setCurrent(path()));
    }
    void rawFilesHoldTheArrays_data();
    void rawFilesHoldTheArrays();
    void lvglImageFileFollowsLvglsLayout_data();
    void lvglImageFileFollowsLvglsLayout();
    void commandLineWritesWhatItIsAskedFor_data();
    void commandLineWritesWhatItIsAskedFor();
    void cmakeFunctionExpectsTheFilesWritten_data();
    void cmakeFunctionExpectsTheFilesWritten();
    void previewShowsThePicture_data();
    void previewShowsThePicture();
    void verboseListsTheFilesWritten_data();
    void verboseListsTheFilesWritten();
    void readerStandsBesideTheHeaders_data();
    void readerStandsBesideTheHeaders();
    void readerWrittenOnceAFolder_data();
    void readerWrittenOnceAFolder();
    void bmpFileWithoutMemoryForItsPixels();
    void batchToldPictureByPicture_data();
    void batchToldPictureByPicture();

private:
    // Encodes the picture in-process as quillon-convert does with --binary, and writes the
    // header and the raw files into the temporary folder, as pic.h, pic.bin...: whether written.
    bool writeBinary(const QImage &picture, const QByteArray &format, EncodingOptions options);
};

namespace {

// Each array of a header, read from its C text alone: the values as a little-endian firmware
// holds them, each as wide as its hexadecimal digits say. Where a preprocessor condition offers
// two sets of values, the one taken by default (after #else).
QHash<QByteArray, QByteArray> readArrays(const QByteArray &text)
{
    QHash<QByteArray, QByteArray> arrays;
    const QRegularExpression array("(\\w+)\\[[^\\]]*\\][^=;]*=\\s*\\{([^}]*)\\}");
    for (auto match = array.globalMatch(QString::fromUtf8(text)); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        const QString body = found.captured(2).contains("#else")
            ? found.captured(2).section("#else", 1).section("#endif", 0, 0)
            : found.captured(2);
        QByteArray bytes;
        for (auto value = QRegularExpression("0x([0-9a-fA-F]+)").globalMatch(body); value.hasNext();) {
            const QString digits = value.next().captured(1);
            const quint64 number = digits.toULongLong(nullptr, 16);
            for (int i = 0; i < digits.size() / 2; ++i)
                bytes += char(number >> (8 * i));
        }
        arrays.insert(found.captured(1).toLatin1(), bytes);
    }
    return arrays;
}

// A list written as one text, its words apart.
QStringList words(const char *text)
{
    return QString(text).split(' ', Qt::SkipEmptyParts);
}

// Every file under `folder`, by its path from there, the temporary and hidden ones included.
QStringList filesUnder(const QString &folder)
{
    QStringList files;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
         it.hasNext();)
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

} // namespace

bool TestOutputFiles::writeBinary(const QImage &picture, const QByteArray &format, EncodingOptions options)
{
    const DisplayFormat *displayFormat = findDisplayFormat(format);
    if (!displayFormat)
        return false;
    options.header.arrayName = "pic";
    const bool keepAlpha = displayFormat->alpha == DisplayFormat::AlphaAlways
        || (displayFormat->alpha == DisplayFormat::AlphaWhenAsked && options.pixels.alphaMask);
    const EncodedPicture encoded
        = displayFormat->encode(preparePicture(picture, DisplayOptions(), keepAlpha), options);
    const OutputPaths paths = outputPaths(path(), "pic.png");
    OutputRequest request;
    request.bmp = false;
    request.header.arrayName = options.header.arrayName;
    request.pixels = &encoded.header;
    request.rawFiles = rawArrayFiles(paths.header, encoded.header, encoded.imageFileHeader);
    return writeOutputFiles(QImage16(encoded.shownPicture(QImage::Format_RGB16)), paths, request)
        == WriteOutcome::Written;
}

void TestOutputFiles::rawFilesHoldTheArrays_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("option"); // mask, swap, coded
    QTest::addColumn<QStringList>("files"); // every file written: pic.h and one an array, named after it
    QTest::newRow("mono, 13 wide") << QByteArray("mono") << QSize(13, 7) << ""
                                   << QStringList {"pic.bin", "pic.h"};
    QTest::newRow("rgb565 and its mask")
        << QByteArray("rgb565") << QSize(5, 3) << "mask" << QStringList {"pic.bin", "pic.h", "pic_mask.bin"};
    QTest::newRow("rgb565 swapped") << QByteArray("rgb565") << QSize(4, 2) << "swap"
                                    << QStringList {"pic.bin", "pic.h"};
    QTest::newRow("index4 and its palette")
        << QByteArray("index4") << QSize(7, 3) << "" << QStringList {"pic.bin", "pic.h", "pic_palette.bin"};
    QTest::newRow("black and red planes") << QByteArray("epd-bw-red") << QSize(9, 4) << ""
                                          << QStringList {"pic.h", "pic_black.bin", "pic_red.bin"};
    QTest::newRow("four inks, 7 wide")
        << QByteArray("epd-bwry") << QSize(7, 3) << "" << QStringList {"pic.bin", "pic.h"};
    // Coded arrays as they are, beside the reader; the palette as it is.
    QTest::newRow("rgb565 and its mask, coded")
        << QByteArray("rgb565") << QSize(5, 3) << "mask coded"
        << QStringList {"pic.h", "pic_mask_rle.bin", "pic_rle.bin", "quillon_rle.h"};
    QTest::newRow("index4, coded") << QByteArray("index4") << QSize(7, 3) << "coded"
                                   << QStringList {"pic.h", "pic_palette.bin", "pic_rle.bin",
                                                   "quillon_rle.h"};
    QTest::newRow("rgb444, coded") << QByteArray("rgb444") << QSize(7, 3) << "coded"
                                   << QStringList {"pic.h", "pic_rle.bin", "quillon_rle.h"};
}

void TestOutputFiles::rawFilesHoldTheArrays()
{
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);
    QFETCH(QString, option);
    QFETCH(QStringList, files);
    EncodingOptions encoding;
    encoding.pixels.alphaMask = option.contains("mask");
    encoding.pixels.swapBytes = option == "swap";
    encoding.arrays.compression = option.contains("coded") ? ArrayLayout::Rle : ArrayLayout::Uncompressed;
    QVERIFY(writeBinary(patternPicture(size.width(), size.height(), encoding.pixels.alphaMask), format,
                        encoding));

    // No BMP file: only the header, one file an array, and the reader of coded arrays.
    QCOMPARE(filesUnder(path()), files);
    const QHash<QByteArray, QByteArray> arrays = readArrays(readFile(path("pic.h")));
    QCOMPARE(arrays.size(), files.filter(".bin").size());
    for (const QString &file : files.filter(".bin")) {
        const QByteArray array = file.chopped(4).toLatin1();
        QVERIFY2(!arrays.value(array).isEmpty(), array.constData());
        QCOMPARE(readFile(path(file)), arrays[array]);
    }
}

void TestOutputFiles::lvglImageFileFollowsLvglsLayout_data()
{
    QTest::addColumn<QByteArray>("colourFormat");
    QTest::addColumn<QByteArray>("enumerator"); // the stand-in's
    QTest::addColumn<int>("version");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("strideAlign");
    QTest::addColumn<int>("compression");
    QTest::addColumn<int>("stride"); // LVGL 9's bytes a row
    const QByteArray v9 = "LV_COLOR_FORMAT_";
    QTest::newRow("RGB565") << QByteArray("RGB565") << v9 + "RGB565" << 9 << QSize(5, 3) << 1 << 0 << 10;
    QTest::newRow("RGB565, rows of 4 bytes")
        << QByteArray("RGB565") << v9 + "RGB565" << 9 << QSize(5, 3) << 4 << 0 << 12;
    QTest::newRow("RGB565A8") << QByteArray("RGB565A8") << v9 + "RGB565A8" << 9 << QSize(3, 4) << 1 << 0 << 6;
    QTest::newRow("I1, 9 wide") << QByteArray("I1") << v9 + "I1" << 9 << QSize(9, 2) << 1 << 0 << 2;
    QTest::newRow("I1, 8 wide") << QByteArray("I1") << v9 + "I1" << 9 << QSize(8, 3) << 1 << 0 << 1;
    QTest::newRow("I4, palette first") << QByteArray("I4") << v9 + "I4" << 9 << QSize(5, 2) << 1 << 0 << 3;
    QTest::newRow("RGB565, RLE") << QByteArray("RGB565") << v9 + "RGB565" << 9 << QSize(6, 5) << 1
                                 << int(ArrayLayout::Rle) << 12;
    QTest::newRow("I8, LZ4") << QByteArray("I8") << v9 + "I8" << 9 << QSize(7, 2) << 1
                             << int(ArrayLayout::Lz4) << 7;
    // The colour formats each LVGL added, by their numbers in its enumerations; LVGL 8's files of
    // 12 bytes at least, as the reader takes them.
    QTest::newRow("ARGB1555") << QByteArray("ARGB1555") << v9 + "ARGB1555" << 9 << QSize(5, 3) << 1 << 0
                              << 10;
    QTest::newRow("ARGB4444") << QByteArray("ARGB4444") << v9 + "ARGB4444" << 9 << QSize(3, 2) << 1 << 0 << 6;
    QTest::newRow("ARGB8565") << QByteArray("ARGB8565") << v9 + "ARGB8565" << 9 << QSize(3, 2) << 1 << 0 << 9;
    QTest::newRow("AL88") << QByteArray("AL88") << v9 + "AL88" << 9 << QSize(3, 2) << 1 << 0 << 6;
    QTest::newRow("A1, 9 wide") << QByteArray("A1") << v9 + "A1" << 9 << QSize(9, 2) << 1 << 0 << 2;
    QTest::newRow("A2, 9 wide") << QByteArray("A2") << v9 + "A2" << 9 << QSize(9, 2) << 1 << 0 << 3;
    QTest::newRow("A4, 5 wide") << QByteArray("A4") << v9 + "A4" << 9 << QSize(5, 2) << 1 << 0 << 3;
    QTest::newRow("LVGL 8, A1") << QByteArray("A1") << QByteArray("LV_IMG_CF_ALPHA_1BIT") << 8 << QSize(9, 8)
                                << 1 << 0 << 0;
    QTest::newRow("LVGL 8, A2") << QByteArray("A2") << QByteArray("LV_IMG_CF_ALPHA_2BIT") << 8 << QSize(9, 4)
                                << 1 << 0 << 0;
    QTest::newRow("LVGL 8, A4") << QByteArray("A4") << QByteArray("LV_IMG_CF_ALPHA_4BIT") << 8 << QSize(5, 4)
                                << 1 << 0 << 0;
    QTest::newRow("LVGL 8, RGB565") << QByteArray("RGB565") << QByteArray("LV_IMG_CF_TRUE_COLOR") << 8
                                    << QSize(1030, 2) << 1 << 0 << 0;
    QTest::newRow("LVGL 8, I2") << QByteArray("I2") << QByteArray("LV_IMG_CF_INDEXED_2BIT") << 8
                                << QSize(5, 1025) << 1 << 0 << 0;
}

void TestOutputFiles::lvglImageFileFollowsLvglsLayout()
{
    QFETCH(QByteArray, colourFormat);
    QFETCH(QByteArray, enumerator);
    QFETCH(int, version);
    QFETCH(QSize, size);
    QFETCH(int, strideAlign);
    QFETCH(int, compression);
    QFETCH(int, stride);
    const QString cc = QStandardPaths::findExecutable("cc");
    if (cc.isEmpty())
        QSKIP("a C compiler is needed");
    EncodingOptions encoding;
    encoding.lvgl.colourFormat = lvglColourFormatOf(colourFormat);
    encoding.lvgl.version = version;
    encoding.arrays.strideAlign = strideAlign;
    encoding.arrays.compression = ArrayLayout::Compression(compression);
    QVERIFY(writeBinary(patternPicture(size.width(), size.height(), true), "lvgl", encoding));
    // One file, the picture's: its map is only read through the descriptor.
    QCOMPARE(filesUnder(path()), (QStringList {"pic.bin", "pic.h"}));

    // The header as LVGL's structures read it, through the stand-in of its declarations, then
    // the values of the stand-in's enumerator and compression flag.
    const QByteArray fields = version == 8
        ? "lv_img_header_t h;\n    memcpy(&h, bytes, 4);\n    printf(\"4 %u %u %u %u\", h.cf, h.w, h.h, "
          "h.always_zero);\n"
        : "lv_image_header_t h;\n    memcpy(&h, bytes, 12);\n    printf(\"%d %u %u %u %u %u %u %u\", "
          "(int)sizeof h, h.magic, h.cf, h.flags, h.w, h.h, h.stride, h.reserved_2);\n";
    writeFile(
        path("fields.c"),
        "#include <stdio.h>\n#include <string.h>\n#include \"lvgl.h\"\nint main(int argc, char **argv)\n{\n"
        "    unsigned char bytes[12];\n    FILE *file = argc > 1 ? fopen(argv[1], \"rb\") : NULL;\n"
        "    if (!file || fread(bytes, 1, 12, file) != 12)\n        return 1;\n    "
            + fields + "    printf(\" %d %d\\n\", (int)" + enumerator
            + ", (int)LV_IMAGE_FLAGS_COMPRESSED);\n    return 0;\n}\n");
    const Run built = runProgram({cc, "-std=c99", "-Wall", "-Werror", "-I", QUILLON_LVGL_STANDIN, "-o",
                                  path("fields"), path("fields.c")});
    QVERIFY2(built.exitCode == 0, qPrintable(built.out + built.err));
    const Run reader = runProgram({path("fields"), path("pic.bin")});
    QCOMPARE(reader.exitCode, 0);
    QList<QByteArray> read = reader.out.toUtf8().trimmed().split(' ');
    const QByteArray compressedFlag = read.takeLast(), cf = read.takeLast();
    const QByteArray w = QByteArray::number(size.width()), h = QByteArray::number(size.height());
    const QList<QByteArray> expected = version == 8
        ? QList<QByteArray> {"4", cf, w, h, "0"}
        : QList<QByteArray> {
            "12", "25", cf, compression ? compressedFlag : "0", w, h, QByteArray::number(stride), "0"};
    QCOMPARE(read, expected);
    // Then the data as the descriptor's map holds it.
    const QByteArray file = readFile(path("pic.bin")),
                     map = readArrays(readFile(path("pic.h"))).value("pic_map");
    QVERIFY(!map.isEmpty());
    QCOMPARE(file.mid(read[0].toInt()), map);
    if (compression) {
        // lv_image_compressed_header_t: the method, then both sizes, before the compressed data.
        const auto *compressed = reinterpret_cast<const uchar *>(map.constData());
        QCOMPARE(qFromLittleEndian<quint32>(compressed) & 0xf, quint32(compression));
        QCOMPARE(qint64(qFromLittleEndian<quint32>(compressed + 4)), qint64(map.size() - 12));
        const int paletteBytes = colourFormat == "I8" ? 256 * 4 : 0;
        QCOMPARE(qint64(qFromLittleEndian<quint32>(compressed + 8)),
                 qint64(paletteBytes + stride * size.height()));
    }
}

void TestOutputFiles::commandLineWritesWhatItIsAskedFor_data()
{
    // pictures: good*.png a picture, bad.png not one, anim.gif three frames
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("standing"); // files in out/ before the run
    QTest::addColumn<QStringList>("files"); // every file in out/ afterwards
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("lastLine"); // of standard error
    QTest::newRow("bmp: the window's pair")
        << words("-o out good.png") << words("") << words("good.h good16bits.BMP") << 0 << "";
    QTest::newRow("mono: the header alone")
        << words("--format mono -o out good.png") << words("") << words("good.h") << 0 << "";
    QTest::newRow("mono --bmp") << words("--format=mono --bmp -o out good.png") << words("")
                                << words("good.h good16bits.BMP") << 0 << "";
    QTest::newRow("lvgl --binary") << words("--format lvgl --binary -o out good.png") << words("")
                                   << words("good.bin good.h") << 0 << "";
    QTest::newRow("epd-bw-yellow --binary --bmp")
        << words("--format epd-bw-yellow --binary --bmp -o out good.png") << words("")
        << words("good.h good16bits.BMP good_black.bin good_yellow.bin") << 0 << "";
    QTest::newRow("index8 --binary --split")
        << words("--format index8 --binary --split -o out good.png") << words("")
        << words("good.bin good.c good.h good_palette.bin") << 0 << "";
    // Coded arrays: the reader beside the headers, one for them all; none for LVGL's own coding.
    QTest::newRow("mono --compress rle: the header and the reader")
        << words("--format mono --compress rle -o out good.png") << words("") << words("good.h quillon_rle.h")
        << 0 << "";
    QTest::newRow("rgb565 --compress rle --binary --split")
        << words("--format rgb565 --alpha mask --compress rle --binary --split -o out good.png") << words("")
        << words("good.c good.h good_mask_rle.bin good_rle.bin quillon_rle.h") << 0 << "";
    QTest::newRow("a batch coded into one folder: one reader")
        << words("--format gray4 --compress rle -o out good.png good2.png good3.png") << words("")
        << words("good.h good2.h good3.h quillon_rle.h") << 0 << "3 images converties, 0 ignorée, 0 en échec";
    QTest::newRow("lvgl --compress rle: LVGL's own, no reader")
        << words("--format lvgl --compress rle -o out good.png") << words("") << words("good.h") << 0 << "";
    QTest::newRow("another quillon_rle.h that stands there skips the picture")
        << words("--format xbm --compress rle -o out good.png") << words("quillon_rle.h")
        << words("quillon_rle.h") << 1
        << "quillon-convert: good.png : out/quillon_rle.h existe déjà, image ignorée (--force pour le "
           "remplacer)";
    QTest::newRow("a raw file that stands there skips the picture")
        << words("--format gray8 --binary -o out good.png") << words("good.bin") << words("good.bin") << 1
        << "quillon-convert: good.png : out/good.bin existe déjà, image ignorée (--force pour le remplacer)";
    QTest::newRow("a BMP file that stands there skips the picture with --bmp")
        << words("--format mono --bmp -o out good.png") << words("good16bits.BMP") << words("good16bits.BMP")
        << 1
        << "quillon-convert: good.png : out/good16bits.BMP existe déjà, image ignorée (--force pour le "
           "remplacer)";
    // An animation's raw files: each frame's arrays and the delays; its tables of pointers hold no
    // bytes. Its previews: one a frame, numbered as its arrays are.
    QTest::newRow("--frames all --binary")
        << words("--format mono --frames all --binary -o out anim.gif") << words("")
        << words("anim.h anim_delays_ms.bin anim_frame0.bin anim_frame1.bin anim_frame2.bin") << 0 << "";
    QTest::newRow("lvgl --frames all --binary: an image file a frame")
        << words("--format lvgl --frames all --binary -o out anim.gif") << words("")
        << words("anim.h anim_delays_ms.bin anim_frame0.bin anim_frame1.bin anim_frame2.bin") << 0 << "";
    QTest::newRow("--frames all --preview")
        << words("--format rgb565 --frames all --preview -o out anim.gif") << words("")
        << words("anim.h anim16bits_frame0.png anim16bits_frame1.png anim16bits_frame2.png") << 0 << "";
    QTest::newRow("--frames 2-3 --preview, a frame's preview standing there")
        << words("--format rgb565 --frames 2-3 --preview -o out anim.gif") << words("anim16bits_frame1.png")
        << words("anim16bits_frame1.png") << 1
        << "quillon-convert: anim.gif : out/anim16bits_frame1.png existe déjà, image ignorée (--force pour "
           "le "
           "remplacer)";
    // Checked before the picture is read: the range's last preview too.
    QTest::newRow("--frames 2-3 --preview, the last preview standing there, no picture")
        << words("--format rgb565 --frames 2-3 --preview -o out bad.png") << words("bad16bits_frame1.png")
        << words("bad16bits_frame1.png") << 1
        << "quillon-convert: bad.png : out/bad16bits_frame1.png existe déjà, image ignorée (--force pour le "
           "remplacer)";
    QTest::newRow("--frames all --preview, a frame's preview standing there")
        << words("--format rgb565 --frames all --preview -o out anim.gif") << words("anim16bits_frame2.png")
        << words("anim16bits_frame2.png") << 1
        << "quillon-convert: anim.gif : out/anim16bits_frame2.png existe déjà, image ignorée (--force pour "
           "le "
           "remplacer)";
    QTest::newRow("--binary refused with bmp")
        << words("--binary -o out good.png") << words("") << words("") << 2
        << "Essayez « quillon-convert --help » pour plus d'informations.";
    QTest::newRow("-o makes the missing folders")
        << words("--format xbm -o out/a/b good.png") << words("") << words("a/b/good.h") << 0 << "";
    QTest::newRow("-o in a file")
        << words("-o good.png/sub good.png") << words("") << words("") << 1
        << "quillon-convert: impossible de créer le dossier de destination good.png/sub : good.png existe et "
           "n'est pas un dossier";
    QTest::newRow("-o naming a file")
        << words("-o good.png good2.png") << words("") << words("") << 1
        << "quillon-convert: impossible de créer le dossier de destination good.png : good.png existe et "
           "n'est pas un dossier";
    QTest::newRow("a batch converted, skipped and failed")
        << words("-o out good.png good2.png bad.png") << words("good2.h")
        << words("good.h good16bits.BMP good2.h") << 1 << "1 image convertie, 1 ignorée, 1 en échec";
    QTest::newRow("a batch of failures")
        << words("-o out bad.png bad2.png good.png good2.png") << words("good.h good2.h")
        << words("good.h good2.h") << 1 << "0 image convertie, 2 ignorées, 2 en échec";
}

void TestOutputFiles::commandLineWritesWhatItIsAskedFor()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, standing);
    QFETCH(QStringList, files);
    QFETCH(int, exitCode);
    QFETCH(QString, lastLine);
    const QStringList pictures
        = arguments.filter(QRegularExpression("\\A((good|bad)\\d?\\.png|anim\\.gif)\\z"));
    // Three frames of 5 x 3, each of one colour, red, green and blue apart.
    QVector<QImage> frames(3, QImage(5, 3, QImage::Format_RGB32));
    for (int f = 0; f < 3; ++f)
        frames[f].fill(qRgb(200 - 90 * f, 40 + 100 * f, 16 + 8 * f));
    for (const QString &picture : pictures) {
        if (picture == "anim.gif")
            writeFile(path(picture), animatedGifFile(frames, {5, 5, 5}));
        else if (picture.startsWith("good"))
            savePicture(patternPicture(11, 6), path(picture), "PNG");
        else
            writeFile(path(picture), "not a picture");
    }
    for (const QString &file : standing) {
        QVERIFY(QDir().mkpath(path("out")));
        writeFile(path("out/" + file), "earlier");
    }
    const Run run = quillonConvert(arguments);
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(run.err.section('\n', -2, -2), lastLine);
    // A single picture's run ends with its own message, if any: no count.
    if (pictures.size() < 2)
        QVERIFY2(!run.err.contains(QString::fromUtf8(" en échec")), qPrintable(run.err));
    QStringList expected = pictures;
    for (const QString &file : files)
        expected << "out/" + file;
    expected.sort();
    QCOMPARE(filesUnder(path()), expected);
    for (const QString &file : standing)
        QCOMPARE(readFile(path("out/" + file)), QByteArray("earlier"));
    // Each frame's preview written shows that frame.
    for (const QString &file : files.filter("16bits_frame")) {
        if (standing.contains(file))
            continue;
        const int frame = file.section("_frame", 1).section('.', 0, 0).toInt();
        const QImage preview(path("out/" + file));
        QCOMPARE(preview.size(), QSize(5, 3));
        QCOMPARE(preview.pixel(4, 2), shown(rgb565(frames[frame].pixel(4, 2))));
    }
}

void TestOutputFiles::cmakeFunctionExpectsTheFilesWritten_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<bool>("bmp");
    QTest::newRow("bmp") << QString() << true;
    QTest::newRow("--format mono") << "--format mono" << false;
    QTest::newRow("--format=pages --bmp") << "--format=pages --bmp" << true;
    QTest::newRow("--format mono --format bmp") << "--format mono --format bmp" << true;
}

// Each output the function declares is written, so that a build after an unchanged picture
// converts nothing again.
void TestOutputFiles::cmakeFunctionExpectsTheFilesWritten()
{
    QFETCH(QString, options);
    QFETCH(bool, bmp);
    const QString cmake = QStandardPaths::findExecutable("cmake");
    if (cmake.isEmpty())
        QSKIP("cmake is needed");
    savePicture(patternPicture(5, 9), path("pic.png"), "PNG");
    QVERIFY(QDir().mkpath(path("project")));
    writeFile(path("project/CMakeLists.txt"),
              "cmake_minimum_required(VERSION 3.16)\nproject(pictures NONE)\nset(QUILLON_CONVERT_EXECUTABLE "
              "\"" QUILLON_CONVERT "\")\ninclude(\"" QUILLON_CMAKE_FUNCTION "\")\n"
              "quillon_convert_pictures(pictures OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/out\n"
              "    PICTURES \""
                  + path("pic.png").toUtf8() + "\" OPTIONS " + options.toUtf8()
                  + ")\nadd_custom_target(everything ALL)\nadd_dependencies(everything pictures)\n");
    const auto run = [&](const QStringList &arguments) {
        const Run ran = runProgram(QStringList {cmake} + arguments);
        if (ran.exitCode != 0)
            qWarning("%s", qPrintable(ran.out + ran.err));
        return ran.out + ran.err;
    };
    run({"-S", path("project"), "-B", path("build")});
    QVERIFY(run({"--build", path("build")}).contains("Converting pic.png"));
    QVERIFY(QFileInfo::exists(path("build/out/pic.h")));
    QCOMPARE(QFileInfo::exists(path("build/out/pic16bits.BMP")), bmp);
    const QString again = run({"--build", path("build")});
    QVERIFY2(!again.contains("Converting"), qPrintable(again));
    // A BMP file removed is written again: the build knows it as one of its outputs.
    if (bmp) {
        QVERIFY(QFile::remove(path("build/out/pic16bits.BMP")));
        QVERIFY(run({"--build", path("build")}).contains("Converting pic.png"));
        QVERIFY(QFileInfo::exists(path("build/out/pic16bits.BMP")));
    }
}

void TestOutputFiles::previewShowsThePicture_data()
{
    QTest::addColumn<QImage>("picture");
    QVector<quint16> values(65536); // each 5-6-5 value once
    std::iota(values.begin(), values.end(), quint16(0));
    QTest::newRow("every 5-6-5 value")
        << QImage(reinterpret_cast<const uchar *>(values.constData()), 256, 256, QImage::Format_RGB16).copy();
    QTest::newRow("5-6-5, 13 x 7") << patternPicture(13, 7).convertToFormat(QImage::Format_RGB16);
    QTest::newRow("32-bit, 8 x 3") << patternPicture(8, 3).convertToFormat(QImage::Format_RGB32);
    QTest::newRow("32-bit, 1 x 1") << patternPicture(1, 1).convertToFormat(QImage::Format_RGB32);
    QTest::newRow("grey, 9 x 4") << patternPicture(9, 4).convertToFormat(QImage::Format_Grayscale8);
    QTest::newRow("24-bit, 7 x 5, through Qt") << patternPicture(7, 5).convertToFormat(QImage::Format_RGB888);
}

// The preview read back shows each pixel as Qt shows the picture it was given.
void TestOutputFiles::previewShowsThePicture()
{
    QFETCH(QImage, picture);
    const OutputPaths paths = outputPaths(path(), "pic.png");
    OutputRequest request;
    request.preview = PictureRows(picture);
    QCOMPARE(writeOutputFiles(QImage16(picture.convertToFormat(QImage::Format_RGB16)), paths, request),
             WriteOutcome::Written);
    const QImage preview(paths.preview, "PNG");
    QVERIFY(!preview.isNull());
    const QImage colours = picture.convertToFormat(QImage::Format_RGB32);
    QCOMPARE(preview.convertToFormat(QImage::Format_RGB32), colours);
    // Made whole from its rows, as the BMP file takes it when an encoder only draws them.
    QCOMPARE(request.preview.picture(), colours);
    QCOMPARE(request.preview.picture(QImage::Format_RGB16), colours.convertToFormat(QImage::Format_RGB16));
}

void TestOutputFiles::verboseListsTheFilesWritten_data()
{
    QTest::addColumn<QStringList>("arguments"); // pictures: good*.png a picture, bad.png not one
    QTest::addColumn<QString>("err"); // all of standard error; out/good.h stands there before
    QTest::newRow("silent without -v") << words("-o out good2.png") << "";
    QTest::newRow("-v, the window's pair") << words("-v -o out good2.png")
                                           << "quillon-convert: out/good216bits.BMP : écrit\n"
                                              "quillon-convert: out/good2.h : écrit\n";
    // In the order they are put in place: header, C file, preview, raw files.
    QTest::newRow("--verbose, every file of a display format")
        << words("--verbose --format index4 --split --preview --binary -o out good2.png")
        << "quillon-convert: out/good2.h : écrit\nquillon-convert: out/good2.c : écrit\n"
           "quillon-convert: out/good216bits.png : écrit\nquillon-convert: out/good2_palette.bin : écrit\n"
           "quillon-convert: out/good2.bin : écrit\n";
    QTest::newRow("-v, a coded header, then its reader")
        << words("-v --format pages --compress rle --split -o out good2.png")
        << "quillon-convert: out/good2.h : écrit\nquillon-convert: out/good2.c : écrit\n"
           "quillon-convert: out/quillon_rle.h : écrit\n";
    QTest::newRow("-v, a batch: nothing of a skipped or failed picture")
        << words("-v --format mono -o out good.png bad.png good2.png")
        << "quillon-convert: out/good2.h : écrit\n"
           "quillon-convert: good.png : out/good.h existe déjà, image ignorée (--force pour le remplacer)\n"
           "quillon-convert: bad.png : ce fichier ne semble pas être une image\n"
           "1 image convertie, 1 ignorée, 1 en échec\n";
}

// -v tells each file put in place on standard error, a line each; a run says nothing without it.
void TestOutputFiles::verboseListsTheFilesWritten()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, err);
    for (const QString &picture : arguments.filter(QRegularExpression("\\A(good|bad)\\d?\\.png\\z"))) {
        if (picture.startsWith("good"))
            savePicture(patternPicture(7, 3), path(picture), "PNG");
        else
            writeFile(path(picture), "not a picture");
    }
    QVERIFY(QDir().mkpath(path("out")));
    writeFile(path("out/good.h"), "earlier");
    const Run run = quillonConvert(arguments);
    QCOMPARE(run.err, err);
    QCOMPARE(run.exitCode, err.contains("en échec") ? 1 : 0);
}

void TestOutputFiles::readerStandsBesideTheHeaders_data()
{
    QTest::addColumn<QString>("standing"); // at out/quillon_rle.h: the reader, a byte more or changed, a link
    QTest::addColumn<bool>("force");
    QTest::addColumn<QString>("err"); // with -v
    const QString skipped
        = "quillon-convert: good.png : out/quillon_rle.h existe déjà, image ignorée (--force "
          "pour le remplacer)\n";
    const QString written
        = "quillon-convert: out/good.h : écrit\nquillon-convert: out/quillon_rle.h : écrit\n";
    QTest::newRow("the reader, left as it is") << "reader" << false
                                               << "quillon-convert: out/good.h : écrit\nquillon-convert: "
                                                  "out/quillon_rle.h : inchangé, laissé tel quel\n";
    QTest::newRow("the reader and a byte more") << "longer" << false << skipped;
    QTest::newRow("the reader, a byte changed") << "changed" << false << skipped;
    QTest::newRow("the reader, a byte changed, --force") << "changed" << true << written;
    QTest::newRow("a link to the reader") << "link" << false
                                          << "quillon-convert: good.png : out/quillon_rle.h est un lien "
                                             "symbolique, image ignorée (--force pour "
                                             "remplacer le lien lui-même)\n";
}

// Every header of a folder that holds coded arrays shares one reader beside it: one that stands
// there as it is stands in no picture's way and is left as it is; anything else there is another
// file, replaced only with --force.
void TestOutputFiles::readerStandsBesideTheHeaders()
{
    QFETCH(QString, standing);
    QFETCH(bool, force);
    QFETCH(QString, err);
    const QByteArray reader = readFile(FIRMWARE_DIR "/quillon_rle.h");
    savePicture(patternPicture(9, 5), path("good.png"), "PNG");
    QVERIFY(QDir().mkpath(path("out")));
    QByteArray stood = reader;
    if (standing == "longer")
        stood += '\n';
    else if (standing == "changed")
        stood[stood.size() / 2] = char(stood[stood.size() / 2] ^ 1);
    if (standing == "link") {
        writeFile(path("elsewhere.h"), reader);
        QVERIFY(QFile::link(path("elsewhere.h"), path("out/quillon_rle.h")));
    } else {
        writeFile(path("out/quillon_rle.h"), stood);
    }
    const auto inode = [](const QString &file) {
        struct stat status;
        return ::lstat(QFile::encodeName(file).constData(), &status) == 0 ? status.st_ino : ino_t(0);
    };
    const ino_t inodeBefore = inode(path("out/quillon_rle.h"));

    const Run run
        = quillonConvert(QStringList {"-v", "--format", "mono", "--compress", "rle", "-o", "out"}
                         + (force ? QStringList {"--force"} : QStringList()) + QStringList {"good.png"});
    QCOMPARE(run.err, err);
    const bool converted = err.contains("good.h : écrit");
    QCOMPARE(run.exitCode, converted ? 0 : 1);
    const QFileInfo after(path("out/quillon_rle.h"));
    if (!converted) { // as it stood
        QCOMPARE(after.isSymLink(), standing == "link");
        QCOMPARE(readFile(path("out/quillon_rle.h")), stood);
        QVERIFY(!QFileInfo::exists(path("out/good.h")));
        return;
    }
    QVERIFY(!after.isSymLink());
    QCOMPARE(readFile(path("out/quillon_rle.h")), reader);
    QCOMPARE(inode(path("out/quillon_rle.h")) == inodeBefore, standing == "reader");
}

void TestOutputFiles::readerWrittenOnceAFolder_data()
{
    QTest::addColumn<QStringList>("pictures"); // a/*.png, b/*.png; *.gif an animation of 3 frames
    QTest::addColumn<QStringList>("options"); // beside -v --compress rle
    QTest::newRow("three pictures of a folder")
        << QStringList {"a/p1.png", "a/p2.png", "a/p3.png"} << QStringList {"--format", "mono"};
    QTest::newRow("two folders, with -o none")
        << QStringList {"a/p1.png", "b/p2.png", "./a/p3.png", "b/../b/p4.png"}
        << QStringList {"--format", "rgb565"};
    QTest::newRow("split, with raw files") << QStringList {"a/p1.png", "a/p2.png"}
                                           << QStringList {"--format", "epd-bwry", "--split", "--binary"};
    QTest::newRow("animations' frames")
        << QStringList {"a/g1.gif", "a/g2.gif", "b/g3.gif"}
        << QStringList {"--format", "epd-spectra6", "--frames", "all", "--binary", "--preview"};
}

// The pictures of one call that share a folder share its reader: it is put in place once, by one
// of them, the others told it stands there unchanged, and no copy of it is left behind.
void TestOutputFiles::readerWrittenOnceAFolder()
{
    QFETCH(QStringList, pictures);
    QFETCH(QStringList, options);
    QVERIFY(QDir().mkpath(path("a")) && QDir().mkpath(path("b")));
    for (int i = 0; i < pictures.size(); ++i) {
        const QImage picture = patternPicture(5 + 2 * i, 3 + i);
        if (pictures[i].endsWith(".gif"))
            writeFile(path(pictures[i]),
                      animatedGifFile({picture, picture.mirrored(true, false), picture.mirrored(false, true)},
                                      {10, 20, 30}));
        else
            savePicture(picture, path(pictures[i]), "PNG");
    }
    const Run run = quillonConvert(QStringList {"-v", "--compress", "rle"} + options + pictures);
    QCOMPARE(run.exitCode, 0);
    for (const QString folder : {"a", "b"}) {
        int held = 0;
        for (const QString &picture : pictures)
            held += QDir::cleanPath(picture).startsWith(folder + "/");
        // The folder as its pictures name it: a/, ./a/, b/../b/
        const auto told = [&](const char *what) {
            return run.err.count(QRegularExpression("(^|\n)quillon-convert: (\\S*/)?" + folder
                                                    + "/quillon_rle\\.h : " + what + "\n"));
        };
        QCOMPARE(told("écrit"), held ? 1 : 0);
        QCOMPARE(told("inchangé, laissé tel quel"), qMax(held - 1, 0));
        if (held)
            QCOMPARE(readFile(path(folder + "/quillon_rle.h")), readFile(FIRMWARE_DIR "/quillon_rle.h"));
        QCOMPARE(QDir(path(folder)).entryList({".quillon-*"}, QDir::Hidden | QDir::Files), QStringList());
    }
}

// A picture whose 5-6-5 pixels could not be had (a null one) is not written, for want of memory:
// not a failure without a cause.
void TestOutputFiles::bmpFileWithoutMemoryForItsPixels()
{
    const OutputPaths paths = outputPaths(path(), "pic.png");
    int error = 0;
    QString failedPath;
    QCOMPARE(writeOutputFiles(QImage16(), paths, OutputRequest(), &error, &failedPath),
             WriteOutcome::BmpFailed);
    QCOMPARE(error, ENOMEM);
    QCOMPARE(failedPath, paths.bmp);
    QCOMPARE(filesUnder(path()), QStringList());
}

void TestOutputFiles::batchToldPictureByPicture_data()
{
    QTest::addColumn<QStringList>("pictures");
    QTest::addColumn<QByteArray>("bundle");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("outcomes");
    QTest::addColumn<QString>("bundleOutcome");
    QTest::newRow("three pictures") << QStringList {"a.png", "b.png", "dark.png"} << QByteArray()
                                    << QStringList {"a.h", "b.h", "dark.h"}
                                    << QStringList {"0 [] [a.h]", "0 [] [b.h]", "0 [] [dark.h]"} << "0 [] []";
    QTest::newRow("one missing") << QStringList {"a.png", "gone.png"} << QByteArray() << QStringList {"a.h"}
                                 << QStringList {"0 [] [a.h]", "2 [fichier introuvable] []"} << "0 [] []";
    QTest::newRow("bundle of three") << QStringList {"a.png", "b.png", "dark.png"} << QByteArray("menu")
                                     << QStringList {"menu.h"}
                                     << QStringList {"0 [] []", "0 [] []", "0 [] []"} << "0 [] [menu.h]";
    QTest::newRow("bundle with one missing")
        << QStringList {"a.png", "gone.png", "b.png"} << QByteArray("menu") << QStringList()
        << QStringList {"0 [] []", "2 [fichier introuvable] []", "0 [] []"} << "left out";
}

// The pipeline's call for a call's pictures, in this process: each picture's outcome in its place
// whatever thread converted it, each notice told with its picture, every picture counted once,
// and the bundle's header written only when every picture of it was converted.
void TestOutputFiles::batchToldPictureByPicture()
{
    QFETCH(QStringList, pictures);
    QFETCH(QByteArray, bundle);
    QFETCH(QStringList, files);
    QFETCH(QStringList, outcomes);
    QFETCH(QString, bundleOutcome);
    QImage dark(5, 3, QImage::Format_RGB32);
    dark.fill(qRgb(20, 10, 30));
    savePicture(dark, path("dark.png"), "PNG");
    savePicture(patternPicture(7, 4), path("a.png"), "PNG");
    savePicture(patternPicture(3, 6), path("b.png"), "PNG");
    BatchJob batchJob;
    for (const QString &picture : pictures) {
        PictureJob job;
        job.picturePath = path(picture);
        job.outputFolder = path();
        job.format = findDisplayFormat("mono");
        job.encoding.header.arrayName = QFileInfo(picture).completeBaseName().toLatin1();
        job.bundled = !bundle.isEmpty();
        batchJob.pictures.push_back(job);
    }
    batchJob.bundle = bundle;
    batchJob.bundleJob.outputFolder = path();
    batchJob.bundleJob.format = findDisplayFormat("mono");
    std::mutex mutex;
    QStringList notices;
    QVector<int> done, counted, counts;
    BatchObserver observer;
    observer.notice = [&](int picture, const QString &text) {
        const std::lock_guard<std::mutex> lock(mutex);
        notices << pictures[picture] + ": " + text.left(text.indexOf(' '));
    };
    observer.progress = [&](int doneNow, int count, int picture) {
        const std::lock_guard<std::mutex> lock(mutex);
        counts << count;
        done << doneNow;
        counted << picture;
    };
    const BatchOutcome outcome = convertBatch(batchJob, observer);
    const auto told = [](const PictureOutcome &picture) {
        QStringList written;
        for (const QString &file : picture.written)
            written << QFileInfo(file).fileName();
        return QStringLiteral("%1 [%2] [%3]").arg(picture.status).arg(picture.message, written.join(' '));
    };
    QStringList toldOutcomes;
    for (const PictureOutcome &picture : outcome.pictures)
        toldOutcomes << told(picture);
    QCOMPARE(toldOutcomes, outcomes);
    QCOMPARE(outcome.bundleLeftOut ? QStringLiteral("left out") : told(outcome.bundle), bundleOutcome);
    // dark.png's array is all unlit, a notice of its own; none other.
    QCOMPARE(notices,
             pictures.contains("dark.png") && !outcome.bundleLeftOut ? QStringList {"dark.png: dark"}
                                                                     : QStringList());
    std::sort(done.begin(), done.end());
    std::sort(counted.begin(), counted.end());
    QVector<int> each(pictures.size());
    std::iota(each.begin(), each.end(), 0);
    QCOMPARE(counted, each);
    std::iota(each.begin(), each.end(), 1);
    QCOMPARE(done, each);
    QCOMPARE(counts, QVector<int>(pictures.size(), pictures.size()));
    QStringList written = QDir(path()).entryList({"*.h"});
    QCOMPARE(written, files);
}

QTEST_GUILESS_MAIN(TestOutputFiles)
#include "tst_outputfiles.moc"
