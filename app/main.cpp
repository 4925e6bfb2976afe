#include "child_decoder.h"
#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The same program decodes, in a child process, the pictures of readers that are not Qt's.
    if (isDecoderChild(argc, argv))
        return runDecoderChild(argc, argv);
    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    return app.exec();
}
