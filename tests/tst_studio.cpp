// Quillon Studio driven as a user drives it, widgets found by their names, real key and drop
// events: what it shows is quillon-convert's preview, pixel for pixel, and what Ctrl+S writes is
// what quillon-convert writes, byte for byte.

#include "flash_fit.h"
#include "option_table.h"
#include "options.h"
#include "panel_presets.h"
#include "panel_rendering.h"
#include "panel_view.h"
#include "picturesupport.h"
#include "result_warnings.h"
#include "settings_list.h"
#include "studio_start.h"
#include "studio_window.h"
#include "testsupport.h"
#include "windowtestsupport.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QUrl>

#include <cmath>

#include <unistd.h>

using namespace TestSupport;

namespace {

// W != H, an odd width, every pixel of its own red, green and blue.
const QSize pictureSize(21, 14);

// `picture` enlarged `zoom` times, each pixel a square, written here from what a zoom is; from 4 x,
// the grid: each square's top row and left column a third of the way to mid grey.
QImage enlarged(const QImage &picture, int zoom)
{
    QImage out(picture.width() * zoom, picture.height() * zoom, QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y) {
        for (int x = 0; x < out.width(); ++x) {
            const QRgb pixel = picture.pixel(x / zoom, y / zoom);
            // A channel moved a third of the way from itself to 128, rounded down.
            const auto grey = [](int channel) { return int(std::floor(channel + (128 - channel) / 3.0)); };
            const bool grid = zoom >= 4 && (x % zoom == 0 || y % zoom == 0);
            out.setPixel(x, y,
                         grid ? qRgb(grey(qRed(pixel)), grey(qGreen(pixel)), grey(qBlue(pixel))) : pixel);
        }
    }
    return out;
}

// Every file of a folder with its bytes.
QMap<QString, QByteArray> filesIn(const QString &folder)
{
    QMap<QString, QByteArray> files;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        files.insert(name, readFile(folder + QLatin1Char('/') + name));
    return files;
}

// Ctrl and the key pressed on the window, made active, as a user presses them.
void press(QWidget &window, Qt::Key key, Qt::KeyboardModifiers more = {})
{
    window.activateWindow();
    QTRY_VERIFY(window.isActiveWindow());
    QTest::keyClick(window.windowHandle(), key, Qt::ControlModifier | more);
}

// What quillon-convert's parser says of these settings for a picture.
QString refusalOf(const QStringList &arguments)
{
    return parseOptions(QStringList {"quillon-convert"} + arguments + QStringList {"--", "picture.png"})
        .error;
}

} // namespace

class TestStudio : public QObject, private TemporaryFolder
{
    Q_OBJECT

private slots:
    void init();
    void showsThePreviewsPixels_data();
    void showsThePreviewsPixels();
    void savesTheFilesOfQuillonConvert_data();
    void savesTheFilesOfQuillonConvert();
    void asksBeforeReplacing_data();
    void asksBeforeReplacing();
    void replacesAnotherUsersLinkItself();
    void disablesWhatTheFormatIgnores_data();
    void disablesWhatTheFormatIgnores();
    void tellsAUsageErrorAndKeepsTheView();
    void showsTheBackgroundThrough_data();
    void showsTheBackgroundThrough();
    void keepsEachPicturesSettings();
    void showsOnlyTheNewestRequest();
    void controlsEditTheSettings();
    void opensAPictureWithCtrlO_data();
    void opensAPictureWithCtrlO();
    void copiesTheArray_data();
    void copiesTheArray();
    void setsWhatAPresetSays_data();
    void setsWhatAPresetSays();
    void mendsWhatItWarnsOf_data();
    void mendsWhatItWarnsOf();
    void copiesACommandThatWritesTheSameFiles();
    void tellsWhetherTheArraysFit();
    void readsItsCommandLine_data();
    void readsItsCommandLine();
    void startsFromAShell_data();
    void startsFromAShell();

private:
    // A window with the test picture (or `pictures`), its view and header rendered for `arguments`.
    void showWith(StudioWindow &window, const QStringList &arguments);
    void waitForRendering(StudioWindow &window);
    // Chooses the item of that data in a combo box as a user does, clicking it in its list.
    void choose(QComboBox *combo, const QString &data);
    QString m_picture;
};

void TestStudio::init()
{
    QVERIFY(renewFolder());
    m_picture = path("my picture.png");
    QVERIFY(patternPicture(pictureSize.width(), pictureSize.height()).save(m_picture));
}

void TestStudio::waitForRendering(StudioWindow &window)
{
    QTRY_VERIFY_WITH_TIMEOUT(!window.renderer()->busy(), 60000);
    QCoreApplication::processEvents();
}

void TestStudio::showWith(StudioWindow &window, const QStringList &arguments)
{
    if (window.currentPicture().isEmpty())
        QVERIFY(window.addPictures({m_picture}));
    window.setSettings(arguments);
    waitForRendering(window);
    QCOMPARE(window.settings(), SettingsList::canonical(arguments));
}

void TestStudio::showsThePreviewsPixels_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("bmp") << QStringList();
    QTest::newRow("rgb565 bgr") << QStringList {"--format", "rgb565", "--color-order", "bgr", "--dither"};
    QTest::newRow("mono") << QStringList {"--format", "mono", "--threshold", "100"};
    QTest::newRow("gray4 inverted") << QStringList {"--format", "gray4", "--invert"};
    QTest::newRow("index8 fitted") << QStringList {"--format", "index8", "--fit", "15x9"};
    QTest::newRow("epd-bw-red") << QStringList {"--format", "epd-bw-red", "--dither"};
    QTest::newRow("lvgl I4") << QStringList {"--format", "lvgl", "--lvgl-cf", "I4"};
}

// The view at 1 x to 16 x is the PNG of --preview, read back, each pixel a square, with the grid
// from 4 x.
void TestStudio::showsThePreviewsPixels()
{
    QFETCH(QStringList, arguments);
    const QString previews = path("previews");
    const Options options = parseOptions(QStringList {"quillon-convert", "-o", previews, "--preview"}
                                         + arguments + QStringList {"--", m_picture});
    QCOMPARE(options.error, QString());
    QVERIFY(QDir().mkpath(previews));
    QCOMPARE(convertPicture(pictureJobOf(options, 0)).message, QString());
    const QImage preview = QImage(previews + "/my picture16bits.png").convertToFormat(QImage::Format_RGB32);
    QVERIFY(!preview.isNull());

    StudioWindow window;
    window.show();
    showWith(window, arguments);
    auto *zoom = childOf<QSpinBox>(&window, "zoom");
    auto *view = childOf<PanelView>(&window, "panelView");
    for (int times : {1, 3, 4, 16}) {
        zoom->setValue(times);
        QCOMPARE(view->grab().toImage().convertToFormat(QImage::Format_RGB32), enlarged(preview, times));
    }
    QCOMPARE(childOf<PanelView>(&window, "panelActualSize")
                 ->grab()
                 .toImage()
                 .convertToFormat(QImage::Format_RGB32),
             preview);
}

void TestStudio::savesTheFilesOfQuillonConvert_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("every"); // two pictures, the second selected, saved by Ctrl+Shift+S
    QTest::newRow("bmp named") << QStringList {"--name", "logo"} << false;
    QTest::newRow("rgb565 swapped, preview")
        << QStringList {"--format", "rgb565", "--swap-bytes", "--preview", "--fit", "11x11"} << false;
    QTest::newRow("mono inverted, bmp") << QStringList {"--format", "mono", "--invert", "--bmp"} << false;
    QTest::newRow("xbm split") << QStringList {"--format", "xbm", "--split"} << false;
    QTest::newRow("index4 coded") << QStringList {"--format", "index4", "--compress", "rle"} << false;
    QTest::newRow("lvgl binary") << QStringList {"--format", "lvgl", "--binary", "--lvgl-cf", "RGB565A8"}
                                 << false;
    QTest::newRow("two pictures, xbm") << QStringList {"--format", "xbm"} << true;
}

// Ctrl+S writes into -o's folder the very files quillon-convert writes there; Ctrl+Shift+S those
// of every picture.
void TestStudio::savesTheFilesOfQuillonConvert()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, every);
    const QString studio = path("studio"), command = path("command");
    QStringList pictures {m_picture};
    StudioWindow window;
    window.setOutputFolder(studio);
    window.show();
    if (every) {
        pictures.prepend(path("first.png"));
        QVERIFY(patternPicture(9, 5).save(pictures.first()));
        window.setStartSettings(arguments);
        QVERIFY(window.addPictures(pictures));
        childOf<QListWidget>(&window, "pictureList")->setCurrentRow(1);
    }
    showWith(window, arguments);
    press(window, Qt::Key_S, every ? Qt::ShiftModifier : Qt::NoModifier);
    const Run run = quillonConvert(QStringList {"-o", command} + arguments + pictures);
    QCOMPARE(run.err, every ? QString("2 images converties, 0 ignorée, 0 en échec\n") : QString());
    QCOMPARE(run.exitCode, 0);
    const QMap<QString, QByteArray> written = filesIn(studio);
    QVERIFY(!written.isEmpty());
    QCOMPARE(written.keys(), filesIn(command).keys());
    QVERIFY(written == filesIn(command));
}

void TestStudio::asksBeforeReplacing_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("force");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("yes") << int(QMessageBox::Yes) << false << true;
    QTest::newRow("no") << int(QMessageBox::No) << false << false;
    QTest::newRow("--force, not asked") << int(QMessageBox::No) << true << true;
}

// A file that stands where Ctrl+S writes is replaced only once the user says so, or without a
// question after --force.
void TestStudio::asksBeforeReplacing()
{
    QFETCH(int, answer);
    QFETCH(bool, force);
    QFETCH(bool, replaced);
    const QString folder = path("out");
    QVERIFY(QDir().mkpath(folder));
    writeFile(folder + "/my picture.h", "standing");
    StudioWindow window;
    window.setOutputFolder(folder);
    window.setReplaceWithoutAsking(force);
    window.show();
    showWith(window, {"--format", "gray8"});
    QString question;
    ModalWatcher watcher([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        question = box->text();
        box->button(QMessageBox::StandardButton(answer))->click();
    });
    press(window, Qt::Key_S);
    if (force) {
        QCoreApplication::processEvents();
        QVERIFY(!watcher.handled());
    } else {
        QTRY_VERIFY(watcher.handled());
        QCOMPARE(
            question,
            QString("Ces fichiers existent déjà dans %1 :\nmy picture.h\n\nLes remplacer ?").arg(folder));
    }
    QCOMPARE(readFile(folder + "/my picture.h") != "standing", replaced);
    QCOMPARE(window.statusBar()->currentMessage(),
             replaced ? QString("Écrit dans %1 : my picture.h").arg(folder)
                      : QString("my picture.png : rien n'a été écrit"));
}

// In a folder every user may write into, another user's link where the header goes: replaced
// itself once the user says so, as quillon-convert --force replaces it, the file it names untouched.
void TestStudio::replacesAnotherUsersLinkItself()
{
    const QStringList nobody = anotherUser();
    if (nobody.isEmpty())
        QSKIP("planting another user's files needs root and setpriv");
    SharedFolder shared;
    QVERIFY(shared.isValid());
    const QString target = shared.path("target");
    QCOMPARE(runProgram(nobody
                        + QStringList {"sh", "-c", "echo theirs > \"$1\" && ln -s \"$1\" \"$2\"", "sh",
                                       target, shared.path("my picture.h")})
                 .exitCode,
             0);
    StudioWindow window;
    window.setOutputFolder(shared.path());
    window.show();
    showWith(window, {"--format", "xbm"});
    ModalWatcher watcher(
        [](QWidget *modal) { qobject_cast<QMessageBox *>(modal)->button(QMessageBox::Yes)->click(); });
    press(window, Qt::Key_S);
    QVERIFY(watcher.handled());
    const QFileInfo header(shared.path("my picture.h"));
    QVERIFY(!header.isSymLink());
    QCOMPARE(header.ownerId(), ::geteuid());
    QVERIFY(readFile(header.filePath()).contains("static const uint8_t my_picture["));
    QCOMPARE(readFile(target), QByteArray("theirs\n"));
}

void TestStudio::disablesWhatTheFormatIgnores_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("option");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("threshold in rgb565") << "rgb565"
                                         << "threshold" << false;
    QTest::newRow("swap-bytes in mono") << "mono"
                                        << "swap-bytes" << false;
    QTest::newRow("palette in bmp") << "bmp"
                                    << "palette" << false;
    QTest::newRow("lvgl-cf in xbm") << "xbm"
                                    << "lvgl-cf" << false;
    QTest::newRow("threshold in mono") << "mono"
                                       << "threshold" << true;
    QTest::newRow("swap-bytes in rgb565") << "rgb565"
                                          << "swap-bytes" << true;
    QTest::newRow("palette in index4") << "index4"
                                       << "palette" << true;
}

// An option the format does not read is disabled, quillon-convert's refusal as its tool tip; one
// it reads is enabled.
void TestStudio::disablesWhatTheFormatIgnores()
{
    QFETCH(QString, format);
    QFETCH(QString, option);
    QFETCH(bool, enabled);
    StudioWindow window;
    window.show();
    showWith(window, {"--format", format});
    auto *control = childOf<QWidget>(&window, qPrintable("option-" + option));
    QCOMPARE(control->isEnabled(), enabled);
    if (!enabled) {
        QStringList refused {"--format", format, "--" + option};
        if (findOption(option)->valueName)
            refused << (findOption(option)->choices ? findOption(option)->choices().first() : "x");
        QCOMPARE(control->toolTip(), refusalOf(refused));
        QVERIFY(control->toolTip().startsWith("--" + option + " ne s'emploie qu'avec --format "));
    }
}

// Settings that break a rule across options are told in quillon-convert's words, the view left as
// it was; mended, the view follows.
void TestStudio::tellsAUsageErrorAndKeepsTheView()
{
    StudioWindow window;
    window.show();
    showWith(window, {"--format", "mono"});
    auto *view = childOf<PanelView>(&window, "panelView");
    const QImage before = view->grab().toImage();
    auto *problem = childOf<QLabel>(&window, "problem");
    QVERIFY(problem->isHidden());
    window.setSettings({"--format", "mono", "--fit-mode", "cover"});
    waitForRendering(window);
    QCOMPARE(problem->text(), refusalOf({"--format", "mono", "--fit-mode", "cover"}));
    QCOMPARE(problem->text(), QString("--fit-mode ne s'emploie qu'avec --fit"));
    QVERIFY(problem->isVisible());
    QCOMPARE(view->grab().toImage(), before);
    window.setSettings({"--format", "mono", "--fit-mode", "cover", "--fit", "8x8"});
    waitForRendering(window);
    QVERIFY(problem->isHidden());
    QCOMPARE(view->picture().size(), QSize(8, 8));
}

void TestStudio::showsTheBackgroundThrough_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("mask") << QStringList {"--format", "rgb565", "--alpha", "mask"};
    QTest::newRow("mask, bgr") << QStringList {"--format", "rgb565",        "--alpha",
                                               "mask",     "--color-order", "bgr"};
    QTest::newRow("key colour") << QStringList {"--format", "rgb565", "--transparent", "#ff00ff"};
    QTest::newRow("key colour, swapped")
        << QStringList {"--format", "rgb565", "--transparent", "#10e020", "--swap-bytes"};
}

// Where a mask holds 0, or the display shows the key colour that the library skips, the
// checkerboard of the background, its checks of 4 screen pixels at any zoom; elsewhere the pixel
// shown.
void TestStudio::showsTheBackgroundThrough()
{
    QFETCH(QStringList, arguments);
    QImage picture = patternPicture(pictureSize.width(), pictureSize.height(), true); // left half clear
    QVERIFY(picture.save(m_picture));
    StudioWindow window;
    window.show();
    showWith(window, arguments);
    const QImage shown = window.view().shown;
    const QRgb light = qRgb(204, 204, 204), dark = qRgb(153, 153, 153);
    for (int zoom : {1, 2}) {
        childOf<QSpinBox>(&window, "zoom")->setValue(zoom);
        const QImage seen = childOf<PanelView>(&window, "panelView")
                                ->grab()
                                .toImage()
                                .convertToFormat(QImage::Format_RGB32);
        QCOMPARE(seen.size(), pictureSize * zoom);
        for (int y = 0; y < seen.height(); ++y) {
            for (int x = 0; x < seen.width(); ++x) {
                const bool clear = x / zoom < pictureSize.width() / 2;
                const QRgb expected = !clear ? shown.pixel(x / zoom, y / zoom)
                    : (x / 4 + y / 4) % 2    ? dark
                                             : light;
                QCOMPARE(seen.pixel(x, y), expected);
            }
        }
    }
}

// Two pictures dropped on the window: each keeps the settings it was given.
void TestStudio::keepsEachPicturesSettings()
{
    const QString second = path("second.png");
    QVERIFY(patternPicture(9, 5).save(second));
    StudioWindow window;
    window.show();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(m_picture), QUrl::fromLocalFile(second)});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
    auto *list = childOf<QListWidget>(&window, "pictureList");
    QCOMPARE(list->count(), 2);
    QCOMPARE(window.currentPicture(), QFileInfo(m_picture).absoluteFilePath());
    window.setSettings({"--format", "mono", "--invert"});
    list->setCurrentRow(1);
    waitForRendering(window);
    QCOMPARE(window.settings(), QStringList());
    QCOMPARE(window.view().shown.size(), QSize(9, 5));
    window.setSettings({"--format", "gray8"});
    list->setCurrentRow(0);
    waitForRendering(window);
    QCOMPARE(window.settings(), QStringList({"--format", "mono", "--invert"}));
    QCOMPARE(childOf<QComboBox>(&window, "option-format")->currentText(), QString("mono"));
    QVERIFY(childOf<QCheckBox>(&window, "option-invert")->isChecked());
    QCOMPARE(window.view().shown.size(), pictureSize);
}

// Requests made while one runs: only the newest is told, view and header; the one that waited
// between is dropped.
void TestStudio::showsOnlyTheNewestRequest()
{
    PanelRenderer renderer;
    QVector<quint64> views, headers;
    QByteArray header;
    connect(&renderer, &PanelRenderer::viewReady, this,
            [&](const RenderedView &view) { views << view.serial; });
    connect(&renderer, &PanelRenderer::headerReady, this, [&](const RenderedHeader &told) {
        headers << told.serial;
        header = told.text;
    });
    renderer.request(m_picture, {"--format", "mono"});
    renderer.request(m_picture, {"--format", "gray8", "--name", "between"});
    const quint64 newest = renderer.request(m_picture, {"--format", "xbm", "--name", "newest"});
    QTRY_VERIFY_WITH_TIMEOUT(!renderer.busy(), 60000);
    QCOMPARE(views, QVector<quint64> {newest});
    QCOMPARE(headers, QVector<quint64> {newest});
    QVERIFY(header.contains("newest_width"));
}

// The controls edit the settings as the options read: a value at the top of its range shown as it
// is, a number typed back to its default and a switch unticked leave the options out, another
// format drops those it does not read.
void TestStudio::controlsEditTheSettings()
{
    StudioWindow window;
    window.show();
    showWith(window, {"--format", "mono", "--invert", "--threshold", "255", "--dither"});
    auto *threshold = childOf<QSpinBox>(&window, "option-threshold");
    QCOMPARE(threshold->value(), 255);
    threshold->selectAll();
    QTest::keyClicks(threshold, "128");
    QCOMPARE(window.settings(), SettingsList::canonical({"--format", "mono", "--invert", "--dither"}));
    choose(childOf<QComboBox>(&window, "option-format"), "rgb565");
    QCOMPARE(window.settings(), SettingsList::canonical({"--format", "rgb565", "--dither"}));
    auto *swap = childOf<QCheckBox>(&window, "option-swap-bytes");
    QTest::keyClick(swap, Qt::Key_Space);
    QCOMPARE(window.settings(), SettingsList::canonical({"--format", "rgb565", "--dither", "--swap-bytes"}));
    QTest::keyClick(swap, Qt::Key_Space);
    QCOMPARE(window.settings(), SettingsList::canonical({"--format", "rgb565", "--dither"}));
    waitForRendering(window);
    QCOMPARE(QByteArray(window.view().job.format->name), QByteArray("rgb565"));
}

void TestStudio::opensAPictureWithCtrlO_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("size");
    QTest::newRow("SVG") << "drawing.svg"
                         << QByteArray("<svg xmlns='http://www.w3.org/2000/svg' width='13' height='6'>"
                                       "<rect width='13' height='6' fill='#3080c0'/></svg>")
                         << QSize(13, 6);
    QTest::newRow("GIF") << "four.gif" << gifFile(7, 4) << QSize(7, 4);
    QTest::newRow("BMP") << "odd.bmp" << bmpFile(3, 2, 24, 0, QByteArray(), QByteArray(24, '\x40'))
                         << QSize(3, 2);
}

// Ctrl+O opens the file dialog; the picture chosen is listed and shown, in any format the engine
// reads.
void TestStudio::opensAPictureWithCtrlO()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, size);
    writeFile(path(name), bytes);
    StudioWindow window;
    window.show();
    ModalWatcher watcher(
        [&](QWidget *modal) { acceptFileDialog(qobject_cast<QFileDialog *>(modal), path(name)); });
    press(window, Qt::Key_O);
    QVERIFY(watcher.handled());
    QCOMPARE(window.currentPicture(), path(name));
    waitForRendering(window);
    QCOMPARE(childOf<QLabel>(&window, "problem")->text(), QString());
    QCOMPARE(window.view().shown.size(), size);
    QCOMPARE(childOf<PanelView>(&window, "panelActualSize")->size(), size);
}

void TestStudio::copiesTheArray_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("array");
    QTest::addColumn<int>("valueBytes");
    QTest::newRow("mono") << QStringList {"--format", "mono"} << "my_picture" << 1;
    QTest::newRow("rgb565") << QStringList {"--format", "rgb565", "--name", "logo"} << "logo" << 2;
    QTest::newRow("lvgl") << QStringList {"--format", "lvgl"} << "my_picture_map" << 1;
}

// "Copier le tableau" puts on the clipboard the definition of the picture's array, values and all,
// as the header holds it; LVGL's with the descriptor that draws it.
void TestStudio::copiesTheArray()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, array);
    QFETCH(int, valueBytes);
    StudioWindow window;
    window.show();
    showWith(window, arguments);
    QApplication::clipboard()->clear();
    QTest::mouseClick(childOf<QPushButton>(&window, "copyArray"), Qt::LeftButton);
    const QString copied = QApplication::clipboard()->text();
    QVERIFY2(copied.endsWith("};\n"), qPrintable(copied.right(40)));
    QVERIFY(QString::fromUtf8(window.headerText()).contains(copied));
    QCOMPARE(copied.contains("lv_image_dsc_t my_picture = {"), array.endsWith("_map"));
    const QHash<QString, HeaderArray> arrays
        = parseArrays(QString(copied).remove(QRegularExpression("LV_ATTRIBUTE_\\w+ ")));
    QCOMPARE(arrays.keys(), QStringList {array});
    const QByteArray bytes = arraysOf(window.view().encoded->header).value(array.toLatin1());
    QVERIFY(!bytes.isEmpty());
    QCOMPARE(arrays[array].values.size() * valueBytes, bytes.size());
    for (int i = 0; i < arrays[array].values.size(); ++i) {
        quint32 value = 0;
        for (int b = valueBytes - 1; b >= 0; --b)
            value = value << 8 | quint8(bytes[i * valueBytes + b]);
        QCOMPARE(arrays[array].values[i], value);
    }
}

void TestStudio::choose(QComboBox *combo, const QString &data)
{
    const int index = combo->findData(data);
    QVERIFY(index >= 0);
    combo->showPopup();
    QAbstractItemView *list = combo->view();
    QTRY_VERIFY(list->isVisible());
    list->scrollTo(list->model()->index(index, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(index, 0)).center());
    QTRY_VERIFY(!list->isVisible());
    QCOMPARE(combo->currentIndex(), index);
}

void TestStudio::setsWhatAPresetSays_data()
{
    QTest::addColumn<QString>("preset");
    QTest::addColumn<QString>("drawn");
    QTest::newRow("SSD1306")
        << "ssd1306-128x64"
        << "display.drawBitmap(x, y, my_picture, my_picture_width, my_picture_height, 1);";
    QTest::newRow("SH1106")
        << "sh1106-128x64"
        << "u8g2_DrawXBMP(&u8g2, x, y, my_picture_width, my_picture_height, my_picture);\n"
           "u8g2.drawXBMP(x, y, my_picture_width, my_picture_height, my_picture);";
    QTest::newRow("GC9A01, round")
        << "gc9a01-240x240"
        << "tft.setSwapBytes(true); tft.pushImage(x, y, my_picture_width, my_picture_height, "
           "my_picture);";
    QTest::newRow("e-paper, black and red")
        << "epaper-2.13-bwr"
        << "display.drawImage(my_picture_black, my_picture_red, x, y, my_picture_width, "
           "my_picture_height, false, false, true);";
    QTest::newRow("e-paper, black and white, the preset's line")
        << "epaper-2.13-bw"
        << "display.drawImage(my_picture, x, y, my_picture_width, my_picture_height, false, false, true);";
}

// A preset chosen from the list sets the options it says over the user's own, which stay; the
// display shows the panel's size, round panels without their corners; its library's line is the
// one copied. Choosing none then leaves the settings and shows the whole picture.
void TestStudio::setsWhatAPresetSays()
{
    QFETCH(QString, preset);
    QFETCH(QString, drawn);
    const PanelPreset &chosen = *findPanelPreset(preset);
    StudioWindow window;
    window.show();
    showWith(window, {"--dither", "--format", "gray8"});
    choose(childOf<QComboBox>(&window, "preset"), preset);
    waitForRendering(window);
    QCOMPARE(window.settings(),
             SettingsList::canonical(withPreset({"--dither", "--format", "gray8"}, chosen)));
    QVERIFY(window.settings().contains("--dither"));
    QCOMPARE(window.view().shown.size(), chosen.size);
    QCOMPARE(childOf<QComboBox>(&window, "library")->currentText(), chosen.library);
    QApplication::clipboard()->clear();
    QTest::mouseClick(childOf<QPushButton>(&window, "copyDrawingLine"), Qt::LeftButton);
    QCOMPARE(QApplication::clipboard()->text(), drawn);
    // On a round panel, each pixel whose centre lies outside the circle the sides touch is of the
    // corner's colour, not the picture's; the others as the display shows them.
    childOf<QSpinBox>(&window, "zoom")->setValue(1);
    const QImage seen
        = childOf<PanelView>(&window, "panelView")->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage shown = window.view().shown;
    const double rx = chosen.size.width() / 2.0, ry = chosen.size.height() / 2.0;
    int wrong = 0;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            const double dx = (x + 0.5 - rx) / rx, dy = (y + 0.5 - ry) / ry;
            const bool off = chosen.round && dx * dx + dy * dy > 1;
            wrong += seen.pixel(x, y) != (off ? seen.pixel(0, 0) : shown.pixel(x, y));
        }
    }
    QCOMPARE(wrong, 0);
    QCOMPARE(seen.pixel(0, 0) == shown.pixel(0, 0), !chosen.round);
    // No display chosen: the settings stay, the whole picture shown.
    const QStringList settings = window.settings();
    choose(childOf<QComboBox>(&window, "preset"), QString());
    QCOMPARE(window.settings(), settings);
    const QImage whole
        = childOf<PanelView>(&window, "panelView")->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(whole.pixel(0, 0), window.view().shown.pixel(0, 0));
}

void TestStudio::mendsWhatItWarnsOf_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("transparent");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<QStringList>("mending");
    QTest::newRow("a dark icon on transparency")
        << QStringList {"--format", "mono"} << true << "every pixel unlit"
        << QStringList {"--background", "white", "--invert"};
    QTest::newRow("more colours than index4 holds")
        << QStringList {"--format", "index4"} << false << "colours" << QStringList {"--format", "index8"};
}

// A result that hurts is told above the view with the options that mend it; its button applies
// them, and the warning goes.
void TestStudio::mendsWhatItWarnsOf()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, transparent);
    QFETCH(QStringList, mending);
    QImage picture = patternPicture(pictureSize.width(), pictureSize.height(), true);
    if (transparent) { // a dark square on transparency
        picture.fill(qRgba(20, 30, 40, 0));
        for (int y = 3; y < 9; ++y)
            for (int x = 5; x < 15; ++x)
                picture.setPixel(x, y, qRgba(20, 30, 40, 255));
    }
    QVERIFY(picture.save(m_picture));
    StudioWindow window;
    window.show();
    showWith(window, arguments);
    auto *warnings = childOf<QWidget>(&window, "warnings");
    QVERIFY(warnings->isVisible());
    const auto expected
        = resultWarnings(window.settings(), window.view().job, *window.view().encoded, QSize());
    QCOMPARE(expected.size(), 1);
    QCOMPARE(expected[0].arguments, mending);
    QCOMPARE(childOf<QLabel>(&window, "warning-0")->text(), expected[0].text + " " + expected[0].mending);
    QTest::mouseClick(childOf<QPushButton>(&window, "mend-0"), Qt::LeftButton);
    waitForRendering(window);
    for (int i = 0; i < mending.size(); i += 2) {
        if (i + 1 < mending.size() && !mending[i + 1].startsWith("--"))
            QCOMPARE(SettingsList::value(window.settings(), mending[i].mid(2)), mending[i + 1]);
        else
            QVERIFY(SettingsList::has(window.settings(), mending[i].mid(2)));
    }
    QVERIFY(!warnings->isVisible());
}

// The command copied, run by a shell, writes the files Ctrl+S writes: the picture's name has a
// space, the folder a quote.
void TestStudio::copiesACommandThatWritesTheSameFiles()
{
    const QString folder = path("Bob's pictures");
    StudioWindow window;
    window.setOutputFolder(folder);
    window.show();
    showWith(window, {"--format", "rgb565", "--swap-bytes", "--fit", "9x9", "--name", "logo"});
    QTest::mouseClick(childOf<QPushButton>(&window, "copyCommand"), Qt::LeftButton);
    const QString command = QApplication::clipboard()->text();
    QVERIFY2(command.startsWith("quillon-convert "), qPrintable(command));
    const Run run
        = runProgram({"sh", "-c", "PATH=\"$1:$PATH\"; " + command, "sh", QFileInfo(QUILLON_CONVERT).path()});
    QCOMPARE(run.err, QString());
    const QMap<QString, QByteArray> commanded = filesIn(folder);
    QCOMPARE(commanded.keys(), QStringList {"my picture.h"});
    QVERIFY(commanded.first().contains("static const uint16_t logo[54] "));
    QVERIFY(QFile::remove(folder + "/my picture.h"));
    press(window, Qt::Key_S);
    QVERIFY(filesIn(folder) == commanded);
}

// Under the header, the arrays' bytes and, for each board, whether they fit.
void TestStudio::tellsWhetherTheArraysFit()
{
    StudioWindow window;
    window.show();
    showWith(window, {"--format", "rgb565", "--fit", "181x181", "--fit-mode", "stretch"}); // 65,522 bytes
    QCOMPARE(childOf<QLabel>(&window, "arraySize")->text(), QString("Tableaux : 65522 octets"));
    const QString fits = childOf<QLabel>(&window, "flashFit")->text();
    for (const FlashFit &fit : flashFits(window.view().encoded->header))
        QVERIFY2(fits.contains(fit.board->name + " : " + (fit.fits ? "tient" : fit.reason)),
                 qPrintable(fits));
    QVERIFY(fits.contains("Arduino Uno (ATmega328P) : "));
    QVERIFY(!fits.contains("Arduino Uno (ATmega328P) : tient"));
    QVERIFY(fits.contains("ESP32 : tient"));
    // The window's BMP file: rows of 2 x 21 bytes padded to 44, 14 of them, after 54 bytes.
    showWith(window, {});
    QCOMPARE(childOf<QLabel>(&window, "arraySize")->text(), QString("Tableaux : 670 octets"));
}

void TestStudio::readsItsCommandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QStringList>("settings");
    QTest::addColumn<bool>("force");
    QTest::newRow("options and a picture")
        << QStringList {"-fo", "out", "--format=mono", "--fit", "128x64", "--invert", "a.png"} << QString()
        << QStringList {"--format", "mono", "--invert", "--fit", "128x64"} << true;
    QTest::newRow("no picture") << QStringList {"--format", "xbm"} << QString()
                                << QStringList {"--format", "xbm"} << false;
    QTest::newRow("unknown option")
        << QStringList {"--treshold", "9"}
        << QString("option inconnue « --treshold » ; vouliez-vous dire « --threshold » ?") << QStringList()
        << false;
    QTest::newRow("a rule across options")
        << QStringList {"--format", "rgb565", "--invert", "a.png"}
        << refusalOf({"--format", "rgb565", "--invert"}) << QStringList() << false;
    QTest::newRow("decode") << QStringList {"--decode", "a.h"}
                            << QString("--decode ne s'emploie pas avec quillon-studio") << QStringList()
                            << false;
    QTest::newRow("both flips") << QStringList {"--flip", "h", "--flip=v", "a.png"} << QString()
                                << QStringList {"--flip", "h", "--flip", "v"} << false;
    QTest::newRow("size") << QStringList {"--size", "8x8", "a.png"}
                          << QString("--size ne s'emploie pas avec quillon-studio") << QStringList() << false;
    QTest::newRow("bundle") << QStringList {"--bundle", "icons", "a.png"}
                            << QString("--bundle ne s'emploie pas avec quillon-studio") << QStringList()
                            << false;
}

// The command line read as quillon-convert reads it: the settings every picture takes, -o's
// folder, --force, the pictures; a mistake told in its words.
void TestStudio::readsItsCommandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    QFETCH(QStringList, settings);
    QFETCH(bool, force);
    const StudioStart start = parseStudioStart(QStringList {"quillon-studio"} + arguments);
    QCOMPARE(start.error, error);
    QCOMPARE(start.action, error.isEmpty() ? StudioStart::Open : StudioStart::UsageError);
    if (!error.isEmpty())
        return;
    QCOMPARE(start.settings, settings);
    QCOMPARE(start.force, force);
    QCOMPARE(start.outputFolder, arguments.contains("-fo") ? QDir("out").absolutePath() : QString());
    QCOMPARE(start.pictures,
             arguments.contains("a.png") ? QStringList {QDir("a.png").absolutePath()} : QStringList());
}

void TestStudio::startsFromAShell_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("usage error") << QStringList {"--format", "png"} << 2 << QString()
                                 << "quillon-studio: " + refusalOf({"--format", "png"})
            + "\nEssayez « quillon-studio --help » pour plus d'informations.\n";
    QTest::newRow("usage error in English")
        << QStringList {"LANG=C", "--format", "rgb565", "--threshold", "9"} << 2 << QString()
        << QString("quillon-studio: --threshold goes only with --format mono, xbm, pages or lvgl\n"
                   "Try 'quillon-studio --help' for more information.\n");
    QTest::newRow("version") << QStringList {"--version"} << 0 << QString("quillon-studio (Quillon) 1.0\n")
                             << QString();
    QTest::newRow("help") << QStringList {"--help"} << 0
                          << QString("Utilisation : quillon-studio [-o DOSSIER] [OPTION]... [IMAGE]...\n")
                          << QString();
}

// The program started from a shell: a usage error on standard error with exit status 2, --help
// and --version on standard output, in French under a French locale, else in English.
void TestStudio::startsFromAShell()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    // The locale of the row when it gives one, else French.
    QStringList locale {"LANG=fr_FR.UTF-8"};
    if (arguments.first().startsWith("LANG="))
        locale = QStringList {arguments.takeFirst()};
    const QStringList unset {"env",         "-u", "LC_ALL",   "-u",
                             "LC_MESSAGES", "-u", "LANGUAGE", "QT_QPA_PLATFORM=offscreen"};
    const Run run = runProgram(unset + locale + QStringList {QUILLON_STUDIO} + arguments);
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(run.err, err);
    QVERIFY2(run.out.startsWith(out), qPrintable(run.out.left(200)));
    if (arguments == QStringList {"--help"})
        QVERIFY(run.out.contains("  -o, --output=DOSSIER"));
}

QTEST_MAIN(TestStudio)
#include "tst_studio.moc"
