#pragma once

#include "c_array_reader.h"

#include <QByteArray>
#include <QString>

// The arrays of a header read back (c_array_reader.h), by the suffix of each kind, for one
// picture: NAME, NAME_black, ... each as it is written, or coded by run length (rle_coding.h) as
// NAME_rle with its size in NAME_size. `base` names the picture's macros (NAME_width...), `stem`
// its arrays: the same, or an animation's frame (NAME_frame0...).
class PictureArrays
{
public:
    PictureArrays(const ReadHeader &header, const QByteArray &base, const QByteArray &stem)
        : m_header(header)
        , m_base(base)
        , m_stem(stem)
    { }

    bool has(const QByteArray &suffix) const
    {
        return m_header.array(m_stem + suffix) || m_header.array(m_stem + suffix + "_rle");
    }

    // The array's bytes, exactly `size` of them: read back when coded; a problem, in French
    // (context "HeaderReading"), when it is missing or of another size.
    QString bytes(const QByteArray &suffix, qint64 size, int valueBytes, QByteArray *out) const;

    // The bytes of a row: NAME_stride when the header defines it, else `rowBytes`.
    int stride(const QByteArray &suffix, int rowBytes) const;

    const ReadHeader &header() const { return m_header; }
    const QByteArray &base() const { return m_base; }

private:
    const ReadHeader &m_header;
    QByteArray m_base, m_stem;
};
