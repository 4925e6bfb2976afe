<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="fr_FR">
<context>
    <name>DisplayFormat</name>
    <message>
        <source>les pixels en valeurs 16 bits 5-6-5, de la ligne du haut à celle du bas</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 bit par pixel, ligne par ligne, bit fort à gauche</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 bit par pixel, ligne par ligne, bit faible à gauche</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>pages de 8 lignes des SSD1306 et SH1106</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>256 gris, un octet par pixel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>16 gris, deux pixels par octet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>palette 5-6-5 de 16 couleurs, deux pixels par octet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>palette 5-6-5 de 256 couleurs, un octet par pixel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>une image lv_image_dsc_t de LVGL (lv_img_dsc_t de LVGL 8)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>4 gris de l&apos;encre électronique, quatre pixels par octet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>encre noire et rouge : plans NOM_black et NOM_red, 0 où va l&apos;encre</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>encre noire et jaune : plans NOM_black et NOM_yellow, 0 où va l&apos;encre</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>les 7 couleurs des écrans ACeP, deux pixels par octet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>image trop grande pour LVGL %1 : %2 x %3 pixels, %4 au plus de côté%5</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> et 65 535 octets par ligne</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--lvgl-version : « %1 » inconnue (8 ou 9)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--lvgl-cf : « %1 » inconnu pour LVGL %2 (%3)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--swap-bytes ne s&apos;emploie pas avec LVGL 8 : ses tableaux ont les deux ordres, que choisit LV_COLOR_16_SWAP</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--swap-bytes ne s&apos;emploie avec LVGL qu&apos;en RGB565</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--stride-align ne s&apos;emploie pas avec LVGL 8</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--compress : « %1 » inconnu (rle ou lz4)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--compress ne s&apos;emploie pas avec LVGL 8, qui ne lit pas d&apos;image compressée</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--progmem ne s&apos;emploie pas avec --format lvgl : LVGL lit ses images en mémoire ordinaire</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--threshold ne s&apos;emploie avec LVGL qu&apos;avec --lvgl-cf I1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--invert ne s&apos;emploie avec LVGL qu&apos;avec --lvgl-cf I1 ou L8</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Options</name>
    <message>
        <source>quillon-convert: %1 : %2, qu&apos;elle écrirait, est l&apos;image %3 de la même commande ; rien n&apos;a été écrit
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>quillon-convert: %1
Essayez « quillon-convert --help » pour plus d&apos;informations.
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>quillon-convert: interrompu
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>option inconnue « %1%2 »</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>l&apos;option « %1 » n&apos;attend pas de valeur</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>un dossier</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>un nom</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>une valeur</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>l&apos;option « %1 » attend %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--crop : « %1 » n&apos;est pas un rectangle X,Y,LARGEURxHAUTEUR (par exemple 10,20,128x64)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--rotate : « %1 » n&apos;est pas un quart de tour (90, 180 ou 270)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--flip : « %1 » inconnu (h ou v)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--%1 ne s&apos;emploie qu&apos;avec --fit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--fit-mode : « %1 » inconnu (contain, cover ou stretch)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--canvas : « %1 » n&apos;est pas une taille LARGEURxHAUTEUR (par exemple 320x240)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--gravity ne s&apos;emploie qu&apos;avec --fit-mode cover ou --canvas</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--gravity : « %1 » inconnue (center, north, south, east, west, north-east, north-west, south-east ou south-west)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>couleur inconnue « %1 » (#rrvvbb ou un nom de couleur)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>la couleur « %1 » doit être opaque</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>le nom du tableau est vide</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>le nom « %1 » commence par un chiffre</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>le nom « %1 » n&apos;est pas un identifiant C (lettres ASCII, chiffres et _ seulement)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>le nom « %1 » est un mot réservé du C ou du C++</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>le nom « %1 » est celui d&apos;une fonction de la bibliothèque C que le compilateur connaît</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>le nom « %1 » commence par QUILLON_, comme les macros des en-têtes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>le nom « main » est celui de la fonction principale du programme</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>le nom « %1 » est réservé au compilateur (il commence par __ ou par _ et une majuscule)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>le nom « %1 » est de ceux que définit %2, que l&apos;en-tête inclut</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DOSSIER</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>écrit les fichiers dans DOSSIER (par défaut : le dossier de chaque image)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>remplace les fichiers qui existent déjà (un lien symbolique est remplacé lui-même, jamais sa cible)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>NOM</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>nomme NOM le tableau de la seule image indiquée (un identifiant C) ; deux images dont les en-têtes définiraient un même nom sont refusées</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>place les tableaux en mémoire programme sur AVR (PROGMEM, rien ailleurs) ; 32 767 octets au plus, environ 128 x 127 pixels. %1, lus avec pgm_read_byte, y vont sans cette option</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>écrit les tableaux dans NOM.c, à compiler avec le programme, et les déclare extern dans NOM.h</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>FORMAT</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ce que contient le tableau, l&apos;un des formats ci-dessous (bmp par défaut)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>échange les deux octets de chaque valeur 5-6-5, pour les écrans qui reçoivent l&apos;octet fort d&apos;abord (la palette d&apos;index4 reste telle que TFT_eSPI l&apos;envoie)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>allume les pixels dont la luminance (Rec. 601) vaut au moins N, de 0 à 255 (par défaut 128) ; en I1 seulement avec lvgl</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>échange pixels allumés et éteints, inverse les niveaux de gris ; en L8 et I1 seulement avec lvgl</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ajoute NOM_mask, 1 bit par pixel, 1 où l&apos;image est opaque (alpha de 128 ou plus)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>COULEUR</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>écrit COULEUR pour les pixels transparents (alpha sous 128) et la donne dans NOM_transparent, dans l&apos;ordre que TFT_eSPI compare</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>le format de couleur de l&apos;image LVGL : RGB565 (par défaut, RGB565A8 si l&apos;image n&apos;est pas opaque), RGB565A8, RGB565_SWAPPED, RGB888, XRGB8888, ARGB8888, L8, A8, I1, I2, I4 ou I8</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>lv_image_dsc_t de LVGL 9 (par défaut) ou lv_img_dsc_t de LVGL 8</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>chaque ligne sur un multiple de N octets, complétée de zéros</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>compresse l&apos;image comme LVGL 9 la lit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>FICHIER</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>la palette de FICHIER au lieu d&apos;une palette choisie pour l&apos;image ; une palette GIMP (.gpl) ou une couleur #rrvvbb par ligne, les lignes vides et les commentaires (# et une espace) permis</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>X,Y,LxH</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ne garde que ce rectangle de l&apos;image</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>tourne l&apos;image d&apos;autant de degrés, dans le sens horaire</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>retourne l&apos;image de gauche à droite (h) ou de haut en bas (v) ; les deux si l&apos;option est donnée deux fois</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>LxH</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>réduit l&apos;image (sans jamais l&apos;agrandir) pour qu&apos;elle tienne dans L x H pixels, en gardant ses proportions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>avec --fit : dedans (par défaut), couvrant tout L x H et coupant ce qui dépasse autour de --gravity, ou exactement L x H sans garder les proportions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>avec --fit : agrandit aussi une image plus petite</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>pose l&apos;image sur un fond de L x H pixels exactement, de la couleur de --background (noir par défaut)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>GRAVITE</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>avec cover ou --canvas : center (par défaut), north, south, east, west, north-east, north-west, south-east ou south-west</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>diffuse l&apos;erreur (Floyd-Steinberg) vers les niveaux du format au lieu de tronquer chaque couleur</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>pose les pixels transparents sur COULEUR (#rrvvbb ou un nom de couleur) au lieu du noir</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>écrit aussi NOM16bits.png, l&apos;image telle que l&apos;écran l&apos;affichera</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>affiche cette aide et quitte</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>affiche la version et quitte</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 ou %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>avec %1 : %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>les octets du fichier BMP, comme la fenêtre (par défaut)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>aucune image indiquée</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>le dossier de destination est vide</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--format : format inconnu « %1 » (%2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--%1 ne s&apos;emploie qu&apos;avec --format %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--name ne nomme qu&apos;une image : les tableaux de %1 images porteraient le même nom</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--name : %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 : %2 ; renommez le fichier ou nommez son tableau avec --name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>les en-têtes de %1 et de %2 définiraient tous deux « %3 » : renommez l&apos;un des fichiers</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--stride-align : « %1 » n&apos;est pas un alignement de 1 à 1024 octets</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--threshold : « %1 » n&apos;est pas un seuil de 0 à 255</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--alpha : « %1 » inconnu (mask seulement)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--transparent : %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--fit : « %1 » n&apos;est pas une taille LARGEURxHAUTEUR (par exemple 128x64)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--palette : %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--palette : %1 a %2 couleurs, plus que les %3 que tient --format %4</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--background : %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Utilisation : quillon-convert [OPTION]... IMAGE...
Convertit chaque IMAGE (PNG, BMP, GIF, JPEG...) en une image BMP 16 bits (RVB 5-6-5)
NOM16bits.BMP et en un fichier d&apos;en-tête C NOM.h qui contient les octets de ce BMP,
exactement comme la fenêtre de Quillon. Chaque tableau porte le nom de son image,
fait identifiant C (« mon icône.png » donne mon_ic__ne, « 8x8.png » _8x8) ;
avec --name logo, les deux fichiers sont ceux de la fenêtre.

</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>
Formats de --format :
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>
L&apos;image est façonnée dans cet ordre : --crop, --rotate, --flip, --fit, --canvas.

Hors bmp, chaque en-tête a une garde et des tableaux static const : il se
compile en C et en C++, dans plusieurs fichiers d&apos;un programme.

Plusieurs images sont converties en parallèle, sur tous les cœurs.

Code de sortie : 0 si toutes les images ont été converties, 1 si l&apos;une d&apos;elles
ne l&apos;a pas été, 2 si la ligne de commande est incorrecte, 130 ou 143 si elle a
été interrompue.
</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PaletteFile</name>
    <message>
        <source>ligne %1 : « %2 » %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>n&apos;est pas une couleur R V B (trois nombres de 0 à 255)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>a une composante au-delà de 255</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>n&apos;est ni une couleur #rrvvbb ni un commentaire (# suivi d&apos;une espace)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>aucune couleur</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 : fichier introuvable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 : c&apos;est un dossier</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 : lecture impossible</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 : fichier trop grand pour une palette</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PictureGeometry</name>
    <message>
        <source>--crop %1,%2,%3x%4 sort de l&apos;image, de %5 x %6 pixels</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PictureJob</name>
    <message>
        <source>disque plein</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>accès refusé</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>système de fichiers en lecture seule</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>dossier introuvable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>nom de fichier trop long</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>c&apos;est un dossier</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>trop de liens symboliques</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>erreur d&apos;entrée-sortie</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>trop de fichiers ouverts</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>mémoire insuffisante</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>fichier occupé</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>déplacement impossible entre deux systèmes de fichiers</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>écriture impossible</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>erreur système %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>le verrou %1 ne dit pas quel processus le tient (vide, illisible, d&apos;une autre machine ou pas un fichier ordinaire) : attente de %2 s au plus avant de le remplacer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>interrompu</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>nom de fichier illisible : il n&apos;est pas codé en %1, renommez le fichier</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>fichier introuvable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>dossier de destination introuvable : %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 existe déjà, image ignorée (--force pour le remplacer)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 est un lien symbolique, image ignorée (--force pour remplacer le lien lui-même)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>impossible d&apos;écrire %1 : c&apos;est un dossier</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>impossible d&apos;écrire %1 : %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>impossible de terminer le remplacement laissé par une conversion interrompue (%1) : %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ce fichier ne semble pas être une image</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>image trop grande pour être convertie</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>image JPEG de trop de passes (plus de %1, ou trop longues à décoder), refusée</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>lecture impossible : %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>image illisible ou trop coûteuse à décoder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>image incomplète : le fichier s&apos;arrête avant la fin de l&apos;image</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>image trop grande pour --progmem : le tableau ferait %1 octets, avr-gcc en accepte 32 767 au plus (environ 128 x 127 pixels)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
