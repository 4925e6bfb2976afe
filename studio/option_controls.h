#pragma once

#include <QMap>
#include <QStringList>
#include <QWidget>

class QFormLayout;
struct OptionDeclaration;

// Every option of quillon-convert that shapes a picture's files, as a control, made from the
// option table (option_table.h) and the format rows: a switch a check box, a number a spin box
// of its range, a choice a combo box, a colour a field with a colour button, a size a field, a
// file a field with a file button, any other text a field. Each control is named "option-NAME"
// after its option (option-format, option-threshold...). The options that have no place in a
// window are left out: those of the command line's running (--help, --version, --verbose,
// --decode, --size), those of the save step (-o, the folder chosen there; --force, the question
// asked there), --bundle (every picture in one header) and --frames (the studio shows still
// pictures).
//
// The controls show an argument list (settings_list.h) and tell each change as the new list; an
// option that the chosen format does not read is disabled, the command line's refusal as its
// tool tip.
class OptionControls : public QWidget
{
    Q_OBJECT

public:
    explicit OptionControls(QWidget *parent = nullptr);

    // Whether the studio offers the option as a control.
    static bool offered(const OptionDeclaration &option);

    // Shows the settings, telling nothing.
    void setArguments(const QStringList &arguments);
    QStringList arguments() const { return m_arguments; }

signals:
    void argumentsEdited(const QStringList &arguments);

private:
    void addControl(QFormLayout *form, const OptionDeclaration &option);
    void change(const QString &option, const QString &value, bool given);
    void showArguments();
    void updateEnabled();

    QStringList m_arguments;
    QMap<QString, QWidget *> m_controls; // by the option's long name
    bool m_showing = false;
};

// Why the format of `arguments` does not read `option`, as quillon-convert refuses it; empty when
// it does.
QString optionRefusal(const QStringList &arguments, const OptionDeclaration &option);
