#include "picture_format.h"

#include "codecs.h"

#include <QFileInfo>

QByteArray pictureFormatOf(const QByteArray &head, const QString &fileName)
{
    const std::vector<const Codec *> &codecs = codecTable();
    for (const Codec *codec : codecs) {
        for (const Signature &signature : codec->signatures) {
            if (head.size() >= signature.offset + signature.bytes.size()
                && head.mid(signature.offset, signature.bytes.size()) == signature.bytes)
                return signature.format;
        }
    }
    for (const Codec *codec : codecs) {
        const QByteArray format = codec->probe ? codec->probe(head, fileName) : QByteArray();
        if (!format.isEmpty())
            return format;
    }
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    for (const Codec *codec : codecs) {
        for (const Suffix &known : codec->suffixes) {
            if (suffix == QLatin1String(known.suffix))
                return known.format;
        }
    }
    return QByteArray();
}

bool isQtOwnFormat(const QByteArray &format)
{
    return codecOf(format).reading == Reading::InProcess;
}
