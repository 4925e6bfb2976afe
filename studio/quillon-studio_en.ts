<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="fr_FR">
<context>
    <name>OptionControls</name>
    <message>
        <source>(par défaut)</source>
        <translation>(default)</translation>
    </message>
    <message>
        <source>Couleur...</source>
        <translation>Colour...</translation>
    </message>
    <message>
        <source>Choisir...</source>
        <translation>Choose...</translation>
    </message>
    <message>
        <source>Choisir un fichier</source>
        <translation>Choose a file</translation>
    </message>
</context>
<context>
    <name>PastePanel</name>
    <message>
        <source>Bibliothèque :</source>
        <translation>Library:</translation>
    </message>
    <message>
        <source>Copier le tableau</source>
        <translation>Copy the array</translation>
    </message>
    <message>
        <source>Copier la ligne de dessin</source>
        <translation>Copy the drawing line</translation>
    </message>
    <message>
        <source>Ligne de dessin copiée</source>
        <translation>Drawing line copied</translation>
    </message>
    <message>
        <source>Copier la commande</source>
        <translation>Copy the command</translation>
    </message>
    <message>
        <source>Commande copiée</source>
        <translation>Command copied</translation>
    </message>
    <message>
        <source>Copier les lignes CMake</source>
        <translation>Copy the CMake lines</translation>
    </message>
    <message>
        <source>Lignes CMake copiées</source>
        <translation>CMake lines copied</translation>
    </message>
    <message>
        <source>Tableaux : %1 octets</source>
        <translation>Arrays: %1 bytes</translation>
    </message>
    <message>
        <source>%1 : tient</source>
        <translation>%1: fits</translation>
    </message>
    <message>
        <source>%1 : %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>Tableau copié</source>
        <translation>Array copied</translation>
    </message>
</context>
<context>
    <name>StudioStart</name>
    <message>
        <source>--%1 ne s&apos;emploie pas avec quillon-studio</source>
        <translation>--%1 is not used with quillon-studio</translation>
    </message>
    <message>
        <source>Utilisation : quillon-studio [-o DOSSIER] [OPTION]... [IMAGE]...
Ouvre chaque IMAGE dans Quillon Studio, qui montre en direct ce que l&apos;écran affichera
avec les options de quillon-convert, l&apos;en-tête qui sera écrit, et écrit avec Ctrl+S
les fichiers de quillon-convert dans DOSSIER (--force : sans demander avant de
remplacer). Les options sont celles de quillon-convert, hors --decode, --size,
--bundle et --verbose :

</source>
        <translation>Usage: quillon-studio [-o FOLDER] [OPTION]... [PICTURE]...
Opens each PICTURE in Quillon Studio, which shows live what the display will show
with quillon-convert&apos;s options and the header that will be written, and writes with
Ctrl+S quillon-convert&apos;s files into FOLDER (--force: without asking before
replacing). The options are quillon-convert&apos;s, but --decode, --size, --bundle and
--verbose:

</translation>
    </message>
    <message>
        <source>quillon-studio: %1
Essayez « quillon-studio --help » pour plus d&apos;informations.
</source>
        <translation>quillon-studio: %1
Try &apos;quillon-studio --help&apos; for more information.
</translation>
    </message>
</context>
<context>
    <name>StudioWindow</name>
    <message>
        <source>Quillon Studio</source>
        <translation>Quillon Studio</translation>
    </message>
    <message>
        <source>&amp;Fichier</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>&amp;Ouvrir...</source>
        <translation>&amp;Open...</translation>
    </message>
    <message>
        <source>&amp;Enregistrer</source>
        <translation>&amp;Save</translation>
    </message>
    <message>
        <source>Enregistrer &amp;tout</source>
        <translation>Save &amp;all</translation>
    </message>
    <message>
        <source>&amp;Quitter</source>
        <translation>&amp;Quit</translation>
    </message>
    <message>
        <source>Outils</source>
        <translation>Tools</translation>
    </message>
    <message>
        <source>Source</source>
        <translation>Source</translation>
    </message>
    <message>
        <source>L&apos;écran, 1 x</source>
        <translation>The display, 1 x</translation>
    </message>
    <message>
        <source>L&apos;écran, agrandi</source>
        <translation>The display, zoomed</translation>
    </message>
    <message>
        <source>Ouvrez ou déposez une image</source>
        <translation>Open or drop a picture</translation>
    </message>
    <message>
        <source>Introuvable : %1</source>
        <translation>Not found: %1</translation>
    </message>
    <message>
        <source>Ouvrir des images</source>
        <translation>Open pictures</translation>
    </message>
    <message>
        <source>Images (*.png *.jpg *.jpeg *.gif *.bmp *.svg *.svgz *.webp *.tif *.tiff *.tga *.ppm);;Tous les fichiers (*)</source>
        <translation>Pictures (*.png *.jpg *.jpeg *.gif *.bmp *.svg *.svgz *.webp *.tif *.tiff *.tga *.ppm);;All files (*)</translation>
    </message>
    <message>
        <source>(source non affichable)</source>
        <translation>(source not shown)</translation>
    </message>
    <message>
        <source>Dossier où écrire les fichiers</source>
        <translation>Folder to write the files into</translation>
    </message>
    <message>
        <source>Impossible de créer le dossier %1</source>
        <translation>Cannot create the folder %1</translation>
    </message>
    <message>
        <source>%1 : %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>Remplacer les fichiers ?</source>
        <translation>Replace the files?</translation>
    </message>
    <message>
        <source>Ces fichiers existent déjà dans %1 :
%2

Les remplacer ?</source>
        <translation>These files already exist in %1:
%2

Replace them?</translation>
    </message>
    <message>
        <source>%1 : rien n&apos;a été écrit</source>
        <translation>%1: nothing was written</translation>
    </message>
    <message>
        <source>Écrit dans %1 : %2</source>
        <translation>Written into %1: %2</translation>
    </message>
    <message>
        <source>(aucun écran choisi)</source>
        <translation>(no display chosen)</translation>
    </message>
    <message>
        <source>Écran :</source>
        <translation>Display:</translation>
    </message>
</context>
<context>
    <name>WarningsBar</name>
    <message>
        <source>Appliquer %1</source>
        <translation>Apply %1</translation>
    </message>
</context>
</TS>
