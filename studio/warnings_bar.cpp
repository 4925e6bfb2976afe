#include "warnings_bar.h"

#include "result_warnings.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

WarningsBar::WarningsBar(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    hide();
}

void WarningsBar::setWarnings(const QVector<ResultWarning> &warnings)
{
    for (QWidget *row : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        delete row;
    for (int i = 0; i < warnings.size(); ++i) {
        auto *row = new QWidget(this);
        row->setStyleSheet(QStringLiteral("background: #fff4ce; color: #5c4400"));
        auto *rowLayout = new QHBoxLayout(row);
        auto *text = new QLabel(QStringLiteral("%1 %2").arg(warnings[i].text, warnings[i].mending), row);
        text->setObjectName(QStringLiteral("warning-%1").arg(i));
        text->setWordWrap(true);
        rowLayout->addWidget(text, 1);
        if (!warnings[i].arguments.isEmpty()) {
            auto *mend
                = new QPushButton(tr("Appliquer %1").arg(warnings[i].arguments.join(QLatin1Char(' '))), row);
            mend->setObjectName(QStringLiteral("mend-%1").arg(i));
            mend->setToolTip(warnings[i].mending);
            const QStringList arguments = warnings[i].arguments;
            connect(mend, &QPushButton::clicked, this, [this, arguments] { emit mendingChosen(arguments); });
            rowLayout->addWidget(mend);
        }
        layout()->addWidget(row);
    }
    setVisible(!warnings.isEmpty());
}
