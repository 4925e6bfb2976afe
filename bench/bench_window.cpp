// The whole job on a 4096 x 4096 PNG, as a user runs it: load the picture, press "Convertir",
// both files written. Compared in the same run with ImageMagick's 5-6-5 BMP writer followed by
// `xxd -i`. Then the cost of one resize of the window with that picture loaded and converted.
//
//     bench_window [FOLDER]      (default /dev/shm)

#include "mainwindow.h"

#include "benchsupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString base = app.arguments().value(1, QStringLiteral("/dev/shm"));
    QTemporaryDir dir(base + QStringLiteral("/quillon-bench-XXXXXX"));
    if (!dir.isValid())
        qFatal("cannot create a folder in %s", qPrintable(base));
    const QString source = dir.filePath("photo.png");
    if (!Bench::photoLike(4096, 4096).save(source, "PNG"))
        qFatal("cannot write the picture");

    MainWindow window;
    window.show();
    window.findChild<QLineEdit *>("dstPath")->setText(dir.path());
    auto *convert = window.findChild<QPushButton *>("btConvertir");

    const double quillonSeconds = Bench::bestSeconds(3, [&] {
        if (!window.loadImage(source))
            qFatal("cannot load the picture");
        convert->click();
        if (window.statusBar()->currentMessage() != QString::fromUtf8("Convertion terminée avec succès."))
            qFatal("the conversion failed");
    });
    const double imageMagickSeconds = Bench::bestSeconds(2, [&] {
        Bench::runCommand("convert", {source, "-define", "bmp:subtype=RGB565", dir.filePath("magick.bmp")});
        Bench::runCommand("xxd", {"-i", dir.filePath("magick.bmp")}, dir.filePath("magick.h"));
    });

    // Resize events come in bursts while the user drags the window's border.
    const QList<QSize> sizes = {QSize(900, 600), QSize(1200, 800), QSize(700, 450), QSize(1000, 900)};
    auto *preview = window.findChild<QLabel *>("imageDst");
    constexpr int resizes = 40;
    double slowest = 0;
    double total = 0;
    for (int i = 0; i < resizes; ++i) {
        const QSize before = preview->size();
        QElapsedTimer timer;
        timer.start();
        window.resize(sizes[i % sizes.size()]);
        while (preview->size() == before && timer.elapsed() < 2000)
            QApplication::processEvents();
        const double seconds = timer.nsecsElapsed() / 1e9;
        slowest = qMax(slowest, seconds);
        total += seconds;
    }

    std::printf("Whole job on a 4096 x 4096 PNG in %s\n", qPrintable(base));
    std::printf("  Quillon: load, convert, BMP and header   %8.1f ms\n", quillonSeconds * 1e3);
    std::printf("  ImageMagick RGB565 BMP, then xxd -i      %8.1f ms\n", imageMagickSeconds * 1e3);
    std::printf("  one resize with the picture shown        %8.1f ms on average, %.1f ms at most\n",
                total / resizes * 1e3, slowest * 1e3);
    Bench::reportGoal("Quillon speed / ImageMagick and xxd speed", imageMagickSeconds / quillonSeconds, 3);
    Bench::reportGoal("slowest resize, in ms", slowest * 1e3, 50, false);
    return Bench::goalsExitCode();
}
