#include "command_text.h"

#include "argument_list.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

// A CMake argument: as it is when it holds nothing CMake reads specially, else quoted, with \, "
// and $ escaped.
QString cmakeWord(const QString &word)
{
    static const QRegularExpression plain(QStringLiteral("\\A[A-Za-z0-9_./+=:,@%-]+\\z"));
    if (plain.match(word).hasMatch())
        return word;
    QString quoted = word;
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('"'), QLatin1String("\\\""))
        .replace(QLatin1Char('$'), QLatin1String("\\$"))
        .replace(QLatin1Char(';'), QLatin1String("\\;"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString joined(const QStringList &words, QString (*quote)(const QString &))
{
    QStringList quoted;
    for (const QString &word : words)
        quoted << quote(word);
    return quoted.join(QLatin1Char(' '));
}

// The label of a drawing line, the text before its first ": ", for each library.
const QVector<QPair<QString, QRegularExpression>> &libraryLabels()
{
    static const QVector<QPair<QString, QRegularExpression>> labels = {
        {QStringLiteral("Adafruit GFX"),
         QRegularExpression(QStringLiteral("\\A(Adafruit GFX|Adafruit_\\w+)( \\(.*\\))?\\z"))},
        {QStringLiteral("u8g2"), QRegularExpression(QStringLiteral("\\A(u8g2|U8g2lib)( \\(.*\\))?\\z"))},
        {QStringLiteral("TFT_eSPI"), QRegularExpression(QStringLiteral("\\ATFT_eSPI( \\(.*\\))?\\z"))},
        {QStringLiteral("GxEPD2"), QRegularExpression(QStringLiteral("\\AGxEPD2( \\(.*\\))?\\z"))},
        {QStringLiteral("Waveshare"),
         QRegularExpression(QStringLiteral("\\AWaveshare (C library|Arduino)\\b.*\\z"))},
        {QStringLiteral("LVGL"), QRegularExpression(QStringLiteral("\\ALVGL [0-9]+\\z"))},
    };
    return labels;
}

} // namespace

QString shellWord(const QString &word)
{
    static const QRegularExpression plain(QStringLiteral("\\A[A-Za-z0-9_./+=:,@%-]+\\z"));
    if (plain.match(word).hasMatch())
        return word;
    QString quoted = word;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString convertCommand(const QStringList &arguments, const QStringList &pictures, const QString &outputFolder)
{
    QStringList words {QStringLiteral("quillon-convert")};
    if (!outputFolder.isEmpty())
        words << QStringLiteral("-o") << outputFolder;
    words << withoutOptions(arguments, {QStringLiteral("output")});
    if (std::any_of(pictures.begin(), pictures.end(),
                    [](const QString &picture) { return picture.startsWith(QLatin1Char('-')); }))
        words << QStringLiteral("--");
    words << pictures;
    return joined(words, shellWord);
}

QString cmakeLines(const QStringList &arguments, const QStringList &pictures, const QString &target)
{
    QStringList options, names;
    bool progmem = false, split = false;
    for (const GivenOption &option : givenOptions(arguments)) {
        if (option.name == QLatin1String("progmem"))
            progmem = true;
        else if (option.name == QLatin1String("split"))
            split = true;
        else if (option.name == QLatin1String("name"))
            names = QStringList {optionValue(option)};
        else if (option.name != QLatin1String("output") && option.name != QLatin1String("force"))
            options << option.words;
    }
    QString text
        = QStringLiteral("find_package(Quillon REQUIRED)\nquillon_convert_pictures(%1\n").arg(target);
    text += QStringLiteral("    OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/pictures\n");
    text += QStringLiteral("    PICTURES %1\n").arg(joined(pictures, cmakeWord));
    if (!names.isEmpty())
        text += QStringLiteral("    NAMES %1\n").arg(joined(names, cmakeWord));
    if (progmem)
        text += QStringLiteral("    PROGMEM\n");
    if (split)
        text += QStringLiteral("    SPLIT\n");
    if (!options.isEmpty())
        text += QStringLiteral("    OPTIONS %1\n").arg(joined(options, cmakeWord));
    text += QStringLiteral("    HEADERS_VARIABLE %1_headers)\n").arg(target);
    return text;
}

QVector<QPair<int, int>> drawingLineRanges(const QByteArray &headerText, const QString &library)
{
    QVector<QPair<int, int>> ranges;
    const QRegularExpression *label = nullptr;
    for (const auto &known : libraryLabels()) {
        if (known.first == library)
            label = &known.second;
    }
    if (!label)
        return ranges;
    const QString text = QString::fromUtf8(headerText);
    // The comment at the top, up to its first line that is not one.
    for (int start = 0; start < text.size();) {
        int end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = text.size();
        const QStringRef line = text.midRef(start, end - start);
        if (!line.startsWith(QLatin1String("//")) && !line.trimmed().isEmpty())
            break;
        const int colon = line.indexOf(QLatin1String(": "));
        if (line.startsWith(QLatin1String("// ")) && colon > 3
            && label->match(line.mid(3, colon - 3).toString()).hasMatch()) {
            int codeEnd = end;
            if (codeEnd > start && text[codeEnd - 1] == QLatin1Char('\r'))
                --codeEnd;
            ranges << qMakePair(start + colon + 2, codeEnd - (start + colon + 2));
        }
        start = end + 1;
    }
    return ranges;
}
