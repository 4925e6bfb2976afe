// Quillon Studio's view of a 320 x 240 picture: the time from a change of a setting to the new
// view on screen, in each family of formats, the picture decoded and encoded off the GUI thread
// by the renderer, then shown at 1 x and zoomed 2 x. The goal: under 50 ms.
//
//     bench_studio [FOLDER]      (default /dev/shm)

#include "benchsupport.h"
#include "studio_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString base = app.arguments().value(1, QStringLiteral("/dev/shm"));
    QTemporaryDir dir(base + QStringLiteral("/quillon-bench-XXXXXX"));
    if (!dir.isValid())
        qFatal("cannot create a folder in %s", qPrintable(base));
    const QString source = dir.filePath("photo.png");
    if (!Bench::photoLike(320, 240).save(source, "PNG"))
        qFatal("cannot write the picture");

    StudioWindow window;
    window.show();
    window.addPictures({source});
    // Each family, its settings changed twice (the dither switched) so that every view is a new one.
    const QList<QStringList> families = {
        {"--format", "rgb565"}, {"--format", "mono"},       {"--format", "gray4"},
        {"--format", "index8"}, {"--format", "epd-bw-red"}, {"--format", "lvgl"},
    };
    std::printf("Quillon Studio, a 320 x 240 picture: from a change to the new view\n");
    const auto waitFor = [&](auto signal) {
        QEventLoop loop;
        const auto done = QObject::connect(window.renderer(), signal, &loop,
                                           [&] { QTimer::singleShot(0, &loop, &QEventLoop::quit); });
        loop.exec();
        QObject::disconnect(done);
    };
    for (const QStringList &family : families) {
        double best = 1e9;
        for (int run = 0; run < 7; ++run) {
            // The header of the last change written, as when a user pauses; then a change.
            if (window.renderer()->busy())
                waitFor(&PanelRenderer::idle);
            QElapsedTimer timer;
            timer.start();
            window.setSettings(run % 2 ? family + QStringList {"--dither"} : family);
            waitFor(&PanelRenderer::viewReady);
            QCoreApplication::processEvents(); // the view painted
            best = qMin(best, timer.nsecsElapsed() / 1e6);
            if (window.view().shown.size() != QSize(320, 240))
                qFatal("no view for %s", qPrintable(family.join(' ')));
        }
        Bench::reportGoal(QStringLiteral("studio view, %1 (ms)").arg(family.last()), best, 50, false);
    }
    return Bench::goalsExitCode();
}
