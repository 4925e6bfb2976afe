#include "paste_panel.h"

#include "command_text.h"
#include "display_header.h"
#include "flash_fit.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBlock>
#include <QVBoxLayout>

const QStringList &PastePanel::libraries()
{
    static const QStringList names {"Adafruit GFX", "u8g2", "TFT_eSPI", "GxEPD2", "Waveshare", "LVGL"};
    return names;
}

PastePanel::PastePanel(QWidget *parent)
    : QWidget(parent)
    , m_header(new QPlainTextEdit)
    , m_library(new QComboBox)
    , m_arraySize(new QLabel)
    , m_flashFit(new QLabel)
{
    m_header->setObjectName(QStringLiteral("headerText"));
    m_header->setReadOnly(true);
    m_header->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_header->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_library->setObjectName(QStringLiteral("library"));
    m_library->addItems(libraries());
    connect(m_library, &QComboBox::currentTextChanged, this, [this] {
        m_presetDrawing.clear();
        highlight();
    });
    m_arraySize->setObjectName(QStringLiteral("arraySize"));
    m_flashFit->setObjectName(QStringLiteral("flashFit"));
    m_flashFit->setWordWrap(true);

    const auto button = [this](const char *name, const QString &text, auto copy) {
        auto *pushButton = new QPushButton(text);
        pushButton->setObjectName(QLatin1String(name));
        connect(pushButton, &QPushButton::clicked, this, copy);
        return pushButton;
    };
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(new QLabel(tr("Bibliothèque :")));
    buttons->addWidget(m_library);
    buttons->addWidget(button("copyArray", tr("Copier le tableau"), [this] { copyArray(); }));
    buttons->addWidget(button("copyDrawingLine", tr("Copier la ligne de dessin"), [this] {
        QApplication::clipboard()->setText(drawingLine());
        emit copied(tr("Ligne de dessin copiée"));
    }));
    buttons->addWidget(button("copyCommand", tr("Copier la commande"), [this] {
        QApplication::clipboard()->setText(convertCommand(m_settings, {m_picture}, m_outputFolder));
        emit copied(tr("Commande copiée"));
    }));
    buttons->addWidget(button("copyCmake", tr("Copier les lignes CMake"), [this] {
        QApplication::clipboard()->setText(cmakeLines(m_settings, {m_picture}, QStringLiteral("firmware")));
        emit copied(tr("Lignes CMake copiées"));
    }));
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(buttons);
    layout->addWidget(m_arraySize);
    layout->addWidget(m_flashFit);
    layout->addWidget(m_header, 1);
}

void PastePanel::setHeader(const QByteArray &text, const QByteArray &arrayName, const CHeader *header,
                           qint64 bmpFileBytes)
{
    m_text = text;
    m_arrayName = QString::fromLatin1(arrayName);
    m_header->setPlainText(QString::fromUtf8(text));
    if (text.isEmpty()) {
        m_arraySize->clear();
        m_flashFit->clear();
        return;
    }
    const FlashUse use
        = header ? flashUse(*header) : bmpFlashUse(bmpFileBytes, m_settings.contains("--progmem"));
    m_arraySize->setText(tr("Tableaux : %1 octets").arg(use.totalBytes));
    QStringList fits;
    for (const FlashFit &fit : flashFits(use))
        fits << (fit.fits ? tr("%1 : tient").arg(fit.board->name)
                          : tr("%1 : %2").arg(fit.board->name, fit.reason));
    m_flashFit->setText(fits.join(QStringLiteral(" ; ")));
    // A library whose line the header has not: the first that it has, unless a preset gave its own.
    if (m_presetDrawing.isEmpty() && drawingLineRanges(m_text, library()).isEmpty()) {
        for (const QString &other : libraries()) {
            if (!drawingLineRanges(m_text, other).isEmpty()) {
                const QSignalBlocker blocker(m_library);
                m_library->setCurrentText(other);
                break;
            }
        }
    }
    highlight();
}

void PastePanel::setConversion(const QString &picture, const QStringList &settings,
                               const QString &outputFolder)
{
    m_picture = picture;
    m_settings = settings;
    m_outputFolder = outputFolder;
}

void PastePanel::setLibrary(const QString &library, const QString &presetDrawing)
{
    {
        const QSignalBlocker blocker(m_library);
        m_library->setCurrentText(library);
    }
    m_presetDrawing = presetDrawing;
    highlight();
}

QString PastePanel::library() const
{
    return m_library->currentText();
}

QString PastePanel::drawingLine() const
{
    const QString text = QString::fromUtf8(m_text);
    QStringList lines;
    for (const auto &range : drawingLineRanges(m_text, library()))
        lines << text.mid(range.first, range.second);
    if (lines.isEmpty() && !m_presetDrawing.isEmpty() && !m_arrayName.isEmpty())
        lines << QString(m_presetDrawing).replace(QRegularExpression(QStringLiteral("\\bNAME")), m_arrayName);
    return lines.join(QLatin1Char('\n'));
}

// The library's drawing lines, marked in the header's text.
void PastePanel::highlight()
{
    QList<QTextEdit::ExtraSelection> selections;
    for (const auto &range : drawingLineRanges(m_text, library())) {
        QTextEdit::ExtraSelection selection;
        selection.cursor = QTextCursor(m_header->document());
        selection.cursor.setPosition(range.first);
        selection.cursor.setPosition(range.first + range.second, QTextCursor::KeepAnchor);
        selection.format.setBackground(QColor(255, 236, 153));
        selections << selection;
    }
    m_header->setExtraSelections(selections);
    if (!selections.isEmpty())
        m_header->setTextCursor(QTextCursor(selections.first().cursor.block()));
}

// The picture's array as the header defines it, from its declaration to its closing brace; LVGL's
// map with the descriptor that draws it.
void PastePanel::copyArray()
{
    const QString text = QString::fromUtf8(m_text);
    const QRegularExpressionMatch found
        = QRegularExpression(QStringLiteral("\\b%1(_map)?\\[").arg(m_arrayName)).match(text);
    if (m_arrayName.isEmpty() || !found.hasMatch())
        return;
    const int start = text.lastIndexOf(QLatin1Char('\n'), found.capturedStart()) + 1;
    const int descriptor
        = found.capturedLength(1) ? text.indexOf(QStringLiteral(" %1 = {").arg(m_arrayName), start) : start;
    const int end = text.indexOf(QStringLiteral("};"), qMax(start, descriptor));
    QApplication::clipboard()->setText(text.mid(start, end < 0 ? -1 : end + 2 - start) + QLatin1Char('\n'));
    emit copied(tr("Tableau copié"));
}
