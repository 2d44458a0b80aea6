#include "ui/qtuiport.h"

#include "console/consoletext.h"
#include "frame/program.h"
#include "ui/attention.h"
#include "ui/mainform.h"
#include "ui/msgwindow.h"
#include "ui/textedge.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#ifdef Q_OS_WIN
#include <QWinEventNotifier>
#else
#include <QSocketNotifier>
#endif

namespace qelp::ui {

QtUiPort::~QtUiPort() = default;

void QtUiPort::attach(Program& program, MainForm& form) {
    m_program = &program;
    m_form = &form;
}

void QtUiPort::setStatusLine(const std::string& text) {
    if (m_form)
        m_form->setStatusText(text);
}

void QtUiPort::processPendingEvents() {
    QCoreApplication::processEvents();
}

void QtUiPort::waitForEvents(DirectoryWatch* watch, int timeoutMs) {
    if (timeoutMs <= 0) {
        QCoreApplication::processEvents();
        if (watch)
            watch->drain();
        return;
    }
    // Sleep in the event loop until the driver touches the exchange directory, the operator
    // does something, or the timeout passes. The notifier switches itself off at its first
    // signal: a readable watch must not keep waking a modal loop that a button opened from
    // inside this wait (a dialog, say) until the wait gets to drain it. The watch's handle is
    // an event object on Windows and a descriptor elsewhere.
    const std::intptr_t handle = watch ? watch->nativeHandle() : -1;
#ifdef Q_OS_WIN
    using Notifier = QWinEventNotifier;
    Notifier* notifier =
        handle != -1 ? new Notifier(reinterpret_cast<Qt::HANDLE>(handle)) : nullptr;
#else
    using Notifier = QSocketNotifier;
    Notifier* notifier =
        handle >= 0 ? new Notifier(static_cast<int>(handle), QSocketNotifier::Read) : nullptr;
#endif
    if (notifier)
        QObject::connect(notifier, &Notifier::activated, notifier,
                         [notifier] { notifier->setEnabled(false); });
    QTimer timeout;
    timeout.setSingleShot(true);
    timeout.start(timeoutMs);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    delete notifier;
    if (watch)
        watch->drain();
}

void QtUiPort::setAbortEnabled(bool enabled) {
    if (m_form)
        m_form->setAbortEnabled(enabled);
}

void QtUiPort::showMessageWindow() {
    if (!m_program)
        return;
    if (!m_messageWindow)
        m_messageWindow = new MsgWindow(*m_program, m_form.data());
    // Asked before the window shows, which may make it the active one.
    const auto& m = m_program->message;
    CallForAttention(m_form.data(),
                     FromCore(MessageWindowTitle(m.messageDialogType,
                                                 m_program->link.dispenserFamily, m.messageCode)),
                     ForDisplay(FromCore(m.messageText)));
    m_messageWindow->loadAndShow();
}

MsgWindow* QtUiPort::messageWindow() const {
    return m_messageWindow.data();
}

} // namespace qelp::ui
