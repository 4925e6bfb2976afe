#include "mainwindow.h"
#include "product.h"
#include "windowtestsupport.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QMessageBox>

using namespace TestSupport;

class TestAboutBox : public QObject
{
    Q_OBJECT

private slots:
    void showsTheWholeText();
    void isModelessAndOwnedByTheWindow();
    void showsTheTitleAtTheMomentOfTheClick();
};

namespace {

QList<QMessageBox *> aboutBoxes(MainWindow &window)
{
    return window.findChildren<QMessageBox *>(QString(), Qt::FindDirectChildrenOnly);
}

QMessageBox *openAboutBox(MainWindow &window)
{
    const int before = aboutBoxes(window).size();
    childOf<QAction>(&window, "actionA_propos")->trigger();
    const QList<QMessageBox *> boxes = aboutBoxes(window);
    if (boxes.size() != before + 1)
        qFatal("no new about box");
    return boxes.last();
}

} // namespace

void TestAboutBox::showsTheWholeText()
{
    MainWindow window;
    QMessageBox *box = openAboutBox(window);

    const QString link = QString("<a href=\"%1\">%1</a>").arg(Quillon::webAddress);
    const QStringList pieces = {
        "<h1>Quillon 1.0</h1>",
        "<p>Ce logiciel permet de transformer une image (jpg, png, gif, bmp) en une image BMP 16 bits et "
        "genère un "
        "fichier d'en-tête  (.h) contenant l'image sous forme d'un tableau d'octets.</p>",
        "<p>Ceci est utile pour générer des fichiers ressources quand on programme sur Arduino ou sur STM32 "
        "par "
        "exemple.</p>",
        "<p>2 fichiers sont générés :</p>",
        "<ul>",
        "<li>un .h portant le même nom que l'image source (seule l'extension change)</li>",
        "<li>un .bmp qui reprends le même nom que l'image source avec \"16bits\"  ajouté à la fin.</li></ul>",
        "<h2>Utilisation</h2>",
        "<ol>",
        "<li>Ouvrir l'image à convertir, pour cela 3 possibilités :</li>",
        "<ul>",
        "<li>La faire glisser dans la zone \"Image source\"</li>",
        "<li>Icône \"ouvrir\" de la barre d'outils</li>",
        "<li>Menu \"Fichier => Ouvrir\"</li></ul>",
        "<li>Changer éventuellement le dossier de destination</li>",
        "<li>Cliquer sur \"Convertir\"</li></ol>",
        "<br/><br/>",
        link,
        " <br/><br/>Ce  logiciel a été développé avec Qt.",
    };
    // Piece by piece, so that a difference names the piece it is in.
    QString rest = box->text();
    for (const QString &piece : pieces) {
        QCOMPARE(rest.left(piece.size()), piece);
        rest = rest.mid(piece.size());
    }
    QCOMPARE(rest, QString());
    QCOMPARE(box->text().count("  "), 3);

    QCOMPARE(box->textFormat(), Qt::RichText);
    QCOMPARE(box->windowTitle(), QString("Quillon 1.0"));
    QCOMPARE(box->iconPixmap().size(), QSize(100, 100));
    QCOMPARE(box->iconPixmap().toImage().convertToFormat(QImage::Format_RGB32),
             QImage(":/logo.png").convertToFormat(QImage::Format_RGB32));
    QVERIFY(!box->windowIcon().isNull());
    QCOMPARE(box->buttons().size(), 1);
    QVERIFY(box->button(QMessageBox::Ok));
}

void TestAboutBox::isModelessAndOwnedByTheWindow()
{
    QPointer<QMessageBox> first;
    QPointer<QMessageBox> second;
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        first = openAboutBox(window);
        QVERIFY(first->isVisible());
        QVERIFY(!first->isModal());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QCOMPARE(first->parent(), &window);

        // A second trigger opens a second box beside the first.
        second = openAboutBox(window);
        QVERIFY(first->isVisible() && second->isVisible());
        QVERIFY(first != second);

        // Closing hides a box; it lives on until the window goes.
        second->button(QMessageBox::Ok)->click();
        QVERIFY(!second->isVisible());
        QVERIFY(second);
    }
    QVERIFY(!first);
    QVERIFY(!second);
}

void TestAboutBox::showsTheTitleAtTheMomentOfTheClick()
{
    MainWindow window;
    window.setWindowTitle("Autre titre");
    QMessageBox *box = openAboutBox(window);
    QVERIFY(box->text().startsWith("<h1>Autre titre</h1><p>Ce logiciel"));
    QCOMPARE(box->windowTitle(), QString("Autre titre"));
}

QTEST_MAIN(TestAboutBox)
#include "tst_aboutbox.moc"
