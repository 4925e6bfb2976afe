#include "option_controls.h"

#include "help_text.h"
#include "option_rules.h"
#include "options.h"
#include "settings_list.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace {

const char *const leftOut[]
    = {"output", "force", "bundle", "decode", "size", "verbose", "help", "version", "frames"};

// A field with a button beside it that fills it.
QWidget *fieldWithButton(QLineEdit *field, QPushButton *button)
{
    auto *box = new QWidget;
    auto *layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(field, 1);
    layout->addWidget(button);
    return box;
}

} // namespace

QString optionRefusal(const QStringList &arguments, const OptionDeclaration &option)
{
    if (!option.setting)
        return QString();
    Options options;
    options.job.format
        = findDisplayFormat(SettingsList::value(arguments, QStringLiteral("format")).toLatin1());
    options.given = QStringList {QLatin1String(option.name)};
    return formatTakingProblem(options);
}

bool OptionControls::offered(const OptionDeclaration &option)
{
    for (const char *name : leftOut) {
        if (qstrcmp(option.name, name) == 0)
            return false;
    }
    return option.read != nullptr;
}

OptionControls::OptionControls(QWidget *parent)
    : QWidget(parent)
{
    auto *form = new QFormLayout(this);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    for (const OptionDeclaration &option : optionTable()) {
        if (offered(option))
            addControl(form, option);
    }
    showArguments();
}

void OptionControls::addControl(QFormLayout *form, const OptionDeclaration &option)
{
    const QString name = QLatin1String(option.name);
    QWidget *control = nullptr;
    QWidget *field = nullptr;
    switch (option.value) {
    case OptionDeclaration::Switch: {
        auto *box = new QCheckBox;
        connect(box, &QCheckBox::toggled, this, [this, name](bool on) { change(name, QString(), on); });
        control = field = box;
        break;
    }
    case OptionDeclaration::Number:
        if (option.decimals) {
            auto *spin = new QDoubleSpinBox;
            spin->setDecimals(option.decimals);
            spin->setSingleStep(0.1);
            spin->setRange(option.minimum, option.maximum);
            connect(spin, qOverload<double>(&QDoubleSpinBox::valueChanged), this,
                    [this, name, option](double v) {
                        change(name, QString::number(v), !qFuzzyCompare(v, option.byDefault));
                    });
            control = field = spin;
        } else {
            auto *spin = new QSpinBox;
            spin->setRange(int(option.minimum), int(option.maximum));
            connect(spin, qOverload<int>(&QSpinBox::valueChanged), this, [this, name, option](int v) {
                change(name, QString::number(v), v != int(option.byDefault));
            });
            control = field = spin;
        }
        break;
    case OptionDeclaration::Choice: {
        auto *combo = new QComboBox;
        // The first entry: the option not given, quillon-convert's default.
        combo->addItem(tr("(par défaut)"), QString());
        for (const QString &choice : option.choices())
            combo->addItem(choice, choice);
        connect(combo, qOverload<int>(&QComboBox::currentIndexChanged), this, [this, name, combo](int) {
            const QString value = combo->currentData().toString();
            change(name, value, !value.isEmpty());
        });
        control = field = combo;
        break;
    }
    default: {
        auto *edit = new QLineEdit;
        connect(edit, &QLineEdit::editingFinished, this, [this, name, edit] {
            change(name, edit->text().trimmed(), !edit->text().trimmed().isEmpty());
        });
        field = edit;
        control = edit;
        if (option.value == OptionDeclaration::Colour) {
            auto *button = new QPushButton(tr("Couleur..."));
            button->setObjectName(QStringLiteral("colour-") + name);
            connect(button, &QPushButton::clicked, this, [this, name, edit] {
                const QColor colour = QColorDialog::getColor(QColor(edit->text()), this);
                if (colour.isValid()) {
                    edit->setText(colour.name());
                    change(name, colour.name(), true);
                }
            });
            control = fieldWithButton(edit, button);
        } else if (option.value == OptionDeclaration::File) {
            auto *button = new QPushButton(tr("Choisir..."));
            button->setObjectName(QStringLiteral("file-") + name);
            connect(button, &QPushButton::clicked, this, [this, name, edit] {
                const QString file
                    = QFileDialog::getOpenFileName(this, tr("Choisir un fichier"), edit->text());
                if (!file.isEmpty()) {
                    edit->setText(file);
                    change(name, file, true);
                }
            });
            control = fieldWithButton(edit, button);
        } else if (option.value == OptionDeclaration::Size) {
            edit->setPlaceholderText(QStringLiteral("128x64"));
        }
        break;
    }
    }
    field->setObjectName(QStringLiteral("option-") + name);
    auto *label = new QLabel(QStringLiteral("--") + name);
    label->setToolTip(optionHelp(option));
    label->setBuddy(field);
    field->setWhatsThis(optionHelp(option));
    form->addRow(label, control);
    m_controls.insert(name, field);
}

void OptionControls::setArguments(const QStringList &arguments)
{
    m_arguments = SettingsList::canonical(arguments);
    showArguments();
}

void OptionControls::change(const QString &option, const QString &value, bool given)
{
    if (m_showing)
        return;
    m_arguments
        = given ? SettingsList::with(m_arguments, option, value) : SettingsList::without(m_arguments, option);
    // Another format: the options it does not read go, as their controls can no longer change.
    for (const QString &name : SettingsList::optionNames(m_arguments)) {
        if (const OptionDeclaration *declared = findOption(name);
            declared && !optionRefusal(m_arguments, *declared).isEmpty())
            m_arguments = SettingsList::without(m_arguments, name);
    }
    showArguments();
    emit argumentsEdited(m_arguments);
}

void OptionControls::showArguments()
{
    m_showing = true;
    for (auto it = m_controls.cbegin(); it != m_controls.cend(); ++it) {
        const OptionDeclaration &option = *findOption(it.key());
        const bool given = SettingsList::has(m_arguments, it.key());
        const QString value = SettingsList::value(m_arguments, it.key());
        if (auto *box = qobject_cast<QCheckBox *>(it.value()))
            box->setChecked(given);
        else if (auto *spin = qobject_cast<QSpinBox *>(it.value()))
            spin->setValue(given ? value.toInt() : int(option.byDefault));
        else if (auto *spin = qobject_cast<QDoubleSpinBox *>(it.value()))
            spin->setValue(given ? value.toDouble() : option.byDefault);
        else if (auto *combo = qobject_cast<QComboBox *>(it.value()))
            combo->setCurrentIndex(qMax(0, combo->findData(given ? value : QString())));
        else if (auto *edit = qobject_cast<QLineEdit *>(it.value()))
            edit->setText(value);
    }
    m_showing = false;
    updateEnabled();
}

void OptionControls::updateEnabled()
{
    for (auto it = m_controls.cbegin(); it != m_controls.cend(); ++it) {
        const QString refusal = optionRefusal(m_arguments, *findOption(it.key()));
        QWidget *control = it.value();
        QWidget *row = control->parentWidget() != this ? control->parentWidget() : control;
        row->setEnabled(refusal.isEmpty());
        control->setToolTip(refusal.isEmpty() ? optionHelp(*findOption(it.key())) : refusal);
    }
}
