#pragma once

#include <QStringList>
#include <QVector>
#include <QWidget>

struct ResultWarning;

// The warnings of a result (the advice library's result_warnings.h), shown above the view, each
// its text, what mends it and a button, "warning-N" and "mend-N" by their names, that applies the
// options mending it.
class WarningsBar : public QWidget
{
    Q_OBJECT

public:
    explicit WarningsBar(QWidget *parent = nullptr);
    void setWarnings(const QVector<ResultWarning> &warnings);

signals:
    void mendingChosen(const QStringList &arguments);
};
