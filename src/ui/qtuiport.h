#pragma once
// The screens' side of UiPort: the status line and the abort button of the console, the
// window event loop for the core's waits, and the message window.
#include "frame/uiport.h"

#include <QPointer>

namespace qelp {
class Program;
}

namespace qelp::ui {

class MainForm;
class MsgWindow;

class QtUiPort : public UiPort {
public:
    QtUiPort() = default;
    ~QtUiPort() override;
    QtUiPort(const QtUiPort&) = delete;
    QtUiPort& operator=(const QtUiPort&) = delete;

    // The port is created before the program (which needs it) and the console (which needs
    // the program); attach connects the three.
    void attach(Program& program, MainForm& form);

    void setStatusLine(const std::string& text) override;
    void processPendingEvents() override;
    void waitForEvents(DirectoryWatch* watch, int timeoutMs) override;
    void setAbortEnabled(bool enabled) override;
    void showMessageWindow() override;

    // The message window, or null before the first message.
    MsgWindow* messageWindow() const;

private:
    Program* m_program = nullptr;
    QPointer<MainForm> m_form;
    QPointer<MsgWindow> m_messageWindow;
};

} // namespace qelp::ui
