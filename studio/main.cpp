// quillon-studio: a window that shows, live, what a display will show of a picture with
// quillon-convert's options, and writes the same files.
//
//     quillon-studio [-o DIR] [quillon-convert's options] [PICTURE...]

#include "child_decoder.h"
#include "help_text.h"
#include "studio_start.h"
#include "studio_window.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>

int main(int argc, char *argv[])
{
    // The same program decodes, in a child process, the pictures of readers that are not Qt's.
    if (isDecoderChild(argc, argv))
        return runDecoderChild(argc, argv);
    // The command line read before the window's application is made, so that --help, --version and
    // a mistake need no display.
    StudioStart start;
    {
        QCoreApplication core(argc, argv);
        installStudioTranslations(core);
        start = parseStudioStart(QCoreApplication::arguments());
        switch (start.action) {
        case StudioStart::ShowHelp:
            std::fputs(studioHelpText().toLocal8Bit().constData(), stdout);
            return 0;
        case StudioStart::ShowVersion:
            std::fputs(versionText(QStringLiteral("quillon-studio")).toLocal8Bit().constData(), stdout);
            return 0;
        case StudioStart::UsageError:
            std::fputs(studioUsageErrorText(start.error).toLocal8Bit().constData(), stderr);
            return 2;
        case StudioStart::Open:
            break;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillon-studio"));
    QApplication::setDesktopFileName(QStringLiteral("quillon-studio"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/quillon-studio.svg")));
    installStudioTranslations(app);
    StudioWindow window;
    window.setStartSettings(start.settings);
    window.setOutputFolder(start.outputFolder);
    window.setReplaceWithoutAsking(start.force);
    window.addPictures(start.pictures);
    window.show();
    return app.exec();
}
