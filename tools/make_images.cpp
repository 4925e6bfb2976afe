// Draws Quillon's pictures:
//   logo.png          100 x 100, 8-bit RGB, no alpha: the program's logo
//   folder-open.png   128 x 128, 8-bit palette with a transparent background: "Ouvrir"
//   information.png   126 x 128, 8-bit palette with a transparent background: "A propos..."
//   quillon.ico       the logo as a 100 x 100, 256-colour Windows icon without transparency
// and, for the Linux desktop, the logo at 48, 64, 128 and 256 pixels (DESKTOP_FOLDER/icons/SIZE);
// and the pictures of the firmware examples, in FIRMWARE_FOLDER:
//   project/images/logo.png            64 x 32, the name on the logo's colours
//   project/images/splash-screen.jpg   96 x 64, the name on a gradient
//   ssd1306/images/logo.png            200 x 90, the name in white on black, for an OLED
//
//     quillon_make_images IMAGES_FOLDER DESKTOP_FOLDER FIRMWARE_FOLDER

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

const QColor orange(0xF2, 0x8C, 0x1C);
const QColor blue(0x1F, 0x5F, 0xB4);
const QColor brown(0x7A, 0x4A, 0x22);
const QColor lightBrown(0xB8, 0x7A, 0x3C);
const QColor grey(0x8C, 0x8C, 0x8C);
const QColor lightGrey(0xC8, 0xC8, 0xC8);
const QColor darkGrey(0x6A, 0x6A, 0x6A);

QFont boldFont(const QString &family, qreal pixelSize)
{
    QFont font(family);
    font.setBold(true);
    font.setPixelSize(int(pixelSize));
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

// Orange "Quillon" across the upper part, blue "565" below, on a grey field split by a diagonal.
QImage drawLogo(int size, const QString &family)
{
    QImage image(size, size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(size / 100.0, size / 100.0);

    painter.fillRect(QRectF(0, 0, 100, 100), lightGrey);
    painter.setPen(Qt::NoPen);
    painter.setBrush(grey);
    painter.drawPolygon(QPolygonF({QPointF(100, 0), QPointF(100, 100), QPointF(0, 100)}));

    painter.setPen(orange.darker(115));
    painter.setFont(boldFont(family, 19));
    painter.drawText(QRectF(0, 12, 100, 34), Qt::AlignCenter, QStringLiteral("Quillon"));
    painter.setPen(blue);
    painter.setFont(boldFont(family, 34));
    painter.drawText(QRectF(0, 46, 100, 44), Qt::AlignCenter, QStringLiteral("565"));
    return image;
}

// Orange "Quillon" above blue "565" on a background, in a picture of any proportions.
QImage drawBanner(QSize size, const QString &family, const QBrush &background, const QColor &text)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(image.rect(), background);
    const qreal h = size.height();
    painter.setPen(text.isValid() ? text : orange.darker(115));
    painter.setFont(boldFont(family, h * 0.36));
    painter.drawText(QRectF(0, 0, size.width(), h * 0.5), Qt::AlignCenter, QStringLiteral("Quillon"));
    painter.setPen(text.isValid() ? text : blue);
    painter.setFont(boldFont(family, h * 0.4));
    painter.drawText(QRectF(0, h * 0.45, size.width(), h * 0.55), Qt::AlignCenter, QStringLiteral("565"));
    return image;
}

// A brown open folder whose front flap has an orange stripe along its edge.
QImage drawFolder()
{
    QImage image(128, 128, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    QPainterPath back;
    back.moveTo(10, 28);
    back.lineTo(48, 28);
    back.lineTo(58, 38);
    back.lineTo(108, 38);
    back.lineTo(108, 104);
    back.lineTo(10, 104);
    back.closeSubpath();
    painter.setPen(QPen(brown.darker(130), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(brown);
    painter.drawPath(back);

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xF4, 0xEE, 0xE0));
    painter.drawRect(QRectF(20, 44, 80, 40)); // a sheet of paper inside

    QPolygonF flap({QPointF(26, 58), QPointF(122, 58), QPointF(106, 106), QPointF(8, 106)});
    painter.setPen(QPen(brown.darker(130), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(lightBrown);
    painter.drawPolygon(flap);
    painter.setPen(QPen(orange, 7, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(QPointF(26, 64), QPointF(120, 64));
    return image;
}

// A grey question mark on an orange disc inside a brown ring.
QImage drawInformation(const QString &family)
{
    QImage image(126, 128, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    const QRectF disc(4, 5, 118, 118);
    painter.setPen(Qt::NoPen);
    painter.setBrush(brown);
    painter.drawEllipse(disc);
    painter.setBrush(orange);
    painter.drawEllipse(disc.adjusted(12, 12, -12, -12));

    painter.setPen(darkGrey);
    painter.setFont(boldFont(family, 78));
    painter.drawText(disc.translated(0, 2), Qt::AlignCenter, QStringLiteral("?"));
    return image;
}

// Reduces a picture with transparent areas to at most 256 colours, alpha included, by rounding
// the channels ever more coarsely until few enough distinct colours remain.
QImage toPalette(const QImage &source)
{
    const QImage argb = source.convertToFormat(QImage::Format_ARGB32);
    for (int shift = 0; shift < 8; ++shift) {
        const auto round = [shift](int value) {
            if (shift == 0)
                return value;
            const int step = 1 << shift;
            return qMin(255, (value + step / 2) / step * step);
        };
        QHash<QRgb, int> indexOf;
        QVector<QRgb> table;
        QImage indexed(argb.size(), QImage::Format_Indexed8);
        bool fits = true;
        for (int y = 0; y < argb.height() && fits; ++y) {
            for (int x = 0; x < argb.width(); ++x) {
                const QRgb pixel = argb.pixel(x, y);
                const int alpha = round(qAlpha(pixel));
                const QRgb colour = alpha == 0
                    ? qRgba(0, 0, 0, 0)
                    : qRgba(round(qRed(pixel)), round(qGreen(pixel)), round(qBlue(pixel)), alpha);
                auto found = indexOf.constFind(colour);
                if (found == indexOf.constEnd()) {
                    if (table.size() == 256) {
                        fits = false;
                        break;
                    }
                    found = indexOf.insert(colour, table.size());
                    table.append(colour);
                }
                indexed.scanLine(y)[x] = uchar(*found);
            }
        }
        if (fits) {
            indexed.setColorTable(table);
            return indexed;
        }
    }
    qFatal("cannot reduce the picture to 256 colours");
}

void save(const QImage &image, const QString &path)
{
    if (!image.save(path, "PNG"))
        qFatal("cannot write %s", qPrintable(path));
}

// A Windows icon with one 8-bit palette image and an all-opaque mask.
void saveIco(const QImage &opaque, const QString &path)
{
    const QImage indexed = toPalette(opaque);
    const int width = indexed.width();
    const int height = indexed.height();
    const int pixelRow = (width + 3) / 4 * 4;
    const int maskRow = (width + 31) / 32 * 4;
    const quint32 imageBytes = quint32(40 + 256 * 4 + (pixelRow + maskRow) * height);

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    QDataStream out(&file);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << quint16(1) << quint16(1); // icon directory with one entry
    out << quint8(width) << quint8(height) << quint8(0) << quint8(0) << quint16(1) << quint16(8) << imageBytes
        << quint32(22);
    out << quint32(40) << qint32(width) << qint32(height * 2) << quint16(1) << quint16(8) << quint32(0)
        << quint32((pixelRow + maskRow) * height) << qint32(0) << qint32(0) << quint32(256) << quint32(0);
    const QVector<QRgb> table = indexed.colorTable();
    for (int i = 0; i < 256; ++i) {
        const QRgb colour = table.value(i, qRgb(0, 0, 0));
        out << quint8(qBlue(colour)) << quint8(qGreen(colour)) << quint8(qRed(colour)) << quint8(0);
    }
    for (int y = height - 1; y >= 0; --y) {
        out.writeRawData(reinterpret_cast<const char *>(indexed.constScanLine(y)), width);
        for (int pad = width; pad < pixelRow; ++pad)
            out << quint8(0);
    }
    for (int i = 0; i < maskRow * height; ++i)
        out << quint8(0);
    if (out.status() != QDataStream::Ok || !file.flush())
        qFatal("cannot write %s", qPrintable(path));
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s IMAGES_FOLDER DESKTOP_FOLDER FIRMWARE_FOLDER\n", argv[0]);
        return 2;
    }
    const int fontId
        = QFontDatabase::addApplicationFont("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf");
    if (fontId < 0)
        qFatal("DejaVu Sans Bold is missing (Debian package fonts-dejavu-core)");
    const QString family = QFontDatabase::applicationFontFamilies(fontId).value(0);
    const QString images = QString::fromLocal8Bit(argv[1]);
    const QString desktop = QString::fromLocal8Bit(argv[2]);

    const QImage logo = drawLogo(100, family);
    save(logo, images + "/logo.png");
    save(toPalette(drawFolder()), images + "/folder-open.png");
    save(toPalette(drawInformation(family)), images + "/information.png");
    saveIco(logo, images + "/quillon.ico");
    // The hicolor theme's usual sizes, each drawn at its size rather than scaled from another.
    for (int size : {48, 64, 128, 256}) {
        const QString folder = desktop + QStringLiteral("/icons/%1x%1").arg(size);
        if (!QDir().mkpath(folder))
            qFatal("cannot create %s", qPrintable(folder));
        save(drawLogo(size, family), folder + "/dev.quillon.Quillon.png");
    }

    const QString firmware = QString::fromLocal8Bit(argv[3]);
    for (const char *folder : {"/project/images", "/ssd1306/images"}) {
        if (!QDir().mkpath(firmware + folder))
            qFatal("cannot create %s", qPrintable(firmware + folder));
    }
    save(drawBanner(QSize(64, 32), family, lightGrey, QColor()), firmware + "/project/images/logo.png");
    QLinearGradient sky(0, 0, 96, 64);
    sky.setColorAt(0, lightGrey);
    sky.setColorAt(1, grey);
    if (!drawBanner(QSize(96, 64), family, sky, QColor())
             .save(firmware + "/project/images/splash-screen.jpg", "JPEG", 90))
        qFatal("cannot write the splash screen");
    save(drawBanner(QSize(200, 90), family, Qt::black, Qt::white), firmware + "/ssd1306/images/logo.png");
    return 0;
}
