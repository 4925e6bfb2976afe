// The command line in the user's language: French where the messages' locale is French, English
// elsewhere, every message translated, the same headers in both; the manual pages in both
// languages list exactly the options of the table and every format; the tables it reads keep to
// what they declare.

#include "display_formats.h"
#include "options.h"
#include "testsupport.h"

#include <QFileInfo>
#include <QImage>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

namespace {

// quillon-convert with only the locale variables `locale` ("LANG=C"...) of those that choose
// the messages' language.
TestSupport::Run quillonConvert(const QStringList &locale, const QStringList &arguments)
{
    const QStringList unset = {"env", "-u", "LC_ALL", "-u", "LC_MESSAGES", "-u", "LANG", "-u", "LANGUAGE"};
    return TestSupport::quillonConvert(arguments, unset + locale);
}

// The options of a manual page's OPTIONS section as it shows them ("-o, --output=DOSSIER"), each
// with the text of its entry, and every word the page sets in bold.
void readManualPage(const QString &path, QMap<QString, QString> *options, QSet<QString> *boldWords)
{
    const QStringList lines = QString::fromUtf8(TestSupport::readFile(path)).split('\n');
    bool inOptions = false;
    QString option;
    for (int i = 0; i < lines.size(); ++i) {
        QString plain = lines[i];
        plain.remove(QRegularExpression("\\\\f[BIRP]")).replace(QLatin1String("\\-"), QLatin1String("-"));
        if (plain.startsWith(QLatin1String(".SH")))
            inOptions = plain == QLatin1String(".SH OPTIONS");
        if (plain.startsWith(QLatin1String(".B ")) || plain.startsWith(QLatin1String(".BR ")))
            boldWords->insert(plain.section(' ', 1, 1).remove(QRegularExpression("[\",]")));
        if (!inOptions || plain.startsWith(QLatin1String(".SH")) || plain.startsWith(QLatin1String(".PP"))) {
            option.clear();
        } else if (lines[i] == QLatin1String(".TP") && i + 1 < lines.size()) {
            option = lines[++i];
            option.remove(QRegularExpression("\\A\\.BR? |\\\\f[BIRP]|[\" ]"))
                .replace(QLatin1String("\\-"), "-");
            options->insert(option, QString());
        } else if (!option.isEmpty()) {
            (*options)[option] += plain.remove(QRegularExpression("\\A\\.[A-Z]+ ")) + QLatin1Char(' ');
        }
    }
}

} // namespace

class TestMessages : public QObject
{
    Q_OBJECT

private slots:
    void speaksTheLocalesLanguage_data();
    void speaksTheLocalesLanguage();
    void writesTheSameHeadersInEveryLanguage();
    void translatesEveryMessage_data();
    void translatesEveryMessage();
    void manualPagesListTheOptions_data();
    void manualPagesListTheOptions();
    void readsNumbersWithinTheirRanges_data();
    void readsNumbersWithinTheirRanges();
    void namesWhatTheFormatsDefine_data();
    void namesWhatTheFormatsDefine();
};

void TestMessages::speaksTheLocalesLanguage_data()
{
    QTest::addColumn<QStringList>("locale");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err");

    const QStringList swapped {"--swap-bytes", "a.png"}, c {"LANG=C"}, fr {"LANG=fr_FR.UTF-8"};
    const QString tryHelp = "Try 'quillon-convert --help' for more information.\n";
    const QString french = QString::fromUtf8(
        "quillon-convert: --swap-bytes ne s'emploie qu'avec --format rgb565, index4, index8 ou lvgl\n"
        "Essayez « quillon-convert --help » pour plus d'informations.\n");
    const QString english
        = "quillon-convert: --swap-bytes goes only with --format rgb565, index4, index8 or lvgl\n" + tryHelp;
    QTest::newRow("LANG French") << fr << swapped << 2 << french;
    QTest::newRow("LANG C") << c << swapped << 2 << english;
    QTest::newRow("nothing set") << QStringList() << swapped << 2 << english;
    QTest::newRow("LC_MESSAGES French over LANG English")
        << QStringList {"LANG=en_GB.UTF-8", "LC_MESSAGES=fr_CA.UTF-8"} << swapped << 2 << french;
    QTest::newRow("LC_ALL C over LC_MESSAGES French")
        << QStringList {"LC_ALL=C.UTF-8", "LC_MESSAGES=fr_FR.UTF-8"} << swapped << 2 << english;
    QTest::newRow("LC_ALL French over LANG C")
        << QStringList {"LC_ALL=fr_FR.UTF-8", "LANG=C"} << swapped << 2 << french;
    // The format's own check, in the engine, and a message of the job.
    QTest::newRow("LVGL's check in English")
        << c << QStringList {"--format", "lvgl", "--lvgl-version", "7", "a.png"} << 2
        << "quillon-convert: --lvgl-version: unknown '7' (8 or 9)\n" + tryHelp;
    QTest::newRow("a missing picture in English") << c << QStringList {"/nonexistent/a.png"} << 1
                                                  << "quillon-convert: /nonexistent/a.png: no such file\n";
    QTest::newRow("a missing picture in French")
        << fr << QStringList {"/nonexistent/a.png"} << 1
        << "quillon-convert: /nonexistent/a.png : fichier introuvable\n";
    QTest::newRow("a missing palette in English")
        << c << QStringList {"--format", "index4", "--palette", "/nonexistent/p.gpl", "a.png"} << 2
        << "quillon-convert: --palette: /nonexistent/p.gpl: no such file\n" + tryHelp;
}

void TestMessages::speaksTheLocalesLanguage()
{
    QFETCH(QStringList, locale);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, err);
    const TestSupport::Run run = quillonConvert(locale, arguments);
    QCOMPARE(run.err, err);
    QCOMPARE(run.out, QString());
    QCOMPARE(run.exitCode, exitCode);

    // The help too, from the same table in both languages.
    const TestSupport::Run help = quillonConvert(locale, {"--help"});
    const bool inFrench = err.contains(QString::fromUtf8("Essayez")) || err.contains("introuvable");
    QVERIFY(help.out.startsWith(inFrench ? "Utilisation : quillon-convert [OPTION]... IMAGE...\n"
                                         : "Usage: quillon-convert [OPTION]... PICTURE...\n"));
    QVERIFY(help.out.contains(inFrench ? "  -o, --output=DOSSIER  " : "  -o, --output=DIR      "));
}

void TestMessages::writesTheSameHeadersInEveryLanguage()
{
    QTemporaryDir dir;
    QImage picture(5, 3, QImage::Format_ARGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            picture.setPixel(x, y, qRgba(40 * x, 80 * y, 200 - 30 * x, x == 4 ? 0 : 255));
    QVERIFY(picture.save(dir.filePath("logo.png")));
    for (const char *format :
         {"bmp", "mono", "lvgl", "pages", "gray2", "epd-bw-red", "epd7", "epd-bwry", "epd-spectra6"}) {
        QByteArrayList headers;
        for (const char *language : {"LANG=C", "LANG=fr_FR.UTF-8"}) {
            const QString folder = dir.filePath(QString("%1-%2").arg(format, language));
            QVERIFY(QDir().mkpath(folder));
            const auto run
                = quillonConvert({language}, {"--format", format, "-o", folder, dir.filePath("logo.png")});
            QCOMPARE(run.exitCode, 0);
            headers << TestSupport::readFile(folder + "/logo.h");
        }
        QCOMPARE(headers[0], headers[1]);
        // The window's header keeps its French line; the display formats' comments are in English,
        // the language of firmware code: none of French's words, accents or spaced colons.
        if (format == QByteArray("bmp")) {
            QVERIFY(headers[0].startsWith("// Fichier g\xC3\xA9n\xC3\xA9r\xC3\xA9 avec Quillon "));
            continue;
        }
        QVERIFY2(headers[0].startsWith("// Generated by Quillon https://"), headers[0].constData());
        for (const QByteArray &line : headers[0].split('\n')) {
            if (!line.startsWith("//"))
                continue;
            for (const char *french : {" de ", " et ", " : ", " ; ", " la ", " le ", " les ", " par "})
                QVERIFY2(!line.contains(french), line.constData());
            for (const char byte : line)
                QVERIFY2(uchar(byte) < 0x80, line.constData());
        }
    }
}

// lupdate over the sources finds no message that the English translation lacks: quillon-convert's
// and Quillon Studio's.
void TestMessages::translatesEveryMessage_data()
{
    QTest::addColumn<QString>("translation");
    QTest::addColumn<QStringList>("sources"); // folders, and lupdate's options
    QTest::addColumn<int>("messages");
    QTest::newRow("quillon-convert") << "cli/quillon-convert_en.ts" << QStringList {"cli", "convert"} << 100;
    // The studio's own folder, not its advice's, which has its translation.
    QTest::newRow("quillon-studio") << "studio/quillon-studio_en.ts"
                                    << QStringList {"-no-recursive", "studio"} << 40;
    QTest::newRow("the studio's advice")
        << "studio/advice/advice_en.ts" << QStringList {"studio/advice"} << 20;
}

void TestMessages::translatesEveryMessage()
{
    QFETCH(QString, translation);
    QFETCH(QStringList, sources);
    QFETCH(int, messages);
    const QString lupdate = QStandardPaths::findExecutable("lupdate");
    if (lupdate.isEmpty() || QProcess::execute(lupdate, {"-version"}) != 0)
        QSKIP("lupdate is not installed");
    QTemporaryDir dir;
    const QString copy = dir.filePath(QFileInfo(translation).fileName());
    TestSupport::writeFile(copy, TestSupport::readFile(QUILLON_SOURCE_DIR "/" + translation));
    QStringList arguments {"-locations",       "none", "-no-obsolete", "-source-language", "fr_FR",
                           "-target-language", "en"};
    for (const QString &folder : sources)
        arguments << (folder.startsWith('-') ? folder : QUILLON_SOURCE_DIR "/" + folder);
    const TestSupport::Run update
        = TestSupport::runProgram(QStringList {lupdate} + arguments + QStringList {"-ts", copy});
    QCOMPARE(update.exitCode, 0);
    QVERIFY2((update.out + update.err).contains("(0 new and"),
             qPrintable("a message is missing from " + translation));
    const QByteArray updated = TestSupport::readFile(copy);
    QVERIFY2(!updated.contains("type=\"unfinished\""),
             qPrintable("a message of " + translation + " is not translated"));
    QVERIFY(updated.count("<message>") > messages);
}

void TestMessages::manualPagesListTheOptions_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("translation");
    QTest::newRow("French") << QUILLON_MANUAL_DIR "/fr/quillon-convert.1" << QString();
    QTest::newRow("English") << QUILLON_MANUAL_DIR "/en/quillon-convert.1"
                             << QUILLON_CLI_TRANSLATIONS_DIR "/quillon-convert_en.qm";
}

void TestMessages::manualPagesListTheOptions()
{
    QFETCH(QString, page);
    QFETCH(QString, translation);
    QTranslator translator;
    if (!translation.isEmpty()) {
        QVERIFY(translator.load(translation));
        QCoreApplication::installTranslator(&translator);
    }
    QMap<QString, QString> listed;
    QSet<QString> boldWords;
    readManualPage(page, &listed, &boldWords);
    // The help, in the same language, and the page have an entry for each option; an option of
    // some formats names each of them on the page: "a, b or c".
    const QString help = helpText();
    QStringList expected;
    for (const OptionDeclaration &option : optionTable()) {
        const QString shown = optionSynopsis(option);
        QVERIFY2(
            help.contains(QRegularExpression("\\n {2,6}" + QRegularExpression::escape(shown) + "[ \\n]")),
            qPrintable(shown));
        expected << QString(shown).remove(' ');
        const QByteArrayList names
            = option.setting ? formatsReading(DisplayFormat::Setting(option.setting)) : QByteArrayList();
        if (names.isEmpty())
            continue;
        QString list = QRegularExpression::escape(names.last());
        for (int i = names.size() - 2; i >= 0; --i)
            list.prepend(QRegularExpression::escape(names[i])
                         + (i == names.size() - 2 ? " (ou|or) " : " ?, "));
        const QString entry = listed.value(expected.last());
        QVERIFY2(entry.contains(QRegularExpression("(^| )" + list + "[ :]")),
                 qPrintable(expected.last() + ": " + entry));
    }
    QCoreApplication::removeTranslator(&translator);
    expected.sort();
    QCOMPARE(listed.keys(), expected);
    // Every format, in the help and in bold on the page.
    QByteArrayList formats {"bmp"};
    for (const DisplayFormat &format : displayFormats())
        formats << format.name;
    for (const QByteArray &format : formats) {
        QVERIFY2(help.contains("\n  " + QLatin1String(format) + "  "), format.constData());
        QVERIFY2(boldWords.contains(QLatin1String(format)), format.constData());
    }
}

// Each number option's row holds the range and default that the parser keeps to: its ends taken,
// a step beyond refused, and its field left at the default without it, that of the engine.
void TestMessages::readsNumbersWithinTheirRanges_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<double>("value"); // what its field holds; NaN: refused
    struct Number
    {
        const char *name;
        const char *format;
        double minimum, maximum, byDefault;
        const char *below, *above;
    };
    const Number numbers[] = {
        {"threshold", "mono", 0, 255, 128, "-1", "256"},
        {"stride-align", "gray8", 1, 1024, 1, "0", "1025"},
        {"brightness", "rgb565", -100, 100, 0, "-101", "101"},
        {"contrast", "rgb565", -100, 100, 0, "-101", "101"},
        {"gamma", "rgb565", 0.1, 10, 1, "0.09", "10.01"},
    };
    const double refused = qQNaN();
    for (const Number &n : numbers) {
        const QStringList format {"--format", n.format};
        const QString option = "--" + QLatin1String(n.name);
        const auto row = [&](const char *what, const QStringList &given, double value) {
            QTest::addRow("%s %s", n.name, what) << n.name << format + given + QStringList {"a.png"} << value;
        };
        row("not given", {}, n.byDefault);
        row("lowest", {option, QString::number(n.minimum)}, n.minimum);
        row("highest", {option, QString::number(n.maximum)}, n.maximum);
        row("below", {option, n.below}, refused);
        row("above", {option, n.above}, refused);
    }
    QTest::newRow("a sign on a threshold")
        << "threshold" << QStringList {"--format", "mono", "--threshold", "+5", "a.png"} << refused;
    QTest::newRow("a sign on a brightness")
        << "brightness" << QStringList {"--brightness", "+5", "a.png"} << 5.0;
}

void TestMessages::readsNumbersWithinTheirRanges()
{
    QFETCH(QString, option);
    QFETCH(QStringList, arguments);
    QFETCH(double, value);
    const Options options = parseOptions(QStringList {"quillon-convert"} + arguments);
    const OptionDeclaration *row = findOption(option);
    QVERIFY(row && row->isNumber);
    if (qIsNaN(value)) {
        QCOMPARE(options.action, Options::UsageError);
        QVERIFY2(options.error.startsWith("--" + option + " : « " + arguments[arguments.size() - 2] + " »"),
                 qPrintable(options.error));
        return;
    }
    QCOMPARE(options.action, Options::Convert);
    const EncodingOptions &e = options.job.encoding;
    const QMap<QString, double> fields {{"threshold", e.threshold},
                                        {"stride-align", e.strideAlign},
                                        {"brightness", e.tone.brightness},
                                        {"contrast", e.tone.contrast},
                                        {"gamma", e.tone.gamma}};
    QCOMPARE(fields.value(option), value);
    // The row declares what the parser keeps to.
    QVERIFY(row->minimum <= row->byDefault && row->byDefault <= row->maximum);
    if (!arguments.contains("--" + option))
        QCOMPARE(row->byDefault, value);
    else if (QTest::currentDataTag() == option + " lowest")
        QCOMPARE(row->minimum, value);
    else if (QTest::currentDataTag() == option + " highest")
        QCOMPARE(row->maximum, value);
}

// What a picture's header may define beside its array, read from the formats' rows: every
// format's arrays and macros, their strides, their coded arrays with --compress rle, and a header
// of frames' tables; the arrays of a frame are told from the others by their number.
void TestMessages::namesWhatTheFormatsDefine_data()
{
    QTest::addColumn<bool>("frames");
    QTest::addColumn<bool>("coded");
    QTest::addColumn<QByteArrayList>("suffixes");
    const QByteArrayList plain {"",        "_width",       "_height",       "_palette",    "_mask",
                                "_map",    "_transparent", "_black",        "_red",        "_yellow",
                                "_stride", "_mask_stride", "_black_stride", "_red_stride", "_yellow_stride"};
    const QByteArrayList coded {"_rle",        "_size",    "_mask_rle", "_mask_size",  "_black_rle",
                                "_black_size", "_red_rle", "_red_size", "_yellow_rle", "_yellow_size"};
    const QByteArrayList frames {"_frame_count", "_delays_ms",    "_frames",     "_mask_frames",
                                 "_map_frames",  "_black_frames", "_red_frames", "_yellow_frames"};
    QTest::newRow("one picture") << false << false << plain;
    QTest::newRow("coded") << false << true << plain + coded;
    QTest::newRow("frames") << true << false << plain + frames;
    QTest::newRow("coded frames") << true << true << plain + coded + frames;
}

void TestMessages::namesWhatTheFormatsDefine()
{
    QFETCH(bool, frames);
    QFETCH(bool, coded);
    QFETCH(QByteArrayList, suffixes);
    QByteArrayList expected;
    for (const QByteArray &suffix : suffixes)
        expected << "pic" + suffix;
    QCOMPARE(definedIdentifiers("pic", frames, coded), expected);
    // A frame's arrays: those of rows of pixels and LVGL's map, numbered from 0 to 999.
    for (const char *frameArray : {"pic_frame0", "pic_frame999_yellow", "pic_frame3_map", "pic_frame12_mask"})
        QVERIFY2(isFrameArrayName(frameArray, "pic", coded), frameArray);
    for (const char *other : {"pic_frame1000", "pic_frame01", "pic_frame3_palette", "pic_frame3_transparent",
                              "pic_frame3_map_rle", "pic_frame_count", "pic2_frame3"})
        QVERIFY2(!isFrameArrayName(other, "pic", coded), other);
    QCOMPARE(isFrameArrayName("pic_frame3_mask_rle", "pic", coded), coded);
}

QTEST_GUILESS_MAIN(TestMessages)
#include "tst_messages.moc"
