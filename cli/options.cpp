#include "options.h"

#include "option_rules.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace {

Options usageError(const QString &message)
{
    Options options;
    options.action = Options::UsageError;
    options.error = message;
    return options;
}

// The number of single letters inserted, deleted, replaced or swapped with their neighbour that
// turn `a` into `b` (the optimal string alignment distance).
int editDistance(const QString &a, const QString &b)
{
    const int m = a.size(), n = b.size();
    QVector<QVector<int>> d(m + 1, QVector<int>(n + 1));
    for (int i = 0; i <= m; ++i)
        d[i][0] = i;
    for (int j = 0; j <= n; ++j)
        d[0][j] = j;
    for (int i = 1; i <= m; ++i) {
        for (int j = 1; j <= n; ++j) {
            d[i][j] = qMin(qMin(d[i - 1][j] + 1, d[i][j - 1] + 1),
                           d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1));
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = qMin(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[m][n];
}

// The long option that `name` (given without its dashes) was most likely meant to be: the nearest
// by a slip or two of the fingers (one for names of 4 letters or fewer), or the one it begins with
// or alone begins; empty when none is near enough.
QString nearestOption(const QString &name)
{
    QString nearest;
    int best = name.size() <= 4 ? 2 : 3;
    QStringList prefixed;
    for (const OptionDeclaration &option : optionTable()) {
        const QString known = QLatin1String(option.name);
        const int distance = editDistance(name, known);
        if (distance < best) {
            best = distance;
            nearest = known;
        }
        if (name.size() >= 3 && known.startsWith(name))
            prefixed << known;
        if (known.size() >= 4 && name.startsWith(known) && nearest.isEmpty())
            nearest = known;
    }
    if (nearest.isEmpty() && prefixed.size() == 1)
        nearest = prefixed.first();
    return nearest;
}

// A long option written with one dash, "-format mono": parsed the GNU way, it would be -f -o rmat
// and write into a folder named rmat. Refused, naming the option meant; arguments after "--" are
// pictures.
QString singleDashProblem(const QStringList &arguments)
{
    for (const QString &argument : arguments.mid(1)) {
        if (argument == QLatin1String("--"))
            break;
        if (argument.size() < 3 || argument[0] != QLatin1Char('-') || argument[1] == QLatin1Char('-'))
            continue;
        const QString word = argument.mid(1).section(QLatin1Char('='), 0, 0);
        for (const OptionDeclaration &option : optionTable()) {
            if (word == QLatin1String(option.name))
                return Options::tr(
                           "« %1 » : une option longue prend deux tirets ; vouliez-vous dire « --%2 » ?")
                    .arg(argument, word);
        }
    }
    return QString();
}

// What QCommandLineParser reports in English, said in French.
QString parserError(const QCommandLineParser &parser)
{
    if (!parser.unknownOptionNames().isEmpty()) {
        const QString name = parser.unknownOptionNames().first();
        const QString given = (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
        const QString meant = name.size() == 1 ? QString() : nearestOption(name);
        if (!meant.isEmpty())
            return Options::tr("option inconnue « %1 » ; vouliez-vous dire « --%2 » ?").arg(given, meant);
        return Options::tr("option inconnue « %1%2 »").arg(name.size() == 1 ? "-" : "--", name);
    }
    // "Missing value after '-o'.", "Unexpected value after '--force'."
    const QString option = QRegularExpression("'([^']*)'").match(parser.errorText()).captured(1);
    if (parser.errorText().startsWith(QLatin1String("Unexpected value")))
        return Options::tr("l'option « %1 » n'attend pas de valeur").arg(option);
    const QString what = option == "-o" || option == "--output" ? Options::tr("un dossier")
        : option == "-n" || option == "--name"                  ? Options::tr("un nom")
                                                                : Options::tr("une valeur");
    return Options::tr("l'option « %1 » attend %2").arg(option, what);
}

// The rows in the order their values are read: the table's, but --lvgl-cf after --lvgl-version, the
// next row, whose colour formats it names.
QVector<const OptionDeclaration *> readingOrder()
{
    QVector<const OptionDeclaration *> rows;
    for (const OptionDeclaration &declared : optionTable())
        rows << &declared;
    const auto colourFormat = std::find_if(rows.begin(), rows.end(), [](const OptionDeclaration *row) {
        return qstrcmp(row->name, "lvgl-cf") == 0;
    });
    std::iter_swap(colourFormat, colourFormat + 1);
    return rows;
}

// The values of each option given that `reading` takes, through its row's reader; the first
// problem told.
QString readValues(
    const QCommandLineParser &parser, Options &options,
    bool (*reading)(const OptionDeclaration &) = [](const OptionDeclaration &) { return true; })
{
    static const QVector<const OptionDeclaration *> order = readingOrder();
    for (const OptionDeclaration *row : order) {
        const OptionDeclaration &declared = *row;
        const QString name = QLatin1String(declared.name);
        if (!declared.read || !options.given.contains(name) || !reading(declared))
            continue;
        const QString problem
            = declared.read(declared.valueName ? parser.values(name) : QStringList(), options);
        if (!problem.isEmpty())
            return problem;
    }
    return QString();
}

// --decode: only where the pictures go and how another tool's array reads. --color-order is
// read as bgr or else rgb, whatever its value.
Options decodeOptions(const QCommandLineParser &parser, Options options)
{
    const QString problem = readValues(parser, options, [](const OptionDeclaration &option) {
        return option.decoding && qstrcmp(option.name, "color-order") != 0;
    });
    if (!problem.isEmpty())
        return usageError(problem);
    options.action = Options::Decode;
    options.job.encoding.pixels.bgr = options.gave("color-order")
        && parser.values(QStringLiteral("color-order")).constLast().trimmed() == QLatin1String("bgr");
    return options;
}

// Each picture's array name: --name's, or after its file.
void nameArrays(Options &options)
{
    if (options.gave("name"))
        options.arrayNames = {options.name.toLatin1()};
    for (int i = 0; !options.gave("name") && i < options.pictures.size(); ++i)
        options.arrayNames << arrayNameOf(options.pictures[i]);
}

// What the settings read imply: the files shown, the bundle's name.
void completeSettings(Options &options)
{
    PictureJob &job = options.job;
    job.encoding.shown = job.preview ? EncodingOptions::ShownInFullColour
        : job.bmp                    ? EncodingOptions::Shown565
                                     : EncodingOptions::NotShown;
    options.bundle = options.bundleName.trimmed().toLatin1();
}

// The parser of every option of the table.
void declareOptions(QCommandLineParser &parser)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    for (const OptionDeclaration &declared : optionTable()) {
        QStringList names;
        if (declared.shortName)
            names << QString(QLatin1Char(declared.shortName));
        names << QLatin1String(declared.name);
        parser.addOption(QCommandLineOption(
            names, QString(), declared.valueName ? QLatin1String(declared.valueName) : QString()));
    }
}

} // namespace

Options parseOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    declareOptions(parser);
    if (!parser.parse(arguments))
        return usageError(parserError(parser));
    if (const QString problem = singleDashProblem(arguments); !problem.isEmpty())
        return usageError(problem);

    Options options;
    for (const OptionDeclaration &declared : optionTable()) {
        if (parser.isSet(QLatin1String(declared.name)))
            options.given << QLatin1String(declared.name);
    }
    if (options.gave("help") || options.gave("version")) {
        options.action = options.gave("help") ? Options::ShowHelp : Options::ShowVersion;
        return options;
    }
    options.pictures = parser.positionalArguments();
    if (options.pictures.isEmpty())
        return usageError(Options::tr("aucune image indiquée"));
    // The format first: which options it takes, and how --compress and --palette read.
    QString problem = readValues(
        parser, options, [](const OptionDeclaration &option) { return qstrcmp(option.name, "format") == 0; });
    if (problem.isEmpty())
        problem = formatTakingProblem(options);
    if (problem.isEmpty())
        problem = decodeProblem(options);
    if (!problem.isEmpty())
        return usageError(problem);
    if (options.gave("decode"))
        return decodeOptions(parser, options);
    problem = readValues(parser, options);
    nameArrays(options);
    if (problem.isEmpty())
        problem = crossOptionProblem(options);
    if (!problem.isEmpty())
        return usageError(problem);
    completeSettings(options);
    return options;
}

PictureJob pictureJobOf(const Options &options, int picture)
{
    PictureJob job = options.job;
    job.picturePath = options.pictures[picture];
    job.outputFolder
        = options.job.outputFolder.isEmpty() ? QFileInfo(job.picturePath).path() : options.job.outputFolder;
    job.encoding.header.arrayName = options.arrayNames[picture];
    return job;
}

QStringList givenArguments(const QStringList &arguments)
{
    QCommandLineParser parser;
    declareOptions(parser);
    parser.parse(arguments);
    QStringList given;
    for (const OptionDeclaration &declared : optionTable()) {
        const QString name = QLatin1String(declared.name);
        if (!parser.isSet(name))
            continue;
        if (!declared.valueName) {
            given << QStringLiteral("--") + name;
            continue;
        }
        const QStringList values = parser.values(name);
        for (const QString &value : name == QLatin1String("flip") ? values : QStringList {values.constLast()})
            given << QStringLiteral("--") + name << value;
    }
    return given << QStringLiteral("--") << parser.positionalArguments();
}

bool messagesInFrench()
{
    for (const char *variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QByteArray value = qgetenv(variable);
        if (!value.isEmpty())
            return value.startsWith("fr");
    }
    return false;
}
