#pragma once

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace TestSupport {

// Handles the next modal dialog or box as soon as it is shown, while the code under test is
// blocked in its exec(); the handler must close it. Watches only while the object lives, so a
// dialog that never came cannot reach a handler whose test is over.
class ModalWatcher
{
public:
    explicit ModalWatcher(std::function<void(QWidget *)> handle)
        : m_handle(std::move(handle))
    {
        QObject::connect(&m_poll, &QTimer::timeout, [this] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                m_poll.stop();
                m_handled = true;
                m_handle(modal);
            }
        });
        m_poll.start(10);
    }
    ModalWatcher(const ModalWatcher &) = delete;
    ModalWatcher &operator=(const ModalWatcher &) = delete;

    bool handled() const { return m_handled; }

private:
    std::function<void(QWidget *)> m_handle;
    QTimer m_poll;
    bool m_handled = false;
};

// Accepts a file dialog (Qt's own, as under the offscreen platform) with `path` typed in full
// into its name field, as a user may do. Selecting the entry with selectFile() instead races
// with the dialog's listing of the folder in the background, which can change the selection:
// the dialog then gives another path, or refuses to close.
inline void acceptFileDialog(QFileDialog *dialog, const QString &path)
{
    auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    if (!name)
        qFatal("the file dialog has no name field");
    name->setText(path);
    static_cast<QDialog *>(dialog)->accept();
}

template<typename T> T *childOf(QObject *parent, const char *name)
{
    T *child = parent->findChild<T *>(QString::fromLatin1(name));
    if (!child)
        qFatal("no child %s", name);
    return child;
}

} // namespace TestSupport
