#include "c_array_reader.h"

#include <QCoreApplication>

namespace {

struct Token
{
    enum Kind { End, Identifier, Number, Punctuation, Directive, Problem };
    Kind kind = End;
    QByteArray text; // an identifier, a punctuation's byte, a directive's keyword
    quint64 value = 0; // a number's
    int line = 1;
};

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool isIdentifierStart(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool isIdentifierByte(char c)
{
    return isIdentifierStart(c) || (c >= '0' && c <= '9');
}

// The digit's value in base 16, or 16 when it is none.
int digitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 16;
}

// The text read a token at a time, comments and directives taken in as they pass.
class Tokenizer
{
public:
    Tokenizer(const QByteArray &text, ReadHeader *header)
        : m_text(text.constData())
        , m_end(text.constData() + text.size())
        , m_header(header)
    { }

    Token next()
    {
        Token token;
        for (;;) {
            passSpaces();
            token.line = m_line;
            if (m_at == m_end)
                return token;
            if (startsWith('/', '/')) {
                lineComment();
            } else if (startsWith('/', '*')) {
                if (!blockComment())
                    return problem(
                        token, QCoreApplication::translate("HeaderReading", "commentaire /* jamais fermé"));
            } else if (*m_at == '#' && m_lineStart) {
                return directive(token);
            } else {
                break;
            }
        }
        m_lineStart = false;
        const char c = *m_at;
        if (isIdentifierStart(c))
            return identifier(token);
        if (c >= '0' && c <= '9')
            return number(token);
        if (c == '"' || c == '\'')
            return quoted(token);
        if (uchar(c) >= 0x80 || uchar(c) < 0x20)
            return problem(token,
                           QCoreApplication::translate("HeaderReading", "octet 0x%1 hors d'un commentaire")
                               .arg(uchar(c), 2, 16, QLatin1Char('0')));
        ++m_at;
        token.kind = Token::Punctuation;
        token.text = QByteArray::fromRawData(m_at - 1, 1); // the text outlives its tokens: no copy
        return token;
    }

private:
    bool startsWith(char first, char second) const
    {
        return m_at + 1 < m_end && m_at[0] == first && m_at[1] == second;
    }

    // Spaces and line breaks, counted.
    void passSpaces()
    {
        for (; m_at < m_end && isSpace(*m_at); ++m_at) {
            if (*m_at == '\n') {
                ++m_line;
                m_lineStart = true;
            }
        }
    }

    // A comment from // to the line's end, kept in the header's comment lines.
    void lineComment()
    {
        const char *start = m_at + 2;
        while (m_at < m_end && *m_at != '\n')
            ++m_at;
        m_header->commentLines << QByteArray(start, int(m_at - start)).trimmed();
    }

    // A comment from /* to */; false when the text ends first.
    bool blockComment()
    {
        m_at += 2;
        while (m_at + 1 < m_end && !(m_at[0] == '*' && m_at[1] == '/')) {
            if (*m_at == '\n')
                ++m_line;
            ++m_at;
        }
        if (m_at + 1 >= m_end)
            return false;
        m_at += 2;
        return true;
    }

    Token identifier(Token token)
    {
        const char *start = m_at;
        while (m_at < m_end && isIdentifierByte(*m_at))
            ++m_at;
        token.kind = Token::Identifier;
        token.text = QByteArray(start, int(m_at - start));
        return token;
    }

    // A string or a character, up to its closing quote on the same line: a punctuation ".
    Token quoted(Token token)
    {
        const char quote = *m_at;
        for (++m_at; m_at < m_end && *m_at != quote && *m_at != '\n'; ++m_at) {
            if (*m_at == '\\' && m_at + 1 < m_end)
                ++m_at;
        }
        if (m_at == m_end || *m_at != quote)
            return problem(token, QCoreApplication::translate("HeaderReading", "chaîne jamais fermée"));
        ++m_at;
        token.kind = Token::Punctuation;
        token.text = "\"";
        return token;
    }

    Token problem(Token token, const QString &what)
    {
        token.kind = Token::Problem;
        token.text = what.toUtf8();
        m_at = m_end;
        return token;
    }

    // A number: hexadecimal (0x), binary (0b), octal (a leading 0) or decimal, with the suffixes
    // u and l; no more than 32 bits.
    Token number(Token token)
    {
        const char *start = m_at;
        while (m_at < m_end && (isIdentifierByte(*m_at) || *m_at == '.'))
            ++m_at;
        const auto text = [&] { return QString::fromLatin1(start, int(qMin<qint64>(m_at - start, 24))); };
        const char *digits = start, *end = m_at;
        while (end > digits && (end[-1] == 'u' || end[-1] == 'U' || end[-1] == 'l' || end[-1] == 'L'))
            --end;
        int base = 10;
        if (end - digits > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
            base = 16;
            digits += 2;
        } else if (end - digits > 2 && digits[0] == '0' && (digits[1] == 'b' || digits[1] == 'B')) {
            base = 2;
            digits += 2;
        } else if (end - digits > 1 && digits[0] == '0') {
            base = 8;
            ++digits;
        }
        quint64 value = 0;
        for (const char *d = digits; d < end; ++d) {
            const int digit = digitValue(*d);
            if (digit >= base || value > 0xffffffffULL)
                return problem(
                    token,
                    QCoreApplication::translate("HeaderReading", "nombre illisible « %1 »").arg(text()));
            value = value * quint64(base) + quint64(digit);
        }
        if (value > 0xffffffffULL)
            return problem(
                token, QCoreApplication::translate("HeaderReading", "nombre illisible « %1 »").arg(text()));
        token.kind = Token::Number;
        token.value = value;
        return token;
    }

    // A line that starts with #, and those that a backslash at its end joins to it: its keyword,
    // and a #define kept in the header's macros.
    Token directive(Token token)
    {
        const char *start = ++m_at;
        while (m_at < m_end && *m_at != '\n') {
            if (*m_at == '\\' && m_at + 1 < m_end && m_at[1] == '\n') {
                ++m_line;
                ++m_at;
            }
            ++m_at;
        }
        QByteArray line = QByteArray(start, int(m_at - start)).simplified();
        const int comment = line.indexOf("//");
        if (comment >= 0)
            line = line.left(comment).trimmed();
        const int space = line.indexOf(' ');
        token.kind = Token::Directive;
        token.text = space < 0 ? line : line.left(space);
        if (token.text == "define" && space > 0) {
            const QByteArray rest = line.mid(space + 1);
            int nameEnd = 0;
            while (nameEnd < rest.size() && isIdentifierByte(rest[nameEnd]))
                ++nameEnd;
            m_header->macros.insert(rest.left(nameEnd), rest.mid(nameEnd).trimmed());
        }
        return token;
    }

    const char *m_text;
    const char *m_at = m_text;
    const char *m_end;
    ReadHeader *m_header;
    int m_line = 1;
    bool m_lineStart = true;
};

// The bytes of each value of an array of these type words: 1, 2 or 4, or 0 when they name no
// type of whole numbers.
int valueBytesOf(const QVector<QByteArray> &words)
{
    int bytes = 0;
    for (const QByteArray &word : words) {
        if (word == "uint8_t" || word == "int8_t" || word == "char" || word == "uint_least8_t")
            bytes = 1;
        else if (word == "uint16_t" || word == "int16_t" || word == "short")
            return 2;
        else if ((word == "uint32_t" || word == "int32_t" || word == "long") && bytes == 0)
            bytes = 4;
        else if (word == "int" && bytes == 0)
            bytes = 4;
    }
    return bytes;
}

// The words and brackets of the statement read so far, to tell an array's name, type and size,
// or an initializer's type and name.
struct Statement
{
    static constexpr int maxWords = 16;

    QVector<QByteArray> words;
    QByteArray name;
    qint64 declared = -1; // the number between the brackets, when it is a number alone
    bool inBrackets = false, bracketsSeen = false, bracketNumber = false, assigned = false;

    void take(const Token &token)
    {
        const char c = token.kind == Token::Punctuation ? token.text.at(0) : '\0';
        if (token.kind == Token::Identifier && inBrackets) {
            bracketNumber = false;
            declared = -1;
        } else if (token.kind == Token::Identifier && !bracketsSeen) {
            if (words.size() == maxWords) // only the last words tell the type
                words.removeFirst();
            words << token.text;
            name = token.text;
        } else if (token.kind == Token::Number && inBrackets) {
            const bool alone = !bracketNumber && declared < 0 && token.value <= 0x7fffffff;
            declared = alone ? qint64(token.value) : -1;
            bracketNumber = bracketNumber || alone;
        } else if (c == '=' && !inBrackets) {
            assigned = true;
        } else if (c == '[' && !bracketsSeen) {
            inBrackets = bracketsSeen = true;
            declared = -1;
            bracketNumber = false;
        } else if (c == ']') {
            inBrackets = false;
        }
    }
};

// Where an initializer's #if, #elif, #else and #endif leave its tokens, by the rule of arrays:
// the first branch of a condition passed over, the others read; conditions nested in it passed
// over with the branch they are in.
struct Conditions
{
    int nested = 0; // conditions within the one being read
    bool skipping = false, inCondition = false;

    void see(const QByteArray &directive)
    {
        if (directive.startsWith("if")) {
            if (inCondition)
                ++nested;
            else
                inCondition = skipping = true;
        } else if (nested == 0 && (directive == "else" || directive.startsWith("elif"))) {
            skipping = false;
        } else if (directive == "endif") {
            if (nested > 0)
                --nested;
            else
                inCondition = skipping = false;
        }
    }
};

// The text of an initializer's fields, each token apart by one space.
struct Fields
{
    ReadStruct read;
    QByteArray field;

    void end()
    {
        if (!field.isEmpty() && read.fields.size() < maxStructFields)
            read.fields << field;
        field.clear();
    }

    void add(const Token &token)
    {
        const QByteArray text = token.kind == Token::Number ? QByteArray::number(token.value) : token.text;
        if (field.size() + 1 + text.size() <= maxFieldBytes)
            field += (field.isEmpty() ? QByteArray() : QByteArray(" ")) + text;
    }
};

// The values of an array as they are read, in an array's own rule for #if and #else: no
// condition nested in another.
class ArrayValues
{
public:
    ArrayValues(const QByteArray &name, int bytes)
        : m_largest(bytes == 4 ? 0xffffffffULL : (1ULL << (8 * bytes)) - 1)
        , m_bytes(bytes)
    {
        array.name = name;
        array.valueBytes = bytes;
    }

    ReadArray array;
    qint64 count = 0;

    // Whether a name met now makes the array a table of pointers, passed over.
    bool pointersStart() const { return count == 0 && !m_skipping && array.data.isEmpty() && m_wantValue; }

    // Takes the token after the opening brace; what is wrong with it, or an empty string.
    // `closed` is set at the closing brace.
    QString take(const Token &token, bool *closed)
    {
        if (token.kind == Token::Directive)
            return takeDirective(token.text);
        const bool punctuation = token.kind == Token::Punctuation;
        if ((token.kind == Token::Number || punctuation) && m_skipping)
            return QString();
        if (token.kind == Token::Number)
            return takeNumber(token.value);
        if (punctuation && token.text == "," && !m_wantValue)
            m_wantValue = true;
        else if (punctuation && token.text == "}")
            *closed = true;
        else
            return QCoreApplication::translate("HeaderReading", "%1 : « %2 » au lieu d'un nombre")
                .arg(QString::fromLatin1(array.name), QString::fromLatin1(token.text));
        return QString();
    }

private:
    QString takeDirective(const QByteArray &directive)
    {
        if (directive.startsWith("if")) {
            if (m_inCondition)
                return QCoreApplication::translate("HeaderReading", "%1 : #if imbriqués dans le tableau")
                    .arg(QString::fromLatin1(array.name));
            m_inCondition = m_skipping = true;
        } else if (directive == "else" || directive.startsWith("elif")) {
            m_skipping = false;
        } else if (directive == "endif") {
            m_inCondition = m_skipping = false;
        }
        return QString();
    }

    QString takeNumber(quint64 value)
    {
        if (!m_wantValue)
            return QCoreApplication::translate("HeaderReading", "%1 : virgule manquante")
                .arg(QString::fromLatin1(array.name));
        if (value > m_largest)
            return QCoreApplication::translate("HeaderReading",
                                               "%1 : la valeur %2 dépasse %3, le plus grand %4")
                .arg(QString::fromLatin1(array.name))
                .arg(value)
                .arg(m_largest)
                .arg(m_bytes == 1       ? QStringLiteral("uint8_t")
                         : m_bytes == 2 ? QStringLiteral("uint16_t")
                                        : QStringLiteral("uint32_t"));
        for (int k = 0; k < m_bytes; ++k)
            array.data += char(value >> (8 * k) & 0xff);
        ++count;
        m_wantValue = false;
        return QString();
    }

    const quint64 m_largest;
    const int m_bytes;
    bool m_skipping = false, m_inCondition = false, m_wantValue = true;
};

class Parser
{
public:
    Parser(const QByteArray &text, ReadHeader *header)
        : m_tokens(text, header)
        , m_header(header)
    { }

    QString read()
    {
        Statement statement;
        for (;;) {
            const Token token = m_tokens.next();
            if (token.kind == Token::End)
                return QString();
            if (token.kind == Token::Problem)
                return at(token, QString::fromUtf8(token.text));
            statement.take(token);
            if (token.kind != Token::Punctuation || !QByteArray(";{}").contains(token.text.at(0)))
                continue;
            if (token.text == "{") {
                const QString problem = readInitializer(statement, token);
                if (!problem.isEmpty())
                    return problem;
            }
            statement = Statement();
        }
    }

private:
    QString at(const Token &token, const QString &what) const
    {
        return QCoreApplication::translate("HeaderReading", "ligne %1 : %2").arg(token.line).arg(what);
    }

    // What follows the statement's opening brace: an array of numbers, a descriptor's fields, or
    // braces passed over.
    QString readInitializer(const Statement &statement, const Token &opening)
    {
        const QVector<QByteArray> &words = statement.words;
        const int bytes = valueBytesOf(words);
        if (statement.bracketsSeen && bytes > 0 && !statement.name.isEmpty())
            return readValues(statement.name, bytes, statement.declared, opening);
        if (!statement.bracketsSeen && statement.assigned && words.size() >= 2) {
            Fields fields;
            fields.read.type = words[words.size() - 2];
            fields.read.name = statement.name;
            return walkBraces(opening, &fields);
        }
        return walkBraces(opening, nullptr);
    }

    // The tokens up to the brace that closes `opening`. With `fields`, the fields of the
    // initializer are kept in the header's structs, by the rule of arrays for #if and #else
    // (Conditions); without, braces that hold no array of numbers are passed over, each counted.
    QString walkBraces(const Token &opening, Fields *fields)
    {
        Conditions conditions;
        qint64 depth = 1;
        for (;;) {
            const Token token = m_tokens.next();
            if (token.kind == Token::End)
                return at(opening, QCoreApplication::translate("HeaderReading", "accolade jamais fermée"));
            if (token.kind == Token::Problem)
                return at(token, QString::fromUtf8(token.text));
            if (token.kind == Token::Directive && fields)
                conditions.see(token.text);
            if (token.kind == Token::Directive || conditions.skipping)
                continue;
            const bool punctuation = token.kind == Token::Punctuation;
            if (punctuation && (token.text == "{" || token.text == "}" || token.text == ",")) {
                if (fields)
                    fields->end();
                if (token.text == "{")
                    ++depth;
                else if (token.text == "}" && --depth == 0)
                    break;
            } else if (fields) {
                fields->add(token);
            }
        }
        if (fields)
            m_header->structs << fields->read;
        return QString();
    }

    // The values of array `name` up to its closing brace, kept unless they are names (a table of
    // pointers, passed over).
    QString readValues(const QByteArray &name, int bytes, qint64 declared, const Token &opening)
    {
        ArrayValues values(name, bytes);
        for (bool closed = false; !closed;) {
            const Token token = m_tokens.next();
            if (token.kind == Token::End)
                return at(
                    opening,
                    QCoreApplication::translate(
                        "HeaderReading", "%1 : le fichier s'arrête au milieu du tableau, après %2 valeurs")
                        .arg(QString::fromLatin1(name))
                        .arg(values.count));
            if (token.kind == Token::Problem)
                return at(token, QString::fromUtf8(token.text));
            if (token.kind == Token::Identifier && values.pointersStart())
                return walkBraces(opening, nullptr);
            const QString problem = values.take(token, &closed);
            if (!problem.isEmpty())
                return at(token, problem);
        }
        return keep(values, declared, opening);
    }

    // The array read, once its count agrees with its declared size and its name is new.
    QString keep(const ArrayValues &values, qint64 declared, const Token &opening)
    {
        const QString name = QString::fromLatin1(values.array.name);
        if (declared >= 0 && values.count != declared)
            return at(opening,
                      QCoreApplication::translate("HeaderReading",
                                                  "%1 : %2 valeurs au lieu des %3 que déclare sa taille")
                          .arg(name)
                          .arg(values.count)
                          .arg(declared));
        if (m_header->index.contains(values.array.name))
            return at(
                opening,
                QCoreApplication::translate("HeaderReading", "%1 : tableau défini deux fois").arg(name));
        m_header->index.insert(values.array.name, m_header->arrays.size());
        m_header->arrays << values.array;
        return QString();
    }

    Tokenizer m_tokens;
    ReadHeader *m_header;
};

} // namespace

const ReadArray *ReadHeader::array(const QByteArray &name) const
{
    const auto found = index.constFind(name);
    return found == index.constEnd() ? nullptr : &arrays[*found];
}

qint64 ReadHeader::number(const QByteArray &name) const
{
    const auto found = macros.constFind(name);
    if (found == macros.constEnd())
        return -1;
    bool ok = false;
    const qint64 value = found->toLongLong(&ok);
    return ok && value >= 0 && value <= 0x7fffffff ? value : -1;
}

QString readCArrays(const QByteArray &text, ReadHeader *header)
{
    if (text.size() > maxHeaderTextBytes)
        return QCoreApplication::translate("HeaderReading",
                                           "%1 octets, plus que les %2 qu'un en-tête peut avoir")
            .arg(text.size())
            .arg(maxHeaderTextBytes);
    return Parser(text, header).read();
}
