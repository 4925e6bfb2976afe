<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="fr_FR">
<context>
    <name>AnimationDecoding</name>
    <message>
        <source>--frames %1 : cette image n&apos;en a qu&apos;une</source>
        <translation>--frames %1: this picture has only one</translation>
    </message>
    <message>
        <source>--frames %1 : cette image n&apos;en a que %2</source>
        <translation>--frames %1: this picture has only %2</translation>
    </message>
    <message>
        <source>animation de %1 images, refusée : %2 au plus (choisissez-en avec --frames A-B)</source>
        <translation>animation of %1 frames, refused: %2 at most (choose some with --frames A-B)</translation>
    </message>
    <message>
        <source>animation de plus de %1 images, refusée (choisissez-en avec --frames A-B)</source>
        <translation>animation of more than %1 frames, refused (choose some with --frames A-B)</translation>
    </message>
    <message>
        <source>--frames : cette image est un PNG animé (APNG), dont Qt 5 ne lit que l&apos;image par défaut ; sans --frames, elle seule est convertie</source>
        <translation>--frames: this picture is an animated PNG (APNG), of which Qt 5 reads the default picture only; without --frames, that one alone is converted</translation>
    </message>
</context>
<context>
    <name>DisplayFormat</name>
    <message>
        <source>les pixels en valeurs 16 bits 5-6-5, de la ligne du haut à celle du bas</source>
        <translation>the pixels as 16-bit 5-6-5 values, from the top row to the bottom one</translation>
    </message>
    <message>
        <source>1 bit par pixel, ligne par ligne, bit fort à gauche</source>
        <translation>1 bit per pixel, row by row, most significant bit leftmost</translation>
    </message>
    <message>
        <source>1 bit par pixel, ligne par ligne, bit faible à gauche</source>
        <translation>1 bit per pixel, row by row, least significant bit leftmost</translation>
    </message>
    <message>
        <source>pages de 8 lignes des SSD1306 et SH1106</source>
        <translation>pages of 8 rows, as SSD1306 and SH1106 take them</translation>
    </message>
    <message>
        <source>256 gris, un octet par pixel</source>
        <translation>256 greys, one byte per pixel</translation>
    </message>
    <message>
        <source>16 gris, deux pixels par octet</source>
        <translation>16 greys, two pixels per byte</translation>
    </message>
    <message>
        <source>palette 5-6-5 de 16 couleurs, deux pixels par octet</source>
        <translation>a 5-6-5 palette of 16 colours, two pixels per byte</translation>
    </message>
    <message>
        <source>palette 5-6-5 de 256 couleurs, un octet par pixel</source>
        <translation>a 5-6-5 palette of 256 colours, one byte per pixel</translation>
    </message>
    <message>
        <source>une image lv_image_dsc_t de LVGL (lv_img_dsc_t de LVGL 8)</source>
        <translation>an LVGL lv_image_dsc_t picture (LVGL 8&apos;s lv_img_dsc_t)</translation>
    </message>
    <message>
        <source>4 gris de l&apos;encre électronique, quatre pixels par octet</source>
        <translation>4 greys of electronic ink, four pixels per byte</translation>
    </message>
    <message>
        <source>encre noire et rouge : plans NOM_black et NOM_red, 0 où va l&apos;encre</source>
        <translation>black and red ink: planes NAME_black and NAME_red, 0 where the ink goes</translation>
    </message>
    <message>
        <source>encre noire et jaune : plans NOM_black et NOM_yellow, 0 où va l&apos;encre</source>
        <translation>black and yellow ink: planes NAME_black and NAME_yellow, 0 where the ink goes</translation>
    </message>
    <message>
        <source>les 7 couleurs des écrans ACeP, deux pixels par octet</source>
        <translation>the 7 colours of ACeP panels, two pixels per byte</translation>
    </message>
    <message>
        <source>les 4 encres noire, blanche, jaune et rouge (Waveshare G), quatre pixels par octet</source>
        <translation>the 4 inks black, white, yellow and red (Waveshare&apos;s G), four pixels per byte</translation>
    </message>
    <message>
        <source>les 6 encres des écrans Spectra 6 (Waveshare E), deux pixels par octet</source>
        <translation>the 6 inks of Spectra 6 panels (Waveshare&apos;s E), two pixels per byte</translation>
    </message>
    <message>
        <source>image trop grande pour LVGL %1 : %2 x %3 pixels, %4 au plus de côté%5</source>
        <translation>picture too large for LVGL %1: %2 x %3 pixels, at most %4 a side%5</translation>
    </message>
    <message>
        <source> et 65 535 octets par ligne</source>
        <translation> and 65,535 bytes a row</translation>
    </message>
    <message>
        <source>--lvgl-version : « %1 » inconnue (8 ou 9)</source>
        <translation>--lvgl-version: unknown &apos;%1&apos; (8 or 9)</translation>
    </message>
    <message>
        <source>--lvgl-cf : « %1 » inconnu pour LVGL %2 (%3)</source>
        <translation>--lvgl-cf: &apos;%1&apos; unknown to LVGL %2 (%3)</translation>
    </message>
    <message>
        <source>--swap-bytes ne s&apos;emploie pas avec LVGL 8 : ses tableaux ont les deux ordres, que choisit LV_COLOR_16_SWAP</source>
        <translation>--swap-bytes does not go with LVGL 8: its arrays hold both byte orders, chosen by LV_COLOR_16_SWAP</translation>
    </message>
    <message>
        <source>--swap-bytes ne s&apos;emploie avec LVGL qu&apos;en RGB565</source>
        <translation>--swap-bytes goes with LVGL in RGB565 only</translation>
    </message>
    <message>
        <source>--stride-align ne s&apos;emploie pas avec LVGL 8</source>
        <translation>--stride-align does not go with LVGL 8</translation>
    </message>
    <message>
        <source>--compress : « %1 » inconnu (rle ou lz4)</source>
        <translation>--compress: unknown &apos;%1&apos; (rle or lz4)</translation>
    </message>
    <message>
        <source>--compress ne s&apos;emploie pas avec LVGL 8, qui ne lit pas d&apos;image compressée</source>
        <translation>--compress does not go with LVGL 8, which reads no compressed picture</translation>
    </message>
    <message>
        <source>--progmem ne s&apos;emploie pas avec --format lvgl : LVGL lit ses images en mémoire ordinaire</source>
        <translation>--progmem does not go with --format lvgl: LVGL reads its pictures from ordinary memory</translation>
    </message>
    <message>
        <source>--threshold ne s&apos;emploie avec LVGL qu&apos;avec --lvgl-cf I1</source>
        <translation>--threshold goes with LVGL only with --lvgl-cf I1</translation>
    </message>
    <message>
        <source>--%1 ne s&apos;emploie pas avec --lvgl-cf %2, dont les couleurs sont coupées à leurs bits de poids fort</source>
        <translation>--%1 does not go with --lvgl-cf %2, whose colours are cut to their highest bits</translation>
    </message>
    <message>
        <source>--invert ne s&apos;emploie avec LVGL qu&apos;avec --lvgl-cf I1 ou L8</source>
        <translation>--invert goes with LVGL only with --lvgl-cf I1 or L8</translation>
    </message>
    <message>
        <source>--%1 ne s&apos;emploie pas avec --format rgb888, qui garde chaque couleur telle quelle</source>
        <translation>--%1 does not go with --format rgb888, which keeps each colour as it is</translation>
    </message>
    <message>
        <source>3-3-2, un octet par pixel : rouge aux bits 7-5, vert aux bits 4-2, bleu aux bits 1-0</source>
        <translation>3-3-2, one byte per pixel: red in bits 7-5, green in bits 4-2, blue in bits 1-0</translation>
    </message>
    <message>
        <source>4-4-4 des ST7735 et ST7789 en couleurs 12 bits : deux pixels en trois octets, les lignes à la suite</source>
        <translation>4-4-4 of ST7735 and ST7789 in 12-bit colour: two pixels in three bytes, the rows one after the other</translation>
    </message>
    <message>
        <source>6-6-6 de l&apos;ILI9488 en SPI : trois octets par pixel, rouge, vert, bleu, chacun sur ses 6 bits forts</source>
        <translation>6-6-6 of the ILI9488 over SPI: three bytes per pixel, red, green, blue, each in its 6 high bits</translation>
    </message>
    <message>
        <source>8-8-8 : trois octets par pixel, rouge, vert, bleu</source>
        <translation>8-8-8: three bytes per pixel, red, green, blue</translation>
    </message>
</context>
<context>
    <name>HeaderDecoding</name>
    <message>
        <source>%1 octets, plus que les %2 qu&apos;un en-tête peut avoir</source>
        <translation>%1 bytes, more than the %2 a header may have</translation>
    </message>
    <message>
        <source>%1 manque à côté de lui : il tient les tableaux</source>
        <translation>%1 is missing beside it: it holds the arrays</translation>
    </message>
    <message>
        <source>%1 : impossible de créer le dossier %2</source>
        <translation>%1: cannot create the folder %2</translation>
    </message>
    <message>
        <source>%1 : %2 existe déjà (--force pour le remplacer)</source>
        <translation>%1: %2 already exists (--force to replace it)</translation>
    </message>
    <message>
        <source>%1 : impossible d&apos;écrire %2 : %3</source>
        <translation>%1: cannot write %2: %3</translation>
    </message>
    <message>
        <source>%1 écrit</source>
        <translation>%1 written</translation>
    </message>
    <message>
        <source>%1 : illisible : %2</source>
        <translation>%1: unreadable: %2</translation>
    </message>
</context>
<context>
    <name>HeaderReading</name>
    <message>
        <source>commentaire /* jamais fermé</source>
        <translation>comment /* never closed</translation>
    </message>
    <message>
        <source>chaîne jamais fermée</source>
        <translation>string never closed</translation>
    </message>
    <message>
        <source>octet 0x%1 hors d&apos;un commentaire</source>
        <translation>byte 0x%1 outside a comment</translation>
    </message>
    <message>
        <source>nombre illisible « %1 »</source>
        <translation>unreadable number “%1”</translation>
    </message>
    <message>
        <source>ligne %1 : %2</source>
        <translation>line %1: %2</translation>
    </message>
    <message>
        <source>accolade jamais fermée</source>
        <translation>brace never closed</translation>
    </message>
    <message>
        <source>%1 : le fichier s&apos;arrête au milieu du tableau, après %2 valeurs</source>
        <translation>%1: the file ends in the middle of the array, after %2 values</translation>
    </message>
    <message>
        <source>%1 : #if imbriqués dans le tableau</source>
        <translation>%1: nested #if in the array</translation>
    </message>
    <message>
        <source>%1 : « %2 » au lieu d&apos;un nombre</source>
        <translation>%1: “%2” instead of a number</translation>
    </message>
    <message>
        <source>%1 : virgule manquante</source>
        <translation>%1: missing comma</translation>
    </message>
    <message>
        <source>%1 : la valeur %2 dépasse %3, le plus grand %4</source>
        <translation>%1: the value %2 exceeds %3, the largest %4</translation>
    </message>
    <message>
        <source>%1 : %2 valeurs au lieu des %3 que déclare sa taille</source>
        <translation>%1: %2 values instead of the %3 its size declares</translation>
    </message>
    <message>
        <source>%1 : tableau défini deux fois</source>
        <translation>%1: array defined twice</translation>
    </message>
    <message>
        <source>%1 octets, plus que les %2 qu&apos;un en-tête peut avoir</source>
        <translation>%1 bytes, more than the %2 a header may have</translation>
    </message>
    <message>
        <source>%1 : tableau codé vide</source>
        <translation>%1: empty coded array</translation>
    </message>
    <message>
        <source>%1 : %2 octets stockés tels quels au lieu de %3</source>
        <translation>%1: %2 bytes stored as they are instead of %3</translation>
    </message>
    <message>
        <source>%1 : unité de codage %2 inconnue</source>
        <translation>%1: unknown coding unit %2</translation>
    </message>
    <message>
        <source>%1 : le flux codé s&apos;arrête après %2 octets des %3 du tableau</source>
        <translation>%1: the coded stream ends after %2 bytes of the array&apos;s %3</translation>
    </message>
    <message>
        <source>%1 : le flux codé s&apos;arrête au milieu d&apos;un paquet</source>
        <translation>%1: the coded stream ends in the middle of a packet</translation>
    </message>
    <message>
        <source>%1 : le flux codé déborde des %2 octets du tableau</source>
        <translation>%1: the coded stream overruns the array&apos;s %2 bytes</translation>
    </message>
    <message>
        <source>%1 : %2 octets après la fin du flux codé</source>
        <translation>%1: %2 bytes after the end of the coded stream</translation>
    </message>
    <message>
        <source>%1 : des valeurs de %2 octets au lieu de %3</source>
        <translation>%1: values of %2 bytes instead of %3</translation>
    </message>
    <message>
        <source>%1 : %2 manque</source>
        <translation>%1: %2 is missing</translation>
    </message>
    <message>
        <source>%1 : %2 vaut %3 au lieu de %4</source>
        <translation>%1: %2 is %3 instead of %4</translation>
    </message>
    <message>
        <source>%1 : des valeurs de %2 octets au lieu de 1</source>
        <translation>%1: values of %2 bytes instead of 1</translation>
    </message>
    <message>
        <source>%1 : tableau introuvable</source>
        <translation>%1: array not found</translation>
    </message>
    <message>
        <source>%1 : %2 octets au lieu des %3 d&apos;une image de cette taille</source>
        <translation>%1: %2 bytes instead of the %3 of a picture of that size</translation>
    </message>
    <message>
        <source>%1 : encre noire et de couleur au même pixel (%2, %3)</source>
        <translation>%1: black and coloured ink at the same pixel (%2, %3)</translation>
    </message>
    <message>
        <source>%1 : code de couleur %2 inconnu de %3 (pixel %4, %5)</source>
        <translation>%1: colour code %2 unknown to %3 (pixel %4, %5)</translation>
    </message>
    <message>
        <source>le format %1 ne se relit pas</source>
        <translation>the format %1 cannot be read back</translation>
    </message>
    <message>
        <source>%1 : taille %2 x %3 illisible</source>
        <translation>%1: unreadable size %2 x %3</translation>
    </message>
    <message>
        <source>%1 : %2 x %3 pixels en %4 image(s), plus que les 256 Mio que peuvent occuper les images relues</source>
        <translation>%1: %2 x %3 pixels in %4 picture(s), more than the 256 MiB pictures read back may take</translation>
    </message>
    <message>
        <source>%1 : %2 octets, moins que l&apos;en-tête BMP</source>
        <translation>%1: %2 bytes, fewer than the BMP header</translation>
    </message>
    <message>
        <source>%1 : fichier BMP qui n&apos;est pas celui de Quillon</source>
        <translation>%1: a BMP file that is not Quillon&apos;s</translation>
    </message>
    <message>
        <source>%1 : %2 octets au lieu des %3 d&apos;un BMP de %4 x %5</source>
        <translation>%1: %2 bytes instead of the %3 of a BMP of %4 x %5</translation>
    </message>
    <message>
        <source>format inconnu dans « %1 »</source>
        <translation>unknown format in “%1”</translation>
    </message>
    <message>
        <source>pas un en-tête de Quillon : ni la ligne « %1 » ni tableau BMP ; pour un autre tableau, donnez --format et --size</source>
        <translation>not a header of Quillon&apos;s: neither the line “%1” nor a BMP array; for another array, give --format and --size</translation>
    </message>
    <message>
        <source>ni NOM_width ni NOM_height</source>
        <translation>neither NAME_width nor NAME_height</translation>
    </message>
    <message>
        <source>aucun tableau de nombres</source>
        <translation>no array of numbers</translation>
    </message>
    <message>
        <source>le format %1 ne se relit pas d&apos;un tableau seul</source>
        <translation>the format %1 cannot be read back from an array alone</translation>
    </message>
    <message>
        <source>aucun descripteur d&apos;image LVGL</source>
        <translation>no LVGL image descriptor</translation>
    </message>
    <message>
        <source>%1 : descripteur LVGL illisible</source>
        <translation>%1: unreadable LVGL descriptor</translation>
    </message>
    <message>
        <source>%1 : format de couleur %2 inconnu de LVGL %3</source>
        <translation>%1: colour format %2 unknown to LVGL %3</translation>
    </message>
    <message>
        <source>%1 : lignes de %2 octets, moins que leurs pixels</source>
        <translation>%1: rows of %2 bytes, fewer than their pixels</translation>
    </message>
    <message>
        <source>%1 : %2 octets, moins que l&apos;en-tête de compression de LVGL</source>
        <translation>%1: %2 bytes, fewer than LVGL&apos;s compression header</translation>
    </message>
    <message>
        <source>%1 : méthode de compression %2 inconnue</source>
        <translation>%1: unknown compression method %2</translation>
    </message>
    <message>
        <source>%1 : %2 octets compressés annoncés au lieu des %3 qui suivent</source>
        <translation>%1: %2 compressed bytes announced instead of the %3 that follow</translation>
    </message>
    <message>
        <source>%1 : %2 octets décompressés annoncés au lieu des %3 d&apos;une image de cette taille</source>
        <translation>%1: %2 decompressed bytes announced instead of the %3 of a picture of this size</translation>
    </message>
    <message>
        <source>%1 : le flux compressé s&apos;arrête avant les %2 octets de l&apos;image, ou il est abîmé</source>
        <translation>%1: the compressed stream ends before the picture&apos;s %2 bytes, or is damaged</translation>
    </message>
    <message>
        <source>%1 : le flux compressé déborde des %2 octets de l&apos;image</source>
        <translation>%1: the compressed stream overruns the picture&apos;s %2 bytes</translation>
    </message>
    <message>
        <source>%1 : drapeaux « %2 » inconnus</source>
        <translation>%1: unknown flags “%2”</translation>
    </message>
</context>
<context>
    <name>Options</name>
    <message>
        <source>quillon-convert: %1 : %2, qu&apos;elle écrirait, est l&apos;image %3 de la même commande ; rien n&apos;a été écrit
</source>
        <translation>quillon-convert: %1: %2, which it would write, is the picture %3 of the same command; nothing was written
</translation>
    </message>
    <message>
        <source>quillon-convert: %1
Essayez « quillon-convert --help » pour plus d&apos;informations.
</source>
        <translation>quillon-convert: %1
Try &apos;quillon-convert --help&apos; for more information.
</translation>
    </message>
    <message>
        <source>quillon-convert: interrompu
</source>
        <translation>quillon-convert: interrupted
</translation>
    </message>
    <message>
        <source>option inconnue « %1%2 »</source>
        <translation>unknown option &apos;%1%2&apos;</translation>
    </message>
    <message>
        <source>option inconnue « %1 » ; vouliez-vous dire « --%2 » ?</source>
        <translation>unknown option &apos;%1&apos;; did you mean &apos;--%2&apos;?</translation>
    </message>
    <message>
        <source>« %1 » : une option longue prend deux tirets ; vouliez-vous dire « --%2 » ?</source>
        <translation>&apos;%1&apos;: a long option takes two dashes; did you mean &apos;--%2&apos;?</translation>
    </message>
    <message>
        <source>l&apos;option « %1 » n&apos;attend pas de valeur</source>
        <translation>option &apos;%1&apos; takes no value</translation>
    </message>
    <message>
        <source>un dossier</source>
        <translation>a folder</translation>
    </message>
    <message>
        <source>un nom</source>
        <translation>a name</translation>
    </message>
    <message>
        <source>une valeur</source>
        <translation>a value</translation>
    </message>
    <message>
        <source>l&apos;option « %1 » attend %2</source>
        <translation>option &apos;%1&apos; needs %2</translation>
    </message>
    <message>
        <source>--crop : « %1 » n&apos;est pas un rectangle X,Y,LARGEURxHAUTEUR (par exemple 10,20,128x64)</source>
        <translation>--crop: &apos;%1&apos; is not a rectangle X,Y,WIDTHxHEIGHT (for example 10,20,128x64)</translation>
    </message>
    <message>
        <source>--rotate : « %1 » n&apos;est pas un quart de tour (90, 180 ou 270)</source>
        <translation>--rotate: &apos;%1&apos; is not a quarter turn (90, 180 or 270)</translation>
    </message>
    <message>
        <source>--flip : « %1 » inconnu (h ou v)</source>
        <translation>--flip: unknown &apos;%1&apos; (h or v)</translation>
    </message>
    <message>
        <source>--%1 ne s&apos;emploie qu&apos;avec --fit</source>
        <translation>--%1 goes only with --fit</translation>
    </message>
    <message>
        <source>--fit-mode : « %1 » inconnu (contain, cover ou stretch)</source>
        <translation>--fit-mode: unknown &apos;%1&apos; (contain, cover or stretch)</translation>
    </message>
    <message>
        <source>--canvas : « %1 » n&apos;est pas une taille LARGEURxHAUTEUR (par exemple 320x240)</source>
        <translation>--canvas: &apos;%1&apos; is not a size WIDTHxHEIGHT (for example 320x240)</translation>
    </message>
    <message>
        <source>--gravity ne s&apos;emploie qu&apos;avec --fit-mode cover ou --canvas</source>
        <translation>--gravity goes only with --fit-mode cover or --canvas</translation>
    </message>
    <message>
        <source>--gravity : « %1 » inconnue (center, north, south, east, west, north-east, north-west, south-east ou south-west)</source>
        <translation>--gravity: unknown &apos;%1&apos; (center, north, south, east, west, north-east, north-west, south-east or south-west)</translation>
    </message>
    <message>
        <source>--brightness : « %1 » n&apos;est pas une luminosité de %2 à %3</source>
        <translation>--brightness: &apos;%1&apos; is not a brightness from %2 to %3</translation>
    </message>
    <message>
        <source>--contrast : « %1 » n&apos;est pas un contraste de %2 à %3</source>
        <translation>--contrast: &apos;%1&apos; is not a contrast from %2 to %3</translation>
    </message>
    <message>
        <source>--gamma : « %1 » n&apos;est pas un gamma de %2 à %3</source>
        <translation>--gamma: &apos;%1&apos; is not a gamma from %2 to %3</translation>
    </message>
    <message>
        <source>couleur inconnue « %1 » (#rrvvbb ou un nom de couleur)</source>
        <translation>unknown colour &apos;%1&apos; (#rrggbb or a colour name)</translation>
    </message>
    <message>
        <source>la couleur « %1 » doit être opaque</source>
        <translation>the colour &apos;%1&apos; must be opaque</translation>
    </message>
    <message>
        <source>le nom du tableau est vide</source>
        <translation>the array&apos;s name is empty</translation>
    </message>
    <message>
        <source>le nom « %1 » commence par un chiffre</source>
        <translation>the name &apos;%1&apos; begins with a digit</translation>
    </message>
    <message>
        <source>le nom « %1 » n&apos;est pas un identifiant C (lettres ASCII, chiffres et _ seulement)</source>
        <translation>the name &apos;%1&apos; is not a C identifier (ASCII letters, digits and _ only)</translation>
    </message>
    <message>
        <source>le nom « %1 » est un mot réservé du C ou du C++</source>
        <translation>the name &apos;%1&apos; is a keyword of C or C++</translation>
    </message>
    <message>
        <source>le nom « %1 » est celui d&apos;une fonction de la bibliothèque C que le compilateur connaît</source>
        <translation>the name &apos;%1&apos; is that of a C library function the compiler knows</translation>
    </message>
    <message>
        <source>le nom « %1 » commence par QUILLON_, comme les macros des en-têtes</source>
        <translation>the name &apos;%1&apos; begins with QUILLON_, as the headers&apos; macros do</translation>
    </message>
    <message>
        <source>le nom « main » est celui de la fonction principale du programme</source>
        <translation>the name &apos;main&apos; is that of the program&apos;s main function</translation>
    </message>
    <message>
        <source>le nom « %1 » est réservé au compilateur (il commence par __ ou par _ et une majuscule)</source>
        <translation>the name &apos;%1&apos; is reserved to the compiler (it begins with __ or with _ and a capital)</translation>
    </message>
    <message>
        <source>le nom « %1 » est de ceux que définit %2, que l&apos;en-tête inclut</source>
        <translation>the name &apos;%1&apos; is one of those defined by %2, which the header includes</translation>
    </message>
    <message>
        <source>le nom « %1 » finit par _t, que POSIX réserve aux noms de types</source>
        <translation>the name &apos;%1&apos; ends in _t, which POSIX reserves for the names of types</translation>
    </message>
    <message>
        <source>DOSSIER</source>
        <translation>DIR</translation>
    </message>
    <message>
        <source>remplace les fichiers qui existent déjà (un lien symbolique est remplacé lui-même, jamais sa cible)</source>
        <translation>replaces the files that already exist (a symbolic link is replaced itself, never its target)</translation>
    </message>
    <message>
        <source>NOM</source>
        <translation>NAME</translation>
    </message>
    <message>
        <source>nomme NOM le tableau de la seule image indiquée (un identifiant C) ; deux images dont les en-têtes définiraient un même nom sont refusées</source>
        <translation>names NAME the array of the one picture given (a C identifier); two pictures whose headers would define the same name are refused</translation>
    </message>
    <message>
        <source>place les tableaux en mémoire programme sur AVR (PROGMEM, rien ailleurs), ceux de bmp compris, qu&apos;elle limite à 32 767 octets (environ 128 x 127 pixels) ; ceux des formats d&apos;écran, hors %1, y vont sans cette option, en mémoire lointaine au-delà de 32 767 octets, et elle refuse ceux de plus de 393 216 octets, la mémoire du plus grand AVR</source>
        <translation>puts the arrays in program memory on AVR (PROGMEM, nothing elsewhere), those of bmp included, which it limits to 32,767 bytes (about 128 x 127 pixels); those of the display formats but %1 go there without this option, in far memory beyond 32,767 bytes, and it refuses those of more than 393,216 bytes, the memory of the largest AVR</translation>
    </message>
    <message>
        <source>écrit les tableaux dans NOM.c, à compiler avec le programme, et les déclare extern dans NOM.h</source>
        <translation>writes the arrays in NAME.c, to compile with the program, and declares them extern in NAME.h</translation>
    </message>
    <message>
        <source>écrit les tableaux de toutes les images dans un seul en-tête NOM.h, chacun tel que le définirait son propre en-tête, suivis de NOM_count, NOM_widths, NOM_heights, NOM_images (un pointeur vers les pixels de chaque image, dans l&apos;ordre donné) et d&apos;un enum NOM_IMAGE ; avec --split, NOM.c et NOM.h</source>
        <translation>writes the arrays of every picture into one header NAME.h, each as its own header would define it, followed by NAME_count, NAME_widths, NAME_heights, NAME_images (a pointer to each picture&apos;s pixels, in the order given) and an enum NAME_PICTURE; with --split, NAME.c and NAME.h</translation>
    </message>
    <message>
        <source>--bundle ne s&apos;emploie pas avec --format %1 : choisissez un format d&apos;écran hors lvgl (rgb565, mono...)</source>
        <translation>--bundle is not used with --format %1: choose a display format other than lvgl (rgb565, mono...)</translation>
    </message>
    <message>
        <source>--bundle ne s&apos;emploie pas avec --%1 : le paquet n&apos;écrit que son en-tête</source>
        <translation>--bundle is not used with --%1: the bundle writes its header only</translation>
    </message>
    <message>
        <source>--bundle : %1</source>
        <translation>--bundle: %1</translation>
    </message>
    <message>
        <source>--bundle : l&apos;en-tête serait %1.h, le nom du lecteur des tableaux codés que --compress rle écrit à côté des en-têtes</source>
        <translation>--bundle: the header would be %1.h, the name of the reader of coded arrays that --compress rle writes beside the headers</translation>
    </message>
    <message>
        <source>--bundle : le paquet %1 définirait deux fois « %2 » : renommez l&apos;image</source>
        <translation>--bundle: the bundle %1 would define &apos;%2&apos; twice: rename the picture</translation>
    </message>
    <message>
        <source>--bundle : l&apos;en-tête du paquet %1 et celui de %2 définiraient tous deux « %3 » : nommez le paquet autrement</source>
        <translation>--bundle: the header of the bundle %1 and that of %2 would both define &apos;%3&apos;: name the bundle otherwise</translation>
    </message>
    <message>
        <source>non écrit : une image du paquet n&apos;a pas été convertie</source>
        <translation>not written: a picture of the bundle was not converted</translation>
    </message>
    <message>
        <source>FORMAT</source>
        <translation>FORMAT</translation>
    </message>
    <message>
        <source>ce que contient le tableau, l&apos;un des formats ci-dessous (bmp par défaut)</source>
        <translation>what the array holds, one of the formats below (bmp by default)</translation>
    </message>
    <message>
        <source>échange les deux octets de chaque valeur 5-6-5, pour les écrans qui reçoivent l&apos;octet fort d&apos;abord (la palette d&apos;index4 reste telle que TFT_eSPI l&apos;envoie)</source>
        <translation>swaps the two bytes of each 5-6-5 value, for displays that take the high byte first (index4&apos;s palette stays as TFT_eSPI sends it)</translation>
    </message>
    <message>
        <source>allume les pixels dont la luminance (Rec. 601) vaut au moins N, de %1 à %2 (par défaut %3) ; en I1 seulement avec lvgl</source>
        <translation>lights the pixels whose luminance (Rec. 601) is at least N, from %1 to %2 (%3 by default); in I1 only with lvgl</translation>
    </message>
    <message>
        <source>échange pixels allumés et éteints, inverse les niveaux de gris ; en L8 et I1 seulement avec lvgl</source>
        <translation>swaps lit and unlit pixels, reverses the grey levels; in L8 and I1 only with lvgl</translation>
    </message>
    <message>
        <source>ajoute NOM_mask, 1 bit par pixel, 1 où l&apos;image est opaque (alpha de 128 ou plus)</source>
        <translation>adds NAME_mask, 1 bit per pixel, 1 where the picture is opaque (alpha of 128 or more)</translation>
    </message>
    <message>
        <source>COULEUR</source>
        <translation>COLOUR</translation>
    </message>
    <message>
        <source>écrit COULEUR pour les pixels transparents (alpha sous 128) et la donne dans NOM_transparent, dans l&apos;ordre que TFT_eSPI compare</source>
        <translation>writes COLOUR for the transparent pixels (alpha below 128) and gives it in NAME_transparent, in the byte order TFT_eSPI compares</translation>
    </message>
    <message>
        <source>le format de couleur de l&apos;image LVGL : %1</source>
        <translation>the LVGL picture&apos;s colour format: %1</translation>
    </message>
    <message>
        <source>lv_image_dsc_t de LVGL 9 (par défaut) ou lv_img_dsc_t de LVGL 8</source>
        <translation>LVGL 9&apos;s lv_image_dsc_t (by default) or LVGL 8&apos;s lv_img_dsc_t</translation>
    </message>
    <message>
        <source>chaque ligne sur un multiple de N octets, complétée de zéros</source>
        <translation>each row on a multiple of N bytes, padded with zeros</translation>
    </message>
    <message>
        <source>code les tableaux par plages (rle) : NOM_rle et NOM_size au lieu de NOM, que quillon_rle.h, écrit à côté de l&apos;en-tête, relit morceau par morceau ; avec lvgl, compresse l&apos;image comme LVGL 9 la lit (rle ou lz4) ; pas avec bmp</source>
        <translation>codes the arrays by runs (rle): NAME_rle and NAME_size instead of NAME, which quillon_rle.h, written beside the header, reads back a piece at a time; with lvgl, compresses the picture as LVGL 9 reads it (rle or lz4); not with bmp</translation>
    </message>
    <message>
        <source>FICHIER</source>
        <translation>FILE</translation>
    </message>
    <message>
        <source>la palette de FICHIER au lieu d&apos;une palette choisie pour l&apos;image ; une palette GIMP (.gpl) ou une couleur #rrvvbb par ligne, les lignes vides et les commentaires (# et une espace) permis</source>
        <translation>the palette of FILE instead of one chosen for the picture; a GIMP palette (.gpl) or one #rrggbb colour a line, empty lines and comments (# and a space) allowed</translation>
    </message>
    <message>
        <source>X,Y,LxH</source>
        <translation>X,Y,WxH</translation>
    </message>
    <message>
        <source>ne garde que ce rectangle de l&apos;image</source>
        <translation>keeps only this rectangle of the picture</translation>
    </message>
    <message>
        <source>tourne l&apos;image d&apos;autant de degrés, dans le sens horaire</source>
        <translation>turns the picture by so many degrees, clockwise</translation>
    </message>
    <message>
        <source>retourne l&apos;image de gauche à droite (h) ou de haut en bas (v) ; les deux si l&apos;option est donnée deux fois</source>
        <translation>mirrors the picture left to right (h) or top to bottom (v); both when the option is given twice</translation>
    </message>
    <message>
        <source>LxH</source>
        <translation>WxH</translation>
    </message>
    <message>
        <source>réduit l&apos;image (sans jamais l&apos;agrandir) pour qu&apos;elle tienne dans L x H pixels, en gardant ses proportions</source>
        <translation>shrinks the picture (never enlarging it) to fit in W x H pixels, keeping its proportions</translation>
    </message>
    <message>
        <source>avec --fit : dedans (par défaut) ; cover, exactement L x H, couverts en gardant les proportions, l&apos;image agrandie s&apos;il le faut et ce qui dépasse coupé autour de --gravity ; stretch, exactement L x H sans garder les proportions</source>
        <translation>with --fit: inside (by default); cover, exactly W x H, covered keeping the proportions, the picture enlarged if it must be and what overflows cut around --gravity; stretch, exactly W x H without keeping the proportions</translation>
    </message>
    <message>
        <source>avec --fit en contain : agrandit aussi une image plus petite (cover et stretch agrandissent toujours ce qu&apos;il faut)</source>
        <translation>with --fit in contain: also enlarges a smaller picture (cover and stretch always enlarge as they must)</translation>
    </message>
    <message>
        <source>pose l&apos;image sur un fond de L x H pixels exactement, de la couleur de --background (noir par défaut)</source>
        <translation>lays the picture on a background of exactly W x H pixels, of the colour of --background (black by default)</translation>
    </message>
    <message>
        <source>GRAVITE</source>
        <translation>GRAVITY</translation>
    </message>
    <message>
        <source>avec cover ou --canvas : center (par défaut), north, south, east, west, north-east, north-west, south-east ou south-west ; centrée, le milieu de l&apos;image, arrondi vers le bas, va sur celui du fond, comme avec -gravity center -extent d&apos;ImageMagick</source>
        <translation>with cover or --canvas: center (by default), north, south, east, west, north-east, north-west, south-east or south-west; centred, the picture&apos;s middle, rounded down, goes on the canvas&apos;s, as with ImageMagick&apos;s -gravity center -extent</translation>
    </message>
    <message>
        <source>diffuse l&apos;erreur (Floyd-Steinberg) vers les niveaux du format au lieu de tronquer chaque couleur</source>
        <translation>diffuses the error (Floyd-Steinberg) to the format&apos;s levels instead of truncating each colour</translation>
    </message>
    <message>
        <source>la façon de tramer, qui implique --dither : fs, Floyd-Steinberg (par défaut), toute l&apos;erreur diffusée, le plus fidèle aux dégradés et aux photos ; atkinson, 1/8 de l&apos;erreur à chacun de six voisins, le quart restant perdu : des aplats nets et contrastés, l&apos;aspect classique des écrans 1 bit ; bayer, une matrice ordonnée de 8 x 8, chaque pixel à part : une couleur donne partout le même motif, qui ne grouille pas d&apos;une image d&apos;animation à l&apos;autre et se compresse bien</source>
        <translation>how to dither, which implies --dither: fs, Floyd-Steinberg (the default), all the error diffused, the most faithful to gradients and photos; atkinson, 1/8 of the error to each of six neighbours, the remaining quarter lost: clean, contrasted flat areas, the classic look of 1-bit screens; bayer, an ordered 8 x 8 matrix, each pixel on its own: a colour gives the same pattern everywhere, which does not crawl from one frame of an animation to the next and compresses well</translation>
    </message>
    <message>
        <source>de %1 à %2 (par défaut %3, qui ne change rien) : éclaircit ou assombrit l&apos;image une fois façonnée, avant sa réduction au format ; avec --contrast C, comme -brightness-contrast NxC d&apos;ImageMagick : chaque canal v (de 0 à 1) devient p (v - (1 - b)/2) + (1 + b)/2, ramené entre 0 et 1, où b = N/100 et p = tan(pi (C/100 + 1)/4)</source>
        <translation>from %1 to %2 (%3 by default, which changes nothing): lightens or darkens the picture once shaped, before its reduction to the format; with --contrast C, as ImageMagick&apos;s -brightness-contrast NxC: each channel v (from 0 to 1) becomes p (v - (1 - b)/2) + (1 + b)/2, kept within 0 to 1, where b = N/100 and p = tan(pi (C/100 + 1)/4)</translation>
    </message>
    <message>
        <source>de %1 à %2 (par défaut %3, qui ne change rien) : la pente p de --brightness ; 100 ne laisse que du noir et du blanc, -100 un gris uni</source>
        <translation>from %1 to %2 (%3 by default, which changes nothing): the slope p of --brightness; 100 leaves only black and white, -100 a flat grey</translation>
    </message>
    <message>
        <source>de %1 à %2 (par défaut %3, qui ne change rien), après --brightness et --contrast, comme -gamma d&apos;ImageMagick : chaque canal v devient v^(1/G) ; G &gt; 1 éclaircit</source>
        <translation>from %1 to %2 (%3 by default, which changes nothing), after --brightness and --contrast, as ImageMagick&apos;s -gamma: each channel v becomes v^(1/G); G &gt; 1 lightens</translation>
    </message>
    <message>
        <source>pose les pixels transparents sur COULEUR (#rrvvbb ou un nom de couleur) au lieu du noir</source>
        <translation>lays the transparent pixels on COLOUR (#rrggbb or a colour name) instead of black</translation>
    </message>
    <message>
        <source>écrit aussi NOM16bits.png, l&apos;image telle que l&apos;écran l&apos;affichera ; avec --frames, une par image : NOM16bits_frame0.png, NOM16bits_frame1.png...</source>
        <translation>also writes NAME16bits.png, the picture as the display will show it; with --frames, one a frame: NAME16bits_frame0.png, NAME16bits_frame1.png...</translation>
    </message>
    <message>
        <source>dit sur la sortie d&apos;erreur chaque fichier écrit (sans cette option, une conversion réussie ne dit rien)</source>
        <translation>tells each file written on standard error (without it, a successful conversion says nothing)</translation>
    </message>
    <message>
        <source>affiche cette aide et quitte</source>
        <translation>shows this help and exits</translation>
    </message>
    <message>
        <source>affiche la version et quitte</source>
        <translation>shows the version and exits</translation>
    </message>
    <message>
        <source>%1 ou %2</source>
        <translation>%1 or %2</translation>
    </message>
    <message>
        <source>%1 (par défaut, %2 si l&apos;image n&apos;est pas opaque)</source>
        <translation>%1 (by default, %2 when the picture is not opaque)</translation>
    </message>
    <message>
        <source>%1 (l&apos;alpha seul)</source>
        <translation>%1 (alpha only)</translation>
    </message>
    <message>
        <source>avec %1 : %2</source>
        <translation>with %1: %2</translation>
    </message>
    <message>
        <source>les octets du fichier BMP, comme la fenêtre (par défaut)</source>
        <translation>the BMP file&apos;s bytes, as the window writes them (by default)</translation>
    </message>
    <message>
        <source>aucune image indiquée</source>
        <translation>no picture given</translation>
    </message>
    <message>
        <source>le dossier de destination est vide</source>
        <translation>the destination folder is empty</translation>
    </message>
    <message>
        <source>--format : format inconnu « %1 » (%2)</source>
        <translation>--format: unknown format &apos;%1&apos; (%2)</translation>
    </message>
    <message>
        <source>--%1 ne s&apos;emploie qu&apos;avec --format %2</source>
        <translation>--%1 goes only with --format %2</translation>
    </message>
    <message>
        <source>--compress ne s&apos;emploie pas avec --format bmp, dont l&apos;en-tête tient les octets du fichier BMP ; choisissez un format d&apos;écran (rgb565, mono...)</source>
        <translation>--compress does not go with --format bmp, whose header holds the BMP file&apos;s bytes; choose a display format (rgb565, mono...)</translation>
    </message>
    <message>
        <source>--compress lz4 ne s&apos;emploie qu&apos;avec --format lvgl ; rle code les tableaux des autres formats</source>
        <translation>--compress lz4 goes only with --format lvgl; rle codes the arrays of the other formats</translation>
    </message>
    <message>
        <source>--compress : « %1 » inconnu (rle)</source>
        <translation>--compress: unknown &apos;%1&apos; (rle)</translation>
    </message>
    <message>
        <source>--name ne nomme qu&apos;une image : les tableaux de %1 images porteraient le même nom</source>
        <translation>--name names one picture only: the arrays of %1 pictures would have the same name</translation>
    </message>
    <message>
        <source>--name : %1</source>
        <translation>--name: %1</translation>
    </message>
    <message>
        <source>%1 : %2 ; renommez le fichier ou nommez son tableau avec --name</source>
        <translation>%1: %2; rename the file or name its array with --name</translation>
    </message>
    <message>
        <source>%1 : son en-tête serait %2, le nom du lecteur des tableaux codés que --compress rle écrit à côté des en-têtes ; renommez le fichier</source>
        <translation>%1: its header would be %2, the name of the reader of coded arrays that --compress rle writes beside the headers; rename the file</translation>
    </message>
    <message>
        <source>les en-têtes de %1 et de %2 définiraient tous deux « %3 » : renommez l&apos;un des fichiers</source>
        <translation>the headers of %1 and %2 would both define &apos;%3&apos;: rename one of the files</translation>
    </message>
    <message>
        <source>--stride-align : « %1 » n&apos;est pas un alignement de %2 à %3 octets</source>
        <translation>--stride-align: &apos;%1&apos; is not an alignment of %2 to %3 bytes</translation>
    </message>
    <message>
        <source>--threshold : « %1 » n&apos;est pas un seuil de %2 à %3</source>
        <translation>--threshold: &apos;%1&apos; is not a threshold from %2 to %3</translation>
    </message>
    <message>
        <source>--alpha : « %1 » inconnu (mask seulement)</source>
        <translation>--alpha: unknown &apos;%1&apos; (mask only)</translation>
    </message>
    <message>
        <source>--transparent : %1</source>
        <translation>--transparent: %1</translation>
    </message>
    <message>
        <source>--fit : « %1 » n&apos;est pas une taille LARGEURxHAUTEUR (par exemple 128x64)</source>
        <translation>--fit: &apos;%1&apos; is not a size WIDTHxHEIGHT (for example 128x64)</translation>
    </message>
    <message>
        <source>--palette : %1</source>
        <translation>--palette: %1</translation>
    </message>
    <message>
        <source>--palette : %1 a %2 couleurs, plus que les %3 que tient --format %4</source>
        <translation>--palette: %1 has %2 colours, more than the %3 that --format %4 holds</translation>
    </message>
    <message>
        <source>--dither-method : « %1 » inconnue (fs, atkinson ou bayer)</source>
        <translation>--dither-method: unknown &apos;%1&apos; (fs, atkinson or bayer)</translation>
    </message>
    <message>
        <source>--background : %1</source>
        <translation>--background: %1</translation>
    </message>
    <message>
        <source>Utilisation : quillon-convert [OPTION]... IMAGE...
Convertit chaque IMAGE (PNG, BMP, GIF, JPEG...) en une image BMP 16 bits (RVB 5-6-5)
NOM16bits.BMP et en un fichier d&apos;en-tête C NOM.h qui contient les octets de ce BMP,
exactement comme la fenêtre de Quillon. Chaque tableau porte le nom de son image,
fait identifiant C (« mon icône.png » donne mon_ic__ne, « 8x8.png » _8x8) ;
avec --name logo, les deux fichiers sont ceux de la fenêtre.

</source>
        <translation>Usage: quillon-convert [OPTION]... PICTURE...
Converts each PICTURE (PNG, BMP, GIF, JPEG...) into a 16-bit BMP picture (RGB 5-6-5)
NAME16bits.BMP and a C header file NAME.h that holds the bytes of that BMP,
exactly as Quillon&apos;s window does. Each array is named after its picture,
made a C identifier (&apos;my icon.png&apos; gives my_icon, &apos;8x8.png&apos; _8x8);
with --name logo, both files are the window&apos;s.

</translation>
    </message>
    <message>
        <source>
Formats de --format :
</source>
        <translation>
Formats of --format:
</translation>
    </message>
    <message>
        <source>%1 et %2</source>
        <translation>%1 and %2</translation>
    </message>
    <message>
        <source>quillon-convert: %1 : %2
</source>
        <translation>quillon-convert: %1: %2
</translation>
    </message>
    <message>
        <source> :</source>
        <comment>before what follows a list in the manual</comment>
        <translation>:</translation>
    </message>
    <message>
        <source>ou</source>
        <translation>or</translation>
    </message>
    <message>
        <source>%1 image convertie</source>
        <comment>none</comment>
        <translation>%1 pictures converted</translation>
    </message>
    <message>
        <source>%1 image convertie</source>
        <translation>%1 picture converted</translation>
    </message>
    <message>
        <source>%1 images converties</source>
        <translation>%1 pictures converted</translation>
    </message>
    <message>
        <source>%1 ignorée</source>
        <comment>none</comment>
        <translation>%1 skipped</translation>
    </message>
    <message>
        <source>%1 ignorée</source>
        <translation>%1 skipped</translation>
    </message>
    <message>
        <source>%1 ignorées</source>
        <translation>%1 skipped</translation>
    </message>
    <message>
        <source>%1 en échec</source>
        <translation>%1 failed</translation>
    </message>
    <message>
        <source>quillon-convert: impossible de créer le dossier de destination %1 : %2
</source>
        <translation>quillon-convert: cannot create the output folder %1: %2
</translation>
    </message>
    <message>
        <source>%1 existe et n&apos;est pas un dossier</source>
        <translation>%1 exists and is not a folder</translation>
    </message>
    <message>
        <source>quillon-convert: %1 : écrit
</source>
        <translation>quillon-convert: %1: written
</translation>
    </message>
    <message>
        <source>quillon-convert: %1 : inchangé, laissé tel quel
</source>
        <translation>quillon-convert: %1: unchanged, left as it was
</translation>
    </message>
    <message>
        <source>écrit les fichiers dans DOSSIER, créé s&apos;il manque (par défaut : le dossier de chaque image)</source>
        <translation>writes the files in DIR, created when missing (by default: each picture&apos;s folder)</translation>
    </message>
    <message>
        <source>hors bmp : écrit aussi NOM16bits.BMP (sans cette option, seul --format bmp l&apos;écrit)</source>
        <translation>but for bmp: also writes NAME16bits.BMP (without this option, only --format bmp writes it)</translation>
    </message>
    <message>
        <source>hors bmp : écrit aussi chaque tableau tel quel, en petit-boutiste, dans NOM.bin, NOM_mask.bin... (codés avec --compress rle : NOM_rle.bin, que lit quillon_rle_init_ram) ; avec lvgl, NOM.bin est l&apos;image que LVGL charge d&apos;un fichier</source>
        <translation>but for bmp: also writes each array as it is, little-endian, in NAME.bin, NAME_mask.bin... (coded with --compress rle: NAME_rle.bin, which quillon_rle_init_ram reads); with lvgl, NAME.bin is the image file LVGL loads</translation>
    </message>
    <message>
        <source>--binary ne s&apos;emploie pas avec --format bmp : NOM16bits.BMP est déjà le fichier des octets de son tableau</source>
        <translation>--binary does not go with --format bmp: NAME16bits.BMP already is the file of its array&apos;s bytes</translation>
    </message>
    <message>
        <source>
L&apos;image est façonnée dans cet ordre : --crop, --rotate, --flip, --fit, --canvas.

Hors bmp, chaque en-tête a une garde et des tableaux static const : il se
compile en C et en C++, dans plusieurs fichiers d&apos;un programme.

Plusieurs images sont converties en parallèle, sur tous les cœurs ; une dernière
ligne compte alors les images converties, ignorées et en échec.

Code de sortie : 0 si toutes les images ont été converties, 1 si l&apos;une d&apos;elles
ne l&apos;a pas été, 2 si la ligne de commande est incorrecte, 130 ou 143 si elle a
été interrompue.
</source>
        <translation>
The picture is shaped in this order: --crop, --rotate, --flip, --fit, --canvas.

But for bmp, each header has a guard and static const arrays: it compiles
as C and as C++, in several files of a program.

Several pictures are converted in parallel, on every core; a last line then
counts the pictures converted, skipped and failed.

Exit status: 0 if every picture was converted, 1 if one of them was not,
2 if the command line is wrong, 130 or 143 if it was interrupted.
</translation>
    </message>
    <message>
        <source>--frames : « %1 » n&apos;est ni all ni des images A-B (par exemple 1-10, numérotées à partir de 1)</source>
        <translation>--frames: &apos;%1&apos; is neither all nor frames A-B (for example 1-10, numbered from 1)</translation>
    </message>
    <message>
        <source>--frames : « %1 » : les images sont numérotées à partir de 1</source>
        <translation>--frames: &apos;%1&apos;: frames are numbered from 1</translation>
    </message>
    <message>
        <source>--frames : « %1 » finit avant de commencer</source>
        <translation>--frames: &apos;%1&apos; ends before it begins</translation>
    </message>
    <message>
        <source>--frames : « %1 » demande plus de %2 images</source>
        <translation>--frames: &apos;%1&apos; asks for more than %2 frames</translation>
    </message>
    <message>
        <source>chaque image d&apos;une animation (GIF, WebP, MNG), ou celles de A à B (numérotées à partir de 1, B comprise), chacune dans son tableau NOM_frame0, NOM_frame1... avec NOM_frames[], NOM_frame_count et NOM_delays_ms[] ; pour lvgl, un descripteur par image ; pas avec --format bmp</source>
        <translation>every frame of an animation (GIF, WebP, MNG), or those from A to B (numbered from 1, B included), each in its array NAME_frame0, NAME_frame1... with NAME_frames[], NAME_frame_count and NAME_delays_ms[]; for lvgl, one descriptor a frame; not with --format bmp</translation>
    </message>
    <message>
        <source>--frames ne s&apos;emploie pas avec --format bmp : le fichier BMP ne tient qu&apos;une image ; choisissez un format d&apos;écran (rgb565, mono, lvgl...)</source>
        <translation>--frames does not go with --format bmp: the BMP file holds one picture only; choose a display format (rgb565, mono, lvgl...)</translation>
    </message>
    <message>
        <source>l&apos;ordre des couleurs de l&apos;écran : rgb (par défaut) ou bgr, le rouge et le bleu échangés, pour les écrans câblés BGR (en rgb565, le rouge aux bits 4-0), dans les pixels comme dans les palettes</source>
        <translation>the panel&apos;s colour order: rgb (the default) or bgr, red and blue exchanged, for panels wired BGR (in rgb565, red in bits 4-0), in the pixels as in the palettes</translation>
    </message>
    <message>
        <source>--color-order : « %1 » inconnu (rgb ou bgr)</source>
        <translation>--color-order: unknown &apos;%1&apos; (rgb or bgr)</translation>
    </message>
    <message>
        <source>relit chaque fichier donné comme un en-tête écrit par Quillon et en écrit chaque image dans NOM16bits.png, telle que --preview la montre ; le tableau d&apos;un autre outil se relit avec --format et --size</source>
        <translation>reads each file given back as a header Quillon wrote and writes each of its pictures into NAME16bits.png, as --preview shows it; another tool&apos;s array is read with --format and --size</translation>
    </message>
    <message>
        <source>avec --decode et --format : la taille de l&apos;image que tient le tableau d&apos;un autre outil</source>
        <translation>with --decode and --format: the size of the picture another tool&apos;s array holds</translation>
    </message>
    <message>
        <source>--size ne s&apos;emploie qu&apos;avec --decode</source>
        <translation>--size goes with --decode only</translation>
    </message>
    <message>
        <source>--%1 ne s&apos;emploie pas avec --decode</source>
        <translation>--%1 does not go with --decode</translation>
    </message>
    <message>
        <source>--decode lit le format dans l&apos;en-tête de Quillon ; le tableau d&apos;un autre outil se relit avec --format et --size ensemble</source>
        <translation>--decode reads the format in Quillon&apos;s header; another tool&apos;s array is read with --format and --size together</translation>
    </message>
    <message>
        <source>--decode : --format bmp n&apos;a pas de tableau à relire seul</source>
        <translation>--decode: --format bmp has no array to read back alone</translation>
    </message>
    <message>
        <source>--size : « %1 » n&apos;est pas une taille LxH de 1 à 32768</source>
        <translation>--size: “%1” is not a size WxH from 1 to 32768</translation>
    </message>
</context>
<context>
    <name>PaletteFile</name>
    <message>
        <source>ligne %1 : « %2 » %3</source>
        <translation>line %1: &apos;%2&apos; %3</translation>
    </message>
    <message>
        <source>n&apos;est pas une couleur R V B (trois nombres de 0 à 255)</source>
        <translation>is not an R G B colour (three numbers from 0 to 255)</translation>
    </message>
    <message>
        <source>a une composante au-delà de 255</source>
        <translation>has a component above 255</translation>
    </message>
    <message>
        <source>n&apos;est ni une couleur #rrvvbb ni un commentaire (# suivi d&apos;une espace)</source>
        <translation>is neither a #rrggbb colour nor a comment (# followed by a space)</translation>
    </message>
    <message>
        <source>aucune couleur</source>
        <translation>no colour</translation>
    </message>
    <message>
        <source>%1 : fichier introuvable</source>
        <translation>%1: no such file</translation>
    </message>
    <message>
        <source>%1 : c&apos;est un dossier</source>
        <translation>%1: it is a folder</translation>
    </message>
    <message>
        <source>%1 : pas un fichier ordinaire</source>
        <translation>%1: not a regular file</translation>
    </message>
    <message>
        <source>%1 : lecture impossible</source>
        <translation>%1: cannot be read</translation>
    </message>
    <message>
        <source>%1 : fichier trop grand pour une palette</source>
        <translation>%1: file too large for a palette</translation>
    </message>
    <message>
        <source>%1, %2</source>
        <translation>%1, %2</translation>
    </message>
</context>
<context>
    <name>PictureGeometry</name>
    <message>
        <source>--crop %1,%2,%3x%4 sort de l&apos;image, de %5 x %6 pixels</source>
        <translation>--crop %1,%2,%3x%4 goes out of the picture, of %5 x %6 pixels</translation>
    </message>
    <message>
        <source>image trop grande une fois façonnée : avec %1, elle passe par %2 x %3 pixels, soit %4 Mio, plus que les %5 Mio permis</source>
        <translation>picture too large once shaped: with %1, it goes through %2 x %3 pixels, %4 MiB, more than the %5 MiB allowed</translation>
    </message>
    <message>
        <source>animation trop grande une fois façonnée : avec %1, ses %2 images passent chacune par %3 x %4 pixels, soit %5 Mio en tout, plus que les %6 Mio permis (%7 images au plus : choisissez-les avec --frames A-B)</source>
        <translation>animation too large once shaped: with %1, its %2 frames each go through %3 x %4 pixels, %5 MiB in all, more than the %6 MiB allowed (%7 frames at most: choose them with --frames A-B)</translation>
    </message>
</context>
<context>
    <name>PictureJob</name>
    <message>
        <source>disque plein</source>
        <translation>disk full</translation>
    </message>
    <message>
        <source>accès refusé</source>
        <translation>permission denied</translation>
    </message>
    <message>
        <source>système de fichiers en lecture seule</source>
        <translation>read-only file system</translation>
    </message>
    <message>
        <source>dossier introuvable</source>
        <translation>no such folder</translation>
    </message>
    <message>
        <source>nom de fichier trop long</source>
        <translation>file name too long</translation>
    </message>
    <message>
        <source>c&apos;est un dossier</source>
        <translation>it is a folder</translation>
    </message>
    <message>
        <source>trop de liens symboliques</source>
        <translation>too many symbolic links</translation>
    </message>
    <message>
        <source>erreur d&apos;entrée-sortie</source>
        <translation>input/output error</translation>
    </message>
    <message>
        <source>trop de fichiers ouverts</source>
        <translation>too many open files</translation>
    </message>
    <message>
        <source>mémoire insuffisante</source>
        <translation>out of memory</translation>
    </message>
    <message>
        <source>fichier occupé</source>
        <translation>file busy</translation>
    </message>
    <message>
        <source>déplacement impossible entre deux systèmes de fichiers</source>
        <translation>cannot move between two file systems</translation>
    </message>
    <message>
        <source>trop grand pour un fichier BMP (4 Gio au plus)</source>
        <translation>too large for a BMP file (4 GiB at most)</translation>
    </message>
    <message>
        <source>écriture impossible</source>
        <translation>cannot write</translation>
    </message>
    <message>
        <source>erreur système %1</source>
        <translation>system error %1</translation>
    </message>
    <message>
        <source>le verrou %1 ne dit pas quel processus le tient (vide, illisible, d&apos;une autre machine ou pas un fichier ordinaire) : attente de %2 s au plus avant de le remplacer</source>
        <translation>the lock %1 does not tell which process holds it (empty, unreadable, of another machine or not a regular file): waiting %2 s at most before replacing it</translation>
    </message>
    <message>
        <source>interrompu</source>
        <translation>interrupted</translation>
    </message>
    <message>
        <source>nom de fichier illisible : il n&apos;est pas codé en %1, renommez le fichier</source>
        <translation>unreadable file name: it is not encoded in %1, rename the file</translation>
    </message>
    <message>
        <source>fichier introuvable</source>
        <translation>no such file</translation>
    </message>
    <message>
        <source>dossier de destination introuvable : %1</source>
        <translation>no such destination folder: %1</translation>
    </message>
    <message>
        <source>%1 existe déjà, image ignorée (--force pour le remplacer)</source>
        <translation>%1 already exists, picture skipped (--force to replace it)</translation>
    </message>
    <message>
        <source>%1 est un lien symbolique, image ignorée (--force pour remplacer le lien lui-même)</source>
        <translation>%1 is a symbolic link, picture skipped (--force to replace the link itself)</translation>
    </message>
    <message>
        <source>impossible d&apos;écrire %1 : c&apos;est un dossier</source>
        <translation>cannot write %1: it is a folder</translation>
    </message>
    <message>
        <source>impossible d&apos;écrire %1 : %2</source>
        <translation>cannot write %1: %2</translation>
    </message>
    <message>
        <source>impossible de terminer le remplacement laissé par une conversion interrompue (%1) : %2</source>
        <translation>cannot finish the replacement left by an interrupted conversion (%1): %2</translation>
    </message>
    <message>
        <source>ce fichier ne semble pas être une image</source>
        <translation>this file does not seem to be a picture</translation>
    </message>
    <message>
        <source>image trop grande pour être convertie</source>
        <translation>picture too large to be converted</translation>
    </message>
    <message>
        <source>image JPEG de trop de passes (plus de %1, ou trop longues à décoder), refusée</source>
        <translation>JPEG picture of too many scans (more than %1, or too long to decode), refused</translation>
    </message>
    <message>
        <source>lecture impossible : %1</source>
        <translation>cannot read: %1</translation>
    </message>
    <message>
        <source>image illisible ou trop coûteuse à décoder</source>
        <translation>picture unreadable or too costly to decode</translation>
    </message>
    <message>
        <source>image incomplète : le fichier s&apos;arrête avant la fin de l&apos;image</source>
        <translation>incomplete picture: the file ends before the end of the picture</translation>
    </message>
    <message>
        <source>image trop grande pour --progmem : le tableau ferait %1 octets, plus que la mémoire programme de tout AVR (393 216 octets au plus, ceux d&apos;un ATxmega384C3 ; 262 144 sur un ATmega2560)</source>
        <translation>picture too large for --progmem: the array would be %1 bytes, more than the program memory of any AVR (393,216 bytes at most, an ATxmega384C3&apos;s; 262,144 on an ATmega2560)</translation>
    </message>
    <message>
        <source>image trop grande pour --progmem : le tableau ferait %1 octets, avr-gcc en accepte 32 767 au plus (environ 128 x 127 pixels)</source>
        <translation>picture too large for --progmem: the array would be %1 bytes, avr-gcc takes 32,767 at most (about 128 x 127 pixels)</translation>
    </message>
    <message>
        <source>animation trop grande pour être convertie : ses images prendraient plus de %1 Mio (choisissez-en avec --frames A-B)</source>
        <translation>animation too large to convert: its frames would take more than %1 MiB (choose some with --frames A-B)</translation>
    </message>
    <message>
        <source>image animée : seule la première de ses %1 est convertie (%2)</source>
        <translation>animated picture: only the first of its %1 is converted (%2)</translation>
    </message>
    <message>
        <source>%1 images</source>
        <translation>%1 frames</translation>
    </message>
    <message>
        <source>images</source>
        <translation>frames</translation>
    </message>
    <message>
        <source>--frames all pour toutes</source>
        <translation>--frames all for all of them</translation>
    </message>
    <message>
        <source>LVGL 8 n&apos;anime que 255 images au plus (lv_animimg_set_src en prend le nombre en uint8_t) : choisissez-en avec --frames A-B</source>
        <translation>LVGL 8 animates 255 frames at most (lv_animimg_set_src takes their number as a uint8_t): choose some with --frames A-B</translation>
    </message>
    <message>
        <source>PNG animé (APNG) : seule son image par défaut est convertie, Qt 5 n&apos;en lit pas les autres images</source>
        <translation>animated PNG (APNG): only its default picture is converted, Qt 5 does not read its other frames</translation>
    </message>
    <message>
        <source>le verrou %1 appartient à l&apos;utilisateur %2 : attente de %3 s au plus qu&apos;il soit retiré</source>
        <translation>the lock %1 belongs to the user %2: waiting %3 s at most for it to be removed</translation>
    </message>
    <message>
        <source>le verrou %1, de l&apos;utilisateur %2, est resté en place %3 s : seul son propriétaire peut le retirer, rien n&apos;a été écrit</source>
        <translation>the lock %1, of the user %2, stayed in place for %3 s: only its owner can remove it, nothing was written</translation>
    </message>
    <message>
        <source>le journal %1 appartient à l&apos;utilisateur %2 : il n&apos;est pas suivi, et rien n&apos;a été écrit</source>
        <translation>the journal %1 belongs to the user %2: it is not followed, and nothing was written</translation>
    </message>
    <message>
        <source>%1 a changé depuis la conversion interrompue qui devait le remplacer : laissé tel quel</source>
        <translation>%1 has changed since the interrupted conversion that was to replace it: left as it is</translation>
    </message>
    <message>
        <source>le lecteur de ce format a manqué de mémoire : il a atteint la limite de %1 Mio de son processus, image refusée</source>
        <translation>the reader of this format ran out of memory: it reached its process&apos;s limit of %1 MiB, picture refused</translation>
    </message>
    <message>
        <source>allumés (1)</source>
        <translation>lit (1)</translation>
    </message>
    <message>
        <source>éteints (0)</source>
        <translation>unlit (0)</translation>
    </message>
    <message>
        <source>%1 : tous ses pixels sont %2 : --brightness %3 et --contrast %4 donnent le même niveau, %5, à chaque pixel de toute image, quel que soit le seuil (rapprochez-les de 0)</source>
        <translation>%1: every pixel is %2: --brightness %3 and --contrast %4 give every pixel of any picture the same level, %5, whatever the threshold (bring them closer to 0)</translation>
    </message>
    <message>
        <source>%1 : tous ses pixels sont %2 : l&apos;image est partout plus sombre que le seuil %3 (essayez --threshold N avec N plus bas)</source>
        <translation>%1: every pixel is %2: the picture is darker than the threshold %3 everywhere (try --threshold N with a lower N)</translation>
    </message>
    <message>
        <source>%1 : tous ses pixels sont %2 : l&apos;image est partout plus sombre que le seuil %3, ses pixels transparents posés sur du noir (une icône sombre sur fond transparent ? essayez --background white --invert, sinon --threshold N avec N plus bas)</source>
        <translation>%1: every pixel is %2: the picture is darker than the threshold %3 everywhere, its transparent pixels laid onto black (a dark icon on transparency? try --background white --invert, else --threshold N with a lower N)</translation>
    </message>
    <message>
        <source>%1 : tous ses pixels sont %2 : l&apos;image est partout au moins aussi claire que le seuil %3 (essayez --threshold N avec N plus haut)</source>
        <translation>%1: every pixel is %2: the picture is at least as light as the threshold %3 everywhere (try --threshold N with a higher N)</translation>
    </message>
    <message>
        <source>%1 : plan tout blanc, aucun pixel n&apos;étant plus près de son encre que du blanc ou de l&apos;autre encre (--dither répartit l&apos;encre des teintes intermédiaires)</source>
        <translation>%1: plane all white, no pixel being nearer its ink than white or the other ink (--dither spreads the ink of the shades in between)</translation>
    </message>
    <message>
        <source>--bundle : le tableau %1 ferait %2 octets ; au-delà de 32 767, il irait sur AVR en mémoire programme lointaine, que les pointeurs d&apos;un tableau ne peuvent désigner</source>
        <translation>--bundle: the array %1 would be %2 bytes; beyond 32,767, it would go to far program memory on AVR, which the pointers of a table cannot point at</translation>
    </message>
</context>
</TS>
