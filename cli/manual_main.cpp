// quillon-convert-manual: writes quillon-convert's manual page from its source, at build time.
//
//     quillon-convert-manual SOURCE OUTPUT [TRANSLATION.qm]

#include "manual_page.h"

#include <QCoreApplication>
#include <QFile>
#include <QTranslator>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3 && arguments.size() != 4) {
        std::fputs("usage: quillon-convert-manual SOURCE OUTPUT [TRANSLATION.qm]\n", stderr);
        return 2;
    }
    QTranslator translation;
    if (arguments.size() == 4) {
        if (!translation.load(arguments[3])) {
            std::fprintf(stderr, "quillon-convert-manual: cannot load %s\n", qPrintable(arguments[3]));
            return 1;
        }
        QCoreApplication::installTranslator(&translation);
    }
    QFile source(arguments[1]);
    QFile output(arguments[2]);
    if (!source.open(QIODevice::ReadOnly) || !output.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "quillon-convert-manual: cannot read %s or write %s\n", qPrintable(arguments[1]),
                     qPrintable(arguments[2]));
        return 1;
    }
    const QByteArray page = manualPage(QString::fromUtf8(source.readAll())).toUtf8();
    return output.write(page) == page.size() && output.flush() ? 0 : 1;
}
