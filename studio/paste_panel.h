#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QWidget>

class QComboBox;
class QLabel;
class QPlainTextEdit;
struct CHeader;

// What to paste into a firmware: the header as it will be written, the drawing line of the chosen
// library highlighted in it, buttons that copy the array, the drawing line, the quillon-convert
// command and the CMake lines that do what the studio does; the arrays' size in bytes and whether
// they fit each board's flash (the advice library's flash_fit.h).
class PastePanel : public QWidget
{
    Q_OBJECT

public:
    // The libraries whose lines a header's comment gives, as the advice library names them.
    static const QStringList &libraries();

    explicit PastePanel(QWidget *parent = nullptr);

    // The header's text as quillon-convert writes it, the picture's array's name, and its arrays
    // (null: the BMP file's bytes of `bmpFileBytes`, placed in program memory by --progmem).
    void setHeader(const QByteArray &text, const QByteArray &arrayName, const CHeader *header,
                   qint64 bmpFileBytes);
    // What the command and the CMake lines convert: the picture, its settings, where Ctrl+S writes.
    void setConversion(const QString &picture, const QStringList &settings, const QString &outputFolder);
    // The library whose line is highlighted and copied; with a preset's own line, NAME standing for
    // the array's name, for a library the header has no line for.
    void setLibrary(const QString &library, const QString &presetDrawing = QString());
    QString library() const;
    QString drawingLine() const;

signals:
    void copied(const QString &what);

private:
    void highlight();
    void copyArray();

    QPlainTextEdit *m_header;
    QComboBox *m_library;
    QLabel *m_arraySize;
    QLabel *m_flashFit;
    QByteArray m_text;
    QString m_arrayName;
    QString m_picture;
    QStringList m_settings;
    QString m_outputFolder;
    QString m_presetDrawing;
};
