#include "about_text.h"

#include "product.h"

QString aboutText()
{
    const QString link = QStringLiteral("<a href=\"%1\">%1</a>").arg(QString::fromUtf8(Quillon::webAddress));
    return QString::fromUtf8(
               "<p>Ce logiciel permet de transformer une image (jpg, png, gif, bmp) en une image BMP 16 bits "
               "et "
               "genère un fichier d'en-tête  (.h) contenant l'image sous forme d'un tableau d'octets.</p>"
               "<p>Ceci est utile pour générer des fichiers ressources quand on programme sur Arduino ou sur "
               "STM32 "
               "par exemple.</p>"
               "<p>2 fichiers sont générés :</p>"
               "<ul>"
               "<li>un .h portant le même nom que l'image source (seule l'extension change)</li>"
               "<li>un .bmp qui reprends le même nom que l'image source avec \"16bits\"  ajouté à la "
               "fin.</li></ul>"
               "<h2>Utilisation</h2>"
               "<ol>"
               "<li>Ouvrir l'image à convertir, pour cela 3 possibilités :</li>"
               "<ul>"
               "<li>La faire glisser dans la zone \"Image source\"</li>"
               "<li>Icône \"ouvrir\" de la barre d'outils</li>"
               "<li>Menu \"Fichier => Ouvrir\"</li></ul>"
               "<li>Changer éventuellement le dossier de destination</li>"
               "<li>Cliquer sur \"Convertir\"</li></ol>"
               "<br/><br/>")
        + link + QString::fromUtf8(" <br/><br/>Ce  logiciel a été développé avec Qt.");
}
