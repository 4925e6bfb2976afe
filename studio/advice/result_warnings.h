#pragma once

#include <QCoreApplication>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>

struct EncodedPicture;
struct PictureJob;

// The warnings of a result, where users of small displays get hurt, each with the options that
// mend it: computed from what the pipeline gives (the encoded picture's arrays, what the display
// shows, the arrays whose pixels are all alike, which the encoders detect, the colours a palette was
// chosen among), never by converting again.
struct ResultWarning
{
    enum Kind {
        UniformBits, // a 1-bit array all unlit or all lit
        NoInk, // an e-paper plane without ink
        LargerThanPanel, // what the display shows is larger than the panel
        OverAvrObject, // an array over avr-gcc's 32,767 bytes an object
        ColoursLost // a palette chosen among more colours than it holds
    };
    Kind kind;
    QString text; // translated, says what is wrong
    QString mending; // translated, says what to do
    QStringList arguments; // the options that mend it, applied by a button (withOptions())

    Q_DECLARE_TR_FUNCTIONS(ResultWarnings)
};

// The warnings of `encoded`, converted by `job` as `arguments` (the studio's setting) asked, for the
// panel of the preset chosen (`panel` invalid: none).
QVector<ResultWarning> resultWarnings(const QStringList &arguments, const PictureJob &job,
                                      const EncodedPicture &encoded, const QSize &panel);

// The size of what the display shows: `shown`, or the header's NAME_width and NAME_height when the
// encoder drew nothing.
QSize shownSize(const EncodedPicture &encoded);
