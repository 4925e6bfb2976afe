#include "picturesupport.h"
#include "testsupport.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace TestSupport;

class TestCMakeFunction : public QObject, protected TestSupport::TemporaryFolder
{
    Q_OBJECT

private slots:
    void init();

    void convertsAtBuildTimeFromCMake();
};

void TestCMakeFunction::init()
{
    QVERIFY(renewFolder());
    QVERIFY(QDir().mkpath(path("command")));
}

void TestCMakeFunction::convertsAtBuildTimeFromCMake()
{
    const QString cmake = QStandardPaths::findExecutable("cmake");
    const QString cc = QStandardPaths::findExecutable("cc");
    if (cmake.isEmpty() || cc.isEmpty())
        QSKIP("cmake and a C compiler are needed");
    const auto run = [&](const QStringList &arguments, QString *output = nullptr) {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(arguments.first(), arguments.mid(1));
        const bool ok = process.waitForFinished(300000) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
        const QString text = QString::fromUtf8(process.readAll());
        if (output)
            *output = text;
        if (!ok)
            qWarning("%s", qPrintable(text));
        return ok;
    };
    // Quillon as a user installs it; projects find it with find_package() alone.
    const QString prefix = path("prefix");
    QVERIFY(run({cmake, "--install", QUILLON_BUILD_DIR, "--prefix", prefix}));
    // The firmware's readers beside it: the BMP file's, and the one of the arrays coded by run length.
    for (const char *reader : {"quillon_bmp.h", "quillon_bmp.c", "quillon_rle.h"})
        QCOMPARE(readFile(prefix + "/share/quillon/firmware/" + reader),
                 readFile(QUILLON_FIRMWARE_PROJECT "/../" + QString(reader)));

    QVERIFY(QDir().mkpath(path("pictures")));
    savePicture(patternPicture(13, 7), path("pictures/my.logo.png"), "PNG");
    savePicture(patternPicture(6, 6), path("pictures/splash-screen.bmp"), "BMP");
    const QString build = path("build");
    QVERIFY(run({cmake, "-S", QUILLON_TEST_PROJECT, "-B", build, "-DCMAKE_PREFIX_PATH=" + prefix,
                 "-DPICTURE_FOLDER=" + path("pictures")}));
    const auto dump = [&] {
        QProcess process;
        process.start(build + "/dump", QStringList());
        process.waitForFinished();
        return process.readAllStandardOutput();
    };
    const auto expected = [&] {
        return expectedBmp(QImage(path("pictures/my.logo.png")))
            + expectedBmp(QImage(path("pictures/splash-screen.bmp")));
    };

    QString output;
    QVERIFY(run({cmake, "--build", build}, &output));
    QVERIFY(output.contains("Converting my.logo.png to my.logo.h (array my_logo)"));
    QVERIFY(output.contains("Converting splash-screen.bmp to splash-screen.h (array splash_screen)"));
    QCOMPARE(dump(), expected());

    // Nothing changed: nothing converted.
    QVERIFY(run({cmake, "--build", build}, &output));
    QVERIFY2(!output.contains("Converting"), qPrintable(output));

    // A changed picture is converted again, and only that one.
    savePicture(patternPicture(9, 3), path("pictures/splash-screen.bmp"), "BMP");
    QFile splash(path("pictures/splash-screen.bmp"));
    QVERIFY(splash.open(QIODevice::ReadWrite));
    QVERIFY(splash.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
    splash.close();
    QVERIFY(run({cmake, "--build", build}, &output));
    QVERIFY(output.contains("Converting splash-screen.bmp"));
    QVERIFY(!output.contains("Converting my.logo.png"));
    QCOMPARE(dump(), expected());

    // SPLIT: each array defined once, in its own C file, and declared in two files of the program.
    const QString splitBuild = path("split");
    QVERIFY(run({cmake, "-S", QUILLON_TEST_PROJECT, "-B", splitBuild, "-DCMAKE_PREFIX_PATH=" + prefix,
                 "-DPICTURE_FOLDER=" + path("pictures"), "-DSPLIT_PICTURES=ON"}));
    QVERIFY(run({cmake, "--build", splitBuild}, &output));
    QVERIFY(QFileInfo::exists(splitBuild + "/generated/my.logo.c"));
    QProcess splitDump;
    splitDump.start(splitBuild + "/dump", QStringList());
    QVERIFY(splitDump.waitForFinished());
    QCOMPARE(splitDump.exitCode(), 0);
    QCOMPARE(splitDump.readAllStandardOutput(), expected());

    // The firmware examples as a fresh clone holds them, each built with its README's commands.
    // That the Uno's links shows both arrays in flash: their 16 KB would overflow its 2 KB of RAM.
    if (QStandardPaths::findExecutable("avr-gcc").isEmpty())
        QSKIP("avr-gcc (Debian package gcc-avr) is not installed");
    const QString examples = QUILLON_FIRMWARE_PROJECT "/..";
    QProcess git;
    git.start("git", {"-C", examples, "ls-files", "-z", "project", "ssd1306"});
    git.waitForFinished();
    const QList<QByteArray> files = git.readAllStandardOutput().split('\0');
    if (git.exitCode() != 0 || files.size() < 2)
        QSKIP("the examples are not in a git work tree");
    for (const QByteArray &file : files) {
        const QString name = QString::fromUtf8(file);
        QVERIFY(name.isEmpty() || QDir().mkpath(QFileInfo(path("examples/" + name)).path()));
        QVERIFY(name.isEmpty() || QFile::copy(examples + "/" + name, path("examples/" + name)));
    }
    const auto readme = [&](const QString &example, const QString &toolchain) {
        const QString commands = "cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=" + toolchain
            + " -DCMAKE_PREFIX_PATH=\"$0\" && cmake --build build";
        return run({"/bin/sh", "-c", "cd '" + path("examples/" + example) + "' && " + commands, prefix},
                   &output);
    };
    QVERIFY(readme("project", "avr-atmega328p.cmake"));
    QVERIFY(output.contains("(array splash_screen)"));
    QVERIFY(QFileInfo::exists(path("examples/project/build/firmware")));

    // The SSD1306 example: a 200 x 90 logo fitted to 128 x 57, in eight pages of 128 columns.
    QVERIFY(readme("ssd1306", "../project/avr-atmega328p.cmake"));
    const QString oled = path("examples/ssd1306");
    QVERIFY(QFileInfo::exists(oled + "/build/ssd1306_logo"));
    const QByteArray header = readFile(oled + "/build/pictures/logo.h");
    QVERIFY2(header.contains("#define logo_width 128\n#define logo_height 57\n"), header.constData());
    QVERIFY(header.contains("static const uint8_t logo[1024] QUILLON_PROGMEM = "));
}

QTEST_GUILESS_MAIN(TestCMakeFunction)
#include "tst_cmakefunction.moc"
