#pragma once

#include "atomic_file_writer.h"

#include <QString>

#include <vector>

// Turns any file into a C header that holds every byte of it, in order, as the initialiser of
// one array, ready to be compiled into firmware:
//
//     // Fichier généré avec Quillon https://...
//
//     const unsigned char logo[N] =
//     {
//     	0x42,0x4d,...              (a tab, then 16 values to a line)
//     };                          (no line terminator after the brace)
//
// Lines end with the platform's terminator. The header is replaced as a whole, and only once the
// input has been read completely: when the input cannot be read, changes length while it is
// read, or the header cannot be written, the result is false and a header that stood at that
// path before is kept as it was.
bool generateHeaderFile(QString inputPath, QString headerPath);

// What may differ from the window's header: the array's name; whether it goes into AVR
// program memory (declared QUILLON_PROGMEM, which is PROGMEM after <avr/pgmspace.h> on AVR and
// nothing elsewhere); whether the bytes go to a C file of their own, after `#include
// "ownHeader"`, the header then declaring the array `extern`.
struct HeaderOptions
{
    QByteArray arrayName = "logo";
    bool progmem = false;
    bool split = false;
    QByteArray ownHeader; // the header's file name, with split; it names the include guard
};

// The header of a split pair of a file's bytes: the include guard and the array's `extern`
// declaration, of `inputSize` bytes.
QByteArray bytesDeclarationHeader(qint64 inputSize, const HeaderOptions &options);
// The prologue shared by every header: the comment line naming the product, an empty line.
QByteArray headerFirstLines();

// The same, telling why it failed: the system's error number, or 0 when there is none.
bool generateHeaderFile(const QString &inputPath, const QString &headerPath, int *systemError);

// Writes the header for bytes handed over in order, as they are produced: a BMP file's bytes
// reach its header without being read back from the disk. The header replaces an earlier one
// only at commit(), and only when exactly the announced number of bytes came.
class HeaderFileWriter
{
public:
    // `temporaryPrefix` and `replaceLink` as for AtomicFileWriter.
    HeaderFileWriter(const QString &headerPath, qint64 inputSize, const HeaderOptions &options = {},
                     const QString &temporaryPrefix = QString(), bool replaceLink = false);

    bool open();
    bool append(const char *bytes, qint64 size);
    // Closes the array once every announced byte came; the file is then ready to commit.
    bool finish();
    bool commit() { return finish() && m_file.commit(); }
    AtomicFileWriter &file() { return m_file; }
    void cancel() { m_file.cancel(); }
    int systemError() const { return m_file.systemError(); }

private:
    AtomicFileWriter m_file;
    HeaderOptions m_options;
    qint64 m_inputSize;
    qint64 m_position = 0;
    std::vector<char> m_text;
};
