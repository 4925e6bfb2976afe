#include "display_formats.h"
#include "display_preparation.h"
#include "dithering.h"
#include "picture_decoding.h"
#include "picturesupport.h"
#include "streaming_scaler.h"
#include "testsupport.h"

#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>
#include <QTest>

#include <cmath>
#include <functional>
#include <tuple>

using namespace TestSupport;

Q_DECLARE_METATYPE(DisplayOptions)
Q_DECLARE_METATYPE(Dithering)

class TestPreparation : public QObject, protected TestSupport::TemporaryFolder
{
    Q_OBJECT

private slots:
    void init();

    void shapesPicturesForTheScreen_data();
    void shapesPicturesForTheScreen();
    void shapesTheAlphaWithTheColours_data();
    void shapesTheAlphaWithTheColours();
    void boundsWhatShapingTakes_data();
    void boundsWhatShapingTakes();
    void refusesWhatMemoryCannotHold();
    void decodesPhotosAsSmallAsTheirShapeAllows_data();
    void decodesPhotosAsSmallAsTheirShapeAllows();
    void fitsEveryFormatToTheSameSize_data();
    void fitsEveryFormatToTheSameSize();
    void scalesRowByRowAsQtScales_data();
    void scalesRowByRowAsQtScales();
    void fitsByRowsAsWhole_data();
    void fitsByRowsAsWhole();
    void dithersAGreyRampFaithfully_data();
    void dithersAGreyRampFaithfully();
    void dithersWithFloydSteinbergWeights_data();
    void dithersWithFloydSteinbergWeights();
    void dithersAsEachMethodIsDefined_data();
    void dithersAsEachMethodIsDefined();
    void movesEachCellOfBayersMatrix_data();
    void movesEachCellOfBayersMatrix();
    void changesTheToneAsImageMagickDoes_data();
    void changesTheToneAsImageMagickDoes();
    void drawsSvgAtTheSizeItIsUsed_data();
    void drawsSvgAtTheSizeItIsUsed();
};

void TestPreparation::init()
{
    QVERIFY(renewFolder());
}

namespace {

// A picture of `size`, each pixel as `colourAt` gives it.
QImage drawn(QSize size, const std::function<QRgb(int x, int y)> &colourAt)
{
    QImage result(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            result.setPixel(x, y, colourAt(x, y));
    return result;
}

// `picture` turned `quarterTurns` (1 to 3) times clockwise.
QImage turned(const QImage &picture, int quarterTurns)
{
    const int w = picture.width(), h = picture.height();
    return drawn(quarterTurns % 2 ? QSize(h, w) : QSize(w, h), [&](int x, int y) {
        return quarterTurns == 1 ? picture.pixel(y, h - 1 - x)
            : quarterTurns == 2  ? picture.pixel(w - 1 - x, h - 1 - y)
                                 : picture.pixel(w - 1 - y, x);
    });
}

QImage mirroredBy(const QImage &picture, bool horizontally, bool vertically)
{
    return drawn(picture.size(), [&](int x, int y) {
        return picture.pixel(horizontally ? picture.width() - 1 - x : x,
                             vertically ? picture.height() - 1 - y : y);
    });
}

QImage smooth(const QImage &picture, QSize size)
{
    return picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

DisplayOptions with(const std::function<void(DisplayOptions &)> &set, DisplayOptions options = {})
{
    set(options);
    return options;
}

// Fitted in `box` as `mode` says.
DisplayOptions fitIn(QSize box, FitMode mode = FitMode::Contain, Qt::Alignment gravity = Qt::AlignCenter,
                     bool upscale = false)
{
    DisplayOptions options;
    options.fit = box;
    options.fitMode = mode;
    options.gravity = gravity;
    options.upscale = upscale;
    return options;
}

} // namespace

void TestPreparation::shapesPicturesForTheScreen_data()
{
    QTest::addColumn<QImage>("source");
    QTest::addColumn<DisplayOptions>("options");
    QTest::addColumn<QImage>("expected");
    // 7 x 5 and 40 x 20, every pixel of its own colour: a pixel out of place shows.
    const QImage small = patternPicture(7, 5).convertToFormat(QImage::Format_RGB32);
    const QImage wide = patternPicture(40, 20).convertToFormat(QImage::Format_RGB32);
    QTest::newRow("cut") << small << with([](DisplayOptions &o) { o.crop = QRect(2, 1, 3, 4); })
                         << small.copy(2, 1, 3, 4);
    QTest::newRow("cut one pixel too wide")
        << small << with([](DisplayOptions &o) { o.crop = QRect(1, 0, 7, 5); }) << QImage();
    QTest::newRow("cut one pixel too low")
        << small << with([](DisplayOptions &o) { o.crop = QRect(0, 1, 7, 5); }) << QImage();
    QTest::newRow("cut at the corner, whole width")
        << small << with([](DisplayOptions &o) { o.crop = QRect(0, 4, 7, 1); }) << small.copy(0, 4, 7, 1);
    for (int turns = 1; turns < 4; ++turns)
        QTest::addRow("turned %d degrees", turns * 90)
            << small << with([turns](DisplayOptions &o) { o.rotation = turns * 90; }) << turned(small, turns);
    QTest::newRow("mirrored left to right")
        << small << with([](DisplayOptions &o) { o.flipHorizontal = true; })
        << mirroredBy(small, true, false);
    QTest::newRow("mirrored top to bottom")
        << small << with([](DisplayOptions &o) { o.flipVertical = true; }) << mirroredBy(small, false, true);
    QTest::newRow("cut, then turned, then mirrored") << small << with([](DisplayOptions &o) {
        o.crop = QRect(1, 0, 5, 4);
        o.rotation = 90;
        o.flipVertical = true;
    }) << mirroredBy(turned(small.copy(1, 0, 5, 4), 1), false, true);
    const FitMode cover = FitMode::Cover;
    QTest::newRow("stretched") << wide << fitIn({10, 10}, FitMode::Stretch) << smooth(wide, QSize(10, 10));
    QTest::newRow("covering, the middle kept")
        << wide << fitIn({10, 10}, cover) << smooth(wide, QSize(20, 10)).copy(5, 0, 10, 10);
    QTest::newRow("covering, the east kept")
        << wide << fitIn({10, 10}, cover, Qt::AlignRight | Qt::AlignVCenter)
        << smooth(wide, QSize(20, 10)).copy(10, 0, 10, 10);
    QTest::newRow("covering a taller box, the north-west kept")
        << wide << fitIn({9, 16}, cover, Qt::AlignLeft | Qt::AlignTop)
        << smooth(wide, QSize(32, 16)).copy(0, 0, 9, 16);
    // Centred, the middles meet, each rounded down: 32 columns cut to 9 lose 12 on the left.
    QTest::newRow("covering a taller box, south, centred across")
        << wide << fitIn({9, 16}, cover, Qt::AlignBottom | Qt::AlignHCenter)
        << smooth(wide, QSize(32, 16)).copy(12, 0, 9, 16);
    QTest::newRow("covering, 11 rows cut: 6 at the top")
        << turned(wide, 1) << fitIn({10, 9}, cover)
        << smooth(turned(wide, 1), QSize(10, 20)).copy(0, 6, 10, 9);
    // Covering always gives the whole box, a smaller picture enlarged as it must, --upscale or not:
    // 7 x 5 covering 5 x 9 is 12.6 x 9, cut to 12 as fitting within cuts it.
    QTest::newRow("covering a box taller than the picture")
        << small << fitIn({5, 9}, cover) << smooth(small, QSize(12, 9)).copy(4, 0, 5, 9);
    // 7 x 5 covering 14 x 14: 19.6 x 14, its width cut to 19, of which 19 / 2 - 14 / 2 = 2 columns
    // go on the left and 3 on the right.
    for (const bool upscale : {false, true})
        QTest::addRow("covering a larger box, %s", upscale ? "--upscale" : "without --upscale")
            << small << fitIn({14, 14}, cover, Qt::AlignCenter, upscale)
            << smooth(small, QSize(19, 14)).copy(2, 0, 14, 14);
    // 7 x 5 covering 4 x 3 is 4.2 x 3: its width rounded down to the box's, which it still covers.
    QTest::newRow("covering a box its width rounds down to")
        << small << fitIn({4, 3}, cover) << smooth(small, QSize(4, 3));
    QTest::newRow("contained, never enlarged") << small << fitIn({70, 70}) << small;
    QTest::newRow("contained, enlarged")
        << small << fitIn({70, 70}, FitMode::Contain, Qt::AlignCenter, true) << smooth(small, QSize(70, 50));
    // Centred, the middles meet as ImageMagick's -gravity center -extent makes them, each rounded
    // down: 7 x 5 on 12 x 8 is placed at (6 - 3, 4 - 2); on 4 x 3, at (2 - 3, 1 - 2), 1 column cut
    // on the left and 2 on the right; 4 x 2 on 7 x 5 at (3 - 2, 2 - 1), its odd margins on the
    // right and at the bottom.
    QTest::newRow("on a canvas, centred") << small << with([](DisplayOptions &o) { o.canvas = QSize(12, 8); })
                                          << onBlack(small, QSize(12, 8), QPoint(3, 2));
    QTest::newRow("on a canvas, south-east") << small << with([](DisplayOptions &o) {
        o.canvas = QSize(12, 8);
        o.gravity = Qt::AlignRight | Qt::AlignBottom;
    }) << onBlack(small, QSize(12, 8), QPoint(5, 3));
    QTest::newRow("on a smaller canvas, cut around the middle")
        << small << with([](DisplayOptions &o) { o.canvas = QSize(4, 3); }) << small.copy(1, 1, 4, 3);
    QTest::newRow("on a canvas, an even picture centred on odd margins")
        << small.copy(0, 0, 4, 2) << with([](DisplayOptions &o) { o.canvas = QSize(7, 5); })
        << onBlack(small.copy(0, 0, 4, 2), QSize(7, 5), QPoint(1, 1));
    QTest::newRow("on a canvas, even margins")
        << small << with([](DisplayOptions &o) { o.canvas = QSize(11, 7); })
        << onBlack(small, QSize(11, 7), QPoint(2, 1));
    // The tone changed last, margins and background too: a contrast of -100 leaves a flat grey, a
    // brightness of -30 takes 76.5 from every level.
    QTest::newRow("on a canvas, then flattened to grey") << small << with([](DisplayOptions &o) {
        o.canvas = QSize(12, 8);
        o.tone.contrast = -100;
    }) << drawn({12, 8}, [](int, int) { return qRgb(128, 128, 128); });
    const QImage holes = patternPicture(8, 6, true); // its left half transparent
    QTest::newRow("on white, then darker") << holes << with([](DisplayOptions &o) {
        o.background = Qt::white;
        o.tone.brightness = -30;
    }) << drawn({8, 6}, [&](int x, int y) {
        const QRgb c = x < 4 ? 0xffffffff : holes.pixel(x, y);
        return qRgb(std::max(0, qRed(c) - 76), std::max(0, qGreen(c) - 76), std::max(0, qBlue(c) - 76));
    });
    QTest::newRow("turned, fitted, then on a canvas") << wide << with([](DisplayOptions &o) {
        o.rotation = 270;
        o.fit = QSize(10, 10);
        o.canvas = QSize(16, 12);
    }) << onBlack(smooth(turned(wide, 3), QSize(5, 10)), QSize(16, 12), QPoint(6, 1));
}

void TestPreparation::shapesPicturesForTheScreen()
{
    QFETCH(QImage, source);
    QFETCH(DisplayOptions, options);
    QFETCH(QImage, expected);
    if (expected.isNull()) { // a rectangle that leaves the picture
        QVERIFY(geometryProblem(source.size(), options).contains("sort de l'image"));
        return;
    }
    QCOMPARE(geometryProblem(source.size(), options), QString());
    const QImage shaped = preparePicture(source, options).colours.convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shaped, expected);
}

void TestPreparation::shapesTheAlphaWithTheColours_data()
{
    QTest::addColumn<QImage>("source");
    QTest::addColumn<DisplayOptions>("options");
    QTest::addColumn<QImage>("expected"); // the alpha kept, in Format_Grayscale8
    // Each column's alpha 15 times its number from `first`, or 255.
    const auto alphas = [](QSize size, int first) {
        QImage alpha(size, QImage::Format_Grayscale8);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                alpha.scanLine(y)[x] = uchar(first < 0 ? 255 : (first + x) * 15);
        return alpha;
    };
    const auto withAlphas = [&](int width, int height, int first) {
        QImage picture = patternPicture(width, height);
        picture.setAlphaChannel(alphas({width, height}, first));
        return picture;
    };
    // The canvas's margins opaque; the picture's alpha placed with its colours.
    const auto onCanvas = with([](DisplayOptions &o) { o.canvas = QSize(12, 8); });
    QTest::newRow("opaque, on a wider canvas") << withAlphas(7, 5, -1) << onCanvas << alphas({12, 8}, -1);
    QImage placed = alphas({12, 8}, -1);
    for (int y = 0; y < 5; ++y)
        std::copy_n(alphas({7, 5}, 0).constScanLine(y), 7, placed.scanLine(y + 2) + 3);
    QTest::newRow("translucent, on a wider canvas") << withAlphas(7, 5, 0) << onCanvas << placed;
    // Cut with the colours: 17 x 10 covering 10 x 10 is not scaled, and keeps columns 3 to 12.
    QTest::newRow("covering, 7 columns cut")
        << withAlphas(17, 10, 0) << fitIn({10, 10}, FitMode::Cover) << alphas({10, 10}, 3);
}

// The alpha a format keeps goes where the colours go, and the mask of 5-6-5 pixels is made of it.
void TestPreparation::shapesTheAlphaWithTheColours()
{
    QFETCH(QImage, source);
    QFETCH(DisplayOptions, options);
    QFETCH(QImage, expected);
    const PreparedPicture prepared = preparePicture(source, options, true);
    QCOMPARE(prepared.colours.size(), expected.size());
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            QCOMPARE(prepared.alpha.isNull() ? 255 : int(prepared.alpha.constScanLine(y)[x]),
                     int(expected.constScanLine(y)[x]));
    EncodingOptions encoding;
    encoding.header.arrayName = "pic";
    encoding.pixels.alphaMask = true;
    const QByteArray mask
        = arraysOf(findDisplayFormat("rgb565")->encode(prepared, encoding).header)["pic_mask"];
    const int rowBytes = (expected.width() + 7) / 8;
    QCOMPARE(mask.size(), rowBytes * expected.height());
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            QCOMPARE(uchar(mask[y * rowBytes + x / 8]) >> (7 - x % 8) & 1,
                     int(expected.constScanLine(y)[x] >= 128));
}

void TestPreparation::boundsWhatShapingTakes_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<DisplayOptions>("options");
    QTest::addColumn<int>("frames");
    QTest::addColumn<QString>("problem"); // empty: shaped
    const auto canvas = [](QSize size, DisplayOptions options = {}) {
        options.canvas = size;
        return options;
    };
    const auto tooLarge = [](const char *option, const char *size, const char *mebibytes) {
        return QString::fromUtf8(
                   "image trop grande une fois façonnée : avec %1, elle passe par %2 pixels, soit "
                   "%3 Mio, plus que les 256 Mio permis")
            .arg(option, size, mebibytes);
    };
    // 256 MiB at 4 bytes a pixel: 8192 x 8192.
    QTest::newRow("canvas of 256 MiB") << QSize(64, 48) << canvas({8192, 8192}) << 1 << QString();
    QTest::newRow("canvas a row larger")
        << QSize(64, 48) << canvas({8192, 8193}) << 1 << tooLarge("--canvas 8192x8193", "8192 x 8193", "257");
    QTest::newRow("enlarged to 256 MiB")
        << QSize(4, 4) << fitIn({8192, 8192}, FitMode::Contain, Qt::AlignCenter, true) << 1 << QString();
    QTest::newRow("enlarged a column larger")
        << QSize(4, 4) << fitIn({8193, 8193}, FitMode::Contain, Qt::AlignCenter, true) << 1
        << tooLarge("--fit 8193x8193 --upscale", "8193 x 8193", "257");
    // Covering scales the whole picture before cutting it: 1 x 1 covers 8192 x 8192 at 256 MiB,
    // 2 x 1 at 16384 x 8192 first.
    QTest::newRow("covering, 256 MiB")
        << QSize(1, 1) << fitIn({8192, 8192}, FitMode::Cover) << 1 << QString();
    QTest::newRow("covering, 512 MiB before the cut")
        << QSize(2, 1) << fitIn({8192, 8192}, FitMode::Cover) << 1
        << tooLarge("--fit 8192x8192 --fit-mode cover", "16384 x 8192", "512");
    // More pixels than 32 bits count, and more bytes than 64 bits with the frames.
    QTest::newRow("covering, a thin picture")
        << QSize(1, 65535) << fitIn({65535, 65535}, FitMode::Cover) << 1000
        << tooLarge("--fit 65535x65535 --fit-mode cover", "65535 x 4294836225", "1073692673");
    // The largest step tells: the canvas, or the fitting.
    QTest::newRow("enlarged, then on a smaller canvas")
        << QSize(64, 48) << canvas({10, 10}, fitIn({16384, 8193}, FitMode::Stretch)) << 1
        << tooLarge("--fit 16384x8193 --fit-mode stretch", "16384 x 8193", "513");
    // Frames count together: 4 of 4096 x 4096 take 256 MiB.
    QTest::newRow("4 frames of 64 MiB") << QSize(32, 32) << canvas({4096, 4096}) << 4 << QString();
    QTest::newRow("5 frames of 64 MiB")
        << QSize(32, 32) << canvas({4096, 4096}) << 5
        << QString::fromUtf8(
               "animation trop grande une fois façonnée : avec --canvas 4096x4096, ses 5 images "
               "passent chacune par 4096 x 4096 pixels, soit 320 Mio en tout, plus que les 256 Mio "
               "permis (4 images au plus : choisissez-les avec --frames A-B)");
}

// Refused before anything is allocated: only the sizes are worked out.
void TestPreparation::boundsWhatShapingTakes()
{
    QFETCH(QSize, size);
    QFETCH(DisplayOptions, options);
    QFETCH(int, frames);
    QFETCH(QString, problem);
    QCOMPARE(geometryProblem(size, options, frames), problem);
}

// A step that cannot have its memory throws, never gives a null or empty picture. QImage refuses
// rows of 2^31 bits or more without asking the system; its scaling asks for tables of the size
// first, which the system gives (the command line's tests refuse those under a limit).
void TestPreparation::refusesWhatMemoryCannotHold()
{
    const DisplayOptions options = with([](DisplayOptions &o) { o.canvas = QSize(1 << 26, 1); });
    for (const bool keepAlpha : {false, true})
        for (const bool alpha : {false, true})
            QVERIFY_EXCEPTION_THROWN(preparePicture(patternPicture(4, 3, alpha), options, keepAlpha),
                                     std::bad_alloc);
}

void TestPreparation::decodesPhotosAsSmallAsTheirShapeAllows_data()
{
    QTest::addColumn<DisplayOptions>("options");
    QTest::addColumn<QSize>("decoded"); // of a 1600 x 800 JPEG
    // Decoded at the smallest of 1/8, 1/4 and 1/2 that stays at least twice the size it takes,
    // then scaled smoothly.
    QTest::newRow("1/8") << fitIn({100, 50}) << QSize(200, 100);
    QTest::newRow("1/2, since 1/4 is less than twice") << fitIn({250, 125}) << QSize(800, 400);
    QTest::newRow("whole") << fitIn({500, 300}) << QSize(1600, 800);
    // Covering 100 x 100 takes 200 x 100: 1/4 is the smallest scale at least twice as large.
    QTest::newRow("covering") << fitIn({100, 100}, FitMode::Cover) << QSize(400, 200);
    QTest::newRow("stretched") << fitIn({100, 40}, FitMode::Stretch) << QSize(200, 100);
    // Turned, 50 x 100 takes 100 x 50 of the picture as it is stored: 1/8.
    QTest::newRow("turned") << with([](DisplayOptions &o) { o.rotation = 90; }, fitIn({50, 100}))
                            << QSize(200, 100);
    QTest::newRow("cut: decoded whole")
        << with([](DisplayOptions &o) { o.crop = QRect(0, 0, 800, 800); }, fitIn({50, 50}))
        << QSize(1600, 800);
    QTest::newRow("enlarged: decoded whole")
        << fitIn({3200, 3200}, FitMode::Contain, Qt::AlignCenter, true) << QSize(1600, 800);
}

void TestPreparation::decodesPhotosAsSmallAsTheirShapeAllows()
{
    QFETCH(DisplayOptions, options);
    QFETCH(QSize, decoded);
    const QSize full(1600, 800);
    savePicture(patternPicture(full.width(), full.height()), path("photo.jpg"), "JPEG");
    DecodedPicture picture = decodePicture(path("photo.jpg"), options);
    QCOMPARE(picture.status, DecodedPicture::Decoded);
    QCOMPARE(picture.image.size(), decoded);
    QCOMPARE(picture.fullSize, full);
    if (options.fitMode != FitMode::Contain || options.rotation || options.crop.isValid() || options.upscale)
        return;
    // Fitted within, as the same steps through Qt's own reader make it.
    const QImage fitted = reduceTo565(preparePicture(std::move(picture.image), options, false, full).colours,
                                      Dithering::None);
    QImageReader reader(path("photo.jpg"));
    if (decoded != full)
        reader.setScaledSize(decoded);
    const QImage expected = reader.read()
                                .scaled(full.scaled(options.fit, Qt::KeepAspectRatio), Qt::IgnoreAspectRatio,
                                        Qt::SmoothTransformation)
                                .convertToFormat(QImage::Format_RGB16)
                                .convertToFormat(QImage::Format_RGB32);
    QCOMPARE(fitted.convertToFormat(QImage::Format_RGB32), expected);
}

void TestPreparation::fitsEveryFormatToTheSameSize_data()
{
    QTest::addColumn<QSize>("photo");
    QTest::addColumn<QSize>("fit");
    QTest::addColumn<QSize>("fitted");
    // Common photo and display sizes, and sizes that no scale of libjpeg's divides: the JPEG,
    // decoded smaller, is fitted to the size its own size gives, the PNG's.
    const auto row = [](QSize photo, QSize fit, QSize fitted) {
        QTest::addRow("%dx%d in %dx%d", photo.width(), photo.height(), fit.width(), fit.height())
            << photo << fit << fitted;
    };
    row({1080, 1350}, {128, 64}, {51, 64});
    row({1599, 1066}, {320, 240}, {320, 213});
    row({2000, 1333}, {320, 240}, {320, 213});
    row({1333, 1000}, {240, 240}, {240, 180});
    row({800, 533}, {128, 64}, {96, 64});
    row({1366, 768}, {128, 64}, {113, 64});
    row({1599, 1066}, {250, 125}, {187, 125}); // 187.5 wide: cut, as for every format
    row({1366, 769}, {128, 64}, {113, 64});
    row({1023, 767}, {320, 240}, {320, 240});
    row({1921, 1081}, {240, 135}, {239, 135});
    row({1281, 721}, {160, 128}, {160, 90});
    row({1279, 853}, {128, 160}, {128, 85});
    row({853, 1279}, {240, 320}, {213, 320});
    row({2047, 1537}, {250, 122}, {162, 122});
    row({1001, 1001}, {127, 63}, {63, 63});
    row({3001, 2001}, {320, 170}, {254, 170});
    row({641, 481}, {96, 64}, {85, 64});
    row({1919, 1079}, {130, 130}, {130, 73});
    row({719, 1283}, {200, 200}, {112, 200});
    row({2593, 1945}, {480, 320}, {426, 320});
    row({1705, 957}, {84, 48}, {84, 47});
    row({1003, 1499}, {135, 240}, {135, 201});
    row({333, 251}, {500, 300}, {333, 251}); // never enlarged
}

void TestPreparation::fitsEveryFormatToTheSameSize()
{
    QFETCH(QSize, photo);
    QFETCH(QSize, fit);
    QFETCH(QSize, fitted);
    const QImage picture = patternPicture(photo.width(), photo.height());
    for (const char *format : {"JPEG", "PNG"}) {
        const QString file = path(QString("photo.%1").arg(QString(format).toLower()));
        savePicture(picture, file, format);
        DecodedPicture decoded = decodePicture(file, fit);
        QCOMPARE(int(decoded.status), int(DecodedPicture::Decoded));
        QCOMPARE(decoded.fullSize, photo);
        // Decoded smaller where half its size is still twice the fitted one.
        if (qstrcmp(format, "JPEG") == 0 && photo.width() >= 4 * fitted.width()
            && photo.height() >= 4 * fitted.height())
            QVERIFY(decoded.image.width() < photo.width());
        QCOMPARE(preparePicture(std::move(decoded.image), fitIn(fit), false, photo).colours.size(), fitted);
    }
}

void TestPreparation::scalesRowByRowAsQtScales_data()
{
    QTest::addColumn<QSize>("source");
    QTest::addColumn<QSize>("scaled");
    QTest::addColumn<int>("format");
    QTest::addColumn<DisplayOptions>("options");
    // Down, up, and one axis down while the other grows or keeps its size, each way; 1-pixel
    // sides, odd sizes, a band of 150 rows, and no scaling at all.
    const QList<QPair<QSize, QSize>> sizes = {
        {{40, 30}, {7, 5}},   {{7, 5}, {40, 31}},   {{41, 5}, {7, 9}},  {{5, 41}, {9, 7}},
        {{1, 1}, {3, 2}},     {{33, 1}, {1, 1}},    {{1, 17}, {1, 4}},  {{97, 61}, {96, 61}},
        {{63, 64}, {63, 63}}, {{13, 11}, {13, 11}}, {{301, 7}, {2, 7}}, {{3, 451}, {5, 3}},
    };
    const QList<QPair<const char *, DisplayOptions>> shapes = {
        {"", {}},
        {", mirrored left to right", with([](DisplayOptions &o) { o.flipHorizontal = true; })},
        {", mirrored top to bottom", with([](DisplayOptions &o) { o.flipVertical = true; })},
        {", turned 90 degrees", with([](DisplayOptions &o) { o.rotation = 90; })},
        {", turned 180 degrees, mirrored left to right", with([](DisplayOptions &o) {
             o.rotation = 180;
             o.flipHorizontal = true;
         })},
        {", cut, turned 270 degrees, mirrored both ways", with([](DisplayOptions &o) {
             o.crop = QRect(0, 0, 1, 1); // made to fit each size below
             o.rotation = 270;
             o.flipHorizontal = o.flipVertical = true;
         })},
        {", cut, turned 90 degrees, mirrored top to bottom", with([](DisplayOptions &o) {
             o.crop = QRect(0, 0, 1, 1);
             o.rotation = 90;
             o.flipVertical = true;
         })},
    };
    const QList<QPair<const char *, QImage::Format>> formats = {
        {"RGB32", QImage::Format_RGB32},
        {"ARGB32 premultiplied", QImage::Format_ARGB32_Premultiplied},
        {"RGBA64 premultiplied", QImage::Format_RGBA64_Premultiplied},
    };
    for (const auto &[source, scaled] : sizes) {
        for (const auto &[shape, shaping] : shapes) {
            DisplayOptions options = shaping;
            if (options.crop.isValid()) { // a pixel off each side, where there are more than two
                const auto cut = [](int side) { return side > 2 ? 1 : 0; };
                options.crop = QRect(cut(source.width()), cut(source.height()),
                                     source.width() - 2 * cut(source.width()),
                                     source.height() - 2 * cut(source.height()));
            }
            const QSize oriented = orientedSize(source, options);
            const QSize target = options.rotation % 180 ? scaled.transposed() : scaled;
            for (const auto &[name, format] : formats)
                QTest::addRow("%dx%d to %dx%d%s, %s", oriented.width(), oriented.height(), target.width(),
                              target.height(), shape, name)
                    << source << target << int(format) << options;
        }
    }
}

void TestPreparation::scalesRowByRowAsQtScales()
{
    QFETCH(QSize, source);
    QFETCH(QSize, scaled);
    QFETCH(int, format);
    QFETCH(DisplayOptions, options);
    // Every channel of its own, alpha included, at 8 and 16 bits: a weight or a rounding off by one
    // shows.
    QImage picture(source, QImage::Format_RGBA64);
    for (int y = 0; y < source.height(); ++y) {
        auto *line = reinterpret_cast<QRgba64 *>(picture.scanLine(y));
        for (int x = 0; x < source.width(); ++x)
            line[x]
                = qRgba64(quint16(x * 9973 + y * 311), quint16(y * 7919 + x * 13), quint16(x * y * 4099 + 77),
                          quint16((x * 40503 + y * 6007) | (x % 5 == 0 ? 0xff00 : 0)));
    }
    picture = picture.convertToFormat(QImage::Format(format));
    const QImage expected = cutTurnedAndMirrored(picture, options)
                                .scaled(scaled, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);

    StreamingScaler scaler(source, options, scaled, QImage::Format(format));
    QVERIFY(scaler.heldBytes() - expected.sizeInBytes() < 64 * 1024); // never the source
    QVERIFY(scaler.start());
    for (int y = 0; y < source.height(); ++y)
        scaler.addRow(picture.constScanLine(y));
    QCOMPARE(scaler.result().format(), expected.format());
    QCOMPARE(scaler.result(), expected);
}

void TestPreparation::fitsByRowsAsWhole_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<DisplayOptions>("options");
    QTest::addColumn<bool>("keepAlpha");
    QTest::addColumn<bool>("byRows"); // false: its reader leaves it to be decoded whole
    QTest::addColumn<int>("wholeLimit"); // what a picture decoded whole may cost
    // 37 x 23: every sample of its own, red, green and blue apart, some pixels see-through.
    const QSize size(37, 23);
    const auto samples = [](int depth) {
        return [depth](int x, int y, int c) {
            const int top = (1 << depth) - 1;
            return c == 3 || (c == 1 && depth == 8 && x % 3 == 0)
                ? (x * 23 + y * 7) % (top + 1)
                : (x * 5 + y * 3 + c * 11) * (top / 15 + 1) % (top + 1);
        };
    };
    const auto png = [&](int depth, int type, bool interlaced = false, const QByteArray &chunks = {}) {
        return pngOfSamples(size, depth, type, samples(depth), interlaced, chunks);
    };
    const auto be16 = [](int value) { return QByteArray(1, char(value >> 8)) + char(value & 0xff); };
    // 200 colours, fewer than 8-bit indices reach; 16 and 2 for 4 and 1 bit.
    QByteArray palette;
    for (int i = 0; i < 200; ++i)
        palette += QByteArray(1, char(i * 37)) + char(255 - i) + char(i * 11);
    const auto plte = [&](int colours) { return pngChunk("PLTE", palette.left(3 * colours)); };
    const QByteArray alphas = pngChunk("tRNS", QByteArray::fromHex("ff4080"));
    const QList<QPair<const char *, QByteArray>> kinds = {
        {"RGB", png(8, 2)},
        {"RGB, a colour transparent", png(8, 2, false, pngChunk("tRNS", be16(5) + be16(3) + be16(11)))},
        {"RGBA", png(8, 6)},
        {"grey", png(8, 0)},
        {"grey, a level transparent", png(8, 0, false, pngChunk("tRNS", be16(8)))},
        {"grey of 1 bit, white transparent", png(1, 0, false, pngChunk("tRNS", be16(1)))},
        {"grey of 2 bits", png(2, 0)},
        {"grey of 4 bits", png(4, 0)},
        {"grey and alpha", png(8, 4)},
        {"grey of 16 bits", png(16, 0)},
        {"grey of 16 bits, a level transparent", png(16, 0, false, pngChunk("tRNS", be16(2064)))},
        {"grey and alpha of 16 bits", png(16, 4)},
        {"RGB of 16 bits", png(16, 2)},
        {"RGBA of 16 bits", png(16, 6)},
        {"palette of 8 bits, indices beyond it, some alpha", png(8, 3, false, plte(200) + alphas)},
        {"palette of 4 bits", png(4, 3, false, plte(16))},
        {"palette of 1 bit, some alpha",
         png(1, 3, false, plte(2) + pngChunk("tRNS", QByteArray(1, char(0x40))))},
        {"interlaced RGBA", png(8, 6, true)},
        {"interlaced RGB of 16 bits", png(16, 2, true)},
        {"interlaced palette of 4 bits", png(4, 3, true, plte(16) + alphas)},
        {"interlaced grey of 1 bit", png(1, 0, true)},
    };
    // TIFF: every kind Qt's plugin reads as stored and through libtiff's RGBA reader, in strips and
    // tiles (16 x 16 and 32 x 16: some cut at the right and at the bottom), compressed or not,
    // each orientation, the samples of a pixel together or in planes apart.
    constexpr int whiteFirst = 0, blackFirst = 1, indexed = 3, ycbcr = 6;
    constexpr int lzw = 5, deflate = 8, jpeg = 7;
    constexpr int unspecified = 0, associated = 1, unassociated = 2;
    const auto tiff = [&](const std::function<void(TiffLayout &)> &set) {
        TiffLayout layout;
        set(layout);
        const int top = (1 << layout.bits) - 1;
        const int alphaAt = layout.extraSample >= 0 ? layout.samples - 1 : -1;
        return tiffOfSamples(size, layout, [=](int x, int y, int s) {
            if (s == alphaAt) // opaque, transparent and in between
                return x % 5 == 0 ? top : x % 7 == 3 ? 0 : (x * 23 + y * 7) * qMax(1, top / 255) % (top + 1);
            return (x * 5 + y * 3 + s * 11) * (top / 15 + 1) % (top + 1);
        });
    };
    QVector<QRgb> colours;
    for (int i = 0; i < 200; ++i)
        colours << qRgb(i * 37 % 256, 255 - i, i * 11 % 256);
    const QList<QPair<const char *, QByteArray>> tiffs = {
        {"TIFF RGB", tiff([](TiffLayout &) {})},
        {"TIFF RGB, LZW with a predictor, strips of 5 rows", tiff([&](TiffLayout &l) {
             l.compression = lzw;
             l.predictor = 2;
             l.rowsPerStrip = 5;
         })},
        {"TIFF RGB, Deflate, tiles of 32 x 16", tiff([&](TiffLayout &l) {
             l.compression = deflate;
             l.tile = QSize(32, 16);
         })},
        {"TIFF RGB, planes apart, tiles of 32 x 32", tiff([](TiffLayout &l) {
             l.planesApart = true;
             l.tile = QSize(32, 32);
         })},
        {"TIFF YCbCr, JPEG, strips of 16 rows", tiff([&](TiffLayout &l) {
             l.photometric = ycbcr;
             l.compression = jpeg;
             l.rowsPerStrip = 16;
         })},
        {"TIFF RGBA, associated alpha", tiff([&](TiffLayout &l) {
             l.samples = 4;
             l.extraSample = associated;
         })},
        {"TIFF RGBA, unassociated alpha, LZW", tiff([&](TiffLayout &l) {
             l.samples = 4;
             l.extraSample = unassociated;
             l.compression = lzw;
         })},
        {"TIFF RGBA, the alpha unspecified, tiles of 16 x 16", tiff([&](TiffLayout &l) {
             l.samples = 4;
             l.extraSample = unspecified;
             l.tile = QSize(16, 16);
         })},
        {"TIFF RGBA, planes apart, strips of 4 rows", tiff([&](TiffLayout &l) {
             l.samples = 4;
             l.extraSample = unassociated;
             l.planesApart = true;
             l.rowsPerStrip = 4;
         })},
        {"TIFF RGB of 16 bits", tiff([](TiffLayout &l) { l.bits = 16; })},
        {"TIFF RGB of 16 bits, big-endian, tiles of 32 x 16", tiff([](TiffLayout &l) {
             l.bits = 16;
             l.bigEndian = true;
             l.tile = QSize(32, 16);
         })},
        {"TIFF RGBA of 16 bits, unassociated alpha, Deflate", tiff([&](TiffLayout &l) {
             l.bits = 16;
             l.samples = 4;
             l.extraSample = unassociated;
             l.compression = deflate;
         })},
        {"TIFF RGBA of 16 bits, associated alpha, tiles of 16 x 16", tiff([&](TiffLayout &l) {
             l.bits = 16;
             l.samples = 4;
             l.extraSample = associated;
             l.tile = QSize(16, 16);
         })},
        {"TIFF RGB of 16 bits in planes apart", tiff([](TiffLayout &l) {
             l.bits = 16;
             l.planesApart = true;
         })},
        {"TIFF grey", tiff([&](TiffLayout &l) {
             l.samples = 1;
             l.photometric = blackFirst;
         })},
        {"TIFF grey, white first, LZW", tiff([&](TiffLayout &l) {
             l.samples = 1;
             l.photometric = whiteFirst;
             l.compression = lzw;
         })},
        {"TIFF grey, tiles of 16 x 16", tiff([&](TiffLayout &l) {
             l.samples = 1;
             l.photometric = blackFirst;
             l.tile = QSize(16, 16);
         })},
        {"TIFF grey of 16 bits, big-endian, Deflate", tiff([&](TiffLayout &l) {
             l.bits = 16;
             l.samples = 1;
             l.photometric = blackFirst;
             l.bigEndian = true;
             l.compression = deflate;
         })},
        {"TIFF grey of 4 bits", tiff([&](TiffLayout &l) {
             l.bits = 4;
             l.samples = 1;
             l.photometric = blackFirst;
         })},
        {"TIFF grey of 2 bits, white first, Deflate, tiles of 16 x 16", tiff([&](TiffLayout &l) {
             l.bits = 2;
             l.samples = 1;
             l.photometric = whiteFirst;
             l.compression = deflate;
             l.tile = QSize(16, 16);
         })},
        {"TIFF grey and alpha", tiff([&](TiffLayout &l) {
             l.samples = 2;
             l.photometric = blackFirst;
             l.extraSample = unassociated;
         })},
        {"TIFF palette of 8 bits, indices beyond it", tiff([&](TiffLayout &l) {
             l.samples = 1;
             l.photometric = indexed;
             l.palette = colours;
         })},
        {"TIFF palette of 4 bits, LZW, tiles of 16 x 16", tiff([&](TiffLayout &l) {
             l.bits = 4;
             l.samples = 1;
             l.photometric = indexed;
             l.palette = colours.mid(0, 16);
             l.compression = lzw;
             l.tile = QSize(16, 16);
         })},
        {"TIFF grey of 1 bit", tiff([&](TiffLayout &l) {
             l.bits = 1;
             l.samples = 1;
             l.photometric = blackFirst;
         })},
        {"TIFF grey of 1 bit, white first, tiles of 16 x 16", tiff([&](TiffLayout &l) {
             l.bits = 1;
             l.samples = 1;
             l.photometric = whiteFirst;
             l.tile = QSize(16, 16);
         })},
        // Each orientation (2 to 8), on kinds read as stored and through the RGBA reader.
        {"TIFF grey of 1 bit, mirrored by its file", tiff([&](TiffLayout &l) {
             l.bits = 1;
             l.samples = 1;
             l.photometric = blackFirst;
             l.orientation = 2;
         })},
        {"TIFF palette of 8 bits, turned 180 degrees by its file", tiff([&](TiffLayout &l) {
             l.samples = 1;
             l.photometric = indexed;
             l.palette = colours;
             l.orientation = 3;
         })},
        {"TIFF RGB, flipped by its file, strips of 5 rows", tiff([&](TiffLayout &l) {
             l.orientation = 4;
             l.rowsPerStrip = 5;
         })},
        {"TIFF RGBA, associated alpha, turned and flipped by its file, tiles of 16 x 16",
         tiff([&](TiffLayout &l) {
             l.samples = 4;
             l.extraSample = associated;
             l.orientation = 5;
             l.tile = QSize(16, 16);
         })},
        {"TIFF grey, turned 90 degrees by its file", tiff([&](TiffLayout &l) {
             l.samples = 1;
             l.photometric = blackFirst;
             l.orientation = 6;
         })},
        {"TIFF RGB of 16 bits, turned and mirrored by its file, tiles of 16 x 16", tiff([&](TiffLayout &l) {
             l.bits = 16;
             l.orientation = 7;
             l.tile = QSize(16, 16);
         })},
        {"TIFF RGBA of 16 bits, unassociated alpha, turned 270 degrees by its file", tiff([&](TiffLayout &l) {
             l.bits = 16;
             l.samples = 4;
             l.extraSample = unassociated;
             l.orientation = 8;
         })},
    };
    const DisplayOptions contain = fitIn({16, 16});
    // Scaled down and up, each axis alone, cut, turned and mirrored, on a background or a canvas.
    const QList<QPair<const char *, DisplayOptions>> fits = {
        {"kept", {}},
        {"contained in 16 x 16", contain},
        {"covering 16 x 16, north-east", fitIn({16, 16}, FitMode::Cover, Qt::AlignTop | Qt::AlignRight)},
        {"stretched to 50 x 9", fitIn({50, 9}, FitMode::Stretch)},
        {"stretched to 9 x 23", fitIn({9, 23}, FitMode::Stretch)},
        {"contained in 80 x 80, never enlarged", fitIn({80, 80})},
        {"contained in 80 x 80, enlarged", fitIn({80, 80}, FitMode::Contain, Qt::AlignCenter, true)},
        {"covering 80 x 30, enlarged", fitIn({80, 30}, FitMode::Cover, Qt::AlignBottom, true)},
        // The rectangle lies within the pictures that their file turns too (23 x 37).
        {"cut, turned 90 degrees, mirrored top to bottom, in 9 x 9",
         with(
             [](DisplayOptions &o) {
                 o.crop = QRect(3, 2, 19, 17);
                 o.rotation = 90;
                 o.flipVertical = true;
             },
             fitIn({9, 9}))},
        {"turned 270 degrees, mirrored left to right, stretched to 7 x 40",
         with(
             [](DisplayOptions &o) {
                 o.rotation = 270;
                 o.flipHorizontal = true;
             },
             fitIn({7, 40}, FitMode::Stretch))},
        {"turned 180 degrees, covering 20 x 8",
         with([](DisplayOptions &o) { o.rotation = 180; }, fitIn({20, 8}, FitMode::Cover))},
        {"on a background", with([](DisplayOptions &o) { o.background = QColor(32, 64, 128); }, contain)},
        {"on a canvas", with([](DisplayOptions &o) { o.canvas = QSize(20, 21); }, contain)},
    };
    for (const auto &[kind, file] : kinds + tiffs) {
        const QByteArray name(kind);
        const bool every = name.startsWith("TIFF")
            ? name.contains("turned and flipped") || name.contains("turned 90")
            : name.contains("RGBA") || name.startsWith("palette of 8");
        // Qt's plugin reads the first plane only: not read by rows.
        const bool byRows = !name.contains("in planes apart");
        for (const auto &[fit, options] : fits) {
            // Every kind is kept, contained, and cut, turned and mirrored; one left whole, contained.
            if (!every && fit != fits[0].first && fit != fits[1].first && !QByteArray(fit).startsWith("cut"))
                continue;
            if (!byRows && fit != fits[1].first)
                continue;
            for (const bool keepAlpha : {false, true})
                QTest::addRow("%s, %s%s", kind, fit, keepAlpha ? ", alpha kept" : "")
                    << file << options << keepAlpha << byRows << 0;
        }
    }
    // 37 x 23 pixels of 4 bytes: 3404 bytes decoded whole.
    QTest::newRow("RGB, contained in 16 x 16, costing what a picture decoded whole may")
        << kinds[0].second << contain << false << false << 3404;
    QTest::newRow("RGB, contained in 16 x 16, costing a byte more than a picture decoded whole may")
        << kinds[0].second << contain << false << true << 3403;
}

void TestPreparation::fitsByRowsAsWhole()
{
    QFETCH(QByteArray, file);
    QFETCH(DisplayOptions, options);
    QFETCH(bool, keepAlpha);
    QFETCH(bool, byRows);
    QFETCH(int, wholeLimit);
    const bool tiff = file.startsWith("II") || file.startsWith("MM");
    if (tiff && !QImageReader::supportedImageFormats().contains("tiff"))
        QSKIP("no reader of TIFF (Debian package qt5-image-formats-plugins)");
    const QString picture = path(tiff ? "rows.tif" : "rows.png");
    writeFile(picture, file);
    if (QByteArray(QTest::currentDataTag())
            .startsWith("palette of 8 bits, indices beyond")) // Qt's reader says so, then takes 0
        QTest::ignoreMessage(QtWarningMsg, "libpng warning: IDAT: Read palette index exceeding num_palette");
    DecodedPicture whole = decodePicture(picture, options);
    QCOMPARE(int(whole.status), int(DecodedPicture::Decoded));
    QVERIFY(!whole.fitted);
    const PreparedPicture expected = preparePicture(whole.image, options, keepAlpha, whole.fullSize);

    // Decoded by rows, an interlaced picture in bands of 5 rows: the same colours and alpha.
    RowFitting rows;
    rows.allowed = true;
    rows.keepAlpha = keepAlpha;
    rows.wholeLimit = wholeLimit;
    rows.bandRows = 5;
    const DecodedPicture fitted = decodePicture(picture, options, nullptr, rows);
    QCOMPARE(int(fitted.status), int(DecodedPicture::Decoded));
    QCOMPARE(fitted.fitted, byRows);
    if (!byRows) {
        QCOMPARE(fitted.image, whole.image);
        return;
    }
    QCOMPARE(fitted.fullSize, whole.image.size());
    const PreparedPicture prepared = preparePicture(fitted.image, optionsAfterFitting(options), keepAlpha);
    QCOMPARE(prepared.colours, expected.colours);
    QCOMPARE(prepared.alpha, expected.alpha);
    QCOMPARE(prepared.straight, expected.straight);
}

void TestPreparation::dithersAGreyRampFaithfully_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<int>("rows");
    QTest::addColumn<double>("mostDithered"); // the mean error at most, in levels
    QTest::addColumn<double>("leastCut"); // and at least without dithering
    // Cut to 5 bits, red and blue fall into bands of 8 levels.
    QTest::newRow("5-6-5") << QByteArray("rgb565") << 32 << 1.0 << 2.0;
    // In black and white a column of 0 and 1 can only average in steps of a row's share: a tall
    // ramp, within 2 % of the scale, where a threshold leaves a quarter of it.
    QTest::newRow("black and white") << QByteArray("mono") << 256 << 0.02 * 255 << 0.2 * 255;
    QTest::newRow("16 greys") << QByteArray("gray4") << 64 << 1.5 << 3.0;
    QTest::newRow("4 greys") << QByteArray("gray2") << 64 << 3.0 << 15.0;
}

void TestPreparation::dithersAGreyRampFaithfully()
{
    QFETCH(QByteArray, format);
    QFETCH(int, rows);
    QFETCH(double, mostDithered);
    QFETCH(double, leastCut);
    // A grey ramp, one level a column.
    const QImage ramp = drawn({256, rows}, [](int x, int) { return qRgb(x, x, x); });

    // What the display shows, and the bytes that make it.
    const auto converted = [&](bool dither, QByteArray *bytes) {
        EncodingOptions options;
        options.display.dither = dither ? Dithering::FloydSteinberg : Dithering::None;
        const EncodedPicture encoded = encodedFor(ramp, format, options);
        *bytes = arraysOf(encoded.header).value("logo");
        return encoded.shownPicture();
    };
    // How far each column's average, as the display shows it, lies from the source's level.
    const auto columnError = [&](const QImage &shown) {
        double error = 0;
        for (int x = 0; x < 256; ++x) {
            for (int shift : {16, 8, 0}) { // red, green, blue
                double sum = 0;
                for (int y = 0; y < rows; ++y)
                    sum += shown.pixel(x, y) >> shift & 0xff;
                error += qAbs(sum / rows - x);
            }
        }
        return error / (256 * 3);
    };
    QByteArray bytes, again;
    const double cut = columnError(converted(false, &bytes));
    const double dithered = columnError(converted(true, &bytes));
    const QString measured = QString("%1 levels cut, %2 dithered").arg(cut).arg(dithered);
    QVERIFY2(dithered <= mostDithered && cut >= leastCut, qPrintable(measured));
    converted(true, &again);
    QVERIFY(!bytes.isEmpty());
    QCOMPARE(again, bytes); // the same on every run
}

void TestPreparation::dithersWithFloydSteinbergWeights_data()
{
    // 7 x 4 greys, (37 x + 61 y + 20) mod 256. Worked out with Floyd and Steinberg's weights (7/16
    // ahead, 3/16 behind below, 5/16 below, 1/16 ahead below), rows in turn left to right and
    // right to left, each pixel taking what it is owed rounded to the nearest level.
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("array");
    QTest::newRow("black and white") << "mono" << QByteArray::fromHex("1e68b2ca");
    QTest::newRow("16 greys") << "gray4" << QByteArray::fromHex("1368ace0579bd1308bdf2460ce1358a0");
    QTest::newRow("4 greys") << "gray2" << QByteArray::fromHex("16ac5ac4ab14b168");
    // 5-6-5, the picture's own memory written over: red and blue to 32 levels, green to 64.
    QTest::newRow("5-6-5") << "rgb565"
                           << QByteArray::fromHex(
                                  "a210c739ec62108454a559ce9def8a52ae73f39cf7bd3ce741088631718c96b5bad6ffff"
                                  "0421494a6d6b59ce9defa318c7390b5b108455ad");
    // 3-3-2 blue first, of a picture whose red, green and blue differ (see below): red to 4 levels.
    QTest::newRow("3-3-2, blue first")
        << "rgb332 bgr" << QByteArray::fromHex("a0cdd5e6ee1a27254d5a467378698692beabb0ddc9ea17002935464e");
}

void TestPreparation::dithersWithFloydSteinbergWeights()
{
    QFETCH(QString, format);
    QFETCH(QByteArray, array);
    const QImage greys = drawn(
        {7, 4}, [](int x, int y) { return qRgb(0, 0, 0) | 0x10101u * ((x * 37 + y * 61 + 20) % 256); });
    // Red as the greys, green (91 x + 23 y + 7) mod 256, blue (13 x + 101 y + 200) mod 256.
    const QImage colours = drawn({7, 4}, [](int x, int y) {
        return qRgb((x * 37 + y * 61 + 20) % 256, (x * 91 + y * 23 + 7) % 256,
                    (x * 13 + y * 101 + 200) % 256);
    });
    EncodingOptions options;
    options.display.dither = Dithering::FloydSteinberg;
    options.pixels.bgr = format.endsWith(" bgr");
    QCOMPARE(arraysOf(encodedFor(options.pixels.bgr ? colours : greys, format.section(' ', 0, 0).toLatin1(),
                                 options)
                          .header)
                 .value("logo"),
             array);
}

namespace {

// A display's levels for the reference below: a pixel's values (red, green and blue, or its
// luminance), the colour shown for values, how far Bayer's matrix moves each value up and down.
struct ReferenceLevels
{
    int channels;
    std::function<QRgb(const int *values)> nearest;
    double up[3], down[3];
};

// index4's palette in the rows below: black, white, red, green, blue, a grey and an orange. Its
// colours show red 0, 132 and 255, green 0, 130, 166 and 255, blue 0, 132 and 255.
const QVector<quint16> sevenEntries = {0x0000, 0xffff, 0xf800, 0x07e0, 0x001f, 0x8410, 0xfd20};

ReferenceLevels referenceLevels(const QByteArray &format, int threshold)
{
    // The nearest of `levels` levels spread evenly from 0 to 255 (there is never a tie).
    const auto level = [](int value, int levels) { return int(std::lround(value * (levels - 1) / 255.0)); };
    // The nearest of `colours` by `distance`, the first of a tie.
    const auto nearestOf = [](QVector<QRgb> colours, std::function<int(const int *, QRgb)> distance) {
        return [=](const int *v) {
            return *std::min_element(colours.begin(), colours.end(),
                                     [&](QRgb a, QRgb b) { return distance(v, a) < distance(v, b); });
        };
    };
    const double five = 255 / 62.0, six = 255 / 126.0; // half the steps of 5 and 6 bits
    if (format == "rgb565")
        return {3,
                [=](const int *v) {
                    return shown(quint16(level(v[0], 32) << 11 | level(v[1], 64) << 5 | level(v[2], 32)));
                },
                {five, six, five},
                {five, six, five}};
    if (format.startsWith("rgb3") || format.startsWith("rgb4") || format.startsWith("rgb6")) {
        // Each channel's nearest of its levels, the level shown with its bits repeated to fill 8
        // (3 bits: abc as abcabcab); rgb332 gives the channel first, red or blue, 3 bits, the last 2.
        const bool bgr = format.endsWith(" bgr");
        const int first = format[3] - '0', last = format.startsWith("rgb332") ? 2 : format[5] - '0';
        const int bits[3] = {bgr ? last : first, format[4] - '0', bgr ? first : last};
        ReferenceLevels reference {3,
                                   [=](const int *v) {
                                       int shown[3];
                                       for (int c = 0; c < 3; ++c) {
                                           const int k = level(v[c], 1 << bits[c]);
                                           int repeated = 0, filled = 0;
                                           for (; filled < 8; filled += bits[c])
                                               repeated = repeated << bits[c] | k;
                                           shown[c] = repeated >> (filled - 8);
                                       }
                                       return qRgb(shown[0], shown[1], shown[2]);
                                   },
                                   {},
                                   {}};
        for (int c = 0; c < 3; ++c) // half a step between two levels
            reference.up[c] = reference.down[c] = 255.0 / ((1 << bits[c]) - 1) / 2;
        return reference;
    }
    if (format == "gray2")
        return {1, [=](const int *v) { return qRgb(85, 85, 85) * uint(level(v[0], 4)); }, {42.5}, {42.5}};
    if (format == "mono") // lit at the threshold and above: the matrix reaches it from 0 and from 255
        return {1,
                [=](const int *v) { return v[0] >= threshold ? white : black; },
                {double(threshold)},
                {255.0 - threshold}};
    if (format == "index4") { // the entry nearest to the colour cut to 5-6-5, both as shown
        QVector<QRgb> entries;
        for (const quint16 entry : sevenEntries)
            entries << shown(entry);
        return {3,
                nearestOf(entries,
                          [](const int *v, QRgb c) {
                              const QRgb w = shown(rgb565(qRgb(v[0], v[1], v[2])));
                              const int dr = qRed(c) - qRed(w), dg = qGreen(c) - qGreen(w),
                                        db = qBlue(c) - qBlue(w);
                              return dr * dr + dg * dg + db * db;
                          }),
                {66, 65, 66},
                {66, 65, 66}};
    }
    // The e-paper panels: the nearest of the colours the panel shows by the "redmean" distance;
    // Bayer's reach in each channel, half the widest gap between the values the colours give it.
    QVector<QRgb> panel = {white, black, red};
    if (format == "epd-bwry")
        panel = bwryColours;
    if (format == "epd-spectra6")
        panel = spectra6Colours.mid(0, 4) + spectra6Colours.mid(5); // no code 4
    ReferenceLevels reference {3,
                               nearestOf(panel,
                                         [](const int *v, QRgb c) {
                                             const int mean = (v[0] + qRed(c)) / 2, dr = v[0] - qRed(c),
                                                       dg = v[1] - qGreen(c), db = v[2] - qBlue(c);
                                             return ((512 + mean) * dr * dr >> 8) + 4 * dg * dg
                                                 + ((767 - mean) * db * db >> 8);
                                         }),
                               {},
                               {}};
    for (int c = 0; c < 3; ++c) {
        QVector<int> values;
        for (const QRgb colour : panel)
            values << (c == 0 ? qRed(colour) : c == 1 ? qGreen(colour) : qBlue(colour));
        std::sort(values.begin(), values.end());
        int widest = 0;
        for (int i = 1; i < values.size(); ++i)
            widest = std::max(widest, values[i] - values[i - 1]);
        reference.up[c] = reference.down[c] = widest / 2.0;
    }
    return reference;
}

// What a display shows of `picture` dithered by `method`, from each method's definition:
// - Floyd-Steinberg: 7/16 of a pixel's error to the next pixel of its row, 3/16, 5/16 and 1/16 to
//   the three below it; Atkinson: 1/8 to the next two, the three below and the one two rows down.
//   Rows in turn left to right and right to left; a pixel takes what it is owed rounded, halves
//   away from 0, within 64 of 0 to 255, and the colour nearest to that clamped to 0 to 255.
// - Bayer: each value moved by its cell of the 8 x 8 matrix, whose cell of order m adds
//   (63 - 2m)/64 of the reach up (m < 32) or down, cut towards 0; then the nearest colour.
QImage referenceDithering(const QImage &picture, Dithering method, const ReferenceLevels &levels)
{
    // Bayer's matrix as Bayer gave it (1973), the order in which its cells light.
    static const int matrix[8][8] = {{0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
                                     {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
                                     {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
                                     {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};
    using Share = std::tuple<int, int, double>; // columns ahead, rows below, part of the error
    const QVector<Share> shares = method == Dithering::Atkinson
        ? QVector<Share> {{1, 0, 1 / 8.0}, {2, 0, 1 / 8.0}, {-1, 1, 1 / 8.0},
                          {0, 1, 1 / 8.0}, {1, 1, 1 / 8.0}, {0, 2, 1 / 8.0}}
        : QVector<Share> {{1, 0, 7 / 16.0}, {-1, 1, 3 / 16.0}, {0, 1, 5 / 16.0}, {1, 1, 1 / 16.0}};
    const int w = picture.width(), h = picture.height(), n = levels.channels;
    std::vector<double> owed(size_t(w * h * n), 0.0);
    QImage shownPicture(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        const int direction = y % 2 == 0 ? 1 : -1;
        for (int i = 0; i < w; ++i) {
            const int x = direction > 0 ? i : w - 1 - i, m = matrix[y % 8][x % 8];
            const QRgb pixel = picture.pixel(x, y);
            const int own[3] = {n == 1 ? luma(pixel) : qRed(pixel), qGreen(pixel), qBlue(pixel)};
            int values[3], clamped[3];
            for (int c = 0; c < n; ++c) {
                values[c] = method == Dithering::Bayer
                    ? std::clamp(
                        own[c]
                            + int(std::trunc((63 - 2 * m) / 64.0 * (m < 32 ? levels.up[c] : levels.down[c]))),
                        0, 255)
                    : std::clamp(own[c] + int(std::round(owed[size_t((y * w + x) * n + c)])), -64, 319);
                clamped[c] = std::clamp(values[c], 0, 255);
            }
            const QRgb colour = levels.nearest(clamped);
            shownPicture.setPixel(x, y, colour);
            const int shownValues[3] = {qRed(colour), qGreen(colour), qBlue(colour)};
            for (const auto &[ahead, below, part] : shares) {
                const int tx = x + ahead * direction, ty = y + below;
                for (int c = 0; c < n && method != Dithering::Bayer && tx >= 0 && tx < w && ty < h; ++c)
                    owed[size_t((ty * w + tx) * n + c)] += (values[c] - shownValues[c]) * part;
            }
        }
    }
    return shownPicture;
}

} // namespace

void TestPreparation::dithersAsEachMethodIsDefined_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<Dithering>("method");
    QTest::addColumn<int>("threshold");
    // 5-6-5's Floyd-Steinberg, written apart for speed, has its rows above.
    const QVector<QPair<const char *, Dithering>> methods = {{"Floyd-Steinberg", Dithering::FloydSteinberg},
                                                             {"Atkinson", Dithering::Atkinson},
                                                             {"Bayer", Dithering::Bayer}};
    for (const auto &[name, method] : methods) {
        if (method != Dithering::FloydSteinberg)
            QTest::addRow("5-6-5, %s", name) << QByteArray("rgb565") << method << 128;
        QTest::addRow("black and white, threshold 100, %s", name) << QByteArray("mono") << method << 100;
        QTest::addRow("4 greys, %s", name) << QByteArray("gray2") << method << 128;
        QTest::addRow("16 colours, seven given, %s", name) << QByteArray("index4") << method << 128;
        QTest::addRow("black, white and red, %s", name) << QByteArray("epd-bw-red") << method << 128;
        QTest::addRow("four inks, %s", name) << QByteArray("epd-bwry") << method << 128;
        QTest::addRow("3-3-2, %s", name) << QByteArray("rgb332") << method << 128;
        QTest::addRow("3-3-2, blue first, %s", name) << QByteArray("rgb332 bgr") << method << 128;
        QTest::addRow("4-4-4, %s", name) << QByteArray("rgb444") << method << 128;
        QTest::addRow("6-6-6, blue first, %s", name) << QByteArray("rgb666 bgr") << method << 128;
        QTest::addRow("Spectra 6, %s", name) << QByteArray("epd-spectra6") << method << 128;
    }
    // Bayer's reach from each end to the threshold: black stays black, white white.
    QTest::newRow("black and white, threshold 1, Bayer") << QByteArray("mono") << Dithering::Bayer << 1;
    QTest::newRow("black and white, threshold 255, Bayer") << QByteArray("mono") << Dithering::Bayer << 255;
}

// Over 19 x 10 pixels: an odd width, more than a matrix's 8 either way; red, green and blue apart,
// wrapping round in steps that leave errors of every size. With Bayer's matrix, a second frame
// that differs in its top left corner alone is shown alike everywhere else, where an error
// diffused would carry the change along the rows and make an animation crawl.
void TestPreparation::dithersAsEachMethodIsDefined()
{
    QFETCH(QByteArray, format);
    QFETCH(Dithering, method);
    QFETCH(int, threshold);
    QImage picture = drawn({19, 10}, [](int x, int y) {
        return qRgb((x * 13 + y * 29 + 40) % 256, (x * 31 + y * 7 + 90) % 256, (x * 5 + y * 47 + 150) % 256);
    });
    picture.setPixel(0, 0, black);
    picture.setPixel(18, 9, white);
    EncodingOptions options;
    options.display.dither = method;
    options.pixels.threshold = threshold;
    options.pixels.palette = format == "index4" ? sevenEntries : QVector<quint16>();
    options.pixels.bgr = format.endsWith(" bgr");
    const QByteArray encoder = format.split(' ').first();
    const QImage first = encodedFor(picture, encoder, options).shownPicture();
    const ReferenceLevels levels = referenceLevels(format, threshold);
    QCOMPARE(first, referenceDithering(picture, method, levels));
    // Black and white, at the start and the end, shown as the display's own black and white.
    const int blackValues[3] = {0, 0, 0}, whiteValues[3] = {255, 255, 255};
    QCOMPARE(first.pixel(0, 0), levels.nearest(blackValues) | 0xff000000u);
    QCOMPARE(first.pixel(18, 9), levels.nearest(whiteValues) | 0xff000000u);
    if (method != Dithering::Bayer)
        return;
    const QRect corner(0, 0, 4, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            picture.setPixel(x, y, ~picture.pixel(x, y) | 0xff000000); // the negative
    const QImage second = encodedFor(picture, encoder, options).shownPicture();
    QVERIFY(first.copy(corner) != second.copy(corner));
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            QVERIFY(corner.contains(x, y) || first.pixel(x, y) == second.pixel(x, y));
}

void TestPreparation::movesEachCellOfBayersMatrix_data()
{
    QTest::addColumn<double>("up");
    QTest::addColumn<double>("down");
    QTest::addColumn<int>("order"); // the cell's, 0 to 63
    QTest::addColumn<int>("offset");
    // The cell of order m adds (63 - 2m)/64 of the reach up (m < 32) or down, cut towards 0: the
    // reaches far apart, as a threshold far from the middle makes them, on each side of the middle.
    QTest::newRow("order 0, the most up") << 100.0 << 0.0 << 0 << 98;
    QTest::newRow("order 31, the last up") << 64.0 << 254.0 << 31 << 1;
    QTest::newRow("order 32, the first down") << 254.0 << 64.0 << 32 << -1;
    QTest::newRow("order 63, the most down") << 0.0 << 100.0 << 63 << -98;
}

void TestPreparation::movesEachCellOfBayersMatrix()
{
    QFETCH(double, up);
    QFETCH(double, down);
    QFETCH(int, order);
    QFETCH(int, offset);
    QCOMPARE(bayerOffsets({up, down})[size_t(order)], offset);
}

void TestPreparation::changesTheToneAsImageMagickDoes_data()
{
    QTest::addColumn<int>("brightness");
    QTest::addColumn<int>("contrast");
    QTest::addColumn<double>("gamma");
    QTest::addColumn<QVector<int>>("levels"); // what 0, 1, 64, 100, 127, 128, 179, 200, 254 and 255 become
    // Worked out from -brightness-contrast's line, s (v - (1 - b)/2) + (1 + b)/2 with s = tan(pi
    // (C/100 + 1) / 4), then v^(1/G), and rounded, halves up.
    // A brightness of 30 adds 76.5 to every level: 0 gives 77.
    QTest::newRow("brightness 30") << 30 << 0 << 1.0
                                   << QVector<int> {77, 78, 141, 177, 204, 205, 255, 255, 255, 255};
    QTest::newRow("brightness 100, white") << 100 << 0 << 1.0 << QVector<int>(10, 255);
    QTest::newRow("brightness -100, black") << -100 << 0 << 1.0 << QVector<int>(10, 0);
    // Contrast turns the line about the middle, 127.5.
    QTest::newRow("contrast 40") << 0 << 40 << 1.0
                                 << QVector<int> {0, 0, 3, 74, 127, 128, 229, 255, 255, 255};
    QTest::newRow("contrast 100, split at the middle")
        << 0 << 100 << 1.0 << QVector<int> {0, 0, 0, 0, 0, 255, 255, 255, 255, 255};
    QTest::newRow("contrast -100, flat") << 0 << -100 << 1.0 << QVector<int>(10, 128);
    QTest::newRow("gamma 0.1") << 0 << 0 << 0.1 << QVector<int> {0, 0, 0, 0, 0, 0, 7, 22, 245, 255};
    QTest::newRow("gamma 10") << 0 << 0 << 10.0
                              << QVector<int> {0, 147, 222, 232, 238, 238, 246, 249, 255, 255};
    // Brightness and contrast first, then gamma: the other way, 64 would give 145.
    QTest::newRow("all three") << 10 << 20 << 1.8
                               << QVector<int> {0, 0, 125, 168, 195, 196, 240, 255, 255, 255};
}

void TestPreparation::changesTheToneAsImageMagickDoes()
{
    QFETCH(int, brightness);
    QFETCH(int, contrast);
    QFETCH(double, gamma);
    QFETCH(QVector<int>, levels);
    const QVector<int> sources {0, 1, 64, 100, 127, 128, 179, 200, 254, 255};
    DisplayOptions options;
    options.tone = {brightness, contrast, gamma};
    // Each of red, green and blue through the curve, in a picture of 10 x 3.
    const QImage picture = drawn({10, 3}, [&](int x, int y) {
        return qRgb(sources[x], sources[(x + y + 3) % 10], sources[(x + 2 * y + 7) % 10]);
    });
    const QImage expected = drawn({10, 3}, [&](int x, int y) {
        return qRgb(levels[x], levels[(x + y + 3) % 10], levels[(x + 2 * y + 7) % 10]);
    });
    QCOMPARE(preparePicture(picture, options).colours.convertToFormat(QImage::Format_RGB32), expected);
}

namespace {

// 30 x 20: a red rectangle, a green disc and a blue line one pixel high across its row 15, on
// transparency.
const QByteArray shapesSvg
    = R"(<svg xmlns="http://www.w3.org/2000/svg" width="30" height="20" viewBox="0 0 30 20">
<rect x="2" y="2" width="10" height="8" fill="#f02010"/><circle cx="20" cy="9" r="6" fill="#10c030"/>
<rect x="0" y="15" width="30" height="1" fill="#2040f0"/></svg>)";

// The SVG drawn by Qt SVG over transparency at `size`, the part `viewBox` of it (all of it when
// null), turned `quarterTurns` clockwise.
QImage svgDrawn(QSize size, QRectF viewBox = QRectF(), int quarterTurns = 0)
{
    QSvgRenderer renderer(shapesSvg);
    if (!viewBox.isNull())
        renderer.setViewBox(viewBox);
    QImage picture(quarterTurns % 2 ? size.transposed() : size, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    renderer.render(&painter);
    painter.end();
    picture = picture.convertToFormat(QImage::Format_ARGB32);
    return quarterTurns ? picture.transformed(QTransform().rotate(90 * quarterTurns)) : picture;
}

} // namespace

void TestPreparation::drawsSvgAtTheSizeItIsUsed_data()
{
    QTest::addColumn<DisplayOptions>("options");
    QTest::addColumn<bool>("takesFitted"); // the caller takes a picture already fitted
    QTest::addColumn<QImage>("expected");

    QTest::newRow("at its own size") << DisplayOptions() << true << svgDrawn(QSize(30, 20));
    QTest::newRow("fitted within 61 x 45, enlarged")
        << fitIn(QSize(61, 45)) << true << svgDrawn(QSize(61, 40));
    QTest::newRow("fitted 8 times larger") << fitIn(QSize(240, 161)) << true << svgDrawn(QSize(240, 160));
    QTest::newRow("stretched to 17 x 9")
        << fitIn(QSize(17, 9), FitMode::Stretch) << true << svgDrawn(QSize(17, 9));
    // Sizes rounded down, as every picture's are: 30 x 20 within 61 x 45 is 61 x 40 (40.7); covering
    // 45 x 45, 67 x 45 (67.5), cut at the middle: 33 - 22 = 11.
    QTest::newRow("covering 45 x 45")
        << fitIn(QSize(45, 45), FitMode::Cover) << true << svgDrawn(QSize(67, 45)).copy(11, 0, 45, 45);
    QTest::newRow("covering 45 x 45 from the left") << fitIn(QSize(45, 45), FitMode::Cover, Qt::AlignLeft)
                                                    << true << svgDrawn(QSize(67, 45)).copy(0, 0, 45, 45);
    QTest::newRow("cut to its right 20 x 20, then fitted in 40 x 40")
        << with([](DisplayOptions &o) { o.crop = QRect(10, 0, 20, 20); }, fitIn(QSize(40, 40))) << true
        << svgDrawn(QSize(40, 40), QRectF(10, 0, 20, 20));
    // A cut neither square nor at the top, stretched: scaled 2 times across and 3 times down, as
    // the whole picture drawn at 60 x 60 is.
    QTest::newRow("cut to 14 x 10 from (13, 1), stretched to 28 x 30")
        << with([](DisplayOptions &o) { o.crop = QRect(13, 1, 14, 10); },
                fitIn(QSize(28, 30), FitMode::Stretch))
        << true << svgDrawn(QSize(60, 60)).copy(26, 3, 28, 30);
    QTest::newRow("turned a quarter (20 x 30), fitted in 21 x 31")
        << with([](DisplayOptions &o) { o.rotation = 90; }, fitIn(QSize(21, 31))) << true
        << svgDrawn(QSize(20, 31), QRectF(), 1);
    QTest::newRow("a caller that takes no fitted picture: its own size")
        << fitIn(QSize(61, 45)) << false << svgDrawn(QSize(30, 20));
    // Gzip-compressed (.svgz), written by the test: inflated to 32 MiB at most, spaces after it
    // included.
    QTest::newRow("compressed, fitted within 61 x 45")
        << fitIn(QSize(61, 45)) << true << svgDrawn(QSize(61, 40));
    QTest::newRow("compressed, 32 MiB once inflated") << DisplayOptions() << true << svgDrawn(QSize(30, 20));
    QTest::newRow("compressed in two members, as gzip writes two files given together")
        << DisplayOptions() << true << svgDrawn(QSize(30, 20));
    QTest::newRow("compressed in three members") << DisplayOptions() << true << svgDrawn(QSize(30, 20));
    // Not compressed: 32 MiB read at most, spaces after the picture included.
    QTest::newRow("32 MiB") << DisplayOptions() << true << svgDrawn(QSize(30, 20));
    // Drawn at its own size up to 256 MiB at 4 bytes a pixel: 16384 x 4096 (8193 x 8192, just over,
    // is refused: tst_imageintake). Pictures named by their size, `expected` null: its last pixel
    // alone is blue, its first row and column red. Qt's painter leaves blank what lies 32,767
    // pixels or more from its device's corner: wider and taller ones are drawn whole.
    QTest::newRow("16384 x 4096, 256 MiB drawn") << DisplayOptions() << false << QImage();
    QTest::newRow("40001 x 3, wider than a painter draws") << DisplayOptions() << false << QImage();
    QTest::newRow("5 x 32769, taller than a painter draws") << DisplayOptions() << false << QImage();
    QTest::newRow("16385 x 2, one column over a tile") << DisplayOptions() << false << QImage();
}

void TestPreparation::drawsSvgAtTheSizeItIsUsed()
{
    QFETCH(DisplayOptions, options);
    QFETCH(bool, takesFitted);
    QFETCH(QImage, expected);
    const QByteArray tag = QTest::currentDataTag();
    const QString file = path(tag.startsWith("compressed") ? "shapes.svgz" : "shapes.svg");
    if (expected.isNull()) {
        const QStringList size = QString::fromLatin1(tag).section(',', 0, 0).split(" x ");
        const int w = size[0].toInt(), h = size[1].toInt();
        writeFile(file,
                  QString(R"(<svg xmlns="http://www.w3.org/2000/svg" width="%1" height="%2">)"
                          R"(<rect width="%1" height="1" fill="#f04020"/>)"
                          R"(<rect width="1" height="%2" fill="#f04020"/>)"
                          R"(<rect x="%3" y="%4" width="1" height="1" fill="#2040f0"/></svg>)")
                      .arg(w)
                      .arg(h)
                      .arg(w - 1)
                      .arg(h - 1)
                      .toLatin1());
        const DecodedPicture picture = decodePicture(file, options);
        QCOMPARE(picture.status, DecodedPicture::Decoded);
        QCOMPARE(picture.image.size(), QSize(w, h));
        QCOMPARE(picture.image.pixel(w - 1, h - 1), qRgb(0x20, 0x40, 0xf0));
        QCOMPARE(qAlpha(picture.image.pixel(w - 2, h - 1)), 0);
        for (int x : {1, 16383, 16384, 32766, 32767, 32768, w - 1})
            if (x < w)
                QCOMPARE(picture.image.pixel(x, 0), qRgb(0xf0, 0x40, 0x20));
        for (int y : {1, 16383, 16384, 32766, 32767, 32768})
            if (y < h - 1)
                QCOMPARE(picture.image.pixel(0, y), qRgb(0xf0, 0x40, 0x20));
        return;
    }
    if (tag.contains("32 MiB")) {
        const QByteArray padded = shapesSvg + QByteArray((32 << 20) - shapesSvg.size(), ' ');
        writeFile(file, tag.startsWith("compressed") ? gzipFile(padded) : padded);
    } else if (tag.contains("two members"))
        writeFile(file, gzipFile(shapesSvg.left(101)) + gzipFile(shapesSvg.mid(101)));
    else if (tag.contains("three members"))
        writeFile(file,
                  gzipFile(shapesSvg.left(60)) + gzipFile(shapesSvg.mid(60, 101))
                      + gzipFile(shapesSvg.mid(161)));
    else
        writeFile(file, tag.startsWith("compressed") ? gzipFile(shapesSvg) : shapesSvg);
    RowFitting rows;
    rows.allowed = takesFitted;
    const DecodedPicture picture = decodePicture(file, options, nullptr, rows);
    QCOMPARE(picture.status, DecodedPicture::Decoded);
    QCOMPARE(picture.fullSize, QSize(30, 20));
    QCOMPARE(picture.fitted, takesFitted && options.fit.isValid());
    QCOMPARE(picture.image.size(), expected.size());
    QCOMPARE(picture.image.convertToFormat(QImage::Format_ARGB32), expected);
    QCOMPARE(qAlpha(picture.image.pixel(0, 0)), 0); // transparent stays so
    if (picture.image.size() != QSize(240, 160))
        return;
    // Drawn, not a small picture enlarged: the line of one pixel is 8 rows of its own blue exactly,
    // with nothing of it above or below.
    for (int y = 119; y <= 128; ++y) {
        const QRgb expectedColour = y >= 120 && y < 128 ? qRgb(0x20, 0x40, 0xf0) : qRgba(0, 0, 0, 0);
        for (int x : {0, 100, 239})
            QCOMPARE(picture.image.pixel(x, y), expectedColour);
    }
}

QTEST_GUILESS_MAIN(TestPreparation)
#include "tst_preparation.moc"
