// Runs the window's job in a process of its own, so that tests can put it under limits (memory,
// file size, another user) that must not touch the test itself:
//
//     quillon_job_probe PICTURE [DESTINATION]
//
// Loads the picture into a fresh window and prints what the error box said, if anything, then
// "loaded" or "refused". With a destination, it then presses "Convertir" and prints the status
// bar's message and the cursor.

#include "child_decoder.h"
#include "mainwindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include <csignal>
#include <cstdio>

int main(int argc, char *argv[])
{
    if (isDecoderChild(argc, argv))
        return runDecoderChild(argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::signal(SIGXFSZ, SIG_IGN); // past a file-size limit, writes fail instead of killing us
    QApplication app(argc, argv);
    if (argc < 2 || argc > 3)
        return 2;
    MainWindow window;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            std::printf("box: %s\n", box->text().toUtf8().constData());
            box->accept();
        }
    });
    closer.start(10);
    const bool loaded = window.loadImage(QString::fromLocal8Bit(argv[1]));
    std::printf("%s\n", loaded ? "loaded" : "refused");
    if (argc == 3) {
        window.findChild<QLineEdit *>("dstPath")->setText(QString::fromLocal8Bit(argv[2]));
        window.findChild<QPushButton *>("btConvertir")->click();
        std::printf("status: %s\n", window.statusBar()->currentMessage().toUtf8().constData());
        std::printf("cursor: %s\n", window.cursor().shape() == Qt::ArrowCursor ? "arrow" : "other");
    }
    return 0;
}
