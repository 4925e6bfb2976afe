#include "option_table.h"

#include "lvgl_format.h"
#include "option_values.h"
#include "options.h"

#include <QRegularExpression>

OptionDeclaration &OptionDeclaration::sets(bool &(*field)(Options &))
{
    read = [field](const QStringList &, Options &options) {
        field(options) = true;
        return QString();
    };
    return *this;
}

OptionDeclaration &OptionDeclaration::whole(int &(*field)(Options &), int low, int high, int fallback,
                                            const char *problem)
{
    isNumber = true;
    value = Number;
    minimum = low;
    maximum = high;
    byDefault = fallback;
    read = [=](const QStringList &values, Options &options) {
        const QString value = values.constLast().trimmed();
        bool digits = false;
        int &number = field(options);
        number = value.toInt(&digits);
        if (!digits || number < low || number > high || (low >= 0 && value.startsWith(QLatin1Char('+'))))
            return QCoreApplication::translate("Options", problem)
                .arg(value, QString::number(low), QString::number(high));
        return QString();
    };
    return *this;
}

OptionDeclaration &OptionDeclaration::decimal(double &(*field)(Options &), double low, double high,
                                              double fallback, const char *problem)
{
    isNumber = true;
    value = Number;
    decimals = 1;
    minimum = low;
    maximum = high;
    byDefault = fallback;
    read = [=](const QStringList &values, Options &options) {
        static const QRegularExpression plain(QStringLiteral("\\A[0-9]*\\.?[0-9]*\\z"));
        const QString value = values.constLast().trimmed();
        bool digits = false;
        double &number = field(options);
        number = value.toDouble(&digits);
        if (!digits || !plain.match(value).hasMatch() || !(number >= low && number <= high))
            return QCoreApplication::translate("Options", problem)
                .arg(value, QString::number(low), QString::number(high));
        return QString();
    };
    return *this;
}

namespace {

// --format's values: bmp, the default, then every format's row.
QStringList formatNames()
{
    QStringList names {"bmp"};
    for (const DisplayFormat &format : displayFormats())
        names << QLatin1String(format.name);
    return names;
}

} // namespace

const QVector<OptionDeclaration> &optionTable()
{
    using F = DisplayFormat;
    // In the order of the help; the options that only some formats take in the order they are
    // checked.
    static const QVector<OptionDeclaration> options = {
        OptionDeclaration("output", 'o')
            .takes(QT_TRANSLATE_NOOP("Options", "DOSSIER"))
            .helps(QT_TRANSLATE_NOOP(
                "Options",
                "écrit les fichiers dans DOSSIER, créé s'il manque (par défaut : le dossier "
                "de chaque image)"))
            .reads(readOutput)
            .alsoDecoding(),
        OptionDeclaration("force", 'f')
            .helps(
                QT_TRANSLATE_NOOP("Options",
                                  "remplace les fichiers qui existent déjà (un lien symbolique est remplacé "
                                  "lui-même, jamais sa cible)"))
            .sets([](Options &o) -> bool & { return o.job.force; })
            .alsoDecoding(),
        OptionDeclaration("name", 'n')
            .takes(QT_TRANSLATE_NOOP("Options", "NOM"))
            .helps(
                QT_TRANSLATE_NOOP("Options",
                                  "nomme NOM le tableau de la seule image indiquée (un identifiant C) ; deux "
                                  "images dont les en-têtes définiraient un même nom sont refusées"))
            .reads(readName),
        OptionDeclaration("progmem")
            .helps(QT_TRANSLATE_NOOP(
                "Options",
                "place les tableaux en mémoire programme sur AVR (PROGMEM, rien ailleurs), ceux "
                "de bmp compris, qu'elle limite à 32 767 octets (environ 128 x 127 pixels) ; "
                "ceux des formats d'écran, hors %1, y vont sans cette option, en mémoire "
                "lointaine au-delà de 32 767 octets, et elle refuse ceux de plus de 393 216 "
                "octets, la mémoire du plus grand AVR"))
            .sets([](Options &o) -> bool & { return o.job.encoding.header.progmem; }),
        OptionDeclaration("split")
            .helps(QT_TRANSLATE_NOOP("Options",
                                     "écrit les tableaux dans NOM.c, à compiler avec le programme, et les "
                                     "déclare extern dans NOM.h"))
            .sets([](Options &o) -> bool & { return o.job.encoding.header.split; }),
        OptionDeclaration("bundle")
            .takes(QT_TRANSLATE_NOOP("Options", "NOM"))
            .helps(QT_TRANSLATE_NOOP(
                "Options",
                "écrit les tableaux de toutes les images dans un seul en-tête NOM.h, chacun "
                "tel que le définirait son propre en-tête, suivis de NOM_count, NOM_widths, "
                "NOM_heights, NOM_images (un pointeur vers les pixels de chaque image, dans "
                "l'ordre donné) et d'un enum NOM_IMAGE ; avec --split, NOM.c et NOM.h"))
            .reads(readBundle),
        OptionDeclaration("format")
            .takes(QT_TRANSLATE_NOOP("Options", "FORMAT"))
            .helps(QT_TRANSLATE_NOOP(
                "Options", "ce que contient le tableau, l'un des formats ci-dessous (bmp par défaut)"))
            .choosing(formatNames)
            .reads(readFormat)
            .alsoDecoding(),
        OptionDeclaration("swap-bytes")
            .helps(QT_TRANSLATE_NOOP("Options",
                                     "échange les deux octets de chaque valeur 5-6-5, pour les écrans qui "
                                     "reçoivent l'octet fort d'abord (la palette d'index4 reste telle que "
                                     "TFT_eSPI l'envoie)"))
            .onlyWith(F::SwapBytes)
            .sets([](Options &o) -> bool & { return o.job.encoding.pixels.swapBytes; })
            .alsoDecoding(),
        OptionDeclaration("color-order")
            .takes("rgb|bgr")
            .choosing([] {
                return QStringList {"rgb", "bgr"};
            })
            .helps(QT_TRANSLATE_NOOP(
                "Options",
                "l'ordre des couleurs de l'écran : rgb (par défaut) ou bgr, le rouge et le bleu "
                "échangés, pour les écrans câblés BGR (en rgb565, le rouge aux bits 4-0), dans "
                "les pixels comme dans les palettes"))
            .onlyWith(F::ColourOrder)
            .reads(readColourOrder)
            .alsoDecoding(),
        OptionDeclaration("threshold")
            .takes("N")
            .helps(QT_TRANSLATE_NOOP(
                "Options",
                "allume les pixels dont la luminance (Rec. 601) vaut au moins N, de %1 à %2 "
                "(par défaut %3) ; en I1 seulement avec lvgl"))
            .onlyWith(F::Threshold)
            .whole([](Options &o) -> int & { return o.job.encoding.pixels.threshold; }, 0, 255, 128,
                   QT_TRANSLATE_NOOP("Options", "--threshold : « %1 » n'est pas un seuil de %2 à %3")),
        OptionDeclaration("invert")
            .helps(
                QT_TRANSLATE_NOOP("Options",
                                  "échange pixels allumés et éteints, inverse les niveaux de gris ; en L8 et "
                                  "I1 seulement avec lvgl"))
            .onlyWith(F::Invert)
            .sets([](Options &o) -> bool & { return o.job.encoding.pixels.invert; }),
        OptionDeclaration("alpha")
            .takes("mask")
            .choosing([] { return QStringList {"mask"}; })
            .helps(QT_TRANSLATE_NOOP(
                "Options",
                "ajoute NOM_mask, 1 bit par pixel, 1 où l'image est opaque (alpha de 128 ou "
                "plus)"))
            .onlyWith(F::AlphaMask)
            .reads(readAlpha),
        OptionDeclaration("transparent")
            .takes(QT_TRANSLATE_NOOP("Options", "COULEUR"), OptionDeclaration::Colour)
            .helps(
                QT_TRANSLATE_NOOP("Options",
                                  "écrit COULEUR pour les pixels transparents (alpha sous 128) et la donne "
                                  "dans NOM_transparent, dans l'ordre que TFT_eSPI compare"))
            .onlyWith(F::Transparent)
            .reads(readTransparent),
        OptionDeclaration("lvgl-cf")
            .takes("CF")
            .choosing([] {
                QStringList names;
                for (const QByteArray &name : lvglColourFormatNames(9))
                    names << QLatin1String(name);
                return names;
            })
            .helps(QT_TRANSLATE_NOOP("Options", "le format de couleur de l'image LVGL : %1"))
            .onlyWith(F::LvglSettings)
            .reads(readLvglColourFormat),
        OptionDeclaration("lvgl-version")
            .takes("8|9")
            .choosing([] {
                return QStringList {"9", "8"};
            })
            .helps(QT_TRANSLATE_NOOP("Options",
                                     "lv_image_dsc_t de LVGL 9 (par défaut) ou lv_img_dsc_t de LVGL 8"))
            .onlyWith(F::LvglSettings)
            .reads(readLvglVersion),
        OptionDeclaration("stride-align")
            .takes("N")
            .helps(
                QT_TRANSLATE_NOOP("Options", "chaque ligne sur un multiple de N octets, complétée de zéros"))
            .onlyWith(F::StrideAlign)
            .whole([](Options &o) -> int & { return o.job.encoding.arrays.strideAlign; }, 1, 1024, 1,
                   QT_TRANSLATE_NOOP("Options",
                                     "--stride-align : « %1 » n'est pas un alignement de %2 à %3 octets")),
        OptionDeclaration("compress")
            .takes("rle|lz4")
            .choosing([] {
                return QStringList {"rle", "lz4"};
            })
            .helps(QT_TRANSLATE_NOOP(
                "Options",
                "code les tableaux par plages (rle) : NOM_rle et NOM_size au lieu de NOM, que "
                "quillon_rle.h, écrit à côté de l'en-tête, relit morceau par morceau ; avec lvgl, "
                "compresse l'image comme LVGL 9 la lit (rle ou lz4) ; pas avec bmp"))
            .reads(readCompress),
        OptionDeclaration("palette")
            .takes(QT_TRANSLATE_NOOP("Options", "FICHIER"), OptionDeclaration::File)
            .helps(
                QT_TRANSLATE_NOOP("Options",
                                  "la palette de FICHIER au lieu d'une palette choisie pour l'image ; une "
                                  "palette GIMP (.gpl) ou une couleur #rrvvbb par ligne, les lignes vides et "
                                  "les commentaires (# et une espace) permis"))
            .onlyWith(F::Palette)
            .reads(readPalette),
        OptionDeclaration("crop")
            .takes(QT_TRANSLATE_NOOP("Options", "X,Y,LxH"))
            .helps(QT_TRANSLATE_NOOP("Options", "ne garde que ce rectangle de l'image"))
            .reads(readCrop),
        OptionDeclaration("rotate")
            .takes("90|180|270")
            .choosing([] {
                return QStringList {"90", "180", "270"};
            })
            .helps(QT_TRANSLATE_NOOP("Options", "tourne l'image d'autant de degrés, dans le sens horaire"))
            .reads(readRotate),
        OptionDeclaration("flip")
            .takes("h|v")
            .choosing([] {
                return QStringList {"h", "v"};
            })
            .helps(QT_TRANSLATE_NOOP(
                "Options",
                "retourne l'image de gauche à droite (h) ou de haut en bas (v) ; les deux si "
                "l'option est donnée deux fois"))
            .reads(readFlip),
        OptionDeclaration("fit")
            .takes(QT_TRANSLATE_NOOP("Options", "LxH"), OptionDeclaration::Size)
            .helps(QT_TRANSLATE_NOOP("Options",
                                     "réduit l'image (sans jamais l'agrandir) pour qu'elle tienne dans L x H "
                                     "pixels, en gardant ses proportions"))
            .reads(readFit),
        OptionDeclaration("fit-mode")
            .takes("contain|cover|stretch")
            .choosing([] {
                return QStringList {"contain", "cover", "stretch"};
            })
            .helps(
                QT_TRANSLATE_NOOP("Options",
                                  "avec --fit : dedans (par défaut) ; cover, exactement L x H, couverts en "
                                  "gardant les proportions, l'image agrandie s'il le faut et ce qui dépasse "
                                  "coupé autour de --gravity ; stretch, exactement L x H sans garder les "
                                  "proportions"))
            .reads(readFitMode),
        OptionDeclaration("upscale")
            .helps(QT_TRANSLATE_NOOP("Options",
                                     "avec --fit en contain : agrandit aussi une image plus petite (cover et "
                                     "stretch agrandissent toujours ce qu'il faut)"))
            .sets([](Options &o) -> bool & { return o.job.encoding.display.upscale; }),
        OptionDeclaration("canvas")
            .takes(QT_TRANSLATE_NOOP("Options", "LxH"), OptionDeclaration::Size)
            .helps(QT_TRANSLATE_NOOP("Options",
                                     "pose l'image sur un fond de L x H pixels exactement, de la couleur de "
                                     "--background (noir par défaut)"))
            .reads(readCanvas),
        OptionDeclaration("gravity")
            .takes(QT_TRANSLATE_NOOP("Options", "GRAVITE"))
            .choosing([] {
                return QStringList {"center",     "north",      "south",      "east",      "west",
                                    "north-east", "north-west", "south-east", "south-west"};
            })
            .helps(
                QT_TRANSLATE_NOOP("Options",
                                  "avec cover ou --canvas : center (par défaut), north, south, east, west, "
                                  "north-east, north-west, south-east ou south-west ; centrée, le milieu de "
                                  "l'image, arrondi vers le bas, va sur celui du fond, comme avec -gravity "
                                  "center -extent d'ImageMagick"))
            .reads(readGravity),
        OptionDeclaration("dither")
            .helps(
                QT_TRANSLATE_NOOP("Options",
                                  "diffuse l'erreur (Floyd-Steinberg) vers les niveaux du format au lieu de "
                                  "tronquer chaque couleur"))
            .reads(readDither),
        OptionDeclaration("dither-method")
            .takes("fs|atkinson|bayer")
            .choosing([] {
                return QStringList {"fs", "atkinson", "bayer"};
            })
            .helps(QT_TRANSLATE_NOOP(
                "Options",
                "la façon de tramer, qui implique --dither : fs, Floyd-Steinberg (par défaut), "
                "toute l'erreur diffusée, le plus fidèle aux dégradés et aux photos ; atkinson, "
                "1/8 de l'erreur à chacun de six voisins, le quart restant perdu : des aplats "
                "nets et contrastés, l'aspect classique des écrans 1 bit ; bayer, une matrice "
                "ordonnée de 8 x 8, chaque pixel à part : une couleur donne partout le même "
                "motif, qui ne grouille pas d'une image d'animation à l'autre et se compresse "
                "bien"))
            .reads(readDitherMethod),
        OptionDeclaration("brightness")
            .takes("N")
            .helps(QT_TRANSLATE_NOOP(
                "Options",
                "de %1 à %2 (par défaut %3, qui ne change rien) : éclaircit ou assombrit "
                "l'image une fois façonnée, avant sa réduction au format ; avec --contrast C, "
                "comme -brightness-contrast NxC d'ImageMagick : chaque canal v (de 0 à 1) "
                "devient p (v - (1 - b)/2) + (1 + b)/2, ramené entre 0 et 1, où b = N/100 et "
                "p = tan(pi (C/100 + 1)/4)"))
            .whole([](Options &o) -> int & { return o.job.encoding.display.tone.brightness; }, -100, 100, 0,
                   QT_TRANSLATE_NOOP("Options", "--brightness : « %1 » n'est pas une luminosité de %2 à %3")),
        OptionDeclaration("contrast")
            .takes("C")
            .helps(
                QT_TRANSLATE_NOOP("Options",
                                  "de %1 à %2 (par défaut %3, qui ne change rien) : la pente p de "
                                  "--brightness ; 100 ne laisse que du noir et du blanc, -100 un gris uni"))
            .whole([](Options &o) -> int & { return o.job.encoding.display.tone.contrast; }, -100, 100, 0,
                   QT_TRANSLATE_NOOP("Options", "--contrast : « %1 » n'est pas un contraste de %2 à %3")),
        OptionDeclaration("gamma")
            .takes("G")
            .helps(
                QT_TRANSLATE_NOOP("Options",
                                  "de %1 à %2 (par défaut %3, qui ne change rien), après --brightness et "
                                  "--contrast, comme -gamma d'ImageMagick : chaque canal v devient v^(1/G) ; "
                                  "G > 1 éclaircit"))
            .decimal([](Options &o) -> double & { return o.job.encoding.display.tone.gamma; }, 0.1, 10, 1,
                     QT_TRANSLATE_NOOP("Options", "--gamma : « %1 » n'est pas un gamma de %2 à %3")),
        OptionDeclaration("background")
            .takes(QT_TRANSLATE_NOOP("Options", "COULEUR"), OptionDeclaration::Colour)
            .helps(QT_TRANSLATE_NOOP(
                "Options",
                "pose les pixels transparents sur COULEUR (#rrvvbb ou un nom de couleur) au "
                "lieu du noir"))
            .reads(readBackground),
        OptionDeclaration("frames")
            .takes("all|A-B")
            .helps(QT_TRANSLATE_NOOP(
                "Options",
                "chaque image d'une animation (GIF, WebP, MNG), ou celles de A à B (numérotées à partir "
                "de 1, B comprise), chacune dans son tableau NOM_frame0, NOM_frame1... avec "
                "NOM_frames[], NOM_frame_count et NOM_delays_ms[] ; pour lvgl, un descripteur "
                "par image ; pas avec --format bmp"))
            .reads(readFrames),
        OptionDeclaration("preview")
            .helps(
                QT_TRANSLATE_NOOP("Options",
                                  "écrit aussi NOM16bits.png, l'image telle que l'écran l'affichera ; avec "
                                  "--frames, une par image : NOM16bits_frame0.png, NOM16bits_frame1.png..."))
            .sets([](Options &o) -> bool & { return o.job.preview; }),
        OptionDeclaration("bmp")
            .helps(QT_TRANSLATE_NOOP(
                "Options",
                "hors bmp : écrit aussi NOM16bits.BMP (sans cette option, seul --format bmp "
                "l'écrit)"))
            .sets([](Options &o) -> bool & { return o.job.bmp; }),
        OptionDeclaration("binary")
            .helps(QT_TRANSLATE_NOOP(
                "Options",
                "hors bmp : écrit aussi chaque tableau tel quel, en petit-boutiste, dans "
                "NOM.bin, NOM_mask.bin... (codés avec --compress rle : NOM_rle.bin, que lit "
                "quillon_rle_init_ram) ; avec lvgl, NOM.bin est l'image que LVGL charge d'un "
                "fichier"))
            .sets([](Options &o) -> bool & { return o.job.binary; }),
        OptionDeclaration("decode")
            .helps(QT_TRANSLATE_NOOP(
                "Options",
                "relit chaque fichier donné comme un en-tête écrit par Quillon et en écrit chaque "
                "image dans NOM16bits.png, telle que --preview la montre ; le tableau d'un autre "
                "outil se relit avec --format et --size"))
            .alsoDecoding(),
        OptionDeclaration("size")
            .takes("LxH", OptionDeclaration::Size)
            .helps(QT_TRANSLATE_NOOP(
                "Options",
                "avec --decode et --format : la taille de l'image que tient le tableau d'un autre "
                "outil"))
            .reads(readSize)
            .alsoDecoding(),
        OptionDeclaration("verbose", 'v')
            .helps(
                QT_TRANSLATE_NOOP("Options",
                                  "dit sur la sortie d'erreur chaque fichier écrit (sans cette option, une "
                                  "conversion réussie ne dit rien)"))
            .sets([](Options &o) -> bool & { return o.verbose; })
            .alsoDecoding(),
        OptionDeclaration("help", 'h').helps(QT_TRANSLATE_NOOP("Options", "affiche cette aide et quitte")),
        OptionDeclaration("version", 'V').helps(QT_TRANSLATE_NOOP("Options", "affiche la version et quitte")),
    };
    return options;
}

const OptionDeclaration *findOption(const QString &name)
{
    for (const OptionDeclaration &option : optionTable()) {
        if (name == QLatin1String(option.name))
            return &option;
    }
    return nullptr;
}
