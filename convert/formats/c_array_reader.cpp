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
            while (m_at < m_end && isSpace(*m_at)) {
                if (*m_at == '\n') {
                    ++m_line;
                    m_lineStart = true;
                }
                ++m_at;
            }
            token.line = m_line;
            if (m_at == m_end)
                return token;
            if (m_at + 1 < m_end && m_at[0] == '/' && m_at[1] == '/') {
                const char *start = m_at + 2;
                while (m_at < m_end && *m_at != '\n')
                    ++m_at;
                m_header->commentLines << QByteArray(start, int(m_at - start)).trimmed();
                continue;
            }
            if (m_at + 1 < m_end && m_at[0] == '/' && m_at[1] == '*') {
                m_at += 2;
                while (m_at + 1 < m_end && !(m_at[0] == '*' && m_at[1] == '/')) {
                    if (*m_at == '\n')
                        ++m_line;
                    ++m_at;
                }
                if (m_at + 1 >= m_end)
                    return problem(
                        token, QCoreApplication::translate("HeaderReading", "commentaire /* jamais fermé"));
                m_at += 2;
                continue;
            }
            if (*m_at == '#' && m_lineStart)
                return directive(token);
            break;
        }
        m_lineStart = false;
        const char c = *m_at;
        if (isIdentifierStart(c)) {
            const char *start = m_at;
            while (m_at < m_end && isIdentifierByte(*m_at))
                ++m_at;
            token.kind = Token::Identifier;
            token.text = QByteArray(start, int(m_at - start));
            return token;
        }
        if (c >= '0' && c <= '9')
            return number(token);
        if (c == '"' || c == '\'') {
            for (++m_at; m_at < m_end && *m_at != c && *m_at != '\n'; ++m_at) {
                if (*m_at == '\\' && m_at + 1 < m_end)
                    ++m_at;
            }
            if (m_at == m_end || *m_at != c)
                return problem(token, QCoreApplication::translate("HeaderReading", "chaîne jamais fermée"));
            ++m_at;
            token.kind = Token::Punctuation;
            token.text = "\"";
            return token;
        }
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

class Parser
{
public:
    static constexpr int maxWords = 16;

    Parser(const QByteArray &text, ReadHeader *header)
        : m_tokens(text, header)
        , m_header(header)
    { }

    QString read()
    {
        // The words and brackets of the statement read so far, to tell an array's name, type and size.
        QVector<QByteArray> words;
        QByteArray name;
        qint64 declared = -1;
        bool inBrackets = false, bracketsSeen = false, bracketNumber = false, assigned = false;
        for (;;) {
            Token token = m_tokens.next();
            switch (token.kind) {
            case Token::End:
                return QString();
            case Token::Problem:
                return at(token, QString::fromUtf8(token.text));
            case Token::Directive:
                continue;
            case Token::Identifier:
                if (inBrackets) {
                    bracketNumber = false;
                    declared = -1;
                } else if (!bracketsSeen) {
                    if (words.size() == maxWords) // only the last words tell the type
                        words.removeFirst();
                    words << token.text;
                    name = token.text;
                }
                continue;
            case Token::Number:
                if (inBrackets && !bracketNumber && declared < 0 && token.value <= 0x7fffffff) {
                    declared = qint64(token.value);
                    bracketNumber = true;
                } else if (inBrackets) {
                    declared = -1;
                }
                continue;
            case Token::Punctuation:
                break;
            }
            const char c = token.text.at(0);
            if (c == '=' && !inBrackets) {
                assigned = true;
            } else if (c == '[' && !bracketsSeen) {
                inBrackets = bracketsSeen = true;
                declared = -1;
                bracketNumber = false;
            } else if (c == ']') {
                inBrackets = false;
            } else if (c == ';' || c == '}' || c == '{') {
                if (c == '{') {
                    const int bytes = valueBytesOf(words);
                    QString problem;
                    if (bracketsSeen && bytes > 0 && !name.isEmpty())
                        problem = readValues(name, bytes, declared, token);
                    else if (!bracketsSeen && assigned && words.size() >= 2)
                        problem = readFields(words[words.size() - 2], name, token);
                    else
                        problem = passBraces(token);
                    if (!problem.isEmpty())
                        return problem;
                }
                words.clear();
                name.clear();
                bracketsSeen = inBrackets = assigned = false;
                declared = -1;
            }
        }
    }

private:
    QString at(const Token &token, const QString &what) const
    {
        return QCoreApplication::translate("HeaderReading", "ligne %1 : %2").arg(token.line).arg(what);
    }

    // Braces that hold no array of numbers, up to the one that closes the one just read.
    QString passBraces(const Token &opening)
    {
        qint64 depth = 1;
        for (;;) {
            const Token token = m_tokens.next();
            if (token.kind == Token::End)
                return at(opening, QCoreApplication::translate("HeaderReading", "accolade jamais fermée"));
            if (token.kind == Token::Problem)
                return at(token, QString::fromUtf8(token.text));
            if (token.kind != Token::Punctuation)
                continue;
            if (token.text == "{")
                ++depth;
            else if (token.text == "}" && --depth == 0)
                return QString();
        }
    }

    // The fields of the initializer of `name` up to its closing brace, by the rule of arrays for
    // #if and #else; nested conditions are passed over with the branch they are in.
    QString readFields(const QByteArray &type, const QByteArray &name, const Token &opening)
    {
        ReadStruct read;
        read.type = type;
        read.name = name;
        QByteArray field;
        const auto endField = [&] {
            if (!field.isEmpty() && read.fields.size() < maxStructFields)
                read.fields << field;
            field.clear();
        };
        qint64 depth = 1;
        int nested = 0; // conditions within the one being read
        bool skipping = false, inCondition = false;
        for (;;) {
            const Token token = m_tokens.next();
            if (token.kind == Token::End)
                return at(opening, QCoreApplication::translate("HeaderReading", "accolade jamais fermée"));
            if (token.kind == Token::Problem)
                return at(token, QString::fromUtf8(token.text));
            if (token.kind == Token::Directive) {
                if (token.text.startsWith("if")) {
                    if (inCondition)
                        ++nested;
                    else
                        inCondition = skipping = true;
                } else if (nested == 0 && (token.text == "else" || token.text.startsWith("elif"))) {
                    skipping = false;
                } else if (token.text == "endif") {
                    if (nested > 0)
                        --nested;
                    else
                        inCondition = skipping = false;
                }
                continue;
            }
            if (skipping)
                continue;
            if (token.kind == Token::Punctuation
                && (token.text == "{" || token.text == "}" || token.text == ",")) {
                endField();
                if (token.text == "{")
                    ++depth;
                else if (token.text == "}" && --depth == 0)
                    break;
                continue;
            }
            const QByteArray text
                = token.kind == Token::Number ? QByteArray::number(token.value) : token.text;
            if (field.size() + 1 + text.size() <= maxFieldBytes)
                field += (field.isEmpty() ? QByteArray() : QByteArray(" ")) + text;
        }
        m_header->structs << read;
        return QString();
    }

    // The values of array `name` up to its closing brace, kept unless they are names (a table of
    // pointers, passed over).
    QString readValues(const QByteArray &name, int bytes, qint64 declared, const Token &opening)
    {
        ReadArray array;
        array.name = name;
        array.valueBytes = bytes;
        const quint64 largest = bytes == 4 ? 0xffffffffULL : (1ULL << (8 * bytes)) - 1;
        const QString typeName = bytes == 1 ? QStringLiteral("uint8_t")
            : bytes == 2                    ? QStringLiteral("uint16_t")
                                            : QStringLiteral("uint32_t");
        bool skipping = false, inCondition = false, wantValue = true;
        qint64 count = 0;
        for (;;) {
            const Token token = m_tokens.next();
            switch (token.kind) {
            case Token::End:
                return at(
                    opening,
                    QCoreApplication::translate(
                        "HeaderReading", "%1 : le fichier s'arrête au milieu du tableau, après %2 valeurs")
                        .arg(QString::fromLatin1(name))
                        .arg(count));
            case Token::Problem:
                return at(token, QString::fromUtf8(token.text));
            case Token::Directive:
                if (token.text.startsWith("if")) {
                    if (inCondition)
                        return at(
                            token,
                            QCoreApplication::translate("HeaderReading", "%1 : #if imbriqués dans le tableau")
                                .arg(QString::fromLatin1(name)));
                    inCondition = skipping = true;
                } else if (token.text == "else" || token.text.startsWith("elif")) {
                    skipping = false;
                } else if (token.text == "endif") {
                    inCondition = skipping = false;
                }
                continue;
            case Token::Identifier:
                if (count == 0 && !skipping && array.data.isEmpty() && wantValue)
                    return passBraces(opening); // a table of pointers
                return at(token,
                          QCoreApplication::translate("HeaderReading", "%1 : « %2 » au lieu d'un nombre")
                              .arg(QString::fromLatin1(name), QString::fromLatin1(token.text)));
            case Token::Number:
                if (skipping)
                    continue;
                if (!wantValue)
                    return at(token,
                              QCoreApplication::translate("HeaderReading", "%1 : virgule manquante")
                                  .arg(QString::fromLatin1(name)));
                if (token.value > largest)
                    return at(token,
                              QCoreApplication::translate("HeaderReading",
                                                          "%1 : la valeur %2 dépasse %3, le plus grand %4")
                                  .arg(QString::fromLatin1(name))
                                  .arg(token.value)
                                  .arg(largest)
                                  .arg(typeName));
                for (int k = 0; k < bytes; ++k)
                    array.data += char(token.value >> (8 * k) & 0xff);
                ++count;
                wantValue = false;
                continue;
            case Token::Punctuation:
                break;
            }
            if (skipping)
                continue;
            if (token.text == "," && !wantValue) {
                wantValue = true;
            } else if (token.text == "}") {
                break;
            } else {
                return at(token,
                          QCoreApplication::translate("HeaderReading", "%1 : « %2 » au lieu d'un nombre")
                              .arg(QString::fromLatin1(name), QString::fromLatin1(token.text)));
            }
        }
        if (declared >= 0 && count != declared)
            return at(opening,
                      QCoreApplication::translate("HeaderReading",
                                                  "%1 : %2 valeurs au lieu des %3 que déclare sa taille")
                          .arg(QString::fromLatin1(name))
                          .arg(count)
                          .arg(declared));
        if (m_header->index.contains(name))
            return at(opening,
                      QCoreApplication::translate("HeaderReading", "%1 : tableau défini deux fois")
                          .arg(QString::fromLatin1(name)));
        m_header->index.insert(name, m_header->arrays.size());
        m_header->arrays << array;
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
