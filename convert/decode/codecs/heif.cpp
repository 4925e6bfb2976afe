#include "codecs.h"

// HEIF and AVIF, ISO base media files read by another package's reader in the child.

namespace {

// An "ftyp" box whose major brand names the format.
QByteArray formatOf(const QByteArray &head, const QString &)
{
    if (head.size() < 12 || head.mid(4, 4) != "ftyp")
        return QByteArray();
    const QByteArray brand = head.mid(8, 4);
    if (brand == "avif" || brand == "avis")
        return "avif";
    for (const char *heif : {"heic", "heix", "hevc", "hevx", "heim", "heis", "mif1", "msf1"}) {
        if (brand == heif)
            return "heif";
    }
    return QByteArray();
}

} // namespace

const Codec &heifCodec()
{
    static const Codec codec = [] {
        Codec heif;
        heif.family = "heif";
        heif.formats = {"heif", "avif"};
        heif.probe = formatOf;
        return heif;
    }();
    return codec;
}
