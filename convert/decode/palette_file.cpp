#include "palette_file.h"

#include "picture_source.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>

QString parsePalette(const QByteArray &text, QVector<QRgb> *colours)
{
    colours->clear();
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines[0].startsWith("\xef\xbb\xbf"))
        lines[0].remove(0, 3);
    const bool gimp = !lines.isEmpty() && lines[0].trimmed() == "GIMP Palette";
    static const QRegularExpression gimpColour("\\A(\\d{1,3})\\s+(\\d{1,3})\\s+(\\d{1,3})(\\s.*)?\\z");
    static const QRegularExpression gimpKey("\\A(Name|Columns):");
    static const QRegularExpression hexColour("\\A#([0-9A-Fa-f]{6})\\z");
    static const QRegularExpression comment("\\A#([ \\t#]|\\z)");
    for (int number = gimp ? 1 : 0; number < lines.size(); ++number) {
        const QString line = QString::fromUtf8(lines[number].trimmed());
        const auto problem = [&](const char *what) {
            return QCoreApplication::translate("PaletteFile", "ligne %1 : « %2 » %3")
                .arg(number + 1)
                .arg(line, QCoreApplication::translate("PaletteFile", what));
        };
        if (line.isEmpty())
            continue;
        if (gimp) {
            if (line.startsWith('#') || gimpKey.match(line).hasMatch())
                continue;
            const QRegularExpressionMatch match = gimpColour.match(line);
            if (!match.hasMatch())
                return problem(QT_TRANSLATE_NOOP("PaletteFile",
                                                 "n'est pas une couleur R V B (trois nombres de 0 à 255)"));
            const int red = match.captured(1).toInt(), green = match.captured(2).toInt(),
                      blue = match.captured(3).toInt();
            if (red > 255 || green > 255 || blue > 255)
                return problem(QT_TRANSLATE_NOOP("PaletteFile", "a une composante au-delà de 255"));
            *colours << qRgb(red, green, blue);
        } else {
            if (comment.match(line).hasMatch())
                continue;
            const QRegularExpressionMatch match = hexColour.match(line);
            if (!match.hasMatch())
                return problem(QT_TRANSLATE_NOOP(
                    "PaletteFile", "n'est ni une couleur #rrvvbb ni un commentaire (# suivi d'une espace)"));
            *colours << (0xff000000 | match.captured(1).toUInt(nullptr, 16));
        }
    }
    if (colours->isEmpty())
        return QCoreApplication::translate("PaletteFile", "aucune couleur");
    return QString();
}

QString readPaletteFile(const QString &path, QVector<QRgb> *colours)
{
    // A palette is a few lines: anything much larger is no palette.
    constexpr qint64 largest = 1 << 20;
    const QFileInfo info(path);
    if (!info.exists())
        return QCoreApplication::translate("PaletteFile", "%1 : fichier introuvable").arg(path);
    if (info.isDir())
        return QCoreApplication::translate("PaletteFile", "%1 : c'est un dossier").arg(path);
    // Opened as pictures are: a FIFO or a device would wait for ever, or never end.
    PictureSource file(path);
    switch (file.openRegularFile()) {
    case PictureSource::Opened:
        break;
    case PictureSource::NotARegularFile:
        return QCoreApplication::translate("PaletteFile", "%1 : pas un fichier ordinaire").arg(path);
    case PictureSource::Unreadable:
        return QCoreApplication::translate("PaletteFile", "%1 : lecture impossible").arg(path);
    }
    const QByteArray text = file.read(largest + 1);
    if (text.size() > largest)
        return QCoreApplication::translate("PaletteFile", "%1 : fichier trop grand pour une palette")
            .arg(path);
    const QString problem = parsePalette(text, colours);
    return problem.isEmpty() ? problem
                             : QCoreApplication::translate("PaletteFile", "%1, %2").arg(path, problem);
}
