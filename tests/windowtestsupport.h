#pragma once

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace TestSupport {

// Runs `handle` on the next modal dialog or box as soon as it is shown (the code under test is
// then blocked in its exec()). The handler must close it. Fails the test if none appears.
inline void handleNextModal(const std::function<void(QWidget *)> &handle, bool *handled = nullptr)
{
    auto *poll = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, poll, [=] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal && ++*tries < 500)
            return;
        poll->stop();
        poll->deleteLater();
        if (modal) {
            if (handled)
                *handled = true;
            handle(modal);
        }
    });
    poll->start(10);
}

template<typename T> T *childOf(QObject *parent, const char *name)
{
    T *child = parent->findChild<T *>(QString::fromLatin1(name));
    if (!child)
        qFatal("no child %s", name);
    return child;
}

} // namespace TestSupport
