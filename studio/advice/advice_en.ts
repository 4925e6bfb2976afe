<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="fr_FR">
<context>
    <name>FlashFit</name>
    <message>
        <source>%1 octets, plus que les %2 que la carte laisse au programme</source>
        <translation>%1 bytes, more than the %2 the board leaves for the program</translation>
    </message>
    <message>
        <source>hors de la mémoire programme, les %1 octets sont copiés en RAM, qui n&apos;en a que %2 (--progmem)</source>
        <translation>outside program memory, the %1 bytes are copied into RAM, which has only %2 (--progmem)</translation>
    </message>
    <message>
        <source>un tableau de %1 octets, plus que les %2 d&apos;un objet pour avr-gcc</source>
        <translation>an array of %1 bytes, more than avr-gcc&apos;s %2 an object</translation>
    </message>
</context>
<context>
    <name>PanelPresets</name>
    <message>
        <source>L&apos;image remplit l&apos;écran de %1 x %2 pixels sans être déformée, agrandie s&apos;il le faut ; le reste est du fond, noir.</source>
        <translation>The picture fills the %1 x %2 screen without being distorted, enlarged when needed; the rest is background, black.</translation>
    </message>
    <message>
        <source>L&apos;image remplit l&apos;écran de %1 x %2 pixels sans être déformée, agrandie s&apos;il le faut ; le reste est du papier blanc (--background white, sauf couleur donnée).</source>
        <translation>The picture fills the %1 x %2 screen without being distorted, enlarged when needed; the rest is white paper (--background white, unless a colour is given).</translation>
    </message>
    <message>
        <source>Écran rond : les coins hors du cercle ne s&apos;affichent pas.</source>
        <translation>Round screen: the corners outside the circle are not shown.</translation>
    </message>
    <message>
        <source>Les bits à 1 sont blancs, comme GxEPD2 les lit : %1</source>
        <translation>Bits 1 are white, as GxEPD2 reads them: %1</translation>
    </message>
    <message>
        <source>OLED SSD1306 128 x 64</source>
        <translation>SSD1306 OLED 128 x 64</translation>
    </message>
    <message>
        <source>OLED SSD1306 128 x 32</source>
        <translation>SSD1306 OLED 128 x 32</translation>
    </message>
    <message>
        <source>OLED SH1106 128 x 64</source>
        <translation>SH1106 OLED 128 x 64</translation>
    </message>
    <message>
        <source>ST7735 160 x 128</source>
        <translation>ST7735 160 x 128</translation>
    </message>
    <message>
        <source>ST7789 240 x 240</source>
        <translation>ST7789 240 x 240</translation>
    </message>
    <message>
        <source>ST7789 320 x 240</source>
        <translation>ST7789 320 x 240</translation>
    </message>
    <message>
        <source>ILI9341 320 x 240</source>
        <translation>ILI9341 320 x 240</translation>
    </message>
    <message>
        <source>GC9A01 240 x 240 (rond)</source>
        <translation>GC9A01 240 x 240 (round)</translation>
    </message>
    <message>
        <source>E-paper 2,13&quot; 250 x 122, noir et blanc</source>
        <translation>E-paper 2.13&quot; 250 x 122, black and white</translation>
    </message>
    <message>
        <source>E-paper 2,13&quot; 250 x 122, noir, blanc et rouge</source>
        <translation>E-paper 2.13&quot; 250 x 122, black, white and red</translation>
    </message>
    <message>
        <source>E-paper 2,9&quot; 296 x 128, noir et blanc</source>
        <translation>E-paper 2.9&quot; 296 x 128, black and white</translation>
    </message>
    <message>
        <source>E-paper 2,9&quot; 296 x 128, noir, blanc et rouge</source>
        <translation>E-paper 2.9&quot; 296 x 128, black, white and red</translation>
    </message>
    <message>
        <source>E-paper 4,2&quot; 400 x 300, noir et blanc</source>
        <translation>E-paper 4.2&quot; 400 x 300, black and white</translation>
    </message>
    <message>
        <source>E-paper 4,2&quot; 400 x 300, noir, blanc et rouge</source>
        <translation>E-paper 4.2&quot; 400 x 300, black, white and red</translation>
    </message>
    <message>
        <source>E-paper 5,65&quot; 600 x 448, sept couleurs</source>
        <translation>E-paper 5.65&quot; 600 x 448, seven colours</translation>
    </message>
    <message>
        <source>E-paper 7,3&quot; 800 x 480, sept couleurs</source>
        <translation>E-paper 7.3&quot; 800 x 480, seven colours</translation>
    </message>
    <message>
        <source>Écran LVGL 9, 320 x 240</source>
        <translation>LVGL 9 screen, 320 x 240</translation>
    </message>
</context>
<context>
    <name>ResultWarnings</name>
    <message>
        <source>%1 : plan sans encre, aucun pixel n&apos;étant plus près de son encre que du blanc ou de l&apos;autre encre.</source>
        <translation>%1: plane without ink, no pixel being nearer its ink than white or the other ink.</translation>
    </message>
    <message>
        <source>Rien ne teinte assez l&apos;image pour cette encre.</source>
        <translation>Nothing in the picture is tinted enough for this ink.</translation>
    </message>
    <message>
        <source>Tramez : --dither répartit l&apos;encre des teintes intermédiaires.</source>
        <translation>Dither: --dither spreads the ink of the tints in between.</translation>
    </message>
    <message>
        <source>allumés</source>
        <translation>lit</translation>
    </message>
    <message>
        <source>éteints</source>
        <translation>unlit</translation>
    </message>
    <message>
        <source>%1 : tous ses pixels sont %2 : --brightness et --contrast donnent le même niveau à chacun.</source>
        <translation>%1: all its pixels are %2: --brightness and --contrast give each the same level.</translation>
    </message>
    <message>
        <source>Rapprochez-les de 0 : --brightness 0 --contrast 0.</source>
        <translation>Bring them closer to 0: --brightness 0 --contrast 0.</translation>
    </message>
    <message>
        <source>%1 : tous ses pixels sont %2 : une icône sombre sur fond transparent, posée sur du noir, est partout plus sombre que le seuil %3.</source>
        <translation>%1: all its pixels are %2: a dark icon on transparency, laid onto black, is everywhere darker than the threshold %3.</translation>
    </message>
    <message>
        <source>Posez-la sur du blanc et inversez : --background white --invert.</source>
        <translation>Lay it onto white and invert: --background white --invert.</translation>
    </message>
    <message>
        <source>%1 : tous ses pixels sont %2 : l&apos;image est partout plus sombre que le seuil %3.</source>
        <translation>%1: all its pixels are %2: the picture is everywhere darker than the threshold %3.</translation>
    </message>
    <message>
        <source>Baissez le seuil : --threshold %1.</source>
        <translation>Lower the threshold: --threshold %1.</translation>
    </message>
    <message>
        <source>%1 : tous ses pixels sont %2 : l&apos;image est partout au moins aussi claire que le seuil %3.</source>
        <translation>%1: all its pixels are %2: the picture is everywhere at least as light as the threshold %3.</translation>
    </message>
    <message>
        <source>Montez le seuil : --threshold %1.</source>
        <translation>Raise the threshold: --threshold %1.</translation>
    </message>
    <message>
        <source>L&apos;image est blanche partout : aucun seuil ne la partage.</source>
        <translation>The picture is white everywhere: no threshold splits it.</translation>
    </message>
    <message>
        <source>L&apos;image fait %1 x %2 pixels, plus que l&apos;écran de %3 x %4.</source>
        <translation>The picture is %1 x %2 pixels, more than the %3 x %4 screen.</translation>
    </message>
    <message>
        <source>Réduisez-la à l&apos;écran : %1.</source>
        <translation>Fit it to the screen: %1.</translation>
    </message>
    <message>
        <source>%1 : %2 octets, plus que les 32 767 d&apos;un objet sur AVR (Uno, Mega).</source>
        <translation>%1: %2 bytes, more than the 32,767 of an object on AVR (Uno, Mega).</translation>
    </message>
    <message>
        <source>Codez-le par plages : --compress rle ; ou réduisez l&apos;image (--fit).</source>
        <translation>Code it by runs: --compress rle; or make the picture smaller (--fit).</translation>
    </message>
    <message>
        <source>Réduisez l&apos;image : --fit %1.</source>
        <translation>Make the picture smaller: --fit %1.</translation>
    </message>
    <message>
        <source>La palette de %1 couleurs est choisie parmi les %2 de l&apos;image : les autres prennent la plus proche.</source>
        <translation>The palette of %1 colours is chosen among the picture&apos;s %2: the others take the nearest.</translation>
    </message>
    <message>
        <source>index8 les garde toutes : --format index8.</source>
        <translation>index8 keeps them all: --format index8.</translation>
    </message>
    <message>
        <source>Tramez pour les mélanger : --dither.</source>
        <translation>Dither to mix them: --dither.</translation>
    </message>
</context>
</TS>
